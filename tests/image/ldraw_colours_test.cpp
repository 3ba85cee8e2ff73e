// The LDraw colours: CIEDE2000 against its published test pairs, the colour definitions read
// from LDConfig.ldr or built in, and pictures recoloured to the codes that serve them best.

#include "image/ldraw_colours.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <set>

#include "conversion/quick_conversion.h"
#include "image/bitmap_reader.h"
#include "image/colours.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

// Sharma, Wu and Dalal, "The CIEDE2000 color-difference formula: implementation notes,
// supplementary test data, and mathematical observations", Color Research and Application 30(1),
// 2005, table 1: L1 a1 b1, L2 a2 b2, difference.
constexpr double kSharmaPairs[34][7] = {
    {50.0000, 2.6772, -79.7751, 50.0000, 0.0000, -82.7485, 2.0425},
    {50.0000, 3.1571, -77.2803, 50.0000, 0.0000, -82.7485, 2.8615},
    {50.0000, 2.8361, -74.0200, 50.0000, 0.0000, -82.7485, 3.4412},
    {50.0000, -1.3802, -84.2814, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, -1.1848, -84.8006, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, -0.9009, -85.5211, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, 0.0000, 0.0000, 50.0000, -1.0000, 2.0000, 2.3669},
    {50.0000, -1.0000, 2.0000, 50.0000, 0.0000, 0.0000, 2.3669},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0009, 7.1792},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0010, 7.1792},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0011, 7.2195},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0012, 7.2195},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0009, -2.4900, 4.8045},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0010, -2.4900, 4.8045},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0011, -2.4900, 4.7461},
    {50.0000, 2.5000, 0.0000, 50.0000, 0.0000, -2.5000, 4.3065},
    {50.0000, 2.5000, 0.0000, 73.0000, 25.0000, -18.0000, 27.1492},
    {50.0000, 2.5000, 0.0000, 61.0000, -5.0000, 29.0000, 22.8977},
    {50.0000, 2.5000, 0.0000, 56.0000, -27.0000, -3.0000, 31.9030},
    {50.0000, 2.5000, 0.0000, 58.0000, 24.0000, 15.0000, 19.4535},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.1736, 0.5854, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.2972, 0.0000, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 1.8634, 0.5757, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.2592, 0.3350, 1.0000},
    {60.2574, -34.0099, 36.2677, 60.4626, -34.1751, 39.4387, 1.2644},
    {63.0109, -31.0961, -5.8663, 62.8187, -29.7946, -4.0864, 1.2630},
    {61.2901, 3.7196, -5.3901, 61.4292, 2.2480, -4.9620, 1.8731},
    {35.0831, -44.1164, 3.7933, 35.0232, -40.0716, 1.5901, 1.8645},
    {22.7233, 20.0904, -46.6940, 23.0331, 14.9730, -42.5619, 2.0373},
    {36.4612, 47.8580, 18.3852, 36.2715, 50.5065, 21.2231, 1.4146},
    {90.8027, -2.0831, 1.4410, 91.1528, -1.6435, 0.0447, 1.4441},
    {90.9257, -0.5406, -0.9208, 88.6381, -0.8985, -0.7239, 1.5381},
    {6.7747, -0.2908, -2.4247, 5.8714, -0.0985, -2.2286, 0.6377},
    {2.0776, 0.0795, -1.1350, 0.9033, -0.0636, -0.5514, 0.9082}};

TEST(Ciede2000, GivesThePublishedDifferencesOfEveryTestPairInBothOrders) {
    for (const auto& pair : kSharmaPairs) {
        const Lab first{pair[0], pair[1], pair[2]}, second{pair[3], pair[4], pair[5]};
        EXPECT_NEAR(Ciede2000(first, second), pair[6], 0.00005) << pair[0] << " " << pair[1];
        EXPECT_NEAR(Ciede2000(second, first), pair[6], 0.00005);
    }
    // sRGB to CIELAB at its corners: white, and the red primary.
    const Lab white = SrgbToLab(255, 255, 255), red = SrgbToLab(255, 0, 0);
    EXPECT_NEAR(white.L, 100, 0.001);
    EXPECT_NEAR(white.a, 0, 0.001);
    EXPECT_NEAR(white.b, 0, 0.001);
    EXPECT_NEAR(red.L, 53.2408, 0.001);
    EXPECT_NEAR(red.a, 80.0925, 0.001);
    EXPECT_NEAR(red.b, 67.2032, 0.001);
}

