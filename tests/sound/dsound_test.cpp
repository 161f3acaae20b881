// The DirectSound device and its sound objects under Wine's DirectSound.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <functional>
#include <vector>

#include "DDGameEngine.h"
#include "DSound7.h"
#include "SoundTestSupport.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using SoundTest::FindSegments;
using SoundTest::Widen;
using TestUtil::Pump;

namespace {

const std::wstring kBeep = Widen(ENGINE_TONE_WAV);      // 0.4 s, 660 Hz mono
const std::wstring kShort = Widen(ENGINE_TONE_SHORT);   // 0.3 s MP3, 440/880 Hz
const std::wstring kHalves = Widen(ENGINE_TONE_HALVES); // three stream halves exactly
const std::wstring kLonger = Widen(ENGINE_TONE_5S);     // ends inside a half of its second block

struct Event {
    int id;
    int event;
    DWORD tick;
};

class Sink : public ISoundExEvent {
public:
    void OnSoundEvent(int nPlayId, int nEvent) override
    {
        events.push_back({nPlayId, nEvent, GetTickCount()});
        if (react)
            react(nPlayId, nEvent);
    }
    int Count(int id, int event) const
    {
        int n = 0;
        for (const Event& e : events)
            n += e.id == id && e.event == event;
        return n;
    }
    std::vector<Event> events;
    std::function<void(int, int)> react;
};

class DSoundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cls_ = TestUtil::UniqueClassName(L"DSoundTest");
        engine_ = new CDDGameEngine;
        ASSERT_TRUE(engine_->Initialize(GetModuleHandleW(nullptr), cls_.c_str(), nullptr, 320, 240, 300, 24, SW_SHOW));
        sound_ = engine_->GetSoundEx();
        ASSERT_NE(sound_, nullptr);
        device_ = static_cast<CDSound7*>(sound_);
        ASSERT_NE(device_->GetDirectSound(), nullptr) << "no sound card in the rig";
        sound_->SetSoundEvent(&sink_);
    }
    void TearDown() override
    {
        if (engine_) {
            engine_->Shutdown();
            Pump(50);
            delete engine_;
        }
    }
    bool WaitFor(const std::function<bool()>& done, DWORD ms)
    {
        Pump(ms, done);
        return done();
    }

    std::wstring cls_;
    CDDGameEngine* engine_ = nullptr;
    ISoundEx* sound_ = nullptr;
    CDSound7* device_ = nullptr;
    Sink sink_;
};

TEST_F(DSoundTest, LoadRefusalsNamesAndExtensions)
{
    EXPECT_FALSE(sound_->LoadSound(kBeep, L"zero", true, 0));
    EXPECT_FALSE(sound_->LoadSound(L"a.mp", L"four", true, 1));
    EXPECT_FALSE(sound_->LoadSound(kBeep + L".ogg", L"ogg", true, 1));
    EXPECT_FALSE(sound_->LoadSound(L"Z:\\no\\such\\file.wav", L"missing", true, 1));
    EXPECT_EQ(sound_->PlaySound(L"zero", false), -1);

    ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 1));
    EXPECT_FALSE(sound_->LoadSound(kShort, L"beep", true, 1)) << "a loaded name is kept";
    EXPECT_TRUE(sound_->LoadSound(kShort, L"Beep", true, 1)) << "names are case-sensitive";
    EXPECT_FALSE(device_->FindSound(L"beep")->IsStreamMode());

    // The extension is the last three characters, in any case.
    std::wstring mixed = kShort.substr(0, kShort.size() - 3) + L"Mp3";
    ASSERT_TRUE(sound_->LoadSound(mixed, L"mixed", false, 1));
    EXPECT_TRUE(device_->FindSound(L"mixed")->IsStreamMode());
    EXPECT_EQ(device_->FindSound(L"mixed")->GetBufferCount(), 0u);

    // A wave file asked to stream plays whole: nothing would announce its data.
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"wavestream", false, 1));
    EXPECT_FALSE(device_->FindSound(L"wavestream")->IsStreamMode());
    const int id = sound_->PlaySound(L"wavestream", false);
    EXPECT_GT(id, 0);
    Pump(60);
    EXPECT_TRUE(device_->FindSound(L"wavestream")->IsBusy(0));
}

