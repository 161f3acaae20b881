// The table-driven blend frame: rows come from a kernel table. The scaled
// path steps exactly like the reference, but computes each row's source
// columns once per column-accumulator start value, gathers the sampled pixels
// into a contiguous row and hands that to the 1:1 row.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "kernel_table.h"

namespace Veld::Game::Kernels {

namespace {

uint32_t* RowAt(const Surface& s, int32_t y)
{
    return reinterpret_cast<uint32_t*>(s.bits + static_cast<ptrdiff_t>(y) * s.pitch);
}

RowOp RowFor(BlendOp op, bool scaled, bool depth16)
{
    switch (op) {
    case BlendOp::AlphaComposite: return kRowComposite;
    case BlendOp::AlphaBlend: return scaled ? kRowBlendDiv : kRowBlendShift;
    case BlendOp::Premultiplied: return depth16 ? kRowPremul16 : kRowPremul;
    case BlendOp::Overlay: return kRowOverlay;
    case BlendOp::ColorDodge: return kRowDodge;
    case BlendOp::Exclusion: return kRowExclusion;
    case BlendOp::ConstantAlpha: return kRowConstAlpha;
    case BlendOp::Tint: break;
    }
    return kRowOpCount;
}

// Source columns of one destination row for a given start value of the column
// accumulator, and the accumulator's value after the row.
struct ColumnRun {
    uint32_t startBits = 0;
    uint32_t id = 0; // unique per computed run
    float end = 0.0f;
    bool valid = false;
    bool doubled = false; // cols[i] == cols[0] + i / 2 (2x upscaling)
    std::vector<int32_t> cols;
};

// Buffers of the scaled path, kept from call to call: small scaled draws
// would otherwise spend most of their time allocating.
struct ScaledScratch {
    ColumnRun runs[4];
    std::vector<float> starts;
    std::vector<uint32_t> gathered;
};

ScaledScratch& Scratch()
{
    thread_local ScaledScratch scratch;
    return scratch;
}

class ColumnCache {
public:
    ColumnCache(ScaledScratch& scratch, int32_t dw, float rx, int32_t left, int32_t last)
        : runs_(scratch.runs), starts_(scratch.starts), dw_(dw), rx_(rx), left_(left), last_(last)
    {
        for (int i = 0; i < kWays; ++i)
            runs_[i].valid = false;
    }

