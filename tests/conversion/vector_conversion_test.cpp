// The vector conversion: the written polygons rasterised at one unit per pixel against the
// picture (pixels away from their region's border keep their colour, left-out ones stay bare,
// nothing overlaps), checked for T-junctions and for the parts library's polygon rules, in both
// layouts; a tolerance of 0 gives the picture exactly; small regions join their neighbours; and
// on logos and drawings the vector conversion writes far fewer polygons than the exact one.

#include "conversion/vector_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <sstream>

#include "conversion/exact_conversion.h"
#include "ldraw/part_preview.h"
#include "ldraw/sticker_part.h"
#include "image/bitmap_reader.h"
#include "image/colours.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

struct Grid {
    std::int32_t width = 0, height = 0;
    std::vector<std::int32_t> codes;  // row by row from the top-left
    std::int32_t& at(int x, int y) { return codes[static_cast<std::size_t>(y * width + x)]; }
    std::int32_t at(int x, int y) const { return codes[static_cast<std::size_t>(y * width + x)]; }
};

constexpr double kPi = 3.14159265358979323846;

// A polygon's corners in half pixels from the picture's top-left corner.
struct HalfCorner {
    std::int64_t x, y;
    auto operator<=>(const HalfCorner&) const = default;
};

std::vector<HalfCorner> CornersOf(const LdrawQuad& quad) {
    const double xs[] = {quad.X1, quad.X2, quad.X3, quad.X4};
    const double ys[] = {quad.Y1, quad.Y2, quad.Y3, quad.Y4};
    std::vector<HalfCorner> corners;
    for (int i = 0; i < (quad.LineType == 3 ? 3 : 4); ++i) {
        const double hx = 2 * (xs[i] - 1), hy = 2 * (ys[i] - 1);
        EXPECT_EQ(hx, std::round(hx));
        EXPECT_EQ(hy, std::round(hy));
        corners.push_back({std::llround(hx), std::llround(hy)});
    }
    return corners;
}

// The parts library's rules for one polygon given by its corners (any unit): no repeated
// corners, convex with every corner turning the same way, no angle under 0.025 or over 179.9
// degrees.
std::string PolygonFault(const std::vector<std::array<double, 2>>& corners) {
    const std::size_t n = corners.size();
    if (n != 3 && n != 4) return "not 3 or 4 corners";
    int sign = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto& a = corners[(i + n - 1) % n];
        const auto& b = corners[i];
        const auto& c = corners[(i + 1) % n];
        const double ux = a[0] - b[0], uy = a[1] - b[1], vx = c[0] - b[0], vy = c[1] - b[1];
        if ((ux == 0 && uy == 0) || (vx == 0 && vy == 0)) return "a repeated corner";
        const double cross = ux * vy - uy * vx;
        const int s = cross > 0 ? 1 : cross < 0 ? -1 : 0;
        if (s == 0 || (sign != 0 && s != sign)) return "not convex";
        sign = s;
        const double degrees = std::atan2(std::fabs(cross), ux * vx + uy * vy) * 180 / kPi;
        if (degrees < 0.025 || degrees > 179.9) return "an angle of " + std::to_string(degrees);
    }
    return "";
}

// Every polygon follows the library's rules, and no corner lies inside another polygon's edge.
void ExpectCleanPolygons(const Quads& quads) {
    std::set<HalfCorner> corners;
    std::vector<std::vector<HalfCorner>> polygons;
    for (const LdrawQuad& quad : quads) {
        ASSERT_TRUE(quad.LineType == 3 || quad.LineType == 4);
        polygons.push_back(CornersOf(quad));
        std::vector<std::array<double, 2>> plain;
        for (const HalfCorner& c : polygons.back()) {
            corners.insert(c);
            plain.push_back({static_cast<double>(c.x), static_cast<double>(c.y)});
        }
        ASSERT_EQ(PolygonFault(plain), "");
    }
    for (const auto& polygon : polygons) {
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const HalfCorner a = polygon[i], b = polygon[(i + 1) % polygon.size()];
            const std::int64_t steps = std::gcd(std::llabs(b.x - a.x), std::llabs(b.y - a.y));
            for (std::int64_t k = 1; k < steps; ++k) {
                const HalfCorner inside{a.x + (b.x - a.x) / steps * k, a.y + (b.y - a.y) / steps * k};
                ASSERT_FALSE(corners.count(inside))
                    << "a T-junction at " << inside.x / 2.0 << ", " << inside.y / 2.0;
            }
        }
    }
}

