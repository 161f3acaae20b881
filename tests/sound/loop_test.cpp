// Streamed MP3 music played in a loop, as the rig's null sink plays it.
#include <utility>

#include "DSoundFixture.h"

using namespace SoundTest;

namespace {

// One second of whole periods (441/882 Hz), shorter than the stream buffer, so
// its first fill already runs across loop points. Recorded from its start
// over four loop points, the left channel in 5 ms windows stays one period
// (50 samples) apart from itself: no gap or
// click at loop points, which would come at a loop's spacing, unlike the
// drop-outs of a loaded machine. No finished event; a stop ends it, once.
TEST_F(DSound, StreamedLoopHasNoSeam)
{
    ASSERT_TRUE(sound_->LoadSound(Widen(ENGINE_TONE_LOOP), L"loop", false, 1));
    int id = 0;
    const std::vector<int16_t> s = Record("loop.raw", 5, [&] { id = sound_->PlaySound(L"loop", true); });
    const std::vector<Segment> played = FindSegments(s);
    ASSERT_TRUE(!played.empty() && played[0].start < 0.9 && events_.empty());
    const size_t kWindow = 110;
    std::vector<double> glitches; // where each begins; windows within 0.1 s of the last one join it
    double last = -1;
    for (size_t w = size_t(played[0].start * kRate) / kWindow + 2; (w + 1) * kWindow * 2 <= s.size(); ++w) {
        double change = 0, level = 0;
        for (size_t i = w * kWindow; i < (w + 1) * kWindow; ++i)
            change += std::pow(s[2 * i] - s[2 * i - 100], 2.0), level += std::pow(s[2 * i], 2.0);
        const double at = double(w * kWindow) / kRate;
        if (change > level / 10 && change > kWindow * 1e6 && at - std::exchange(last, at) > 0.1)
            glitches.push_back(at);
    }
    for (size_t a = 0; a < glitches.size(); ++a)
        for (size_t b = a + 1; b < glitches.size(); ++b)
            for (size_t c = b + 1; c < glitches.size(); ++c) {
                const double d = glitches[b] - glitches[a];
                EXPECT_FALSE(d > 0.9 && d < 1.15 && std::abs(glitches[c] - glitches[b] - d) < 0.015)
                    << "glitches every " << d << " s from " << glitches[a] << " s";
            }
    sound_->StopSound(id);
    EXPECT_TRUE(WaitFor([&] { return !Sound(L"loop")->IsStreaming(); }, 5000) &&
                events_ == (std::vector<Event>{{id, SoundStopped}}));
}

} // namespace
