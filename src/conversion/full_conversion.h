#pragma once

#include <cstdint>

#include "conversion/progress.h"
#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"
#include "shell/shell.h"

namespace mosaikon {

// The work one full conversion may take (see full_conversion.cpp for its units): about 2.5 s on
// a 2-core machine, whatever the picture.
inline constexpr std::uint64_t kFullConversionWorkBudget = 640'000'000;

// What a full conversion may spend, and what it had to do instead.
struct FullConversionRun {
    std::uint64_t workBudget = kFullConversionWorkBudget;
    // Regions whose search would have taken more than their share of the budget: what the search
    // had not covered of them is covered by the fewest rectangles, as the exact conversion does.
    std::uint64_t regionsCoveredWithRectangles = 0;
};

// The full conversion: pixels of one colour code are gathered into regions of one run per row,
// and each region is covered from the top down by quadrilaterals whose top edge is a run and
// whose bottom corners give the largest area that still fits the region. Quads is emptied
// first. A failure is reported ("ConvertToLdraw has caused an error ...") and keeps the
// quadrilaterals emitted before it. A conversion stopped through the progress callback ends with
// no quadrilaterals and no report. Returns whether the conversion completed. The search of each
// region is bounded by its share of run's work budget (by default kFullConversionWorkBudget), so
// that its cost grows no faster than the picture; the log says how many regions were covered
// with rectangles instead.
bool ConvertToLdraw(Shell& shell, const Picture& picture, Quads& quads,
                    const ConversionSettings& settings, const ProgressCallback& progress = {},
                    FullConversionRun* run = nullptr);

}  // namespace mosaikon
