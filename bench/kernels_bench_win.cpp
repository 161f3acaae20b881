// Kernel speed in the shipped build (run under Wine), against memcpy of the
// same number of pixels measured in the same run.
//
//   kernels_bench_win [KERNEL|all] [--csv] [--passes=N]
//
// Every kernel runs through each table the CPU supports, at 256x256 and
// 1024x768, 1:1 and 2x upscaled, on sprite sources (runs of fully transparent
// 30%, opaque 50% and partially transparent 20% pixels) and random alpha.
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
const Size kSizes[] = {{256, 256}, {1024, 768}};

struct Case {
    int size;
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
    Buffer dst;
    Buffer sprite1, random1, sprite2, random2; // 1:1 and half-size sources
    explicit Images(Size s)
        : dst(size_t(s.w) * s.h, 0), sprite1(size_t(s.w) * s.h, 64), random1(size_t(s.w) * s.h, 64),
          sprite2(size_t(s.w / 2) * (s.h / 2), 64), random2(size_t(s.w / 2) * (s.h / 2), 64)
    {
        FillRandom(dst);
        FillSprite(sprite1);
        FillRandom(random1);
        FillSprite(sprite2);
        FillRandom(random2);
    }
};

double MemcpyMpix(Size s)
{
    const size_t n = size_t(s.w) * s.h;
    Buffer a(n, 0), b(n, 64);
    FillRandom(a);
    const double sec = SecondsPerCall([&] {
        std::memcpy(b.data(), a.data(), n * 4);
        Clobber();
    });
    return static_cast<double>(n) / sec / 1e6;
}

double CallOverhead(Images& im, Size s)
{
    const Surface target{reinterpret_cast<uint8_t*>(im.dst.data()), s.w * 4, s.w, s.h};
    const Surface source{reinterpret_cast<uint8_t*>(im.random1.data()), s.w * 4, s.w, s.h};
    const BlendParams params{200, 0x00336699, false};
    return SecondsPerCall([&] {
        Blend(BlendOp::AlphaBlend, target, {0, 0, 1, 1}, source, {0, 0, 1, 1}, params);
        Clobber();
    });
}

double KernelMpix(Images& im, const Case& c, double overhead)
{
    const Size s = kSizes[c.size];
    const Size src = c.scaled ? Size{s.w / 2, s.h / 2} : s;
    Buffer& sp = c.scaled ? (c.sprite ? im.sprite2 : im.random2) : (c.sprite ? im.sprite1 : im.random1);
    const Surface target{reinterpret_cast<uint8_t*>(im.dst.data()), s.w * 4, s.w, s.h};
    const Surface source{reinterpret_cast<uint8_t*>(sp.data()), src.w * 4, src.w, src.h};
    const BlendParams params{200, 0x00336699, false};
    ForceIsa(c.isa);
    const double sec = SecondsPerCall([&] {
        Blend(c.op, target, {0, 0, s.w, s.h}, source, {0, 0, src.w, src.h}, params);
        Clobber();
    });
    return static_cast<double>(s.w) * s.h / std::max(sec - overhead, sec * 0.5) / 1e6;
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
    std::vector<Case> cases;
    for (int si = 0; si < 2; ++si)
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

    std::vector<double> memcpyMpix[2], overheadNs[2];
    for (int p = 0; p < passes; ++p) {
        for (int si = 0; si < 2; ++si) {
            const Size s = kSizes[si];
            const double mc = MemcpyMpix(s);
            Images im(s);
            ForceIsa(start);
            const double overhead = CallOverhead(im, s);
            memcpyMpix[si].push_back(mc);
            overheadNs[si].push_back(overhead * 1e9);
            for (Case& c : cases)
                if (c.size == si) {
                    const double m = KernelMpix(im, c, overhead);
                    c.mpix.push_back(m);
                    c.ratio.push_back(m / mc);
                }
        }
        std::fprintf(stderr, "pass %d of %d done\n", p + 1, passes);
    }
    ForceIsa(start);

    // The scalar case with the same size, op, path and source.
    auto scalarOf = [&](const Case& c) -> const Case* {
        for (const Case& o : cases)
            if (o.isa == Isa::Scalar && o.size == c.size && o.op == c.op && o.scaled == c.scaled &&
                o.sprite == c.sprite)
                return &o;
        return nullptr;
    };

    if (csv)
        std::printf("name,kernel,isa,size,path,source,mpix_s,x_memcpy,x_scalar\n");
    for (int si = 0; si < 2; ++si) {
        const Size s = kSizes[si];
        char dims[32];
        std::snprintf(dims, sizeof dims, "%dx%d", s.w, s.h);
        if (csv)
            std::printf("memcpy/%s,memcpy,,%s,,,%.0f,1,\n", dims, dims, Median(memcpyMpix[si]));
        else
            std::printf("memcpy %s: %.0f Mpix/s; Blend call overhead %.0f ns (subtracted)\n", dims,
                        Median(memcpyMpix[si]), Median(overheadNs[si]));
    }
    if (!csv)
        std::printf("%-15s %-6s %-9s %-4s %-6s %9s %9s %9s\n", "kernel", "isa", "size", "path", "source", "Mpix/s",
                    "x memcpy", "x scalar");
    for (const Case& c : cases) {
        const Size s = kSizes[c.size];
        char dims[32];
        std::snprintf(dims, sizeof dims, "%dx%d", s.w, s.h);
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
