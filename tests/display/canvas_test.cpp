// The canvas on real DirectDraw surfaces: targets, dirty-clipped drawing, the
// choice of method, keyed blits, fills, outlines and rotation.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "DDCanvas.h"
#include "DrawTestUtil.h"
#include "kernel_test_support.h"

namespace {

using namespace Veld::Game;
using namespace TestUtil;
using Op = Kernels::BlendOp;

constexpr int kW = 64;
constexpr int kH = 48;

Pixels RandomPixels(uint64_t seed, int count)
{
    kt::Rng rng(seed);
    Pixels p(static_cast<size_t>(count));
    for (auto& v : p)
        v = rng.Pixel();
    return p;
}

Kernels::Surface View(Pixels& p, int width, int height)
{
    return {reinterpret_cast<uint8_t*>(p.data()), width * 4, width, height};
}

DrawStyle Style(DWORD flags, BYTE alpha = 255, float scale = 1.0f)
{
    DrawStyle s = {};
    s.dwFlags = flags;
    s.byAlpha = alpha;
    s.fScaleX = s.fScaleY = scale;
    s.crTint = 0x00336699;
    return s;
}

class CanvasTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_pGdiplus = new GdiplusSession; }
    static void TearDownTestSuite() { delete s_pGdiplus; }

    void SetUp() override
    {
        ASSERT_TRUE(s_pGdiplus->Started());
        ASSERT_NE(dd.Get(), nullptr);
        target = MakeImage(dd.Get(), kW, kH, RandomPixels(1, kW * kH));
        source = MakeImage(dd.Get(), 20, 20, RandomPixels(2, 400));
        background = ReadPixels(*target);
        sourcePixels = ReadPixels(*source);
        ASSERT_TRUE(canvas.SetTarget(target.get()));
    }
    void MarkAllDirty()
    {
        const RECT all = {0, 0, kW, kH};
        ASSERT_TRUE(canvas.AddDirtyRect(&all, 0));
    }
    ::testing::AssertionResult TargetIs(const Pixels& expected)
    {
        return SamePixels(expected, ReadPixels(*target), kW);
    }

    static GdiplusSession* s_pGdiplus;
    DirectDraw dd;
    std::unique_ptr<CDDImage> target, source;
    Pixels background, sourcePixels;
    CDDCanvas canvas;
};

GdiplusSession* CanvasTest::s_pGdiplus = nullptr;

TEST_F(CanvasTest, TargetsAndSourcesAreNonEmptyEngineImages)
{
    EXPECT_EQ(canvas.GetStringFormatStatus(), Gdiplus::Ok);
    CDDImage empty;
    empty.SetDirectDraw(dd.Get());
    EXPECT_FALSE(canvas.SetTarget(nullptr));
    EXPECT_FALSE(canvas.SetTarget(&empty));
    const RECT rc = {0, 0, 8, 8};
    EXPECT_FALSE(canvas.DrawImageKeyed(&empty, rc, rc, 0));
    EXPECT_FALSE(canvas.RotateImage(source.get(), &empty, 90, 0.0, 0.0));
    canvas.BlitImage(&empty, rc, rc, nullptr);
    EXPECT_TRUE(TargetIs(background)); // the target was kept, nothing drawn

    canvas.ResetTarget();
    EXPECT_TRUE(canvas.IsEmpty());
    MarkAllDirty();
    EXPECT_FALSE(canvas.FillRect(nullptr, 0));
    EXPECT_FALSE(canvas.DrawRect(&rc, 0));
    EXPECT_FALSE(canvas.DrawImageKeyed(source.get(), rc, rc, 0));
    canvas.BlitImage(source.get(), rc, rc, nullptr);
    canvas.DrawImage(source.get(), 0, 0, nullptr);
    EXPECT_TRUE(TargetIs(background));
}

