#include "conversion/vector_conversion.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <optional>
#include <queue>
#include <set>
#include <unordered_map>
#include <utility>

#include "conversion/exact_conversion.h"
#include "conversion/lattice_polygon.h"
#include "geometry/geometry.h"
#include "geometry/region_cut.h"
#include "image/colours.h"
#include "image/ldraw_colours.h"
#include "shell/failure.h"

// The vector conversion works on the lattice of pixel corners. Regions (4-connected pixels of one
// code, small ones merged into a neighbour) meet along border edges of the lattice; the edges form
// chains between junctions (lattice points where the border branches, or the picture's corners),
// and a closed border without junctions is one chain from its top-left point back to it. Each
// chain is simplified once (Douglas-Peucker within the tolerance, its ends fixed), so the two
// regions beside it share its points exactly. Simplified segments that would meet another segment
// anywhere but at a shared end get back the chain's point farthest from them until none do; a
// region whose outline still came out wrong (its area vanished or changed its nesting) or could
// only be cut into polygons the parts library refuses keeps its staircase. Each region is then
// triangulated with its chains' points alone (constrained Delaunay, odd nesting inside) and
// neighbouring triangles are paired into convex quadrilaterals.

namespace mosaikon {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// The fewest pixels of blended colour along an edge, joined corner to corner, that are taken for
// the edge's anti-aliasing rather than for a small shape of their own.
constexpr std::uint64_t kLeastBand = 12;

// How far, in pixels, the line of an inward corner is followed into its region to find the
// outline it meets.
constexpr int kLongestProjection = 64;

// The most points of a region's chains cut with every lattice point a corner; a larger region
// whose staircase cannot be cut keeps its pixels as squares at once.
constexpr std::uint64_t kMostDenseCut = 16384;

// The most points of a chain whose fewest segments are searched for; a longer one keeps the walk
// from point to farthest point.
constexpr std::uint32_t kMostOptimisedChain = 600;

struct Corner {
    std::int32_t x = 0, y = 0;
    friend bool operator==(const Corner&, const Corner&) = default;
};

std::int64_t Cross(const Corner& o, const Corner& a, const Corner& b) {
    return static_cast<std::int64_t>(a.x - o.x) * (b.y - o.y) -
           static_cast<std::int64_t>(a.y - o.y) * (b.x - o.x);
}

// The square of a point's distance from the segment from a to b (from a, when b is a).
double DistanceSquared(const Corner& p, const Corner& a, const Corner& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double px = p.x - a.x, py = p.y - a.y;
    const double length = dx * dx + dy * dy;
    const double along = px * dx + py * dy;
    if (length == 0 || along <= 0) return px * px + py * py;
    if (along >= length) {
        const double qx = p.x - b.x, qy = p.y - b.y;
        return qx * qx + qy * qy;
    }
    const double cross = static_cast<double>(Cross(a, b, p));
    return cross * cross / length;
}

using Polygon = CutPolygon;

// The red, green and blue a colour code is drawn in; none for a left-out pixel or an unknown code.
std::optional<std::array<int, 3>> RgbOf(std::int32_t code) {
    if (code == kNotCovered) return std::nullopt;
    if (code >= kDirectColorBase) {
        const auto value = static_cast<std::uint32_t>(code - kDirectColorBase);
        return std::array<int, 3>{static_cast<int>((value >> 16) & 0xFF),
                                  static_cast<int>((value >> 8) & 0xFF), static_cast<int>(value & 0xFF)};
    }
    for (const LdrawColour& colour : LdrawColours().colours) {
        if (colour.code == code) return std::array<int, 3>{colour.red, colour.green, colour.blue};
    }
    return std::nullopt;
}

// Whether a pixel's colour lies between the colours on either side of it (left and right, or
// above and below, within two pixels), as anti-aliasing blends an edge: the two codes it lies
// between, and the side it is nearer. A left-out side counts as white, the colour pixels of
// partial transparency were laid on. Colours are the picture's own before their reduction where
// those are known, else the codes'.
class BlendFinder {
public:
    struct Blend {
        std::int32_t nearer = kNotCovered;
        std::int32_t a = kNotCovered, b = kNotCovered;  // the codes either side
        bool touching = true;  // whether a and b touch beside it
        double share = 0;      // how far it lies from a's colour to b's
    };

    // sidesByCode: the colours either side are their codes' (where some of those pixels are
    // blends given to a side already), else the pixels' own.
    BlendFinder(std::int32_t width, std::int32_t height, const std::vector<std::int32_t>& codes,
                const std::vector<std::uint8_t>* original, bool sidesByCode = false)
        : width_(width), height_(height), codes_(codes), original_(original), sidesByCode_(sidesByCode) {}

    // untouched: also where a and b do not touch beside it (a blend all along a straight edge),
    // though one where they do comes first.
    std::optional<Blend> At(std::int32_t x, std::int32_t y, bool untouched = false) {
        const std::int32_t code = Code(x, y);
        const auto mine = Colour(x, y);
        if (!mine || code == kNotCovered) return std::nullopt;
        std::optional<Blend> found;
        double best = 1e300;
        for (const auto& direction : {std::pair{1, 0}, {0, 1}}) {
            const int dx = direction.first, dy = direction.second;
            // The first pixel of another code either way, within two pixels.
            std::int32_t sides[2][2] = {};
            const auto beyond = [&](int sign) -> std::optional<std::int32_t> {
                for (int step = 1; step <= 2; ++step) {
                    const std::int32_t nx = x + sign * step * dx, ny = y + sign * step * dy;
                    if (nx < 0 || ny < 0 || nx >= width_ || ny >= height_) return std::nullopt;
                    if (Code(nx, ny) != code) {
                        sides[sign > 0][0] = nx, sides[sign > 0][1] = ny;
                        return Code(nx, ny);
                    }
                }
                return std::nullopt;
            };
            const auto a = beyond(-1), b = beyond(1);
            if (!a || !b || *a == *b) continue;
            const auto ca = SideColour(sides[0][0], sides[0][1]), cb = SideColour(sides[1][0], sides[1][1]);
            if (!ca || !cb) continue;
            double along = 0, length = 0;
            for (int k = 0; k < 3; ++k) {
                along += ((*mine)[k] - (*ca)[k]) * double((*cb)[k] - (*ca)[k]);
                length += double((*cb)[k] - (*ca)[k]) * ((*cb)[k] - (*ca)[k]);
            }
            if (length < 40.0 * 40.0) continue;  // sides too alike to blend visibly
            const double t = along / length;
            if (t <= 0.05 || t >= 0.95) continue;
            double off = 0;
            for (int k = 0; k < 3; ++k) {
                const double d = (*mine)[k] - ((*ca)[k] + t * ((*cb)[k] - (*ca)[k]));
                off += d * d;
            }
            const double allowed = 0.12 * std::sqrt(length) + 6;
            if (off > allowed * allowed) continue;
            // An edge's blend lies where the two meet: they touch each other beside it.
            const bool touching = Touching(x, y, *a, *b);
            if (!touching && !untouched) continue;
            if (found && found->touching && !touching) continue;
            if (found && found->touching == touching && off / length >= best) continue;
            best = off / length;
            found = Blend{t < 0.5 ? *a : *b, *a, *b, touching, t};
        }
        return found;
    }

