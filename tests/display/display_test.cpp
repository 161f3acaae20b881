// The display on the engine's real windows with Wine's DirectDraw, and the
// engine services around it.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "DDCanvas.h"
#include "DDDisplay.h"
#include "DDGameEngine.h"
#include "DDImage.h"
#include "DebugOutputCapture.h"
#include "Rgb565.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using Lines = std::vector<std::string>;

namespace {

// Dispatches this thread's messages until done(WM_QUIT seen, WM_TIMERs seen)
// holds, for at most 10 s.
bool PumpUntil(const std::function<bool(bool, int)>& done)
{
    bool quit = false;
    int timers = 0;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            quit |= msg.message == WM_QUIT;
            timers += msg.message == WM_TIMER;
            if (msg.message != WM_QUIT)
                DispatchMessageW(&msg);
        }
        if (done(quit, timers))
            return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return false;
}
const auto kPending = [](bool, int) { return true; };

// A client object: onUpdate runs inside Update, draw inside Render.
struct Probe : IDisplayObject {
    bool change = false;
    RECT rect = {0, 0, 10, 10};
    int renders = 0;
    std::function<void(IDirtyRectManager*)> onUpdate;
    std::function<void(ICanvas*)> draw;

    bool Update(DWORD, IDirtyRectManager* pDirty) override
    {
        if (onUpdate)
            onUpdate(pDirty);
        return change;
    }
    bool Render(ICanvas* canvas) override
    {
        ++renders;
        if (draw)
            draw(canvas);
        return true;
    }
    RECT GetRect() override { return rect; }
};

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(engine_.Initialize(GetModuleHandleW(nullptr), TestUtil::UniqueClassName(L"Display").c_str(),
                                       nullptr, 320, 240, 732, 32, SW_SHOW));
        engine_.KillTimer(kRefreshTimerId); // the tests drive Update with their own ticks
        display_ = static_cast<CDDDisplay*>(engine_.GetDisplay());
        ASSERT_NE(display_, nullptr);
        PumpUntil(kPending);
    }
    void TearDown() override
    {
        if (display_)
            display_->RemoveAllObjects();
        engine_.Shutdown();
        PumpUntil(kPending);
    }

    CDDGameEngine engine_;
    CDDDisplay* display_ = nullptr;
};

TEST_F(DisplayTest, LayersOrderObjectsByLayerThenPointer)
{
    std::vector<const Probe*> trace;
    Probe p[6];
    for (Probe& o : p)
        o.onUpdate = [&trace, &o](IDirtyRectManager*) { trace.push_back(&o); };
    // Layer 8 first in the calls, layer 0 holding objects in reverse address
    // order; an object may sit in several layers, but once in each.
    for (auto [i, layer] : {std::pair{5, 8}, {4, 0}, {1, 0}, {3, 2}, {2, 0}, {0, 2}, {4, 2}})
        EXPECT_TRUE(display_->AddObject(&p[i], layer));
    EXPECT_FALSE(display_->AddObject(&p[1], 0));
    EXPECT_FALSE(display_->AddObject(&p[0], 9));
    EXPECT_FALSE(display_->AddObject(nullptr, 1));
    ASSERT_TRUE(display_->Update(1000));
    EXPECT_EQ(trace, (std::vector<const Probe*>{&p[1], &p[2], &p[4], &p[0], &p[3], &p[4], &p[5]}));
    display_->RemoveAllObjects();
    trace.clear();
    ASSERT_TRUE(display_->Update(2000));
    EXPECT_TRUE(trace.empty());
}

TEST_F(DisplayTest, ThrottleUsesSignedTickDifference)
{
    EXPECT_TRUE(display_->Update(1000));
    EXPECT_FALSE(display_->Update(1029));
    EXPECT_TRUE(display_->Update(1030)) << "the rejected call must not move the last tick";
    EXPECT_FALSE(display_->Update(1000)); // earlier than the last accepted tick
    // Up to the wrap in steps the signed difference still sees as forward.
    for (DWORD tick : {0x70000000u, 0xE0000000u, 0xFFFFFFF0u})
        EXPECT_TRUE(display_->Update(tick));
    EXPECT_FALSE(display_->Update(0x0000000Cu)); // 28 ms across the wrap
    EXPECT_TRUE(display_->Update(0x0000000Eu));  // 30 ms across the wrap
}

