#include "conversion/full_conversion_reference.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "conversion/point_in_quad.h"
#include "image/colours.h"

namespace mosaikon::test {

namespace {

constexpr std::int32_t kConsumed = 999;
constexpr double kEpsilon = 0.0000001;

struct Grid {
    int width, height;
    std::vector<std::int32_t> cells;
    std::int32_t& at(int col, int row) { return cells[row * (width + 1) + col]; }
};

struct RunRow {
    int entry[5] = {0, 0, 0, 0, 0};  // entries 1 to 4
};

struct Corners {
    double X1, Y1, X2, Y2, X3, Y3, X4, Y4;  // top-left, top-right, bottom-left, bottom-right
    void Walk(double x[4], double y[4]) const {
        x[0] = X1, y[0] = Y1, x[1] = X2, y[1] = Y2, x[2] = X4, y[2] = Y4, x[3] = X3, y[3] = Y3;
    }
};

double QuadArea(const Corners& c) {
    return (c.Y4 - c.Y1) * (c.X3 - c.X2) - (c.X4 - c.X1) * (c.Y3 - c.Y2);
}

bool QuadFitsRegion(const std::vector<RunRow>& table, int first, int last, int minStart, int maxEnd,
                    const Corners& corners, ReferenceSearch search) {
    double x[4], y[4];
    corners.Walk(x, y);
    if (search == ReferenceSearch::BoundingBox) {
        const GrownQuad grown = GrowQuad(x, y, kWideMargin);
        float left = grown.x[0], right = grown.x[0], top = grown.y[0], bottom = grown.y[0];
        for (int i = 1; i < 4; ++i) {
            left = std::min(left, grown.x[i]), right = std::max(right, grown.x[i]);
            top = std::min(top, grown.y[i]), bottom = std::max(bottom, grown.y[i]);
        }
        first = std::max(first, static_cast<int>(std::ceil(top)));
        last = std::min(last, static_cast<int>(std::floor(bottom)));
        minStart = std::max(minStart, static_cast<int>(std::ceil(left)));
        maxEnd = std::min(maxEnd, static_cast<int>(std::floor(right)));
    }
    for (int r = first; r <= last; ++r) {
        if (table[r].entry[1] == 0) continue;
        for (int col = minStart; col <= maxEnd; ++col) {
            if (PointInQuad(static_cast<std::int16_t>(col), static_cast<std::int16_t>(r), x, y,
                            kWideMargin)) {
                const RunRow& row = table[r];
                if (col < row.entry[1] || col > row.entry[2]) return false;
            }
        }
    }
    return true;
}

void RemoveCoveredRuns(std::vector<RunRow>& table, int first, int last, int minStart, int maxEnd,
                       const Corners& corners, Grid& grid, std::int32_t colour) {
    double x[4], y[4];
    corners.Walk(x, y);
    for (int r = first; r <= last; ++r) {
        int firstIn = 32000, lastIn = 0;
        for (int col = minStart; col <= maxEnd; ++col) {
            const bool inside = PointInQuad(static_cast<std::int16_t>(col),
                                            static_cast<std::int16_t>(r), x, y, kTightMargin);
            if (inside && firstIn == 32000) firstIn = col;
            if (!inside && firstIn != 32000 && lastIn == 0) lastIn = col;
        }
        if (lastIn == 0) lastIn = maxEnd + 1;
        if (firstIn == 32000) continue;
        RunRow& row = table[r];
        const int s = row.entry[1], e = row.entry[2];
        const bool reachesEnd = lastIn > e;
        if (firstIn <= s && reachesEnd) {
            row.entry[1] = 0;
        } else if (firstIn <= s) {
            row.entry[1] = lastIn;
        } else if (reachesEnd) {
            row.entry[2] = firstIn;
        } else {
            row.entry[2] = firstIn;
            row.entry[3] = lastIn;
            row.entry[4] = e;
            if (row.entry[1] != 0) {
                for (int col = lastIn; col <= e; ++col) grid.at(col, r) = colour;
            }
        }
    }
}

}  // namespace

Quads ReferenceFullConversion(const Picture& picture, const ConversionSettings& settings,
                              ReferenceSearch search) {
    const int W = picture.Width(), H = picture.Height();
    Grid grid{W, H, std::vector<std::int32_t>((W + 1) * (H + 1))};
    int r = 0;
    for (int y = H; y >= 1; --y) {
        ++r;
        for (int x = 1; x <= W; ++x) {
            const int index = picture.Pixels(x, y);
            const std::int32_t code = settings.UseLdrawColors
                                          ? NearestPrimaryCode(picture.Palette[index])
                                          : DirectColorCode(picture.Palette[index]);
            const bool white = IsNearWhite(picture.Palette, index, settings.WhiteTolerance);
            const bool ignored =
                IsIgnoredColor(picture.Palette, index, settings.RgbTolerance, settings.IgnoreRed,
                               settings.IgnoreGreen, settings.IgnoreBlue);
            grid.at(x, r) = (settings.IgnoreRgbColor && ignored) || (settings.IgnoreWhite && white)
                                ? kConsumed
                                : code;
        }
    }
    Quads quads;
    for (int i = 1; i <= H; ++i) {
        for (int j = 1; j <= W; ++j) {
            if (grid.at(j, i) == kConsumed) continue;
            const std::int32_t c = grid.at(j, i);
            // Gathering.
            std::vector<RunRow> table(H + 1);
            int lastRow = 0;
            for (int k = 1; k <= H; ++k) {
                if (lastRow != 0 && k - lastRow >= 2) break;
                int col = 1;
                while (col <= W && grid.at(col, k) != c) ++col;
                if (col <= W) table[k].entry[1] = col;
                while (col <= W && grid.at(col, k) == c) {
                    grid.at(col, k) = kConsumed;
                    lastRow = k;
                    ++col;
                }
                table[k].entry[2] = col - 1;
            }
            int first = 0;
            for (int k = 1; k <= H && first == 0; ++k) {
                if (table[k].entry[1] != 0) first = k;
            }
            int last = H;
            for (int k = first + 1; k <= H; ++k) {
                if (table[k].entry[1] == 0) {
                    last = k - 1;
                    break;
                }
            }
            int minStart = 32000, maxEnd = 0;
            for (int k = first; k <= last; ++k) {
                minStart = std::min(minStart, table[k].entry[1]);
                maxEnd = std::max(maxEnd, table[k].entry[2]);
            }
            if (last < first || maxEnd < minStart) continue;
            // Covering.
            for (int k = first; k <= last; ++k) {
                if (table[k].entry[1] == 0) continue;
                Corners c4{};
                c4.X1 = table[k].entry[1];
                c4.Y1 = k;
                c4.X2 = table[k].entry[2] + kEpsilon;
                c4.Y2 = k;
                double best = -1, bX3 = 0, bY3 = 0, bX4 = 0, bY4 = 0;
                for (int m = k; m <= last; ++m) {
                    if (table[m].entry[1] == 0) continue;
                    c4.X3 = table[m].entry[1];
                    c4.Y3 = m + kEpsilon;
                    for (int n = k; n <= last; ++n) {
                        c4.X4 = table[n].entry[2] + kEpsilon;
                        c4.Y4 = n + kEpsilon;
                        double score = std::fabs(QuadArea(c4)) * 0.5;
                        if (c4.Y3 == c4.Y4) score = score * 1.2;
                        if (c4.X2 == c4.X4) score = score * 1.2;
                        // Testing the fit only when the score would win changes nothing.
                        const bool wins = search == ReferenceSearch::BoundingBox || score > best;
                        if (wins &&
                            QuadFitsRegion(table, first, last, minStart, maxEnd, c4, search) &&
                            score > best) {
                            best = score;
                            bX3 = c4.X3, bY3 = c4.Y3, bX4 = c4.X4, bY4 = c4.Y4;
                        }
                    }
                }
                c4.X2 = c4.X2 - kEpsilon;
                c4.X3 = bX3, c4.Y3 = bY3 - kEpsilon;
                c4.X4 = bX4 - kEpsilon, c4.Y4 = bY4 - kEpsilon;
                LdrawQuad& q = quads.emplace_back();
                q.LineType = 4;
                q.Color = c;
                const bool pointed = best >= 2.0 && std::nearbyint(c4.X1) == std::nearbyint(c4.X2);
                q.X1 = c4.X1, q.Y1 = c4.Y1;
                if (pointed) {
                    q.X2 = c4.X2, q.Y2 = c4.Y2;
                    q.X3 = c4.X4 + 1, q.Y3 = c4.Y4 + 0.5;
                } else {
                    q.X2 = c4.X2 + 1, q.Y2 = c4.Y2;
                    q.X3 = c4.X4 + 1, q.Y3 = c4.Y4 + 1;
                }
                q.X4 = c4.X3, q.Y4 = c4.Y3 + 1;
                RemoveCoveredRuns(table, first, last, minStart, maxEnd, c4, grid, c);
            }
        }
    }
    return quads;
}

}  // namespace mosaikon::test
