#include "conversion/full_conversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iomanip>
#include <random>
#include <sstream>

#include "conversion/exact_conversion.h"
#include "conversion/full_conversion_reference.h"
#include "conversion/point_in_quad.h"
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

}  // namespace
}  // namespace mosaikon
