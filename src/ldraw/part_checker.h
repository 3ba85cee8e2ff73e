#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mosaikon {

// One finding of the part file checker, on a line of the file (0: the file as a whole).
struct CheckFinding {
    std::uint64_t line = 0;
    bool error = true;  // else a warning
    std::string text;
};

struct CheckReport {
    std::vector<CheckFinding> findings;  // the first kMostListedFindings, in line order
    std::uint64_t errors = 0, warnings = 0;
    std::uint64_t polygons = 0;
};

// Findings beyond this many are counted, not listed.
constexpr std::size_t kMostListedFindings = 1000;

// The largest part file the checker reads.
constexpr std::uint64_t kMostCheckedBytes = std::uint64_t{256} << 20;

// Checks the text of an LDraw part file by the parts library's rules. Every line: its line type
// and numbers (at most 4 decimals, no trailing zeros), its colour (a code of LDraw's colour
// definitions or a direct colour 0x2RRGGBB). Every triangle and quadrilateral: no repeated
// corners, no corner angle below 0.025 or above 179.9 degrees, quadrilaterals convex and flat
// (their two halves' planes within 1 degree, an error beyond 3). No corner of a polygon strictly
// inside another's edge (a T-junction). A library part's header: description, Name, Author in
// the form "Real Name [username]", !LDRAW_ORG and !LICENSE in that order, and BFC CERTIFY CCW
// before the first polygon. A sticker (its description begins with "Sticker"): no edge lines,
// the face at Y = -0.25 facing up, everything within 0.25 LDU beneath it, centred on the origin,
// and a backing of colour 16 whose bottom covers the face, with nothing facing up at Y = 0 (the
// surface the sticker lies on). fileName, when given, is the name the Name line must have.
CheckReport CheckPartText(std::string_view text, const std::string& fileName = "");

// The file read and checked; a file that cannot be read, or is larger than kMostCheckedBytes,
// is one error of line 0.
CheckReport CheckPartFile(const std::string& path);

// "line N: error: text" (or "warning"); for line 0 "error: text".
std::string FindingLine(const CheckFinding& finding);

}  // namespace mosaikon
