// Every kernel table against the scalar reference, bit for bit: seeded random
// draws (sizes, pitches, offsets, scales, alpha), every channel pair per row
// kernel, and the no-write-outside-the-target guarantee.
#include <gtest/gtest.h>

#include <cstring>

#include "kernel_table.h"
#include "kernel_test_support.h"

namespace {

using namespace kt;

const BlendOp kOps[] = {BlendOp::AlphaComposite, BlendOp::AlphaBlend, BlendOp::Premultiplied, BlendOp::Overlay,
                        BlendOp::ColorDodge,     BlendOp::Exclusion,  BlendOp::Tint,          BlendOp::ConstantAlpha};

uint8_t RandomAlpha(Rng& rng)
{
    switch (rng.Below(6)) {
    case 0: return 0;
    case 1:
    case 2: return 255;
    case 3: return static_cast<uint8_t>(rng.Range(1, 2) == 1 ? 1 : 254);
    default: return static_cast<uint8_t>(rng.Next());
    }
}

// Widths 0..33 mostly, sometimes wider, to cover every head/body/tail split.
int32_t RandomSize(Rng& rng)
{
    return rng.Below(5) == 0 ? rng.Range(34, 90) : rng.Range(1, 33);
}

struct Case {
    BlendOp op;
    int32_t tw, th, tpad, sw, sh, spad;
    Rect dst, src;
    BlendParams params;
    uint64_t pixelSeed;
};

Case MakeCase(uint64_t n)
{
    Rng rng(n);
    Case c;
    c.op = kOps[rng.Below(8)];
    c.tw = RandomSize(rng);
    c.th = rng.Range(1, 20);
    c.tpad = rng.Below(4) == 0 ? rng.Range(1, 9) : 0;
    c.sw = RandomSize(rng);
    c.sh = rng.Range(1, 20);
    c.spad = rng.Below(4) == 0 ? rng.Range(1, 9) : 0;
    c.src.left = rng.Below(c.sw);
    c.src.top = rng.Below(c.sh);
    c.src.right = rng.Range(c.src.left + 1, c.sw);
    c.src.bottom = rng.Range(c.src.top + 1, c.sh);
    int32_t dw = c.src.right - c.src.left, dh = c.src.bottom - c.src.top;
    if (rng.Below(2) == 0) { // scaled: up, down or non-integer
        dw = rng.Range(1, c.tw);
        dh = rng.Range(1, c.th);
    }
    dw = std::min(dw, c.tw);
    dh = std::min(dh, c.th);
    c.dst.left = rng.Range(0, c.tw - dw);
    c.dst.top = rng.Range(0, c.th - dh);
    c.dst.right = c.dst.left + dw;
    c.dst.bottom = c.dst.top + dh;
    // Now and then a rectangle that must be refused.
    if (rng.Below(40) == 0)
        c.dst.right = c.tw + 1;
    if (rng.Below(40) == 0)
        c.src.left = -1;
    c.params.alpha = RandomAlpha(rng);
    c.params.tint = static_cast<uint32_t>(rng.Next()) & 0x00FFFFFF;
    c.params.depth16 = rng.Below(2) == 0;
    c.pixelSeed = rng.Next();
    return c;
}

struct Outcome {
    bool drawn;
    std::vector<uint32_t> words;
    std::string guard;
};

Outcome RunCase(const Case& c, bool reference)
{
    Rng rng(c.pixelSeed);
    GuardedSurface target(c.tw, c.th, c.tpad), source(c.sw, c.sh, c.spad);
    target.Fill(rng);
    source.Fill(rng);
    Outcome o;
    o.drawn = reference ? BlendReference(c.op, target.View(), c.dst, source.View(), c.src, c.params)
                        : Blend(c.op, target.View(), c.dst, source.View(), c.src, c.params);
    o.words = target.Words();
    o.guard = target.GuardDamage();
    return o;
}

std::string Describe(uint64_t n, const Case& c)
{
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "case %llu: %s target %dx%d+%d dst (%d,%d,%d,%d) source %dx%d+%d src (%d,%d,%d,%d) alpha %d%s",
                  static_cast<unsigned long long>(n), OpName(c.op), c.tw, c.th, c.tpad, c.dst.left, c.dst.top,
                  c.dst.right, c.dst.bottom, c.sw, c.sh, c.spad, c.src.left, c.src.top, c.src.right, c.src.bottom,
                  c.params.alpha, c.params.depth16 ? " depth16" : "");
    return buf;
}

