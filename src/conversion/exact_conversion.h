#pragma once

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
bool ConvertExact(Shell& shell, const Picture& picture, Quads& quads,
                  const ConversionSettings& settings, const ProgressCallback& progress = {});

}  // namespace mosaikon
