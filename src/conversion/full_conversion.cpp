#include "conversion/full_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "conversion/exact_conversion.h"
#include "conversion/point_in_quad.h"
#include "image/colours.h"
#include "shell/failure.h"

namespace mosaikon {

namespace {

constexpr std::int32_t kConsumedMark = 999;
constexpr double kEpsilon = 0.0000001;

// Grid points farther than this from every edge of a grown quadrilateral are decided by exact
// geometry: the single-precision angle sum can only disagree with the true winding number for
// points within a few thousandths of an edge, even for the largest pictures. Nearer points get
// the angle-sum test itself.
constexpr double kNearEdge = 0.05;

// The work of the search is counted in units of about 4 ns (a candidate scored, a grid point
// tested; a fit test's setup counts 40, each row it tests 4). Ordinary pictures need far less than
// the budget; pictures whose regions reach far down with runs that do not line up
// (checkerboards, diagonal stripes, noise) would make the search grow with the cube of a
// region's rows. Half of the budget is shared out by the regions' pixels, the other half is a
// pool from which each region may take half of what is left; a region whose search goes past its
// allowance has the rest of its runs covered with the fewest rectangles instead.
constexpr std::uint64_t kFitTestWork = 40;
constexpr std::uint64_t kRowTestWork = 4;

// Thrown when a region's search has used up its share of work.
struct RegionTooCostly {};

struct RunEntry {
    std::int32_t first = 0;  // first column of the run; 0 when the row has none left
    std::int32_t last = 0;   // last column of the run
};

// Corners in grid units, in the order of the quadrilaterals: top-left, top-right, bottom-right,
// bottom-left.
struct Corners {
    double X1, Y1, X2, Y2, X3, Y3, X4, Y4;
};

double QuadArea(const Corners& c) {
    return (c.Y3 - c.Y1) * (c.X4 - c.X2) - (c.X3 - c.X1) * (c.Y4 - c.Y2);
}

GrownQuad Grow(const Corners& c, double margin) {
    const double x[4] = {c.X1, c.X2, c.X3, c.X4};
    const double y[4] = {c.Y1, c.Y2, c.Y3, c.Y4};
    return GrowQuad(x, y, margin);
}

// Where a grown quadrilateral meets the grid rows: for each row, the points at which its edges
// cross the row, so that a grid point can be classified without the angle sum unless it lies
// near an edge.
class QuadRows {
public:
    explicit QuadRows(const GrownQuad& quad) : quad_(quad) {
        // The edges as the angle sum walks them: P4-P1, P1-P2, P2-P3, P3-P4.
        static constexpr int kFrom[4] = {3, 0, 1, 2};
        static constexpr int kTo[4] = {0, 1, 2, 3};
        top_ = bottom_ = quad.y[0];
        for (int e = 0; e < 4; ++e) {
            Edge& edge = edges_[e];
            edge.ax = quad.x[kFrom[e]], edge.ay = quad.y[kFrom[e]];
            edge.bx = quad.x[kTo[e]], edge.by = quad.y[kTo[e]];
            const double dx = edge.bx - edge.ax, dy = edge.by - edge.ay;
            edge.direction = dy > 0 ? 1 : -1;
            edge.window =
                dy != 0 ? kNearEdge * std::sqrt(dx * dx + dy * dy) / std::fabs(dy) + 1e-9 : 0;
            top_ = std::min(top_, static_cast<double>(quad.y[e]));
            bottom_ = std::max(bottom_, static_cast<double>(quad.y[e]));
        }
    }

    double Top() const { return top_; }
    double Bottom() const { return bottom_; }

    // Prepares the crossings of one row; returns false when the quadrilateral misses the row.
    bool SelectRow(std::int32_t row) {
        row_ = row;
        cuts_ = 0;
        const double y = row;
        for (const Edge& edge : edges_) {
            // Corners never lie on a grid row, so an edge either spans the row or stays clear.
            if ((edge.ay < y && y < edge.by) || (edge.by < y && y < edge.ay)) {
                Cut& cut = cut_[cuts_++];
                cut.x = edge.ax + (y - edge.ay) * (edge.bx - edge.ax) / (edge.by - edge.ay);
                cut.direction = edge.direction;
                cut.window = edge.window;
            }
        }
        if (cuts_ == 0) return false;
        double left = cut_[0].x - cut_[0].window, right = cut_[0].x + cut_[0].window;
        for (int i = 1; i < cuts_; ++i) {
            left = std::min(left, cut_[i].x - cut_[i].window);
            right = std::max(right, cut_[i].x + cut_[i].window);
        }
        // Outside these columns no point of the row is inside, nor near an edge.
        leftColumn_ = static_cast<std::int32_t>(std::max(std::ceil(left), -1.0));
        rightColumn_ = static_cast<std::int32_t>(std::min(std::floor(right), 70000.0));
        return leftColumn_ <= rightColumn_;
    }