// The code each pixel's centre shows (kNotCovered where no polygon covers it); a pixel covered
// twice is an overlap.
Grid Rasterise(const Quads& quads, std::int32_t width, std::int32_t height, int* overlaps) {
    Grid shown{width, height, std::vector<std::int32_t>(static_cast<std::size_t>(width) * height,
                                                        kNotCovered)};
    std::vector<int> cover(shown.codes.size(), 0);
    for (const LdrawQuad& quad : quads) {
        const std::vector<HalfCorner> corners = CornersOf(quad);
        std::int64_t left = corners[0].x, right = left, top = corners[0].y, bottom = top;
        for (const HalfCorner& c : corners) {
            left = std::min(left, c.x), right = std::max(right, c.x);
            top = std::min(top, c.y), bottom = std::max(bottom, c.y);
        }
        for (std::int64_t y = top / 2; y <= bottom / 2 && y < height; ++y) {
            for (std::int64_t x = left / 2; x <= right / 2 && x < width; ++x) {
                // The pixel's centre, nudged off any edge through it.
                const double px = 2 * x + 1 + 0.00123, py = 2 * y + 1 + 0.00071;
                int sign = 0;
                bool inside = true;
                for (std::size_t i = 0; i < corners.size() && inside; ++i) {
                    const HalfCorner a = corners[i], b = corners[(i + 1) % corners.size()];
                    const double cross = (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
                    const int s = cross > 0 ? 1 : -1;
                    inside = sign == 0 || s == sign;
                    sign = s;
                }
                if (!inside) continue;
                const std::size_t at = static_cast<std::size_t>(y * width + x);
                shown.codes[at] = quad.Color;
                if (++cover[at] == 2 && overlaps) ++*overlaps;
            }
        }
    }
    return shown;
}

// Whether a pixel's centre lies more than `limit` pixels from every border between pixels of
// different codes (and from the picture's edge).
bool Inside(const Grid& grid, int x, int y, double limit) {
    const int reach = static_cast<int>(std::ceil(limit)) + 1;
    const double cx = x + 0.5, cy = y + 0.5;
    const auto code = [&](int px, int py) {
        return px < 0 || py < 0 || px >= grid.width || py >= grid.height ? kNotCovered + 1
                                                                         : grid.at(px, py);
    };
    for (int py = y - reach; py <= y + reach; ++py) {
        for (int px = x - reach; px <= x + reach; ++px) {
            // The edge above the pixel (px, py) and the one left of it.
            if (code(px, py) != code(px, py - 1)) {
                const double qx = std::clamp(cx, double(px), double(px + 1));
                if (std::hypot(cx - qx, cy - py) <= limit) return false;
            }
            if (code(px, py) != code(px - 1, py)) {
                const double qy = std::clamp(cy, double(py), double(py + 1));
                if (std::hypot(cx - px, cy - qy) <= limit) return false;
            }
        }
    }
    return true;
}

struct Fidelity {
    int pixels = 0, right = 0, interior = 0, interiorWrong = 0, overlaps = 0;
};

Fidelity Compare(const Grid& picture, const Quads& quads, double tolerance) {
    Fidelity result;
    const Grid shown = Rasterise(quads, picture.width, picture.height, &result.overlaps);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            ++result.pixels;
            const bool right = shown.at(x, y) == picture.at(x, y);
            result.right += right;
            if (Inside(picture, x, y, tolerance + 0.5)) {
                ++result.interior;
                result.interiorWrong += !right;
            }
        }
    }
    return result;
}

Quads Convert(const Grid& grid, const VectorOptions& options, VectorConversionRun* run = nullptr) {
    Quads quads;
    CoverWithOutlines(grid.width, grid.height, grid.codes, options, quads, {}, run);
    return quads;
}

// Shapes drawn as an anti-aliased picture would show them: discs, a ring with holes, slanted
// stripes and a polygon, with a band of in-between colours along some edges and pixels left out.
Grid DrawnShapes(std::mt19937& random, int side) {
    Grid grid{side, side, std::vector<std::int32_t>(static_cast<std::size_t>(side) * side, 1)};
    const auto pick = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    for (int shape = 0; shape < 5; ++shape) {
        const double cx = pick(0, side), cy = pick(0, side), r = pick(2, side / 2.0);
        const double hole = pick(0, r * 0.8), slope = pick(-3, 3), width = pick(1.5, 8);
        const int kind = static_cast<int>(random() % 4), code = 2 + shape;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, d = std::hypot(dx, dy);
                double edge = 0;  // how far inside the shape, in pixels
                switch (kind) {
                    case 0: edge = r - d; break;
                    case 1: edge = std::min(r - d, d - hole); break;
                    case 2: edge = width / 2 - std::fabs(std::fmod(dy - slope * dx + 1000 * width, 3 * width) - width); break;
                    default: edge = std::min({r - std::fabs(dx), r / 2 - std::fabs(dy), r - std::fabs(dx + dy)}); break;
                }
                if (edge > 0.35) {
                    grid.at(x, y) = code;
                } else if (edge > -0.35 && random() % 3 == 0) {
                    grid.at(x, y) = 20 + code;  // a speckle of anti-aliasing
                }
            }
        }
    }
    // Some pixels are left out: one colour, as white or a chosen colour would be.
    for (std::int32_t& code : grid.codes) {
        if (code == 3) code = kNotCovered;
    }
    return grid;
}