// FNV-1a over all results, to notice when the reference itself drifts.
uint32_t Fold(uint32_t h, const std::vector<uint32_t>& words)
{
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            h = (h ^ ((w >> (8 * i)) & 0xFF)) * 16777619u;
    return h;
}

TEST(KernelTables, RandomDrawsMatchTheReference)
{
    IsaScope keep;
    constexpr uint64_t kCases = 4000;
    uint32_t checksum = 2166136261u;
    for (uint64_t n = 1; n <= kCases; ++n) {
        const Case c = MakeCase(n);
        const Outcome want = RunCase(c, true);
        ASSERT_EQ(want.guard, "") << Describe(n, c);
        checksum = Fold(checksum, want.words);
        for (Isa isa : SupportedIsas()) {
            ForceIsa(isa);
            const Outcome got = RunCase(c, false);
            ASSERT_EQ(got.drawn, want.drawn) << IsaName(isa) << " " << Describe(n, c);
            ASSERT_EQ(got.guard, "") << IsaName(isa) << " " << Describe(n, c);
            const auto diff = std::mismatch(got.words.begin(), got.words.end(), want.words.begin());
            ASSERT_TRUE(diff.first == got.words.end())
                << IsaName(isa) << " " << Describe(n, c) << ": first difference at word "
                << (diff.first - got.words.begin()) << ", 0x" << std::hex << *diff.first << " instead of 0x"
                << *diff.second;
        }
    }
    // Both builds (native and i686) must reach the same results.
    RecordProperty("checksum", std::to_string(checksum));
    std::printf("reference checksum over %llu cases: %08X\n", static_cast<unsigned long long>(kCases), checksum);
}

// Each row kernel over every (source channel, destination channel) pair, with
// the three colour channels and both alphas varied differently so that lanes
// cannot be mixed up unnoticed.
TEST(KernelTables, RowsMatchOnEveryChannelPair)
{
    std::vector<uint32_t> src(256 * 256), dstInit(256 * 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const uint32_t sa = (x * 7 + y * 13) & 0xFF;
            src[y * 256 + x] = (sa << 24) | (uint32_t(x) << 16) | (uint32_t(255 - x) << 8) | uint32_t(x ^ 0x5A);
            dstInit[y * 256 + x] =
                (uint32_t(x ^ y) << 24) | (uint32_t(y) << 16) | (uint32_t((y * 7) & 0xFF) << 8) | uint32_t(255 - y);
        }
    const KernelTable& scalar = TableFor(Isa::Scalar);
    for (Isa isa : SupportedIsas()) {
        if (isa == Isa::Scalar)
            continue;
        const KernelTable& table = TableFor(isa);
        for (int op = 0; op < kRowOpCount; ++op) {
            for (uint32_t alpha : {0u, 1u, 2u, 3u, 64u, 127u, 128u, 129u, 200u, 253u, 254u, 255u}) {
                std::vector<uint32_t> want = dstInit, got = dstInit;
                // Rows of 256 (the whole body) and an odd length for the tail.
                for (int y = 0; y < 256; ++y) {
                    const int32_t n = (y % 3 == 0) ? 256 : 256 - (y % 7);
                    scalar.rows[op](&want[y * 256], &src[y * 256], n, alpha);
                    table.rows[op](&got[y * 256], &src[y * 256], n, alpha);
                }
                for (size_t i = 0; i < want.size(); ++i)
                    ASSERT_EQ(got[i], want[i])
                        << IsaName(isa) << " row op " << op << " alpha " << alpha << " at (" << i % 256 << ","
                        << i / 256 << ") src 0x" << std::hex << src[i] << " dst 0x" << dstInit[i];
            }
        }
    }
}