    std::int32_t LeftColumn() const { return leftColumn_; }
    std::int32_t RightColumn() const { return rightColumn_; }

    bool Inside(std::int32_t col) const {
        const double x = col;
        int winding = 0;
        for (int i = 0; i < cuts_; ++i) {
            if (std::fabs(x - cut_[i].x) <= cut_[i].window) {
                return InsideGrown(quad_, static_cast<std::int16_t>(col),
                                   static_cast<std::int16_t>(row_));
            }
            if (cut_[i].x > x) winding += cut_[i].direction;
        }
        return winding != 0;
    }

private:
    struct Edge {
        double ax, ay, bx, by, window;
        int direction;
    };
    struct Cut {
        double x, window;
        int direction;
    };
    GrownQuad quad_;
    Edge edges_[4];
    Cut cut_[4];
    int cuts_ = 0;
    std::int32_t row_ = 0;
    std::int32_t leftColumn_ = 0, rightColumn_ = -1;
    double top_, bottom_;
};

// One side edge of a candidate's grown quadrilateral (margin 0.5), as the fit test sees it: where
// it crosses a row, and how near to that crossing a grid point must lie for the angle sum to be
// needed.
struct SideEdge {
    double ax, ay, bx, by, window;

    SideEdge(float fromX, float fromY, float toX, float toY)
        : ax(fromX), ay(fromY), bx(toX), by(toY) {
        const double dx = bx - ax, dy = by - ay;
        window = kNearEdge * std::sqrt(dx * dx + dy * dy) / std::fabs(dy) + 1e-9;
    }
    double At(std::int32_t row) const { return ax + (row - ay) * (bx - ax) / (by - ay); }
};

struct Candidate {
    double score;
    std::int32_t order;  // position in the search order of the rows m, then n
    std::int32_t m, n;
};

class FullConversion {
public:
    FullConversion(Shell& shell, const Picture& picture, Quads& quads,
                   const ConversionSettings& settings, std::uint64_t workBudget)
        : workBudget_(workBudget),
          shell_(shell),
          picture_(picture),
          quads_(quads),
          settings_(settings),
          width_(picture.Width()),
          height_(picture.Height()) {}

    void Run(const ProgressCallback& progress) {
        progress_ = progress;
        if (width_ > kMaxPictureSide || height_ > kMaxPictureSide) Fail(failure::Overflow);
        BuildColourGrid();
        pool_ = workBudget_ / 2;
        pictureShareLeft_ = workBudget_ / 2;
        pixels_ = static_cast<std::uint64_t>(width_) * static_cast<std::uint64_t>(height_);
        table_.assign(static_cast<std::size_t>(height_) + 2, RunEntry{});
        firstOpen_.assign(static_cast<std::size_t>(height_) + 2, 1);
        for (std::int32_t i = 1; i <= height_; ++i) {
            for (std::int32_t j = firstOpen_[static_cast<std::size_t>(i)]; j <= width_; ++j) {
                const std::int32_t code = Cell(j, i);
                if (code == kConsumedMark) continue;
                if (GatherRegion(code, i, j)) CoverRegion(code);
            }
            share_ = static_cast<double>(i) / height_;
            Tick();
        }
        if (!rectangleCells_.empty()) {
            CoverExactly(width_, height_, std::move(rectangleCells_), quads_);
        }
    }

    // How many regions were covered with rectangles because their search took too long.
    std::uint64_t BoundedRegions() const { return boundedRegions_; }

private:
    std::int32_t& Cell(std::int32_t col, std::int32_t row) {
        return grid_[static_cast<std::size_t>(row) * (static_cast<std::size_t>(width_) + 1) +
                     static_cast<std::size_t>(col)];
    }
    RunEntry& Entry(std::int32_t row) { return table_[static_cast<std::size_t>(row)]; }
    const RunEntry& Entry(std::int32_t row) const { return table_[static_cast<std::size_t>(row)]; }

