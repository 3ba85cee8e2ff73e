#include "geometry/region_cut.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <queue>
#include <unordered_map>

namespace mosaikon {

namespace {

// The parts library refuses corners under 0.025 or over 179.9 degrees; these leave room for
// the coordinates' rounding to 4 decimals.
constexpr double kLeastAngle = 0.03;
constexpr double kMostAngle = 179.85;
const double kLeastTangent = std::tan(kLeastAngle * 3.14159265358979323846 / 180);
const double kMostTangent = std::tan((180 - kMostAngle) * 3.14159265358979323846 / 180);

std::int64_t Cross(const GridPoint& o, const GridPoint& a, const GridPoint& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Neighbouring triangles become convex quadrilaterals, the triangles with fewest choices (refused
// ones before all) paired first. from tells for each polygon the triangle it is, or -1 for a pair.
void PairTriangles(const std::vector<std::array<int, 3>>& triangles,
                   const std::vector<std::array<int, 3>>& neighbours,
                   const std::vector<GridPoint>& points, std::vector<CutPolygon>& out,
                   std::vector<int>& from, double leastHeight) {
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
        refused[t] = !AcceptedPolygon(c, 3, leastHeight);
        for (int i = 0; i < 3; ++i) {
            const int u = neighbours[t][static_cast<std::size_t>(i)];
            pairable[t][static_cast<std::size_t>(i)] =
                u >= 0 && static_cast<std::size_t>(u) > t
                    ? AcceptedPolygon(quadOf(t, i).corners.data(), 4, leastHeight)
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

bool AcceptedPolygon(const GridPoint* corners, int count, double leastHeight) {
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
        // The angle's tangent, turn / dot, against those of the least and the most angle.
        const double dot = ax * bx + ay * by;
        const double sine = static_cast<double>(turn);
        if (dot > 0 ? sine < dot * kLeastTangent : dot < 0 && sine < -dot * kMostTangent) return false;
    }
    // Every corner as far from the sides it is not on: twice the area of it and the side, over
    // the side's length.
    for (int i = 0; leastHeight > 0 && i < count; ++i) {
        for (int k = 1; k + 1 < count; ++k) {
            const GridPoint& a = corners[(i + k) % count];
            const GridPoint& b = corners[(i + k + 1) % count];
            const double twice = static_cast<double>(Cross(a, b, corners[i]));
            const double dx = static_cast<double>(b.x - a.x), dy = static_cast<double>(b.y - a.y);
            if (twice * twice < leastHeight * leastHeight * (dx * dx + dy * dy)) return false;
        }
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

namespace {

// Whether the segments a-b and c-d have any point in common.
bool Touch(const GridPoint& a, const GridPoint& b, const GridPoint& c, const GridPoint& d) {
    const auto sign = [](std::int64_t v) { return (v > 0) - (v < 0); };
    const int d1 = sign(Cross(a, b, c)), d2 = sign(Cross(a, b, d));
    const int d3 = sign(Cross(c, d, a)), d4 = sign(Cross(c, d, b));
    const auto within = [](const GridPoint& p, const GridPoint& q, const GridPoint& r) {
        return std::min(p.x, q.x) <= r.x && r.x <= std::max(p.x, q.x) && std::min(p.y, q.y) <= r.y &&
               r.y <= std::max(p.y, q.y);
    };
    if (d1 * d2 < 0 && d3 * d4 < 0) return true;
    return (d1 == 0 && within(a, b, c)) || (d2 == 0 && within(a, b, d)) || (d3 == 0 && within(c, d, a)) ||
           (d4 == 0 && within(c, d, b));
}


// Whether the segment from corner i of a ring to p starts into the area on the ring's left.
bool InCone(const std::vector<GridPoint>& ring, std::size_t i, const GridPoint& p) {
    const std::size_t n = ring.size();
    const GridPoint& before = ring[(i + n - 1) % n];
    const GridPoint& after = ring[(i + 1) % n];
    const bool left = Cross(before, ring[i], p) > 0, onward = Cross(ring[i], after, p) > 0;
    return Cross(before, ring[i], after) > 0 ? left && onward : left || onward;
}

std::int64_t TwiceArea(const std::vector<GridPoint>& ring) {
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const GridPoint& a = ring[i];
        const GridPoint& b = ring[(i + 1) % ring.size()];
        sum += a.x * b.y - b.x * a.y;
    }
    return sum;
}

// Whether p lies inside a ring (p on no side of it).
bool InsideRing(const std::vector<GridPoint>& ring, const GridPoint& p) {
    bool inside = false;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const GridPoint& a = ring[i];
        const GridPoint& b = ring[(i + 1) % ring.size()];
        if ((a.y > p.y) == (b.y > p.y)) continue;
        const std::int64_t rise = b.y - a.y;
        const std::int64_t v = (p.y - a.y) * (b.x - a.x) - (p.x - a.x) * rise;
        if (rise > 0 ? v > 0 : v < 0) inside = !inside;
    }
    return inside;
}

// The closed rings the segments make, none passing a point twice: where a region touches itself
// at a point (two segments start there), the rings part. False where the segments do not close.
bool Rings(const std::vector<Segment>& segments, std::vector<std::vector<GridPoint>>& rings, std::int64_t& work) {
    rings.clear();
    std::vector<Segment> sorted = segments;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    std::vector<std::size_t> next(n, n);
    std::vector<std::uint8_t> taken(n, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const GridPoint& from = sorted[k].first;
        const GridPoint& to = sorted[k].second;
        const double ax = static_cast<double>(to.x - from.x), ay = static_cast<double>(to.y - from.y);
        double bestTurn = -10;
        for (auto it = std::lower_bound(sorted.begin(), sorted.end(), Segment{to, GridPoint{INT64_MIN, INT64_MIN}});
             it != sorted.end() && it->first == to; ++it) {
            const double bx = static_cast<double>(it->second.x - to.x), by = static_cast<double>(it->second.y - to.y);
            const double turn = std::atan2(ax * by - ay * bx, ax * bx + ay * by);
            if (turn > bestTurn) bestTurn = turn, next[k] = static_cast<std::size_t>(it - sorted.begin());
        }
        if (next[k] == n || taken[next[k]]) return false;
        taken[next[k]] = 1;
    }
    // A ring that passes a point twice goes on there the other way, which parts it in two.
    std::vector<std::uint8_t> used(n);
    std::vector<std::vector<std::size_t>> cycles;
    std::vector<std::pair<GridPoint, std::size_t>> ends;
    for (std::size_t round = 0; round <= n; ++round) {
        work -= static_cast<std::int64_t>(4 * n);
        if (work < 0) return false;
        std::fill(used.begin(), used.end(), 0);
        cycles.clear();
        for (std::size_t start = 0; start < n; ++start) {
            if (used[start]) continue;
            auto& cycle = cycles.emplace_back();
            for (std::size_t at = start; !used[at]; at = next[at]) {
                used[at] = 1;
                cycle.push_back(at);
            }
        }
        bool parted = false;
        for (const auto& cycle : cycles) {
            ends.clear();
            for (const std::size_t k : cycle) ends.emplace_back(sorted[k].second, k);
            std::sort(ends.begin(), ends.end());
            for (std::size_t i = 1; i < ends.size() && !parted; ++i) {
                if (ends[i].first != ends[i - 1].first) continue;
                std::swap(next[ends[i].second], next[ends[i - 1].second]);
                parted = true;
            }
            if (parted) break;
        }
        if (parted) continue;
        for (const auto& cycle : cycles) {
            auto& ring = rings.emplace_back();
            for (const std::size_t k : cycle) ring.push_back(sorted[k].first);
        }
        return true;
    }
    return false;
}

// The segments without those that bound no area: a segment run both ways (where an area is
// pinched to nothing along it), each way against one of the other, and segments of no length.
// Whether any was left out.
bool LeaveOutPinches(const std::vector<Segment>& given, std::vector<Segment>& kept) {
    kept.clear();
    std::vector<Segment> sorted = given;
    std::sort(sorted.begin(), sorted.end());
    const auto reversed = [&](const Segment& s) {
        return s.first == s.second || std::binary_search(sorted.begin(), sorted.end(), Segment{s.second, s.first});
    };
    if (std::none_of(given.begin(), given.end(), reversed)) return false;
    // Each way against one of the other way.
    std::map<Segment, std::ptrdiff_t> net;
    for (const Segment& s : given) {
        if (s.first < s.second) ++net[s];
        else if (s.second < s.first) --net[Segment{s.second, s.first}];
    }
    for (const Segment& s : given) {
        if (s.first == s.second) continue;
        const bool forward = s.first < s.second;
        auto& left = net[forward ? s : Segment{s.second, s.first}];
        if (forward ? left > 0 : left < 0) {
            kept.push_back(s);
            left += forward ? -1 : 1;
        }
    }
    return true;
}

}  // namespace

std::uint64_t LeastPieces(const std::vector<Segment>& given, std::size_t holes) {
    // What the cutter leaves out is no side of a piece; a hole may then have joined the
    // outline, so holes are not counted.
    std::vector<Segment> kept;
    const bool pinched = LeaveOutPinches(given, kept);
    if (pinched) holes = 0;
    const std::vector<Segment>& segments = pinched ? kept : given;
    const std::size_t n = segments.size();
    if (n < 3) return 0;
    // Whether two sides of one convex piece could be these segments: each within the closed left
    // half-plane of the other, not both on one line.
    const auto share = [](const Segment& a, const Segment& b) {
        const std::int64_t b1 = Cross(a.first, a.second, b.first), b2 = Cross(a.first, a.second, b.second);
        const std::int64_t a1 = Cross(b.first, b.second, a.first), a2 = Cross(b.first, b.second, a.second);
        return b1 >= 0 && b2 >= 0 && a1 >= 0 && a2 >= 0 && !(b1 == 0 && b2 == 0);
    };
    std::size_t most = 0;
    std::vector<std::size_t> apart;
    for (std::size_t begin = 0; begin < n;) {
        std::size_t end = begin + 1;
        while (end < n && !(segments[end - 1].second == segments[begin].first)) ++end;
        // Greedily from a few of the ring's segments on (from one on a long ring; none on one
        // too long to be worth the time): each taken when it can share a piece with none taken
        // before.
        const std::size_t length = end - begin;
        const std::size_t step = length <= 256 ? std::max<std::size_t>(1, length / 16) : length;
        for (std::size_t start = 0; start < length && length <= 4096; start += step) {
            apart.clear();
            for (std::size_t k = 0; k < length; ++k) {
                const Segment& s = segments[begin + (start + k) % length];
                if (std::none_of(apart.begin(), apart.end(),
                                 [&](std::size_t t) { return share(segments[t], s); })) {
                    apart.push_back(begin + (start + k) % length);
                }
            }
            most = std::max(most, apart.size());
        }
        begin = end;
    }
    return std::max<std::uint64_t>(CountedPieces(n, holes), most);
}

bool CutRing(const std::vector<GridPoint>& ring, std::vector<CutPolygon>& out, std::int64_t* work,
             double leastHeight) {
    out.clear();
    const std::size_t n = ring.size();
    if (n < 3 || n > kMostRingCorners) return false;
    // The search takes about n^3 steps to find the segments inside, and up to n^4 / 24 more.
    const auto spend = [work](std::int64_t more) {
        if (work == nullptr) return true;
        *work -= more;
        return *work >= 0;
    };
    if (!spend(static_cast<std::int64_t>(n * n))) return false;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            if (ring[i] == ring[j]) return false;
        }
    }
    // inside[i * n + j]: the segment from corner i to corner j is a side of the ring or runs
    // inside it, touching its outline at its ends alone.
    std::vector<std::uint8_t> inside(n * n, 0);
    const auto at = [n](std::size_t i, std::size_t j) { return i * n + j; };
    const auto inCone = [&](std::size_t i, const GridPoint& p) { return InCone(ring, i, p); };
    for (std::size_t i = 0; i < n; ++i) {
        inside[at(i, (i + 1) % n)] = inside[at((i + 1) % n, i)] = 1;
        for (std::size_t j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1) continue;
            if (!inCone(i, ring[j]) || !inCone(j, ring[i])) continue;
            if (!spend(static_cast<std::int64_t>(n))) return false;
            bool clear = true;
            for (std::size_t k = 0; clear && k < n; ++k) {
                const std::size_t l = (k + 1) % n;
                if (k == i || k == j || l == i || l == j) continue;
                clear = !Touch(ring[i], ring[j], ring[k], ring[l]);
            }
            inside[at(i, j)] = inside[at(j, i)] = clear;
        }
    }
    // cost[i][j]: the fewest pieces of the part of the ring from corner i to corner j, closed by
    // the segment from j back to i; how: the piece on that segment (its middle corners).
    constexpr int kNone = 1 << 28;
    std::vector<int> cost(n * n, kNone);
    std::vector<std::array<std::uint16_t, 2>> how(n * n);
    for (std::size_t i = 0; i + 1 < n; ++i) cost[at(i, i + 1)] = 0;
    for (std::size_t length = 2; length < n; ++length) {
        for (std::size_t i = 0; i + length < n; ++i) {
            const std::size_t j = i + length;
            if (!inside[at(i, j)]) continue;
            int best = kNone;
            for (std::size_t k = i + 1; k < j; ++k) {
                if (!inside[at(i, k)] || cost[at(i, k)] >= kNone) continue;
                const int toK = cost[at(i, k)];
                if (!spend(static_cast<std::int64_t>(j - k))) return false;
                if (inside[at(k, j)] && cost[at(k, j)] < kNone && toK + cost[at(k, j)] + 1 < best) {
                    const GridPoint t[3] = {ring[i], ring[k], ring[j]};
                    if (AcceptedPolygon(t, 3, leastHeight)) {
                        best = toK + cost[at(k, j)] + 1;
                        how[at(i, j)] = {static_cast<std::uint16_t>(k), static_cast<std::uint16_t>(k)};
                    }
                }
                for (std::size_t l = k + 1; l < j; ++l) {
                    if (!inside[at(k, l)] || !inside[at(l, j)]) continue;
                    const int total = toK + cost[at(k, l)] + cost[at(l, j)] + 1;
                    if (total >= best) continue;
                    const GridPoint q[4] = {ring[i], ring[k], ring[l], ring[j]};
                    if (AcceptedPolygon(q, 4, leastHeight)) {
                        best = total;
                        how[at(i, j)] = {static_cast<std::uint16_t>(k), static_cast<std::uint16_t>(l)};
                    }
                }
            }
            cost[at(i, j)] = best;
        }
    }
    if (cost[at(0, n - 1)] >= kNone) return false;
    std::vector<std::pair<std::size_t, std::size_t>> open = {{0, n - 1}};
    while (!open.empty()) {
        const auto [i, j] = open.back();
        open.pop_back();
        if (j == i + 1) continue;
        const auto [k, l] = how[at(i, j)];
        CutPolygon piece;
        if (k == l) {
            piece.count = 3, piece.corners = {ring[i], ring[k], ring[j], GridPoint{}};
            open.insert(open.end(), {{i, k}, {k, j}});
        } else {
            piece.count = 4, piece.corners = {ring[i], ring[k], ring[l], ring[j]};
            open.insert(open.end(), {{i, k}, {k, l}, {l, j}});
        }
        out.push_back(piece);
    }
    return true;
}


bool RegionCutter::SplitRing(const std::vector<GridPoint>& ring, std::vector<CutPolygon>& out) {
    // A ring too long to search at once is cut in two along a segment inside it between corners
    // a quarter to three quarters of the way round from each other, from one of sixteen corners
    // spread over it (the shortest along the grid, else the shortest), and each part cut again.
    const std::size_t n = ring.size();
    struct Chord {
        std::int64_t length;
        std::size_t i, j;
    };
    std::vector<Chord> chords;
    work_ -= static_cast<std::int64_t>(8 * n);
    if (work_ < 0) return false;
    for (std::size_t k = 0; k < 16; ++k) {
        const std::size_t i = k * n / 16;
        for (std::size_t d = n / 4; d <= 3 * n / 4; ++d) {
            const std::size_t j = (i + d) % n;
            const std::int64_t dx = ring[j].x - ring[i].x, dy = ring[j].y - ring[i].y;
            chords.push_back({dx * dx + dy * dy, i, j});
        }
    }
    // Segments along the grid first (they leave parts whose sides meet square), shortest first.
    const auto slanted = [&](const Chord& c) { return ring[c.i].x != ring[c.j].x && ring[c.i].y != ring[c.j].y; };
    std::sort(chords.begin(), chords.end(), [&](const Chord& a, const Chord& b) {
        if (slanted(a) != slanted(b)) return !slanted(a);
        return a.length != b.length ? a.length < b.length : a.i != b.i ? a.i < b.i : a.j < b.j;
    });
    for (const auto& [length, i, j] : chords) {
        if (length == 0 || !InCone(ring, i, ring[j]) || !InCone(ring, j, ring[i])) continue;
        work_ -= static_cast<std::int64_t>(n);
        if (work_ < 0) return false;
        bool clear = true;
        for (std::size_t k = 0; clear && k < n; ++k) {
            const std::size_t l = (k + 1) % n;
            if (k == i || k == j || l == i || l == j) continue;
            clear = !Touch(ring[i], ring[j], ring[k], ring[l]);
        }
        if (!clear) continue;
        std::vector<GridPoint> part;
        for (std::size_t k = i;; k = (k + 1) % n) {
            part.push_back(ring[k]);
            if (k == j) break;
        }
        // Its parts are cut again down to a size searched quickly.
        const auto cutPart = [&] {
            return part.size() > kMostSearchedCorners ? SplitRing(part, out) : SearchRing(part, out);
        };
        // A segment that leaves a part with no accepted cut (a sliver along a long side) gives
        // way to the next.
        const std::size_t mark = out.size();
        if (cutPart()) {
            part.clear();
            for (std::size_t k = j;; k = (k + 1) % n) {
                part.push_back(ring[k]);
                if (k == i) break;
            }
            if (cutPart()) return true;
        }
        if (work_ < 0) return false;
        out.resize(mark);
    }
    // No such segment: a ring short enough is searched as a whole.
    return SearchRing(ring, out);
}

bool RegionCutter::SearchRing(const std::vector<GridPoint>& ring, std::vector<CutPolygon>& out) {
    std::vector<CutPolygon> pieces;
    if (!CutRing(ring, pieces, &work_, leastHeight_)) return false;
    out.insert(out.end(), pieces.begin(), pieces.end());
    return true;
}

bool RegionCutter::CutArea(const std::vector<GridPoint>& outer, std::vector<std::vector<GridPoint>> holes,
                           std::vector<CutPolygon>& out) {
    if (holes.empty() && outer.size() > kMostRingCorners) return SplitRing(outer, out);
    if (holes.empty()) return SearchRing(outer, out);
    if (static_cast<std::uint64_t>(outer.size()) * holes.front().size() > kMostBridges) return false;
    // The first hole is cut out along the two shortest segments from its corners to the
    // outline's that run inside the area: the area splits into two, each holding some of the
    // other holes.
    const std::vector<GridPoint> hole = std::move(holes.front());
    holes.erase(holes.begin());
    std::size_t corners = outer.size() + hole.size();
    for (const auto& other : holes) corners += other.size();
    const auto clear = [&](const GridPoint& a, const GridPoint& b) {
        const auto crosses = [&](const std::vector<GridPoint>& ring) {
            for (std::size_t k = 0; k < ring.size(); ++k) {
                const GridPoint& c = ring[k];
                const GridPoint& d = ring[(k + 1) % ring.size()];
                if (c == a || c == b || d == a || d == b) continue;
                if (Touch(a, b, c, d)) return true;
            }
            return false;
        };
        if (crosses(outer) || crosses(hole)) return false;
        for (const auto& other : holes) {
            if (crosses(other)) return false;
        }
        return true;
    };
    struct Bridge {
        std::int64_t length;
        std::size_t h, o;
    };
    std::vector<Bridge> bridges;
    work_ -= static_cast<std::int64_t>(hole.size() * outer.size());
    if (work_ < 0) return false;
    // From each of the hole's corners, the nearest few of the outline's.
    constexpr std::size_t kNearest = 8;
    std::vector<Bridge> from;
    for (std::size_t h = 0; h < hole.size(); ++h) {
        from.clear();
        for (std::size_t o = 0; o < outer.size(); ++o) {
            // Where the hole touches the outline, it is cut out there already.
            if (hole[h] == outer[o]) from.push_back({0, h, o});
            if (!InCone(hole, h, outer[o]) || !InCone(outer, o, hole[h])) continue;
            const std::int64_t dx = outer[o].x - hole[h].x, dy = outer[o].y - hole[h].y;
            from.push_back({dx * dx + dy * dy, h, o});
        }
        const auto nearest = from.begin() + static_cast<std::ptrdiff_t>(std::min(kNearest, from.size()));
        std::partial_sort(from.begin(), nearest, from.end(),
                          [](const Bridge& a, const Bridge& b) { return a.length < b.length; });
        bridges.insert(bridges.end(), from.begin(), nearest);
    }
    std::sort(bridges.begin(), bridges.end(),
              [](const Bridge& a, const Bridge& b) { return a.length < b.length; });
    std::optional<Bridge> first, second;
    for (const Bridge& bridge : bridges) {
        work_ -= static_cast<std::int64_t>(corners);
        if (work_ < 0) return false;
        if (first && (bridge.h == first->h || bridge.o == first->o ||
                      Touch(hole[bridge.h], outer[bridge.o], hole[first->h], outer[first->o]))) {
            continue;
        }
        if (bridge.length > 0 && !clear(hole[bridge.h], outer[bridge.o])) continue;
        if (first) {
            second = bridge;
            break;
        }
        first = bridge;
    }
    if (!second) return false;
    // One part runs along the outline from the first bridge to the second, then along the
    // hole back; the other the rest of both.
    std::vector<GridPoint> parts[2];
    const auto along = [](const std::vector<GridPoint>& ring, std::size_t from, std::size_t to,
                          std::vector<GridPoint>& part) {
        for (std::size_t i = from;; i = (i + 1) % ring.size()) {
            if (part.empty() || part.back() != ring[i]) part.push_back(ring[i]);
            if (i == to) break;
        }
    };
    along(outer, first->o, second->o, parts[0]);
    along(hole, second->h, first->h, parts[0]);
    along(outer, second->o, first->o, parts[1]);
    along(hole, first->h, second->h, parts[1]);
    for (auto& part : parts) {
        if (part.size() > 1 && part.front() == part.back()) part.pop_back();
    }
    std::vector<std::vector<GridPoint>> inside[2];
    for (auto& other : holes) inside[InsideRing(parts[0], other[0]) ? 0 : 1].push_back(std::move(other));
    for (int k = 0; k < 2; ++k) {
        if (parts[k].size() < 3 || TwiceArea(parts[k]) <= 0) return false;
        if (!CutArea(parts[k], std::move(inside[k]), out)) return false;
    }
    return true;
}

void RegionCutter::IndexOutline() {
    // Each segment is listed in the cells its bounding box covers, as long as that stays within
    // a few entries per segment; else every segment is looked at.
    cells_.clear();
    std::size_t entries = 0;
    for (std::size_t k = 0; k < segments_->size(); ++k) {
        const auto& [a, b] = (*segments_)[k];
        const std::int64_t x0 = std::min(a.x, b.x) >> kCellShift, x1 = std::max(a.x, b.x) >> kCellShift;
        const std::int64_t y0 = std::min(a.y, b.y) >> kCellShift, y1 = std::max(a.y, b.y) >> kCellShift;
        entries += static_cast<std::size_t>((x1 - x0 + 1) * (y1 - y0 + 1));
        if (entries > 16 * segments_->size() + 4096) {
            cells_.clear();
            return;
        }
        for (std::int64_t y = y0; y <= y1; ++y) {
            for (std::int64_t x = x0; x <= x1; ++x) cells_[CellKey(x, y)].push_back(static_cast<std::uint32_t>(k));
        }
    }
}

bool RegionCutter::OnOutline(const GridPoint& p) const {
    const auto on = [&p](const Segment& segment) {
        const auto& [a, b] = segment;
        if (p.x < std::min(a.x, b.x) || p.x > std::max(a.x, b.x) || p.y < std::min(a.y, b.y) ||
            p.y > std::max(a.y, b.y)) {
            return false;
        }
        return Orientation(a, b, p) == 0;
    };
    if (cells_.empty()) return std::any_of(segments_->begin(), segments_->end(), on);
    const auto cell = cells_.find(CellKey(p.x >> kCellShift, p.y >> kCellShift));
    if (cell == cells_.end()) return false;
    return std::any_of(cell->second.begin(), cell->second.end(),
                       [&](std::uint32_t k) { return on((*segments_)[k]); });
}

bool RegionCutter::Cut(const std::vector<Segment>& given, std::vector<CutPolygon>& out) {
    out.clear();
    std::vector<Segment> kept;
    const bool pinched = LeaveOutPinches(given, kept);
    if (pinched && kept.empty()) return false;
    const std::vector<Segment>& segments = pinched ? kept : given;
    segments_ = &segments;
    IndexOutline();
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
            AcceptedPolygon(ring.corners.data(), ring.count, leastHeight_)) {
            out.push_back(ring);
            return true;
        }
    }
    // A long outline is cut in groups of the triangulation's triangles, each searched; up to
    // kMostComparedCorners, the area is searched as a whole (in parts) too, the fewer pieces kept.
    std::vector<CutPolygon> grouped;
    if (segments.size() > kMostRingCorners) {
        if (!CutInGroups(segments, twiceArea, grouped)) grouped.clear();
        if (segments.size() > kMostComparedCorners) {
            if (grouped.empty()) return Triangulate(segments, twiceArea, out);
            out.swap(grouped);
            return true;
        }
    }
    // The area is cut by the fewest pieces, its holes cut out along segments to its outline
    // first, a long outline cut in parts.
    std::vector<std::vector<GridPoint>> rings, outers, holes;
    if (!Rings(segments, rings, work_)) rings.clear();
    for (auto& ring : rings) (TwiceArea(ring) > 0 ? outers : holes).push_back(std::move(ring));
    // Each hole within the outline it lies in (at a corner of it that is not the outline's).
    std::vector<std::vector<std::vector<GridPoint>>> within(outers.size());
    bool placed = true;
    for (auto& hole : holes) {
        std::size_t in = outers.size();
        for (std::size_t k = 0; k < outers.size() && in == outers.size(); ++k) {
            const auto free = std::find_if(hole.begin(), hole.end(), [&](const GridPoint& p) {
                return std::find(outers[k].begin(), outers[k].end(), p) == outers[k].end();
            });
            if (free != hole.end() && InsideRing(outers[k], *free)) in = k;
        }
        if (in == outers.size()) placed = false;
        else within[in].push_back(std::move(hole));
    }
    bool cut = placed && !outers.empty();
    for (std::size_t k = 0; cut && k < outers.size(); ++k) cut = CutArea(outers[k], std::move(within[k]), out);
    if (cut && (grouped.empty() || out.size() <= grouped.size())) return true;
    out.clear();
    if (grouped.empty()) return Triangulate(segments, twiceArea, out);
    out.swap(grouped);
    return true;
}