Grid FromPicture(const Picture& picture, const ConversionSettings& settings = {}) {
    Shell shell;
    return {picture.Width(), picture.Height(), ColourCodeGrid(shell, picture, settings)};
}

// On drawn shapes and the generated test pictures, at several tolerances and smallest areas:
// pixels farther than the tolerance and half a pixel from their region's border keep their
// colour (left-out ones stay bare), at least 97 % of all pixels do, nothing overlaps, and every
// polygon is clean.
TEST(VectorConversion, ShowsThePictureWithCleanPolygons) {
    std::mt19937 random(2024);
    for (int round = 0; round < 60; ++round) {
        const Grid grid = round % 2 == 0
                              ? DrawnShapes(random, 24 + static_cast<int>(random() % 80))
                              : FromPicture(test::GeneratePicture(random, 48),
                                            {.IgnoreWhite = round % 3 == 0});
        for (const double tolerance : {0.5, 1.0, 2.5}) {
            for (const std::int32_t minArea : {0, 4}) {
                SCOPED_TRACE("round " + std::to_string(round) + " tolerance " +
                             std::to_string(tolerance) + " smallest area " +
                             std::to_string(minArea) + " " + std::to_string(grid.width) + "x" +
                             std::to_string(grid.height));
                VectorConversionRun run;
                const Quads quads = Convert(grid, {tolerance, minArea}, &run);
                ExpectCleanPolygons(quads);
                const Fidelity fidelity = Compare(grid, quads, tolerance);
                EXPECT_EQ(fidelity.overlaps, 0);
                EXPECT_EQ(fidelity.interiorWrong, 0) << "of " << fidelity.interior;
                // Drawn shapes, a third of their edges speckled, still mostly show right (with
                // a smallest area, thin slanted stripes, which are but single pixels touching
                // at their corners, go too).
                if (round % 2 == 0 && tolerance <= 1 && minArea == 0) {
                    EXPECT_GE(fidelity.right, 0.85 * fidelity.pixels);
                }
                if (minArea == 0) {
                    EXPECT_EQ(run.mergedRegions, 0u);
                }
            }
        }
    }
}

// With a tolerance of 0 (and no region merged) every pixel shows its own colour, on every kind of
// generated picture, with pixels left out; the polygons are still clean and fewer than pixels.
TEST(VectorConversion, ToleranceZeroGivesThePictureExactly) {
    std::mt19937 random(5);
    for (int round = 0; round < 80; ++round) {
        const Grid grid =
            round % 2 == 0 ? DrawnShapes(random, 8 + static_cast<int>(random() % 60))
                           : FromPicture(test::GeneratePicture(random, 40),
                                         {.IgnoreWhite = round % 4 == 1, .WhiteTolerance = 30});
        const Quads quads = Convert(grid, {0, 0});
        ExpectCleanPolygons(quads);
        int overlaps = 0;
        const Grid shown = Rasterise(quads, grid.width, grid.height, &overlaps);
        EXPECT_EQ(overlaps, 0);
        ASSERT_EQ(shown.codes, grid.codes) << "round " << round;
        EXPECT_LE(quads.size(), grid.codes.size());
    }
}

// A comb: a band whose long top side has no corner, above a row of teeth. Not even the band's
// staircase can be cut without slivers there; corners facing the teeth are added to the long side
// (on both sides of it), rather than the band being lost. A comb of one-pixel teeth and gaps on a
// one-pixel spine is cut into a few polygons a tooth, not into its pixels.
TEST(VectorConversion, ARegionWithNoCleanCutIsNotLost) {
    {
        Grid comb{512, 512, std::vector<std::int32_t>(512 * 512, 1)};
        for (int y = 0; y < 512; ++y) {
            for (int x = 0; x < 512; ++x) comb.at(x, y) = y == 0 || x % 2 == 0 ? 2 : 1;
        }
        const Quads quads = Convert(comb, {0, 0}, nullptr);
        int overlaps = 0;
        EXPECT_EQ(Rasterise(quads, 512, 512, &overlaps).codes, comb.codes);
        EXPECT_EQ(overlaps, 0);
        EXPECT_LE(quads.size(), 4u * 512);
        ExpectCleanPolygons(quads);
    }
    Grid grid{512, 16, std::vector<std::int32_t>(512 * 16, 1)};
    for (int y = 0; y < 15; ++y) {
        for (int x = 0; x < 512; ++x) grid.at(x, y) = y < 8 || x % 4 < 2 ? 2 : 1;
    }
    VectorConversionRun run;
    const Quads quads = Convert(grid, {0, 0}, &run);
    int overlaps = 0;
    const Grid shown = Rasterise(quads, grid.width, grid.height, &overlaps);
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(shown.codes, grid.codes);
    EXPECT_GT(run.regionsKeptAsStairs, 0u);
}

