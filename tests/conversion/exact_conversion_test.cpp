#include "conversion/exact_conversion.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <unordered_map>

#include "support/rectangle_cover.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::MakePicture;

const PaletteList kPalette = {{255, 255, 255, 0}, {0, 0, 204, 0},   {187, 51, 0, 0},
                              {51, 119, 0, 0},    {0, 238, 255, 0}, {250, 252, 250, 0}};

Quads Convert(const Picture& picture, const ConversionSettings& settings = {}) {
    Shell shell;
    Quads quads;
    EXPECT_TRUE(ConvertExact(shell, picture, quads, settings));
    return quads;
}

// A picture from rows of characters: '.' is white (index 0), digits are palette indices.
Picture FromRows(const std::vector<std::string>& rows) {
    std::vector<std::uint8_t> pixels;
    for (const std::string& row : rows) {
        for (const char c : row)
            pixels.push_back(static_cast<std::uint8_t>(c == '.' ? 0 : c - '0'));
    }
    return MakePicture(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), kPalette,
                       pixels);
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

TEST(ConvertExact, RectanglesReproduceThePictureExactly) {
    const Picture picture = FromRows({"1111....", "1..1.22.", "1111.22.", "..3333..", "..3..3.."});
    ConversionSettings settings;
    settings.IgnoreWhite = true;
    const Quads quads = Convert(picture, settings);
    test::ExpectExactCover(picture, settings, quads);
    EXPECT_EQ(quads.size(), 4u + 1u + 3u);  // a ring takes four, a block one, an arch three
}

TEST(ConvertExact, PrimaryColoursJoinEntriesOfOneCode) {
    PaletteList palette = kPalette;
    palette[5] = {0, 0, 200, 0};  // another red
    const Picture picture = MakePicture(2, 1, palette, {1, 5});
    ConversionSettings settings;
    EXPECT_EQ(Convert(picture, settings).size(), 2u);
    settings.UseLdrawColors = true;
    const Quads quads = Convert(picture, settings);
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0].Color, 4);
    EXPECT_EQ(quads[0].X2, 3);
}

TEST(ConvertExact, StartsEmptyAndReportsFailures) {
    test::RecordingShell recording;
    Quads quads(3);
    ConversionSettings settings;
    settings.IgnoreWhite = true;
    EXPECT_TRUE(ConvertExact(recording.shell, FromRows({"..", ".."}), quads, settings));
    EXPECT_TRUE(quads.empty());
    EXPECT_FALSE(
        ConvertExact(recording.shell, MakePicture(2, 1, test::GreyRamp(2), {1, 9}), quads, {}));
    EXPECT_EQ(recording.boxes.back(), "ConvertExact has caused an error Subscript out of range");
    EXPECT_EQ(recording.LogLines().back(),
              "CONVERT EXACT: ERROR CONVERTING BITMAP Subscript out of range");
}

// Generated pictures: blobs, holes, rings, checkerboards, staircases, one-pixel lines and
// left-out colours.
Picture Generate(std::mt19937& random, int maxSide) {
    const int width = 1 + static_cast<int>(random() % static_cast<unsigned>(maxSide));
    const int height = 1 + static_cast<int>(random() % static_cast<unsigned>(maxSide));
    const int colours = 2 + static_cast<int>(random() % 5);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height));
    auto at = [&](int x, int y) -> std::uint8_t& {
        return pixels[static_cast<std::size_t>(y * width + x)];
    };
    const int kind = static_cast<int>(random() % 6);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            switch (kind) {
                case 0:
                    at(x, y) = static_cast<std::uint8_t>(random() % static_cast<unsigned>(colours));
                    break;
                case 1:
                    at(x, y) = static_cast<std::uint8_t>((x + y) % 2);
                    break;  // checkerboard
                case 2:
                    at(x, y) = x <= y ? 1 : 0;
                    break;  // staircase
                case 3:
                    at(x, y) = (x % 4 == 1 || y % 3 == 1) ? 1 : 0;
                    break;  // one-pixel lines
                case 4: {   // rings
                    const int ring =
                        std::min(std::min(x, y), std::min(width - 1 - x, height - 1 - y));
                    at(x, y) = static_cast<std::uint8_t>(ring % colours);
                    break;
                }
                default:
                    at(x, y) = 0;
                    break;
            }
        }
    }
    if (kind == 5) {  // blobs of random rectangles and holes
        for (int i = 0; i < 2 + static_cast<int>(random() % 8); ++i) {
            const int x0 = static_cast<int>(random() % static_cast<unsigned>(width));
            const int y0 = static_cast<int>(random() % static_cast<unsigned>(height));
            const int x1 = std::min(width - 1, x0 + static_cast<int>(random() % 6));
            const int y1 = std::min(height - 1, y0 + static_cast<int>(random() % 6));
            const auto c = static_cast<std::uint8_t>(random() % static_cast<unsigned>(colours));
            for (int y = y0; y <= y1; ++y) {
                for (int x = x0; x <= x1; ++x) at(x, y) = c;
            }
        }
    }
    return MakePicture(width, height,
                       std::vector<PaletteEntry>(kPalette.begin(), kPalette.begin() + colours),
                       pixels);
}

