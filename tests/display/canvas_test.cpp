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
using TestUtil::MakeImage;
using TestUtil::Pixels;
using TestUtil::ReadPixels;
using TestUtil::SamePixels;
using TestUtil::WritePixels;

constexpr int kW = 64;
constexpr int kH = 48;

Pixels RandomPixels(uint64_t seed, int width, int height)
{
    kt::Rng rng(seed);
    Pixels p(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (auto& v : p)
        v = rng.Pixel();
    return p;
}

Kernels::Surface View(Pixels& p, int width, int height)
{
    return {reinterpret_cast<uint8_t*>(p.data()), width * 4, width, height};
}

int ScreenDepth()
{
    HDC hdc = GetDC(nullptr);
    const int bits = GetDeviceCaps(hdc, BITSPIXEL);
    ReleaseDC(nullptr, hdc);
    return bits;
}

DrawStyle Style(DWORD flags, BYTE alpha = 255)
{
    DrawStyle s = {};
    s.dwFlags = flags;
    s.byAlpha = alpha;
    s.fScaleX = s.fScaleY = 1.0f;
    return s;
}

// A client's own image: the canvas must refuse it.
class ForeignImage : public IImage {
public:
    int IsEmpty() override { return 0; }
    int GetWidth() override { return 4; }
    int GetHeight() override { return 4; }
    bool Create(int, int) override { return true; }
    bool LoadFromFile(const wchar_t*) override { return false; }
    bool LoadFromStream(IStream*) override { return false; }
    bool LoadFromImage(Gdiplus::Image*) override { return false; }
    bool Lock(ImageLockInfo*) override { return false; }
    void Unlock() override {}
    bool RenderFromImage(Gdiplus::Image*) override { return false; }
    bool LoadFromImageBits(Gdiplus::Image*) override { return false; }
    bool LoadFromImageDC(Gdiplus::Image*) override { return false; }
};

class CanvasTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_pGdiplus = new TestUtil::GdiplusSession; }
    static void TearDownTestSuite()
    {
        delete s_pGdiplus;
        s_pGdiplus = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_pGdiplus->Started());
        ASSERT_NE(dd.Get(), nullptr);
        target = MakeImage(dd.Get(), kW, kH, RandomPixels(1, kW, kH));
        ASSERT_TRUE(canvas.SetTarget(target.get()));
    }

    void MarkAllDirty()
    {
        const RECT all = {0, 0, kW, kH};
        ASSERT_TRUE(canvas.AddDirtyRect(&all, 0));
    }

    static TestUtil::GdiplusSession* s_pGdiplus;
    TestUtil::DirectDraw dd;
    std::unique_ptr<CDDImage> target;
    CDDCanvas canvas;
};

TestUtil::GdiplusSession* CanvasTest::s_pGdiplus = nullptr;

