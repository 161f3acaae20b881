// Images: 32-bit ARGB pictures in system-memory DirectDraw surfaces, made by
// IGameEngine::CreateImage and given back with IGameEngine::DestroyImage.
//
// Pixels are 32-bit words 0xAARRGGBB (bytes in memory: blue, green, red,
// alpha) with straight alpha; rows are `pitch` bytes apart.
//
// Operations are called by vtable slot: the order below is fixed, and the
// interface has no virtual destructor.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstddef>

namespace Gdiplus {
class Image;
}

namespace Veld {
namespace Game {

/// Pixel access to a locked image, filled by IImage::Lock.
struct ImageLockInfo {
    /// The only value of `format`: 32-bit 0xAARRGGBB pixels.
    enum { FormatARGB32 = 3 };

    int format; ///< always FormatARGB32
    int pitch;  ///< bytes from the start of one row to the start of the next
    int width;  ///< pixels
    int height; ///< pixels
    BYTE* bits; ///< first byte of the top row
};

#ifndef _WIN64 // 32-bit layout; 64-bit test builds have wider pointers
static_assert(sizeof(ImageLockInfo) == 20, "ImageLockInfo layout");
#endif
static_assert(offsetof(ImageLockInfo, format) == 0, "ImageLockInfo layout");
static_assert(offsetof(ImageLockInfo, pitch) == 4, "ImageLockInfo layout");
static_assert(offsetof(ImageLockInfo, width) == 8, "ImageLockInfo layout");
static_assert(offsetof(ImageLockInfo, height) == 12, "ImageLockInfo layout");
static_assert(offsetof(ImageLockInfo, bits) == 16, "ImageLockInfo layout");

/// A picture. Create and every load first release the current surface, so a
/// failed one leaves the image empty. Loading needs GDI+ started by the client.
class IImage {
public:
    /// 1 when the image holds no picture, else 0.
    virtual int IsEmpty() = 0; // slot 0
    /// Width in pixels; 0 when empty.
    virtual int GetWidth() = 0; // slot 1
    /// Height in pixels; 0 when empty.
    virtual int GetHeight() = 0; // slot 2
    /// A new picture of nWidth x nHeight with undefined contents.
    virtual bool Create(int nWidth, int nHeight) = 0; // slot 3
    /// Decodes a picture file of any format that GDI+ reads.
    virtual bool LoadFromFile(const wchar_t* pszPath) = 0; // slot 4
    /// Decodes an encoded picture from pStream (not kept).
    virtual bool LoadFromStream(IStream* pStream) = 0; // slot 5
    /// Copies a GDI+ image (not kept) by the method that suits the screen depth.
    virtual bool LoadFromImage(Gdiplus::Image* pImage) = 0; // slot 6
    /// Locks the pixels for direct access until Unlock. False when already locked.
    virtual bool Lock(ImageLockInfo* pInfo) = 0; // slot 7
    /// Ends a Lock; does nothing when not locked.
    virtual void Unlock() = 0; // slot 8
    /// Same as LoadFromImageDC.
    virtual bool RenderFromImage(Gdiplus::Image* pImage) = 0; // slot 9
    /// Copies a GDI+ image through GDI+ locked bits, keeping its alpha.
    virtual bool LoadFromImageBits(Gdiplus::Image* pImage) = 0; // slot 10
    /// Draws a GDI+ image onto the picture's device context.
    virtual bool LoadFromImageDC(Gdiplus::Image* pImage) = 0; // slot 11
};

} // namespace Game
} // namespace Veld
