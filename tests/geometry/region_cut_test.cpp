// Cutting areas into the polygons of a sticker's face: the fewest-pieces search on shapes whose
// least cut is known, and random pixel regions (holes, regions touching themselves at a corner,
// extra corners along their sides) checked piece by piece against the pixels they must cover.

#include "geometry/region_cut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <set>

namespace mosaikon {
namespace {

std::int64_t TwiceArea(const CutPolygon& p) {
    std::int64_t sum = 0;
    for (int i = 0; i < p.count; ++i) {
        const GridPoint& a = p.corners[static_cast<std::size_t>(i)];
        const GridPoint& b = p.corners[static_cast<std::size_t>((i + 1) % p.count)];
        sum += a.x * b.y - b.x * a.y;
    }
    return sum;
}

std::int64_t TwiceArea(const std::vector<GridPoint>& ring) {
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        sum += ring[i].x * ring[(i + 1) % ring.size()].y - ring[(i + 1) % ring.size()].x * ring[i].y;
    }
    return sum;
}

// A rectangle from (0, 0) to (w, h), counter-clockwise by the cross product, with extra corners
// along its top (y = 0) and bottom (y = h) sides.
std::vector<GridPoint> Rectangle(std::int64_t w, std::int64_t h, const std::vector<std::int64_t>& top,
                                 const std::vector<std::int64_t>& bottom) {
    std::vector<GridPoint> ring = {{0, 0}};
    for (const auto x : top) ring.push_back({x, 0});
    ring.push_back({w, 0});
    ring.push_back({w, h});
    for (auto x = bottom.rbegin(); x != bottom.rend(); ++x) ring.push_back({*x, h});
    ring.push_back({0, h});
    return ring;
}

// Every piece accepted, made of the ring's corners, and the pieces filling the ring's area.
void ExpectCleanCut(const std::vector<GridPoint>& ring, const std::vector<CutPolygon>& pieces) {
    std::int64_t area = 0;
    for (const CutPolygon& piece : pieces) {
        EXPECT_TRUE(AcceptedPolygon(piece.corners.data(), piece.count));
        for (int i = 0; i < piece.count; ++i) {
            EXPECT_NE(std::find(ring.begin(), ring.end(), piece.corners[static_cast<std::size_t>(i)]), ring.end());
        }
        area += TwiceArea(piece);
    }
    EXPECT_EQ(area, TwiceArea(ring));
}

// The corners a polygon may have are those the parts library accepts (over 0.025 and under
// 179.9 degrees), with room for rounding: measured here independently, by the angle between the
// sides.
TEST(RegionCut, APolygonsCornersStayWithinTheLibrarysAngles) {
    // A triangle whose corner at (0, 0) has the given angle, its sides 10,000 long.
    const auto triangle = [](double degrees) {
        const double radians = degrees * 3.14159265358979323846 / 180;
        const std::array<GridPoint, 4> corners = {
            GridPoint{0, 0}, GridPoint{10000, 0},
            GridPoint{std::llround(10000 * std::cos(radians)), std::llround(10000 * std::sin(radians))},
            GridPoint{}};
        return corners;
    };
    for (const double degrees : {0.05, 1.0, 90.0, 179.0, 179.8}) {
        EXPECT_TRUE(AcceptedPolygon(triangle(degrees).data(), 3)) << degrees;
    }
    for (const double degrees : {0.02, 179.92, 179.99}) {
        EXPECT_FALSE(AcceptedPolygon(triangle(degrees).data(), 3)) << degrees;
    }
    // A quadrilateral with a corner of 179.92 degrees, and one with a straight corner.
    const std::array<GridPoint, 4> nearlyStraight = {GridPoint{0, 0}, GridPoint{1432, -1},
                                                     GridPoint{2864, 0}, GridPoint{1432, 2000}};
    EXPECT_FALSE(AcceptedPolygon(nearlyStraight.data(), 4));
    const std::array<GridPoint, 4> straight = {GridPoint{0, 0}, GridPoint{5, 0}, GridPoint{10, 0},
                                               GridPoint{5, 10}};
    EXPECT_FALSE(AcceptedPolygon(straight.data(), 4));
}

// A strip over a convex polygon of n corners takes the fewest pieces any cut can: quadrilaterals,
// with one triangle when n is odd.
TEST(RegionCut, AStripOverAConvexPolygonTakesTheFewestPieces) {
    for (std::size_t n = 3; n <= 14; ++n) {
        std::vector<GridPoint> ring;
        for (std::size_t k = 0; k < n; ++k) {
            const double angle = 2 * 3.14159265358979323846 * static_cast<double>(k) / static_cast<double>(n);
            ring.push_back({std::llround(1000 * std::cos(angle)), std::llround(1000 * std::sin(angle))});
        }
        std::vector<CutPolygon> pieces;
        ASSERT_TRUE(CutIntoStrip(ring, pieces)) << n;
        EXPECT_EQ(pieces.size(), (n - 1) / 2) << n;
        ExpectCleanCut(ring, pieces);
    }
}

TEST(RegionCut, TheRingSearchFindsTheLeastCutOfShapesWhoseLeastIsKnown) {
    std::vector<CutPolygon> pieces;
    // A convex ring of n corners, none in a line: n - 2 triangles pair into ceil((n - 2) / 2).
    const std::vector<GridPoint> octagon = {{2, 0}, {5, 0}, {7, 2}, {7, 5}, {5, 7}, {2, 7}, {0, 5}, {0, 2}};
    ASSERT_TRUE(CutRing(octagon, pieces));
    ExpectCleanCut(octagon, pieces);
    EXPECT_EQ(pieces.size(), 3u);
    for (std::size_t k = 0; k <= 6; ++k) {
        std::vector<std::int64_t> xs;
        for (std::size_t i = 1; i <= k; ++i) xs.push_back(static_cast<std::int64_t>(3 * i));
        const std::int64_t w = static_cast<std::int64_t>(3 * k + 3);
        // k corners along the top alone: every one needs a piece reaching down to a bottom
        // corner, and two bottom corners serve one piece each: k + 1.
        const auto topOnly = Rectangle(w, 4, xs, {});
        ASSERT_TRUE(CutRing(topOnly, pieces)) << k;
        ExpectCleanCut(topOnly, pieces);
        EXPECT_EQ(pieces.size(), k + 1) << k;
        // k corners above k others: k + 1 columns.
        const auto columns = Rectangle(w, 4, xs, xs);
        ASSERT_TRUE(CutRing(columns, pieces)) << k;
        ExpectCleanCut(columns, pieces);
        EXPECT_EQ(pieces.size(), k + 1) << k;
    }
    // An L of six corners: two quadrilaterals; a staircase of three steps (ten corners): four.
    const std::vector<GridPoint> l = {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {0, 2}};
    ASSERT_TRUE(CutRing(l, pieces));
    ExpectCleanCut(l, pieces);
    EXPECT_EQ(pieces.size(), 2u);
    const std::vector<GridPoint> stairs = {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2},
                                           {3, 2}, {3, 3}, {0, 3}};
    ASSERT_TRUE(CutRing(stairs, pieces));
    ExpectCleanCut(stairs, pieces);
    EXPECT_EQ(pieces.size(), 3u);
    // No cut of a ring passing a point twice, running the wrong way, or too long to search.
    EXPECT_FALSE(CutRing({{0, 0}, {2, 0}, {2, 2}, {1, 1}, {0, 2}, {1, 1}}, pieces));
    EXPECT_FALSE(CutRing({{0, 0}, {0, 2}, {2, 2}, {2, 0}}, pieces));
    EXPECT_TRUE(pieces.empty());
    std::vector<GridPoint> long_ring;
    for (std::int64_t x = 0; x <= static_cast<std::int64_t>(kMostRingCorners); ++x) long_ring.push_back({x, 0});
    long_ring.push_back({0, 5});
    EXPECT_FALSE(CutRing(long_ring, pieces));
    // A search given too little work gives up.
    std::int64_t work = 10;
    EXPECT_FALSE(CutRing(octagon, pieces, &work));
}

