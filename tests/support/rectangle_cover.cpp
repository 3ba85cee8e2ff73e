#include "support/rectangle_cover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "image/colours.h"

namespace mosaikon::test {

std::vector<std::int32_t> Rasterise(const Quads& quads, int width, int height) {
    std::vector<std::int32_t> shown(width * height, -1);
    for (const LdrawQuad& q : quads) {
        EXPECT_EQ(q.LineType, 4);
        EXPECT_TRUE(q.X1 == q.X4 && q.X2 == q.X3 && q.Y1 == q.Y2 && q.Y3 == q.Y4 && q.X1 < q.X2 &&
                    q.Y1 < q.Y3 && q.X1 == std::floor(q.X1) && q.Y3 == std::floor(q.Y3) &&
                    q.X1 >= 1 && q.Y1 >= 1 && q.X2 <= width + 1 && q.Y3 <= height + 1)
            << "not a rectangle of whole pixels inside the picture";
        for (int r = std::max(0, static_cast<int>(q.Y1) - 1);
             r < std::min(height, static_cast<int>(q.Y3) - 1); ++r) {
            for (int x = std::max(0, static_cast<int>(q.X1) - 1);
                 x < std::min(width, static_cast<int>(q.X2) - 1); ++x) {
                auto& cell = shown[r * width + x];
                EXPECT_EQ(cell, -1) << "pixel " << x << "," << r << " covered twice";
                cell = q.Color;
            }
        }
    }
    return shown;
}

std::vector<std::int32_t> ShownColours(const Picture& picture, const ConversionSettings& settings) {
    const ColourLookup colours(picture, settings);
    std::vector<std::int32_t> shown;
    for (int y = picture.Height(); y >= 1; --y) {
        for (int x = 1; x <= picture.Width(); ++x) {
            const std::uint8_t index = picture.Pixels(x, y);
            shown.push_back(colours.LeftOut(index) ? -1 : colours.Code(index));
        }
    }
    return shown;
}

std::vector<int> Regions(const std::vector<std::int32_t>& shown, int width) {
    std::vector<int> region(shown.size(), -1);
    int regions = 0;
    for (std::size_t start = 0; start < shown.size(); ++start) {
        if (shown[start] == -1 || region[start] >= 0) continue;
        std::vector<std::size_t> stack{start};
        region[start] = regions;
        while (!stack.empty()) {
            const std::size_t at = stack.back();
            stack.pop_back();
            const int x = static_cast<int>(at % width);
            const std::size_t up = at >= static_cast<std::size_t>(width) ? at - width : at;
            const std::size_t down = at + width < shown.size() ? at + width : at;
            for (const std::size_t next :
                 {x > 0 ? at - 1 : at, x + 1 < width ? at + 1 : at, up, down}) {
                if (region[next] < 0 && shown[next] == shown[at]) {
                    region[next] = regions;
                    stack.push_back(next);
                }
            }
        }
        ++regions;
    }
    return region;
}

void ExpectExactCover(const Picture& picture, const ConversionSettings& settings,
                      const Quads& quads) {
    const int width = picture.Width(), height = picture.Height();
    const std::vector<std::int32_t> code = ShownColours(picture, settings);
    ASSERT_EQ(Rasterise(quads, width, height), code);
    // Order: regions by their first pixel; a region's rectangles by their top-left corner.
    const std::vector<int> region = Regions(code, width);
    const int regions = code.empty() ? 0 : *std::max_element(region.begin(), region.end()) + 1;
    int lastRegion = -1;
    std::size_t lastCorner = 0;
    for (const LdrawQuad& q : quads) {
        const std::size_t corner =
            (static_cast<int>(q.Y1) - 1) * width + static_cast<int>(q.X1) - 1;
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
