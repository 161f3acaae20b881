// Hand-computed kernel results (arithmetic in the comments), clipping, the
// destination transform, method choice, lines and rotation.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "kernel_test_support.h"

namespace {

using namespace kt;

struct PixelCase {
    uint32_t s, d;
    uint8_t alpha = 255;
    bool depth16 = false;
    uint32_t tint = 0;
};

// Result of drawing one source pixel over one destination pixel, through the
// reference and every table; all must agree. scaled draws the 1x1 source
// 2x1, taking the scaled path.
uint32_t Draw(BlendOp op, const PixelCase& c, bool scaled = false)
{
    IsaScope keep;
    uint32_t result = 0;
    for (int pass = -1; pass < static_cast<int>(SupportedIsas().size()); ++pass) {
        GuardedSurface src(1, 1), dst(2, 1);
        src.At(0, 0) = c.s;
        dst.At(0, 0) = dst.At(1, 0) = c.d;
        const Rect dr{0, 0, scaled ? 2 : 1, 1};
        const Rect sr{0, 0, 1, 1};
        const BlendParams p{c.alpha, c.tint, c.depth16};
        bool ok;
        if (pass < 0) {
            ok = BlendReference(op, dst.View(), dr, src.View(), sr, p);
        } else {
            ForceIsa(SupportedIsas()[pass]);
            ok = Blend(op, dst.View(), dr, src.View(), sr, p);
        }
        EXPECT_TRUE(ok);
        EXPECT_EQ(dst.GuardDamage(), "");
        if (scaled) {
            EXPECT_EQ(dst.At(0, 0), dst.At(1, 0));
        }
        if (pass < 0)
            result = dst.At(0, 0);
        else
            EXPECT_EQ(dst.At(0, 0), result) << OpName(op) << " table " << IsaName(SupportedIsas()[pass]);
    }
    return result;
}

TEST(AlphaComposite, WeightsAndAlpha)
{
    // a = 255*255/255 = 255; t = 127*255/255 = 127; A = 128+127 = 255; w = 255*255/255 = 255.
    // red (0x10*255 + 0xC0*1) >> 8 = 4272 >> 8 = 0x10; green (0x20*255 + 192) >> 8 = 8352 >> 8 = 0x20;
    // blue (0x30*255 >> 8) + (192 >> 8) = 47 + 0 = 0x2F.
    EXPECT_EQ(Draw(BlendOp::AlphaComposite, {0xFF102030, 0x80C0C0C0}), 0xFF10202Fu);
    // Transparent destination: a = 64; t = 255*64/255 = 64; A = 64; w = 64*255/64 = 255.
    // red 255*255 >> 8 = 254; green 128*255 >> 8 = 127; blue 0.
    EXPECT_EQ(Draw(BlendOp::AlphaComposite, {0x40FF8000, 0x00000000}, true), 0x40FE7F00u);
    // Half alpha over opaque: a = 128; t = 0; A = 255; w = 128; red 255*128 >> 8 = 127; blue likewise.
    EXPECT_EQ(Draw(BlendOp::AlphaComposite, {0x80FF0000, 0xFF0000FF}), 0xFF7F007Fu);
    // a = 1*254/255 = 0: skipped.
    EXPECT_EQ(Draw(BlendOp::AlphaComposite, {0x01FFFFFF, 0x12345678, 254}), 0x12345678u);
}

TEST(AlphaBlend, OpaqueWeightIs254At1to1And255Scaled)
{
    // 1:1: w = 255*255 >> 8 = 254; each channel (255*254 + 0*2) >> 8 = 64770 >> 8 = 253, alpha 0.
    EXPECT_EQ(Draw(BlendOp::AlphaBlend, {0xFFFFFFFF, 0x12000000}), 0x00FDFDFDu);
    // scaled: w = 255*255/255 = 255; each channel 255*255 >> 8 = 254.
    EXPECT_EQ(Draw(BlendOp::AlphaBlend, {0xFFFFFFFF, 0x12000000}, true), 0x00FEFEFEu);
}

TEST(AlphaBlend, AlphaOneSkipsOnlyAt1to1)
{
    // 1:1: w = 1*255 >> 8 = 0, skipped.
    EXPECT_EQ(Draw(BlendOp::AlphaBlend, {0x01FFFFFF, 0xAB102030}), 0xAB102030u);
    // scaled: w = 255/255 = 1. red (255 + 0x10*255) >> 8 = 4335 >> 8 = 0x10;
    // green (255 + 0x20*255) >> 8 = 8415 >> 8 = 0x20; blue (255 >> 8) + (0x30*255 >> 8) = 0 + 47 = 0x2F.
    EXPECT_EQ(Draw(BlendOp::AlphaBlend, {0x01FFFFFF, 0xAB102030}, true), 0x0010202Fu);
}

TEST(Premultiplied, SourceFactorDependsOnScreenDepth)
{
    // w = 128*255 >> 8 = 127, v = 128; D channels 128 so D*v = 16384.
    // 32-bit screen, factor 255: red (16384 + 64*255) >> 8 = 32704 >> 8 = 127;
    // green (16384 + 32*255) >> 8 = 24544 >> 8 = 95; blue 64 + (16*255 >> 8) = 64 + 15 = 79.
    EXPECT_EQ(Draw(BlendOp::Premultiplied, {0x80402010, 0xFF808080}), 0x007F5F4Fu);
    // 16-bit screen, factor w = 127: red (16384 + 8128) >> 8 = 95; green (16384 + 4064) >> 8 = 79;
    // blue 64 + (2032 >> 8) = 71.
    EXPECT_EQ(Draw(BlendOp::Premultiplied, {0x80402010, 0xFF808080, 255, true}), 0x005F4F47u);
}

TEST(Premultiplied, UnpremultipliedSourceWraps)
{
    // w = 127, v = 128: red (255*128 + 255*255) >> 8 = 97665 >> 8 = 381, low byte 125 (0x7D);
    // blue (32640 >> 8) + (65025 >> 8) = 127 + 254 = 381 -> 0x7D.
    EXPECT_EQ(Draw(BlendOp::Premultiplied, {0x80FFFFFF, 0x00FFFFFF}), 0x007D7D7Du);
    EXPECT_EQ(Draw(BlendOp::Premultiplied, {0x80FFFFFF, 0x00FFFFFF}, true), 0x007D7D7Du);
}

TEST(BlendModes, ProductOf255IsSkipped)
{
    // S.a * alpha = 255 * 1 = 255 <= 255: unchanged; 2 * 128 = 256 is drawn.
    for (BlendOp op : {BlendOp::Overlay, BlendOp::ColorDodge, BlendOp::Exclusion}) {
        EXPECT_EQ(Draw(op, {0xFF808080, 0x11223344, 1}), 0x11223344u) << OpName(op);
        EXPECT_EQ(Draw(op, {0x01808080, 0x11223344, 255}), 0x11223344u) << OpName(op);
        EXPECT_NE(Draw(op, {0x02808080, 0x11223344, 128}), 0x11223344u) << OpName(op);
    }
}

TEST(BlendModes, Overlay)
{
    // red: s = 0x80*255 >> 8 = 127, d = 64 < 128: 2*64*127 >> 8 = 16256 >> 8 = 63 (0x3F).
    // green: s = 255*255 >> 8 = 254, d = 127 < 128: 2*127*254 >> 8 = 64516 >> 8 = 252 (0xFC).
    // blue: s = 0, d = 128: 255 - (2*127*255 >> 8) = 255 - 253 = 2.
    EXPECT_EQ(Draw(BlendOp::Overlay, {0xFF80FF00, 0x77407F80}), 0x003FFC02u);
}

TEST(BlendModes, ColorDodge)
{
    // red: s = 254, d = 64: 64*255/1 = 16320 -> 255.
    // green: s = 127, d = 64: 64*255/128 = 127.
    // blue: s = 0, d = 32: 32*255/255 = 32.
    EXPECT_EQ(Draw(BlendOp::ColorDodge, {0xFFFF8000, 0x00404020}), 0x00FF7F20u);
    EXPECT_EQ(Draw(BlendOp::ColorDodge, {0xFFFF8000, 0x00404020}, true), 0x00FF7F20u);
}

TEST(BlendModes, Exclusion)
{
    // red: s = 127, d = 255: 255 - 0*128/255 - 255*127/255 = 128.
    // green: s = 254, d = 64: 255 - 191*1/255 - 64*254/255 = 255 - 0 - 63 = 192.
    // blue: s = 0, d = 128: 255 - 127*255/255 - 0 = 128.
    EXPECT_EQ(Draw(BlendOp::Exclusion, {0xFF80FF00, 0x00FF4080}), 0x0080C080u);
}

TEST(ConstantAlpha, ZeroKeepsDestinationAndFullStopsOneShort)
{
    EXPECT_EQ(Draw(BlendOp::ConstantAlpha, {0xFFFFFFFF, 0x7F102030, 0}), 0x7F102030u);
    // red 0 + (255*255 >> 8) = 254; green 255 + floor(-255*255 / 256) = 255 - 255 = 0;
    // blue 16 + 0 = 16; alpha byte kept.
    EXPECT_EQ(Draw(BlendOp::ConstantAlpha, {0x00FF0010, 0x7F00FF10}), 0x7FFE0010u);
    // green: 0x80 + floor((0x40 - 0x80)*128 / 256) = 128 - 32 = 96.
    EXPECT_EQ(Draw(BlendOp::ConstantAlpha, {0x00004000, 0x00008000, 128}), 0x00006000u);
}

TEST(Tint, AlphaZeroPaintsTheTintThroughSourceAlpha)
{
    // alpha 0: t = 0, k = 1. Opaque source: sa = 1, channel = tint. Alpha byte kept.
    EXPECT_EQ(Draw(BlendOp::Tint, {0xFF000000, 0x5A123456, 0, false, 0x000000FF}), 0x5AFF0000u);
    // sa = 51/255 = 0.2f, 1 - sa = 0.8000000119f: red trunc(255*0.2000000030 + 100*0.8000000119) = 131.
    EXPECT_EQ(Draw(BlendOp::Tint, {0x33000000, 0x00640000, 0, false, 0x000000FF}), 0x00830000u);
}

TEST(ScaledPath, TwoByTwoIntoFourByFourRepeatsEachPixel)
{
    // Opaque over transparent: A = 255, w = 255, channel 255 -> 255*255 >> 8 = 254.
    const uint32_t in[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    const uint32_t out[4] = {0xFFFE0000, 0xFF00FE00, 0xFF0000FE, 0xFFFEFEFE};
    IsaScope keep;
    for (Isa isa : SupportedIsas()) {
        ForceIsa(isa);
        GuardedSurface src(2, 2), dst(4, 4);
        for (int i = 0; i < 4; ++i)
            src.At(i % 2, i / 2) = in[i];
        ASSERT_TRUE(Blend(BlendOp::AlphaComposite, dst.View(), {0, 0, 4, 4}, src.View(), {0, 0, 2, 2}, {}));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(dst.At(x, y), out[(y / 2) * 2 + x / 2]) << x << "," << y;
        EXPECT_EQ(dst.GuardDamage(), "");
    }
}

TEST(ScaledPath, NeverSamplesPastTheSourceRectangle)
{
    // 64 columns drawn 100 wide: the float ratio 0.64f is just below 64/100 and
    // the carried column fraction would reach column 64 from the second row on.
    const uint32_t marker = 0xFF00FF00, inside = 0xFF0000FF;
    IsaScope keep;
    for (int pass = -1; pass < static_cast<int>(SupportedIsas().size()); ++pass) {
        GuardedSurface src(80, 40), dst(100, 40);
        src.FillAll(marker);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 64; ++x)
                src.At(x, y) = inside;
        const Rect sr{0, 0, 64, 40}, dr{0, 0, 100, 40};
        if (pass < 0) {
            ASSERT_TRUE(BlendReference(BlendOp::AlphaComposite, dst.View(), dr, src.View(), sr, {}));
        } else {
            ForceIsa(SupportedIsas()[pass]);
            ASSERT_TRUE(Blend(BlendOp::AlphaComposite, dst.View(), dr, src.View(), sr, {}));
        }
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 100; ++x)
                ASSERT_EQ(dst.At(x, y), 0xFF0000FEu) << x << "," << y;
    }
}