// The SIMD rows skip a block only when every pixel's Sa*alpha is below the
// kernel's limit, and keep d for single skipped pixels: blocks of one source
// alpha, then the same alphas shifted by three pixels, for every constant alpha.
TEST(KernelTables, SkipRulesOnEveryAlphaPair)
{
    std::vector<uint32_t> src(256 * 8 + 5), dstInit(src.size());
    for (size_t i = 0; i < src.size(); ++i) {
        const uint32_t sa = static_cast<uint32_t>((i / 8) & 0xFF);
        src[i] = (sa << 24) | static_cast<uint32_t>((i * 0x9E3779B1u) >> 8);
        dstInit[i] = static_cast<uint32_t>(i * 0x85EBCA6Bu);
    }
    const KernelTable& scalar = TableFor(Isa::Scalar);
    for (Isa isa : SupportedIsas()) {
        if (isa == Isa::Scalar)
            continue;
        const KernelTable& table = TableFor(isa);
        for (int op = 0; op < kRowOpCount; ++op)
            for (uint32_t alpha = 0; alpha < 256; ++alpha)
                for (size_t shift : {size_t{0}, size_t{3}}) {
                    const int32_t n = static_cast<int32_t>(src.size() - shift);
                    std::vector<uint32_t> want = dstInit, got = dstInit;
                    scalar.rows[op](want.data(), src.data() + shift, n, alpha);
                    table.rows[op](got.data(), src.data() + shift, n, alpha);
                    const auto diff = std::mismatch(got.begin(), got.end(), want.begin());
                    ASSERT_TRUE(diff.first == got.end())
                        << IsaName(isa) << " row op " << op << " alpha " << alpha << " shift " << shift << " at "
                        << (diff.first - got.begin()) << ": src 0x" << std::hex
                        << src[static_cast<size_t>(diff.first - got.begin()) + shift] << " got 0x" << *diff.first
                        << " want 0x" << *diff.second;
                }
    }
}

// The scaled path repeats a row's columns once the column accumulator comes
// back to its start value: ratios with short and long periods and none, on
// wide rows where the clamp to the last column matters.
TEST(KernelTables, ScaledColumnsOnWideRows)
{
    IsaScope keep;
    for (int32_t sw : {1, 2, 3, 7, 64, 100, 333}) {
        for (int32_t dw : {2, 97, 256, 1000, 1023}) {
            Rng rng(static_cast<uint64_t>(sw * 4096 + dw));
            GuardedSurface source(sw, 3), want(dw, 5), got(dw, 5);
            source.Fill(rng);
            want.Fill(rng);
            const std::vector<uint32_t> init = want.Words();
            const Rect dst{0, 0, dw, 5}, src{0, 0, sw, 3};
            ASSERT_TRUE(BlendReference(BlendOp::AlphaBlend, want.View(), dst, source.View(), src, {}));
            for (Isa isa : SupportedIsas()) {
                ForceIsa(isa);
                std::memcpy(const_cast<uint32_t*>(got.Words().data()), init.data(), init.size() * 4);
                ASSERT_TRUE(Blend(BlendOp::AlphaBlend, got.View(), dst, source.View(), src, {}));
                EXPECT_EQ(got.Words(), want.Words()) << IsaName(isa) << " " << sw << " -> " << dw << " columns";
            }
        }
    }
}

// Source and target in one buffer: the fast path must see pixels in the
// reference's order.
TEST(KernelTables, DrawingAnImageIntoItself)
{
    IsaScope keep;
    for (Isa isa : SupportedIsas()) {
        Rng rng(99);
        GuardedSurface a(40, 8), b(40, 8);
        a.Fill(rng);
        std::memcpy(const_cast<uint32_t*>(b.Words().data()), a.Words().data(), a.Words().size() * 4);
        ASSERT_TRUE(BlendReference(BlendOp::AlphaComposite, a.View(), {1, 0, 37, 8}, a.View(), {0, 0, 36, 8}, {}));
        ForceIsa(isa);
        ASSERT_TRUE(Blend(BlendOp::AlphaComposite, b.View(), {1, 0, 37, 8}, b.View(), {0, 0, 36, 8}, {}));
        EXPECT_EQ(a.Words(), b.Words()) << IsaName(isa);
    }
}

TEST(KernelTables, EnvironmentAndHookChooseTheTable)
{
    IsaScope keep;
    EXPECT_TRUE(ForceIsa(Isa::Scalar));
    EXPECT_EQ(ActiveIsa(), Isa::Scalar);
    for (Isa isa : {Isa::Sse2, Isa::Avx2}) {
        EXPECT_EQ(ForceIsa(isa), IsaSupported(isa));
        if (IsaSupported(isa)) {
            EXPECT_EQ(ActiveIsa(), isa);
        }
    }
    std::printf("kernel tables available:");
    for (Isa isa : SupportedIsas())
        std::printf(" %s", IsaName(isa));
    std::printf("\n");
}

} // namespace
