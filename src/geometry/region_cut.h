#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>
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
// Where leastHeight is given, every corner also lies at least that far from each side it is not
// on (so that no corner of a long thin piece is taken for a point on its far side).
bool AcceptedPolygon(const GridPoint* corners, int count, double leastHeight = 0);

// Cuts a convex ring (counter-clockwise by the cross product; points in a line along its sides
// allowed, as where other polygons' corners lie on them) into the fewest strip pieces: from one
// of its sides, cuts between the two chains of corners running on either way, each piece a
// quadrilateral of two of each chain's corners or a triangle, every piece one the parts library
// accepts. No point is added. False, with out empty, when no such strip is found (or the ring
// has more than kMostStripCorners corners).
constexpr std::size_t kMostStripCorners = 256;
bool CutIntoStrip(const std::vector<GridPoint>& ring, std::vector<CutPolygon>& out);

// Cuts a simple ring (counter-clockwise by the cross product, no corner twice; points in a line
// along its sides allowed) into the fewest pieces whose corners are its own, each a triangle or a
// convex quadrilateral the parts library accepts: dynamic programming over the segments between
// its corners that run inside it. False, with out empty, when there is no such cut (or the ring
// has more than kMostRingCorners corners). work, where given, is the number of steps the search
// may take; it is lowered by those taken, and the search gives up when none are left.
constexpr std::size_t kMostRingCorners = 256;
bool CutRing(const std::vector<GridPoint>& ring, std::vector<CutPolygon>& out,
             std::int64_t* work = nullptr, double leastHeight = 0);

// A directed segment; the area it bounds lies on its left (the cross product's positive side).
using Segment = std::pair<GridPoint, GridPoint>;

// A lower bound on the pieces of any cut of an area into convex polygons of 3 or 4 corners, all
// of them its own (segments as for RegionCutter::Cut, best ring after ring; holes, the number of
// its holes, may be given too low). Each segment is a whole side of one piece, so V segments, D
// inner sides and h holes give V + 2D = V + 2(P + h - 1) <= 4P sides: P >= (V + 2h - 2) / 2.
// And two segments of which one reaches beyond the other's line (to its right), or which lie on
// one line, are sides of no one convex piece: there are at least as many pieces as segments no
// two of which can share one, as the sides of a convex hole. The greater of the two, the second
// found greedily along each ring.
std::uint64_t LeastPieces(const std::vector<Segment>& segments, std::size_t holes);

// The first of those bounds alone: (V + 2h - 2) / 2 rounded up, for V corners and h holes.
inline std::uint64_t CountedPieces(std::size_t corners, std::size_t holes) {
    return (corners + 2 * holes - 2 + 1) / 2;
}

// Cuts areas into polygons the parts library accepts. The area is given by closed boundaries of
// segments (the outline of a region and of its holes); only their points are corners on them, so
// that whatever lies beside the outline meets the polygons corner to corner. An area is cut by
// CutRing: each hole first cut out along two segments to the outline, a long ring cut in parts
// along segments inside it. Where that fails, or takes too long, the area is triangulated (constrained Delaunay), neighbouring triangles are
// paired into convex quadrilaterals (those with fewest choices first), and where a triangle comes
// out too thin, a point inside the area (never on its outline) splits its longest inner side and
// the area is cut again.
class RegionCutter {
public:
    // leastHeight: as for AcceptedPolygon, every polygon's corners at least that far from its
    // other sides.
    explicit RegionCutter(double leastHeight = 0) : leastHeight_(leastHeight) {}

    // The polygons of the area in out; false when the segments cross, enclose no area, or the
    // cut keeps refused polygons.
    bool Cut(const std::vector<Segment>& segments, std::vector<CutPolygon>& out);

private:
    // Whether p lies on a segment of the area's outline (found through cells of the plane).
    void IndexOutline();
    bool OnOutline(const GridPoint& p) const;
    static constexpr int kCellShift = 4;
    static std::uint64_t CellKey(std::int64_t x, std::int64_t y) {
        return (static_cast<std::uint64_t>(x) << 32) ^ static_cast<std::uint64_t>(y & 0xffffffff);
    }
    bool CutArea(const std::vector<GridPoint>& outer, std::vector<std::vector<GridPoint>> holes,
                 std::vector<CutPolygon>& out);
    bool SplitRing(const std::vector<GridPoint>& ring, std::vector<CutPolygon>& out);
    // CutRing within this cutter's budget, its pieces added to out.
    bool SearchRing(const std::vector<GridPoint>& ring, std::vector<CutPolygon>& out);
    // The segments' points, sorted, each once, and the segments between them as constraints_.
    void ListPoints(const std::vector<Segment>& segments, std::vector<GridPoint>& points);
    std::optional<GridPoint> SplitPoint(const std::array<int, 3>& triangle, const std::array<int, 3>& across,
                                        const std::vector<GridPoint>& points) const;
    bool CutInGroups(const std::vector<Segment>& segments, std::int64_t twiceArea,
                     std::vector<CutPolygon>& out);
    bool Triangulate(const std::vector<Segment>& segments, std::int64_t twiceArea,
                     std::vector<CutPolygon>& out);

    // The most corners of an area cut by the fewest-pieces search (a longer ring is first cut
    // in parts), and the most segments from a hole's corners to the outline's weighed at once.
    static constexpr std::size_t kMostAreaCorners = 1 << 16;
    static constexpr std::size_t kMostSearchedCorners = 128;
    static constexpr std::uint64_t kMostBridges = 1 << 24;
    // The most corners of a group of triangles searched at once, and of an area cut both ways
    // (the fewest-pieces search in parts and the groups), the fewer pieces kept.
    static constexpr std::size_t kMostGroupCorners = 64;
    static constexpr std::size_t kMostComparedCorners = 1024;

    // The steps the fewest-pieces search may still take, in all the areas this cutter cuts
    // (a second or two); beyond them areas are triangulated and paired.
    std::int64_t work_ = std::int64_t{1} << 26;
    double leastHeight_ = 0;
    const std::vector<Segment>* segments_ = nullptr;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> cells_;
    std::vector<GridPoint> points_;
    std::vector<std::array<int, 2>> constraints_;
    std::vector<int> sourceTriangles_;
};

}  // namespace mosaikon
