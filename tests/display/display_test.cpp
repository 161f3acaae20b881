// The display on the engine's real windows with Wine's DirectDraw.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cstdint>
#include <vector>

#include "Canvas.h"
#include "DDCanvas.h"
#include "DDDisplay.h"
#include "DDGameEngine.h"
#include "DDImage.h"
#include "DebugOutputCapture.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using Lines = std::vector<std::string>;

namespace {

// A client object that logs its calls into a shared trace.
struct Probe : IDisplayObject {
    std::vector<const Probe*>* trace = nullptr;
    bool change = false;
    RECT rect = {0, 0, 10, 10};
    RECT dirty = {0, 0, 0, 0}; // added to the dirty list in Update when not empty
    int renders = 0;
    std::function<void(ICanvas*)> draw;

    bool Update(DWORD, IDirtyRectManager* pDirty) override
    {
        if (trace)
            trace->push_back(this);
        if (pDirty && dirty.right > dirty.left)
            pDirty->AddDirtyRect(&dirty, 0);
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
        cls_ = TestUtil::UniqueClassName(L"Display");
        ASSERT_TRUE(engine_.Initialize(GetModuleHandleW(nullptr), cls_.c_str(), nullptr, 320, 240, 732, 32, SW_SHOW));
        engine_.KillTimer(kRefreshTimerId); // the tests drive Update with their own ticks
        display_ = static_cast<CDDDisplay*>(engine_.GetDisplay());
        ASSERT_NE(display_, nullptr);
        TestUtil::Pump(50);
    }
    void TearDown() override
    {
        if (display_)
            display_->RemoveAllObjects();
        engine_.Shutdown();
        TestUtil::Pump(20);
    }
    std::uint32_t BackPixel(int x, int y)
    {
        ImageLockInfo info = {};
        EXPECT_TRUE(display_->GetBackImage()->Lock(&info));
        std::uint32_t p = reinterpret_cast<std::uint32_t*>(info.bits + y * info.pitch)[x];
        display_->GetBackImage()->Unlock();
        return p;
    }

    CDDGameEngine engine_;
    CDDDisplay* display_ = nullptr;
    std::wstring cls_;
};

} // namespace

TEST_F(DisplayTest, LayersOrderObjectsByLayerThenPointer)
{
    std::vector<const Probe*> trace;
    Probe p[6];
    for (Probe& o : p)
        o.trace = &trace;
    // Layer 8 first in the calls, layer 0 holding objects in reverse address order.
    EXPECT_TRUE(display_->AddObject(&p[5], 8));
    EXPECT_TRUE(display_->AddObject(&p[4], 0));
    EXPECT_TRUE(display_->AddObject(&p[1], 0));
    EXPECT_TRUE(display_->AddObject(&p[3], 2));
    EXPECT_TRUE(display_->AddObject(&p[2], 0));
    EXPECT_TRUE(display_->AddObject(&p[0], 2)); // the same object may sit in several layers
    EXPECT_TRUE(display_->AddObject(&p[4], 2));
    EXPECT_FALSE(display_->AddObject(&p[1], 0)) << "already in layer 0";
    EXPECT_FALSE(display_->AddObject(&p[0], 9));
    EXPECT_FALSE(display_->AddObject(nullptr, 1));

    ASSERT_TRUE(display_->Update(1000));
    const std::vector<const Probe*> expected = {&p[1], &p[2], &p[4], &p[0], &p[3], &p[4], &p[5]};
    EXPECT_EQ(trace, expected);

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
    // Walk up to the wrap in steps the signed difference still sees as forward.
    EXPECT_TRUE(display_->Update(0x70000000u));
    EXPECT_TRUE(display_->Update(0xE0000000u));
    EXPECT_TRUE(display_->Update(0xFFFFFFF0u));
    EXPECT_FALSE(display_->Update(0x0000000Cu)); // 28 ms across the wrap
    EXPECT_TRUE(display_->Update(0x0000000Eu));  // 30 ms across the wrap
}

