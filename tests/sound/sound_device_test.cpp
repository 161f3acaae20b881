// The DirectSound device with its sound objects, and the MCI player, under
// Wine with the rig's null sink: play ids and events, streams, and what the
// sink really plays.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include "DDGameEngine.h"
#include "DSound7.h"
#include "MciSound.h"
#include "SoundTestSupport.h"

using namespace Veld::Game;
using SoundTest::Widen;
using TestUtil::Pump;

namespace {

const std::wstring kBeep = Widen(ENGINE_TONE_WAV);      // 0.4 s, 660 Hz mono
const std::wstring kJingle = Widen(ENGINE_TONE_JINGLE); // 0.3 s, 440/880 Hz
const std::wstring kShort = Widen(ENGINE_TONE_SHORT);   // 0.3 s MP3, 440/880 Hz

bool WaitFor(const std::function<bool()>& done, DWORD ms = 15000)
{
    Pump(ms, done);
    return done();
}

class DSound : public ::testing::Test, public ISoundExEvent {
protected:
    using Event = std::pair<int, int>;

    void SetUp() override
    {
        ASSERT_TRUE(engine_.Initialize(GetModuleHandleW(nullptr), TestUtil::UniqueClassName(L"DSound").c_str(),
                                       nullptr, 320, 240, 300, 24, SW_SHOW));
        sound_ = engine_.GetSoundEx();
        ASSERT_NE(sound_, nullptr);
        ASSERT_NE(static_cast<CDSound7*>(sound_)->GetDirectSound(), nullptr) << "no sound card in the rig";
        sound_->SetSoundEvent(this);
    }
    void TearDown() override
    {
        engine_.Shutdown();
        Pump(50);
    }
    void OnSoundEvent(int id, int event) override
    {
        events_.push_back({id, event});
        if (react_)
            react_(id, event);
    }
    int Count(int id, int event) const { return int(std::count(events_.begin(), events_.end(), Event{id, event})); }
    CDSoundObject* Sound(const wchar_t* name) { return static_cast<CDSound7*>(sound_)->FindSound(name); }

    CDDGameEngine engine_;
    ISoundEx* sound_ = nullptr;
    std::vector<Event> events_;
    std::function<void(int, int)> react_;
};

TEST_F(DSound, LoadRefusalsNamesAndExtensions)
{
    const struct {
        std::wstring path;
        unsigned voices;
    } refused[] = {{kBeep, 0}, {L"a.mp", 1}, {kBeep + L".ogg", 1}, {L"Z:\\no\\such\\file.wav", 1}};
    for (const auto& r : refused)
        EXPECT_FALSE(sound_->LoadSound(r.path, L"refused", true, r.voices)) << &r - refused;
    EXPECT_EQ(sound_->PlaySound(L"refused", false), -1);
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 1));
    EXPECT_FALSE(sound_->LoadSound(kShort, L"beep", true, 1)) << "a loaded name is kept";
    EXPECT_TRUE(sound_->LoadSound(kShort, L"Beep", true, 1)) << "names are case-sensitive";
    // The extension is the last three characters, in any case.
    ASSERT_TRUE(sound_->LoadSound(kShort.substr(0, kShort.size() - 3) + L"Mp3", L"mixed", false, 1));
    EXPECT_TRUE(Sound(L"mixed")->IsStreamMode() && !Sound(L"beep")->IsStreamMode());
    EXPECT_EQ(Sound(L"mixed")->GetBufferCount(), 0u);
    // A wave file asked to stream plays whole: nothing would announce its data.
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"wavestream", false, 1));
    EXPECT_FALSE(Sound(L"wavestream")->IsStreamMode());
    EXPECT_GT(sound_->PlaySound(L"wavestream", false), 0);
    EXPECT_TRUE(WaitFor([&] { return Sound(L"wavestream")->IsBusy(0); }));
}

