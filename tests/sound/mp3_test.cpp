// The portable MP3 path, natively under the sanitizers as well as for
// Windows: the 16-bit dither and decoding through the bundled libmad. (The
// stream block is read end to end by the Windows stream tests.)
#include <gtest/gtest.h>

#include <cstring>

#include "Mp3Fixture.h"

using namespace Veld::Game;
using SoundFiles::ReadFile;

namespace {

constexpr int32_t kOne = 1 << 28; // 1.0 in libmad's fixed point

struct VectorSink : IMp3DecodeSink {
    unsigned channels = 0, sampleRate = 0, formats = 0;
    std::vector<uint8_t> out;
    uint8_t frame[kMp3MaxFrameBytes];

    void OnFormat(unsigned c, unsigned rate) override { channels = c, sampleRate = rate, ++formats; }
    uint8_t* NextOutput() override { return frame; }
    bool OnFrame(uint32_t bytes) override { return out.insert(out.end(), frame, frame + bytes), true; }
    /// Decodes from an exactly sized copy: the sanitizers see any read past it.
    uint32_t Decode(const std::vector<uint8_t>& file)
    {
        const std::vector<uint8_t> exact(file);
        return Mp3Decode(exact.data(), exact.size(), *this);
    }
};

TEST(Mp3Dither, RoundsClipsAndShapesNoise)
{
    // From the zero state the generator adds (0x3C6EF35F & 0x1FFF) = 4959 of
    // noise and rounding 4096: the output is (sample + 9055) with its low 13
    // bits cleared, and error[0] the (clipped) sample minus that.
    struct Case {
        Mp3DitherState state;
        int32_t sample;
        int result;
        int32_t error;
    } cases[] = {
        {{}, -863, 1, -863 - 8192},
        {{}, -864, 0, -864},
        {{}, kOne - 1 - 9055, 32767, -864}, // lands on the largest value
        {{}, kOne - 1 - 9054, 32767, -863}, // the output clips, the sample is in range
        {{}, kOne, 32767, 8191},            // the sample clips too
        {{}, -kOne - 9055, -32768, -9055},
        {{}, -kOne - 9056, -32768, 0},
        {{{1, 0, 0}, 0}, INT32_MAX, -32768, 0}, // wraps to INT32_MIN in 32 bits
        {{{-7, 5, 7}, 0}, 0, 1, -5 - 8192},     // 0 + (-7) - 5 + 7 = -5
    };
    for (Case& c : cases) {
        // The writer (both channels at once, SSE2) gives the per-sample results.
        Mp3DitherState w[2] = {c.state, c.state}, r = c.state;
        const std::vector<int32_t> in(9, c.sample);
        std::vector<int16_t> out(19, 0x5555);
        ASSERT_EQ(Mp3WritePcm16(reinterpret_cast<uint8_t*>(out.data()), in.data(), in.data(), 9, w[0], w[1]), 36u);
        for (int i = 0; i < 9; ++i)
            EXPECT_TRUE(out[2 * i] == out[2 * i + 1] && out[2 * i] == Mp3DitherSample(c.sample, r)) << c.sample;
        EXPECT_TRUE(out[18] == 0x5555 && std::memcmp(&w[1], &r, sizeof(r)) == 0) << c.sample;
        EXPECT_TRUE(Mp3DitherSample(c.sample, c.state) == c.result && c.state.error[0] == c.error) << c.sample;
    }
    EXPECT_TRUE(cases[8].state.error[1] == -3 && cases[8].state.error[2] == 5); // -7 / 2 rounds toward zero
    Mp3DitherState s{};
    for (int silence : {1, -1, 1, -1, 0, 0, 0, 1})
        EXPECT_EQ(Mp3DitherSample(0, s), silence);
}

// Every format as the reference decode gives it, the last frame included:
// lame's Info frame, then one second and its 1105 samples of delay padded to
// whole frames. Mutated files through the decode and the dither: frames or
// nothing, never a crash or a read out of bounds (natively under
// AddressSanitizer). Joined files: every frame in the first frame's layout;
// nothing from no frame.
TEST(Mp3Decode, TonesMutatedAndJoinedFiles)
{
    for (const Mp3Fixture::Tone& tone : Mp3Fixture::kFormats) {
        const Mp3Fixture::Pcm expected = Mp3Fixture::Expected(tone.path);
        VectorSink sink;
        EXPECT_EQ(sink.Decode(ReadFile(tone.path)), expected.frames) << tone.path;
        EXPECT_TRUE(sink.formats == 1 && sink.channels == tone.channels && sink.sampleRate == 44100 &&
                    sink.out == expected.bytes && expected.frames == 41);
    }
    const auto file = ReadFile(ENGINE_TONE_SHORT);
    int decoded = 0;
    for (uint32_t seed = 1; seed <= 2500; ++seed) {
        VectorSink sink;
        const uint32_t frames = sink.Decode(SoundFiles::Mutate(file, seed));
        decoded += frames > 0;
        ASSERT_TRUE(sink.out.size() <= size_t{frames} * kMp3MaxFrameBytes &&
                    sink.out.size() % (2 * std::max(sink.channels, 1u)) == 0)
            << "seed " << seed;
    }
    EXPECT_GT(decoded, 500);
    std::vector<uint8_t> joined = ReadFile(ENGINE_TONE_MONO), stereo = ReadFile(ENGINE_TONE_STEREO);
    joined.insert(joined.end(), stereo.begin(), stereo.end());
    VectorSink sink, none;
    EXPECT_TRUE(sink.Decode(joined) * 1152u * 2u == sink.out.size() && sink.channels == 1 &&
                sink.out.size() > 80 * 2304);
    EXPECT_EQ(Mp3Decode(nullptr, 0, none) + none.Decode(std::vector<uint8_t>(5000, 'x')) + none.formats, 0u);
}

} // namespace