TEST_F(DSoundTest, IdsVoicesPauseResumeAndStop)
{
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 2));
    CDSoundObject* beep = device_->FindSound(L"beep");
    EXPECT_EQ(sound_->PlaySound(L"beep", true), 1);
    EXPECT_EQ(sound_->PlaySound(L"nothing", false), -1) << "unknown names use no id";
    EXPECT_EQ(sound_->PlaySound(L"beep", true), 2);
    EXPECT_EQ(sound_->PlaySound(L"beep", true), 3) << "a third voice grows the list";
    EXPECT_EQ(beep->GetBufferCount(), 3u);
    Pump(60); // a cursor still at 0 counts as idle

    sound_->PauseSound(2);
    EXPECT_EQ(sink_.Count(2, SoundPaused), 1);
    EXPECT_TRUE(beep->IsBusy(1)) << "a paused voice keeps its buffer";
    EXPECT_EQ(sound_->PlaySound(L"beep", false), 4);
    EXPECT_EQ(beep->GetBufferCount(), 4u);
    sound_->ResumeSound(2);
    EXPECT_EQ(sink_.events.size(), 1u) << "resuming sends nothing";
    Pump(30);

    sound_->StopSound(1);
    EXPECT_EQ(sink_.Count(1, SoundStopped), 1);
    EXPECT_FALSE(beep->IsBusy(0));
    EXPECT_TRUE(beep->IsBusy(1)) << "stopping one voice leaves the others";
    sound_->StopSound(1); // gone: nothing
    sound_->StopSound(99);
    EXPECT_EQ(sink_.events.size(), 2u);

    // StopAllSounds: silent, records stay until their buffers are reused.
    sound_->StopAllSounds();
    EXPECT_EQ(sink_.events.size(), 2u);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(beep->IsBusy(i));
    sound_->StopSound(3);
    EXPECT_EQ(sink_.Count(3, SoundStopped), 1) << "the record of a silenced play stays";

    // Whole plays never report finished; a reused buffer drops the old record.
    sound_->SetSoundEvent(nullptr);
    const int once = sound_->PlaySound(L"beep", false);
    EXPECT_EQ(once, 5);
    sound_->PauseSound(once);
    sound_->StopSound(once);
    sound_->SetSoundEvent(&sink_);
    EXPECT_EQ(sink_.events.size(), 3u) << "no events without a sink";
    const int last = sound_->PlaySound(L"beep", false);
    EXPECT_EQ(last, 6);
    Pump(700);
    EXPECT_EQ(sink_.Count(last, SoundFinished), 0);
}

TEST_F(DSoundTest, EventsReenterTheDevice)
{
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 1));
    ASSERT_TRUE(sound_->LoadSound(kShort, L"music", false, 1));
    const int a = sound_->PlaySound(L"beep", true);
    const int b = sound_->PlaySound(L"beep", true);
    // Stopping one play stops the other from inside the event.
    sink_.react = [&](int id, int event) {
        if (id == a && event == SoundStopped)
            sound_->StopSound(b);
    };
    sound_->StopSound(a);
    EXPECT_EQ(sink_.Count(a, SoundStopped), 1);
    EXPECT_EQ(sink_.Count(b, SoundStopped), 1);

    // The music restarts from its own finished event, twice.
    int restarts = 0;
    std::vector<int> ids;
    sink_.react = [&](int, int event) {
        if (event == SoundFinished && restarts < 2) {
            ++restarts;
            ids.push_back(sound_->PlaySound(L"music", false));
        }
    };
    ids.push_back(sound_->PlaySound(L"music", false));
    ASSERT_GT(ids[0], 0);
    ASSERT_TRUE(WaitFor([&] { return ids.size() == 3 && sink_.Count(ids[2], SoundFinished) == 1; }, 8000));
    for (int id : ids)
        EXPECT_GT(id, 0);
    EXPECT_EQ(sink_.Count(ids[0], SoundFinished), 1);
    EXPECT_EQ(sink_.Count(ids[1], SoundFinished), 1);
}

