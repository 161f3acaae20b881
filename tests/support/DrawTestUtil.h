// Helpers for tests on real DirectDraw surfaces and GDI+ under Wine.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage.h"
#include "WinTestUtil.h"

namespace TestUtil {

struct ComRelease {
    void operator()(IUnknown* p) const { p->Release(); }
};

/// A DirectDraw object in normal cooperative mode, as the display makes it.
inline std::unique_ptr<IDirectDraw7, ComRelease> MakeDirectDraw()
{
    IDirectDraw7* pDD = nullptr;
    if (SUCCEEDED(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&pDD), IID_IDirectDraw7, nullptr)))
        pDD->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    return std::unique_ptr<IDirectDraw7, ComRelease>(pDD);
}

/// GDI+ started for the life of the object, as a client starts it.
struct GdiplusSession {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::Status status = Gdiplus::GdiplusStartup(&token, &input, nullptr);

    GdiplusSession() = default;
    ~GdiplusSession()
    {
        if (Started())
            Gdiplus::GdiplusShutdown(token);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool Started() const { return status == Gdiplus::Ok; }
};

using Pixels = std::vector<uint32_t>;

/// The image's pixels, row by row without padding.
inline Pixels ReadPixels(Veld::Game::IImage& image)
{
    Veld::Game::ImageLockInfo info = {};
    if (!image.Lock(&info))
        return {};
    Pixels out;
    for (int y = 0; y < info.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(info.bits + y * info.pitch);
        out.insert(out.end(), row, row + info.width);
    }
    image.Unlock();
    return out;
}

inline bool WritePixels(Veld::Game::IImage& image, const Pixels& pixels)
{
    Veld::Game::ImageLockInfo info = {};
    if (!image.Lock(&info))
        return false;
    const bool fits = pixels.size() == static_cast<size_t>(info.width) * static_cast<size_t>(info.height);
    for (int y = 0; fits && y < info.height; ++y)
        std::copy_n(pixels.begin() + static_cast<ptrdiff_t>(y) * info.width, info.width,
                    reinterpret_cast<uint32_t*>(info.bits + y * info.pitch));
    image.Unlock();
    return fits;
}

/// A width x height image holding pixels (or every pixel set to fill).
inline std::unique_ptr<Veld::Game::CDDImage> MakeImage(IDirectDraw7* pDD, int width, int height, const Pixels& pixels)
{
    auto image = std::make_unique<Veld::Game::CDDImage>();
    image->SetDirectDraw(pDD);
    EXPECT_TRUE(image->Create(width, height));
    EXPECT_TRUE(WritePixels(*image, pixels));
    return image;
}

inline std::unique_ptr<Veld::Game::CDDImage> MakeImage(IDirectDraw7* pDD, int width, int height, uint32_t fill)
{
    return MakeImage(pDD, width, height, Pixels(static_cast<size_t>(width) * static_cast<size_t>(height), fill));
}

/// Prints the first differing pixel of two width-wide pictures.
inline ::testing::AssertionResult SamePixels(const Pixels& expected, const Pixels& actual, int width)
{
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure() << "expected " << expected.size() << " pixels, got " << actual.size();
    const size_t i = std::mismatch(expected.begin(), expected.end(), actual.begin()).first - expected.begin();
    if (i == expected.size())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << i % width << ", " << i / width << "): expected " << std::hex
                                         << expected[i] << ", got " << actual[i];
}

/// Writes width x height straight ARGB pixels as a PNG file stored in the
/// given format (8-bit indexed files index the palette, which must hold every
/// pixel). GDI+ must be started.
inline bool WritePng(const std::wstring& path, int width, int height, const Pixels& argb,
                     Gdiplus::PixelFormat format = PixelFormat32bppARGB, const Pixels& palette = {})
{
    // The system's PNG encoder, {557CF406-1A04-11D3-9A73-0000F81EF32E}.
    static const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    const int bytes = static_cast<int>(Gdiplus::GetPixelFormatSize(format)) / 8;
    const int stride = (width * bytes + 3) & ~3; // rows of odd widths are padded
    std::vector<BYTE> rows(static_cast<size_t>(stride) * height);
    for (int i = 0; i < width * height; ++i) {
        BYTE* p = &rows[static_cast<size_t>(i / width * stride + i % width * bytes)];
        if (format == PixelFormat8bppIndexed)
            *p = static_cast<BYTE>(std::find(palette.begin(), palette.end(), argb[i]) - palette.begin());
        else
            std::memcpy(p, &argb[i], static_cast<size_t>(bytes));
    }
    Pixels table = {0, static_cast<uint32_t>(palette.size())}; // ColorPalette: flags, count, entries
    table.insert(table.end(), palette.begin(), palette.end());
    Gdiplus::Bitmap bitmap(width, height, stride, format, rows.data());
    if (format == PixelFormat8bppIndexed)
        bitmap.SetPalette(reinterpret_cast<Gdiplus::ColorPalette*>(table.data()));
    return bitmap.Save(path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
}

/// An emoticon folder (a new temporary one, or the given one): two-character
/// codes are pictures in it, three-character ones in its "system" subfolder.
/// What it made is removed with it.
class EmotionFolder : public TempFolder {
public:
    explicit EmotionFolder(std::wstring path = {}) : TempFolder(L"emotions", std::move(path))
    {
        CreateDirectoryW(File(L"system").c_str(), nullptr);
    }
    bool Add(const std::wstring& code, int width, int height, uint32_t fill)
    {
        return WritePng(File((code.size() == 3 ? L"system\\" : L"") + code + L".png"), width, height,
                        Pixels(static_cast<size_t>(width) * height, fill));
    }
};

} // namespace TestUtil
