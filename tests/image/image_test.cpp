// Images on real DirectDraw surfaces, loaded through GDI+ from PNG files the
// tests write themselves.
#include <gtest/gtest.h>

#include <functional>
#include <shlwapi.h>

#include "DDImage.h"
#include "DrawTestUtil.h"

namespace {

using namespace Veld::Game;
using namespace TestUtil;
using LoadFn = bool (CDDImage::*)(Gdiplus::Image*);

constexpr int kW = 5; // odd: rows of the palette and 24-bit files are padded
constexpr int kH = 3;
const Pixels kPalette = {0xFF000000, 0xFFFF0000, 0xFF12AB34, 0xFF0000FF};
// Straight alpha with partial values (drawn through a device context
// 0x80FF0000 would come out premultiplied as 0x80800000).
const Pixels kArgb = {0x80FF0000, 0x01020304, 0xFF00FF00, 0x7F7F7F7F, 0xC0102030, 0xFFFFFFFF, 0x40A0B0C0, 0x02FF00FF,
                      0xFE010101, 0x80808080, 0x10F0E0D0, 0xFF000000, 0x33333333, 0x9900AA11, 0x01FFFFFF};
const LoadFn kConversions[] = {&CDDImage::LoadFromImageBits, &CDDImage::LoadFromImageDC, &CDDImage::RenderFromImage,
                               &CDDImage::LoadFromImage};

struct Picture {
    Gdiplus::PixelFormat format;
    Pixels pixels;
    std::wstring path;
};

IStream* StreamOf(const std::wstring& path)
{
    IStream* stream = nullptr;
    SHCreateStreamOnFileW(path.c_str(), STGM_READ, &stream);
    return stream;
}

class ImageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gdiplus_ = new GdiplusSession;
        folder_ = new TempFolder(L"image_test");
        pictures_ = {{PixelFormat8bppIndexed, {}, folder_->File(L"palette.png")},
                     {PixelFormat24bppRGB, {}, folder_->File(L"rgb.png")},
                     {PixelFormat32bppARGB, kArgb, folder_->File(L"argb.png")}};
        for (int i = 0; i < kW * kH; ++i) {
            pictures_[0].pixels.push_back(kPalette[i % 4]);
            pictures_[1].pixels.push_back(0xFF000000 | (i * 0x0B1D2F));
        }
        for (const Picture& p : pictures_)
            written_ = WritePng(p.path, kW, kH, p.pixels, p.format, kPalette) && written_;
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        delete gdiplus_;
    }
    void SetUp() override
    {
        ASSERT_TRUE(written_);
        ASSERT_NE(dd_.Get(), nullptr);
        image_.SetDirectDraw(dd_.Get());
    }
    void ExpectEmpty()
    {
        EXPECT_EQ(image_.IsEmpty(), 1);
        EXPECT_EQ(image_.GetWidth(), 0);
        EXPECT_EQ(image_.GetHeight(), 0);
    }

    static inline GdiplusSession* gdiplus_ = nullptr;
    static inline TempFolder* folder_ = nullptr;
    static inline std::vector<Picture> pictures_;
    static inline bool written_ = true;
    DirectDraw dd_;
    CDDImage image_;
};

} // namespace

TEST_F(ImageTest, CreateLockAndRefusals)
{
    ExpectEmpty();
    ImageLockInfo info = {};
    EXPECT_FALSE(image_.Lock(&info));
    ASSERT_TRUE(image_.Create(1, 1));
    EXPECT_FALSE(image_.Lock(nullptr));
    ASSERT_TRUE(image_.Lock(&info));
    EXPECT_EQ((std::vector<int>{info.format, info.width, info.height}), (std::vector<int>{3, 1, 1}));
    EXPECT_GE(info.pitch, 4);
    EXPECT_FALSE(image_.Lock(&info)); // twice
    image_.Unlock();
    image_.Unlock(); // not locked: nothing happens
    // Made again while locked: the old lock ends with the old surface.
    ASSERT_TRUE(image_.Lock(&info));
    ASSERT_TRUE(image_.Create(7, 3));
    ASSERT_TRUE(image_.Lock(&info));
    EXPECT_EQ(info.width, 7);
    image_.Unlock();
    EXPECT_FALSE(image_.Create(0, 10)); // refusals release the picture
    ExpectEmpty();
    ASSERT_TRUE(image_.Create(7, 3));
    EXPECT_FALSE(image_.Create(10, -1));
    ExpectEmpty();

    // Without DirectDraw nothing is made, and the picture held stays.
    auto held = MakeImage(dd_.Get(), 3, 2, {1, 2, 3, 4, 5, 6});
    held->SetDirectDraw(nullptr);
    Gdiplus::Bitmap bitmap(pictures_[2].path.c_str());
    IStream* stream = StreamOf(pictures_[2].path);
    EXPECT_FALSE(held->Create(4, 4));
    EXPECT_FALSE(held->LoadFromFile(pictures_[2].path.c_str()));
    EXPECT_FALSE(held->LoadFromStream(stream));
    for (LoadFn load : kConversions)
        EXPECT_FALSE((held.get()->*load)(&bitmap));
    stream->Release();
    EXPECT_TRUE(SamePixels({1, 2, 3, 4, 5, 6}, ReadPixels(*held), 3));
}