TEST(LdrawColourTable, TheBuiltInColoursAreThoseOfLDConfigAndAFoundFileWins) {
    const std::string text = test::ReadText(MOSAIKON_TEST_DATA "/LDConfig.ldr");
    const std::vector<LdrawColour> parsed = ParseLdConfig(text);
    const std::vector<LdrawColour>& built = BuiltInLdrawColours();
    ASSERT_EQ(parsed.size(), built.size());
    EXPECT_EQ(built.size(), 145u);  // every solid, opaque colour but the meta colours 16 and 24
    for (std::size_t i = 0; i < built.size(); ++i) {
        EXPECT_EQ(parsed[i].code, built[i].code);
        EXPECT_EQ(parsed[i].name, built[i].name);
        EXPECT_EQ(std::tie(parsed[i].red, parsed[i].green, parsed[i].blue),
                  std::tie(built[i].red, built[i].green, built[i].blue));
    }
    EXPECT_EQ(ColourName(LdrawColourTable{built, "", ""}, 4), "Red");
    EXPECT_EQ(ColourName(LdrawColourTable{built, "", ""}, 0x2FF0000), "direct");

    // A library with its own LDConfig.ldr; one without; one whose file is damaged.
    test::TempFolder folder;
    const auto library = folder.path() / "ldraw";
    std::filesystem::create_directories(library);
    const std::string own =
        "0 !COLOUR Red CODE 4 VALUE #FF0000 EDGE #333333\n"
        "0 !COLOUR Glass CODE 47 VALUE #FCFCFC EDGE #C3C3C3 ALPHA 128\n";
    test::WriteBytes(library / "LDConfig.ldr", test::Bytes(own.begin(), own.end()));
    LdrawColourTable table = LoadLdrawColours({library.string(), "/nowhere"});
    ASSERT_EQ(table.colours.size(), 1u);
    EXPECT_EQ(table.colours[0].red, 255);
    EXPECT_EQ(table.source, (library / "LDConfig.ldr").string());
    EXPECT_TRUE(table.warning.empty());
    for (const std::string damaged : {"0 !COLOUR Red CODE four VALUE #FF0000\n",
                                      "0 !COLOUR Red CODE 4 VALUE red\n", "0 no colours here\n"}) {
        test::WriteBytes(library / "LDConfig.ldr", test::Bytes(damaged.begin(), damaged.end()));
        table = LoadLdrawColours({library.string()});
        EXPECT_EQ(table.colours.size(), 145u) << damaged;
        EXPECT_THAT(table.warning, HasSubstr("LDConfig.ldr cannot be used ("));
    }
    std::filesystem::remove(library / "LDConfig.ldr");
    table = LoadLdrawColours({"/nowhere", library.string()});
    EXPECT_EQ(table.colours.size(), 145u);
    EXPECT_EQ(table.warning, "The LDraw library " + library.string() +
                                 " has no LDConfig.ldr; the built-in LDraw colours of 2026-05-29 "
                                 "are used");
    EXPECT_TRUE(LoadLdrawColours({"/nowhere"}).warning.empty());
}

// A picture of random colours in blocks, some transparent.
RgbaPicture RandomPicture(std::mt19937& random, int width, int height) {
    RgbaPicture rgba;
    rgba.width = width, rgba.height = height;
    rgba.rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);
    std::uint8_t colours[12][3];
    for (auto& colour : colours) {
        for (auto& component : colour) component = static_cast<std::uint8_t>(random());
    }
    for (int i = 0; i < width * height; ++i) {
        const auto& colour = colours[(i % width / 3 + i / width / 2 * 5) % 12];
        std::uint8_t* p = rgba.rgba.data() + static_cast<std::size_t>(i) * 4;
        p[0] = colour[0], p[1] = colour[1], p[2] = colour[2];
        p[3] = i % 17 == 0 ? 0 : 255;
    }
    return rgba;
}

