// Per-pixel steps shared by the scalar kernels and the heads and tails of the
// SIMD rows. Each takes the source word s, the destination word d and the
// constant alpha and returns the new destination word (d itself when the pixel
// is skipped). Every file gets its own copy (static inline).
#pragma once

#include <cstdint>

namespace Veld::Game::Kernels {

static inline uint32_t Chan(uint32_t p, int shift)
{
    return (p >> shift) & 0xFFu;
}

static inline uint32_t PackRgb(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return (a << 24) | ((r & 0xFFu) << 16) | ((g & 0xFFu) << 8) | (b & 0xFFu);
}

// Red and green round once over the sum, blue truncates each term:
// (S*w + D*(256-w)) >> 8 and ((S*w) >> 8) + ((D*(256-w)) >> 8).
static inline uint32_t WeightedRgb(uint32_t s, uint32_t d, uint32_t w, uint32_t alphaOut)
{
    const uint32_t v = 256 - w;
    const uint32_t r = (Chan(s, 16) * w + Chan(d, 16) * v) >> 8;
    const uint32_t g = (Chan(s, 8) * w + Chan(d, 8) * v) >> 8;
    const uint32_t b = ((Chan(s, 0) * w) >> 8) + ((Chan(d, 0) * v) >> 8);
    return PackRgb(alphaOut, r, g, b);
}

// Source-over that builds the destination alpha: a = Sa*alpha/255,
// A = Da + (255-Da)*a/255, w = a*255/A.
static inline uint32_t CompositePixel(uint32_t s, uint32_t d, uint32_t alpha)
{
    const uint32_t a = (s >> 24) * alpha / 255;
    if (a == 0)
        return d;
    const uint32_t da = d >> 24;
    const uint32_t A = da + (255 - da) * a / 255;
    const uint32_t w = a * 255 / A;
    return WeightedRgb(s, d, w, A);
}

// AlphaBlend, 1:1 path: w = (Sa*alpha) >> 8 (255, 255 gives 254).
static inline uint32_t BlendShiftPixel(uint32_t s, uint32_t d, uint32_t alpha)
{
    const uint32_t w = ((s >> 24) * alpha) >> 8;
    return w == 0 ? d : WeightedRgb(s, d, w, 0);
}

// AlphaBlend, scaled path: w = Sa*alpha/255.
static inline uint32_t BlendDivPixel(uint32_t s, uint32_t d, uint32_t alpha)
{
    const uint32_t w = (s >> 24) * alpha / 255;
    return w == 0 ? d : WeightedRgb(s, d, w, 0);
}

// Premultiplied source; the source factor is w on a 16-bit screen and alpha
// otherwise. Channels keep their low 8 bits, so unpremultiplied input wraps.
static inline uint32_t PremulPixel(uint32_t s, uint32_t d, uint32_t alpha, bool depth16)
{
    const uint32_t w = ((s >> 24) * alpha) >> 8;
    if (w == 0)
        return d;
    const uint32_t v = 255 - w;
    const uint32_t f = depth16 ? w : alpha;
    const uint32_t r = (Chan(d, 16) * v + Chan(s, 16) * f) >> 8;
    const uint32_t g = (Chan(d, 8) * v + Chan(s, 8) * f) >> 8;
    const uint32_t b = ((Chan(d, 0) * v) >> 8) + ((Chan(s, 0) * f) >> 8);
    return PackRgb(0, r, g, b);
}

static inline uint32_t OverlayChannel(uint32_t s, uint32_t d)
{
    return d < 128 ? (2 * d * s) >> 8 : 255 - ((2 * (255 - d) * (255 - s)) >> 8);
}

static inline uint32_t DodgeChannel(uint32_t s, uint32_t d)
{
    if (s >= 255)
        return 255;
    const uint32_t q = d * 255 / (255 - s);
    return q < 255 ? q : 255;
}

static inline uint32_t ExclusionChannel(uint32_t s, uint32_t d)
{
    return 255 - ((255 - d) * (255 - s) / 255) - (d * s / 255);
}

// The three blend modes scale each source channel by alpha: s = (S*alpha) >> 8,
// and skip pixels with Sa*alpha <= 255.
#define ENGINE_MODE_PIXEL(Name, Channel)                                                                               \
    static inline uint32_t Name(uint32_t s, uint32_t d, uint32_t alpha)                                                \
    {                                                                                                                  \
        if ((s >> 24) * alpha <= 255)                                                                                  \
            return d;                                                                                                  \
        const uint32_t r = Channel((Chan(s, 16) * alpha) >> 8, Chan(d, 16));                                           \
        const uint32_t g = Channel((Chan(s, 8) * alpha) >> 8, Chan(d, 8));                                             \
        const uint32_t b = Channel((Chan(s, 0) * alpha) >> 8, Chan(d, 0));                                             \
        return PackRgb(0, r, g, b);                                                                                    \
    }
ENGINE_MODE_PIXEL(OverlayPixel, OverlayChannel)
ENGINE_MODE_PIXEL(DodgePixel, DodgeChannel)
ENGINE_MODE_PIXEL(ExclusionPixel, ExclusionChannel)
#undef ENGINE_MODE_PIXEL

// D + floor((S - D) * alpha / 256) on blue, green and red; alpha byte kept.
static inline uint32_t ConstAlphaPixel(uint32_t s, uint32_t d, uint32_t alpha)
{
    uint32_t out = d & 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int32_t sc = static_cast<int32_t>(Chan(s, shift));
        const int32_t dc = static_cast<int32_t>(Chan(d, shift));
        const int32_t prod = (sc - dc) * static_cast<int32_t>(alpha);
        const int32_t step = prod >= 0 ? prod / 256 : -((-prod + 255) / 256); // floor
        out |= (static_cast<uint32_t>(dc + step) & 0xFFu) << shift;
    }
    return out;
}

// Tint, in extended precision: channel = trunc((S*t + k*T) * sa + D * (1 - sa))
// with t = alpha/255 held as float, k = 1 - t, sa = Sa/255 and 1 - sa held as
// floats. tr, tg, tb are the tint's channels. The alpha byte is kept.
struct TintWeights {
    float t;
    long double k;
};
static inline TintWeights MakeTintWeights(uint32_t alpha)
{
    const float t = static_cast<float>(alpha) / 255.0f;
    return {t, 1.0L - static_cast<long double>(t)};
}
static inline uint32_t TintPixel(uint32_t s, uint32_t d, TintWeights tw, uint32_t tr, uint32_t tg, uint32_t tb)
{
    const float sa = static_cast<float>(s >> 24) / 255.0f;
    const float isa = 1.0f - sa;
    const long double t = tw.t;
    auto chan = [&](int shift, uint32_t tc) -> uint32_t {
        const long double v = (static_cast<long double>(Chan(s, shift)) * t + tw.k * static_cast<long double>(tc)) *
                                  static_cast<long double>(sa) +
                              static_cast<long double>(Chan(d, shift)) * static_cast<long double>(isa);
        return static_cast<uint32_t>(static_cast<int32_t>(v)) & 0xFFu; // v is in [0, 256)
    };
    return (d & 0xFF000000u) | (chan(16, tr) << 16) | (chan(8, tg) << 8) | chan(0, tb);
}

} // namespace Veld::Game::Kernels
