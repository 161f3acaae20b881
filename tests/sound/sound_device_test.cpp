// The DirectSound device with its sound objects, and the MCI player, under
// Wine with the rig's null sink: play ids and events, streams, and what the
// sink really plays.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <memory>
#include <numeric>

#include "DSoundFixture.h"
#include "MciSound.h"
#include "SoundFiles.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using SoundFiles::Widen;
using TestUtil::Pump;

using namespace SoundTest;

namespace {

TEST_F(DSound, LoadsIdsVoicesPauseResumeAndStop)
{
    // Unknown extensions, missing files, no voices and loaded names are
    // refused; a wave file asked to stream plays whole (nothing would announce
    // its data).
    EXPECT_FALSE(sound_->LoadSound(kBeep + L".ogg", L"a", true, 1) || sound_->LoadSound(L"Z:\\no.wav", L"b", true, 1) ||
                 sound_->LoadSound(kBeep, L"c", true, 0) || sound_->LoadSound(kBeep, L"beep", true, 1));
    EXPECT_TRUE(sound_->LoadSound(kBeep, L"wavestream", false, 1) && !Sound(L"wavestream")->IsStreamMode());
    CDSoundObject* beep = Sound(L"beep");
    EXPECT_TRUE(sound_->PlaySound(L"beep", true) == 1 && sound_->PlaySound(L"refused", false) == -1 &&
                sound_->PlaySound(L"beep", true) == 2)
        << "unknown names use no id";
    EXPECT_TRUE(sound_->PlaySound(L"beep", true) == 3 && beep->GetBufferCount() == 3u)
        << "a third voice grows the list";
    // A voice paused with its cursor still at 0 would count as idle.
    DWORD play = 0, write = 0;
    ASSERT_TRUE(WaitFor([&] { return SUCCEEDED(beep->GetBuffer(1)->GetCurrentPosition(&play, &write)) && play; }));
    sound_->PauseSound(2);
    EXPECT_TRUE(beep->IsBusy(1) && sound_->PlaySound(L"beep", false) == 4 && beep->GetBufferCount() == 4u)
        << "a paused voice keeps its buffer";
    sound_->ResumeSound(2), sound_->StopSound(1); // the resume sends nothing
    EXPECT_TRUE(!beep->IsBusy(0) && beep->IsBusy(1)) << "stopping one voice leaves the others";
    for (int id : {1, 99, 2}) // gone, unknown, resumed under its id
        sound_->StopSound(id);
    EXPECT_EQ(events_, (std::vector<Event>{{2, SoundPaused}, {1, SoundStopped}, {2, SoundStopped}}));
    // StopAllSounds is silent; a record stays until its buffer is reused.
    sound_->StopAllSounds();
    EXPECT_TRUE(!beep->IsBusy(0) && !beep->IsBusy(1) && !beep->IsBusy(2) && !beep->IsBusy(3));
    sound_->StopSound(3);
    sound_->SetSoundEvent(nullptr), sound_->StopSound(4); // no events without a sink
    EXPECT_TRUE(events_.size() == 4 && events_.back() == Event(3, SoundStopped));
    // A play silenced by StopAllSounds (never reported finished) leaves its
    // buffer to the next play, whose events carry the new id.
    sound_->SetSoundEvent(this);
    ASSERT_GT(sound_->PlaySound(L"wavestream", false), 0);
    Pump(100), sound_->StopAllSounds(), Pump(600);
    const int next = sound_->PlaySound(L"wavestream", false);
    sound_->StopSound(next);
    EXPECT_EQ(events_.back(), Event(next, SoundStopped));
}

TEST_F(DSound, StreamStartsEndsAndRestartsFromItsEvent)
{
    // halves ends exactly on a half of its buffer, in its second block.
    ASSERT_TRUE(sound_->LoadSound(Widen(ENGINE_TONE_HALVES), L"halves", false, 1));
    CDSoundObject* stream = Sound(L"halves");
    // Stop before the start: cancelled, reported stopped, never heard.
    int id = sound_->PlaySound(L"halves", false);
    EXPECT_EQ(sound_->PlaySound(L"halves", false), -1) << "a second start while the first waits";
    sound_->StopSound(id);
    Pump(400);
    EXPECT_TRUE(Count(id, SoundStopped) == 1 && !stream->IsStreaming() && !stream->GetBufferCount());
    // Finished once, not before it has played; StopAllSounds silences a stream
    // without ending its worker.
    const DWORD start = GetTickCount();
    ASSERT_GT(id = sound_->PlaySound(L"halves", false), 0);
    ASSERT_TRUE(WaitFor([&] { return stream->IsStreaming(); }));
    EXPECT_EQ(sound_->PlaySound(L"halves", false), -1) << "a running stream goes on";
    sound_->StopAllSounds();
    EXPECT_TRUE(stream->IsStreaming());
    stream->Play(0, 0); // continues the rewound buffer
    ASSERT_TRUE(WaitFor([&] { return Count(id, SoundFinished) == 1; }, 20000));
    EXPECT_GT((GetTickCount() - start) / 1000.0, 6.27 - 0.3);
    Pump(300);
    EXPECT_TRUE(Count(id, SoundFinished) == 1 && Count(id, SoundStopped) == 0 && stream->GetBufferCount() == 0 &&
                !sound_->SetVolume(id, 50));
    // A stream restarts from its own finished event.
    std::vector<int> ids;
    events_.clear();
    react_ = [&](int, int event) {
        if (event == SoundFinished && ids.size() < 2)
            ids.push_back(sound_->PlaySound(L"short", false));
    };
    ids.push_back(sound_->PlaySound(L"short", false));
    ASSERT_TRUE(WaitFor([&] { return events_.size() == 2; }) && ids.size() == 2);
    EXPECT_EQ(events_, (std::vector<Event>{{ids[0], SoundFinished}, {ids[1], SoundFinished}}));
    // Shutdown from inside an event: the device goes once the event unwinds.
    react_ = [&](int, int) { engine_->Shutdown(); };
    ASSERT_TRUE(sound_->PlaySound(L"short", false) > 0 && WaitFor([&] { return events_.size() == 3; }));
    Pump(100);
    EXPECT_TRUE(engine_->GetSoundEx() == nullptr && events_.size() == 3u);
}

// Sees every MCI command the player sends, and sends it on.
struct WatchedSound : CSound {
    std::vector<UINT> commands;
    int Count(UINT message) const { return int(std::count(commands.begin(), commands.end(), message)); }
    MCIERROR SendCommand(UINT id, UINT message, DWORD_PTR flags, DWORD_PTR param) override
    {
        commands.push_back(message);
        return CSound::SendCommand(id, message, flags, param);
    }
};

// A beep (660 Hz) and a stream (440/880 Hz), then the MCI player's jingle
// (440/880 Hz) in two rounds; then what the player refuses.
TEST_F(DSound, RecordedVoiceStreamAndMciLoops)
{
    WatchedSound mci;
    UINT device = kInvalidSoundDevice;
    const auto samples = Record("sound.raw", 5, [&] {
        sound_->PlaySound(L"beep", false);
        Pump(900);
        const int id = sound_->PlaySound(L"short", false);
        EXPECT_TRUE(WaitFor([&] { return Count(id, SoundFinished) == 1; }));
        Pump(900);
        device = mci.Play(kJingle.c_str(), 2);
        EXPECT_TRUE(WaitFor([&] { return mci.Count(MCI_PLAY) == 2; })); // the second round has begun
        Pump(900);
    });
    EXPECT_TRUE(mci.Count(MCI_PLAY) == 2 && mci.Play(kJingle.c_str(), 0) == device && mci.Count(MCI_OPEN) == 1);
    // An end already queued when Stop comes does not restart the endless loop.
    const size_t sent = mci.commands.size();
    PostMessageW(mci.GetWindowHandle(), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, device);
    mci.Stop(device);
    Pump(500);
    EXPECT_EQ(mci.commands.size(), sent + 1) << "only the stop";
    // A failed path is not opened again; nothing goes to the all-devices id or
    // to unknown ids; 256 characters do not reach MCI.
    bool handled = true;
    for (const std::wstring& path : {std::wstring(L"Z:\\no\\such.wav"), std::wstring(L"Z:\\no\\such.wav"),
                                     std::wstring(256, L'a'), std::wstring()})
        EXPECT_EQ(mci.Play(path.empty() ? nullptr : path.c_str(), 1), kInvalidSoundDevice);
    for (UINT id : {kInvalidSoundDevice, 4242u})
        mci.Replay(id, 1), mci.OnMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, id, &handled);
    mci.Stop(kInvalidSoundDevice);
    EXPECT_TRUE(mci.commands.size() == sent + 2 && mci.commands.back() == UINT(MCI_OPEN));
    // The jingle may be split by drop-outs; a stream's half is 2 s: no stale
    // audio after its end.
    const auto segments = FindSegments(samples);
    ASSERT_GE(segments.size(), 3u);
    double jingle = 0;
    for (size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        SCOPED_TRACE(testing::Message() << i << ": " << s.start << ".." << s.end << ", loud " << s.loud);
        EXPECT_NEAR(s.pitch[0], i ? 440 : 660, 15);
        EXPECT_TRUE(i == 0 || std::abs(s.pitch[1] - 880) < 25) << s.pitch[1];
        EXPECT_TRUE(i > 1 || std::abs(s.loud - (i ? 0.35 : 0.4)) < 0.15);
        jingle += i > 1 ? s.loud : 0;
    }
    EXPECT_NEAR(jingle, 0.6, 0.15);
}

