#pragma once

// How closely a drawing's polygons show it: sampled against an independent rendering of the same
// SVG file (rsvg-convert).

#include <cstdint>
#include <filesystem>

#include "conversion/drawing_conversion.h"
#include "image/quads.h"
#include "image/rgba_picture.h"

namespace mosaikon::test {

// A drawing's sticker sampled at 4 x 4 points a drawing unit against rsvg-convert's rendering at
// four pixels a unit: a sample is right when its colour is the rendering's at that pixel or at one
// beside it (an anti-aliased edge is a blend of both sides), and where the rendering shows nothing.
struct Fidelity {
    std::uint64_t samples = 0, right = 0, gaps = 0, overlaps = 0;
    double Right() const { return samples ? static_cast<double>(right) / static_cast<double>(samples) : 0; }
};
Fidelity Measure(const Drawing& drawing, const Quads& quads, const RgbaPicture& reference);

// rsvg-convert's rendering of the file at four pixels a drawing unit (its PNG left in folder).
RgbaPicture Rendered(const std::filesystem::path& svg, const Drawing& drawing,
                     const std::filesystem::path& folder);

// The share of a textured sticker's texture (width x height of it drawn, the rest padding) that
// is alike rsvg-convert's rendering at the same size: transparent where it is, its colour seen
// over white within 8 of each other elsewhere.
double TextureAlike(const RgbaPicture& texture, std::int32_t width, std::int32_t height,
                    const std::filesystem::path& svg, const std::filesystem::path& folder);

}  // namespace mosaikon::test
