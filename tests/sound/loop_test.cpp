// Streamed MP3 music played in a loop, as the rig's null sink plays it.
#include "DSoundFixture.h"

using namespace SoundTest;

namespace {

// One second of whole periods (441/882 Hz), shorter than the stream buffer, so
// its first fill already runs across loop points. Folded by the loop's length,
// over four loops, no 105-sample stretch of the left channel is always louder
// in high frequencies (second differences: a click) or always quieter (a gap)
// than the tone; no finished event; a stop ends it, once.
TEST_F(DSound, StreamedLoopHasNoSeam)
{
    ASSERT_TRUE(sound_->LoadSound(Widen(ENGINE_TONE_LOOP), L"loop", false, 1));
    int id = 0;
    const std::vector<int16_t> samples = Record("loop.raw", 5, [&] { id = sound_->PlaySound(L"loop", true); });
    ASSERT_EQ(samples.size(), size_t{5 * 2 * kRate});
    const size_t kBin = 105, kBins = kRate / kBin;
    std::vector<double> clicks(kBins, 1e300), level(kBins, 0);
    for (size_t loop = 1; loop < 5; ++loop) // the first holds the start
        for (size_t b = 0; b < kBins; ++b) {
            double hf = 0, sum = 0;
            for (size_t i = loop * kRate + b * kBin; i < loop * kRate + (b + 1) * kBin; ++i) {
                const double x = samples[2 * i], d = x - 2.0 * samples[2 * i - 2] + samples[2 * i - 4];
                hf += d * d, sum += x * x;
            }
            clicks[b] = std::min(clicks[b], hf), level[b] = std::max(level[b], sum);
        }
    auto median = [](std::vector<double> v) { return std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end()), v[v.size() / 2]; };
    EXPECT_LT(*std::max_element(clicks.begin(), clicks.end()), 4 * median(clicks));
    EXPECT_GT(*std::min_element(level.begin(), level.end()), median(level) / 2);
    EXPECT_TRUE(median(level) > kBin * 2000.0 * 2000 && events_.empty()); // loud, not finished
    sound_->StopSound(id);
    EXPECT_TRUE(WaitFor([&] { return !Sound(L"loop")->IsStreaming(); }, 5000) &&
                events_ == std::vector<Event>{{id, SoundStopped}});
}

} // namespace
