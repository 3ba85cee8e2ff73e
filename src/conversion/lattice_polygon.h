#pragma once

#include <cstdint>

#include "geometry/region_cut.h"
#include "image/quads.h"

namespace mosaikon {

// A cut polygon on the lattice of half picture units, appended as a polygon in picture units:
// the lattice point (x, y) is (x / 2 + 1, y / 2 + 1); a triangle repeats its last corner.
inline void AppendLatticePolygon(std::int32_t code, const CutPolygon& polygon, Quads& quads) {
    LdrawQuad& quad = quads.emplace_back();
    quad.LineType = static_cast<std::int16_t>(polygon.count);
    quad.Color = code;
    double* xs[] = {&quad.X1, &quad.X2, &quad.X3, &quad.X4};
    double* ys[] = {&quad.Y1, &quad.Y2, &quad.Y3, &quad.Y4};
    for (int i = 0; i < 4; ++i) {
        const GridPoint& c =
            polygon.corners[static_cast<std::size_t>(i < polygon.count ? i : polygon.count - 1)];
        *xs[i] = static_cast<double>(c.x) / 2 + 1;
        *ys[i] = static_cast<double>(c.y) / 2 + 1;
    }
}

}  // namespace mosaikon