    void BuildColourGrid() {
        const ColourLookup colours(picture_, settings_);
        ReColorReports reports;
        grid_.assign(
            (static_cast<std::size_t>(width_) + 1) * (static_cast<std::size_t>(height_) + 1), 0);
        std::int32_t r = 0;
        for (std::int32_t y = height_; y >= 1; --y) {
            ++r;
            const std::uint8_t* row = picture_.Row(y);
            for (std::int32_t x = 1; x <= width_; ++x) {
                const std::uint8_t index = row[x - 1];
                Cell(x, r) = colours.PixelCode(shell_, picture_.Palette, index,
                                               settings_.UseLdrawColors, reports, kConsumedMark);
            }
        }
    }

    // Gathers the region of colour c whose top run starts at (j, i): from row i down, as long as
    // consecutive rows contain c, each row gives up its leftmost run of c.
    bool GatherRegion(std::int32_t c, std::int32_t i, std::int32_t j) {
        first_ = i;
        last_ = i;
        minStart_ = 32000;
        maxEnd_ = 0;
        regionPixels_ = 0;
        for (std::int32_t k = i; k <= height_; ++k) {
            RunEntry& entry = Entry(k);
            entry = RunEntry{};
            std::int32_t col = k == i ? j : firstOpen_[static_cast<std::size_t>(k)];
            // Skip the consumed columns at the start of the row once and for all.
            if (k != i) {
                while (col <= width_ && Cell(col, k) == kConsumedMark) ++col;
                firstOpen_[static_cast<std::size_t>(k)] = col;
            }
            while (col <= width_ && Cell(col, k) != c) ++col;
            if (col > width_) {
                entry.last = width_;
                break;
            }
            entry.first = col;
            while (col <= width_ && Cell(col, k) == c) Cell(col++, k) = kConsumedMark;
            entry.last = col - 1;
            regionPixels_ += static_cast<std::uint64_t>(entry.last - entry.first + 1);
            last_ = k;
            minStart_ = std::min(minStart_, entry.first);
            maxEnd_ = std::max(maxEnd_, entry.last);
        }
        return last_ >= first_ && maxEnd_ >= minStart_;
    }

    bool QuadFitsRegion(const Corners& corners) {
        QuadRows rows(Grow(corners, kWideMargin));
        const std::int32_t top = std::max(first_, static_cast<std::int32_t>(std::ceil(rows.Top())));
        const std::int32_t bottom =
            std::min(last_, static_cast<std::int32_t>(std::floor(rows.Bottom())));
        auto rowFits = [&](std::int32_t r) {
            const RunEntry& entry = Entry(r);
            if (entry.first == 0 || !rows.SelectRow(r)) return true;
            const std::int32_t lo = std::max(minStart_, rows.LeftColumn());
            const std::int32_t hi = std::min(maxEnd_, rows.RightColumn());
            Spend(kRowTestWork + static_cast<std::uint64_t>(std::max(0, hi - lo + 1)));
            for (std::int32_t col = lo; col <= hi && col < entry.first; ++col) {
                if (rows.Inside(col)) return false;
            }
            for (std::int32_t col = std::max(lo, entry.last + 1); col <= hi; ++col) {
                if (rows.Inside(col)) return false;
            }
            return true;
        };
        // The answer does not depend on the order of the rows; the row that failed last is the
        // likeliest to fail again.
        if (lastFailedRow_ >= top && lastFailedRow_ <= bottom && !rowFits(lastFailedRow_)) {
            return false;
        }
        for (std::int32_t r = top; r <= bottom; ++r) {
            if (r != lastFailedRow_ && !rowFits(r)) {
                lastFailedRow_ = r;
                return false;
            }
        }
        return true;
    }