TEST_F(CanvasTest, TargetIsANonEmptyEngineImage)
{
    EXPECT_FALSE(canvas.IsEmpty());
    EXPECT_EQ(canvas.GetStringFormatStatus(), Gdiplus::Ok);

    CDDImage empty;
    empty.SetDirectDraw(dd.Get());
    ForeignImage foreign;
    EXPECT_FALSE(canvas.SetTarget(nullptr));
    EXPECT_FALSE(canvas.SetTarget(&empty));
    EXPECT_FALSE(canvas.SetTarget(&foreign));
    // The target is kept.
    EXPECT_TRUE(canvas.FillRect(nullptr, 0));
    EXPECT_TRUE(SamePixels(Pixels(kW * kH, 0), ReadPixels(*target), kW));

    // Nothing draws without a target; rotation needs none.
    auto source = MakeImage(dd.Get(), 8, 8, 0xFF112233);
    auto rotated = MakeImage(dd.Get(), 8, 8, 0u);
    canvas.ResetTarget();
    EXPECT_TRUE(canvas.IsEmpty());
    const RECT rc = {0, 0, 8, 8};
    MarkAllDirty();
    EXPECT_FALSE(canvas.FillRect(&rc, 0xFF));
    EXPECT_FALSE(canvas.DrawRect(&rc, 0xFF));
    EXPECT_FALSE(canvas.DrawImageKeyed(source.get(), rc, rc, 0));
    canvas.BlitImage(source.get(), rc, rc, nullptr);
    canvas.DrawImage(source.get(), 0, 0, nullptr);
    EXPECT_TRUE(SamePixels(Pixels(kW * kH, 0), ReadPixels(*target), kW));
    EXPECT_TRUE(canvas.RotateImage(source.get(), rotated.get(), 90, 4.0, 4.0));
    EXPECT_TRUE(SamePixels(Pixels(64, 0xFF112233), ReadPixels(*rotated), 8));

    // Images that are empty or not ours are refused as sources too.
    ASSERT_TRUE(canvas.SetTarget(target.get()));
    const Pixels before = ReadPixels(*target);
    EXPECT_FALSE(canvas.DrawImageKeyed(&foreign, rc, rc, 0));
    EXPECT_FALSE(canvas.DrawImageKeyed(&empty, rc, rc, 0));
    canvas.BlitImage(&foreign, rc, rc, nullptr);
    canvas.DrawImage(&empty, 0, 0, nullptr);
    EXPECT_FALSE(canvas.RotateImage(&foreign, rotated.get(), 90, 0.0, 0.0));
    EXPECT_FALSE(canvas.RotateImage(source.get(), &empty, 90, 0.0, 0.0));
    EXPECT_TRUE(SamePixels(before, ReadPixels(*target), kW));
}

TEST_F(CanvasTest, DrawImageDrawsOnlyInsideTheDirtyRegion)
{
    auto source = MakeImage(dd.Get(), 10, 10, RandomPixels(2, 10, 10));
    const Pixels before = ReadPixels(*target);
    const RECT dst = {0, 0, 20, 20};
    const RECT src = {0, 0, 10, 10};
    const DrawStyle blend = Style(DrawStyle::AlphaBlend);

    // Nothing is dirty: nothing is drawn.
    EXPECT_FALSE(canvas.DrawImage(source.get(), dst, src, &blend));
    EXPECT_TRUE(SamePixels(before, ReadPixels(*target), kW));

    // Dirty right half of the destination: the source loses trunc(10 * 0.5)
    // columns on the left, and the kernel draws columns 5..9 twice enlarged.
    const RECT dirty = {10, -5, 30, 20};
    ASSERT_TRUE(canvas.AddDirtyRect(&dirty, 0));
    EXPECT_FALSE(canvas.DrawImage(source.get(), dst, src, &blend)); // never reports success
    Pixels expected = before;
    Pixels sourcePixels = ReadPixels(*source);
    ASSERT_TRUE(Kernels::BlendReference(Kernels::BlendOp::AlphaBlend, View(expected, kW, kH), {10, 0, 20, 20},
                                        View(sourcePixels, 10, 10), {5, 0, 10, 10}, {}));
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*target), kW));

    // Cleared: nothing is dirty again, and BlitImage ignores the list.
    EXPECT_TRUE(canvas.ClearDirtyRects());
    EXPECT_TRUE(canvas.IsRectDirty(&dirty));
    EXPECT_FALSE(canvas.AddDirtyRect(nullptr, 0));
    ASSERT_TRUE(WritePixels(*target, before));
    EXPECT_FALSE(canvas.DrawImage(source.get(), 0, 0, nullptr));
    EXPECT_TRUE(SamePixels(before, ReadPixels(*target), kW));
    EXPECT_FALSE(canvas.BlitImage(source.get(), src, src, nullptr));
    const Pixels after = ReadPixels(*target);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(after[y * kW + x], sourcePixels[y * 10 + x]) << x << "," << y;
}

