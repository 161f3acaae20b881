// SSE2 rows: four pixels per step, the remainder through the scalar pixel
// steps. Every row gives the same bits as the scalar row.
//
// Identities used (all checked over their whole input range by the tests):
// - x / 255 == (x * 0x8081) >> 23 for 0 <= x <= 65025: Div255 below.
// - n / d by truncated float division is exact for 0 <= n <= 65025 and
//   1 <= d <= 255: a non-integer quotient lies at least 1/255 from the next
//   integer, far more than a float's rounding error (2^-24 relative).
// - Channel products stay below 2^16 where noted, so 16-bit lanes hold them;
//   where a sum may pass 2^16 only its bits 8..15 are kept, which wrap alike.
#include <emmintrin.h>

#include "kernel_table.h"
#include "pixel_ops.h"

namespace Veld::Game::Kernels {

namespace {

using V = __m128i;
constexpr int kStep = 4;

inline V Load(const uint32_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const V*>(p));
}
inline void Store(uint32_t* p, V v)
{
    _mm_storeu_si128(reinterpret_cast<V*>(p), v);
}
inline V Set16(int v)
{
    return _mm_set1_epi16(static_cast<short>(v));
}
inline V Set32(uint32_t v)
{
    return _mm_set1_epi32(static_cast<int>(v));
}
inline V Select(V mask, V a, V b)
{
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
inline V Lo16(V p)
{
    return _mm_unpacklo_epi8(p, _mm_setzero_si128());
}
inline V Hi16(V p)
{
    return _mm_unpackhi_epi8(p, _mm_setzero_si128());
}
inline V Pack(V lo, V hi)
{
    return _mm_packus_epi16(lo, hi);
}
inline bool AllSet(V mask)
{
    return _mm_movemask_epi8(mask) == 0xFFFF;
}
inline V Zero()
{
    return _mm_setzero_si128();
}
// Lanes whose source alpha is below thr32.
inline V SkipMask(V s, V thr32)
{
    return _mm_cmpgt_epi32(thr32, _mm_srli_epi32(s, 24));
}
inline V Div255(V x)
{
    return _mm_srli_epi16(_mm_mulhi_epu16(x, Set16(0x8081)), 7);
}
// Per-pixel 32-bit value (below 2^16) into the four 16-bit channel lanes of
// each pixel: low half for pixels 0-1, high half for pixels 2-3.
inline V SpreadLo(V v32)
{
    const V dup = _mm_or_si128(v32, _mm_slli_epi32(v32, 16));
    return _mm_unpacklo_epi32(dup, dup);
}
inline V SpreadHi(V v32)
{
    const V dup = _mm_or_si128(v32, _mm_slli_epi32(v32, 16));
    return _mm_unpackhi_epi32(dup, dup);
}

// Products of 32-bit lanes whose values and product fit 16 bits.
inline V Mul32Small(V a, V b)
{
    return _mm_mullo_epi16(a, b);
}

// ((x & M) + (y & M)) >> 8 where M clears the low byte of the blue lane: red
// and green round once over the sum, blue truncates each term. A sum past
// 2^16 drops bit 16 only, so the result is the low 8 bits of the exact one.
inline V SumShift(V x, V y)
{
    const V m = _mm_set_epi16(-1, -1, -1, -256, -1, -1, -1, -256);
    return _mm_srli_epi16(_mm_add_epi16(_mm_and_si128(x, m), _mm_and_si128(y, m)), 8);
}

// WeightedRgb on 16-bit lanes: S*w + D*(256-w), at most 255*256.
inline V WeightedHalf(V s16, V d16, V w16)
{
    return SumShift(_mm_mullo_epi16(s16, w16), _mm_mullo_epi16(d16, _mm_sub_epi16(Set16(256), w16)));
}

inline V Weighted(V s, V d, V w32)
{
    return Pack(WeightedHalf(Lo16(s), Lo16(d), SpreadLo(w32)), WeightedHalf(Hi16(s), Hi16(d), SpreadHi(w32)));
}

inline V CompositeQuad(V s, V d, V alpha32)
{
    const V c255 = Set32(255);
    const V da = _mm_srli_epi32(d, 24);
    const V a = Div255(Mul32Small(_mm_srli_epi32(s, 24), alpha32));
    const V A = _mm_add_epi32(da, Div255(Mul32Small(_mm_sub_epi32(c255, da), a)));
    // A == 0 only for skipped pixels; divide by 1 there instead (A < 2^16,
    // so a 16-bit max leaves the high halves zero).
    const V Asafe = _mm_max_epi16(A, Set32(1));
    const V n = Mul32Small(a, c255);
    const V w = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(n), _mm_cvtepi32_ps(Asafe)));
    const V rgb = _mm_and_si128(Weighted(s, d, w), Set32(0x00FFFFFF));
    return _mm_or_si128(rgb, _mm_slli_epi32(A, 24));
}