TEST_F(CanvasTest, DrawImageDrawsOnlyInsideTheDirtyRegion)
{
    const RECT dst = {0, 0, 40, 40}, src = {0, 0, 20, 20};
    const DrawStyle blend = Style(DrawStyle::AlphaBlend);
    EXPECT_FALSE(canvas.DrawImage(source.get(), dst, src, &blend)); // nothing dirty
    EXPECT_TRUE(TargetIs(background));

    // Dirty right half of a twice enlarged draw: the source loses
    // trunc(20 * 0.5) = 10 columns on the left.
    const RECT dirty = {20, -5, 50, 40};
    ASSERT_TRUE(canvas.AddDirtyRect(&dirty, 0));
    EXPECT_FALSE(canvas.DrawImage(source.get(), dst, src, &blend)); // never reports success
    Pixels expected = background;
    ASSERT_TRUE(Kernels::BlendReference(Op::AlphaBlend, View(expected, kW, kH), {20, 0, 40, 40},
                                        View(sourcePixels, 20, 20), {10, 0, 20, 20}, {}));
    EXPECT_TRUE(TargetIs(expected));

    EXPECT_TRUE(canvas.ClearDirtyRects());
    EXPECT_TRUE(canvas.IsRectDirty(&dirty));
    EXPECT_FALSE(canvas.AddDirtyRect(nullptr, 0));
    canvas.DrawImage(source.get(), 0, 0, nullptr);
    EXPECT_TRUE(TargetIs(expected));
}

TEST_F(CanvasTest, TheFourDrawImageFormsCutTheSameSource)
{
    // The image at (-10, -10) shows its lower-right quarter at the corner.
    Pixels expected = background;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            expected[y * kW + x] = sourcePixels[(y + 10) * 20 + x + 10];
    MarkAllDirty();
    const RECT whole = {0, 0, 20, 20};
    for (int form = 3; form <= 6; ++form) {
        SCOPED_TRACE(form);
        ASSERT_TRUE(WritePixels(*target, background));
        switch (form) {
        case 3: canvas.DrawImage(source.get(), -10, -10, 10, 10, 0, 0, 20, 20, nullptr); break;
        case 4: canvas.DrawImage(source.get(), {-10, -10, 10, 10}, whole, nullptr); break;
        case 5: canvas.DrawImage(source.get(), -10, -10, whole, nullptr); break;
        case 6: canvas.DrawImage(source.get(), -10, -10, nullptr); break;
        }
        EXPECT_TRUE(TargetIs(expected));
    }
}

TEST_F(CanvasTest, BadRectanglesAndTransformsDrawNothing)
{
    MarkAllDirty();
    const RECT whole = {0, 0, 20, 20};
    const DrawStyle blend = Style(DrawStyle::AlphaBlend);
    // Edges past the 32-bit range.
    canvas.DrawImage(source.get(), 0, 0, 10, 10, INT_MAX - 2, 0, 10, 10, &blend);
    canvas.DrawImage(source.get(), INT_MAX - 5, 0, whole, &blend);
    canvas.DrawImage(source.get(), 0, INT_MAX - 5, nullptr);
    canvas.DrawImage(source.get(), {INT_MIN, 0, INT_MAX, 10}, whole, &blend);
    canvas.DrawImage(source.get(), {0, 0, 10, 10}, {INT_MIN, 0, INT_MAX, 10}, &blend);
    // Source rectangles outside the image, for blits and kernels alike.
    for (DWORD flags : {0x0u, 0x1u, 0x2u, 0x4u, 0x40u}) {
        const DrawStyle style = Style(flags, 128);
        canvas.BlitImage(source.get(), {0, 0, 21, 20}, {0, 0, 21, 20}, &style);
        canvas.BlitImage(source.get(), {0, 0, 40, 40}, {-1, 0, 19, 20}, &style);
    }
    EXPECT_FALSE(canvas.DrawImageKeyed(source.get(), {0, 0, 21, 20}, {0, 0, 21, 20}, 0));
    // Scales and pivots that are not finite or leave the 32-bit range.
    for (float scale : {std::numeric_limits<float>::infinity(), std::nanf(""), 1e30f}) {
        const DrawStyle style = Style(DrawStyle::AlphaBlend | DrawStyle::Transform, 255, scale);
        canvas.BlitImage(source.get(), {5, 5, 25, 25}, whole, &style);
    }
    DrawStyle pivot = Style(DrawStyle::AlphaBlend | DrawStyle::Transform, 255, 2.0f);
    pivot.nPivotX = INT_MAX;
    pivot.nPivotY = INT_MIN;
    canvas.BlitImage(source.get(), {5, 5, 25, 25}, whole, &pivot);
    // Flags that choose no method, also through the default style.
    for (DWORD flags : {0x20u, 0x10u, 0x800u}) {
        const DrawStyle style = Style(flags);
        canvas.BlitImage(source.get(), whole, whole, &style);
    }
    const DrawStyle transformOnly = Style(DrawStyle::Transform);
    canvas.SetDefaultStyle(&transformOnly);
    canvas.BlitImage(source.get(), whole, whole, nullptr);
    EXPECT_TRUE(TargetIs(background));
}

