// Glyphs made by the engine's factory: characters rendered with GDI+,
// emoticon pictures from PNG files the tests write, keyed drawing on a canvas.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Canvas.h"
#include "DDCanvas.h"
#include "DDFont.h"
#include "DDGameEngine.h"
#include "DrawTestUtil.h"
#include "Path.h"
#include "WinTestUtil.h"

namespace {

using namespace Veld::Game;
using namespace TestUtil;
using Veld::Client::Utility::CPath;
using Veld::Client::Utility::GetModuleDirectory;
namespace Flat = Gdiplus::DllExports;

constexpr uint32_t kBack = 0x00123456;

// Writes a width x height PNG whose pixels are all fill.
bool WritePng(const std::wstring& path, int width, int height, uint32_t fill)
{
    CLSID png;
    const bool havePng = TestUtil::FindPngEncoder(png);
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, fill);
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (!havePng || Flat::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB,
                                                    reinterpret_cast<BYTE*>(pixels.data()), &bitmap) != Gdiplus::Ok)
        return false;
    const bool ok = Flat::GdipSaveImageToFile(bitmap, path.c_str(), &png, nullptr) == Gdiplus::Ok;
    Flat::GdipDisposeImage(bitmap);
    return ok;
}

// The real engine behind a client-side proxy that counts the images alive.
class CountingEngine final : public IGameEngine {
public:
    bool Initialize(HINSTANCE a, const wchar_t* b, HICON c, int d, int e, int f, int g, int h) override
    {
        return real.Initialize(a, b, c, d, e, f, g, h);
    }
    void Shutdown() override { real.Shutdown(); }
    IDisplay* GetDisplay() override { return real.GetDisplay(); }
    IInput* GetInput() override { return real.GetInput(); }
    ISound* GetSound() override { return real.GetSound(); }
    ISoundEx* GetSoundEx() override { return real.GetSoundEx(); }
    HWND GetWindowHandle() override { return real.GetWindowHandle(); }
    bool SetTimer(unsigned int n, int id, ITimerEvent* p) override { return real.SetTimer(n, id, p); }
    void KillTimer(int id) override { real.KillTimer(id); }
    IImage* CreateImage() override
    {
        IImage* image = real.CreateImage();
        live += image != nullptr;
        return image;
    }
    void DestroyImage(IImage* image) override
    {
        live -= image != nullptr;
        real.DestroyImage(image);
    }
    ICanvas* CreateCanvas() override { return real.CreateCanvas(); }
    void DestroyCanvas(ICanvas* p) override { real.DestroyCanvas(p); }
    // Glyphs from the real factory, making their images through the proxy.
    IDDFont* CreateDDFont() override
    {
        CDDFont* font = static_cast<CDDFont*>(real.CreateDDFont());
        if (font)
            font->SetEngine(this);
        return font;
    }
    void DestroyDDFont(IDDFont* p) override { real.DestroyDDFont(p); }
    IDirectDrawSurface7* CreateSurface(int w, int h) override { return real.CreateSurface(w, h); }

    CDDGameEngine real;
    int live = 0;
};

class FontTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gdiplus_ = new GdiplusSession();
        engine_ = new CountingEngine();
        const std::wstring cls = UniqueClassName(L"FontTest");
        ASSERT_TRUE(engine_->Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 200, 150, 732, 32, SW_SHOW));
    }
    static void TearDownTestSuite()
    {
        engine_->Shutdown();
        Pump(200);
        delete engine_;
        delete gdiplus_;
    }
    void SetUp() override
    {
        ASSERT_TRUE(gdiplus_->Started());
        target_ = engine_->CreateImage();
        ASSERT_TRUE(target_ && target_->Create(kW, kH));
        ASSERT_TRUE(WritePixels(*target_, Pixels(kW * kH, kBack)));
        canvas_ = engine_->CreateCanvas();
        ASSERT_TRUE(canvas_ && canvas_->SetTarget(target_));
        font_ = static_cast<CDDFont*>(engine_->CreateDDFont());
        ASSERT_NE(nullptr, font_);
        live_ = engine_->live;
    }
    void TearDown() override
    {
        font_->ReleaseImage();
        EXPECT_EQ(live_, engine_->live) << "every glyph image was given back";
        engine_->DestroyDDFont(font_);
        engine_->DestroyCanvas(canvas_);
        engine_->DestroyImage(target_);
    }

    static constexpr int kW = 64;
    static constexpr int kH = 48;
    static GdiplusSession* gdiplus_;
    static CountingEngine* engine_;
    IImage* target_ = nullptr;
    ICanvas* canvas_ = nullptr;
    CDDFont* font_ = nullptr;
    int live_ = 0;
};
GdiplusSession* FontTest::gdiplus_ = nullptr;
CountingEngine* FontTest::engine_ = nullptr;

