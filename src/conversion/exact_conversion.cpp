#include "conversion/exact_conversion.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "image/colours.h"
#include "shell/failure.h"

// The fewest rectangles that partition a rectilinear region with holes: cut along a largest set
// of pairwise non-touching chords that join two concave corners on one grid line, then, from
// every concave corner that no chosen chord touches, along one edge until the cut meets the
// boundary or another cut. The horizontal and vertical chords form a bipartite graph of
// touching pairs, so the largest set is the complement of a smallest vertex cover, found from a
// maximum matching (Hopcroft-Karp, then Konig's construction).

namespace mosaikon {

namespace {

constexpr std::int32_t kLeftOut = kNotCovered;

struct Chord {
    std::int32_t fixed;     // y of a horizontal chord, x of a vertical one
    std::int32_t from, to;  // its extent along the other axis, from < to
};

// Maximum matching in a bipartite graph (left vertices 0..left-1), then the largest independent
// set: which left and right vertices it keeps.
class BipartiteChoice {
public:
    BipartiteChoice(std::size_t left, std::size_t right,
                    const std::vector<std::vector<std::uint32_t>>& edges)
        : left_(left),
          right_(right),
          edges_(edges),
          matchLeft_(left, kNone),
          matchRight_(right, kNone),
          distance_(left) {
        while (Layer()) {
            for (std::size_t u = 0; u < left_; ++u) {
                if (matchLeft_[u] == kNone) Augment(static_cast<std::uint32_t>(u));
            }
        }
    }

    // Konig: from the unmatched left vertices, alternate along free and matched edges; the
    // visited left and the unvisited right vertices form the largest independent set.
    void Independent(std::vector<bool>& keepLeft, std::vector<bool>& keepRight) const {
        std::vector<bool> seenLeft(left_, false), seenRight(right_, false);
        std::vector<std::uint32_t> queue;
        for (std::size_t u = 0; u < left_; ++u) {
            if (matchLeft_[u] == kNone) {
                seenLeft[u] = true;
                queue.push_back(static_cast<std::uint32_t>(u));
            }
        }
        for (std::size_t head = 0; head < queue.size(); ++head) {
            for (const std::uint32_t v : edges_[queue[head]]) {
                if (seenRight[v]) continue;
                seenRight[v] = true;
                const std::uint32_t w = matchRight_[v];
                if (w != kNone && !seenLeft[w]) {
                    seenLeft[w] = true;
                    queue.push_back(w);
                }
            }
        }
        keepLeft = seenLeft;
        keepRight.assign(right_, false);
        for (std::size_t v = 0; v < right_; ++v) keepRight[v] = !seenRight[v];
    }

private:
    static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

    bool Layer() {
        std::vector<std::uint32_t> queue;
        bool found = false;
        for (std::size_t u = 0; u < left_; ++u) {
            if (matchLeft_[u] == kNone) {
                distance_[u] = 0;
                queue.push_back(static_cast<std::uint32_t>(u));
            } else {
                distance_[u] = kNone;
            }
        }
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const std::uint32_t u = queue[head];
            for (const std::uint32_t v : edges_[u]) {
                const std::uint32_t w = matchRight_[v];
                if (w == kNone) {
                    found = true;
                } else if (distance_[w] == kNone) {
                    distance_[w] = distance_[u] + 1;
                    queue.push_back(w);
                }
            }
        }
        return found;
    }

    // An augmenting path along the layers, without recursion (regions can be large).
    bool Augment(std::uint32_t start) {
        struct Frame {
            std::uint32_t u;
            std::size_t next;
        };
        std::vector<Frame> stack{{start, 0}};
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == edges_[frame.u].size()) {
                distance_[frame.u] = kNone;
                stack.pop_back();
                continue;
            }
            const std::uint32_t v = edges_[frame.u][frame.next++];
            const std::uint32_t w = matchRight_[v];
            if (w == kNone) {
                // Flip the path.
                for (std::size_t i = stack.size(); i-- > 0;) {
                    const std::uint32_t u = stack[i].u;
                    const std::uint32_t via = edges_[u][stack[i].next - 1];
                    matchLeft_[u] = via;
                    matchRight_[via] = u;
                }
                return true;
            }
            if (distance_[w] == distance_[frame.u] + 1) stack.push_back({w, 0});
        }
        return false;
    }

    std::size_t left_, right_;
    const std::vector<std::vector<std::uint32_t>>& edges_;
    std::vector<std::uint32_t> matchLeft_, matchRight_, distance_;
};

