#pragma once

#include <cstdint>

namespace mosaikon {

// The memory the system can give the program without swapping, in bytes; 0 when unknown.
std::uint64_t AvailableMemory();

}  // namespace mosaikon