TEST(Blend, RefusesRectanglesOutsideTheSurfaces)
{
    GuardedSurface src(4, 4), dst(4, 4);
    src.FillAll(0xFFFFFFFF);
    const Rect ok{0, 0, 4, 4};
    for (const Rect& bad :
         {Rect{-1, 0, 3, 4}, Rect{0, 0, 5, 4}, Rect{0, 1, 4, 5}, Rect{2, 0, 2, 4}, Rect{3, 0, 1, 4}}) {
        for (BlendOp op : {BlendOp::AlphaBlend, BlendOp::Tint}) {
            EXPECT_FALSE(Blend(op, dst.View(), bad, src.View(), ok, {})) << OpName(op);
            EXPECT_FALSE(Blend(op, dst.View(), ok, src.View(), bad, {})) << OpName(op);
            EXPECT_FALSE(BlendReference(op, dst.View(), ok, src.View(), bad, {})) << OpName(op);
        }
    }
    Surface shortPitch = src.View();
    shortPitch.pitch = 12;
    EXPECT_FALSE(Blend(BlendOp::AlphaBlend, dst.View(), ok, shortPitch, ok, {}));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(dst.At(x, y), 0u);
}

TEST(ConstantAlpha, SourceLargerThanTheRoomLeftStaysInsideTheTarget)
{
    // The kernel walks the source's 6x6 from (8, 8) of a 10x10 target: only
    // the 2x2 corner may change.
    IsaScope keep;
    for (int pass = -1; pass < static_cast<int>(SupportedIsas().size()); ++pass) {
        GuardedSurface src(6, 6), dst(10, 10);
        src.FillAll(0xFFFFFFFF);
        const Rect dr{8, 8, 10, 10}, sr{0, 0, 6, 6};
        const BlendParams p{128, 0, false};
        if (pass < 0) {
            ASSERT_TRUE(BlendReference(BlendOp::ConstantAlpha, dst.View(), dr, src.View(), sr, p));
        } else {
            ForceIsa(SupportedIsas()[pass]);
            ASSERT_TRUE(Blend(BlendOp::ConstantAlpha, dst.View(), dr, src.View(), sr, p));
        }
        EXPECT_EQ(dst.GuardDamage(), "");
        // 0 + (255*128 >> 8) = 127 on each colour byte.
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                EXPECT_EQ(dst.At(x, y), x >= 8 && y >= 8 ? 0x007F7F7Fu : 0u);
    }
}