inline V BlendQuad(V s, V d, V alpha32, bool divide)
{
    const V prod = Mul32Small(_mm_srli_epi32(s, 24), alpha32);
    const V w = divide ? Div255(prod) : _mm_srli_epi32(prod, 8);
    const V rgb = _mm_and_si128(Weighted(s, d, w), Set32(0x00FFFFFF));
    return rgb;
}

// Premultiplied: D*(255-w) + S*f per channel, low 8 bits kept (SumShift).
inline V PremulHalf(V s16, V d16, V v16, V f16)
{
    return SumShift(_mm_mullo_epi16(d16, v16), _mm_mullo_epi16(s16, f16));
}

inline V PremulQuad(V s, V d, V alpha32, bool depth16)
{
    const V w = _mm_srli_epi32(Mul32Small(_mm_srli_epi32(s, 24), alpha32), 8);
    const V v = _mm_sub_epi32(Set32(255), w);
    const V f = depth16 ? w : alpha32;
    const V out = Pack(PremulHalf(Lo16(s), Lo16(d), SpreadLo(v), SpreadLo(f)),
                       PremulHalf(Hi16(s), Hi16(d), SpreadHi(v), SpreadHi(f)));
    return _mm_and_si128(out, Set32(0x00FFFFFF));
}

// Overlay: d < 128: (2*d*s) >> 8 (at most 2*127*254 < 2^16);
// else 255 - ((2*(255-d)*(255-s)) >> 8) (at most 2*127*255 < 2^16).
// Lanes of the other case may wrap; they are not selected.
inline V OverlayHalf(V s16, V d16)
{
    const V c255 = Set16(255);
    const V lo = _mm_srli_epi16(_mm_slli_epi16(_mm_mullo_epi16(d16, s16), 1), 8);
    const V inv = _mm_mullo_epi16(_mm_sub_epi16(c255, d16), _mm_sub_epi16(c255, s16));
    const V hi = _mm_sub_epi16(c255, _mm_srli_epi16(_mm_slli_epi16(inv, 1), 8));
    return Select(_mm_cmpgt_epi16(d16, Set16(127)), hi, lo);
}

// ColorDodge: min(255, d*255 / (255-s)). The mode scales s by alpha first,
// so s <= 254 here and the divisor is 1 to 255 (the scalar step's s >= 255
// case never arises).
inline V DodgeHalf(V s16, V d16)
{
    const V zero = _mm_setzero_si128();
    const V c255 = Set16(255);
    const V den = _mm_sub_epi16(c255, s16);
    const V num = _mm_mullo_epi16(d16, c255);
    const __m128 qlo =
        _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(num, zero)), _mm_cvtepi32_ps(_mm_unpacklo_epi16(den, zero)));
    const __m128 qhi =
        _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(num, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(den, zero)));
    // Quotients up to 65025 saturate to 32767 here, then clamp to 255.
    return _mm_min_epi16(_mm_packs_epi32(_mm_cvttps_epi32(qlo), _mm_cvttps_epi32(qhi)), c255);
}

