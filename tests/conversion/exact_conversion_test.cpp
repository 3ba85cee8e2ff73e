#include "conversion/exact_conversion.h"

#include <gtest/gtest.h>

#include <map>
#include <unordered_map>

#include "support/rectangle_cover.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::MakePicture;

const PaletteList& kPalette = test::kTestColours;

Quads Convert(const Picture& picture, const ConversionSettings& settings = {}) {
    Shell shell;
    Quads quads;
    EXPECT_TRUE(ConvertExact(shell, picture, quads, settings));
    return quads;
}

// The fewest rectangles that partition a region, by exhaustive search (small regions only).
int ExhaustiveMinimum(std::uint64_t region, int width, int height) {
    std::unordered_map<std::uint64_t, int> known;
    auto search = [&](auto&& self, std::uint64_t left) -> int {
        if (left == 0) return 0;
        if (auto it = known.find(left); it != known.end()) return it->second;
        const int first = __builtin_ctzll(left);
        const int x0 = first % width, y0 = first / width;
        int best = 1 << 20;
        for (int x1 = x0; x1 < width && (left >> (y0 * width + x1) & 1); ++x1) {
            std::uint64_t block = 0;
            for (int y1 = y0; y1 < height; ++y1) {
                std::uint64_t row = 0;
                for (int x = x0; x <= x1; ++x) row |= std::uint64_t{1} << (y1 * width + x);
                if ((left & row) != row) break;
                block |= row;
                best = std::min(best, 1 + self(self, left & ~block));
            }
        }
        known[left] = best;
        return best;
    };
    return search(search, region);
}

TEST(ConvertExact, PrimaryColoursJoinEntriesOfOneCode) {
    PaletteList palette = kPalette;
    palette[5] = {0, 0, 200, 0};  // another red
    const Picture picture = MakePicture(2, 1, palette, {1, 5});
    EXPECT_EQ(Convert(picture).size(), 2u);
    const Quads quads = Convert(picture, {.UseLdrawColors = true});
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0].Color, 4);
    EXPECT_EQ(quads[0].X2, 3);
}

TEST(ConvertExact, StartsEmptyAndReportsFailures) {
    test::RecordingShell recording;
    Quads quads(3);
    EXPECT_TRUE(ConvertExact(recording.shell, MakePicture(2, 2, kPalette, {0, 0, 0, 0}), quads,
                             {.IgnoreWhite = true}));
    EXPECT_TRUE(quads.empty());
    EXPECT_FALSE(
        ConvertExact(recording.shell, MakePicture(2, 1, test::GreyRamp(2), {1, 9}), quads, {}));
    EXPECT_EQ(recording.boxes.back(), "ConvertExact has caused an error Subscript out of range");
    EXPECT_EQ(recording.LogLines().back(),
              "CONVERT EXACT: ERROR CONVERTING BITMAP Subscript out of range");
}

TEST(ConvertExact, CoversGeneratedPicturesExactly) {
    std::mt19937 seeds(77);
    for (int i = 0; i < 2000; ++i) {
        const unsigned seed = seeds();
        std::mt19937 random(seed);
        const Picture picture = test::GeneratePicture(random, 40);
        const ConversionSettings settings{.UseLdrawColors = random() % 3 == 0,
                                          .IgnoreWhite = random() % 2 == 0,
                                          .WhiteTolerance = 20};
        SCOPED_TRACE(testing::Message() << "picture seed " << seed);
        ASSERT_NO_FATAL_FAILURE(
            test::ExpectExactCover(picture, settings, Convert(picture, settings)));
    }
}

TEST(ConvertExact, UsesTheFewestRectanglesOnSmallRegions) {
    std::mt19937 random(4242);
    for (int i = 0; i < 3000; ++i) {
        const int width = 1 + static_cast<int>(random() % 6),
                  height = 1 + static_cast<int>(random() % 6);
        std::vector<std::uint8_t> pixels(width * height);
        const unsigned density = 40 + random() % 50;
        for (auto& p : pixels) p = random() % 100 < density ? 1 : 0;
        const Picture picture = MakePicture(width, height, kPalette, pixels);
        const ConversionSettings settings{.IgnoreWhite = true};
        const Quads quads = Convert(picture, settings);
        // Count per region (4-connected red pixels), against the exhaustive minimum.
        const std::vector<int> region = test::Regions(test::ShownColours(picture, settings), width);
        std::map<int, std::uint64_t> masks;
        for (std::size_t at = 0; at < region.size(); ++at) {
            if (region[at] >= 0) masks[region[at]] |= std::uint64_t{1} << at;
        }
        std::map<int, int> counted;
        for (const LdrawQuad& q : quads) {
            ++counted[region[(static_cast<int>(q.Y1) - 1) * width + static_cast<int>(q.X1) - 1]];
        }
        for (const auto& [r, mask] : masks) {
            ASSERT_EQ(counted[r], ExhaustiveMinimum(mask, width, height)) << "picture " << i;
        }
    }
}

}  // namespace
}  // namespace mosaikon