// Clipping ----------------------------------------------------------------

void ExpectRect(const Rect& r, int32_t l, int32_t t, int32_t rt, int32_t b)
{
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rt);
    EXPECT_EQ(r.bottom, b);
}

TEST(ClipToTarget, UnscaledEdgesMoveTheSourceByTheSameAmount)
{
    Rect d{-5, -2, 15, 10}, s{0, 0, 20, 12};
    ASSERT_TRUE(ClipToTarget(100, 100, d, s));
    ExpectRect(d, 0, 0, 15, 10);
    ExpectRect(s, 5, 2, 20, 12);

    d = {5, 6, 15, 16};
    s = {0, 0, 10, 10};
    ASSERT_TRUE(ClipToTarget(10, 10, d, s));
    ExpectRect(d, 5, 6, 10, 10);
    ExpectRect(s, 0, 0, 5, 4);
}

TEST(ClipToTarget, ScaledEdgesMoveByTheScaledAmount)
{
    // dw = 40, sw = 20: left cut 10 -> f = 0.25, trunc(20*0.25) = 5.
    // dh = 30, sh = 10: bottom cut 10 (30 - 20) -> f = 1/3, trunc(10*0.333) = 3.
    Rect d{-10, 0, 30, 30}, s{0, 0, 20, 10};
    ASSERT_TRUE(ClipToTarget(100, 20, d, s));
    ExpectRect(d, 0, 0, 30, 20);
    ExpectRect(s, 5, 0, 20, 7);
}

