// SSE2 rows: four pixels per step, the remainder through the scalar pixel
// steps. Every row gives the same bits as the scalar row.
//
// Identities used (all checked over their whole input range by the tests):
// - x / 255 == (x * 0x8081) >> 23 for 0 <= x <= 65025: Div255 below.
// - n / d by truncated float division is exact for 0 <= n <= 65025 and
//   1 <= d <= 255: a non-integer quotient lies at least 1/255 from the next
//   integer, far more than a float's rounding error (2^-24 relative).
//   AlphaComposite's weight uses a refined reciprocal instead (DivSmall).
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
// Products of 32-bit lanes whose values and product fit 16 bits.
inline V Mul32Small(V a, V b)
{
    return _mm_mullo_epi16(a, b);
}

// The channel math works on two 16-bit lanes per pixel: blue and red
// (RB: p & 0x00FF00FF) and green and alpha (AG: p >> 8 per 16-bit lane).
// Spread2 puts a per-pixel value below 2^16 into both lanes of its pixel.
inline V RB(V p)
{
    return _mm_and_si128(p, Set32(0x00FF00FF));
}
inline V AG(V p)
{
    return _mm_srli_epi16(p, 8);
}
inline V Spread2(V v32)
{
    return _mm_or_si128(v32, _mm_slli_epi32(v32, 16));
}

// x*S + y*D per channel, then >> 8: red and green round once over the sum,
// blue truncates each term (the low byte of its products is cleared first).
// A sum past 2^16 drops bit 16 only, so each channel gets the low 8 bits of
// the exact result. The alpha byte comes out zero.
inline V Mix(V s, V d, V x2, V y2)
{
    const V blue = Set32(0xFFFFFF00);
    const V rb =
        _mm_add_epi16(_mm_and_si128(_mm_mullo_epi16(RB(s), x2), blue), _mm_and_si128(_mm_mullo_epi16(RB(d), y2), blue));
    const V g = _mm_add_epi16(_mm_mullo_epi16(AG(s), x2), _mm_mullo_epi16(AG(d), y2));
    return _mm_or_si128(_mm_srli_epi16(rb, 8), _mm_and_si128(g, Set32(0x0000FF00)));
}

// WeightedRgb: S*w + D*(256-w), at most 255*256. With w = 0 it gives d's
// colour.
inline V Weighted(V s, V d, V w32)
{
    const V w2 = Spread2(w32);
    return Mix(s, d, w2, _mm_sub_epi16(Set16(256), w2));
}

// trunc(n / d) for 0 <= n <= 65025 and 1 <= d <= 255 with a quotient below
// 256, without a division: trunc(n * r + 1/1024) with r = 1/d from rcpps
// refined by one Newton step. rcpps is within 1.5*2^-12 of 1/d on every CPU;
// after the step r is within about 2^-21, so the product is off by less than
// 2^-13. A whole quotient comes out at most that much low and the bias lifts
// it; any other lies at least 1/d >= 1/255 below the next integer, which bias
// and error together cannot reach.
inline V DivSmall(__m128 n, __m128 d)
{
    const __m128 r0 = _mm_rcp_ps(d);
    const __m128 r = _mm_mul_ps(r0, _mm_sub_ps(_mm_set1_ps(2.0f), _mm_mul_ps(d, r0)));
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(n, r), _mm_set1_ps(1.0f / 1024)));
}

// AlphaComposite: a = Sa*alpha/255, A = Da + (255-Da)*a/255, w = a*255/A. A
// skipped pixel (a = 0) gets w = 0 and A = Da, with which the blend gives d,
// so the row needs no select.
inline V CompositeQuad(V s, V d, V alpha32)
{
    const V c255 = Set32(255);
    const V da = _mm_srli_epi32(d, 24);
    const V a = Div255(Mul32Small(_mm_srli_epi32(s, 24), alpha32));
    const V A = _mm_add_epi32(da, Div255(Mul32Small(_mm_sub_epi32(c255, da), a)));
    // w = a*255/A <= 255 (A >= a); A = 0 only where a = 0.
    const V w = DivSmall(_mm_cvtepi32_ps(Mul32Small(a, c255)), _mm_cvtepi32_ps(_mm_max_epi16(A, Set32(1))));
    return _mm_or_si128(Weighted(s, d, w), _mm_slli_epi32(A, 24));
}

// AlphaBlend's 1:1 and Premultiplied's weight w = (Sa*alpha) >> 8 in both
// lanes of each pixel: Sa from AG's alpha lanes times alpha*256, high half.
// Their skip rule Sa*alpha < 256 is w == 0.
inline V ShiftWeight2(V s, V alpha16)
{
    const V sa = _mm_shufflehi_epi16(_mm_shufflelo_epi16(AG(s), 0xF5), 0xF5);
    return _mm_mulhi_epu16(sa, _mm_slli_epi16(alpha16, 8));
}
inline V ZeroWeight(V w2)
{
    return _mm_cmpeq_epi16(w2, _mm_setzero_si128());
}

