#pragma once

// What a person sees of a sticker, measured: its polygons rasterised against the picture they
// were made of. A feature is an 8-connected area of one colour of at least 4 pixels; it is lost
// when fewer than half its pixels show its colour on them or on a pixel beside them (an edge may
// move by a pixel, a feature must not vanish).

#include <cstdint>
#include <vector>

#include "ldraw/part_preview.h"

namespace mosaikon::test {

// A grid of colour codes, row by row from the top-left; kNotCovered where nothing is.
struct CodeGrid {
    std::int32_t width = 0, height = 0;
    std::vector<std::int32_t> codes;
    std::int32_t at(std::int32_t x, std::int32_t y) const {
        return codes[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)];
    }
};

// The code under sample points of the polygons (picture units, the top-left corner at 1, 1):
// samplesPerSide x samplesPerSide points in each pixel; kNotCovered where none lies, and the
// count of points under more than one.
struct Sampled {
    CodeGrid grid;  // (width * samplesPerSide) x (height * samplesPerSide)
    int perSide = 1;
    std::uint64_t overlaps = 0;
};
Sampled SamplePolygons(const std::vector<ViewPolygon>& polygons, std::int32_t width,
                       std::int32_t height, int samplesPerSide);

struct Measured {
    std::uint64_t features = 0, featuresLost = 0;
    std::uint64_t keptSamples = 0, gaps = 0;   // kept pixels' samples, and those under nothing
    std::uint64_t leftOutCovered = 0;          // samples of left-out pixels under something
    std::uint64_t leftOutCentres = 0;          // left-out pixels whose middle is under something
    std::uint64_t overlaps = 0;
    double pixelsRight = 0;  // the share of kept pixels whose centre shows their colour
};

// The picture's codes (kNotCovered left out) against its polygons, sampled 4 x 4 a pixel for
// gaps and the picture's left-out parts, at pixel centres for features and pixels right.
Measured MeasureSticker(const CodeGrid& picture, const std::vector<ViewPolygon>& polygons);

// Each feature of the picture: the pixels of an 8-connected area of one code, of at least
// `least` pixels.
std::vector<std::vector<std::uint32_t>> Features(const CodeGrid& picture, std::size_t least = 4);

}  // namespace mosaikon::test
