#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/rgba_picture.h"
#include "ldraw/sticker_part.h"

namespace mosaikon {

// What a textured sticker shows in programs without textures.
enum class TextureFallback { Geometry, Flat };

struct TextureOptions {
    TextureFallback fallback = TextureFallback::Geometry;
    int fallbackColours = 16;  // 2 to 256: the geometry fallback's picture is reduced to these
    bool embed = false;        // one .mpd file, the texture in it as a !DATA block

    friend bool operator==(const TextureOptions&, const TextureOptions&) = default;
};

// The texture: the picture's own pixels (original, the picture as decoded, before its colours
// were reduced; without it, the picture as the conversions see it), its left-out pixels
// (transparent or ignored) fully transparent.
RgbaPicture TextureOf(const Picture& picture, const ConversionSettings& settings,
                      const RgbaPicture* original = nullptr);

// The picture the geometry fallback is made from: the texture reduced to at most `colours`
// colours of the colour set, its transparent pixels left out.
Picture FallbackPicture(Shell& shell, const RgbaPicture& texture, int colours, ColourSet set);

// The flat fallback: the mean colour of the picture's pixels that are not left out (as the
// settings and colour set give colours) over exactly the area they cover, its holes open, cut
// into the fewest clean polygons.
std::vector<FacePolygon> FlatFallback(const Picture& picture, const ConversionSettings& settings,
                                      ColourSet set);

// The face of the fallback, as the options ask: the flat quadrilateral, or the picture of fewer
// colours converted by `convert` (with nothing left out but its transparent pixels, the texture's
// left-out ones) and made a sticker's face.
using FallbackConversion =
    std::function<void(const Picture& picture, const ConversionSettings& settings, Quads& quads)>;
std::vector<FacePolygon> TextureFallbackFace(Shell& shell, const Picture& picture,
                                             const RgbaPicture& texture,
                                             const ConversionSettings& settings, ColourSet set,
                                             const TextureOptions& options,
                                             const FallbackConversion& convert);

// The texture as it is written: padded with transparent pixels to sides of powers of two
// (programs resample other sizes, which blurs the picture's pixels into their neighbours), the
// picture in its top-left corner, encoded as a PNG. Each of its pixels covers unitsPerPixel
// picture units each way (a drawing's texture is drawn coarser than its picture units).
struct TextureImage {
    std::int64_t width = 0, height = 0;  // the padded size
    std::vector<std::uint8_t> png;
    bool shown = false;  // whether any pixel is not fully transparent
    std::int64_t unitsPerPixel = 1;
};
TextureImage MakeTextureImage(const RgbaPicture& texture, std::int64_t unitsPerPixel = 1);

// The PNG's name for a part file: its base name with ".png".
std::string TextureNameFor(const std::string& partFileName);

// The text of the textured sticker part: the library sticker form whose face is one !TEXMAP
// START PLANAR block mapping the texture exactly onto the picture's rectangle (programs that show
// textures draw the sticker's area in it), with `fallback` as its FALLBACK geometry and the
// backing under the fallback's area. Embedded, it is a multi-part document: the part, then the
// texture as a 0 !DATA block of base64 lines. With counts, its polygons are counted there.
void EmitTexturedStickerPart(Shell& shell, const Picture& picture,
                             const std::vector<FacePolygon>& fallback,
                             const StickerBacking& backing, const TextureImage& texture,
                             std::int32_t height, const StickerDetails& details,
                             const std::string& fileName, bool embed, const TextSink& out,
                             PartFileCounts* counts = nullptr);

// Writes the textured sticker part and its texture, a PNG named after the part in a textures
// folder beside it; with options.embed, a single MPD file holds the part and the texture
// instead. Reports, file handling and pending as WriteStickerPart; both files are put in place
// together.
bool WriteTexturedStickerPart(Shell& shell, const Picture& picture,
                              const std::vector<FacePolygon>& fallback, const RgbaPicture& texture,
                              const std::string& path, std::int32_t height,
                              const StickerDetails& details, const TextureOptions& options,
                              PendingFiles* pending = nullptr, PartFileCounts* counts = nullptr);
// The same with the fallback's backing and the texture image already made.
bool WriteTexturedStickerPart(Shell& shell, const Picture& picture,
                              const std::vector<FacePolygon>& fallback,
                              const StickerBacking& backing, const TextureImage& texture,
                              const std::string& path, std::int32_t height,
                              const StickerDetails& details, const TextureOptions& options,
                              PendingFiles* pending = nullptr, PartFileCounts* counts = nullptr);

// Base64 (RFC 4648, with padding) of bytes.
std::string Base64(const std::vector<std::uint8_t>& bytes);

}  // namespace mosaikon