// AlphaBlend: a pixel with w = 0 gets its colour back and keeps its alpha
// byte; the others get alpha 0.
inline V BlendQuad(V s, V d, V w2, V skip)
{
    return _mm_or_si128(Mix(s, d, w2, _mm_sub_epi16(Set16(256), w2)),
                        _mm_and_si128(skip, _mm_and_si128(d, Set32(0xFF000000u))));
}
inline V BlendDivQuad(V s, V d, V skip, V alpha32)
{
    return BlendQuad(s, d, Spread2(Div255(Mul32Small(_mm_srli_epi32(s, 24), alpha32))), skip);
}

// Premultiplied: D*(255-w) + S*f per channel, low 8 bits kept (Mix).
inline V PremulQuad(V s, V d, V w2, V alpha16, bool depth16)
{
    return Mix(d, s, _mm_sub_epi16(Set16(255), w2), depth16 ? w2 : alpha16);
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

// Exclusion: 255 - (255-d)*(255-s)/255 - d*s/255, products <= 65025.
inline V ExclusionHalf(V s16, V d16)
{
    const V c255 = Set16(255);
    const V a = Div255(_mm_mullo_epi16(_mm_sub_epi16(c255, d16), _mm_sub_epi16(c255, s16)));
    const V b = Div255(_mm_mullo_epi16(d16, s16));
    return _mm_sub_epi16(_mm_sub_epi16(c255, a), b);
}

// ColorDodge: min(255, d*255 / (255-s)). The mode scales s by alpha first,
// so s <= 254 here and the divisor is 1 to 255 (the scalar step's s >= 255
// case never arises). Three divisions per four pixels: blue and red of pixels
// 0-1 and of 2-3, and the four greens, each in 32-bit lanes (the alpha lanes
// are never divided). Divides are the bottleneck here.
inline V DodgeQuad(V s, V d, V alpha16)
{
    const V zero = _mm_setzero_si128();
    const V c255 = Set16(255);
    const V lowWord = Set32(0xFFFF);
    auto scaled = [&](V x16) { return _mm_srli_epi16(_mm_mullo_epi16(x16, alpha16), 8); };
    const V denRB = _mm_sub_epi16(c255, scaled(RB(s)));
    const V denAG = _mm_sub_epi16(c255, scaled(AG(s)));
    const V numRB = _mm_mullo_epi16(RB(d), c255);
    const V numAG = _mm_mullo_epi16(AG(d), c255);
    auto quotient = [](V num32, V den32) {
        return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(num32), _mm_cvtepi32_ps(den32)));
    };
    const V q01 = quotient(_mm_unpacklo_epi16(numRB, zero), _mm_unpacklo_epi16(denRB, zero));
    const V q23 = quotient(_mm_unpackhi_epi16(numRB, zero), _mm_unpackhi_epi16(denRB, zero));
    const V qg = quotient(_mm_and_si128(numAG, lowWord), _mm_and_si128(denAG, lowWord));
    // Quotients up to 65025 saturate to 32767 in the packs, then clamp to 255.
    const V rb = _mm_min_epi16(_mm_packs_epi32(q01, q23), c255);
    const V g = _mm_min_epi16(_mm_packs_epi32(qg, qg), c255);
    return _mm_or_si128(rb, _mm_unpacklo_epi16(_mm_slli_epi16(g, 8), zero));
}

enum Mode { kOverlay, kExclusion };

template <Mode M> inline V ModeHalf(V s16, V d16, V alpha16)
{
    const V s = _mm_srli_epi16(_mm_mullo_epi16(s16, alpha16), 8);
    if (M == kOverlay)
        return OverlayHalf(s, d16);
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
ENGINE_ROW_PRE(BlendShiftRow, ShiftWeight2(sv, alpha16), ZeroWeight(pre), BlendQuad(sv, dv, pre, skip),
               BlendShiftPixel(s[i], d[i], alpha), 256)
ENGINE_ROW(BlendDivRow, BlendDivQuad(sv, dv, skip, alpha32), BlendDivPixel(s[i], d[i], alpha), 255)
ENGINE_ROW_PRE(PremulRow, ShiftWeight2(sv, alpha16), ZeroWeight(pre),
               Select(skip, dv, PremulQuad(sv, dv, pre, alpha16, false)), PremulPixel(s[i], d[i], alpha, false), 256)
ENGINE_ROW_PRE(Premul16Row, ShiftWeight2(sv, alpha16), ZeroWeight(pre),
               Select(skip, dv, PremulQuad(sv, dv, pre, alpha16, true)), PremulPixel(s[i], d[i], alpha, true), 256)
ENGINE_ROW(OverlayRow, Select(skip, dv, ModeQuad<kOverlay>(sv, dv, alpha16)), OverlayPixel(s[i], d[i], alpha), 256)
ENGINE_ROW(DodgeRow, Select(skip, dv, DodgeQuad(sv, dv, alpha16)), DodgePixel(s[i], d[i], alpha), 256)
ENGINE_ROW(ExclusionRow, Select(skip, dv, ModeQuad<kExclusion>(sv, dv, alpha16)), ExclusionPixel(s[i], d[i], alpha),
           256)
#undef ENGINE_ROW
#undef ENGINE_ROW_PRE

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
