// Kernel speed in the shipped build (run under Wine), against memcpy of the
// same number of pixels measured in the same run.
//
//   kernels_bench_win [KERNEL|all] [--csv] [--passes=N]
//
// Every kernel runs through each table the CPU supports, 1:1 and 2x upscaled,
// on sprite sources (runs of fully transparent 30%, opaque 50% and partially
// transparent 20% pixels) and random alpha, drawing a 256x256 and a 1024x768
// image, a 512-pixel row (in L1) and 64 random small rectangles.
// A pass times memcpy first, then every case; each figure is the median over
// the passes of a median of timed samples. The fixed cost of a Blend call
// (a 1x1 draw) is subtracted from every call.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kernels/kernels.h"

namespace {

using namespace Veld::Game::Kernels;
using Clock = std::chrono::steady_clock;

constexpr double kSampleSeconds = 0.002;
constexpr int kSamples = 11;

inline void Clobber()
{
    __asm__ volatile("" ::: "memory");
}

uint64_t g_state = 0x12345678u;
uint32_t Rand()
{
    g_state = g_state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(g_state >> 32);
}

// Pixels starting offsetBytes past a page boundary. Source and target at the
// same page offset would make loads wait on stores to other pages (4K
// aliasing) and flatter every ratio.
class Buffer {
public:
    Buffer(size_t n, size_t offsetBytes) : raw_(n + (4096 + offsetBytes) / 4)
    {
        const auto base = reinterpret_cast<uintptr_t>(raw_.data());
        const uintptr_t aligned = (base + 4095) & ~uintptr_t{4095};
        px_ = reinterpret_cast<uint32_t*>(aligned + offsetBytes);
        n_ = n;
    }
    uint32_t* data() { return px_; }
    size_t size() const { return n_; }

private:
    std::vector<uint32_t> raw_;
    uint32_t* px_ = nullptr;
    size_t n_ = 0;
};

void FillSprite(Buffer& b)
{
    uint32_t* px = b.data();
    for (size_t i = 0; i < b.size();) {
        const size_t run = 4 + Rand() % 61;
        const uint32_t kind = Rand() % 10; // 0-2 transparent, 3-7 opaque, 8-9 partial
        for (size_t j = 0; j < run && i < b.size(); ++j, ++i) {
            const uint32_t a = kind < 3 ? 0 : kind < 8 ? 255 : 1 + Rand() % 254;
            px[i] = (a << 24) | (Rand() & 0xFFFFFF);
        }
    }
}

void FillRandom(Buffer& b)
{
    for (size_t i = 0; i < b.size(); ++i)
        b.data()[i] = Rand();
}

// Median seconds per call of f, over kSamples samples of enough calls to
// take about kSampleSeconds each.
template <class F> double SecondsPerCall(F&& f, int samples = kSamples)
{
    const auto t0 = Clock::now();
    f();
    const double once = std::chrono::duration<double>(Clock::now() - t0).count();
    const int calls = once >= kSampleSeconds ? 1 : std::max(1, static_cast<int>(kSampleSeconds / std::max(once, 1e-9)));
    if (once > 0.05)
        samples = std::min(samples, 3); // slow scalar cases: a few calls are enough
    std::vector<double> t;
    for (int s = 0; s < samples; ++s) {
        const auto a = Clock::now();
        for (int c = 0; c < calls; ++c)
            f();
        t.push_back(std::chrono::duration<double>(Clock::now() - a).count() / calls);
    }
    std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
    return t[t.size() / 2];
}

const char* const kOpNames[] = {"AlphaComposite", "AlphaBlend", "Premultiplied", "Overlay",
                                "ColorDodge",     "Exclusion",  "Tint",          "ConstantAlpha"};

struct Size {
    int32_t w, h;
};

// What one timed step draws: the two image sizes of the tables, a row that stays
// in L1, and 64 random small rectangles (8 to 64 pixels a side) in a back
// image. 2x sources are half as wide and half as high (at least one row).
struct Shape {
    const char* name;
    Size target;
    std::vector<Rect> draws;
    size_t pixels = 0;
};

std::vector<Shape> MakeShapes()
{
    std::vector<Shape> shapes = {{"256x256", {256, 256}, {{0, 0, 256, 256}}},
                                 {"1024x768", {1024, 768}, {{0, 0, 1024, 768}}},
                                 {"row512", {512, 1}, {{0, 0, 512, 1}}},
                                 {"rects", {1024, 768}, {}}};
    for (int i = 0; i < 64; ++i) {
        const int32_t w = 8 + 2 * static_cast<int32_t>(Rand() % 29), h = 8 + 2 * static_cast<int32_t>(Rand() % 29);
        const int32_t x = static_cast<int32_t>(Rand() % (1024 - 64)), y = static_cast<int32_t>(Rand() % (768 - 64));
        shapes[3].draws.push_back({x, y, x + w, y + h});
    }
    for (Shape& sh : shapes)
        for (const Rect& r : sh.draws)
            sh.pixels += static_cast<size_t>(r.right - r.left) * static_cast<size_t>(r.bottom - r.top);
    return shapes;
}

Size SourceSize(Size target, bool scaled)
{
    return scaled ? Size{target.w / 2, std::max(target.h / 2, 1)} : target;
}

Rect SourceRect(const Rect& d, bool scaled)
{
    if (!scaled)
        return d;
    const int32_t x = d.left / 2, y = d.top / 2;
    return {x, y, x + (d.right - d.left) / 2, y + std::max((d.bottom - d.top) / 2, 1)};
}

struct Case {
    int shape;
    BlendOp op;
    bool scaled;
    bool sprite;
    Isa isa;
    std::vector<double> mpix, ratio; // one per pass
};

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

struct Images {
    Size size;
    Buffer dst;
    Buffer sprite1, random1, sprite2, random2; // 1:1 and 2x sources
    explicit Images(Size s)
        : size(s), dst(Count(s, false), 0), sprite1(Count(s, false), 64), random1(Count(s, false), 64),
          sprite2(Count(s, true), 64), random2(Count(s, true), 64)
    {
        FillRandom(dst);
        FillSprite(sprite1);
        FillRandom(random1);
        FillSprite(sprite2);
        FillRandom(random2);
    }
    static size_t Count(Size s, bool scaled)
    {
        const Size z = SourceSize(s, scaled);
        return static_cast<size_t>(z.w) * static_cast<size_t>(z.h);
    }
    Surface Target() { return {reinterpret_cast<uint8_t*>(dst.data()), size.w * 4, size.w, size.h}; }
    Surface Source(bool scaled, bool sprite)
    {
        Buffer& b = scaled ? (sprite ? sprite2 : random2) : (sprite ? sprite1 : random1);
        const Size z = SourceSize(size, scaled);
        return {reinterpret_cast<uint8_t*>(b.data()), z.w * 4, z.w, z.h};
    }
};

double MemcpyMpix(size_t n)
{
    Buffer a(n, 0), b(n, 64);
    FillRandom(a);
    const double sec = SecondsPerCall([&] {
        std::memcpy(b.data(), a.data(), n * 4);
        Clobber();
    });
    return static_cast<double>(n) / sec / 1e6;
}

double CallOverhead(Images& im)
{
    const Surface target = im.Target(), source = im.Source(false, false);
    const BlendParams params{200, 0x00336699, false};
    return SecondsPerCall([&] {
        Blend(BlendOp::AlphaBlend, target, {0, 0, 1, 1}, source, {0, 0, 1, 1}, params);
        Clobber();
    });
}

double KernelMpix(Images& im, const Shape& sh, const Case& c, double overhead)
{
    const Surface target = im.Target(), source = im.Source(c.scaled, c.sprite);
    std::vector<Rect> srcRects;
    for (const Rect& r : sh.draws)
        srcRects.push_back(SourceRect(r, c.scaled));
    const BlendParams params{200, 0x00336699, false};
    ForceIsa(c.isa);
    const double sec = SecondsPerCall([&] {
        for (size_t i = 0; i < sh.draws.size(); ++i)
            Blend(c.op, target, sh.draws[i], source, srcRects[i], params);
        Clobber();
    });
    const double fixed = overhead * static_cast<double>(sh.draws.size());
    return static_cast<double>(sh.pixels) / std::max(sec - fixed, sec * 0.5) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    bool csv = false;
    int passes = 3;
    std::string filter = "all";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--csv")
            csv = true;
        else if (a.rfind("--passes=", 0) == 0)
            passes = std::max(1, std::atoi(a.c_str() + 9));
        else if (a[0] != '-')
            filter = a;
        else {
            std::fprintf(stderr, "usage: kernels_bench_win [KERNEL|all] [--csv] [--passes=N]\n");
            return 2;
        }
    }

