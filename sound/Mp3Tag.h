// The Info (Xing) frame that encoders write before the audio of an MPEG
// layer III file, and the encoder delay and padding of its LAME extension.
// Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Veld::Game {

struct Mp3Tag {
    /// Offset of the first audio frame: past the Info frame when there is one.
    size_t audio = 0;
    /// The LAME extension gave delay and padding that fit the frames counted:
    /// the encoded signal is frames * samplesPerFrame - delay - padding
    /// samples, starting delay samples into the decoded frames.
    bool exact = false;
    uint32_t frames = 0, samplesPerFrame = 0, delay = 0, padding = 0;

    uint64_t Samples() const { return uint64_t{frames} * samplesPerFrame - delay - padding; }
};

/// Reads the tag of the first frame (after an ID3v2 tag, if any). A missing,
/// truncated or inconsistent tag, or a first frame that is not layer III,
/// gives the default: no Info frame, everything is audio. Reads only
/// data[0, size).
Mp3Tag Mp3ReadTag(const uint8_t* data, size_t size);

} // namespace Veld::Game
