#include "cli/conversion_job.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>

#include "drawing/svg_reader.h"
#include "image/bitmap_reader.h"
#include "image/colours.h"
#include "image/preview_writer.h"
#include "shell/atomic_file.h"
#include "shell/failure.h"

namespace mosaikon {

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

StickerRequest RequestFor(const JobOptions& options, std::shared_ptr<const Picture> picture,
                          const std::string& partPath) {
    StickerRequest request;
    request.height = options.height.value_or(picture->Height());
    request.picture = std::move(picture);
    request.settings = options.settings;
    request.method = options.method;
    request.vector = options.vector;
    request.colours = options.colours;
    request.format = options.format;
    request.texture = options.texture;
    request.details = DetailsFor(options, partPath);
    request.fileName = FileNameOf(partPath);
    return request;
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

namespace {

void Refuse(Shell& shell, const std::string& text) {
    ShowMessage(shell, text, MessageKind::Failure);
    ++shell.failuresReported;
}

// A drawing's shapes written as a sticker: the picture the request holds only gives its size.
void ConvertDrawingFile(Shell& shell, const std::string& drawingPath, const std::string& partPath,
                        const JobOptions& options, const std::string& previewPath,
                        const ProgressCallback& progress, JobReport& report) {
    const std::string name = FileNameOf(drawingPath);
    if (!previewPath.empty()) {
        Refuse(shell, name + " is a drawing: --preview writes pictures' bitmaps only");
        return;
    }
    // As high as the drawing's own units say, unless asked otherwise.
    const auto heightOf = [&](double drawingHeight) {
        return options.height.value_or(static_cast<std::int32_t>(
            std::clamp(std::lround(std::min(drawingHeight, 1e9)), 1L, 100000L)));
    };
    SvgReading reading;
    if (options.drawingTolerance) {
        reading.flatness = [&](double drawingHeight) {
            return *options.drawingTolerance * drawingHeight / heightOf(drawingHeight);
        };
    }
    auto rendered = std::make_shared<RgbaPicture>();
    if (options.format == PartFormat::LdrawTexture) reading.rendered = rendered.get();
    std::shared_ptr<Drawing> drawing;
    try {
        drawing = std::make_shared<Drawing>(ReadSvg(drawingPath, reading));
    } catch (const Failure& failure) {
        Refuse(shell, failure.what());
        return;
    }
    for (const std::string& warning : drawing->warnings) {
        ShowMessage(shell, warning, MessageKind::Warning);
    }
    auto picture = std::make_shared<Picture>();
    picture->infoHeader.biWidth = DrawingPictureWidth(*drawing);
    picture->infoHeader.biHeight = kDrawingPictureHeight;
    report.width = static_cast<std::int32_t>(std::lround(std::min(drawing->width, 1e9)));
    report.height = static_cast<std::int32_t>(std::lround(std::min(drawing->height, 1e9)));
    const int failures = shell.failuresReported;
    StickerRequest request = RequestFor(options, picture, partPath);
    request.drawing = drawing;
    request.height = heightOf(drawing->height);
    if (reading.rendered) request.original = std::move(rendered);
    const Sticker sticker = MakeSticker(shell, request, progress, nullptr, StickerUse::File);
    PassOn(shell, sticker);
    if (!sticker.made || shell.failuresReported != failures) return;
    PendingFiles written;
    if (!WriteSticker(shell, sticker, partPath, &written, &report.counts)) return;
    written.CommitAll();
    report.colours = sticker.shapes->colours;
    report.converted = true;
}

}  // namespace

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
        // A file of its own that the user keeps there is not written over unasked.
        std::error_code error;
        if (!options.overwrite && std::filesystem::is_regular_file(partPath, error) &&
            !IsStickerPartFile(partPath)) {
            ShowMessage(shell,
                        partPath + " is not a sticker part made by Mosaikon: it is left as it is "
                                   "(--overwrite replaces it)",
                        MessageKind::Failure);
            ++shell.failuresReported;
            return;
        }
        if (IsDrawingFile(picturePath)) {
            ConvertDrawingFile(shell, picturePath, partPath, options, previewPath, progress,
                               report);
            return;
        }
        ReadOptions read;
        read.reduction = options.reduction;
        read.acceptDamaged = options.acceptDamaged;
        read.colours = options.colours;
        read.bytesPerPixel = MemoryNeedPerPixel(options.method, options.format);
        // The textured form shows the picture's own colours; the vector conversion tells edges
        // from shapes by them.
        auto original = std::make_shared<RgbaPicture>();
        if (options.format == PartFormat::LdrawTexture || options.method == ConversionMethod::Vector) {
            read.original = original.get();
        }
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
        const auto shared = std::make_shared<const Picture>(std::move(picture));
        StickerRequest request = RequestFor(options, shared, partPath);
        if (read.original) request.original = std::move(original);
        const Sticker sticker = MakeSticker(shell, request, progress, nullptr, StickerUse::File);
        PassOn(shell, sticker);
        if (!sticker.made || failed()) return;
        if (!WriteSticker(shell, sticker, partPath, &written, &report.counts)) return;
        written.CommitAll();
        report.colours = sticker.shapes->colours;
        report.codePixels = CodePixels(*shared, options.settings);
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
