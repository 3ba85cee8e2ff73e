// mosaikon-convert: turns a palette bitmap into an LDraw sticker part file from a terminal,
// writing the same bytes as the window program for the same picture, options and details.

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "conversion/exact_conversion.h"
#include "conversion/full_conversion.h"
#include "conversion/part_file_writer.h"
#include "image/bitmap_reader.h"
#include "image/conversion_settings.h"
#include "image/preview_writer.h"
#include "image/quick_conversion.h"
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

std::int16_t Int16Component(const std::string& text) {
    try {
        return TextToInt16(text);
    } catch (const Failure& failure) {
        throw UsageError{"--ignore-color: '" + text + "' is not a colour component (" +
                         failure.what() + ")"};
    }
}

// The base name the window derives from the part file: its name without the ".dat".
std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".dat") == 0)
        name.resize(name.size() - 4);
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
            const int filled = static_cast<int>(share * kWidth);
            const int percent = static_cast<int>(share * 100);
            if (percent == lastPercent_) return;
            lastPercent_ = percent;
            drawn_ = true;
            std::cerr << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
                      << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] "
                      << percent << "%" << std::flush;
        };
    }

private:
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
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Turns a 256-colour Windows bitmap into an LDraw sticker part file.",
                 "mosaikon-convert"};
    Arguments args;
    app.add_option("PICTURE.bmp", args.picture, "the bitmap to convert")->required();
    app.add_option("PART.dat", args.part, "the part file to write")->required();
    auto* height =
        app.add_option("--height", args.height,
                       "sticker height in LDraw units; default: the picture's height in pixels");
    app.add_flag("--primary", args.primary, "use only the 16 LDraw primary colours");
    auto* ignoreWhite =
        app.add_flag("--ignore-white{default}", args.ignoreWhite,
                     "leave out near-white pixels; --ignore-white=T sets the tolerance "
                     "(default 14 with --primary, else 10)");
    auto* ignoreColor = app.add_option("--ignore-color", args.ignoreColor,
                                       "leave out pixels near this colour, given as R,G,B");
    auto* colorTolerance =
        app.add_option("--color-tolerance", args.colorTolerance,
                       "tolerance of --ignore-color (default 1 with --primary, else 10)");
    app.add_option("--method", args.method,
                   "the conversion: quick (a quadrilateral per run of equal pixels in a row), "
                   "full (few large quadrilaterals per colour region) or exact (the fewest "
                   "rectangles that reproduce the picture exactly)")
        ->check(CLI::IsMember({"quick", "full", "exact"}));
    auto* name =
        app.add_option("--name", args.name, "sticker name; default \"Sticker: \" + base name");
    auto* partId =
        app.add_option("--part-id", args.partId, "part identifier; default the base name");
    app.add_option("--author", args.author, "author; default \"Mosaikon\"");
    app.add_option("--description", args.description, "description; default \"Unofficial Model\"");
    auto* preview = app.add_option("--preview", args.preview,
                                   "also write the preview bitmap of the same options");
    bool version = false;
    app.add_flag("--version", version, "show the version and exit");

    ConversionSettings settings;
    std::int32_t partHeight = 0;
    try {
        // --version answers even without the two file arguments.
        for (int i = 1; i < argc; ++i) {
            if (std::string(argv[i]) == "--version") {
                std::cout << "mosaikon-convert " << MOSAIKON_VERSION << "\n";
                return 0;
            }
        }
        app.parse(argc, argv);
        settings.UseLdrawColors = args.primary;
        settings.IgnoreWhite = ignoreWhite->count() > 0;
        settings.WhiteTolerance = DefaultWhiteTolerance(args.primary);
        if (settings.IgnoreWhite && args.ignoreWhite != "default") {
            settings.WhiteTolerance = Int32Option("--ignore-white", args.ignoreWhite);
        }
        settings.IgnoreRgbColor = ignoreColor->count() > 0;
        settings.RgbTolerance = DefaultColorTolerance(args.primary);
        if (colorTolerance->count() > 0) {
            settings.RgbTolerance = Int32Option("--color-tolerance", args.colorTolerance);
        }
        if (settings.IgnoreRgbColor) {
            std::vector<std::string> parts;
            std::size_t start = 0;
            for (;;) {
                const auto comma = args.ignoreColor.find(',', start);
                parts.push_back(args.ignoreColor.substr(start, comma - start));
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
            if (parts.size() != 3) throw UsageError{"--ignore-color needs three numbers R,G,B"};
            settings.IgnoreRed = Int16Component(parts[0]);
            settings.IgnoreGreen = Int16Component(parts[1]);
            settings.IgnoreBlue = Int16Component(parts[2]);
        }
        if (height->count() > 0) partHeight = Int32Option("--height", args.height);
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

    Shell shell;  // no log file is opened: WriteLog drops its lines
    shell.messages.MsgConvertDone = english::MsgConvertDone;
    shell.messages.MsgNameTooLong = english::MsgNameTooLong;
    shell.messages.MsgHeightInvalid = english::MsgHeightInvalid;
    shell.messages.MsgLargeImage = english::MsgLargeImage;
    shell.messages.MsgPaletteWarning = english::MsgPaletteWarning;
    shell.messageBox = [](const std::string& text, MessageKind kind) {
        std::cerr << "mosaikon-convert: " << (kind == MessageKind::Warning ? "warning: " : "")
                  << text << "\n";
    };

    const std::string base = BaseName(args.part);
    const StickerDetails details = {name->count() ? args.name : "Sticker: " + base,
                                    partId->count() ? args.partId : base, args.author,
                                    args.description};
    try {
        Picture picture;
        double pictureHeight = 0, pictureWidth = 0;
        LoadBitmap(shell, picture, args.picture, pictureHeight, pictureWidth);
        if (shell.failuresReported > 0) return kExitFailure;
        if (height->count() == 0) partHeight = picture.Height();
        if (preview->count() > 0) CreateBitmap(shell, picture, args.preview, settings);
        Quads quads;
        if (args.method == "full") {
            ProgressBar bar;
            ConvertToLdraw(shell, picture, quads, settings, bar.Callback());
        } else if (args.method == "exact") {
            ProgressBar bar;
            ConvertExact(shell, picture, quads, settings, bar.Callback());
        } else {
            ConvertBitmap(shell, picture, quads, settings);
        }
        if (WritePartFile(shell, picture, quads, args.part, partHeight, details)) {
            std::cerr << quads.size() << " quadrilaterals (" << args.method << ")\n";
        }
    } catch (...) {
        ReportFailure(shell, "mosaikon-convert", "", CurrentFailureDescription());
    }
    return shell.failuresReported > 0 ? kExitFailure : 0;
}
