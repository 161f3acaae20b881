// Images on real DirectDraw surfaces, loaded through GDI+ from picture files
// that the tests write themselves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DDImage.h"
#include "DrawTestUtil.h"

namespace {

using namespace Veld::Game;
using namespace TestUtil;
namespace Flat = Gdiplus::DllExports;
using LoadFn = bool (CDDImage::*)(Gdiplus::Image*);

constexpr int kW = 5; // odd: rows of the palette and 24-bit files are padded
constexpr int kH = 3;
const uint32_t kPalette[4] = {0xFF000000, 0xFFFF0000, 0xFF12AB34, 0xFF0000FF};
// Straight alpha with partial values (0x80FF0000 drawn through a device
// context would come out premultiplied as 0x80800000).
const uint32_t kArgb[kW * kH] = {0x80FF0000, 0x01020304, 0xFF00FF00, 0x7F7F7F7F, 0xC0102030,
                                 0xFFFFFFFF, 0x40A0B0C0, 0x02FF00FF, 0xFE010101, 0x80808080,
                                 0x10F0E0D0, 0xFF000000, 0x33333333, 0x9900AA11, 0x01FFFFFF};

struct PictureFile {
    const char* name;
    Gdiplus::PixelFormat format;
    std::wstring path;
    Pixels expected; // straight ARGB
};

std::wstring TempPath(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"image_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" + name;
}

// Writes rows of the given format as a PNG file.
bool SavePng(const PictureFile& f, std::vector<BYTE>& rows, int stride)
{
    CLSID png;
    const bool havePng = TestUtil::FindPngEncoder(png);
    Gdiplus::GpBitmap* pBitmap = nullptr;
    if (!havePng || Flat::GdipCreateBitmapFromScan0(kW, kH, stride, f.format, rows.data(), &pBitmap) != Gdiplus::Ok)
        return false;
    UINT palette[2 + 4] = {0, 4, kPalette[0], kPalette[1], kPalette[2], kPalette[3]};
    bool ok = f.format != PixelFormat8bppIndexed ||
              Flat::GdipSetImagePalette(pBitmap, reinterpret_cast<Gdiplus::ColorPalette*>(palette)) == Gdiplus::Ok;
    ok = ok && Flat::GdipSaveImageToFile(pBitmap, f.path.c_str(), &png, nullptr) == Gdiplus::Ok;
    Flat::GdipDisposeImage(pBitmap);
    return ok;
}

IStream* StreamOf(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<BYTE> bytes(GetFileSize(file, nullptr));
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    IStream* pStream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &pStream);
    pStream->Write(bytes.data(), read, nullptr);
    pStream->Seek({}, STREAM_SEEK_SET, nullptr);
    return pStream;
}

class ImageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pGdiplus = new GdiplusSession;
        s_files = {{"palette", PixelFormat8bppIndexed, TempPath(L"palette.png"), {}},
                   {"24-bit", PixelFormat24bppRGB, TempPath(L"rgb.png"), {}},
                   {"alpha", PixelFormat32bppARGB, TempPath(L"argb.png"), {}}};
        const int bytes[3] = {1, 3, 4};
        s_bWritten = s_pGdiplus->Started();
        for (int k = 0; k < 3; ++k) {
            const int stride = (kW * bytes[k] + 3) & ~3;
            std::vector<BYTE> rows(static_cast<size_t>(stride) * kH);
            for (int i = 0; i < kW * kH; ++i) {
                const uint32_t pixel = k == 0 ? kPalette[i % 4] : k == 1 ? 0xFF000000 | (i * 0x0B1D2F) : kArgb[i];
                BYTE* p = &rows[(i / kW) * stride + (i % kW) * bytes[k]];
                if (k == 0)
                    *p = static_cast<BYTE>(i % 4);
                else
                    std::memcpy(p, &pixel, bytes[k]);
                s_files[k].expected.push_back(pixel);
            }
            s_bWritten = s_bWritten && SavePng(s_files[k], rows, stride);
        }
    }
    static void TearDownTestSuite()
    {
        for (const PictureFile& f : s_files)
            DeleteFileW(f.path.c_str());
        delete s_pGdiplus;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_bWritten);
        ASSERT_NE(dd.Get(), nullptr);
        image.SetDirectDraw(dd.Get());
    }
    void ExpectEmpty()
    {
        EXPECT_EQ(image.IsEmpty(), 1);
        EXPECT_EQ(image.GetWidth(), 0);
        EXPECT_EQ(image.GetHeight(), 0);
    }

    static GdiplusSession* s_pGdiplus;
    static std::vector<PictureFile> s_files;
    static bool s_bWritten;
    DirectDraw dd;
    CDDImage image;
};

