#include "drawing/drawing_fidelity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/colours.h"

namespace mosaikon::test {

namespace fs = std::filesystem;

Fidelity Measure(const Drawing& drawing, const Quads& quads, const RgbaPicture& reference) {
    Fidelity f;
    const double unit = kDrawingPictureHeight / drawing.height;  // picture units a drawing unit
    const int w = reference.width, h = reference.height;
    // Each sample's polygon: the polygons listed in the rows of samples they reach.
    std::vector<std::vector<std::uint32_t>> rows(static_cast<std::size_t>(h));
    for (std::uint32_t i = 0; i < quads.size(); ++i) {
        const LdrawQuad& q = quads[i];
        const double top = std::min({q.Y1, q.Y2, q.Y3, q.Y4}), bottom = std::max({q.Y1, q.Y2, q.Y3, q.Y4});
        const int from = std::max(0, static_cast<int>(std::floor((top - 1) / unit * 4 - 0.5)));
        const int to = std::min(h - 1, static_cast<int>(std::ceil((bottom - 1) / unit * 4 - 0.5)));
        for (int r = from; r <= to; ++r) rows[static_cast<std::size_t>(r)].push_back(i);
    }
    std::vector<std::int64_t> code(static_cast<std::size_t>(w) * h, -1);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double px = 1 + (x + 0.5) / 4 * unit, py = 1 + (y + 0.5) / 4 * unit;
            int under = 0;
            for (const std::uint32_t i : rows[static_cast<std::size_t>(y)]) {
                const LdrawQuad& q = quads[i];
                const double xs[] = {q.X1, q.X2, q.X3, q.X4}, ys[] = {q.Y1, q.Y2, q.Y3, q.Y4};
                // On or in it; strictly in it counts for overlaps.
                bool inside = true, within = true;
                for (int c = 0; c < q.LineType && inside; ++c) {
                    const int d = (c + 1) % q.LineType;
                    const double turn = (xs[d] - xs[c]) * (py - ys[c]) - (ys[d] - ys[c]) * (px - xs[c]);
                    inside = turn >= 0;
                    within = within && turn > 1e-9;
                }
                if (!inside) continue;
                if (code[static_cast<std::size_t>(y) * w + x] < 0) {
                    code[static_cast<std::size_t>(y) * w + x] = q.Color;
                }
                if (within) ++under;
            }
            if (under > 1) ++f.overlaps;
        }
    }
    const auto colourAt = [&](int x, int y) -> std::int64_t {
        const std::uint8_t* p = &reference.rgba[(static_cast<std::size_t>(y) * w + x) * 4];
        if (p[3] < 128) return -1;
        return DirectColorCode(PaletteEntry{p[2], p[1], p[0], 0});
    };
    const auto near = [](std::int64_t a, std::int64_t b) {
        if (a < 0 || b < 0) return a == b;
        for (int shift : {0, 8, 16}) {
            if (std::abs(((a >> shift) & 255) - ((b >> shift) & 255)) > 6) return false;
        }
        return true;
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            ++f.samples;
            const std::int64_t mine = code[static_cast<std::size_t>(y) * w + x];
            bool right = false;
            for (int dy = -1; dy <= 1 && !right; ++dy) {
                for (int dx = -1; dx <= 1 && !right; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= w || sy >= h) continue;
                    right = near(mine, colourAt(sx, sy));
                }
            }
            if (right) ++f.right;
            if (mine < 0 && colourAt(x, y) >= 0) {
                bool edge = false;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int sx = std::clamp(x + dx, 0, w - 1), sy = std::clamp(y + dy, 0, h - 1);
                        edge = edge || colourAt(sx, sy) < 0;
                    }
                }
                if (!edge) ++f.gaps;
            }
        }
    }
    return f;
}

RgbaPicture Rendered(const fs::path& svg, const Drawing& drawing, const fs::path& folder) {
    const fs::path png = folder / (svg.stem().string() + ".png");
    const std::string command = "rsvg-convert -w " + std::to_string(std::lround(drawing.width * 4)) +
                                " -h " + std::to_string(std::lround(drawing.height * 4)) + " '" +
                                svg.string() + "' -o '" + png.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(png, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    return DecodePng(bytes, png.string(), DecodeRules{});
}

double TextureAlike(const RgbaPicture& texture, std::int32_t width, std::int32_t height,
                    const fs::path& svg, const fs::path& folder) {
    const fs::path png = folder / (svg.stem().string() + "-texture.png");
    const std::string command = "rsvg-convert -w " + std::to_string(width) + " -h " +
                                std::to_string(height) + " '" + svg.string() + "' -o '" +
                                png.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(png, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const RgbaPicture reference = DecodePng(bytes, png.string(), DecodeRules{});
    if (reference.width != width || reference.height != height || texture.width < width ||
        texture.height < height) {
        ADD_FAILURE() << "sizes differ";
        return 0;
    }
    std::uint64_t alike = 0;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint8_t* t = &texture.rgba[(static_cast<std::size_t>(y) * texture.width + x) * 4];
            const std::uint8_t* r = &reference.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            bool same = (t[3] == 0) == (r[3] == 0);
            for (int c = 0; c < 3 && same && r[3] > 0; ++c) {
                const int overWhite = (r[c] * r[3] + 255 * (255 - r[3])) / 255;
                same = std::abs(overWhite - t[c]) <= 8;
            }
            alike += same;
        }
    }
    return static_cast<double>(alike) / (static_cast<double>(width) * height);
}

}  // namespace mosaikon::test