    const Isa start = ActiveIsa();
    const std::vector<Shape> shapes = MakeShapes();
    const int nShapes = static_cast<int>(shapes.size());
    std::vector<Case> cases;
    for (int si = 0; si < nShapes; ++si)
        for (int o = 0; o < 8; ++o) {
            const BlendOp op = static_cast<BlendOp>(o);
            if (filter != "all" && filter != kOpNames[o])
                continue;
            for (bool scaled : {false, true}) {
                if (op == BlendOp::ConstantAlpha && scaled)
                    continue; // never scales
                for (bool sprite : {true, false})
                    for (Isa isa : {Isa::Scalar, Isa::Sse2, Isa::Avx2}) {
                        if (!IsaSupported(isa) || (op == BlendOp::Tint && isa != Isa::Scalar))
                            continue; // Tint is scalar in every table
                        cases.push_back({si, op, scaled, sprite, isa, {}, {}});
                    }
            }
        }
    if (cases.empty()) {
        std::fprintf(stderr, "no kernel named %s\n", filter.c_str());
        return 2;
    }

    std::vector<std::vector<double>> memcpyMpix(shapes.size()), overheadNs(shapes.size());
    for (int p = 0; p < passes; ++p) {
        for (int si = 0; si < nShapes; ++si) {
            const Shape& sh = shapes[static_cast<size_t>(si)];
            const double mc = MemcpyMpix(sh.pixels);
            Images im(sh.target);
            ForceIsa(start);
            const double overhead = CallOverhead(im);
            memcpyMpix[static_cast<size_t>(si)].push_back(mc);
            overheadNs[static_cast<size_t>(si)].push_back(overhead * 1e9);
            for (Case& c : cases)
                if (c.shape == si) {
                    const double m = KernelMpix(im, sh, c, overhead);
                    c.mpix.push_back(m);
                    c.ratio.push_back(m / mc);
                }
        }
        std::fprintf(stderr, "pass %d of %d done\n", p + 1, passes);
    }
    ForceIsa(start);