TEST(RecolourToLdraw, EachColourGetsTheNearestCodeAndFewerCodesServeBest) {
    const std::vector<LdrawColour>& all = BuiltInLdrawColours();
    std::vector<Lab> labs;
    for (const LdrawColour& colour : all)
        labs.push_back(SrgbToLab(colour.red, colour.green, colour.blue));
    std::mt19937 random(24);
    for (int round = 0; round < 6; ++round) {
        const RgbaPicture rgba = RandomPicture(random, 30, 20);
        Picture picture;
        RecolourToLdraw(rgba, picture, all, {256, false});
        // Every opaque pixel has the code nearest in CIEDE2000 to its colour; every entry is
        // one code, and the entry's colour is the code's.
        ASSERT_EQ(picture.Codes.size(), picture.Palette.size());
        std::set<std::int32_t> codes;
        for (int i = 0; i < 30 * 20; ++i) {
            const std::uint8_t* p = rgba.rgba.data() + static_cast<std::size_t>(i) * 4;
            const std::uint8_t index = picture.Pixels(i % 30 + 1, 20 - i / 30);
            if (p[3] == 0) {
                ASSERT_EQ(index, picture.TransparentIndex);
                continue;
            }
            const Lab lab = SrgbToLab(p[0], p[1], p[2]);
            std::size_t nearest = 0;
            for (std::size_t c = 0; c < all.size(); ++c) {
                if (Ciede2000(lab, labs[c]) < Ciede2000(lab, labs[nearest])) nearest = c;
            }
            const LdrawColour* best = &all[nearest];
            ASSERT_EQ(picture.Codes.at(index), best->code) << "pixel " << i;
            EXPECT_EQ(picture.Palette[index],
                      (PaletteEntry{best->blue, best->green, best->red, 0}));
            codes.insert(best->code);
        }
        // Fewer codes: never more than asked, each a code the picture used, and the mean
        // difference grows as fewer are kept.
        double previous = 0;
        for (const int most : {12, 8, 4, 2}) {
            Picture fewer;
            RecolourToLdraw(rgba, fewer, all, {most, false});
            std::set<std::int32_t> kept(fewer.Codes.begin(), fewer.Codes.end());
            kept.erase(-1);
            EXPECT_LE(kept.size(), static_cast<std::size_t>(most));
            for (const std::int32_t code : kept) EXPECT_TRUE(codes.count(code)) << code;
            double total = 0;
            for (int i = 0; i < 30 * 20; ++i) {
                const std::uint8_t* p = rgba.rgba.data() + static_cast<std::size_t>(i) * 4;
                if (p[3] == 0) continue;
                const PaletteEntry& e = fewer.Palette[fewer.Pixels(i % 30 + 1, 20 - i / 30)];
                total += Ciede2000(SrgbToLab(p[0], p[1], p[2]), SrgbToLab(e.Red, e.Green, e.Blue));
            }
            EXPECT_GE(total, previous - 1e-9) << most;
            previous = total;
        }
    }
}

TEST(RecolourToLdraw, DitheringMixesTheKeptCodesToTheColourBetweenThem) {
    // A flat grey between the core set's black and white, dithered to those two codes: about
    // as many of each as its lightness asks for, and nothing else.
    const std::vector<LdrawColour> core =
        ColoursOfSet({BuiltInLdrawColours(), "", ""}, ColourSet::LdrawCore);
    ASSERT_EQ(core.size(), 16u);
    std::vector<LdrawColour> blackAndWhite;
    for (const LdrawColour& colour : core) {
        if (colour.code == 0 || colour.code == 15) blackAndWhite.push_back(colour);
    }
    RgbaPicture grey;
    grey.width = grey.height = 40;
    grey.rgba.assign(40 * 40 * 4, 255);
    for (std::size_t i = 0; i < grey.rgba.size(); i += 4)
        grey.rgba[i] = grey.rgba[i + 1] = grey.rgba[i + 2] = 128;
    Picture plain, dithered;
    RecolourToLdraw(grey, plain, blackAndWhite, {256, false});
    RecolourToLdraw(grey, dithered, blackAndWhite, {256, true});
    EXPECT_EQ(plain.Palette.size(), 1u);  // one nearest code for one colour
    ASSERT_EQ(dithered.Palette.size(), 2u);
    double lightness = 0;
    for (std::int32_t y = 1; y <= 40; ++y) {
        for (std::int32_t x = 1; x <= 40; ++x) {
            const PaletteEntry& e = dithered.Palette[dithered.Pixels(x, y)];
            lightness += SrgbToLab(e.Red, e.Green, e.Blue).L;
        }
    }
    EXPECT_NEAR(lightness / 1600, SrgbToLab(128, 128, 128).L, 1.5);
}

