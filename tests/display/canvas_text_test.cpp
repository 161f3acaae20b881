// Canvas text on real DirectDraw surfaces: GDI text with its fixed-cell
// layout, and GDI+ strings with the state the canvas keeps between calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

#include "DDCanvas.h"
#include "DrawTestUtil.h"

namespace {

using namespace Veld::Game;
using namespace TestUtil;

constexpr uint32_t kBack = 0x00204060;

// Pixels whose colour differs from the background.
struct Ink {
    int count = 0;
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1; // inclusive bounds
};

Ink FindInk(const Pixels& px, int width, uint32_t back, int fromY = 0, int toY = INT_MAX)
{
    Ink ink;
    for (size_t i = 0; i < px.size(); ++i) {
        const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        if (y < fromY || y >= toY || (px[i] & 0xFFFFFF) == back)
            continue;
        ++ink.count;
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
    }
    return ink;
}

class CanvasTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gdiplus_.Started());
        ASSERT_NE(nullptr, dd_.Get());
        target_ = MakeImage(dd_.Get(), kW, kH, kBack);
        ASSERT_TRUE(canvas_.SetTarget(target_.get()));
        // A TrueType face whose cell is 16 pixels high.
        font_ =
            CreateFontW(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0, L"Arial");
        ASSERT_NE(nullptr, font_);
    }
    void TearDown() override { DeleteObject(font_); }

    void Clear() { ASSERT_TRUE(WritePixels(*target_, Pixels(kW * kH, kBack))); }

    TextStyle Style(DWORD flags) const { return {flags, RGB(255, 255, 255), RGB(0, 0, 0), 0, font_}; }

    // Width and height of the text in the test font.
    SIZE Measure(const wchar_t* text)
    {
        RECT rc = {0, 0, kW, kH};
        const TextStyle style = Style(TextStyle::Measure | TextStyle::UseFont);
        EXPECT_TRUE(canvas_.DrawText(text, &rc, &style));
        return {rc.right - rc.left, rc.bottom - rc.top};
    }

    static constexpr int kW = 160;
    static constexpr int kH = 100;
    GdiplusSession gdiplus_;
    DirectDraw dd_;
    std::unique_ptr<CDDImage> target_;
    CDDCanvas canvas_;
    HFONT font_ = nullptr;
};

TEST_F(CanvasTextTest, RefusalsAndMeasureLeaveTheSurfaceAlone)
{
    CDDCanvas empty;
    RECT rc = {0, 0, 50, 20};
    EXPECT_FALSE(empty.DrawText(L"x", &rc, nullptr));
    EXPECT_FALSE(empty.DrawString(L"x", &rc, nullptr));
    EXPECT_FALSE(canvas_.DrawText(nullptr, &rc, nullptr));
    EXPECT_FALSE(canvas_.DrawString(nullptr, &rc, nullptr));
    EXPECT_FALSE(canvas_.DrawString(L"x", nullptr, nullptr));

    const Pixels before = ReadPixels(*target_);
    RECT measured = {5, 7, 6, 8};
    const TextStyle style = Style(TextStyle::Measure | TextStyle::UseFont | TextStyle::UseColors);
    EXPECT_TRUE(canvas_.DrawText(L"Measure me", &measured, &style));
    EXPECT_EQ(5, measured.left);
    EXPECT_EQ(7, measured.top);
    EXPECT_GT(measured.right - measured.left, 40);
    EXPECT_EQ(16, measured.bottom - measured.top);
    EXPECT_TRUE(SamePixels(before, ReadPixels(*target_), kW)); // also proves the DC was released
}

TEST_F(CanvasTextTest, PlainTextIsCentredTransparentAndRestoresTheContext)
{
    RECT rc = {0, 0, kW, 40};
    const TextStyle white = Style(TextStyle::UseColors | TextStyle::UseFont);
    ASSERT_TRUE(canvas_.DrawText(L"HH", &rc, &white));
    const Pixels px = ReadPixels(*target_);
    const Ink ink = FindInk(px, kW, kBack);
    ASSERT_GT(ink.count, 0);
    EXPECT_LE(std::abs((ink.left + ink.right + 1) - kW), 4) << "centred horizontally";
    EXPECT_LT(ink.top, 16) << "top aligned";
    for (uint32_t p : px) // transparent: no black box behind the text
        ASSERT_TRUE((p & 0xFFFFFF) == kBack || (p & 0xFFFFFF) == 0xFFFFFF) << std::hex << p;

    // The colours and the font were put back: a plain call draws in the
    // context's own black and font again.
    Clear();
    RECT below = {0, 50, kW, kH};
    ASSERT_TRUE(canvas_.DrawText(L"HH", &below, nullptr));
    const Pixels after = ReadPixels(*target_);
    const Ink plain = FindInk(after, kW, kBack);
    ASSERT_GT(plain.count, 0);
    for (uint32_t p : after)
        ASSERT_NE(0xFFFFFFu, p & 0xFFFFFF) << "the white text colour stayed selected";
}

