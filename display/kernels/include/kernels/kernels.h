// Software pixel kernels of the canvas: blending, clipping, the destination
// transform, lines and rotation. Portable code: plain pixel pointers, pitches
// in bytes and rectangles, no platform headers.
//
// Pixels are 32-bit words 0xAARRGGBB (bytes blue, green, red, alpha in memory),
// straight alpha. Pixel (x, y) of a surface is the word at bits + y * pitch + 4 * x.
#pragma once

#include <cstdint>

namespace Veld::Game::Kernels {

// Whether a 64-bit edge or size computed from 32-bit rectangles fits back.
inline bool Fits32(int64_t v)
{
    return v >= INT32_MIN && v <= INT32_MAX;
}

// Right and bottom are exclusive.
struct Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// A locked 32-bit surface. pitch is in bytes, a positive multiple of 4 and at
// least 4 * width; bits is 4-byte aligned.
struct Surface {
    uint8_t* bits;
    int32_t pitch;
    int32_t width;
    int32_t height;
};

// DrawStyle flags.
enum DrawFlags : uint32_t {
    kFlagColorKey = 0x001,
    kFlagConstantAlpha = 0x002,
    kFlagAlphaBlend = 0x004,
    kFlagAlphaComposite = 0x008,
    kFlagReserved = 0x010,
    kFlagTransform = 0x020,
    kFlagTint = 0x040,
    kFlagPremultiplied = 0x080,
    kFlagOverlay = 0x100,
    kFlagColorDodge = 0x200,
    kFlagExclusion = 0x400,
};

enum class BlendOp : uint8_t {
    AlphaComposite,
    AlphaBlend,
    Premultiplied,
    Overlay,
    ColorDodge,
    Exclusion,
    Tint,
    ConstantAlpha,
};

struct BlendParams {
    uint8_t alpha = 255;  // constant alpha; see ChooseMethod
    uint32_t tint = 0;    // Tint colour, COLORREF 0x00BBGGRR
    bool depth16 = false; // the screen is 16 bits deep (Premultiplied weights)
};

// How BlitImage draws for a set of flags, in the order of precedence:
// flags 0 -> Blt, ColorKey -> keyed Blt, then Tint, AlphaComposite, AlphaBlend,
// Premultiplied, Overlay, ColorDodge, Exclusion, ConstantAlpha alone.
// Flags that select none of these (Transform alone) draw nothing.
enum class Method : uint8_t { None, Blt, ColorKeyBlt, Kernel };
struct MethodChoice {
    Method method;
    BlendOp op;    // when method == Kernel
    uint8_t alpha; // alpha to pass in BlendParams
};
MethodChoice ChooseMethod(uint32_t flags, uint8_t styleAlpha);

// Clips dst to a W x H target and moves the source edges by the clipped
// amounts (scaled by sw/dw when the sizes differ). Changes both rectangles in
// place; false when nothing is left or the arithmetic does not fit 32 bits.
bool ClipToTarget(int32_t targetWidth, int32_t targetHeight, Rect& dst, Rect& src);

// Scales dst by (scaleX, scaleY) about the point pivot pixels off its centre.
// False for non-finite input or a result outside the 32-bit range.
bool TransformDestination(Rect& dst, float scaleX, float scaleY, int32_t pivotX, int32_t pivotY);

struct Transform {
    float scaleX;
    float scaleY;
    int32_t pivotX;
    int32_t pivotY;
};
// BlitImage's geometry: clip to the target, apply the transform when given,
// and clip again, so the result always lies inside the target.
bool PrepareBlit(int32_t targetWidth, int32_t targetHeight, Rect& dst, Rect& src, const Transform* transform);

// Draws src into dst of target with a blend kernel, through the fastest
// kernel table (see Isa). Sizes equal: 1:1; otherwise nearest-sample scaling
// (ConstantAlpha never scales: it walks the source size from dst's top-left,
// cut at the target's edges). Returns false, drawing nothing, when a surface is
// malformed, dst is not a non-empty rectangle inside the target or src is not a
// non-empty rectangle inside the source.
bool Blend(BlendOp op, const Surface& target, const Rect& dst, const Surface& source, const Rect& src,
           const BlendParams& params);

// The same through the straightforward scalar code: the reference that the
// fast tables must match bit for bit.
bool BlendReference(BlendOp op, const Surface& target, const Rect& dst, const Surface& source, const Rect& src,
                    const BlendParams& params);

// Line from (x0, y0) to (x1, y1), both end points, in COLORREF colour; keeps
// each pixel's alpha byte. Points outside the target are not plotted.
void DrawLine(const Surface& target, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colorref);

// Clears dst and draws src rotated by (angle - 90) degrees about (x, y), the
// same point in both images. False (nothing changed) for a malformed surface,
// a non-finite centre or one too far out for 16.16 fixed point.
bool Rotate(const Surface& dst, const Surface& src, int16_t angle, double x, double y);

// Kernel tables. The default is the best the CPU offers, or the one named by
// the environment variable ENGINE_KERNELS (scalar, sse2, avx2) when the CPU
// has it.
enum class Isa : uint8_t { Scalar, Sse2, Avx2 };
Isa ActiveIsa();
bool IsaSupported(Isa isa);
// Test hook: selects a table; false (nothing changed) when the CPU lacks it.
bool ForceIsa(Isa isa);
const char* IsaName(Isa isa);

} // namespace Veld::Game::Kernels
