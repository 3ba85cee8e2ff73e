#include "ldraw/part_preview.h"

namespace mosaikon {

std::vector<ViewPolygon> ViewPolygonsOf(const Quads& quads) {
    std::vector<ViewPolygon> polygons;
    polygons.reserve(quads.size());
    for (const LdrawQuad& quad : quads) {
        polygons.push_back({quad.Color,
                            quad.LineType == 3 ? 3 : 4,
                            {quad.X1, quad.X2, quad.X3, quad.X4},
                            {quad.Y1, quad.Y2, quad.Y3, quad.Y4}});
    }
    return polygons;
}

std::vector<ViewPolygon> ViewPolygonsOf(const std::vector<FacePolygon>& face) {
    std::vector<ViewPolygon> polygons;
    polygons.reserve(face.size());
    for (const FacePolygon& polygon : face) {
        ViewPolygon& view = polygons.emplace_back();
        view.Color = polygon.Color;
        view.count = static_cast<int>(polygon.corners.size());
        for (int i = 0; i < view.count; ++i) {
            view.x[static_cast<std::size_t>(i)] = static_cast<double>(polygon.corners[i].x) / 2;
            view.y[static_cast<std::size_t>(i)] = static_cast<double>(polygon.corners[i].y) / 2;
        }
    }
    return polygons;
}

}  // namespace mosaikon
