#pragma once

#include <vector>

#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"

namespace mosaikon::test {

// The colour of each pixel, rows from the top, that axis-aligned whole-pixel rectangles give, -1
// where none; a pixel covered twice, or a rectangle that is none, adds a test failure.
std::vector<std::int32_t> Rasterise(const Quads& quads, int width, int height);

// The colour each pixel of the picture is to show, rows from the top: -1 where left out.
std::vector<std::int32_t> ShownColours(const Picture& picture, const ConversionSettings& settings);

// Each pixel's region, numbered in the order of their first pixels: pixels of one colour joined
// through their sides; -1 for pixels of colour -1.
std::vector<int> Regions(const std::vector<std::int32_t>& shown, int width);

// Checks that the quadrilaterals are axis-aligned whole-pixel rectangles that cover every kept
// pixel exactly once in its colour and no left-out pixel, regions in the order of their first
// pixel and rectangles of a region in reading order. Adds test failures otherwise.
void ExpectExactCover(const Picture& picture, const ConversionSettings& settings,
                      const Quads& quads);

}  // namespace mosaikon::test
