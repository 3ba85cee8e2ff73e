#include "conversion/full_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iomanip>
#include <random>
#include <sstream>

#include "conversion/exact_conversion.h"
#include "conversion/full_conversion_reference.h"
#include "conversion/point_in_quad.h"
#include "image/colours.h"
#include "support/rectangle_cover.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::MakePicture;

// Each quadrilateral as "colour: x1,y1 x2,y2 x3,y3 x4,y4", one to a line.
std::string Text(const Quads& quads) {
    std::ostringstream text;
    text << std::setprecision(17) << std::hex;
    for (const LdrawQuad& q : quads) {
        text << q.Color << ": " << q.X1 << "," << q.Y1 << " " << q.X2 << "," << q.Y2 << " " << q.X3
             << "," << q.Y3 << " " << q.X4 << "," << q.Y4 << "\n";
    }
    return text.str();
}

// Palette: 0 black, 1 red, 2 blue, 3 white, 4 green, 5 near-white.
const PaletteList kPalette = {{0, 0, 0, 0},       {0, 0, 204, 0},  {187, 51, 0, 0},
                              {255, 255, 255, 0}, {51, 119, 0, 0}, {250, 250, 252, 0}};

Quads Convert(const Picture& picture, const ConversionSettings& settings = {}) {
    Shell shell;
    Quads quads;
    EXPECT_TRUE(ConvertToLdraw(shell, picture, quads, settings));
    return quads;
}

TEST(PointInQuad, WideAndTightMarginsOfTheUnitSquare) {
    const double x[4] = {0, 1, 1, 0}, y[4] = {0, 0, 1, 1};
    for (const double margin : {kWideMargin, kTightMargin}) {
        for (const auto& [col, row] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
            EXPECT_TRUE(PointInQuad(col, row, x, y, margin)) << col << "," << row;
        }
    }
    EXPECT_FALSE(PointInQuad(2, 0, x, y, kWideMargin));
    EXPECT_FALSE(PointInQuad(-1, 1, x, y, kWideMargin));
    EXPECT_FALSE(PointInQuad(0, 2, x, y, kTightMargin));
}

TEST(PointInQuad, ADegenerateQuadrilateralGrowsIntoARectangle) {
    const double x[4] = {3, 3, 3, 3}, y[4] = {1, 1, 3, 3};
    EXPECT_TRUE(PointInQuad(3, 1, x, y, kWideMargin));
    EXPECT_TRUE(PointInQuad(3, 2, x, y, kWideMargin));
    EXPECT_TRUE(PointInQuad(3, 3, x, y, kWideMargin));
    EXPECT_FALSE(PointInQuad(2, 2, x, y, kWideMargin));
    EXPECT_FALSE(PointInQuad(4, 2, x, y, kWideMargin));
}

TEST(ConvertToLdraw, CellsRightOfAnInnerCoverAreCoveredLater) {
    // The red run of row 2 is covered inside by the quadrilateral anchored at row 1; its last
    // cell goes back to the grid and gets a quadrilateral of its own.
    const Quads quads = Convert(MakePicture(3, 3, kPalette, {1, 0, 0, 1, 1, 1, 0, 1, 1}));
    ASSERT_EQ(quads.size(), 5u);
    EXPECT_EQ(Text({quads[3]}), "2cc0000: 3,2 4,2 4,3 3,3\n");
}

TEST(ConvertToLdraw, ACoverEndingBeforeTheLastColumnKeepsIt) {
    const Picture picture = MakePicture(2, 3, kPalette, {0, 1, 0, 0, 0, 0});
    EXPECT_EQ(Text(Convert(picture)),
              "2000000: 1,1 2,1 3,4 1,4\n2000000: 2,2 3,2 3,4 2,3\n2cc0000: 2,1 3,1 3,2 2,2\n");
}

TEST(ConvertToLdraw, ReportsFailuresStopsWhenAskedAndKeepsNothingStale) {
    test::RecordingShell recording;
    Quads quads(2);
    const ConversionSettings white{.IgnoreWhite = true, .WhiteTolerance = 20};
    EXPECT_TRUE(
        ConvertToLdraw(recording.shell, MakePicture(2, 2, kPalette, {3, 5, 5, 3}), quads, white));
    EXPECT_TRUE(quads.empty());  // everything left out
    EXPECT_FALSE(
        ConvertToLdraw(recording.shell, MakePicture(2, 1, test::GreyRamp(2), {1, 7}), quads, {}));
    EXPECT_EQ(recording.boxes.back(), "ConvertToLdraw has caused an error Subscript out of range");
    EXPECT_EQ(recording.LogLines().back(),
              "CONVERTTOLDRAW: ERROR CONVERTING BITMAP Subscript out of range");

    // Answering false stops both long conversions at once: no result, no report.
    const std::size_t reports = recording.boxes.size();
    for (const bool exact : {false, true}) {
        int calls = 0;
        const auto stop = [&](double) { return ++calls < 3; };
        const Picture picture = MakePicture(3, 6, kPalette, std::vector<std::uint8_t>(18, 2));
        EXPECT_FALSE(exact ? ConvertExact(recording.shell, picture, quads, {}, stop)
                           : ConvertToLdraw(recording.shell, picture, quads, {}, stop));
        EXPECT_EQ(calls, 3);
        EXPECT_TRUE(quads.empty());
    }
    EXPECT_EQ(recording.boxes.size(), reports);
}

