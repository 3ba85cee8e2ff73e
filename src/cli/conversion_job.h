#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "conversion/conversion_method.h"
#include "conversion/progress.h"
#include "conversion/vector_conversion.h"
#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/rgba_picture.h"
#include "ldraw/part_file_writer.h"
#include "ldraw/texture_part.h"
#include "shell/shell.h"
#include "sticker/sticker.h"

namespace mosaikon {

// How pictures are turned into part files: the command line's options, checked.
struct JobOptions {
    ConversionSettings settings;
    ConversionMethod method = ConversionMethod::Quick;
    VectorOptions vector;  // for the vector conversion
    // For a drawing: how far a flattened curve may stray from the curve, in LDraw units of the
    // sticker; none: a two-thousandth of the sticker's height.
    std::optional<double> drawingTolerance;
    PartFormat format = PartFormat::Classic;
    TextureOptions texture;  // for the textured sticker
    std::optional<std::int32_t> height;  // LDraw units; the picture's height in pixels when none
    ColourReduction reduction;
    ColourSet colours = ColourSet::Direct;
    bool acceptDamaged = false;
    // Whether a part file that is not a sticker part made by this program may be replaced.
    bool overwrite = false;
    // Given sticker details; the name and part identifier default to "Sticker: " + the part
    // file's base name and the base name.
    std::optional<std::string> name, partId;
    std::string author = "Mosaikon";
    std::string description = "Unofficial Model";
};

// What became of one picture, as the report lists it.
struct JobReport {
    std::string input, output;
    bool converted = false;
    std::string message;                // why it failed; empty when it was converted
    std::vector<std::string> warnings;  // and notes, such as colours reduced
    std::int32_t width = 0, height = 0;
    std::size_t colours = 0;  // distinct colour codes of the part file's picture
    // Each colour code of the picture's pixels that are not left out, with their count, the most
    // used first.
    std::vector<std::pair<std::int32_t, std::uint64_t>> codePixels;
    PartFileCounts counts;
    double seconds = 0;
};

// The part file's name without its ".dat" or ".mpd" (any case), without its folder.
std::string BaseName(const std::string& path);

// The sticker details for the part file: given ones, else the defaults from its name.
StickerDetails DetailsFor(const JobOptions& options, const std::string& partPath);

// The sticker the options ask for of a picture read, to be written at partPath.
StickerRequest RequestFor(const JobOptions& options, std::shared_ptr<const Picture> picture,
                          const std::string& partPath);

// The colour code of every pixel that is not left out, counted, the most used first.
std::vector<std::pair<std::int32_t, std::uint64_t>> CodePixels(const Picture& picture,
                                                              const ConversionSettings& settings);

// Loads the picture, converts it and writes the part file (and the preview bitmap, when a path
// is given); both are put in place together, only once both were written completely, so that a
// failed run leaves both files as they were. Every message goes to the shell's message box as
// it comes; progress is reported for the full and exact conversions.
JobReport ConvertPicture(Shell& shell, const std::string& picturePath, const std::string& partPath,
                         const JobOptions& options, const std::string& previewPath = {},
                         const ProgressCallback& progress = {});

}  // namespace mosaikon