TEST_F(DisplayTest, RedrawsEveryObjectOnlyWhenOneChangedVisibly)
{
    Probe l0[3], empty, inverted, changed;
    for (Probe& o : l0)
        display_->AddObject(&o, 0);
    empty.rect = {5, 5, 5, 20};
    inverted.rect = {5, 20, 9, 10};
    changed.rect = {1, 3, 2, 4};
    empty.change = inverted.change = changed.change = true;
    display_->AddObject(&empty, 1);
    display_->AddObject(&inverted, 1);
    TestUtil::DebugOutputCapture capture;
    EXPECT_TRUE(display_->Update(5000)); // true although nothing changed visibly
    EXPECT_EQ(l0[0].renders + empty.renders + inverted.renders, 0);
    EXPECT_TRUE(capture.lines().empty());
    display_->AddObject(&changed, 2);
    ASSERT_TRUE(display_->Update(7000));
    EXPECT_EQ(capture.lines(),
              (Lines{"RECT(left:1, right:2, top:3, bottom:4)\n", "5 to render\n", "Update AllDirty\n"}));
    for (Probe* o : {&l0[0], &l0[1], &l0[2], &empty, &inverted, &changed})
        EXPECT_EQ(o->renders, 1);
}

TEST_F(DisplayTest, DirtyRectsWaitForTheNextRedrawWhichClearsThem)
{
    auto* canvas = static_cast<CDDCanvas*>(display_->GetCanvas());
    Probe p;
    p.onUpdate = [](IDirtyRectManager* dirty) {
        const RECT rc = {1, 2, 3, 4};
        dirty->AddDirtyRect(&rc, 0);
    };
    display_->AddObject(&p, 1);
    ASSERT_TRUE(display_->Update(20000)); // no change: the rectangle stays
    ASSERT_TRUE(display_->Update(20030));
    EXPECT_EQ(canvas->GetDirtyRectCount(), 2u);
    EXPECT_EQ(p.renders, 0);
    p.change = true;
    p.rect = {0, 0, 5, 5};
    size_t duringRender = 0;
    p.draw = [&](ICanvas*) { duringRender = canvas->GetDirtyRectCount(); };
    ASSERT_TRUE(display_->Update(20060));
    EXPECT_EQ(duringRender, 4u) << "two old, this frame's, and the whole back image";
    EXPECT_EQ(canvas->GetDirtyRectCount(), 0u);
}

// The back image reaches the real screen, converted to RGB565 on a 16-bit
// desktop; the pixels are read back until they arrive.
TEST_F(DisplayTest, PresentReachesTheScreen)
{
    Probe p;
    p.change = true;
    p.rect = {0, 0, 320, 240};
    p.draw = [](ICanvas* canvas) {
        RECT a = {0, 0, 160, 240}, b = {160, 0, 320, 240};
        canvas->FillRect(&a, RGB(0x12, 0x34, 0x56));
        canvas->FillRect(&b, RGB(0xFF, 0x80, 0x08));
    };
    display_->AddObject(&p, 0);
    ASSERT_TRUE(display_->Update(11000));
    const bool depth32 = display_->GetDesktopDepth() == 32;
    EXPECT_EQ(display_->GetConversionSurface() != nullptr, !depth32);
    // RGB565: 0x12,0x34,0x56 -> 00010 001101 01010; 0xFF,0x80,0x08 -> 11111 100000 00001
    const std::vector<std::uint32_t> want = {depth32 ? 32u : 16u, depth32 ? 0x123456u : 0x11AAu,
                                             depth32 ? 0xFF8008u : 0xFC01u};
    std::vector<std::uint32_t> got; // bits per pixel, pixels at (10, 10) and (300, 200)
    PumpUntil([&](bool, int) {
        EXPECT_EQ(display_->Present(), DD_OK);
        DDSURFACEDESC2 desc = {};
        desc.dwSize = sizeof(desc);
        if (display_->GetScreenSurface()->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK)
            return false;
        const auto bits = desc.ddpfPixelFormat.dwRGBBitCount;
        auto at = [&](int x, int y) -> std::uint32_t {
            const BYTE* row = static_cast<const BYTE*>(desc.lpSurface) + y * desc.lPitch;
            return bits == 16 ? reinterpret_cast<const std::uint16_t*>(row)[x]
                              : reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
        };
        got = {bits, at(10, 10), at(300, 200)};
        display_->GetScreenSurface()->Unlock(nullptr);
        return got == want;
    });
    EXPECT_EQ(got, want);
    // Without a change the next Present only repeats the window blit.
    p.change = false;
    ASSERT_TRUE(display_->Update(12000));
    EXPECT_EQ(display_->Present(), DD_OK);
}

// The 16-bit desktop conversion itself, on any desktop: rows by their pitches.
TEST(Rgb565, PacksTheTopBitsOfEachChannel)
{
    const std::uint32_t src[] = {0xFF123456, 0x00FF8008, 0xDEADBEEF, 0x0000FFFF, 0x00FFFFFF, 0xDEADBEEF};
    std::uint16_t dst[] = {1, 2, 3, 4, 5, 6};
    ConvertToRgb565(reinterpret_cast<const BYTE*>(src), 12, reinterpret_cast<BYTE*>(dst), 6, 2, 2);
    // 0x123456 -> 00010 001101 01010; 0xFF8008 -> 11111 100000 00001; 0x00FFFF -> 00000 111111 11111
    EXPECT_EQ(std::vector<std::uint16_t>(dst, dst + 6),
              (std::vector<std::uint16_t>{0x11AA, 0xFC01, 3, 0x07FF, 0xFFFF, 6}));
}