TEST_F(CanvasTest, TheFourDrawImageFormsCutTheSameSource)
{
    // A 20 x 20 image at (-10, -10) shows its lower-right quarter at the
    // target's corner; each form names that draw in its own way.
    auto source = MakeImage(dd.Get(), 20, 20, RandomPixels(3, 20, 20));
    const Pixels sourcePixels = ReadPixels(*source);
    const Pixels background = ReadPixels(*target);
    Pixels expected = background;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            expected[y * kW + x] = sourcePixels[(y + 10) * 20 + x + 10];

    MarkAllDirty();
    const RECT whole = {0, 0, 20, 20};
    const RECT at = {-10, -10, 10, 10};
    for (int form = 3; form <= 6; ++form) {
        SCOPED_TRACE(form);
        ASSERT_TRUE(WritePixels(*target, background));
        switch (form) {
        case 3: canvas.DrawImage(source.get(), -10, -10, 10, 10, 0, 0, 20, 20, nullptr); break;
        case 4: canvas.DrawImage(source.get(), at, whole, nullptr); break;
        case 5: canvas.DrawImage(source.get(), -10, -10, whole, nullptr); break;
        case 6: canvas.DrawImage(source.get(), -10, -10, nullptr); break;
        }
        EXPECT_TRUE(SamePixels(expected, ReadPixels(*target), kW));
    }
}

TEST_F(CanvasTest, RectanglesAndTransformsPastTheLimitsDrawNothing)
{
    auto source = MakeImage(dd.Get(), 20, 20, 0xFF808080);
    const Pixels before = ReadPixels(*target);
    MarkAllDirty();
    const RECT whole = {0, 0, 20, 20};
    const DrawStyle blend = Style(DrawStyle::AlphaBlend);

    EXPECT_FALSE(canvas.DrawImage(source.get(), 0, 0, 10, 10, INT_MAX - 2, 0, 10, 10, &blend));
    EXPECT_FALSE(canvas.DrawImage(source.get(), 0, 0, 10, 10, INT_MIN, INT_MIN, -1, 10, &blend));
    EXPECT_FALSE(canvas.DrawImage(source.get(), INT_MAX - 5, 0, whole, &blend));
    EXPECT_FALSE(canvas.DrawImage(source.get(), 0, INT_MAX - 5, nullptr));
    EXPECT_FALSE(canvas.DrawImage(source.get(), {INT_MIN, 0, INT_MAX, 10}, whole, &blend));
    EXPECT_FALSE(canvas.DrawImage(source.get(), {0, 0, 10, 10}, {INT_MIN, 0, INT_MAX, 10}, &blend));
    canvas.BlitImage(source.get(), {INT_MIN, INT_MIN, 10, 10}, whole, &blend);

    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float scale : {inf, -inf, nan, 1e30f}) {
        DrawStyle transform = Style(DrawStyle::AlphaBlend | DrawStyle::Transform);
        transform.fScaleX = scale;
        canvas.BlitImage(source.get(), {5, 5, 25, 25}, whole, &transform);
        transform.fScaleX = 1.0f;
        transform.fScaleY = scale;
        canvas.BlitImage(source.get(), {5, 5, 25, 25}, whole, &transform);
    }
    DrawStyle pivot = Style(DrawStyle::Transform | DrawStyle::AlphaBlend);
    pivot.fScaleX = pivot.fScaleY = 2.0f;
    pivot.nPivotX = INT_MAX;
    pivot.nPivotY = INT_MIN;
    canvas.BlitImage(source.get(), {5, 5, 25, 25}, whole, &pivot);
    EXPECT_TRUE(SamePixels(before, ReadPixels(*target), kW));
}

TEST_F(CanvasTest, SourceRectanglesOutsideTheImageDrawNothing)
{
    auto source = MakeImage(dd.Get(), 20, 20, 0xFF808080);
    const Pixels before = ReadPixels(*target);
    const RECT tooWide = {0, 0, 21, 20};
    const RECT negative = {-1, 0, 19, 20};
    for (DWORD flags : std::initializer_list<DWORD>{0, DrawStyle::ColorKey, DrawStyle::AlphaBlend, DrawStyle::Tint,
                                                    DrawStyle::ConstantAlpha}) {
        SCOPED_TRACE(flags);
        DrawStyle style = Style(flags, 128);
        style.dwKeyLow = style.dwKeyHigh = 0x00FF00FF;
        canvas.BlitImage(source.get(), {0, 0, 21, 20}, tooWide, &style);
        canvas.BlitImage(source.get(), {0, 0, 20, 20}, negative, &style);
        canvas.BlitImage(source.get(), {0, 0, 42, 40}, tooWide, &style);
    }
    EXPECT_FALSE(canvas.DrawImageKeyed(source.get(), {0, 0, 21, 20}, tooWide, 0));
    EXPECT_TRUE(SamePixels(before, ReadPixels(*target), kW));
}

