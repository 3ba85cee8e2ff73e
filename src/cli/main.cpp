// mosaikon-convert: turns pictures into LDraw sticker part files from a terminal, one picture
// into a named part file, or many into a folder at once, writing the same bytes as the window
// program for the same picture, options and details.

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "cli/batch.h"
#include "cli/conversion_job.h"
#include "drawing/svg_reader.h"
#include "image/conversion_settings.h"
#include "image/ldraw_colours.h"
#include "ldraw/part_checker.h"
#include "shell/atomic_file.h"
#include "shell/english_texts.h"
#include "shell/failure.h"
#include "shell/numbers.h"
#include "shell/shell.h"
#include "shell/system.h"

namespace {

using namespace mosaikon;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr unsigned kMostJobs = 64;

struct UsageError {
    std::string reason;
};

// A text as a terminal may show it: control characters (C0, DEL, C1) escaped as \n, \t, \r,
// \xNN or \u00NN, and bytes that are not UTF-8 as \xNN, so that a name cannot break a line,
// move the cursor or set the terminal's title.
std::string TerminalText(std::string_view text) {
    std::string shown;
    char escaped[8];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || c == '\t' || c == '\r') {
            shown += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        } else if (c < 0x80) {
            shown += static_cast<char>(c);
        } else {
            const std::size_t length = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 && c < 0xF0 ? 3
                                       : c >= 0xC2 && c < 0xE0 ? 2 : 0;
            bool valid = length > 0 && i + length <= text.size();
            for (std::size_t k = 1; valid && k < length; ++k) {
                valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            }
            if (valid && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                std::snprintf(escaped, sizeof escaped, "\\u%04x",
                              static_cast<unsigned char>(text[i + 1]));
                shown += escaped;
                ++i;
            } else if (valid) {
                shown.append(text, i, length);
                i += length - 1;
            } else {
                std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
                shown += escaped;
            }
        }
    }
    return shown;
}

// A file the run writes, named for a message.
struct Output {
    std::string path;
    std::string what;
};

// No output may replace an input or another output: links followed, hard links seen through.
void CheckOutputs(const std::vector<std::string>& pictures, const std::vector<Output>& outputs) {
    std::map<std::string, std::string> inputs, written;
    for (const std::string& picture : pictures) inputs.emplace(FileIdentity(picture), picture);
    for (const Output& output : outputs) {
        const std::string identity = FileIdentity(output.path);
        if (const auto found = inputs.find(identity); found != inputs.end()) {
            throw UsageError{output.what + " " + output.path + " is the picture " +
                             found->second + ": it would be written over"};
        }
        if (const auto [at, added] = written.emplace(identity, output.path); !added) {
            throw UsageError{output.what + " " + output.path + " and " + at->second +
                             " are the same file: one would be written over the other"};
        }
    }
}

// Whether a file can be written at path (replaced, or made in its folder): the reason it
// cannot, else empty.
std::string WhyNotWritable(const std::string& path) {
    namespace fs = std::filesystem;
    std::string target = path;
    try {
        target = ResolveWriteTarget(path);
    } catch (const Failure& failure) {
        return failure.what();
    }
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (fs::exists(status)) {
        if (fs::is_directory(status)) return "it is a folder";
        if (!fs::is_regular_file(status)) return "it is not a regular file";
    }
    fs::path folder = fs::path(target).parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, error)) return "the folder " + folder.string() + " does not exist";
    if (::access(folder.c_str(), W_OK) != 0) return "the folder " + folder.string() + " cannot be written";
    return "";
}

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