TEST_F(DSoundTest, ShutdownFromAnEvent)
{
    ASSERT_TRUE(sound_->LoadSound(kShort, L"music", false, 1));
    sink_.react = [&](int, int) { engine_->Shutdown(); };
    ASSERT_GT(sound_->PlaySound(L"music", false), 0);
    ASSERT_TRUE(WaitFor([&] { return !sink_.events.empty(); }, 5000));
    EXPECT_EQ(engine_->GetSoundEx(), nullptr);
    Pump(100);
    EXPECT_EQ(sink_.events.size(), 1u);
}

// StopAllSounds silences a running stream without ending its worker.
void StopAllSoundsKeepsStreamImpl(ISoundEx* sound, CDSoundObject* stream, Sink& sink)
{
    const size_t before = sink.events.size();
    sound->StopAllSounds();
    EXPECT_EQ(sink.events.size(), before);
    EXPECT_TRUE(stream->IsStreaming()) << "the worker is left alone";
    // Continue the rewound buffer: the stream goes on (and reports E_FAIL).
    stream->Play(0, 0);
}

TEST_F(DSoundTest, StreamStartsAndEnds)
{
    ASSERT_TRUE(sound_->LoadSound(kShort, L"short", false, 1));
    ASSERT_TRUE(sound_->LoadSound(kHalves, L"halves", false, 1));
    ASSERT_TRUE(sound_->LoadSound(kLonger, L"longer", false, 1));
    CDSoundObject* halves = device_->FindSound(L"halves");

    // Stop before the start: cancelled, reported stopped, never heard.
    int id = sound_->PlaySound(L"halves", false);
    ASSERT_GT(id, 0);
    EXPECT_EQ(sound_->PlaySound(L"halves", false), -1) << "a second start while the first waits";
    sound_->StopSound(id);
    EXPECT_EQ(sink_.Count(id, SoundStopped), 1);
    Pump(400);
    EXPECT_EQ(halves->GetBufferCount(), 0u);
    EXPECT_FALSE(halves->IsStreaming());

    // Each length reports finished once, about its duration after the play.
    struct Case {
        const wchar_t* name;
        double seconds;
    } cases[] = {{L"short", 0.30}, {L"halves", 6.27}, {L"longer", 5.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds);
        const DWORD start = GetTickCount();
        id = sound_->PlaySound(c.name, false);
        ASSERT_GT(id, 0);
        if (c.seconds > 1) {
            ASSERT_TRUE(WaitFor([&] { return device_->FindSound(c.name)->IsStreaming(); }, 1000));
            EXPECT_EQ(sound_->PlaySound(c.name, false), -1) << "a running stream goes on";
            if (c.seconds < 6)
                StopAllSoundsKeepsStreamImpl(sound_, device_->FindSound(c.name), sink_);
        }
        ASSERT_TRUE(WaitFor([&] { return sink_.Count(id, SoundFinished) == 1; }, DWORD(c.seconds * 1000) + 2000));
        const double took = (GetTickCount() - start) / 1000.0;
        EXPECT_GT(took, c.seconds - 0.3);
        EXPECT_LT(took, c.seconds + 1.0);
        Pump(300);
        EXPECT_EQ(sink_.Count(id, SoundFinished), 1);
        EXPECT_EQ(device_->FindSound(c.name)->GetBufferCount(), 0u);
    }
}