// Regions under the smallest area go to the neighbour with the longest shared border; among
// equal borders to the nearest colour; a region alone in the picture stays; and neighbours of
// one code that merging brings together become one region.
TEST(VectorConversion, SmallRegionsJoinTheirNeighbours) {
    const std::int32_t white = kDirectColorBase + 0xFFFFFF, navy = kDirectColorBase + 0x000080,
                       pale = kDirectColorBase + 0xE0E0F0, red = kDirectColorBase + 0xFF0000;
    // A pale pixel between white (left, above) and navy (right, below): it looks nearer white.
    Grid grid{4, 4, {white, white, white, white,  //
                     white, pale, navy, navy,      //
                     white, navy, navy, navy,      //
                     navy, navy, navy, navy}};
    VectorConversionRun run;
    Grid shown = Rasterise(Convert(grid, {0, 4}, &run), 4, 4, nullptr);
    EXPECT_EQ(shown.at(1, 1), white);
    EXPECT_EQ(run.mergedRegions, 1u);
    // Three red pixels in a row along the top edge go to the navy around them: one region is
    // left.
    grid = {5, 3, {navy, red, red, red, navy,  //
                   navy, navy, navy, navy, navy,  //
                   navy, navy, navy, navy, navy}};
    shown = Rasterise(Convert(grid, {0, 4}, &run), 5, 3, nullptr);
    EXPECT_EQ(run.regions, 1u);
    EXPECT_EQ(std::set<std::int32_t>(shown.codes.begin(), shown.codes.end()),
              std::set<std::int32_t>{navy});
    // A smallest area of 0 keeps them; a picture of one small region keeps it.
    shown = Rasterise(Convert(grid, {0, 0}, &run), 5, 3, nullptr);
    EXPECT_EQ(shown.codes, grid.codes);
    grid = {1, 2, {red, red}};
    EXPECT_EQ(Rasterise(Convert(grid, {0.5, 4}), 1, 2, nullptr).codes, grid.codes);
    // A region of exactly the smallest area stays; one pixel fewer and it goes.
    grid = {6, 6, std::vector<std::int32_t>(36, navy)};
    for (const auto& [x, y] : {std::pair{2, 2}, {3, 2}, {2, 3}, {3, 3}}) grid.at(x, y) = red;
    EXPECT_EQ(Rasterise(Convert(grid, {0, 4}), 6, 6, nullptr).codes, grid.codes);
    shown = Rasterise(Convert(grid, {0, 5}), 6, 6, nullptr);
    EXPECT_EQ(std::count(shown.codes.begin(), shown.codes.end(), red), 0);
}

// Beside left-out pixels an outline keeps within half a pixel whatever the tolerance, so that no
// left-out pixel's middle is covered and no kept pixel's middle is bared; elsewhere it may stray
// as far as the tolerance allows.
TEST(VectorConversion, OutlinesBesideLeftOutPixelsKeepTheirMiddlesWhateverTheTolerance) {
    std::mt19937 random(11);
    for (const double tolerance : {0.75, 1.5, 3.0}) {
        for (int round = 0; round < 4; ++round) {
            Grid grid = DrawnShapes(random, 48);
            // A slanted band of left-out pixels across the shapes.
            for (int y = 0; y < grid.height; ++y) {
                for (int x = 0; x < grid.width; ++x) {
                    if (std::abs(2 * x - y - 10 - 3 * round) < 4) grid.at(x, y) = kNotCovered;
                }
            }
            const Grid shown = Rasterise(Convert(grid, {tolerance, 4}), grid.width, grid.height, nullptr);
            int covered = 0, bared = 0;
            for (int y = 0; y < grid.height; ++y) {
                for (int x = 0; x < grid.width; ++x) {
                    const bool leftOut = grid.at(x, y) == kNotCovered;
                    bool besideLeftOut = leftOut;
                    for (int dy = -1; dy <= 1; ++dy) {
                        for (int dx = -1; dx <= 1; ++dx) {
                            const int nx = x + dx, ny = y + dy;
                            if (nx >= 0 && ny >= 0 && nx < grid.width && ny < grid.height &&
                                grid.at(nx, ny) == kNotCovered)
                                besideLeftOut = true;
                        }
                    }
                    if (leftOut) covered += shown.at(x, y) != kNotCovered;
                    if (!leftOut && besideLeftOut) bared += shown.at(x, y) == kNotCovered;
                }
            }
            EXPECT_EQ(covered, 0) << tolerance << " " << round;
            EXPECT_EQ(bared, 0) << tolerance << " " << round;
        }
    }
}

