// AVX2 rows: the SSE2 rows widened to eight pixels per step (the 256-bit
// unpack and pack instructions work within 128-bit halves, which keeps each
// pixel's lanes together). Same identities and ranges as blend_sse2.cpp; the
// remainder goes through the scalar pixel steps. Only this file is built with
// -mavx2, and nothing in it is visible outside.
#include <immintrin.h>

#include <algorithm>

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
// Constants pass through an empty asm so that the compiler, short of vector
// registers on i686, keeps them on the stack instead of rebuilding each one
// inside the loop (three instructions per broadcast).
inline V Opaque(V v)
{
    __asm__("" : "+x"(v));
    return v;
}
inline V Set16(int v)
{
    return Opaque(_mm256_set1_epi16(static_cast<short>(v)));
}
inline V Set32(uint32_t v)
{
    return Opaque(_mm256_set1_epi32(static_cast<int>(v)));
}
// mask's bytes are all set (a) or all clear (b).
inline V Select(V mask, V a, V b)
{
    return _mm256_blendv_epi8(b, a, mask);
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
inline V Zero()
{
    return _mm256_setzero_si256();
}
inline V Div255(V x)
{
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, Set16(0x8081)), 7);
}
// Products of 32-bit lanes whose values and product fit 16 bits.
inline V Mul32Small(V a, V b)
{
    return _mm256_mullo_epi16(a, b);
}

// Byte shuffles within each 128-bit half: pixels 0-1 (Lo) or 2-3 (Hi) of the
// half into 16-bit channel lanes with the alpha lane zero; the source alpha
// times 256 into the colour lanes; a pixel's low byte into the colour lanes.
#define ENGINE_NEXT(b) ((b) < 0 ? -1 : (b) + 4)
#define ENGINE_SHUF(b0, b1)                                                                                            \
    _mm256_setr_epi8(b0, b1, b0, b1, b0, b1, -1, -1, ENGINE_NEXT(b0), ENGINE_NEXT(b1), ENGINE_NEXT(b0),                \
                     ENGINE_NEXT(b1), ENGINE_NEXT(b0), ENGINE_NEXT(b1), -1, -1, b0, b1, b0, b1, b0, b1, -1, -1,        \
                     ENGINE_NEXT(b0), ENGINE_NEXT(b1), ENGINE_NEXT(b0), ENGINE_NEXT(b1), ENGINE_NEXT(b0),              \
                     ENGINE_NEXT(b1), -1, -1)
inline V RgbLo(V p)
{
    return _mm256_shuffle_epi8(p, _mm256_setr_epi8(0, -1, 1, -1, 2, -1, -1, -1, 4, -1, 5, -1, 6, -1, -1, -1, 0, -1, 1,
                                                   -1, 2, -1, -1, -1, 4, -1, 5, -1, 6, -1, -1, -1));
}
inline V RgbHi(V p)
{
    return _mm256_shuffle_epi8(p, _mm256_setr_epi8(8, -1, 9, -1, 10, -1, -1, -1, 12, -1, 13, -1, 14, -1, -1, -1, 8, -1,
                                                   9, -1, 10, -1, -1, -1, 12, -1, 13, -1, 14, -1, -1, -1));
}
inline V AlphaX256Lo(V p)
{
    return _mm256_shuffle_epi8(p, ENGINE_SHUF(-1, 3));
}
inline V AlphaX256Hi(V p)
{
    return _mm256_shuffle_epi8(p, ENGINE_SHUF(-1, 11));
}
inline V Byte0Lo(V p)
{
    return _mm256_shuffle_epi8(p, ENGINE_SHUF(0, -1));
}
inline V Byte0Hi(V p)
{
    return _mm256_shuffle_epi8(p, ENGINE_SHUF(8, -1));
}
#undef ENGINE_SHUF
#undef ENGINE_NEXT

// ((x & M) + (y & M)) >> 8 where M clears the low byte of the blue lane: red
// and green round once over the sum, blue truncates each term. A sum past
// 2^16 drops bit 16 only, so the result is the low 8 bits of the exact one.
inline V SumShift(V x, V y)
{
    const V m = Opaque(_mm256_set_epi16(-1, -1, -1, -256, -1, -1, -1, -256, -1, -1, -1, -256, -1, -1, -1, -256));
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_and_si256(x, m), _mm256_and_si256(y, m)), 8);
}