TEST_F(CanvasTextTest, FixedCellsFillLinesOfSquareCells)
{
    ASSERT_EQ(16, Measure(L" ").cy);
    const SIZE six = Measure(L"MMMMMM"), five = Measure(L"MMMMM");

    // Cell 16 in 100 x 50: 6 characters a line, 3 lines at 0, 19 and 38; the
    // last 2 of 20 characters find no line.
    RECT rc = {0, 0, 100, 50};
    const TextStyle cells =
        Style(TextStyle::Measure | TextStyle::FixedCells | TextStyle::UseColors | TextStyle::UseFont);
    ASSERT_TRUE(canvas_.DrawText(L"MMMMMMMMMMMMMMMMMMMM", &rc, &cells));
    const Pixels px = ReadPixels(*target_);
    for (int line = 0; line < 3; ++line) {
        const Ink ink = FindInk(px, kW, kBack, line * 19, line * 19 + 16);
        EXPECT_GT(ink.right, five.cx - 2) << "line " << line << " holds six characters";
        EXPECT_LT(ink.right, six.cx + 1) << "line " << line << " holds no seventh character";
    }
    EXPECT_EQ(0, FindInk(px, kW, kBack, 16, 19).count);
    EXPECT_EQ(0, FindInk(px, kW, kBack, 35, 38).count);
    EXPECT_EQ(0, FindInk(px, kW, kBack, 54).count) << "no fourth line";
}

TEST_F(CanvasTextTest, FixedCellsDrawNothingWithoutRoomForACell)
{
    const TextStyle cells =
        Style(TextStyle::Measure | TextStyle::FixedCells | TextStyle::UseColors | TextStyle::UseFont);
    const RECT cases[] = {{0, 0, 10, 50},   // narrower than a cell
                          {0, 0, 100, 10},  // lower than a cell
                          {100, 0, 0, 50},  // inverted horizontally
                          {0, 50, 100, 0}}; // inverted vertically
    for (RECT rc : cases) {
        ASSERT_TRUE(canvas_.DrawText(L"MMMMMMMMMMMMMMMMMMMM", &rc, &cells));
        EXPECT_EQ(0, FindInk(ReadPixels(*target_), kW, kBack).count) << rc.left << "," << rc.top;
    }
}

TEST_F(CanvasTextTest, DrawStringKeepsItsStyleForLaterCalls)
{
    const RECT rc = {0, 0, kW, kH};
    auto draw = [&](const StringStyle* style) {
        Clear();
        EXPECT_TRUE(canvas_.DrawString(L"Hello", &rc, style));
        return ReadPixels(*target_);
    };
    // Defaults: white 12-pixel text centred both ways, in the fallback family
    // when the default one is not installed.
    const Pixels first = draw(nullptr);
    const Ink centred = FindInk(first, kW, kBack);
    ASSERT_GT(centred.count, 0);
    EXPECT_LE(std::abs((centred.left + centred.right + 1) - kW), 4);
    EXPECT_LE(std::abs((centred.top + centred.bottom + 1) - kH), 6);
    EXPECT_EQ(0xFFFFFFu, *std::max_element(first.begin(), first.end(), [](uint32_t a, uint32_t b) {
                  return (a & 0xFFFFFF) < (b & 0xFFFFFF);
              }) & 0xFFFFFF);

    StringStyle bold = {
        20, L"No Such Family 42", RGB(255, 0, 0), StringStyle::Bold, StringStyle::Near, StringStyle::Near};
    const Pixels boldPx = draw(&bold);
    const Ink boldInk = FindInk(boldPx, kW, kBack);
    ASSERT_GT(boldInk.count, 0) << "an unknown family falls back and still draws";
    EXPECT_LT(boldInk.left, 8) << "near alignment";
    EXPECT_LT(boldInk.top, 8);
    EXPECT_TRUE(SamePixels(boldPx, draw(nullptr), kW)) << "a call without style keeps the last style";

    StringStyle keep = bold;
    keep.nFontStyle = 5;
    keep.nAlign = keep.nLineAlign = 0;
    EXPECT_TRUE(SamePixels(boldPx, draw(&keep), kW)) << "style 5 and alignment 0 keep the current ones";

    StringStyle regular = bold;
    regular.nFontStyle = StringStyle::Regular;
    const Pixels regularPx = draw(&regular);
    EXPECT_LT(FindInk(regularPx, kW, kBack).count, boldInk.count) << "style 0 returns to regular";
}

TEST(CanvasTextWithoutGdiplus, CanvasMadeBeforeStartupDrawsOnlyWithItsFormat)
{
    DirectDraw dd;
    CDDCanvas canvas; // GDI+ not started yet: the string format may have failed
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Started());
    auto target = MakeImage(dd.Get(), 40, 20, kBack);
    ASSERT_TRUE(canvas.SetTarget(target.get()));
    const RECT rc = {0, 0, 40, 20};
    StringStyle style = {12, L"Arial", RGB(255, 255, 255), 0, 1, 1};
    const bool usable = canvas.GetStringFormatStatus() == 0;
    EXPECT_EQ(usable, canvas.DrawString(L"x", &rc, &style));
    EXPECT_EQ(usable, canvas.DrawString(L"x", &rc, nullptr));
    EXPECT_EQ(usable, FindInk(ReadPixels(*target), 40, kBack).count > 0);
    RECT measure = rc;
    EXPECT_TRUE(canvas.DrawText(L"x", &measure, nullptr)) << "GDI text needs no GDI+";
}

} // namespace