// Straight slopes of one-pixel stairs become one edge each; a tolerance of 0 keeps every step.
TEST(VectorConversion, OnePixelStairsBecomeStraightSlopes) {
    for (const int run : {1, 2, 3}) {
        // Above the line y = x / run white, below it red, over 60 columns.
        Grid grid{60, 60 / run, {}};
        for (int y = 0; y < grid.height; ++y) {
            for (int x = 0; x < grid.width; ++x) {
                grid.codes.push_back(y * run < x ? kDirectColorBase + 0xFFFFFF
                                                 : kDirectColorBase + 0xFF0000);
            }
        }
        const Quads smooth = Convert(grid, {});
        // A triangle above the slope, a quadrilateral and a triangle (or two) below.
        EXPECT_LE(smooth.size(), 4u) << "stairs of " << run;
        ExpectCleanPolygons(smooth);
        EXPECT_GE(Convert(grid, {0, 0}).size(), static_cast<std::size_t>(grid.height));
    }
}

// Both layouts write the polygons as they are: the classic one triangles as "3" lines, every
// number with at most 4 decimals, the same corner always the same text; the sticker layout the
// same face, its polygons still clean after the rounding, and no more than the backing added.
TEST(VectorConversion, BothLayoutsWriteTheCleanPolygons) {
    std::mt19937 random(11);
    test::TempFolder folder;
    for (int round = 0; round < 6; ++round) {
        const Grid grid = DrawnShapes(random, 60);
        std::vector<std::uint8_t> pixels;
        PaletteList palette;
        std::map<std::int32_t, std::uint8_t> index;
        for (const std::int32_t code : grid.codes) {
            if (!index.count(code)) {
                index[code] = static_cast<std::uint8_t>(palette.size());
                const std::uint32_t rgb =
                    code == kNotCovered ? 0xFFFFFFu : static_cast<std::uint32_t>(code) * 0x1F3D5Bu;
                palette.push_back({static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
                                   static_cast<std::uint8_t>(rgb >> 16), 0});
            }
            pixels.push_back(index[code]);
        }
        const Picture picture = test::MakePicture(60, 60, palette, pixels);
        Shell shell;
        Quads quads;
        ASSERT_TRUE(ConvertVector(shell, picture, quads, {}, {}));
        ExpectCleanPolygons(quads);
        const std::int32_t height = round % 2 ? 60 : 23;  // 23 gives long fractions
        const double scale = height / 60.0;
        const StickerDetails details = {"Sticker", "s1", "Ann", "Unofficial Model"};
        for (const PartFormat format : {PartFormat::Classic, PartFormat::LdrawSticker}) {
            const std::string path = folder / "s1.dat";
            PartFileCounts counts;
            ASSERT_TRUE(format == PartFormat::Classic
                            ? WritePartFile(shell, picture, quads, path, height, details, nullptr,
                                            &counts, CoordinateDigits::FourDecimals)
                            : WriteStickerPart(shell, picture, quads, path, height, details,
                                               nullptr, &counts));
            const std::string text = test::ReadText(path);
            std::size_t lines = 0;
            std::istringstream in(text);
            std::map<std::pair<double, double>, std::string> textOf;
            for (std::string line; std::getline(in, line);) {
                if (line.rfind("3 ", 0) != 0 && line.rfind("4 ", 0) != 0) continue;
                ++lines;
                std::istringstream words(line);
                std::string word;
                words >> word >> word;
                while (words >> word) {
                    const auto point = word.find('.');
                    EXPECT_TRUE(point == std::string::npos || word.size() - point - 1 <= 4) << line;
                }
            }
            EXPECT_EQ(lines, counts.quadrilaterals + counts.triangles);
            const std::vector<ViewPolygon> face =
                test::PolygonsOfFile(text, format, picture, scale);
            // The face as written (rounded), each polygon clean.
            for (const ViewPolygon& polygon : face) {
                std::vector<std::array<double, 2>> corners;
                for (int i = 0; i < polygon.count; ++i) {
                    corners.push_back({polygon.x[static_cast<std::size_t>(i)] * scale,
                                       polygon.y[static_cast<std::size_t>(i)] * scale});
                }
                EXPECT_EQ(PolygonFault(corners), "") << (format == PartFormat::Classic ? "classic" : "sticker");
            }
            EXPECT_EQ(face.size(), quads.size());  // the sticker's face: none split
            if (format == PartFormat::Classic) {
                EXPECT_EQ(counts.triangles, static_cast<std::uint64_t>(std::count_if(
                                                quads.begin(), quads.end(),
                                                [](const LdrawQuad& q) { return q.LineType == 3; })));
            }
        }
    }
}

