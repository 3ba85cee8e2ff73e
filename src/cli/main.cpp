// mosaikon-convert: turns a palette bitmap into an LDraw sticker part file from a terminal,
// writing the same bytes as the window program for the same picture, options and details.

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "conversion/conversion_method.h"
#include "conversion/exact_conversion.h"
#include "conversion/full_conversion.h"
#include "conversion/part_file_writer.h"
#include "conversion/sticker_part.h"
#include "image/bitmap_reader.h"
#include "image/conversion_settings.h"
#include "image/preview_writer.h"
#include "image/quick_conversion.h"
#include "shell/atomic_file.h"
#include "shell/english_texts.h"
#include "shell/failure.h"
#include "shell/numbers.h"
#include "shell/shell.h"

namespace {

using namespace mosaikon;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct UsageError {
    std::string reason;
};

std::int32_t Int32Option(const std::string& name, const std::string& text) {
    try {
        return TextToInt32(text);
    } catch (const Failure& failure) {
        throw UsageError{name + ": '" + text + "' is not a whole number in range (" +
                         failure.what() + ")"};
    }
}

std::int16_t ColourComponent(const std::string& text) {
    std::int16_t value = 0;
    try {
        value = TextToInt16(text);
    } catch (const Failure& failure) {
        throw UsageError{"--ignore-color: '" + text + "' is not a colour component (" +
                         failure.what() + ")"};
    }
    if (value < 0 || value > 255) {
        throw UsageError{"--ignore-color: '" + text + "' is outside 0 to 255"};
    }
    return value;
}

// R,G,B as three components of 0 to 255.
void ParseIgnoreColor(const std::string& text, ConversionSettings& settings) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (parts.size() != 3) throw UsageError{"--ignore-color needs three numbers R,G,B"};
    settings.IgnoreRed = ColourComponent(parts[0]);
    settings.IgnoreGreen = ColourComponent(parts[1]);
    settings.IgnoreBlue = ColourComponent(parts[2]);
}

std::int32_t HeightOption(const std::string& text) {
    const std::int32_t height = Int32Option("--height", text);
    if (height <= 0) throw UsageError{"--height: the height must be a number greater than 0"};
    return height;
}

void RequireSingleLine(const std::string& option, const std::string& text) {
    if (!IsSingleLine(text)) {
        throw UsageError{option + ": the text must be a single line without control characters"};
    }
}

// The base name the window derives from the part file: its name without the ".dat".
std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() >= 4) {
        std::string ending = name.substr(name.size() - 4);
        for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ending == ".dat") name.resize(name.size() - 4);
    }
    return name;
}

// A progress bar on standard error, drawn only when that is a terminal.
class ProgressBar {
public:
    ProgressBar() : shown_(::isatty(STDERR_FILENO) == 1) {}
    ~ProgressBar() {
        if (drawn_) std::cerr << "\r" << std::string(kWidth + 8, ' ') << "\r" << std::flush;
    }
    ProgressCallback Callback() {
        if (!shown_) return {};
        return [this](double share) {
            Draw(share);
            return true;
        };
    }

private:
    void Draw(double share) {
        const int filled = static_cast<int>(share * kWidth);
        const int percent = static_cast<int>(share * 100);
        if (percent == lastPercent_) return;
        lastPercent_ = percent;
        drawn_ = true;
        std::cerr << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << percent
                  << "%" << std::flush;
    }

    static constexpr int kWidth = 40;
    bool shown_;
    bool drawn_ = false;
    int lastPercent_ = -1;
};

struct Arguments {
    std::string picture;
    std::string part;
    std::string height;
    bool primary = false;
    std::string ignoreWhite;
    std::string ignoreColor;
    std::string colorTolerance;
    std::string method = "quick";
    std::string name, partId, author = "Mosaikon", description = "Unofficial Model";
    std::string preview;
    std::string format = "classic";
    int colors = 256;
    bool dither = false;
    bool acceptDamaged = false;
};

// What the command line asks for, checked.
struct Request {
    Arguments args;
    ConversionSettings settings;
    std::optional<std::int32_t> partHeight;
    bool writePreview = false;
    StickerDetails details;
};