TEST_F(ImageTest, MissingAndUndecodableInputEmptiesTheImage)
{
    const std::wstring junk = folder_->File(L"junk.png"), missing = folder_->File(L"missing.png");
    HANDLE file = CreateFileW(junk.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "not a picture", 13, &written, nullptr);
    CloseHandle(file);
    IStream* stream = StreamOf(junk);
    const std::function<bool()> loads[] = {
        [&] { return image_.LoadFromFile(missing.c_str()); }, [&] { return image_.LoadFromFile(nullptr); },
        [&] { return image_.LoadFromFile(junk.c_str()); },    [&] { return image_.LoadFromStream(nullptr); },
        [&] { return image_.LoadFromStream(stream); },        [&] { return image_.LoadFromImageBits(nullptr); },
        [&] { return image_.LoadFromImageDC(nullptr); }};
    for (const auto& load : loads) {
        ASSERT_TRUE(image_.Create(2, 2));
        EXPECT_FALSE(load());
        ExpectEmpty();
    }
    EXPECT_EQ(stream->Release(), 0u);
    EXPECT_TRUE(DeleteFileW(junk.c_str())); // not held open
}

// Whatever the screen depth (the suite also runs on a 16-bit screen), files,
// streams and every conversion entry point store the pictures' own straight
// ARGB (fully transparent pixels included), and GDI+ lets go of the files.
TEST_F(ImageTest, EveryWayInKeepsTheOwnStraightArgb)
{
    for (const Picture& p : pictures_) {
        SCOPED_TRACE(p.format);
        ASSERT_EQ(Gdiplus::Bitmap(p.path.c_str()).GetPixelFormat(), p.format) << "file not written as intended";
        ASSERT_TRUE(image_.LoadFromFile(p.path.c_str()));
        EXPECT_EQ(image_.GetWidth(), kW);
        EXPECT_EQ(image_.GetHeight(), kH);
        EXPECT_TRUE(SamePixels(p.pixels, ReadPixels(image_), kW));
        EXPECT_TRUE(MoveFileW(p.path.c_str(), (p.path + L".moved").c_str()));
        MoveFileW((p.path + L".moved").c_str(), p.path.c_str());

        IStream* stream = StreamOf(p.path);
        ASSERT_TRUE(image_.LoadFromStream(stream));
        EXPECT_TRUE(SamePixels(p.pixels, ReadPixels(image_), kW));
        EXPECT_EQ(stream->Release(), 0u);

        Pixels clear = p.pixels; // in memory, with fully transparent pixels, as well as from the file
        clear[3] = 0x00123456;
        clear[9] = 0;
        Gdiplus::Bitmap fromFile(p.path.c_str());
        Gdiplus::Bitmap inMemory(kW, kH, kW * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(clear.data()));
        for (auto source : {std::make_pair(&fromFile, &p.pixels), std::make_pair(&inMemory, static_cast<const Pixels*>(&clear))})
            for (LoadFn load : kConversions) {
                ASSERT_TRUE((image_.*load)(source.first));
                EXPECT_TRUE(SamePixels(*source.second, ReadPixels(image_), kW));
            }
    }
}

// A bitmap whose last call failed: the locked-bits path copies it, the
// drawing path refuses it, and LoadFromImage draws on a 32-bit screen only.
// Each reading resets the status, as the client's query does.
TEST_F(ImageTest, FailedStatusAndTheChoiceOfPath)
{
    Gdiplus::Bitmap bitmap(pictures_[2].path.c_str());
    Gdiplus::Color colour;
    ASSERT_NE(bitmap.GetPixel(1000, 1000, &colour), Gdiplus::Ok);
    EXPECT_FALSE(image_.LoadFromImageDC(&bitmap));
    EXPECT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok);

    bitmap.GetPixel(1000, 1000, &colour);
    ASSERT_TRUE(image_.LoadFromImageBits(&bitmap));
    EXPECT_TRUE(SamePixels(pictures_[2].pixels, ReadPixels(image_), kW));
    EXPECT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok);

    HDC hdc = GetDC(nullptr);
    const bool drawingPath = GetDeviceCaps(hdc, BITSPIXEL) == 32;
    ReleaseDC(nullptr, hdc);
    bitmap.GetPixel(1000, 1000, &colour);
    EXPECT_EQ(image_.LoadFromImage(&bitmap), !drawingPath);
}
