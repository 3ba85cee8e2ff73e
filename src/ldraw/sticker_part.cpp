#include "ldraw/sticker_part.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <optional>

#include "conversion/conversion_method.h"
#include "shell/atomic_file.h"
#include "conversion/exact_conversion.h"
#include "conversion/vector_conversion.h"
#include "geometry/region_cut.h"
#include "shell/failure.h"

namespace mosaikon {

namespace {

// The picture face lies this far above the backing's bottom, which is the part's origin plane.
constexpr double kFaceY = -0.25;

// The longest outline whose area is cut again as a whole (a few seconds at most); beyond it the
// backing's bottom repeats the face.
constexpr std::size_t kMostOutlineToCut = 50000;

std::int64_t Cross(const HalfPoint& o, const HalfPoint& a, const HalfPoint& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

std::int64_t TwiceArea(const std::vector<HalfPoint>& ring) {
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const HalfPoint& a = ring[i];
        const HalfPoint& b = ring[(i + 1) % ring.size()];
        sum += a.x * b.y - b.x * a.y;
    }
    return sum;
}

// Whether every corner turns the same way and none is straight.
bool StrictlyConvex(const std::vector<HalfPoint>& ring) {
    const std::size_t n = ring.size();
    int sign = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t turn = Cross(ring[i], ring[(i + 1) % n], ring[(i + 2) % n]);
        if (turn == 0) return false;
        const int s = turn > 0 ? 1 : -1;
        if (sign != 0 && s != sign) return false;
        sign = s;
    }
    return true;
}

HalfPoint ToHalfUnits(double x, double y) {
    const double hx = std::nearbyint(2 * x), hy = std::nearbyint(2 * y);
    if (std::fabs(hx - 2 * x) > 1e-6 || std::fabs(hy - 2 * y) > 1e-6) {
        Fail("A corner lies off the half-pixel grid");
    }
    return {static_cast<std::int64_t>(hx), static_cast<std::int64_t>(hy)};
}

// A quadrilateral as one or two simple polygons of positive area, or none.
std::vector<std::vector<HalfPoint>> ValidPolygons(const LdrawQuad& quad) {
    // The conversions' usual case: a rectangle, corners from the top-left clockwise on screen.
    if (quad.LineType != 3 && quad.X1 == quad.X4 && quad.X2 == quad.X3 && quad.Y1 == quad.Y2 && quad.Y3 == quad.Y4 &&
        quad.X1 < quad.X2 && quad.Y1 < quad.Y4) {
        return {{ToHalfUnits(quad.X1, quad.Y1), ToHalfUnits(quad.X2, quad.Y2),
                 ToHalfUnits(quad.X3, quad.Y3), ToHalfUnits(quad.X4, quad.Y4)}};
    }
    std::vector<HalfPoint> ring;
    const HalfPoint corners[] = {ToHalfUnits(quad.X1, quad.Y1), ToHalfUnits(quad.X2, quad.Y2),
                                 ToHalfUnits(quad.X3, quad.Y3), ToHalfUnits(quad.X4, quad.Y4)};
    // A triangle's fourth corner is not part of it.
    for (int i = 0; i < (quad.LineType == 3 ? 3 : 4); ++i) {
        if (std::find(ring.begin(), ring.end(), corners[i]) == ring.end()) ring.push_back(corners[i]);
    }
    // A corner in a straight line between its neighbours is no corner; should another polygon
    // need it, the edge is split there again.
    for (std::size_t i = 0; ring.size() > 3 && i < ring.size();) {
        const std::size_t n = ring.size();
        if (Cross(ring[(i + n - 1) % n], ring[i], ring[(i + 1) % n]) == 0) {
            ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    if (ring.size() < 3) return {};
    if (ring.size() == 4) {
        // The order of the corners that makes a convex quadrilateral, where one does.
        const std::vector<HalfPoint> orders[] = {
            ring, {ring[0], ring[1], ring[3], ring[2]}, {ring[0], ring[2], ring[1], ring[3]}};
        bool found = false;
        for (const auto& order : orders) {
            if (StrictlyConvex(order)) {
                ring = order;
                found = true;
                break;
            }
        }
        if (!found) {
            // Concave, or with three corners in a line: two triangles from a simple order,
            // cut along the diagonal through the inward (or straight) corner.
            for (const auto& order : orders) {
                const std::int64_t area = TwiceArea(order);
                if (area == 0) continue;
                for (std::size_t r = 0; r < 4; ++r) {
                    const auto& a = order[(r + 3) % 4];
                    const auto& b = order[r];
                    const auto& c = order[(r + 1) % 4];
                    const bool inward = area > 0 ? Cross(a, b, c) <= 0 : Cross(a, b, c) >= 0;
                    if (!inward) continue;
                    std::vector<std::vector<HalfPoint>> parts = {
                        {order[r], order[(r + 1) % 4], order[(r + 2) % 4]},
                        {order[(r + 2) % 4], order[(r + 3) % 4], order[r]}};
                    std::erase_if(parts, [](const auto& t) { return TwiceArea(t) == 0; });
                    // Both parts of a simple order are simple; a bow-tie order is skipped.
                    std::int64_t sum = 0;
                    for (auto& t : parts) sum += std::llabs(TwiceArea(t));
                    if (sum != std::llabs(area)) continue;
                    for (auto& t : parts) {
                        if (TwiceArea(t) < 0) std::reverse(t.begin(), t.end());
                    }
                    return parts;
                }
            }
            return {};
        }
    }
    const std::int64_t area = TwiceArea(ring);
    if (area == 0) return {};
    if (area < 0) std::reverse(ring.begin(), ring.end());
    return {ring};
}

// Every corner of the face, one bit for each point of the half-pixel grid over them, to find the
// corners lying on an edge.
class CornerIndex {
public:
    explicit CornerIndex(const std::vector<FacePolygon>& polygons) {
        bool first = true;
        for (const FacePolygon& polygon : polygons) {
            for (const HalfPoint& p : polygon.corners) {
                if (first) left_ = right_ = p.x, top_ = bottom_ = p.y, first = false;
                left_ = std::min(left_, p.x), right_ = std::max(right_, p.x);
                top_ = std::min(top_, p.y), bottom_ = std::max(bottom_, p.y);
            }
        }
        width_ = first ? 0 : right_ - left_ + 1;
        const std::int64_t height = first ? 0 : bottom_ - top_ + 1;
        bits_.assign(static_cast<std::size_t>((width_ * height + 63) / 64), 0);
        for (const FacePolygon& polygon : polygons) {
            for (const HalfPoint& p : polygon.corners) {
                const std::uint64_t at = Bit(p);
                bits_[at / 64] |= std::uint64_t{1} << (at % 64);
            }
        }
    }

    bool Has(const HalfPoint& p) const {
        if (p.x < left_ || p.x > right_ || p.y < top_ || p.y > bottom_ || width_ == 0) return false;
        const std::uint64_t at = Bit(p);
        return (bits_[at / 64] >> (at % 64) & 1) != 0;
    }

    // The corners strictly inside the segment from a to b, in order from a.
    void Between(const HalfPoint& a, const HalfPoint& b, std::vector<HalfPoint>& out) const {
        const std::int64_t dx = b.x - a.x, dy = b.y - a.y;
        const std::int64_t steps = std::gcd(std::llabs(dx), std::llabs(dy));
        for (std::int64_t k = 1; k < steps; ++k) {
            const HalfPoint p{a.x + dx / steps * k, a.y + dy / steps * k};
            if (Has(p)) out.push_back(p);
        }
    }

private:
    std::uint64_t Bit(const HalfPoint& p) const {
        return static_cast<std::uint64_t>((p.y - top_) * width_ + (p.x - left_));
    }

    std::int64_t left_ = 0, right_ = 0, top_ = 0, bottom_ = 0, width_ = 0;
    std::vector<std::uint64_t> bits_;
};

// Cuts avoid the corners of other polygons (which overlapping polygons can have inside), so that
// no cut makes a T-junction; only where no other cut is left is one taken all the same.
void Decompose(const std::vector<HalfPoint>& ring, std::vector<std::vector<HalfPoint>>& out,
               const CornerIndex* others) {
    if (ring.size() == 3 || (ring.size() == 4 && StrictlyConvex(ring))) {
        out.push_back(ring);
        return;
    }
    const std::size_t n = ring.size();
    std::vector<std::size_t> next(n), previous(n);
    for (std::size_t i = 0; i < n; ++i) {
        next[i] = (i + 1) % n;
        previous[i] = (i + n - 1) % n;
    }
    std::vector<std::vector<HalfPoint>> ears;
    std::size_t left = n, current = 0, sinceCut = 0;
    bool avoidCorners = others != nullptr;
    std::vector<HalfPoint> onCut;
    std::vector<HalfPoint> blockers;  // corners of other polygons that cuts would run through
    auto cutIsClear = [&](const HalfPoint& a, const HalfPoint& b) {
        if (!avoidCorners) return true;
        onCut.clear();
        others->Between(a, b, onCut);
        blockers.insert(blockers.end(), onCut.begin(), onCut.end());
        return onCut.empty();
    };
    auto strictlyInside = [&](const HalfPoint& c) {
        std::size_t i = current;
        do {
            if (Cross(ring[i], ring[next[i]], c) <= 0) return false;
            i = next[i];
        } while (i != current);
        return true;
    };
    bool fanned = false;
    while (left > 3) {
        if (sinceCut > left) {
            if (!avoidCorners) break;
            // Every cut runs through another polygon's corner (polygons that overlap): the rest
            // is cut into triangles around that corner, which then is a corner of them all.
            // Every cut runs through another polygon's corner (polygons that overlap): the rest
            // is cut into triangles around such a corner, and each of them again, with the
            // corners on its sides, so that no side passes a corner.
            const auto centre = std::find_if(blockers.begin(), blockers.end(), strictlyInside);
            if (centre != blockers.end()) {
                const HalfPoint c = *centre;
                std::size_t i = current;
                do {
                    std::vector<HalfPoint> part = {c};
                    others->Between(c, ring[i], part);
                    part.push_back(ring[i]);
                    part.push_back(ring[next[i]]);
                    others->Between(ring[next[i]], c, part);
                    if (TwiceArea(part) > 0) Decompose(part, out, others);
                    i = next[i];
                } while (i != current);
                fanned = true;
                break;
            }
            avoidCorners = false;
            sinceCut = 0;
        }
        const std::size_t p = previous[current], q = next[current];
        // The cut p-q must not run along the rest of the ring (corners in a line with it).
        if (Cross(ring[p], ring[current], ring[q]) > 0 &&
            Cross(ring[p], ring[q], ring[next[q]]) != 0 &&
            Cross(ring[previous[p]], ring[p], ring[q]) != 0 && cutIsClear(ring[p], ring[q])) {
            ears.push_back({ring[p], ring[current], ring[q]});
            next[p] = q;
            previous[q] = p;
            --left;
            current = p;
            sinceCut = 0;
            avoidCorners = others != nullptr;
        } else {
            current = q;
            ++sinceCut;
        }
    }
    if (left > 3 && !fanned) Fail("A polygon of the face could not be cut into convex parts");
    if (!fanned && Cross(ring[previous[current]], ring[current], ring[next[current]]) != 0) {
        ears.push_back({ring[previous[current]], ring[current], ring[next[current]]});
    }
    // An ear cut after another at its far corner shares the cut edge: (p, v, q) then (r, p, q).
    for (std::size_t i = 0; i < ears.size(); ++i) {
        if (i + 1 < ears.size() && ears[i + 1][1] == ears[i][0] && ears[i + 1][2] == ears[i][2]) {
            std::vector<HalfPoint> quad = {ears[i + 1][0], ears[i][0], ears[i][1], ears[i][2]};
            if (StrictlyConvex(quad)) {
                out.push_back(std::move(quad));
                ++i;
                continue;
            }
        }
        out.push_back(ears[i]);
    }
}

std::string StudsText(double ldu) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, std::round(ldu / 20 * 10) / 10,
                                   std::chars_format::fixed, 1);
    return std::string(text, end.ptr);
}

// The words after "0 Sticker W x D": the sticker's name without its "Sticker:" lead, or else the
// description.
std::string StickerTitle(const StickerDetails& details) {
    std::string title = details[0];
    for (const char* lead : {"Sticker:", "Sticker"}) {
        if (title.rfind(lead, 0) == 0) {
            title.erase(0, std::char_traits<char>::length(lead));
            break;
        }
    }
    const auto first = title.find_first_not_of(' ');
    title = first == std::string::npos ? "" : title.substr(first);
    return title.empty() ? details[3] : title;
}

struct Point3 {
    double x, y, z;
};

// The edges of the face that no other polygon of it has (the other way round): the outline of
// the face and of its holes, each edge with the face on its left (positive cross product).
std::vector<Segment> OuterEdges(const std::vector<FacePolygon>& face) {
    // Each edge by its two corners' numbers on the half-pixel grid: an edge whose reverse is not
    // found is outer. (Eight bytes an edge, for pictures of up to about a billion pixels.)
    std::int64_t left = 0, right = 0, top = 0, bottom = 0;
    bool first = true;
    for (const FacePolygon& polygon : face) {
        for (const HalfPoint& p : polygon.corners) {
            if (first) left = right = p.x, top = bottom = p.y, first = false;
            left = std::min(left, p.x), right = std::max(right, p.x);
            top = std::min(top, p.y), bottom = std::max(bottom, p.y);
        }
    }
    std::uint64_t edgeCount = 0;
    for (const FacePolygon& polygon : face) edgeCount += polygon.corners.size();
    const std::uint64_t across = static_cast<std::uint64_t>(right - left + 1);
    if (!first && across * static_cast<std::uint64_t>(bottom - top + 1) < (std::uint64_t{1} << 32) &&
        edgeCount < (std::uint64_t{1} << 32)) {
        const auto number = [&](const HalfPoint& p) {
            return static_cast<std::uint64_t>(p.y - top) * across + static_cast<std::uint64_t>(p.x - left);
        };
        const auto key = [&](const HalfPoint& a, const HalfPoint& b) {
            return number(a) << 32 | number(b);
        };
        std::vector<std::uint64_t> keys;
        keys.reserve(edgeCount);
        for (const FacePolygon& polygon : face) {
            const std::size_t n = polygon.corners.size();
            for (std::size_t i = 0; i < n; ++i) keys.push_back(key(polygon.corners[i], polygon.corners[(i + 1) % n]));
        }
        std::sort(keys.begin(), keys.end());
        // Where the keys of each run of first corners start, so that a look-up searches a few.
        const std::uint64_t numbers = across * static_cast<std::uint64_t>(bottom - top + 1);
        int shift = 0;
        while ((numbers >> shift) > keys.size()) ++shift;
        std::vector<std::uint32_t> starts((numbers >> shift) + 2, 0);
        for (const std::uint64_t k : keys) ++starts[((k >> 32) >> shift) + 1];
        for (std::size_t i = 1; i < starts.size(); ++i) starts[i] += starts[i - 1];
        std::vector<Segment> outer;
        for (const FacePolygon& polygon : face) {
            const std::size_t n = polygon.corners.size();
            for (std::size_t i = 0; i < n; ++i) {
                const HalfPoint& a = polygon.corners[i];
                const HalfPoint& b = polygon.corners[(i + 1) % n];
                const std::uint64_t reverse = key(b, a);
                const std::size_t run = static_cast<std::size_t>((reverse >> 32) >> shift);
                const auto from = keys.begin() + starts[run], to = keys.begin() + starts[run + 1];
                if (!std::binary_search(from, to, reverse)) outer.emplace_back(a, b);
            }
        }
        return outer;
    }
    std::vector<Segment> edges;
    for (const FacePolygon& polygon : face) {
        const std::size_t n = polygon.corners.size();
        for (std::size_t i = 0; i < n; ++i) {
            edges.emplace_back(polygon.corners[i], polygon.corners[(i + 1) % n]);
        }
    }
    std::vector<Segment> sorted = edges;
    std::sort(sorted.begin(), sorted.end());
    std::vector<Segment> outer;
    for (const Segment& edge : edges) {
        if (!std::binary_search(sorted.begin(), sorted.end(), Segment{edge.second, edge.first})) {
            outer.push_back(edge);
        }
    }
    return outer;
}

class PartText {
public:
    explicit PartText(const TextSink& out) : out_(out) { text_.reserve(1 << 20); }
    void Line(const std::string& line) {
        if (line.rfind("3 ", 0) == 0) ++triangles_;
        if (line.rfind("4 ", 0) == 0) ++quadrilaterals_;
        text_ += line;
        text_ += "\r\n";
        if (text_.size() > (1 << 20) - 512) Flush();
    }
    // A polygon whose corners run counter-clockwise seen from the side `facing` points to.
    void Polygon(std::int32_t color, std::vector<Point3> corners, const Point3& facing,
                 const char* lead = "") {
        const Point3 &a = corners[0], &b = corners[1], &c = corners[2];
        const Point3 u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
        const Point3 normal{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        if (normal.x * facing.x + normal.y * facing.y + normal.z * facing.z < 0) {
            std::reverse(corners.begin(), corners.end());
        }
        std::string line = lead;
        line += corners.size() == 3 ? "3 " : "4 ";
        line += ColorText(color);
        for (const Point3& p : corners) {
            line += ' ' + LduText(p.x) + ' ' + LduText(p.y) + ' ' + LduText(p.z);
        }
        Line(line);
    }
    void Flush() {
        out_(text_);
        text_.clear();
    }
    std::uint64_t Quadrilaterals() const { return quadrilaterals_; }
    std::uint64_t Triangles() const { return triangles_; }

private:
    const TextSink& out_;
    std::string text_;
    std::uint64_t quadrilaterals_ = 0, triangles_ = 0;
};

// Whether the cut of a polygon runs through no corner of another and adds none of theirs (which
// polygons that overlap it can have inside).
bool ClearOf(const CornerIndex& corners, const std::vector<CutPolygon>& cut,
             const std::vector<HalfPoint>& ring) {
    std::vector<HalfPoint> between;
    for (const CutPolygon& polygon : cut) {
        for (int i = 0; i < polygon.count; ++i) {
            const HalfPoint& a = polygon.corners[static_cast<std::size_t>(i)];
            corners.Between(a, polygon.corners[static_cast<std::size_t>((i + 1) % polygon.count)], between);
            if (!between.empty()) return false;
            if (corners.Has(a) && std::find(ring.begin(), ring.end(), a) == ring.end()) return false;
        }
    }
    return true;
}

}  // namespace

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

// Whether a point lies strictly inside a convex polygon (counter-clockwise by the cross product).
bool StrictlyInside(const std::vector<HalfPoint>& ring, const HalfPoint& p) {
    for (std::size_t i = 0; i < ring.size(); ++i) {
        if (Cross(ring[i], ring[(i + 1) % ring.size()], p) <= 0) return false;
    }
    return true;
}

bool InsideOrOn(const std::vector<HalfPoint>& ring, const HalfPoint& p) {
    for (std::size_t i = 0; i < ring.size(); ++i) {
        if (Cross(ring[i], ring[(i + 1) % ring.size()], p) < 0) return false;
    }
    return true;
}

// The picture the polygons show, pixel by pixel (the colour of the last polygon over a pixel's
// centre; pixels under none are left out), and whether two polygons lie over one centre.
struct Shown {
    std::int64_t left = 0, top = 0;  // the grid's top-left corner, in half units
    std::int32_t width = 0, height = 0;
    std::vector<std::int32_t> codes;
    bool overlapped = false;
};

Shown ShownPicture(const std::vector<FacePolygon>& valid) {
    Shown shown;
    if (valid.empty()) return shown;
    std::int64_t right = valid[0].corners[0].x, bottom = valid[0].corners[0].y;
    shown.left = right, shown.top = bottom;
    for (const FacePolygon& polygon : valid) {
        for (const HalfPoint& p : polygon.corners) {
            shown.left = std::min(shown.left, p.x), right = std::max(right, p.x);
            shown.top = std::min(shown.top, p.y), bottom = std::max(bottom, p.y);
        }
    }
    shown.width = static_cast<std::int32_t>((right - shown.left + 1) / 2);
    shown.height = static_cast<std::int32_t>((bottom - shown.top + 1) / 2);
    shown.codes.assign(static_cast<std::size_t>(shown.width) * shown.height, kNotCovered);
    std::vector<std::uint8_t> covered(shown.codes.size(), 0);
    for (const FacePolygon& polygon : valid) {
        std::int64_t x0 = right, x1 = shown.left, y0 = bottom, y1 = shown.top;
        for (const HalfPoint& p : polygon.corners) {
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        }
        for (std::int64_t r = (y0 - shown.top) / 2; r < shown.height && shown.top + 1 + 2 * r <= y1; ++r) {
            for (std::int64_t c = (x0 - shown.left) / 2; c < shown.width && shown.left + 1 + 2 * c <= x1; ++c) {
                const HalfPoint centre{shown.left + 1 + 2 * c, shown.top + 1 + 2 * r};
                if (!InsideOrOn(polygon.corners, centre)) continue;
                const std::size_t at = static_cast<std::size_t>(r * shown.width + c);
                if (StrictlyInside(polygon.corners, centre)) {
                    shown.overlapped = shown.overlapped || covered[at];
                    covered[at] = 1;
                }
                shown.codes[at] = polygon.Color;
            }
        }
    }
    return shown;
}

// The regions of one colour (pixels side by side) in the picture shown.
std::size_t RegionsOf(const Shown& shown) {
    const std::size_t w = static_cast<std::size_t>(shown.width), count = shown.codes.size();
    std::vector<std::uint32_t> parent(count);
    std::iota(parent.begin(), parent.end(), 0);
    const auto root = [&](std::uint32_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    std::size_t regions = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (shown.codes[i] == kNotCovered) continue;
        ++regions;
        for (const std::size_t j : {i % w > 0 ? i - 1 : i, i >= w ? i - w : i}) {
            if (j == i || shown.codes[j] != shown.codes[i]) continue;
            const std::uint32_t a = root(static_cast<std::uint32_t>(i)), b = root(static_cast<std::uint32_t>(j));
            if (a != b) parent[a] = b, --regions;
        }
    }
    return regions;
}

}  // namespace