// The outline of the pixels of a mask that are set, in half units (pixel corners at even
// coordinates), with the set pixels on the segments' left, broken at every corner of a pixel
// that `split` marks (as the corners of neighbouring regions along the outline).
std::vector<Segment> Outline(const std::vector<std::uint8_t>& mask, int w, int h,
                             const std::set<std::pair<int, int>>& split) {
    const auto set = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && mask[static_cast<std::size_t>(y * w + x)]; };
    // Unit edges, each with the set pixel on its left (positive cross product, y down).
    std::vector<Segment> unit;
    for (int y = 0; y <= h; ++y) {
        for (int x = 0; x <= w; ++x) {
            if (x < w && set(x, y) != set(x, y - 1)) {
                // Horizontal edge between rows y - 1 and y.
                if (set(x, y)) unit.push_back({{2 * x, 2 * y}, {2 * x + 2, 2 * y}});
                else unit.push_back({{2 * x + 2, 2 * y}, {2 * x, 2 * y}});
            }
            if (y < h && set(x, y) != set(x - 1, y)) {
                if (set(x - 1, y)) unit.push_back({{2 * x, 2 * y}, {2 * x, 2 * y + 2}});
                else unit.push_back({{2 * x, 2 * y + 2}, {2 * x, 2 * y}});
            }
        }
    }
    // Runs in a line joined where nothing else meets them.
    std::vector<Segment> joined;
    std::map<GridPoint, std::vector<std::size_t>> starting;
    for (std::size_t i = 0; i < unit.size(); ++i) starting[unit[i].first].push_back(i);
    std::vector<std::uint8_t> used(unit.size(), 0);
    const auto keep = [&](const GridPoint& p) {
        return starting[p].size() != 1 || split.count({static_cast<int>(p.x / 2), static_cast<int>(p.y / 2)}) > 0;
    };
    // Start runs at points that must stay.
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < unit.size(); ++i) {
            if (used[i] || (pass == 0 && !keep(unit[i].first))) continue;
            Segment run = unit[i];
            used[i] = 1;
            for (;;) {
                const auto& next = starting[run.second];
                if (next.size() != 1 || used[next[0]] || keep(run.second)) break;
                const Segment& s = unit[next[0]];
                if ((s.second.x - s.first.x) * (run.second.y - run.first.y) !=
                    (s.second.y - s.first.y) * (run.second.x - run.first.x)) {
                    break;
                }
                run.second = s.second;
                used[next[0]] = 1;
            }
            joined.push_back(run);
        }
    }
    return joined;
}