    // Whether two pixels side by side or corner to corner within the pixels around (x, y) have
    // the codes a and b.
    bool Touching(std::int32_t x, std::int32_t y, std::int32_t a, std::int32_t b) const {
        for (std::int32_t py = std::max(0, y - 1); py <= std::min(height_ - 1, y + 1); ++py) {
            for (std::int32_t px = std::max(0, x - 1); px <= std::min(width_ - 1, x + 1); ++px) {
                const std::int32_t here = Code(px, py);
                if (here != a && here != b) continue;
                const std::int32_t other = here == a ? b : a;
                const bool right = px + 1 <= std::min(width_ - 1, x + 1);
                const bool below = py + 1 <= std::min(height_ - 1, y + 1);
                if ((right && Code(px + 1, py) == other) || (below && Code(px, py + 1) == other) ||
                    (right && below && Code(px + 1, py + 1) == other) ||
                    (below && px - 1 >= std::max(0, x - 1) && Code(px - 1, py + 1) == other)) {
                    return true;
                }
            }
        }
        return false;
    }

private:
    std::int32_t Code(std::int32_t x, std::int32_t y) const {
        return codes_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
    }
    std::optional<std::array<int, 3>> Colour(std::int32_t x, std::int32_t y) {
        const std::int32_t code = Code(x, y);
        if (code == kNotCovered) return std::array<int, 3>{255, 255, 255};
        if (original_) {
            const std::uint8_t* p = original_->data() +
                                    (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 4;
            const int alpha = p[3];
            return std::array<int, 3>{(p[0] * alpha + 255 * (255 - alpha) + 127) / 255,
                                      (p[1] * alpha + 255 * (255 - alpha) + 127) / 255,
                                      (p[2] * alpha + 255 * (255 - alpha) + 127) / 255};
        }
        return CodeColour(code);
    }
    std::optional<std::array<int, 3>> SideColour(std::int32_t x, std::int32_t y) {
        const std::int32_t code = Code(x, y);
        return sidesByCode_ && code != kNotCovered ? CodeColour(code) : Colour(x, y);
    }
    std::optional<std::array<int, 3>> CodeColour(std::int32_t code) {
        const auto found = known_.find(code);
        if (found != known_.end()) return found->second;
        return known_[code] = RgbOf(code);
    }

    const std::int32_t width_, height_;
    const std::vector<std::int32_t>& codes_;
    const std::vector<std::uint8_t>* original_;
    const bool sidesByCode_;
    std::map<std::int32_t, std::optional<std::array<int, 3>>> known_;
};

// Anti-aliased edges: a thin region (every pixel of it beside another region) whose pixels lie
// between the same two regions as blends of their colours is no shape of its own but the edge
// between those two: each of its pixels goes to the side its colour is nearer, so that the edge
// runs where the blend is half-way and the band of specks is gone. It is such a band where the
// two regions touch beside most of its pixels (where the edge steps), or where its blends vary
// along the edge as an anti-aliased edge's do: over it and the bands between the same two that
// it touches (the pieces of one edge, each of a reduced colour), where a long, nearly level edge
// has one row of blends and the two never touch. Regions that are not such blends, as a crisp
// line of a colour of its own between two regions, stay. A band beside a band (two reduced
// colours across one edge) goes in a further round, once its neighbour has gone: again, the
// colours either side are those of their codes, as some of those pixels are blends themselves.
// Whether any pixel changed.
bool ResolveBlendsOnce(std::int32_t width, std::int32_t height, std::vector<std::int32_t>& codes,
                       const std::vector<std::uint8_t>* original, bool again) {
    BlendFinder blends(width, height, codes, original, again);
    const std::size_t pixels = codes.size();
    std::vector<std::uint8_t> seen(pixels, 0);
    std::vector<std::int32_t> result = codes;
    struct Band {
        std::uint32_t start = 0, count = 0;  // its pixels in members
        std::pair<std::int32_t, std::int32_t> sides{};
        bool stepping = false;  // the two sides touch beside most of its pixels
        double least = 1, most = 0;  // of its blends' shares from the one side to the other
        std::uint32_t root = 0;
    };
    std::vector<Band> bands;
    std::vector<std::uint32_t> members, region;
    std::vector<std::optional<BlendFinder::Blend>> chosen;  // of every member
    constexpr std::uint32_t kNoBand = ~std::uint32_t{0};
    std::vector<std::uint32_t> bandOf(pixels, kNoBand);
    for (std::size_t first = 0; first < pixels; ++first) {
        if (seen[first] || codes[first] == kNotCovered) continue;
        const std::int32_t code = codes[first];
        region.assign(1, static_cast<std::uint32_t>(first));
        seen[first] = 1;
        bool thin = true;
        for (std::size_t head = 0; head < region.size(); ++head) {
            const std::int32_t x = static_cast<std::int32_t>(region[head] % static_cast<std::uint32_t>(width));
            const std::int32_t y = static_cast<std::int32_t>(region[head] / static_cast<std::uint32_t>(width));
            bool beside = false;
            for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                const std::int32_t nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                const std::size_t next = static_cast<std::size_t>(ny) * width + nx;
                if (codes[next] != code) {
                    beside = true;
                    continue;
                }
                if (!seen[next]) seen[next] = 1, region.push_back(static_cast<std::uint32_t>(next));
            }
            thin = thin && beside;
        }
        if (!thin) continue;
        // Of the pixels that are blends (k = 0), and of those beside which the two sides touch.
        struct Pair {
            std::size_t count = 0;
            double least = 1, most = 0;
        };
        std::size_t found[2] = {};
        std::map<std::pair<std::int32_t, std::int32_t>, Pair> pairs[2];
        const auto start = static_cast<std::uint32_t>(members.size());
        for (const std::uint32_t pixel : region) {
            members.push_back(pixel);
            chosen.push_back(blends.At(static_cast<std::int32_t>(pixel % static_cast<std::uint32_t>(width)),
                                       static_cast<std::int32_t>(pixel / static_cast<std::uint32_t>(width)), true));
            const auto& blend = chosen.back();
            if (!blend) continue;
            const double share = blend->a < blend->b ? blend->share : 1 - blend->share;
            for (int k = 0; k < (blend->touching ? 2 : 1); ++k) {
                ++found[k];
                Pair& pair = pairs[k][{std::min(blend->a, blend->b), std::max(blend->a, blend->b)}];
                ++pair.count;
                pair.least = std::min(pair.least, share);
                pair.most = std::max(pair.most, share);
            }
        }
        // Most of its pixels lie between the same two.
        const auto between = [&](int k) -> const std::pair<const std::pair<std::int32_t, std::int32_t>, Pair>* {
            const std::pair<const std::pair<std::int32_t, std::int32_t>, Pair>* most = nullptr;
            for (const auto& entry : pairs[k]) {
                if (!most || entry.second.count > most->second.count) most = &entry;
            }
            if (4 * found[k] < 3 * region.size() || 3 * most->second.count < 2 * found[k]) return nullptr;
            return most;
        };
        const auto* stepping = between(1);
        const auto* pair = stepping ? stepping : between(0);
        if (!pair) {
            members.resize(start);
            chosen.resize(start);
            continue;
        }
        const auto id = static_cast<std::uint32_t>(bands.size());
        bands.push_back({start, static_cast<std::uint32_t>(region.size()), pair->first, stepping != nullptr,
                         pair->second.least, pair->second.most, id});
        for (const std::uint32_t pixel : region) bandOf[pixel] = id;
    }
    // Bands between the same two that touch, corner to corner too, are one edge.
    const auto root = [&](std::uint32_t b) {
        while (bands[b].root != b) b = bands[b].root = bands[bands[b].root].root;
        return b;
    };
    for (const Band& band : bands) {
        for (std::uint32_t i = band.start; i < band.start + band.count; ++i) {
            const std::int32_t x = static_cast<std::int32_t>(members[i] % static_cast<std::uint32_t>(width));
            const std::int32_t y = static_cast<std::int32_t>(members[i] / static_cast<std::uint32_t>(width));
            for (std::int32_t ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny) {
                for (std::int32_t nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx) {
                    const std::uint32_t other = bandOf[static_cast<std::size_t>(ny) * width + nx];
                    if (other == kNoBand || bands[other].sides != band.sides) continue;
                    const std::uint32_t p = root(other), q = root(bandOf[members[i]]);
                    if (p != q) bands[std::max(p, q)].root = std::min(p, q);
                }
            }
        }
    }
    std::vector<std::array<double, 2>> spread(bands.size(), {1, 0});
    for (std::uint32_t b = 0; b < bands.size(); ++b) {
        auto& [least, most] = spread[root(b)];
        least = std::min(least, bands[b].least);
        most = std::max(most, bands[b].most);
    }
    for (std::uint32_t b = 0; b < bands.size(); ++b) {
        const Band& band = bands[b];
        const auto& [least, most] = spread[root(b)];
        if (!band.stepping && most - least < 0.2) continue;
        for (std::uint32_t i = band.start; i < band.start + band.count; ++i) {
            if (chosen[i] && (chosen[i]->touching || !band.stepping)) result[members[i]] = chosen[i]->nearer;
        }
    }
    const bool changed = result != codes;
    codes = std::move(result);
    return changed;
}

void ResolveBlends(std::int32_t width, std::int32_t height, std::vector<std::int32_t>& codes,
                   const std::vector<std::uint8_t>* original) {
    for (int round = 0; round < 3 && ResolveBlendsOnce(width, height, codes, original, round > 0); ++round) {
    }
}

class OutlineConversion {
public:
    OutlineConversion(std::int32_t width, std::int32_t height, std::vector<std::int32_t> codes,
                      const VectorOptions& options, const ProgressCallback& progress,
                      const std::vector<std::uint8_t>* original)
        : width_(width), height_(height), options_(options), progress_(progress), original_(original) {
        Label(codes);
        if (options_.minArea > 1) {
            CountJoinedAreas(codes);
            MergeSmallRegions();
        }
        JoinAlikeNeighbours();
        std::vector<std::int32_t>().swap(codes);
        Report(0.15);
        TraceChains();
        Report(0.3);
        Simplify();
        if (original_ && options_.betweenPixels) FollowBlendedCurves();
        ListChainsOfRegions();
    }

