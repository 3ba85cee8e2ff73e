#include "geometry/region_cut.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <queue>

namespace mosaikon {

namespace {

// The parts library refuses corners under 0.025 or over 179.9 degrees; these leave room for
// the coordinates' rounding to 4 decimals.
constexpr double kLeastAngle = 0.03;
constexpr double kMostAngle = 179.85;

std::int64_t Cross(const GridPoint& o, const GridPoint& a, const GridPoint& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Neighbouring triangles become convex quadrilaterals, the triangles with fewest choices (refused
// ones before all) paired first. from tells for each polygon the triangle it is, or -1 for a pair.
void PairTriangles(const std::vector<std::array<int, 3>>& triangles,
                   const std::vector<std::array<int, 3>>& neighbours,
                   const std::vector<GridPoint>& points, std::vector<CutPolygon>& out,
                   std::vector<int>& from) {
    out.clear();
    from.clear();
    const auto corner = [&](int i) { return points[static_cast<std::size_t>(i)]; };
    const std::size_t n = triangles.size();
    // The quadrilateral of triangle t and its neighbour across side i (opposite corner i).
    const auto quadOf = [&](std::size_t t, int i) {
        const auto& tri = triangles[t];
        const auto& other = triangles[static_cast<std::size_t>(neighbours[t][static_cast<std::size_t>(i)])];
        const int a = tri[static_cast<std::size_t>((i + 1) % 3)];
        const int b = tri[static_cast<std::size_t>((i + 2) % 3)];
        int far = other[0];
        for (const int v : other) {
            if (v != a && v != b) far = v;
        }
        CutPolygon quad;
        quad.count = 4;
        quad.corners = {corner(tri[static_cast<std::size_t>(i)]), corner(a), corner(far), corner(b)};
        return quad;
    };
    std::vector<std::array<std::uint8_t, 3>> pairable(n);
    std::vector<std::uint8_t> refused(n);
    for (std::size_t t = 0; t < n; ++t) {
        const GridPoint c[3] = {corner(triangles[t][0]), corner(triangles[t][1]), corner(triangles[t][2])};
        refused[t] = !AcceptedPolygon(c, 3);
        for (int i = 0; i < 3; ++i) {
            const int u = neighbours[t][static_cast<std::size_t>(i)];
            pairable[t][static_cast<std::size_t>(i)] =
                u >= 0 && static_cast<std::size_t>(u) > t
                    ? AcceptedPolygon(quadOf(t, i).corners.data(), 4)
                    : 0;
        }
    }
    // Pairable is worked out once per shared side, from the lower-numbered triangle.
    for (std::size_t t = 0; t < n; ++t) {
        for (int i = 0; i < 3; ++i) {
            const int u = neighbours[t][static_cast<std::size_t>(i)];
            if (u < 0 || static_cast<std::size_t>(u) > t) continue;
            for (int j = 0; j < 3; ++j) {
                if (neighbours[static_cast<std::size_t>(u)][static_cast<std::size_t>(j)] == static_cast<int>(t)) {
                    pairable[t][static_cast<std::size_t>(i)] =
                        pairable[static_cast<std::size_t>(u)][static_cast<std::size_t>(j)];
                }
            }
        }
    }
    std::vector<int> partner(n, -1);
    const auto choices = [&](std::size_t t) {
        int count = 0;
        for (int i = 0; i < 3; ++i) {
            const int u = neighbours[t][static_cast<std::size_t>(i)];
            count += pairable[t][static_cast<std::size_t>(i)] && partner[static_cast<std::size_t>(u)] < 0;
        }
        return count;
    };
    const auto key = [&](std::size_t t) { return choices(t) + (refused[t] ? 0 : 4); };
    using Entry = std::pair<int, std::uint32_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    for (std::size_t t = 0; t < n; ++t) {
        if (choices(t) > 0) queue.emplace(key(t), static_cast<std::uint32_t>(t));
    }
    while (!queue.empty()) {
        const auto [k, t] = queue.top();
        queue.pop();
        if (partner[t] >= 0 || choices(t) == 0) continue;
        if (key(t) != k) {
            queue.emplace(key(t), t);
            continue;
        }
        int best = -1, bestKey = 0;
        for (int i = 0; i < 3; ++i) {
            const int u = neighbours[t][static_cast<std::size_t>(i)];
            if (!pairable[t][static_cast<std::size_t>(i)] || partner[static_cast<std::size_t>(u)] >= 0) continue;
            const int uKey = key(static_cast<std::size_t>(u));
            if (best < 0 || uKey < bestKey) best = u, bestKey = uKey;
        }
        partner[t] = best;
        partner[static_cast<std::size_t>(best)] = static_cast<int>(t);
        for (const std::size_t v : {static_cast<std::size_t>(t), static_cast<std::size_t>(best)}) {
            for (const int w : neighbours[v]) {
                if (w >= 0 && partner[static_cast<std::size_t>(w)] < 0 && choices(static_cast<std::size_t>(w)) > 0) {
                    queue.emplace(key(static_cast<std::size_t>(w)), static_cast<std::uint32_t>(w));
                }
            }
        }
    }
    for (std::size_t t = 0; t < n; ++t) {
        const int u = partner[t];
        if (u < 0) {
            CutPolygon triangle;
            triangle.count = 3;
            triangle.corners = {corner(triangles[t][0]), corner(triangles[t][1]),
                                corner(triangles[t][2]), GridPoint{}};
            out.push_back(triangle);
            from.push_back(static_cast<int>(t));
        } else if (static_cast<std::size_t>(u) > t) {
            for (int i = 0; i < 3; ++i) {
                if (neighbours[t][static_cast<std::size_t>(i)] == u) {
                    out.push_back(quadOf(t, i));
                    from.push_back(-1);
                }
            }
        }
    }
}

}  // namespace

bool AcceptedPolygon(const GridPoint* corners, int count) {
    for (int i = 0; i < count; ++i) {
        const GridPoint& previous = corners[(i + count - 1) % count];
        const GridPoint& corner = corners[i];
        const GridPoint& next = corners[(i + 1) % count];
        const std::int64_t turn = Cross(previous, corner, next);
        if (turn <= 0) return false;
        const double ax = static_cast<double>(previous.x - corner.x);
        const double ay = static_cast<double>(previous.y - corner.y);
        const double bx = static_cast<double>(next.x - corner.x);
        const double by = static_cast<double>(next.y - corner.y);
        const double degrees = std::atan2(static_cast<double>(turn), ax * bx + ay * by) *
                               (180.0 / 3.14159265358979323846);
        if (degrees < kLeastAngle || degrees > kMostAngle) return false;
    }
    return true;
}

namespace {

// The fewest pieces of the strip that starts at the ring's side (start, start + 1), or -1; the
// steps taken, from the end back, in steps (0: one corner on after `start + 1`, 1: one back
// before `start`, 2: both).
int StripFrom(const std::vector<GridPoint>& ring, std::size_t start, std::vector<std::uint8_t>& steps) {
    const std::size_t n = ring.size();
    // After i steps forward and j back, the cut runs from a(i) = start + 1 + i to b(j) = start - j.
    const auto a = [&](std::size_t i) { return ring[(start + 1 + i) % n]; };
    const auto b = [&](std::size_t j) { return ring[(start + n - j) % n]; };
    const std::size_t size = n - 1;  // i and j each below it; i + j + 2 <= n
    constexpr int kNone = 1 << 30;
    std::vector<int> cost(size * size, kNone);
    std::vector<std::uint8_t> how(size * size, 0);
    const auto at = [&](std::size_t i, std::size_t j) { return i * size + j; };
    cost[at(0, 0)] = 0;
    for (std::size_t sum = 0; sum + 2 < n; ++sum) {
        for (std::size_t i = 0; i <= sum; ++i) {
            const std::size_t j = sum - i;
            const int here = cost[at(i, j)];
            if (here == kNone) continue;
            const GridPoint ai = a(i), bj = b(j);
            const auto relax = [&](std::size_t ni, std::size_t nj, std::uint8_t step) {
                if (here + 1 < cost[at(ni, nj)]) cost[at(ni, nj)] = here + 1, how[at(ni, nj)] = step;
            };
            if (i + j + 3 <= n) {
                const GridPoint t[3] = {ai, a(i + 1), bj};
                if (AcceptedPolygon(t, 3)) relax(i + 1, j, 0);
                const GridPoint u[3] = {ai, b(j + 1), bj};
                if (AcceptedPolygon(u, 3)) relax(i, j + 1, 1);
            }
            if (i + j + 4 <= n) {
                const GridPoint q[4] = {ai, a(i + 1), b(j + 1), bj};
                if (AcceptedPolygon(q, 4)) relax(i + 1, j + 1, 2);
            }
        }
    }
    // The strip ends where the two chains meet along one side: i + j + 2 == n.
    int best = kNone;
    std::size_t bestI = 0;
    for (std::size_t i = 0; i + 2 <= n; ++i) {
        const std::size_t j = n - 2 - i;
        if (cost[at(i, j)] < best) best = cost[at(i, j)], bestI = i;
    }
    if (best == kNone) return -1;
    steps.clear();
    for (std::size_t i = bestI, j = n - 2 - bestI; i + j > 0;) {
        const std::uint8_t step = how[at(i, j)];
        steps.push_back(step);
        if (step != 1) --i;
        if (step != 0) --j;
    }
    return best;
}

}  // namespace

bool CutIntoStrip(const std::vector<GridPoint>& ring, std::vector<CutPolygon>& out) {
    out.clear();
    const std::size_t n = ring.size();
    if (n < 3 || n > kMostStripCorners) return false;
    // Strips start at a side beside a true corner (one not in a line with its neighbours).
    std::vector<std::size_t> starts;
    for (std::size_t k = 0; k < n; ++k) {
        const GridPoint& before = ring[(k + n - 1) % n];
        const GridPoint& after = ring[(k + 1) % n];
        if (Cross(before, ring[k], after) == 0) continue;
        starts.push_back(k);
        starts.push_back((k + n - 1) % n);
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    if (n > 64 && starts.size() > 2) starts.resize(2);
    std::vector<std::uint8_t> steps, bestSteps;
    int best = -1;
    std::size_t bestStart = 0;
    for (const std::size_t start : starts) {
        const int pieces = StripFrom(ring, start, steps);
        if (pieces >= 0 && (best < 0 || pieces < best)) best = pieces, bestStart = start, bestSteps = steps;
    }
    if (best < 0) return false;
    std::size_t i = 0, j = 0;
    const auto a = [&](std::size_t k) { return ring[(bestStart + 1 + k) % n]; };
    const auto b = [&](std::size_t k) { return ring[(bestStart + n - k) % n]; };
    for (auto step = bestSteps.rbegin(); step != bestSteps.rend(); ++step) {
        CutPolygon piece;
        if (*step == 0) {
            piece.count = 3, piece.corners = {a(i), a(i + 1), b(j), GridPoint{}}, ++i;
        } else if (*step == 1) {
            piece.count = 3, piece.corners = {a(i), b(j + 1), b(j), GridPoint{}}, ++j;
        } else {
            piece.count = 4, piece.corners = {a(i), a(i + 1), b(j + 1), b(j)}, ++i, ++j;
        }
        out.push_back(piece);
    }
    return true;
}

bool RegionCutter::OnOutline(const GridPoint& p) const {
    for (const auto& [a, b] : *segments_) {
        if (p.x < std::min(a.x, b.x) || p.x > std::max(a.x, b.x) || p.y < std::min(a.y, b.y) ||
            p.y > std::max(a.y, b.y)) {
            continue;
        }
        if (Orientation(a, b, p) == 0) return true;
    }
    return false;
}

bool RegionCutter::Cut(const std::vector<Segment>& segments, std::vector<CutPolygon>& out) {
    out.clear();
    segments_ = &segments;
    std::int64_t twiceArea = 0;
    for (const auto& [from, to] : segments) twiceArea += from.x * to.y - to.x * from.y;
    if (twiceArea <= 0) return false;
    // One convex ring of three or four corners is its own polygon.
    if (segments.size() <= 4) {
        CutPolygon ring;
        GridPoint at = segments[0].first;
        std::size_t used = 0;
        for (; used < segments.size(); ++used) {
            const auto next = std::find_if(segments.begin(), segments.end(),
                                           [&](const Segment& s) { return s.first == at; });
            if (next == segments.end()) break;
            ring.corners[static_cast<std::size_t>(ring.count++)] = at;
            at = next->second;
            if (at == segments[0].first) {
                ++used;
                break;
            }
        }
        if (used == segments.size() && at == segments[0].first && ring.count >= 3 &&
            AcceptedPolygon(ring.corners.data(), ring.count)) {
            out.push_back(ring);
            return true;
        }
    }
    std::vector<GridPoint>& points = points_;
    points.clear();
    for (const auto& [a, b] : segments) points.push_back(a);
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    const auto index = [&](const GridPoint& c) {
        return static_cast<int>(std::lower_bound(points.begin(), points.end(), c) - points.begin());
    };
    constraints_.clear();
    for (const auto& [a, b] : segments) constraints_.push_back({index(a), index(b)});
    constexpr int kMostRounds = 8;
    for (int round = 0; round < kMostRounds; ++round) {
        const std::optional<Triangulation> triangulation = TriangulateInside(points, constraints_);
        if (!triangulation) return false;
        const auto& triangles = triangulation->triangles;
        const auto& neighbours = triangulation->neighbours;
        const auto corner = [&](int i) { return points[static_cast<std::size_t>(i)]; };
        std::int64_t filled = 0;
        for (const auto& t : triangles) filled += Cross(corner(t[0]), corner(t[1]), corner(t[2]));
        if (filled != twiceArea) return false;
        std::vector<int>& from = sourceTriangles_;
        PairTriangles(triangles, neighbours, points, out, from);
        bool added = false, refused = false;
        for (std::size_t p = 0; p < out.size(); ++p) {
            if (AcceptedPolygon(out[p].corners.data(), out[p].count)) continue;
            refused = true;
            if (from[p] < 0) return false;
            const auto& t = triangles[static_cast<std::size_t>(from[p])];
            const auto& across = neighbours[static_cast<std::size_t>(from[p])];
            std::int64_t longest = 0;
            std::optional<GridPoint> middle;
            for (int i = 0; i < 3; ++i) {
                if (across[static_cast<std::size_t>(i)] < 0) continue;
                const GridPoint u = corner(t[static_cast<std::size_t>((i + 1) % 3)]);
                const GridPoint v = corner(t[static_cast<std::size_t>((i + 2) % 3)]);
                const std::int64_t length = (u.x - v.x) * (u.x - v.x) + (u.y - v.y) * (u.y - v.y);
                if (length <= longest) continue;
                const GridPoint m{(u.x + v.x) / 2, (u.y + v.y) / 2};
                if (OnOutline(m)) continue;
                longest = length, middle = m;
            }
            if (middle && std::find(points.begin(), points.end(), *middle) == points.end()) {
                points.push_back(*middle);
                added = true;
            }
        }
        if (!refused) return true;
        if (!added) {
            out.clear();
            return false;
        }
    }
    out.clear();
    return false;
}

}  // namespace mosaikon
