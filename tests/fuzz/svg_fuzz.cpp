// Feeds arbitrary bytes to the SVG reader, and what it reads to the drawing conversion: every
// input is read or refused with a message, never a crash, a hang or an unbounded allocation.
// Built with libFuzzer (scripts/fuzz).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "conversion/drawing_conversion.h"
#include "drawing/svg_reader.h"
#include "shell/failure.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Qt SVG's own complaints about odd documents would fill the log.
    setenv("QT_LOGGING_RULES", "qt.svg=false", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mosaikon::Drawing drawing;
    try {
        drawing = mosaikon::ReadSvgText(std::string(reinterpret_cast<const char*>(data), size),
                                        "fuzz.svg");
    } catch (const mosaikon::Failure&) {
        return 0;
    }
    if (drawing.shapes.empty() || !(drawing.width > 0) || !(drawing.height > 0)) __builtin_trap();
    mosaikon::Shell shell;
    mosaikon::Quads quads;
    mosaikon::ConvertDrawing(shell, drawing, quads);
    return 0;
}