// Each flag set draws through the kernel that its precedence selects, with
// the alpha it selects, on the geometry of clipping and the transform.
TEST_F(CanvasTest, KernelDrawsMatchTheReference)
{
    using Op = Kernels::BlendOp;
    const bool depth16 = ScreenDepth() == 16;
    struct Case {
        DWORD flags;
        Op op;
        uint8_t alpha; // passed to the kernel
        RECT dst;      // as asked
        RECT src;
        Kernels::Rect drawnDst; // after clipping and the transform
        Kernels::Rect drawnSrc;
    };
    const DWORD CA = DrawStyle::ConstantAlpha, T = DrawStyle::Transform;
    const Case cases[] = {
        {DrawStyle::AlphaComposite,
         Op::AlphaComposite,
         255,
         {3, 4, 23, 24},
         {0, 0, 20, 20},
         {3, 4, 23, 24},
         {0, 0, 20, 20}},
        {DrawStyle::AlphaBlend, Op::AlphaBlend, 255, {-5, -3, 15, 17}, {0, 0, 20, 20}, {0, 0, 15, 17}, {5, 3, 20, 20}},
        {DrawStyle::AlphaBlend | CA,
         Op::AlphaBlend,
         77,
         {50, 40, 70, 60},
         {0, 0, 20, 20},
         {50, 40, 64, 48},
         {0, 0, 14, 8}},
        {DrawStyle::Premultiplied | DrawStyle::AlphaBlend | DrawStyle::Overlay,
         Op::AlphaBlend,
         255,
         {0, 0, 20, 20},
         {0, 0, 20, 20},
         {0, 0, 20, 20},
         {0, 0, 20, 20}},
        {DrawStyle::Premultiplied | CA,
         Op::Premultiplied,
         200,
         {1, 1, 11, 31},
         {0, 0, 20, 20},
         {1, 1, 11, 31},
         {0, 0, 20, 20}},
        {DrawStyle::Overlay | DrawStyle::ColorDodge,
         Op::Overlay,
         255,
         {0, 0, 33, 7},
         {2, 3, 13, 17},
         {0, 0, 33, 7},
         {2, 3, 13, 17}},
        {DrawStyle::ColorDodge | DrawStyle::Exclusion | CA,
         Op::ColorDodge,
         130,
         {9, 9, 29, 29},
         {0, 0, 20, 20},
         {9, 9, 29, 29},
         {0, 0, 20, 20}},
        {DrawStyle::Exclusion, Op::Exclusion, 255, {-10, 30, 30, 70}, {0, 0, 20, 20}, {0, 30, 30, 48}, {5, 0, 20, 9}},
        {DrawStyle::Tint | DrawStyle::AlphaComposite,
         Op::Tint,
         90,
         {0, 0, 20, 20},
         {0, 0, 20, 20},
         {0, 0, 20, 20},
         {0, 0, 20, 20}},
        {CA, Op::ConstantAlpha, 100, {50, 40, 55, 45}, {0, 0, 20, 20}, {50, 40, 64, 48}, {0, 0, 14, 8}},
        // Halved about the centre: (10, 10, 30, 30) becomes (15, 15, 25, 25).
        {T | DrawStyle::AlphaBlend,
         Op::AlphaBlend,
         255,
         {10, 10, 30, 30},
         {0, 0, 20, 20},
         {15, 15, 25, 25},
         {0, 0, 20, 20}},
        // Four times about the centre reaches (-20, -20, 60, 60): clipped
        // again to the target, the source loses trunc(20 * 20 / 80) = 5 at
        // the left and top, trunc(20 * 12 / 80) = 3 at the bottom.
        {T | DrawStyle::Overlay, Op::Overlay, 255, {10, 10, 30, 30}, {0, 0, 20, 20}, {0, 0, 60, 48}, {5, 5, 20, 17}},
    };
    const Pixels background = ReadPixels(*target);
    auto source = MakeImage(dd.Get(), 20, 20, RandomPixels(4, 20, 20));
    Pixels sourcePixels = ReadPixels(*source);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "flags " << std::hex << c.flags);
        ASSERT_TRUE(WritePixels(*target, background));
        DrawStyle style = Style(c.flags, c.flags & CA ? c.alpha : 33);
        if (c.op == Op::Tint)
            style.byAlpha = c.alpha;
        style.crTint = 0x00336699;
        if (c.flags & T)
            style.fScaleX = style.fScaleY = (c.drawnDst.right == 25) ? 0.5f : 4.0f;
        EXPECT_FALSE(canvas.BlitImage(source.get(), c.dst, c.src, &style));

        Pixels expected = background;
        Kernels::BlendParams params;
        params.alpha = c.alpha;
        params.tint = 0x00336699;
        params.depth16 = depth16;
        ASSERT_TRUE(Kernels::BlendReference(c.op, View(expected, kW, kH), c.drawnDst, View(sourcePixels, 20, 20),
                                            c.drawnSrc, params));
        EXPECT_TRUE(SamePixels(expected, ReadPixels(*target), kW));
    }
}

