#include "cli/conversion_job.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <set>

#include "conversion/exact_conversion.h"
#include "conversion/full_conversion.h"
#include "conversion/quick_conversion.h"
#include "ldraw/sticker_part.h"
#include "conversion/vector_conversion.h"
#include "image/bitmap_reader.h"
#include "image/colours.h"
#include "image/preview_writer.h"
#include "shell/atomic_file.h"
#include "shell/failure.h"

namespace mosaikon {

const char* MethodName(ConversionMethod method) {
    switch (method) {
        case ConversionMethod::Full:
            return "full";
        case ConversionMethod::Exact:
            return "exact";
        case ConversionMethod::Vector:
            return "vector";
        case ConversionMethod::Quick:
            break;
    }
    return "quick";
}

const char* FormatName(PartFormat format) {
    switch (format) {
        case PartFormat::LdrawSticker:
            return "ldraw-sticker";
        case PartFormat::LdrawTexture:
            return "ldraw-texture";
        case PartFormat::Classic:
            break;
    }
    return "classic";
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() >= 4) {
        std::string ending = name.substr(name.size() - 4);
        for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ending == ".dat" || ending == ".mpd") name.resize(name.size() - 4);
    }
    return name;
}

StickerDetails DetailsFor(const JobOptions& options, const std::string& partPath) {
    const std::string base = BaseName(partPath);
    return {options.name.value_or("Sticker: " + base), options.partId.value_or(base),
            options.author, options.description};
}

std::vector<std::pair<std::int32_t, std::uint64_t>> CodePixels(const Picture& picture,
                                                               const ConversionSettings& settings) {
    const ColourLookup colours(picture, settings);
    std::map<std::int32_t, std::uint64_t> counts;
    for (std::int32_t y = 1; y <= picture.Height(); ++y) {
        const std::uint8_t* row = picture.Row(y);
        for (std::int32_t x = 0; x < picture.Width(); ++x) {
            if (colours.Known(row[x]) && !colours.LeftOut(row[x])) ++counts[colours.Code(row[x])];
        }
    }
    std::vector<std::pair<std::int32_t, std::uint64_t>> list(counts.begin(), counts.end());
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return list;
}

JobReport ConvertPicture(Shell& shell, const std::string& picturePath, const std::string& partPath,
                         const JobOptions& options, const std::string& previewPath,
                         const ProgressCallback& progress) {
    const auto start = std::chrono::steady_clock::now();
    JobReport report;
    report.input = picturePath;
    report.output = partPath;
    // Every message goes on to the shell's box, and into the report.
    const MessageBoxSeam show = shell.messageBox;
    shell.messageBox = [&](const std::string& text, MessageKind kind) {
        (kind == MessageKind::Failure ? report.message : report.warnings.emplace_back()) = text;
        if (show) show(text, kind);
    };
    struct Restore {
        Shell& shell;
        MessageBoxSeam show;
        ~Restore() { shell.messageBox = std::move(show); }
    } restore{shell, show};
    const int failures = shell.failuresReported;
    const auto failed = [&] { return shell.failuresReported != failures; };
    const auto convert = [&] {
        ReadOptions read;
        read.reduction = options.reduction;
        read.acceptDamaged = options.acceptDamaged;
        read.colours = options.colours;
        read.bytesPerPixel = MemoryNeedPerPixel(options.method, options.format);
        Picture picture;
        double pictureHeight = 0, pictureWidth = 0;
        LoadBitmap(shell, picture, picturePath, pictureHeight, pictureWidth, read);
        if (failed()) return;
        report.width = picture.Width();
        report.height = picture.Height();
        PendingFiles written;
        if (!previewPath.empty() &&
            !CreateBitmap(shell, picture, previewPath, options.settings, &written)) {
            return;
        }
        // The picture converted by the chosen conversion; its messages are shown once.
        const auto runConversion = [&](const Picture& source, const ConversionSettings& settings,
                                       Quads& quads, bool tell) {
            switch (options.method) {
                case ConversionMethod::Full: {
                    FullConversionRun run;
                    ConvertToLdraw(shell, source, quads, settings, progress, &run);
                    if (tell && run.regionsCoveredWithRectangles > 0) {
                        ShowMessage(shell, std::to_string(run.regionsCoveredWithRectangles) +
                                               " colour regions would have taken too long to "
                                               "search and are covered with rectangles");
                    }
                    break;
                }
                case ConversionMethod::Exact:
                    ConvertExact(shell, source, quads, settings, progress);
                    break;
                case ConversionMethod::Vector: {
                    VectorConversionRun run;
                    ConvertVector(shell, source, quads, settings, options.vector, progress, &run);
                    if (tell && run.regionsKeptAsStairs > 0) {
                        ShowMessage(shell, std::to_string(run.regionsKeptAsStairs) +
                                               " colour regions keep their pixels' steps: their "
                                               "smoothed outlines could not be filled cleanly");
                    }
                    break;
                }
                case ConversionMethod::Quick:
                    ConvertBitmap(shell, source, quads, settings);
                    break;
            }
        };
        Quads quads;
        if (options.format == PartFormat::LdrawTexture) {
            // The picture itself is the texture; the fallback is the picture of fewer colours
            // converted, or one quadrilateral.
            const RgbaPicture texture = TextureOf(picture, options.settings);
            const std::vector<FacePolygon> fallback = TextureFallbackFace(
                shell, picture, texture, options.settings, options.colours, options.texture,
                [&](const Picture& source, const ConversionSettings& settings, Quads& built) {
                    runConversion(source, settings, built, true);
                });
            if (failed()) return;
            for (const FacePolygon& polygon : fallback) {
                LdrawQuad& quad = quads.emplace_back();  // for the count of colours alone
                quad.Color = polygon.Color;
            }
            if (!WriteTexturedStickerPart(shell, picture, fallback, texture, partPath,
                                          options.height.value_or(picture.Height()),
                                          DetailsFor(options, partPath), options.texture,
                                          &written, &report.counts)) {
                return;
            }
        } else {
            runConversion(picture, options.settings, quads, true);
        }
        if (failed()) return;
        const std::int32_t height = options.height.value_or(picture.Height());
        const StickerDetails details = DetailsFor(options, partPath);
        const bool done =
            options.format == PartFormat::LdrawTexture ||
            (options.format == PartFormat::LdrawSticker
                ? WriteStickerPart(shell, picture, quads, partPath, height, details, &written,
                                   &report.counts)
                : WritePartFile(shell, picture, quads, partPath, height, details, &written,
                                &report.counts, DigitsFor(options.method)));
        if (!done) return;
        written.CommitAll();
        std::set<std::int32_t> colours;
        for (const LdrawQuad& quad : quads) colours.insert(quad.Color);
        report.colours = colours.size();
        report.codePixels = CodePixels(picture, options.settings);
        report.converted = true;
    };
    try {
        convert();
    } catch (...) {
        ReportFailure(shell, "mosaikon-convert", "", CurrentFailureDescription());
    }
    report.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

}  // namespace mosaikon
