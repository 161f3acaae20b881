#include "DDImage.h"

#include <io.h>

#include <climits>

#include "DDSurface.h"
#include "GdiplusUtil.h"

namespace Veld {
namespace Game {

using namespace Gdip;

namespace {

// Width and height of a GDI+ image; false unless both are 1 to INT_MAX.
bool PictureSize(GpImage* pImage, int& width, int& height)
{
    UINT w = 0, h = 0;
    if (GdipGetImageWidth(pImage, &w) != Ok || GdipGetImageHeight(pImage, &h) != Ok)
        return false;
    if (w < 1 || h < 1 || w > INT_MAX || h > INT_MAX)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// A new width x height 32-bit ARGB bitmap with the picture drawn into it
// (source over transparent black); null on failure.
ImagePtr DrawToArgbBitmap(GpImage* pImage, int width, int height)
{
    GpBitmap* pBitmap = nullptr;
    if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &pBitmap) != Ok)
        return nullptr;
    ImagePtr bitmap(pBitmap);
    GpGraphics* pGraphics = nullptr;
    if (GdipGetImageGraphicsContext(pBitmap, &pGraphics) != Ok)
        return nullptr;
    GraphicsPtr graphics(pGraphics);
    if (GdipDrawImageRectRectI(pGraphics, pImage, 0, 0, width, height, 0, 0, width, height, UnitPixel, nullptr, nullptr,
                               nullptr) != Ok)
        return nullptr;
    return bitmap;
}

} // namespace

CDDImage::CDDImage()
    : m_pDirectDraw(nullptr), m_pSurface(nullptr), m_nWidth(0), m_nHeight(0), m_bLocked(false),
      m_nScreenBitsPerPixel(ScreenBitsPerPixel())
{
}

CDDImage::~CDDImage()
{
    ReleaseSurface();
}

void CDDImage::ReleaseSurface()
{
    if (!m_pSurface)
        return;
    // A lock held by the client ends with the surface.
    if (m_bLocked)
        m_pSurface->Unlock(nullptr);
    m_bLocked = false;
    m_pSurface->Release();
    m_pSurface = nullptr;
}

int CDDImage::IsEmpty()
{
    return m_pSurface == nullptr ? 1 : 0;
}

int CDDImage::GetWidth()
{
    return m_pSurface ? m_nWidth : 0;
}

int CDDImage::GetHeight()
{
    return m_pSurface ? m_nHeight : 0;
}

bool CDDImage::Create(int nWidth, int nHeight)
{
    if (!m_pDirectDraw)
        return false;
    ReleaseSurface();
    if (nWidth <= 0 || nHeight <= 0)
        return false;

    IDirectDrawSurface7* pSurface = CreateArgbSurface(m_pDirectDraw, nWidth, nHeight);
    if (!pSurface)
        return false;
    m_pSurface = pSurface;
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    return true;
}

bool CDDImage::LoadFromFile(const wchar_t* pszPath)
{
    if (!m_pDirectDraw)
        return false;
    ReleaseSurface();
    if (!pszPath || _waccess(pszPath, 0) != 0)
        return false;

    GpBitmap* pDecoded = nullptr;
    if (GdipCreateBitmapFromFile(pszPath, &pDecoded) != Ok)
        return false;
    ImagePtr decoded(pDecoded);
    int width = 0, height = 0;
    if (!PictureSize(pDecoded, width, height))
        return false;
    // Every file format (palette, 24-bit, 32-bit with alpha) becomes 32-bit ARGB.
    ImagePtr argb = DrawToArgbBitmap(pDecoded, width, height);
    if (!argb)
        return false;
    return LoadByScreenDepth(argb.get(), Ok);
}

bool CDDImage::LoadFromStream(IStream* pStream)
{
    if (!m_pDirectDraw)
        return false;
    ReleaseSurface();
    if (!pStream)
        return false;
    GpBitmap* pDecoded = nullptr;
    if (GdipCreateBitmapFromStream(pStream, &pDecoded) != Ok)
        return false;
    ImagePtr decoded(pDecoded);
    return LoadByScreenDepth(pDecoded, Ok);
}

bool CDDImage::LoadFromImage(Gdiplus::Image* pImage)
{
    return m_nScreenBitsPerPixel == 32 ? LoadFromImageDC(pImage) : LoadFromImageBits(pImage);
}

bool CDDImage::RenderFromImage(Gdiplus::Image* pImage)
{
    return LoadFromImageDC(pImage);
}

bool CDDImage::LoadFromImageBits(Gdiplus::Image* pImage)
{
    if (!m_pDirectDraw)
        return false;
    // Reading the status resets it, as the client's own query does.
    return LoadByBits(NativeImage(pImage), pImage ? pImage->GetLastStatus() : Ok);
}

bool CDDImage::LoadFromImageDC(Gdiplus::Image* pImage)
{
    if (!m_pDirectDraw)
        return false;
    return LoadByDrawing(NativeImage(pImage), pImage ? pImage->GetLastStatus() : Ok);
}

bool CDDImage::LoadByScreenDepth(GpImage* pImage, int nLastStatus)
{
    return m_nScreenBitsPerPixel == 32 ? LoadByDrawing(pImage, nLastStatus) : LoadByBits(pImage, nLastStatus);
}

bool CDDImage::LoadByBits(GpImage* pImage, int nLastStatus)
{
    ReleaseSurface();
    if (!pImage)
        return false;
    if (IsBitmap(pImage) && nLastStatus == Ok)
        return StoreBitmap(pImage);

    int width = 0, height = 0;
    if (!PictureSize(pImage, width, height))
        return false;
    ImagePtr copy;
    if (IsBitmap(pImage)) {
        PixelFormat format = 0;
        GpBitmap* pCopy = nullptr;
        if (GdipGetImagePixelFormat(pImage, &format) != Ok ||
            GdipCloneBitmapAreaI(0, 0, width, height, format, static_cast<GpBitmap*>(pImage), &pCopy) != Ok)
            return false;
        copy.reset(pCopy);
    } else {
        // A metafile has no pixels to copy: render it first.
        copy = DrawToArgbBitmap(pImage, width, height);
        if (!copy)
            return false;
    }
    return StoreBitmap(copy.get());
}

bool CDDImage::LoadByDrawing(GpImage* pImage, int nLastStatus)
{
    ReleaseSurface();
    if (!pImage || nLastStatus != Ok)
        return false;
    if (IsBitmap(pImage))
        return StoreBitmap(pImage);
    int width = 0, height = 0;
    if (!PictureSize(pImage, width, height))
        return false;
    ImagePtr rendered = DrawToArgbBitmap(pImage, width, height);
    return rendered && StoreBitmap(rendered.get());
}

bool CDDImage::StoreBitmap(GpImage* pBitmap)
{
    int width = 0, height = 0;
    if (!PictureSize(pBitmap, width, height) || !Create(width, height))
        return false;
    bool stored = false;
    {
        CSurfaceLock lock(m_pSurface);
        if (lock.IsLocked()) {
            // GDI+ converts straight into the surface rows: no intermediate copy.
            PixelFormat format = PixelFormat32bppARGB;
            GdipGetImagePixelFormat(pBitmap, &format);
            BitmapData data = {};
            data.Width = static_cast<UINT>(width);
            data.Height = static_cast<UINT>(height);
            data.Stride = lock.Desc().lPitch;
            data.PixelFormat = format;
            data.Scan0 = lock.Desc().lpSurface;
            const GpRect rect(0, 0, width, height);
            GpBitmap* pBits = static_cast<GpBitmap*>(pBitmap);
            if (GdipBitmapLockBits(pBits, &rect, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat32bppARGB,
                                   &data) == Ok)
                stored = GdipBitmapUnlockBits(pBits, &data) == Ok;
        }
    }
    if (!stored)
        ReleaseSurface();
    return stored;
}

bool CDDImage::Lock(ImageLockInfo* pInfo)
{
    if (!pInfo || !m_pSurface || m_bLocked)
        return false;
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    if (FAILED(m_pSurface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr)))
        return false;
    pInfo->format = ImageLockInfo::FormatARGB32;
    pInfo->pitch = static_cast<int>(desc.lPitch);
    pInfo->width = static_cast<int>(desc.dwWidth);
    pInfo->height = static_cast<int>(desc.dwHeight);
    pInfo->bits = static_cast<BYTE*>(desc.lpSurface);
    m_bLocked = true;
    return true;
}

void CDDImage::Unlock()
{
    if (!m_bLocked)
        return;
    m_pSurface->Unlock(nullptr);
    m_bLocked = false;
}

} // namespace Game
} // namespace Veld
