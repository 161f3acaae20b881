// The MP3 tones the build encodes with lame (tests/sound/CMakeLists.txt), and
// what decoding them must give. Portable.
#pragma once

#include "Mp3Decoder.h"
#include "SoundFiles.h"

namespace Mp3Fixture {

using namespace Veld::Game;

/// 44100 Hz tones: 440 Hz, in stereo 880 Hz on the right; one second in each
/// format: stereo and mono, low and high bit rates.
struct Tone {
    const char* path;
    unsigned channels;
};
const Tone kFormats[] = {
    {ENGINE_TONE_STEREO, 2}, {ENGINE_TONE_MONO, 1}, {ENGINE_TONE_STEREO_320, 2}, {ENGINE_TONE_MONO_64, 1}};

struct Pcm {
    unsigned channels = 0, frames = 0;
    std::vector<uint8_t> bytes;
    Mp3DitherState state[2];
};

/// libmad's frames dithered sample by sample from the process's dither state
/// as it is now, and interleaved here: frames are written in the first
/// frame's layout, a mono frame's one channel on both sides.
inline Pcm Expected(const char* path)
{
    Pcm out;
    {
        auto& dither = Mp3ProcessDither();
        std::lock_guard<std::mutex> lock(dither.lock);
        out.state[0] = dither.left, out.state[1] = dither.right;
    }
    const std::vector<uint8_t> file = SoundFiles::ReadFile(path);
    auto onFrame = [](void* user, unsigned channels, unsigned, const int32_t* left, const int32_t* right,
                      unsigned length) {
        Pcm& o = *static_cast<Pcm*>(user);
        o.channels = o.channels ? o.channels : channels;
        for (unsigned i = 0; i < length; ++i)
            for (unsigned ch = 0; ch < o.channels; ++ch) {
                const uint16_t v = Mp3DitherSample((ch && right ? right : left)[i], o.state[ch]);
                o.bytes.insert(o.bytes.end(), {uint8_t(v), uint8_t(v >> 8)});
            }
        return true;
    };
    out.frames = Mp3DecodeFrames(file.data(), file.size(), onFrame, &out);
    return out;
}

} // namespace Mp3Fixture