class ExactConversion {
public:
    // Over a grid of colour codes, row by row from the top-left, kNotCovered where no pixel is
    // covered.
    ExactConversion(Quads& quads, std::int32_t width, std::int32_t height,
                    std::vector<std::int32_t> codes)
        : quads_(quads), width_(width), height_(height), code_(std::move(codes)) {}

    void Run(const ProgressCallback& progress) {
        const std::size_t cells =
            static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
        region_.assign(cells, kNoRegion);
        horizontalWall_.assign(
            (static_cast<std::size_t>(width_) + 1) * (static_cast<std::size_t>(height_) + 1), 0);
        verticalWall_.assign(horizontalWall_.size(), 0);
        // The runs of equal pixels in the rows partition the picture into rectangles, so their
        // number bounds the fewest: the list is allocated once.
        std::size_t runs = 0;
        for (std::int32_t y = 0; y < height_; ++y) {
            for (std::int32_t x = 0; x < width_; ++x) {
                runs += code_[Cell(x, y)] != kLeftOut &&
                        (x == 0 || code_[Cell(x - 1, y)] != code_[Cell(x, y)]);
            }
        }
        quads_.reserve(quads_.size() + runs);
        std::uint32_t next = 0;
        for (std::int32_t y = 0; y < height_; ++y) {
            for (std::int32_t x = 0; x < width_; ++x) {
                const std::size_t at = Cell(x, y);
                if (code_[at] == kLeftOut || region_[at] != kNoRegion) continue;
                CoverRegion(next++, x, y);
            }
            if (progress && !progress(static_cast<double>(y + 1) / height_)) {
                throw ConversionStopped{};
            }
        }
    }

private:
    static constexpr std::uint32_t kNoRegion = std::numeric_limits<std::uint32_t>::max();

