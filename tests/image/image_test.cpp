// Images made by the engine on real DirectDraw surfaces, loaded through GDI+
// from PNG files the tests write themselves, and glyphs: characters rendered
// with GDI+, emoticon pictures, keyed drawing on a canvas.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>
#include <shlwapi.h>

#include "Canvas.h"
#include "DDGameEngine.h"
#include "DrawTestUtil.h"
#include "Path.h"

namespace {

using namespace Veld::Game;
using namespace TestUtil;
using LoadFn = bool (CDDImage::*)(Gdiplus::Image*);
using Shape = std::vector<int>; // IsEmpty, width, height

constexpr int kW = 5; // odd: rows of the palette and 24-bit files are padded
constexpr int kH = 3;
constexpr int kTargetW = 64, kTargetH = 48;
const Shape kEmpty = {1, 0, 0};
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

class ImageTest : public ::testing::Test {
protected:
    // The engine, and a palette, a 24-bit and a 32-bit file with alpha, made once.
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(InitializeEngine(engine_, L"ImageTest", 200, 150));
        pictures_ = {{PixelFormat8bppIndexed, {}, folder_.File(L"palette.png")},
                     {PixelFormat24bppRGB, {}, folder_.File(L"rgb.png")},
                     {PixelFormat32bppARGB, kArgb, folder_.File(L"argb.png")}};
        for (uint32_t i = 0; i < kW * kH; ++i) {
            pictures_[0].pixels.push_back(kPalette[i % 4]);
            pictures_[1].pixels.push_back(0xFF000000 | (i * 0x0B1D2F));
        }
        for (const Picture& p : pictures_)
            written_ = WritePng(p.path, kW, kH, p.pixels, p.format, kPalette) && written_;
    }
    static void TearDownTestSuite() { engine_.Shutdown(); }
    void SetUp() override
    {
        ASSERT_TRUE(gdiplus_.Started() && written_ && target_.Create(kTargetW, kTargetH) &&
                    canvas_.SetTarget(&target_));
        ASSERT_TRUE(WritePixels(target_, Pixels(kTargetW * kTargetH, 0x00123456)));
    }
    void TearDown() override
    {
        glyph_.ReleaseImage();
        engine_.DestroyDDFont(&glyph_);
        engine_.DestroyCanvas(&canvas_);
        engine_.DestroyImage(&target_);
        engine_.DestroyImage(&image_);
    }
    static Shape ShapeOf(IImage& image) { return {image.IsEmpty(), image.GetWidth(), image.GetHeight()}; }
    // Draws the glyph at (2, 3): the rectangle gets its picture's size, and
    // the target changes exactly where the picture is not zero.
    void ExpectKeyedDraw()
    {
        IImage* image = glyph_.GetImage();
        const int width = image ? image->GetWidth() : 0, height = image ? image->GetHeight() : 0;
        const Pixels cell = image ? ReadPixels(*image) : Pixels();
        Pixels expected = ReadPixels(target_);
        for (int i = 0; i < width * height; ++i)
            if (cell[i])
                expected[(3 + i / width) * kTargetW + 2 + i % width] = cell[i];
        RECT rc = {2, 3, 2, 3};
        glyph_.Draw(&canvas_, &rc);
        EXPECT_EQ((std::vector<LONG>{rc.right, rc.bottom}), (std::vector<LONG>{2 + width, 3 + height}));
        EXPECT_TRUE(SamePixels(expected, ReadPixels(target_), kTargetW));
    }

    static inline GdiplusSession gdiplus_;
    static inline CDDGameEngine engine_;
    static inline TempFolder folder_{L"image_test"};
    static inline std::vector<Picture> pictures_;
    static inline bool written_ = true;
    struct : IImageFactory {
        CDDImage* NewImage() override { return ++live, engine_.NewImage(); }
        void FreeImage(CDDImage* image) override { live -= image != nullptr, engine_.FreeImage(image); }
        int live = 0;
    } counter_; // the engine's images, counted, for a glyph that is given it
    CDDImage& image_ = *static_cast<CDDImage*>(engine_.CreateImage());
    CDDFont& glyph_ = *static_cast<CDDFont*>(engine_.CreateDDFont());
    IImage& target_ = *engine_.CreateImage(); // glyphs are drawn here
    ICanvas& canvas_ = *engine_.CreateCanvas();
};

} // namespace

