// A drawing's shapes into a sticker's polygons: each shape's visible part by exact polygon
// booleans on a lattice (the Clipper library), faces of one colour joined, every face's corners
// shared with its neighbours, and each face cut by the region cutter.

#include "conversion/drawing_conversion.h"

#include <polyclipping/clipper.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <unordered_map>

#include "conversion/lattice_polygon.h"
#include "geometry/region_cut.h"
#include "image/colours.h"
#include "image/ldraw_colours.h"
#include "shell/failure.h"

namespace mosaikon {

namespace {

using ClipperLib::IntPoint;
using ClipperLib::Path;
using ClipperLib::Paths;

struct Box {
    ClipperLib::cInt left = std::numeric_limits<ClipperLib::cInt>::max(), top = left;
    ClipperLib::cInt right = std::numeric_limits<ClipperLib::cInt>::min(), bottom = right;
    void Add(const IntPoint& p) {
        left = std::min(left, p.X);
        right = std::max(right, p.X);
        top = std::min(top, p.Y);
        bottom = std::max(bottom, p.Y);
    }
    bool Meets(const Box& other) const {
        return left <= other.right && other.left <= right && top <= other.bottom &&
               other.top <= bottom;
    }
};

// A shape on the lattice: its outline made simple (outer rings and holes, filled nonzero), its
// colour code and the box around it.
struct LatticeShape {
    Paths paths;
    std::array<std::uint8_t, 3> rgb{};
    std::int32_t code = 0;
    Box box;
};

// How far (in lattice units, a 4,096th of the sticker's height) each corner of a polygon lies
// at least from its other sides: the parts library takes a corner within 0.0002 LDU of a side
// for a point on it, which this keeps clear of on stickers from 24 LDU high.
constexpr double kLeastCornerHeight = 0.04;

// The most rounds of sharing corners and untangling the faces it folds or bends over.
constexpr int kMostSharingRounds = 8;

// The most shapes a drawing becomes once its partly transparent shapes are split over what lies
// beneath them.
constexpr std::size_t kMostLatticeShapes = 200000;

// A face: an area of one code, its outline first and its holes after it.
struct Face {
    std::int32_t code = 0;
    std::vector<Path> rings;
};

double TwiceArea(const Path& ring) {
    double area = 0;
    for (std::size_t i = 0, n = ring.size(); i < n; ++i) {
        const IntPoint& a = ring[i];
        const IntPoint& b = ring[(i + 1) % n];
        area += static_cast<double>(a.X) * static_cast<double>(b.Y) -
                static_cast<double>(b.X) * static_cast<double>(a.Y);
    }
    return area;
}

std::int32_t CodeOf(const std::array<std::uint8_t, 3>& rgb, const std::vector<LdrawColour>& set) {
    if (set.empty()) return DirectColorCode(PaletteEntry{rgb[2], rgb[1], rgb[0], 0});
    const Lab lab = SrgbToLab(rgb[0], rgb[1], rgb[2]);
    std::int32_t best = set.front().code;
    double nearest = std::numeric_limits<double>::infinity();
    for (const LdrawColour& colour : set) {
        const double difference = Ciede2000(lab, SrgbToLab(colour.red, colour.green, colour.blue));
        if (difference < nearest) {
            nearest = difference;
            best = colour.code;
        }
    }
    return best;
}

class DrawingFaces {
public:
    DrawingFaces(const Drawing& drawing, const DrawingColours& colours,
                 const ProgressCallback& progress)
        : drawing_(drawing), progress_(progress) {
        if (colours.set != ColourSet::Direct) set_ = ColoursOfSet(LdrawColours(), colours.set);
        scale_ = drawing.height > 0 ? 2.0 * kDrawingPictureHeight / drawing.height : 0;
        const ClipperLib::cInt right = 2 * static_cast<ClipperLib::cInt>(DrawingPictureWidth(drawing));
        const ClipperLib::cInt bottom = 2 * kDrawingPictureHeight;
        frame_ = {{0, 0}, {right, 0}, {right, bottom}, {0, bottom}};
    }