TEST(ClipToTarget, Refusals)
{
    auto refused = [](int32_t w, int32_t h, Rect d, Rect s) {
        const bool ok = ClipToTarget(w, h, d, s);
        return !ok;
    };
    const Rect s{0, 0, 10, 10};
    EXPECT_TRUE(refused(0, 10, {0, 0, 10, 10}, s));
    EXPECT_TRUE(refused(10, 0, {0, 0, 10, 10}, s));
    EXPECT_TRUE(refused(10, 10, {10, 0, 20, 10}, s));            // left at W
    EXPECT_TRUE(refused(10, 10, {0, 10, 10, 20}, s));            // top at H
    EXPECT_TRUE(refused(10, 10, {-10, 0, 0, 10}, s));            // right < 1
    EXPECT_TRUE(refused(10, 10, {0, -10, 10, 0}, s));            // bottom < 1
    EXPECT_TRUE(refused(10, 10, {3, 0, 3, 10}, s));              // empty destination
    EXPECT_TRUE(refused(10, 10, {0, 0, 10, 10}, {4, 0, 2, 10})); // inverted source
    // Widths that do not fit 32 bits.
    EXPECT_TRUE(refused(10, 10, {INT_MIN, 0, 10, 10}, {0, 0, 10, 10}));
    EXPECT_TRUE(refused(10, 10, {-10, 0, INT_MAX, 10}, {0, 0, 10, 10}));
    EXPECT_TRUE(refused(10, 10, {0, 0, 10, 10}, {INT_MIN, 0, INT_MAX, 10}));
    // Scaled: cutting 9 of 10 destination columns leaves trunc(2 * 0.9) = 1 of 2.
    Rect d{0, 0, 10, 1}, s2{0, 0, 2, 1};
    ASSERT_TRUE(ClipToTarget(1, 1, d, s2));
    ExpectRect(d, 0, 0, 1, 1);
    ExpectRect(s2, 0, 0, 1, 1);
}

