// DirectDraw surface helpers shared by images and canvases.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include "kernels/kernels.h"

namespace Veld::Game {

// Locks a whole surface (DDLOCK_WAIT) for the life of the object.
class CSurfaceLock {
public:
    explicit CSurfaceLock(IDirectDrawSurface7* pSurface) : m_pSurface(pSurface), m_desc()
    {
        m_desc.dwSize = sizeof(m_desc);
        if (m_pSurface && FAILED(m_pSurface->Lock(nullptr, &m_desc, DDLOCK_WAIT, nullptr)))
            m_pSurface = nullptr;
    }
    ~CSurfaceLock()
    {
        if (m_pSurface)
            m_pSurface->Unlock(nullptr);
    }
    CSurfaceLock(const CSurfaceLock&) = delete;
    CSurfaceLock& operator=(const CSurfaceLock&) = delete;

    bool IsLocked() const { return m_pSurface != nullptr; }
    const DDSURFACEDESC2& Desc() const { return m_desc; }
    Kernels::Surface Pixels() const
    {
        return {static_cast<uint8_t*>(m_desc.lpSurface), static_cast<int32_t>(m_desc.lPitch),
                static_cast<int32_t>(m_desc.dwWidth), static_cast<int32_t>(m_desc.dwHeight)};
    }

private:
    IDirectDrawSurface7* m_pSurface;
    DDSURFACEDESC2 m_desc;
};

// Width and height of a surface; false when the description cannot be read.
inline bool GetSurfaceSize(IDirectDrawSurface7* pSurface, int& width, int& height)
{
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    if (!pSurface || FAILED(pSurface->GetSurfaceDesc(&desc)))
        return false;
    width = static_cast<int>(desc.dwWidth);
    height = static_cast<int>(desc.dwHeight);
    return true;
}

/// Largest side of an ARGB surface, and largest surface in bytes (4 per pixel).
const int kMaxSurfaceSide = 16384;
const long long kMaxSurfaceBytes = 1LL << 28;

/// True when width x height lies within the limits: DirectDraw's own size
/// arithmetic overflows beyond them.
inline bool IsArgbSurfaceSizeAllowed(int width, int height)
{
    return width > 0 && height > 0 && width <= kMaxSurfaceSide && height <= kMaxSurfaceSide &&
           static_cast<long long>(width) * height * 4 <= kMaxSurfaceBytes;
}

/// A width x height system-memory surface of 32-bit 0xAARRGGBB pixels; null
/// when the size is out of limits, DirectDraw refuses it, or a lock does not
/// show the rows and memory asked for.
inline IDirectDrawSurface7* CreateArgbSurface(IDirectDraw7* pDirectDraw, int width, int height)
{
    if (!pDirectDraw || !IsArgbSurfaceSizeAllowed(width, height))
        return nullptr;
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.ddpfPixelFormat.dwSize = sizeof(desc.ddpfPixelFormat);
    desc.ddpfPixelFormat.dwFlags = DDPF_RGB;
    desc.ddpfPixelFormat.dwRGBBitCount = 32;
    desc.ddpfPixelFormat.dwRBitMask = 0x00FF0000;
    desc.ddpfPixelFormat.dwGBitMask = 0x0000FF00;
    desc.ddpfPixelFormat.dwBBitMask = 0x000000FF;
    desc.ddpfPixelFormat.dwRGBAlphaBitMask = 0xFF000000;
    IDirectDrawSurface7* pSurface = nullptr;
    if (FAILED(pDirectDraw->CreateSurface(&desc, &pSurface, nullptr)) || !pSurface)
        return nullptr;
    bool usable = false;
    {
        CSurfaceLock lock(pSurface);
        const DDSURFACEDESC2& locked = lock.Desc();
        usable = lock.IsLocked() && locked.lpSurface && locked.dwWidth == desc.dwWidth &&
                 locked.dwHeight == desc.dwHeight && locked.lPitch >= static_cast<LONG>(width) * 4;
    }
    if (!usable) {
        pSurface->Release();
        return nullptr;
    }
    return pSurface;
}

// Bits per pixel of the screen, read from the screen's device context.
inline int ScreenBitsPerPixel()
{
    HDC hdc = GetDC(nullptr);
    if (!hdc)
        return 0;
    const int bits = GetDeviceCaps(hdc, BITSPIXEL);
    ReleaseDC(nullptr, hdc);
    return bits;
}

} // namespace Veld::Game