// A progress bar on standard error, drawn only when that is a terminal.
class ProgressBar {
public:
    ProgressBar() : shown_(::isatty(STDERR_FILENO) == 1) {}
    ~ProgressBar() { Clear(); }
    // Clears the bar, so that a message can be written on its line.
    void Clear() {
        if (drawn_) std::cerr << "\r" << std::string(kWidth + 8, ' ') << "\r" << std::flush;
        drawn_ = false;
        lastPercent_ = -1;
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
    std::vector<std::string> files;
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
    std::string palette = "direct";
    bool listColours = false;
    std::string outputDir;
    bool recursive = false;
    unsigned jobs = 0;
    std::string json;
    double tolerance = 0.5;
    std::int32_t minArea = 4;
    bool check = false;
    std::string fallback = "geometry";
    int fallbackColours = 16;
    bool embed = false;
    bool overwrite = false;
    std::string library;
    std::string libraryFolder = "unofficial";
};

// What the command line asks for, checked.
struct Request {
    Arguments args;
    JobOptions options;
    bool batch = false;
};

void DeclareOptions(CLI::App& app, Arguments& args) {
    app.add_option("FILES", args.files,
                   "PICTURE PART.dat: the picture to convert (BMP, PNG, JPEG, GIF, WebP, or an "
                   "SVG drawing) and the part file to write; with --output-dir, the pictures and folders of pictures "
                   "to convert; with --check, the part files to check");
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
                   "rectangles that reproduce the picture exactly) or vector (each colour "
                   "region's smoothed outline, filled with few polygons: for logos and drawings "
                   "of few colours)")
        ->check(CLI::IsMember({"quick", "full", "exact", "vector"}));
    app.add_option("--tolerance", args.tolerance,
                   "with --method vector, how far in pixels an outline may stray from the pixels' "
                   "steps (0 to 64, default 0.5; 0 keeps every step); for an SVG drawing, how far "
                   "in LDraw units a curve's lines may stray from the curve (default a "
                   "two-thousandth of the sticker's height)")
        ->check(CLI::Range(0.0, kMostVectorTolerance));
    app.add_option("--min-area", args.minArea,
                   "with --method vector, regions of fewer pixels join the neighbour they share "
                   "the longest border with (default 4; 0 keeps them all)")
        ->check(CLI::Range(0, kMostVectorMinArea));
    app.add_option("--name", args.name,
                   "sticker name; default \"Sticker: \" + base name (one picture only)");
    app.add_option("--part-id", args.partId,
                   "part identifier; default the base name (one picture only)");
    app.add_option("--author", args.author, "author; default \"Mosaikon\"");
    app.add_option("--description", args.description, "description; default \"Unofficial Model\"");
    app.add_option("--preview", args.preview,
                   "also write the preview bitmap of the same options (one picture only)");
    app.add_option("--colors", args.colors,
                   "the most colours kept of a picture without a palette (2 to 256, default 256); "
                   "fewer colours make far fewer quadrilaterals")
        ->check(CLI::Range(2, 256));
    app.add_flag("--dither", args.dither,
                 "dither when a picture's colours are reduced (off by default: flat areas make "
                 "fewer quadrilaterals)")
        ->disable_flag_override();
    app.add_option("--format", args.format,
                   "the part file's layout: classic (default; a flat picture at z = 0), "
                   "ldraw-sticker (an LDraw library sticker part: centred, lying flat, with a "
                   "backing, certified, without cracks, with holes where the picture is left "
                   "out) or ldraw-texture (the library sticker whose face shows the picture as a "
                   "texture, PNG in a textures folder beside the part, with plain geometry for "
                   "programs without textures)")
        ->check(CLI::IsMember({"classic", "ldraw-sticker", "ldraw-texture"}));
    app.add_option("--fallback", args.fallback,
                   "with --format ldraw-texture, what programs without textures show: geometry "
                   "(default; the picture of --fallback-colors colours, converted) or flat (one "
                   "quadrilateral in the picture's mean colour)")
        ->check(CLI::IsMember({"geometry", "flat"}));
    app.add_option("--fallback-colors", args.fallbackColours,
                   "with --format ldraw-texture, the most colours of the geometry fallback (2 "
                   "to 256, default 16)")
        ->check(CLI::Range(2, 256));
    app.add_flag("--embed", args.embed,
                 "with --format ldraw-texture, write one MPD file holding the part and its "
                 "texture (a !DATA block) instead of the part and a textures folder")
        ->disable_flag_override();
    app.add_flag("--accept-damaged", args.acceptDamaged,
                 "convert a damaged or cut-short picture all the same, with a warning saying what "
                 "is missing (by default such a picture is refused)")
        ->disable_flag_override();
    app.add_option("--palette", args.palette,
                   "the colours written: direct (default; each picture colour as a direct "
                   "colour), ldraw-core (the nearest of LDraw's codes 0 to 15) or ldraw (the "
                   "nearest solid LDraw colour; with --colors N the N codes that serve the "
                   "picture best); matched as people see colours (CIEDE2000)")
        ->check(CLI::IsMember({"direct", "ldraw-core", "ldraw"}));
    app.add_flag("--list-colours", args.listColours,
                 "after converting, list the colour codes used, with their names and pixel "
                 "counts, the most used first, on standard output")
        ->disable_flag_override();
    app.add_option("--output-dir", args.outputDir,
                   "convert every picture given into DIR/<name>.dat, the name made from the "
                   "picture's (at most 8 characters, each name different)")
        ->option_text("DIR");
    app.add_flag("--recursive", args.recursive,
                 "with --output-dir, also convert the pictures of folders inside the folders")
        ->disable_flag_override();
    app.add_option("--jobs", args.jobs,
                   "with --output-dir, how many pictures are converted at once (default: the "
                   "number of cores)")
        ->check(CLI::Range(1u, kMostJobs));
    app.add_option("--json", args.json,
                   "also write a report of every picture as JSON to FILE, or to standard output "
                   "for -")
        ->option_text("FILE");
    app.add_flag("--check", args.check,
                 "check the part files given by the parts library's rules (polygons, colours, "
                 "numbers, T-junctions, a library part's header, a sticker's face and backing): "
                 "one line per finding; exit status 1 when there are errors")
        ->disable_flag_override();
    app.add_flag("--library{default}", args.library,
                 "write the part into an LDraw library, where LDraw programs look parts and "
                 "textures up: --library=DIR (default: $LDRAWDIR), into DIR/unofficial/parts/ and "
                 "its textures/ folder (one picture only; the PART.dat argument gives the name)");
    app.add_option("--library-folder", args.libraryFolder,
                   "with --library, the library's folder written into: unofficial (default, "
                   "DIR/unofficial/parts/) or parts (DIR/parts/)")
        ->check(CLI::IsMember({"unofficial", "parts"}));
    app.add_flag("--overwrite", args.overwrite,
                 "replace part files that are not sticker parts made by Mosaikon (otherwise they "
                 "are left as they are and the picture fails)")
        ->disable_flag_override();
    app.add_flag("--version")->description("show the version and exit");
}

