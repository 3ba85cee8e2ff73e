#include "shell/system.h"

#include <sys/resource.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

namespace mosaikon {

namespace {

std::uint64_t MemAvailable() {
    std::ifstream info("/proc/meminfo");
    std::string key;
    std::uint64_t kilobytes = 0;
    std::string unit;
    while (info >> key >> kilobytes >> unit) {
        if (key == "MemAvailable:") return kilobytes * 1024;
    }
    return 0;
}

// What the cgroup v2 memory limit of the program's group still allows; nothing without one.
std::optional<std::uint64_t> ControlGroupRoom() {
    std::ifstream groups("/proc/self/cgroup");
    std::string line;
    while (std::getline(groups, line)) {
        if (line.rfind("0::", 0) != 0) continue;
        const std::string folder = "/sys/fs/cgroup" + line.substr(3);
        std::ifstream maxFile(folder + "/memory.max"), currentFile(folder + "/memory.current");
        std::string max;
        std::uint64_t current = 0;
        if (!(maxFile >> max) || max == "max" || !(currentFile >> current)) return std::nullopt;
        const std::optional<std::uint64_t> limit = ParseByteSize(max);
        if (!limit) return std::nullopt;
        return *limit > current ? *limit - current : 0;
    }
    return std::nullopt;
}

// What the address space limit leaves beside what the program already maps.
std::optional<std::uint64_t> AddressSpaceRoom() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmSize:") {
            std::uint64_t kilobytes = 0;
            status >> kilobytes;
            const std::uint64_t used = kilobytes * 1024;
            return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> ParseByteSize(const std::string& text) {
    if (text.empty() || text.size() > 24) return std::nullopt;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        if (value > (std::numeric_limits<std::uint64_t>::max() - 9) / 10) return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    const std::string unit = text.substr(digits);
    int shift = 0;
    if (unit == "K" || unit == "k") {
        shift = 10;
    } else if (unit == "M" || unit == "m") {
        shift = 20;
    } else if (unit == "G" || unit == "g") {
        shift = 30;
    } else if (unit == "T" || unit == "t") {
        shift = 40;
    } else if (!unit.empty()) {
        return std::nullopt;
    }
    if (shift > 0 && value > (std::numeric_limits<std::uint64_t>::max() >> shift)) {
        return std::nullopt;
    }
    return value << shift;
}

std::uint64_t AvailableMemory() {
    std::uint64_t available = MemAvailable();
    const auto least = [&available](std::optional<std::uint64_t> room) {
        if (!room) return;
        // 0 stands for unknown: a limit that is used up leaves one byte.
        const std::uint64_t left = std::max<std::uint64_t>(*room, 1);
        available = available == 0 ? left : std::min(available, left);
    };
    least(ControlGroupRoom());
    least(AddressSpaceRoom());
    if (const char* limit = std::getenv("MOSAIKON_MEMORY_LIMIT")) least(ParseByteSize(limit));
    return available;
}

std::optional<std::uint64_t> FreeDiskSpace(const std::string& folder) {
    struct statvfs status {};
    if (::statvfs(folder.c_str(), &status) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
}

}  // namespace mosaikon
