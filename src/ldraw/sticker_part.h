#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "conversion/conversion_method.h"
#include "geometry/geometry.h"
#include "geometry/region_cut.h"
#include "ldraw/part_file_writer.h"

namespace mosaikon {

// A point of the picture plane in half picture units (both coordinates doubled), so that every
// corner the conversions make is a whole number.
using HalfPoint = GridPoint;

// One polygon of the sticker's face: 3 or 4 corners, counter-clockwise in picture units (x right,
// y down), in one colour.
struct FacePolygon {
    std::int32_t Color = 0;
    std::vector<HalfPoint> corners;
};

// The face of the sticker made from the conversion's quadrilaterals: every quadrilateral made
// valid (corners reordered into a convex order where one exists, concave ones split into two
// triangles, repeated corners dropped, zero-area ones left out), and every polygon with a corner
// of another on its edges, or with a corner the parts library refuses, cut into strips of
// convex quadrilaterals and triangles the library accepts, with no new corner on its edges.
// Fails when a corner is not on the half-unit grid. Where the picture the polygons were made of
// is given, a pixel of it that no polygon covers shows its own colour in a face traced again (the
// full conversion's slanted sides leave some bare).
struct PictureCodes {
    std::int32_t width = 0, height = 0;
    std::vector<std::int32_t> codes;  // row by row from the top-left, kNotCovered where left out
};
std::vector<FacePolygon> BuildStickerFace(const Quads& quads, const PictureCodes* picture = nullptr);

// A texture mapped onto the sticker: the PNG's name, and its size in picture units, of which the
// picture takes the top-left corner.
struct TextureMapping {
    std::string name;
    std::int64_t width = 0, height = 0;
};

// The backing under a sticker's face: a side along each of the face's outer edges (those no
// other polygon of the face shares: the outline's and the holes'), and the bottom, the face's
// area cut again with the same corners along its outline. Faces whose polygons overlap have no
// simple outline, and the outline of a picture riddled with holes is too long to cut at once:
// their bottom repeats the face.
struct StickerBacking {
    std::vector<Segment> outline;  // each edge with the face on its left
    std::vector<CutPolygon> area;
};
StickerBacking BuildStickerBacking(const std::vector<FacePolygon>& face);

// The text of the sticker part WriteStickerPart writes, for the face and backing already built,
// handed to out; with counts, its polygons are counted there. With a texture, the face is the
// fallback of a !TEXMAP block that maps the texture onto the picture's rectangle, drawn on the
// face's area (the backing's bottom, in colour 16) by programs that show textures.
void EmitStickerPart(Shell& shell, const Picture& picture, const std::vector<FacePolygon>& face,
                     const StickerBacking& backing, std::int32_t height,
                     const StickerDetails& details, const std::string& fileName,
                     const TextSink& out, PartFileCounts* counts = nullptr,
                     const TextureMapping* texture = nullptr);

// Writes the LDraw sticker part: the library header, then the face at Y = -0.25 facing up (-Y),
// the picture's top edge towards +Z, centred on the origin, and a 0.25 LDU backing in colour 16
// under it: a side along every outer edge of the face, the outline's and the holes' (where the
// picture is left out, the sticker has a hole, through which the surface under it shows), and
// a bottom at Y = 0 under the face alone, facing down. Reports and file handling as
// WritePartFile. A picture whose every pixel is left out makes no sticker: that is reported
// (kNothingLeft) and no file is written.
inline constexpr const char* kNothingLeft = "Nothing is left of the picture: every pixel is left out";
bool WriteStickerPart(Shell& shell, const Picture& picture, const Quads& quads,
                      const std::string& path, std::int32_t height, const StickerDetails& details,
                      PendingFiles* pending = nullptr, PartFileCounts* counts = nullptr);
// The same for a face and backing already built.
bool WriteStickerPart(Shell& shell, const Picture& picture, const std::vector<FacePolygon>& face,
                      const StickerBacking& backing, const std::string& path, std::int32_t height,
                      const StickerDetails& details, PendingFiles* pending = nullptr,
                      PartFileCounts* counts = nullptr);

// The part file's name in a path: the text after the last separator.
std::string FileNameOf(const std::string& path);

}  // namespace mosaikon
