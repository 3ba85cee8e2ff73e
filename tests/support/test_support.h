#pragma once

#include <gmock/gmock.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ldraw/part_preview.h"
#include "image/conversion_settings.h"
#include "image/picture.h"
#include "image/quads.h"
#include "shell/shell.h"

namespace mosaikon {
// The matchers the tests use for texts and lists of messages.
using ::testing::AllOf;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;
}  // namespace mosaikon

namespace mosaikon::test {

using Bytes = std::vector<std::uint8_t>;

// A bitmap file to encode. Pixels are palette indices, listed from the top row of the picture
// down, left to right, whatever the file's row order.
struct BitmapLayout {
    int width = 1;
    int height = 1;
    int bitCount = 8;
    PaletteList palette{};
    std::vector<std::uint8_t> pixels{};
    int infoSize = 40;  // 12 (OS/2), 40, 52, 56, 108 or 124
    bool topDown = false;
    int compression = 0;  // 0, or 1 / 2 with rleData below
    Bytes rleData{};      // the compressed pixel data, written as it stands
    bool fillSizeImage = true;
    std::int32_t offBitsAdjust = 0;  // added to bfOffBits (and gap bytes inserted when positive)
    std::vector<std::uint32_t> colours{};  // 16, 24, 32 bits: each pixel's value, top row first
    std::vector<std::uint32_t> masks{};    // bit fields: after a 40-byte header, else inside it
};

Bytes EncodeBitmap(const BitmapLayout& layout);

// Rows of palette indices, top row first, as the picture shows them.
std::vector<std::uint8_t> PixelsTopDown(const Picture& picture);

// A picture model built directly; rows are given top row first.
Picture MakePicture(int width, int height, const PaletteList& palette,
                    const std::vector<std::uint8_t>& pixelsTopDown);

PaletteList GreyRamp(int count);

// A quadrilateral of the colour with its four corners.
LdrawQuad Quad(std::int32_t color, double x1, double y1, double x2, double y2, double x3, double y3,
               double x4, double y4);

// The colours of generated pictures: white, red, blue, green, cyan, near-white, black.
extern const PaletteList kTestColours;

// A generated picture of 1..maxSide pixels a side and two to six of kTestColours, of one kind
// picked at random: noise, checkerboard, stripes, diagonals, staircase, one-pixel lines, rings,
// random-walk blobs or overlapping rectangles, with single pixels of other colours sprinkled
// over a third of them.
Picture GeneratePicture(std::mt19937& random, int maxSide);

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);
// The lines of a file whose lines end in CR LF, such as the log.
std::vector<std::string> LinesOf(const std::filesystem::path& path);

// The three conversions, by the names the command line gives them.
using Conversion = bool (*)(Shell&, const Picture&, Quads&, const ConversionSettings&);
struct NamedConversion {
    std::string name;
    Conversion convert;
};
extern const NamedConversion kConversions[3];  // quick, full, exact

// A picture read by the reader, with the messages it showed.
struct Loaded {
    Picture picture;
    std::vector<std::string> boxes;
    bool failed = false;
};
Loaded Load(const Bytes& bytes, const std::string& name = "p.bmp");
// With MOSAIKON_FUZZ_SEEDS naming a folder, each file of up to 64 KB that the tests load is kept
// there too, as a seed of the fuzz targets (scripts/fuzz).
void KeepAsSeed(const Bytes& bytes);
Loaded LoadFile(const std::filesystem::path& path);

// Runs the step with the disk "full" after the given number of bytes written to any one file.
void WithFullDisk(std::uint64_t bytes, const std::function<void()>& step);

// The polygons of a written part file's picture, back in picture units (scale: LDraw units per
// pixel): the classic layout's quadrilaterals, or the sticker's face (the polygons at Y = -0.25,
// listed from their last corner, as the writer lists them to face up).
// A sticker is centred on what its face covers, which pixels left out at its edges make smaller
// than the picture: with alignWith, the face is moved to where those polygons lie.
std::vector<ViewPolygon> PolygonsOfFile(const std::string& text, PartFormat format,
                                        const Picture& picture, double scale,
                                        const std::vector<ViewPolygon>* alignWith = nullptr);

// How many polygons a part file of these quadrilaterals holds in the layout (the library forms
// with their face made clean, and their backing).
std::uint64_t PolygonsOfPart(const Picture& picture, const Quads& quads, PartFormat format);

// What a step fails with, or "no failure".
std::string FailureOf(const std::function<void()>& step);

// Runs a shell command quietly; whether it succeeded.
bool Succeeds(const std::string& command);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A shell whose message boxes are recorded and whose log is a file in its own program folder.
class RecordingShell {
public:
    RecordingShell();
    Shell shell;
    std::vector<std::string> boxes;
    std::vector<MessageKind> kinds;
    TempFolder folder;
    std::vector<std::string> LogLines();
};

}  // namespace mosaikon::test