TEST_F(DSound, IdsVoicesPauseResumeAndStop)
{
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 2));
    CDSoundObject* beep = Sound(L"beep");
    EXPECT_EQ(sound_->PlaySound(L"beep", true), 1);
    EXPECT_EQ(sound_->PlaySound(L"nothing", false), -1) << "unknown names use no id";
    EXPECT_EQ(sound_->PlaySound(L"beep", true), 2);
    EXPECT_EQ(sound_->PlaySound(L"beep", true), 3) << "a third voice grows the list";
    EXPECT_EQ(beep->GetBufferCount(), 3u);
    // A voice whose cursor is still at 0 counts as idle.
    auto moved = [&](int i) {
        DWORD play = 0, write = 0;
        return SUCCEEDED(beep->GetBuffer(i)->GetCurrentPosition(&play, &write)) && play != 0;
    };
    ASSERT_TRUE(WaitFor([&] { return moved(0) && moved(1) && moved(2); }));

    sound_->PauseSound(2);
    EXPECT_TRUE(beep->IsBusy(1)) << "a paused voice keeps its buffer";
    EXPECT_EQ(sound_->PlaySound(L"beep", false), 4);
    EXPECT_EQ(beep->GetBufferCount(), 4u);
    sound_->ResumeSound(2); // sends nothing
    sound_->StopSound(1);
    EXPECT_TRUE(!beep->IsBusy(0) && beep->IsBusy(1)) << "stopping one voice leaves the others";
    sound_->StopSound(1); // gone: nothing
    sound_->StopSound(99);
    sound_->StopSound(2); // resumed under its id
    EXPECT_EQ(events_, (std::vector<Event>{{2, SoundPaused}, {1, SoundStopped}, {2, SoundStopped}}));

    // StopAllSounds is silent; a record stays until its buffer is reused.
    sound_->StopAllSounds();
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(beep->IsBusy(i)) << i;
    sound_->StopSound(3);
    // No events without a sink; whole plays never report finished.
    sound_->SetSoundEvent(nullptr);
    EXPECT_EQ(sound_->PlaySound(L"beep", false), 5);
    sound_->PauseSound(5);
    sound_->StopSound(5);
    sound_->SetSoundEvent(this);
    EXPECT_EQ(sound_->PlaySound(L"beep", false), 6);
    ASSERT_TRUE(WaitFor([&] { return beep->IsBusy(0); }) && WaitFor([&] { return !beep->IsBusy(0); }));
    Pump(100);
    EXPECT_EQ(events_.size(), 4u);
    EXPECT_EQ(events_.back(), Event(3, SoundStopped));
}

TEST_F(DSound, EventsReenterTheDevice)
{
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 1));
    ASSERT_TRUE(sound_->LoadSound(kShort, L"music", false, 1));
    const int a = sound_->PlaySound(L"beep", true), b = sound_->PlaySound(L"beep", true);
    react_ = [&](int id, int event) { // stopping one play stops the other
        if (id == a && event == SoundStopped)
            sound_->StopSound(b);
    };
    sound_->StopSound(a);
    // The music restarts from its own finished event, twice.
    std::vector<int> ids;
    react_ = [&](int, int event) {
        if (event == SoundFinished && ids.size() < 3)
            ids.push_back(sound_->PlaySound(L"music", false));
    };
    ids.push_back(sound_->PlaySound(L"music", false));
    ASSERT_TRUE(WaitFor([&] { return events_.size() == 5; }, 10000));
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(events_, (std::vector<Event>{{a, SoundStopped}, {b, SoundStopped}, {ids[0], SoundFinished},
                                           {ids[1], SoundFinished}, {ids[2], SoundFinished}}));
    // Shutdown from inside an event: the device goes once the event unwinds.
    react_ = [&](int, int) { engine_.Shutdown(); };
    ASSERT_GT(sound_->PlaySound(L"music", false), 0);
    ASSERT_TRUE(WaitFor([&] { return events_.size() == 6; }));
    EXPECT_EQ(engine_.GetSoundEx(), nullptr);
    Pump(100);
    EXPECT_EQ(events_.size(), 6u);
}

