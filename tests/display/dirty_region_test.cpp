// The dirty list's clip and the source adjustment of dirty-clipped drawing.
#include <gtest/gtest.h>

#include <climits>

#include "DirtyRegion.h"
#include "RectTestUtil.h"

namespace {

using namespace Veld::Game;

// The bounding box of the hits, cut to the request; past 100 hits the
// request is taken whole.
TEST(ClipToDirtyRegion, BoundingBoxOfTheHitsCutToTheRequest)
{
    CDirtyRectList list;
    const Rect untouched = {-7, -7, -7, -7};
    Rect out = untouched;
    // Touching edges, empty, inverted, and no height with a width past 32 bits: no hits.
    for (Rect miss : {Rect{10, 0, 20, 10}, Rect{0, 10, 10, 20}, Rect{5, 5, 5, 8}, Rect{8, 8, 2, 2},
                      Rect{INT_MIN, 0, INT_MAX, 0}, Rect{200, 200, 300, 300}})
        list.Add(miss);
    EXPECT_FALSE(list.ClipToDirtyRegion({0, 0, 10, 10}, out));
    EXPECT_EQ(out, untouched);
    // The clip of a request, or an empty rectangle when it is refused.
    auto clip = [&](const Rect& request) { return list.ClipToDirtyRegion(request, out) ? out : Rect{}; };
    list.Add({0, 0, 10, 10});
    list.Add({50, 50, 60, 60});
    EXPECT_EQ(clip({0, 0, 100, 100}), (Rect{0, 0, 60, 60}));
    EXPECT_EQ(clip({55, -10, 58, 200}), (Rect{55, 50, 58, 60}));
    for (int i = 0; i < 94; ++i) // five hits so far
        list.Add({i, i, i + 1, i + 1});
    list.Add({0, 0, 1, 1}); // a duplicate counts again: 100 hits
    EXPECT_EQ(clip({0, 0, 1000, 1000}), (Rect{0, 0, 300, 300}));
    list.Add({500, 500, 501, 501}); // the 101st
    EXPECT_EQ(clip({0, 0, 1000, 1000}), (Rect{0, 0, 1000, 1000}));
    list.Add({INT_MIN, INT_MIN, INT_MAX, INT_MAX});
    EXPECT_EQ(clip({INT_MIN, -3, INT_MAX, 4}), (Rect{INT_MIN, -3, INT_MAX, 4}));
}

TEST(AdjustSourceToClip, MovesTheSourceByTheScaledCut)
{
    struct Row {
        Rect dst, out, src;
        bool ok;
        Rect want;
    } const rows[] = {
        {{0, 0, 50, 40}, {10, 5, 45, 40}, {100, 200, 150, 240}, true, {110, 205, 145, 240}}, // 1:1
        {{0, 0, 20, 20}, {3, 0, 17, 20}, {0, 0, 10, 10}, true, {1, 0, 9, 10}},               // trunc(3 * 0.5) = 1
        {{0, 0, 10, 3}, {4, 1, 10, 2}, {0, 0, 30, 100}, true, {12, 33, 30, 67}}, // trunc(100 / 3) = 33 a row
        {{5, 0, 5, 10}, {5, 0, 5, 10}, {0, 0, 10, 10}, false, {}},
        {{0, 0, 10, 10}, {0, 0, 10, 10}, {10, 0, 0, 10}, false, {}},
        {{INT_MIN, 0, INT_MAX, 1}, {0, 0, 1, 1}, {0, 0, 10, 1}, false, {}},
        {{0, 0, 10, 1}, {0, 0, 1, 1}, {0, -2, 1, INT_MAX}, false, {}},
    };
    for (const Row& r : rows) {
        Rect src = r.src;
        ASSERT_EQ(AdjustSourceToClip(r.dst, r.out, src), r.ok) << r.dst << " " << r.out << " " << r.src;
        EXPECT_TRUE(!r.ok || src == r.want) << r.dst << " " << r.out << " " << r.src << " -> " << src;
    }
}

} // namespace