TEST_F(CanvasTest, FlagsThatChooseNoMethodDrawNothing)
{
    auto source = MakeImage(dd.Get(), 20, 20, 0xFF808080);
    const Pixels before = ReadPixels(*target);
    for (DWORD flags : {0x020u, 0x010u, 0x030u, 0x800u, 0x80000000u}) {
        const DrawStyle style = Style(flags);
        canvas.BlitImage(source.get(), {0, 0, 20, 20}, {0, 0, 20, 20}, &style);
    }
    // The default style starts with flags 0 (a plain copy) and can be set.
    const DrawStyle transformOnly = Style(DrawStyle::Transform);
    canvas.SetDefaultStyle(&transformOnly);
    canvas.BlitImage(source.get(), {0, 0, 20, 20}, {0, 0, 20, 20}, nullptr);
    EXPECT_TRUE(SamePixels(before, ReadPixels(*target), kW));
    canvas.GetDefaultStyle()->dwFlags = 0;
    canvas.BlitImage(source.get(), {0, 0, 20, 20}, {0, 0, 20, 20}, nullptr);
    EXPECT_EQ(ReadPixels(*target)[19 * kW + 19], 0xFF808080u);
}

TEST_F(CanvasTest, AnImageBlendsIntoItself)
{
    Pixels expected = ReadPixels(*target);
    const DrawStyle style = Style(DrawStyle::AlphaComposite);
    canvas.BlitImage(target.get(), {5, 5, 45, 35}, {0, 0, 40, 30}, &style);
    const Kernels::Surface view = View(expected, kW, kH);
    ASSERT_TRUE(
        Kernels::BlendReference(Kernels::BlendOp::AlphaComposite, view, {5, 5, 45, 35}, view, {0, 0, 40, 30}, {}));
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*target), kW));
}

// Keys and pixels below mean the same whether the key compares the whole
// pixel against [low, high] or only the colour bits against low.
TEST_F(CanvasTest, ColorKeyLeavesOutKeyedPixels)
{
    const uint32_t key = 0x00FF00FF;
    Pixels sourcePixels = RandomPixels(5, 16, 16);
    for (size_t i = 0; i < sourcePixels.size(); ++i) {
        if (i % 3 == 0)
            sourcePixels[i] = key;
        else if ((sourcePixels[i] & 0x00FFFFFF) == key)
            sourcePixels[i] ^= 0x00010000;
    }
    auto source = MakeImage(dd.Get(), 16, 16, sourcePixels);
    const Pixels before = ReadPixels(*target);
    DrawStyle style = Style(DrawStyle::ColorKey | DrawStyle::AlphaBlend);
    style.dwKeyLow = style.dwKeyHigh = key;
    canvas.BlitImage(source.get(), {-4, 10, 12, 26}, {0, 0, 16, 16}, &style);

    Pixels expected = before;
    for (int y = 0; y < 16; ++y)
        for (int x = 4; x < 16; ++x)
            if (sourcePixels[y * 16 + x] != key)
                expected[(y + 10) * kW + x - 4] = sourcePixels[y * 16 + x];
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*target), kW));
}

