#pragma once

#include <cstdint>

namespace mosaikon {

// The vector conversion's largest tolerance (pixels) and smallest-region area (pixels) that the
// command line, the window and the settings file accept.
inline constexpr double kMostVectorTolerance = 64;
inline constexpr std::int32_t kMostVectorMinArea = 1 << 24;

}  // namespace mosaikon
