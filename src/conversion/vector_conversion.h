#pragma once

#include "image/rgba_picture.h"

#include <cstdint>
#include <vector>

#include "conversion/progress.h"
#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"
#include "shell/limits.h"
#include "shell/shell.h"

namespace mosaikon {

// Corners between the pixels lie on a grid of this many points to a pixel.
constexpr std::int32_t kCornerSteps = 64;

// How the vector conversion follows the picture.
struct VectorOptions {
    // How far, in pixels, a smoothed outline may stray from the pixels' staircase; 0 keeps every
    // step.
    double tolerance = 0.5;
    // Regions of fewer pixels are first given to the neighbour they share the longest border
    // with; 0 or 1 keeps them all.
    std::int32_t minArea = 4;
    // Along anti-aliased edges (where the picture's own colours are known), corners lie between
    // the pixels (on the grid of kCornerSteps), where the blends say the edge runs; else every
    // corner is a pixel's corner or the middle of its side.
    bool betweenPixels = true;

    friend bool operator==(const VectorOptions&, const VectorOptions&) = default;
};

// What a vector conversion did beyond its polygons.
struct VectorConversionRun {
    std::uint64_t regions = 0;        // colour regions filled, after the small ones were merged
    std::uint64_t mergedRegions = 0;  // small regions given to a neighbour
    // Regions whose smoothed outline could not be filled with polygons the parts library
    // accepts, and which keep their pixels' staircase instead.
    std::uint64_t regionsKeptAsStairs = 0;
};

// Fills each region of one colour code of the grid (width x height codes, row by row from the
// top-left, kNotCovered where a pixel is left out) along its smoothed outline: the border
// between two regions is one chain of points shared by both, simplified once within the
// tolerance, and every region is cut into convex quadrilaterals and triangles (LineType 4 and
// 3) whose corners are its chains' points alone, so that the polygons meet without gaps or
// T-junctions. Polygons are in picture units (the top-left pixel's corner at 1, 1), their corners
// counter-clockwise by the cross product (clockwise on the screen, as rectangles from their
// top-left), regions in the order of their first pixel in reading order. Appends to quads.
// With resolveBlends, the bands of blended colours along anti-aliased edges first go to the
// regions on either side (see vector_conversion.cpp), as the vector conversion of a picture does;
// a face traced again keeps its every pixel.
void CoverWithOutlines(std::int32_t width, std::int32_t height, std::vector<std::int32_t> codes,
                       const VectorOptions& options, Quads& quads,
                       const ProgressCallback& progress = {}, VectorConversionRun* run = nullptr,
                       bool resolveBlends = false,
                       const std::vector<std::uint8_t>* original = nullptr);

// The vector conversion of a picture, its pixels coloured and left out as the other conversions
// do it. Quads is emptied first; a failure is reported ("ConvertVector has caused an error ...")
// and leaves no polygons. A conversion stopped through the progress callback ends with no
// polygons and no report. Returns whether the conversion completed.
// With the picture's own pixels (before its colours were reduced), its anti-aliased edges are
// told from its shapes by those colours.
bool ConvertVector(Shell& shell, const Picture& picture, Quads& quads,
                   const ConversionSettings& settings, const VectorOptions& options = {},
                   const ProgressCallback& progress = {}, VectorConversionRun* run = nullptr,
                   const RgbaPicture* original = nullptr);

}  // namespace mosaikon
