#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "conversion/conversion_method.h"
#include "conversion/vector_conversion.h"

namespace mosaikon {

// What the main window knows beyond its controls' texts, each part set in one place and shown
// from there: the chosen conversion, the loaded picture, the typed height as a number, and the
// preview and quadrilateral count last shown.
struct WindowState {
    ConversionMethod method = ConversionMethod::Quick;
    VectorOptions vector;     // the vector conversion's settings
    std::string picturePath;  // empty while no picture is loaded
    bool damageAccepted = false;  // the picture is damaged, and converting it was accepted
    std::int32_t pictureWidth = 0, pictureHeight = 0;
    std::string partPath;                  // the part file the details were filled in for
    std::optional<double> height;          // the typed height, while it is a number above 0
    bool heightReported = false;           // the typed height's fault was shown once already
    bool previewShown = false;             // the preview box shows the current picture and options
    std::optional<std::size_t> quadCount;  // shown below Convert after a complete write
};

}  // namespace mosaikon