GdiplusSession* ImageTest::s_pGdiplus = nullptr;
std::vector<PictureFile> ImageTest::s_files;
bool ImageTest::s_bWritten = false;

TEST_F(ImageTest, CreateAndLock)
{
    ExpectEmpty();
    ImageLockInfo info = {};
    EXPECT_FALSE(image.Lock(&info));
    ASSERT_TRUE(image.Create(1, 1));
    EXPECT_FALSE(image.Lock(nullptr));
    ASSERT_TRUE(image.Lock(&info));
    EXPECT_EQ(info.format, 3);
    EXPECT_EQ(info.width, 1);
    EXPECT_EQ(info.height, 1);
    EXPECT_GE(info.pitch, 4);
    EXPECT_FALSE(image.Lock(&info)); // twice
    image.Unlock();
    image.Unlock(); // not locked: nothing happens
    // Made again while locked: the old lock ends with the old surface.
    ASSERT_TRUE(image.Lock(&info));
    ASSERT_TRUE(image.Create(7, 3));
    ASSERT_TRUE(image.Lock(&info));
    EXPECT_EQ(info.width, 7);
    image.Unlock();
    // Refusals release the picture.
    EXPECT_FALSE(image.Create(0, 10));
    ExpectEmpty();
    ASSERT_TRUE(image.Create(7, 3));
    EXPECT_FALSE(image.Create(10, -1));
    ExpectEmpty();
}

TEST_F(ImageTest, WithoutDirectDrawNothingIsMadeOrReleased)
{
    const Pixels pixels = {1, 2, 3, 4, 5, 6};
    auto held = MakeImage(dd.Get(), 3, 2, pixels);
    held->SetDirectDraw(nullptr);
    Gdiplus::Bitmap bitmap(s_files[2].path.c_str());
    IStream* pStream = StreamOf(s_files[2].path);
    EXPECT_FALSE(held->Create(4, 4));
    EXPECT_FALSE(held->LoadFromFile(s_files[2].path.c_str()));
    EXPECT_FALSE(held->LoadFromStream(pStream));
    for (LoadFn load : {&CDDImage::LoadFromImage, &CDDImage::LoadFromImageBits, &CDDImage::LoadFromImageDC,
                        &CDDImage::RenderFromImage})
        EXPECT_FALSE((held.get()->*load)(&bitmap));
    pStream->Release();
    EXPECT_EQ(held->GetWidth(), 3);
    EXPECT_TRUE(SamePixels(pixels, ReadPixels(*held), 3));
}

TEST_F(ImageTest, MissingAndUndecodableInputEmptiesTheImage)
{
    const std::wstring junk = TempPath(L"junk.png");
    HANDLE file = CreateFileW(junk.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "not a picture", 13, &written, nullptr);
    CloseHandle(file);
    IStream* pStream = StreamOf(junk);

    const std::wstring missing = TempPath(L"missing.png");
    for (int k = 0; k < 7; ++k) {
        SCOPED_TRACE(k);
        ASSERT_TRUE(image.Create(2, 2));
        switch (k) {
        case 0: EXPECT_FALSE(image.LoadFromFile(missing.c_str())); break;
        case 1: EXPECT_FALSE(image.LoadFromFile(nullptr)); break;
        case 2: EXPECT_FALSE(image.LoadFromFile(junk.c_str())); break;
        case 3: EXPECT_FALSE(image.LoadFromStream(nullptr)); break;
        case 4: EXPECT_FALSE(image.LoadFromStream(pStream)); break;
        case 5: EXPECT_FALSE(image.LoadFromImageBits(nullptr)); break;
        case 6: EXPECT_FALSE(image.LoadFromImageDC(nullptr)); break;
        }
        ExpectEmpty();
    }
    EXPECT_EQ(pStream->Release(), 0u);
    EXPECT_TRUE(DeleteFileW(junk.c_str())); // not held open
}

