// Glyphs made by the engine's factory: characters rendered with GDI+,
// emoticon pictures from PNG files the tests write, keyed drawing on a canvas.
#include <gtest/gtest.h>

#include <algorithm>

#include "Canvas.h"
#include "CountingEngine.h"
#include "DrawTestUtil.h"
#include "Path.h"

namespace {

using namespace Veld::Game;
using namespace TestUtil;

constexpr uint32_t kBack = 0x00123456;
constexpr int kW = 64, kH = 48;

class FontTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const std::wstring cls = UniqueClassName(L"FontTest");
        ASSERT_TRUE(engine_.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 200, 150, 732, 32, SW_SHOW));
    }
    static void TearDownTestSuite() { engine_.Shutdown(); }
    void SetUp() override
    {
        ASSERT_TRUE(gdiplus_.Started());
        live_ = engine_.live;
        target_ = engine_.CreateImage();
        ASSERT_TRUE(target_ && target_->Create(kW, kH) && WritePixels(*target_, Pixels(kW * kH, kBack)));
        canvas_ = engine_.CreateCanvas();
        ASSERT_TRUE(canvas_ && canvas_->SetTarget(target_));
    }
    void TearDown() override
    {
        for (CDDFont* font : fonts_) {
            font->ReleaseImage();
            engine_.DestroyDDFont(font);
        }
        engine_.DestroyCanvas(canvas_);
        engine_.DestroyImage(target_);
        EXPECT_EQ(live_, engine_.live) << "every glyph image was given back";
    }
    CDDFont* Glyph(const std::wstring& emotions = {})
    {
        fonts_.push_back(static_cast<CDDFont*>(engine_.CreateDDFont()));
        if (!emotions.empty())
            fonts_.back()->SetEmotionPath(emotions.c_str());
        return fonts_.back();
    }
    // Draws the glyph at (x, y); the target must change exactly where the glyph's picture is not zero.
    void ExpectKeyedDraw(CDDFont* glyph, int x, int y, int width, int height)
    {
        const Pixels before = ReadPixels(*target_);
        const Pixels cell = glyph->GetImage() ? ReadPixels(*glyph->GetImage()) : Pixels();
        RECT rc = {x, y, x, y};
        glyph->Draw(canvas_, &rc);
        EXPECT_EQ(rc.right, x + width);
        EXPECT_EQ(rc.bottom, y + height);
        Pixels expected = before;
        for (int i = 0; i < width * height; ++i)
            if (cell[i])
                expected[(y + i / width) * kW + x + i % width] = cell[i];
        EXPECT_TRUE(SamePixels(expected, ReadPixels(*target_), kW));
    }

    static inline GdiplusSession gdiplus_;
    static inline CountingEngine engine_;
    IImage* target_ = nullptr;
    ICanvas* canvas_ = nullptr;
    std::vector<CDDFont*> fonts_;
    int live_ = 0;
};

} // namespace

TEST_F(FontTest, CreateRefusals)
{
    EXPECT_EQ(nullptr, CDDGameEngine().CreateDDFont()); // not initialised
    engine_.DestroyDDFont(nullptr);
    CDDFont orphan; // no engine
    EXPECT_FALSE(orphan.Create(L"A", 1, L"Arial", 16, 0, RGB(255, 255, 255)));
    struct Case {
        const wchar_t* code;
        int length, size;
    } const cases[] = {{L"A", 0, 16}, {L"abcd", 4, 16}, {L"A", 1, 0}, {L"ab", 2, -1}, {nullptr, 1, 16}};
    for (const Case& c : cases) {
        CDDFont* glyph = Glyph();
        EXPECT_FALSE(glyph->Create(c.code, c.length, L"Arial", c.size, 0, RGB(255, 255, 255))) << c.length;
        EXPECT_EQ(nullptr, glyph->GetImage());
        EXPECT_EQ(0, glyph->GetWidth() + glyph->GetHeight());
        EXPECT_FALSE(glyph->IsEmotion());
        EXPECT_STREQ(L"", glyph->GetText());
        ExpectKeyedDraw(glyph, 3, 4, 0, 0);
    }
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
        CDDFont* glyph = Glyph();
        const wchar_t code[2] = {c.ch, 0};
        ASSERT_TRUE(glyph->Create(code, 1, c.face, 16, 0, RGB(255, 255, 255))) << c.ch;
        EXPECT_EQ((std::vector<int>{c.width, 16, c.imageWidth, 17}),
                  (std::vector<int>{glyph->GetWidth(), glyph->GetHeight(), glyph->GetImage()->GetWidth(),
                                    glyph->GetImage()->GetHeight()}))
            << c.ch;
        EXPECT_FALSE(glyph->IsEmotion());
        EXPECT_STREQ(code, glyph->GetText());
        const Pixels cell = ReadPixels(*glyph->GetImage());
        EXPECT_TRUE(!c.ink || std::count_if(cell.begin(), cell.end(), [](uint32_t p) { return p != 0; }) > 4) << c.ch;
        ExpectKeyedDraw(glyph, 5, 7, c.imageWidth, 17);
    }
}

