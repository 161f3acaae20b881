// Test surfaces with guard bytes, and an in-tree generator so that a case
// number gives the same pixels natively and under Wine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kernels/kernels.h"

namespace kt {

using namespace Veld::Game::Kernels;

// splitmix64
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1
    int32_t Below(int32_t n) { return n <= 0 ? 0 : static_cast<int32_t>(Next() % static_cast<uint64_t>(n)); }
    int32_t Range(int32_t lo, int32_t hi) { return lo + Below(hi - lo + 1); }
    // Bytes weighted toward 0x00 and 0xFF, where the skip rules and
    // saturations live.
    uint8_t Byte()
    {
        switch (Below(8)) {
        case 0:
        case 1: return 0x00;
        case 2:
        case 3: return 0xFF;
        case 4: return static_cast<uint8_t>(Range(1, 2) == 1 ? 0x01 : 0xFE);
        default: return static_cast<uint8_t>(Next());
        }
    }
    uint32_t Pixel()
    {
        const uint32_t a = Byte();
        return (a << 24) | (static_cast<uint32_t>(Byte()) << 16) | (static_cast<uint32_t>(Byte()) << 8) | Byte();
    }

private:
    uint64_t state_;
};

// A width x height surface inside a larger buffer: kGuard pixels of guard on
// every side plus extra pixels of pitch padding, all filled with a pattern
// that no kernel should write.
class GuardedSurface {
public:
    static constexpr int32_t kGuard = 5;
    static constexpr uint32_t kFill = 0xA5C3E1F7u;

    GuardedSurface(int32_t width, int32_t height, int32_t extraPitch = 0)
        : width_(width), height_(height), stride_(width + extraPitch + 2 * kGuard),
          words_(static_cast<size_t>(stride_) * static_cast<size_t>(height + 2 * kGuard), kFill)
    {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                At(x, y) = 0;
    }
    Surface View()
    {
        return {reinterpret_cast<uint8_t*>(&words_[static_cast<size_t>(kGuard) * stride_ + kGuard]), stride_ * 4,
                width_, height_};
    }
    uint32_t& At(int32_t x, int32_t y)
    {
        return words_[static_cast<size_t>(y + kGuard) * stride_ + static_cast<size_t>(x + kGuard)];
    }
    void Fill(Rng& rng)
    {
        for (int32_t y = 0; y < height_; ++y)
            for (int32_t x = 0; x < width_; ++x)
                At(x, y) = rng.Pixel();
    }
    void FillAll(uint32_t v)
    {
        for (int32_t y = 0; y < height_; ++y)
            for (int32_t x = 0; x < width_; ++x)
                At(x, y) = v;
    }
    // Empty when every word outside the surface still holds the pattern;
    // otherwise names the first one that does not.
    std::string GuardDamage() const
    {
        for (size_t i = 0; i < words_.size(); ++i) {
            const int32_t y = static_cast<int32_t>(i / stride_) - kGuard;
            const int32_t x = static_cast<int32_t>(i % stride_) - kGuard;
            const bool inside = x >= 0 && y >= 0 && x < width_ && y < height_;
            if (!inside && words_[i] != kFill) {
                char buf[96];
                std::snprintf(buf, sizeof buf, "word at (%d, %d) is 0x%08X", x, y, words_[i]);
                return buf;
            }
        }
        return {};
    }
    const std::vector<uint32_t>& Words() const { return words_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t Stride() const { return stride_; }

private:
    int32_t width_, height_, stride_;
    std::vector<uint32_t> words_;
};

inline const char* OpName(BlendOp op)
{
    static const char* const names[] = {"AlphaComposite", "AlphaBlend", "Premultiplied", "Overlay",
                                        "ColorDodge",     "Exclusion",  "Tint",          "ConstantAlpha"};
    return names[static_cast<int>(op)];
}

inline std::vector<Isa> SupportedIsas()
{
    std::vector<Isa> out;
    for (Isa isa : {Isa::Scalar, Isa::Sse2, Isa::Avx2})
        if (IsaSupported(isa))
            out.push_back(isa);
    return out;
}

// Restores the table chosen at start-up when a test ends.
class IsaScope {
public:
    IsaScope() : saved_(ActiveIsa()) {}
    ~IsaScope() { ForceIsa(saved_); }

private:
    Isa saved_;
};

} // namespace kt