// Where --library puts the part file: the library's parts folder (made when missing), the name
// the PART.dat argument gives.
std::string LibraryPartPath(const Arguments& args) {
    std::string library = args.library;
    if (library == "default") {
        const char* set = std::getenv("LDRAWDIR");
        if (!set || !*set) {
            throw UsageError{"--library needs the LDraw library's folder: --library=DIR, or set "
                             "LDRAWDIR"};
        }
        library = set;
    }
    if (library.empty()) throw UsageError{"--library: the folder after '=' is missing"};
    if (!std::filesystem::is_directory(library)) {
        throw UsageError{"--library: " + library + " is not a folder"};
    }
    const std::filesystem::path parts =
        args.libraryFolder == "parts" ? std::filesystem::path(library) / "parts"
                                      : std::filesystem::path(library) / "unofficial" / "parts";
    std::error_code error;
    std::filesystem::create_directories(parts, error);
    return (parts / std::filesystem::path(args.files[1]).filename()).string();
}

Request CheckedRequest(const CLI::App& app, const Arguments& args) {
    if (args.files.empty()) throw UsageError{"FILES is required"};
    Request request;
    request.args = args;
    request.batch = app.count("--output-dir") > 0;
    JobOptions& options = request.options;
    ConversionSettings& settings = options.settings;
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
    if (app.count("--height") > 0) options.height = HeightOption(args.height);
    options.method = args.method == "full"    ? ConversionMethod::Full
                     : args.method == "exact"  ? ConversionMethod::Exact
                     : args.method == "vector" ? ConversionMethod::Vector
                                               : ConversionMethod::Quick;
    // A textured sticker's fallback is lightest, and still a good likeness, from the vector
    // conversion.
    if (app.count("--method") == 0 && args.format == "ldraw-texture") {
        options.method = ConversionMethod::Vector;
    }
    // A drawing's curves are flattened within --tolerance, in LDraw units (a folder of a batch
    // may hold drawings).
    const bool drawings = std::any_of(args.files.begin(), args.files.end(), [](const auto& file) {
        std::error_code error;
        return IsDrawingFile(file) || std::filesystem::is_directory(file, error);
    });
    for (const char* vectorOnly : {"--tolerance", "--min-area"}) {
        if (app.count(vectorOnly) > 0 && options.method != ConversionMethod::Vector &&
            !(drawings && std::string(vectorOnly) == "--tolerance")) {
            throw UsageError{std::string(vectorOnly) + " needs --method vector"};
        }
    }
    options.vector = {args.tolerance, args.minArea};
    if (drawings && app.count("--tolerance") > 0) options.drawingTolerance = args.tolerance;
    // The textured form's own fallback, by default: a likeness of the picture at a fraction of
    // the polygons (a photograph of 451 x 300 in 7,400 polygons, 540 kB).
    if (app.count("--method") == 0 && args.format == "ldraw-texture") {
        if (app.count("--tolerance") == 0) options.vector.tolerance = 1;
        if (app.count("--min-area") == 0) options.vector.minArea = 8;
    }
    options.format = args.format == "ldraw-sticker"   ? PartFormat::LdrawSticker
                     : args.format == "ldraw-texture" ? PartFormat::LdrawTexture
                                                      : PartFormat::Classic;
    for (const char* textureOnly : {"--fallback", "--fallback-colors", "--embed"}) {
        if (app.count(textureOnly) > 0 && options.format != PartFormat::LdrawTexture) {
            throw UsageError{std::string(textureOnly) + " needs --format ldraw-texture"};
        }
    }
    options.texture = {args.fallback == "flat" ? TextureFallback::Flat : TextureFallback::Geometry,
                       args.fallbackColours, args.embed};
    options.reduction = {args.colors, args.dither};
    options.acceptDamaged = args.acceptDamaged;
    options.overwrite = args.overwrite;
    if (app.count("--preview") > 0 && args.preview.empty()) {
        throw UsageError{"--preview needs the name of the bitmap to write"};
    }
    if (app.count("--json") > 0 && args.json.empty()) {
        throw UsageError{"--json needs the name of the report to write, or - for standard output"};
    }
    options.colours = args.palette == "ldraw"        ? ColourSet::Ldraw
                      : args.palette == "ldraw-core" ? ColourSet::LdrawCore
                                                     : ColourSet::Direct;
    if (args.primary && options.colours != ColourSet::Direct) {
        throw UsageError{"--primary and --palette " + args.palette + " cannot go together"};
    }
    if (app.count("--name") > 0) options.name = args.name;
    if (app.count("--part-id") > 0) options.partId = args.partId;
    options.author = args.author;
    options.description = args.description;

    if (app.count("--library-folder") > 0 && app.count("--library") == 0) {
        throw UsageError{"--library-folder needs --library"};
    }
    if (request.batch) {
        for (const char* single : {"--preview", "--name", "--part-id", "--library"}) {
            if (app.count(single) > 0) {
                throw UsageError{std::string(single) +
                                 " is for one picture; with --output-dir "
                                 "each part gets its own"};
            }
        }
    } else {
        if (args.files.size() != 2) {
            throw UsageError{
                "give a PICTURE and the PART.dat to write, or pictures with "
                "--output-dir DIR"};
        }
        for (const char* many : {"--recursive", "--jobs"}) {
            if (app.count(many) > 0) throw UsageError{std::string(many) + " needs --output-dir"};
        }
        RequireSingleLine("PART.dat", BaseName(args.files[1]));
        if (app.count("--library") > 0) request.args.files[1] = LibraryPartPath(args);
        StickerRequest form;
        form.format = options.format;
        form.texture = options.texture;
        std::vector<Output> outputs;
        const std::string part = request.args.files[1];
        for (const std::string& file : StickerFiles(form, part)) {
            outputs.push_back({file, file == part ? "the part file" : "the texture"});
        }
        if (!args.preview.empty()) outputs.push_back({args.preview, "the preview"});
        if (!args.json.empty() && args.json != "-") outputs.push_back({args.json, "the report"});
        CheckOutputs({args.files[0]}, outputs);
    }
    const StickerDetails details = DetailsFor(options, request.batch ? "" : args.files[1]);
    const char* detailOptions[] = {"--name", "--part-id", "--author", "--description"};
    for (std::size_t i = 0; i < details.size(); ++i) {
        RequireSingleLine(detailOptions[i], details[i]);
    }
    return request;
}

