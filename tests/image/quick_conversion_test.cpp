#include "image/quick_conversion.h"

#include <gtest/gtest.h>

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

TEST(ConvertBitmap, MakesOneQuadrilateralPerRunOfEqualPixels) {
    Shell shell;
    Quads quads;
    const Picture picture = MakePicture(3, 1, kPalette, {5, 5, 7});
    ASSERT_TRUE(ConvertBitmap(shell, picture, quads, {}));
    EXPECT_EQ(Boxes(quads), (std::vector<Box>{{1, 3, 1, 2, 0x2C80A0A}, {3, 4, 1, 2, 0x20000C8}}));
}

TEST(ConvertBitmap, NeverMergesRowsAndGoesFromTheTopRowDown) {
    Shell shell;
    Quads quads;
    const Picture picture = MakePicture(4, 2, kPalette, {1, 1, 1, 1, 0, 0, 0, 0});
    ConvertBitmap(shell, picture, quads, {});
    EXPECT_EQ(Boxes(quads), (std::vector<Box>{{1, 5, 1, 2, kRed}, {1, 5, 2, 3, 0x2000000}}));
    const Picture single = MakePicture(1, 1, kPalette, {1});
    ConvertBitmap(shell, single, quads, {});
    EXPECT_EQ(Boxes(quads), (std::vector<Box>{{1, 2, 1, 2, kRed}}));
}

TEST(ConvertBitmap, LeftOutRunsLeaveGapsOnlyWhenTheirOptionIsOn) {
    Shell shell;
    Quads quads;
    const Picture picture = MakePicture(5, 1, kPalette, {1, 2, 2, 3, 1});
    ConversionSettings settings;
    settings.IgnoreWhite = true;
    ConvertBitmap(shell, picture, quads, settings);  // (250, 250, 250) is 15 from white
    EXPECT_EQ(Boxes(quads),
              (std::vector<Box>{{1, 2, 1, 2, kRed}, {4, 5, 1, 2, 0x2FAFAFA}, {5, 6, 1, 2, kRed}}));
    settings.WhiteTolerance = 16;
    ConvertBitmap(shell, picture, quads, settings);
    EXPECT_EQ(Boxes(quads), (std::vector<Box>{{1, 2, 1, 2, kRed}, {5, 6, 1, 2, kRed}}));
    settings.IgnoreWhite = false;
    ConvertBitmap(shell, picture, quads, settings);
    EXPECT_EQ(quads.size(), 4u);  // the white runs 2, 2 and 3 are separate palette entries

    settings.IgnoreRgbColor = true;
    settings.IgnoreRed = 204, settings.IgnoreGreen = 0, settings.IgnoreBlue = 0;
    settings.RgbTolerance = 1;
    ConvertBitmap(shell, picture, quads, settings);
    EXPECT_EQ(Boxes(quads), (std::vector<Box>{{2, 4, 1, 2, 0x2FFFFFF}, {4, 5, 1, 2, 0x2FAFAFA}}));
}

TEST(ConvertBitmap, PrimaryColoursKeepRunsOfDifferentEntriesApart) {
    Shell shell;
    Quads quads;
    const Picture picture = MakePicture(2, 1, kPalette, {4, 6});  // both green entries map to 2
    ConversionSettings settings;
    settings.UseLdrawColors = true;
    ConvertBitmap(shell, picture, quads, settings);
    EXPECT_EQ(Boxes(quads), (std::vector<Box>{{1, 2, 1, 2, 10}, {2, 3, 1, 2, 2}}));
}

TEST(ConvertBitmap, StartsFromAnEmptyListSoNothingStaleIsWritten) {
    Shell shell;
    Quads quads(3);
    const Picture allWhite = MakePicture(2, 2, kPalette, {2, 2, 3, 3});
    ConversionSettings settings;
    settings.IgnoreWhite = true;
    settings.WhiteTolerance = 20;
    EXPECT_TRUE(ConvertBitmap(shell, allWhite, quads, settings));
    EXPECT_TRUE(quads.empty());
}

TEST(ConvertBitmap, APixelBeyondThePaletteStopsTheRunWithOneMessageBox) {
    test::RecordingShell recording;
    Quads quads;
    Picture picture = MakePicture(6, 1, test::GreyRamp(2), {1, 1, 9, 9, 9, 0});
    EXPECT_FALSE(ConvertBitmap(recording.shell, picture, quads, {}));
    EXPECT_EQ(Boxes(quads), (std::vector<Box>{{1, 3, 1, 2, 0x2FFFFFF}}));
    EXPECT_EQ(recording.boxes, (std::vector<std::string>{
                                   "ReColor has caused an error Subscript out of range",
                                   "ConvertBitmap has caused an error Subscript out of range"}));
    const auto log = recording.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "RECOLOR: ERROR IN CONVERTING COLOR Subscript out of range"),
              3);
    EXPECT_EQ(log.back(), "CONVERT FILE: ERROR CONVERTING BITMAP Subscript out of range");
}

TEST(ConvertBitmap, LogsItsStages) {
    test::RecordingShell recording;
    Quads quads;
    ConvertBitmap(recording.shell, MakePicture(1, 1, kPalette, {0}), quads, {});
    const auto log = recording.LogLines();
    EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.end()),
              (std::vector<std::string>{"CONVERT FILE: Starting",
                                        "CONVERT FILE: About to write to raw image data",
                                        "CONVERT FILE: Done"}));
}

}  // namespace
}  // namespace mosaikon
