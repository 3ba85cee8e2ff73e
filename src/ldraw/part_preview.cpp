#include "ldraw/part_preview.h"

#include "ldraw/sticker_part.h"

namespace mosaikon {

PartPreview PreviewPartFile(Shell& shell, const Picture& picture, const Quads& quads,
                            PartFormat format, std::int32_t height, const StickerDetails& details,
                            const std::string& fileName, CoordinateDigits digits) {
    PartPreview preview;
    std::uint64_t bytes = 0;
    const TextSink count = [&bytes](std::string_view text) { bytes += text.size(); };
    if (format == PartFormat::Classic) {
        preview.polygons.reserve(quads.size());
        for (const LdrawQuad& quad : quads) {
            preview.polygons.push_back({quad.Color,
                                        quad.LineType == 3 ? 3 : 4,
                                        {quad.X1, quad.X2, quad.X3, quad.X4},
                                        {quad.Y1, quad.Y2, quad.Y3, quad.Y4}});
        }
        EmitPartFile(shell, picture, quads, height, details, count, digits);
        preview.counts = CountPolygons(quads, bytes);
        return preview;
    }
    const std::vector<FacePolygon> face = BuildStickerFace(quads);
    preview.polygons.reserve(face.size());
    for (const FacePolygon& polygon : face) {
        ViewPolygon& view = preview.polygons.emplace_back();
        view.Color = polygon.Color;
        view.count = static_cast<int>(polygon.corners.size());
        for (int i = 0; i < view.count; ++i) {
            view.x[static_cast<std::size_t>(i)] = static_cast<double>(polygon.corners[i].x) / 2;
            view.y[static_cast<std::size_t>(i)] = static_cast<double>(polygon.corners[i].y) / 2;
        }
    }
    EmitStickerPart(shell, picture, face, height, details, fileName, count, &preview.counts);
    preview.counts.bytes = bytes;
    return preview;
}

}  // namespace mosaikon