bool InsideOrOnPiece(const CutPolygon& p, std::int64_t x, std::int64_t y, bool& strictly) {
    strictly = true;
    for (int i = 0; i < p.count; ++i) {
        const GridPoint& a = p.corners[static_cast<std::size_t>(i)];
        const GridPoint& b = p.corners[static_cast<std::size_t>((i + 1) % p.count)];
        const std::int64_t c = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
        if (c < 0) return false;
        if (c == 0) strictly = false;
    }
    return true;
}

// The region of the pixels joined side by side to the first set one of the mask.
std::vector<std::uint8_t> FirstRegion(const std::vector<std::uint8_t>& mask, int w) {
    std::vector<std::uint8_t> region(mask.size(), 0);
    const auto first = std::find(mask.begin(), mask.end(), 1);
    if (first == mask.end()) return region;
    const int h = static_cast<int>(mask.size()) / w;
    std::vector<int> stack = {static_cast<int>(first - mask.begin())};
    region[static_cast<std::size_t>(stack[0])] = 1;
    while (!stack.empty()) {
        const int at = stack.back();
        stack.pop_back();
        const int x = at % w, y = at / w;
        for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
            const auto k = static_cast<std::size_t>(ny * w + nx);
            if (mask[k] && !region[k]) region[k] = 1, stack.push_back(static_cast<int>(k));
        }
    }
    return region;
}

