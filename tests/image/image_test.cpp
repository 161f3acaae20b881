// Images on real DirectDraw surfaces, loaded through GDI+ from picture files
// that the tests write themselves.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DDImage.h"
#include "DrawTestUtil.h"

namespace {

using namespace Veld::Game;
using TestUtil::MakeImage;
using TestUtil::Pixels;
using TestUtil::ReadPixels;
using TestUtil::SamePixels;
namespace Flat = Gdiplus::DllExports;

constexpr int kW = 5; // odd: rows of the 24-bit and palette files are padded
constexpr int kH = 3;

// The pictures of the three files and the straight ARGB each must load as.
const uint32_t kPalette[4] = {0xFF000000, 0xFFFF0000, 0xFF12AB34, 0xFF0000FF};
const uint8_t kIndices[kH][kW] = {{0, 1, 2, 3, 1}, {3, 2, 1, 0, 2}, {1, 1, 3, 3, 0}};

uint32_t Rgb24(int x, int y)
{
    return static_cast<uint32_t>((x * 50) << 16 | (y * 100 + 7) << 8 | (0x5A ^ x));
}

// Straight alpha, partial alpha included; no pixel is fully transparent here.
const uint32_t kArgb[kH][kW] = {{0x80FF0000, 0x01020304, 0xFF00FF00, 0x7F7F7F7F, 0xC0102030},
                                {0xFFFFFFFF, 0x40A0B0C0, 0x02FF00FF, 0xFE010101, 0x80808080},
                                {0x10F0E0D0, 0xFF000000, 0x33333333, 0x9900AA11, 0x01FFFFFF}};

Pixels ExpectedPalette()
{
    Pixels p;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            p.push_back(kPalette[kIndices[y][x]]);
    return p;
}

Pixels ExpectedRgb()
{
    Pixels p;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            p.push_back(0xFF000000 | Rgb24(x, y));
    return p;
}

Pixels ExpectedArgb()
{
    return Pixels(&kArgb[0][0], &kArgb[0][0] + kW * kH);
}

CLSID PngEncoder()
{
    UINT count = 0, size = 0;
    Flat::GdipGetImageEncodersSize(&count, &size);
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    CLSID clsid = {};
    if (Flat::GdipGetImageEncoders(count, size, codecs) == Gdiplus::Ok)
        for (UINT i = 0; i < count; ++i)
            if (std::wstring(codecs[i].MimeType) == L"image/png")
                clsid = codecs[i].Clsid;
    return clsid;
}

// Saves rows of the given format (stride a multiple of 4) as a PNG file.
bool SavePng(const std::wstring& path, Gdiplus::PixelFormat format, std::vector<BYTE>& rows, int stride,
             const uint32_t* palette = nullptr, UINT paletteSize = 0)
{
    Gdiplus::GpBitmap* pBitmap = nullptr;
    if (Flat::GdipCreateBitmapFromScan0(kW, kH, stride, format, rows.data(), &pBitmap) != Gdiplus::Ok)
        return false;
    bool ok = true;
    if (palette) {
        std::vector<UINT> record = {0, paletteSize};
        record.insert(record.end(), palette, palette + paletteSize);
        ok = Flat::GdipSetImagePalette(pBitmap, reinterpret_cast<Gdiplus::ColorPalette*>(record.data())) == Gdiplus::Ok;
    }
    const CLSID png = PngEncoder();
    ok = ok && Flat::GdipSaveImageToFile(pBitmap, path.c_str(), &png, nullptr) == Gdiplus::Ok;
    Flat::GdipDisposeImage(pBitmap);
    return ok;
}

std::wstring TempPath(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"image_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" + name;
}

struct PictureFile {
    const char* name;
    std::wstring path;
    Pixels expected;
    Gdiplus::PixelFormat format; // as decoded
};

class ImageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pGdiplus = new TestUtil::GdiplusSession;
        if (!s_pGdiplus->Started())
            return;
        const int stride8 = (kW + 3) & ~3, stride24 = (kW * 3 + 3) & ~3;
        std::vector<BYTE> indexed(stride8 * kH), rgb(stride24 * kH), argb(kW * 4 * kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                indexed[y * stride8 + x] = kIndices[y][x];
                const uint32_t c = Rgb24(x, y);
                for (int b = 0; b < 3; ++b)
                    rgb[y * stride24 + x * 3 + b] = static_cast<BYTE>(c >> (8 * b));
                reinterpret_cast<uint32_t*>(argb.data())[y * kW + x] = kArgb[y][x];
            }
        s_files = {{"palette", TempPath(L"palette.png"), ExpectedPalette(), PixelFormat8bppIndexed},
                   {"24-bit", TempPath(L"rgb.png"), ExpectedRgb(), PixelFormat24bppRGB},
                   {"alpha", TempPath(L"argb.png"), ExpectedArgb(), PixelFormat32bppARGB}};
        s_bWritten = SavePng(s_files[0].path, PixelFormat8bppIndexed, indexed, stride8, kPalette, 4) &&
                     SavePng(s_files[1].path, PixelFormat24bppRGB, rgb, stride24) &&
                     SavePng(s_files[2].path, PixelFormat32bppARGB, argb, kW * 4);
    }
    static void TearDownTestSuite()
    {
        for (const PictureFile& f : s_files)
            DeleteFileW(f.path.c_str());
        s_files.clear();
        delete s_pGdiplus;
        s_pGdiplus = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_pGdiplus->Started());
        ASSERT_TRUE(s_bWritten);
        ASSERT_NE(dd.Get(), nullptr);
        image.SetDirectDraw(dd.Get());
    }

    static IStream* StreamOf(const std::wstring& path)
    {
        IStream* pStream = nullptr;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return nullptr;
        std::vector<BYTE> bytes(GetFileSize(file, nullptr));
        DWORD read = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(file);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::copy(bytes.begin(), bytes.end(), static_cast<BYTE*>(GlobalLock(memory)));
        GlobalUnlock(memory);
        CreateStreamOnHGlobal(memory, TRUE, &pStream);
        return pStream;
    }

    static TestUtil::GdiplusSession* s_pGdiplus;
    static std::vector<PictureFile> s_files;
    static bool s_bWritten;
    TestUtil::DirectDraw dd;
    CDDImage image;
};