TEST_F(FontTest, FactoryAndCreateRefusals)
{
    CDDGameEngine idle; // not initialised
    EXPECT_EQ(nullptr, idle.CreateDDFont());
    engine_->DestroyDDFont(nullptr);

    struct Case {
        const wchar_t* code;
        int length;
        int size;
    } const cases[] = {{L"A", 0, 16}, {L"abcd", 4, 16}, {L"A", 1, 0}, {L"ab", 2, -1}, {nullptr, 1, 16}};
    for (const Case& c : cases) {
        EXPECT_FALSE(font_->Create(c.code, c.length, L"Arial", c.size, 0, RGB(255, 255, 255))) << c.length;
        EXPECT_EQ(nullptr, font_->GetImage());
        EXPECT_EQ(0, font_->GetWidth());
        EXPECT_EQ(0, font_->GetHeight());
        EXPECT_FALSE(font_->IsEmotion());
        EXPECT_STREQ(L"", font_->GetText());
    }
    CDDFont orphan; // no engine
    EXPECT_FALSE(orphan.Create(L"A", 1, L"Arial", 16, 0, RGB(255, 255, 255)));
    EXPECT_EQ(nullptr, orphan.GetImage());
}

TEST_F(FontTest, CharacterMetricsInkAndKeyedDraw)
{
    struct Case {
        wchar_t ch;
        const wchar_t* face;
        int width, imageWidth;
        bool ink;
    } const cases[] = {
        {L'A', L"Arial", 8, 9, true},
        {L'A', L"No Such Face 42", 8, 9, true}, // the sans-serif stand-in
        {0x4E2D, L"Arial", 16, 17, false},      // ink depends on a CJK font
        {0x00FF, L"Arial", 16, 17, true},       // U+00FF already counts as full width
    };
    for (const Case& c : cases) {
        CDDFont* glyph = static_cast<CDDFont*>(engine_->CreateDDFont());
        const wchar_t code[2] = {c.ch, 0};
        ASSERT_TRUE(glyph->Create(code, 1, c.face, 16, 0, RGB(255, 255, 255))) << c.ch;
        EXPECT_EQ(c.width, glyph->GetWidth()) << c.ch;
        EXPECT_EQ(16, glyph->GetHeight());
        EXPECT_FALSE(glyph->IsEmotion());
        EXPECT_STREQ(code, glyph->GetText());
        IImage* image = glyph->GetImage();
        ASSERT_NE(nullptr, image);
        EXPECT_EQ(c.imageWidth, image->GetWidth()) << c.ch;
        EXPECT_EQ(17, image->GetHeight());

        const Pixels cell = ReadPixels(*image);
        const auto inked = std::count_if(cell.begin(), cell.end(), [](uint32_t p) { return p != 0; });
        if (c.ink) {
            EXPECT_GT(inked, 4) << "character " << c.ch;
        }

        // Keyed copy: zero cell pixels leave the target alone, the rest are copied.
        ASSERT_TRUE(WritePixels(*target_, Pixels(kW * kH, kBack)));
        RECT rc = {5, 7, 0, 0};
        glyph->Draw(canvas_, &rc);
        EXPECT_EQ(5 + c.imageWidth, rc.right);
        EXPECT_EQ(7 + 17, rc.bottom);
        const Pixels px = ReadPixels(*target_);
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < c.imageWidth; ++x) {
                const uint32_t src = cell[y * c.imageWidth + x];
                ASSERT_EQ(src ? src : kBack, px[(y + 7) * kW + x + 5]) << x << "," << y;
            }
        glyph->ReleaseImage();
        engine_->DestroyDDFont(glyph);
    }
}

TEST_F(FontTest, ReleaseAndRecreateGiveImagesBack)
{
    const RECT untouched = {3, 4, 5, 6};
    RECT rc = untouched;
    font_->Draw(canvas_, &rc); // no image yet
    EXPECT_EQ(untouched.right, rc.right);

    // An emoticon that cannot be found, then a character on the same glyph:
    // one image alive and the emoticon mark gone.
    font_->SetEmotionPath(L"C:\\no\\such\\folder");
    EXPECT_FALSE(font_->Create(L"zz", 2, L"", 16, 0, 0));
    EXPECT_TRUE(font_->IsEmotion());
    ASSERT_TRUE(font_->Create(L"B", 1, L"Arial", 16, 0, RGB(255, 255, 255)));
    EXPECT_FALSE(font_->IsEmotion());
    EXPECT_STREQ(L"B", font_->GetText());
    EXPECT_EQ(live_ + 1, engine_->live);
    ASSERT_TRUE(font_->Create(L"C", 1, L"Arial", 16, 0, RGB(255, 255, 255)));
    EXPECT_EQ(live_ + 1, engine_->live);

    font_->ReleaseImage();
    font_->ReleaseImage();
    EXPECT_EQ(live_, engine_->live);
    EXPECT_EQ(nullptr, font_->GetImage());
    const Pixels before = ReadPixels(*target_);
    rc = untouched;
    font_->Draw(canvas_, &rc);
    EXPECT_EQ(untouched.right, rc.right);
    EXPECT_EQ(untouched.bottom, rc.bottom);
    EXPECT_TRUE(SamePixels(before, ReadPixels(*target_), kW));
}

