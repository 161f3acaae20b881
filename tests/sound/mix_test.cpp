// Mixing under Wine with the rig's null sink: play volume, pan, fades, the
// master volume and the finished events of whole plays.
#include "DSoundFixture.h"

using namespace SoundTest;

namespace {

/// Median 10 ms level of one channel over [from, to) seconds: a drop-out of
/// a loaded machine barely moves it.
double Level(const std::vector<int16_t>& s, unsigned channel, double from, double to)
{
    std::vector<double> levels;
    for (size_t w = size_t(from * 100), n = kRate / 100; w < size_t(to * 100) && (w + 1) * n * 2 <= s.size(); ++w) {
        double sum = 0;
        for (size_t i = w * n; i < (w + 1) * n; ++i)
            sum += double(s[2 * i + channel]) * s[2 * i + channel];
        levels.push_back(std::sqrt(sum / n));
    }
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels.empty() ? 0 : levels[levels.size() / 2];
}

TEST_F(DSound, MixLevelsOnTheBuffersRefusalsAndFades)
{
    // From inside an event: the reported play is gone unless paused.
    react_ = [&](int at, int event) { EXPECT_EQ(sound_->SetPan(at, 0), event == SoundPaused) << event; };
    const int stopped = sound_->PlaySound(L"beep", true), id = sound_->PlaySound(L"beep", true);
    sound_->StopSound(stopped);
    for (int bad : {stopped, 99})
        EXPECT_FALSE(sound_->SetVolume(bad, 5) || sound_->SetPan(bad, 5) || sound_->FadeSound(bad, 5, 9, true));
    IDirectSoundBuffer* buffer = Sound(L"beep")->GetBuffer(1);
    LONG volume = 1, pan = 1;
    auto read = [&] { return buffer->GetVolume(&volume), buffer->GetPan(&pan), std::make_pair(volume, pan); };
    // Clamped; the far channel keeps 100 - |pan| percent; master on a running play.
    EXPECT_TRUE(sound_->SetVolume(id, -5) && sound_->SetPan(id, 50) && read() == std::make_pair(-10000L, 602L));
    EXPECT_TRUE(sound_->SetVolume(id, 150) && sound_->SetPan(id, -300) && read() == std::make_pair(0L, -10000L));
    sound_->SetMasterVolume(50);
    EXPECT_EQ(read().first, -602);
    // A fade replaced by SetVolume, one cancelled by a pause (kept on resume).
    ASSERT_TRUE(sound_->FadeSound(id, 0, 1000, true));
    Pump(300), sound_->SetVolume(id, 80), Pump(100);
    const LONG set = read().first;
    EXPECT_TRUE(set == VolumeToMillibels(40) && (Pump(1000), read().first == set) && Count(id, SoundStopped) == 0);
    sound_->FadeSound(id, 0, 1000, false), Pump(300), sound_->PauseSound(id);
    const LONG paused = read().first;
    Pump(300), sound_->ResumeSound(id), Pump(300);
    EXPECT_TRUE(paused < set && paused > -2000 && read().first == paused) << paused;
    sound_->StopSound(id);
    // A new play on a duplicate left at another level starts at 100 (x master 50) and centre.
    ASSERT_TRUE(sound_->PlaySound(L"beep", false) == id + 1 && sound_->PlaySound(L"beep", false) == id + 2);
    EXPECT_EQ(read(), std::make_pair(LONG(-602), LONG(0)));
    sound_->FadeSound(id + 2, 0, 0, true);
    EXPECT_EQ(read().first, DSBVOLUME_MIN);
    // A stream's buffer, made by its worker, takes what was set before it.
    ASSERT_TRUE(sound_->LoadSound(Widen(ENGINE_TONE_LONG), L"long", false, 1));
    const int stream = sound_->PlaySound(L"long", false);
    ASSERT_TRUE(sound_->SetPan(stream, -100) && WaitFor([&] { return Sound(L"long")->IsStreaming(); }));
    buffer = Sound(L"long")->GetBuffer(0);
    EXPECT_EQ(read(), std::make_pair(LONG(-602), LONG(DSBPAN_LEFT)));
    sound_->FadeSound(stream, 0, 100, true);
    ASSERT_TRUE(WaitFor([&] { return Count(stream, SoundStopped) == 1; }));
    const std::vector<Event> expected = {
        {stopped, SoundStopped}, {id, SoundPaused}, {id, SoundStopped}, {id + 2, SoundStopped}, {stream, SoundStopped}};
    EXPECT_EQ(events_, expected);
    CDSound7 none; // no sound card; the last device made takes the sound objects' reports
    none.SetMasterVolume(10);
    EXPECT_FALSE(none.PlaySound(L"beep", true) > 0 || none.SetVolume(1, 5) || none.SetPan(1, 5) ||
                 none.FadeSound(1, 5, 0, true));
}

TEST_F(DSound, WholePlaysReportFinishedOnceLoopsNever)
{
    const DWORD start = GetTickCount();
    const int id = sound_->PlaySound(L"beep", false); // 0.4 s
    EXPECT_TRUE(static_cast<CDSound7*>(sound_)->IsTicking());
    ASSERT_TRUE(WaitFor([&] { return Count(id, SoundFinished) == 1; }, 1000));
    EXPECT_GE(GetTickCount() - start, 350u);
    const int paused = sound_->PlaySound(L"beep", false);
    Pump(100), sound_->PauseSound(paused); // not finished while paused (its cursor off 0 keeps its buffer)
    std::vector<int> ids;
    for (int i = 0; i < 10; ++i)
        ids.push_back(sound_->PlaySound(L"beep", false)), Pump(20);
    const int loop = sound_->PlaySound(L"beep", true);
    ASSERT_TRUE(WaitFor([&] { return events_.size() == 12; }, 5000));
    Pump(500);
    EXPECT_EQ(Count(paused, SoundFinished), 0);
    sound_->ResumeSound(paused);
    ASSERT_TRUE(WaitFor([&] { return Count(paused, SoundFinished) == 1; }, 1000));
    Pump(300);
    for (int voice : ids)
        EXPECT_TRUE(Count(voice, SoundFinished) == 1 && !sound_->SetVolume(voice, 50)) << voice;
    EXPECT_TRUE(events_.size() == 13 && !static_cast<CDSound7*>(sound_)->IsTicking()) << "nothing left to watch";
    sound_->StopSound(loop);
    EXPECT_EQ(events_.size() == 14 ? events_[13] : Event(), Event(loop, SoundStopped));
}

// One looping voice of the 660 Hz beep through stretches of 0.5 s parted by
// silence (volume 0): volume, master, pan, and a fade of 1 s that stops it.
TEST_F(DSound, RecordedVolumesPansAndFade)
{
    const int stretches[][3] = {{100, 0, 100},    {50, 0, 100},    {25, 0, 100}, {50, 0, 50}, // volume, pan, master
                                {100, -100, 100}, {100, 100, 100}, {100, 0, 100}};
    int id = -1;
    const auto samples = Record("mix.raw", 10, [&] {
        id = sound_->PlaySound(L"beep", true);
        for (const auto& s : stretches) {
            sound_->SetMasterVolume(s[2]), sound_->SetPan(id, s[1]), sound_->SetVolume(id, s[0]), Pump(500);
            if (&s != &stretches[6])
                sound_->SetVolume(id, 0), Pump(400);
        }
        sound_->FadeSound(id, 0, 1000, true);
        EXPECT_TRUE(WaitFor([&] { return Count(id, SoundStopped) == 1 && !sound_->SetVolume(id, 50); }, 3000));
    });
    const auto segments = FindSegments(samples);
    ASSERT_EQ(segments.size(), 7u);
    double level[7][2];
    for (int i = 0; i < 7; ++i)
        for (unsigned c = 0; c < 2; ++c)
            level[i][c] =
                Level(samples, c, segments[i].start + 0.1, std::min(segments[i].end, segments[i].start + 0.4));
    const double full = level[0][0];
    EXPECT_NEAR(level[0][1] / full, 1, 0.05);
    for (int i : {1, 2, 3})
        EXPECT_NEAR(level[i][0] / full, i == 1 ? 0.5 : 0.25, i == 1 ? 0.05 : 0.025) << i;
    EXPECT_TRUE(level[4][1] < level[4][0] / 100 && level[5][0] < level[5][1] / 100) << "far channel 40 dB down";
    // The fade: falls in every 100 ms, from 95 % to 5 % in 0.9 of its 1 s
    // (found from its silent end back, so a drop-out before it cannot count).
    auto back = [&](double t, double fraction) {
        while (t > segments[6].start && Level(samples, 0, t - 0.03, t) < fraction * level[6][0])
            t -= 0.01;
        return t;
    };
    const double to = back(segments[6].end + 0.3, 0.05), from = back(to, 0.95);
    EXPECT_NEAR((to - from) / 0.9, 1.0, 0.1);
    for (double at = from, last = level[6][0]; at + 0.1 < to; at += 0.1) {
        const double now = Level(samples, 0, at, at + 0.1);
        EXPECT_LT(now, last) << at - from;
        last = now;
    }
}

} // namespace
