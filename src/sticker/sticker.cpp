#include "sticker/sticker.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "conversion/exact_conversion.h"
#include "conversion/full_conversion.h"
#include "conversion/quick_conversion.h"
#include "shell/failure.h"

namespace mosaikon {

namespace {

struct Named {
    const char* name;
    ConversionMethod method;
};
constexpr Named kMethods[] = {{"quick", ConversionMethod::Quick},
                              {"full", ConversionMethod::Full},
                              {"exact", ConversionMethod::Exact},
                              {"vector", ConversionMethod::Vector}};
struct NamedFormat {
    const char* name;
    PartFormat format;
};
constexpr NamedFormat kFormats[] = {{"classic", PartFormat::Classic},
                                    {"ldraw-sticker", PartFormat::LdrawSticker},
                                    {"ldraw-texture", PartFormat::LdrawTexture}};

// Step 1: the picture's polygons by the conversion asked for. Its notes are shown through the
// shell; a failure is reported there by the conversion itself.
bool ConvertPicturePolygons(Shell& shell, const Picture& picture,
                            const ConversionSettings& settings, const StickerRequest& request,
                            Quads& quads, const ProgressCallback& progress) {
    if (request.drawing) {
        DrawingConversionRun run;
        const bool done =
            ConvertDrawing(shell, *request.drawing, quads, {request.colours}, progress, &run);
        if (run.facesLeftOut > 0) {
            ShowMessage(shell,
                        std::to_string(run.facesLeftOut) +
                            " areas of the drawing could not be filled with polygons the parts "
                            "library accepts and are left out",
                        MessageKind::Warning);
        }
        // Shapes thinner than the corners' lattice leave nothing: no empty part is written.
        if (done && quads.empty()) Fail("Nothing of the drawing is large enough to show");
        return done;
    }
    switch (request.method) {
        case ConversionMethod::Full: {
            FullConversionRun run;
            // The library forms trace the full conversion's polygons again into a clean face,
            // which takes a while of its own: the search takes half as long.
            if (request.format != PartFormat::Classic) run.workBudget = kFullConversionWorkBudget / 2;
            const bool done = ConvertToLdraw(shell, picture, quads, settings, progress, &run);
            if (run.regionsCoveredWithRectangles > 0) {
                ShowMessage(shell, std::to_string(run.regionsCoveredWithRectangles) +
                                       " colour regions would have taken too long to search and "
                                       "are covered with rectangles");
            }
            return done;
        }
        case ConversionMethod::Exact:
            return ConvertExact(shell, picture, quads, settings, progress);
        case ConversionMethod::Vector: {
            VectorConversionRun run;
            // The textured form's fallback face is built on the half-pixel grid.
            VectorOptions options = request.vector;
            options.betweenPixels = options.betweenPixels && request.format != PartFormat::LdrawTexture;
            const bool done =
                ConvertVector(shell, picture, quads, settings, options, progress, &run,
                              &picture == request.picture.get() ? request.original.get() : nullptr);
            if (run.regionsKeptAsStairs > 0) {
                ShowMessage(shell, std::to_string(run.regionsKeptAsStairs) +
                                       " colour regions keep their pixels' steps: their smoothed "
                                       "outlines could not be filled cleanly");
            }
            return done;
        }
        case ConversionMethod::Quick:
            break;
    }
    return ConvertBitmap(shell, picture, quads, settings, progress);
}

std::size_t ColoursOf(const Quads& quads) {
    std::set<std::int32_t> colours;
    for (const LdrawQuad& quad : quads) colours.insert(quad.Color);
    return colours.size();
}

std::size_t ColoursOf(const std::vector<FacePolygon>& face) {
    std::set<std::int32_t> colours;
    for (const FacePolygon& polygon : face) colours.insert(polygon.Color);
    return colours.size();
}

// A drawing's polygons are the face as they are: cut clean, their corners shared.
std::vector<FacePolygon> DrawingFace(const Quads& polygons) {
    std::vector<FacePolygon> face;
    face.reserve(polygons.size());
    for (const LdrawQuad& quad : polygons) {
        FacePolygon& polygon = face.emplace_back();
        polygon.Color = quad.Color;
        const double xs[] = {quad.X1, quad.X2, quad.X3, quad.X4};
        const double ys[] = {quad.Y1, quad.Y2, quad.Y3, quad.Y4};
        for (int i = 0; i < quad.LineType; ++i) {
            polygon.corners.push_back({std::llround(2 * xs[i]), std::llround(2 * ys[i])});
        }
    }
    return face;
}

// The face's units in a picture unit where its corners lie between the pixels: its half units
// are the steps of those corners.
constexpr std::int32_t kFaceUnitsBetweenPixels = kCornerSteps / 2;

// Whether some corner lies between the half pixels (as the vector conversion's along
// anti-aliased edges).
bool OffTheHalfPixels(const Quads& polygons) {
    for (const LdrawQuad& quad : polygons) {
        for (const double c : {quad.X1, quad.Y1, quad.X2, quad.Y2, quad.X3, quad.Y3, quad.X4, quad.Y4}) {
            if (2 * c != std::nearbyint(2 * c)) return true;
        }
    }
    return false;
}

// The picture as the face sees it: its size in the face's units.
Picture FacePicture(const Picture& picture, std::int32_t units) {
    Picture sized;
    sized.infoHeader.biWidth = picture.Width() * units;
    sized.infoHeader.biHeight = picture.Height() * units;
    return sized;
}

// A shell of its own for the work: the caller's texts, its messages and log lines kept.
struct KeepingShell {
    KeepingShell(const Shell& caller, std::vector<StickerMessage>& messages,
                 std::vector<std::string>& lines) {
        shell.messages = caller.messages;
        shell.messageBox = [&messages](const std::string& text, MessageKind kind) {
            messages.push_back({text, kind});
        };
        shell.log.kept = &lines;
    }
    Shell shell;
};

// Steps 1 and 2: what the conversion and the form make of the picture. Empty when they failed or
// were stopped.
std::shared_ptr<StickerShapes> MakeShapes(Shell& shell, const StickerRequest& request,
                                          const ProgressCallback& progress) {
    const Picture& picture = *request.picture;
    auto shapes = std::make_shared<StickerShapes>();
    const int reported = shell.failuresReported;
    try {
        if (request.format == PartFormat::LdrawTexture && request.drawing) {
            // The drawing drawn is the texture; its shapes, the fallback.
            if (!request.original) Fail("The drawing was not drawn for its texture");
            if (!ConvertPicturePolygons(shell, picture, request.settings, request,
                                        shapes->polygons, progress)) {
                return {};
            }
            shapes->texture = *request.original;
            shapes->face = DrawingFace(shapes->polygons);
            Quads().swap(shapes->polygons);
            shapes->backing = BuildStickerBacking(shapes->face);
            shapes->textureImage =
                MakeTextureImage(shapes->texture, DrawingTextureScale(*request.drawing));
            shapes->colours = ColoursOf(shapes->face);
            return shapes;
        }
        if (request.format == PartFormat::LdrawTexture) {
            // The picture itself is the texture; the fallback, the picture of fewer colours
            // converted the same way, or one flat colour.
            shapes->texture = TextureOf(picture, request.settings, request.original.get());
            bool converted = true;
            shapes->face = TextureFallbackFace(
                shell, picture, shapes->texture, request.settings, request.colours,
                request.texture,
                [&](const Picture& source, const ConversionSettings& settings, Quads& quads) {
                    converted =
                        ConvertPicturePolygons(shell, source, settings, request, quads, progress);
                });
            if (!converted) return {};
            shapes->backing = BuildStickerBacking(shapes->face);
            shapes->textureImage = MakeTextureImage(shapes->texture);
            shapes->colours = ColoursOf(shapes->face);
            return shapes;
        }
        if (!ConvertPicturePolygons(shell, picture, request.settings, request, shapes->polygons,
                                    progress)) {
            return {};
        }
        shapes->colours = ColoursOf(shapes->polygons);
        if (request.format == PartFormat::LdrawSticker && request.drawing) {
            shapes->face = DrawingFace(shapes->polygons);
            Quads().swap(shapes->polygons);
            shapes->backing = BuildStickerBacking(shapes->face);
        } else if (request.format == PartFormat::LdrawSticker && request.method == ConversionMethod::Vector &&
                   OffTheHalfPixels(shapes->polygons)) {
            // The vector conversion's corners between the pixels: its polygons are cut clean
            // with their corners shared, and are the face as they are, on a finer grid.
            shapes->faceUnits = kFaceUnitsBetweenPixels;
            for (LdrawQuad& quad : shapes->polygons) {
                for (double* c : {&quad.X1, &quad.Y1, &quad.X2, &quad.Y2, &quad.X3, &quad.Y3, &quad.X4, &quad.Y4}) {
                    *c = (*c - 1) * kFaceUnitsBetweenPixels + 1;
                }
            }
            shapes->face = DrawingFace(shapes->polygons);
            Quads().swap(shapes->polygons);
            shapes->backing = BuildStickerBacking(shapes->face);
        } else if (request.format == PartFormat::LdrawSticker) {
            // The full conversion's slanted polygons leave pixels bare, which keep their own
            // colour in the face traced again.
            PictureCodes codes;
            if (request.method == ConversionMethod::Full) {
                codes = {picture.Width(), picture.Height(),
                         ColourCodeGrid(shell, picture, request.settings)};
            }
            shapes->face = BuildStickerFace(shapes->polygons, codes.codes.empty() ? nullptr : &codes);
            Quads().swap(shapes->polygons);
            shapes->backing = BuildStickerBacking(shapes->face);
        }
    } catch (...) {
        if (shell.failuresReported == reported) {
            ReportFailure(shell, "WritePartFile", "WRITE PART FILE: ERROR CONVERTING BITMAP ",
                          CurrentFailureDescription());
        }
        return {};
    }
    return shapes;
}

// Step 3 without writing: the view's polygons and the part file's counts and size.
void CountText(Shell& shell, Sticker& sticker) {
    const StickerRequest& request = sticker.request;
    const StickerShapes& shapes = *sticker.shapes;
    const Picture& picture = *request.picture;
    std::uint64_t bytes = 0;
    const TextSink count = [&bytes](std::string_view text) { bytes += text.size(); };
    PartPreview& preview = sticker.preview;
    const Picture sized = shapes.faceUnits > 1 ? FacePicture(picture, shapes.faceUnits) : Picture{};
    const Picture& facePicture = shapes.faceUnits > 1 ? sized : picture;
    switch (request.format) {
        case PartFormat::Classic:
            preview.polygons = ViewPolygonsOf(shapes.polygons);
            EmitPartFile(shell, picture, shapes.polygons, request.height, request.details, count,
                         DigitsFor(request.method));
            preview.counts = CountPolygons(shapes.polygons, bytes);
            return;
        case PartFormat::LdrawSticker:
            EmitStickerPart(shell, facePicture, shapes.face, shapes.backing, request.height,
                            request.details, request.fileName, count, &preview.counts);
            break;
        case PartFormat::LdrawTexture:
            EmitTexturedStickerPart(shell, picture, shapes.face, shapes.backing,
                                    shapes.textureImage, request.height, request.details,
                                    request.fileName, request.texture.embed, count,
                                    &preview.counts);
            break;
    }
    preview.polygons = ViewPolygonsOf(shapes.face);
    if (shapes.faceUnits > 1) {
        for (ViewPolygon& polygon : preview.polygons) {
            for (double& c : polygon.x) c = (c - 1) / shapes.faceUnits + 1;
            for (double& c : polygon.y) c = (c - 1) / shapes.faceUnits + 1;
        }
    }
    preview.counts.bytes = bytes;
}

}  // namespace

const char* MethodName(ConversionMethod method) {
    for (const Named& named : kMethods) {
        if (named.method == method) return named.name;
    }
    return "quick";
}

const char* FormatName(PartFormat format) {
    for (const NamedFormat& named : kFormats) {
        if (named.format == format) return named.name;
    }
    return "classic";
}

std::optional<ConversionMethod> MethodNamed(const std::string& name) {
    for (const Named& named : kMethods) {
        if (name == named.name) return named.method;
    }
    return std::nullopt;
}

std::optional<PartFormat> FormatNamed(const std::string& name) {
    for (const NamedFormat& named : kFormats) {
        if (name == named.name) return named.format;
    }
    return std::nullopt;
}

bool StickerRequest::SameShapes(const StickerRequest& other) const {
    const bool vectorUsed = method == ConversionMethod::Vector;
    const bool textureUsed = format == PartFormat::LdrawTexture;
    return picture == other.picture && drawing == other.drawing &&
           (!drawing || colours == other.colours) && settings == other.settings &&
           method == other.method &&
           (!vectorUsed || vector == other.vector) && format == other.format &&
           (!(textureUsed || vectorUsed) || original == other.original) &&
           (!textureUsed || (colours == other.colours && texture == other.texture));
}

bool StickerRequest::operator==(const StickerRequest& other) const {
    return SameShapes(other) && height == other.height && details == other.details &&
           fileName == other.fileName;
}

Sticker MakeSticker(const Shell& caller, const StickerRequest& request,
                    const ProgressCallback& progress, const Sticker* reuse, StickerUse use) {
    Sticker sticker;
    sticker.request = request;
    if (!request.picture) return sticker;
    if (reuse && reuse->made && reuse->shapes && reuse->request.SameShapes(request)) {
        sticker.shapes = reuse->shapes;
    } else {
        auto shapes = std::make_shared<StickerShapes>();
        KeepingShell keeping(caller, shapes->messages, shapes->logLines);
        std::shared_ptr<StickerShapes> made = MakeShapes(keeping.shell, request, progress);
        if (!made) {
            sticker.messages = std::move(shapes->messages);
            sticker.logLines = std::move(shapes->logLines);
            return sticker;
        }
        made->messages = std::move(shapes->messages);
        made->logLines = std::move(shapes->logLines);
        sticker.shapes = std::move(made);
    }
    sticker.messages = sticker.shapes->messages;
    sticker.logLines = sticker.shapes->logLines;
    if (use == StickerUse::View) {
        KeepingShell keeping(caller, sticker.messages, sticker.logLines);
        try {
            CountText(keeping.shell, sticker);
        } catch (...) {
            ReportFailure(keeping.shell, "WritePartFile",
                          "WRITE PART FILE: ERROR CONVERTING BITMAP ", CurrentFailureDescription());
            return sticker;
        }
    }
    sticker.made = true;
    return sticker;
}

void PassOn(Shell& shell, const Sticker& sticker, bool notes) {
    for (const std::string& line : sticker.logLines) {
        try {
            WriteLog(shell.log, line);
        } catch (...) {
            CloseLog(shell.log);
        }
    }
    for (const StickerMessage& message : sticker.messages) {
        const bool failure = message.kind == MessageKind::Failure;
        if (failure) ++shell.failuresReported;
        if (failure || notes) ShowMessage(shell, message.text, message.kind);
    }
}

bool WriteSticker(Shell& shell, const Sticker& sticker, const std::string& path,
                  PendingFiles* pending, PartFileCounts* counts) {
    const StickerRequest& request = sticker.request;
    if (!sticker.made) Fail("The sticker was not made");
    const StickerShapes& shapes = *sticker.shapes;
    const Picture sized = shapes.faceUnits > 1 ? FacePicture(*request.picture, shapes.faceUnits) : Picture{};
    const Picture& picture = shapes.faceUnits > 1 ? sized : *request.picture;
    switch (request.format) {
        case PartFormat::LdrawSticker:
            return WriteStickerPart(shell, picture, shapes.face, shapes.backing, path,
                                    request.height, request.details, pending, counts);
        case PartFormat::LdrawTexture:
            return WriteTexturedStickerPart(shell, picture, shapes.face, shapes.backing,
                                            shapes.textureImage, path, request.height,
                                            request.details, request.texture, pending, counts);
        case PartFormat::Classic:
            break;
    }
    return WritePartFile(shell, picture, shapes.polygons, path, request.height, request.details,
                         pending, counts, DigitsFor(request.method));
}

std::vector<std::string> StickerFiles(const StickerRequest& request, const std::string& path) {
    std::vector<std::string> files = {path};
    if (request.format == PartFormat::LdrawTexture && !request.texture.embed) {
        const auto slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
        files.push_back(folder + "textures/" + TextureNameFor(FileNameOf(path)));
    }
    return files;
}

}  // namespace mosaikon
