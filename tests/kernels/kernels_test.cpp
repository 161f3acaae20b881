// The pixel kernels: every table against the scalar reference on seeded
// draws, hand-computed results, clipping, the transform and rotation.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

#include "kernel_test_support.h"
#include "RectTestUtil.h"

namespace {

using namespace kt;
using BlendFn = decltype(&Blend);

// Calls f(blend, name) with the reference and then with each table forced.
template <typename F> void ForEachKernel(F f)
{
    struct Restore {
        Isa saved = ActiveIsa();
        ~Restore() { ForceIsa(saved); }
    } restore;
    f(BlendReference, "reference");
    for (Isa isa : {Isa::Scalar, Isa::Sse2, Isa::Avx2}) {
        ASSERT_EQ(ForceIsa(isa), IsaSupported(isa));
        if (IsaSupported(isa))
            f(Blend, IsaName(isa));
    }
}

// Seeded draws: sizes 1-33 (every head/body/tail split), sometimes up to 90,
// now and then rows past 1000 (the scaled column walk); pitch padding,
// sub-rectangles, half of them scaled, a tenth drawn from the target into
// itself, alpha weighted to its edges, and now and then a rectangle that must
// be refused. Every table must give the reference's words, and no kernel
// (the reference included) may write outside the target.
TEST(KernelTables, SeededDrawsMatchTheReferenceAndStayInsideTheTarget)
{
    for (uint64_t n = 1; n <= 4000 && !HasFatalFailure(); ++n) {
        Rng rng(n);
        const auto op = static_cast<BlendOp>(rng.Below(8));
        const bool wide = rng.Below(25) == 0, self = rng.Below(10) == 0, scaled = rng.Below(2) == 0;
        auto size = [&] {
            return wide ? rng.Range(1, 1100) : rng.Below(5) == 0 ? rng.Range(34, 90) : rng.Range(1, 33);
        };
        auto pad = [&] { return rng.Below(4) == 0 ? rng.Range(1, 9) : 0; };
        const int32_t tw = size(), th = wide ? rng.Range(1, 4) : rng.Range(1, 20), tpad = pad();
        const int32_t sw = self ? tw : size(), sh = self ? th : rng.Range(1, 20), spad = self ? tpad : pad();
        const int32_t sl = rng.Below(sw), st = rng.Below(sh);
        Rect src{sl, st, rng.Range(sl + 1, sw), rng.Range(st + 1, sh)};
        const int32_t dw = std::min(scaled ? rng.Range(1, tw) : src.right - src.left, tw);
        const int32_t dh = std::min(scaled ? rng.Range(1, th) : src.bottom - src.top, th);
        const int32_t dl = rng.Range(0, tw - dw), dt = rng.Range(0, th - dh);
        const Rect dst{dl, dt, rng.Below(40) == 0 ? tw + 1 : dl + dw, dt + dh};
        src.left = rng.Below(40) == 0 ? -1 : src.left;
        const BlendParams params{rng.Byte(), static_cast<uint32_t>(rng.Next()) & 0x00FFFFFF, rng.Below(2) == 0};
        const uint64_t pixelSeed = rng.Next();
        std::vector<uint32_t> want;
        bool wantDrawn = false;
        ForEachKernel([&](BlendFn blend, const char* name) {
            Rng pixels(pixelSeed);
            GuardedSurface target(tw, th, tpad), other(sw, sh, spad);
            target.Fill(pixels);
            other.Fill(pixels);
            const bool drawn = blend(op, target.View(), dst, self ? target.View() : other.View(), src, params);
            if (blend == BlendReference) {
                want = target.words;
                wantDrawn = drawn;
            }
            const auto diff = std::mismatch(target.words.begin(), target.words.end(), want.begin()).first;
            ASSERT_TRUE(target.GuardIntact() && drawn == wantDrawn && diff == target.words.end())
                << name << " case " << n << " op " << int(op) << " dst " << dst << " src " << src
                << (self ? " self" : "") << ": drawn " << drawn << ", word " << (diff - target.words.begin());
        });
    }
}

// The SIMD rows' divisions on their whole domain: AlphaComposite's weight
// a*255/A on every (source alpha, target alpha) pair, white over black so
// that a weight one off shows in every channel; ColorDodge's d*255/(255-s)
// on every pair of channel values (s = S-1 at alpha 255).
TEST(KernelTables, DivisionsAreExactOnEveryPair)
{
    struct Row {
        BlendOp op;
        uint32_t srcBase, srcStep, dstStep;
    } const rows[] = {{BlendOp::AlphaComposite, 0xFFFFFF, 1u << 24, 1u << 24},
                      {BlendOp::ColorDodge, 0xFF000000, 0x010101, 0x01010101}};
    for (const Row& r : rows) {
        std::vector<uint32_t> want;
        ForEachKernel([&](BlendFn blend, const char* name) {
            GuardedSurface src(256, 256), dst(256, 256);
            for (uint32_t i = 0; i < 65536; ++i) {
                src.At(i % 256, i / 256) = r.srcBase + (i % 256) * r.srcStep;
                dst.At(i % 256, i / 256) = (i / 256) * r.dstStep;
            }
            ASSERT_TRUE(blend(r.op, dst.View(), {0, 0, 256, 256}, src.View(), {0, 0, 256, 256}, {}));
            if (blend == BlendReference)
                want = dst.words;
            const auto diff = std::mismatch(dst.words.begin(), dst.words.end(), want.begin()).first;
            EXPECT_TRUE(diff == dst.words.end())
                << name << " op " << int(r.op) << ": word " << (diff - dst.words.begin());
        });
    }
}

constexpr BlendOp AC = BlendOp::AlphaComposite, AB = BlendOp::AlphaBlend, PM = BlendOp::Premultiplied,
                  OV = BlendOp::Overlay, CD = BlendOp::ColorDodge, EX = BlendOp::Exclusion, TI = BlendOp::Tint,
                  CA = BlendOp::ConstantAlpha;

// One source pixel over one destination pixel, 1:1 or scaled to 2x1, through
// the reference and every table.
TEST(Kernels, HandComputedPixels)
{
    constexpr uint32_t kDrawn = 0xDEADBEEF; // anything but d
    struct Row {
        BlendOp op;
        bool scaled;
        uint32_t s, d, want;
        uint8_t alpha = 255;
        bool depth16 = false;
        uint32_t tint = 0;
    } const rows[] = {
        // a = 255, t = 127, A = 255, w = 255: red (0x10*255 + 0xC0) >> 8 = 0x10; blue 0x30*255 >> 8 = 0x2F.
        {AC, false, 0xFF102030, 0x80C0C0C0, 0xFF10202F},
        // Transparent destination: A = 64, w = 255; red 255*255 >> 8 = 254, green 128*255 >> 8 = 127.
        {AC, true, 0x40FF8000, 0x00000000, 0x40FE7F00},
        // 1:1 w = 255*255 >> 8 = 254: (255*254) >> 8 = 253; scaled w = 255: 254.
        {AB, false, 0xFFFFFFFF, 0x12000000, 0x00FDFDFD},
        {AB, true, 0xFFFFFFFF, 0x12000000, 0x00FEFEFE},
        // w = 127, v = 128: 32-bit factor 255: red (16384 + 64*255) >> 8 = 127; 16-bit factor w: 95.
        {PM, false, 0x80402010, 0xFF808080, 0x007F5F4F},
        {PM, true, 0x80402010, 0xFF808080, 0x005F4F47, 255, true},
        // The modes skip while Sa*alpha <= 255; 2*128 = 256 draws.
        {OV, false, 0xFF808080, 0x11223344, 0x11223344, 1},
        {EX, false, 0x02808080, 0x11223344, kDrawn, 128},
        // red s = 127, d = 64: 2*64*127 >> 8 = 63; green s = 254, d = 127: 252; blue d = 128: 255 - 253.
        {OV, false, 0xFF80FF00, 0x77407F80, 0x003FFC02},
        // red 64*255/1 -> 255; green 64*255/128 = 127; blue 32*255/255 = 32.
        {CD, true, 0xFFFF8000, 0x00404020, 0x00FF7F20},
        // red 255 - 0 - 255*127/255 = 128; green 255 - 0 - 64*254/255 = 192; blue 255 - 127 = 128.
        {EX, false, 0xFF80FF00, 0x00FF4080, 0x0080C080},
        // red 0 + (255*255 >> 8) = 254; green 255 + floor(-255*255 / 256) = 0; alpha byte kept.
        {CA, false, 0x00FF0010, 0x7F00FF10, 0x7FFE0010},
        // Alpha 0 paints the tint through source alpha: opaque gives the tint, alpha kept.
        {TI, false, 0xFF000000, 0x5A123456, 0x5AFF0000, 0, false, 0x000000FF},
        // sa = 0.2f: red trunc(255*0.2 + 100*0.8000000119) = 131.
        {TI, false, 0x33000000, 0x00640000, 0x00830000, 0, false, 0x000000FF},
    };
    for (const Row& r : rows)
        ForEachKernel([&](BlendFn blend, const char* name) {
            GuardedSurface src(1, 1), dst(2, 1);
            src.At(0, 0) = r.s;
            dst.At(0, 0) = dst.At(1, 0) = r.d;
            ASSERT_TRUE(blend(r.op, dst.View(), {0, 0, r.scaled ? 2 : 1, 1}, src.View(), {0, 0, 1, 1},
                              {r.alpha, r.tint, r.depth16}));
            const uint32_t got = dst.At(0, 0);
            EXPECT_TRUE(r.want == kDrawn ? got != r.d : got == r.want)
                << name << " op " << int(r.op) << " s 0x" << std::hex << r.s << " d 0x" << r.d << ": 0x" << got;
            EXPECT_EQ(dst.At(1, 0), r.scaled ? got : r.d) << name;
        });
    // Rectangles outside either surface, and a pitch shorter than a row.
    GuardedSurface src(4, 4), dst(4, 4);
    Surface shortPitch = src.View();
    shortPitch.pitch = 12;
    const Rect ok{0, 0, 4, 4};
    ForEachKernel([&](BlendFn blend, const char* name) {
        EXPECT_FALSE(blend(AB, dst.View(), ok, shortPitch, ok, {})) << name;
        for (const Rect& bad :
             {Rect{-1, 0, 3, 4}, Rect{0, 0, 5, 4}, Rect{0, 1, 4, 5}, Rect{2, 0, 2, 4}, Rect{3, 0, 1, 4}})
            EXPECT_FALSE(blend(AB, dst.View(), bad, src.View(), ok, {}) ||
                         blend(AB, dst.View(), ok, src.View(), bad, {}))
                << name << " " << bad;
    });
}

TEST(Clip, ClipToTargetMovesTheSourceByTheScaledCut)
{
    struct Row {
        int32_t w, h;
        Rect d, s, wantD, wantS; // wantD empty: refused
    } const rows[] = {
        {100, 100, {-5, -2, 15, 10}, {0, 0, 20, 12}, {0, 0, 15, 10}, {5, 2, 20, 12}},
        {10, 10, {5, 6, 15, 16}, {0, 0, 10, 10}, {5, 6, 10, 10}, {0, 0, 5, 4}},
        // Left cut 10 of 40 -> trunc(20 * 0.25) = 5; bottom cut 10 of 30 -> trunc(10 / 3) = 3.
        {100, 20, {-10, 0, 30, 30}, {0, 0, 20, 10}, {0, 0, 30, 20}, {5, 0, 20, 7}},
        {1, 1, {0, 0, 10, 1}, {0, 0, 2, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}}, // trunc(2 * 0.9) = 1
        {10, 10, {10, 0, 20, 10}, {0, 0, 10, 10}, {}, {}},               // left at W
        {10, 10, {3, 0, 3, 10}, {0, 0, 10, 10}, {}, {}},                 // empty destination
        {10, 10, {INT_MIN, 0, 10, 10}, {0, 0, 10, 10}, {}, {}},          // widths past 32 bits
        {10, 10, {0, 0, 10, 10}, {INT_MIN, 0, INT_MAX, 10}, {}, {}},
    };
    for (const Row& r : rows) {
        Rect d = r.d, s = r.s;
        const bool ok = r.wantD.right > r.wantD.left;
        ASSERT_EQ(ClipToTarget(r.w, r.h, d, s), ok) << r.d << " " << r.s;
        EXPECT_TRUE(!ok || (d == r.wantD && s == r.wantS)) << r.d << " " << r.s << " -> " << d << " " << s;
    }
}

TEST(Clip, TransformDestinationScalesAboutThePivot)
{
    // dx = 0.5*0.5*100 = 25, right trunc(100 - 25) = 75; dy = 12.5: top 12, bottom trunc(37.5) = 37.
    Rect d{0, 0, 100, 50};
    ASSERT_TRUE(TransformDestination(d, 0.5f, 0.5f, 0, 0));
    EXPECT_EQ(d, (Rect{25, 12, 75, 37}));
    // Pivot at the left edge: right trunc(110 + 100) = 210; vertically about the centre -15 and 85.
    d = {10, 10, 110, 60};
    ASSERT_TRUE(TransformDestination(d, 2.0f, 2.0f, -50, 0));
    EXPECT_EQ(d, (Rect{10, -15, 210, 85}));
    for (float bad : {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), 1e30f}) {
        d = {0, 0, 100, 100};
        EXPECT_FALSE(TransformDestination(d, bad, 1.0f, 0, 0) || TransformDestination(d, 1.0f, bad, 0, 0)) << bad;
        EXPECT_EQ(d, (Rect{0, 0, 100, 100}));
    }
}