// Neighbouring pixels of different colours but one code are one run of the quick conversion;
// the primary colours keep their runs (and bytes) as ever.
TEST(RecolourToLdraw, EqualCodesMakeOneRunAndNoOtherCodeAppears) {
    // Two shades of red side by side in every row.
    RgbaPicture rgba;
    rgba.width = 8, rgba.height = 2;
    rgba.rgba.assign(8 * 2 * 4, 255);
    for (int i = 0; i < 16; ++i) {
        rgba.rgba[static_cast<std::size_t>(i) * 4 + 0] = i % 8 < 4 ? 200 : 190;
        rgba.rgba[static_cast<std::size_t>(i) * 4 + 1] = 0;
        rgba.rgba[static_cast<std::size_t>(i) * 4 + 2] = 0;
    }
    Picture own, core;
    GivePalette(rgba, own, {});
    RecolourToLdraw(rgba, core, ColoursOfSet({BuiltInLdrawColours(), "", ""}, ColourSet::LdrawCore),
                    {});
    Shell shell;
    Quads primary, merged;
    ASSERT_TRUE(ConvertBitmap(shell, own, primary, {.UseLdrawColors = true}));
    ASSERT_TRUE(ConvertBitmap(shell, core, merged, {}));
    EXPECT_EQ(primary.size(), 4u);
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].Color, 4);
    EXPECT_EQ(merged[0].X2 - merged[0].X1, 8);
}


// The codes kept, against the plain way of dropping them (every colour's best and second best
// looked for again after each drop): the same codes, for sets of many colours, any count kept,
// dithered or not.
std::vector<std::int32_t> KeptThePlainWay(const RgbaPicture& rgba, const std::vector<LdrawColour>& set,
                                          const ColourReduction& reduction) {
    Picture own;
    GivePalette(rgba, own, {256, false});
    const std::size_t entries = own.Palette.size(), codes = set.size();
    std::vector<std::uint64_t> count(entries, 0);
    for (std::int32_t y = 1; y <= own.Height(); ++y)
        for (std::int32_t x = 1; x <= own.Width(); ++x) ++count[own.Pixels(x, y)];
    std::vector<double> d(entries * codes);
    for (std::size_t e = 0; e < entries; ++e) {
        const Lab lab = SrgbToLab(own.Palette[e].Red, own.Palette[e].Green, own.Palette[e].Blue);
        for (std::size_t c = 0; c < codes; ++c)
            d[e * codes + c] = Ciede2000(lab, SrgbToLab(set[c].red, set[c].green, set[c].blue));
    }
    const auto skip = [&](std::size_t e) { return static_cast<int>(e) == own.TransparentIndex || count[e] == 0; };
    std::vector<bool> kept(codes, true), used(codes, false);
    for (std::size_t e = 0; e < entries; ++e) {
        if (skip(e)) continue;
        std::size_t best = 0;
        for (std::size_t c = 1; c < codes; ++c) if (d[e * codes + c] < d[e * codes + best]) best = c;
        used[best] = true;
    }
    if (!reduction.dither) kept = used;
    const std::size_t most = std::min<std::size_t>(reduction.mostColours, own.TransparentIndex >= 0 ? 255 : 256);
    for (std::size_t left = std::count(kept.begin(), kept.end(), true); left > most; --left) {
        std::vector<double> added(codes, 0);
        for (std::size_t e = 0; e < entries; ++e) {
            if (skip(e)) continue;
            std::size_t best = codes, second = codes;
            for (std::size_t c = 0; c < codes; ++c) {
                if (!kept[c]) continue;
                if (best == codes || d[e * codes + c] < d[e * codes + best]) second = best, best = c;
                else if (second == codes || d[e * codes + c] < d[e * codes + second]) second = c;
            }
            added[best] += static_cast<double>(count[e]) * (d[e * codes + second] - d[e * codes + best]);
        }
        std::size_t drop = codes;
        for (std::size_t c = 0; c < codes; ++c)
            if (kept[c] && (drop == codes || added[c] < added[drop])) drop = c;
        kept[drop] = false;
    }
    std::vector<std::int32_t> result;
    for (std::size_t c = 0; c < codes; ++c) if (kept[c]) result.push_back(set[c].code);
    if (own.TransparentIndex >= 0) result.push_back(-1);
    return result;
}

