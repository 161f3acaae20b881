// The dirty list's clip and the source adjustment of dirty-clipped drawing.
#include <gtest/gtest.h>

#include <climits>
#include <ostream>

#include "DirtyRegion.h"

namespace Veld::Game::Kernels {
static bool operator==(const Rect& a, const Rect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream& operator<<(std::ostream& os, const Rect& r)
{
    return os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}
} // namespace Veld::Game::Kernels

namespace {

using Veld::Game::AdjustSourceToClip;
using Veld::Game::CDirtyRectList;
using Veld::Game::MakeRect;
using Veld::Game::Rect;

const Rect kUntouched = {-7, -7, -7, -7};

TEST(ClipToDirtyRegion, EmptyListClipsEverything)
{
    CDirtyRectList list;
    Rect out = kUntouched;
    EXPECT_FALSE(list.ClipToDirtyRegion({0, 0, 100, 100}, out));
    EXPECT_EQ(out, kUntouched);
}

TEST(ClipToDirtyRegion, TouchingEmptyAndInvertedRectanglesAreNotDirty)
{
    CDirtyRectList list;
    list.Add({10, 0, 20, 10});          // touches the request's right edge
    list.Add({0, 10, 10, 20});          // touches its bottom edge
    list.Add({5, 5, 5, 8});             // empty
    list.Add({8, 8, 2, 2});             // inverted
    list.Add({INT_MIN, 0, INT_MAX, 0}); // no height; width overflows 32 bits
    Rect out = kUntouched;
    EXPECT_FALSE(list.ClipToDirtyRegion({0, 0, 10, 10}, out));
    EXPECT_EQ(out, kUntouched);
}

TEST(ClipToDirtyRegion, BoundingBoxOfSeparateHits)
{
    CDirtyRectList list;
    list.Add({0, 0, 10, 10});
    list.Add({50, 50, 60, 60});
    list.Add({200, 200, 300, 300}); // misses
    Rect out;
    ASSERT_TRUE(list.ClipToDirtyRegion({0, 0, 100, 100}, out));
    EXPECT_EQ(out, (Rect{0, 0, 60, 60}));
    // A hit is cut to the request.
    ASSERT_TRUE(list.ClipToDirtyRegion({55, -10, 58, 200}, out));
    EXPECT_EQ(out, (Rect{55, 50, 58, 60}));
    // Extreme edges intersect without overflow.
    list.Add({INT_MIN, INT_MIN, INT_MAX, INT_MAX});
    ASSERT_TRUE(list.ClipToDirtyRegion({INT_MIN, -3, INT_MAX, 4}, out));
    EXPECT_EQ(out, (Rect{INT_MIN, -3, INT_MAX, 4}));
}

TEST(ClipToDirtyRegion, MoreThanHundredHitsTakeTheRequestWhole)
{
    const Rect request = {0, 0, 1000, 1000};
    CDirtyRectList list;
    // 100 one-pixel hits on the diagonal, each counted, duplicates too.
    for (int i = 0; i < 99; ++i)
        list.Add({i, i, i + 1, i + 1});
    list.Add({98, 98, 99, 99});
    Rect out;
    ASSERT_TRUE(list.ClipToDirtyRegion(request, out));
    EXPECT_EQ(out, (Rect{0, 0, 99, 99}));
    // The 101st hit is the same rectangle once more.
    list.Add({98, 98, 99, 99});
    ASSERT_TRUE(list.ClipToDirtyRegion(request, out));
    EXPECT_EQ(out, request);
    // Misses do not count.
    list.Clear();
    for (int i = 0; i < 150; ++i)
        list.Add({2000, 2000, 2001, 2001});
    list.Add({3, 4, 5, 6});
    ASSERT_TRUE(list.ClipToDirtyRegion(request, out));
    EXPECT_EQ(out, (Rect{3, 4, 5, 6}));
}

TEST(AdjustSourceToClip, MovesTheSourceByTheCutPart)
{
    // 1:1: the source loses what the destination lost.
    Rect src = {100, 200, 150, 240};
    ASSERT_TRUE(AdjustSourceToClip({0, 0, 50, 40}, {10, 5, 45, 40}, src));
    EXPECT_EQ(src, (Rect{110, 205, 145, 240}));

    // Twice enlarged: cuts move the source by trunc(cut * 0.5).
    src = {0, 0, 10, 10};
    ASSERT_TRUE(AdjustSourceToClip({0, 0, 20, 20}, {3, 0, 17, 20}, src));
    EXPECT_EQ(src, (Rect{1, 0, 9, 10}));

    // Reduced by 3: 0.333.. * 4 truncates to 1; 100/3 as a float times 7 to 2.
    src = {0, 0, 30, 100};
    ASSERT_TRUE(AdjustSourceToClip({0, 0, 10, 3}, {4, 0, 10, 2}, src));
    EXPECT_EQ(src, (Rect{12, 0, 30, 67}));

    // The source may vanish; the blit refuses it later.
    src = {0, 0, 1, 1};
    ASSERT_TRUE(AdjustSourceToClip({0, 0, 100, 100}, {99, 99, 100, 100}, src));
    EXPECT_EQ(src, (Rect{0, 0, 1, 1}));
}

TEST(AdjustSourceToClip, RefusesEmptyRectanglesAndWidthsPast32Bits)
{
    Rect src = {0, 0, 10, 10};
    EXPECT_FALSE(AdjustSourceToClip({5, 0, 5, 10}, {5, 0, 5, 10}, src));
    src = {10, 0, 0, 10};
    EXPECT_FALSE(AdjustSourceToClip({0, 0, 10, 10}, {0, 0, 10, 10}, src));
    // Widths past 32 bits.
    src = {0, 0, 10, 1};
    EXPECT_FALSE(AdjustSourceToClip({INT_MIN, 0, INT_MAX, 1}, {0, 0, 1, 1}, src));
    EXPECT_FALSE(AdjustSourceToClip({0, 0, 10, 1}, {0, 0, 1, 1}, src = {INT_MIN, 0, 1, 1}));
    EXPECT_FALSE(AdjustSourceToClip({0, 0, 10, 1}, {0, 0, 1, 1}, src = {0, -2, 1, INT_MAX}));
}

TEST(MakeRect, RefusesEdgesPast32Bits)
{
    Rect r;
    EXPECT_TRUE(MakeRect(INT_MIN, 0, INT_MAX, 1, r));
    EXPECT_FALSE(MakeRect(0, 0, static_cast<int64_t>(INT_MAX) + 1, 1, r));
    EXPECT_FALSE(MakeRect(static_cast<int64_t>(INT_MIN) - 1, 0, 0, 1, r));
}

} // namespace
