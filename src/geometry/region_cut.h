#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "geometry/geometry.h"

namespace mosaikon {

// A convex polygon of 3 or 4 corners, counter-clockwise by the cross product.
struct CutPolygon {
    int count = 0;
    std::array<GridPoint, 4> corners{};
};

// Whether every corner turns left (by the cross product) and its angle is one the parts library
// accepts: between 0.025 and 179.9 degrees, with a margin for rounding coordinates to 4 decimals.
bool AcceptedPolygon(const GridPoint* corners, int count);

// Cuts a convex ring (counter-clockwise by the cross product; points in a line along its sides
// allowed, as where other polygons' corners lie on them) into the fewest strip pieces: from one
// of its sides, cuts between the two chains of corners running on either way, each piece a
// quadrilateral of two of each chain's corners or a triangle, every piece one the parts library
// accepts. No point is added. False, with out empty, when no such strip is found (or the ring
// has more than kMostStripCorners corners).
constexpr std::size_t kMostStripCorners = 256;
bool CutIntoStrip(const std::vector<GridPoint>& ring, std::vector<CutPolygon>& out);

// A directed segment; the area it bounds lies on its left (the cross product's positive side).
using Segment = std::pair<GridPoint, GridPoint>;

// Cuts areas into polygons the parts library accepts. The area is given by closed boundaries of
// segments (the outline of a region and of its holes); only their points are corners on them, so
// that whatever lies beside the outline meets the polygons corner to corner. A constrained
// Delaunay triangulation is made, neighbouring triangles are paired into convex quadrilaterals
// (those with fewest choices first), and where a triangle comes out too thin, a point inside the
// area (never on its outline) splits its longest inner side and the area is cut again.
class RegionCutter {
public:
    // The polygons of the area in out; false when the segments cross, enclose no area, or the
    // cut keeps refused polygons.
    bool Cut(const std::vector<Segment>& segments, std::vector<CutPolygon>& out);

private:
    bool OnOutline(const GridPoint& p) const;

    const std::vector<Segment>* segments_ = nullptr;
    std::vector<GridPoint> points_;
    std::vector<std::array<int, 2>> constraints_;
    std::vector<int> sourceTriangles_;
};

}  // namespace mosaikon
