#pragma once

#include <functional>

namespace mosaikon {

// Called now and then during a long conversion with the share of the picture done, from 0 to 1;
// answering false stops the conversion, which then ends without a result and without a report.
using ProgressCallback = std::function<bool(double share)>;

// Thrown inside a conversion that its caller stopped; never leaves the conversion.
struct ConversionStopped {};

}  // namespace mosaikon