std::vector<FacePolygon> BuildStickerFace(const Quads& quads, const PictureCodes* picture) {
    std::vector<FacePolygon> valid;
    valid.reserve(quads.size());
    for (const LdrawQuad& quad : quads) {
        for (auto& ring : ValidPolygons(quad)) valid.push_back({quad.Color, std::move(ring)});
    }
    // Polygons that overlap (the full conversion's slanted ones cross their neighbours) make no
    // clean face: the picture they show, pixel by pixel, is traced again along its outlines
    // (within half a pixel), which meet without overlaps. Rectangles of whole pixels, where some
    // lie side by side in one colour, are traced again step for step: each region of one colour
    // cut as a whole needs fewer polygons than its rectangles cut apart, every one at the
    // corners of its neighbours.
    Shown shown = ShownPicture(valid);
    // Pixels of the picture that its polygons leave bare (between slanted sides) show their
    // own colour in the face traced again: no gap where the picture has none.
    if (shown.overlapped && picture && !valid.empty() && shown.left % 2 == 0 && shown.top % 2 == 0) {
        const std::int64_t left = shown.left, top = shown.top;
        const std::int32_t width = shown.width, height = shown.height;
        std::vector<std::int32_t> whole = picture->codes;
        for (std::int32_t r = 0; r < height; ++r) {
            for (std::int32_t c = 0; c < width; ++c) {
                const std::int64_t x = (left - 2) / 2 + c, y = (top - 2) / 2 + r;
                if (x < 0 || y < 0 || x >= picture->width || y >= picture->height) continue;
                const std::int32_t code = shown.codes[static_cast<std::size_t>(r) * width + c];
                if (code != kNotCovered) whole[static_cast<std::size_t>(y * picture->width + x)] = code;
            }
        }
        shown.codes = std::move(whole);
        shown.left = shown.top = 2;
        shown.width = picture->width;
        shown.height = picture->height;
    }
    const bool pixelRectangles = std::all_of(valid.begin(), valid.end(), [](const FacePolygon& polygon) {
        if (polygon.corners.size() != 4) return false;
        for (std::size_t i = 0; i < 4; ++i) {
            const HalfPoint& a = polygon.corners[i];
            const HalfPoint& b = polygon.corners[(i + 1) % 4];
            if (a.x % 2 != 0 || a.y % 2 != 0 || (a.x != b.x && a.y != b.y)) return false;
        }
        return true;
    });
    if (shown.overlapped || (pixelRectangles && RegionsOf(shown) < valid.size())) {
        std::vector<FacePolygon>().swap(valid);
        Quads outlines;
        const VectorOptions retrace{shown.overlapped ? 0.5 : 0.0, 0};
        CoverWithOutlines(shown.width, shown.height, std::move(shown.codes), retrace, outlines);
        const double dx = static_cast<double>(shown.left) / 2 - 1;
        const double dy = static_cast<double>(shown.top) / 2 - 1;
        for (LdrawQuad& quad : outlines) {
            quad.X1 += dx, quad.X2 += dx, quad.X3 += dx, quad.X4 += dx;
            quad.Y1 += dy, quad.Y2 += dy, quad.Y3 += dy, quad.Y4 += dy;
        }
        valid.reserve(outlines.size());
        for (const LdrawQuad& quad : outlines) {
            for (auto& ring : ValidPolygons(quad)) valid.push_back({quad.Color, std::move(ring)});
        }
    } else {
        std::vector<std::int32_t>().swap(shown.codes);
    }
    const CornerIndex corners(valid);
    std::vector<FacePolygon> face;
    face.reserve(valid.size());
    std::vector<HalfPoint> ring;
    std::vector<std::vector<HalfPoint>> parts;
    RegionCutter cutter;
    std::vector<Segment> segments;
    std::vector<CutPolygon> cut;
    for (FacePolygon& polygon : valid) {
        ring.clear();
        const std::size_t n = polygon.corners.size();
        for (std::size_t i = 0; i < n; ++i) {
            ring.push_back(polygon.corners[i]);
            corners.Between(polygon.corners[i], polygon.corners[(i + 1) % n], ring);
        }
        if (ring.size() == n && AcceptedPolygon(ring.data(), static_cast<int>(n))) {
            face.push_back(std::move(polygon));  // nothing to split: taken as it is
            continue;
        }
        segments.clear();
        for (std::size_t i = 0; i < ring.size(); ++i) {
            segments.emplace_back(ring[i], ring[(i + 1) % ring.size()]);
        }
        if ((CutIntoStrip(ring, cut) || cutter.Cut(segments, cut)) && ClearOf(corners, cut, ring)) {
            for (const CutPolygon& part : cut) {
                face.push_back({polygon.Color, {part.corners.begin(), part.corners.begin() + part.count}});
            }
            continue;
        }
        // Overlapping polygons of the full conversion can leave no accepted cut.
        parts.clear();
        Decompose(ring, parts, &corners);
        for (auto& part : parts) face.push_back({polygon.Color, std::move(part)});
    }
    return face;
}