    std::size_t Cell(std::int32_t x, std::int32_t y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x);
    }
    std::size_t Point(std::int32_t x, std::int32_t y) const {
        return static_cast<std::size_t>(y) * (static_cast<std::size_t>(width_) + 1) +
               static_cast<std::size_t>(x);
    }
    // Whether pixel (x, y), counted from the top-left, belongs to the current region.
    bool In(std::int32_t x, std::int32_t y) const {
        return x >= 0 && y >= 0 && x < width_ && y < height_ && region_[Cell(x, y)] == current_;
    }

    // A grid point is a concave corner of the region when exactly three of its four pixels are
    // in it; the missing one decides the two directions in which the boundary goes on inside.
    // Returns the missing quadrant (0 upper-left, 1 upper-right, 2 lower-left, 3 lower-right) or
    // -1.
    int ConcaveQuadrant(std::int32_t px, std::int32_t py) const {
        const bool in[4] = {In(px - 1, py - 1), In(px, py - 1), In(px - 1, py), In(px, py)};
        const int count = in[0] + in[1] + in[2] + in[3];
        if (count != 3) return -1;
        for (int q = 0; q < 4; ++q) {
            if (!in[q]) return q;
        }
        return -1;
    }
    bool HorizontalInterior(std::int32_t px, std::int32_t py) const {  // segment (px,py)-(px+1,py)
        return In(px, py - 1) && In(px, py);
    }
    bool VerticalInterior(std::int32_t px, std::int32_t py) const {  // segment (px,py)-(px,py+1)
        return In(px - 1, py) && In(px, py);
    }
    bool Touched(std::int32_t px, std::int32_t py) const {
        return (px > 0 && horizontalWall_[Point(px - 1, py)]) ||
               (px < width_ && horizontalWall_[Point(px, py)]) ||
               (py > 0 && verticalWall_[Point(px, py - 1)]) ||
               (py < height_ && verticalWall_[Point(px, py)]);
    }
    void SetHorizontalWall(std::int32_t px, std::int32_t py) {
        horizontalWall_[Point(px, py)] = 1;
        walls_.push_back({Point(px, py), true});
    }
    void SetVerticalWall(std::int32_t px, std::int32_t py) {
        verticalWall_[Point(px, py)] = 1;
        walls_.push_back({Point(px, py), false});
    }

    void CoverRegion(std::uint32_t id, std::int32_t startX, std::int32_t startY) {
        current_ = id;
        const std::int32_t colour = code_[Cell(startX, startY)];
        // The region: 4-connected pixels of one colour code.
        pixels_.clear();
        pixels_.push_back({startX, startY});
        region_[Cell(startX, startY)] = id;
        for (std::size_t head = 0; head < pixels_.size(); ++head) {
            const auto [x, y] = pixels_[head];
            const std::int32_t around[4][2] = {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}};
            for (const auto& [nx, ny] : around) {
                if (nx < 0 || ny < 0 || nx >= width_ || ny >= height_) continue;
                const std::size_t at = Cell(nx, ny);
                if (region_[at] == kNoRegion && code_[at] == colour) {
                    region_[at] = id;
                    pixels_.push_back({nx, ny});
                }
            }
        }
        if (pixels_.size() == 1) {
            Emit(colour, startX, startY, startX, startY);
            return;
        }

        // Concave corners, each found once: from the first of its pixels in the region.
        concave_.clear();
        for (const auto& [x, y] : pixels_) {
            const std::int32_t corners[4][2] = {{x, y}, {x + 1, y}, {x, y + 1}, {x + 1, y + 1}};
            for (int c = 0; c < 4; ++c) {
                const auto [px, py] = std::pair{corners[c][0], corners[c][1]};
                const int missing = ConcaveQuadrant(px, py);
                if (missing < 0) continue;
                // This pixel is quadrant 3 - c of the point; take the point from its first
                // pixel present among quadrants 0..3.
                int first = 0;
                while (first == missing) ++first;
                if (3 - c == first) concave_.push_back({px, py, missing});
            }
        }

        // Chords: from each concave corner whose boundary goes on rightwards (or downwards),
        // follow the interior; ending on a concave corner makes a chord.
        horizontal_.clear();
        vertical_.clear();
        for (const Concave& corner : concave_) {
            if (corner.missing == 0 || corner.missing == 2) {  // goes on to the right
                std::int32_t px = corner.x;
                while (HorizontalInterior(px, corner.y)) ++px;
                const int end = ConcaveQuadrant(px, corner.y);
                if (px > corner.x && (end == 1 || end == 3))
                    horizontal_.push_back({corner.y, corner.x, px});
            }
            if (corner.missing == 0 || corner.missing == 1) {  // goes on downwards
                std::int32_t py = corner.y;
                while (VerticalInterior(corner.x, py)) ++py;
                const int end = ConcaveQuadrant(corner.x, py);
                if (py > corner.y && (end == 2 || end == 3))
                    vertical_.push_back({corner.x, corner.y, py});
            }
        }

        // The largest set of pairwise non-touching chords.
        std::vector<bool> keepHorizontal(horizontal_.size(), true),
            keepVertical(vertical_.size(), true);
        if (!horizontal_.empty() && !vertical_.empty()) {
            // The vertical chords by their column, each column's by where they start: those of
            // one column do not overlap, so at most one of them reaches a given row.
            std::vector<std::uint32_t> byColumn(vertical_.size());
            for (std::size_t v = 0; v < vertical_.size(); ++v) byColumn[v] = static_cast<std::uint32_t>(v);
            std::sort(byColumn.begin(), byColumn.end(), [this](std::uint32_t a, std::uint32_t b) {
                const Chord &p = vertical_[a], &q = vertical_[b];
                return p.fixed != q.fixed ? p.fixed < q.fixed : p.from < q.from;
            });
            std::vector<std::vector<std::uint32_t>> touching(horizontal_.size());
            for (std::size_t h = 0; h < horizontal_.size(); ++h) {
                const Chord& a = horizontal_[h];
                auto column = std::lower_bound(byColumn.begin(), byColumn.end(), a.from,
                                               [this](std::uint32_t v, std::int32_t x) {
                                                   return vertical_[v].fixed < x;
                                               });
                while (column != byColumn.end() && vertical_[*column].fixed <= a.to) {
                    const std::int32_t x = vertical_[*column].fixed;
                    const auto end = std::find_if(column, byColumn.end(), [&](std::uint32_t v) {
                        return vertical_[v].fixed != x;
                    });
                    // The last chord of the column that starts at or above the row.
                    const auto after = std::upper_bound(column, end, a.fixed,
                                                        [this](std::int32_t y, std::uint32_t v) {
                                                            return y < vertical_[v].from;
                                                        });
                    if (after != column && a.fixed <= vertical_[*(after - 1)].to) {
                        touching[h].push_back(*(after - 1));
                    }
                    column = end;
                }
                std::sort(touching[h].begin(), touching[h].end());
            }
            BipartiteChoice(horizontal_.size(), vertical_.size(), touching)
                .Independent(keepHorizontal, keepVertical);
        }
        for (std::size_t h = 0; h < horizontal_.size(); ++h) {
            if (!keepHorizontal[h]) continue;
            for (std::int32_t px = horizontal_[h].from; px < horizontal_[h].to; ++px)
                SetHorizontalWall(px, horizontal_[h].fixed);
        }
        for (std::size_t v = 0; v < vertical_.size(); ++v) {
            if (!keepVertical[v]) continue;
            for (std::int32_t py = vertical_[v].from; py < vertical_[v].to; ++py)
                SetVerticalWall(vertical_[v].fixed, py);
        }
        // Every concave corner still untouched: one cut along its vertical edge, up to the
        // boundary or the first cut met.
        for (const Concave& corner : concave_) {
            if (Touched(corner.x, corner.y)) continue;
            const bool down = corner.missing == 0 || corner.missing == 1;
            std::int32_t py = corner.y;
            for (;;) {
                const std::int32_t segment = down ? py : py - 1;
                if (!VerticalInterior(corner.x, segment) || verticalWall_[Point(corner.x, segment)])
                    break;
                SetVerticalWall(corner.x, segment);
                py += down ? 1 : -1;
                if ((corner.x > 0 && horizontalWall_[Point(corner.x - 1, py)]) ||
                    (corner.x < width_ && horizontalWall_[Point(corner.x, py)])) {
                    break;
                }
            }
        }

        // The pieces between the cuts are the rectangles; each is emitted from its top-left pixel.
        std::sort(pixels_.begin(), pixels_.end(), [](const auto& a, const auto& b) {
            return a.second != b.second ? a.second < b.second : a.first < b.first;
        });
        for (const auto& [x, y] : pixels_) {
            const bool wallAbove = !In(x, y - 1) || horizontalWall_[Point(x, y)];
            const bool wallLeft = !In(x - 1, y) || verticalWall_[Point(x, y)];
            if (!wallAbove || !wallLeft) continue;  // not a piece's top-left pixel
            std::int32_t right = x;
            while (In(right + 1, y) && !verticalWall_[Point(right + 1, y)]) ++right;
            std::int32_t bottom = y;
            while (In(x, bottom + 1) && !horizontalWall_[Point(x, bottom + 1)]) ++bottom;
            Emit(colour, x, y, right, bottom);
        }
        for (const Wall& wall : walls_)
            (wall.horizontal ? horizontalWall_ : verticalWall_)[wall.at] = 0;
        walls_.clear();
    }

    // Pixels left..right of rows top..bottom (from 0 at the top-left) in picture units.
    void Emit(std::int32_t colour, std::int32_t left, std::int32_t top, std::int32_t right,
              std::int32_t bottom) {
        LdrawQuad& quad = quads_.emplace_back();
        quad.LineType = 4;
        quad.Color = colour;
        quad.X1 = left + 1, quad.Y1 = top + 1;
        quad.X2 = right + 2, quad.Y2 = top + 1;
        quad.X3 = right + 2, quad.Y3 = bottom + 2;
        quad.X4 = left + 1, quad.Y4 = bottom + 2;
    }

    struct Concave {
        std::int32_t x, y;
        int missing;
    };
    struct Wall {
        std::size_t at;
        bool horizontal;
    };

    Quads& quads_;
    const std::int32_t width_, height_;
    std::vector<std::int32_t> code_;
    std::vector<std::uint32_t> region_;
    std::uint32_t current_ = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> pixels_;
    std::vector<Concave> concave_;
    std::vector<Chord> horizontal_, vertical_;
    std::vector<std::uint8_t> horizontalWall_, verticalWall_;
    std::vector<Wall> walls_;
};

}  // namespace

