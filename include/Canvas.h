// The canvas: draws images, rectangles and text into one target image.
//
// Operations are called by vtable slot: the order below is fixed (the
// DrawImage overloads included), and the interface has no virtual destructor.
// Every image argument must be an image made by the engine and not empty.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// winuser.h maps DrawText to DrawTextA/DrawTextW; ICanvas::DrawText must keep
// its own name. Call the Win32 function as DrawTextW.
#undef DrawText

namespace Veld {
namespace Game {

class IImage;

/// How the canvas draws an image. Exactly one drawing method applies per call,
/// chosen by dwFlags in this order: 0 (plain copy), ColorKey, Tint,
/// AlphaComposite, AlphaBlend, Premultiplied, Overlay, ColorDodge, Exclusion,
/// and last ConstantAlpha alone. Transform combines with any method; flags
/// that select no method (Transform alone, for instance) draw nothing.
struct DrawStyle {
    enum Flags : DWORD {
        ColorKey = 0x001,       ///< copy leaving out source pixels in [dwKeyLow, dwKeyHigh]
        ConstantAlpha = 0x002,  ///< pass byAlpha to the blend (else 255); alone: cross-fade by byAlpha
        AlphaBlend = 0x004,     ///< source alpha times alpha over the destination; alpha cleared
        AlphaComposite = 0x008, ///< straight-alpha source-over that builds the destination alpha
        Transform = 0x020,      ///< scale the destination by (fScaleX, fScaleY) about the pivot
        Tint = 0x040,           ///< source tinted toward crTint by byAlpha, over the destination
        Premultiplied = 0x080,  ///< blend of a premultiplied source; alpha cleared
        Overlay = 0x100,        ///< overlay blend mode
        ColorDodge = 0x200,     ///< colour dodge blend mode
        Exclusion = 0x400       ///< exclusion blend mode
    };

    DWORD dwFlags;    ///< Flags bits
    DWORD dwReserved; ///< not read by image drawing
    DWORD dwKeyHigh;  ///< ColorKey: highest keyed source pixel value
    DWORD dwKeyLow;   ///< ColorKey: lowest keyed source pixel value
    float fScaleX;    ///< Transform: horizontal scale
    float fScaleY;    ///< Transform: vertical scale
    int nPivotX;      ///< Transform: pivot offset from the destination's centre, pixels right
    int nPivotY;      ///< Transform: pivot offset from the destination's centre, pixels down
    BYTE byAlpha;     ///< constant alpha 0..255 (followed by 3 bytes of padding)
    COLORREF crTint;  ///< Tint: colour 0x00BBGGRR
};

static_assert(sizeof(DrawStyle) == 40, "DrawStyle is ten 32-bit fields");
static_assert(offsetof(DrawStyle, dwFlags) == 0, "DrawStyle layout");
static_assert(offsetof(DrawStyle, dwReserved) == 4, "DrawStyle layout");
static_assert(offsetof(DrawStyle, dwKeyHigh) == 8, "DrawStyle layout");
static_assert(offsetof(DrawStyle, dwKeyLow) == 12, "DrawStyle layout");
static_assert(offsetof(DrawStyle, fScaleX) == 16, "DrawStyle layout");
static_assert(offsetof(DrawStyle, fScaleY) == 20, "DrawStyle layout");
static_assert(offsetof(DrawStyle, nPivotX) == 24, "DrawStyle layout");
static_assert(offsetof(DrawStyle, nPivotY) == 28, "DrawStyle layout");
static_assert(offsetof(DrawStyle, byAlpha) == 32, "DrawStyle layout");
static_assert(offsetof(DrawStyle, crTint) == 36, "DrawStyle layout");

/// GDI text options of ICanvas::DrawText. Without a style, or without Measure,
/// the text is drawn on one line, centred horizontally at the top of the rectangle.
struct TextStyle {
    enum Flags : DWORD {
        Measure = 0x01,   ///< alone: only measure, the rectangle receives the extent
        UseColors = 0x02, ///< use crText and crBack
        UseFont = 0x08,   ///< use hFont
        FixedCells = 0x10 ///< with Measure: lay the text out in square cells, line by line
    };

    DWORD dwFlags;    ///< Flags bits
    COLORREF crText;  ///< text colour (UseColors)
    COLORREF crBack;  ///< background colour (UseColors)
    DWORD dwReserved; ///< not read
    HFONT hFont;      ///< font selected for the call (UseFont)
};

#ifndef _WIN64 // 32-bit layout; 64-bit test builds have wider pointers
static_assert(sizeof(TextStyle) == 20, "TextStyle layout");
#endif
static_assert(offsetof(TextStyle, dwFlags) == 0, "TextStyle layout");
static_assert(offsetof(TextStyle, crText) == 4, "TextStyle layout");
static_assert(offsetof(TextStyle, crBack) == 8, "TextStyle layout");
static_assert(offsetof(TextStyle, dwReserved) == 12, "TextStyle layout");
static_assert(offsetof(TextStyle, hFont) == 16, "TextStyle layout");

/// GDI+ text options of ICanvas::DrawString. The canvas keeps them for later
/// calls without a style. Starting state: "Verdana", 12 pixels, regular,
/// opaque white, centred both ways.
struct StringStyle {
    enum FontStyles { Regular = 0, Bold = 1, Italic = 2, BoldItalic = 3, Underline = 4, Strikeout = 8 };
    enum Alignments { Near = 1, Center = 2, Far = 3 };