StickerBacking BuildStickerBacking(const std::vector<FacePolygon>& face) {
    StickerBacking backing;
    backing.outline = OuterEdges(face);
    RegionCutter cutter;
    if (backing.outline.empty() || backing.outline.size() > kMostOutlineToCut ||
        !cutter.Cut(backing.outline, backing.area)) {
        backing.area.clear();
        for (const FacePolygon& polygon : face) {
            CutPolygon copy;
            copy.count = static_cast<int>(polygon.corners.size());
            std::copy(polygon.corners.begin(), polygon.corners.end(), copy.corners.begin());
            backing.area.push_back(copy);
        }
    }
    return backing;
}

void EmitStickerPart(Shell& shell, const Picture& picture, const std::vector<FacePolygon>& face,
                     const StickerBacking& backing, std::int32_t height,
                     const StickerDetails& details, const std::string& fileName,
                     const TextSink& out, PartFileCounts* counts, const TextureMapping* texture) {
    if (picture.Height() == 0) Fail(failure::DivisionByZero);
    const double scale = static_cast<double>(height) / picture.Height();
    const std::int64_t w = picture.Width(), h = picture.Height();
    // The sticker is what the face covers (the picture less the pixels left out), centred on the
    // origin; its size is in the description, in studs.
    std::int64_t left = 2, right = 2 * w + 2, top = 2, bottom = 2 * h + 2;
    if (!face.empty()) {
        left = right = face[0].corners[0].x;
        top = bottom = face[0].corners[0].y;
        for (const FacePolygon& polygon : face) {
            for (const HalfPoint& p : polygon.corners) {
                left = std::min(left, p.x), right = std::max(right, p.x);
                top = std::min(top, p.y), bottom = std::max(bottom, p.y);
            }
        }
    }
    PartText text(out);
    text.Line("0 Sticker " + StudsText(static_cast<double>(bottom - top) / 2 * scale) + " x " +
              StudsText(static_cast<double>(right - left) / 2 * scale) + " " +
              StickerTitle(details));
    text.Line("0 Name: " + fileName);
    text.Line("0 Author: " + details[2]);
    text.Line("0 !LDRAW_ORG Unofficial_Part");
    text.Line("0 !LICENSE Licensed under CC BY 4.0 : see CAreadme.txt");
    text.Line("");
    text.Line("0 BFC CERTIFY CCW");
    text.Line("");

    WriteLog(shell.log, "WRITE PART FILE: About to write to raw image data");
    // Picture corner (1, 1) is the top-left; the top edge goes to +Z, seen from above.
    auto place = [&](const HalfPoint& p, double y) {
        return Point3{static_cast<double>(2 * p.x - left - right) * scale / 4, y,
                      -static_cast<double>(2 * p.y - top - bottom) * scale / 4};
    };
    std::vector<Point3> corners3;
    // Face corners are half pixels of the picture: each coordinate's text is made once. The
    // polygons turn the other way once Z runs against the picture's rows, so they are
    // written from their last corner, to face up.
    std::vector<std::string> xTexts(static_cast<std::size_t>(2 * w + 3)),
        zTexts(static_cast<std::size_t>(2 * h + 3));
    for (std::size_t i = 0; i < xTexts.size(); ++i) {
        xTexts[i] = ' ' + LduText(place({static_cast<std::int64_t>(i), 2}, 0).x) + ' ' +
                    LduText(kFaceY) + ' ';
    }
    for (std::size_t i = 0; i < zTexts.size(); ++i) {
        zTexts[i] = LduText(place({2, static_cast<std::int64_t>(i)}, 0).z);
    }
    const std::vector<Segment>& outline = backing.outline;
    const std::vector<CutPolygon>& area = backing.area;
    const auto corners3Of = [&](const CutPolygon& polygon, double y) {
        corners3.clear();
        for (int i = 0; i < polygon.count; ++i) {
            corners3.push_back(place(polygon.corners[static_cast<std::size_t>(i)], y));
        }
        return corners3;
    };
    if (texture) {
        // The texture's top-left, top-right and bottom-left corners: the picture at its top left.
        std::string start = "0 !TEXMAP START PLANAR";
        for (const HalfPoint& p : {HalfPoint{2, 2}, HalfPoint{2 * texture->width + 2, 2},
                                   HalfPoint{2, 2 * texture->height + 2}}) {
            const Point3 q = place(p, kFaceY);
            start += ' ' + LduText(q.x) + ' ' + LduText(q.y) + ' ' + LduText(q.z);
        }
        text.Line(start + ' ' + texture->name);
        for (const CutPolygon& polygon : area) text.Polygon(16, corners3Of(polygon, kFaceY), {0, -1, 0}, "0 !: ");
        text.Line("0 !TEXMAP FALLBACK");
    }
    std::string line;
    for (const FacePolygon& polygon : face) {
        line.assign(polygon.corners.size() == 3 ? "3 " : "4 ");
        line += ColorText(polygon.Color);
        for (auto p = polygon.corners.rbegin(); p != polygon.corners.rend(); ++p) {
            line += xTexts[static_cast<std::size_t>(p->x)];
            line += zTexts[static_cast<std::size_t>(p->y)];
        }
        text.Line(line);
    }

    if (texture) text.Line("0 !TEXMAP END");

    // The backing. Its sides stand on the face's outer edges (those no other polygon of the face
    // shares), one rectangle each, facing out of the face; its bottom is the face's area.
    for (const auto& [a, b] : outline) {
        const std::int64_t dx = b.x - a.x, dy = b.y - a.y;
        text.Polygon(16, {place(a, kFaceY), place(b, kFaceY), place(b, 0), place(a, 0)},
                     Point3{static_cast<double>(dy), 0, static_cast<double>(dx)});
    }
    for (const CutPolygon& polygon : area) text.Polygon(16, corners3Of(polygon, 0), {0, 1, 0});
    text.Flush();
    if (counts) {
        counts->quadrilaterals = text.Quadrilaterals();
        counts->triangles = text.Triangles();
    }
}

