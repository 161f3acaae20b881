// GDI+ flat-interface helpers: owning handles, and the flat handle behind a
// client's Gdiplus::Image.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

namespace Veld::Game::Gdip {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

/// An owner of a flat GDI+ handle that Free releases.
template <class T, GpStatus(WINGDIPAPI* Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
template <class T, GpStatus(WINGDIPAPI* Free)(T*)> using HandlePtr = std::unique_ptr<T, Deleter<T, Free>>;

using ImagePtr = HandlePtr<GpImage, GdipDisposeImage>;
using GraphicsPtr = HandlePtr<GpGraphics, GdipDeleteGraphics>;

namespace Detail {
// Gdiplus::Image keeps its flat handle private; an explicit instantiation may
// name a private member, and the friend function hands the pointer out.
struct NativeImageTag {
    using Member = GpImage* Gdiplus::Image::*;
    friend Member MemberOf(NativeImageTag);
};
template <typename Tag, typename Tag::Member M> struct ExposeMember {
    friend typename Tag::Member MemberOf(Tag) { return M; }
};
template struct ExposeMember<NativeImageTag, &Gdiplus::Image::nativeImage>;
} // namespace Detail

// The flat handle of a client's image object (null for null).
inline GpImage* NativeImage(Gdiplus::Image* image)
{
    return image ? image->*MemberOf(Detail::NativeImageTag{}) : nullptr;
}

inline bool IsBitmap(GpImage* image)
{
    Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
    return GdipGetImageType(image, &type) == Gdiplus::Ok && type == Gdiplus::ImageTypeBitmap;
}

} // namespace Veld::Game::Gdip
