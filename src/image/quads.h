#pragma once

#include <cstdint>
#include <vector>

namespace mosaikon {

// One LDraw quadrilateral in picture units (one unit per pixel, x right, y down), corners
// listed around it from the top-left: top-left, top-right, bottom-right, bottom-left.
struct LdrawQuad {
    std::int16_t LineType = 4;
    std::int32_t Color = 0;
    double X1 = 0, X2 = 0, X3 = 0, X4 = 0;
    double Y1 = 0, Y2 = 0, Y3 = 0, Y4 = 0;
};

// The builders' output, in the order the part file lists it (Quads[0] is the first line).
using Quads = std::vector<LdrawQuad>;

}  // namespace mosaikon
