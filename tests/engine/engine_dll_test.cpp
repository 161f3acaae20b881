// The engine as a client sees it: through GameEngine.dll and include/ only.
#include <gtest/gtest.h>

#include "GameEngine.h"
#include "WinTestUtil.h"

using Veld::Game::IGameEngine;

namespace {

class EngineDll : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module_ = LoadLibraryW(L"GameEngine.dll");
        ASSERT_NE(module_, nullptr);
        create_ = reinterpret_cast<PFN_CreateGameEngine>(
            reinterpret_cast<void*>(GetProcAddress(module_, "CreateGameEngine")));
        destroy_ = reinterpret_cast<PFN_DestoryGameEngine>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DestoryGameEngine")));
        ASSERT_NE(create_, nullptr);
        ASSERT_NE(destroy_, nullptr);
    }
    static HMODULE module_;
    static PFN_CreateGameEngine create_;
    static PFN_DestoryGameEngine destroy_;
};
HMODULE EngineDll::module_ = nullptr;
PFN_CreateGameEngine EngineDll::create_ = nullptr;
PFN_DestoryGameEngine EngineDll::destroy_ = nullptr;

RECT WindowRect(HWND hWnd)
{
    RECT rc = {};
    GetWindowRect(hWnd, &rc);
    return rc;
}

// A client's own implementation of the interface: not the library's to destroy.
struct ForeignEngine : IGameEngine {
    bool Initialize(HINSTANCE, const wchar_t*, HICON, int, int, int, int, int) override { return false; }
    void Shutdown() override {}
    Veld::Game::IDisplay* GetDisplay() override { return nullptr; }
    Veld::Game::IInput* GetInput() override { return nullptr; }
    Veld::Game::ISound* GetSound() override { return nullptr; }
    Veld::Game::ISoundEx* GetSoundEx() override { return nullptr; }
    HWND GetWindowHandle() override { return nullptr; }
    bool SetTimer(unsigned int, int, Veld::Game::ITimerEvent*) override { return false; }
    void KillTimer(int) override {}
    Veld::Game::IImage* CreateImage() override { return nullptr; }
    void DestroyImage(Veld::Game::IImage*) override {}
    Veld::Game::ICanvas* CreateCanvas() override { return nullptr; }
    void DestroyCanvas(Veld::Game::ICanvas*) override {}
    Veld::Game::IDDFont* CreateDDFont() override { return nullptr; }
    void DestroyDDFont(Veld::Game::IDDFont*) override {}
    IDirectDrawSurface7* CreateSurface(int, int) override { return nullptr; }
    int canary = 0x5A5A5A5A;
};

} // namespace

TEST_F(EngineDll, LifecycleThroughTheExports)
{
    IGameEngine* engine = create_();
    ASSERT_NE(engine, nullptr);
    const std::wstring cls = TestUtil::UniqueClassName(L"DllLifecycle");
    HINSTANCE inst = GetModuleHandleW(nullptr);

    EXPECT_EQ(engine->GetWindowHandle(), nullptr);
    EXPECT_EQ(engine->GetDisplay(), nullptr);
    EXPECT_EQ(engine->CreateSurface(1, 1), nullptr);

    ASSERT_TRUE(engine->Initialize(inst, cls.c_str(), nullptr, 800, 600, 732, 32, SW_SHOW));
    HWND frame = engine->GetWindowHandle();
    ASSERT_NE(frame, nullptr);
    RECT rc = WindowRect(frame);
    EXPECT_EQ(rc.left, 112); // centred on the 1024 x 768 screen
    EXPECT_EQ(rc.top, 84);
    EXPECT_EQ(rc.right - rc.left, 800);
    EXPECT_EQ(rc.bottom - rc.top, 600);
    wchar_t title[128] = {};
    GetWindowTextW(frame, title, 128);
    EXPECT_EQ(std::wstring(title), cls);

    EXPECT_FALSE(engine->Initialize(inst, cls.c_str(), nullptr, 800, 600, 732, 32, SW_SHOW));
    EXPECT_EQ(engine->GetWindowHandle(), frame);
    TestUtil::Pump(100);

    engine->Shutdown();
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_EQ(engine->GetWindowHandle(), nullptr);
    TestUtil::PumpResult pumped = TestUtil::Pump(200, [] { return false; });
    EXPECT_TRUE(pumped.quit);
    EXPECT_EQ(pumped.quitCode, 0u);

    engine->Shutdown(); // does nothing
    EXPECT_FALSE(TestUtil::Pump(50).quit);

    // The class stays registered: the same name cannot initialise again.
    EXPECT_FALSE(engine->Initialize(inst, cls.c_str(), nullptr, 800, 600, 732, 32, SW_SHOW));
    EXPECT_EQ(engine->GetWindowHandle(), nullptr);
    destroy_(engine);
}

TEST_F(EngineDll, WideWindowIsPlacedAtOrigin)
{
    IGameEngine* engine = create_();
    ASSERT_NE(engine, nullptr);
    const std::wstring cls = TestUtil::UniqueClassName(L"DllWide");
    ASSERT_TRUE(engine->Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 1024, 600, 732, 32, SW_SHOW));
    RECT rc = WindowRect(engine->GetWindowHandle());
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    engine->Shutdown();
    TestUtil::Pump(50);
    destroy_(engine);
}

TEST_F(EngineDll, DestroyIgnoresNullAndForeignObjects)
{
    destroy_(nullptr);
    ForeignEngine foreign;
    destroy_(&foreign);
    EXPECT_EQ(foreign.canary, 0x5A5A5A5A);
}

TEST_F(EngineDll, DestroyWithoutShutdownLeavesNoWindowBehind)
{
    IGameEngine* engine = create_();
    ASSERT_NE(engine, nullptr);
    const std::wstring cls = TestUtil::UniqueClassName(L"DllNoShutdown");
    ASSERT_TRUE(engine->Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 320, 240, 732, 32, SW_SHOW));
    HWND frame = engine->GetWindowHandle();
    HWND render = GetWindow(frame, GW_CHILD);
    ASSERT_NE(render, nullptr);
    destroy_(engine);
    // Messages must not reach the freed engine.
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(IsWindow(render));
    SendMessageW(render, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    TestUtil::Pump(50);
}
