// Rotation of one image into another in 16.16 fixed point, visiting only the
// spans of each row that the rotated source covers.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "kernel_table.h"

namespace Veld::Game::Kernels {

namespace {

class Rotation {
public:
    Rotation(const Surface& dst, const Surface& src, int32_t ux, int32_t vx, int32_t uy, int32_t vy, int32_t u0,
             int32_t v0)
        : dst_(dst), src_(src), ux_(ux), vx_(vx), uy_(uy), vy_(vy), u0_(u0), v0_(v0)
    {
    }

    void Run()
    {
        const int32_t y0 = static_cast<int32_t>(src_.height * 0.5);
        const int32_t x0 = static_cast<int32_t>(src_.width * 0.5);
        int32_t startL, startR;
        if (!Search(y0, x0, x0, startL, startR))
            return;
        if (y0 < dst_.height) {
            Copy(y0, startL, startR);
            int32_t l = startL, r = startR;
            for (int32_t y = y0 + 1; y < dst_.height; ++y) {
                if (!Search(y, l, r, l, r))
                    break;
                Copy(y, l, r);
            }
        }
        int32_t l = startL, r = startR;
        for (int32_t y = y0 - 1; y >= 0; --y) {
            if (!Search(y, l, r, l, r))
                break;
            if (y < dst_.height)
                Copy(y, l, r);
        }
    }

private:
    // u = u0 + X*ux + Y*uy and v likewise, in wrapping 32-bit arithmetic.
    void Position(int32_t x, int32_t y, int32_t& u, int32_t& v) const
    {
        const uint32_t ux = static_cast<uint32_t>(u0_) + static_cast<uint32_t>(x) * static_cast<uint32_t>(ux_) +
                            static_cast<uint32_t>(y) * static_cast<uint32_t>(uy_);
        const uint32_t vy = static_cast<uint32_t>(v0_) + static_cast<uint32_t>(x) * static_cast<uint32_t>(vx_) +
                            static_cast<uint32_t>(y) * static_cast<uint32_t>(vy_);
        u = static_cast<int32_t>(ux);
        v = static_cast<int32_t>(vy);
    }
    bool Inside(int32_t u, int32_t v) const
    {
        return u >= 0 && v >= 0 && (u >> 16) < src_.width && (v >> 16) < src_.height;
    }
    bool Passes(int32_t x, int32_t y) const
    {
        int32_t u, v;
        Position(x, y, u, v);
        return Inside(u, v);
    }

    // Span [outL, outR) of row y found from the reference span [L, R).
    bool Search(int32_t y, int32_t L, int32_t R, int32_t& outL, int32_t& outR) const
    {
        int32_t left = L - 1;
        while (left <= R && !Passes(left, y))
            ++left;
        if (left > R)
            return false;
        if (left == L - 1)
            while (Passes(left - 1, y))
                --left;
        int32_t r = std::max(R, left);
        if (Passes(r, y)) {
            while (Passes(r + 1, y))
                ++r;
            ++r;
        } else {
            while (!Passes(r - 1, y))
                --r;
        }
        outL = left;
        outR = r;
        return true;
    }

    void Copy(int32_t y, int32_t l, int32_t r) const
    {
        const int32_t from = std::max(l, 0);
        const int32_t to = std::min(r, dst_.width);
        if (from >= to)
            return;
        auto* d = reinterpret_cast<uint32_t*>(dst_.bits + static_cast<ptrdiff_t>(y) * dst_.pitch);
        int32_t u, v;
        Position(from, y, u, v);
        for (int32_t x = from; x < to; ++x) {
            // Every column of a span passes unless the positions wrapped.
            if (Inside(u, v)) {
                const auto* s =
                    reinterpret_cast<const uint32_t*>(src_.bits + static_cast<ptrdiff_t>(v >> 16) * src_.pitch);
                d[x] = s[u >> 16];
            }
            u = static_cast<int32_t>(static_cast<uint32_t>(u) + static_cast<uint32_t>(ux_));
            v = static_cast<int32_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(vx_));
        }
    }

    const Surface& dst_;
    const Surface& src_;
    int32_t ux_, vx_, uy_, vy_, u0_, v0_;
};

bool ToFixed(double v, int32_t& out)
{
    const double f = 65536.0 * v;
    if (!std::isfinite(f) || f <= -2147483649.0 || f >= 2147483648.0)
        return false;
    out = static_cast<int32_t>(f);
    return true;
}

} // namespace

bool Rotate(const Surface& dst, const Surface& src, int16_t angle, double x, double y)
{
    if (!SurfaceUsable(dst) || !SurfaceUsable(src))
        return false;
    const double theta = (static_cast<int32_t>(angle) - 90) * 0.017453292222222222;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    int32_t ux, vx, uy, vy, u0, v0;
    if (!ToFixed(c, ux) || !ToFixed(s, vx) || !ToFixed(-s, uy) || !ToFixed(c, vy) || !ToFixed(x + y * s - x * c, u0) ||
        !ToFixed(y - y * c - x * s, v0))
        return false;
    for (int32_t j = 0; j < dst.height; ++j)
        std::memset(dst.bits + static_cast<ptrdiff_t>(j) * dst.pitch, 0, 4 * static_cast<size_t>(dst.width));
    if (src.width == 0 || src.height == 0)
        return true;
    Rotation(dst, src, ux, vx, uy, vy, u0, v0).Run();
    return true;
}

} // namespace Veld::Game::Kernels
