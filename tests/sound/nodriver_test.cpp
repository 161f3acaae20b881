// Without audio drivers the engine starts, and sound fails quietly.
#include <gtest/gtest.h>

#include "DDGameEngine.h"
#include "DSound7.h"
#include "WinTestUtil.h"

using namespace Veld::Game;

TEST(NoSoundCard, EngineStartsAndSoundFailsQuietly)
{
    const std::wstring cls = TestUtil::UniqueClassName(L"NoCard");
    CDDGameEngine engine;
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 200, 150, 180, 20, SW_SHOW));
    ISoundEx* sound = engine.GetSoundEx();
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(static_cast<CDSound7*>(sound)->GetDirectSound(), nullptr);
    EXPECT_FALSE(sound->LoadSound(L"Z:\\any\\tone.wav", L"tone", true, 1));
    EXPECT_EQ(sound->PlaySound(L"tone", false), -1);
    sound->StopSound(1);
    sound->PauseSound(1);
    sound->ResumeSound(1);
    sound->StopAllSounds();
    sound->SetSoundEvent(nullptr);
    ASSERT_NE(engine.GetSound(), nullptr);
    engine.GetSound()->Play(L"Z:\\any\\tone.wav", 1);
    engine.GetSound()->StopAll();
    TestUtil::Pump(50);
    engine.Shutdown();
}