TEST_F(DisplayTest, MovesAndResizesRedrawOnceAndRegionsToggle)
{
    TestUtil::DebugOutputCapture capture;
    display_->OnWindowMove(40, 50);
    display_->OnWindowMove(40, 50);
    display_->OnWindowResize(300, 200);
    display_->OnWindowResize(300, 200);
    EXPECT_EQ(capture.lines(), (Lines{"OnWindowMove AllDirty\n", "OnWindowResize AllDirty\n"}));
    HWND render = engine_.GetHostWindow().m_hRenderWindow;
    HRGN before = CreateRectRgn(0, 0, 0, 0), after = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(render, before), ERROR);
    display_->XorWindowRegion(10, 10, 50, 40);
    ASSERT_NE(GetWindowRgn(render, after), ERROR);
    EXPECT_TRUE(!PtInRegion(after, 20, 20) && PtInRegion(after, 60, 20));
    display_->XorWindowRegion(10, 10, 50, 40);
    ASSERT_NE(GetWindowRgn(render, after), ERROR);
    EXPECT_TRUE(EqualRgn(before, after));
    DeleteObject(before);
    DeleteObject(after);
}

TEST(EngineServices, AccessorsAndFactoriesFollowTheLifecycle)
{
    CDDGameEngine engine;
    auto allNull = [&] {
        return !engine.GetDisplay() && !engine.GetInput() && !engine.CreateImage() && !engine.CreateCanvas() &&
               !engine.CreateSurface(1, 1);
    };
    EXPECT_TRUE(allNull());
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), TestUtil::UniqueClassName(L"Services").c_str(), nullptr,
                                  200, 150, 732, 32, SW_SHOW));
    EXPECT_EQ(engine.CreateSurface(0, 10), nullptr);
    EXPECT_EQ(engine.CreateSurface(10, -1), nullptr);
    IDirectDrawSurface7* surface = engine.CreateSurface(3, 1);
    ASSERT_NE(surface, nullptr);
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    surface->GetSurfaceDesc(&desc);
    EXPECT_TRUE(desc.dwWidth == 3 && desc.dwHeight == 1 && desc.ddpfPixelFormat.dwRGBBitCount == 32);
    surface->Release();
    // The destroyers check the class at run time and ignore foreign pointers.
    ICanvas* canvas = engine.CreateCanvas();
    IImage* image = engine.CreateImage();
    ASSERT_TRUE(canvas && image && image->Create(4, 4));
    engine.DestroyImage(reinterpret_cast<IImage*>(canvas));
    engine.DestroyImage(nullptr);
    EXPECT_TRUE(canvas->SetTarget(image));
    engine.DestroyCanvas(reinterpret_cast<ICanvas*>(image));
    engine.DestroyCanvas(nullptr);
    EXPECT_EQ(image->GetWidth(), 4);
    engine.DestroyCanvas(canvas);
    engine.DestroyImage(image);
    engine.Shutdown();
    EXPECT_TRUE(allNull());
    // The refresh timer goes on firing, harmlessly.
    EXPECT_TRUE(PumpUntil([](bool, int timers) { return timers >= 3; }));
}

TEST(EngineServices, WindowWithoutClientAreaFailsInitialize)
{
    CDDGameEngine engine;
    EXPECT_FALSE(engine.Initialize(GetModuleHandleW(nullptr), TestUtil::UniqueClassName(L"NoDisplay").c_str(), nullptr,
                                   0, 0, 732, 32, SW_SHOW));
    EXPECT_EQ(engine.GetDisplay(), nullptr);
}

TEST(EngineServices, ObjectMayShutTheEngineDownFromUpdate)
{
    CDDGameEngine engine;
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), TestUtil::UniqueClassName(L"QuitInUpdate").c_str(),
                                  nullptr, 200, 150, 732, 32, SW_SHOW));
    Probe quitter, later;
    quitter.change = true;
    quitter.onUpdate = [&](IDirtyRectManager*) { engine.Shutdown(); };
    engine.GetDisplay()->AddObject(&quitter, 0);
    engine.GetDisplay()->AddObject(&later, 5);
    engine.SetTimer(10, kRefreshTimerId, &engine); // refresh soon
    EXPECT_TRUE(PumpUntil([&](bool quit, int) { return quit && !engine.GetHostWindow().m_hFrameWindow; }));
    EXPECT_EQ(later.renders + quitter.renders, 0);
}

} // namespace