    void Run(Quads& quads, VectorConversionRun* run) {
        std::vector<std::uint8_t> toFill(regions_, 0);
        for (std::uint32_t r = 0; r < regions_; ++r) toFill[r] = code_[r] != kNotCovered;
        std::vector<std::uint8_t> stairs(regions_, 0);
        std::vector<Polygon> polygons;
        std::vector<std::uint32_t> start(regions_ + 1, 0);
        std::map<std::uint32_t, std::vector<Polygon>> refilled;
        std::uint64_t keptAsStairs = 0;
        std::vector<std::uint8_t> asPixels(regions_, 0);
        for (bool first = true;; first = false) {
            FixMeetingSegments();
            MarkChangedChains(toFill);
            std::vector<std::uint32_t> bad;
            std::vector<Polygon> filled;
            for (std::uint32_t r = 0; r < regions_; ++r) {
                if (first) start[r] = static_cast<std::uint32_t>(polygons.size());
                if (!toFill[r]) continue;
                if (first && (r & 1023) == 0) Report(0.4 + 0.55 * r / regions_);
                filled.clear();
                if (!asPixels[r] && !Fill(r, filled)) {
                    if (stairs[r] < 3) {
                        bad.push_back(r);
                    } else {
                        // Not even its staircase can be cut cleanly (thin slivers between a long
                        // side and many corners): it keeps its pixels, a square each, rather
                        // than being lost.
                        filled.clear();
                        asPixels[r] = 1;
                    }
                }
                if (first) {
                    polygons.insert(polygons.end(), filled.begin(), filled.end());
                } else {
                    refilled[r] = filled;
                }
                toFill[r] = 0;
            }
            if (first) start[regions_] = static_cast<std::uint32_t>(polygons.size());
            if (bad.empty()) break;
            // Those regions keep their staircase: every corner of their chains comes back, and
            // every region along a changed chain is filled again. Where the staircase cannot be
            // cut either (a long side facing many steps), the points where the lines of its
            // inward corners meet its outline become corners too (so that the long side gets
            // corners facing the steps), on both sides of them; where that is not enough, every
            // lattice point of its chains, or, for a large region, its pixels as squares.
            for (const std::uint32_t r : bad) {
                keptAsStairs += stairs[r] == 0;
                ++stairs[r];
                if (stairs[r] == 2) {
                    PinProjections(r);
                    continue;
                }
                std::uint64_t points = 0;
                for (std::uint32_t i = chainStart_[r]; i < chainStart_[r + 1]; ++i) {
                    points += chains_[chainList_[i]].count;
                }
                if (stairs[r] == 3 && points > kMostDenseCut) asPixels[r] = 1;
                for (std::uint32_t i = chainStart_[r]; i < chainStart_[r + 1]; ++i) {
                    if (stairs[r] == 1) {
                        Restore(chainList_[i]);
                    } else {
                        KeepEvery(chainList_[i]);
                    }
                }
            }
        }
        // Every region's polygons in turn, with its code.
        const auto written = [&](const auto& visit) {
            for (std::uint32_t r = 0; r < regions_; ++r) {
                if (asPixels[r]) continue;
                const auto again = refilled.find(r);
                if (again != refilled.end()) {
                    for (const Polygon& polygon : again->second) visit(r, polygon);
                } else {
                    for (std::uint32_t i = start[r]; i < start[r + 1]; ++i) visit(r, polygons[i]);
                }
            }
        };
        if (original_ && options_.betweenPixels) {
            PlaceOnBlends(written, asPixels, quads);
        } else {
            written([&](std::uint32_t r, const Polygon& polygon) { AppendLatticePolygon(code_[r], polygon, quads); });
        }
        if (std::find(asPixels.begin(), asPixels.end(), 1) != asPixels.end()) {
            for (std::int32_t y = 0; y < height_; ++y) {
                for (std::int32_t x = 0; x < width_; ++x) {
                    const std::uint32_t r = At(x, y);
                    if (!asPixels[r]) continue;
                    Polygon pixel;
                    pixel.count = 4;
                    pixel.corners = {GridPoint{2 * x, 2 * y}, GridPoint{2 * x + 2, 2 * y},
                                     GridPoint{2 * x + 2, 2 * y + 2}, GridPoint{2 * x, 2 * y + 2}};
                    AppendLatticePolygon(code_[r], pixel, quads);
                }
            }
        }
        if (run) {
            run->regions = 0;
            for (std::uint32_t r = 0; r < regions_; ++r) run->regions += code_[r] != kNotCovered;
            run->mergedRegions = merged_;
            run->regionsKeptAsStairs = keptAsStairs;
        }
        Report(1.0);
    }

private:
    // Corners along anti-aliased edges come off the lattice to where the edge runs in the
    // picture's own colours: the straight line through the pixels around a corner whose shares
    // of the two colours match their blends (every pixel's share of the one side's colour being
    // the part of it on that side of the line). A corner moves only where both sides are filled
    // and nothing but the two colours and their blends lie around it, and where the blends fit
    // such a line. The regions beside moved corners are cut again with them (on the grid of
    // corners between the pixels), so that their polygons still meet corner to corner without
    // gaps. Where moved sides would cross, or a region cannot be cut so, its corners go half the
    // way, then stay on the lattice, and its neighbours are cut again. Edges with no blend keep
    // their lattice corners.
    template <typename Written>
    void PlaceOnBlends(const Written& written, const std::vector<std::uint8_t>& asPixels, Quads& quads) {
        const auto key = [&](std::int64_t x, std::int64_t y) {
            return static_cast<std::uint64_t>(y) * static_cast<std::uint64_t>(2 * width_ + 1) +
                   static_cast<std::uint64_t>(x);
        };
        struct Target {
            std::uint32_t chain;
            std::array<double, 2> at;  // in half pixels
            double share = 1;          // of the way there it goes
        };
        std::vector<Target> targets;
        std::unordered_map<std::uint64_t, std::uint32_t> targetAt;  // by lattice point
        std::vector<std::vector<std::uint32_t>> ofChain(chains_.size());
        for (std::uint32_t c = 0; c < chains_.size(); ++c) {
            const Chain& chain = chains_[c];
            const std::uint32_t a = chain.positive, b = chain.negative;
            if (a >= regions_ || b >= regions_ || code_[a] == kNotCovered || code_[b] == kNotCovered ||
                asPixels[a] || asPixels[b]) {
                continue;
            }
            const std::uint32_t last = chain.start + chain.count - 1;
            // The chain's kept points, where the edge runs by each (none: it stays).
            std::vector<std::pair<std::uint32_t, std::optional<std::array<double, 2>>>> along;
            along.emplace_back(chain.start, std::nullopt);
            for (std::uint32_t before = chain.start, p = next_[before]; p != kNone && p < last;
                 before = p, p = next_[p]) {
                const Corner& here = points_[p];
                along.emplace_back(p, std::nullopt);
                if (here.x == 0 || here.y == 0 || here.x == 2 * width_ || here.y == 2 * height_) continue;
                along.back().second = EdgeThrough(here, points_[before], points_[next_[p]], a, b);
            }
            // Straight sides between corners on a curved edge cut inside it; the corners go out
            // by three quarters of their sides' mean sagitta (from the circle through a corner
            // and its two neighbours), which halves the sides' mean distance from the curve and
            // more. Sharp turns are corners of the shape and stay on it.
            for (std::size_t i = 0; i < along.size(); ++i) {
                if (!along[i].second) continue;
                std::array<double, 2> shifted = *along[i].second;
                if (i > 0 && i + 1 < along.size() && along[i - 1].second && along[i + 1].second) {
                    const auto& u = *along[i - 1].second;
                    const auto& v = *along[i].second;
                    const auto& w = *along[i + 1].second;
                    const double l1 = std::hypot(u[0] - v[0], u[1] - v[1]);
                    const double l2 = std::hypot(w[0] - v[0], w[1] - v[1]);
                    const double l3 = std::hypot(w[0] - u[0], w[1] - u[1]);
                    const double twice = (u[0] - v[0]) * (w[1] - v[1]) - (u[1] - v[1]) * (w[0] - v[0]);
                    const double cosine = -((u[0] - v[0]) * (w[0] - v[0]) + (u[1] - v[1]) * (w[1] - v[1])) /
                                          std::max(l1 * l2, 1e-12);
                    constexpr double kGentlest = 0.9;  // cosine of the sharpest turn bent this way
                    if (l1 > 0 && l2 > 0 && l3 > 0 && cosine > kGentlest) {
                        const double curvature = 2 * std::fabs(twice) / (l1 * l2 * l3);
                        const double out = std::min(0.75 * curvature * (l1 * l1 + l2 * l2) / 16, 0.5);
                        const double mx = v[0] - (u[0] + w[0]) / 2, my = v[1] - (u[1] + w[1]) / 2;
                        const double m = std::hypot(mx, my);
                        if (m > 0) shifted = {v[0] + out * mx / m, v[1] + out * my / m};
                    }
                }
                const Corner& here = points_[along[i].first];
                const auto t = static_cast<std::uint32_t>(targets.size());
                // A point the chains pass twice (where a region touches itself) stays.
                const auto [entry, added] = targetAt.emplace(key(here.x, here.y), t);
                if (!added) {
                    targets[entry->second].share = 0;
                    continue;
                }
                targets.push_back({c, shifted});
                ofChain[c].push_back(t);
            }
        }
        // Where a lattice point goes, in units of the grid of corners between the pixels.
        constexpr std::int64_t kFine = kCornerSteps / 2;
        const auto moved = [&](std::int64_t x, std::int64_t y) -> const Target* {
            const auto found = targetAt.find(key(x, y));
            return found == targetAt.end() || targets[found->second].share == 0 ? nullptr : &targets[found->second];
        };
        const auto placeAt = [&](std::int64_t x, std::int64_t y) {
            const Target* t = moved(x, y);
            if (!t) return GridPoint{x * kFine, y * kFine};
            return GridPoint{std::llround((x + t->share * (t->at[0] - x)) * kFine),
                             std::llround((y + t->share * (t->at[1] - y)) * kFine)};
        };
        const auto place = [&](const Corner& c) { return placeAt(c.x, c.y); };
        std::vector<std::uint8_t> recut(regions_, 0);
        const auto lower = [&](std::uint32_t t) {
            Target& target = targets[t];
            if (target.share == 0) return false;
            target.share = target.share > 0.5 ? 0.5 : 0;
            recut[chains_[target.chain].positive] = recut[chains_[target.chain].negative] = 1;
            return true;
        };
        for (const Target& t : targets) recut[chains_[t.chain].positive] = recut[chains_[t.chain].negative] = 1;
        // The kept segments of every chain, in cells, for the moved ones to be checked against
        // (a corner moves by less than three half pixels).
        constexpr std::int32_t kMargin = 3;
        const std::int32_t across = 2 * width_ / kCell + 1, down = 2 * height_ / kCell + 1;
        std::vector<std::vector<std::uint32_t>> cells(static_cast<std::size_t>(across) * static_cast<std::size_t>(down));
        const auto forCells = [&](std::uint32_t p, const auto& visit) {
            const Corner& u = points_[p];
            const Corner& v = points_[next_[p]];
            const std::int32_t left = std::max(0, std::min(u.x, v.x) - kMargin) / kCell;
            const std::int32_t right = std::min(2 * width_, std::max(u.x, v.x) + kMargin) / kCell;
            const std::int32_t top = std::max(0, std::min(u.y, v.y) - kMargin) / kCell;
            const std::int32_t bottom = std::min(2 * height_, std::max(u.y, v.y) + kMargin) / kCell;
            for (std::int32_t y = top; y <= bottom; ++y) {
                for (std::int32_t x = left; x <= right; ++x) {
                    visit(cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(across) + static_cast<std::size_t>(x)]);
                }
            }
        };
        const auto moves = [&](std::uint32_t q) { return targetAt.count(key(points_[q].x, points_[q].y)) > 0; };
        std::vector<std::uint32_t> moving;  // the first points of segments with an end that moves
        for (const Chain& chain : chains_) {
            const std::uint32_t last = chain.start + chain.count - 1;
            for (std::uint32_t p = chain.start; p != kNone && p < last; p = next_[p]) {
                forCells(p, [&](std::vector<std::uint32_t>& cell) { cell.push_back(p); });
                if (moves(p) || moves(next_[p])) moving.push_back(p);
            }
        }
        // The corner at a lattice point, if it moves, goes back part of the way.
        const auto lowerAt = [&](std::int64_t x, std::int64_t y) {
            const auto found = targetAt.find(key(x, y));
            if (found != targetAt.end()) lower(found->second);
        };
        const auto lowerEnds = [&](std::uint32_t p) {
            for (const std::uint32_t q : {p, next_[p]}) lowerAt(points_[q].x, points_[q].y);
        };
        // Each region's polygons; those with a moved corner are its patch, cut again.
        std::vector<std::vector<const Polygon*>> polygons(regions_);
        written([&](std::uint32_t r, const Polygon& polygon) { polygons[r].push_back(&polygon); });
        const auto inPatch = [&](const Polygon& polygon) {
            for (int k = 0; k < polygon.count; ++k) {
                const GridPoint& c = polygon.corners[static_cast<std::size_t>(k)];
                if (moved(c.x, c.y)) return true;
            }
            return false;
        };
        std::map<std::uint32_t, std::vector<Polygon>> cut;  // the patches' new polygons
        constexpr double kLeastHeight = kFine * 0.05;  // no corner within a fortieth of a pixel of a side
        RegionCutter cutter(kLeastHeight);
        std::vector<Polygon> pieces;
        std::set<std::pair<GridPoint, GridPoint>> sides;
        std::vector<std::pair<GridPoint, GridPoint>> outline;
        std::vector<const Polygon*> patch;
        std::vector<Polygon> placed;
        std::vector<std::uint32_t> joined;
        std::map<std::pair<GridPoint, GridPoint>, std::uint32_t> sideOf;
        for (bool again = true; again;) {
            // Moved segments that meet another but at a shared end take their ends back.
            for (bool crossed = true; crossed;) {
                crossed = false;
                for (const std::uint32_t p : moving) {
                    const Corner& u = points_[p];
                    const Corner& v = points_[next_[p]];
                    const GridPoint a = place(u), b = place(v);
                    bool met = false;
                    forCells(p, [&](const std::vector<std::uint32_t>& cell) {
                        for (std::size_t i = 0; !met && i < cell.size(); ++i) {
                            const std::uint32_t q = cell[i];
                            const Corner& e = points_[q];
                            const Corner& f = points_[next_[q]];
                            if (q == p || e == u || e == v || f == u || f == v) continue;
                            met = SegmentsMeet(a, b, place(e), place(f));
                            if (met) lowerEnds(q);
                        }
                    });
                    if (met) {
                        lowerEnds(p);
                        crossed = true;
                    }
                }
            }
            // Each piece of a patch (its polygons joined by their sides) is cut along its outline:
            // the sides of its polygons that no other of them shares, its moved corners placed.
            // Where one cannot be cut, its corners go back part of the way.
            again = false;
            for (std::uint32_t r = 0; r < regions_; ++r) {
                if (!recut[r]) continue;
                recut[r] = 0;
                cut.erase(r);
                patch.clear();
                for (const Polygon* polygon : polygons[r]) {
                    if (inPatch(*polygon)) patch.push_back(polygon);
                }
                if (patch.empty()) continue;
                joined.resize(patch.size());
                std::iota(joined.begin(), joined.end(), 0u);
                const auto root = [&](std::uint32_t i) {
                    while (joined[i] != i) i = joined[i] = joined[joined[i]];
                    return i;
                };
                sideOf.clear();
                for (std::uint32_t i = 0; i < patch.size(); ++i) {
                    const Polygon& polygon = *patch[i];
                    for (int k = 0; k < polygon.count; ++k) {
                        const GridPoint& from = polygon.corners[static_cast<std::size_t>(k)];
                        const GridPoint& to = polygon.corners[static_cast<std::size_t>((k + 1) % polygon.count)];
                        const auto [other, added] = sideOf.emplace(std::pair{std::min(from, to), std::max(from, to)}, i);
                        if (added) continue;
                        const std::uint32_t p = root(i), q = root(other->second);
                        if (p != q) joined[std::max(p, q)] = std::min(p, q);
                    }
                }
                std::vector<Polygon>& out = cut[r];
                for (std::uint32_t piece = 0; piece < patch.size(); ++piece) {
                    if (root(piece) != piece) continue;
                    // Where every polygon of the piece keeps its shape with the corners moved, they
                    // are its polygons still (they still meet corner to corner, each turning as
                    // before).
                    placed.clear();
                    bool kept = true;
                    for (std::uint32_t i = piece; kept && i < patch.size(); ++i) {
                        if (root(i) != piece) continue;
                        Polygon polygon = *patch[i];
                        for (int k = 0; k < polygon.count; ++k) {
                            GridPoint& c = polygon.corners[static_cast<std::size_t>(k)];
                            c = placeAt(c.x, c.y);
                        }
                        kept = AcceptedPolygon(polygon.corners.data(), polygon.count, kLeastHeight);
                        placed.push_back(polygon);
                    }
                    if (kept) {
                        out.insert(out.end(), placed.begin(), placed.end());
                        continue;
                    }
                    sides.clear();
                    for (std::uint32_t i = piece; i < patch.size(); ++i) {
                        if (root(i) != piece) continue;
                        const Polygon& polygon = *patch[i];
                        for (int k = 0; k < polygon.count; ++k) {
                            const GridPoint& from = polygon.corners[static_cast<std::size_t>(k)];
                            const GridPoint& to = polygon.corners[static_cast<std::size_t>((k + 1) % polygon.count)];
                            if (!sides.erase({to, from})) sides.insert({from, to});
                        }
                    }
                    outline.clear();
                    for (const auto& [from, to] : sides) outline.emplace_back(placeAt(from.x, from.y), placeAt(to.x, to.y));
                    if (Simple(outline) && cutter.Cut(outline, pieces)) {
                        out.insert(out.end(), pieces.begin(), pieces.end());
                        continue;
                    }
                    for (const auto& [from, to] : sides) lowerAt(from.x, from.y);
                    again = true;
                }
            }
            for (std::uint32_t r = 0; !again && r < regions_; ++r) again = recut[r] != 0;
        }
        const auto fine = [](const GridPoint& c) {
            return std::array<double, 2>{static_cast<double>(c.x) / kFine, static_cast<double>(c.y) / kFine};
        };
        for (std::uint32_t r = 0; r < regions_; ++r) {
            for (const Polygon* polygon : polygons[r]) {
                if (!cut.count(r) || !inPatch(*polygon)) AppendLatticePolygon(code_[r], *polygon, quads);
            }
            const auto found = cut.find(r);
            if (found == cut.end()) continue;
            for (const Polygon& piece : found->second) AppendPlacedPolygon(code_[r], piece, quads, fine);
        }
    }

