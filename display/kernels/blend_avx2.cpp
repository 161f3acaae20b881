// AVX2 rows: the SSE2 rows widened to eight pixels per step (the 256-bit
// unpack and pack instructions work within 128-bit halves, which keeps each
// pixel's lanes together). Same identities and ranges as blend_sse2.cpp; the
// remainder goes through the scalar pixel steps. Only this file is built with
// -mavx2, and nothing in it is visible outside.
#include <immintrin.h>

#include "kernel_table.h"
#include "pixel_ops.h"

namespace Veld::Game::Kernels {

namespace {

using V = __m256i;
constexpr int kStep = 8;

inline V Load(const uint32_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const V*>(p));
}
inline void Store(uint32_t* p, V v)
{
    _mm256_storeu_si256(reinterpret_cast<V*>(p), v);
}
inline V Set16(int v)
{
    return _mm256_set1_epi16(static_cast<short>(v));
}
inline V Set32(uint32_t v)
{
    return _mm256_set1_epi32(static_cast<int>(v));
}
inline V Select(V mask, V a, V b)
{
    return _mm256_or_si256(_mm256_and_si256(mask, a), _mm256_andnot_si256(mask, b));
}
inline V Lo16(V p)
{
    return _mm256_unpacklo_epi8(p, _mm256_setzero_si256());
}
inline V Hi16(V p)
{
    return _mm256_unpackhi_epi8(p, _mm256_setzero_si256());
}
inline V Pack(V lo, V hi)
{
    return _mm256_packus_epi16(lo, hi);
}
inline bool AllSet(V mask)
{
    return _mm256_movemask_epi8(mask) == -1;
}
inline V Div255(V x)
{
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, Set16(0x8081)), 7);
}
// Lanes of the blue channel in 16-bit pixel pairs (b g r a b g r a).
inline V BlueMask()
{
    return _mm256_set_epi16(0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1);
}

// Per-pixel 32-bit value (below 2^16) into the four 16-bit channel lanes of
// each pixel: low half for pixels 0-1 and 4-5, high half for pixels 2-3 and 6-7.
inline V SpreadLo(V v32)
{
    const V dup = _mm256_or_si256(v32, _mm256_slli_epi32(v32, 16));
    return _mm256_unpacklo_epi32(dup, dup);
}
inline V SpreadHi(V v32)
{
    const V dup = _mm256_or_si256(v32, _mm256_slli_epi32(v32, 16));
    return _mm256_unpackhi_epi32(dup, dup);
}

// Products of 32-bit lanes whose values and product fit 16 bits.
inline V Mul32Small(V a, V b)
{
    return _mm256_mullo_epi16(a, b);
}

// WeightedRgb on 16-bit lanes: red/green (S*w + D*(256-w)) >> 8, blue
// ((S*w) >> 8) + ((D*(256-w)) >> 8). With w <= 255 both stay <= 255 and the sum
// S*w + D*(256-w) <= 255*256 fits 16 bits.
inline V WeightedHalf(V s16, V d16, V w16)
{
    const V x = _mm256_mullo_epi16(s16, w16);
    const V y = _mm256_mullo_epi16(d16, _mm256_sub_epi16(Set16(256), w16));
    const V rg = _mm256_srli_epi16(_mm256_add_epi16(x, y), 8);
    const V b = _mm256_add_epi16(_mm256_srli_epi16(x, 8), _mm256_srli_epi16(y, 8));
    return Select(BlueMask(), b, rg);
}

inline V Weighted(V s, V d, V w32)
{
    return Pack(WeightedHalf(Lo16(s), Lo16(d), SpreadLo(w32)), WeightedHalf(Hi16(s), Hi16(d), SpreadHi(w32)));
}

inline V CompositeOctet(V s, V d, V alpha32)
{
    const V c255 = Set32(255);
    const V zero = _mm256_setzero_si256();
    const V da = _mm256_srli_epi32(d, 24);
    const V a = Div255(Mul32Small(_mm256_srli_epi32(s, 24), alpha32));
    const V A = _mm256_add_epi32(da, Div255(Mul32Small(_mm256_sub_epi32(c255, da), a)));
    // A == 0 only for skipped pixels; divide by 1 there instead.
    const V Asafe = _mm256_sub_epi32(A, _mm256_cmpeq_epi32(A, zero));
    const V n = Mul32Small(a, c255);
    const V w = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(n), _mm256_cvtepi32_ps(Asafe)));
    const V rgb = _mm256_and_si256(Weighted(s, d, w), Set32(0x00FFFFFF));
    return Select(_mm256_cmpeq_epi32(a, zero), d, _mm256_or_si256(rgb, _mm256_slli_epi32(A, 24)));
}