// An engine destroyed without Shutdown takes its sound device along: a
// looping voice falls silent. (TearDown gets a fresh engine.)
TEST_F(DSound, GoesWithAnEngineDestroyedWithoutShutdown)
{
    ASSERT_GT(sound_->PlaySound(L"beep", true), 0);
    const auto segments = FindSegments(Record("gone.raw", 3, [&] { Pump(1000), engine_.reset(new CDDGameEngine); }));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_TRUE(segments[0].end < 2 && std::abs(segments[0].pitch[0] - 660) < 15) << segments[0].end;
}

// Private bytes and open handles, counted by probing (Wine's
// GetProcessHandleCount answers 0).
std::pair<size_t, size_t> Footprint()
{
    PROCESS_MEMORY_COUNTERS_EX c = {};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof(c));
    size_t handles = 0;
    for (uintptr_t v = 4; v < 0x10000; v += 4) {
        DWORD flags;
        handles += GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags) != 0;
    }
    return {c.PrivateUsage, handles};
}

TEST_F(DSound, StressStreamCyclesAndWholePlays)
{
    CDSoundObject* stream = Sound(L"short");
    std::pair<size_t, size_t> before;
    for (int cycle = 0, id; cycle < 300; ++cycle) {
        before = cycle == 50 ? Footprint() : before;
        ASSERT_GT(id = sound_->PlaySound(L"short", false), 0) << cycle;
        // Every fourth cycle stops a playing stream, the others a pending start.
        if (cycle % 4 == 0)
            ASSERT_TRUE(WaitFor([&] { return stream->IsStreaming(); })) << cycle;
        else
            Pump(cycle % 3);
        sound_->StopSound(id);
        ASSERT_TRUE(Count(id, SoundStopped) == 1 && !stream->IsStreaming()) << cycle;
    }
    for (int i = 0, id; i < 1000; ++i) {
        ASSERT_GT(id = sound_->PlaySound(L"beep", false), 0) << i;
        sound_->StopSound(id);
    }
    // Devices with many voices leave no handles behind.
    for (int i = 0; i < 20; ++i) {
        CDSound7 device;
        ASSERT_TRUE(device.CreateDirectSound(engine_->GetWindowHandle()) && device.LoadSound(kBeep, L"v", true, 16));
    }
    Pump(100);
    const auto after = Footprint();
    EXPECT_TRUE(Sound(L"beep")->GetBufferCount() == 2u && after.first < before.first + 4 * 1024 * 1024 &&
                after.second < before.second + 64);
}

} // namespace
