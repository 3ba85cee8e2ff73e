#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mosaikon {

// The memory the program can take without swapping, in bytes; 0 when unknown. The least of: the
// system's available memory, what the program's control group still allows, what its address
// space limit (ulimit -v) leaves, and MOSAIKON_MEMORY_LIMIT when set (bytes, or with K, M or G),
// which lets a user share a machine, or a test play a smaller one.
std::uint64_t AvailableMemory();

// A size such as "512M", "2G", "1048576" (K, M, G and T count 1024s); nothing when it is none.
std::optional<std::uint64_t> ParseByteSize(const std::string& text);

// The bytes free for an unprivileged user on the file system of the folder; nothing when
// unknown.
std::optional<std::uint64_t> FreeDiskSpace(const std::string& folder);

}  // namespace mosaikon