bool WriteStickerPart(Shell& shell, const Picture& picture, const Quads& quads,
                      const std::string& path, std::int32_t height, const StickerDetails& details,
                      PendingFiles* pending, PartFileCounts* counts) {
    if (picture.Height() == 0) Fail(failure::DivisionByZero);
    std::vector<FacePolygon> face;
    StickerBacking backing;
    try {
        face = BuildStickerFace(quads);
        backing = BuildStickerBacking(face);
    } catch (...) {
        ReportFailure(shell, "WritePartFile", "WRITE PART FILE: ERROR CONVERTING BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
    return WriteStickerPart(shell, picture, face, backing, path, height, details, pending, counts);
}

bool WriteStickerPart(Shell& shell, const Picture& picture, const std::vector<FacePolygon>& face,
                      const StickerBacking& backing, const std::string& path, std::int32_t height,
                      const StickerDetails& details, PendingFiles* pending,
                      PartFileCounts* counts) {
    if (picture.Height() == 0) Fail(failure::DivisionByZero);
    try {
        WriteLog(shell.log, "WRITE PART FILE: Starting");
        CheckSingleLineDetails(details);
        if (face.empty()) Fail(kNothingLeft);
        CheckRoomFor(path, face.size() * kLeastBytesPerPolygon);
        WriteLog(shell.log, "WRITE PART FILE: About to create output file");
        AtomicFileWriter file(path);
        WriteLog(shell.log, "WRITE PART FILE: About to write to file");
        PartFileCounts written;
        EmitStickerPart(
            shell, picture, face, backing, height, details, FileNameOf(path),
            [&file](std::string_view text) { file.Write(text); }, &written);
        WriteLog(shell.log, "WRITE PART FILE: About to close file");
        written.bytes = file.Size();
        if (counts) *counts = written;
        CommitOrKeep(file, pending);
        WriteLog(shell.log, "WRITE PART FILE: Done");
        return true;
    } catch (...) {
        ReportFailure(shell, "WritePartFile", "WRITE PART FILE: ERROR CONVERTING BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