// Each flag set draws through the kernel its precedence selects, with the
// alpha it selects, on the geometry of clipping and the transform.
TEST_F(CanvasTest, KernelDrawsMatchTheReference)
{
    HDC hdc = GetDC(nullptr);
    const bool depth16 = GetDeviceCaps(hdc, BITSPIXEL) == 16;
    ReleaseDC(nullptr, hdc);
    const DWORD CA = DrawStyle::ConstantAlpha, T = DrawStyle::Transform, AB = DrawStyle::AlphaBlend,
                AC = DrawStyle::AlphaComposite, OV = DrawStyle::Overlay, PM = DrawStyle::Premultiplied;
    struct Case {
        DWORD flags;
        float scale;
        RECT dst, src;
        Op op;         // expected kernel
        uint8_t alpha; // and alpha
        Kernels::Rect drawnDst, drawnSrc;
    } const cases[] = {
        {AC, 1, {3, 4, 23, 24}, {0, 0, 20, 20}, Op::AlphaComposite, 255, {3, 4, 23, 24}, {0, 0, 20, 20}},
        {AB, 1, {-5, -3, 15, 17}, {0, 0, 20, 20}, Op::AlphaBlend, 255, {0, 0, 15, 17}, {5, 3, 20, 20}},
        {AB | CA, 1, {50, 40, 70, 60}, {0, 0, 20, 20}, Op::AlphaBlend, 77, {50, 40, 64, 48}, {0, 0, 14, 8}},
        {PM | AB | OV, 1, {0, 0, 20, 20}, {0, 0, 20, 20}, Op::AlphaBlend, 255, {0, 0, 20, 20}, {0, 0, 20, 20}},
        {PM | CA, 1, {1, 1, 11, 31}, {0, 0, 20, 20}, Op::Premultiplied, 200, {1, 1, 11, 31}, {0, 0, 20, 20}},
        {0x300, 1, {0, 0, 33, 7}, {2, 3, 13, 17}, Op::Overlay, 255, {0, 0, 33, 7}, {2, 3, 13, 17}},
        {0x600 | CA, 1, {9, 9, 29, 29}, {0, 0, 20, 20}, Op::ColorDodge, 130, {9, 9, 29, 29}, {0, 0, 20, 20}},
        // Scaled 2x and clipped: trunc(20 * 10 / 40) = 5 columns and
        // trunc(20 * 22 / 40) = 11 rows of the source are cut off.
        {0x400, 1, {-10, 30, 30, 70}, {0, 0, 20, 20}, Op::Exclusion, 255, {0, 30, 30, 48}, {5, 0, 20, 9}},
        {0x40 | AC, 1, {0, 0, 20, 20}, {0, 0, 20, 20}, Op::Tint, 90, {0, 0, 20, 20}, {0, 0, 20, 20}},
        {CA, 1, {50, 40, 55, 45}, {0, 0, 20, 20}, Op::ConstantAlpha, 100, {50, 40, 64, 48}, {0, 0, 14, 8}},
        // Halved about the centre.
        {T | AB, 0.5f, {10, 10, 30, 30}, {0, 0, 20, 20}, Op::AlphaBlend, 255, {15, 15, 25, 25}, {0, 0, 20, 20}},
        // Four times about the centre reaches (-20, -20, 60, 60), and is
        // clipped again: the source loses trunc(20 * 20 / 80) = 5 at the left
        // and top, trunc(20 * 12 / 80) = 3 at the bottom.
        {T | OV, 4, {10, 10, 30, 30}, {0, 0, 20, 20}, Op::Overlay, 255, {0, 0, 60, 48}, {5, 5, 20, 17}},
        // An image blended into itself.
        {AC, 1, {5, 5, 45, 35}, {0, 0, 40, 30}, Op::AlphaComposite, 255, {5, 5, 45, 35}, {0, 0, 40, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "flags " << std::hex << c.flags);
        const bool self = &c == &cases[std::size(cases) - 1];
        ASSERT_TRUE(WritePixels(*target, background));
        const DrawStyle style = Style(c.flags, (c.flags & CA) || c.op == Op::Tint ? c.alpha : 33, c.scale);
        EXPECT_FALSE(canvas.BlitImage(self ? target.get() : source.get(), c.dst, c.src, &style));

        Pixels expected = background;
        Kernels::BlendParams params;
        params.alpha = c.alpha;
        params.tint = style.crTint;
        params.depth16 = depth16;
        const Kernels::Surface out = View(expected, kW, kH);
        ASSERT_TRUE(Kernels::BlendReference(c.op, out, c.drawnDst, self ? out : View(sourcePixels, 20, 20), c.drawnSrc,
                                            params));
        EXPECT_TRUE(TargetIs(expected));
    }
}

// Keys and pixels here mean the same whether the key compares the whole
// pixel with [low, high] or only the colour bits with low.
TEST_F(CanvasTest, KeyedBlitsLeaveOutKeyedPixels)
{
    const uint32_t key = 0x00FF00FF;
    Pixels keyed = sourcePixels, black = sourcePixels;
    for (size_t i = 0; i < keyed.size(); ++i) {
        keyed[i] = i % 3 == 0 ? key : ((keyed[i] & 0xFFFFFF) == 0xFF00FF ? keyed[i] ^ 0x10000 : keyed[i]);
        black[i] = i % 4 == 1 ? 0 : ((black[i] & 0xFFFFFF) == 0 ? black[i] | 0x100 : black[i]);
    }
    DrawStyle style = Style(DrawStyle::ColorKey | DrawStyle::AlphaBlend);
    style.dwKeyLow = style.dwKeyHigh = key;
    ASSERT_TRUE(WritePixels(*source, keyed));
    canvas.BlitImage(source.get(), {-4, 10, 16, 30}, {0, 0, 20, 20}, &style);
    // DrawImageKeyed keys black, clipped at the right edge, dirty list ignored.
    auto blackSource = MakeImage(dd.Get(), 20, 20, black);
    EXPECT_TRUE(canvas.DrawImageKeyed(blackSource.get(), {kW - 10, 2, kW + 10, 22}, {0, 0, 20, 20}, 12345));

    Pixels expected = background;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            if (x >= 4 && keyed[y * 20 + x] != key)
                expected[(y + 10) * kW + x - 4] = keyed[y * 20 + x];
            if (x < 10 && black[y * 20 + x] != 0)
                expected[(y + 2) * kW + kW - 10 + x] = black[y * 20 + x];
        }
    EXPECT_TRUE(TargetIs(expected));

    // Stretched: one colour fills the whole destination, black leaves it.
    auto colour = MakeImage(dd.Get(), 4, 4, 0x40A0B0C0u);
    auto allBlack = MakeImage(dd.Get(), 4, 4, 0u);
    EXPECT_TRUE(canvas.DrawImageKeyed(colour.get(), {0, 0, 32, 24}, {0, 0, 4, 4}, 0));
    EXPECT_TRUE(canvas.DrawImageKeyed(allBlack.get(), {0, 0, 32, 24}, {0, 0, 4, 4}, 0));
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x)
            expected[y * kW + x] = 0x40A0B0C0u;
    EXPECT_TRUE(TargetIs(expected));
    EXPECT_FALSE(canvas.DrawImageKeyed(colour.get(), {kW, 0, kW + 4, 4}, {0, 0, 4, 4}, 0));
}

