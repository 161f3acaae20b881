#include "Mp3Dither.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using Veld::Game::Mp3DitherSample;
using Veld::Game::Mp3DitherState;
using Veld::Game::Mp3WritePcm16;

namespace {

constexpr int32_t kOne = 1 << 28;                          // 1.0 in libmad's fixed point
const std::vector<int> kSilence{1, -1, 1, -1, 0, 0, 0, 1}; // from zero state

// From the zero state the generator adds (0x3C6EF35F & 0x1FFF) = 4959 of
// noise and rounding adds 4096: the output is (sample + 9055) with its low
// 13 bits cleared, and error[0] = sample (clipped) - that.
void ExpectFromZeroState(int32_t sample, int result, int32_t error)
{
    Mp3DitherState s{};
    EXPECT_EQ(Mp3DitherSample(sample, s), result) << "sample " << sample;
    EXPECT_EQ(s.error[0], error) << "sample " << sample;
}

int Le16(const std::vector<uint8_t>& v, size_t at)
{
    return static_cast<int16_t>(v[at] | (v[at + 1] << 8));
}

} // namespace

TEST(Mp3Dither, RoundsAndClipsAtTheEdges)
{
    ExpectFromZeroState(-863, 1, -863 - 8192); // -863 + 9055 = 8192
    ExpectFromZeroState(-864, 0, -864);
    ExpectFromZeroState(-kOne, -32767, -8192); // -268426401 -> -32767 * 8192

    const int32_t max = kOne - 1;
    ExpectFromZeroState(max - 9055, 32767, -864); // lands on max: no clip
    // The output clips but the sample is in range, so the error is taken
    // from the sample itself: 268426401 - 32767 * 8192.
    ExpectFromZeroState(max - 9054, 32767, -863);
    ExpectFromZeroState(kOne, 32767, 8191); // sample clipped to max too

    ExpectFromZeroState(-kOne - 9055, -32768, -9055); // lands on -1.0
    ExpectFromZeroState(-kOne - 9056, -32768, 0);     // both clip to -1.0
}

TEST(Mp3Dither, ShapesNoiseFromPastErrorsIn32BitArithmetic)
{
    Mp3DitherState s{};
    std::vector<int> out;
    for (int i = 0; i < 8; ++i)
        out.push_back(Mp3DitherSample(0, s));
    EXPECT_EQ(out, kSilence);

    // 0 + (-7) - 5 + 7 = -5; -5 + 9055 -> 8192 -> 1.
    Mp3DitherState t{{-7, 5, 7}, 0};
    EXPECT_EQ(Mp3DitherSample(0, t), 1);
    EXPECT_EQ(t.error[0], -5 - 8192);
    EXPECT_EQ(t.error[1], -3); // -7 / 2 rounds toward zero
    EXPECT_EQ(t.error[2], 5);

    // 0x7FFFFFFF + 1 wraps to INT32_MIN, far below -1.0.
    Mp3DitherState u{{1, 0, 0}, 0};
    EXPECT_EQ(Mp3DitherSample(INT32_MAX, u), -32768);
}

TEST(Mp3WritePcm16, InterleavesLittleEndianWithAStatePerChannel)
{
    Mp3DitherState l{}, r{};
    const int32_t full[2] = {kOne, -kOne};
    std::vector<uint8_t> pcm(4);
    EXPECT_EQ(Mp3WritePcm16(pcm.data(), &full[0], &full[1], 1, l, r), 4u);
    EXPECT_EQ(pcm, (std::vector<uint8_t>{0xFF, 0x7F, 0x01, 0x80}));

    // Fresh states on silence: both channels run the same sequence.
    Mp3DitherState l2{}, r2{};
    const std::vector<int32_t> zeros(8, 0);
    pcm.assign(8 * 4 + 1, 0xAA);
    EXPECT_EQ(Mp3WritePcm16(pcm.data(), zeros.data(), zeros.data(), 8, l2, r2), 32u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(Le16(pcm, i * 4), kSilence[i]) << "left " << i;
        EXPECT_EQ(Le16(pcm, i * 4 + 2), kSilence[i]) << "right " << i;
    }
    EXPECT_EQ(pcm.back(), 0xAA);
}

