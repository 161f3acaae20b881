// A canvas: draws into one target image through DirectDraw blits and the
// software kernels, restricted by its own dirty list where the interface says so.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include <string>

#include "Canvas.h"
#include "Display.h"
#include "DirtyRegion.h"

namespace Gdiplus {
class GpStringFormat;
}

namespace Veld {
namespace Game {

class CDDImage;

class CDDCanvas final : public ICanvas, public IDirtyRectManager {
public:
    CDDCanvas();
    ~CDDCanvas();

    CDDCanvas(const CDDCanvas&) = delete;
    CDDCanvas& operator=(const CDDCanvas&) = delete;

    // ICanvas
    bool IsEmpty() override;
    bool SetTarget(IImage* pImage) override;
    void ResetTarget() override;
    bool DrawImage(IImage* pImage, int nDstLeft, int nDstTop, int nDstRight, int nDstBottom, int nSrcX, int nSrcY,
                   int nSrcWidth, int nSrcHeight, const DrawStyle* pStyle) override;
    bool DrawImage(IImage* pImage, RECT rcDst, RECT rcSrc, const DrawStyle* pStyle) override;
    bool DrawImage(IImage* pImage, int x, int y, RECT rcSrc, const DrawStyle* pStyle) override;
    bool DrawImage(IImage* pImage, int x, int y, const DrawStyle* pStyle) override;
    bool DrawImageKeyed(IImage* pImage, RECT rcDst, RECT rcSrc, DWORD dwReserved) override;
    bool RotateImage(IImage* pSrc, IImage* pDst, short nAngle, double x, double y) override;
    void SetDefaultStyle(const DrawStyle* pStyle) override;
    DrawStyle* GetDefaultStyle() override;
    bool DrawText(const wchar_t* pszText, RECT* pRect, const TextStyle* pStyle) override;
    bool DrawString(const wchar_t* pszText, const RECT* pRect, const StringStyle* pStyle) override;
    bool FillRect(const RECT* pRect, COLORREF clr) override;
    bool DrawRect(const RECT* pRect, COLORREF clr) override;
    bool BlitImage(IImage* pImage, RECT rcDst, RECT rcSrc, const DrawStyle* pStyle) override;

    // IDirtyRectManager
    bool AddDirtyRect(const RECT* pRect, int nReserved) override;
    bool IsRectDirty(const RECT* pRect) override;
    bool ClearDirtyRects() override;

    /// Status of the GDI+ string format made at construction (0 when it is usable).
    int GetStringFormatStatus() const { return m_nStringFormatStatus; }
    /// Rectangles in the dirty list.
    size_t GetDirtyRectCount() const { return m_dirtyRects.Count(); }

private:
    // Dirty-clipped drawing shared by the DrawImage forms.
    bool DrawClipped(IImage* pImage, const Kernels::Rect& dst, const Kernels::Rect& src, const DrawStyle* pStyle);
    bool Blend(CDDImage* pImage, const Kernels::Rect& dst, const Kernels::Rect& src, Kernels::BlendOp op,
               const Kernels::BlendParams& params);
    // Text helpers of DrawText and DrawString.
    static void DrawFixedCells(HDC hdc, const wchar_t* pszText, const RECT& rc);
    void ApplyStringStyle(const StringStyle& style);

    // Layout rectangle of the GDI+ text output.
    struct LayoutRect {
        float x;
        float y;
        float width;
        float height;
    };

    IDirectDrawSurface7* m_pTarget;
    DrawStyle m_styleDefault;
    LayoutRect m_rcLayout;
    std::wstring m_strFontFamily;
    int m_nFontSize;
    int m_nFontStyle;
    Gdiplus::GpStringFormat* m_pStringFormat;
    int m_nStringFormatStatus;
    DWORD m_dwTextColor;
    int m_nScreenBitsPerPixel;
    CDirtyRectList m_dirtyRects;
};

} // namespace Game
} // namespace Veld