// Whatever the screen depth (the suite also runs on a 16-bit screen), files
// and streams load as the pictures' own straight ARGB, and GDI+ lets go of
// them.
TEST_F(ImageTest, FilesAndStreamsLoadAsStraightArgb)
{
    for (const PictureFile& f : s_files) {
        SCOPED_TRACE(f.name);
        ASSERT_EQ(Gdiplus::Bitmap(f.path.c_str()).GetPixelFormat(), f.format) << "file not written as intended";
        ASSERT_TRUE(image.LoadFromFile(f.path.c_str()));
        EXPECT_EQ(image.GetWidth(), kW);
        EXPECT_EQ(image.GetHeight(), kH);
        EXPECT_TRUE(SamePixels(f.expected, ReadPixels(image), kW));
        const std::wstring moved = f.path + L".moved";
        EXPECT_TRUE(MoveFileW(f.path.c_str(), moved.c_str()));
        MoveFileW(moved.c_str(), f.path.c_str());

        IStream* pStream = StreamOf(f.path);
        ASSERT_TRUE(image.LoadFromStream(pStream));
        EXPECT_TRUE(SamePixels(f.expected, ReadPixels(image), kW));
        EXPECT_EQ(pStream->Release(), 0u);
    }
}

// Every conversion entry point stores the same pixels, fully transparent
// ones included.
TEST_F(ImageTest, BothConversionPathsKeepTheOwnPixels)
{
    Pixels withClear(kArgb, kArgb + kW * kH);
    withClear[3] = 0x00123456;
    withClear[9] = 0;
    Gdiplus::Bitmap argb(kW, kH, kW * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(withClear.data()));
    Gdiplus::Bitmap palette(s_files[0].path.c_str());
    Gdiplus::Bitmap rgb(s_files[1].path.c_str());
    const std::pair<Gdiplus::Bitmap*, const Pixels*> sources[] = {
        {&argb, &withClear}, {&palette, &s_files[0].expected}, {&rgb, &s_files[1].expected}};
    for (const auto& s : sources)
        for (LoadFn load : {&CDDImage::LoadFromImageBits, &CDDImage::LoadFromImageDC, &CDDImage::RenderFromImage,
                            &CDDImage::LoadFromImage}) {
            ASSERT_TRUE((image.*load)(s.first));
            EXPECT_TRUE(SamePixels(*s.second, ReadPixels(image), kW));
        }
}

// A bitmap whose last call failed: the locked-bits path copies it, the
// drawing path refuses it, and LoadFromImage draws on a 32-bit screen only.
// Each reading resets the status, as the client's query does.
TEST_F(ImageTest, FailedStatusAndTheChoiceOfPath)
{
    Gdiplus::Bitmap bitmap(s_files[2].path.c_str());
    Gdiplus::Color colour;
    ASSERT_NE(bitmap.GetPixel(1000, 1000, &colour), Gdiplus::Ok);
    EXPECT_FALSE(image.LoadFromImageDC(&bitmap));
    EXPECT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok);

    bitmap.GetPixel(1000, 1000, &colour);
    ASSERT_TRUE(image.LoadFromImageBits(&bitmap));
    EXPECT_TRUE(SamePixels(s_files[2].expected, ReadPixels(image), kW));
    EXPECT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok);

    HDC hdc = GetDC(nullptr);
    const bool drawingPath = GetDeviceCaps(hdc, BITSPIXEL) == 32;
    ReleaseDC(nullptr, hdc);
    bitmap.GetPixel(1000, 1000, &colour);
    EXPECT_EQ(image.LoadFromImage(&bitmap), !drawingPath);
}

} // namespace