// The region's outline (its extra corners at split) cut: every piece accepted, points spread
// over every pixel in exactly one piece where the pixel is the region's and in none elsewhere,
// and no corner of a piece or of the outline inside a side of another. The number of pieces.
std::size_t ExpectExactCut(RegionCutter& cutter, const std::vector<std::uint8_t>& region, int w, int h,
                           const std::set<std::pair<int, int>>& split, int round, int* touching = nullptr) {
    const std::vector<Segment> segments = Outline(region, w, h, split);
    std::set<GridPoint> starts;
    std::int64_t areaTwice = 0;
    for (const auto& [a, b] : segments) {
        if (!starts.insert(a).second && touching) ++*touching;
        areaTwice += a.x * b.y - b.x * a.y;
    }
    std::vector<CutPolygon> pieces;
    EXPECT_TRUE(cutter.Cut(segments, pieces)) << round;
    // No cut has fewer pieces than the bound (holes not counted here).
    EXPECT_GE(pieces.size(), LeastPieces(segments, 0)) << round;
    std::set<GridPoint> outlinePoints(starts);
    std::int64_t filled = 0;
    for (const CutPolygon& piece : pieces) {
        EXPECT_TRUE(AcceptedPolygon(piece.corners.data(), piece.count)) << round;
        filled += TwiceArea(piece);
    }
    EXPECT_EQ(filled, areaTwice) << round;
    EXPECT_EQ(areaTwice, 8 * std::count(region.begin(), region.end(), 1)) << round;
    // Pieces by the pixel rows they reach, so that each sample point is tried against few.
    std::vector<std::vector<const CutPolygon*>> byRow(static_cast<std::size_t>(h));
    for (const CutPolygon& piece : pieces) {
        std::int64_t top = piece.corners[0].y, bottom = top;
        for (int i = 0; i < piece.count; ++i) {
            top = std::min(top, piece.corners[static_cast<std::size_t>(i)].y);
            bottom = std::max(bottom, piece.corners[static_cast<std::size_t>(i)].y);
        }
        for (std::int64_t y = std::max<std::int64_t>(0, top / 2); y < std::min<std::int64_t>(h, (bottom + 1) / 2 + 1); ++y) {
            byRow[static_cast<std::size_t>(y)].push_back(&piece);
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int sample = 0; sample < 9; ++sample) {
                // Sixteen times the half units, so that the points fall between lattice lines.
                const std::int64_t px = 32 * x + 5 + 11 * (sample % 3), py = 32 * y + 3 + 13 * (sample / 3);
                int inside = 0, onSide = 0;
                for (const CutPolygon* piece : byRow[static_cast<std::size_t>(y)]) {
                    CutPolygon scaled = *piece;
                    for (auto& c : scaled.corners) c = {16 * c.x, 16 * c.y};
                    bool strictly = false;
                    if (InsideOrOnPiece(scaled, px, py, strictly)) ++(strictly ? inside : onSide);
                }
                if (onSide > 0) continue;
                const bool want = region[static_cast<std::size_t>(y * w + x)] != 0;
                EXPECT_EQ(inside, want ? 1 : 0) << round << " pixel " << x << "," << y;
                if (inside != (want ? 1 : 0)) return pieces.size();
            }
        }
    }
    // No corner of a piece, and no point of the outline, lies inside a side of another.
    for (const CutPolygon& piece : pieces) {
        for (int i = 0; i < piece.count; ++i) outlinePoints.insert(piece.corners[static_cast<std::size_t>(i)]);
    }
    for (const CutPolygon& piece : pieces) {
        for (int i = 0; i < piece.count; ++i) {
            const GridPoint& a = piece.corners[static_cast<std::size_t>(i)];
            const GridPoint& b = piece.corners[static_cast<std::size_t>((i + 1) % piece.count)];
            const auto from = outlinePoints.lower_bound({std::min(a.x, b.x), INT64_MIN});
            const auto to = outlinePoints.upper_bound({std::max(a.x, b.x), INT64_MAX});
            for (auto p = from; p != to; ++p) {
                if (*p == a || *p == b) continue;
                const bool onLine = (b.x - a.x) * (p->y - a.y) == (b.y - a.y) * (p->x - a.x);
                const bool between = std::min(a.y, b.y) <= p->y && p->y <= std::max(a.y, b.y);
                EXPECT_FALSE(onLine && between) << round << ": a corner inside a side";
                if (onLine && between) return pieces.size();
            }
        }
    }
    // Without corners added, no cut has fewer pieces than half its triangles.
    EXPECT_GE(2 * pieces.size() + 2, starts.size()) << round;
    return pieces.size();
}

TEST(RegionCut, RandomPixelRegionsAreCoveredExactlyWithoutTJunctions) {
    std::mt19937 random(7);
    RegionCutter cutter;
    int touching = 0;
    for (int round = 0; round < 400; ++round) {
        const int w = 2 + static_cast<int>(random() % 9), h = 2 + static_cast<int>(random() % 9);
        std::vector<std::uint8_t> mask(static_cast<std::size_t>(w * h));
        for (auto& m : mask) m = random() % 100 < 70;
        const std::vector<std::uint8_t> region = FirstRegion(mask, w);
        if (std::find(region.begin(), region.end(), 1) == region.end()) continue;
        std::set<std::pair<int, int>> split;
        for (int i = 0; i < 4; ++i) split.insert({static_cast<int>(random() % (w + 1)), static_cast<int>(random() % (h + 1))});
        ExpectExactCut(cutter, region, w, h, split, round, &touching);
        if (HasFailure()) return;
    }
    EXPECT_GT(touching, 0);
}

