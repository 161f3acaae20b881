// Test surfaces with guard words, and a seeded generator that gives the same
// pixels natively and under Wine.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "kernels/kernels.h"

namespace kt {

using namespace Veld::Game::Kernels;

// splitmix64
struct Rng {
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int32_t Below(int32_t n) { return n <= 0 ? 0 : static_cast<int32_t>(Next() % static_cast<uint64_t>(n)); }
    int32_t Range(int32_t lo, int32_t hi) { return lo + Below(hi - lo + 1); }
    // Weighted toward 0, 1, 254 and 255, where the skips and saturations live.
    uint8_t Byte()
    {
        static const uint8_t edges[] = {0, 0, 255, 255, 1, 254};
        const int32_t k = Below(9);
        return k < 6 ? edges[k] : static_cast<uint8_t>(Next());
    }
    uint32_t Pixel()
    {
        const uint32_t a = Byte(), r = Byte(), g = Byte(), b = Byte();
        return a << 24 | r << 16 | g << 8 | b;
    }
    uint64_t state;
};

// A width x height surface inside a larger buffer: kGuard words on every side
// plus pad words of pitch padding, holding a pattern no kernel may write.
struct GuardedSurface {
    static constexpr int32_t kGuard = 5;
    static constexpr uint32_t kFill = 0xA5C3E1F7u;
    int32_t width, height, stride;
    std::vector<uint32_t> words;

    GuardedSurface(int32_t w, int32_t h, int32_t pad = 0)
        : width(w), height(h), stride(w + pad + 2 * kGuard),
          words(static_cast<size_t>(stride) * static_cast<size_t>(h + 2 * kGuard), kFill)
    {
        FillAll(0);
    }
    uint32_t& At(int32_t x, int32_t y) { return words[static_cast<size_t>(y + kGuard) * stride + (x + kGuard)]; }
    Surface View() { return {reinterpret_cast<uint8_t*>(&At(0, 0)), stride * 4, width, height}; }
    void FillAll(uint32_t v)
    {
        for (int32_t y = 0; y < height; ++y)
            std::fill_n(&At(0, y), width, v);
    }
    void Fill(Rng& rng)
    {
        for (int32_t i = 0; i < width * height; ++i)
            At(i % width, i / width) = rng.Pixel();
    }
    // True while every word outside the surface holds the pattern.
    bool GuardIntact() const
    {
        for (size_t i = 0; i < words.size(); ++i) {
            const int32_t x = static_cast<int32_t>(i % stride) - kGuard, y = static_cast<int32_t>(i / stride) - kGuard;
            if ((x < 0 || y < 0 || x >= width || y >= height) && words[i] != kFill)
                return false;
        }
        return true;
    }
};

} // namespace kt