TEST_F(DSound, StreamStartsAndEnds)
{
    const struct {
        const wchar_t* name;
        std::wstring path;
        double seconds;
    } cases[] = {{L"short", kShort, 0.30},
                 {L"halves", Widen(ENGINE_TONE_HALVES), 6.27}, // ends exactly on a half of its buffer
                 {L"longer", Widen(ENGINE_TONE_5S), 5.0}};     // ends inside a half of its second block
    for (const auto& c : cases)
        ASSERT_TRUE(sound_->LoadSound(c.path, c.name, false, 1));
    // Stop before the start: cancelled, reported stopped, never heard.
    int id = sound_->PlaySound(L"halves", false);
    EXPECT_EQ(sound_->PlaySound(L"halves", false), -1) << "a second start while the first waits";
    sound_->StopSound(id);
    EXPECT_EQ(Count(id, SoundStopped), 1);
    Pump(400);
    EXPECT_TRUE(!Sound(L"halves")->IsStreaming() && Sound(L"halves")->GetBufferCount() == 0);

    // Each length reports finished once, not before it has played.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        CDSoundObject* stream = Sound(c.name);
        const DWORD start = GetTickCount();
        ASSERT_GT(id = sound_->PlaySound(c.name, false), 0);
        if (c.seconds > 1) {
            ASSERT_TRUE(WaitFor([&] { return stream->IsStreaming(); }));
            EXPECT_EQ(sound_->PlaySound(c.name, false), -1) << "a running stream goes on";
        }
        if (c.seconds == 5.0) { // StopAllSounds silences a stream without ending its worker
            sound_->StopAllSounds();
            EXPECT_TRUE(stream->IsStreaming());
            stream->Play(0, 0); // continues the rewound buffer
        }
        ASSERT_TRUE(WaitFor([&] { return Count(id, SoundFinished) == 1; }, DWORD(c.seconds * 2000) + 5000));
        EXPECT_GT((GetTickCount() - start) / 1000.0, c.seconds - 0.3);
        Pump(300);
        EXPECT_TRUE(Count(id, SoundFinished) == 1 && Count(id, SoundStopped) == 0 && stream->GetBufferCount() == 0);
    }

    // Play right after the worker's end, before its report is dispatched:
    // the old stream is finished first.
    const int first = sound_->PlaySound(L"short", false);
    ASSERT_TRUE(WaitFor([&] { return Sound(L"short")->IsStreaming(); }));
    for (DWORD t = GetTickCount(); Sound(L"short")->IsStreaming() && GetTickCount() - t < 5000;)
        Sleep(5);
    Sleep(50); // the worker returns just after
    const int second = sound_->PlaySound(L"short", false);
    EXPECT_GT(second, first);
    EXPECT_EQ(Count(first, SoundFinished), 1);
    EXPECT_TRUE(WaitFor([&] { return Count(second, SoundFinished) == 1; }));
}

TEST_F(DSound, RecordedWholeVoicesAndStream)
{
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 1));
    ASSERT_TRUE(sound_->LoadSound(kShort, L"short", false, 1));
    // Two beeps apart, then one stream: 660 Hz, 660 Hz, 440/880 Hz.
    const auto samples = SoundTest::Record("dsound.raw", 3, [&] {
        for (int i = 0; i < 2; ++i) {
            sound_->PlaySound(L"beep", false);
            Pump(900);
        }
        const int id = sound_->PlaySound(L"short", false);
        EXPECT_TRUE(WaitFor([&] { return Count(id, SoundFinished) == 1; }));
    });
    const auto segments = SoundTest::FindSegments(samples);
    ASSERT_EQ(segments.size(), 3u) << SoundTest::Describe(segments);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NEAR(segments[i].loud, 0.4, 0.15);
        EXPECT_NEAR(SoundTest::Frequency(samples, segments[i]), 660, 15);
    }
    EXPECT_NEAR(segments[1].start - segments[0].start, 0.9, 0.15);
    EXPECT_NEAR(segments[2].loud, 0.35, 0.15) << "no stale audio (a half is 2 s) after the stream's end";
    EXPECT_NEAR(SoundTest::Frequency(samples, segments[2], 0), 440, 15);
    EXPECT_NEAR(SoundTest::Frequency(samples, segments[2], 1), 880, 25);
}

size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return counters.PrivateUsage;
}

TEST_F(DSound, StressStreamCyclesAndWholePlays)
{
    ASSERT_TRUE(sound_->LoadSound(kShort, L"short", false, 1));
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 1));
    CDSoundObject* stream = Sound(L"short");
    size_t memory = 0;
    uintptr_t handles = 0;
    for (int cycle = 0; cycle < 300; ++cycle) {
        memory = cycle == 50 ? PrivateBytes() : memory;
        handles = cycle == 50 ? SoundTest::HandleWatermark() : handles;
        const int id = sound_->PlaySound(L"short", false);
        ASSERT_GT(id, 0) << cycle;
        // Every fourth cycle stops a playing stream, the others a pending start.
        if (cycle % 4 == 0)
            ASSERT_TRUE(WaitFor([&] { return stream->IsStreaming(); })) << cycle;
        else
            Pump(cycle % 3);
        sound_->StopSound(id);
        ASSERT_TRUE(Count(id, SoundStopped) == 1 && !stream->IsStreaming()) << cycle;
    }
    for (int i = 0; i < 1000; ++i) {
        const int id = sound_->PlaySound(L"beep", false);
        ASSERT_GT(id, 0) << i;
        sound_->StopSound(id);
    }
    EXPECT_EQ(Sound(L"beep")->GetBufferCount(), 1u);
    Pump(100);
    EXPECT_LT(PrivateBytes(), memory + 4 * 1024 * 1024);
    EXPECT_LT(SoundTest::HandleWatermark(), handles + 64 * 4);
}