class EmotionTest : public FontTest {
protected:
    void SetUp() override
    {
        FontTest::SetUp();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"font_test_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        CreateDirectoryW((folder_ + L"\\system").c_str(), nullptr);
        ASSERT_TRUE(WritePng(folder_ + L"\\ab.png", 24, 20, 0xFF20C040));
        ASSERT_TRUE(WritePng(folder_ + L"\\system\\abc.png", 30, 22, 0xFFC02040));
    }
    void TearDown() override
    {
        DeleteFileW((folder_ + L"\\ab.png").c_str());
        DeleteFileW((folder_ + L"\\system\\abc.png").c_str());
        RemoveDirectoryW((folder_ + L"\\system").c_str());
        RemoveDirectoryW(folder_.c_str());
        FontTest::TearDown();
    }
    std::wstring folder_;
};

TEST_F(EmotionTest, CodesMapToPicturesInTheFolder)
{
    font_->SetEmotionPath((folder_ + L"\\").c_str());
    EXPECT_EQ(folder_, font_->GetEmotionPath().GetString());
    font_->SetEmotionPath(nullptr); // ignored
    EXPECT_EQ(folder_, font_->GetEmotionPath().GetString());

    ASSERT_TRUE(font_->Create(L"ab", 2, L"", 18, 0, 0));
    EXPECT_TRUE(font_->IsEmotion());
    EXPECT_EQ(19, font_->GetWidth()) << "fixed advance";
    EXPECT_EQ(18, font_->GetHeight()) << "the size given";
    EXPECT_STREQ(L"/ab", font_->GetText());
    RECT rc = {2, 3, 0, 0};
    font_->Draw(canvas_, &rc);
    EXPECT_EQ(2 + 24, rc.right);
    EXPECT_EQ(3 + 20, rc.bottom);
    EXPECT_EQ(0xFF20C040u, ReadPixels(*target_)[3 * kW + 2]);

    CDDFont* system = static_cast<CDDFont*>(engine_->CreateDDFont());
    system->SetEmotionPath(folder_.c_str());
    ASSERT_TRUE(system->Create(L"abc", 3, L"", 18, 0, 0));
    EXPECT_EQ(30, system->GetWidth()) << "the picture's size";
    EXPECT_EQ(22, system->GetHeight());
    EXPECT_STREQ(L"/ab", system->GetText());
    system->ReleaseImage();
    engine_->DestroyDDFont(system);

    // A missing picture: false, still an emoticon, and nothing to draw.
    CDDFont* missing = static_cast<CDDFont*>(engine_->CreateDDFont());
    missing->SetEmotionPath(folder_.c_str());
    EXPECT_FALSE(missing->Create(L"xy", 2, L"", 18, 0, 0));
    EXPECT_TRUE(missing->IsEmotion());
    const Pixels before = ReadPixels(*target_);
    rc = {10, 11, 40, 40};
    missing->Draw(canvas_, &rc);
    EXPECT_EQ(10, rc.right);
    EXPECT_EQ(11, rc.bottom);
    EXPECT_TRUE(SamePixels(before, ReadPixels(*target_), kW));
    missing->ReleaseImage();
    engine_->DestroyDDFont(missing);
}

TEST_F(EmotionTest, DefaultFolderIsEmotionsBesideTheProgramFolder)
{
    const CPath expected = CPath::Join(GetModuleDirectory(), L"..\\Emotions");
    ASSERT_TRUE(expected.IsValid());
    EXPECT_EQ(expected.GetString(), font_->GetEmotionPath().GetString());
    const bool made = CreateDirectoryW(expected.c_str(), nullptr) != 0;
    const std::wstring file = expected.GetString() + L"\\q~.png";
    ASSERT_TRUE(WritePng(file, 12, 13, 0xFF808080));
    const bool loaded = font_->Create(L"q~", 2, L"", 16, 0, 0);
    DeleteFileW(file.c_str());
    if (made)
        RemoveDirectoryW(expected.c_str());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(12, font_->GetImage()->GetWidth());
}

} // namespace
