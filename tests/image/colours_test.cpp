#include "image/colours.h"

#include <gtest/gtest.h>

#include <random>

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
        const PaletteEntry& e = PrimaryColors[code];
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
    // Typed components far outside the range overflow.
    EXPECT_THROW(IsIgnoredColor(One(0, 0, 0), 0, 10, -32768, 0, 0), Failure);
    EXPECT_THROW(IsIgnoredColor(One(255, 255, 0), 0, 10, -32000, -32000, 0), Failure);
    EXPECT_NO_THROW(IsIgnoredColor(One(0, 0, 0), 0, 10, -32767, 0, 0));
}

// The lookup made once per palette answers as the colour tests do, entry by entry.
TEST(ColourLookup, AnswersAsTheColourTestsDo) {
    std::mt19937 random(5);
    const auto component = [&] {
        return static_cast<std::uint8_t>(random() % 4 * 85 + random() % 3);
    };
    for (int round = 0; round < 3000; ++round) {
        PaletteList palette(1 + random() % 6);
        for (auto& e : palette) e = {component(), component(), component(), 0};
        const auto below = [&](unsigned n) { return static_cast<std::int16_t>(random() % n); };
        const ConversionSettings s{
            .UseLdrawColors = random() % 2 == 0,
            .IgnoreWhite = random() % 2 == 0,
            .WhiteTolerance = below(40),
            .IgnoreRgbColor = random() % 2 == 0,
            .RgbTolerance = below(40),
            .IgnoreRed = below(260),
            .IgnoreGreen = below(260),
            .IgnoreBlue = random() % 3 == 0 ? std::int16_t{-32768} : below(260)};
        const ColourLookup lookup(palette, s);
        Shell shell;
        for (int i = 0; i < static_cast<int>(palette.size()); ++i) {
            const auto index = static_cast<std::uint8_t>(i);
            EXPECT_EQ(lookup.Code(index), ReColor(shell, palette, i, s.UseLdrawColors));
            bool ignored = false;
            try {
                ignored = IsIgnoredColor(palette, i, s.RgbTolerance, s.IgnoreRed, s.IgnoreGreen,
                                         s.IgnoreBlue);
            } catch (const Failure&) {  // tested whether or not the option is on
                EXPECT_THROW(lookup.LeftOut(index), Failure);
                continue;
            }
            EXPECT_EQ(lookup.LeftOut(index),
                      (s.IgnoreRgbColor && ignored) ||
                          (s.IgnoreWhite && IsNearWhite(palette, i, s.WhiteTolerance)));
        }
        EXPECT_FALSE(lookup.Known(static_cast<std::uint8_t>(palette.size())));
        EXPECT_THROW(lookup.LeftOut(static_cast<std::uint8_t>(palette.size())), Failure);
    }
}

}  // namespace
}  // namespace mosaikon