    void Make(Quads& quads, DrawingConversionRun& run) {
        PlaceShapes();
        std::vector<Face> faces = VisibleFaces();
        // Untangling a fold or a crossing may leave a corner on a neighbour's side: shared
        // again, until no ring changes (a few rounds; a corner of a face of a unit or two may go
        // back and forth between two neighbours for ever).
        for (int round = 0; round < kMostSharingRounds; ++round) {
            if (!ShareCorners(faces) && round > 0) break;
            faces = Untangled(std::move(faces));
        }
        RegionCutter cutter(kLeastCornerHeight);
        std::vector<CutPolygon> pieces;
        // A face the cutter cannot take (where making it simple kept a crossing of sides under
        // a unit long) is made simple again without its corners in a line, its parts cut after
        // the rest; those are not tried again.
        const std::size_t made = faces.size();
        for (std::size_t f = 0; f < faces.size(); ++f) {
            if ((f & 63) == 0) Report(0.7 + 0.3 * static_cast<double>(f) / faces.size());
            std::vector<Segment> segments;
            for (std::size_t r = 0; r < faces[f].rings.size(); ++r) {
                // The face on the left of every side: its outline counter-clockwise by the cross
                // product, its holes the other way.
                Path& ring = faces[f].rings[r];
                if ((TwiceArea(ring) < 0) == (r == 0)) std::reverse(ring.begin(), ring.end());
                for (std::size_t i = 0, n = ring.size(); i < n; ++i) {
                    const IntPoint& a = ring[i];
                    const IntPoint& b = ring[(i + 1) % n];
                    segments.emplace_back(GridPoint{a.X, a.Y}, GridPoint{b.X, b.Y});
                }
            }
            const std::uint64_t least = LeastPieces(segments, faces[f].rings.size() - 1);
            const std::uint64_t counted = CountedPieces(segments.size(), faces[f].rings.size() - 1);
            pieces.clear();
            if (segments.size() < 3 || !cutter.Cut(segments, pieces)) {
                if (f < made) {
                    ++run.faces;
                    const std::size_t before = faces.size();
                    MadeSimple(WithOwnCornersShared(faces[f]), false, faces);
                    if (faces.size() > before) continue;
                }
                ++run.facesLeftOut;
                continue;
            }
            if (f < made) ++run.faces;
            run.leastPolygons += least;
            run.countedPolygons += counted;
            for (const CutPolygon& piece : pieces) AppendLatticePolygon(faces[f].code, piece, quads);
        }
    }

private:
    void Report(double share) const {
        if (progress_ && !progress_(share)) throw ConversionStopped{};
    }

    IntPoint OnLattice(const DrawingPoint& p) const {
        const double x = std::clamp(p.x * scale_, -kFarthest, kFarthest);
        const double y = std::clamp(p.y * scale_, -kFarthest, kFarthest);
        return {static_cast<ClipperLib::cInt>(std::llround(x)),
                static_cast<ClipperLib::cInt>(std::llround(y))};
    }

    // Each shape on the lattice, its own crossings resolved once by its fill rule, so that every
    // boolean after works on the same outline of it.
    Paths RingsOnLattice(const DrawnShape& drawn) const {
        Paths paths;
        for (const auto& ring : drawn.rings) {
            Path& path = paths.emplace_back();
            for (const DrawingPoint& p : ring) {
                const IntPoint q = OnLattice(p);
                if (path.empty() || !(path.back() == q)) path.push_back(q);
            }
            while (path.size() > 1 && path.front() == path.back()) path.pop_back();
            if (path.size() < 3) paths.pop_back();
        }
        return paths;
    }

    // The area a clip covers: the union of its shapes, each filled by its own rule.
    Paths ClipArea(const DrawnClip& clip) const {
        ClipperLib::Clipper all;
        for (const DrawnShape& part : clip.parts) {
            ClipperLib::Clipper one;
            one.AddPaths(RingsOnLattice(part), ClipperLib::ptSubject, true);
            Paths filled;
            one.Execute(ClipperLib::ctUnion, filled,
                        part.evenOdd ? ClipperLib::pftEvenOdd : ClipperLib::pftNonZero);
            all.AddPaths(filled, ClipperLib::ptSubject, true);
        }
        Paths area;
        all.Execute(ClipperLib::ctUnion, area, ClipperLib::pftNonZero);
        return area;
    }

