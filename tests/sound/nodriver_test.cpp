// Without audio drivers the engine starts, and sound fails quietly: every
// operation fails or does nothing.
#include <gtest/gtest.h>

#include "DDGameEngine.h"
#include "DSound7.h"
#include "SoundFiles.h"
#include "WinTestUtil.h"

using namespace Veld::Game;

TEST(NoSoundCard, EngineStartsAndSoundFailsQuietly)
{
    CDDGameEngine engine;
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), TestUtil::UniqueClassName(L"NoCard").c_str(), nullptr, 200,
                                  150, 180, 20, SW_SHOW));
    auto* sound = static_cast<CDSound7*>(engine.GetSoundEx());
    ASSERT_TRUE(sound && engine.GetSound() && !sound->GetDirectSound());
    const std::wstring wav = SoundFiles::Widen(ENGINE_TONE_WAV), mp3 = SoundFiles::Widen(ENGINE_TONE_SHORT);
    EXPECT_FALSE(sound->LoadSound(wav, L"tone", true, 1) || sound->LoadSound(mp3, L"tone", false, 1));
    EXPECT_TRUE(sound->FindSound(L"tone") == nullptr && sound->PlaySound(L"tone", true) == -1);
    sound->PauseSound(1), sound->ResumeSound(1), sound->StopSound(1), sound->StopAllSounds();
    // MCI opens wave files without a driver too; nothing is heard.
    ISound* mci = engine.GetSound();
    const UINT id = mci->Play(wav.c_str(), 1);
    mci->PlayWave(wav.c_str()), mci->Replay(id, 1), mci->Stop(id), mci->StopAll();
    engine.Shutdown();
}