// Messages go to standard error, on the line of a progress bar that is cleared first.
std::mutex messageMutex;
ProgressBar* activeBar = nullptr;

void UseEnglishTexts(Shell& shell) {
    english::UseEnglishMessages(shell.messages);
    shell.messageBox = [](const std::string& text, MessageKind kind) {
        const std::lock_guard lock(messageMutex);
        if (activeBar) activeBar->Clear();
        std::cerr << "mosaikon-convert: " << (kind == MessageKind::Warning ? "warning: " : "")
                  << TerminalText(text) << "\n";
    };
}

// The report, as JSON, to the file named (put in place once complete) or to standard output.
bool WriteReport(Shell& shell, const std::string& target, const std::vector<JobReport>& reports,
                 const JobOptions& options) {
    const std::string json = ReportJson(reports, options);
    if (target == "-") {
        std::cout << json << std::flush;
        return true;
    }
    try {
        AtomicFileWriter file(target);
        file.Write(json);
        file.Commit();
        return true;
    } catch (...) {
        ReportFailure(
            shell, "mosaikon-convert", "",
            "the report " + target + " could not be written: " + CurrentFailureDescription());
        return false;
    }
}

// The report must be writable before any picture is converted.
bool ReportWritable(Shell& shell, const std::string& json) {
    if (json.empty() || json == "-") return true;
    const std::string why = WhyNotWritable(json);
    if (why.empty()) return true;
    ShowMessage(shell, "the report " + json + " cannot be written: " + why, MessageKind::Failure);
    return false;
}