inline V BlendOctet(V s, V d, V alpha32, bool divide)
{
    const V prod = Mul32Small(_mm256_srli_epi32(s, 24), alpha32);
    const V w = divide ? Div255(prod) : _mm256_srli_epi32(prod, 8);
    const V rgb = _mm256_and_si256(Weighted(s, d, w), Set32(0x00FFFFFF));
    return Select(_mm256_cmpeq_epi32(w, _mm256_setzero_si256()), d, rgb);
}

// Premultiplied: red/green (D*v + S*f) >> 8, blue ((D*v) >> 8) + ((S*f) >> 8),
// low 8 bits kept. D*v + S*f may pass 2^16 (f = alpha); the 16-bit wrap drops
// only bit 16, which lands in bit 8 of the shifted value and is masked off.
inline V PremulHalf(V s16, V d16, V v16, V f16)
{
    const V x = _mm256_mullo_epi16(d16, v16);
    const V y = _mm256_mullo_epi16(s16, f16);
    const V rg = _mm256_srli_epi16(_mm256_add_epi16(x, y), 8);
    const V b = _mm256_add_epi16(_mm256_srli_epi16(x, 8), _mm256_srli_epi16(y, 8));
    return _mm256_and_si256(Select(BlueMask(), b, rg), Set16(0xFF));
}

inline V PremulOctet(V s, V d, V alpha32, bool depth16)
{
    const V w = _mm256_srli_epi32(Mul32Small(_mm256_srli_epi32(s, 24), alpha32), 8);
    const V v = _mm256_sub_epi32(Set32(255), w);
    const V f = depth16 ? w : alpha32;
    const V out = Pack(PremulHalf(Lo16(s), Lo16(d), SpreadLo(v), SpreadLo(f)),
                       PremulHalf(Hi16(s), Hi16(d), SpreadHi(v), SpreadHi(f)));
    return Select(_mm256_cmpeq_epi32(w, _mm256_setzero_si256()), d, _mm256_and_si256(out, Set32(0x00FFFFFF)));
}

// Overlay: d < 128: (2*d*s) >> 8 (at most 2*127*254 < 2^16);
// else 255 - ((2*(255-d)*(255-s)) >> 8) (at most 2*127*255 < 2^16).
// Lanes of the other case may wrap; they are not selected.
inline V OverlayHalf(V s16, V d16)
{
    const V c255 = Set16(255);
    const V lo = _mm256_srli_epi16(_mm256_slli_epi16(_mm256_mullo_epi16(d16, s16), 1), 8);
    const V inv = _mm256_mullo_epi16(_mm256_sub_epi16(c255, d16), _mm256_sub_epi16(c255, s16));
    const V hi = _mm256_sub_epi16(c255, _mm256_srli_epi16(_mm256_slli_epi16(inv, 1), 8));
    return Select(_mm256_cmpgt_epi16(d16, Set16(127)), hi, lo);
}

// ColorDodge: min(255, d*255 / (255-s)), 255 when s >= 255.
inline V DodgeQuotient(V num16, V den16)
{
    const V zero = _mm256_setzero_si256();
    const __m256 qlo = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_unpacklo_epi16(num16, zero)),
                                     _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(den16, zero)));
    const __m256 qhi = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_unpackhi_epi16(num16, zero)),
                                     _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(den16, zero)));
    // Quotients up to 65025 saturate to 32767 here, then clamp to 255.
    return _mm256_min_epi16(_mm256_packs_epi32(_mm256_cvttps_epi32(qlo), _mm256_cvttps_epi32(qhi)), Set16(255));
}
inline V DodgeHalf(V s16, V d16)
{
    const V c255 = Set16(255);
    const V den = _mm256_max_epi16(_mm256_sub_epi16(c255, s16), Set16(1));
    const V q = DodgeQuotient(_mm256_mullo_epi16(d16, c255), den);
    return Select(_mm256_cmpgt_epi16(s16, Set16(254)), c255, q);
}

// Exclusion: 255 - (255-d)*(255-s)/255 - d*s/255, products <= 65025.
inline V ExclusionHalf(V s16, V d16)
{
    const V c255 = Set16(255);
    const V a = Div255(_mm256_mullo_epi16(_mm256_sub_epi16(c255, d16), _mm256_sub_epi16(c255, s16)));
    const V b = Div255(_mm256_mullo_epi16(d16, s16));
    return _mm256_sub_epi16(_mm256_sub_epi16(c255, a), b);
}

