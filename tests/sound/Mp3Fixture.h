// The MP3 tones the build encodes with lame (tests/sound/CMakeLists.txt), and
// what decoding them must give. Portable.
#pragma once

#include <utility>

#include "Mp3Decoder.h"
#include "SoundFiles.h"

namespace Mp3Fixture {

using namespace Veld::Game;

/// The build's sweeps (100 to 3000 Hz, twice that on the right in stereo),
/// their sources beside them as path.wav: channels, sample rate, the source's
/// samples, and whether lame wrote its Info frame (not with -t).
struct Tone {
    const char* path;
    unsigned channels, rate = 44100, samples = 44100;
    bool tagged = true;
};
const Tone kFormats[] = {{ENGINE_TONE_STEREO, 2},
                         {ENGINE_TONE_MONO, 1},
                         {ENGINE_TONE_STEREO_320, 2},
                         {ENGINE_TONE_MONO_64, 1},
                         {ENGINE_TONE_ODD_STEREO_22, 2, 22050, 12345},
                         {ENGINE_TONE_ODD_MONO_22, 1, 22050, 12345},
                         {ENGINE_TONE_ODD_STEREO_NOTAG, 2, 44100, 12345, false},
                         {ENGINE_TONE_MONO_22_NOTAG, 1, 22050, 44100, false}};

/// lame's encoder delay (576) and libmad's synthesis delay (529): where the
/// source's first sample lies in the decoded frames.
constexpr uint64_t kSourceStart = 576 + 529;

struct Pcm {
    unsigned channels = 0, frames = 0;
    std::vector<uint8_t> bytes;
    Mp3DitherState state[2];
    bool info;
    uint64_t at = 0, from, to;
};

/// libmad's frames dithered sample by sample from the process's dither state
/// as it is now, and interleaved here: frames are written in the first
/// frame's layout, a mono frame's one channel on both sides. info: the first
/// frame is not audio; the samples in [from, from + count) are kept.
inline Pcm Expected(const std::vector<uint8_t>& file, bool info, uint64_t from = 0, uint64_t count = UINT64_MAX)
{
    Pcm out;
    {
        auto& dither = Mp3ProcessDither();
        std::lock_guard<std::mutex> lock(dither.lock);
        out.state[0] = dither.left, out.state[1] = dither.right;
    }
    out.info = info, out.from = from, out.to = count == UINT64_MAX ? count : from + count;
    auto onFrame = [](void* user, unsigned channels, unsigned, const int32_t* left, const int32_t* right,
                      unsigned length) {
        Pcm& o = *static_cast<Pcm*>(user);
        if (std::exchange(o.info, false))
            return true;
        o.channels = o.channels ? o.channels : channels;
        for (unsigned i = 0; i < length; ++i, ++o.at)
            for (unsigned ch = 0; ch < o.channels; ++ch) {
                const uint16_t v = Mp3DitherSample((ch && right ? right : left)[i], o.state[ch]);
                if (o.at >= o.from && o.at < o.to)
                    o.bytes.insert(o.bytes.end(), {uint8_t(v), uint8_t(v >> 8)});
            }
        return true;
    };
    out.frames = Mp3DecodeFrames(file.data(), file.size(), onFrame, &out);
    return out;
}

/// A tone's decode: tagged, the source's samples from kSourceStart.
inline Pcm Expected(const Tone& tone)
{
    return Expected(SoundFiles::ReadFile(tone.path), tone.tagged, tone.tagged ? kSourceStart : 0,
                    tone.tagged ? tone.samples : UINT64_MAX);
}

} // namespace Mp3Fixture