    void PlaceShapes() {
        std::vector<Paths> clips;
        clips.reserve(drawing_.clips.size());
        for (const DrawnClip& clip : drawing_.clips) clips.push_back(ClipArea(clip));
        for (std::size_t s = 0; s < drawing_.shapes.size(); ++s) {
            if ((s & 255) == 0) Report(0.1 * static_cast<double>(s) / drawing_.shapes.size());
            const DrawnShape& drawn = drawing_.shapes[s];
            const Paths paths = RingsOnLattice(drawn);
            // Within the drawing's rectangle, which is all it shows, and within its clips.
            LatticeShape shape;
            ClipperLib::Clipper clipper;
            clipper.AddPaths(paths, ClipperLib::ptSubject, true);
            clipper.AddPath(frame_, ClipperLib::ptClip, true);
            clipper.Execute(ClipperLib::ctIntersection, shape.paths,
                            drawn.evenOdd ? ClipperLib::pftEvenOdd : ClipperLib::pftNonZero,
                            ClipperLib::pftNonZero);
            for (const std::uint32_t c : drawn.clips) {
                if (shape.paths.empty() || c >= clips.size()) break;
                ClipperLib::Clipper within;
                within.AddPaths(shape.paths, ClipperLib::ptSubject, true);
                within.AddPaths(clips[c], ClipperLib::ptClip, true);
                Paths kept;
                within.Execute(ClipperLib::ctIntersection, kept, ClipperLib::pftNonZero,
                               ClipperLib::pftNonZero);
                shape.paths = std::move(kept);
            }
            if (shape.paths.empty()) continue;
            for (const Path& path : shape.paths) {
                for (const IntPoint& p : path) shape.box.Add(p);
            }
            const double opacity = std::clamp(drawn.opacity, 0.0, 1.0);
            const auto over = [opacity](std::uint8_t top, std::uint8_t beneath) {
                return static_cast<std::uint8_t>(
                    std::lround(top * opacity + beneath * (1 - opacity)));
            };
            shape.rgb = {drawn.red, drawn.green, drawn.blue};
            if (opacity >= 1) {
                shapes_.push_back(std::move(shape));
                continue;
            }
            // Seen through: over white, and over each shape beneath it in that one's colour, in
            // the order they were drawn, so that what shows through is what lies on top.
            const std::size_t beneath = shapes_.size();
            LatticeShape whole = shape;
            whole.rgb = {over(shape.rgb[0], 255), over(shape.rgb[1], 255), over(shape.rgb[2], 255)};
            shapes_.push_back(std::move(whole));
            for (std::size_t b = 0; b < beneath; ++b) {
                if (!shapes_[b].box.Meets(shape.box)) continue;
                if (shapes_.size() >= kMostLatticeShapes) Fail("The drawing has too many shapes seen through");
                ClipperLib::Clipper clipper;
                clipper.AddPaths(shape.paths, ClipperLib::ptSubject, true);
                clipper.AddPaths(shapes_[b].paths, ClipperLib::ptClip, true);
                LatticeShape through;
                clipper.Execute(ClipperLib::ctIntersection, through.paths, ClipperLib::pftNonZero,
                                ClipperLib::pftNonZero);
                if (through.paths.empty()) continue;
                for (const Path& path : through.paths) {
                    for (const IntPoint& p : path) through.box.Add(p);
                }
                const auto& under = shapes_[b].rgb;
                through.rgb = {over(shape.rgb[0], under[0]), over(shape.rgb[1], under[1]),
                               over(shape.rgb[2], under[2])};
                shapes_.push_back(std::move(through));
            }
        }
        for (LatticeShape& shape : shapes_) shape.code = CodeOf(shape.rgb, set_);
    }