// The span search against a scan of every destination pixel through the
// 16.16 source walk, with each surface's own pitch; 90 degrees is a copy.
TEST(Rotate, SpanSearchFindsEveryCoveredPixelAndRefusesFarCentres)
{
    for (int angle : {0, 17, 45, 90, 133, 180, 210, 271, 359, -30})
        for (auto [w, h] : {std::pair{16, 16}, {21, 12}, {9, 30}}) {
            Rng rng(static_cast<uint64_t>(angle * 100 + w));
            GuardedSurface src(w, h, 2), dst(w, h, 5);
            src.Fill(rng);
            dst.FillAll(0x12345678);
            const double x = w / 2.0, y = h / 2.0, th = (angle - 90) * 0.017453292222222222;
            ASSERT_TRUE(Rotate(dst.View(), src.View(), static_cast<int16_t>(angle), x, y));
            EXPECT_TRUE(dst.GuardIntact());
            const double c = std::cos(th), sn = std::sin(th);
            const auto fixed = [](double v) { return static_cast<int32_t>(65536 * v); };
            const int32_t ux = fixed(c), vx = fixed(sn), uy = fixed(-sn), u0 = fixed(x + y * sn - x * c),
                          v0 = fixed(y - y * c - x * sn);
            int mismatches = 0;
            for (int Y = 0; Y < h; ++Y)
                for (int X = 0; X < w; ++X) {
                    const int32_t u = u0 + X * ux + Y * uy, v = v0 + X * vx + Y * ux;
                    const bool in = u >= 0 && v >= 0 && (u >> 16) < w && (v >> 16) < h;
                    mismatches += dst.At(X, Y) != (in ? src.At(u >> 16, v >> 16) : 0u);
                }
            EXPECT_EQ(mismatches, 0) << "angle " << angle << " size " << w << "x" << h;
        }
    GuardedSurface src(4, 4), dst(4, 4);
    for (auto [x, y] : {std::pair{std::nan(""), 1.0}, {1.0, std::numeric_limits<double>::infinity()}, {1e6, 1.0}})
        EXPECT_FALSE(Rotate(dst.View(), src.View(), 30, x, y)) << x << "," << y;
    EXPECT_EQ(dst.At(0, 0), 0u);
}

} // namespace
