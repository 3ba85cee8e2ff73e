#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "conversion/progress.h"
#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"
#include "shell/shell.h"

namespace mosaikon {

// The exact conversion: every region of one colour code (4-connected pixels) is partitioned into
// the fewest axis-aligned rectangles, so that the sticker shows the picture exactly. Pixels are
// coloured and left out as the other conversions do it. Regions come in the order of their first
// pixel in reading order, and each region's rectangles in reading order of their top-left corners.
// Quads is emptied first; a failure is reported ("ConvertExact has caused an error ...") and
// keeps the rectangles emitted before it. A conversion stopped through the progress callback ends
// with no rectangles and no report. Returns whether the conversion completed.
// A cell of a colour code grid that no polygon covers (a left-out pixel).
inline constexpr std::int32_t kNotCovered = std::numeric_limits<std::int32_t>::min();

// The colour code of every pixel, row by row from the top-left, kNotCovered where a pixel is left
// out. Throws what the colour tests throw.
std::vector<std::int32_t> ColourCodeGrid(Shell& shell, const Picture& picture,
                                         const ConversionSettings& settings);

// Appends the fewest rectangles that cover each 4-connected region of one code in the grid
// (width x height codes, row by row from the top-left), in the exact conversion's order.
void CoverExactly(std::int32_t width, std::int32_t height, std::vector<std::int32_t> codes,
                  Quads& quads, const ProgressCallback& progress = {});

bool ConvertExact(Shell& shell, const Picture& picture, Quads& quads,
                  const ConversionSettings& settings, const ProgressCallback& progress = {});

}  // namespace mosaikon