// Discs of hundreds to thousands of corners with single-pixel holes: cut in groups (and, up to a
// thousand corners, searched as a whole too), still exactly and cleanly, and with few pieces:
// within 8 % of the least any cut without added corners can have, from the angles (a piece per
// two corners, one more per hole). Triangulating and pairing alone leaves 9-10 % more.
TEST(RegionCut, LargePixelRegionsAreCutExactlyWithFewPieces) {
    std::mt19937 random(11);
    for (int round = 0; round < 4; ++round) {
        const int side = round % 2 == 0 ? 44 : 96, middle = side / 2, r = side / 2 - 1;
        std::vector<std::uint8_t> region(static_cast<std::size_t>(side * side));
        std::size_t holes = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const int d = (x - middle) * (x - middle) + (y - middle) * (y - middle);
                // Holes apart from each other and from the rim.
                const bool hole = x % 3 == 1 && y % 3 == 1 && d < (r - 3) * (r - 3) && random() % 100 < 60;
                holes += hole;
                region[static_cast<std::size_t>(y * side + x)] = d < r * r && !hole;
            }
        }
        std::set<std::pair<int, int>> split;
        for (int k = 0; k < side; ++k) split.insert({static_cast<int>(random() % side), static_cast<int>(random() % side)});
        RegionCutter cutter;
        const std::size_t pieces = ExpectExactCut(cutter, region, side, side, split, round);
        if (HasFailure()) return;
        const std::size_t corners = Outline(region, side, side, split).size();
        const std::size_t least = (corners + 2 * holes - 2 + 1) / 2;
        EXPECT_GE(LeastPieces(Outline(region, side, side, split), holes), least) << round;
        EXPECT_GT(corners, round % 2 == 0 ? 256u : 1024u) << round;
        EXPECT_LE(100 * pieces, 108 * least) << round << ": " << corners << " corners, " << holes << " holes, "
                                         << pieces << " pieces, at least " << least;
    }
}

TEST(RegionCut, TheLeastPiecesOfAnAreaAreBoundFromBelow) {
    const auto sides = [](const std::vector<GridPoint>& ring, std::vector<Segment>& segments) {
        for (std::size_t i = 0; i < ring.size(); ++i) segments.emplace_back(ring[i], ring[(i + 1) % ring.size()]);
    };
    // A convex ring: its corners alone tell, (n - 2) / 2 rounded up.
    std::vector<Segment> octagon;
    sides({{2, 0}, {5, 0}, {7, 2}, {7, 5}, {5, 7}, {2, 7}, {0, 5}, {0, 2}}, octagon);
    EXPECT_EQ(LeastPieces(octagon, 0), 3u);
    std::vector<CutPolygon> pieces;
    // A square around a convex hole of k sides: no convex piece has two of the hole's sides, so
    // there are at least k pieces where the count of corners allows (k + 4) / 2; and the cutter
    // takes at most two more (none on the rounder holes).
    for (const int k : {6, 12, 24, 40}) {
        std::vector<Segment> segments;
        sides({{0, 0}, {4000, 0}, {4000, 4000}, {0, 4000}}, segments);
        std::vector<GridPoint> hole;
        for (int i = 0; i < k; ++i) {
            const double angle = -2 * M_PI * i / k;  // clockwise by the cross product
            hole.push_back({2000 + std::llround(900 * std::cos(angle)), 2000 + std::llround(900 * std::sin(angle))});
        }
        sides(hole, segments);
        EXPECT_EQ(LeastPieces(segments, 1), static_cast<std::uint64_t>(k)) << k;
        RegionCutter cutter;
        ASSERT_TRUE(cutter.Cut(segments, pieces)) << k;
        EXPECT_GE(pieces.size(), static_cast<std::size_t>(k)) << k;
        EXPECT_LE(pieces.size(), static_cast<std::size_t>(k > 6 ? k : k + 2)) << k;
    }
    // A star of 8 points, cut at its fewest: never fewer than bound.
    std::vector<GridPoint> star;
    for (int i = 0; i < 16; ++i) {
        const double angle = 2 * M_PI * i / 16, r = i % 2 == 0 ? 1000 : 400;
        star.push_back({std::llround(r * std::cos(angle)), std::llround(r * std::sin(angle))});
    }
    std::vector<Segment> starSides;
    sides(star, starSides);
    ASSERT_TRUE(CutRing(star, pieces));
    EXPECT_GE(pieces.size(), LeastPieces(starSides, 0));
    EXPECT_GE(LeastPieces(starSides, 0), 7u);
}

