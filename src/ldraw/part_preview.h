#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "image/quads.h"
#include "ldraw/part_file_writer.h"
#include "ldraw/sticker_part.h"

namespace mosaikon {

// A polygon of the sticker's picture as the part file has it, in picture units (one unit per
// pixel, x right, y down, the picture's top-left corner at 1, 1): 3 or 4 corners.
struct ViewPolygon {
    std::int32_t Color = 0;
    int count = 4;
    std::array<double, 4> x{}, y{};
};

// What a part file holds, worked out without writing it: the polygons of the picture's face
// exactly as the writer writes them (the sticker layout's backing, which lies under the face, is
// not among them), and the counts and size of the whole file.
struct PartPreview {
    std::vector<ViewPolygon> polygons;
    PartFileCounts counts;
};

// The classic layout's polygons, and a sticker's face, as the view shows them.
std::vector<ViewPolygon> ViewPolygonsOf(const Quads& quads);
std::vector<ViewPolygon> ViewPolygonsOf(const std::vector<FacePolygon>& face);

}  // namespace mosaikon
