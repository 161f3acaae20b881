// The MCI player under Wine's MCI (wave files).
#include <gtest/gtest.h>

#include <vector>

#include "DDGameEngine.h"
#include "MciSound.h"
#include "SoundTestSupport.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using SoundTest::FindSegments;
using SoundTest::Widen;
using TestUtil::Pump;

namespace {

const std::wstring kBeep = Widen(ENGINE_TONE_WAV);      // 0.4 s, 660 Hz
const std::wstring kJingle = Widen(ENGINE_TONE_JINGLE); // 0.3 s, 440/880 Hz

// Sees every MCI command the player sends, and sends it on.
class WatchedSound : public CSound {
public:
    struct Command {
        UINT id;
        UINT message;
    };
    std::vector<Command> commands;
    int Count(UINT message) const
    {
        int n = 0;
        for (const Command& c : commands)
            n += c.message == message;
        return n;
    }

protected:
    MCIERROR SendCommand(UINT nDeviceId, UINT nMessage, DWORD_PTR dwFlags, DWORD_PTR dwParam) override
    {
        commands.push_back({nDeviceId, nMessage});
        return CSound::SendCommand(nDeviceId, nMessage, dwFlags, dwParam);
    }
};

TEST(MciSound, FailedIdsAndBadPathsSendNothing)
{
    WatchedSound sound;
    EXPECT_EQ(sound.Play(L"Z:\\no\\such\\file.wav", 1), kInvalidSoundDevice);
    EXPECT_EQ(sound.Count(MCI_OPEN), 1);
    EXPECT_EQ(sound.Play(L"Z:\\no\\such\\file.wav", 1), kInvalidSoundDevice);
    EXPECT_EQ(sound.commands.size(), 1u) << "a failed path is not opened again";

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

    // (path, 2): plays twice, then stays stopped.
    Pump(1500);
    EXPECT_EQ(sound.Count(MCI_PLAY), 3) << "open's play, the replay, one restart";

    // An end already queued when Stop comes does not restart the device.
    sound.Replay(id, 0);
    const size_t before = sound.commands.size();
    PostMessageW(sound.GetWindowHandle(), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, id);
    sound.Stop(id);
    Pump(1000);
    EXPECT_EQ(sound.commands.size(), before + 1) << "only the stop";
}

TEST(MciSound, RecordedLoopsAndPlayWave)
{
    SoundTest::Recorder recorder(ENGINE_SOUND_RECORDINGS "/mci.raw");
    ASSERT_TRUE(recorder.Start(3));
    {
        CSound sound;
        ASSERT_NE(sound.Play(kJingle.c_str(), 2), kInvalidSoundDevice);
        Pump(1300);
        sound.PlayWave(kBeep.c_str());
        Pump(1000);
    }
    const std::vector<int16_t> samples = recorder.Wait();
    const auto segments = FindSegments(samples, 1000, 0.02);
    ASSERT_EQ(segments.size(), 3u) << SoundTest::Describe(segments);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NEAR(segments[i].Duration(), 0.3, 0.08);
        EXPECT_NEAR(SoundTest::SegmentFrequency(samples, segments[i], 0), 440, 15);
        EXPECT_NEAR(SoundTest::SegmentFrequency(samples, segments[i], 1), 880, 25);
    }
    EXPECT_NEAR(segments[2].Duration(), 0.4, 0.08);
    EXPECT_NEAR(SoundTest::SegmentFrequency(samples, segments[2]), 660, 15);
}

TEST(MciSound, SecondEngineReplaysTheSamePath)
{
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const std::wstring cls = TestUtil::UniqueClassName(L"MciEngine");
        CDDGameEngine engine;
        ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 200, 150, 180, 20, SW_SHOW));
        ISound* sound = engine.GetSound();
        ASSERT_NE(sound, nullptr);
        EXPECT_NE(sound->Play(kBeep.c_str(), 1), kInvalidSoundDevice);
        Pump(100);
        engine.Shutdown();
        EXPECT_EQ(engine.GetSound(), nullptr);
        Pump(50);
    }
}

} // namespace
