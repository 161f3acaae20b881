#include "DirtyRegion.h"

#include <algorithm>
#include <cmath>

namespace Veld::Game {

namespace {

using Kernels::Fits32;

// trunc(cut * ratio) with the product held as a float, as a 64-bit count.
// The target clip (Kernels::ClipToTarget) scales as trunc(s * (cut / d)); see
// there why the two formulas stay apart.
bool ScaledCut(int64_t cut, float ratio, int64_t& out)
{
    const float moved = static_cast<float>(cut) * ratio;
    if (!std::isfinite(moved) || std::fabs(moved) >= 9.0e18f)
        return false;
    out = static_cast<int64_t>(moved);
    return true;
}

} // namespace

bool IntersectRects(const Rect& a, const Rect& b, Rect& out)
{
    const int32_t left = std::max(a.left, b.left);
    const int32_t top = std::max(a.top, b.top);
    const int32_t right = std::min(a.right, b.right);
    const int32_t bottom = std::min(a.bottom, b.bottom);
    // 64 bits: right - left of extreme edges overflows 32.
    if (static_cast<int64_t>(right) - left <= 0 || static_cast<int64_t>(bottom) - top <= 0)
        return false;
    out = {left, top, right, bottom};
    return true;
}

bool CDirtyRectList::ClipToDirtyRegion(const Rect& request, Rect& out) const
{
    // Called for every draw: the box grows as the hits come, nothing is kept.
    size_t hits = 0;
    Rect box{};
    for (const Rect& d : m_listRects) {
        Rect hit;
        if (!IntersectRects(request, d, hit))
            continue;
        if (++hits > kMaxHits) {
            out = request;
            return true;
        }
        if (hits == 1) {
            box = hit;
            continue;
        }
        box.left = std::min(box.left, hit.left);
        box.top = std::min(box.top, hit.top);
        box.right = std::max(box.right, hit.right);
        box.bottom = std::max(box.bottom, hit.bottom);
    }
    if (hits == 0)
        return false;
    out = box;
    return true;
}

bool MakeRect(int64_t left, int64_t top, int64_t right, int64_t bottom, Rect& out)
{
    if (!Fits32(left) || !Fits32(top) || !Fits32(right) || !Fits32(bottom))
        return false;
    out = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
           static_cast<int32_t>(bottom)};
    return true;
}

bool AdjustSourceToClip(const Rect& dst, const Rect& out, Rect& src)
{
    const int64_t dw = static_cast<int64_t>(dst.right) - dst.left;
    const int64_t dh = static_cast<int64_t>(dst.bottom) - dst.top;
    const int64_t sw = static_cast<int64_t>(src.right) - src.left;
    const int64_t sh = static_cast<int64_t>(src.bottom) - src.top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || !Fits32(dw) || !Fits32(dh) || !Fits32(sw) || !Fits32(sh))
        return false;
    const float rx = static_cast<float>(sw) / static_cast<float>(dw);
    const float ry = static_cast<float>(sh) / static_cast<float>(dh);
    int64_t left = src.left, top = src.top, right = src.right, bottom = src.bottom;
    int64_t moved = 0;
    if (out.left > dst.left) {
        if (!ScaledCut(static_cast<int64_t>(out.left) - dst.left, rx, moved))
            return false;
        left += moved;
    }
    if (dst.right > out.right) {
        if (!ScaledCut(static_cast<int64_t>(dst.right) - out.right, rx, moved))
            return false;
        right -= moved;
    }
    if (out.top > dst.top) {
        if (!ScaledCut(static_cast<int64_t>(out.top) - dst.top, ry, moved))
            return false;
        top += moved;
    }
    if (dst.bottom > out.bottom) {
        if (!ScaledCut(static_cast<int64_t>(dst.bottom) - out.bottom, ry, moved))
            return false;
        bottom -= moved;
    }
    return MakeRect(left, top, right, bottom, src);
}

} // namespace Veld::Game