void DeclareOptions(CLI::App& app, Arguments& args) {
    app.add_option("PICTURE", args.picture, "the picture to convert: BMP, PNG, JPEG, GIF or WebP")
        ->required();
    app.add_option("PART.dat", args.part, "the part file to write")->required();
    app.add_option("--height", args.height,
                   "sticker height in LDraw units; default: the picture's height in pixels");
    app.add_flag("--primary", args.primary, "use only the 16 LDraw primary colours")
        ->disable_flag_override();
    app.add_flag("--ignore-white{default}", args.ignoreWhite,
                 "leave out near-white pixels; --ignore-white=T sets the tolerance "
                 "(default 14 with --primary, else 10)");
    app.add_option("--ignore-color", args.ignoreColor,
                   "leave out pixels near this colour, given as R,G,B (each 0 to 255)");
    app.add_option("--color-tolerance", args.colorTolerance,
                   "tolerance of --ignore-color (default 1 with --primary, else 10)");
    app.add_option("--method", args.method,
                   "the conversion: quick (a quadrilateral per run of equal pixels in a row), "
                   "full (few large quadrilaterals per colour region) or exact (the fewest "
                   "rectangles that reproduce the picture exactly)")
        ->check(CLI::IsMember({"quick", "full", "exact"}));
    app.add_option("--name", args.name, "sticker name; default \"Sticker: \" + base name");
    app.add_option("--part-id", args.partId, "part identifier; default the base name");
    app.add_option("--author", args.author, "author; default \"Mosaikon\"");
    app.add_option("--description", args.description, "description; default \"Unofficial Model\"");
    app.add_option("--preview", args.preview, "also write the preview bitmap of the same options");
    app.add_option("--colors", args.colors,
                   "the most colours kept of a picture without a palette (2 to 256, default 256); "
                   "fewer colours make far fewer quadrilaterals")
        ->check(CLI::Range(2, 256));
    app.add_flag("--dither", args.dither,
                 "dither when a picture's colours are reduced (off by default: flat areas make "
                 "fewer quadrilaterals)")
        ->disable_flag_override();
    app.add_option("--format", args.format,
                   "the part file's layout: classic (default; a flat picture at z = 0) or "
                   "ldraw-sticker (an LDraw library sticker part: centred, lying flat, with a "
                   "backing, certified, without cracks)")
        ->check(CLI::IsMember({"classic", "ldraw-sticker"}));
    app.add_flag("--accept-damaged", args.acceptDamaged,
                 "convert a damaged or cut-short picture all the same, with a warning saying what "
                 "is missing (by default such a picture is refused)")
        ->disable_flag_override();
    app.add_flag("--version")->description("show the version and exit");
}

Request CheckedRequest(const CLI::App& app, const Arguments& args) {
    Request request;
    request.args = args;
    ConversionSettings& settings = request.settings;
    settings.UseLdrawColors = args.primary;
    settings.IgnoreWhite = app.count("--ignore-white") > 0;
    settings.WhiteTolerance = DefaultWhiteTolerance(args.primary);
    if (settings.IgnoreWhite && args.ignoreWhite != "default") {
        settings.WhiteTolerance = Int32Option("--ignore-white", args.ignoreWhite);
    }
    settings.IgnoreRgbColor = app.count("--ignore-color") > 0;
    settings.RgbTolerance = DefaultColorTolerance(args.primary);
    if (app.count("--color-tolerance") > 0) {
        settings.RgbTolerance = Int32Option("--color-tolerance", args.colorTolerance);
    }
    if (settings.IgnoreRgbColor) ParseIgnoreColor(args.ignoreColor, settings);
    if (app.count("--height") > 0) request.partHeight = HeightOption(args.height);
    request.writePreview = app.count("--preview") > 0;

    const std::string base = BaseName(args.part);
    RequireSingleLine("PART.dat", base);
    request.details = {app.count("--name") ? args.name : "Sticker: " + base,
                       app.count("--part-id") ? args.partId : base, args.author, args.description};
    const char* detailOptions[] = {"--name", "--part-id", "--author", "--description"};
    for (std::size_t i = 0; i < request.details.size(); ++i) {
        RequireSingleLine(detailOptions[i], request.details[i]);
    }
    return request;
}