    // What each shape shows of itself (the shapes drawn after it over it), joined by code.
    std::vector<Face> VisibleFaces() {
        std::map<std::int32_t, std::size_t> group;  // code -> its place in order
        std::vector<std::pair<std::int32_t, Paths>> visible;
        for (std::size_t s = 0; s < shapes_.size(); ++s) {
            if ((s & 63) == 0) Report(0.1 + 0.4 * static_cast<double>(s) / shapes_.size());
            const LatticeShape& shape = shapes_[s];
            ClipperLib::Clipper clipper;
            clipper.AddPaths(shape.paths, ClipperLib::ptSubject, true);
            bool covered = false;
            for (std::size_t above = s + 1; above < shapes_.size(); ++above) {
                if (!shapes_[above].box.Meets(shape.box)) continue;
                clipper.AddPaths(shapes_[above].paths, ClipperLib::ptClip, true);
                covered = true;
            }
            Paths shown;
            if (covered) {
                clipper.Execute(ClipperLib::ctDifference, shown, ClipperLib::pftNonZero,
                                ClipperLib::pftNonZero);
            } else {
                shown = shape.paths;
            }
            if (shown.empty()) continue;
            const auto [at, added] = group.emplace(shape.code, visible.size());
            if (added) visible.emplace_back(shape.code, Paths{});
            auto& paths = visible[at->second].second;
            paths.insert(paths.end(), shown.begin(), shown.end());
        }
        std::vector<Face> faces;
        for (std::size_t g = 0; g < visible.size(); ++g) {
            Report(0.5 + 0.2 * static_cast<double>(g) / visible.size());
            ClipperLib::Clipper clipper;
            clipper.StrictlySimple(true);
            clipper.AddPaths(visible[g].second, ClipperLib::ptSubject, true);
            ClipperLib::PolyTree tree;
            clipper.Execute(ClipperLib::ctUnion, tree, ClipperLib::pftNonZero,
                            ClipperLib::pftNonZero);
            // Outer rings in the tree's order, each with its holes; an island in a hole is a
            // face again.
            std::vector<const ClipperLib::PolyNode*> outers;
            for (const ClipperLib::PolyNode* node : tree.Childs) outers.push_back(node);
            for (std::size_t o = 0; o < outers.size(); ++o) {
                const ClipperLib::PolyNode* outer = outers[o];
                Face& face = faces.emplace_back();
                face.code = visible[g].first;
                face.rings.push_back(WithoutStraightCorners(outer->Contour));
                for (const ClipperLib::PolyNode* hole : outer->Childs) {
                    face.rings.push_back(WithoutStraightCorners(hole->Contour));
                    for (const ClipperLib::PolyNode* island : hole->Childs) outers.push_back(island);
                }
            }
        }
        return faces;
    }

    // Where a face's corner lies on (or, rounded to the lattice, within a unit of) another
    // face's side, that side gets the corner too: the faces meet corner to corner. Whether any
    // side got one.
    static bool ShareCorners(std::vector<Face>& faces) {
        bool added = false;
        constexpr int kShift = 5;  // cells of 32 lattice units
        struct Owned {
            IntPoint p;
            std::size_t face;
        };
        std::unordered_map<std::uint64_t, std::vector<Owned>> cells;
        const auto key = [](ClipperLib::cInt cx, ClipperLib::cInt cy) {
            return static_cast<std::uint64_t>(cx) << 32 ^ (static_cast<std::uint64_t>(cy) & 0xffffffff);
        };
        for (std::size_t f = 0; f < faces.size(); ++f) {
            for (const Path& ring : faces[f].rings) {
                for (const IntPoint& p : ring) cells[key(p.X >> kShift, p.Y >> kShift)].push_back({p, f});
            }
        }
        std::vector<std::pair<double, IntPoint>> found;
        for (std::size_t f = 0; f < faces.size(); ++f) {
            for (Path& ring : faces[f].rings) {
                Path shared;
                for (std::size_t i = 0, n = ring.size(); i < n; ++i) {
                    const IntPoint a = ring[i], b = ring[(i + 1) % n];
                    shared.push_back(a);
                    const double dx = static_cast<double>(b.X - a.X);
                    const double dy = static_cast<double>(b.Y - a.Y);
                    const double length2 = dx * dx + dy * dy;
                    if (length2 == 0) continue;
                    found.clear();
                    // The cells within a unit of the side: column by column, those its part
                    // in the column (and a unit either side) passes.
                    const ClipperLib::cInt left = std::min(a.X, b.X), right = std::max(a.X, b.X);
                    for (ClipperLib::cInt cx = (left - 1) >> kShift; cx <= (right + 1) >> kShift; ++cx) {
                        const ClipperLib::cInt from = std::max(left, (cx << kShift) - 1);
                        const ClipperLib::cInt to = std::min(right, ((cx + 1) << kShift));
                        double low = static_cast<double>(std::min(a.Y, b.Y));
                        double high = static_cast<double>(std::max(a.Y, b.Y));
                        if (dx != 0) {
                            const double y1 = static_cast<double>(a.Y) + dy * static_cast<double>(from - a.X) / dx;
                            const double y2 = static_cast<double>(a.Y) + dy * static_cast<double>(to - a.X) / dx;
                            low = std::max(low, std::min(y1, y2));
                            high = std::min(high, std::max(y1, y2));
                        }
                        const ClipperLib::cInt top = static_cast<ClipperLib::cInt>(std::floor(low)) - 1;
                        const ClipperLib::cInt bottom = static_cast<ClipperLib::cInt>(std::ceil(high)) + 1;
                        for (ClipperLib::cInt cy = top >> kShift; cy <= bottom >> kShift; ++cy) {
                            const auto cell = cells.find(key(cx, cy));
                            if (cell == cells.end()) continue;
                            for (const Owned& o : cell->second) {
                                if (o.face != f) NoteNearSide(a, b, o.p, found);
                            }
                        }
                    }
                    AppendInOrder(found, shared);
                }
                Path tidy = Tidy(std::move(shared));
                added = added || tidy != ring;
                ring = std::move(tidy);
            }
        }
        return added;
    }

