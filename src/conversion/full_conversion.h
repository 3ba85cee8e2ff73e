#pragma once

#include "conversion/progress.h"
#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"
#include "shell/shell.h"

namespace mosaikon {

// The full conversion: pixels of one colour code are gathered into regions of one run per row,
// and each region is covered from the top down by quadrilaterals whose top edge is a run and
// whose bottom corners give the largest area that still fits the region. Quads is emptied
// first. A failure is reported ("ConvertToLdraw has caused an error ...") and keeps the
// quadrilaterals emitted before it. A conversion stopped through the progress callback ends with
// no quadrilaterals and no report. Returns whether the conversion completed.
bool ConvertToLdraw(Shell& shell, const Picture& picture, Quads& quads,
                    const ConversionSettings& settings, const ProgressCallback& progress = {});

}  // namespace mosaikon