void UseEnglishTexts(Shell& shell) {
    shell.messages.MsgConvertDone = english::MsgConvertDone;
    shell.messages.MsgNameTooLong = english::MsgNameTooLong;
    shell.messages.MsgHeightInvalid = english::MsgHeightInvalid;
    shell.messages.MsgLargeImage = english::MsgLargeImage;
    shell.messages.MsgPaletteWarning = english::MsgPaletteWarning;
    shell.messageBox = [](const std::string& text, MessageKind kind) {
        std::cerr << "mosaikon-convert: " << (kind == MessageKind::Warning ? "warning: " : "")
                  << text << "\n";
    };
}

// Loads, converts and writes. The preview and the part file are put in place together, only
// once both were written completely, so that a failed run leaves both files as they were.
void Convert(Shell& shell, const Request& request) {
    const Arguments& args = request.args;
    Picture picture;
    double pictureHeight = 0, pictureWidth = 0;
    ReadOptions options;
    options.reduction = {args.colors, args.dither};
    options.acceptDamaged = args.acceptDamaged;
    const ConversionMethod method = args.method == "full"    ? ConversionMethod::Full
                                    : args.method == "exact" ? ConversionMethod::Exact
                                                             : ConversionMethod::Quick;
    options.bytesPerPixel = MemoryNeedPerPixel(
        method, args.format == "ldraw-sticker" ? PartFormat::LdrawSticker : PartFormat::Classic);
    LoadBitmap(shell, picture, args.picture, pictureHeight, pictureWidth, options);
    if (shell.failuresReported > 0) return;
    const auto kept =
        static_cast<std::int64_t>(picture.Palette.size()) - (picture.TransparentIndex >= 0 ? 1 : 0);
    if (picture.SourceColours > kept) {
        std::cerr << "mosaikon-convert: " << picture.SourceColours << " colours reduced to " << kept
                  << "\n";
    }
    PendingFiles written;
    if (request.writePreview &&
        !CreateBitmap(shell, picture, args.preview, request.settings, &written)) {
        return;
    }
    Quads quads;
    if (args.method == "full") {
        FullConversionRun run;
        {
            ProgressBar bar;
            ConvertToLdraw(shell, picture, quads, request.settings, bar.Callback(), &run);
        }
        if (run.regionsCoveredWithRectangles > 0) {
            std::cerr << "mosaikon-convert: " << run.regionsCoveredWithRectangles
                      << " colour regions would have taken too long to search and are covered "
                         "with rectangles\n";
        }
    } else if (args.method == "exact") {
        ProgressBar bar;
        ConvertExact(shell, picture, quads, request.settings, bar.Callback());
    } else {
        ConvertBitmap(shell, picture, quads, request.settings);
    }
    if (shell.failuresReported > 0) return;
    const std::int32_t height = request.partHeight.value_or(picture.Height());
    const auto write = args.format == "ldraw-sticker" ? WriteStickerPart : WritePartFile;
    if (!write(shell, picture, quads, args.part, height, request.details, &written)) return;
    written.CommitAll();
    std::cerr << quads.size() << " quadrilaterals (" << args.method << ")\n";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Turns a picture (BMP, PNG, JPEG, GIF or WebP) into an LDraw sticker part file.",
                 "mosaikon-convert"};
    Arguments args;
    DeclareOptions(app, args);
    Request request;
    try {
        // --version answers even without the two file arguments.
        for (int i = 1; i < argc; ++i) {
            if (std::string(argv[i]) == "--version") {
                std::cout << "mosaikon-convert " << MOSAIKON_VERSION << "\n";
                return 0;
            }
        }
        for (int i = 1; i < argc; ++i) {
            // The parser takes an empty value as the flag's default; an empty tolerance is a slip.
            if (std::string(argv[i]) == "--ignore-white=") {
                throw UsageError{"--ignore-white: the tolerance after '=' is missing"};
            }
        }
        app.parse(argc, argv);
        request = CheckedRequest(app, args);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::ParseError& error) {
        std::cerr << "mosaikon-convert: " << error.what() << "\n\n" << app.help();
        return kExitUsage;
    } catch (const UsageError& error) {
        std::cerr << "mosaikon-convert: " << error.reason << "\n\n" << app.help();
        return kExitUsage;
    }

    RemoveTemporaryFilesOnInterrupt();
    Shell shell;  // no log file is opened: WriteLog drops its lines
    UseEnglishTexts(shell);
    try {
        Convert(shell, request);
    } catch (...) {
        ReportFailure(shell, "mosaikon-convert", "", CurrentFailureDescription());
    }
    return shell.failuresReported > 0 ? kExitFailure : 0;
}