// Sees every MCI command the player sends, and sends it on.
class WatchedSound : public CSound {
public:
    std::vector<UINT> commands;
    int Count(UINT message) const { return int(std::count(commands.begin(), commands.end(), message)); }

protected:
    MCIERROR SendCommand(UINT id, UINT message, DWORD_PTR flags, DWORD_PTR param) override
    {
        commands.push_back(message);
        return CSound::SendCommand(id, message, flags, param);
    }
};

TEST(MciSound, FailedIdsAndBadPathsSendNothing)
{
    WatchedSound sound;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(sound.Play(L"Z:\\no\\such\\file.wav", 1), kInvalidSoundDevice);
    EXPECT_EQ(sound.commands, std::vector<UINT>{MCI_OPEN}) << "a failed path is not opened again";
    EXPECT_EQ(sound.Play(nullptr, 1), kInvalidSoundDevice);
    EXPECT_EQ(sound.Play(std::wstring(256, L'a').c_str(), 1), kInvalidSoundDevice);
    sound.Stop(kInvalidSoundDevice);
    sound.Replay(kInvalidSoundDevice, 1);
    sound.StopAll();
    bool handled = true;
    sound.OnMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, kInvalidSoundDevice, &handled);
    sound.OnMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 4242, &handled);
    sound.Replay(4242, 1);
    EXPECT_EQ(sound.commands.size(), 1u) << "never the all-devices id, never unknown ids";
    // 255 characters fit (and fail to open), 256 do not reach MCI.
    EXPECT_EQ(sound.Play(std::wstring(255, L'b').c_str(), 1), kInvalidSoundDevice);
    EXPECT_EQ(sound.Count(MCI_OPEN), 2);
}

TEST(MciSound, LoopsStopsAndQueuedEnds)
{
    WatchedSound sound;
    const UINT id = sound.Play(kBeep.c_str(), 2);
    ASSERT_NE(id, kInvalidSoundDevice);
    EXPECT_EQ(sound.Play(kBeep.c_str(), 2), id) << "one device per path";
    EXPECT_EQ(sound.Count(MCI_OPEN), 1);
    // (path, 2): open's play, the replay, one restart; then it stays stopped.
    ASSERT_TRUE(WaitFor([&] { return sound.Count(MCI_PLAY) == 3; }));
    Pump(600);
    EXPECT_EQ(sound.Count(MCI_PLAY), 3);
    // An end already queued when Stop comes does not restart the device.
    sound.Replay(id, 0);
    const size_t before = sound.commands.size();
    PostMessageW(sound.GetWindowHandle(), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, id);
    sound.Stop(id);
    Pump(600);
    EXPECT_EQ(sound.commands.size(), before + 1) << "only the stop";
}

TEST(MciSound, RecordedLoopsAndPlayWave)
{
    const auto samples = SoundTest::Record("mci.raw", 5, [] {
        WatchedSound sound;
        ASSERT_NE(sound.Play(kJingle.c_str(), 2), kInvalidSoundDevice);
        EXPECT_TRUE(WaitFor([&] { return sound.Count(MCI_PLAY) == 2; })); // the second round has begun
        Pump(1000);
        sound.PlayWave(kBeep.c_str());
        Pump(1500);
    });
    // The jingle twice (drop-outs may split it), then the beep.
    const auto segments = SoundTest::FindSegments(samples);
    ASSERT_GE(segments.size(), 2u) << SoundTest::Describe(segments);
    double jingle = 0;
    for (size_t i = 0; i + 1 < segments.size(); ++i) {
        jingle += segments[i].loud;
        EXPECT_NEAR(SoundTest::Frequency(samples, segments[i], 0), 440, 15) << SoundTest::Describe(segments);
        EXPECT_NEAR(SoundTest::Frequency(samples, segments[i], 1), 880, 25);
    }
    EXPECT_NEAR(jingle, 0.6, 0.15) << SoundTest::Describe(segments);
    EXPECT_NEAR(segments.back().loud, 0.4, 0.15);
    EXPECT_NEAR(SoundTest::Frequency(samples, segments.back()), 660, 15);
}

TEST(MciSound, SecondEngineReplaysTheSamePath)
{
    for (int round = 0; round < 2; ++round) {
        CDDGameEngine engine;
        ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), TestUtil::UniqueClassName(L"Mci").c_str(), nullptr,
                                      200, 150, 180, 20, SW_SHOW));
        EXPECT_NE(engine.GetSound()->Play(kBeep.c_str(), 1), kInvalidSoundDevice) << round;
        engine.Shutdown();
        EXPECT_EQ(engine.GetSound(), nullptr);
        Pump(50);
    }
}

} // namespace