    // The scalar case with the same shape, op, path and source.
    auto scalarOf = [&](const Case& c) -> const Case* {
        for (const Case& o : cases)
            if (o.isa == Isa::Scalar && o.shape == c.shape && o.op == c.op && o.scaled == c.scaled &&
                o.sprite == c.sprite)
                return &o;
        return nullptr;
    };

    if (csv)
        std::printf("name,kernel,isa,size,path,source,mpix_s,x_memcpy,x_scalar\n");
    for (int si = 0; si < nShapes; ++si) {
        const Shape& sh = shapes[static_cast<size_t>(si)];
        const double mc = Median(memcpyMpix[static_cast<size_t>(si)]);
        if (csv)
            std::printf("memcpy/%s,memcpy,,%s,,,%.0f,1,\n", sh.name, sh.name, mc);
        else
            std::printf("memcpy %-8s (%7zu pixels): %6.0f Mpix/s; Blend call overhead %.0f ns (subtracted)\n", sh.name,
                        sh.pixels, mc, Median(overheadNs[static_cast<size_t>(si)]));
    }
    if (!csv)
        std::printf("%-15s %-6s %-9s %-4s %-6s %9s %9s %9s\n", "kernel", "isa", "size", "path", "source", "Mpix/s",
                    "x memcpy", "x scalar");
    for (const Case& c : cases) {
        const char* dims = shapes[static_cast<size_t>(c.shape)].name;
        const char* path = c.scaled ? "2x" : "1to1";
        const char* src = c.sprite ? "sprite" : "random";
        const double mpix = Median(c.mpix);
        const Case* sc = scalarOf(c);
        const double xs = sc ? mpix / Median(sc->mpix) : 0.0;
        if (csv)
            std::printf("%s/%s/%s/%s/%s,%s,%s,%s,%s,%s,%.1f,%.4f,%.2f\n", kOpNames[int(c.op)], IsaName(c.isa), dims,
                        path, src, kOpNames[int(c.op)], IsaName(c.isa), dims, path, src, mpix, Median(c.ratio), xs);
        else
            std::printf("%-15s %-6s %-9s %-4s %-6s %9.0f %9.4f %8.1fx\n", kOpNames[int(c.op)], IsaName(c.isa), dims,
                        path, src, mpix, Median(c.ratio), xs);
    }
    return 0;
}