TEST_F(ImageTest, CreateLockAndRefusalsEmptyTheImage)
{
    ImageLockInfo info = {};
    ASSERT_TRUE(image_.Create(1, 1));
    EXPECT_FALSE(image_.Lock(nullptr));
    ASSERT_TRUE(image_.Lock(&info));
    EXPECT_FALSE(image_.Lock(&info)); // twice
    image_.Unlock();
    // Made again while locked: the old lock ends with the old surface.
    ASSERT_TRUE(image_.Lock(&info));
    ASSERT_TRUE(image_.Create(7, 3));
    EXPECT_EQ(ReadPixels(image_).size(), 21u);
    EXPECT_FALSE(image_.Create(10, -1)); // a refusal releases the picture
    EXPECT_EQ(ShapeOf(image_), kEmpty);

    // Missing and undecodable input empties the image.
    IStream* junk = SHCreateMemStream(reinterpret_cast<const BYTE*>("not a picture"), 13);
    const std::function<bool()> loads[] = {[&] { return image_.LoadFromFile(folder_.File(L"missing.png").c_str()); },
                                           [&] { return image_.LoadFromStream(junk); },
                                           [&] { return image_.LoadFromImageBits(nullptr); },
                                           [&] { return image_.LoadFromImageDC(nullptr); }};
    for (const auto& load : loads) {
        ASSERT_TRUE(image_.Create(2, 2));
        EXPECT_FALSE(load());
        EXPECT_EQ(ShapeOf(image_), kEmpty);
    }
    EXPECT_EQ(junk->Release(), 0u);
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
        EXPECT_EQ(ShapeOf(image_), (Shape{0, kW, kH}));
        EXPECT_TRUE(SamePixels(p.pixels, ReadPixels(image_), kW));
        EXPECT_TRUE(MoveFileW(p.path.c_str(), (p.path + L".moved").c_str()));
        MoveFileW((p.path + L".moved").c_str(), p.path.c_str());

        IStream* stream = nullptr;
        ASSERT_EQ(SHCreateStreamOnFileW(p.path.c_str(), STGM_READ, &stream), S_OK);
        ASSERT_TRUE(image_.LoadFromStream(stream));
        EXPECT_TRUE(SamePixels(p.pixels, ReadPixels(image_), kW));
        EXPECT_EQ(stream->Release(), 0u);

        Pixels clear = p.pixels; // in memory, with fully transparent pixels, as well as from the file
        clear[3] = 0x00123456;
        clear[9] = 0;
        Gdiplus::Bitmap fromFile(p.path.c_str());
        Gdiplus::Bitmap inMemory(kW, kH, kW * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(clear.data()));
        for (auto source : {std::make_pair(&fromFile, &p.pixels), std::make_pair(&inMemory, &std::as_const(clear))})
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

TEST_F(ImageTest, CharactersRefusalsMetricsInkAndKeyedDraw)
{
    EXPECT_EQ(nullptr, CDDGameEngine().CreateDDFont()); // not initialised
    CDDFont orphan;                                     // no engine
    EXPECT_FALSE(orphan.Create(L"A", 1, L"Arial", 16, 0, RGB(255, 255, 255)));
    using Row = std::tuple<const wchar_t*, int, int>; // code, length, size
    for (auto [code, length, size] : {Row{L"A", 0, 16}, Row{L"abcd", 4, 16}, Row{L"A", 1, 0}, Row{nullptr, 1, 16}})
        EXPECT_FALSE(glyph_.Create(code, length, L"Arial", size, 0, RGB(255, 255, 255))) << length;
    EXPECT_STREQ(L"", glyph_.GetText());
    // Sizes up to 1024 pixels.
    EXPECT_TRUE(glyph_.Create(L"W", 1, L"Arial", 1024, 0, RGB(255, 255, 255)) &&
                !glyph_.Create(L"W", 1, L"Arial", 1025, 0, RGB(255, 255, 255)));

    struct Case {
        wchar_t ch;
        const wchar_t* face;
        int width, imageWidth;
    } const cases[] = {
        {L'A', L"Arial", 8, 9},
        {L'A', L"No Such Face 42", 8, 9}, // the sans-serif stand-in
        {0x00FF, L"Arial", 16, 17},       // U+00FF already counts as full width
    };
    for (const Case& c : cases) {
        const wchar_t code[2] = {c.ch, 0};
        ASSERT_TRUE(glyph_.Create(code, 1, c.face, 16, 0, RGB(255, 255, 255))) << c.ch;
        EXPECT_EQ((Shape{c.width, 16}), (Shape{glyph_.GetWidth(), glyph_.GetHeight()})) << c.ch;
        EXPECT_EQ((Shape{0, c.imageWidth, 17}), ShapeOf(*glyph_.GetImage())) << c.ch;
        const Pixels cell = ReadPixels(*glyph_.GetImage());
        EXPECT_GT(std::count_if(cell.begin(), cell.end(), [](uint32_t p) { return p != 0; }), 4) << c.ch;
        ExpectKeyedDraw();
    }
}

// Codes map to pictures in the default folder, Emotions beside the program
// folder (three-character ones under "system"); a missing picture leaves an
// emoticon with nothing to draw. One glyph made again and again gives each
// old picture back and ends with the emoticon mark cleared.
TEST_F(ImageTest, EmoticonsAndRecreation)
{
    using Veld::Client::Utility::CPath;
    EmotionFolder folder(CPath::Join(Veld::Client::Utility::GetModuleDirectory(), L"..\\Emotions").GetString());
    ASSERT_TRUE(folder.Add(L"ab", 24, 20, 0xFF20C040));
    ASSERT_TRUE(folder.Add(L"abc", 30, 22, 0xFFC02040));
    glyph_.SetImageFactory(&counter_);
    using Row = std::tuple<const wchar_t*, bool, Shape>;          // code, found, width and height
    for (auto [code, found, size] : {Row{L"ab", true, {19, 18}},  // fixed advance, the size given
                                     Row{L"abc", true, {30, 22}}, // the picture's size
                                     Row{L"xy", false, {19, 18}}}) {
        EXPECT_EQ(found, glyph_.Create(code, static_cast<int>(wcslen(code)), L"", 18, 0, 0)) << code;
        EXPECT_TRUE(glyph_.IsEmotion());
        EXPECT_EQ(size, (Shape{glyph_.GetWidth(), glyph_.GetHeight()})) << code;
        EXPECT_EQ(L"/" + std::wstring(code, 2), glyph_.GetText());
        ExpectKeyedDraw();
    }
    ASSERT_TRUE(glyph_.Create(L"C", 1, L"Arial", 16, 0, RGB(255, 255, 255)));
    EXPECT_FALSE(glyph_.IsEmotion());
    EXPECT_STREQ(L"C", glyph_.GetText());
    EXPECT_EQ(counter_.live, 1) << "earlier pictures were not given back";
    glyph_.ReleaseImage();
    glyph_.ReleaseImage();
    EXPECT_EQ(nullptr, glyph_.GetImage());
    ExpectKeyedDraw();

    // Another folder, given with a trailing backslash; a null one is ignored.
    EmotionFolder other;
    ASSERT_TRUE(other.Add(L"ab", 5, 6, 0xFF0000FF));
    glyph_.SetEmotionPath((other.Path() + L"\\").c_str());
    glyph_.SetEmotionPath(nullptr);
    ASSERT_TRUE(glyph_.Create(L"ab", 2, L"", 16, 0, 0));
    EXPECT_EQ(5, glyph_.GetImage()->GetWidth());
}