TestUtil::GdiplusSession* ImageTest::s_pGdiplus = nullptr;
std::vector<PictureFile> ImageTest::s_files;
bool ImageTest::s_bWritten = false;

void ExpectEmpty(CDDImage& image)
{
    EXPECT_EQ(image.IsEmpty(), 1);
    EXPECT_EQ(image.GetWidth(), 0);
    EXPECT_EQ(image.GetHeight(), 0);
    EXPECT_EQ(image.GetSurface(), nullptr);
}

TEST_F(ImageTest, CreateAndLock)
{
    ExpectEmpty(image);
    ImageLockInfo info = {};
    EXPECT_FALSE(image.Lock(&info));

    ASSERT_TRUE(image.Create(1, 1));
    EXPECT_EQ(image.IsEmpty(), 0);
    EXPECT_FALSE(image.Lock(nullptr));
    ASSERT_TRUE(image.Lock(&info));
    EXPECT_EQ(info.format, 3);
    EXPECT_EQ(info.width, 1);
    EXPECT_EQ(info.height, 1);
    EXPECT_GE(info.pitch, 4);
    EXPECT_NE(info.bits, nullptr);
    ImageLockInfo second = {};
    EXPECT_FALSE(image.Lock(&second));
    image.Unlock();
    image.Unlock(); // not locked: nothing happens
    ASSERT_TRUE(image.Lock(&info));
    image.Unlock();

    // Refusals release the picture.
    ASSERT_TRUE(image.Create(7, 3));
    EXPECT_EQ(image.GetWidth(), 7);
    EXPECT_EQ(image.GetHeight(), 3);
    EXPECT_FALSE(image.Create(0, 10));
    ExpectEmpty(image);
    ASSERT_TRUE(image.Create(7, 3));
    EXPECT_FALSE(image.Create(10, -1));
    ExpectEmpty(image);

    // A locked image that is made again ends the old lock with its surface.
    ASSERT_TRUE(image.Create(2, 2));
    ASSERT_TRUE(image.Lock(&info));
    ASSERT_TRUE(image.Create(3, 3));
    ASSERT_TRUE(image.Lock(&info));
    EXPECT_EQ(info.width, 3);
    image.Unlock();
}