TEST_F(CanvasTest, DrawImageKeyedLeavesOutBlack)
{
    Pixels sourcePixels = RandomPixels(6, 16, 16);
    for (size_t i = 0; i < sourcePixels.size(); ++i) {
        if (i % 4 == 1)
            sourcePixels[i] = 0;
        else if ((sourcePixels[i] & 0x00FFFFFF) == 0)
            sourcePixels[i] |= 0x00000100;
    }
    auto source = MakeImage(dd.Get(), 16, 16, sourcePixels);
    const Pixels before = ReadPixels(*target);
    // Clipped at the right edge; the dirty list is not consulted.
    EXPECT_TRUE(canvas.DrawImageKeyed(source.get(), {kW - 10, 2, kW + 6, 18}, {0, 0, 16, 16}, 12345));
    Pixels expected = before;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 10; ++x)
            if (sourcePixels[y * 16 + x] != 0)
                expected[(y + 2) * kW + kW - 10 + x] = sourcePixels[y * 16 + x];
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*target), kW));

    // Stretched: an all-black source leaves everything, one colour fills all.
    auto black = MakeImage(dd.Get(), 4, 4, 0u);
    auto colour = MakeImage(dd.Get(), 4, 4, 0x40A0B0C0u);
    ASSERT_TRUE(WritePixels(*target, before));
    EXPECT_TRUE(canvas.DrawImageKeyed(black.get(), {0, 0, 32, 24}, {0, 0, 4, 4}, 0));
    EXPECT_TRUE(SamePixels(before, ReadPixels(*target), kW));
    EXPECT_TRUE(canvas.DrawImageKeyed(colour.get(), {0, 0, 32, 24}, {0, 0, 4, 4}, 0));
    const Pixels after = ReadPixels(*target);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(after[y * kW + x], (x < 32 && y < 24) ? 0x40A0B0C0u : before[y * kW + x]) << x << "," << y;

    EXPECT_FALSE(canvas.DrawImageKeyed(source.get(), {kW, 0, kW + 16, 16}, {0, 0, 16, 16}, 0));
}

TEST_F(CanvasTest, FillRectStoresTheColourWithAlphaZero)
{
    // COLORREF red 0x000000FF is the pixel 0x00FF0000.
    EXPECT_TRUE(canvas.FillRect(nullptr, 0x000000FF));
    EXPECT_TRUE(SamePixels(Pixels(kW * kH, 0x00FF0000), ReadPixels(*target), kW));

    // Only the part inside the target is filled.
    const RECT past = {kW - 4, -3, kW + 10, 2};
    EXPECT_TRUE(canvas.FillRect(&past, 0xFF123456));
    const Pixels after = ReadPixels(*target);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(after[y * kW + x], (x >= kW - 4 && y < 2) ? 0x00563412u : 0x00FF0000u) << x << "," << y;

    const RECT outside = {kW, 0, kW + 5, 5};
    const RECT inverted = {10, 10, 5, 20};
    EXPECT_FALSE(canvas.FillRect(&outside, 0));
    EXPECT_FALSE(canvas.FillRect(&inverted, 0));
    EXPECT_TRUE(SamePixels(after, ReadPixels(*target), kW));
}