TEST_F(CanvasTest, FillRectStoresTheColourWithAlphaZero)
{
    EXPECT_TRUE(canvas.FillRect(nullptr, 0x000000FF)); // red
    const RECT past = {kW - 4, -3, kW + 10, 2};        // filled where inside
    EXPECT_TRUE(canvas.FillRect(&past, 0xFF123456));
    const RECT outside = {kW, 0, kW + 5, 5}, inverted = {10, 10, 5, 20};
    EXPECT_FALSE(canvas.FillRect(&outside, 0));
    EXPECT_FALSE(canvas.FillRect(&inverted, 0));
    Pixels expected(kW * kH, 0x00FF0000);
    for (int y = 0; y < 2; ++y)
        for (int x = kW - 4; x < kW; ++x)
            expected[y * kW + x] = 0x00563412;
    EXPECT_TRUE(TargetIs(expected));
}

TEST_F(CanvasTest, DrawRectLeavesOutEdgesOutsideTheTarget)
{
    auto big = MakeImage(dd.Get(), 100, 100, 0x7F000000u);
    ASSERT_TRUE(canvas.SetTarget(big.get()));
    const RECT leftOut = {-5, 2, 10, 8}, rightOut = {90, 95, 100, 120};
    EXPECT_TRUE(canvas.DrawRect(&leftOut, 0x00FF0000));
    EXPECT_TRUE(canvas.DrawRect(&rightOut, 0x00FF0000));
    for (RECT outside : {RECT{100, 0, 120, 10}, RECT{0, 100, 10, 120}, RECT{-20, 0, -1, 10}, RECT{0, -20, 10, -1}})
        EXPECT_FALSE(canvas.DrawRect(&outside, 0x00FF0000));
    // Lines with both end points, in blue with the alpha byte kept.
    Pixels expected(100 * 100, 0x7F000000u);
    for (RECT l :
         {RECT{0, 2, 10, 2}, RECT{10, 2, 10, 8}, RECT{0, 8, 10, 8}, RECT{90, 95, 99, 95}, RECT{90, 95, 90, 99}})
        for (int y = l.top; y <= l.bottom; ++y)
            for (int x = l.left; x <= l.right; ++x)
                expected[y * 100 + x] = 0x7F0000FF;
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*big), 100));
}