TEST_F(DisplayTest, ChangeWithEmptyRectCausesNoRedraw)
{
    Probe a, b;
    a.change = true;
    a.rect = {5, 5, 5, 20}; // zero width
    b.change = true;
    b.rect = {5, 20, 9, 10}; // negative height
    display_->AddObject(&a, 0);
    display_->AddObject(&b, 1);
    TestUtil::DebugOutputCapture capture;
    EXPECT_TRUE(display_->Update(5000)); // true although nothing changed visibly
    EXPECT_EQ(a.renders + b.renders, 0);
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(DisplayTest, DebugLinesCountEveryVisitedObject)
{
    Probe l0[3], l2;
    for (Probe& o : l0)
        display_->AddObject(&o, 0);
    l2.change = true;
    l2.rect = {1, 3, 2, 4};
    display_->AddObject(&l2, 2);
    TestUtil::DebugOutputCapture capture;
    ASSERT_TRUE(display_->Update(7000));
    EXPECT_EQ(capture.lines(),
              (Lines{"RECT(left:1, right:2, top:3, bottom:4)\n", "3 to render\n", "Update AllDirty\n"}));
    for (Probe& o : l0)
        EXPECT_EQ(o.renders, 1) << "every object is redrawn when one changed";
    EXPECT_EQ(l2.renders, 1);
}

TEST_F(DisplayTest, DirtyRectsWaitForTheNextRedraw)
{
    auto* canvas = static_cast<CDDCanvas*>(display_->GetCanvas());
    Probe p;
    p.dirty = {1, 2, 3, 4};
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

TEST_F(DisplayTest, RedrawFrameClipsToTheWholeBackImage)
{
    IImage* red = engine_.CreateImage();
    ASSERT_NE(red, nullptr);
    ASSERT_TRUE(red->Create(20, 20));
    ImageLockInfo info = {};
    ASSERT_TRUE(red->Lock(&info));
    for (int y = 0; y < 20; ++y)
        std::fill_n(reinterpret_cast<std::uint32_t*>(info.bits + y * info.pitch), 20, 0xFFFF0000u);
    red->Unlock();

    Probe p;
    p.change = true;
    p.rect = {0, 0, 20, 20};
    p.draw = [&](ICanvas* canvas) {
        DrawStyle plain = {};
        canvas->DrawImage(red, -10, -10, &plain); // lower-right 10 x 10 lands at the corner
    };
    display_->AddObject(&p, 4);
    ASSERT_TRUE(display_->Update(9000));
    EXPECT_EQ(BackPixel(0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(BackPixel(9, 9) & 0xFFFFFF, 0xFF0000u);
    EXPECT_NE(BackPixel(10, 10) & 0xFFFFFF, 0xFF0000u);

    // The list was cleared after the redraw: drawing outside Update draws nothing.
    DrawStyle plain = {};
    display_->GetCanvas()->DrawImage(red, 100, 100, &plain);
    EXPECT_NE(BackPixel(105, 105) & 0xFFFFFF, 0xFF0000u);
    display_->RemoveAllObjects();
    engine_.DestroyImage(red);
}

TEST_F(DisplayTest, PresentReachesTheScreenSurface)
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
    EXPECT_EQ(display_->Present(), DD_OK);

    IDirectDrawSurface7* screen = display_->GetScreenSurface();
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    ASSERT_EQ(screen->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK);
    auto at = [&](int x, int y) -> std::uint32_t {
        const BYTE* row = static_cast<const BYTE*>(desc.lpSurface) + y * desc.lPitch;
        if (desc.ddpfPixelFormat.dwRGBBitCount == 16)
            return reinterpret_cast<const std::uint16_t*>(row)[x];
        return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
    };
    const std::uint32_t left = at(10, 10), right = at(300, 200);
    const DWORD bits = desc.ddpfPixelFormat.dwRGBBitCount;
    screen->Unlock(nullptr);

    if (display_->GetDesktopDepth() == 32) {
        EXPECT_EQ(bits, 32u);
        EXPECT_EQ(left, 0x123456u);
        EXPECT_EQ(right, 0xFF8008u);
        EXPECT_EQ(display_->GetConversionSurface(), nullptr);
    } else {
        ASSERT_EQ(bits, 16u);
        ASSERT_NE(display_->GetConversionSurface(), nullptr);
        // RGB565: 0x12,0x34,0x56 -> 00010 001101 01010; 0xFF,0x80,0x08 -> 11111 100000 00001
        EXPECT_EQ(left, 0x11AAu);
        EXPECT_EQ(right, 0xFC01u);
    }

    // Without a change the next Present only repeats the window blit.
    p.change = false;
    ASSERT_TRUE(display_->Update(12000));
    EXPECT_EQ(display_->Present(), DD_OK);
}

TEST_F(DisplayTest, WindowMovesAndRegions)
{
    TestUtil::DebugOutputCapture capture;
    display_->OnWindowMove(40, 50);
    display_->OnWindowMove(40, 50);
    display_->OnWindowResize(300, 200);
    display_->OnWindowResize(300, 200);
    display_->ShowWindow(2); // nothing
    EXPECT_EQ(capture.lines(), (Lines{"OnWindowMove AllDirty\n", "OnWindowResize AllDirty\n"}));

    HWND render = engine_.GetHostWindow().m_hRenderWindow;
    HRGN before = CreateRectRgn(0, 0, 0, 0);
    HRGN after = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(render, before), ERROR);
    display_->XorWindowRegion(10, 10, 50, 40);
    ASSERT_NE(GetWindowRgn(render, after), ERROR);
    EXPECT_FALSE(EqualRgn(before, after));
    EXPECT_FALSE(PtInRegion(after, 20, 20));
    display_->XorWindowRegion(10, 10, 50, 40);
    ASSERT_NE(GetWindowRgn(render, after), ERROR);
    EXPECT_TRUE(EqualRgn(before, after));
    DeleteObject(before);
    DeleteObject(after);
}

// Engine services around the display.
TEST(EngineServices, AccessorsAndFactoriesFollowTheLifecycle)
{
    CDDGameEngine engine;
    auto allNull = [&] {
        return !engine.GetDisplay() && !engine.GetInput() && !engine.CreateImage() && !engine.CreateCanvas() &&
               !engine.CreateSurface(1, 1);
    };
    EXPECT_TRUE(allNull());
    std::wstring cls = TestUtil::UniqueClassName(L"Services");
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 200, 150, 732, 32, SW_SHOW));

    EXPECT_EQ(engine.CreateSurface(0, 10), nullptr);
    EXPECT_EQ(engine.CreateSurface(10, -1), nullptr);
    IDirectDrawSurface7* surface = engine.CreateSurface(1, 1);
    ASSERT_NE(surface, nullptr);
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    surface->GetSurfaceDesc(&desc);
    EXPECT_EQ(desc.dwWidth, 1u);
    EXPECT_EQ(desc.ddpfPixelFormat.dwRGBBitCount, 32u);
    surface->Release();

    ICanvas* canvas = engine.CreateCanvas();
    ASSERT_NE(canvas, nullptr);
    engine.DestroyImage(reinterpret_cast<IImage*>(canvas)); // not an image: ignored
    engine.DestroyImage(nullptr);
    IImage* image = engine.CreateImage();
    ASSERT_NE(image, nullptr);
    ASSERT_TRUE(image->Create(4, 4));
    EXPECT_TRUE(canvas->SetTarget(image));
    engine.DestroyCanvas(reinterpret_cast<ICanvas*>(image)); // not a canvas: ignored
    EXPECT_EQ(image->GetWidth(), 4);
    engine.DestroyCanvas(canvas);
    engine.DestroyCanvas(nullptr);
    engine.DestroyImage(image);

    engine.Shutdown();
    EXPECT_TRUE(allNull());
    TestUtil::Pump(700); // the refresh timer keeps firing, harmlessly
}