    void RemoveCoveredRuns(const Corners& corners, std::int32_t colour) {
        QuadRows rows(Grow(corners, kTightMargin));
        for (std::int32_t r = first_; r <= last_; ++r) {
            std::int32_t firstIn = 32000, lastIn = 0;
            if (rows.SelectRow(r)) {
                const std::int32_t lo = std::max(minStart_, rows.LeftColumn());
                const std::int32_t hi = std::min(maxEnd_, rows.RightColumn());
                work_ += 1 + static_cast<std::uint64_t>(std::max(0, hi - lo + 1));
                std::int32_t col = lo;
                while (col <= hi && !rows.Inside(col)) ++col;
                if (col <= hi) {
                    firstIn = col;
                    ++col;
                    while (col <= hi && rows.Inside(col)) ++col;
                    // Past the last column that can be inside, the next one is outside.
                    if (col <= maxEnd_) lastIn = col;
                }
            }
            if (lastIn == 0) lastIn = maxEnd_ + 1;
            if (firstIn == 32000) continue;
            RunEntry& entry = Entry(r);
            const std::int32_t s = entry.first, e = entry.last;
            if (firstIn <= s && lastIn > e) {
                entry.first = 0;
            } else if (firstIn <= s) {
                entry.first = lastIn;
            } else if (lastIn > e) {
                entry.last = firstIn;
            } else {
                // Covered inside: the run keeps its left part, and the right part goes back to
                // the grid, where the scan meets it later as cells of this colour.
                entry.last = firstIn;
                if (entry.first != 0) {
                    for (std::int32_t col = lastIn; col <= e; ++col) Cell(col, r) = colour;
                    std::int32_t& open = firstOpen_[static_cast<std::size_t>(r)];
                    open = std::min(open, lastIn);
                }
            }
        }
    }

    // For the anchor row k, the left edge of every bottom-left row m and the right edge of every
    // bottom-right row n, each with the first row at which it certainly takes in a grid point
    // beside the run: left of it for a left edge, right of it for a right edge.
    void PrepareSideEdges(std::int32_t k, const Corners& top) {
        const std::size_t rows = static_cast<std::size_t>(last_ - k + 1);
        leftEdges_.clear();
        rightEdges_.clear();
        leftViolation_.assign(rows, 0);
        rightViolation_.assign(rows, 0);
        const float topY = static_cast<float>(top.Y1 - kWideMargin);
        const float topLeftX = static_cast<float>(top.X1 - kWideMargin);
        const float topRightX = static_cast<float>(top.X2 + kWideMargin);
        for (std::int32_t row = k; row <= last_; ++row) {
            const std::size_t i = static_cast<std::size_t>(row - k);
            // The walk goes up the left edge (P4 to P1) and down the right edge (P2 to P3).
            const double bottomY = row + kEpsilon;
            leftEdges_.emplace_back(static_cast<float>(Entry(row).first - kWideMargin),
                                    static_cast<float>(bottomY + kWideMargin), topLeftX, topY);
            rightEdges_.emplace_back(topRightX, topY,
                                     static_cast<float>(Entry(row).last + kEpsilon + kWideMargin),
                                     static_cast<float>(bottomY + kWideMargin));
            std::int32_t r = k;
            for (; r <= row; ++r) {
                const RunEntry& run = Entry(r);
                if (run.first == 0) continue;
                if (leftViolation_[i] == 0 && Entry(row).first != 0 && run.first - 1 >= minStart_ &&
                    run.first - 1 > leftEdges_[i].At(r) + leftEdges_[i].window) {
                    leftViolation_[i] = r;
                }
                if (rightViolation_[i] == 0 && run.last + 1 <= maxEnd_ &&
                    run.last + 1 < rightEdges_[i].At(r) - rightEdges_[i].window) {
                    rightViolation_[i] = r;
                }
                if (leftViolation_[i] != 0 && rightViolation_[i] != 0) break;
            }
            Spend(1 + static_cast<std::uint64_t>(r - k));
        }
    }

    // Whether the candidate with bottom-left row m and bottom-right row n takes in, clear of every
    // edge, a grid point beside the run of a row above its bottom edge: such a point is inside
    // for the angle sum too, so the candidate does not fit.
    bool CertainlyFails(std::int32_t k, std::int32_t m, std::int32_t n) const {
        const SideEdge& left = leftEdges_[static_cast<std::size_t>(m - k)];
        const SideEdge& right = rightEdges_[static_cast<std::size_t>(n - k)];
        const std::int32_t rightRow = rightViolation_[static_cast<std::size_t>(n - k)];
        if (rightRow != 0 && rightRow <= m) {
            const std::int32_t col = Entry(rightRow).last + 1;
            if (left.At(rightRow) + left.window < col) return true;
        }
        const std::int32_t leftRow = leftViolation_[static_cast<std::size_t>(m - k)];
        if (leftRow != 0 && leftRow <= n) {
            const std::int32_t col = Entry(leftRow).first - 1;
            if (col < right.At(leftRow) - right.window) return true;
        }
        return false;
    }