TEST(RegionCut, AnAreaPinchedToNothingAlongASideIsCutWithoutIt) {
    // A square whose hole meets its outline along a side (that side run both ways): the area is
    // a C, cut as one.
    const std::vector<GridPoint> outline = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 8}, {0, 2}};
    const std::vector<GridPoint> hole = {{0, 2}, {0, 8}, {5, 8}, {5, 2}};
    std::vector<Segment> segments;
    for (const auto* ring : {&outline, &hole}) {
        for (std::size_t i = 0; i < ring->size(); ++i) segments.emplace_back((*ring)[i], (*ring)[(i + 1) % ring->size()]);
    }
    RegionCutter cutter;
    std::vector<CutPolygon> pieces;
    ASSERT_TRUE(cutter.Cut(segments, pieces));
    const std::vector<GridPoint> c = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 8}, {5, 8}, {5, 2}, {0, 2}};
    ExpectCleanCut(c, pieces);
    // The bound counts neither the side run both ways nor the hole that joined the outline.
    EXPECT_LE(LeastPieces(segments, 1), pieces.size());
    EXPECT_EQ(LeastPieces(segments, 1), 3u);
    // Twice over one way and once the other: one way is left.
    std::vector<Segment> twice = segments;
    twice.emplace_back(GridPoint{0, 8}, GridPoint{0, 2});
    twice.emplace_back(GridPoint{0, 2}, GridPoint{0, 8});
    ASSERT_TRUE(cutter.Cut(twice, pieces));
    ExpectCleanCut(c, pieces);
    // Nothing but a side both ways is no area.
    EXPECT_FALSE(cutter.Cut({{{0, 0}, {5, 0}}, {{5, 0}, {0, 0}}}, pieces));
}

TEST(RegionCut, ALongOutlineIsCutInPartsNearlyAsWellAsAtOnce) {
    // A staircase of 300 steps (602 corners, more than one search takes): every cut without
    // added corners needs 300 pieces; cut in parts, a few more at most.
    std::vector<GridPoint> ring = {{0, 0}};
    for (std::int64_t k = 0; k < 300; ++k) {
        ring.push_back({2 * k + 2, 2 * k});
        ring.push_back({2 * k + 2, 2 * k + 2});
    }
    ring.push_back({0, 600});
    std::vector<Segment> segments;
    for (std::size_t i = 0; i < ring.size(); ++i) segments.emplace_back(ring[i], ring[(i + 1) % ring.size()]);
    std::vector<CutPolygon> pieces;
    RegionCutter cutter;
    ASSERT_TRUE(cutter.Cut(segments, pieces));
    ExpectCleanCut(ring, pieces);
    EXPECT_GE(pieces.size(), 300u);
    EXPECT_LE(pieces.size(), 310u);
    // The same with a hole in its wide part: cut out, then the parts cut as before (a search
    // over all of it would need 303).
    const std::vector<GridPoint> hole = {{100, 500}, {100, 520}, {140, 520}, {140, 500}};
    for (std::size_t i = 0; i < hole.size(); ++i) segments.emplace_back(hole[i], hole[(i + 1) % hole.size()]);
    RegionCutter fresh;
    ASSERT_TRUE(fresh.Cut(segments, pieces));
    std::int64_t area = 0;
    for (const CutPolygon& piece : pieces) {
        EXPECT_TRUE(AcceptedPolygon(piece.corners.data(), piece.count));
        area += TwiceArea(piece);
    }
    EXPECT_EQ(area, TwiceArea(ring) - 2 * 40 * 20);
    EXPECT_LE(pieces.size(), 320u);
}

}  // namespace
}  // namespace mosaikon
