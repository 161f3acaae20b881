// An image: one 32-bit system-memory DirectDraw surface holding straight
// 0xAARRGGBB pixels, filled by Create or from pictures decoded by GDI+.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include "Image.h"

namespace Gdiplus {
class GpImage;
}

namespace Veld {
namespace Game {

class CDDImage final : public IImage {
public:
    CDDImage();
    ~CDDImage();

    CDDImage(const CDDImage&) = delete;
    CDDImage& operator=(const CDDImage&) = delete;

    // IImage
    int IsEmpty() override;
    int GetWidth() override;
    int GetHeight() override;
    bool Create(int nWidth, int nHeight) override;
    bool LoadFromFile(const wchar_t* pszPath) override;
    bool LoadFromStream(IStream* pStream) override;
    bool LoadFromImage(Gdiplus::Image* pImage) override;
    bool Lock(ImageLockInfo* pInfo) override;
    void Unlock() override;
    bool RenderFromImage(Gdiplus::Image* pImage) override;
    bool LoadFromImageBits(Gdiplus::Image* pImage) override;
    bool LoadFromImageDC(Gdiplus::Image* pImage) override;

    /// Set by the creator right after construction; not owned. Without it no
    /// surface can be made.
    void SetDirectDraw(IDirectDraw7* pDirectDraw) { m_pDirectDraw = pDirectDraw; }
    /// The surface (null when empty); owned by the image.
    IDirectDrawSurface7* GetSurface() const { return m_pSurface; }

private:
    void ReleaseSurface();
    // The two conversion paths on a flat GDI+ image with its last status.
    bool LoadByScreenDepth(Gdiplus::GpImage* pImage, int nLastStatus);
    bool LoadByBits(Gdiplus::GpImage* pImage, int nLastStatus);
    bool LoadByDrawing(Gdiplus::GpImage* pImage, int nLastStatus);
    // Makes the surface and lets GDI+ write the bitmap's pixels into it as
    // straight ARGB. Leaves the image empty on failure.
    bool StoreBitmap(Gdiplus::GpImage* pBitmap);

    IDirectDraw7* m_pDirectDraw;
    IDirectDrawSurface7* m_pSurface;
    int m_nWidth;
    int m_nHeight;
    bool m_bLocked;
    int m_nScreenBitsPerPixel;
};

} // namespace Game
} // namespace Veld
