#pragma once

#include <functional>

#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"
#include "shell/shell.h"

namespace mosaikon {

// Called with the share of picture rows done, from 0 to 1.
using ProgressCallback = std::function<void(double share)>;

// The full conversion: pixels of one colour code are gathered into regions of one run per row,
// and each region is covered from the top down by quadrilaterals whose top edge is a run and
// whose bottom corners give the largest area that still fits the region. Quads is emptied
// first. A failure is reported ("ConvertToLdraw has caused an error ...") and keeps the
// quadrilaterals emitted before it. Returns whether the conversion completed.
bool ConvertToLdraw(Shell& shell, const Picture& picture, Quads& quads,
                    const ConversionSettings& settings, const ProgressCallback& progress = {});

}  // namespace mosaikon
