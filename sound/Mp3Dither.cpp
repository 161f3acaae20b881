#include "Mp3Dither.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Veld::Game {

namespace {

constexpr int kFracBits = 28;                           // libmad's fixed point
constexpr int kScaleBits = kFracBits + 1 - 16;          // 13 bits dropped
constexpr uint32_t kMask = (1u << kScaleBits) - 1;      // 0x1FFF
constexpr int32_t kMax = (int32_t{1} << kFracBits) - 1; // just below 1.0
constexpr int32_t kMin = -(int32_t{1} << kFracBits);    // -1.0

// Sums wrap around in 32 bits; unsigned arithmetic keeps that defined.
inline int32_t Wrap(uint32_t v)
{
    return static_cast<int32_t>(v);
}

inline int16_t Dither(int32_t sample, Mp3DitherState& s)
{
    // Noise shaping: feed back the last errors with weights +1, -1/2, +1/2
    // (error[1] and error[2] hold halves of older errors).
    sample = Wrap(static_cast<uint32_t>(sample) + static_cast<uint32_t>(s.error[0]) -
                  static_cast<uint32_t>(s.error[1]) + static_cast<uint32_t>(s.error[2]));
    s.error[2] = s.error[1];
    s.error[1] = s.error[0] / 2; // rounds toward zero

    // Round half up at bit 12, then add triangular noise: the difference of
    // two successive generator values, masked to the dropped bits.
    const uint32_t random = static_cast<uint32_t>(s.random);
    const uint32_t next = random * 0x0019660Du + 0x3C6EF35Fu;
    int32_t output = Wrap(static_cast<uint32_t>(sample) + (1u << (kScaleBits - 1)) + (next & kMask) - (random & kMask));
    s.random = Wrap(next);

    // Clip; the error fed back is measured from the clipped sample only when
    // the sample itself, not just the noise, went out of range.
    if (output > kMax) {
        output = kMax;
        if (sample > kMax)
            sample = kMax;
    } else if (output < kMin) {
        output = kMin;
        if (sample < kMin)
            sample = kMin;
    }

    output = Wrap(static_cast<uint32_t>(output) & ~kMask);
    s.error[0] = Wrap(static_cast<uint32_t>(sample) - static_cast<uint32_t>(output));
    return static_cast<int16_t>(output >> kScaleBits);
}

inline uint8_t* Store(uint8_t* out, int16_t v)
{
    const uint16_t u = static_cast<uint16_t>(v);
    out[0] = static_cast<uint8_t>(u & 0xFF);
    out[1] = static_cast<uint8_t>(u >> 8);
    return out + 2;
}

#if defined(__SSE2__)

inline __m128i Pair(int32_t l, int32_t r)
{
    return _mm_unpacklo_epi64(_mm_cvtsi32_si128(l), _mm_cvtsi32_si128(r));
}

inline int32_t Lane(__m128i v, int i)
{
    return _mm_cvtsi128_si32(i ? _mm_srli_si128(v, 8) : v);
}

// Redoes one sample pair with Dither from the states before it.
__attribute__((noinline)) void ClipPair(uint8_t* out, int32_t left, int32_t right, __m128i* e0, __m128i* e1,
                                        __m128i* e2, __m128i* random)
{
    Mp3DitherState l{{Lane(*e0, 0), Lane(*e1, 0), Lane(*e2, 0)}, Lane(*random, 0)};
    Mp3DitherState r{{Lane(*e0, 1), Lane(*e1, 1), Lane(*e2, 1)}, Lane(*random, 1)};
    Store(Store(out, Dither(left, l)), Dither(right, r));
    *e0 = Pair(l.error[0], r.error[0]);
    *e1 = Pair(l.error[1], r.error[1]);
    *e2 = Pair(l.error[2], r.error[2]);
    *random = Pair(l.random, r.random);
}

// Stereo with both channels in one register: left in lane 0, right in lane 2
// (the lanes _mm_mul_epu32 multiplies). The steps of Dither; a pair whose
// output leaves [kMin, kMax] in either channel is redone by ClipPair, so only
// the common path is vectorised.
void WriteStereoSse2(uint8_t* out, const int32_t* left, const int32_t* right, uint32_t count, Mp3DitherState& ls,
                     Mp3DitherState& rs)
{
    __m128i e0 = Pair(ls.error[0], rs.error[0]);
    __m128i e1 = Pair(ls.error[1], rs.error[1]);
    __m128i e2 = Pair(ls.error[2], rs.error[2]);
    __m128i random = Pair(ls.random, rs.random);
    const __m128i mask = _mm_set1_epi32(static_cast<int32_t>(kMask));
    const __m128i bias = _mm_set1_epi32(1 << (kScaleBits - 1));
    const __m128i multiplier = _mm_set1_epi32(0x0019660D);
    const __m128i increment = _mm_set1_epi32(0x3C6EF35F);
    const __m128i offset = _mm_set1_epi32(-kMin); // output + 2^28 lies in [0, 2^29) when in range

    for (uint32_t i = 0; i < count; ++i, out += 4) {
        const __m128i sample = _mm_add_epi32(_mm_sub_epi32(_mm_add_epi32(Pair(left[i], right[i]), e2), e1), e0);
        const __m128i next = _mm_add_epi32(_mm_mul_epu32(random, multiplier), increment);
        __m128i output = _mm_add_epi32(_mm_add_epi32(sample, bias),
                                       _mm_sub_epi32(_mm_and_si128(next, mask), _mm_and_si128(random, mask)));
        const __m128i outside = _mm_srli_epi32(_mm_add_epi32(output, offset), kFracBits + 1);
        if ((_mm_movemask_epi8(_mm_cmpeq_epi32(outside, _mm_setzero_si128())) & 0x0F0F) != 0x0F0F) {
            ClipPair(out, left[i], right[i], &e0, &e1, &e2, &random);
            continue;
        }
        e2 = e1;
        // error[0] / 2 rounded toward zero: add 1 to negative values first.
        e1 = _mm_srai_epi32(_mm_add_epi32(e0, _mm_srli_epi32(e0, 31)), 1);
        random = next;
        output = _mm_andnot_si128(mask, output);
        e0 = _mm_sub_epi32(sample, output);
        // Lanes 0 and 2 to 16 bits, side by side: left then right, little-endian.
        const __m128i words = _mm_shuffle_epi32(_mm_srai_epi32(output, kScaleBits), _MM_SHUFFLE(3, 1, 2, 0));
        const uint32_t both = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packs_epi32(words, words)));
        out[0] = static_cast<uint8_t>(both);
        out[1] = static_cast<uint8_t>(both >> 8);
        out[2] = static_cast<uint8_t>(both >> 16);
        out[3] = static_cast<uint8_t>(both >> 24);
    }
    ls = {{Lane(e0, 0), Lane(e1, 0), Lane(e2, 0)}, Lane(random, 0)};
    rs = {{Lane(e0, 1), Lane(e1, 1), Lane(e2, 1)}, Lane(random, 1)};
}

#endif

} // namespace

int16_t Mp3DitherSample(int32_t sample, Mp3DitherState& state)
{
    return Dither(sample, state);
}

uint32_t Mp3WritePcm16(uint8_t* out, const int32_t* left, const int32_t* right, uint32_t count,
                       Mp3DitherState& leftState, Mp3DitherState& rightState)
{
    if (right) {
#if defined(__SSE2__)
        WriteStereoSse2(out, left, right, count, leftState, rightState);
#else
        for (uint32_t i = 0; i < count; ++i) {
            out = Store(out, Dither(left[i], leftState));
            out = Store(out, Dither(right[i], rightState));
        }
#endif
        return count * 4;
    }
    for (uint32_t i = 0; i < count; ++i)
        out = Store(out, Dither(left[i], leftState));
    return count * 2;
}

} // namespace Veld::Game
