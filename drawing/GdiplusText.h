// GDI+ text helpers shared by the canvas's string output and the glyphs:
// owning handles and a font that falls back to the generic sans-serif family.
#pragma once

#include <memory>

#include "GdiplusUtil.h"

namespace Veld::Game::Gdip {

using FontFamilyPtr = HandlePtr<GpFontFamily, GdipDeleteFontFamily>;
using FontPtr = HandlePtr<GpFont, GdipDeleteFont>;
using BrushPtr = HandlePtr<GpBrush, GdipDeleteBrush>;
using StringFormatPtr = HandlePtr<GpStringFormat, GdipDeleteStringFormat>;

// A font of the named family in pixel units. When the family is not
// installed, or has no font of the style, the generic sans-serif family
// stands in. The family must outlive the font: both are handed out.
inline bool CreatePixelFont(const wchar_t* pszFamily, float fSize, int nStyle, FontFamilyPtr& family, FontPtr& font)
{
    GpFontFamily* pFamily = nullptr;
    GpFont* pFont = nullptr;
    if (GdipCreateFontFamilyFromName(pszFamily, nullptr, &pFamily) == Ok && pFamily) {
        family.reset(pFamily);
        if (GdipCreateFont(pFamily, fSize, nStyle, UnitPixel, &pFont) == Ok && pFont) {
            font.reset(pFont);
            return true;
        }
        family.reset();
    }
    pFamily = nullptr;
    if (GdipGetGenericFontFamilySansSerif(&pFamily) != Ok || !pFamily)
        return false;
    family.reset(pFamily);
    pFont = nullptr;
    if (GdipCreateFont(pFamily, fSize, nStyle, UnitPixel, &pFont) != Ok || !pFont)
        return false;
    font.reset(pFont);
    return true;
}

// Opaque ARGB of a COLORREF 0x00BBGGRR.
inline ARGB OpaqueArgb(COLORREF clr)
{
    return 0xFF000000u | (static_cast<ARGB>(GetRValue(clr)) << 16) | (static_cast<ARGB>(GetGValue(clr)) << 8) |
           GetBValue(clr);
}

// Draws text on a device context in one colour. Every GDI+ object made on
// the context is deleted before this returns, so the caller may then release
// the context. False when the graphics, font or brush cannot be made or the
// drawing fails.
inline bool DrawStringOnDC(HDC hdc, const wchar_t* pszText, int nLength, const wchar_t* pszFamily, float fSize,
                           int nStyle, ARGB color, const RectF& layout, GpStringFormat* pFormat)
{
    GpGraphics* pGraphics = nullptr;
    if (GdipCreateFromHDC(hdc, &pGraphics) != Ok || !pGraphics)
        return false;
    GraphicsPtr graphics(pGraphics);
    FontFamilyPtr family;
    FontPtr font;
    GpSolidFill* pBrush = nullptr;
    if (!CreatePixelFont(pszFamily, fSize, nStyle, family, font) || GdipCreateSolidFill(color, &pBrush) != Ok ||
        !pBrush)
        return false;
    BrushPtr brush(pBrush);
    return GdipDrawString(pGraphics, pszText, nLength, font.get(), &layout, pFormat, pBrush) == Ok;
}

} // namespace Veld::Game::Gdip