TEST(TransformDestination, ShrinksAboutTheCentre)
{
    // W = 100: sx = 0.5, dx = 0.5*0.5*100 = 25, left 25, right trunc(100 - (50 - 25)) = 75.
    // H = 50: sy = 0.5, dy = 12.5, top trunc(12.5) = 12, bottom trunc(50 - (25 - 12.5)) = 37.
    Rect d{0, 0, 100, 50};
    ASSERT_TRUE(TransformDestination(d, 0.5f, 0.5f, 0, 0));
    ExpectRect(d, 25, 12, 75, 37);
}

TEST(TransformDestination, GrowsAboutAnOffsetPivot)
{
    // Pivot at the left edge (px = -50): sx = 0, dx = 0, right = trunc(110 - (-100 - 0)) = 210.
    // Vertically about the centre: dy = 0.5*(-1)*50 = -25, top -15, bottom trunc(60 - (-50 + 25)) = 85.
    Rect d{10, 10, 110, 60};
    ASSERT_TRUE(TransformDestination(d, 2.0f, 2.0f, -50, 0));
    ExpectRect(d, 10, -15, 210, 85);
}

TEST(TransformDestination, RefusesNonFiniteAndHugeScales)
{
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {inf, -inf, std::numeric_limits<float>::quiet_NaN(), 1e30f}) {
        Rect d{0, 0, 100, 100};
        EXPECT_FALSE(TransformDestination(d, bad, 1.0f, 0, 0)) << bad;
        EXPECT_FALSE(TransformDestination(d, 1.0f, bad, 0, 0)) << bad;
        ExpectRect(d, 0, 0, 100, 100);
    }
    Rect d{0, 0, 1, 1};
    EXPECT_FALSE(TransformDestination(d, 3.0f, 1.0f, INT_MAX, 0)); // dx = -(2^31)*2
}

