// Kernel speed against memcpy of the same pixels, measured in the same run.
//
//   kernels_bench [--benchmark_filter=...] [google benchmark flags]
//
// Names: <Kernel>/<isa>/<size>/<1to1|2x>/<sprite|random>. Counters: Mpix/s
// (destination pixels per second) and x_memcpy (that rate over the rate of a
// memcpy of the destination's bytes, timed at start-up as the median of 31
// runs). The memcpy target is offset by 64 bytes from a page boundary: with
// source and target at the same page offset, glibc's memcpy of 256 KiB runs
// about 15x slower (4K aliasing), which would flatter every ratio. Sprite sources are runs of fully transparent (30%),
// opaque (50%) and partially transparent (20%) pixels; random sources have random alpha.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "kernels/kernels.h"

namespace {

using namespace Veld::Game::Kernels;

uint64_t g_state = 0x12345678u;
uint32_t Rand()
{
    g_state = g_state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(g_state >> 32);
}

std::vector<uint32_t> SpritePixels(size_t n)
{
    std::vector<uint32_t> px(n);
    for (size_t i = 0; i < n;) {
        const size_t run = 4 + Rand() % 61;
        const uint32_t kind = Rand() % 10; // 0-2 transparent, 3-7 opaque, 8-9 partial
        for (size_t j = 0; j < run && i < n; ++j, ++i) {
            const uint32_t rgb = Rand() & 0xFFFFFF;
            const uint32_t a = kind < 3 ? 0 : kind < 8 ? 255 : 1 + Rand() % 254;
            px[i] = (a << 24) | rgb;
        }
    }
    return px;
}

std::vector<uint32_t> RandomPixels(size_t n)
{
    std::vector<uint32_t> px(n);
    for (auto& p : px)
        p = Rand();
    return px;
}

struct Size {
    int32_t w, h;
};

double MemcpyPixelsPerSecond(Size s)
{
    const size_t n = static_cast<size_t>(s.w) * s.h;
    std::vector<uint32_t> a = RandomPixels(n), b(n + 16);
    std::vector<double> times;
    for (int i = 0; i < 31; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int k = 0; k < 8; ++k) {
            std::memcpy(b.data() + 16, a.data(), n * 4);
            benchmark::DoNotOptimize(b.data());
            benchmark::ClobberMemory();
        }
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / 8);
    }
    std::nth_element(times.begin(), times.begin() + 15, times.end());
    return static_cast<double>(n) / times[15];
}

void Memcpy(benchmark::State& state, Size s, double memcpyRate)
{
    const size_t n = static_cast<size_t>(s.w) * s.h;
    std::vector<uint32_t> a = RandomPixels(n), b(n + 16);
    for (auto _ : state) {
        std::memcpy(b.data() + 16, a.data(), n * 4);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    const double px = static_cast<double>(n) * static_cast<double>(state.iterations());
    state.counters["Mpix/s"] = benchmark::Counter(px / 1e6, benchmark::Counter::kIsRate);
    state.counters["x_memcpy"] = benchmark::Counter(px / memcpyRate, benchmark::Counter::kIsRate);
}

void Kernel(benchmark::State& state, BlendOp op, Isa isa, Size s, bool scaled, bool sprite, double memcpyRate)
{
    if (!ForceIsa(isa)) {
        state.SkipWithError("table not supported by this CPU");
        return;
    }
    const Size src = scaled ? Size{s.w / 2, s.h / 2} : s;
    std::vector<uint32_t> sp =
        sprite ? SpritePixels(static_cast<size_t>(src.w) * src.h) : RandomPixels(static_cast<size_t>(src.w) * src.h);
    std::vector<uint32_t> dp = RandomPixels(static_cast<size_t>(s.w) * s.h);
    const Surface target{reinterpret_cast<uint8_t*>(dp.data()), s.w * 4, s.w, s.h};
    const Surface source{reinterpret_cast<uint8_t*>(sp.data()), src.w * 4, src.w, src.h};
    const BlendParams params{200, 0x00336699, false};
    for (auto _ : state) {
        Blend(op, target, {0, 0, s.w, s.h}, source, {0, 0, src.w, src.h}, params);
        benchmark::ClobberMemory();
    }
    const double px = static_cast<double>(s.w) * s.h * static_cast<double>(state.iterations());
    state.counters["Mpix/s"] = benchmark::Counter(px / 1e6, benchmark::Counter::kIsRate);
    state.counters["x_memcpy"] = benchmark::Counter(px / memcpyRate, benchmark::Counter::kIsRate);
}

const char* Name(BlendOp op)
{
    static const char* const names[] = {"AlphaComposite", "AlphaBlend", "Premultiplied", "Overlay",
                                        "ColorDodge",     "Exclusion",  "Tint",          "ConstantAlpha"};
    return names[static_cast<int>(op)];
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const Size sizes[] = {{256, 256}, {1024, 768}};
    for (Size s : sizes) {
        const double rate = MemcpyPixelsPerSecond(s);
        const std::string dims = std::to_string(s.w) + "x" + std::to_string(s.h);
        benchmark::RegisterBenchmark(("memcpy/" + dims).c_str(), Memcpy, s, rate);
        for (int o = 0; o < 8; ++o) {
            const BlendOp op = static_cast<BlendOp>(o);
            for (Isa isa : {Isa::Scalar, Isa::Sse2, Isa::Avx2}) {
                if (!IsaSupported(isa))
                    continue;
                if (op == BlendOp::Tint && isa != Isa::Scalar)
                    continue; // scalar in every table
                for (bool scaled : {false, true}) {
                    if (op == BlendOp::ConstantAlpha && scaled)
                        continue; // never scales
                    for (bool sprite : {true, false}) {
                        const std::string name = std::string(Name(op)) + "/" + IsaName(isa) + "/" + dims + "/" +
                                                 (scaled ? "2x" : "1to1") + "/" + (sprite ? "sprite" : "random");
                        benchmark::RegisterBenchmark(name.c_str(), Kernel, op, isa, s, scaled, sprite, rate);
                    }
                }
            }
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