TEST(RecolourToLdraw, KeepsTheCodesThePlainWayKeepsAndNeverMoreThanAPaletteHolds) {
    std::mt19937 random(21);
    for (int round = 0; round < 40; ++round) {
        std::vector<LdrawColour> set(20 + random() % 400);
        for (std::size_t c = 0; c < set.size(); ++c) {
            set[c] = {static_cast<std::int32_t>(1000 + c), "c",
                      static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                      static_cast<std::uint8_t>(random())};
            if (c % 7 == 3) set[c] = set[c - 1], set[c].code = static_cast<std::int32_t>(1000 + c);
        }
        RgbaPicture rgba;
        rgba.width = 1 + static_cast<std::int32_t>(random() % 40);
        rgba.height = 1 + static_cast<std::int32_t>(random() % 40);
        rgba.rgba.resize(static_cast<std::size_t>(rgba.width) * rgba.height * 4);
        const int shades = 1 + static_cast<int>(random() % 60);
        for (std::size_t i = 0; i < rgba.rgba.size(); i += 4) {
            const int shade = static_cast<int>(random() % static_cast<unsigned>(shades));
            rgba.rgba[i] = static_cast<std::uint8_t>(shade * 37), rgba.rgba[i + 1] = static_cast<std::uint8_t>(shade * 91);
            rgba.rgba[i + 2] = static_cast<std::uint8_t>(shade * 13);
            rgba.rgba[i + 3] = round % 3 == 0 && random() % 4 == 0 ? 0 : 255;
        }
        const ColourReduction reduction{2 + static_cast<int>(random() % 255), round % 2 == 1};
        SCOPED_TRACE(round);
        Picture picture;
        RecolourToLdraw(rgba, picture, set, reduction);
        EXPECT_EQ(picture.Codes, KeptThePlainWay(rgba, set, reduction));
    }
    // Dithered to 300 solid colours, a picture with transparent pixels: 255 codes and the
    // transparent entry, and every transparent pixel stays transparent.
    std::vector<LdrawColour> many(300);
    for (std::size_t c = 0; c < many.size(); ++c) {
        many[c] = {static_cast<std::int32_t>(500 + c), "c", static_cast<std::uint8_t>(c),
                   static_cast<std::uint8_t>(c * 7), static_cast<std::uint8_t>(c * 13)};
    }
    RgbaPicture holes;
    holes.width = holes.height = 64;
    holes.rgba.resize(64 * 64 * 4);
    for (std::size_t i = 0; i < holes.rgba.size(); i += 4) {
        holes.rgba[i] = static_cast<std::uint8_t>(i), holes.rgba[i + 1] = static_cast<std::uint8_t>(i / 7);
        holes.rgba[i + 2] = 90, holes.rgba[i + 3] = i % 12 == 0 ? 0 : 255;
    }
    Picture picture;
    RecolourToLdraw(holes, picture, many, {256, true});
    ASSERT_LE(picture.Palette.size(), 256u);
    for (std::size_t i = 0; i < 64 * 64; ++i) {
        const std::int32_t x = static_cast<std::int32_t>(i % 64) + 1, y = 64 - static_cast<std::int32_t>(i / 64);
        EXPECT_EQ(picture.Pixels(x, y) == picture.TransparentIndex, holes.rgba[i * 4 + 3] == 0) << i;
    }
}

}  // namespace
}  // namespace mosaikon
