#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "conversion/conversion_method.h"
#include "image/picture.h"
#include "image/quads.h"
#include "shell/atomic_file.h"
#include "shell/shell.h"

namespace mosaikon {

// The sticker's name, part identifier, author and description, in that order.
using StickerDetails = std::array<std::string, 4>;

// What a written part file holds.
struct PartFileCounts {
    std::uint64_t quadrilaterals = 0;
    std::uint64_t triangles = 0;
    std::uint64_t bytes = 0;
};

// An LDU value as the parts library writes it: at most 4 decimals, no trailing zeros, no "-0".
std::string LduText(double value);

// How a part file in the program's own layout writes its coordinates: with up to 15 significant
// digits, as it always has, or rounded to at most 4 decimals as the parts library asks.
enum class CoordinateDigits { Full, FourDecimals };

// The vector conversion's polygons meet the parts library's rules, 4 decimals among them; the
// other conversions keep the layout's full digits.
inline CoordinateDigits DigitsFor(ConversionMethod method) {
    return method == ConversionMethod::Vector ? CoordinateDigits::FourDecimals
                                              : CoordinateDigits::Full;
}

// The quadrilaterals and triangles (LineType 3) among quads, and the bytes given.
PartFileCounts CountPolygons(const Quads& quads, std::uint64_t bytes);

// The colour of a part file line: primary codes in decimal, direct colours as 0x2RRGGBB.
std::string ColorText(std::int32_t color);

// Whether a text can stand in a header line as it is: no line break or other control character
// (C0, DEL or C1), which would end the line and start another.
bool IsSingleLine(std::string_view text);

// Throws "The sticker details must be single lines of text" unless every detail is one.
void CheckSingleLineDetails(const StickerDetails& details);

// Where a part file's text goes, piece by piece: a file, or a count of its bytes.
using TextSink = std::function<void(std::string_view text)>;

// The text of the part file WritePartFile writes, handed to out; a picture height of 0 throws
// "Division by zero".
void EmitPartFile(Shell& shell, const Picture& picture, const Quads& quads, std::int32_t height,
                  const StickerDetails& details, const TextSink& out,
                  CoordinateDigits digits = CoordinateDigits::Full);

// Whether the file at path is a sticker part as this program writes it, in either layout (its
// header lines, then polygons), or empty: a file that may be replaced without asking.
bool IsStickerPartFile(const std::string& path);

// Writes the LDraw part file: four header lines, then one quadrilateral (or, for LineType 3, a
// triangle) line per entry of quads, scaled so that the sticker is height units high. Lines end in CR LF. A picture height of
// 0 throws "Division by zero" before anything is written; any later failure is reported
// ("WritePartFile has caused an error ...") and leaves an existing file at path untouched.
// Details that are not single lines are refused before anything is written. Returns whether the
// file was written completely. With pending, the complete file waits there to be put in place
// together with others; with counts, the polygons and bytes written are counted there.
bool WritePartFile(Shell& shell, const Picture& picture, const Quads& quads,
                   const std::string& path, std::int32_t height, const StickerDetails& details,
                   PendingFiles* pending = nullptr, PartFileCounts* counts = nullptr,
                   CoordinateDigits digits = CoordinateDigits::Full);

}  // namespace mosaikon
