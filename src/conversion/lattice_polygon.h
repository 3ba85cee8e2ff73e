#pragma once

#include <array>
#include <cstdint>

#include "geometry/region_cut.h"
#include "image/quads.h"

namespace mosaikon {

// A cut polygon appended as a polygon in picture units, each corner where `place` puts it (in
// half picture units from the top-left corner); a triangle repeats its last corner.
template <typename Place>
void AppendPlacedPolygon(std::int32_t code, const CutPolygon& polygon, Quads& quads, const Place& place) {
    LdrawQuad& quad = quads.emplace_back();
    quad.LineType = static_cast<std::int16_t>(polygon.count);
    quad.Color = code;
    double* xs[] = {&quad.X1, &quad.X2, &quad.X3, &quad.X4};
    double* ys[] = {&quad.Y1, &quad.Y2, &quad.Y3, &quad.Y4};
    for (int i = 0; i < 4; ++i) {
        const auto [x, y] = place(polygon.corners[static_cast<std::size_t>(i < polygon.count ? i : polygon.count - 1)]);
        *xs[i] = x / 2 + 1;
        *ys[i] = y / 2 + 1;
    }
}

// A cut polygon on the lattice of half picture units, appended as a polygon in picture units:
// the lattice point (x, y) is (x / 2 + 1, y / 2 + 1).
inline void AppendLatticePolygon(std::int32_t code, const CutPolygon& polygon, Quads& quads) {
    AppendPlacedPolygon(code, polygon, quads, [](const GridPoint& c) {
        return std::array<double, 2>{static_cast<double>(c.x), static_cast<double>(c.y)};
    });
}

}  // namespace mosaikon
