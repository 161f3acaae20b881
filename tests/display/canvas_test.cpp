// The canvas on real DirectDraw surfaces: refusals, dirty-clipped drawing, the
// choice of kernel, fills, outlines, rotation, GDI and GDI+ text.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "DDCanvas.h"
#include "DrawTestUtil.h"

namespace {

using namespace Veld::Game;
using namespace TestUtil;
using Op = Kernels::BlendOp;

constexpr int kW = 64;
constexpr int kH = 48;

Pixels Noise(uint32_t seed, int count)
{
    Pixels p(static_cast<size_t>(count));
    std::generate(p.begin(), p.end(), [&] { return seed = seed * 1664525u + 1013904223u; });
    return p;
}

Kernels::Surface View(Pixels& p, int width)
{
    return {reinterpret_cast<uint8_t*>(p.data()), width * 4, width, static_cast<int32_t>(p.size()) / width};
}

DrawStyle Style(DWORD flags, BYTE alpha = 255, float scale = 1.0f)
{
    return {flags, 0, 0, 0, scale, scale, 0, 0, alpha, 0x00336699};
}

// Pixels of another colour than back: count and inclusive bounds.
struct Ink {
    int count = 0, left = INT_MAX, top = INT_MAX, right = -1;
};

Ink FindInk(const Pixels& px, int width, uint32_t back)
{
    Ink ink;
    for (size_t i = 0; i < px.size(); ++i) {
        const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        if ((px[i] & 0xFFFFFF) == back)
            continue;
        ++ink.count;
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
    }
    return ink;
}

class CanvasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gdiplus.Started());
        target = MakeImage(dd, kW, kH, background);
        source = MakeImage(dd, 20, 20, sourcePixels);
        ASSERT_TRUE(canvas.SetTarget(target.get()));
        const RECT all = {0, 0, kW, kH};
        ASSERT_TRUE(canvas.AddDirtyRect(&all, 0));
    }
    // GDI+ and DirectDraw once per suite; GDI+ runs before any canvas is made
    // (a canvas makes its string format at construction).
    struct Shared {
        GdiplusSession gdiplus;
        std::unique_ptr<IDirectDraw7, ComRelease> dd = MakeDirectDraw();
    };
    static void SetUpTestSuite() { s_shared = new Shared; }
    static void TearDownTestSuite() { delete s_shared; }
    static inline Shared* s_shared = nullptr;
    GdiplusSession& gdiplus = s_shared->gdiplus;
    IDirectDraw7* dd = s_shared->dd.get();
    Pixels background = Noise(1, kW*kH), sourcePixels = Noise(2, 400);
    std::unique_ptr<CDDImage> target, source;
    CDDCanvas canvas;
};

TEST_F(CanvasTest, RefusalsDrawNothingAndRotationNeedsNoTarget)
{
    CDDImage empty;
    empty.SetDirectDraw(dd);
    const RECT rc = {0, 0, 8, 8}, whole = {0, 0, 20, 20}, wider = {0, 0, 21, 20};
    EXPECT_FALSE(canvas.SetTarget(nullptr) || canvas.SetTarget(&empty));
    EXPECT_FALSE(canvas.DrawImageKeyed(&empty, rc, rc, 0) || canvas.DrawImageKeyed(source.get(), wider, wider, 0));
    canvas.BlitImage(&empty, rc, rc, nullptr);
    // Edges past the 32-bit range.
    const DrawStyle blend = Style(DrawStyle::AlphaBlend);
    canvas.DrawImage(source.get(), 0, 0, 10, 10, INT_MAX - 2, 0, 10, 10, &blend);
    canvas.DrawImage(source.get(), INT_MAX - 5, 0, whole, &blend);
    // Source rectangles outside the image, for blits and kernels alike.
    for (DWORD flags : {0x0u, 0x1u, 0x2u, 0x4u}) {
        const DrawStyle style = Style(flags, 128);
        canvas.BlitImage(source.get(), wider, wider, &style);
        canvas.BlitImage(source.get(), {0, 0, 40, 40}, {-1, 0, 19, 20}, &style);
    }
    // Flags that choose no method, through the default style.
    const DrawStyle transformOnly = Style(DrawStyle::Transform);
    canvas.SetDefaultStyle(&transformOnly);
    canvas.BlitImage(source.get(), whole, whole, nullptr);
    ASSERT_TRUE(canvas.ClearDirtyRects()); // nothing dirty: nothing drawn
    canvas.DrawImage(source.get(), 0, 0, &blend);
    canvas.ResetTarget();
    EXPECT_FALSE(canvas.FillRect(nullptr, 0) || canvas.DrawRect(&rc, 0) || canvas.AddDirtyRect(nullptr, 0) ||
                 canvas.DrawImageKeyed(source.get(), rc, rc, 0));
    canvas.DrawImage(source.get(), 0, 0, nullptr);
    EXPECT_TRUE(SamePixels(background, ReadPixels(*target), kW));
    // Rotation needs no target; it refuses a far centre and an image rotated into itself.
    auto wide = MakeImage(dd, 30, 20, 0xDEADBEEFu);
    EXPECT_TRUE(canvas.RotateImage(source.get(), wide.get(), 127, 6.5, 9.25));
    Pixels expected(30 * 20, 0xDEADBEEFu);
    ASSERT_TRUE(Kernels::Rotate(View(expected, 30), View(sourcePixels, 20), 127, 6.5, 9.25));
    EXPECT_FALSE(canvas.RotateImage(source.get(), wide.get(), 0, std::nan(""), 1.0) ||
                 canvas.RotateImage(wide.get(), wide.get(), 90, 1.0, 1.0));
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*wide), 30));
}

