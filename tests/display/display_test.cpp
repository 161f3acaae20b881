// The display on the engine's real windows with Wine's DirectDraw, and the
// engine services around it.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "DDCanvas.h"
#include "DDDisplay.h"
#include "DDGameEngine.h"
#include "Rgb565.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using TestUtil::Pump;

namespace {

// A client object: onUpdate runs inside Update, draw inside Render.
struct Probe : IDisplayObject {
    bool change = false;
    RECT rect = {0, 0, 10, 10};
    int renders = 0;
    std::function<void(IDirtyRectManager*)> onUpdate = [](IDirtyRectManager*) {};
    std::function<void(ICanvas*)> draw = [](ICanvas*) {};

    bool Update(DWORD, IDirtyRectManager* pDirty) override
    {
        onUpdate(pDirty);
        return change;
    }
    bool Render(ICanvas* canvas) override
    {
        ++renders;
        draw(canvas);
        return true;
    }
    RECT GetRect() override { return rect; }
};

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestUtil::InitializeEngine(engine_, L"Display", 320, 240));
        engine_.KillTimer(kRefreshTimerId); // the tests drive Update with their own ticks
        display_ = static_cast<CDDDisplay*>(engine_.GetDisplay());
        ASSERT_NE(display_, nullptr);
        Pump(0);
    }
    void TearDown() override
    {
        if (display_)
            display_->RemoveAllObjects();
        engine_.Shutdown();
        Pump(0);
    }

    CDDGameEngine engine_;
    CDDDisplay* display_ = nullptr;
};

TEST_F(DisplayTest, LayersOrderObjectsAndFramesAreThrottled)
{
    std::vector<const Probe*> trace;
    Probe p[6];
    for (Probe& o : p)
        o.onUpdate = [&trace, &o](IDirtyRectManager*) { trace.push_back(&o); };
    // Layer 8 first in the calls, layer 0 holding objects in reverse address
    // order; an object may sit in several layers, but once in each.
    for (auto [i, layer] : {std::pair{5, 8}, {4, 0}, {1, 0}, {3, 2}, {2, 0}, {0, 2}, {4, 2}})
        EXPECT_TRUE(display_->AddObject(&p[i], layer));
    EXPECT_FALSE(display_->AddObject(&p[1], 0) || display_->AddObject(&p[0], 9) || display_->AddObject(nullptr, 1));
    ASSERT_TRUE(display_->Update(1000));
    EXPECT_EQ(trace, (std::vector<const Probe*>{&p[1], &p[2], &p[4], &p[0], &p[3], &p[4], &p[5]}));
    display_->RemoveAllObjects();
    trace.clear();
    // Frames at least 30 ms apart by the signed tick difference.
    EXPECT_FALSE(display_->Update(1029));
    EXPECT_TRUE(display_->Update(1030)) << "the rejected call must not move the last tick";
    EXPECT_FALSE(display_->Update(1000)); // earlier than the last accepted tick
    EXPECT_TRUE(trace.empty());
    // Up to the wrap in steps the signed difference still sees as forward.
    for (DWORD tick : {0x70000000u, 0xE0000000u, 0xFFFFFFF0u})
        EXPECT_TRUE(display_->Update(tick));
    EXPECT_FALSE(display_->Update(0x0000000Cu)); // 28 ms across the wrap
    EXPECT_TRUE(display_->Update(0x0000000Eu));  // 30 ms across the wrap
}

// Objects whose change has no area redraw nothing; one visible change redraws
// every object once. Dirty rectangles of quiet frames wait for that redraw,
// which sees them with its own whole-image rectangle and clears them.
TEST_F(DisplayTest, RedrawsEveryObjectOnlyWhenOneChangedVisibly)
{
    auto* canvas = static_cast<CDDCanvas*>(display_->GetCanvas());
    Probe still, inverted, changed;
    inverted.rect = {5, 20, 9, 10};
    inverted.change = true;
    const RECT small = {1, 2, 3, 4};
    still.onUpdate = [&](IDirtyRectManager* dirty) { dirty->AddDirtyRect(&small, 0); };
    for (Probe* o : {&still, &inverted, &changed})
        display_->AddObject(o, o == &changed ? 2 : 1);
    ASSERT_TRUE(display_->Update(20000) && display_->Update(20030));
    EXPECT_EQ(canvas->GetDirtyRectCount(), 2u);
    EXPECT_EQ(still.renders + inverted.renders + changed.renders, 0);
    changed.change = true;
    size_t duringRender = 0;
    changed.draw = [&](ICanvas*) { duringRender = canvas->GetDirtyRectCount(); };
    ASSERT_TRUE(display_->Update(20060));
    EXPECT_EQ(duringRender, 4u) << "two old, this frame's, and the whole back image";
    EXPECT_EQ(canvas->GetDirtyRectCount(), 0u);
    EXPECT_TRUE(still.renders == 1 && inverted.renders == 1 && changed.renders == 1);
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
    Pump(10000, [&] {
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

// The engine's own refresh timer runs the update in which an object shuts
// the engine down; that step presents nothing and later steps find no display.
TEST(EngineServices, ObjectMayShutTheEngineDownFromUpdate)
{
    CDDGameEngine engine;
    ASSERT_TRUE(TestUtil::InitializeEngine(engine, L"QuitInUpdate", 320, 240));
    Probe quitter, later;
    quitter.change = true;
    quitter.onUpdate = [&](IDirtyRectManager*) { engine.Shutdown(); };
    engine.GetDisplay()->AddObject(&quitter, 0);
    engine.GetDisplay()->AddObject(&later, 5);
    EXPECT_TRUE(Pump(10000, nullptr, true).quit);
    engine.OnTimer(kRefreshTimerId);
    EXPECT_TRUE(!engine.GetDisplay() && !engine.GetHostWindow().m_hFrameWindow);
    EXPECT_EQ(later.renders + quitter.renders, 0);
}

} // namespace