TEST_F(DSoundTest, PlayRightAfterTheEndOfAStream)
{
    ASSERT_TRUE(sound_->LoadSound(kShort, L"short", false, 1));
    CDSoundObject* stream = device_->FindSound(L"short");
    const int first = sound_->PlaySound(L"short", false);
    ASSERT_GT(first, 0);
    ASSERT_TRUE(WaitFor([&] { return stream->IsStreaming(); }, 2000));
    // Wait for the worker's end without dispatching its report.
    while (stream->IsStreaming())
        Sleep(5);
    Sleep(50);
    const int second = sound_->PlaySound(L"short", false);
    EXPECT_GT(second, first);
    EXPECT_EQ(sink_.Count(first, SoundFinished), 1) << "the old stream is finished first";
    ASSERT_TRUE(WaitFor([&] { return sink_.Count(second, SoundFinished) == 1; }, 3000));
}

TEST_F(DSoundTest, RecordedWholeVoicesAndStream)
{
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 1));
    ASSERT_TRUE(sound_->LoadSound(kShort, L"short", false, 1));
    SoundTest::Recorder recorder(ENGINE_SOUND_RECORDINGS "/dsound.raw");
    ASSERT_TRUE(recorder.Start(3));
    // Two beeps apart, then one stream: 660 Hz, 660 Hz, 440/880 Hz.
    sound_->PlaySound(L"beep", false);
    Pump(700);
    sound_->PlaySound(L"beep", false);
    Pump(700);
    const int id = sound_->PlaySound(L"short", false);
    ASSERT_TRUE(WaitFor([&] { return sink_.Count(id, SoundFinished) == 1; }, 3000));
    const std::vector<int16_t> samples = recorder.Wait();
    ASSERT_GT(samples.size(), size_t(SoundTest::kRate));
    const auto segments = FindSegments(samples);
    ASSERT_EQ(segments.size(), 3u) << SoundTest::Describe(segments);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NEAR(segments[i].Duration(), 0.4, 0.06);
        EXPECT_NEAR(SoundTest::SegmentFrequency(samples, segments[i]), 660, 15);
    }
    EXPECT_NEAR(segments[1].start - segments[0].start, 0.7, 0.15);
    EXPECT_NEAR(segments[2].Duration(), 0.3, 0.08) << "no stale audio after the stream's end";
    EXPECT_NEAR(SoundTest::SegmentFrequency(samples, segments[2], 0), 440, 15);
    EXPECT_NEAR(SoundTest::SegmentFrequency(samples, segments[2], 1), 880, 25);
}

size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return counters.PrivateUsage;
}

TEST_F(DSoundTest, StressStreamCyclesAndWholePlays)
{
    ASSERT_TRUE(sound_->LoadSound(kShort, L"short", false, 1));
    ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 1));
    CDSoundObject* stream = device_->FindSound(L"short");
    size_t memory = 0;
    uintptr_t handles = 0;
    int stopped = 0;
    for (int cycle = 0; cycle < 300; ++cycle) {
        if (cycle == 50) {
            memory = PrivateBytes();
            handles = SoundTest::HandleWatermark();
        }
        const int id = sound_->PlaySound(L"short", false);
        ASSERT_GT(id, 0) << cycle;
        // Every fourth cycle stops a playing stream, the others a pending start.
        if (cycle % 4 == 0)
            ASSERT_TRUE(WaitFor([&] { return stream->IsStreaming(); }, 2000)) << cycle;
        else
            Pump(cycle % 3);
        sound_->StopSound(id);
        stopped += sink_.Count(id, SoundStopped);
        ASSERT_FALSE(stream->IsStreaming());
    }
    EXPECT_EQ(stopped, 300);
    for (int i = 0; i < 1000; ++i) {
        const int id = sound_->PlaySound(L"beep", false);
        ASSERT_GT(id, 0) << i;
        sound_->StopSound(id);
    }
    EXPECT_EQ(device_->FindSound(L"beep")->GetBufferCount(), 1u);
    Pump(100);
    EXPECT_LT(PrivateBytes(), memory + 4 * 1024 * 1024);
    EXPECT_LT(SoundTest::HandleWatermark(), handles + 64 * 4);
}

} // namespace
