// Straight lines for rectangle outlines (Bresenham, both end points).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "kernels/kernels.h"

namespace Veld::Game::Kernels {

void DrawLine(const Surface& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colorref)
{
    if (!target.bits || target.pitch <= 0 || target.width < 1 || target.height < 1)
        return;
    // A line whose bounding box misses the target plots nothing.
    if (std::max(x0, x1) < 0 || std::min(x0, x1) >= target.width || std::max(y0, y1) < 0 ||
        std::min(y0, y1) >= target.height)
        return;
    // COLORREF 0x00BBGGRR into the pixel's blue, green and red bytes.
    const uint32_t rgb = ((colorref & 0xFFu) << 16) | (colorref & 0xFF00u) | ((colorref >> 16) & 0xFFu);
    const int64_t dx = static_cast<int64_t>(x1) - x0;
    const int64_t dy = static_cast<int64_t>(y1) - y0;
    const int64_t adx = dx < 0 ? -dx : dx;
    const int64_t ady = dy < 0 ? -dy : dy;
    const int64_t sx = (dx > 0) - (dx < 0);
    const int64_t sy = (dy > 0) - (dy < 0);
    int64_t x = x0;
    int64_t y = y0;
    auto plot = [&] {
        if (x < 0 || y < 0 || x >= target.width || y >= target.height)
            return;
        auto* p = reinterpret_cast<uint32_t*>(target.bits + static_cast<ptrdiff_t>(y) * target.pitch) + x;
        *p = (*p & 0xFF000000u) | rgb;
    };
    if (adx > ady) {
        int64_t e = 2 * ady - adx;
        for (int64_t i = 0; i <= adx; ++i) {
            plot();
            if (e >= 0) {
                e -= 2 * adx;
                y += sy;
            }
            x += sx;
            e += 2 * ady;
        }
    } else {
        int64_t e = 2 * adx - ady;
        for (int64_t i = 0; i <= ady; ++i) {
            plot();
            if (e >= 0) {
                e -= 2 * ady;
                x += sx;
            }
            y += sy;
            e += 2 * adx;
        }
    }
}

} // namespace Veld::Game::Kernels
