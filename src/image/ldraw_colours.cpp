#include "image/ldraw_colours.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <set>
#include <sstream>

#include "shell/failure.h"

namespace mosaikon {

namespace {

double Linear(std::uint8_t component) {
    const double c = component / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double LabCurve(double t) {
    constexpr double kEdge = 216.0 / 24389.0;
    constexpr double kSlope = 24389.0 / 27.0;
    return t > kEdge ? std::cbrt(t) : (kSlope * t + 16) / 116;
}

double Degrees(double radians) {
    return radians * 180 / std::numbers::pi;
}
double Radians(double degrees) {
    return degrees * std::numbers::pi / 180;
}

// The hue angle of a point of the a-b plane, 0 to 360 degrees; 0 for the grey axis.
double Hue(double a, double b) {
    if (a == 0 && b == 0) return 0;
    const double h = Degrees(std::atan2(b, a));
    return h < 0 ? h + 360 : h;
}

bool MaterialOrTransparent(const std::string& word) {
    static const std::set<std::string> kWords = {
        "ALPHA",  "LUMINANCE", "CHROME",         "PEARLESCENT", "METAL",
        "RUBBER", "MATERIAL",  "MATTE_METALLIC", "GLITTER",     "SPECKLE"};
    return kWords.count(word) > 0;
}

std::uint8_t HexByte(const std::string& text, std::size_t at) {
    return static_cast<std::uint8_t>(std::stoi(text.substr(at, 2), nullptr, 16));
}

}  // namespace

Lab SrgbToLab(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const double r = Linear(red), g = Linear(green), b = Linear(blue);
    // sRGB (D65) to XYZ, relative to the D65 white.
    const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
    const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
    const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
    const double fx = LabCurve(x), fy = LabCurve(y), fz = LabCurve(z);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

double Ciede2000(const Lab& first, const Lab& second) {
    const double c1 = std::hypot(first.a, first.b), c2 = std::hypot(second.a, second.b);
    const double meanC = (c1 + c2) / 2;
    const double meanC7 = std::pow(meanC, 7);
    const double g = 0.5 * (1 - std::sqrt(meanC7 / (meanC7 + std::pow(25.0, 7))));
    const double a1 = (1 + g) * first.a, a2 = (1 + g) * second.a;
    const double cp1 = std::hypot(a1, first.b), cp2 = std::hypot(a2, second.b);
    const double hp1 = Hue(a1, first.b), hp2 = Hue(a2, second.b);

    const double deltaL = second.L - first.L;
    const double deltaC = cp2 - cp1;
    double deltaHue = 0;
    if (cp1 * cp2 != 0) {
        deltaHue = hp2 - hp1;
        if (deltaHue > 180) deltaHue -= 360;
        if (deltaHue < -180) deltaHue += 360;
    }
    const double deltaH = 2 * std::sqrt(cp1 * cp2) * std::sin(Radians(deltaHue / 2));

    const double meanL = (first.L + second.L) / 2;
    const double meanCp = (cp1 + cp2) / 2;
    double meanHue = hp1 + hp2;
    if (cp1 * cp2 != 0) {
        if (std::fabs(hp1 - hp2) > 180) meanHue += meanHue < 360 ? 360 : -360;
        meanHue /= 2;
    }
    const double t =
        1 - 0.17 * std::cos(Radians(meanHue - 30)) + 0.24 * std::cos(Radians(2 * meanHue)) +
        0.32 * std::cos(Radians(3 * meanHue + 6)) - 0.20 * std::cos(Radians(4 * meanHue - 63));
    const double rotation = 30 * std::exp(-std::pow((meanHue - 275) / 25, 2));
    const double meanCp7 = std::pow(meanCp, 7);
    const double rc = 2 * std::sqrt(meanCp7 / (meanCp7 + std::pow(25.0, 7)));
    const double l50 = (meanL - 50) * (meanL - 50);
    const double sl = 1 + 0.015 * l50 / std::sqrt(20 + l50);
    const double sc = 1 + 0.045 * meanCp;
    const double sh = 1 + 0.015 * meanCp * t;
    const double rt = -std::sin(Radians(2 * rotation)) * rc;
    const double l = deltaL / sl, c = deltaC / sc, h = deltaH / sh;
    return std::sqrt(l * l + c * c + h * h + rt * c * h);
}

std::vector<LdrawColour> ParseLdConfig(const std::string& text) {
    std::vector<LdrawColour> colours;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        std::istringstream words(line);
        std::string type, meta;
        if (!(words >> type >> meta) || type != "0" || meta != "!COLOUR") continue;
        LdrawColour colour;
        std::string word, value;
        bool hasCode = false, hasValue = false, plain = true;
        words >> colour.name;
        while (words >> word) {
            if (word == "CODE" || word == "VALUE" || word == "EDGE" || word == "ALPHA" ||
                word == "LUMINANCE") {
                std::string argument;
                if (!(words >> argument)) {
                    Fail("line " + std::to_string(number) + ": " + word + " has no value");
                }
                if (word == "CODE") {
                    char* end = nullptr;
                    const long code = std::strtol(argument.c_str(), &end, 10);
                    if (*end != '\0' || code < 0 || code > 0x1FFFFFF) {
                        Fail("line " + std::to_string(number) + ": the code " + argument +
                             " is not a number");
                    }
                    colour.code = static_cast<std::int32_t>(code);
                    hasCode = true;
                } else if (word == "VALUE") {
                    value = argument;
                    hasValue = true;
                }
            }
            if (MaterialOrTransparent(word)) plain = false;
        }
        if (!hasCode || !hasValue || colour.name.empty()) {
            Fail("line " + std::to_string(number) + ": a colour without its name, code or value");
        }
        if (value.size() != 7 || value[0] != '#' ||
            value.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos) {
            Fail("line " + std::to_string(number) + ": the value " + value + " is not #RRGGBB");
        }
        if (!plain || colour.code == 16 || colour.code == 24) continue;
        colour.red = HexByte(value, 1), colour.green = HexByte(value, 3),
        colour.blue = HexByte(value, 5);
        colours.push_back(std::move(colour));
    }
    if (colours.empty()) Fail("it defines no solid colour");
    return colours;
}

std::vector<std::string> LdrawLibraryFolders() {
    std::vector<std::string> folders;
    if (const char* set = std::getenv("LDRAWDIR"); set && *set) folders.emplace_back(set);
    if (const char* home = std::getenv("HOME"); home && *home) {
        folders.push_back(std::string(home) + "/ldraw");
        folders.push_back(std::string(home) + "/.ldraw");
    }
    folders.emplace_back("/usr/share/ldraw");
    return folders;
}

LdrawColourTable LoadLdrawColours(const std::vector<std::string>& libraryFolders) {
    LdrawColourTable table{BuiltInLdrawColours(), "built in", ""};
    namespace fs = std::filesystem;
    for (std::size_t i = 0; i < libraryFolders.size(); ++i) {
        const std::string& folder = libraryFolders[i];
        std::error_code error;
        if (!fs::is_directory(folder, error)) {
            // The folder named by $LDRAWDIR (the first) is said when it is none.
            if (i == 0 && fs::exists(folder, error) && std::getenv("LDRAWDIR") &&
                folder == std::getenv("LDRAWDIR")) {
                table.warning = "LDRAWDIR names " + folder +
                                ", which is not a folder; it is passed over";
            }
            continue;
        }
        // The first library found is the user's; its file decides, however it is written.
        for (const char* name : {"LDConfig.ldr", "ldconfig.ldr", "LDCONFIG.LDR"}) {
            const fs::path path = fs::path(folder) / name;
            if (!fs::is_regular_file(path, error)) continue;
            try {
                if (fs::file_size(path) > (16u << 20)) Fail("it is larger than 16 MB");
                std::ifstream file(path, std::ios::binary);
                std::ostringstream text;
                if (!file) Fail(std::string("it cannot be read: ") + std::strerror(errno));
                text << file.rdbuf();
                if (file.bad()) Fail(std::string("it cannot be read: ") + std::strerror(errno));
                table.colours = ParseLdConfig(text.str());
                table.source = path.string();
            } catch (const std::exception& failure) {
                table.warning = path.string() + " cannot be used (" + failure.what() +
                                "); the built-in LDraw colours of 2026-05-29 are used";
            }
            return table;
        }
        table.warning = (table.warning.empty() ? "" : table.warning + "; ") + "The LDraw library " +
                        folder +
                        " has no LDConfig.ldr; the built-in LDraw colours of 2026-05-29 are used";
        return table;
    }
    return table;
}

const LdrawColourTable& LdrawColours() {
    static const LdrawColourTable table = LoadLdrawColours(LdrawLibraryFolders());
    return table;
}

std::vector<LdrawColour> ColoursOfSet(const LdrawColourTable& table, ColourSet set) {
    std::vector<LdrawColour> colours;
    if (set == ColourSet::Direct) return colours;
    for (const LdrawColour& colour : table.colours) {
        if (set == ColourSet::Ldraw || (colour.code >= 0 && colour.code < 16)) {
            colours.push_back(colour);
        }
    }
    return colours;
}

std::string ColourName(const LdrawColourTable& table, std::int32_t code) {
    for (const LdrawColour& colour : table.colours) {
        if (colour.code == code) return colour.name;
    }
    for (const LdrawColour& colour : BuiltInLdrawColours()) {
        if (colour.code == code) return colour.name;
    }
    return "direct";
}

namespace {

// The colour a pixel of a picture with a palette shows, as a decoded pixel.
void PutEntry(std::uint8_t* out, const PaletteEntry& entry, bool transparent) {
    out[0] = entry.Red, out[1] = entry.Green, out[2] = entry.Blue;
    out[3] = transparent ? 0 : 255;
}

double LabDistance(const Lab& x, const Lab& y) {
    return (x.L - y.L) * (x.L - y.L) + (x.a - y.a) * (x.a - y.a) + (x.b - y.b) * (x.b - y.b);
}

}  // namespace

RgbaPicture RgbaOf(const Picture& picture) {
    RgbaPicture rgba;
    rgba.width = picture.Width();
    rgba.height = picture.Height();
    rgba.rgba.assign(static_cast<std::size_t>(rgba.width) * rgba.height * 4, 0);
    std::uint8_t* out = rgba.rgba.data();
    for (std::int32_t y = rgba.height; y >= 1; --y) {
        for (std::int32_t x = 1; x <= rgba.width; ++x, out += 4) {
            const std::uint8_t index = picture.Pixels(x, y);
            const PaletteEntry entry =
                index < picture.Palette.size() ? picture.Palette[index] : PaletteEntry{};
            PutEntry(out, entry, index == picture.TransparentIndex);
        }
    }
    return rgba;
}

void RecolourToLdraw(const RgbaPicture& rgba, Picture& picture, const std::vector<LdrawColour>& set,
                     const ColourReduction& reduction, const ReadProgress* progress) {
    if (set.empty()) Fail("No LDraw colours to match the picture with");
    // The picture's own colours first, 256 at the most: each is matched once.
    Picture own;
    // The picture's own palette takes nearly all of the time.
    const ReadProgress owning = [progress](double done) { (*progress)(0.9 * done); };
    const std::int64_t sourceColours =
        GivePalette(rgba, own, {256, false}, progress ? &owning : nullptr);
    const std::size_t entries = own.Palette.size();
    std::vector<std::uint64_t> count(entries, 0);
    for (std::int32_t y = 1; y <= own.Height(); ++y) {
        const std::uint8_t* row = own.Row(y);
        for (std::int32_t x = 0; x < own.Width(); ++x) ++count[row[x]];
    }
    std::vector<Lab> codeLab;
    for (const LdrawColour& colour : set) {
        codeLab.push_back(SrgbToLab(colour.red, colour.green, colour.blue));
    }
    // difference[e * codes + c]: how far entry e is from code c.
    const std::size_t codes = set.size();
    std::vector<double> difference(entries * codes);
    for (std::size_t e = 0; e < entries; ++e) {
        const PaletteEntry& entry = own.Palette[e];
        const Lab lab = SrgbToLab(entry.Red, entry.Green, entry.Blue);
        for (std::size_t c = 0; c < codes; ++c)
            difference[e * codes + c] = Ciede2000(lab, codeLab[c]);
    }
    const auto transparent = [&](std::size_t e) {
        return static_cast<int>(e) == own.TransparentIndex || count[e] == 0;
    };
    std::vector<bool> kept(codes, false);
    const auto nearest = [&](std::size_t e) {
        std::size_t best = codes;
        for (std::size_t c = 0; c < codes; ++c) {
            if (kept[c] &&
                (best == codes || difference[e * codes + c] < difference[e * codes + best])) {
                best = c;
            }
        }
        return best;
    };
    // Every code some colour is nearest to, then the fewest that serve the picture best.
    std::fill(kept.begin(), kept.end(), true);
    std::vector<bool> used(codes, false);
    for (std::size_t e = 0; e < entries; ++e) {
        if (!transparent(e)) used[nearest(e)] = true;
    }
    // Dithered, every code of the set may take part in the mixes; else only those nearest to
    // some colour of the picture.
    if (!reduction.dither) kept = used;
    // With a transparent entry, 255 codes at most, so that every entry has its own index.
    const auto most = static_cast<std::size_t>(
        std::clamp(reduction.mostColours, 1, own.TransparentIndex >= 0 ? 255 : 256));
    // Dropping codes one at a time: the code whose pixels, moved to their next best, add the
    // least difference. Each colour keeps its codes in order of difference (ties in the set's
    // order), so that its best and second best are the first two still kept; only the colours
    // whose best or second best code is dropped move on, and only the sums of the codes they
    // move between are added up again (in the colours' order, as a full count would).
    std::size_t left = static_cast<std::size_t>(std::count(kept.begin(), kept.end(), true));
    if (left > most) {
        std::vector<std::uint32_t> byDifference(entries * codes);
        std::vector<std::size_t> bestAt(entries, 0), secondAt(entries, 0);
        const auto advance = [&](std::size_t e, std::size_t at) {
            while (at < codes && !kept[byDifference[e * codes + at]]) ++at;
            return at;
        };
        std::vector<std::vector<std::uint32_t>> bestOf(codes);  // the colours each code is best for
        for (std::size_t e = 0; e < entries; ++e) {
            if (transparent(e)) continue;
            std::uint32_t* order = byDifference.data() + e * codes;
            for (std::size_t c = 0; c < codes; ++c) order[c] = static_cast<std::uint32_t>(c);
            std::stable_sort(order, order + codes, [&](std::uint32_t a, std::uint32_t b) {
                return difference[e * codes + a] < difference[e * codes + b];
            });
            bestAt[e] = advance(e, 0);
            secondAt[e] = advance(e, bestAt[e] + 1);
            bestOf[order[bestAt[e]]].push_back(static_cast<std::uint32_t>(e));
        }
        std::vector<double> added(codes, 0);
        const auto sum = [&](std::size_t c) {
            double total = 0;
            for (const std::uint32_t e : bestOf[c]) {
                const std::uint32_t* order = byDifference.data() + e * codes;
                const double second = secondAt[e] < codes ? difference[e * codes + order[secondAt[e]]]
                                                          : difference[e * codes + c];
                total += static_cast<double>(count[e]) * (second - difference[e * codes + c]);
            }
            added[c] = total;
        };
        for (std::size_t c = 0; c < codes; ++c) sum(c);
        std::vector<std::uint8_t> again(codes, 0);
        std::vector<std::size_t> toSum;
        for (; left > most; --left) {
            std::size_t drop = codes;
            for (std::size_t c = 0; c < codes; ++c) {
                if (kept[c] && (drop == codes || added[c] < added[drop])) drop = c;
            }
            kept[drop] = false;
            toSum.clear();
            const auto mark = [&](std::size_t c) {
                if (!again[c]) again[c] = 1, toSum.push_back(c);
            };
            for (std::size_t e = 0; e < entries; ++e) {
                if (transparent(e)) continue;
                const std::uint32_t* order = byDifference.data() + e * codes;
                const std::size_t best = order[bestAt[e]];
                if (best == drop) {
                    bestAt[e] = secondAt[e];
                    secondAt[e] = advance(e, bestAt[e] + 1);
                    const std::size_t now = order[bestAt[e]];
                    bestOf[now].push_back(static_cast<std::uint32_t>(e));
                    mark(now);
                } else if (secondAt[e] < codes && order[secondAt[e]] == drop) {
                    secondAt[e] = advance(e, secondAt[e] + 1);
                    mark(best);
                }
            }
            bestOf[drop].clear();
            for (const std::size_t c : toSum) {
                again[c] = 0;
                std::sort(bestOf[c].begin(), bestOf[c].end());
                sum(c);
            }
        }
    }
    // The new palette: the kept codes, in the set's order, and the transparent entry.
    std::vector<int> entryOfCode(codes, -1);
    Picture result;
    result.fileHeader = own.fileHeader;
    result.infoHeader = own.infoHeader;
    result.SourceColours = sourceColours;
    for (std::size_t c = 0; c < codes; ++c) {
        if (!kept[c]) continue;
        entryOfCode[c] = static_cast<int>(result.Palette.size());
        result.Palette.push_back({set[c].blue, set[c].green, set[c].red, 0});
        result.Codes.push_back(set[c].code);
    }
    if (own.TransparentIndex >= 0) {
        result.TransparentIndex = static_cast<int>(result.Palette.size());
        result.Palette.push_back({255, 255, 255, 0});
        result.Codes.push_back(-1);
    }
    result.pixelGrid.assign(own.pixelGrid.size(), 0);
    const std::int32_t width = own.Width(), height = own.Height();
    if (!reduction.dither) {
        std::vector<std::uint8_t> remap(entries, 0);
        for (std::size_t e = 0; e < entries; ++e) {
            remap[e] = static_cast<std::uint8_t>(static_cast<int>(e) == own.TransparentIndex
                                                     ? result.TransparentIndex
                                                 : count[e] == 0 ? 0
                                                                 : entryOfCode[nearest(e)]);
        }
        for (std::int32_t y = 1; y <= height; ++y) {
            const std::uint8_t* in = own.Row(y);
            std::uint8_t* out = result.Row(y);
            for (std::int32_t x = 0; x < width; ++x) out[x] = remap[in[x]];
        }
    } else {
        // Error diffusion (Floyd and Steinberg) in CIELAB, from the picture's own colours.
        std::vector<std::size_t> keptCodes;
        for (std::size_t c = 0; c < codes; ++c) {
            if (kept[c]) keptCodes.push_back(c);
        }
        std::vector<Lab> here(static_cast<std::size_t>(width) + 2), below(here.size());
        for (std::int32_t top = 0; top < height; ++top) {
            std::fill(below.begin(), below.end(), Lab{});
            std::uint8_t* out = result.Row(height - top);
            const std::uint8_t* in = rgba.rgba.data() + static_cast<std::size_t>(top) * width * 4;
            for (std::int32_t x = 0; x < width; ++x, in += 4) {
                if (in[3] < 128) {
                    out[x] = static_cast<std::uint8_t>(result.TransparentIndex);
                    continue;
                }
                const auto onWhite = [alpha = in[3]](std::uint8_t c) {
                    return static_cast<std::uint8_t>((c * alpha + 255 * (255 - alpha) + 127) / 255);
                };
                const Lab seen = SrgbToLab(onWhite(in[0]), onWhite(in[1]), onWhite(in[2]));
                const Lab& carried = here[static_cast<std::size_t>(x) + 1];
                const Lab wanted{seen.L + carried.L, seen.a + carried.a, seen.b + carried.b};
                std::size_t best = keptCodes.front();
                for (const std::size_t c : keptCodes) {
                    if (LabDistance(wanted, codeLab[c]) < LabDistance(wanted, codeLab[best]))
                        best = c;
                }
                out[x] = static_cast<std::uint8_t>(entryOfCode[best]);
                const Lab error{wanted.L - codeLab[best].L, wanted.a - codeLab[best].a,
                                wanted.b - codeLab[best].b};
                const auto spread = [&error](Lab& to, double share) {
                    to.L += error.L * share, to.a += error.a * share, to.b += error.b * share;
                };
                const auto k = static_cast<std::size_t>(x) + 1;
                spread(here[k + 1], 7.0 / 16);
                spread(below[k - 1], 3.0 / 16);
                spread(below[k], 5.0 / 16);
                spread(below[k + 1], 1.0 / 16);
            }
            std::swap(here, below);
        }
    }
    picture = std::move(result);
}

}  // namespace mosaikon