TEST(ConvertToLdraw, GivesExactlyTheQuadrilateralsOfThePlainSearch) {
    const char* env = std::getenv("MOSAIKON_FULL_CONVERSION_PICTURES");
    const int pictures = env ? std::atoi(env) : 3000;
    std::mt19937 seeds(1206);
    for (int i = 0; i < pictures; ++i) {
        const unsigned seed = seeds();
        std::mt19937 random(seed);
        const Picture picture = test::GeneratePicture(random, 24);
        const ConversionSettings settings{
            .UseLdrawColors = random() % 4 == 0,
            .IgnoreWhite = random() % 3 == 0,
            .WhiteTolerance = static_cast<std::int16_t>(random() % 30),
            .IgnoreRgbColor = random() % 4 == 0,
            .RgbTolerance = static_cast<std::int16_t>(random() % 60),
            .IgnoreRed = static_cast<std::int16_t>(random() % 256)};
        const Quads expected = test::ReferenceFullConversion(picture, settings);
        const Quads actual = Convert(picture, settings);
        ASSERT_EQ(Text(actual), Text(expected)) << "picture seed " << seed;
    }
}

TEST(ConvertToLdraw, WithoutWorkToSpendCoversEveryRegionAsTheExactConversionDoes) {
    std::mt19937 random(2611);
    for (int i = 0; i < 200; ++i) {
        const Picture picture = test::GeneratePicture(random, 40);
        const ConversionSettings settings{.IgnoreWhite = i % 2 == 0, .WhiteTolerance = 20};
        Shell shell;
        Quads exact, bounded;
        ASSERT_TRUE(ConvertExact(shell, picture, exact, settings));
        FullConversionRun run{.workBudget = 0};
        ASSERT_TRUE(ConvertToLdraw(shell, picture, bounded, settings, {}, &run));
        ASSERT_EQ(Text(bounded), Text(exact)) << "picture " << i;
        EXPECT_EQ(run.regionsCoveredWithRectangles > 0, !exact.empty());
    }
}

TEST(ConvertToLdraw, ACheckerboardsCostlyRegionsGetRectanglesThatCoverAtLeastAsMuch) {
    // Every region of a checkerboard reaches the bottom row with runs that never line up: an
    // unbounded search grows with the cube of the rows.
    const int side = 48;
    std::vector<std::uint8_t> pixels(side * side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) pixels[static_cast<std::size_t>(y * side + x)] = (x + y) % 2;
    }
    const Picture picture = MakePicture(side, side, kPalette, pixels);
    // The pixels whose top-left grid point a quadrilateral of their own colour covers.
    auto covered = [&](const Quads& quads) {
        int count = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const std::int32_t colour = DirectColorCode(kPalette[(x + y) % 2]);
                count += std::any_of(quads.begin(), quads.end(), [&](const LdrawQuad& q) {
                    const double xs[4] = {q.X1, q.X2, q.X3, q.X4};
                    const double ys[4] = {q.Y1, q.Y2, q.Y3, q.Y4};
                    return q.Color == colour &&
                           PointInQuad(static_cast<std::int16_t>(x + 1),
                                       static_cast<std::int16_t>(y + 1), xs, ys, kTightMargin);
                });
            }
        }
        return count;
    };
    test::RecordingShell recording;
    Quads unbounded, bounded;
    FullConversionRun run{.workBudget = 300'000};
    ASSERT_TRUE(ConvertToLdraw(recording.shell, picture, unbounded, {}));
    ASSERT_TRUE(ConvertToLdraw(recording.shell, picture, bounded, {}, {}, &run));
    EXPECT_GT(run.regionsCoveredWithRectangles, 0u);
    EXPECT_EQ(recording.LogLines().back(),
              "CONVERTTOLDRAW: " + std::to_string(run.regionsCoveredWithRectangles) +
                  " regions covered with rectangles");
    EXPECT_GE(covered(bounded), covered(unbounded));
    EXPECT_LT(covered(unbounded), side * side);  // the search alone loses some
}

}  // namespace
}  // namespace mosaikon