// Codes map to pictures in the folder (three-character ones under "system");
// a missing picture leaves an emoticon with nothing to draw; creating again
// gives the old picture back and clears the emoticon mark.
TEST_F(FontTest, EmoticonsAndRecreation)
{
    EmotionFolder folder;
    ASSERT_TRUE(folder.Add(L"ab", 24, 20, 0xFF20C040));
    ASSERT_TRUE(folder.Add(L"abc", 30, 22, 0xFFC02040));
    CDDFont* glyph = Glyph(folder.Path() + L"\\");
    EXPECT_EQ(folder.Path(), glyph->GetEmotionPath().GetString());
    glyph->SetEmotionPath(nullptr); // ignored
    EXPECT_EQ(folder.Path(), glyph->GetEmotionPath().GetString());
    struct Case {
        const wchar_t* code;
        bool found;
        int width, height, imageWidth, imageHeight;
    } const cases[] = {{L"ab", true, 19, 18, 24, 20}, // fixed advance, the size given
                       {L"abc", true, 30, 22, 30, 22}, // the picture's size
                       {L"xy", false, 0, 0, 0, 0}};
    for (const Case& c : cases) {
        CDDFont* emoticon = Glyph(folder.Path());
        EXPECT_EQ(c.found, emoticon->Create(c.code, static_cast<int>(wcslen(c.code)), L"", 18, 0, 0)) << c.code;
        EXPECT_TRUE(emoticon->IsEmotion());
        if (c.found) {
            EXPECT_EQ(c.width, emoticon->GetWidth()) << c.code;
            EXPECT_EQ(c.height, emoticon->GetHeight()) << c.code;
            EXPECT_STREQ(L"/ab", emoticon->GetText());
        }
        ExpectKeyedDraw(emoticon, 2, 3, c.imageWidth, c.imageHeight);
    }
    const int live = engine_.live;
    EXPECT_FALSE(glyph->Create(L"zz", 2, L"", 16, 0, 0));
    EXPECT_TRUE(glyph->IsEmotion());
    ASSERT_TRUE(glyph->Create(L"B", 1, L"Arial", 16, 0, RGB(255, 255, 255)));
    ASSERT_TRUE(glyph->Create(L"ab", 2, L"", 16, 0, 0));
    ASSERT_TRUE(glyph->Create(L"C", 1, L"Arial", 16, 0, RGB(255, 255, 255)));
    EXPECT_FALSE(glyph->IsEmotion());
    EXPECT_STREQ(L"C", glyph->GetText());
    EXPECT_EQ(live + 1, engine_.live) << "earlier pictures were not given back";
    glyph->ReleaseImage();
    glyph->ReleaseImage();
    EXPECT_EQ(nullptr, glyph->GetImage());
    ExpectKeyedDraw(glyph, 3, 4, 0, 0);
}

TEST_F(FontTest, DefaultFolderIsEmotionsBesideTheProgramFolder)
{
    using Veld::Client::Utility::CPath;
    const CPath expected = CPath::Join(Veld::Client::Utility::GetModuleDirectory(), L"..\\Emotions");
    CDDFont* glyph = Glyph();
    EXPECT_EQ(expected.GetString(), glyph->GetEmotionPath().GetString());
    EmotionFolder folder(expected.GetString());
    ASSERT_TRUE(folder.Add(L"q~", 12, 13, 0xFF808080));
    ASSERT_TRUE(glyph->Create(L"q~", 2, L"", 16, 0, 0));
    EXPECT_EQ(12, glyph->GetImage()->GetWidth());
}
