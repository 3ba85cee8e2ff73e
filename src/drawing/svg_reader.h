#pragma once

// SVG files as drawings: their shapes in the order they are drawn, as plain shapes for the
// conversions (read with Qt SVG; no Qt type goes further).

#include <cstdint>
#include <string>

#include "conversion/drawing_conversion.h"

namespace mosaikon {

// Whether a file name is a drawing's (".svg", any case).
bool IsDrawingFile(const std::string& path);

// The largest SVG file read, and the deepest its elements may be nested.
inline constexpr std::uintmax_t kMostDrawingBytes = 16u << 20;
inline constexpr int kMostDrawingDepth = 256;

// Reads the SVG file at path: its viewBox (or its width and height) is the drawing's rectangle;
// every filled or stroked shape is one drawn shape (a stroke the outline of its width, joins and
// caps), its curves flattened to within flatness drawing units (0: a two-thousandth of the
// drawing's height). What cannot be drawn (clipping, masks, patterns, filters, markers, pictures,
// text, references to other files) is left out, each kind said once in a warning with the ids of
// its elements; references to other files are never followed. Throws a Failure naming the file
// when it cannot be read, is larger than kMostDrawingBytes, is not well-formed SVG, nests its
// elements deeper than kMostDrawingDepth or draws nothing that has a size.
Drawing ReadSvg(const std::string& path, double flatness = 0);

// The same of an SVG document in memory; name stands for the file in messages.
Drawing ReadSvgText(const std::string& text, const std::string& name, double flatness = 0);

}  // namespace mosaikon
