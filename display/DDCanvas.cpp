#include "DDCanvas.h"

#include "DDImage.h"
#include "DDSurface.h"
#include "GdiplusText.h"
#include "GdiplusUtil.h"

#include <cwchar>

namespace Veld {
namespace Game {

using Kernels::Rect;

namespace {

Rect ToRect(const RECT& rc)
{
    return {static_cast<int32_t>(rc.left), static_cast<int32_t>(rc.top), static_cast<int32_t>(rc.right),
            static_cast<int32_t>(rc.bottom)};
}

RECT ToRECT(const Rect& rc)
{
    return {rc.left, rc.top, rc.right, rc.bottom};
}

// The image as a drawable CDDImage: one of ours, with a surface.
CDDImage* UsableImage(IImage* pImage)
{
    CDDImage* pDDImage = dynamic_cast<CDDImage*>(pImage);
    if (!pDDImage || pDDImage->IsEmpty() || !pDDImage->GetSurface())
        return nullptr;
    return pDDImage;
}

// COLORREF 0x00BBGGRR as the pixel 0x00RRGGBB.
DWORD PixelFromColorref(COLORREF clr)
{
    return ((clr & 0xFFu) << 16) | (clr & 0xFF00u) | ((clr >> 16) & 0xFFu);
}

} // namespace

CDDCanvas::CDDCanvas()
    : m_pTarget(nullptr), m_styleDefault(), m_rcLayout{0.0f, 0.0f, 0.0f, 0.0f}, m_strFontFamily(L"Verdana"),
      m_nFontSize(12), m_nFontStyle(0), m_pStringFormat(nullptr), m_nStringFormatStatus(Gdiplus::Ok),
      m_dwTextColor(0xFFFFFFFF), m_nScreenBitsPerPixel(ScreenBitsPerPixel())
{
    // Text state for DrawString, centred both ways with character trimming.
    // Before GDI+ is started this fails; the status is kept and nothing else
    // depends on it.
    Gdiplus::GpStringFormat* pFormat = nullptr;
    const Gdiplus::GpStatus created = Gdip::GdipCreateStringFormat(0, LANG_NEUTRAL, &pFormat);
    if (created != Gdiplus::Ok || !pFormat) {
        m_nStringFormatStatus = created != Gdiplus::Ok ? created : Gdiplus::GenericError;
        return;
    }
    m_pStringFormat = pFormat;
    const Gdiplus::GpStatus statuses[] = {Gdip::GdipSetStringFormatAlign(pFormat, Gdiplus::StringAlignmentCenter),
                                          Gdip::GdipSetStringFormatLineAlign(pFormat, Gdiplus::StringAlignmentCenter),
                                          Gdip::GdipSetStringFormatTrimming(pFormat, Gdiplus::StringTrimmingCharacter)};
    for (Gdiplus::GpStatus status : statuses)
        if (status != Gdiplus::Ok)
            m_nStringFormatStatus = status;
}

CDDCanvas::~CDDCanvas()
{
    if (m_pStringFormat)
        Gdip::GdipDeleteStringFormat(m_pStringFormat);
}

bool CDDCanvas::IsEmpty()
{
    return m_pTarget == nullptr;
}

bool CDDCanvas::SetTarget(IImage* pImage)
{
    CDDImage* pDDImage = UsableImage(pImage);
    if (!pDDImage)
        return false;
    m_pTarget = pDDImage->GetSurface();
    return true;
}

void CDDCanvas::ResetTarget()
{
    m_pTarget = nullptr;
}

bool CDDCanvas::DrawImage(IImage* pImage, int nDstLeft, int nDstTop, int nDstRight, int nDstBottom, int nSrcX,
                          int nSrcY, int nSrcWidth, int nSrcHeight, const DrawStyle* pStyle)
{
    Rect src;
    if (!pImage ||
        !MakeRect(nSrcX, nSrcY, static_cast<int64_t>(nSrcX) + nSrcWidth, static_cast<int64_t>(nSrcY) + nSrcHeight, src))
        return false;
    return DrawClipped(pImage, {nDstLeft, nDstTop, nDstRight, nDstBottom}, src, pStyle);
}

bool CDDCanvas::DrawImage(IImage* pImage, RECT rcDst, RECT rcSrc, const DrawStyle* pStyle)
{
    if (!pImage)
        return false;
    return DrawClipped(pImage, ToRect(rcDst), ToRect(rcSrc), pStyle);
}

bool CDDCanvas::DrawImage(IImage* pImage, int x, int y, RECT rcSrc, const DrawStyle* pStyle)
{
    const int64_t width = static_cast<int64_t>(rcSrc.right) - rcSrc.left;
    const int64_t height = static_cast<int64_t>(rcSrc.bottom) - rcSrc.top;
    Rect dst;
    if (!pImage || !MakeRect(x, y, x + width, y + height, dst))
        return false;
    return DrawClipped(pImage, dst, ToRect(rcSrc), pStyle);
}

bool CDDCanvas::DrawImage(IImage* pImage, int x, int y, const DrawStyle* pStyle)
{
    if (!pImage)
        return false;
    const int width = pImage->GetWidth();
    const int height = pImage->GetHeight();
    Rect dst;
    if (!MakeRect(x, y, static_cast<int64_t>(x) + width, static_cast<int64_t>(y) + height, dst))
        return false;
    return DrawClipped(pImage, dst, {0, 0, width, height}, pStyle);
}

bool CDDCanvas::DrawClipped(IImage* pImage, const Rect& dst, const Rect& src, const DrawStyle* pStyle)
{
    Rect out;
    if (!m_dirtyRects.ClipToDirtyRegion(dst, out))
        return false;
    Rect adjusted = src;
    if (!AdjustSourceToClip(dst, out, adjusted))
        return false;
    return BlitImage(pImage, ToRECT(out), ToRECT(adjusted), pStyle);
}

bool CDDCanvas::BlitImage(IImage* pImage, RECT rcDst, RECT rcSrc, const DrawStyle* pStyle)
{
    CDDImage* pDDImage = UsableImage(pImage);
    if (!m_pTarget || !pDDImage)
        return false;
    const DrawStyle& style = pStyle ? *pStyle : m_styleDefault;
    int width = 0, height = 0;
    if (!GetSurfaceSize(m_pTarget, width, height))
        return false;

    Rect dst = ToRect(rcDst);
    Rect src = ToRect(rcSrc);
    const Kernels::Transform transform = {style.fScaleX, style.fScaleY, style.nPivotX, style.nPivotY};
    if (!Kernels::PrepareBlit(width, height, dst, src, (style.dwFlags & DrawStyle::Transform) ? &transform : nullptr))
        return false;

    IDirectDrawSurface7* pSource = pDDImage->GetSurface();
    RECT rcTo = ToRECT(dst);
    RECT rcFrom = ToRECT(src);
    const Kernels::MethodChoice method = Kernels::ChooseMethod(style.dwFlags, style.byAlpha);
    switch (method.method) {
    case Kernels::Method::None: break;
    case Kernels::Method::Blt: m_pTarget->Blt(&rcTo, pSource, &rcFrom, DDBLT_WAIT, nullptr); break;
    case Kernels::Method::ColorKeyBlt: {
        DDCOLORKEY key = {style.dwKeyLow, style.dwKeyHigh};
        pSource->SetColorKey(DDCKEY_SRCBLT, &key);
        m_pTarget->Blt(&rcTo, pSource, &rcFrom, DDBLT_WAIT | DDBLT_KEYSRC, nullptr);
        break;
    }
    case Kernels::Method::Kernel: {
        Kernels::BlendParams params;
        params.alpha = method.alpha;
        params.tint = style.crTint;
        params.depth16 = m_nScreenBitsPerPixel == 16;
        Blend(pDDImage, dst, src, method.op, params);
        break;
    }
    }
    // Callers do not take the result as a success indicator.
    return false;
}

bool CDDCanvas::Blend(CDDImage* pImage, const Rect& dst, const Rect& src, Kernels::BlendOp op,
                      const Kernels::BlendParams& params)
{
    CSurfaceLock target(m_pTarget);
    if (!target.IsLocked())
        return false;
    // An image drawn into itself: one lock serves both sides.
    if (pImage->GetSurface() == m_pTarget)
        return Kernels::Blend(op, target.Pixels(), dst, target.Pixels(), src, params);
    CSurfaceLock source(pImage->GetSurface());
    if (!source.IsLocked())
        return false;
    return Kernels::Blend(op, target.Pixels(), dst, source.Pixels(), src, params);
}

bool CDDCanvas::DrawImageKeyed(IImage* pImage, RECT rcDst, RECT rcSrc, DWORD dwReserved)
{
    (void)dwReserved;
    CDDImage* pDDImage = UsableImage(pImage);
    if (!m_pTarget || !pDDImage)
        return false;
    int width = 0, height = 0;
    if (!GetSurfaceSize(m_pTarget, width, height))
        return false;
    Rect dst = ToRect(rcDst);
    Rect src = ToRect(rcSrc);
    if (!Kernels::ClipToTarget(width, height, dst, src))
        return false;
    IDirectDrawSurface7* pSource = pDDImage->GetSurface();
    DDCOLORKEY black = {0, 0};
    pSource->SetColorKey(DDCKEY_SRCBLT, &black);
    RECT rcTo = ToRECT(dst);
    RECT rcFrom = ToRECT(src);
    return SUCCEEDED(m_pTarget->Blt(&rcTo, pSource, &rcFrom, DDBLT_WAIT | DDBLT_KEYSRC, nullptr));
}

bool CDDCanvas::RotateImage(IImage* pSrc, IImage* pDst, short nAngle, double x, double y)
{
    CDDImage* pSource = UsableImage(pSrc);
    CDDImage* pDest = UsableImage(pDst);
    // The destination is cleared first, so an image cannot be rotated into itself.
    if (!pSource || !pDest || pSource->GetSurface() == pDest->GetSurface())
        return false;
    CSurfaceLock dest(pDest->GetSurface());
    if (!dest.IsLocked())
        return false;
    CSurfaceLock source(pSource->GetSurface());
    if (!source.IsLocked())
        return false;
    return Kernels::Rotate(dest.Pixels(), source.Pixels(), nAngle, x, y);
}

void CDDCanvas::SetDefaultStyle(const DrawStyle* pStyle)
{
    if (pStyle)
        m_styleDefault = *pStyle;
}

DrawStyle* CDDCanvas::GetDefaultStyle()
{
    return &m_styleDefault;
}

bool CDDCanvas::DrawText(const wchar_t* pszText, RECT* pRect, const TextStyle* pStyle)
{
    if (!m_pTarget || !pszText || !pRect)
        return false;
    HDC hdc = nullptr;
    if (FAILED(m_pTarget->GetDC(&hdc)) || !hdc)
        return true;

    const DWORD flags = pStyle ? pStyle->dwFlags : 0;
    COLORREF crOldText = 0, crOldBack = 0;
    HGDIOBJ hOldFont = nullptr;
    if (flags & TextStyle::UseColors) {
        crOldText = SetTextColor(hdc, pStyle->crText);
        crOldBack = SetBkColor(hdc, pStyle->crBack);
    }
    if (flags & TextStyle::UseFont)
        hOldFont = SelectObject(hdc, pStyle->hFont);

    if (!(flags & TextStyle::Measure)) {
        SetBkMode(hdc, TRANSPARENT);
        DrawTextW(hdc, pszText, -1, pRect, DT_CENTER);
    } else if (flags & TextStyle::FixedCells) {
        SetBkMode(hdc, TRANSPARENT);
        DrawFixedCells(hdc, pszText, *pRect);
    } else {
        DrawTextW(hdc, pszText, -1, pRect, DT_CALCRECT);
    }

    if (flags & TextStyle::UseColors) {
        SetTextColor(hdc, crOldText);
        SetBkColor(hdc, crOldBack);
    }
    if ((flags & TextStyle::UseFont) && hOldFont)
        SelectObject(hdc, hOldFont);
    m_pTarget->ReleaseDC(hdc);
    return true;
}

void CDDCanvas::DrawFixedCells(HDC hdc, const wchar_t* pszText, const RECT& rc)
{
    // Square cells as high as the font's line; lines are placed 3 pixels apart.
    RECT rcCell = rc;
    const int cell = ::DrawTextW(hdc, L" ", 1, &rcCell, DT_WORDBREAK | DT_EDITCONTROL);
    if (cell <= 0)
        return;
    const int64_t perLine = (static_cast<int64_t>(rc.right) - rc.left) / cell;
    const int64_t lines = (static_cast<int64_t>(rc.bottom) - rc.top) / cell;
    // An inverted or too small rectangle holds no cell.
    if (perLine <= 0 || lines <= 0)
        return;
    const int64_t length = static_cast<int64_t>(wcslen(pszText));
    const int64_t pitch = cell + 3;
    int64_t consumed = 0;
    for (int64_t i = 0; i < lines && consumed < length; ++i, consumed += perLine) {
        const int64_t top = rc.top + i * pitch;
        const int64_t bottom = top + pitch;
        if (bottom > INT32_MAX)
            break;
        RECT rcLine = {rc.left, static_cast<LONG>(top), rc.right, static_cast<LONG>(bottom)};
        const int64_t count = length - consumed < perLine ? length - consumed : perLine;
        DrawTextW(hdc, pszText + consumed, static_cast<int>(count), &rcLine, 0);
    }
}

bool CDDCanvas::DrawString(const wchar_t* pszText, const RECT* pRect, const StringStyle* pStyle)
{
    using namespace Gdip;
    // A canvas made before GDI+ was started has no string format to draw with.
    if (!m_pTarget || !pszText || !pRect || !m_pStringFormat)
        return false;
    HDC hdc = nullptr;
    if (FAILED(m_pTarget->GetDC(&hdc)) || !hdc)
        return false;

    m_rcLayout = {static_cast<float>(pRect->left), static_cast<float>(pRect->top),
                  static_cast<float>(static_cast<int64_t>(pRect->right) - pRect->left),
                  static_cast<float>(static_cast<int64_t>(pRect->bottom) - pRect->top)};
    if (pStyle)
        ApplyStringStyle(*pStyle);

    const RectF layout(m_rcLayout.x, m_rcLayout.y, m_rcLayout.width, m_rcLayout.height);
    const bool drawn =
        m_nFontSize > 0 && DrawStringOnDC(hdc, pszText, -1, m_strFontFamily.c_str(), static_cast<float>(m_nFontSize),
                                          m_nFontStyle, m_dwTextColor, layout, m_pStringFormat);
    m_pTarget->ReleaseDC(hdc);
    return drawn;
}

void CDDCanvas::ApplyStringStyle(const StringStyle& style)
{
    using namespace Gdip;
    switch (style.nFontStyle) {
    case StringStyle::Regular:
    case StringStyle::Bold:
    case StringStyle::Italic:
    case StringStyle::BoldItalic:
    case StringStyle::Underline:
    case StringStyle::Strikeout: m_nFontStyle = style.nFontStyle; break;
    default: break;
    }
    // Near, Center, Far (1, 2, 3) are GDI+'s alignments 0, 1, 2.
    if (style.nAlign >= StringStyle::Near && style.nAlign <= StringStyle::Far) {
        const GpStatus status =
            GdipSetStringFormatAlign(m_pStringFormat, static_cast<StringAlignment>(style.nAlign - 1));
        if (status != Ok)
            m_nStringFormatStatus = status;
    }
    if (style.nLineAlign >= StringStyle::Near && style.nLineAlign <= StringStyle::Far) {
        const GpStatus status =
            GdipSetStringFormatLineAlign(m_pStringFormat, static_cast<StringAlignment>(style.nLineAlign - 1));
        if (status != Ok)
            m_nStringFormatStatus = status;
    }
    m_dwTextColor = OpaqueArgb(style.crText);
    m_nFontSize = style.nSize;
    m_strFontFamily = style.strFamily;
}

bool CDDCanvas::FillRect(const RECT* pRect, COLORREF clr)
{
    if (!m_pTarget)
        return false;
    RECT rcFill;
    if (pRect) {
        // DirectDraw refuses a rectangle that reaches past the surface: fill
        // the part inside it.
        int width = 0, height = 0;
        Rect inside;
        if (!GetSurfaceSize(m_pTarget, width, height) || !IntersectRects(ToRect(*pRect), {0, 0, width, height}, inside))
            return false;
        rcFill = ToRECT(inside);
    }
    DDBLTFX fx = {};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = PixelFromColorref(clr);
    return SUCCEEDED(m_pTarget->Blt(pRect ? &rcFill : nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
}

bool CDDCanvas::DrawRect(const RECT* pRect, COLORREF clr)
{
    int width = 0, height = 0;
    if (!m_pTarget || !pRect || !GetSurfaceSize(m_pTarget, width, height))
        return false;
    // Right and bottom are inclusive here; edges outside the target are left out.
    LONG left = pRect->left, top = pRect->top, right = pRect->right, bottom = pRect->bottom;
    bool bLeft = true, bTop = true, bRight = true, bBottom = true;
    if (left < 0) {
        left = 0;
        bLeft = false;
    } else if (left >= width) {
        return false;
    }
    if (top >= height)
        return false;
    if (top < 0) {
        top = 0;
        bTop = false;
    }
    if (right >= width) {
        right = width - 1;
        bRight = false;
    } else if (right < 0) {
        return false;
    }
    if (bottom >= height) {
        bottom = height - 1;
        bBottom = false;
    } else if (bottom < 0) {
        return false;
    }

    CSurfaceLock lock(m_pTarget);
    if (!lock.IsLocked())
        return false;
    const Kernels::Surface target = lock.Pixels();
    if (bTop)
        Kernels::DrawLine(target, right, top, left, top, clr);
    if (bLeft)
        Kernels::DrawLine(target, left, bottom, left, top, clr);
    if (bRight)
        Kernels::DrawLine(target, right, bottom, right, top, clr);
    if (bBottom)
        Kernels::DrawLine(target, right, bottom, left, bottom, clr);
    return true;
}

bool CDDCanvas::AddDirtyRect(const RECT* pRect, int nReserved)
{
    (void)nReserved;
    if (!pRect)
        return false;
    m_dirtyRects.Add(ToRect(*pRect));
    return true;
}

bool CDDCanvas::IsRectDirty(const RECT* pRect)
{
    (void)pRect;
    return true;
}

bool CDDCanvas::ClearDirtyRects()
{
    m_dirtyRects.Clear();
    return true;
}

} // namespace Game
} // namespace Veld
