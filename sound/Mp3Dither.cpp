#include "Mp3Dither.h"

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

} // namespace

int16_t Mp3DitherSample(int32_t sample, Mp3DitherState& state)
{
    return Dither(sample, state);
}

uint32_t Mp3WritePcm16(uint8_t* out, const int32_t* left, const int32_t* right, uint32_t count,
                       Mp3DitherState& leftState, Mp3DitherState& rightState)
{
    if (right) {
        for (uint32_t i = 0; i < count; ++i) {
            out = Store(out, Dither(left[i], leftState));
            out = Store(out, Dither(right[i], rightState));
        }
        return count * 4;
    }
    for (uint32_t i = 0; i < count; ++i)
        out = Store(out, Dither(left[i], leftState));
    return count * 2;
}

} // namespace Veld::Game