// S*w + D*(256-w) per channel (WeightedRgb); lanes from RgbLo/RgbHi.
inline V WeightedHalf(V s16, V d16, V w16)
{
    return SumShift(_mm256_mullo_epi16(s16, w16), _mm256_mullo_epi16(d16, _mm256_sub_epi16(Set16(256), w16)));
}

inline V SkipMask(V s, V thr32)
{
    return _mm256_cmpgt_epi32(thr32, _mm256_srli_epi32(s, 24));
}

// Results for pixels that are not skipped; the row keeps d where they are.
// AlphaComposite's weights: w | A << 24 (w = a*255/A, A the new alpha). A
// skipped pixel (a == 0) gets w = 0 and A = Da, with which the blend gives d.
inline V CompositeWeights(V s, V d, V alpha32)
{
    const V c255 = Set32(255);
    const V da = _mm256_srli_epi32(d, 24);
    const V a = Div255(Mul32Small(_mm256_srli_epi32(s, 24), alpha32));
    const V A = _mm256_add_epi32(da, Div255(Mul32Small(_mm256_sub_epi32(c255, da), a)));
    // w = trunc(a*255 * r + 1/1024), r = 1/A from rcpps and one Newton step:
    // exact, see DivSmall in blend_sse2.cpp. A == 0 only where a == 0.
    const __m256 Af = _mm256_cvtepi32_ps(_mm256_max_epi32(A, Set32(1)));
    const __m256 r0 = _mm256_rcp_ps(Af);
    const __m256 r = _mm256_mul_ps(r0, _mm256_sub_ps(_mm256_set1_ps(2.0f), _mm256_mul_ps(Af, r0)));
    const __m256 q =
        _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(Mul32Small(a, c255)), r), _mm256_set1_ps(1.0f / 1024));
    const V w = _mm256_cvttps_epi32(q);
    return _mm256_or_si256(w, _mm256_slli_epi32(A, 24));
}

inline V CompositeOctet(V s, V d, V wA)
{
    const V rgb = Pack(WeightedHalf(RgbLo(s), RgbLo(d), Byte0Lo(wA)), WeightedHalf(RgbHi(s), RgbHi(d), Byte0Hi(wA)));
    return _mm256_or_si256(rgb, _mm256_and_si256(wA, Set32(0xFF000000u)));
}

// w = (Sa*alpha) >> 8 straight from Sa*256 in the lanes.
inline V BlendShiftOctet(V s, V d, V alpha16)
{
    const V wlo = _mm256_mulhi_epu16(AlphaX256Lo(s), alpha16);
    const V whi = _mm256_mulhi_epu16(AlphaX256Hi(s), alpha16);
    return Pack(WeightedHalf(RgbLo(s), RgbLo(d), wlo), WeightedHalf(RgbHi(s), RgbHi(d), whi));
}

// w = Sa*alpha/255.
inline V BlendDivOctet(V s, V d, V alpha32)
{
    const V w = Div255(Mul32Small(_mm256_srli_epi32(s, 24), alpha32));
    return Pack(WeightedHalf(RgbLo(s), RgbLo(d), Byte0Lo(w)), WeightedHalf(RgbHi(s), RgbHi(d), Byte0Hi(w)));
}

// Premultiplied: (D*(255-w) + S*f) per channel, low 8 bits kept (SumShift).
inline V PremulHalf(V s16, V d16, V w16, V f16)
{
    return SumShift(_mm256_mullo_epi16(d16, _mm256_sub_epi16(Set16(255), w16)), _mm256_mullo_epi16(s16, f16));
}

inline V PremulOctet(V s, V d, V alpha16, bool depth16)
{
    const V wlo = _mm256_mulhi_epu16(AlphaX256Lo(s), alpha16);
    const V whi = _mm256_mulhi_epu16(AlphaX256Hi(s), alpha16);
    return Pack(PremulHalf(RgbLo(s), RgbLo(d), wlo, depth16 ? wlo : alpha16),
                PremulHalf(RgbHi(s), RgbHi(d), whi, depth16 ? whi : alpha16));
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

// ColorDodge: min(255, d*255 / (255-s)). The mode scales s by alpha first,
// so s <= 254 here and the divisor is 1 to 255 (the scalar step's s >= 255
// case never arises).
inline V DodgeHalf(V s16, V d16)
{
    const V zero = _mm256_setzero_si256();
    const V c255 = Set16(255);
    const V den = _mm256_sub_epi16(c255, s16);
    const V num = _mm256_mullo_epi16(d16, c255);
    const __m256 qlo = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_unpacklo_epi16(num, zero)),
                                     _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(den, zero)));
    const __m256 qhi = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_unpackhi_epi16(num, zero)),
                                     _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(den, zero)));
    // Quotients up to 65025 saturate to 32767 here, then clamp to 255.
    return _mm256_min_epi16(_mm256_packs_epi32(_mm256_cvttps_epi32(qlo), _mm256_cvttps_epi32(qhi)), c255);
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