TEST_F(ImageTest, WithoutDirectDrawNothingIsMadeOrReleased)
{
    const Pixels pixels = {1, 2, 3, 4, 5, 6};
    auto held = MakeImage(dd.Get(), 3, 2, pixels);
    held->SetDirectDraw(nullptr);
    CDDImage fresh;
    Gdiplus::Bitmap bitmap(s_files[2].path.c_str());
    IStream* pStream = StreamOf(s_files[2].path);
    ASSERT_NE(pStream, nullptr);
    for (CDDImage* p : {held.get(), &fresh}) {
        EXPECT_FALSE(p->Create(4, 4));
        EXPECT_FALSE(p->LoadFromFile(s_files[2].path.c_str()));
        EXPECT_FALSE(p->LoadFromStream(pStream));
        EXPECT_FALSE(p->LoadFromImage(&bitmap));
        EXPECT_FALSE(p->LoadFromImageBits(&bitmap));
        EXPECT_FALSE(p->LoadFromImageDC(&bitmap));
        EXPECT_FALSE(p->RenderFromImage(&bitmap));
    }
    pStream->Release();
    ExpectEmpty(fresh);
    EXPECT_EQ(held->GetWidth(), 3);
    EXPECT_EQ(held->GetHeight(), 2);
    EXPECT_TRUE(SamePixels(pixels, ReadPixels(*held), 3));
}

TEST_F(ImageTest, MissingAndUndecodableInputEmptiesTheImage)
{
    const std::wstring junk = TempPath(L"junk.png");
    HANDLE file = CreateFileW(junk.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "not a picture at all", 20, &written, nullptr);
    CloseHandle(file);

    auto refill = [&] { ASSERT_TRUE(image.Create(2, 2)); };
    refill();
    EXPECT_FALSE(image.LoadFromFile(TempPath(L"missing.png").c_str()));
    ExpectEmpty(image);
    refill();
    EXPECT_FALSE(image.LoadFromFile(nullptr));
    ExpectEmpty(image);
    refill();
    EXPECT_FALSE(image.LoadFromFile(junk.c_str()));
    ExpectEmpty(image);
    EXPECT_TRUE(DeleteFileW(junk.c_str())); // not held open by GDI+

    refill();
    EXPECT_FALSE(image.LoadFromStream(nullptr));
    ExpectEmpty(image);
    IStream* pStream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &pStream), S_OK);
    pStream->Write("junk", 4, nullptr);
    refill();
    EXPECT_FALSE(image.LoadFromStream(pStream));
    ExpectEmpty(image);
    pStream->Release();

    for (bool (CDDImage::*load)(Gdiplus::Image*) :
         {&CDDImage::LoadFromImage, &CDDImage::LoadFromImageBits, &CDDImage::LoadFromImageDC}) {
        refill();
        EXPECT_FALSE((image.*load)(nullptr));
        ExpectEmpty(image);
    }
}

