#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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
                  const StickerDetails& details, const TextSink& out);

// Whether the file at path is a sticker part as this program writes it, in either layout (its
// header lines, then polygons), or empty: a file that may be replaced without asking.
bool IsStickerPartFile(const std::string& path);

// Writes the LDraw part file: four header lines, then one quadrilateral line per entry of
// quads, scaled so that the sticker is height units high. Lines end in CR LF. A picture height of
// 0 throws "Division by zero" before anything is written; any later failure is reported
// ("WritePartFile has caused an error ...") and leaves an existing file at path untouched.
// Details that are not single lines are refused before anything is written. Returns whether the
// file was written completely. With pending, the complete file waits there to be put in place
// together with others; with counts, the polygons and bytes written are counted there.
bool WritePartFile(Shell& shell, const Picture& picture, const Quads& quads,
                   const std::string& path, std::int32_t height, const StickerDetails& details,
                   PendingFiles* pending = nullptr, PartFileCounts* counts = nullptr);

}  // namespace mosaikon