TEST(ConvertExact, CoversGeneratedPicturesExactly) {
    std::mt19937 seeds(77);
    for (int i = 0; i < 2000; ++i) {
        const unsigned seed = seeds();
        std::mt19937 random(seed);
        const Picture picture = Generate(random, 40);
        ConversionSettings settings;
        settings.UseLdrawColors = random() % 3 == 0;
        settings.IgnoreWhite = random() % 2 == 0;
        settings.WhiteTolerance = 20;
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
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height));
        const unsigned density = 40 + random() % 50;
        for (auto& p : pixels) p = random() % 100 < density ? 1 : 0;
        const Picture picture = MakePicture(width, height, kPalette, pixels);
        ConversionSettings settings;
        settings.IgnoreWhite = true;
        const Quads quads = Convert(picture, settings);
        // Count per region (4-connected red pixels), against the exhaustive minimum.
        std::vector<int> region(pixels.size(), -1);
        std::map<int, std::uint64_t> masks;
        int regions = 0;
        for (std::size_t s = 0; s < pixels.size(); ++s) {
            if (pixels[s] != 1 || region[s] >= 0) continue;
            std::vector<std::size_t> stack{s};
            region[s] = regions;
            while (!stack.empty()) {
                const std::size_t a = stack.back();
                stack.pop_back();
                masks[regions] |= std::uint64_t{1} << a;
                const int x = static_cast<int>(a) % width, y = static_cast<int>(a) / width;
                const int around[4][2] = {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}};
                for (const auto& [nx, ny] : around) {
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                    const std::size_t n = static_cast<std::size_t>(ny * width + nx);
                    if (pixels[n] == 1 && region[n] < 0) {
                        region[n] = regions;
                        stack.push_back(n);
                    }
                }
            }
            ++regions;
        }
        std::map<int, int> counted;
        for (const LdrawQuad& q : quads) {
            ++counted[region[static_cast<std::size_t>((static_cast<int>(q.Y1) - 1) * width +
                                                      static_cast<int>(q.X1) - 1)]];
        }
        for (const auto& [r, mask] : masks) {
            ASSERT_EQ(counted[r], ExhaustiveMinimum(mask, width, height)) << "picture " << i;
        }
    }
}

// N - L - H + 1 for one region given as a set of pixels, worked out from its own chord list
// and a plain augmenting-path matching.
int FormulaMinimum(const std::vector<std::vector<bool>>& in) {
    const int height = static_cast<int>(in.size()), width = static_cast<int>(in[0].size());
    auto at = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < width && y < height &&
               in[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
    };
    // Concave corners and the quadrant each misses.
    std::map<std::pair<int, int>, int> concave;
    for (int py = 0; py <= height; ++py) {
        for (int px = 0; px <= width; ++px) {
            const bool q[4] = {at(px - 1, py - 1), at(px, py - 1), at(px - 1, py), at(px, py)};
            if (q[0] + q[1] + q[2] + q[3] == 3) {
                for (int k = 0; k < 4; ++k) {
                    if (!q[k]) concave[{px, py}] = k;
                }
            }
        }
    }
    struct Segment {
        int fixed, from, to;
    };
    std::vector<Segment> rows, columns;
    for (const auto& [a, qa] : concave) {
        for (const auto& [b, qb] : concave) {
            if (a.second == b.second && a.first < b.first && (qa == 0 || qa == 2) &&
                (qb == 1 || qb == 3)) {
                bool interior = true;
                for (int x = a.first; x < b.first && interior; ++x)
                    interior = at(x, a.second - 1) && at(x, a.second);
                if (interior) rows.push_back({a.second, a.first, b.first});
            }
            if (a.first == b.first && a.second < b.second && (qa == 0 || qa == 1) &&
                (qb == 2 || qb == 3)) {
                bool interior = true;
                for (int y = a.second; y < b.second && interior; ++y)
                    interior = at(a.first - 1, y) && at(a.first, y);
                if (interior) columns.push_back({a.first, a.second, b.second});
            }
        }
    }
    std::vector<int> matchColumn(columns.size(), -1);
    auto touches = [&](const Segment& h, const Segment& v) {
        return h.from <= v.fixed && v.fixed <= h.to && v.from <= h.fixed && h.fixed <= v.to;
    };
    int matching = 0;
    for (std::size_t h = 0; h < rows.size(); ++h) {
        std::vector<bool> seen(columns.size(), false);
        auto augment = [&](auto&& self, std::size_t u) -> bool {
            for (std::size_t v = 0; v < columns.size(); ++v) {
                if (!touches(rows[u], columns[v]) || seen[v]) continue;
                seen[v] = true;
                if (matchColumn[v] < 0 || self(self, static_cast<std::size_t>(matchColumn[v]))) {
                    matchColumn[v] = static_cast<int>(u);
                    return true;
                }
            }
            return false;
        };
        matching += augment(augment, h);
    }
    const int chords = static_cast<int>(rows.size() + columns.size()) - matching;
    // Holes: 8-connected parts of the outside of the region that do not reach the border.
    std::vector<std::vector<int>> part(static_cast<std::size_t>(height + 2),
                                       std::vector<int>(static_cast<std::size_t>(width + 2), -1));
    int holes = 0, parts = 0;
    for (int y = -1; y <= height; ++y) {
        for (int x = -1; x <= width; ++x) {
            if (at(x, y) ||
                part[static_cast<std::size_t>(y + 1)][static_cast<std::size_t>(x + 1)] >= 0)
                continue;
            bool border = false;
            std::vector<std::pair<int, int>> stack{{x, y}};
            part[static_cast<std::size_t>(y + 1)][static_cast<std::size_t>(x + 1)] = parts;
            while (!stack.empty()) {
                const auto [cx, cy] = stack.back();
                stack.pop_back();
                border |= cx < 0 || cy < 0 || cx >= width || cy >= height;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = cx + dx, ny = cy + dy;
                        if (nx < -1 || ny < -1 || nx > width || ny > height || at(nx, ny)) continue;
                        int& p = part[static_cast<std::size_t>(ny + 1)]
                                     [static_cast<std::size_t>(nx + 1)];
                        if (p < 0) {
                            p = parts;
                            stack.push_back({nx, ny});
                        }
                    }
                }
            }
            holes += !border;
            ++parts;
        }
    }
    return static_cast<int>(concave.size()) - chords - holes + 1;
}

