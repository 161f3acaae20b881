// Without audio drivers the engine starts, and sound fails quietly: every
// operation fails or does nothing, and nothing reports an event.
#include <gtest/gtest.h>

#include "DDGameEngine.h"
#include "DSound7.h"
#include "SoundFiles.h"
#include "WinTestUtil.h"

using namespace Veld::Game;

struct Events : ISoundExEvent {
    int count = 0;
    void OnSoundEvent(int, int) override { ++count; }
};

TEST(NoSoundCard, EngineStartsAndSoundFailsQuietly)
{
    CDDGameEngine engine;
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), TestUtil::UniqueClassName(L"NoCard").c_str(), nullptr, 200,
                                  150, 180, 20, SW_SHOW));
    auto* sound = static_cast<CDSound7*>(engine.GetSoundEx());
    ASSERT_TRUE(sound && engine.GetSound() && !sound->GetDirectSound());
    Events events;
    sound->SetSoundEvent(&events);
    const std::wstring wav = SoundFiles::Widen(ENGINE_TONE_WAV), mp3 = SoundFiles::Widen(ENGINE_TONE_SHORT);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(sound->LoadSound(i % 2 ? wav : mp3, L"tone", i < 2, 1)) << i;
    EXPECT_TRUE(sound->FindSound(L"tone") == nullptr && sound->PlaySound(L"tone", true) == -1);
    for (int id = -1; id <= 1; ++id)
        sound->PauseSound(id), sound->ResumeSound(id), sound->StopSound(id);
    sound->StopAllSounds();
    // MCI opens wave files without a driver too; nothing is heard.
    ISound* mci = engine.GetSound();
    const UINT id = mci->Play(wav.c_str(), 1);
    mci->PlayWave(wav.c_str()), mci->Replay(id, 1), mci->Stop(id), mci->StopAll();
    TestUtil::Pump(200);
    EXPECT_EQ(events.count, 0);
    engine.Shutdown();
}
