#include "conversion/quick_conversion.h"

#include <gtest/gtest.h>

#include <tuple>

#include "image/colours.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::MakePicture;

struct Box {
    double left, right, top, bottom;
    std::int32_t color;
    friend bool operator==(const Box&, const Box&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Box& b) {
        return out << "(" << b.left << ".." << b.right << ", " << b.top << ".." << b.bottom << ", "
                   << b.color << ")";
    }
};

std::vector<Box> Boxes(const Quads& quads) {
    std::vector<Box> boxes;
    for (const LdrawQuad& q : quads) {
        EXPECT_EQ(q.LineType, 4);
        EXPECT_EQ(q.X1, q.X4);
        EXPECT_EQ(q.X2, q.X3);
        EXPECT_EQ(q.Y1, q.Y2);
        EXPECT_EQ(q.Y3, q.Y4);
        boxes.push_back({q.X1, q.X2, q.Y1, q.Y3, q.Color});
    }
    return boxes;
}

const PaletteList kPalette = {
    {0, 0, 0, 0},   {0, 0, 204, 0},   {255, 255, 255, 0}, {250, 250, 250, 0},
    {0, 255, 0, 0}, {10, 10, 200, 0}, {0, 120, 0, 0},     {200, 0, 0, 0},
};
constexpr std::int32_t kRed = 0x2CC0000;

TEST(ConvertBitmap, OneQuadrilateralPerRunOfEqualEntriesRowByRowFromTheTop) {
    const ConversionSettings white{.IgnoreWhite = true};  // (250, 250, 250) is 15 from white
    const ConversionSettings whiter{.IgnoreWhite = true, .WhiteTolerance = 16};
    const ConversionSettings colour{.IgnoreRgbColor = true, .RgbTolerance = 1, .IgnoreRed = 204};
    const ConversionSettings primary{.UseLdrawColors = true};
    const PaletteList& p = kPalette;
    const std::vector<std::tuple<Picture, ConversionSettings, std::vector<Box>>> cases = {
        {MakePicture(3, 1, p, {5, 5, 7}), {}, {{1, 3, 1, 2, 0x2C80A0A}, {3, 4, 1, 2, 0x20000C8}}},
        {MakePicture(4, 2, p, {1, 1, 1, 1, 0, 0, 0, 0}),
         {},
         {{1, 5, 1, 2, kRed}, {1, 5, 2, 3, 0x2000000}}},
        {MakePicture(5, 1, p, {1, 2, 2, 3, 1}),
         white,
         {{1, 2, 1, 2, kRed}, {4, 5, 1, 2, 0x2FAFAFA}, {5, 6, 1, 2, kRed}}},
        {MakePicture(5, 1, p, {1, 2, 2, 3, 1}), whiter, {{1, 2, 1, 2, kRed}, {5, 6, 1, 2, kRed}}},
        {MakePicture(5, 1, p, {1, 2, 2, 3, 1}),
         colour,
         {{2, 4, 1, 2, 0x2FFFFFF}, {4, 5, 1, 2, 0x2FAFAFA}}},
        // Both green entries are code 2, yet their runs stay apart.
        {MakePicture(2, 1, p, {4, 6}), primary, {{1, 2, 1, 2, 10}, {2, 3, 1, 2, 2}}},
        {MakePicture(2, 2, p, {2, 2, 3, 3}), whiter, {}}};
    for (const auto& [picture, settings, boxes] : cases) {
        Shell shell;
        Quads quads(3);  // nothing stale is kept
        EXPECT_TRUE(ConvertBitmap(shell, picture, quads, settings));
        EXPECT_EQ(Boxes(quads), boxes);
    }
}

TEST(ConvertBitmap, APixelBeyondThePaletteStopsTheRunWithOneMessageBox) {
    test::RecordingShell recording;
    Quads quads;
    Picture picture = MakePicture(6, 1, test::GreyRamp(2), {1, 1, 9, 9, 9, 0});
    EXPECT_FALSE(ConvertBitmap(recording.shell, picture, quads, {}));
    EXPECT_EQ(Boxes(quads), (std::vector<Box>{{1, 3, 1, 2, 0x2FFFFFF}}));
    EXPECT_THAT(recording.boxes,
                ElementsAre("ReColor has caused an error Subscript out of range",
                            "ConvertBitmap has caused an error Subscript out of range"));
}

}  // namespace
}  // namespace mosaikon
