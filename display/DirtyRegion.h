// The canvas's dirty list and the rectangle arithmetic of dirty-clipped
// drawing. Portable code: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>

#include "kernels/kernels.h"

namespace Veld::Game {

using Kernels::Rect;

// Rectangles in insertion order, stored as given: not merged, sorted or
// clipped. Duplicates and empty rectangles are kept like any other.
class CDirtyRectList {
public:
    void Add(const Rect& rc) { m_listRects.push_back(rc); }
    void Clear() { m_listRects.clear(); }
    size_t Count() const { return m_listRects.size(); }

    // The part of request to draw: the bounding box of its intersections with
    // the stored rectangles, or request itself once there are more than
    // kMaxHits intersections. False (out untouched) when nothing is dirty.
    bool ClipToDirtyRegion(const Rect& request, Rect& out) const;

    static constexpr size_t kMaxHits = 100;

private:
    std::list<Rect> m_listRects;
};

// Intersection of a and b; false when it is empty (touching edges included).
bool IntersectRects(const Rect& a, const Rect& b, Rect& out);

// A rectangle from 64-bit edges; false when an edge does not fit 32 bits.
bool MakeRect(int64_t left, int64_t top, int64_t right, int64_t bottom, Rect& out);

// Moves the source edges by the parts of dst that the dirty clip cut off to
// give out (out lies inside dst), scaled by the source-to-destination ratio
// held as a float. False when dst or src has no area, a width or height that
// does not fit 32 bits, or a moved edge that does not.
bool AdjustSourceToClip(const Rect& dst, const Rect& out, Rect& src);

} // namespace Veld::Game
