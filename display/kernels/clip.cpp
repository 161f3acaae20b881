// Geometry of a draw: clipping to the target, the destination transform and
// the choice of method by flags. Edge arithmetic is done in 64 bits and what
// does not fit 32 bits is refused.
#include <cmath>
#include <cstdint>

#include "kernels/kernels.h"

namespace Veld::Game::Kernels {

namespace {

// float -> int32 truncation, refusing what is non-finite or out of range.
bool TruncFloat(float v, int32_t& out)
{
    if (!std::isfinite(v) || v <= -2147483904.0f || v >= 2147483648.0f)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

// One axis of the clip. lo/hi are the destination edges, slo/shi the source
// edges, limit the target's size along the axis.
void ClipAxis(int64_t& lo, int64_t& hi, int64_t& slo, int64_t& shi, int64_t limit, bool scaled)
{
    const int64_t d = hi - lo;
    const int64_t s = shi - slo;
    // Source distance for a destination cut: the cut itself, or trunc(s * f)
    // with f = cut / d as a float. The dirty-region clip (AdjustSourceToClip)
    // rounds as trunc(cut * (s / d)) instead; the two differ in the last bit on
    // some ratios and each keeps the rounding its callers have always seen.
    auto move = [&](int64_t cut) -> int64_t {
        if (!scaled)
            return cut;
        const float f = static_cast<float>(cut) / static_cast<float>(d);
        return static_cast<int64_t>(static_cast<float>(s) * f);
    };
    if (lo < 0) {
        slo += move(-lo);
        lo = 0;
    }
    if (hi > limit) {
        shi -= move(hi - limit);
        hi = limit;
    }
}

} // namespace

bool ClipToTarget(int32_t targetWidth, int32_t targetHeight, Rect& dst, Rect& src)
{
    int64_t l = dst.left, t = dst.top, r = dst.right, b = dst.bottom;
    int64_t sl = src.left, st = src.top, sr = src.right, sb = src.bottom;
    const int64_t dw = r - l, dh = b - t, sw = sr - sl, sh = sb - st;
    if (targetWidth < 1 || targetHeight < 1 || dw < 1 || dh < 1 || sw < 1 || sh < 1)
        return false;
    if (b < 1 || r < 1 || t >= targetHeight || l >= targetWidth)
        return false;
    if (!Fits32(dw) || !Fits32(dh) || !Fits32(sw) || !Fits32(sh))
        return false;
    const bool scaled = sw != dw || sh != dh;
    ClipAxis(l, r, sl, sr, targetWidth, scaled);
    ClipAxis(t, b, st, sb, targetHeight, scaled);
    if (r - l < 1 || b - t < 1 || sr - sl < 1 || sb - st < 1)
        return false;
    if (!Fits32(sl) || !Fits32(st) || !Fits32(sr) || !Fits32(sb))
        return false;
    dst = {static_cast<int32_t>(l), static_cast<int32_t>(t), static_cast<int32_t>(r), static_cast<int32_t>(b)};
    src = {static_cast<int32_t>(sl), static_cast<int32_t>(st), static_cast<int32_t>(sr), static_cast<int32_t>(sb)};
    return true;
}

bool TransformDestination(Rect& dst, float scaleX, float scaleY, int32_t pivotX, int32_t pivotY)
{
    if (!std::isfinite(scaleX) || !std::isfinite(scaleY))
        return false;
    const int64_t w64 = static_cast<int64_t>(dst.right) - dst.left;
    const int64_t h64 = static_cast<int64_t>(dst.bottom) - dst.top;
    if (w64 < 1 || h64 < 1)
        return false;
    // The pivot keeps its place: dx is its distance from the left edge after
    // scaling, so the left edge moves by dx and the right edge by the rest.
    const float W = static_cast<float>(w64);
    const float H = static_cast<float>(h64);
    const float sx = (0.5f * W + static_cast<float>(pivotX)) / W;
    const float dx = sx * (1.0f - scaleX) * W;
    const float restX = (1.0f - scaleX) * W - dx;
    const float sy = (0.5f * H + static_cast<float>(pivotY)) / H;
    const float dy = sy * (1.0f - scaleY) * H;
    const float restY = (1.0f - scaleY) * H - dy;
    Rect out;
    if (!TruncFloat(static_cast<float>(dst.left) + dx, out.left) ||
        !TruncFloat(static_cast<float>(dst.right) - restX, out.right) ||
        !TruncFloat(static_cast<float>(dst.top) + dy, out.top) ||
        !TruncFloat(static_cast<float>(dst.bottom) - restY, out.bottom))
        return false;
    dst = out;
    return true;
}

bool PrepareBlit(int32_t targetWidth, int32_t targetHeight, Rect& dst, Rect& src, const Transform* transform)
{
    if (!ClipToTarget(targetWidth, targetHeight, dst, src))
        return false;
    if (!transform)
        return true;
    if (!TransformDestination(dst, transform->scaleX, transform->scaleY, transform->pivotX, transform->pivotY))
        return false;
    // A scale above 1 can reach past the target again.
    return ClipToTarget(targetWidth, targetHeight, dst, src);
}

MethodChoice ChooseMethod(uint32_t flags, uint8_t styleAlpha)
{
    if (flags == 0)
        return {Method::Blt, BlendOp::AlphaBlend, 255};
    if (flags & kFlagColorKey)
        return {Method::ColorKeyBlt, BlendOp::AlphaBlend, 255};
    if (flags & kFlagTint)
        return {Method::Kernel, BlendOp::Tint, styleAlpha};
    const uint8_t alpha = (flags & kFlagConstantAlpha) ? styleAlpha : 255;
    static const struct {
        uint32_t flag;
        BlendOp op;
    } order[] = {{kFlagAlphaComposite, BlendOp::AlphaComposite}, {kFlagAlphaBlend, BlendOp::AlphaBlend},
                 {kFlagPremultiplied, BlendOp::Premultiplied},   {kFlagOverlay, BlendOp::Overlay},
                 {kFlagColorDodge, BlendOp::ColorDodge},         {kFlagExclusion, BlendOp::Exclusion}};
    for (const auto& o : order)
        if (flags & o.flag)
            return {Method::Kernel, o.op, alpha};
    if (flags & kFlagConstantAlpha)
        return {Method::Kernel, BlendOp::ConstantAlpha, styleAlpha};
    return {Method::None, BlendOp::AlphaBlend, 255};
}

} // namespace Veld::Game::Kernels
