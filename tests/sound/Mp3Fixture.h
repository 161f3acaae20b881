// The MP3 tones the build encodes with lame (tests/sound/CMakeLists.txt), and
// what decoding them must give. Portable.
#pragma once

#include <mad.h>

#include "Mp3Decoder.h"
#include "SoundFiles.h"

namespace Mp3Fixture {

using Veld::Game::Mp3DitherState;

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
};

/// Plain libmad over the file followed by MAD_BUFFER_GUARD zero bytes (without
/// them the last frame is lost), dithered sample by sample from the process's
/// dither state as it is now. Frames are written in the first frame's layout.
inline Pcm Expected(const char* path)
{
    Pcm out;
    Mp3DitherState state[2];
    {
        auto& dither = Veld::Game::Mp3ProcessDither();
        std::lock_guard<std::mutex> lock(dither.lock);
        state[0] = dither.left, state[1] = dither.right;
    }
    std::vector<uint8_t> file = SoundFiles::ReadFile(path);
    file.resize(file.size() + MAD_BUFFER_GUARD, 0);
    mad_stream stream;
    mad_frame frame;
    mad_synth synth;
    mad_stream_init(&stream), mad_frame_init(&frame), mad_synth_init(&synth);
    mad_stream_buffer(&stream, file.data(), file.size());
    for (int r; (r = mad_frame_decode(&frame, &stream)) == 0 || MAD_RECOVERABLE(stream.error);) {
        if (r != 0)
            continue;
        mad_synth_frame(&synth, &frame);
        const mad_pcm& pcm = synth.pcm;
        out.channels = out.channels ? out.channels : pcm.channels;
        ++out.frames;
        for (unsigned i = 0; i < pcm.length; ++i)
            for (unsigned ch = 0; ch < out.channels; ++ch) {
                const uint16_t v = Veld::Game::Mp3DitherSample(pcm.samples[ch ? pcm.channels - 1 : 0][i], state[ch]);
                out.bytes.insert(out.bytes.end(), {uint8_t(v), uint8_t(v >> 8)});
            }
    }
    mad_frame_finish(&frame), mad_stream_finish(&stream); // a synth holds nothing to free
    return out;
}

} // namespace Mp3Fixture