// Alpha lanes are zero in, and come out zero from every mode.
template <Mode M> inline V ModeOctet(V s, V d, V alpha16)
{
    return Pack(ModeHalf<M>(RgbLo(s), RgbLo(d), alpha16), ModeHalf<M>(RgbHi(s), RgbHi(d), alpha16));
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

#include "simd_rows.h"

ENGINE_ROW(BlendShiftRow, Select(skip, dv, BlendShiftOctet(sv, dv, alpha16)), BlendShiftPixel(s[i], d[i], alpha), 256)
ENGINE_ROW(BlendDivRow, Select(skip, dv, BlendDivOctet(sv, dv, alpha32)), BlendDivPixel(s[i], d[i], alpha), 255)
ENGINE_ROW(PremulRow, Select(skip, dv, PremulOctet(sv, dv, alpha16, false)), PremulPixel(s[i], d[i], alpha, false), 256)
ENGINE_ROW(Premul16Row, Select(skip, dv, PremulOctet(sv, dv, alpha16, true)), PremulPixel(s[i], d[i], alpha, true), 256)
ENGINE_ROW(OverlayRow, Select(skip, dv, ModeOctet<kOverlay>(sv, dv, alpha16)), OverlayPixel(s[i], d[i], alpha), 256)
ENGINE_ROW(DodgeRow, Select(skip, dv, ModeOctet<kDodge>(sv, dv, alpha16)), DodgePixel(s[i], d[i], alpha), 256)
ENGINE_ROW(ExclusionRow, Select(skip, dv, ModeOctet<kExclusion>(sv, dv, alpha16)), ExclusionPixel(s[i], d[i], alpha),
           256)
#undef ENGINE_ROW
#undef ENGINE_ROW_PRE

// AlphaComposite in blocks: the weights of a block first, then the blends.
// The weights' long chain of multiplies and a division would otherwise hold
// back the independent work of the following pixels.
void CompositeRow(uint32_t* d, const uint32_t* s, int32_t n, uint32_t alpha)
{
    constexpr int32_t kBlock = 64;
    alignas(32) uint32_t weights[kBlock];
    bool skipped[kBlock / kStep];
    const V alpha32 = Set32(alpha);
    const V thr32 = Set32(SkipThreshold(alpha, 255));
    if (n < kStep) {
        for (int32_t i = 0; i < n; ++i)
            d[i] = CompositePixel(s[i], d[i], alpha);
        return;
    }
    const int32_t last = n - kStep;
    V rest = _mm256_setzero_si256();
    if (n % kStep != 0) {
        const V sv = Load(s + last);
        const V dv = Load(d + last);
        rest = CompositeOctet(sv, dv, CompositeWeights(sv, dv, alpha32));
    }
    int32_t i = 0;
    while (i + kStep <= n) {
        const int32_t m = std::min(kBlock, (n - i) & ~(kStep - 1));
        for (int32_t j = 0; j < m; j += kStep) {
            const V sv = Load(s + i + j);
            skipped[j / kStep] = AllSet(SkipMask(sv, thr32));
            if (!skipped[j / kStep])
                _mm256_store_si256(reinterpret_cast<V*>(weights + j), CompositeWeights(sv, Load(d + i + j), alpha32));
        }
        for (int32_t j = 0; j < m; j += kStep) {
            if (skipped[j / kStep])
                continue;
            const V sv = Load(s + i + j);
            const V dv = Load(d + i + j);
            const V wA = _mm256_load_si256(reinterpret_cast<const V*>(weights + j));
            Store(d + i + j, CompositeOctet(sv, dv, wA));
        }
        i += m;
    }
    if (i < n)
        Store(d + last, rest);
}

void ConstAlphaRow(uint32_t* d, const uint32_t* s, int32_t n, uint32_t alpha)
{
    ConstAlphaFrame(d, s, n, alpha, ConstAlphaOctet);
}

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
