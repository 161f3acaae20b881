// The portable MP3 path, natively under the sanitizers as well as for
// Windows: the 16-bit dither, decoding through the bundled libmad, and the
// block through which a decoding worker hands PCM to a reader.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "Mp3Fixture.h"

using namespace Veld::Game;
using Mp3Fixture::ReferenceDecode;
using SoundFiles::ReadFile;

namespace {

constexpr int32_t kOne = 1 << 28; // 1.0 in libmad's fixed point

struct VectorSink : IMp3DecodeSink {
    unsigned channels = 0, sampleRate = 0, formats = 0;
    std::vector<uint8_t> out;
    uint8_t frame[kMp3MaxFrameBytes];

    void OnFormat(unsigned c, unsigned rate) override { channels = c; sampleRate = rate; ++formats; }
    uint8_t* NextOutput() override { return frame; }
    bool OnFrame(uint32_t bytes) override
    {
        out.insert(out.end(), frame, frame + bytes);
        return true;
    }
    /// Decodes from an exactly sized copy: the sanitizers see any read past it.
    uint32_t Decode(const std::vector<uint8_t>& file)
    {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<size_t>(file.size(), 1)]);
        std::copy(file.begin(), file.end(), exact.get());
        return Mp3Decode(exact.get(), file.size(), *this);
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
        {{}, -kOne, -32767, -8192},
        {{}, kOne - 1 - 9055, 32767, -864}, // lands on the largest value
        {{}, kOne - 1 - 9054, 32767, -863}, // the output clips, the sample is in range
        {{}, kOne, 32767, 8191},            // the sample clips too
        {{}, -kOne - 9055, -32768, -9055},
        {{}, -kOne - 9056, -32768, 0},
        {{{1, 0, 0}, 0}, INT32_MAX, -32768, 0}, // wraps to INT32_MIN in 32 bits
        {{{-7, 5, 7}, 0}, 0, 1, -5 - 8192},     // 0 + (-7) - 5 + 7 = -5
    };
    for (Case& c : cases) {
        EXPECT_EQ(Mp3DitherSample(c.sample, c.state), c.result) << c.sample;
        EXPECT_EQ(c.state.error[0], c.error) << c.sample;
    }
    EXPECT_EQ(cases[9].state.error[1], -3); // -7 / 2 rounds toward zero
    EXPECT_EQ(cases[9].state.error[2], 5);
    Mp3DitherState s{};
    std::vector<int> silence;
    for (int i = 0; i < 8; ++i)
        silence.push_back(Mp3DitherSample(0, s));
    EXPECT_EQ(silence, (std::vector<int>{1, -1, 1, -1, 0, 0, 0, 1}));
}

// The stereo writer works on both channels at once (SSE2), the mono writer
// on one: both give exactly the per-sample results, clipping and wrap-around
// included, little-endian, writing nothing past the end.
TEST(Mp3WritePcm16, MatchesPerSampleDitherOnRandomInput)
{
    std::mt19937 rng(42);
    auto next = [&rng] { return static_cast<int32_t>(rng()); };
    // Quiet, up to +-1.0, near +-1.0, anything.
    auto sample = [&](int kind) {
        const int32_t v = next();
        return kind == 0 ? v >> 12 : kind == 1 ? v >> 3 : kind == 2 ? (v & 1 ? kOne : -kOne) + next() % 10000 : v;
    };
    Mp3DitherState aim[2];
    // Lands the output before clipping within a few steps of -1.0 or of
    // 1.0 - 2^-28, from the state the sample meets.
    auto aimed = [&](int c) {
        Mp3DitherState& s = aim[c];
        const uint32_t random = static_cast<uint32_t>(s.random), nextRandom = random * 0x0019660Du + 0x3C6EF35Fu;
        const uint32_t target = static_cast<uint32_t>((next() & 1 ? kOne - 1 : -kOne) + next() % 3);
        const int32_t x = static_cast<int32_t>(target - ((nextRandom & 0x1FFF) - (random & 0x1FFF) + 0x1000) -
                                               s.error[0] + s.error[1] - s.error[2]);
        Mp3DitherSample(x, s);
        return x;
    };
    for (int round = 0; round < 500; ++round) {
        const uint32_t count = round < 40 ? round : 1152, channels = round % 5 == 4 ? 1 : 2;
        Mp3DitherState state[2] = {}, ref[2];
        for (Mp3DitherState& s : state)
            if (round % 3)
                s = {{next() >> 4, next() >> 5, next() >> 5}, next()};
        std::copy(state, state + 2, aim);
        std::copy(state, state + 2, ref);
        std::vector<int32_t> in[2];
        for (uint32_t i = 0; i < count; ++i)
            for (int c = 0; c < 2; ++c)
                in[c].push_back(round >= 400 ? aimed(c) : sample((round + c * (round / 4)) % 4));
        std::vector<uint8_t> pcm(count * 2 * channels + 1, 0xAA);
        ASSERT_EQ(Mp3WritePcm16(pcm.data(), in[0].data(), channels == 2 ? in[1].data() : nullptr, count, state[0],
                                state[1]),
                  count * 2 * channels);
        for (uint32_t i = 0; i < count * channels; ++i)
            ASSERT_EQ(static_cast<int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8),
                      Mp3DitherSample(in[i % channels][i / channels], ref[i % channels]))
                << "round " << round << " sample " << i;
        ASSERT_EQ(pcm.back(), 0xAA) << round;
        ASSERT_EQ(std::memcmp(state, ref, sizeof(state)), 0) << round;
    }
}

