// Feeds arbitrary text to the part file checker, which reads hand-edited files: every input gets
// a report, never a crash, a hang or an unbounded allocation. Built with libFuzzer (scripts/fuzz).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ldraw/part_checker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const mosaikon::CheckReport report = mosaikon::CheckPartText(
        std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.dat");
    if (report.findings.size() > mosaikon::kMostListedFindings) __builtin_trap();
    return 0;
}