    // Index of the run for start value ax (computed on a miss). The
    // accumulator's next value depends on its value alone, so once it comes
    // back to the start value after k steps the columns repeat, k further on.
    int Lookup(float ax)
    {
        uint32_t bits;
        std::memcpy(&bits, &ax, sizeof bits);
        for (int i = 0; i < kWays; ++i)
            if (runs_[i].valid && runs_[i].startBits == bits)
                return i;
        const int slot = next_;
        next_ = (next_ + 1) % kWays;
        ColumnRun& run = runs_[slot];
        run.cols.resize(static_cast<size_t>(dw_));
        starts_.resize(static_cast<size_t>(dw_) + 1);
        int32_t* cols = run.cols.data();
        int32_t scol = left_;
        int32_t period = 0;
        for (int32_t i = 0; i < dw_; ++i) {
            starts_[static_cast<size_t>(i)] = ax;
            cols[i] = scol;
            scol += SampleStep(ax, rx_);
            uint32_t now;
            std::memcpy(&now, &ax, sizeof now);
            if (now == bits) {
                period = i + 1;
                break;
            }
        }
        if (period > 0) {
            // Copy the columns known so far (a whole number of periods) after
            // themselves, doubling each time; each copy is independent work.
            const int32_t shift = scol - left_;
            for (int32_t have = period, step = shift; have < dw_; have *= 2, step *= 2) {
                const int32_t count = std::min(have, dw_ - have);
                for (int32_t i = 0; i < count; ++i)
                    cols[have + i] = cols[i] + step;
            }
            ax = starts_[static_cast<size_t>(dw_ % period)];
        }
        // Columns never decrease: only a tail can pass the last one.
        for (int32_t i = dw_ - 1; i >= 0 && cols[i] > last_; --i)
            cols[i] = last_;
        run.doubled = true;
        for (int32_t i = 0; i < dw_ && run.doubled; ++i)
            run.doubled = cols[i] == cols[0] + i / 2;
        run.startBits = bits;
        run.end = ax;
        run.valid = true;
        run.id = ++lastId_;
        return slot;
    }
    const ColumnRun& Run(int i) const { return runs_[i]; }

private:
    static constexpr int kWays = 4;
    ColumnRun* runs_;
    std::vector<float>& starts_;
    int next_ = 0;
    uint32_t lastId_ = 0;
    int32_t dw_;
    float rx_;
    int32_t left_;
    int32_t last_;
};

// Memory of one surface overlaps the other's: a draw from an image into
// itself must see pixels in the reference's order, so it goes scalar.
bool Overlap(const Surface& a, const Surface& b)
{
    const auto a0 = reinterpret_cast<uintptr_t>(a.bits);
    const auto b0 = reinterpret_cast<uintptr_t>(b.bits);
    const uintptr_t a1 = a0 + static_cast<uintptr_t>(a.pitch) * static_cast<uintptr_t>(a.height);
    const uintptr_t b1 = b0 + static_cast<uintptr_t>(b.pitch) * static_cast<uintptr_t>(b.height);
    return a0 < b1 && b0 < a1;
}

} // namespace

bool BlendWithTable(const KernelTable& table, BlendOp op, const Surface& target, const Rect& dst, const Surface& source,
                    const Rect& src, const BlendParams& params)
{
    if (op == BlendOp::Tint || Overlap(target, source))
        return BlendReference(op, target, dst, source, src, params);
    if (!SurfaceUsable(target) || !SurfaceUsable(source) || !RectInside(src, source))
        return false;
    const int32_t sw = src.right - src.left;
    const int32_t sh = src.bottom - src.top;
    const uint32_t alpha = params.alpha;

    if (op == BlendOp::ConstantAlpha) {
        if (dst.left < 0 || dst.top < 0 || dst.left >= target.width || dst.top >= target.height)
            return false;
        const int32_t w = std::min(sw, target.width - dst.left);
        const int32_t h = std::min(sh, target.height - dst.top);
        const RowFn row = table.rows[kRowConstAlpha];
        for (int32_t j = 0; j < h; ++j)
            row(RowAt(target, dst.top + j) + dst.left, RowAt(source, src.top + j) + src.left, w, alpha);
        return true;
    }

    if (!RectInside(dst, target))
        return false;
    const int32_t dw = dst.right - dst.left;
    const int32_t dh = dst.bottom - dst.top;

    if (dw == sw && dh == sh) {
        const RowFn row = table.rows[RowFor(op, false, params.depth16)];
        for (int32_t j = 0; j < dh; ++j)
            row(RowAt(target, dst.top + j) + dst.left, RowAt(source, src.top + j) + src.left, dw, alpha);
        return true;
    }

    const RowFn row = table.rows[RowFor(op, true, params.depth16)];
    const float rx = static_cast<float>(sw) / static_cast<float>(dw);
    const float ry = static_cast<float>(sh) / static_cast<float>(dh);
    ScaledScratch& scratch = Scratch();
    ColumnCache cache(scratch, dw, rx, src.left, src.right - 1);
    std::vector<uint32_t>& gathered = scratch.gathered;
    gathered.resize(static_cast<size_t>(dw));
    uint32_t gatheredId = 0;
    int32_t gatheredRow = -1;
    float ax = 0.0f;
    float ay = 0.0f;
    int32_t srow = src.top;
    for (int32_t j = 0; j < dh; ++j) {
        const int32_t k = SampleStep(ay, ry);
        const int32_t y = std::min(srow, src.bottom - 1);
        const ColumnRun& r = cache.Run(cache.Lookup(ax));
        ax = r.end;
        // Upscaled rows repeat: gather again only when row or columns change.
        if (r.id != gatheredId || y != gatheredRow) {
            const uint32_t* s = RowAt(source, y);
            uint32_t* g = gathered.data();
            if (r.doubled) {
                const uint32_t* from = s + r.cols[0];
                int32_t i = 0;
#ifdef __SSE2__
                // Four source pixels give eight; reads stay below from[dw / 2].
                for (; i + 8 <= dw; i += 8) {
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i / 2));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(g + i), _mm_unpacklo_epi32(v, v));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(g + i + 4), _mm_unpackhi_epi32(v, v));
                }
#endif
                for (; i + 1 < dw; i += 2)
                    g[i] = g[i + 1] = from[i / 2];
                if (dw % 2 != 0)
                    g[dw - 1] = from[dw / 2];
            } else {
                const int32_t* cols = r.cols.data();
                for (int32_t i = 0; i < dw; ++i)
                    g[i] = s[cols[i]];
            }
            gatheredId = r.id;
            gatheredRow = y;
        }
        row(RowAt(target, dst.top + j) + dst.left, gathered.data(), dw, alpha);
        srow += k;
    }
    return true;
}

} // namespace Veld::Game::Kernels