enum Mode { kOverlay, kDodge, kExclusion };

template <Mode M> inline V ModeHalf(V s16, V d16, V alpha16)
{
    const V s = _mm256_srli_epi16(_mm256_mullo_epi16(s16, alpha16), 8);
    if (M == kOverlay)
        return OverlayHalf(s, d16);
    if (M == kDodge)
        return DodgeHalf(s, d16);
    return ExclusionHalf(s, d16);
}

template <Mode M> inline V ModeOctet(V s, V d, V alpha32, V alpha16)
{
    const V prod = Mul32Small(_mm256_srli_epi32(s, 24), alpha32);
    const V out = Pack(ModeHalf<M>(Lo16(s), Lo16(d), alpha16), ModeHalf<M>(Hi16(s), Hi16(d), alpha16));
    const V skip = _mm256_cmpgt_epi32(Set32(256), prod);
    return Select(skip, d, _mm256_and_si256(out, Set32(0x00FFFFFF)));
}

// D + floor((S-D)*alpha/256) == (D*(256-alpha) + S*alpha) >> 8, since D*256/256
// is whole; the sum is at most 255*256.
inline V ConstAlphaHalf(V s16, V d16, V alpha16)
{
    const V sum = _mm256_add_epi16(_mm256_mullo_epi16(d16, _mm256_sub_epi16(Set16(256), alpha16)),
                                   _mm256_mullo_epi16(s16, alpha16));
    return _mm256_srli_epi16(sum, 8);
}

inline V ConstAlphaOctet(V s, V d, V alpha16)
{
    const V out = Pack(ConstAlphaHalf(Lo16(s), Lo16(d), alpha16), ConstAlphaHalf(Hi16(s), Hi16(d), alpha16));
    return Select(Set32(0xFF000000u), d, out);
}

// Pixels with source alpha 0 are skipped by every kernel but ConstantAlpha.
inline bool AllTransparent(V s)
{
    return AllSet(_mm256_cmpeq_epi32(_mm256_srli_epi32(s, 24), _mm256_setzero_si256()));
}

#define ENGINE_ROW(Name, Octet, Tail, SkipClear)                                                                       \
    void Name(uint32_t* d, const uint32_t* s, int32_t n, uint32_t alpha)                                               \
    {                                                                                                                  \
        const V alpha32 = Set32(alpha);                                                                                \
        const V alpha16 = Set16(static_cast<int>(alpha));                                                              \
        (void)alpha16;                                                                                                 \
        (void)alpha32;                                                                                                 \
        int32_t i = 0;                                                                                                 \
        for (; i + kStep <= n; i += kStep) {                                                                           \
            const V sv = Load(s + i);                                                                                  \
            if (SkipClear && AllTransparent(sv))                                                                       \
                continue;                                                                                              \
            const V dv = Load(d + i);                                                                                  \
            Store(d + i, Octet);                                                                                       \
        }                                                                                                              \
        for (; i < n; ++i)                                                                                             \
            d[i] = Tail;                                                                                               \
    }

ENGINE_ROW(CompositeRow, CompositeOctet(sv, dv, alpha32), CompositePixel(s[i], d[i], alpha), true)
ENGINE_ROW(BlendShiftRow, BlendOctet(sv, dv, alpha32, false), BlendShiftPixel(s[i], d[i], alpha), true)
ENGINE_ROW(BlendDivRow, BlendOctet(sv, dv, alpha32, true), BlendDivPixel(s[i], d[i], alpha), true)
ENGINE_ROW(PremulRow, PremulOctet(sv, dv, alpha32, false), PremulPixel(s[i], d[i], alpha, false), true)
ENGINE_ROW(Premul16Row, PremulOctet(sv, dv, alpha32, true), PremulPixel(s[i], d[i], alpha, true), true)
ENGINE_ROW(OverlayRow, ModeOctet<kOverlay>(sv, dv, alpha32, alpha16), OverlayPixel(s[i], d[i], alpha), true)
ENGINE_ROW(DodgeRow, ModeOctet<kDodge>(sv, dv, alpha32, alpha16), DodgePixel(s[i], d[i], alpha), true)
ENGINE_ROW(ExclusionRow, ModeOctet<kExclusion>(sv, dv, alpha32, alpha16), ExclusionPixel(s[i], d[i], alpha), true)
ENGINE_ROW(ConstAlphaRow, ConstAlphaOctet(sv, dv, alpha16), ConstAlphaPixel(s[i], d[i], alpha), false)
#undef ENGINE_ROW

} // namespace

RowOverrides Avx2Overrides()
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