TEST(PrepareBlit, GrowthPastTheTargetIsClippedAgain)
{
    // Scale 2 about the centre: (-50, -50, 150, 150), dw = 200 against sw = 100;
    // each 50-pixel cut moves the source by trunc(100 * 0.25) = 25.
    Rect d{0, 0, 100, 100}, s{0, 0, 100, 100};
    const Transform t{2.0f, 2.0f, 0, 0};
    ASSERT_TRUE(PrepareBlit(100, 100, d, s, &t));
    ExpectRect(d, 0, 0, 100, 100);
    ExpectRect(s, 25, 25, 75, 75);

    // The unclipped rectangle is refused by the kernels and draws nothing.
    GuardedSurface src(100, 100), dst(100, 100);
    src.FillAll(0xFFFFFFFF);
    EXPECT_FALSE(Blend(BlendOp::AlphaBlend, dst.View(), {-50, -50, 150, 150}, src.View(), {0, 0, 100, 100}, {}));
    EXPECT_TRUE(Blend(BlendOp::AlphaBlend, dst.View(), d, src.View(), s, {}));
    EXPECT_EQ(dst.GuardDamage(), "");

    // Scale 0 leaves nothing to draw.
    Rect d0{0, 0, 100, 100}, s0{0, 0, 100, 100};
    const Transform zero{0.0f, 1.0f, 0, 0};
    EXPECT_FALSE(PrepareBlit(100, 100, d0, s0, &zero));
}

TEST(ChooseMethod, Precedence)
{
    struct Row {
        uint32_t flags;
        Method method;
        BlendOp op;
        uint8_t alpha;
    } rows[] = {
        {0, Method::Blt, BlendOp::AlphaBlend, 255},
        {kFlagColorKey | kFlagTint | kFlagAlphaBlend, Method::ColorKeyBlt, BlendOp::AlphaBlend, 255},
        {kFlagTint | kFlagAlphaComposite, Method::Kernel, BlendOp::Tint, 7},
        {kFlagAlphaComposite | kFlagAlphaBlend, Method::Kernel, BlendOp::AlphaComposite, 255},
        {kFlagAlphaBlend, Method::Kernel, BlendOp::AlphaBlend, 255},
        {kFlagAlphaBlend | kFlagConstantAlpha, Method::Kernel, BlendOp::AlphaBlend, 7},
        {kFlagPremultiplied | kFlagOverlay, Method::Kernel, BlendOp::Premultiplied, 255},
        {kFlagOverlay | kFlagExclusion | kFlagTransform, Method::Kernel, BlendOp::Overlay, 255},
        {kFlagColorDodge | kFlagExclusion, Method::Kernel, BlendOp::ColorDodge, 255},
        {kFlagExclusion | kFlagConstantAlpha, Method::Kernel, BlendOp::Exclusion, 7},
        {kFlagConstantAlpha | kFlagTransform, Method::Kernel, BlendOp::ConstantAlpha, 7},
        {kFlagTransform, Method::None, BlendOp::AlphaBlend, 255},
        {kFlagTransform | kFlagReserved, Method::None, BlendOp::AlphaBlend, 255},
    };
    for (const Row& r : rows) {
        const MethodChoice c = ChooseMethod(r.flags, 7);
        EXPECT_EQ(c.method, r.method) << "flags 0x" << std::hex << r.flags;
        if (r.method == Method::Kernel) {
            EXPECT_EQ(c.op, r.op) << "flags 0x" << std::hex << r.flags;
            EXPECT_EQ(c.alpha, r.alpha) << "flags 0x" << std::hex << r.flags;
        }
    }
}

// Lines -------------------------------------------------------------------

std::vector<std::pair<int, int>> Plotted(GuardedSurface& s)
{
    std::vector<std::pair<int, int>> out;
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x)
            if (s.At(x, y) != 0xEE000000u)
                out.emplace_back(x, y);
    return out;
}