TEST_F(CanvasTest, RotateImageNeedsNoTarget)
{
    canvas.ResetTarget();
    auto square = MakeImage(dd.Get(), 20, 20, 0xDEADBEEFu);
    EXPECT_TRUE(canvas.RotateImage(source.get(), square.get(), 90, 10.0, 10.0));
    EXPECT_TRUE(SamePixels(sourcePixels, ReadPixels(*square), 20));

    auto wide = MakeImage(dd.Get(), 30, 20, 0xDEADBEEFu);
    EXPECT_TRUE(canvas.RotateImage(source.get(), wide.get(), 127, 6.5, 9.25));
    Pixels expected(30 * 20, 0xDEADBEEFu);
    ASSERT_TRUE(Kernels::Rotate(View(expected, 30, 20), View(sourcePixels, 20, 20), 127, 6.5, 9.25));
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*wide), 30));

    EXPECT_FALSE(canvas.RotateImage(source.get(), wide.get(), 0, std::nan(""), 1.0));
    EXPECT_FALSE(canvas.RotateImage(source.get(), wide.get(), 0, 1.0, 1e300));
    EXPECT_FALSE(canvas.RotateImage(wide.get(), wide.get(), 90, 1.0, 1.0));
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*wide), 30));
}

// A client may make canvases before it starts GDI+: the text state keeps the
// failure and the canvas still draws.
TEST(CanvasWithoutGdiplus, DrawsAndIsDestroyed)
{
    DirectDraw dd;
    auto target = MakeImage(dd.Get(), 8, 8, 0u);
    auto canvas = std::make_unique<CDDCanvas>();
    ASSERT_TRUE(canvas->SetTarget(target.get()));
    EXPECT_TRUE(canvas->FillRect(nullptr, 0x00FF00));
    EXPECT_TRUE(SamePixels(Pixels(64, 0x0000FF00), ReadPixels(*target), 8));
    GdiplusSession gdiplus;
    canvas.reset();
}

} // namespace