    // Whether no two segments meet but at an end they share (a moved corner may have come onto
    // a side of the polygons around it).
    static bool Simple(const std::vector<std::pair<GridPoint, GridPoint>>& segments) {
        std::vector<std::uint32_t> order(segments.size());
        std::iota(order.begin(), order.end(), 0u);
        const auto left = [&](std::uint32_t i) { return std::min(segments[i].first.x, segments[i].second.x); };
        std::sort(order.begin(), order.end(), [&](std::uint32_t i, std::uint32_t j) { return left(i) < left(j); });
        for (std::size_t i = 0; i < order.size(); ++i) {
            const auto& [a, b] = segments[order[i]];
            const std::int64_t right = std::max(a.x, b.x);
            for (std::size_t j = i + 1; j < order.size() && left(order[j]) <= right; ++j) {
                const auto& [c, d] = segments[order[j]];
                if (a == c || a == d || b == c || b == d) continue;
                if (std::max(c.y, d.y) < std::min(a.y, b.y) || std::min(c.y, d.y) > std::max(a.y, b.y)) continue;
                if (SegmentsMeet(a, b, c, d)) return false;
            }
        }
        return true;
    }

    // The part of the pixel with its top-left corner at (x, y) where nx X + ny Y < k.
    static double ShareBelow(double x, double y, double nx, double ny, double k) {
        const double square[4][2] = {{x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y + 1}};
        double clipped[8][2];
        int count = 0;
        for (int i = 0; i < 4; ++i) {
            const double* p = square[i];
            const double* q = square[(i + 1) % 4];
            const double sp = k - (nx * p[0] + ny * p[1]), sq = k - (nx * q[0] + ny * q[1]);
            if (sp >= 0) clipped[count][0] = p[0], clipped[count][1] = p[1], ++count;
            if ((sp >= 0) != (sq >= 0)) {
                const double t = sp / (sp - sq);
                clipped[count][0] = p[0] + t * (q[0] - p[0]);
                clipped[count][1] = p[1] + t * (q[1] - p[1]);
                ++count;
            }
        }
        double twice = 0;
        for (int i = 0; i < count; ++i) {
            const int j = (i + 1) % count;
            twice += clipped[i][0] * clipped[j][1] - clipped[j][0] * clipped[i][1];
        }
        return std::fabs(twice) / 2;
    }