// A conversion stopped through its progress ends with no polygons and no report; the progress
// goes up to the end otherwise.
TEST(VectorConversion, StopsWhenAsked) {
    std::mt19937 random(3);
    const Grid grid = DrawnShapes(random, 200);
    Quads quads;
    double last = 0;
    CoverWithOutlines(grid.width, grid.height, grid.codes, {}, quads, [&](double share) {
        EXPECT_GE(share, last);
        last = share;
        return true;
    });
    EXPECT_EQ(last, 1.0);
    test::RecordingShell recording;
    Picture picture = test::GeneratePicture(random, 60);
    int calls = 0;
    EXPECT_FALSE(ConvertVector(recording.shell, picture, quads, {}, {},
                               [&](double) { return ++calls < 2; }));
    EXPECT_TRUE(quads.empty());
    EXPECT_TRUE(recording.boxes.empty());
}

// A picture made by ImageMagick, read with the reader; empty when ImageMagick is missing.
Picture MadeByImageMagick(const test::TempFolder& folder, const std::string& arguments) {
    const std::string path = folder / "picture.bmp";
    if (!test::Succeeds("convert " + arguments + " -compress none BMP3:" + path)) return {};
    Shell shell;
    Picture picture;
    double height = 0, width = 0;
    LoadBitmap(shell, picture, path, height, width);
    return picture;
}

// Logos and drawings of at most 16 colours: the vector conversion, keeping every shape, writes at
// most three quarters of the exact conversion's polygons on each, and at most half over the set,
// in either layout; pixels away from their region's border keep their colour, and at least 97 %
// of all pixels do.
TEST(VectorConversion, WritesFarFewerPolygonsThanTheExactConversionOnLogosAndDrawings) {
    test::TempFolder folder;
    const std::vector<std::pair<std::string, std::string>> set = {
        {"logo", "logo: +dither -colors 8"},
        {"rose", "rose: -resize 400% +dither -colors 8"},
        {"text", "-size 960x160 xc:white -font DejaVu-Sans -pointsize 96 -fill black -annotate "
                 "+20+116 'Mosaikon Sticker' +dither -colors 4"},
        {"ring", "-size 512x512 xc:white -fill red -draw 'circle 256,256 256,40' -fill white "
                 "-draw 'circle 256,256 256,120' -fill blue -draw 'circle 180,256 180,230' "
                 "-draw 'circle 332,256 332,230' +dither -colors 6"},
        {"stripes", "-size 512x512 xc:white -fill navy -draw 'polygon 0,0 68,0 512,444 512,512 "
                    "444,512 0,68' -fill orange -draw 'polygon 170,0 238,0 512,274 512,342' "
                    "-draw 'polygon 0,170 0,238 274,512 342,512' -fill green -draw 'polygon "
                    "340,0 408,0 512,104 512,172' +dither -colors 8"},
        {"shapes", "-size 640x480 xc:white -fill gold -draw 'circle 160,160 160,40' -fill "
                   "purple -draw 'polygon 320,40 600,120 520,440 300,300' -fill teal -draw "
                   "'ellipse 200,380 150,60 0,360' -fill white -draw 'circle 450,250 450,210' "
                   "+dither -colors 8"},
    };
    for (const PartFormat format : {PartFormat::Classic, PartFormat::LdrawSticker}) {
        std::uint64_t vector = 0, exact = 0;
        for (const auto& [name, arguments] : set) {
            const Picture picture = MadeByImageMagick(folder, arguments);
            if (picture.Width() == 0) GTEST_SKIP() << "ImageMagick is missing";
            Shell shell;
            Quads quads;
            ASSERT_TRUE(ConvertVector(shell, picture, quads, {}));
            const std::uint64_t v = test::PolygonsOfPart(picture, quads, format);
            if (format == PartFormat::Classic) {
                // The polygons in grid units, as the rasterising compares them.
                const Grid grid = FromPicture(picture);
                const Fidelity fidelity = Compare(grid, Convert(grid, {}), 0.5);
                EXPECT_EQ(fidelity.overlaps, 0) << name;
                EXPECT_EQ(fidelity.interiorWrong, 0) << name;
                EXPECT_GE(fidelity.right, 0.97 * fidelity.pixels) << name;
                std::cerr << name << ": " << 100.0 * fidelity.right / fidelity.pixels
                          << " % of the pixels right\n";
            }
            ASSERT_TRUE(ConvertExact(shell, picture, quads, {}));
            const std::uint64_t e = test::PolygonsOfPart(picture, quads, format);
            RecordProperty(name + (format == PartFormat::Classic ? "_classic" : "_sticker"),
                           std::to_string(v) + " of " + std::to_string(e));
            std::cerr << name << (format == PartFormat::Classic ? " classic " : " sticker ") << v
                      << " polygons, exact " << e << "\n";
            EXPECT_LE(4 * v, 3 * e) << name;
            vector += v, exact += e;
        }
        EXPECT_LE(2 * vector, exact);
    }
}

}  // namespace
}  // namespace mosaikon