void RegionCutter::ListPoints(const std::vector<Segment>& segments, std::vector<GridPoint>& points) {
    points.clear();
    for (const auto& [a, b] : segments) points.push_back(a);
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    const auto index = [&](const GridPoint& c) {
        return static_cast<int>(std::lower_bound(points.begin(), points.end(), c) - points.begin());
    };
    constraints_.clear();
    for (const auto& [a, b] : segments) constraints_.push_back({index(a), index(b)});
}

std::optional<GridPoint> RegionCutter::SplitPoint(const std::array<int, 3>& triangle, const std::array<int, 3>& across,
                                                  const std::vector<GridPoint>& points) const {
    // The middle of the triangle's longest side inside the area, where it is not on the outline.
    std::int64_t longest = 0;
    std::optional<GridPoint> middle;
    for (std::size_t i = 0; i < 3; ++i) {
        if (across[i] < 0) continue;
        const GridPoint u = points[static_cast<std::size_t>(triangle[(i + 1) % 3])];
        const GridPoint v = points[static_cast<std::size_t>(triangle[(i + 2) % 3])];
        const std::int64_t length = (u.x - v.x) * (u.x - v.x) + (u.y - v.y) * (u.y - v.y);
        if (length <= longest) continue;
        const GridPoint m{(u.x + v.x) / 2, (u.y + v.y) / 2};
        if (OnOutline(m)) continue;
        longest = length, middle = m;
    }
    if (middle && std::find(points.begin(), points.end(), *middle) != points.end()) middle.reset();
    return middle;
}