    // Where the edge between regions a and b runs near the chain point `here` (its chain going
    // from `before` to `after`), in half pixels: the point on it nearest `here`; none where the
    // pixels around are no blend of the two along one straight line.
    std::optional<std::array<double, 2>> EdgeThrough(const Corner& here, const Corner& before,
                                                     const Corner& after, std::uint32_t a,
                                                     std::uint32_t b) const {
        const double px = here.x / 2.0, py = here.y / 2.0;
        const double tx = after.x - before.x, ty = after.y - before.y;
        const double length = std::hypot(tx, ty);
        if (length == 0) return std::nullopt;
        double nx = 0, ny = 0;
        struct Around {
            double x, y, side;
            bool inA;
            std::array<double, 3> colour;
        };
        std::array<Around, 32> around{};  // a disc of 2.5 pixels holds at most 22 middles
        int count = 0;
        // The two colours, from the pixels well inside either side: of those within two pixels,
        // or two and a half where none are (at the middle of a pixel's side).
        std::array<double, 3> ca{}, cb{};
        int na = 0, nb = 0;
        for (const double reach : {2.0, 2.5}) {
            nx = -ty / length, ny = tx / length;
            count = 0;
            double sideA = 0, sideB = 0;
            int inA = 0;
            for (auto y = static_cast<std::int32_t>(std::floor(py - reach)); y < py + reach; ++y) {
                for (auto x = static_cast<std::int32_t>(std::floor(px - reach)); x < px + reach; ++x) {
                    const double cx = x + 0.5 - px, cy = y + 0.5 - py;
                    if (cx * cx + cy * cy > reach * reach) continue;
                    const std::uint32_t r = At(x, y);
                    if (r != a && r != b) return std::nullopt;
                    const std::uint8_t* p = original_->data() + Pixel(x, y) * 4;
                    const double alpha = p[3] / 255.0;
                    Around& pixel = around[static_cast<std::size_t>(count++)];
                    pixel = {static_cast<double>(x), static_cast<double>(y), nx * cx + ny * cy, r == a, {}};
                    for (std::size_t k = 0; k < 3; ++k) pixel.colour[k] = p[k] * alpha + 255 * (1 - alpha);
                    (r == a ? sideA : sideB) += pixel.side;
                    inA += r == a;
                }
            }
            if (inA == 0 || inA == count) return std::nullopt;
            if (sideA / inA > sideB / (count - inA)) {  // a on the side where n X is less
                nx = -nx, ny = -ny;
                for (int i = 0; i < count; ++i) around[static_cast<std::size_t>(i)].side *= -1;
            }
            ca = {}, cb = {};
            na = 0, nb = 0;
            for (int i = 0; i < count; ++i) {
                const Around& pixel = around[static_cast<std::size_t>(i)];
                if (pixel.inA && pixel.side <= -1.2) {
                    for (std::size_t k = 0; k < 3; ++k) ca[k] += pixel.colour[k];
                    ++na;
                } else if (!pixel.inA && pixel.side >= 1.2) {
                    for (std::size_t k = 0; k < 3; ++k) cb[k] += pixel.colour[k];
                    ++nb;
                }
            }
            if (na > 0 && nb > 0) break;
        }
        if (na == 0 || nb == 0) return std::nullopt;
        double apart = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            ca[k] /= na, cb[k] /= nb;
            apart += (ca[k] - cb[k]) * (ca[k] - cb[k]);
        }
        if (apart < 40.0 * 40.0) return std::nullopt;
        std::array<double, 32> share{};
        double total = 0;
        bool blended = false;
        for (int i = 0; i < count; ++i) {
            const Around& pixel = around[static_cast<std::size_t>(i)];
            double along = 0;
            for (std::size_t k = 0; k < 3; ++k) along += (pixel.colour[k] - cb[k]) * (ca[k] - cb[k]);
            const double s = std::clamp(along / apart, 0.0, 1.0);
            share[static_cast<std::size_t>(i)] = s;
            total += s;
            blended = blended || (s > 0.15 && s < 0.85);
        }
        if (!blended) return std::nullopt;
        // The line n X = k (pixels of a below it) whose shares add up to the blends', for the
        // normal n across the chain; where that fits the blends less than well, also for the one
        // the blends themselves slope along (where the chain's neighbouring corners are a step of
        // the staircase, not the edge's direction), and the one that fits them better.
        const auto fit = [&](double mx, double my) -> std::optional<std::array<double, 2>> {
            const auto shares = [&](double k) {
                double sum = 0;
                for (int i = 0; i < count; ++i) {
                    const Around& pixel = around[static_cast<std::size_t>(i)];
                    sum += ShareBelow(pixel.x, pixel.y, mx, my, k);
                }
                return sum;
            };
            const double through = mx * px + my * py;
            double low = through - 1, high = through + 1;
            if (shares(low) > total || shares(high) < total) return std::nullopt;
            for (int step = 0; step < 24; ++step) {  // to well within the grid of corners
                const double middle = (low + high) / 2;
                (shares(middle) < total ? low : high) = middle;
            }
            const double k = (low + high) / 2;
            double worst = 0;
            for (int i = 0; i < count; ++i) {
                const Around& pixel = around[static_cast<std::size_t>(i)];
                worst = std::max(worst, std::fabs(ShareBelow(pixel.x, pixel.y, mx, my, k) -
                                                  share[static_cast<std::size_t>(i)]));
            }
            if (worst > 0.3) return std::nullopt;
            return std::array<double, 2>{k - through, worst};
        };
        auto best = fit(nx, ny);
        if (!best || (*best)[1] > 0.1) {
            // The slope of the shares over the pixels' middles (least squares), pointing to b.
            double mx = 0, my = 0, sx = 0, sy = 0, ss = 0;
            for (int i = 0; i < count; ++i) {
                const Around& pixel = around[static_cast<std::size_t>(i)];
                sx += pixel.x, sy += pixel.y, ss += share[static_cast<std::size_t>(i)];
            }
            sx /= count, sy /= count, ss /= count;
            double xx = 0, xy = 0, yy = 0, xs = 0, ys = 0;
            for (int i = 0; i < count; ++i) {
                const Around& pixel = around[static_cast<std::size_t>(i)];
                const double dx = pixel.x - sx, dy = pixel.y - sy, ds = share[static_cast<std::size_t>(i)] - ss;
                xx += dx * dx, xy += dx * dy, yy += dy * dy, xs += dx * ds, ys += dy * ds;
            }
            const double determinant = xx * yy - xy * xy;
            if (determinant > 0) {
                mx = -(yy * xs - xy * ys) / determinant;
                my = -(xx * ys - xy * xs) / determinant;
            }
            const double slope = std::hypot(mx, my);
            if (slope > 0) {
                mx /= slope, my /= slope;
                const auto other = fit(mx, my);
                if (other && (!best || (*other)[1] < (*best)[1])) best = other, nx = mx, ny = my;
            }
        }
        if (!best) return std::nullopt;
        const double d = (*best)[0];
        return std::array<double, 2>{2 * (px + d * nx), 2 * (py + d * ny)};
    }

    struct Chain {
        std::uint32_t start;     // its first point in points_
        std::uint32_t count;     // its points: every lattice point and edge middle, in order
        std::uint32_t positive;  // the region on the side of a positive cross product
        std::uint32_t negative;  // and on the other side
    };
    struct Segment {
        std::uint32_t from, to;  // points of one chain, from < to
    };

    void Report(double share) {
        if (progress_ && !progress_(share)) throw ConversionStopped{};
    }

    std::size_t Pixel(std::int32_t x, std::int32_t y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x);
    }

    // The region of a pixel; outside_ beyond the picture.
    std::uint32_t At(std::int32_t x, std::int32_t y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return outside_;
        return region_[Pixel(x, y)];
    }

    // 4-connected pixels of one code get one number, in reading order of their first pixel.
    void Label(const std::vector<std::int32_t>& codes) {
        const std::size_t pixels = codes.size();
        region_.assign(pixels, kNone);
        std::vector<std::uint32_t> stack;
        for (std::size_t first = 0; first < pixels; ++first) {
            if (region_[first] != kNone) continue;
            const auto id = static_cast<std::uint32_t>(area_.size());
            std::uint64_t area = 0;
            region_[first] = id;
            stack.push_back(static_cast<std::uint32_t>(first));
            while (!stack.empty()) {
                const std::uint32_t at = stack.back();
                stack.pop_back();
                ++area;
                const std::int32_t x = static_cast<std::int32_t>(at % static_cast<std::uint32_t>(width_));
                const std::int32_t y = static_cast<std::int32_t>(at / static_cast<std::uint32_t>(width_));
                const auto visit = [&](std::int32_t nx, std::int32_t ny) {
                    if (nx < 0 || ny < 0 || nx >= width_ || ny >= height_) return;
                    const std::size_t next = Pixel(nx, ny);
                    if (region_[next] != kNone || codes[next] != codes[first]) return;
                    region_[next] = id;
                    stack.push_back(static_cast<std::uint32_t>(next));
                };
                visit(x + 1, y), visit(x - 1, y), visit(x, y + 1), visit(x, y - 1);
            }
            area_.push_back(area);
            labelCode_.push_back(codes[first]);
        }
        parent_.resize(area_.size());
        std::iota(parent_.begin(), parent_.end(), 0u);
    }

    // The area that counts for merging: that of the region with the regions of its code that
    // touch it at a corner, so that a stroke or letter joined through its corners (a diagonal
    // line of single pixels) counts as the one shape a person sees, and is not merged away
    // piece by piece.
    // Specks of blended colour along an anti-aliased edge join nothing, though: they stay the
    // noise they are.
    void CountJoinedAreas(const std::vector<std::int32_t>& codes) {
        const std::uint64_t least = static_cast<std::uint64_t>(options_.minArea);
        BlendFinder blends(width_, height_, codes, original_);
        std::vector<std::uint32_t> blended(area_.size(), 0);
        for (std::int32_t y = 0; y < height_; ++y) {
            for (std::int32_t x = 0; x < width_; ++x) {
                const std::uint32_t r = region_[Pixel(x, y)];
                if (area_[r] < least && blends.At(x, y)) ++blended[r];
            }
        }
        const auto blend = [&](std::uint32_t r) { return area_[r] < least && 4 * blended[r] >= 3 * area_[r]; };
        // Blended specks joined corner to corner along a long edge are its band; a few of them
        // together are a small shape (a letter's stroke in a picture of few colours looks alike).
        std::vector<std::uint32_t> band(area_.size());
        std::iota(band.begin(), band.end(), 0u);
        const auto bandRoot = [&](std::uint32_t r) {
            while (band[r] != r) r = band[r] = band[band[r]];
            return r;
        };
        for (std::int32_t y = 0; y + 1 < height_; ++y) {
            for (std::int32_t x = 0; x < width_; ++x) {
                for (const std::int32_t dx : {-1, 1}) {
                    if (x + dx < 0 || x + dx >= width_) continue;
                    const std::size_t p = Pixel(x, y), q = Pixel(x + dx, y + 1);
                    if (codes[p] != codes[q] || !blend(region_[p]) || !blend(region_[q])) continue;
                    const std::uint32_t a = bandRoot(region_[p]), b = bandRoot(region_[q]);
                    if (a != b) band[std::max(a, b)] = std::min(a, b);
                }
            }
        }
        std::vector<std::uint64_t> bandArea(area_.size(), 0);
        for (std::uint32_t r = 0; r < area_.size(); ++r) {
            if (blend(r)) bandArea[bandRoot(r)] += area_[r];
        }
        const auto speck = [&](std::uint32_t r) { return blend(r) && bandArea[bandRoot(r)] >= kLeastBand; };
        std::vector<std::uint32_t> joined(area_.size());
        std::iota(joined.begin(), joined.end(), 0u);
        const auto root = [&](std::uint32_t r) {
            while (joined[r] != r) r = joined[r] = joined[joined[r]];
            return r;
        };
        for (std::int32_t y = 0; y + 1 < height_; ++y) {
            for (std::int32_t x = 0; x < width_; ++x) {
                for (const std::int32_t dx : {-1, 1}) {
                    if (x + dx < 0 || x + dx >= width_) continue;
                    const std::size_t p = Pixel(x, y), q = Pixel(x + dx, y + 1);
                    if (codes[p] != codes[q] || codes[p] == kNotCovered) continue;
                    if (speck(region_[p]) || speck(region_[q])) continue;
                    const std::uint32_t a = root(region_[p]), b = root(region_[q]);
                    if (a != b) joined[std::max(a, b)] = std::min(a, b);
                }
            }
        }
        std::vector<std::uint64_t> total(area_.size(), 0);
        for (std::uint32_t r = 0; r < area_.size(); ++r) total[root(r)] += area_[r];
        for (std::uint32_t r = 0; r < area_.size(); ++r) area_[r] = total[root(r)];
    }

    std::uint32_t Find(std::uint32_t r) {
        while (parent_[r] != r) {
            parent_[r] = parent_[parent_[r]];
            r = parent_[r];
        }
        return r;
    }

    // How unlike two codes' colours are: the squared distance of their red, green and blue.
    static std::int64_t Difference(std::int32_t first, std::int32_t second) {
        if (first == second) return 0;
        const auto a = RgbOf(first), b = RgbOf(second);
        if (!a || !b) return std::int64_t{1} << 40;
        std::int64_t sum = 0;
        for (int i = 0; i < 3; ++i) sum += static_cast<std::int64_t>((*a)[i] - (*b)[i]) * ((*a)[i] - (*b)[i]);
        return sum;
    }

    // Smallest first, every region under the least area goes to the neighbour it shares the
    // longest border with (the first in reading order among equals) and takes its code.
    void MergeSmallRegions() {
        const std::uint64_t least = static_cast<std::uint64_t>(options_.minArea);
        const std::size_t pixels = region_.size();
        // The pixels of each small region, as a list through nextPixel.
        std::vector<std::uint32_t> head(area_.size(), kNone), tail(area_.size(), kNone);
        std::vector<std::uint32_t> nextPixel(pixels, kNone);
        // Left-out pixels are never merged, nor merged into: a hole keeps its shape, and what
        // lies beside it stays.
        const auto leftOut = [&](std::uint32_t r) { return labelCode_[r] == kNotCovered; };
        for (std::size_t p = pixels; p-- > 0;) {
            const std::uint32_t r = region_[p];
            if (area_[r] >= least || leftOut(r)) continue;
            if (tail[r] == kNone) tail[r] = static_cast<std::uint32_t>(p);
            nextPixel[p] = head[r];
            head[r] = static_cast<std::uint32_t>(p);
        }
        using Entry = std::pair<std::uint64_t, std::uint32_t>;
        std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
        for (std::uint32_t r = 0; r < area_.size(); ++r) {
            if (area_[r] < least && !leftOut(r)) queue.emplace(area_[r], r);
        }
        std::vector<std::pair<std::uint32_t, std::uint64_t>> borders;
        while (!queue.empty()) {
            const auto [area, r] = queue.top();
            queue.pop();
            if (parent_[r] != r || area_[r] != area) continue;
            borders.clear();
            for (std::uint32_t p = head[r]; p != kNone; p = nextPixel[p]) {
                const std::int32_t x = static_cast<std::int32_t>(p % static_cast<std::uint32_t>(width_));
                const std::int32_t y = static_cast<std::int32_t>(p / static_cast<std::uint32_t>(width_));
                for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                    const std::int32_t nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= width_ || ny >= height_) continue;
                    const std::uint32_t s = Find(region_[Pixel(nx, ny)]);
                    if (s == r || leftOut(s)) continue;
                    auto known = std::find_if(borders.begin(), borders.end(),
                                              [s](const auto& b) { return b.first == s; });
                    if (known == borders.end()) {
                        borders.emplace_back(s, 1);
                    } else {
                        ++known->second;
                    }
                }
            }
            if (borders.empty()) continue;  // the whole picture, or alone among holes
            // The longest border; among equals the nearest colour (so that the speckles along an
            // anti-aliased edge all go the same way), then the first region.
            auto best = borders.begin();
            for (auto b = borders.begin() + 1; b != borders.end(); ++b) {
                if (b->second != best->second) {
                    if (b->second > best->second) best = b;
                    continue;
                }
                const std::int64_t mine = Difference(labelCode_[r], labelCode_[b->first]);
                const std::int64_t theirs = Difference(labelCode_[r], labelCode_[best->first]);
                if (mine < theirs || (mine == theirs && b->first < best->first)) best = b;
            }
            const std::uint32_t s = best->first;
            parent_[r] = s;
            ++merged_;
            const bool smallBefore = area_[s] < least;
            area_[s] += area_[r];
            if (smallBefore) {
                nextPixel[tail[s]] = head[r];
                tail[s] = tail[r];
                if (area_[s] < least) queue.emplace(area_[s], s);
            }
        }
    }

    // Neighbouring regions of one code after the merging become one, and regions are numbered
    // again in reading order of their first pixel.
    void JoinAlikeNeighbours() {
        const std::vector<std::int32_t>& rootCode = labelCode_;
        if (merged_ > 0) {
            const auto join = [&](std::size_t p, std::size_t q) {
                const std::uint32_t a = Find(region_[p]), b = Find(region_[q]);
                if (a != b && rootCode[a] == rootCode[b]) parent_[std::max(a, b)] = std::min(a, b);
            };
            for (std::int32_t y = 0; y < height_; ++y) {
                for (std::int32_t x = 0; x < width_; ++x) {
                    if (x + 1 < width_) join(Pixel(x, y), Pixel(x + 1, y));
                    if (y + 1 < height_) join(Pixel(x, y), Pixel(x, y + 1));
                }
            }
        }
        std::vector<std::uint32_t> number(area_.size(), kNone);
        for (std::size_t p = 0; p < region_.size(); ++p) {
            const std::uint32_t r = Find(region_[p]);
            if (number[r] == kNone) {
                number[r] = static_cast<std::uint32_t>(code_.size());
                code_.push_back(rootCode[r]);
            }
            region_[p] = number[r];
        }
        regions_ = static_cast<std::uint32_t>(code_.size());
        outside_ = regions_;
        std::vector<std::uint64_t>().swap(area_);
        std::vector<std::uint32_t>().swap(parent_);
        std::vector<std::int32_t>().swap(labelCode_);
    }

    // The lattice edge from point (x, y) in direction d (right, down, left, up): whether it lies
    // between two regions (or a region and the outside).
    bool Border(std::int32_t x, std::int32_t y, int d) const {
        switch (d) {
            case 0:
                return x < width_ && At(x, y - 1) != At(x, y);
            case 1:
                return y < height_ && At(x - 1, y) != At(x, y);
            case 2:
                return x > 0 && At(x - 1, y - 1) != At(x - 1, y);
            default:
                return y > 0 && At(x - 1, y - 1) != At(x, y - 1);
        }
    }

    // The first point (in points_) of the lattice edge from (x, y) in direction d, once a chain
    // has passed it; kNone before. Each edge is reached from either end.
    std::uint32_t& Used(std::int32_t x, std::int32_t y, int d) {
        return const_cast<std::uint32_t&>(std::as_const(*this).Used(x, y, d));
    }
    const std::uint32_t& Used(std::int32_t x, std::int32_t y, int d) const {
        switch (d) {
            case 0:
                return horizontalUsed_[Pixel(x, y)];
            case 1:
                return verticalUsed_[static_cast<std::size_t>(y) * (width_ + 1) + x];
            case 2:
                return horizontalUsed_[Pixel(x - 1, y)];
            default:
                return verticalUsed_[static_cast<std::size_t>(y - 1) * (width_ + 1) + x];
        }
    }

    int Degree(std::int32_t x, std::int32_t y) const {
        return Border(x, y, 0) + Border(x, y, 1) + Border(x, y, 2) + Border(x, y, 3);
    }

    bool Junction(std::int32_t x, std::int32_t y) const {
        const int degree = Degree(x, y);
        return degree > 2 || (degree > 0 && (x == 0 || x == width_) && (y == 0 || y == height_));
    }

    void Walk(std::int32_t x, std::int32_t y, int d) {
        static constexpr int kDx[] = {1, 0, -1, 0}, kDy[] = {0, 1, 0, -1};
        Chain chain{static_cast<std::uint32_t>(points_.size()), 0, 0, 0};
        switch (d) {
            case 0:
                chain.positive = At(x, y), chain.negative = At(x, y - 1);
                break;
            case 1:
                chain.positive = At(x - 1, y), chain.negative = At(x, y);
                break;
            case 2:
                chain.positive = At(x - 1, y - 1), chain.negative = At(x - 1, y);
                break;
            default:
                chain.positive = At(x, y - 1), chain.negative = At(x - 1, y - 1);
                break;
        }
        // Every lattice point and every edge's middle, in half pixels.
        const Corner start{x, y};
        for (;;) {
            Used(x, y, d) = static_cast<std::uint32_t>(points_.size());
            points_.push_back({2 * x, 2 * y});
            points_.push_back({2 * x + kDx[d], 2 * y + kDy[d]});
            x += kDx[d], y += kDy[d];
            if (Corner{x, y} == start || Junction(x, y)) {
                points_.push_back({2 * x, 2 * y});
                break;
            }
            for (const int next : {d, (d + 1) % 4, (d + 3) % 4}) {
                if (Border(x, y, next)) {
                    d = next;
                    break;
                }
            }
        }
        chain.count = static_cast<std::uint32_t>(points_.size()) - chain.start;
        chains_.push_back(chain);
    }

    void TraceChains() {
        horizontalUsed_.assign(static_cast<std::size_t>(width_) * (height_ + 1), kNone);
        verticalUsed_.assign(static_cast<std::size_t>(width_ + 1) * height_, kNone);
        for (std::int32_t y = 0; y <= height_; ++y) {
            for (std::int32_t x = 0; x <= width_; ++x) {
                if (!Junction(x, y)) continue;
                for (int d = 0; d < 4; ++d) {
                    if (Border(x, y, d) && Used(x, y, d) == kNone) Walk(x, y, d);
                }
            }
        }
        // Closed borders without a junction start from their first point in reading order, a
        // top-left corner, to the right.
        for (std::int32_t y = 0; y < height_; ++y) {
            for (std::int32_t x = 0; x < width_; ++x) {
                if (Border(x, y, 0) && Used(x, y, 0) == kNone) Walk(x, y, 0);
            }
        }
        keep_.assign(points_.size(), 0);
        pinned_.assign(points_.size(), 0);
        next_.assign(points_.size(), kNone);
        straight_.assign(points_.size(), 0);
        changed_.assign(chains_.size(), 0);
        dense_.assign(chains_.size(), 0);
        chainStarts_.reserve(chains_.size());
        for (const Chain& chain : chains_) chainStarts_.push_back(chain.start);
    }

    // Keeps the chain's staircase: its ends, every corner and every point pinned (or, with
    // every, every lattice point).
    void KeepCorners(std::uint32_t c, bool every = false) {
        const Chain& chain = chains_[c];
        const std::uint32_t last = chain.start + chain.count - 1;
        std::uint32_t from = chain.start;
        keep_[from] = 1;
        for (std::uint32_t k = chain.start + 1; k <= last; ++k) {
            keep_[k] = k == last || pinned_[k] ||
                       (every ? points_[k].x % 2 == 0 && points_[k].y % 2 == 0
                              : Cross(points_[k - 1], points_[k], points_[k + 1]) != 0);
            if (!keep_[k]) continue;
            Link(from, k);
            from = k;
        }
    }

    // The chain's points from `from` to `to` become one segment.
    void Link(std::uint32_t from, std::uint32_t to) {
        next_[from] = to;
        bool straight = true;
        for (std::uint32_t k = from + 1; straight && k < to; ++k) {
            straight = Cross(points_[from], points_[k], points_[to]) == 0;
        }
        straight_[from] = straight;
    }

    void Restore(std::uint32_t c) {
        if (!dense_[c]) KeepCorners(c);  // a chain with every lattice point has its corners
        changed_[c] = 1;
    }

    // From each inward corner of region r's staircase (three of the four pixels around it are
    // the region's), the two lines of its sides go on into the region up to its outline; the
    // points where they meet it are pinned as corners of their chains, which keep their
    // staircase. A long side facing many steps so gets a corner facing each.
    void PinProjections(std::uint32_t r) {
        std::vector<std::uint32_t> touched;
        const auto pin = [&](std::int32_t x, std::int32_t y) {
            if (Junction(x, y)) return;  // a chain's end, kept already
            for (int d = 0; d < 4; ++d) {
                if (!Border(x, y, d)) continue;
                std::uint32_t at = Used(x, y, d);
                if (at == kNone) return;
                if (!(points_[at] == Corner{2 * x, 2 * y})) at += 2;
                pinned_[at] = 1;
                touched.push_back(ChainOf(at));
                return;
            }
        };
        for (std::uint32_t i = chainStart_[r]; i < chainStart_[r + 1]; ++i) {
            const Chain& chain = chains_[chainList_[i]];
            for (std::uint32_t k = chain.start; k < chain.start + chain.count; k += 2) {
                const std::int32_t x = points_[k].x / 2, y = points_[k].y / 2;
                const bool around[4] = {At(x - 1, y - 1) == r, At(x, y - 1) == r,
                                        At(x - 1, y) == r, At(x, y) == r};
                if (around[0] + around[1] + around[2] + around[3] != 3) continue;
                // The pixel that is not the region's: the lines go on away from it.
                const int missing = static_cast<int>(std::find(around, around + 4, false) - around);
                const int sx = missing % 2 == 0 ? 1 : -1, sy = missing < 2 ? 1 : -1;
                for (const auto& [dx, dy] : {std::pair{sx, 0}, std::pair{0, sy}}) {
                    std::int32_t qx = x, qy = y;
                    for (int step = 0; step < kLongestProjection; ++step) {
                        // The lattice edge from q onwards lies inside the region while the two
                        // pixels beside it are the region's.
                        const bool inside =
                            dx != 0 ? At(dx > 0 ? qx : qx - 1, qy - 1) == r &&
                                          At(dx > 0 ? qx : qx - 1, qy) == r
                                    : At(qx - 1, dy > 0 ? qy : qy - 1) == r &&
                                          At(qx, dy > 0 ? qy : qy - 1) == r;
                        if (!inside) {
                            if (step > 0) pin(qx, qy);
                            break;
                        }
                        qx += dx, qy += dy;
                    }
                }
            }
        }
        std::sort(touched.begin(), touched.end());
        touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
        for (std::uint32_t i = chainStart_[r]; i < chainStart_[r + 1]; ++i) {
            touched.push_back(chainList_[i]);
        }
        for (const std::uint32_t c : touched) {
            if (!dense_[c]) KeepCorners(c);
            changed_[c] = 1;
        }
    }

    // Every lattice point of the chain (and its ends) kept.
    void KeepEvery(std::uint32_t c) {
        KeepCorners(c, true);
        dense_[c] = 1;
        changed_[c] = 1;
    }

    // The point between from and to farthest from the segment joining them.
    std::uint32_t Farthest(std::uint32_t from, std::uint32_t to, double* distance) const {
        std::uint32_t farthest = from + 1;
        double most = -1;
        for (std::uint32_t k = from + 1; k < to; ++k) {
            const double d = DistanceSquared(points_[k], points_[from], points_[to]);
            if (d > most) most = d, farthest = k;
        }
        if (distance) *distance = most;
        return farthest;
    }

    // The region whose pixels a chain's segments must not cut into: where the chain borders
    // left-out pixels, the region on its other side, whose outline so never leaves one of its
    // pixels bare (it may reach into the hole instead, by less than half a pixel); kNone else.
    std::uint32_t KeptSide(const Chain& chain) const {
        const auto hole = [&](std::uint32_t r) { return r < regions_ && code_[r] == kNotCovered; };
        if (hole(chain.negative) && chain.positive < regions_ && !hole(chain.positive)) return chain.positive;
        if (hole(chain.positive) && chain.negative < regions_ && !hole(chain.negative)) return chain.negative;
        return kNone;
    }

    // Where corners will lie between the pixels, a long side may still cut across a curved
    // anti-aliased edge by more than the staircase showed (the staircase lies within the
    // tolerance of the side, the edge through the blends need not): such a side gets a corner
    // at the point of its chain where the edge runs farthest from it, at the middle or a quarter
    // of the way, until every side keeps within a quarter of a pixel of the edge there.
    void FollowBlendedCurves() {
        constexpr double kLeastLength = 8;  // half pixels
        constexpr double kOff = 0.5;        // half pixels
        std::vector<std::pair<std::uint32_t, std::uint32_t>> sides;
        for (const Chain& chain : chains_) {
            const std::uint32_t a = chain.positive, b = chain.negative;
            if (a >= regions_ || b >= regions_ || code_[a] == kNotCovered || code_[b] == kNotCovered) continue;
            const std::uint32_t last = chain.start + chain.count - 1;
            const auto inside = [&](std::uint32_t p) {
                const Corner& c = points_[p];
                return c.x > 0 && c.y > 0 && c.x < 2 * width_ && c.y < 2 * height_;
            };
            // Where a corner would go: on the edge, but at the chain's ends and the picture's
            // border on its lattice point.
            const auto placed = [&](std::uint32_t p, std::uint32_t from, std::uint32_t to) {
                const Corner& c = points_[p];
                std::array<double, 2> at{static_cast<double>(c.x), static_cast<double>(c.y)};
                if (p == chain.start || p == last || !inside(p)) return at;
                return EdgeThrough(c, points_[from], points_[to], a, b).value_or(at);
            };
            sides.clear();
            for (std::uint32_t p = chain.start; p != kNone && p < last; p = next_[p]) sides.emplace_back(p, next_[p]);
            while (!sides.empty()) {
                const auto [from, to] = sides.back();
                sides.pop_back();
                const Corner& u = points_[from];
                const Corner& v = points_[to];
                if (to - from < 4 || std::hypot(v.x - u.x, v.y - u.y) < kLeastLength) continue;
                const auto s = placed(from, from, to), e = placed(to, from, to);
                const double dx = e[0] - s[0], dy = e[1] - s[1], l = std::hypot(dx, dy);
                if (l == 0) continue;
                std::uint32_t worst = kNone;
                double most = kOff;
                for (const std::uint32_t k : {(from + to) / 2, (3 * from + to) / 4, (from + 3 * to) / 4}) {
                    if (k <= from || k >= to || !inside(k)) continue;
                    const auto edge = EdgeThrough(points_[k], u, v, a, b);
                    if (!edge) continue;
                    const double off = std::fabs(dx * ((*edge)[1] - s[1]) - dy * ((*edge)[0] - s[0])) / l;
                    if (off > most) most = off, worst = k;
                }
                if (worst == kNone) continue;
                keep_[worst] = 1;
                Link(from, worst);
                Link(worst, to);
                sides.emplace_back(from, worst);
                sides.emplace_back(worst, to);
            }
        }
    }

    // Each chain is simplified to the fewest segments: from every point, the farthest point a
    // segment may reach (see Reach) is found, and the fewest segments from the chain's start to
    // its end are found over them (dynamic programming: each point takes the first segment end
    // that reaches it, in the order of the number of segments to it). A path that goes through a
    // point short of a segment's farthest is checked; should any piece of it not hold, the chain
    // keeps the walk from point to farthest point.
    void Simplify() {
        std::vector<std::uint32_t> reach, previous, path, fewest;
        for (const Chain& chain : chains_) {
            const std::uint32_t last = chain.start + chain.count - 1;
            keep_[chain.start] = keep_[last] = 1;
            const auto c = static_cast<std::uint32_t>(&chain - chains_.data());
            if (options_.tolerance == 0) {
                KeepCorners(c);
                continue;
            }
            const std::uint32_t n = chain.count;
            if (n <= 3) {  // a single edge: nothing to straighten
                Link(chain.start, last);
                continue;
            }
            const std::uint32_t kept = KeptSide(chain);
            // A few steps beside left-out pixels cannot be straightened without baring a pixel
            // or covering a left-out one: they keep their staircase.
            if (kept != kNone && n <= 9) {
                KeepCorners(c);
                continue;
            }
            // The walk from point to farthest point first: where it takes at most two segments,
            // or the chain is long, it is what is kept (no fewer can do for two; a long chain
            // would take too long to search).
            path.assign(1, 0);
            while (path.back() != n - 1) path.push_back(Reach(chain.start + path.back(), last, kept) - chain.start);
            if (path.size() > 3 && n <= kMostOptimisedChain) {
                reach.assign(n, 0);
                previous.assign(n, kNone);
                for (std::uint32_t i = 0; i + 1 < n; ++i) reach[i] = Reach(chain.start + i, last, kept) - chain.start;
                std::uint32_t filled = 0;
                for (std::uint32_t i = 0; i + 1 < n && filled < n - 1 && i <= filled; ++i) {
                    for (std::uint32_t j = filled + 1; j <= reach[i]; ++j) previous[j] = i;
                    filled = std::max(filled, reach[i]);
                }
                fewest.assign(1, n - 1);
                while (fewest.back() != 0) fewest.push_back(previous[fewest.back()]);
                std::reverse(fewest.begin(), fewest.end());
                bool holds = fewest.size() < path.size();
                for (std::size_t k = 0; holds && k + 1 < fewest.size(); ++k) {
                    const std::uint32_t from = chain.start + fewest[k], to = chain.start + fewest[k + 1];
                    holds = reach[fewest[k]] == fewest[k + 1] || Reaches(from, to, last, kept);
                }
                if (holds) path.swap(fewest);
            }
            for (std::size_t k = 0; k + 1 < path.size(); ++k) {
                const std::uint32_t from = chain.start + path[k], to = chain.start + path[k + 1];
                keep_[to] = 1;
                Link(from, to);
            }
        }
    }

    // The points a straight segment from `from` may end at, as far as the wedge of directions
    // goes: the middles of the edges it passes lie within the tolerance and half a pixel of it
    // (the wedge narrowed edge by edge), and it lies no nearer than any point passed.
    void Candidates(std::uint32_t from, std::uint32_t last, double tolerance,
                    std::vector<std::uint32_t>& candidates) const {
        constexpr double kPi = 3.14159265358979323846;
        const double band = 2 * tolerance + 1;  // in half pixels
        const Corner& s = points_[from];
        bool open = true;  // every direction, until a middle is farther than the band
        double low = 0, high = 0;
        double farthest = 0;
        candidates.clear();
        for (std::uint32_t k = from + 1; k <= last; ++k) {
            const double dx = points_[k].x - s.x, dy = points_[k].y - s.y;
            const double distance = std::sqrt(dx * dx + dy * dy);
            double angle = std::atan2(dy, dx);
            if (!open) {
                const double middle = (low + high) / 2;
                while (angle < middle - kPi) angle += 2 * kPi;
                while (angle > middle + kPi) angle -= 2 * kPi;
            }
            const bool within = open || (angle >= low && angle <= high);
            if (within && distance >= farthest && !(points_[k] == s)) candidates.push_back(k);
            farthest = std::max(farthest, distance);
            const bool middle = (points_[k].x & 1) != 0 || (points_[k].y & 1) != 0;
            if (middle && distance > band) {
                const double spread = std::asin(band / distance);
                if (open) {
                    low = angle - spread, high = angle + spread, open = false;
                } else {
                    low = std::max(low, angle - spread), high = std::min(high, angle + spread);
                    if (low > high) break;
                }
            }
        }
    }

    // Whether the segment from `from` to `to` leaves the middle of every pixel beside the chain's
    // edges between them on its own side: no pixel changes its colour, so no stroke or letter a
    // pixel wide can vanish. (Beyond half a pixel of tolerance the outline may go over pixels,
    // but never beside left-out ones: a hole keeps its pixels, and what lies beside it stays.)
    bool KeepsCentres(std::uint32_t from, std::uint32_t to, std::uint32_t kept) const {
        if (options_.tolerance > 0.5 && kept == kNone) return true;
        const Corner& a = points_[from];
        const Corner& b = points_[to];
        const std::int64_t ux = b.x - a.x, uy = b.y - a.y;
        // The edges between, and the one on either side, whose corner pixels a slant can clip.
        const Chain& chain = chains_[ChainOf(from)];
        const std::uint32_t first = from > chain.start + 1 ? from - 1 : chain.start + 1;
        const std::uint32_t end = std::min(to + 2, chain.start + chain.count - 1);
        for (std::uint32_t k = first; k < end; ++k) {
            const Corner& m = points_[k];
            if ((m.x & 1) == 0 && (m.y & 1) == 0) continue;  // a lattice point, not an edge's middle
            const std::int64_t ex = points_[k + 1].x - points_[k - 1].x, ey = points_[k + 1].y - points_[k - 1].y;
            // The pixel middles beside the edge, on its positive side and its negative one.
            const std::int64_t nx = -ey / 2, ny = ex / 2;
            for (const int side : {1, -1}) {
                const std::int64_t cx = m.x + side * nx, cy = m.y + side * ny;
                if (cx < 0 || cy < 0 || cx > 2 * width_ || cy > 2 * height_) continue;
                const std::int64_t turn = ux * (cy - a.y) - uy * (cx - a.x);
                if (turn * side < 0) return false;
                if (turn != 0) continue;
                // A left-out pixel's middle on the segment would be covered half: not at all. A
                // pixel one pixel thick across the edge (as in a diagonal stroke of single
                // pixels) would be shown half: a thin line whose every middle lies beside it. (At
                // the picture's border a pixel is not taken for thin.)
                const std::uint32_t here = At(static_cast<std::int32_t>(cx / 2), static_cast<std::int32_t>(cy / 2));
                const std::int64_t bx = cx + 2 * side * nx, by = cy + 2 * side * ny;
                const bool inside = bx > 0 && by > 0 && bx < 2 * width_ && by < 2 * height_;
                if (code_[here] == kNotCovered ||
                    (inside && At(static_cast<std::int32_t>(bx / 2), static_cast<std::int32_t>(by / 2)) != here)) {
                    return false;
                }
            }
        }
        return true;
    }

    // The tolerance of a chain: against left-out pixels less than half a pixel, so that no
    // left-out pixel's middle is covered.
    double ToleranceBeside(std::uint32_t kept) const {
        return kept == kNone ? options_.tolerance : std::min(options_.tolerance, 0.49);
    }

    // Whether a straight segment from `from` may end at `to`.
    bool Reaches(std::uint32_t from, std::uint32_t to, std::uint32_t last, std::uint32_t kept) const {
        if (to == from + 1) return true;
        Candidates(from, last, ToleranceBeside(kept), candidates_);
        return std::binary_search(candidates_.begin(), candidates_.end(), to) &&
               KeepsCentres(from, to, kept) && NearStaircase(points_[from], points_[to], kept);
    }

    // The farthest point a straight segment from `from` may go to: one of its candidates whose
    // every point lies within the tolerance of the pixels' borders (and in no pixel of the kept
    // side's region).
    std::uint32_t Reach(std::uint32_t from, std::uint32_t last, std::uint32_t kept) const {
        std::vector<std::uint32_t>& candidates = candidates_;
        Candidates(from, last, ToleranceBeside(kept), candidates);
        const Corner& s = points_[from];
        // The farthest candidate whose segment stays near the staircase (the next point always
        // does: its segment is part of the staircase). The farthest few are tried in turn, the
        // rest by halves: a segment that strays usually strays more the longer it is, and trying
        // every candidate would take time in the square of a long smooth outline's length.
        const auto near = [&](std::uint32_t k) {
            return k == from + 1 || (KeepsCentres(from, k, kept) && NearStaircase(s, points_[k], kept));
        };
        constexpr std::size_t kTriedInTurn = 16;
        std::size_t bad = candidates.size();  // not near from here on
        for (std::size_t tried = 0; bad > 0 && tried < kTriedInTurn; ++tried) {
            if (near(candidates[bad - 1])) return candidates[bad - 1];
            --bad;
        }
        if (bad == 0 || !near(candidates[0])) return from + 1;
        std::size_t good = 0;
        while (bad - good > 1) {
            const std::size_t middle = (good + bad) / 2;
            (near(candidates[middle]) ? good : bad) = middle;
        }
        return candidates[good];
    }

    // Whether every point of the segment lies within the tolerance of the pixels' borders
    // (sampled every quarter of a pixel).
    bool NearStaircase(const Corner& a, const Corner& b, std::uint32_t kept) const {
        const double reach = 2 * ToleranceBeside(kept);  // in half pixels
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        const int samples = static_cast<int>(std::ceil(length * 2)) + 1;
        for (int i = 1; i < samples; ++i) {
            const double t = static_cast<double>(i) / samples;
            const double px = a.x + (b.x - a.x) * t, py = a.y + (b.y - a.y) * t;
            if (kept != kNone) {
                // Inside one of the kept region's pixels (not on its border): it would be bare.
                const double hx = px / 2, hy = py / 2;
                const bool onLine = std::fabs(hx - std::round(hx)) < 1e-9 || std::fabs(hy - std::round(hy)) < 1e-9;
                if (!onLine && At(static_cast<std::int32_t>(std::floor(hx)),
                                  static_cast<std::int32_t>(std::floor(hy))) == kept) {
                    return false;
                }
            }
            // The lattice edges near the point (in pixels: lattice coordinates).
            const auto left = static_cast<std::int32_t>(std::floor((px - reach) / 2));
            const auto right = static_cast<std::int32_t>(std::ceil((px + reach) / 2));
            const auto top = static_cast<std::int32_t>(std::floor((py - reach) / 2));
            const auto bottom = static_cast<std::int32_t>(std::ceil((py + reach) / 2));
            bool near = false;
            for (std::int32_t y = std::max(top, 0); !near && y <= std::min(bottom, height_); ++y) {
                for (std::int32_t x = std::max(left, 0); !near && x <= std::min(right, width_); ++x) {
                    for (int d = 0; d < 2 && !near; ++d) {
                        if ((d == 0 && x >= width_) || (d == 1 && y >= height_)) continue;
                        const std::uint32_t e = Used(x, y, d);
                        if (e == kNone) continue;
                        const Corner start{2 * x, 2 * y};
                        const Corner end{2 * x + (d == 0 ? 2 : 0), 2 * y + (d == 1 ? 2 : 0)};
                        const double qx = std::clamp(px, double(start.x), double(end.x));
                        const double qy = std::clamp(py, double(start.y), double(end.y));
                        near = (px - qx) * (px - qx) + (py - qy) * (py - qy) <= reach * reach + 1e-9;
                    }
                }
            }
            if (!near) return false;
        }
        return true;
    }

    std::uint32_t ChainOf(std::uint32_t point) const {
        return static_cast<std::uint32_t>(
            std::upper_bound(chainStarts_.begin(), chainStarts_.end(), point) -
            chainStarts_.begin() - 1);
    }

    void ListChainsOfRegions() {
        chainStart_.assign(regions_ + 2, 0);
        for (const Chain& chain : chains_) {
            ++chainStart_[chain.positive + 1];
            ++chainStart_[chain.negative + 1];
        }
        for (std::uint32_t r = 0; r <= regions_; ++r) chainStart_[r + 1] += chainStart_[r];
        chainList_.resize(chainStart_[regions_ + 1]);
        std::vector<std::uint32_t> fill(chainStart_.begin(), chainStart_.end() - 1);
        for (std::uint32_t c = 0; c < chains_.size(); ++c) {
            chainList_[fill[chains_[c].positive]++] = c;
            chainList_[fill[chains_[c].negative]++] = c;
        }
    }

    // Regions beside a chain changed since they were filled are filled again.
    void MarkChangedChains(std::vector<std::uint8_t>& toFill) {
        for (std::uint32_t c = 0; c < chains_.size(); ++c) {
            if (!changed_[c]) continue;
            changed_[c] = 0;
            for (const std::uint32_t r : {chains_[c].positive, chains_[c].negative}) {
                if (r < regions_ && code_[r] != kNotCovered) toFill[r] = 1;
            }
        }
    }

    bool Current(const Segment& s) const { return keep_[s.from] && next_[s.from] == s.to; }

    // Cells of the grid that finds segments near each other.
    static constexpr std::int32_t kCell = 32;  // half pixels

    template <typename Visit>
    void ForCells(const Segment& s, Visit visit) const {
        const Corner& a = points_[s.from];
        const Corner& b = points_[s.to];
        const std::int32_t left = std::min(a.x, b.x) / kCell, right = std::max(a.x, b.x) / kCell;
        const std::int32_t top = std::min(a.y, b.y) / kCell, bottom = std::max(a.y, b.y) / kCell;
        for (std::int32_t y = top; y <= bottom; ++y) {
            for (std::int32_t x = left; x <= right; ++x) {
                visit(static_cast<std::size_t>(y) * static_cast<std::size_t>(gridWidth_) +
                      static_cast<std::size_t>(x));
            }
        }
    }

    // Simplified segments that meet another anywhere but at a shared end get back their chain's
    // farthest point, until no two meet (straight pieces of the staircase never do).
    void FixMeetingSegments() {
        std::vector<Segment> queue;
        for (std::uint32_t p = 0; p < points_.size(); ++p) {
            if (keep_[p] && next_[p] != kNone && !straight_[p]) queue.push_back({p, next_[p]});
        }
        if (queue.empty()) return;
        gridWidth_ = 2 * width_ / kCell + 1;
        const std::int32_t gridHeight = 2 * height_ / kCell + 1;
        std::vector<std::vector<Segment>> cells(static_cast<std::size_t>(gridWidth_) *
                                                static_cast<std::size_t>(gridHeight));
        const auto enter = [&](const Segment& s) {
            ForCells(s, [&](std::size_t cell) { cells[cell].push_back(s); });
        };
        for (std::uint32_t p = 0; p < points_.size(); ++p) {
            if (keep_[p] && next_[p] != kNone) enter({p, next_[p]});
        }
        const auto refine = [&](const Segment& s) {
            if (straight_[s.from]) return;
            const std::uint32_t k = Farthest(s.from, s.to, nullptr);
            keep_[k] = 1;
            Link(s.from, k);
            Link(k, s.to);
            changed_[ChainOf(s.from)] = 1;
            for (const Segment piece : {Segment{s.from, k}, Segment{k, s.to}}) {
                enter(piece);
                queue.push_back(piece);
            }
        };
        while (!queue.empty()) {
            const Segment s = queue.back();
            queue.pop_back();
            if (!Current(s)) continue;
            const Corner& a = points_[s.from];
            const Corner& b = points_[s.to];
            const std::int32_t left = std::min(a.x, b.x), right = std::max(a.x, b.x);
            const std::int32_t top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
            bool met = false;
            ForCells(s, [&](std::size_t cell) {
                for (std::size_t i = 0; !met && i < cells[cell].size(); ++i) {
                    const Segment e = cells[cell][i];
                    if (e.from == s.from || !Current(e)) continue;
                    if (straight_[s.from] && straight_[e.from]) continue;
                    const Corner& c = points_[e.from];
                    const Corner& d = points_[e.to];
                    if (std::max(c.x, d.x) < left || std::min(c.x, d.x) > right ||
                        std::max(c.y, d.y) < top || std::min(c.y, d.y) > bottom) {
                        continue;
                    }
                    if (!SegmentsMeet({a.x, a.y}, {b.x, b.y}, {c.x, c.y}, {d.x, d.y})) continue;
                    met = true;
                    refine(e);
                    if (!straight_[s.from]) {
                        refine(s);
                    } else {
                        queue.push_back(s);
                    }
                }
            });
        }
    }

    // Cuts region r into polygons; false when they are not what the region needs: its outline
    // encloses no area, or encloses a different area than it bounds (a hole that left it), or
    // some polygon has a corner the parts library refuses.
    // The region cut into polygons along its chains' points (see RegionCutter).
    bool Fill(std::uint32_t r, std::vector<Polygon>& out) {
        // The region's segments, each with the region on its positive side.
        auto& segments = segments_;
        segments.clear();
        for (std::uint32_t i = chainStart_[r]; i < chainStart_[r + 1]; ++i) {
            const Chain& chain = chains_[chainList_[i]];
            const bool forward = chain.positive == r;
            for (std::uint32_t p = chain.start; p + 1 < chain.start + chain.count; p = next_[p]) {
                const GridPoint a{points_[p].x, points_[p].y};
                const GridPoint b{points_[next_[p]].x, points_[next_[p]].y};
                segments.emplace_back(forward ? a : b, forward ? b : a);
            }
        }
        return cutter_.Cut(segments, out);
    }

    const std::int32_t width_, height_;
    const VectorOptions options_;
    const ProgressCallback& progress_;
    const std::vector<std::uint8_t>* original_;  // the picture's own colours, where known
    std::vector<std::uint32_t> region_;  // of every pixel
    std::vector<std::uint64_t> area_;    // while merging: of every first-found region
    std::vector<std::uint32_t> parent_;
    std::vector<std::int32_t> labelCode_;  // of every first-found region
    std::uint64_t merged_ = 0;
    std::vector<std::int32_t> code_;  // of every region
    std::uint32_t regions_ = 0, outside_ = 0;
    std::vector<std::uint32_t> horizontalUsed_, verticalUsed_;
    mutable std::vector<std::uint32_t> candidates_;
    std::vector<Corner> points_;  // of all chains, chain after chain
    std::vector<std::uint8_t> keep_;
    std::vector<std::uint8_t> pinned_;  // points kept as corners in a staircase whatever it is
    std::vector<std::uint32_t> next_;  // from a kept point, the next kept point of its chain
    std::vector<std::uint8_t> straight_;  // and whether the points between lie on the segment
    std::vector<Chain> chains_;
    std::vector<std::uint32_t> chainStarts_;
    std::vector<std::uint8_t> changed_;
    std::vector<std::uint8_t> dense_;  // chains with every lattice point kept
    std::vector<std::uint32_t> chainStart_, chainList_;  // the chains beside every region
    std::int32_t gridWidth_ = 1;
    std::vector<std::pair<GridPoint, GridPoint>> segments_;
    RegionCutter cutter_;
};

}  // namespace