TEST(ConvertExact, MatchesTheFormulaOnLargerRegions) {
    std::mt19937 random(99);
    int checked = 0;
    for (int i = 0; i < 800; ++i) {
        // One region: a union of random rectangles with random rectangular holes, kept only
        // when it is one 4-connected piece with no two pixels touching at a corner alone.
        const int width = 10 + static_cast<int>(random() % 30),
                  height = 10 + static_cast<int>(random() % 30);
        std::vector<std::vector<bool>> in(
            static_cast<std::size_t>(height),
            std::vector<bool>(static_cast<std::size_t>(width), false));
        for (int k = 0; k < 12; ++k) {
            const int x0 = static_cast<int>(random() % static_cast<unsigned>(width)),
                      y0 = static_cast<int>(random() % static_cast<unsigned>(height));
            const int x1 = std::min(width - 1, x0 + 2 + static_cast<int>(random() % 12));
            const int y1 = std::min(height - 1, y0 + 2 + static_cast<int>(random() % 12));
            const bool fill = k < 8;
            for (int y = y0; y <= y1; ++y) {
                for (int x = x0; x <= x1; ++x)
                    in[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = fill;
            }
        }
        std::vector<std::uint8_t> pixels;
        for (const auto& row : in) {
            for (const bool b : row) pixels.push_back(b ? 1 : 0);
        }
        bool pinched = false;
        for (int y = 0; y + 1 < height; ++y) {
            for (int x = 0; x + 1 < width; ++x) {
                const bool a = in[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)],
                           b = in[static_cast<std::size_t>(y)][static_cast<std::size_t>(x + 1)];
                const bool c = in[static_cast<std::size_t>(y + 1)][static_cast<std::size_t>(x)],
                           d = in[static_cast<std::size_t>(y + 1)][static_cast<std::size_t>(x + 1)];
                pinched |= (a && d && !b && !c) || (b && c && !a && !d);
            }
        }
        const Picture picture = MakePicture(width, height, kPalette, pixels);
        ConversionSettings settings;
        settings.IgnoreWhite = true;
        const Quads quads = Convert(picture, settings);
        std::map<std::pair<int, int>, int> regionOf;
        int regions = 0;
        {
            std::vector<std::vector<int>> label(
                static_cast<std::size_t>(height),
                std::vector<int>(static_cast<std::size_t>(width), -1));
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    if (!in[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] ||
                        label[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] >= 0)
                        continue;
                    std::vector<std::pair<int, int>> stack{{x, y}};
                    label[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = regions;
                    while (!stack.empty()) {
                        const auto [cx, cy] = stack.back();
                        stack.pop_back();
                        const int around[4][2] = {
                            {cx + 1, cy}, {cx - 1, cy}, {cx, cy + 1}, {cx, cy - 1}};
                        for (const auto& [nx, ny] : around) {
                            if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                            if (in[static_cast<std::size_t>(ny)][static_cast<std::size_t>(nx)] &&
                                label[static_cast<std::size_t>(ny)][static_cast<std::size_t>(nx)] <
                                    0) {
                                label[static_cast<std::size_t>(ny)][static_cast<std::size_t>(nx)] =
                                    regions;
                                stack.push_back({nx, ny});
                            }
                        }
                    }
                    ++regions;
                }
            }
        }
        if (regions != 1 || pinched) continue;
        ++checked;
        EXPECT_EQ(static_cast<int>(quads.size()), FormulaMinimum(in)) << "region " << i;
    }
    EXPECT_GT(checked, 80);
}

}  // namespace
}  // namespace mosaikon
