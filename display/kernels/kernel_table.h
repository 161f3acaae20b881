// Kernel rows and the table that holds them. A row blends n pixels of s into
// d with the constant alpha; the frames (1:1, scaled, constant alpha) call one
// row per destination row. SIMD files override rows they speed up.
#pragma once

#include <cstdint>

#include "kernels/kernels.h"

namespace Veld::Game::Kernels {

enum RowOp : int {
    kRowComposite,
    kRowBlendShift, // AlphaBlend 1:1
    kRowBlendDiv,   // AlphaBlend scaled
    kRowPremul,
    kRowPremul16, // Premultiplied on a 16-bit screen
    kRowOverlay,
    kRowDodge,
    kRowExclusion,
    kRowConstAlpha,
    kRowOpCount
};

using RowFn = void (*)(uint32_t* d, const uint32_t* s, int32_t n, uint32_t alpha);

struct KernelTable {
    RowFn rows[kRowOpCount];
};

// Rows a SIMD file provides; null entries keep the inherited row.
struct RowOverrides {
    RowFn rows[kRowOpCount];
};

KernelTable ScalarTable();
RowOverrides Sse2Overrides();
RowOverrides Avx2Overrides(); // empty when the build has no AVX2 file

const KernelTable& TableFor(Isa isa);
const KernelTable& ActiveTable();

// The table-driven frame behind Blend.
bool BlendWithTable(const KernelTable& table, BlendOp op, const Surface& target, const Rect& dst, const Surface& source,
                    const Rect& src, const BlendParams& params);

// Nearest-sample stepping, shared by the scalar and the table frame so that
// both pick the same source pixels: the accumulator keeps the fraction of the
// position (the column accumulator carries it from row to row); returns the
// whole source pixels one destination pixel advances.
inline int32_t SampleStep(float& acc, float ratio)
{
    acc += ratio;
    const int32_t whole = static_cast<int32_t>(acc);
    acc -= static_cast<float>(whole);
    return whole;
}

// Checks shared by both frames.
bool SurfaceUsable(const Surface& s);
bool RectInside(const Rect& r, const Surface& s);

} // namespace Veld::Game::Kernels
