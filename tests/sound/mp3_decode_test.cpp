// Decodes tones encoded by the build through the bundled libmad and the 16-bit
// writer: catches a libmad build whose fixed-point routines or type sizes are
// wrong for the target.
#include "Mp3Dither.h"

#include <gtest/gtest.h>
#include <mad.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

struct Decoded {
    unsigned channels = 0, frames = 0;
    std::vector<int16_t> pcm[2];
};

struct Context {
    std::vector<unsigned char> file;
    bool fed = false;
    Decoded out;
    Veld::Game::Mp3DitherState state[2] = {};
};

mad_flow OnInput(void* data, mad_stream* stream)
{
    auto* c = static_cast<Context*>(data);
    if (c->fed)
        return MAD_FLOW_STOP;
    c->fed = true;
    mad_stream_buffer(stream, c->file.data(), c->file.size());
    return MAD_FLOW_CONTINUE;
}

mad_flow OnOutput(void* data, const mad_header* header, mad_pcm* pcm)
{
    auto* c = static_cast<Context*>(data);
    EXPECT_EQ(header->samplerate, 44100u);
    c->out.channels = pcm->channels;
    ++c->out.frames;
    const unsigned n = pcm->channels;
    std::vector<uint8_t> bytes(pcm->length * 2u * n);
    Veld::Game::Mp3WritePcm16(bytes.data(), pcm->samples[0], n == 2 ? pcm->samples[1] : nullptr, pcm->length,
                              c->state[0], c->state[1]);
    for (size_t i = 0; i < bytes.size(); i += 2)
        c->out.pcm[(i / 2) % n].push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return MAD_FLOW_CONTINUE;
}

// guard: follow the data with MAD_BUFFER_GUARD zero bytes, without which
// libmad cannot decode the last frame of its buffer.
Decoded Decode(const char* path, bool guard)
{
    std::ifstream f(path, std::ios::binary);
    Context c;
    c.file.assign(std::istreambuf_iterator<char>(f), {});
    EXPECT_FALSE(c.file.empty()) << path;
    if (guard)
        c.file.resize(c.file.size() + MAD_BUFFER_GUARD, 0);
    mad_decoder decoder;
    mad_decoder_init(&decoder, &c, OnInput, nullptr, nullptr, OnOutput, nullptr, nullptr);
    mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
    mad_decoder_finish(&decoder);
    return c.out;
}

// Half periods of a half-scale tone: swings between samples beyond +-1/8 of
// full scale, so dither in the encoder's silent padding does not count.
int Swings(const std::vector<int16_t>& v)
{
    int n = 0, sign = 0;
    for (int16_t s : v) {
        const int now = s > 4096 ? 1 : s < -4096 ? -1 : 0;
        if (now != 0 && now != sign) {
            n += sign != 0;
            sign = now;
        }
    }
    return n;
}

// The tones last one second: 440 Hz on the left (or mono), 880 Hz on the
// right, padded by the encoder to whole frames of 1152 samples.
void ExpectTone(const Decoded& d, unsigned channels)
{
    EXPECT_EQ(d.channels, channels);
    EXPECT_GE(d.pcm[0].size(), 44100u);
    EXPECT_LE(d.pcm[0].size(), 44100u + 3 * 1152u);
    EXPECT_EQ(d.pcm[0].size(), d.frames * 1152u);
    EXPECT_NEAR(Swings(d.pcm[0]), 880, 4);
    if (channels == 2) {
        EXPECT_EQ(d.pcm[1].size(), d.pcm[0].size());
        EXPECT_NEAR(Swings(d.pcm[1]), 1760, 4);
    }
}

} // namespace

TEST(Mp3Decode, StereoAndMonoTones)
{
    ExpectTone(Decode(ENGINE_TONE_STEREO, true), 2);
    ExpectTone(Decode(ENGINE_TONE_MONO, true), 1);
}

TEST(Mp3Decode, LastFrameNeedsTheBufferGuard)
{
    EXPECT_EQ(Decode(ENGINE_TONE_STEREO, false).frames + 1, Decode(ENGINE_TONE_STEREO, true).frames);
}
