#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/rgba_picture.h"

namespace mosaikon {

// A colour of the LDraw colour definitions (LDConfig.ldr): its code, name and value.
struct LdrawColour {
    std::int32_t code = 0;
    std::string name;
    std::uint8_t red = 0, green = 0, blue = 0;
};

// A colour in CIELAB (D65 white), as seen.
struct Lab {
    double L = 0, a = 0, b = 0;
};

// sRGB components (0 to 255) in CIELAB.
Lab SrgbToLab(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// The CIEDE2000 colour difference of two colours (kL = kC = kH = 1).
double Ciede2000(const Lab& first, const Lab& second);

// The solid, opaque colours of LDraw.org's LDConfig.ldr of 2026-05-29, built in.
const std::vector<LdrawColour>& BuiltInLdrawColours();

// The solid, opaque colours an LDConfig.ldr defines: its !COLOUR lines without ALPHA, LUMINANCE
// or a material (chrome, pearlescent, metal, rubber, ...), less the meta colours 16 and 24.
// Throws a Failure naming what is wrong when the text defines none or a line is damaged.
std::vector<LdrawColour> ParseLdConfig(const std::string& text);

// The LDraw colours in use: those of the user's own LDraw library when one is found
// ($LDRAWDIR, then ~/ldraw, ~/.ldraw and /usr/share/ldraw), else the built-in ones. A library
// without an LDConfig.ldr, or with a damaged one, gives the built-in colours and a warning.
struct LdrawColourTable {
    std::vector<LdrawColour> colours;
    std::string source;   // the file read, or "built in"
    std::string warning;  // why a library's file was not used; empty otherwise
};
LdrawColourTable LoadLdrawColours(const std::vector<std::string>& libraryFolders);
std::vector<std::string> LdrawLibraryFolders();

// The table loaded once for the whole run from the usual folders (thread-safe).
const LdrawColourTable& LdrawColours();

// The colours of a colour set: the 16 core codes (0 to 15) or every solid colour, as the table
// has them; empty for direct colours.
std::vector<LdrawColour> ColoursOfSet(const LdrawColourTable& table, ColourSet set);

// The name of a colour code: an LDraw colour's, or "direct" for a direct colour.
std::string ColourName(const LdrawColourTable& table, std::int32_t code);

// The picture given a palette of LDraw colours of the set: each of its colours gets the code
// nearest in CIEDE2000. With reduction.mostColours below the number of codes that would make, the
// codes that serve the picture best are kept (the fewest colours at the least mean difference, by
// dropping one code at a time, the one whose pixels lose least). With reduction.dither, the
// picture is dithered to those codes, the error diffused in CIELAB. Each palette entry is one
// code (picture.Codes), so that pixels of one code are one colour for every conversion.
// The picture's pixels as decoded colours (transparent pixels clear).
RgbaPicture RgbaOf(const Picture& picture);

// Where given, progress is told how far the matching has got (0 to 1).
void RecolourToLdraw(const RgbaPicture& rgba, Picture& picture, const std::vector<LdrawColour>& set,
                     const ColourReduction& reduction, const ReadProgress* progress = nullptr);

}  // namespace mosaikon
