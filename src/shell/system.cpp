#include "shell/system.h"

#include <fstream>
#include <string>

namespace mosaikon {

std::uint64_t AvailableMemory() {
    std::ifstream info("/proc/meminfo");
    std::string key;
    std::uint64_t kilobytes = 0;
    std::string unit;
    while (info >> key >> kilobytes >> unit) {
        if (key == "MemAvailable:") return kilobytes * 1024;
    }
    return 0;
}

}  // namespace mosaikon
