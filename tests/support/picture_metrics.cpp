#include "support/picture_metrics.h"

#include <algorithm>
#include <cmath>

#include "conversion/exact_conversion.h"

namespace mosaikon::test {

namespace {

// Sample points sit off every line a polygon's side can take on the half-pixel grid.
constexpr double kNudge = 0.000123;

// Whether p lies inside a convex polygon (either turning).
bool Inside(const ViewPolygon& polygon, double px, double py) {
    int left = 0, right = 0;
    for (int i = 0; i < polygon.count; ++i) {
        const auto a = static_cast<std::size_t>(i), b = static_cast<std::size_t>((i + 1) % polygon.count);
        const double turn = (polygon.x[b] - polygon.x[a]) * (py - polygon.y[a]) -
                            (polygon.y[b] - polygon.y[a]) * (px - polygon.x[a]);
        left += turn > 0, right += turn < 0;
    }
    return left == 0 || right == 0;
}

}  // namespace

Sampled SamplePolygons(const std::vector<ViewPolygon>& polygons, std::int32_t width,
                       std::int32_t height, int samplesPerSide) {
    Sampled sampled;
    sampled.perSide = samplesPerSide;
    CodeGrid& grid = sampled.grid;
    grid.width = width * samplesPerSide;
    grid.height = height * samplesPerSide;
    grid.codes.assign(static_cast<std::size_t>(grid.width) * grid.height, kNotCovered);
    const double step = 1.0 / samplesPerSide;
    for (const ViewPolygon& polygon : polygons) {
        double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
        for (int i = 0; i < polygon.count; ++i) {
            x0 = std::min(x0, polygon.x[static_cast<std::size_t>(i)] - 1);
            x1 = std::max(x1, polygon.x[static_cast<std::size_t>(i)] - 1);
            y0 = std::min(y0, polygon.y[static_cast<std::size_t>(i)] - 1);
            y1 = std::max(y1, polygon.y[static_cast<std::size_t>(i)] - 1);
        }
        const auto first = [&](double v) { return std::max(0, static_cast<int>(std::floor(v / step - 0.5))); };
        const int sx0 = first(x0), sy0 = first(y0);
        const int sx1 = std::min(grid.width - 1, static_cast<int>(std::ceil(x1 / step))),
                  sy1 = std::min(grid.height - 1, static_cast<int>(std::ceil(y1 / step)));
        for (int sy = sy0; sy <= sy1; ++sy) {
            for (int sx = sx0; sx <= sx1; ++sx) {
                const double px = 1 + (sx + 0.5) * step + kNudge, py = 1 + (sy + 0.5) * step + 2 * kNudge;
                if (!Inside(polygon, px, py)) continue;
                std::int32_t& at = grid.codes[static_cast<std::size_t>(sy) * grid.width + sx];
                if (at != kNotCovered) ++sampled.overlaps;
                at = polygon.Color;
            }
        }
    }
    return sampled;
}

std::vector<std::vector<std::uint32_t>> Features(const CodeGrid& picture, std::size_t least) {
    const std::int32_t w = picture.width, h = picture.height;
    std::vector<std::uint8_t> seen(picture.codes.size(), 0);
    std::vector<std::vector<std::uint32_t>> features;
    std::vector<std::uint32_t> area;
    for (std::size_t start = 0; start < picture.codes.size(); ++start) {
        if (seen[start] || picture.codes[start] == kNotCovered) continue;
        area.assign(1, static_cast<std::uint32_t>(start));
        seen[start] = 1;
        for (std::size_t head = 0; head < area.size(); ++head) {
            const std::int32_t x = static_cast<std::int32_t>(area[head] % static_cast<std::uint32_t>(w));
            const std::int32_t y = static_cast<std::int32_t>(area[head] / static_cast<std::uint32_t>(w));
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const std::int32_t nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    const std::size_t next = static_cast<std::size_t>(ny) * w + nx;
                    if (seen[next] || picture.codes[next] != picture.codes[start]) continue;
                    seen[next] = 1;
                    area.push_back(static_cast<std::uint32_t>(next));
                }
            }
        }
        if (area.size() >= least) features.push_back(area);
    }
    return features;
}

Measured MeasureSticker(const CodeGrid& picture, const std::vector<ViewPolygon>& polygons) {
    Measured measured;
    const std::int32_t w = picture.width, h = picture.height;
    const Sampled fine = SamplePolygons(polygons, w, h, 4);
    measured.overlaps = fine.overlaps;
    for (std::int32_t y = 0; y < fine.grid.height; ++y) {
        for (std::int32_t x = 0; x < fine.grid.width; ++x) {
            const bool kept = picture.at(x / 4, y / 4) != kNotCovered;
            const bool covered = fine.grid.at(x, y) != kNotCovered;
            measured.keptSamples += kept;
            measured.gaps += kept && !covered;
            measured.leftOutCovered += !kept && covered;
        }
    }
    // At pixel centres.
    const Sampled centres = SamplePolygons(polygons, w, h, 1);
    std::uint64_t kept = 0, right = 0;
    for (std::size_t i = 0; i < picture.codes.size(); ++i) {
        if (picture.codes[i] == kNotCovered) {
            measured.leftOutCentres += centres.grid.codes[i] != kNotCovered;
            continue;
        }
        ++kept;
        right += centres.grid.codes[i] == picture.codes[i];
    }
    measured.pixelsRight = kept ? static_cast<double>(right) / static_cast<double>(kept) : 1;
    for (const std::vector<std::uint32_t>& feature : Features(picture)) {
        ++measured.features;
        const std::int32_t code = picture.codes[feature.front()];
        std::size_t shown = 0;
        for (const std::uint32_t p : feature) {
            const std::int32_t x = static_cast<std::int32_t>(p % static_cast<std::uint32_t>(w));
            const std::int32_t y = static_cast<std::int32_t>(p / static_cast<std::uint32_t>(w));
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy) {
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    const std::int32_t nx = x + dx, ny = y + dy;
                    near = nx >= 0 && ny >= 0 && nx < w && ny < h && centres.grid.at(nx, ny) == code;
                }
            }
            shown += near;
        }
        measured.featuresLost += 2 * shown < feature.size();
    }
    return measured;
}

}  // namespace mosaikon::test