// Where LeoCAD looks a texture up: only in a library. Said once, for a textured sticker written
// beside the part file.
void SayWhereTexturesShow(const Request& request, const std::string& part) {
    if (request.options.format != PartFormat::LdrawTexture || request.options.texture.embed ||
        !request.args.library.empty()) {
        return;
    }
    const std::lock_guard lock(messageMutex);
    std::cerr << "mosaikon-convert: note: LeoCAD shows the texture only from an LDraw library: copy "
              << TerminalText(part) << " into the library's unofficial/parts/ folder and its "
              << "textures/ PNG into unofficial/parts/textures/, or convert with --library\n";
}

int ConvertOne(Shell& shell, const Request& request) {
    const Arguments& args = request.args;
    if (!ReportWritable(shell, args.json)) return kExitFailure;
    JobReport report;
    {
        ProgressBar bar;
        const bool slow = request.options.method != ConversionMethod::Quick;
        activeBar = &bar;
        report = ConvertPicture(shell, args.files[0], args.files[1], request.options, args.preview,
                                slow ? bar.Callback() : ProgressCallback{});
        activeBar = nullptr;
    }
    if (report.converted && args.listColours) {
        const LdrawColourTable& table = LdrawColours();
        for (const auto& [code, pixels] : report.codePixels) {
            std::cout << ColorText(code) << "\t" << TerminalText(ColourName(table, code)) << "\t" << pixels
                      << "\n";
        }
    }
    if (report.converted) SayWhereTexturesShow(request, args.files[1]);
    if (report.converted) {
        std::cerr << report.counts.quadrilaterals << " quadrilaterals";
        if (report.counts.triangles > 0)
            std::cerr << " and " << report.counts.triangles << " triangles";
        std::cerr << " ("
                  << (IsDrawingFile(args.files[0]) ? "the drawing's shapes"
                                                   : MethodName(request.options.method))
                  << ")\n";
    }
    if (!args.json.empty() && !WriteReport(shell, args.json, {report}, request.options)) {
        return kExitFailure;
    }
    return report.converted ? 0 : kExitFailure;
}

