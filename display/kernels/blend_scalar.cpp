// Scalar blend kernels: the straightforward frames that every table is checked
// against, and the scalar rows that the tables start from.
#include <algorithm>
#include <cstddef>

#include "kernel_table.h"
#include "pixel_ops.h"

namespace Veld::Game::Kernels {

bool SurfaceUsable(const Surface& s)
{
    return s.bits != nullptr && s.width >= 0 && s.height >= 0 && s.pitch > 0 && s.pitch % 4 == 0 &&
           static_cast<int64_t>(s.pitch) >= 4 * static_cast<int64_t>(s.width) &&
           reinterpret_cast<uintptr_t>(s.bits) % 4 == 0;
}

bool RectInside(const Rect& r, const Surface& s)
{
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= s.width &&
           r.bottom <= s.height;
}

namespace {

uint32_t* PixelAt(const Surface& s, int32_t x, int32_t y)
{
    return reinterpret_cast<uint32_t*>(s.bits + static_cast<ptrdiff_t>(y) * s.pitch) + x;
}

struct PixelStep {
    BlendOp op;
    bool scaled;
    uint32_t alpha;
    bool depth16;
    TintWeights tint;
    uint32_t tr, tg, tb;

    uint32_t operator()(uint32_t s, uint32_t d) const
    {
        switch (op) {
        case BlendOp::AlphaComposite: return CompositePixel(s, d, alpha);
        case BlendOp::AlphaBlend: return scaled ? BlendDivPixel(s, d, alpha) : BlendShiftPixel(s, d, alpha);
        case BlendOp::Premultiplied: return PremulPixel(s, d, alpha, depth16);
        case BlendOp::Overlay: return OverlayPixel(s, d, alpha);
        case BlendOp::ColorDodge: return DodgePixel(s, d, alpha);
        case BlendOp::Exclusion: return ExclusionPixel(s, d, alpha);
        case BlendOp::Tint: return TintPixel(s, d, tint, tr, tg, tb);
        case BlendOp::ConstantAlpha: return ConstAlphaPixel(s, d, alpha);
        }
        return d;
    }
};

template <RowOp Op> void ScalarRow(uint32_t* d, const uint32_t* s, int32_t n, uint32_t alpha)
{
    for (int32_t i = 0; i < n; ++i) {
        switch (Op) {
        case kRowComposite: d[i] = CompositePixel(s[i], d[i], alpha); break;
        case kRowBlendShift: d[i] = BlendShiftPixel(s[i], d[i], alpha); break;
        case kRowBlendDiv: d[i] = BlendDivPixel(s[i], d[i], alpha); break;
        case kRowPremul: d[i] = PremulPixel(s[i], d[i], alpha, false); break;
        case kRowPremul16: d[i] = PremulPixel(s[i], d[i], alpha, true); break;
        case kRowOverlay: d[i] = OverlayPixel(s[i], d[i], alpha); break;
        case kRowDodge: d[i] = DodgePixel(s[i], d[i], alpha); break;
        case kRowExclusion: d[i] = ExclusionPixel(s[i], d[i], alpha); break;
        case kRowConstAlpha: d[i] = ConstAlphaPixel(s[i], d[i], alpha); break;
        default: break;
        }
    }
}

} // namespace

KernelTable ScalarTable()
{
    KernelTable t{};
    t.rows[kRowComposite] = ScalarRow<kRowComposite>;
    t.rows[kRowBlendShift] = ScalarRow<kRowBlendShift>;
    t.rows[kRowBlendDiv] = ScalarRow<kRowBlendDiv>;
    t.rows[kRowPremul] = ScalarRow<kRowPremul>;
    t.rows[kRowPremul16] = ScalarRow<kRowPremul16>;
    t.rows[kRowOverlay] = ScalarRow<kRowOverlay>;
    t.rows[kRowDodge] = ScalarRow<kRowDodge>;
    t.rows[kRowExclusion] = ScalarRow<kRowExclusion>;
    t.rows[kRowConstAlpha] = ScalarRow<kRowConstAlpha>;
    return t;
}

bool BlendReference(BlendOp op, const Surface& target, const Rect& dst, const Surface& source, const Rect& src,
                    const BlendParams& params)
{
    if (!SurfaceUsable(target) || !SurfaceUsable(source) || !RectInside(src, source))
        return false;
    const int32_t sw = src.right - src.left;
    const int32_t sh = src.bottom - src.top;
    PixelStep step{op,
                   false,
                   params.alpha,
                   params.depth16,
                   MakeTintWeights(params.alpha),
                   Chan(params.tint, 0),
                   Chan(params.tint, 8),
                   Chan(params.tint, 16)};

    if (op == BlendOp::ConstantAlpha) {
        // The source's size at the destination's corner, cut at the target.
        if (dst.left < 0 || dst.top < 0 || dst.left >= target.width || dst.top >= target.height)
            return false;
        const int32_t w = std::min(sw, target.width - dst.left);
        const int32_t h = std::min(sh, target.height - dst.top);
        for (int32_t j = 0; j < h; ++j)
            for (int32_t i = 0; i < w; ++i) {
                uint32_t* d = PixelAt(target, dst.left + i, dst.top + j);
                *d = step(*PixelAt(source, src.left + i, src.top + j), *d);
            }
        return true;
    }

    if (!RectInside(dst, target))
        return false;
    const int32_t dw = dst.right - dst.left;
    const int32_t dh = dst.bottom - dst.top;

    if (op != BlendOp::Tint && dw == sw && dh == sh) {
        for (int32_t j = 0; j < dh; ++j)
            for (int32_t i = 0; i < dw; ++i) {
                uint32_t* d = PixelAt(target, dst.left + i, dst.top + j);
                *d = step(*PixelAt(source, src.left + i, src.top + j), *d);
            }
        return true;
    }

    // Nearest sample. The column accumulator carries its fraction from row to
    // row. A float ratio just below sw/dw can step one past the source's last
    // column or row: the sample is clamped to the rectangle.
    step.scaled = true;
    const float rx = static_cast<float>(sw) / static_cast<float>(dw);
    const float ry = static_cast<float>(sh) / static_cast<float>(dh);
    float ax = 0.0f;
    float ay = 0.0f;
    int32_t srow = src.top;
    for (int32_t j = 0; j < dh; ++j) {
        const int32_t k = SampleStep(ay, ry);
        const int32_t y = std::min(srow, src.bottom - 1);
        int32_t scol = src.left;
        for (int32_t i = 0; i < dw; ++i) {
            uint32_t* d = PixelAt(target, dst.left + i, dst.top + j);
            *d = step(*PixelAt(source, std::min(scol, src.right - 1), y), *d);
            scol += SampleStep(ax, rx);
        }
        srow += k;
    }
    return true;
}

} // namespace Veld::Game::Kernels
