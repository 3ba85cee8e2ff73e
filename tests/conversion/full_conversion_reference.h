#pragma once

#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"

namespace mosaikon::test {

// The full conversion written as plainly as its description reads: every candidate of every
// anchor row is tested against every grid point of the region with the angle-sum test. Slow and
// obviously right; the fast conversion must give exactly the same quadrilaterals.
// Palette indices must all lie within the palette.
// The straightforward variant for speed comparisons tests every candidate, but only at the grid
// points inside the bounding box of its grown quadrilateral.
enum class ReferenceSearch { Plain, BoundingBox };

Quads ReferenceFullConversion(const Picture& picture, const ConversionSettings& settings,
                              ReferenceSearch search = ReferenceSearch::Plain);

}  // namespace mosaikon::test