TEST(Mp3WritePcm16, MonoCarriesTheLeftStateAcrossCalls)
{
    Mp3DitherState l{}, r{};
    const std::vector<int32_t> zeros(8, 0);
    std::vector<uint8_t> pcm(8 * 2 + 1, 0xAA);
    EXPECT_EQ(Mp3WritePcm16(pcm.data(), zeros.data(), nullptr, 5, l, r), 10u);
    EXPECT_EQ(Mp3WritePcm16(pcm.data() + 10, zeros.data(), nullptr, 3, l, r), 6u);
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(Le16(pcm, i * 2), kSilence[i]) << "sample " << i;
    EXPECT_EQ(pcm.back(), 0xAA);
    EXPECT_EQ(r.random, 0);
}

// The stereo writer works on both channels at once (SSE2); it must give
// exactly the per-sample results, clipping and wrap-around included. Inputs:
// quiet, up to +-1.0, near and beyond +-1.0, any 32-bit value; random states.
TEST(Mp3WritePcm16, StereoMatchesPerSampleDitherOnRandomInput)
{
    uint64_t seed = 42;
    auto next = [&seed] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<int32_t>(seed >> 32);
    };
    auto sample = [&](int kind) -> int32_t {
        switch (kind) {
        case 0: return next() >> 12;
        case 1: return next() >> 3;
        case 2: return (next() & 1 ? kOne : -kOne) + next() % 10000;
        default: return next();
        }
    };
    // Inputs whose output before clipping lands within a few steps of -1.0
    // or 1.0 - 2^-28, from the state the sample meets.
    auto aimed = [&](Mp3DitherState& s) {
        const uint32_t random = static_cast<uint32_t>(s.random), nextRandom = random * 0x0019660Du + 0x3C6EF35Fu;
        const int32_t noise = static_cast<int32_t>((nextRandom & 0x1FFF) - (random & 0x1FFF)) + 0x1000;
        const int32_t target = (next() & 1 ? kOne - 1 : -kOne) + next() % 3;
        const int32_t x = static_cast<int32_t>(static_cast<uint32_t>(target) - static_cast<uint32_t>(noise) -
                                               static_cast<uint32_t>(s.error[0]) + static_cast<uint32_t>(s.error[1]) -
                                               static_cast<uint32_t>(s.error[2]));
        Mp3DitherSample(x, s);
        return x;
    };
    for (int round = 0; round < 500; ++round) {
        const uint32_t count = round < 40 ? round : 1152;
        Mp3DitherState l{}, r{};
        if (round % 3) {
            l = {{next() >> 4, next() >> 5, next() >> 5}, next()};
            r = {{next() >> 4, next() >> 5, next() >> 5}, next()};
        }
        std::vector<int32_t> left(count), right(count);
        Mp3DitherState aimL = l, aimR = r;
        for (uint32_t i = 0; i < count; ++i) {
            left[i] = round >= 400 ? aimed(aimL) : sample(round % 4);
            right[i] = round >= 400 ? aimed(aimR) : sample((round + round / 4) % 4);
        }
        Mp3DitherState refL = l, refR = r;
        std::vector<uint8_t> pcm(count * 4 + 1, 0xAA);
        ASSERT_EQ(Mp3WritePcm16(pcm.data(), left.data(), right.data(), count, l, r), count * 4);
        for (uint32_t i = 0; i < count; ++i) {
            ASSERT_EQ(Le16(pcm, i * 4), Mp3DitherSample(left[i], refL)) << "round " << round << " left " << i;
            ASSERT_EQ(Le16(pcm, i * 4 + 2), Mp3DitherSample(right[i], refR)) << "round " << round << " right " << i;
        }
        ASSERT_EQ(pcm.back(), 0xAA);
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(l.error[k], refL.error[k]) << "round " << round;
            ASSERT_EQ(r.error[k], refR.error[k]) << "round " << round;
        }
        ASSERT_EQ(l.random, refL.random);
        ASSERT_EQ(r.random, refR.random);
    }
}