TEST(EngineServices, FailingDisplayFailsInitialize)
{
    CDDGameEngine engine;
    std::wstring cls = TestUtil::UniqueClassName(L"NoDisplay");
    // A window without a client area cannot get a screen surface.
    EXPECT_FALSE(engine.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 0, 0, 732, 32, SW_SHOW));
    EXPECT_EQ(engine.GetDisplay(), nullptr);
    EXPECT_NE(engine.GetHostWindow().m_hFrameWindow, nullptr) << "the windows stay";
}

TEST(EngineServices, ObjectMayShutTheEngineDownFromUpdate)
{
    CDDGameEngine engine;
    std::wstring cls = TestUtil::UniqueClassName(L"QuitInUpdate");
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 200, 150, 732, 32, SW_SHOW));
    Probe quitter, later;
    quitter.change = true;
    quitter.rect = {0, 0, 10, 10};
    bool quit = false;
    struct Quitter : Probe {
        CDDGameEngine* engine;
        bool Update(DWORD t, IDirtyRectManager* d) override
        {
            engine->Shutdown();
            return Probe::Update(t, d);
        }
    } q;
    q.engine = &engine;
    q.change = true;
    engine.GetDisplay()->AddObject(&q, 0);
    engine.GetDisplay()->AddObject(&later, 5);
    engine.SetTimer(10, kRefreshTimerId, &engine); // refresh soon
    TestUtil::PumpResult r = TestUtil::Pump(500, [&] { return !engine.GetHostWindow().m_hFrameWindow; });
    quit = r.quit || TestUtil::Pump(100).quit;
    EXPECT_TRUE(quit);
    EXPECT_EQ(later.renders, 0);
    EXPECT_EQ(q.renders, 0);
}
