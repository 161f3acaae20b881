// Helpers for tests on real DirectDraw surfaces and GDI+ under Wine.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <gdiplus.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage.h"

namespace TestUtil {

/// A DirectDraw object in normal cooperative mode, as the display makes it.
class DirectDraw {
public:
    DirectDraw()
    {
        if (SUCCEEDED(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&m_pDD), IID_IDirectDraw7, nullptr)))
            m_pDD->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    }
    ~DirectDraw()
    {
        if (m_pDD)
            m_pDD->Release();
    }
    DirectDraw(const DirectDraw&) = delete;
    DirectDraw& operator=(const DirectDraw&) = delete;
    IDirectDraw7* Get() const { return m_pDD; }

private:
    IDirectDraw7* m_pDD = nullptr;
};

/// GDI+ started for the life of the object, as a client starts it.
class GdiplusSession {
public:
    GdiplusSession()
    {
        Gdiplus::GdiplusStartupInput input;
        m_status = Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
    }
    ~GdiplusSession()
    {
        if (m_status == Gdiplus::Ok)
            Gdiplus::GdiplusShutdown(m_token);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool Started() const { return m_status == Gdiplus::Ok; }

private:
    ULONG_PTR m_token = 0;
    Gdiplus::Status m_status = Gdiplus::GenericError;
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
        return ::testing::AssertionFailure()
               << "sizes differ: expected " << expected.size() << " pixels, got " << actual.size();
    for (size_t i = 0; i < expected.size(); ++i)
        if (expected[i] != actual[i]) {
            char text[96];
            std::snprintf(text, sizeof text, "pixel (%d, %d): expected %08X, got %08X", static_cast<int>(i % width),
                          static_cast<int>(i / width), expected[i], actual[i]);
            return ::testing::AssertionFailure() << text;
        }
    return ::testing::AssertionSuccess();
}

/// The GDI+ PNG encoder's class id; false when GDI+ has none (or is not started).
inline bool FindPngEncoder(CLSID& clsid)
{
    UINT count = 0, size = 0;
    Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &size);
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (size == 0 || Gdiplus::DllExports::GdipGetImageEncoders(count, size, codecs) != Gdiplus::Ok)
        return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png") {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

} // namespace TestUtil
