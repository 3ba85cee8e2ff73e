#pragma once

// SVG files as drawings: their shapes in the order they are drawn, as plain shapes for the
// conversions (read with Qt SVG; no Qt type goes further).

#include <cstdint>
#include <functional>
#include <string>

#include "conversion/drawing_conversion.h"
#include "image/rgba_picture.h"

namespace mosaikon {

// Whether a file name is a drawing's (".svg", or ".svgz" compressed, any case).
bool IsDrawingFile(const std::string& path);

// The largest SVG file read (a compressed one, also once expanded), and the deepest its elements
// may be nested.
inline constexpr std::uintmax_t kMostDrawingBytes = 16u << 20;
inline constexpr int kMostDrawingDepth = 256;

// How a drawing is read beyond its shapes.
struct SvgReading {
    // How far a flattened curve may stray from the curve, in drawing units, for a drawing of this
    // height in its units; empty: a two-thousandth of the height.
    std::function<double(double height)> flatness;
    // When given, the drawing is also drawn here as the textured form's picture: transparent
    // where nothing is drawn, one pixel for DrawingTextureScale units of its picture.
    RgbaPicture* rendered = nullptr;
    // When given, the drawing is also drawn here as a picture for the conversions of pixels:
    // pictureSide pixels on its longer side, its see-through parts as they are.
    RgbaPicture* picture = nullptr;
    std::int32_t pictureSide = kDrawnPictureSide;
};

// Text is drawn as its glyphs' outlines where the program can read fonts: in the window, or once
// this has started Qt's off-screen platform (a program without a window calls it on its main
// thread before reading drawings). Whether fonts can be read; elsewhere text is left out with a
// warning naming it.
bool PrepareForDrawingText();

// Reads the SVG file at path (gzip-compressed when its bytes say so): its viewBox (or its width
// and height) is the drawing's rectangle; every filled or stroked shape is one drawn shape (a
// stroke the outline of its width, joins and caps), its curves flattened as reading.flatness
// says; text is its glyphs' outlines (see PrepareForDrawingText). What cannot be drawn (clipping,
// masks, patterns, filters, markers, pictures, text along a path, text without fonts, references
// to other files) is left out, each kind said once in a warning with the ids of
// its elements; references to other files are never followed. Throws a Failure naming the file
// when it cannot be read, is larger than kMostDrawingBytes, is not well-formed SVG, nests its
// elements deeper than kMostDrawingDepth or draws nothing that has a size.
Drawing ReadSvg(const std::string& path, const SvgReading& reading = {});

// The same of an SVG document in memory; name stands for the file in messages.
Drawing ReadSvgText(const std::string& text, const std::string& name,
                    const SvgReading& reading = {});

}  // namespace mosaikon