namespace mosaikon {
namespace {

// The mean distance, in pixels, of the borders between polygons of different colours from the
// true shape (distance: from a point in pixels from the picture's top-left corner), along their
// length.
double MeanDistanceOfBorders(const Quads& quads, const std::function<double(double, double)>& distance) {
    struct Side {
        std::array<double, 4> ends;
        std::set<std::int32_t> colours;
        int uses = 0;
    };
    std::map<std::array<std::int64_t, 4>, Side> sides;
    for (const LdrawQuad& quad : quads) {
        const double xs[] = {quad.X1 - 1, quad.X2 - 1, quad.X3 - 1, quad.X4 - 1};
        const double ys[] = {quad.Y1 - 1, quad.Y2 - 1, quad.Y3 - 1, quad.Y4 - 1};
        const int n = quad.LineType == 3 ? 3 : 4;
        for (int i = 0; i < n; ++i) {
            const int j = (i + 1) % n;
            std::array<std::int64_t, 4> key = {std::llround(xs[i] * 1e6), std::llround(ys[i] * 1e6),
                                               std::llround(xs[j] * 1e6), std::llround(ys[j] * 1e6)};
            if (std::pair{key[0], key[1]} > std::pair{key[2], key[3]}) {
                key = {key[2], key[3], key[0], key[1]};
            }
            Side& side = sides[key];
            side.ends = {xs[i], ys[i], xs[j], ys[j]};
            side.colours.insert(quad.Color);
            ++side.uses;
        }
    }
    double sum = 0, length = 0;
    for (const auto& [key, side] : sides) {
        if (side.uses != 2 || side.colours.size() != 2) continue;
        const auto& [x1, y1, x2, y2] = side.ends;
        const double l = std::hypot(x2 - x1, y2 - y1);
        constexpr int kSamples = 16;
        for (int s = 0; s < kSamples; ++s) {
            const double t = (s + 0.5) / kSamples;
            sum += distance(x1 + t * (x2 - x1), y1 + t * (y2 - y1)) * l / kSamples;
        }
        length += l;
    }
    return length > 0 ? sum / length : 1e9;
}

// The picture written as a bitmap and read back with its colours reduced by the program to 8,
// its own colours kept in original.
void LoadReducedByTheProgram(const test::TempFolder& folder, const test::BitmapLayout& layout, Picture& picture,
                             RgbaPicture& original) {
    const std::string path = folder / "picture.bmp";
    test::WriteBytes(path, test::EncodeBitmap(layout));
    Shell shell;
    double height = 0, width = 0;
    ReadOptions read;
    read.original = &original;
    read.reduction.mostColours = 8;
    LoadBitmap(shell, picture, path, height, width, read);
}

// Anti-aliased shapes of known geometry (each pixel the blend of the shape's colour and white by
// the part of it inside, sampled 16 x 16 times), their colours reduced by the program: the
// outline runs where the blends say the edge is, within a tenth of a pixel of it on average,
// along slanted sides, circles and a small disc, and along an edge so nearly level that its
// blends make one row of pixels where the two colours never touch; nothing but the shape's
// colour and white is written (the bands of reduced blends are gone), and hardly more polygons
// than with the corners on the pixels' lattice, whose outline is two to nine times as far off.
TEST(VectorConversion, FollowsAntiAliasedEdgesBetweenThePixels) {
    test::TempFolder folder;
    struct Shape {
        std::string name;
        std::uint32_t colour;
        std::function<bool(double, double)> inside;
        std::function<double(double, double)> distance;  // from the outline
        double nearest;  // the outline's most mean distance from it
        int width = 242, height = 242;
    };
    const auto ring = [](double x, double y) { return std::hypot(x - 121.3, y - 119.6); };
    const double corners[3][2] = {{20.2, 30.7}, {221.4, 71.1}, {90.6, 210.3}};
    const auto toSide = [&](double x, double y, int i) {
        const double* a = corners[i];
        const double* b = corners[(i + 1) % 3];
        const double dx = b[0] - a[0], dy = b[1] - a[1];
        const double t = std::clamp(((x - a[0]) * dx + (y - a[1]) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        return std::pair{std::hypot(x - a[0] - t * dx, y - a[1] - t * dy), dx * (y - a[1]) - dy * (x - a[0])};
    };
    const std::vector<Shape> set = {
        {"ring", 0xFF0000, [&](double x, double y) { return ring(x, y) <= 100.2 && ring(x, y) >= 60.4; },
         [&](double x, double y) { return std::min(std::fabs(ring(x, y) - 100.2), std::fabs(ring(x, y) - 60.4)); },
         0.1},
        {"small disc", 0x008000, [](double x, double y) { return std::hypot(x - 30.4, y - 29.7) <= 11.3; },
         [](double x, double y) { return std::fabs(std::hypot(x - 30.4, y - 29.7) - 11.3); }, 0.1, 62, 60},
        {"level edge", 0xC00000, [](double x, double y) { return y < 20.2 + 0.012 * x; },
         [](double x, double y) { return std::fabs(y - 20.2 - 0.012 * x) / std::hypot(1.0, 0.012); }, 0.1, 64, 40},
        {"triangle", 0x000080,
         [&](double x, double y) {
             return toSide(x, y, 0).second >= 0 && toSide(x, y, 1).second >= 0 && toSide(x, y, 2).second >= 0;
         },
         [&](double x, double y) {
             return std::min({toSide(x, y, 0).first, toSide(x, y, 1).first, toSide(x, y, 2).first});
         },
         0.1},
    };
    for (const Shape& shape : set) {
        SCOPED_TRACE(shape.name);
        test::BitmapLayout layout;
        layout.width = shape.width;
        layout.height = shape.height;
        layout.bitCount = 24;
        constexpr int kSamples = 16;
        for (int y = 0; y < layout.height; ++y) {
            for (int x = 0; x < layout.width; ++x) {
                int in = 0;
                for (int sy = 0; sy < kSamples; ++sy) {
                    for (int sx = 0; sx < kSamples; ++sx) {
                        in += shape.inside(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples);
                    }
                }
                std::uint32_t value = 0;
                for (int k = 0; k < 3; ++k) {
                    const int c = static_cast<int>((shape.colour >> (8 * k)) & 0xFF);
                    const int blend = (c * in + 255 * (kSamples * kSamples - in) + kSamples * kSamples / 2) /
                                      (kSamples * kSamples);
                    value |= static_cast<std::uint32_t>(blend) << (8 * k);
                }
                layout.colours.push_back(value);
            }
        }
        Shell shell;
        Picture picture;
        RgbaPicture original;
        LoadReducedByTheProgram(folder, layout, picture, original);
        ASSERT_GT(picture.Width(), 0);
        Quads quads;
        ASSERT_TRUE(ConvertVector(shell, picture, quads, {}, {}, {}, nullptr, &original));
        Quads lattice;
        ASSERT_TRUE(ConvertVector(shell, picture, lattice, {}));
        const double mean = MeanDistanceOfBorders(quads, shape.distance);
        const double before = MeanDistanceOfBorders(lattice, shape.distance);
        std::cerr << shape.name << ": mean distance " << mean << " px, on the lattice " << before
                  << " px; polygons " << quads.size() << " / " << lattice.size() << "\n";
        EXPECT_LE(mean, shape.nearest);
        EXPECT_LE(mean, 0.8 * before);
        // On a small disc, following the curve takes a few more corners.
        EXPECT_LE(quads.size(), lattice.size() * 5 / 4);
        std::set<std::int32_t> colours;
        for (const LdrawQuad& quad : quads) colours.insert(quad.Color);
        EXPECT_EQ(colours.size(), 2u);
    }
}

// A crisp line of a colour of its own, half-way between the colours either side of it, is a
// shape, not an edge's blends, even where the program reduced the picture's colours (a grey
// ramp below makes it reduce them): the two sides never touch beside it and its colour is the
// same all along, so it stays, whole.
TEST(VectorConversion, ACrispLineOfAColourBetweenItsNeighboursStays) {
    test::TempFolder folder;
    test::BitmapLayout layout;
    layout.width = 64;
    layout.height = 48;
    layout.bitCount = 24;
    for (int y = 0; y < layout.height; ++y) {
        for (int x = 0; x < layout.width; ++x) {
            const std::uint32_t ramp = static_cast<std::uint32_t>(4 * x) * 0x010101u;
            layout.colours.push_back(y >= 40 ? ramp : x < 31 ? 0x0000FFu : x == 31 ? 0x8080FFu : 0xFFFFFFu);
        }
    }
    Shell shell;
    Picture picture;
    RgbaPicture original;
    LoadReducedByTheProgram(folder, layout, picture, original);
    ASSERT_GT(picture.SourceColours, static_cast<std::int64_t>(picture.Palette.size()));
    const Grid grid = FromPicture(picture);
    const std::int32_t line = grid.at(31, 10);
    ASSERT_NE(line, grid.at(30, 10));
    ASSERT_NE(line, grid.at(32, 10));
    Quads quads;
    ASSERT_TRUE(ConvertVector(shell, picture, quads, {}, {}, {}, nullptr, &original));
    double area = 0;
    for (const LdrawQuad& quad : quads) {
        if (quad.Color != line) continue;
        const double xs[] = {quad.X1, quad.X2, quad.X3, quad.X4};
        const double ys[] = {quad.Y1, quad.Y2, quad.Y3, quad.Y4};
        const int n = quad.LineType == 3 ? 3 : 4;
        for (int i = 0; i < n; ++i) area += (xs[i] * ys[(i + 1) % n] - xs[(i + 1) % n] * ys[i]) / 2;
    }
    EXPECT_NEAR(std::fabs(area), 40.0, 1.0);
}

}  // namespace
}  // namespace mosaikon
