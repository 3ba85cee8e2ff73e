#pragma once

#include "conversion/progress.h"
#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"
#include "shell/shell.h"

namespace mosaikon {

// The quick conversion: one quadrilateral per horizontal run of equal pixels, rows from the top.
// Quads is emptied first. A failure is reported ("ConvertBitmap has caused an error ...") and
// leaves the quadrilaterals emitted before it. A conversion stopped through the progress callback
// (asked every few rows) ends with no quadrilaterals and no report. Returns whether the run
// completed.
bool ConvertBitmap(Shell& shell, const Picture& picture, Quads& quads,
                   const ConversionSettings& settings, const ProgressCallback& progress = {});

}  // namespace mosaikon
