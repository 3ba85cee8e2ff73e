#include "conversion/sticker_part.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numeric>

#include "shell/atomic_file.h"
#include "shell/failure.h"

namespace mosaikon {

namespace {

// The picture face lies this far above the backing's bottom, which is the part's origin plane.
constexpr double kFaceY = -0.25;

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
    std::vector<HalfPoint> ring;
    for (const HalfPoint p : {ToHalfUnits(quad.X1, quad.Y1), ToHalfUnits(quad.X2, quad.Y2),
                              ToHalfUnits(quad.X3, quad.Y3), ToHalfUnits(quad.X4, quad.Y4)}) {
        if (std::find(ring.begin(), ring.end(), p) == ring.end()) ring.push_back(p);
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

// Every corner of the face, sorted two ways, to find the corners lying on an edge.
class CornerIndex {
public:
    explicit CornerIndex(const std::vector<FacePolygon>& polygons) {
        for (const FacePolygon& polygon : polygons) {
            for (const HalfPoint& p : polygon.corners) byRow_.push_back(p);
        }
        std::sort(byRow_.begin(), byRow_.end(),
                  [](const HalfPoint& a, const HalfPoint& b) { return Row(a) < Row(b); });
        byRow_.erase(std::unique(byRow_.begin(), byRow_.end()), byRow_.end());
        byColumn_ = byRow_;
        std::sort(byColumn_.begin(), byColumn_.end());
    }

    // The corners strictly inside the segment from a to b, in order from a.
    void Between(const HalfPoint& a, const HalfPoint& b, std::vector<HalfPoint>& out) const {
        const std::int64_t dx = b.x - a.x, dy = b.y - a.y;
        if (dy == 0) {
            Run(
                byRow_, a, b, [](const HalfPoint& p) { return Row(p); }, dx > 0, out);
        } else if (dx == 0) {
            Run(
                byColumn_, a, b, [](const HalfPoint& p) { return std::pair(p.x, p.y); }, dy > 0,
                out);
        } else {
            const std::int64_t steps = std::gcd(std::llabs(dx), std::llabs(dy));
            for (std::int64_t k = 1; k < steps; ++k) {
                const HalfPoint p{a.x + dx / steps * k, a.y + dy / steps * k};
                if (std::binary_search(byColumn_.begin(), byColumn_.end(), p)) out.push_back(p);
            }
        }
    }

    const std::vector<HalfPoint>& All() const { return byColumn_; }

private:
    static std::pair<std::int64_t, std::int64_t> Row(const HalfPoint& p) { return {p.y, p.x}; }

    template <typename Key>
    static void Run(const std::vector<HalfPoint>& sorted, const HalfPoint& a, const HalfPoint& b,
                    Key key, bool forward, std::vector<HalfPoint>& out) {
        const auto low = forward ? a : b, high = forward ? b : a;
        auto first =
            std::upper_bound(sorted.begin(), sorted.end(), key(low),
                             [&](const auto& k, const HalfPoint& p) { return k < key(p); });
        auto last = std::lower_bound(sorted.begin(), sorted.end(), key(high),
                                     [&](const HalfPoint& p, const auto& k) { return key(p) < k; });
        const std::size_t start = out.size();
        out.insert(out.end(), first, last);
        if (!forward) std::reverse(out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
    }

    std::vector<HalfPoint> byRow_;
    std::vector<HalfPoint> byColumn_;
};

// Cuts a convex ring of positive area, which may have corners in a line, into strictly convex
// quadrilaterals and triangles between its own corners: ears are cut at corners that turn, and
// two ears next to each other become one quadrilateral where that is convex.
// Cuts avoid the corners of other polygons (which overlapping polygons can have inside), so that
// no cut makes a T-junction; only where no other cut is left is one taken all the same.
void Decompose(const std::vector<HalfPoint>& ring, std::vector<std::vector<HalfPoint>>& out,
               const CornerIndex* others = nullptr) {
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
    auto cutIsClear = [&](const HalfPoint& a, const HalfPoint& b) {
        if (!avoidCorners) return true;
        onCut.clear();
        others->Between(a, b, onCut);
        return onCut.empty();
    };
    while (left > 3) {
        if (sinceCut > left) {
            if (!avoidCorners) break;
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
    if (left > 3) Fail("A polygon of the face could not be cut into convex parts");
    if (Cross(ring[previous[current]], ring[current], ring[next[current]]) != 0) {
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

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

class PartText {
public:
    explicit PartText(AtomicFileWriter& file) : file_(file) { text_.reserve(1 << 20); }
    void Line(const std::string& line) { Append(line + "\r\n"); }
    // A polygon whose corners run counter-clockwise seen from the side `facing` points to.
    void Polygon(std::int32_t color, std::vector<Point3> corners, const Point3& facing) {
        const Point3 &a = corners[0], &b = corners[1], &c = corners[2];
        const Point3 u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
        const Point3 normal{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        if (normal.x * facing.x + normal.y * facing.y + normal.z * facing.z < 0) {
            std::reverse(corners.begin(), corners.end());
        }
        std::string line = corners.size() == 3 ? "3 " : "4 ";
        line += ColorText(color);
        for (const Point3& p : corners) {
            line += ' ' + LduText(p.x) + ' ' + LduText(p.y) + ' ' + LduText(p.z);
        }
        Line(line);
    }
    void Flush() {
        file_.Write(text_);
        text_.clear();
    }

private:
    void Append(const std::string& s) {
        text_ += s;
        if (text_.size() > (1 << 20) - 512) Flush();
    }
    AtomicFileWriter& file_;
    std::string text_;
};

}  // namespace

std::vector<FacePolygon> BuildStickerFace(const Quads& quads) {
    std::vector<FacePolygon> valid;
    for (const LdrawQuad& quad : quads) {
        for (auto& ring : ValidPolygons(quad)) valid.push_back({quad.Color, std::move(ring)});
    }
    const CornerIndex corners(valid);
    std::vector<FacePolygon> face;
    std::vector<HalfPoint> ring;
    std::vector<std::vector<HalfPoint>> parts;
    for (const FacePolygon& polygon : valid) {
        ring.clear();
        const std::size_t n = polygon.corners.size();
        for (std::size_t i = 0; i < n; ++i) {
            ring.push_back(polygon.corners[i]);
            corners.Between(polygon.corners[i], polygon.corners[(i + 1) % n], ring);
        }
        parts.clear();
        Decompose(ring, parts, &corners);
        for (auto& part : parts) face.push_back({polygon.Color, std::move(part)});
    }
    return face;
}

std::string LduText(double value) {
    const long long tenThousandths = std::llround(value * 10000);
    if (tenThousandths == 0) return "0";
    const unsigned long long magnitude =
        static_cast<unsigned long long>(std::llabs(tenThousandths));
    std::string text = tenThousandths < 0 ? "-" : "";
    text += std::to_string(magnitude / 10000);
    unsigned long long fraction = magnitude % 10000;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 4 - digits.size(), '0');
        digits.erase(digits.find_last_not_of('0') + 1);
        text += '.' + digits;
    }
    return text;
}

bool WriteStickerPart(Shell& shell, const Picture& picture, const Quads& quads,
                      const std::string& path, std::int32_t height, const StickerDetails& details,
                      PendingFiles* pending) {
    if (picture.Height() == 0) Fail(failure::DivisionByZero);
    const double scale = static_cast<double>(height) / picture.Height();
    try {
        WriteLog(shell.log, "WRITE PART FILE: Starting");
        for (const std::string& detail : details) {
            if (!IsSingleLine(detail)) Fail("The sticker details must be single lines of text");
        }
        const std::vector<FacePolygon> face = BuildStickerFace(quads);
        const CornerIndex corners(face);
        WriteLog(shell.log, "WRITE PART FILE: About to create output file");
        AtomicFileWriter file(path);
        WriteLog(shell.log, "WRITE PART FILE: About to write to file");
        const std::int64_t w = picture.Width(), h = picture.Height();
        PartText text(file);
        text.Line("0 Sticker " + StudsText(h * scale) + " x " + StudsText(w * scale) + " " +
                  StickerTitle(details));
        text.Line("0 Name: " + FileNameOf(path));
        text.Line("0 Author: " + details[2]);
        text.Line("0 !LDRAW_ORG Unofficial_Part");
        text.Line("0 !LICENSE Licensed under CC BY 4.0 : see CAreadme.txt");
        text.Line("");
        text.Line("0 BFC CERTIFY CCW");
        text.Line("");

        WriteLog(shell.log, "WRITE PART FILE: About to write to raw image data");
        // Picture corner (1, 1) is the top-left; the top edge goes to +Z, seen from above.
        auto place = [&](const HalfPoint& p, double y) {
            return Point3{static_cast<double>(p.x - 2 - w) * scale / 2, y,
                          -static_cast<double>(p.y - 2 - h) * scale / 2};
        };
        const Point3 up{0, -1, 0};
        std::vector<Point3> corners3;
        for (const FacePolygon& polygon : face) {
            corners3.clear();
            for (const HalfPoint& p : polygon.corners) corners3.push_back(place(p, kFaceY));
            text.Polygon(polygon.Color, corners3, up);
        }

        // The backing: four sides, each cut at the face's corners along its top edge, and the
        // bottom, written facing down and, for the view through left-out pixels, facing up.
        const HalfPoint rim[4] = {{2, 2}, {2 * w + 2, 2}, {2 * w + 2, 2 * h + 2}, {2, 2 * h + 2}};
        std::vector<HalfPoint> along;
        std::vector<std::vector<HalfPoint>> parts;
        for (int side = 0; side < 4; ++side) {
            const HalfPoint a = rim[side], b = rim[(side + 1) % 4];
            along.assign({a});
            corners.Between(a, b, along);
            along.push_back(b);
            // In the side's own plane: u along the rim, v = 0 at the face and 1 at the bottom.
            std::vector<HalfPoint> ring;
            for (std::size_t i = 0; i < along.size(); ++i) {
                ring.push_back({static_cast<std::int64_t>(i), 0});
            }
            ring.push_back({static_cast<std::int64_t>(along.size() - 1), 1});
            ring.push_back({0, 1});
            parts.clear();
            Decompose(ring, parts);
            const Point3 outward = place(b, 0).x == place(a, 0).x
                                       ? Point3{place(a, 0).x < 0 ? -1.0 : 1.0, 0, 0}
                                       : Point3{0, 0, place(a, 0).z < 0 ? -1.0 : 1.0};
            for (const auto& part : parts) {
                corners3.clear();
                for (const HalfPoint& p : part) {
                    corners3.push_back(
                        place(along[static_cast<std::size_t>(p.x)], p.y == 0 ? kFaceY : 0.0));
                }
                text.Polygon(16, corners3, outward);
            }
        }
        std::vector<Point3> bottom;
        for (const HalfPoint& p : rim) bottom.push_back(place(p, 0));
        text.Polygon(16, bottom, {0, 1, 0});
        text.Polygon(16, bottom, up);
        text.Flush();
        WriteLog(shell.log, "WRITE PART FILE: About to close file");
        if (pending) {
            pending->Add(std::move(file));
        } else {
            file.Commit();
        }
        WriteLog(shell.log, "WRITE PART FILE: Done");
        return true;
    } catch (...) {
        ReportFailure(shell, "WritePartFile", "WRITE PART FILE: ERROR CONVERTING BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