    int nSize;              ///< font size in pixels
    std::wstring strFamily; ///< font family name; unknown names fall back to a sans-serif family
    COLORREF crText;        ///< text colour 0x00BBGGRR, drawn opaque
    int nFontStyle;         ///< FontStyles value; any other value keeps the current style
    int nAlign;             ///< horizontal Alignments value; any other value keeps the current one
    int nLineAlign;         ///< vertical Alignments value; any other value keeps the current one
};

// StringStyle and IDDFont carry std::wstring: clients must use the library's
// C++ runtime ABI (libstdc++ with the C++11 string).
#ifndef _WIN64 // 32-bit layout; 64-bit test builds have wider pointers
static_assert(sizeof(std::wstring) == 24, "client and engine must share the std::wstring layout");
static_assert(sizeof(StringStyle) == 44, "StringStyle layout");
static_assert(offsetof(StringStyle, nSize) == 0, "StringStyle layout");
static_assert(offsetof(StringStyle, strFamily) == 4, "StringStyle layout");
static_assert(offsetof(StringStyle, crText) == 28, "StringStyle layout");
static_assert(offsetof(StringStyle, nFontStyle) == 32, "StringStyle layout");
static_assert(offsetof(StringStyle, nAlign) == 36, "StringStyle layout");
static_assert(offsetof(StringStyle, nLineAlign) == 40, "StringStyle layout");
#endif

/// Draws into one target image. Each canvas has its own dirty list
/// (IDirtyRectManager); the DrawImage operations draw only inside it and draw
/// nothing while it is empty. The other operations ignore it.
/// Rectangles: left, top, right, bottom; right and bottom exclusive.
class ICanvas {
public:
    /// True when the canvas has no target.
    virtual bool IsEmpty() = 0; // slot 0
    /// Draws into pImage from now on. False (target kept) for a null or empty image.
    virtual bool SetTarget(IImage* pImage) = 0; // slot 1
    virtual void ResetTarget() = 0;             // slot 2

    /// Dirty-clipped drawing. The result is always false: it does not report success.
    /// Destination rectangle; source at (nSrcX, nSrcY) of nSrcWidth x nSrcHeight.
    virtual bool DrawImage(IImage* pImage, int nDstLeft, int nDstTop, int nDstRight, int nDstBottom, int nSrcX,
                           int nSrcY, int nSrcWidth, int nSrcHeight,
                           const DrawStyle* pStyle) = 0; // slot 3
    /// Source rectangle stretched into the destination rectangle.
    virtual bool DrawImage(IImage* pImage, RECT rcDst, RECT rcSrc, const DrawStyle* pStyle) = 0; // slot 4
    /// Source rectangle at its own size with its top-left corner at (x, y).
    virtual bool DrawImage(IImage* pImage, int x, int y, RECT rcSrc, const DrawStyle* pStyle) = 0; // slot 5
    /// The whole image at its own size with its top-left corner at (x, y).
    virtual bool DrawImage(IImage* pImage, int x, int y, const DrawStyle* pStyle) = 0; // slot 6

    /// Copies the source rectangle into the destination rectangle leaving out
    /// pixels of value 0 (not dirty-clipped). dwReserved has no effect; pass 0.
    virtual bool DrawImageKeyed(IImage* pImage, RECT rcDst, RECT rcSrc, DWORD dwReserved) = 0; // slot 7
    /// Clears pDst and draws pSrc into it rotated by nAngle - 90 degrees about
    /// the point (x, y) of both images. Needs no target.
    virtual bool RotateImage(IImage* pSrc, IImage* pDst, short nAngle, double x, double y) = 0; // slot 8

    /// Copies *pStyle into the default style (used by BlitImage with a null style).
    virtual void SetDefaultStyle(const DrawStyle* pStyle) = 0; // slot 9
    /// The canvas's own default style; it may be changed in place.
    virtual DrawStyle* GetDefaultStyle() = 0; // slot 10

    /// GDI text; pStyle may be null. In measure mode *pRect receives the extent.
    virtual bool DrawText(const wchar_t* pszText, RECT* pRect, const TextStyle* pStyle) = 0; // slot 11
    /// GDI+ antialiased text in *pRect; pStyle may be null. GDI+ must be started by the client.
    virtual bool DrawString(const wchar_t* pszText, const RECT* pRect, const StringStyle* pStyle) = 0; // slot 12

    /// Fills *pRect (the whole target when null) with clr; the alpha byte becomes 0.
    virtual bool FillRect(const RECT* pRect, COLORREF clr) = 0; // slot 13
    /// Outlines *pRect (right and bottom inclusive here); edges outside the target are left out.
    virtual bool DrawRect(const RECT* pRect, COLORREF clr) = 0; // slot 14
    /// Draws without dirty clipping; a null style uses the default style.
    /// The result is always false: it does not report success.
    virtual bool BlitImage(IImage* pImage, RECT rcDst, RECT rcSrc, const DrawStyle* pStyle) = 0; // slot 15
};

} // namespace Game
} // namespace Veld