std::vector<std::int32_t> ColourCodeGrid(Shell& shell, const Picture& picture,
                                         const ConversionSettings& settings) {
    const std::int32_t width = picture.Width(), height = picture.Height();
    const ColourLookup colours(picture, settings);
    ReColorReports reports;
    std::vector<std::int32_t> codes(static_cast<std::size_t>(width) *
                                    static_cast<std::size_t>(height));
    auto code = codes.begin();
    for (std::int32_t y = height; y >= 1; --y) {
        const std::uint8_t* row = picture.Row(y);
        for (std::int32_t x = 0; x < width; ++x) {
            *code++ = colours.PixelCode(shell, picture.Palette, row[x], settings.UseLdrawColors,
                                        reports, kNotCovered);
        }
    }
    return codes;
}

void CoverExactly(std::int32_t width, std::int32_t height, std::vector<std::int32_t> codes,
                  Quads& quads, const ProgressCallback& progress) {
    ExactConversion(quads, width, height, std::move(codes)).Run(progress);
}

bool ConvertExact(Shell& shell, const Picture& picture, Quads& quads,
                  const ConversionSettings& settings, const ProgressCallback& progress) {
    quads.clear();
    try {
        CoverExactly(picture.Width(), picture.Height(), ColourCodeGrid(shell, picture, settings),
                     quads, progress);
        return true;
    } catch (const ConversionStopped&) {
        quads.clear();
        return false;
    } catch (...) {
        ReportFailure(shell, "ConvertExact", "CONVERT EXACT: ERROR CONVERTING BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
