// The MP3 tones the build encodes with lame (tests/sound/CMakeLists.txt), and
// what decoding them must give. Portable.
#pragma once

#include <mad.h>

#include <cstdint>
#include <vector>

#include "Mp3Decoder.h"
#include "SoundFiles.h"

namespace Mp3Fixture {

using Veld::Game::Mp3DitherState;

/// 44100 Hz tones: 440 Hz, in stereo 880 Hz on the right.
struct Tone {
    const char* path;
    unsigned channels;
};
/// One second in each format: stereo and mono, low and high bit rates.
const Tone kFormats[] = {{ENGINE_TONE_STEREO, 2}, {ENGINE_TONE_MONO, 1}, {ENGINE_TONE_STEREO_320, 2},
                         {ENGINE_TONE_MONO_64, 1}};

struct Pcm {
    unsigned channels = 0, frames = 0;
    std::vector<uint8_t> bytes;
};

/// Plain libmad over the file, followed by MAD_BUFFER_GUARD zero bytes when
/// guard is set, through the 16-bit writer from the given dither states.
/// Frames are written in the first frame's channel count.
inline Pcm ReferenceDecode(std::vector<uint8_t> file, Mp3DitherState state[2], bool guard = true)
{
    struct Context {
        std::vector<uint8_t>* file;
        Pcm pcm;
        Mp3DitherState* state;
    } c{&file, {}, state};
    file.resize(file.size() + (guard ? MAD_BUFFER_GUARD : 0), 0);
    auto input = [](void* data, mad_stream* stream) {
        auto* c = static_cast<Context*>(data);
        if (!c->file)
            return MAD_FLOW_STOP;
        mad_stream_buffer(stream, c->file->data(), c->file->size());
        c->file = nullptr; // all of it at once
        return MAD_FLOW_CONTINUE;
    };
    auto output = [](void* data, const mad_header*, mad_pcm* pcm) {
        auto* c = static_cast<Context*>(data);
        c->pcm.channels = c->pcm.channels ? c->pcm.channels : pcm->channels;
        ++c->pcm.frames;
        const size_t at = c->pcm.bytes.size();
        c->pcm.bytes.resize(at + pcm->length * 2u * c->pcm.channels);
        Veld::Game::Mp3WritePcm16(c->pcm.bytes.data() + at, pcm->samples[0],
                                  c->pcm.channels == 2 ? pcm->samples[pcm->channels - 1] : nullptr, pcm->length,
                                  c->state[0], c->state[1]);
        return MAD_FLOW_CONTINUE;
    };
    mad_decoder decoder;
    mad_decoder_init(&decoder, &c, input, nullptr, nullptr, output, nullptr, nullptr);
    mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
    mad_decoder_finish(&decoder);
    return c.pcm;
}

/// The process-wide dither state now.
inline void ProcessDither(Mp3DitherState state[2])
{
    auto& dither = Veld::Game::Mp3ProcessDither();
    std::lock_guard<std::mutex> lock(dither.lock);
    state[0] = dither.left;
    state[1] = dither.right;
}

/// The PCM that a decode of path, started after this call, must give: it
/// goes on from the process's dither state.
inline Pcm Expected(const char* path)
{
    Mp3DitherState state[2];
    ProcessDither(state);
    return ReferenceDecode(SoundFiles::ReadFile(path), state);
}

} // namespace Mp3Fixture