// Each flag set draws through the kernel its precedence selects, with the
// alpha it selects, on the geometry of the dirty clip, the target clip and
// the transform.
TEST_F(CanvasTest, KernelDrawsMatchTheReference)
{
    HDC hdc = GetDC(nullptr);
    const bool depth16 = GetDeviceCaps(hdc, BITSPIXEL) == 16;
    ReleaseDC(nullptr, hdc);
    const DWORD CA = DrawStyle::ConstantAlpha, T = DrawStyle::Transform, AB = DrawStyle::AlphaBlend,
                AC = DrawStyle::AlphaComposite, OV = DrawStyle::Overlay, PM = DrawStyle::Premultiplied;
    constexpr RECT S = {0, 0, 20, 20}; // the whole source
    struct Case {
        DWORD flags;
        RECT dst, src;
        Op op;
        uint8_t alpha;
        Kernels::Rect drawnDst, drawnSrc;
        RECT dirty = {0, 0, kW, kH};
    } const cases[] = {
        {AC | AB, {3, 4, 23, 24}, S, Op::AlphaComposite, 255, {3, 4, 23, 24}, {0, 0, 20, 20}},
        // Dirty right half of a twice enlarged draw: the source loses trunc(20 * 0.5) = 10 columns.
        {PM | AB | OV | CA, {0, 0, 40, 40}, S, Op::AlphaBlend, 77, {20, 0, 40, 40}, {10, 0, 20, 20}, {20, -5, 50, 40}},
        {PM | CA, {1, 1, 11, 31}, S, Op::Premultiplied, 200, {1, 1, 11, 31}, {0, 0, 20, 20}},
        {0x300, {0, 0, 33, 7}, {2, 3, 13, 17}, Op::Overlay, 255, {0, 0, 33, 7}, {2, 3, 13, 17}},
        {0x600 | CA, {9, 9, 29, 29}, S, Op::ColorDodge, 130, {9, 9, 29, 29}, {0, 0, 20, 20}},
        // Scaled 2x and clipped: trunc(20 * 10 / 40) = 5 columns and
        // trunc(20 * 22 / 40) = 11 rows of the source are cut off.
        {0x400, {-10, 30, 30, 70}, S, Op::Exclusion, 255, {0, 30, 30, 48}, {5, 0, 20, 9}},
        {0x40 | AC, {0, 0, 20, 20}, S, Op::Tint, 90, {0, 0, 20, 20}, {0, 0, 20, 20}},
        // ConstantAlpha draws the source 1:1 from the destination's corner, here clipped at the right and bottom.
        {CA, {50, 40, 55, 45}, S, Op::ConstantAlpha, 100, {50, 40, 64, 48}, {0, 0, 14, 8}},
        // Four times (the scale of every case, used only with Transform)
        // about the centre reaches (-20, -20, 60, 60), clipped again: the
        // source loses 20 * 20 / 80 = 5 left and top, 20 * 12 / 80 = 3 at the bottom.
        {T | OV, {10, 10, 30, 30}, S, Op::Overlay, 255, {0, 0, 60, 48}, {5, 5, 20, 17}},
        // The last case draws the target into itself.
        {AC, {5, 5, 45, 35}, {0, 0, 40, 30}, Op::AlphaComposite, 255, {5, 5, 45, 35}, {0, 0, 40, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "flags " << std::hex << c.flags);
        const bool self = &c == &cases[std::size(cases) - 1];
        ASSERT_TRUE(WritePixels(*target, background) && canvas.ClearDirtyRects() && canvas.AddDirtyRect(&c.dirty, 0));
        const DrawStyle style = Style(c.flags, (c.flags & CA) || c.op == Op::Tint ? c.alpha : 33, 4.0f);
        EXPECT_FALSE(canvas.DrawImage(self ? target.get() : source.get(), c.dst, c.src, &style)); // never true
        Pixels expected = background;
        const Kernels::Surface out = View(expected, kW);
        ASSERT_TRUE(Kernels::BlendReference(c.op, out, c.drawnDst, self ? out : View(sourcePixels, 20), c.drawnSrc,
                                            {c.alpha, style.crTint, depth16}));
        EXPECT_TRUE(SamePixels(expected, ReadPixels(*target), kW));
    }
}

TEST_F(CanvasTest, OutlinesKeepAlphaAndFillsStoreAlphaZeroInsideTheTarget)
{
    ASSERT_TRUE(WritePixels(*target, Pixels(kW * kH, 0x7F000000u)));
    const RECT leftOut = {-5, 2, 10, 8}, rightOut = {54, 43, 64, 60};
    EXPECT_TRUE(canvas.DrawRect(&leftOut, 0x00FF0000) && canvas.DrawRect(&rightOut, 0x00FF0000));
    for (RECT out : {RECT{kW, 0, kW + 9, 10}, RECT{0, kH, 10, kH + 9}, RECT{-20, 0, -1, 10}, RECT{0, -20, 10, -1}})
        EXPECT_FALSE(canvas.DrawRect(&out, 0x00FF0000));
    // Edges inside the target with both end points, blue, alpha kept.
    Pixels expected(kW * kH, 0x7F000000u);
    for (RECT l :
         {RECT{0, 2, 10, 2}, RECT{10, 2, 10, 8}, RECT{0, 8, 10, 8}, RECT{54, 43, 63, 43}, RECT{54, 43, 54, 47}})
        for (int y = l.top; y <= l.bottom; ++y)
            std::fill_n(&expected[y * kW + l.left], l.right - l.left + 1, 0x7F0000FFu);
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*target), kW));

    EXPECT_TRUE(canvas.FillRect(nullptr, 0x000000FF)); // red
    const RECT past = {kW - 4, -3, kW + 10, 2}, outside = {kW, 0, kW + 5, 5}, inverted = {10, 10, 5, 20};
    EXPECT_TRUE(canvas.FillRect(&past, 0xFF123456));
    EXPECT_FALSE(canvas.FillRect(&outside, 0) || canvas.FillRect(&inverted, 0));
    std::fill(expected.begin(), expected.end(), 0x00FF0000u);
    for (int y = 0; y < 2; ++y)
        std::fill_n(&expected[y * kW + kW - 4], 4, 0x00563412u);
    EXPECT_TRUE(SamePixels(expected, ReadPixels(*target), kW));
}

