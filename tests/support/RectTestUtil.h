// Comparison and printing of kernel rectangles for test assertions.
#pragma once

#include <ostream>

#include "kernels/kernels.h"

namespace Veld::Game::Kernels {
inline bool operator==(const Rect& a, const Rect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& os, const Rect& r)
{
    return os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}
} // namespace Veld::Game::Kernels