    // Covers the region from its top row down: each row's remaining run is the top edge of the
    // largest quadrilateral that still fits the region.
    void CoverRegion(std::int32_t c) {
        lastFailedRow_ = 0;
        work_ = 0;
        // The region's own share, while the picture's pixels last, and half of what earlier
        // regions left unused.
        const std::uint64_t share =
            std::min(static_cast<std::uint64_t>(static_cast<double>(workBudget_ / 2) *
                                                static_cast<double>(regionPixels_) /
                                                static_cast<double>(pixels_)),
                     pictureShareLeft_);
        pictureShareLeft_ -= share;
        allowance_ = share + pool_ / 2;
        try {
            for (std::int32_t k = first_; k <= last_; ++k) {
                if (Entry(k).first == 0) continue;
                Tick();
                Corners corners{};
                corners.X1 = Entry(k).first;
                corners.Y1 = k;
                corners.X2 = Entry(k).last + kEpsilon;
                corners.Y2 = k;
                CollectCandidates(k, corners);
                const Candidate best = BestFittingCandidate(corners);
                EmitQuad(c, corners, best);
                RemoveCoveredRuns(corners, c);
            }
        } catch (const RegionTooCostly&) {
            CoverRestWithRectangles(c);
        }
        pool_ = pool_ + share - std::min(work_, pool_ + share);
    }

    // The runs of the region that no quadrilateral covers yet are covered, at the end, by the
    // fewest rectangles, together with those of other such regions.
    void CoverRestWithRectangles(std::int32_t c) {
        ++boundedRegions_;
        if (rectangleCells_.empty()) {
            rectangleCells_.assign(
                static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), kNotCovered);
        }
        for (std::int32_t r = first_; r <= last_; ++r) {
            const RunEntry& entry = Entry(r);
            if (entry.first == 0) continue;
            const std::size_t row =
                static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(width_);
            for (std::int32_t col = entry.first; col <= entry.last; ++col) {
                rectangleCells_[row + static_cast<std::size_t>(col - 1)] = c;
            }
        }
    }

    // Counts the work of the region's search; past its share, the search gives up.
    void Spend(std::uint64_t units) {
        work_ += units;
        if (work_ > allowance_) throw RegionTooCostly{};
    }

    // Every candidate's score is known before its fit: they are tested from the best score down
    // (the earlier candidate first among equals), and the first that fits is the one the
    // exhaustive search keeps.
    void CollectCandidates(std::int32_t k, Corners& corners) {
        std::uint64_t bottomLefts = 0;
        for (std::int32_t m = k; m <= last_; ++m) bottomLefts += Entry(m).first != 0;
        Spend(bottomLefts * static_cast<std::uint64_t>(last_ - k + 1));
        PrepareSideEdges(k, corners);
        candidates_.clear();
        std::int32_t order = 0;
        for (std::int32_t m = k; m <= last_; ++m) {
            if (Entry(m).first == 0) continue;
            corners.X4 = Entry(m).first;
            corners.Y4 = m + kEpsilon;
            for (std::int32_t n = k; n <= last_; ++n, ++order) {
                if (CertainlyFails(k, m, n)) continue;
                corners.X3 = Entry(n).last + kEpsilon;
                corners.Y3 = n + kEpsilon;
                double score = std::fabs(QuadArea(corners)) * 0.5;
                if (corners.Y4 == corners.Y3) score = score * 1.2;
                if (corners.X2 == corners.X3) score = score * 1.2;
                candidates_.push_back({score, order, m, n});
            }
        }
    }

