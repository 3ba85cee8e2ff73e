#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/picture.h"
#include "image/quads.h"
#include "shell/shell.h"

namespace mosaikon {

// The sticker's name, part identifier, author and description, in that order.
using StickerDetails = std::array<std::string, 4>;

// The colour of a part file line: primary codes in decimal, direct colours as 0x2RRGGBB.
std::string ColorText(std::int32_t color);

// Writes the LDraw part file: four header lines, then one quadrilateral line per entry of
// quads, scaled so that the sticker is height units high. Lines end in CR LF. A picture height of
// 0 throws "Division by zero" before anything is written; any later failure is reported
// ("WritePartFile has caused an error ...") and leaves an existing file at path untouched.
// Returns whether the file was written completely.
bool WritePartFile(Shell& shell, const Picture& picture, const Quads& quads,
                   const std::string& path, std::int32_t height, const StickerDetails& details);

}  // namespace mosaikon
