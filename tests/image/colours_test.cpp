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

}  // namespace
}  // namespace mosaikon
