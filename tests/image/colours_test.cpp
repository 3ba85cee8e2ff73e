#include "image/colours.h"

#include <gtest/gtest.h>

#include "shell/failure.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

PaletteList One(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return {{blue, green, red, 0}};
}

TEST(ReColor, GivesDirectCodesOrTheNearestPrimaryCode) {
    Shell shell;
    struct Case {
        std::uint8_t r, g, b;
        std::int32_t direct, primary;
    };
    for (const Case c : {Case{255, 255, 255, 50331647, 15}, Case{255, 0, 0, 50266112, 4},
                         Case{0, 0, 0, 33554432, 0}, Case{128, 128, 128, 0x2808080, 8},
                         Case{0, 51, 85, 0x2003355, 1}, Case{0, 16, 14, 0x200100E, 0}}) {
        const PaletteList palette = One(c.r, c.g, c.b);
        EXPECT_EQ(ReColor(shell, palette, 0, false), c.direct);
        EXPECT_EQ(ReColor(shell, palette, 0, true), c.primary) << int(c.r) << "," << int(c.g);
    }
    for (std::int32_t code = 0; code < 16; ++code) {
        const PaletteEntry& e = PrimaryColors[static_cast<std::size_t>(code)];
        EXPECT_EQ(ReColor(shell, One(e.Red, e.Green, e.Blue), 0, true), code);
    }
    EXPECT_EQ(shell.failuresReported, 0);
}

TEST(ReColor, AnIndexBeyondThePaletteIsReportedOnceAndGivesZero) {
    test::RecordingShell recording;
    const PaletteList palette = test::GreyRamp(2);
    ReColorReports reports;
    EXPECT_EQ(ReColor(recording.shell, palette, 5, false, &reports), 0);
    EXPECT_EQ(ReColor(recording.shell, palette, 6, true, &reports), 0);
    EXPECT_EQ(recording.boxes,
              std::vector<std::string>{"ReColor has caused an error Subscript out of range"});
    const auto log = recording.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "RECOLOR: ERROR IN CONVERTING COLOR Subscript out of range"),
              2);
}

TEST(ColourTests, NearWhiteAndIgnoredColourUseStrictCityBlockDistances) {
    EXPECT_TRUE(IsNearWhite(One(250, 250, 250), 0, 30));
    EXPECT_FALSE(IsNearWhite(One(240, 245, 250), 0, 30));
    EXPECT_TRUE(IsNearWhite(One(255, 255, 255), 0, 1));
    EXPECT_FALSE(IsNearWhite(One(255, 255, 255), 0, 0));
    EXPECT_TRUE(IsIgnoredColor(One(10, 20, 30), 0, 4, 11, 21, 31));
    EXPECT_FALSE(IsIgnoredColor(One(10, 20, 30), 0, 3, 11, 21, 31));
    EXPECT_TRUE(IsIgnoredColor(One(0, 0, 0), 0, 257, 256, 0, 0));  // 256 enters unchanged
    EXPECT_FALSE(IsIgnoredColor(One(0, 0, 0), 0, 256, 256, 0, 0));
    EXPECT_THROW(IsNearWhite(One(0, 0, 0), 1, 10), Failure);
}

TEST(ColourTests, TypedComponentsFarOutsideTheRangeOverflow) {
    EXPECT_THROW(IsIgnoredColor(One(0, 0, 0), 0, 10, -32768, 0, 0), Failure);
    EXPECT_THROW(IsIgnoredColor(One(255, 255, 0), 0, 10, -32000, -32000, 0), Failure);
    EXPECT_NO_THROW(IsIgnoredColor(One(0, 0, 0), 0, 10, -32767, 0, 0));
}

TEST(FindBackgroundColor, TurnsTheNearestEntryWithin99IntoTheGrey) {
    PaletteList palette = {{0, 0, 0, 0}, {200, 200, 200, 0}, {255, 255, 255, 0}};
    EXPECT_EQ(FindBackgroundColor(palette), 1);
    EXPECT_EQ(palette[1], kBackdropGrey);

    PaletteList blackAndWhite = One(0, 0, 0);
    blackAndWhite.push_back({255, 255, 255, 0});
    const PaletteList before = blackAndWhite;
    EXPECT_EQ(FindBackgroundColor(blackAndWhite), 0);
    EXPECT_EQ(blackAndWhite, before);
}

TEST(ColourLookup, AnswersAsTheColourTestsDo) {
    const PaletteList palette = {{255, 255, 255, 0}, {0, 0, 204, 0}, {10, 10, 10, 0}};
    ConversionSettings settings;
    settings.IgnoreWhite = true;
    settings.IgnoreRgbColor = true;
    settings.IgnoreRed = 10, settings.IgnoreGreen = 10, settings.IgnoreBlue = 10;
    const ColourLookup lookup(palette, settings);
    EXPECT_TRUE(lookup.LeftOut(0));
    EXPECT_FALSE(lookup.LeftOut(1));
    EXPECT_TRUE(lookup.LeftOut(2));
    EXPECT_EQ(lookup.Code(1), 0x2CC0000);
    EXPECT_FALSE(lookup.Known(3));
    EXPECT_THROW(lookup.LeftOut(3), Failure);
    settings.IgnoreRed = -32768;
    settings.IgnoreRgbColor = false;  // the test is made whether or not the option is on
    EXPECT_THROW(ColourLookup(palette, settings).LeftOut(0), Failure);
}

}  // namespace
}  // namespace mosaikon
