#pragma once

#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"

namespace mosaikon::test {

// Checks that the quadrilaterals are axis-aligned whole-pixel rectangles that cover every kept
// pixel exactly once in its colour and no left-out pixel, regions in the order of their first
// pixel and rectangles of a region in reading order. Adds test failures otherwise.
void ExpectExactCover(const Picture& picture, const ConversionSettings& settings,
                      const Quads& quads);

}  // namespace mosaikon::test