TEST_F(CanvasTest, DrawRectLeavesOutEdgesOutsideTheTarget)
{
    auto big = MakeImage(dd.Get(), 100, 100, 0x7F000000u);
    ASSERT_TRUE(canvas.SetTarget(big.get()));
    const COLORREF blue = 0x00FF0000; // pixel 0x0000FF, alpha kept
    auto expectOutline = [&](std::initializer_list<RECT> lines) {
        Pixels expected(100 * 100, 0x7F000000u);
        for (const RECT& l : lines)
            for (int y = l.top; y <= l.bottom; ++y)
                for (int x = l.left; x <= l.right; ++x)
                    expected[y * 100 + x] = 0x7F0000FF;
        return expected;
    };

    const RECT left = {-5, 2, 10, 8};
    EXPECT_TRUE(canvas.DrawRect(&left, blue));
    EXPECT_TRUE(SamePixels(expectOutline({{0, 2, 10, 2}, {10, 2, 10, 8}, {0, 8, 10, 8}}), ReadPixels(*big), 100));

    ASSERT_TRUE(canvas.FillRect(nullptr, 0));
    ASSERT_TRUE(WritePixels(*big, Pixels(100 * 100, 0x7F000000u)));
    const RECT right = {90, 95, 100, 120};
    EXPECT_TRUE(canvas.DrawRect(&right, blue));
    EXPECT_TRUE(SamePixels(expectOutline({{90, 95, 99, 95}, {90, 95, 90, 99}}), ReadPixels(*big), 100));

    ASSERT_TRUE(WritePixels(*big, Pixels(100 * 100, 0x7F000000u)));
    for (RECT outside : {RECT{100, 0, 120, 10}, RECT{0, 100, 10, 120}, RECT{-20, 0, -1, 10}, RECT{0, -20, 10, -1}})
        EXPECT_FALSE(canvas.DrawRect(&outside, blue));
    EXPECT_FALSE(canvas.DrawRect(nullptr, blue));
    EXPECT_TRUE(SamePixels(Pixels(100 * 100, 0x7F000000u), ReadPixels(*big), 100));
}

TEST_F(CanvasTest, RotateImage)
{
    Pixels squarePixels = RandomPixels(7, 16, 16);
    auto square = MakeImage(dd.Get(), 16, 16, squarePixels);
    auto out = MakeImage(dd.Get(), 16, 16, 0xDEADBEEFu);
    EXPECT_TRUE(canvas.RotateImage(square.get(), out.get(), 90, 8.0, 8.0));
    EXPECT_TRUE(SamePixels(squarePixels, ReadPixels(*out), 16));

    // Another angle into a larger image, against the reference kernel.
    auto wide = MakeImage(dd.Get(), 30, 20, 0xDEADBEEFu);
    EXPECT_TRUE(canvas.RotateImage(square.get(), wide.get(), 127, 6.5, 9.25));
    Pixels expected(30 * 20, 0xDEADBEEFu);
    ASSERT_TRUE(Kernels::Rotate(View(expected, 30, 20), View(squarePixels, 16, 16), 127, 6.5, 9.25));
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*wide), 30));

    // Refusals leave the destination as it was.
    const Pixels before = ReadPixels(*wide);
    EXPECT_FALSE(canvas.RotateImage(square.get(), wide.get(), 0, std::nan(""), 1.0));
    EXPECT_FALSE(canvas.RotateImage(square.get(), wide.get(), 0, 1.0, 1e300));
    EXPECT_FALSE(canvas.RotateImage(wide.get(), wide.get(), 90, 1.0, 1.0));
    EXPECT_TRUE(SamePixels(before, ReadPixels(*wide), 30));
}

// A client may make canvases before it starts GDI+; the text state then
// carries the failure and the canvas still draws.
TEST(CanvasWithoutGdiplus, DrawsAndIsDestroyed)
{
    TestUtil::DirectDraw dd;
    ASSERT_NE(dd.Get(), nullptr);
    auto target = MakeImage(dd.Get(), 8, 8, 0u);
    auto canvas = std::make_unique<CDDCanvas>();
    ASSERT_TRUE(canvas->SetTarget(target.get()));
    EXPECT_TRUE(canvas->FillRect(nullptr, 0x00FF00));
    EXPECT_TRUE(SamePixels(Pixels(64, 0x0000FF00), ReadPixels(*target), 8));
    TestUtil::GdiplusSession gdiplus;
    canvas.reset();
}

} // namespace
