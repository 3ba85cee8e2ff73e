#include "support/rectangle_cover.h"

#include <gtest/gtest.h>

#include <cmath>

#include "image/colours.h"

namespace mosaikon::test {

void ExpectExactCover(const Picture& picture, const ConversionSettings& settings,
                      const Quads& quads) {
    const int width = picture.Width(), height = picture.Height();
    const ColourLookup colours(picture, settings);
    std::vector<int> covered(static_cast<std::size_t>(width * height), 0);
    std::vector<std::int32_t> code(covered.size(), 0);
    std::vector<bool> kept(covered.size(), false);
    for (int r = 0; r < height; ++r) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t index = picture.Pixels(x + 1, height - r);
            const std::size_t at = static_cast<std::size_t>(r * width + x);
            code[at] = colours.Code(index);
            kept[at] = !colours.LeftOut(index);
        }
    }
    for (const LdrawQuad& q : quads) {
        ASSERT_EQ(q.LineType, 4);
        ASSERT_TRUE(q.X1 == q.X4 && q.X2 == q.X3 && q.Y1 == q.Y2 && q.Y3 == q.Y4)
            << "not axis-aligned";
        ASSERT_TRUE(q.X1 < q.X2 && q.Y1 < q.Y3) << "corners out of order";
        ASSERT_EQ(q.X1, std::floor(q.X1));
        ASSERT_EQ(q.Y3, std::floor(q.Y3));
        ASSERT_TRUE(q.X1 >= 1 && q.Y1 >= 1 && q.X2 <= width + 1 && q.Y3 <= height + 1);
        for (int r = static_cast<int>(q.Y1) - 1; r < static_cast<int>(q.Y3) - 1; ++r) {
            for (int x = static_cast<int>(q.X1) - 1; x < static_cast<int>(q.X2) - 1; ++x) {
                const std::size_t at = static_cast<std::size_t>(r * width + x);
                ++covered[at];
                ASSERT_EQ(q.Color, code[at]) << "pixel " << x << "," << r << " in another colour";
            }
        }
    }
    for (std::size_t at = 0; at < covered.size(); ++at) {
        ASSERT_EQ(covered[at], kept[at] ? 1 : 0) << "pixel " << at % static_cast<std::size_t>(width)
                                                 << "," << at / static_cast<std::size_t>(width);
    }
    // Order: regions by their first pixel; a region's rectangles by their top-left corner.
    std::vector<int> region(covered.size(), -1);
    int regions = 0;
    std::vector<int> firstOfRegion;
    for (std::size_t start = 0; start < covered.size(); ++start) {
        if (!kept[start] || region[start] >= 0) continue;
        std::vector<std::size_t> stack{start};
        region[start] = regions;
        while (!stack.empty()) {
            const std::size_t at = stack.back();
            stack.pop_back();
            const int x = static_cast<int>(at % static_cast<std::size_t>(width)),
                      r = static_cast<int>(at / static_cast<std::size_t>(width));
            const int around[4][2] = {{x + 1, r}, {x - 1, r}, {x, r + 1}, {x, r - 1}};
            for (const auto& [nx, nr] : around) {
                if (nx < 0 || nr < 0 || nx >= width || nr >= height) continue;
                const std::size_t next = static_cast<std::size_t>(nr * width + nx);
                if (kept[next] && region[next] < 0 && code[next] == code[at]) {
                    region[next] = regions;
                    stack.push_back(next);
                }
            }
        }
        ++regions;
    }
    int lastRegion = -1;
    std::size_t lastCorner = 0;
    for (const LdrawQuad& q : quads) {
        const std::size_t corner = static_cast<std::size_t>((static_cast<int>(q.Y1) - 1) * width +
                                                            static_cast<int>(q.X1) - 1);
        const int r = region[corner];
        if (r != lastRegion) {
            ASSERT_EQ(r, lastRegion + 1) << "regions out of order";
            lastRegion = r;
        } else {
            ASSERT_GT(corner, lastCorner) << "rectangles out of reading order";
        }
        lastCorner = corner;
    }
    ASSERT_EQ(lastRegion + 1, regions);
}

}  // namespace mosaikon::test