    Candidate BestFittingCandidate(Corners& corners) {
        auto worse = [](const Candidate& a, const Candidate& b) {
            return a.score < b.score || (a.score == b.score && a.order > b.order);
        };
        Spend(candidates_.size());
        std::make_heap(candidates_.begin(), candidates_.end(), worse);
        for (auto end = candidates_.end(); end != candidates_.begin(); --end) {
            Spend(kFitTestWork);
            std::pop_heap(candidates_.begin(), end, worse);
            const Candidate& candidate = *(end - 1);
            corners.X4 = Entry(candidate.m).first;
            corners.Y4 = candidate.m + kEpsilon;
            corners.X3 = Entry(candidate.n).last + kEpsilon;
            corners.Y3 = candidate.n + kEpsilon;
            if (QuadFitsRegion(corners)) return candidate;
        }
        return {};
    }

    // Writes the chosen quadrilateral, its corners whole numbers again as the search computed
    // them.
    void EmitQuad(std::int32_t c, Corners& corners, const Candidate& best) {
        corners.X2 = corners.X2 - kEpsilon;
        corners.X4 = Entry(best.m).first;
        corners.Y4 = (best.m + kEpsilon) - kEpsilon;
        corners.X3 = (Entry(best.n).last + kEpsilon) - kEpsilon;
        corners.Y3 = (best.n + kEpsilon) - kEpsilon;

        LdrawQuad& quad = quads_.emplace_back();
        quad.LineType = 4;
        quad.Color = c;
        quad.X1 = corners.X1, quad.Y1 = corners.Y1;
        const bool pointed =
            best.score >= 2.0 && std::nearbyint(corners.X1) == std::nearbyint(corners.X2);
        if (pointed) {
            // The top run is one pixel: both top corners at its top-left corner.
            quad.X2 = corners.X2, quad.Y2 = corners.Y2;
            quad.X3 = corners.X3 + 1, quad.Y3 = corners.Y3 + 0.5;
        } else {
            quad.X2 = corners.X2 + 1, quad.Y2 = corners.Y2;
            quad.X3 = corners.X3 + 1, quad.Y3 = corners.Y3 + 1;
        }
        quad.X4 = corners.X4, quad.Y4 = corners.Y4 + 1;
    }

    // Reports progress, and stops the conversion when the caller asks for it.
    void Tick() {
        if (progress_ && !progress_(share_)) throw ConversionStopped{};
    }

    const std::uint64_t workBudget_;
    Shell& shell_;
    const Picture& picture_;
    Quads& quads_;
    const ConversionSettings& settings_;
    const std::int32_t width_, height_;
    std::vector<std::int32_t> grid_;
    std::vector<RunEntry> table_;
    std::vector<std::int32_t> firstOpen_;  // per row, no open cell lies left of this column
    std::vector<Candidate> candidates_;
    std::vector<SideEdge> leftEdges_, rightEdges_;
    std::vector<std::int32_t> leftViolation_, rightViolation_;
    std::int32_t first_ = 0, last_ = 0, minStart_ = 0, maxEnd_ = 0;
    std::int32_t lastFailedRow_ = 0;
    std::uint64_t regionPixels_ = 0;
    std::uint64_t work_ = 0, allowance_ = 0;
    std::uint64_t pool_ = 0, pictureShareLeft_ = 0, pixels_ = 1;
    std::uint64_t boundedRegions_ = 0;
    std::vector<std::int32_t> rectangleCells_;  // the rest of regions too costly to search
    ProgressCallback progress_;
    double share_ = 0;
};

}  // namespace

bool ConvertToLdraw(Shell& shell, const Picture& picture, Quads& quads,
                    const ConversionSettings& settings, const ProgressCallback& progress,
                    FullConversionRun* run) {
    quads.clear();
    try {
        FullConversion conversion(shell, picture, quads, settings,
                                  run ? run->workBudget : kFullConversionWorkBudget);
        conversion.Run(progress);
        if (run) run->regionsCoveredWithRectangles = conversion.BoundedRegions();
        if (conversion.BoundedRegions() > 0) {
            WriteLog(shell.log, "CONVERTTOLDRAW: " + std::to_string(conversion.BoundedRegions()) +
                                    " regions covered with rectangles");
        }
        return true;
    } catch (const ConversionStopped&) {
        quads.clear();
        return false;
    } catch (...) {
        ReportFailure(shell, "ConvertToLdraw", "CONVERTTOLDRAW: ERROR CONVERTING BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