std::string Duration(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

int ConvertMany(Shell& shell, const Request& request) {
    const Arguments& args = request.args;
    std::vector<Unreadable> missing;
    const std::vector<std::string> pictures = CollectPictures(args.files, args.recursive, missing);
    std::vector<std::string> parts;
    std::vector<Output> outputs;
    StickerRequest form;
    form.format = request.options.format;
    form.texture = request.options.texture;
    for (const std::string& name : PartNames(pictures)) {
        parts.push_back((std::filesystem::path(args.outputDir) / (name + ".dat")).string());
        for (const std::string& file : StickerFiles(form, parts.back())) {
            outputs.push_back({file, file == parts.back() ? "the part file" : "the texture"});
        }
    }
    if (!args.json.empty() && args.json != "-") outputs.push_back({args.json, "the report"});
    CheckOutputs(pictures, outputs);
    if (!ReportWritable(shell, args.json)) return kExitFailure;
    for (const Unreadable& path : missing) {
        ShowMessage(shell, path.path + " cannot be read: " + path.reason, MessageKind::Failure);
    }
    std::error_code error;
    std::filesystem::create_directories(args.outputDir, error);
    if (!std::filesystem::is_directory(args.outputDir)) {
        ShowMessage(shell, "the output folder " + args.outputDir + " cannot be made",
                    MessageKind::Failure);
        return kExitFailure;
    }
    const unsigned jobs =
        args.jobs > 0 ? args.jobs : std::max(1u, std::thread::hardware_concurrency());
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const auto progress = [&](const BatchProgress& state) {
        if (!terminal) return;
        const std::lock_guard lock(messageMutex);
        std::cerr << "\r" << state.done << " of " << state.total << " pictures, " << state.failed
                  << " failed, about " << Duration(state.secondsLeft) << " left   " << std::flush;
    };
    const std::vector<JobReport> reports =
        RunBatch(pictures, parts, request.options, jobs, AvailableMemory(), progress);
    if (terminal && !reports.empty()) std::cerr << "\r" << std::string(60, ' ') << "\r";
    std::size_t failed = missing.size();
    for (const JobReport& report : reports) {
        if (report.converted) continue;
        ++failed;
        std::cerr << "mosaikon-convert: " << TerminalText(report.input) << ": "
                  << TerminalText(report.message) << "\n";
    }
    if (failed < reports.size() + missing.size()) SayWhereTexturesShow(request, args.outputDir + "/*.dat");
    std::cerr << reports.size() << " pictures: " << reports.size() + missing.size() - failed
              << " converted, " << failed << " failed\n";
    if (!args.json.empty() && !WriteReport(shell, args.json, reports, request.options)) {
        return kExitFailure;
    }
    return failed > 0 ? kExitFailure : 0;
}

// Each part file checked: its findings on standard output, one per line, and a summary.
int CheckFiles(const std::vector<std::string>& files) {
    bool errors = false;
    for (const std::string& path : files) {
        const CheckReport report = CheckPartFile(path);
        for (const CheckFinding& finding : report.findings) {
            std::cout << TerminalText(path) << ": " << TerminalText(FindingLine(finding)) << "\n";
        }
        if (report.findings.size() < report.errors + report.warnings) {
            std::cout << TerminalText(path) << ": ... and "
                      << report.errors + report.warnings - report.findings.size()
                      << " findings more\n";
        }
        std::cout << TerminalText(path) << ": " << report.errors << (report.errors == 1 ? " error, " : " errors, ")
                  << report.warnings << (report.warnings == 1 ? " warning" : " warnings") << " ("
                  << report.polygons << " polygons)\n";
        errors = errors || report.errors > 0;
    }
    return errors ? kExitFailure : 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Turns pictures (BMP, PNG, JPEG, GIF or WebP) and SVG drawings into LDraw sticker part files:\n"
        "  mosaikon-convert [OPTIONS] PICTURE PART.dat\n"
        "  mosaikon-convert [OPTIONS] PICTURE... --output-dir DIR\n"
        "  mosaikon-convert --check PART.dat...",
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
        if (args.check) {
            if (args.files.empty()) throw UsageError{"--check needs the part files to check"};
            return CheckFiles(args.files);
        }
        request = CheckedRequest(app, args);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::ParseError& error) {
        std::cerr << "mosaikon-convert: " << error.what() << "\n\n" << app.help();
        return kExitUsage;
    } catch (const UsageError& error) {
        std::cerr << "mosaikon-convert: " << TerminalText(error.reason) << "\n\n" << app.help();
        return kExitUsage;
    }

    // Drawings' text needs the system's fonts (a folder of a batch may hold drawings).
    if (std::any_of(args.files.begin(), args.files.end(), [](const std::string& file) {
            std::error_code error;
            return IsDrawingFile(file) || std::filesystem::is_directory(file, error);
        })) {
        PrepareForDrawingText();
    }
    RemoveTemporaryFilesOnInterrupt();
    Shell shell;  // no log file is opened: WriteLog drops its lines
    UseEnglishTexts(shell);
    if (request.options.colours != ColourSet::Direct && !LdrawColours().warning.empty()) {
        ShowMessage(shell, LdrawColours().warning, MessageKind::Warning);
    }
    try {
        return request.batch ? ConvertMany(shell, request) : ConvertOne(shell, request);
    } catch (const UsageError& error) {
        std::cerr << "mosaikon-convert: " << TerminalText(error.reason) << "\n";
        return kExitUsage;
    } catch (...) {
        ReportFailure(shell, "mosaikon-convert", "", CurrentFailureDescription());
    }
    return kExitFailure;
}