// Whatever the screen depth (the suite also runs on a 16-bit screen), files
// and streams load as the pictures' own straight ARGB.
TEST_F(ImageTest, FilesAndStreamsLoadAsStraightArgb)
{
    for (const PictureFile& f : s_files) {
        SCOPED_TRACE(f.name);
        {
            Gdiplus::Bitmap decoded(f.path.c_str());
            ASSERT_EQ(decoded.GetPixelFormat(), f.format) << "the file was not written in the intended format";
        }
        ASSERT_TRUE(image.LoadFromFile(f.path.c_str()));
        EXPECT_EQ(image.GetWidth(), kW);
        EXPECT_EQ(image.GetHeight(), kH);
        EXPECT_TRUE(SamePixels(f.expected, ReadPixels(image), kW));

        IStream* pStream = StreamOf(f.path);
        ASSERT_NE(pStream, nullptr);
        ASSERT_TRUE(image.LoadFromStream(pStream));
        EXPECT_TRUE(SamePixels(f.expected, ReadPixels(image), kW));
        EXPECT_EQ(pStream->Release(), 0u) << "the stream is still referenced";
    }
    // The decoded files are closed again.
    for (const PictureFile& f : s_files) {
        ASSERT_TRUE(image.LoadFromFile(f.path.c_str()));
        const std::wstring copy = f.path + L".moved";
        EXPECT_TRUE(MoveFileW(f.path.c_str(), copy.c_str()));
        EXPECT_TRUE(MoveFileW(copy.c_str(), f.path.c_str()));
    }
}

// Drawn through a device context, GDI+ would leave premultiplied colours
// blended over the new surface (0x80FF0000 as 0x80800000); both paths keep the
// picture's own pixels, fully transparent ones included.
TEST_F(ImageTest, BothConversionPathsKeepTheOwnPixels)
{
    Pixels withClear = ExpectedArgb();
    withClear[3] = 0x00123456;
    withClear[9] = 0x00000000;
    std::vector<BYTE> rows(reinterpret_cast<BYTE*>(withClear.data()),
                           reinterpret_cast<BYTE*>(withClear.data() + withClear.size()));
    Gdiplus::Bitmap argb(kW, kH, kW * 4, PixelFormat32bppARGB, rows.data());
    Gdiplus::Bitmap palette(s_files[0].path.c_str());
    Gdiplus::Bitmap rgb(s_files[1].path.c_str());
    struct Source {
        const char* name;
        Gdiplus::Bitmap* bitmap;
        Pixels expected;
    } sources[] = {
        {"alpha", &argb, withClear}, {"palette", &palette, ExpectedPalette()}, {"24-bit", &rgb, ExpectedRgb()}};
    for (const Source& s : sources) {
        SCOPED_TRACE(s.name);
        for (bool (CDDImage::*load)(Gdiplus::Image*) : {&CDDImage::LoadFromImageBits, &CDDImage::LoadFromImageDC,
                                                        &CDDImage::RenderFromImage, &CDDImage::LoadFromImage}) {
            image.Create(1, 1);
            ASSERT_TRUE((image.*load)(s.bitmap));
            EXPECT_TRUE(SamePixels(s.expected, ReadPixels(image), kW));
        }
    }
    EXPECT_EQ(argb.GetLastStatus(), Gdiplus::Ok);
}

// A bitmap whose last call failed: the locked-bits path copies it first, the
// drawing path refuses it; LoadFromImage takes the drawing path on a 32-bit
// screen only. Each reading resets the status, as the client's query does.
TEST_F(ImageTest, FailedStatusAndTheChoiceOfPath)
{
    Gdiplus::Bitmap bitmap(s_files[2].path.c_str());
    Gdiplus::Color colour;
    auto fail = [&] {
        ASSERT_NE(bitmap.GetPixel(1000, 1000, &colour), Gdiplus::Ok);
        ASSERT_TRUE(image.Create(2, 2));
    };

    fail();
    EXPECT_FALSE(image.LoadFromImageDC(&bitmap));
    ExpectEmpty(image);
    EXPECT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok);

    fail();
    ASSERT_TRUE(image.LoadFromImageBits(&bitmap));
    EXPECT_TRUE(SamePixels(ExpectedArgb(), ReadPixels(image), kW));
    EXPECT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok);

    HDC hdc = GetDC(nullptr);
    const bool drawingPath = GetDeviceCaps(hdc, BITSPIXEL) == 32;
    ReleaseDC(nullptr, hdc);
    fail();
    EXPECT_EQ(image.LoadFromImage(&bitmap), !drawingPath);
    EXPECT_EQ(image.IsEmpty(), drawingPath ? 1 : 0);
}

} // namespace