bool RegionCutter::CutInGroups(const std::vector<Segment>& segments, std::int64_t twiceArea,
                               std::vector<CutPolygon>& out) {
    // The area is triangulated, points added inside it until no triangle is too thin. Its
    // triangles are gathered into groups, each grown from one triangle by the triangles beside it
    // whose third corner is new to the group, so that each group's outline is a simple ring of
    // up to kMostGroupCorners corners. Each ring is cut into its fewest pieces (or, once the
    // budget is spent, its triangles paired); neighbouring groups meet along whole sides of the
    // triangulation, corner to corner.
    out.clear();
    std::vector<GridPoint> points;  // apart from points_, which Triangulate uses
    ListPoints(segments, points);
    std::optional<Triangulation> triangulation;
    // Whether every triangle is one the parts library accepts; where points added cannot make
    // it so (thin triangles along a long side), the groups' searches may yet find a clean cut.
    bool accepted = false;
    std::size_t thinBefore = SIZE_MAX;
    std::vector<std::size_t> thinTriangles;
    constexpr int kMostRounds = 8;
    for (int round = 0;; ++round) {
        work_ -= static_cast<std::int64_t>(16 * points.size());
        if (work_ < 0) return false;
        triangulation = TriangulateInside(points, constraints_);
        if (!triangulation) return false;
        std::int64_t filled = 0;
        for (const auto& t : triangulation->triangles) {
            filled += Cross(points[static_cast<std::size_t>(t[0])], points[static_cast<std::size_t>(t[1])],
                            points[static_cast<std::size_t>(t[2])]);
        }
        if (filled != twiceArea) return false;
        thinTriangles.clear();
        for (std::size_t t = 0; t < triangulation->triangles.size(); ++t) {
            const auto& c = triangulation->triangles[t];
            const GridPoint corners[3] = {points[static_cast<std::size_t>(c[0])], points[static_cast<std::size_t>(c[1])],
                                          points[static_cast<std::size_t>(c[2])]};
            if (!AcceptedPolygon(corners, 3, leastHeight_)) thinTriangles.push_back(t);
        }
        accepted = thinTriangles.empty();
        // Points are added while they make fewer thin triangles (not along a long side facing
        // many corners, where they only move the thin triangles on).
        if (accepted || round + 1 == kMostRounds || thinTriangles.size() >= thinBefore) break;
        thinBefore = thinTriangles.size();
        const std::size_t known = points.size();
        for (const std::size_t t : thinTriangles) {
            const auto middle = SplitPoint(triangulation->triangles[t], triangulation->neighbours[t], points);
            if (middle) points.push_back(*middle);
        }
        if (points.size() == known) break;
    }
    const auto& triangles = triangulation->triangles;
    const auto& neighbours = triangulation->neighbours;
    const auto corner = [&](int i) { return points[static_cast<std::size_t>(i)]; };

    const std::size_t n = triangles.size();
    constexpr int kFree = -1;
    std::vector<int> group(n, kFree);
    // How many triangles of the group being grown have each point as a corner.
    std::vector<std::uint16_t> uses(points.size(), 0);
    std::vector<std::size_t> members, seeds, grow;
    std::vector<std::pair<int, int>> sides;
    std::vector<GridPoint> ring;
    std::vector<CutPolygon> pieces;
    std::vector<std::array<int, 3>> ownTriangles, ownNeighbours;
    std::vector<int> from;
    int groups = 0;
    std::size_t nextSeed = 0;
    for (;;) {
        // The next group starts beside the groups already made where it can.
        std::size_t seed = n;
        while (!seeds.empty() && seed == n) {
            if (group[seeds.back()] == kFree) seed = seeds.back();
            seeds.pop_back();
        }
        while (seed == n && nextSeed < n) {
            if (group[nextSeed] == kFree) seed = nextSeed;
            ++nextSeed;
        }
        if (seed == n) break;
        const int g = groups++;
        members.clear();
        grow.assign(1, seed);
        std::size_t cornerCount = 0;
        for (std::size_t at = 0; at < grow.size(); ++at) {
            const std::size_t t = grow[at];
            if (group[t] != kFree) continue;
            int fresh = 0;
            for (const int v : triangles[t]) fresh += uses[static_cast<std::size_t>(v)] == 0;
            if (!members.empty() && (fresh != 1 || cornerCount + 1 > kMostGroupCorners)) continue;
            group[t] = g;
            members.push_back(t);
            cornerCount += static_cast<std::size_t>(fresh);
            for (const int v : triangles[t]) ++uses[static_cast<std::size_t>(v)];
            for (const int u : neighbours[t]) {
                if (u >= 0 && group[static_cast<std::size_t>(u)] == kFree) grow.push_back(static_cast<std::size_t>(u));
            }
        }
        for (const std::size_t t : grow) {
            if (group[t] == kFree) seeds.push_back(t);
        }
        for (const std::size_t t : members) {
            for (const int v : triangles[t]) uses[static_cast<std::size_t>(v)] = 0;
        }
        if (members.size() == 1) {
            CutPolygon piece;
            piece.count = 3;
            piece.corners = {corner(triangles[members[0]][0]), corner(triangles[members[0]][1]),
                             corner(triangles[members[0]][2]), GridPoint{}};
            if (!AcceptedPolygon(piece.corners.data(), 3, leastHeight_)) return false;
            out.push_back(piece);
            continue;
        }
        // The group's ring: the sides of its triangles that no other of its triangles shares.
        sides.clear();
        for (const std::size_t t : members) {
            for (std::size_t i = 0; i < 3; ++i) {
                const int u = neighbours[t][i];
                if (u >= 0 && group[static_cast<std::size_t>(u)] == g) continue;
                sides.emplace_back(triangles[t][(i + 1) % 3], triangles[t][(i + 2) % 3]);
            }
        }
        std::sort(sides.begin(), sides.end());
        ring.clear();
        for (int at = sides.front().first; ring.size() < sides.size();) {
            ring.push_back(corner(at));
            const auto next = std::lower_bound(sides.begin(), sides.end(), std::pair<int, int>{at, INT32_MIN});
            if (next == sides.end() || next->first != at) return false;
            at = next->second;
        }
        if (work_ > 0 && CutRing(ring, pieces, &work_, leastHeight_)) {
            out.insert(out.end(), pieces.begin(), pieces.end());
            continue;
        }
        // Beyond the budget, the group's triangles are paired where each is accepted.
        if (!accepted) return false;
        ownTriangles.clear();
        ownNeighbours.clear();
        for (const std::size_t t : members) {
            ownTriangles.push_back(triangles[t]);
            auto& own = ownNeighbours.emplace_back();
            for (std::size_t i = 0; i < 3; ++i) {
                const int u = neighbours[t][i];
                own[i] = u >= 0 && group[static_cast<std::size_t>(u)] == g
                             ? static_cast<int>(std::find(members.begin(), members.end(), static_cast<std::size_t>(u)) - members.begin())
                             : -1;
            }
        }
        PairTriangles(ownTriangles, ownNeighbours, points, pieces, from, leastHeight_);
        out.insert(out.end(), pieces.begin(), pieces.end());
    }
    return true;
}

bool RegionCutter::Triangulate(const std::vector<Segment>& segments, std::int64_t twiceArea,
                               std::vector<CutPolygon>& out) {
    out.clear();
    std::vector<GridPoint>& points = points_;
    ListPoints(segments, points);
    std::size_t refusedBefore = SIZE_MAX;
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
        PairTriangles(triangles, neighbours, points, out, from, leastHeight_);
        bool added = false;
        std::size_t refused = 0;
        for (std::size_t p = 0; p < out.size(); ++p) {
            if (AcceptedPolygon(out[p].corners.data(), out[p].count, leastHeight_)) continue;
            ++refused;
            if (from[p] < 0) return false;
            const auto middle = SplitPoint(triangles[static_cast<std::size_t>(from[p])],
                                           neighbours[static_cast<std::size_t>(from[p])], points);
            if (middle) {
                points.push_back(*middle);
                added = true;
            }
        }
        if (refused == 0) return true;
        // Points that no longer make fewer refused polygons are given up.
        if (!added || refused > refusedBefore) {
            out.clear();
            return false;
        }
        refusedBefore = refused;
    }
    out.clear();
    return false;
}

}  // namespace mosaikon