    // Where a face is thinner than a lattice unit, both its sides may take the same corner of a
    // neighbour, which folds its outline onto itself: such a face is made simple again (its
    // corners kept, the fold taken out, a pinch making two faces); faces without area go.
    static std::vector<Face> Untangled(std::vector<Face> faces) {
        std::vector<Face> out;
        out.reserve(faces.size());
        for (Face& face : faces) {
            std::vector<IntPoint> corners;
            for (const Path& ring : face.rings) corners.insert(corners.end(), ring.begin(), ring.end());
            std::sort(corners.begin(), corners.end(), [](const IntPoint& a, const IntPoint& b) {
                return a.X != b.X ? a.X < b.X : a.Y < b.Y;
            });
            const bool folded = std::adjacent_find(corners.begin(), corners.end()) != corners.end();
            if (!folded && !SidesCross(face)) {
                std::erase_if(face.rings, [](const Path& ring) { return ring.size() < 3 || TwiceArea(ring) == 0; });
                if (!face.rings.empty() && face.rings.front().size() >= 3 && TwiceArea(face.rings.front()) != 0) {
                    out.push_back(std::move(face));
                }
                continue;
            }
            MadeSimple(face, true, out);
        }
        return out;
    }

    // Notes p, with how far along the side from a to b it lies, where it lies between a and b
    // less than a unit off the side.
    static void NoteNearSide(const IntPoint& a, const IntPoint& b, const IntPoint& p,
                             std::vector<std::pair<double, IntPoint>>& found) {
        if (p == a || p == b) return;
        const double dx = static_cast<double>(b.X - a.X), dy = static_cast<double>(b.Y - a.Y);
        const double px = static_cast<double>(p.X - a.X), py = static_cast<double>(p.Y - a.Y);
        const double length2 = dx * dx + dy * dy, along = px * dx + py * dy;
        if (along <= 0 || along >= length2) return;
        const double across = px * dy - py * dx;
        if (across * across > length2) return;  // more than a unit off
        found.emplace_back(along, p);
    }

    // The points noted along a side, in their order along it (at one place, by position), added
    // to a ring after the side's first corner.
    static void AppendInOrder(std::vector<std::pair<double, IntPoint>>& found, Path& ring) {
        std::sort(found.begin(), found.end(), [](const auto& x, const auto& y) {
            if (x.first != y.first) return x.first < y.first;
            return x.second.X != y.second.X ? x.second.X < y.second.X : x.second.Y < y.second.Y;
        });
        for (const auto& [along, p] : found) {
            if (!(ring.back() == p)) ring.push_back(p);
        }
    }

