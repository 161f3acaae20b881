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

using namespace Veld::Game;

TEST(ClipToDirtyRegion, NothingDirty)
{
    CDirtyRectList list;
    const Rect untouched = {-7, -7, -7, -7};
    Rect out = untouched;
    EXPECT_FALSE(list.ClipToDirtyRegion({0, 0, 10, 10}, out));
    list.Add({10, 0, 20, 10});          // touches the right edge
    list.Add({0, 10, 10, 20});          // touches the bottom edge
    list.Add({5, 5, 5, 8});             // empty
    list.Add({8, 8, 2, 2});             // inverted
    list.Add({INT_MIN, 0, INT_MAX, 0}); // no height, width past 32 bits
    EXPECT_FALSE(list.ClipToDirtyRegion({0, 0, 10, 10}, out));
    EXPECT_EQ(out, untouched);
}

TEST(ClipToDirtyRegion, BoundingBoxOfTheHits)
{
    CDirtyRectList list;
    list.Add({0, 0, 10, 10});
    list.Add({50, 50, 60, 60});
    list.Add({200, 200, 300, 300}); // misses
    Rect out;
    ASSERT_TRUE(list.ClipToDirtyRegion({0, 0, 100, 100}, out));
    EXPECT_EQ(out, (Rect{0, 0, 60, 60}));
    ASSERT_TRUE(list.ClipToDirtyRegion({55, -10, 58, 200}, out)); // hits are cut to the request
    EXPECT_EQ(out, (Rect{55, 50, 58, 60}));
    list.Add({INT_MIN, INT_MIN, INT_MAX, INT_MAX});
    ASSERT_TRUE(list.ClipToDirtyRegion({INT_MIN, -3, INT_MAX, 4}, out));
    EXPECT_EQ(out, (Rect{INT_MIN, -3, INT_MAX, 4}));
}

TEST(ClipToDirtyRegion, MoreThanHundredHitsTakeTheRequestWhole)
{
    const Rect request = {0, 0, 1000, 1000};
    CDirtyRectList list;
    for (int i = 0; i < 99; ++i)
        list.Add({i, i, i + 1, i + 1});
    list.Add({98, 98, 99, 99}); // a duplicate counts again: 100 hits
    Rect out;
    ASSERT_TRUE(list.ClipToDirtyRegion(request, out));
    EXPECT_EQ(out, (Rect{0, 0, 99, 99}));
    list.Add({98, 98, 99, 99}); // the 101st
    ASSERT_TRUE(list.ClipToDirtyRegion(request, out));
    EXPECT_EQ(out, request);

    list.Clear(); // misses do not count
    for (int i = 0; i < 150; ++i)
        list.Add({2000, 2000, 2001, 2001});
    list.Add({3, 4, 5, 6});
    ASSERT_TRUE(list.ClipToDirtyRegion(request, out));
    EXPECT_EQ(out, (Rect{3, 4, 5, 6}));
}

TEST(AdjustSourceToClip, MovesTheSourceByTheCutPart)
{
    Rect src = {100, 200, 150, 240}; // 1:1
    ASSERT_TRUE(AdjustSourceToClip({0, 0, 50, 40}, {10, 5, 45, 40}, src));
    EXPECT_EQ(src, (Rect{110, 205, 145, 240}));
    src = {0, 0, 10, 10}; // twice enlarged: trunc(3 * 0.5) = 1
    ASSERT_TRUE(AdjustSourceToClip({0, 0, 20, 20}, {3, 0, 17, 20}, src));
    EXPECT_EQ(src, (Rect{1, 0, 9, 10}));
    src = {0, 0, 30, 100}; // reduced: trunc(4 * 3) = 12, trunc(1 * 33.33) = 33
    ASSERT_TRUE(AdjustSourceToClip({0, 0, 10, 3}, {4, 0, 10, 2}, src));
    EXPECT_EQ(src, (Rect{12, 0, 30, 67}));
}

TEST(AdjustSourceToClip, RefusesEmptyRectanglesAndWidthsPast32Bits)
{
    Rect src = {0, 0, 10, 10};
    EXPECT_FALSE(AdjustSourceToClip({5, 0, 5, 10}, {5, 0, 5, 10}, src));
    EXPECT_FALSE(AdjustSourceToClip({0, 0, 10, 10}, {0, 0, 10, 10}, src = {10, 0, 0, 10}));
    EXPECT_FALSE(AdjustSourceToClip({INT_MIN, 0, INT_MAX, 1}, {0, 0, 1, 1}, src = {0, 0, 10, 1}));
    EXPECT_FALSE(AdjustSourceToClip({0, 0, 10, 1}, {0, 0, 1, 1}, src = {INT_MIN, 0, 1, 1}));
    EXPECT_FALSE(AdjustSourceToClip({0, 0, 10, 1}, {0, 0, 1, 1}, src = {0, -2, 1, INT_MAX}));
}

} // namespace