void CoverWithOutlines(std::int32_t width, std::int32_t height, std::vector<std::int32_t> codes,
                       const VectorOptions& options, Quads& quads, const ProgressCallback& progress,
                       VectorConversionRun* run, bool resolveBlends,
                       const std::vector<std::uint8_t>* original) {
    if (width <= 0 || height <= 0) return;
    if (resolveBlends) ResolveBlends(width, height, codes, original);
    OutlineConversion(width, height, std::move(codes), options, progress, original).Run(quads, run);
}

bool ConvertVector(Shell& shell, const Picture& picture, Quads& quads,
                   const ConversionSettings& settings, const VectorOptions& options,
                   const ProgressCallback& progress, VectorConversionRun* run,
                   const RgbaPicture* original) {
    quads.clear();
    try {
        WriteLog(shell.log, "CONVERT VECTOR: Starting");
        // Edges are told from shapes by the picture's own colours, where its colours were
        // reduced: in a picture of few colours a thin shape and an edge's blend look alike.
        const bool blends = original && original->width == picture.Width() &&
                            original->height == picture.Height() &&
                            picture.SourceColours > static_cast<std::int64_t>(picture.Palette.size());
        CoverWithOutlines(picture.Width(), picture.Height(), ColourCodeGrid(shell, picture, settings),
                          options, quads, progress, run, blends, blends ? &original->rgba : nullptr);
        WriteLog(shell.log, "CONVERT VECTOR: Done");
        return true;
    } catch (const ConversionStopped&) {
        quads.clear();
        return false;
    } catch (...) {
        quads.clear();
        ReportFailure(shell, "ConvertVector", "CONVERT VECTOR: ERROR CONVERTING BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