// Text ----------------------------------------------------------------------

constexpr uint32_t kBack = 0x00204060;

class CanvasTextTest : public CanvasTest {
protected:
    void SetUp() override
    {
        CanvasTest::SetUp();
        ASSERT_TRUE(font && WritePixels(*target, Pixels(kW * kH, kBack)));
    }
    void TearDown() override { DeleteObject(font); }
    TextStyle Text(DWORD flags) const { return {flags, RGB(255, 255, 255), RGB(0, 0, 0), 0, font}; }
    // Ink on the target; an empty read (the target still locked or its DC
    // still taken) fails the test.
    Ink Drawn()
    {
        const Pixels px = ReadPixels(*target);
        EXPECT_EQ(px.size(), static_cast<size_t>(kW * kH));
        return FindInk(px, kW, kBack);
    }
    // A TrueType face whose cell is 16 pixels high.
    HFONT font =
        CreateFontW(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0, L"Arial");
};

TEST_F(CanvasTextTest, DrawTextMeasuresDrawsCentredAndPutsTheContextBack)
{
    CDDCanvas empty;
    RECT rc = {0, 0, kW, 40};
    EXPECT_FALSE(empty.DrawText(L"x", &rc, nullptr) || empty.DrawString(L"x", &rc, nullptr));
    EXPECT_FALSE(canvas.DrawText(nullptr, &rc, nullptr) || canvas.DrawString(nullptr, &rc, nullptr) ||
                 canvas.DrawString(L"x", nullptr, nullptr));
    RECT measured = {5, 7, 6, 8};
    const TextStyle measure = Text(TextStyle::Measure | TextStyle::UseFont | TextStyle::UseColors);
    ASSERT_TRUE(canvas.DrawText(L"Measure me", &measured, &measure));
    EXPECT_TRUE(measured.left == 5 && measured.top == 7 && measured.bottom == 7 + 16 && measured.right > 45);
    EXPECT_EQ(0, Drawn().count); // the read also shows the context was released
    // White text without a box, centred at the top.
    const TextStyle white = Text(TextStyle::UseColors | TextStyle::UseFont);
    ASSERT_TRUE(canvas.DrawText(L"HH", &rc, &white));
    const Ink ink = Drawn();
    EXPECT_TRUE(ink.count > 0 && ink.top < 16 && std::abs((ink.left + ink.right + 1) - kW) <= 4);
    EXPECT_EQ(FindInk(ReadPixels(*target), kW, 0xFFFFFF).count, kW * kH - ink.count) << "ink is white only";
}

} // namespace
