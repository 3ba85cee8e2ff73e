#pragma once

#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"
#include "shell/shell.h"

namespace mosaikon {

// The quick conversion: one quadrilateral per horizontal run of equal pixels, rows from the top.
// Quads is emptied first. A failure is reported ("ConvertBitmap has caused an error ...") and
// leaves the quadrilaterals emitted before it. Returns whether the run completed.
bool ConvertBitmap(Shell& shell, const Picture& picture, Quads& quads,
                   const ConversionSettings& settings);

}  // namespace mosaikon
