#pragma once

// How a picture becomes a sticker: the one way, taken by the converter, its batch, the window's
// sticker view and the window's Convert alike, so that all of them make the same sticker of the
// same request, byte for byte.
//
//  1. The conversion. The picture's pixels, coloured and left out as the settings say, become
//     polygons by the conversion asked for: quick (a quadrilateral per run of equal pixels),
//     full (few large quadrilaterals per colour region), exact (the fewest rectangles) or vector
//     (each colour region's smoothed outline, filled with few polygons). A drawing's shapes
//     become polygons by their own outlines.
//  2. The form. The polygons become the part file's geometry: in the classic layout as they
//     are; in the library sticker form, the face (cut into clean, seam-free polygons the parts
//     library accepts) with its backing; in the textured form, the picture itself as the
//     texture, and as its fallback for programs without textures the face of the picture of
//     fewer colours (converted by the same conversion) or of one flat colour, with its backing.
//  3. The text. The geometry, scaled to the height and headed by the details and the file's
//     name, is the part file's text: counted for the view, written for the file (with the
//     texture's PNG beside it, or in it).
//
// Steps 1 and 2 depend on the picture and its options alone (StickerShapes): a change of the
// height, the details or the file name makes step 3 again and nothing else. Messages (warnings,
// notes, a failure) and the log's lines come back as data with the sticker; PassOn tells them
// where and when the caller chooses. Adding a conversion is one file in conversion/ and one line
// in ConvertPicturePolygons; adding a form, one file in ldraw/ and its case in the three steps.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "conversion/conversion_method.h"
#include "conversion/drawing_conversion.h"
#include "conversion/progress.h"
#include "conversion/vector_conversion.h"
#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"
#include "image/rgba_picture.h"
#include "ldraw/part_file_writer.h"
#include "ldraw/part_preview.h"
#include "ldraw/sticker_part.h"
#include "ldraw/texture_part.h"
#include "shell/atomic_file.h"
#include "shell/shell.h"

namespace mosaikon {

// The names the converter, its report and its options give the conversions and the forms.
const char* MethodName(ConversionMethod method);
const char* FormatName(PartFormat format);
std::optional<ConversionMethod> MethodNamed(const std::string& name);
std::optional<PartFormat> FormatNamed(const std::string& name);

// Everything a sticker is made of.
struct StickerRequest {
    // The picture as read, its colours chosen (reduced, or given LDraw codes, as it was read).
    std::shared_ptr<const Picture> picture;
    // The picture's own pixels, before its colours were chosen: the textured form's texture.
    // Without them, the texture has the picture's chosen colours.
    std::shared_ptr<const RgbaPicture> original;
    // A drawing's shapes, converted in place of the picture's pixels (the picture then only
    // gives the drawing's size in picture units): the classic and library sticker forms.
    std::shared_ptr<const Drawing> drawing;
    ConversionSettings settings;  // the colours and the pixels left out
    ConversionMethod method = ConversionMethod::Quick;
    VectorOptions vector;       // for the vector conversion
    ColourSet colours = ColourSet::Direct;  // the set the picture was given, for a fallback
    PartFormat format = PartFormat::Classic;
    TextureOptions texture;     // for the textured form
    std::int32_t height = 1;    // LDraw units
    StickerDetails details;
    std::string fileName;       // the part file's name, without its folder

    // Whether another request asks for the same shapes: all but the height, the details and the
    // file name (options that the conversion or form asked for does not use do not count).
    bool SameShapes(const StickerRequest& other) const;
    bool operator==(const StickerRequest& other) const;
};

// A message that came with the sticker, in its order.
struct StickerMessage {
    std::string text;
    MessageKind kind = MessageKind::Information;
};

// What steps 1 and 2 make of the picture.
struct StickerShapes {
    Quads polygons;                 // the classic layout's: the conversion's polygons
    std::vector<FacePolygon> face;  // the library forms': the face (textured: its fallback)
    StickerBacking backing;         // under the face
    RgbaPicture texture;            // the textured form's picture, and as it is written
    TextureImage textureImage;
    std::size_t colours = 0;        // distinct colour codes of the polygons
    // The face's units in a picture unit: 1, or more where its corners lie between the pixels
    // (its grid that much finer than the picture's).
    std::int32_t faceUnits = 1;
    // What making them said and logged.
    std::vector<StickerMessage> messages;
    std::vector<std::string> logLines;
};

// The sticker made of a request.
struct Sticker {
    StickerRequest request;
    std::shared_ptr<const StickerShapes> shapes;
    // The face as the part file has it (the classic layout's polygons), in picture units, and
    // the counts and size of the part file.
    PartPreview preview;
    std::vector<StickerMessage> messages;  // a failure among them when it failed
    std::vector<std::string> logLines;     // what the work wrote to the log
    bool made = false;  // false when it failed (a failure message says why) or was stopped
};

// What the sticker is made for: to be shown before it is written (its text is counted, its face
// listed for the view), or only to be written.
enum class StickerUse { View, File };

// Steps 1 and 2, and for the view step 3 counted. The shapes of `reuse`, where it is given and
// asks for the same shapes, are taken as they are. Stopped through progress, the sticker is not
// made and says nothing. Nothing is shown or logged: that is the caller's, through PassOn.
Sticker MakeSticker(const Shell& shell, const StickerRequest& request,
                    const ProgressCallback& progress = {}, const Sticker* reuse = nullptr,
                    StickerUse use = StickerUse::View);

// Writes the sticker's log lines to the shell's log and shows its messages, a failure counted as
// reported; without notes, only a failure is shown.
void PassOn(Shell& shell, const Sticker& sticker, bool notes = true);

// Writes a made sticker's files at path: the part file, and the textured form's PNG in a
// textures folder beside it (or in the part, embedded). Reports and file handling as the LDraw
// writers: a failure is reported and leaves every existing file as it was; with pending, the
// complete files wait there to be put in place together with others.
bool WriteSticker(Shell& shell, const Sticker& sticker, const std::string& path,
                  PendingFiles* pending = nullptr, PartFileCounts* counts = nullptr);

// The files WriteSticker writes at path, the part file first.
std::vector<std::string> StickerFiles(const StickerRequest& request, const std::string& path);

}  // namespace mosaikon