TEST(DrawLine, EndPointsIncludedAndAlphaKept)
{
    using P = std::vector<std::pair<int, int>>;
    GuardedSurface s(8, 8);
    s.FillAll(0xEE000000);
    DrawLine(s.View(), 0, 0, 3, 3, 0x00332211);
    EXPECT_EQ(Plotted(s), (P{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(s.At(2, 2), 0xEE112233u); // COLORREF 0x00BBGGRR into 0xAARRGGBB

    s.FillAll(0xEE000000);
    DrawLine(s.View(), 5, 5, 5, 5, 0x00FFFFFF);
    EXPECT_EQ(Plotted(s), (P{{5, 5}}));

    // x-major from (4,1) to (0,0): e = 2*1 - 4 = -2. Plot (4,1); e = 0. Plot (3,1);
    // e >= 0: e = -8 and a row step; e = -6. Then (2,0), (1,0), (0,0).
    s.FillAll(0xEE000000);
    DrawLine(s.View(), 4, 1, 0, 0, 0x00FFFFFF);
    EXPECT_EQ(Plotted(s), (P{{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}}));
}

TEST(DrawLine, PointsOutsideTheTargetAreNotPlotted)
{
    GuardedSurface s(6, 6);
    s.FillAll(0xEE000000);
    DrawLine(s.View(), -3, 2, 9, 2, 0x00FFFFFF);
    DrawLine(s.View(), 1, -20, 1, 20, 0x00FFFFFF);
    DrawLine(s.View(), -100, -100, -1, 50, 0x00FFFFFF);
    EXPECT_EQ(s.GuardDamage(), "");
    EXPECT_EQ(Plotted(s).size(), 6u + 6u - 1u);
}

// Rotation ----------------------------------------------------------------

TEST(Rotate, NinetyDegreesIsACopyWithEachSurfacesPitch)
{
    // theta = 0: u = X * 65536, v = Y * 65536. Pitches differ from 4 * width.
    Rng rng(7);
    GuardedSurface src(13, 9, 3), dst(13, 9, 11);
    src.Fill(rng);
    dst.FillAll(0x12345678);
    ASSERT_TRUE(Rotate(dst.View(), src.View(), 90, 6.5, 4.5));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(dst.At(x, y), src.At(x, y)) << x << "," << y;
    EXPECT_EQ(dst.GuardDamage(), "");
}

// Every destination pixel whose position passes the source test, found by
// visiting them all; the span search must find the same set for a source
// rotated about its centre into an image of its size.
TEST(Rotate, SpanSearchFindsEveryCoveredPixel)
{
    for (int angle : {0, 17, 45, 90, 133, 180, 210, 271, 359, -30}) {
        for (auto [w, h] : {std::pair{16, 16}, {21, 12}, {9, 30}}) {
            Rng rng(static_cast<uint64_t>(angle * 100 + w));
            GuardedSurface src(w, h, 2), dst(w, h, 5);
            src.Fill(rng);
            const double x = w / 2.0, y = h / 2.0;
            ASSERT_TRUE(Rotate(dst.View(), src.View(), static_cast<int16_t>(angle), x, y));
            EXPECT_EQ(dst.GuardDamage(), "");
            const double th = (angle - 90) * 0.017453292222222222;
            const int32_t ux = static_cast<int32_t>(65536 * std::cos(th));
            const int32_t vx = static_cast<int32_t>(65536 * std::sin(th));
            const int32_t uy = static_cast<int32_t>(-65536 * std::sin(th));
            const int32_t vy = static_cast<int32_t>(65536 * std::cos(th));
            const int32_t u0 = static_cast<int32_t>(65536 * (x + y * std::sin(th) - x * std::cos(th)));
            const int32_t v0 = static_cast<int32_t>(65536 * (y - y * std::cos(th) - x * std::sin(th)));
            int mismatches = 0;
            for (int Y = 0; Y < h; ++Y)
                for (int X = 0; X < w; ++X) {
                    const int32_t u = u0 + X * ux + Y * uy, v = v0 + X * vx + Y * vy;
                    const bool in = u >= 0 && v >= 0 && (u >> 16) < w && (v >> 16) < h;
                    const uint32_t want = in ? src.At(u >> 16, v >> 16) : 0u;
                    if (dst.At(X, Y) != want)
                        ++mismatches;
                }
            EXPECT_EQ(mismatches, 0) << "angle " << angle << " size " << w << "x" << h;
        }
    }
}

TEST(Rotate, RefusesNonFiniteOrFarCentres)
{
    GuardedSurface src(4, 4), dst(4, 4);
    dst.FillAll(0x11111111);
    EXPECT_FALSE(Rotate(dst.View(), src.View(), 30, std::nan(""), 1.0));
    EXPECT_FALSE(Rotate(dst.View(), src.View(), 30, 1.0, std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(Rotate(dst.View(), src.View(), 30, 1e6, 1.0));
    EXPECT_EQ(dst.At(0, 0), 0x11111111u);
}

} // namespace