    // A face whose sides take its own corners that lie less than a unit off them (where a
    // corner, rounded to the lattice, ended beyond a side of the same face).
    static Face WithOwnCornersShared(const Face& face) {
        Face shared{face.code, {}};
        std::vector<std::pair<double, IntPoint>> found;
        for (const Path& ring : face.rings) {
            Path& out = shared.rings.emplace_back();
            for (std::size_t i = 0, n = ring.size(); i < n; ++i) {
                const IntPoint a = ring[i], b = ring[(i + 1) % n];
                out.push_back(a);
                found.clear();
                for (const Path& other : face.rings) {
                    for (const IntPoint& p : other) NoteNearSide(a, b, p, found);
                }
                AppendInOrder(found, out);
            }
            out = Tidy(std::move(out));
        }
        return shared;
    }

    // A face made simple, its parts added to out: its corners kept (where keepCorners) or
    // those in a line between their neighbours dropped too.
    static void MadeSimple(const Face& face, bool keepCorners, std::vector<Face>& out) {
        ClipperLib::Clipper clipper;
        clipper.StrictlySimple(true);
        clipper.PreserveCollinear(keepCorners);
        for (const Path& ring : face.rings) {
            if (ring.size() >= 3) clipper.AddPath(ring, ClipperLib::ptSubject, true);
        }
        ClipperLib::PolyTree tree;
        // The outline and holes as they are oriented: a hole winds the other way.
        clipper.Execute(ClipperLib::ctUnion, tree, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
        std::vector<const ClipperLib::PolyNode*> outers(tree.Childs.begin(), tree.Childs.end());
        for (std::size_t o = 0; o < outers.size(); ++o) {
            Face& part = out.emplace_back();
            part.code = face.code;
            part.rings.push_back(Tidy(outers[o]->Contour));
            for (const ClipperLib::PolyNode* hole : outers[o]->Childs) {
                part.rings.push_back(Tidy(hole->Contour));
                for (const ClipperLib::PolyNode* island : hole->Childs) outers.push_back(island);
            }
            std::erase_if(part.rings, [](const Path& ring) { return ring.size() < 3 || TwiceArea(ring) == 0; });
            if (part.rings.empty()) out.pop_back();
        }
    }

    // Whether two sides of a face cross (where a side, given a neighbour's corner less than a
    // unit off it, was bent over another): in order of their left ends, each side against those
    // that begin before it ends.
    static bool SidesCross(const Face& face) {
        std::vector<std::pair<IntPoint, IntPoint>> sides;
        for (const Path& ring : face.rings) {
            for (std::size_t i = 0, n = ring.size(); i < n; ++i) {
                IntPoint a = ring[i], b = ring[(i + 1) % n];
                if (b.X < a.X || (b.X == a.X && b.Y < a.Y)) std::swap(a, b);
                sides.emplace_back(a, b);
            }
        }
        std::sort(sides.begin(), sides.end(), [](const auto& x, const auto& y) {
            return x.first.X < y.first.X;
        });
        const auto turn = [](const IntPoint& o, const IntPoint& a, const IntPoint& b) {
            const double v = static_cast<double>(a.X - o.X) * static_cast<double>(b.Y - o.Y) -
                             static_cast<double>(a.Y - o.Y) * static_cast<double>(b.X - o.X);
            return (v > 0) - (v < 0);
        };
        for (std::size_t i = 0; i < sides.size(); ++i) {
            const auto& [a, b] = sides[i];
            for (std::size_t j = i + 1; j < sides.size() && sides[j].first.X <= b.X; ++j) {
                const auto& [c, d] = sides[j];
                if (turn(a, b, c) * turn(a, b, d) < 0 && turn(c, d, a) * turn(c, d, b) < 0) return true;
            }
        }
        return false;
    }

    // A ring without the points that lie in a line between their neighbours (where shapes of
    // one colour were joined): those another face needs come back when corners are shared.
    static Path WithoutStraightCorners(const Path& ring) {
        Path out;
        for (const IntPoint& p : ring) {
            while (out.size() >= 2) {
                const IntPoint& a = out[out.size() - 2];
                const IntPoint& b = out.back();
                const bool straight = (b.X - a.X) * (p.Y - a.Y) == (b.Y - a.Y) * (p.X - a.X) &&
                                      (b.X - a.X) * (p.X - b.X) + (b.Y - a.Y) * (p.Y - b.Y) > 0;
                if (!straight) break;
                out.pop_back();
            }
            out.push_back(p);
        }
        // Around the start.
        for (bool changed = true; changed && out.size() > 3;) {
            changed = false;
            for (std::size_t i = 0; i < 2 && out.size() > 3; ++i) {
                const std::size_t n = out.size();
                const std::size_t at = i == 0 ? 0 : n - 1;
                const IntPoint& a = out[(at + n - 1) % n];
                const IntPoint& b = out[at];
                const IntPoint& c = out[(at + 1) % n];
                if ((b.X - a.X) * (c.Y - a.Y) == (b.Y - a.Y) * (c.X - a.X) &&
                    (b.X - a.X) * (c.X - b.X) + (b.Y - a.Y) * (c.Y - b.Y) > 0) {
                    out.erase(out.begin() + static_cast<std::ptrdiff_t>(at));
                    changed = true;
                }
            }
        }
        return out;
    }

    // A ring without repeated corners or spikes that turn straight back.
    static Path Tidy(Path ring) {
        Path out;
        for (const IntPoint& p : ring) {
            if (!out.empty() && out.back() == p) continue;
            if (out.size() >= 2 && out[out.size() - 2] == p) {
                out.pop_back();
                continue;
            }
            out.push_back(p);
        }
        while (out.size() > 1 && out.front() == out.back()) out.pop_back();
        while (out.size() >= 3 && out[out.size() - 2] == out.front()) {
            out.pop_back();
            out.erase(out.begin());
        }
        return out;
    }

    // Far enough beyond any drawing's rectangle, and well inside the lattice's safe range.
    static constexpr double kFarthest = 1 << 28;

    const Drawing& drawing_;
    const ProgressCallback& progress_;
    std::vector<LdrawColour> set_;
    double scale_ = 0;  // lattice units per drawing unit
    Path frame_;        // the drawing's rectangle on the lattice
    std::vector<LatticeShape> shapes_;
};

}  // namespace

std::int32_t DrawingPictureWidth(const Drawing& drawing) {
    if (!(drawing.height > 0) || !(drawing.width > 0)) return 1;
    const double width = std::round(kDrawingPictureHeight * drawing.width / drawing.height);
    return static_cast<std::int32_t>(std::clamp(width, 1.0, 1.0 * (1 << 20)));
}

DrawnSize DrawnSizeOf(const Drawing& drawing, std::int32_t side) {
    side = std::clamp(side, 1, 1 << 14);
    const double longer = std::max(drawing.width, drawing.height);
    if (!(longer > 0)) return {};
    const auto pixels = [&](double units) {
        return static_cast<std::int32_t>(std::clamp(std::lround(units * side / longer), 1L, 1L * side));
    };
    return {pixels(drawing.width), pixels(drawing.height)};
}

std::int32_t DrawingTextureScale(const Drawing& drawing) {
    constexpr std::int32_t kMostTexturePixels = 2048;
    return std::max(2, (DrawingPictureWidth(drawing) + kMostTexturePixels - 1) / kMostTexturePixels);
}

bool ConvertDrawing(Shell& shell, const Drawing& drawing, Quads& quads,
                    const DrawingColours& colours, const ProgressCallback& progress,
                    DrawingConversionRun* run) {
    quads.clear();
    DrawingConversionRun own;
    try {
        WriteLog(shell.log, "CONVERT DRAWING: Starting");
        if (!(drawing.height > 0) || !(drawing.width > 0)) Fail("The drawing has no size");
        DrawingFaces(drawing, colours, progress).Make(quads, run ? *run : own);
        WriteLog(shell.log, "CONVERT DRAWING: Done");
        return true;
    } catch (const ConversionStopped&) {
        quads.clear();
        return false;
    } catch (...) {
        quads.clear();
        ReportFailure(shell, "ConvertDrawing", "CONVERT DRAWING: ERROR CONVERTING DRAWING ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