TEST(Mp3Decode, TonesOfEachFormat)
{
    for (const Mp3Fixture::Tone& tone : Mp3Fixture::kFormats) {
        SCOPED_TRACE(tone.path);
        const Mp3Fixture::Pcm expected = Mp3Fixture::Expected(tone.path);
        Mp3DitherState state[2] = {};
        EXPECT_EQ(ReferenceDecode(ReadFile(tone.path), state, false).frames + 1, expected.frames) << "the guard";
        VectorSink sink;
        EXPECT_EQ(sink.Decode(ReadFile(tone.path)), expected.frames); // the last frame included
        EXPECT_EQ(sink.formats, 1u);
        EXPECT_EQ(sink.channels, tone.channels);
        EXPECT_EQ(sink.sampleRate, 44100u);
        EXPECT_TRUE(sink.out == expected.bytes);
        // One second padded to whole frames; the tone itself shows that
        // libmad's fixed point suits the target.
        const size_t frames = sink.out.size() / 2 / tone.channels;
        EXPECT_EQ(frames, expected.frames * 1152u);
        EXPECT_TRUE(frames >= 44100 && frames <= 44100 + 3 * 1152) << frames;
        std::vector<int16_t> pcm(sink.out.size() / 2);
        std::memcpy(pcm.data(), sink.out.data(), pcm.size() * 2);
        for (unsigned c = 0; c < tone.channels; ++c)
            EXPECT_NEAR(SoundFiles::Frequency(pcm, tone.channels, c, 44100), 440.0 * (c + 1), 3);
    }
}

// Joined files: every frame in the first frame's layout; nothing from no frame.
TEST(Mp3Decode, FramesKeepTheFirstFramesChannelCount)
{
    const auto stereo = ReadFile(ENGINE_TONE_STEREO), mono = ReadFile(ENGINE_TONE_MONO);
    for (unsigned channels : {1u, 2u}) {
        std::vector<uint8_t> joined = channels == 1 ? mono : stereo;
        joined.insert(joined.end(), (channels == 1 ? stereo : mono).begin(), (channels == 1 ? stereo : mono).end());
        VectorSink sink;
        const uint32_t frames = sink.Decode(joined);
        EXPECT_EQ(sink.channels, channels);
        EXPECT_GT(frames, 80u);
        EXPECT_EQ(sink.out.size(), frames * 1152u * 2u * channels);
    }
    VectorSink none;
    EXPECT_EQ(Mp3Decode(nullptr, 0, none) + none.Decode(std::vector<uint8_t>(5000, 'x')) + none.formats, 0u);
}

TEST(Mp3Block, ReaderTakesOnlyWhatIsThereAndReleasesOnlyCompleteBlocks)
{
    CMp3Block block;
    ASSERT_TRUE(block.Allocate());
    std::vector<uint8_t> out(kMp3BlockSize);
    bool released = true;
    // A block still being written: bytes in order, no release.
    std::memset(block.WritePointer(), 1, 1000);
    EXPECT_FALSE(block.Commit(1000));
    for (uint32_t n : {600u, 400u, 0u}) {
        EXPECT_EQ(block.Take(out.data(), 600, &released), n);
        EXPECT_FALSE(released);
    }
    EXPECT_FALSE(block.IsComplete());

    // The last, partial block: the second half-read goes on where the first
    // stopped and returns only what remains, then releases.
    const auto rest = SoundFiles::Pattern(500000 - 1000, 7);
    std::copy(rest.begin(), rest.end(), block.WritePointer());
    EXPECT_FALSE(block.Commit(static_cast<uint32_t>(rest.size())));
    block.Finish();
    EXPECT_TRUE(block.IsComplete());
    std::vector<uint8_t> got;
    std::vector<bool> releases;
    for (uint32_t n; (n = block.Take(out.data(), kMp3BlockSize / 2, &released)) != 0;) {
        got.insert(got.end(), out.begin(), out.begin() + n);
        releases.push_back(released);
    }
    EXPECT_EQ(releases, (std::vector<bool>{false, true}));
    EXPECT_TRUE(got == rest);
    EXPECT_EQ(block.Fill(), 0u);
}

// Mutated files through the decode and the dither: frames or nothing, never
// a crash or a read out of bounds (natively under AddressSanitizer).
TEST(Mp3Decode, MutatedFilesNeverCrash)
{
    const auto file = ReadFile(ENGINE_TONE_SHORT);
    ASSERT_FALSE(file.empty());
    int decoded = 0;
    for (uint32_t seed = 1; seed <= 2500; ++seed) {
        VectorSink sink;
        const uint32_t frames = sink.Decode(SoundFiles::Mutate(file, seed));
        decoded += frames > 0;
        ASSERT_LE(sink.out.size(), size_t{frames} * kMp3MaxFrameBytes) << "seed " << seed;
        ASSERT_EQ(sink.out.size() % (2 * std::max(sink.channels, 1u)), 0u) << "seed " << seed;
    }
    EXPECT_GT(decoded, 500);
}

} // namespace