// Exclusion: 255 - (255-d)*(255-s)/255 - d*s/255, products <= 65025.
inline V ExclusionHalf(V s16, V d16)
{
    const V c255 = Set16(255);
    const V a = Div255(_mm_mullo_epi16(_mm_sub_epi16(c255, d16), _mm_sub_epi16(c255, s16)));
    const V b = Div255(_mm_mullo_epi16(d16, s16));
    return _mm_sub_epi16(_mm_sub_epi16(c255, a), b);
}

enum Mode { kOverlay, kDodge, kExclusion };

template <Mode M> inline V ModeHalf(V s16, V d16, V alpha16)
{
    const V s = _mm_srli_epi16(_mm_mullo_epi16(s16, alpha16), 8);
    if (M == kOverlay)
        return OverlayHalf(s, d16);
    if (M == kDodge)
        return DodgeHalf(s, d16);
    return ExclusionHalf(s, d16);
}

template <Mode M> inline V ModeQuad(V s, V d, V alpha16)
{
    const V out = Pack(ModeHalf<M>(Lo16(s), Lo16(d), alpha16), ModeHalf<M>(Hi16(s), Hi16(d), alpha16));
    return _mm_and_si128(out, Set32(0x00FFFFFF));
}

// D + floor((S-D)*alpha/256) == (D*(256-alpha) + S*alpha) >> 8, since D*256/256
// is whole; the sum is at most 255*256.
inline V ConstAlphaHalf(V s16, V d16, V alpha16)
{
    const V sum =
        _mm_add_epi16(_mm_mullo_epi16(d16, _mm_sub_epi16(Set16(256), alpha16)), _mm_mullo_epi16(s16, alpha16));
    return _mm_srli_epi16(sum, 8);
}

inline V ConstAlphaQuad(V s, V d, V alpha16)
{
    const V out = Pack(ConstAlphaHalf(Lo16(s), Lo16(d), alpha16), ConstAlphaHalf(Hi16(s), Hi16(d), alpha16));
    return Select(Set32(0xFF000000u), d, out);
}

#include "simd_rows.h"

ENGINE_ROW(CompositeRow, CompositeQuad(sv, dv, alpha32), CompositePixel(s[i], d[i], alpha), 255)
ENGINE_ROW(BlendShiftRow, BlendQuad(sv, dv, alpha32, false), BlendShiftPixel(s[i], d[i], alpha), 256)
ENGINE_ROW(BlendDivRow, BlendQuad(sv, dv, alpha32, true), BlendDivPixel(s[i], d[i], alpha), 255)
ENGINE_ROW(PremulRow, PremulQuad(sv, dv, alpha32, false), PremulPixel(s[i], d[i], alpha, false), 256)
ENGINE_ROW(Premul16Row, PremulQuad(sv, dv, alpha32, true), PremulPixel(s[i], d[i], alpha, true), 256)
ENGINE_ROW(OverlayRow, ModeQuad<kOverlay>(sv, dv, alpha16), OverlayPixel(s[i], d[i], alpha), 256)
ENGINE_ROW(DodgeRow, ModeQuad<kDodge>(sv, dv, alpha16), DodgePixel(s[i], d[i], alpha), 256)
ENGINE_ROW(ExclusionRow, ModeQuad<kExclusion>(sv, dv, alpha16), ExclusionPixel(s[i], d[i], alpha), 256)
#undef ENGINE_ROW

void ConstAlphaRow(uint32_t* d, const uint32_t* s, int32_t n, uint32_t alpha)
{
    ConstAlphaFrame(d, s, n, alpha, ConstAlphaQuad);
}

} // namespace

RowOverrides Sse2Overrides()
{
    RowOverrides o{};
    o.rows[kRowComposite] = CompositeRow;
    o.rows[kRowBlendShift] = BlendShiftRow;
    o.rows[kRowBlendDiv] = BlendDivRow;
    o.rows[kRowPremul] = PremulRow;
    o.rows[kRowPremul16] = Premul16Row;
    o.rows[kRowOverlay] = OverlayRow;
    o.rows[kRowDodge] = DodgeRow;
    o.rows[kRowExclusion] = ExclusionRow;
    o.rows[kRowConstAlpha] = ConstAlphaRow;
    return o;
}

} // namespace Veld::Game::Kernels
