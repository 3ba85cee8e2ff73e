#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// Geometry on whole-numbered points, through CGAL's exact predicates and its constrained
// Delaunay triangulation (its heavy headers stay in geometry.cpp alone).

namespace mosaikon {

struct GridPoint {
    std::int64_t x = 0, y = 0;
    friend bool operator==(const GridPoint&, const GridPoint&) = default;
    friend auto operator<=>(const GridPoint&, const GridPoint&) = default;
};

// Whether two segments have a point in common other than an end both share.
bool SegmentsMeet(const GridPoint& a, const GridPoint& b, const GridPoint& c, const GridPoint& d);

// Which side of the line from a to b the point c lies on: 1 left, -1 right, 0 on it (with y down,
// left meaning a positive cross product of b - a and c - a).
int Orientation(const GridPoint& a, const GridPoint& b, const GridPoint& c);

// The triangles that fill the area enclosed by closed boundaries: the segments given (each
// between two points of `points`, the boundaries of a region and of its holes, every point of
// them an end of two or four of them) cut the plane; the triangles are those inside an odd number
// of boundaries. Only the given points are corners (no point is added), so the segments must not
// cross; where they do, there is no triangulation. Each triangle lists three indices into
// points, counter-clockwise by the cross product.
// Each triangle's neighbours across its sides (opposite to corner 0, 1, 2) are given too: the
// index of the triangle there, or -1 across a boundary or outside.
struct Triangulation {
    std::vector<std::array<int, 3>> triangles;
    std::vector<std::array<int, 3>> neighbours;
};
std::optional<Triangulation> TriangulateInside(const std::vector<GridPoint>& points,
                                const std::vector<std::array<int, 2>>& segments);

}  // namespace mosaikon
