// The textured sticker: the texture is the picture with its left-out pixels transparent, mapped
// onto the picture's rectangle; the fallback follows the checker's rules; the embedded form holds
// the very same texture; a failure leaves no file behind.

#include "ldraw/texture_part.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <sstream>

#include "conversion/exact_conversion.h"
#include "image/colours.h"
#include "ldraw/part_checker.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

const StickerDetails kDetails = {"Sticker: Logo", "s1", "Ann Bee [ab]", "Unofficial Model"};

std::vector<std::uint8_t> FromBase64(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::uint8_t> bytes;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') break;
        bits = bits << 6 | static_cast<std::uint32_t>(digits.find(c));
        if ((count += 6) >= 8) bytes.push_back(static_cast<std::uint8_t>(bits >> (count -= 8)));
    }
    return bytes;
}

TEST(Base64, TheStandardsExamples) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : cases) {
        const std::string text(plain);
        EXPECT_EQ(Base64({text.begin(), text.end()}), encoded);
    }
    std::mt19937 random(5);
    std::vector<std::uint8_t> bytes(1000);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    EXPECT_EQ(FromBase64(Base64(bytes)), bytes);
}

class TexturePart : public ::testing::Test {
protected:
    // A 5 x 3 picture of four colours, its white pixels left out.
    TexturePart()
        : picture(test::MakePicture(5, 3, test::kTestColours,
                                    {0, 1, 1, 2, 2,  //
                                     1, 1, 3, 3, 2,  //
                                     0, 3, 3, 3, 0})) {}
    std::string Write(const TextureOptions& options, const std::string& name = "s1.dat") {
        const RgbaPicture texture = TextureOf(picture, settings);
        std::vector<FacePolygon> fallback;
        if (options.fallback == TextureFallback::Flat) {
            fallback = FlatFallback(picture, settings, ColourSet::Direct);
        } else {
            Quads quads;
            Shell shell;
            ConversionSettings plain;
            const Picture reduced = FallbackPicture(shell, texture, options.fallbackColours,
                                                    ColourSet::Direct);
            EXPECT_TRUE(ConvertExact(shell, reduced, quads, plain));
            fallback = BuildStickerFace(quads);
        }
        const std::string path = folder / name;
        EXPECT_TRUE(WriteTexturedStickerPart(recording.shell, picture, fallback, texture, path, 30,
                                             kDetails, options));
        return std::filesystem::exists(path) ? test::ReadText(path) : "";
    }
    Picture picture;
    ConversionSettings settings{.IgnoreWhite = true};
    test::RecordingShell recording;
    test::TempFolder folder;
};

TEST_F(TexturePart, TheTextureIsThePictureMappedOntoItsRectangle) {
    const std::string text = Write({});
    const CheckReport report = CheckPartText(text, "s1.dat");
    EXPECT_EQ(report.errors + report.warnings, 0u);
    for (const CheckFinding& finding : report.findings) ADD_FAILURE() << FindingLine(finding);

    // The PNG beside the part: the picture's colours at its top left, left-out pixels fully
    // transparent, and transparent padding to sides of powers of two (8 x 4).
    const test::Bytes png = test::ReadBytes(folder.path() / "textures" / "s1.png");
    const RgbaPicture texture = DecodePng(png, "s1.png", {});
    ASSERT_EQ(texture.width, 8);
    ASSERT_EQ(texture.height, 4);
    const std::vector<std::uint8_t> rows = test::PixelsTopDown(picture);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            const std::uint8_t* got = &texture.rgba[static_cast<std::size_t>(4 * (y * 8 + x))];
            const int index = x < 5 && y < 3 ? rows[static_cast<std::size_t>(y * 5 + x)] : 0;
            if (index == 0) {
                EXPECT_EQ(got[3], 0) << x << "," << y;
                continue;
            }
            const PaletteEntry& entry = picture.Palette[static_cast<std::size_t>(index)];
            EXPECT_EQ((std::array<int, 4>{got[0], got[1], got[2], got[3]}),
                      (std::array<int, 4>{entry.Red, entry.Green, entry.Blue, 255}))
                << x << "," << y;
        }
    }

    // The planar mapping: the texture's top-left, top-right and bottom-left corners, the top
    // edge towards +Z, 10 units a pixel, the picture's top left at the face's; the face's area
    // and the fallback inside the block.
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> block;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (line.rfind("0 !TEXMAP START", 0) == 0) {
            std::istringstream words(line);
            std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
            ASSERT_EQ(w.size(), 14u);
            EXPECT_EQ(w[3], "PLANAR");
            EXPECT_EQ(w[13], "s1.png");
            const double x1 = std::stod(w[4]), z1 = std::stod(w[6]), x2 = std::stod(w[7]),
                         z2 = std::stod(w[9]), x3 = std::stod(w[10]), z3 = std::stod(w[12]);
            EXPECT_EQ(w[5], "-0.25");
            EXPECT_DOUBLE_EQ(x2 - x1, 80.0);  // 8 pixels of 10 units
            EXPECT_DOUBLE_EQ(z1 - z3, 40.0);
            EXPECT_DOUBLE_EQ(x1, -25.0);  // the picture, 50 x 30, centred
            EXPECT_DOUBLE_EQ(z1, 15.0);
            EXPECT_EQ(z1, z2);
            EXPECT_EQ(x1, x3);
            inside = true;
        }
        if (inside) block.push_back(line);
        if (line.rfind("0 !TEXMAP END", 0) == 0) inside = false;
    }
    ASSERT_FALSE(block.empty());
    EXPECT_TRUE(std::any_of(block.begin(), block.end(), [](const std::string& l) { return l.rfind("0 !: 4 16 ", 0) == 0 || l.rfind("0 !: 3 16 ", 0) == 0; }));
    EXPECT_TRUE(std::any_of(block.begin(), block.end(), [](const std::string& l) { return l.rfind("0 !TEXMAP FALLBACK", 0) == 0; }));
}

TEST_F(TexturePart, TheFallbackHasTheColoursAskedForOrOneQuadrilateral) {
    std::mt19937 random(11);
    for (int round = 0; round < 6; ++round) {
        picture = test::GeneratePicture(random, 24);
        const ColourLookup lookup(picture, settings);
        bool shown = false;  // a picture of white alone leaves nothing to show
        for (const std::uint8_t index : test::PixelsTopDown(picture)) shown = shown || !lookup.LeftOut(index);
        for (const int colours : {2, 3, 16}) {
            if (!shown) break;
            const std::string text = Write({TextureFallback::Geometry, colours, false});
            const CheckReport report = CheckPartText(text, "s1.dat");
            EXPECT_EQ(report.errors + report.warnings, 0u) << round;
            std::set<std::string> used;
            std::istringstream lines(text);
            for (std::string line; std::getline(lines, line);) {
                if ((line.rfind("3 ", 0) == 0 || line.rfind("4 ", 0) == 0) && line.find(" 16 ") != 1) {
                    used.insert(line.substr(2, line.find(' ', 2) - 2));
                }
            }
            used.erase("16");
            EXPECT_LE(used.size(), static_cast<std::size_t>(colours)) << round;
        }
    }
    picture = test::MakePicture(2, 1, test::kTestColours, {1, 3});
    const std::string flat = Write({TextureFallback::Flat, 16, false});
    EXPECT_EQ(CheckPartText(flat, "s1.dat").errors, 0u);
    // The mean of red (204, 0, 0) and green (0, 119, 51), rounded: (102, 60, 26).
    EXPECT_NE(flat.find("\n4 0x2663C1A "), std::string::npos) << flat;
    EXPECT_LT(flat.size(), 2000u);
}

// The flat fallback is one colour over exactly the pixels kept: its holes stay open, and the
// sticker has the size the geometry fallback gives it.
TEST_F(TexturePart, TheFlatFallbackCoversWhatThePictureCoversAndNoMore) {
    picture = test::MakePicture(6, 4, test::kTestColours, {0, 0, 0, 0, 0, 0,  //
                                                           1, 0, 2, 2, 0, 3,  //
                                                           1, 0, 0, 2, 0, 3,  //
                                                           1, 1, 2, 2, 3, 3});
    const std::vector<FacePolygon> face = FlatFallback(picture, settings, ColourSet::Direct);
    const ColourLookup colours(picture, settings);
    std::set<std::int32_t> codes;
    for (std::int32_t row = 0; row < 4; ++row) {
        for (std::int32_t x = 0; x < 6; ++x) {
            // Pixel centres in half units; inside a convex polygon when on the same side of
            // every edge.
            const double cx = 2 * x + 3.0123, cy = 2 * row + 3.0345;  // off any diagonal
            int inside = 0;
            for (const FacePolygon& polygon : face) {
                int left = 0, right = 0;
                for (std::size_t i = 0; i < polygon.corners.size(); ++i) {
                    const HalfPoint& a = polygon.corners[i];
                    const HalfPoint& b = polygon.corners[(i + 1) % polygon.corners.size()];
                    const double turn = static_cast<double>(b.x - a.x) * (cy - static_cast<double>(a.y)) -
                                        static_cast<double>(b.y - a.y) * (cx - static_cast<double>(a.x));
                    left += turn > 0, right += turn < 0;
                }
                inside += left == 0 || right == 0;
                codes.insert(polygon.Color);
            }
            EXPECT_EQ(inside, colours.LeftOut(picture.Pixels(x + 1, 4 - row)) ? 0 : 1) << x << "," << row;
        }
    }
    EXPECT_EQ(codes.size(), 1u);
    const auto sizeLine = [](const std::string& text) { return text.substr(0, text.find(" Logo")); };
    EXPECT_EQ(sizeLine(Write({TextureFallback::Flat, 16, false})),
              sizeLine(Write({TextureFallback::Geometry, 16, false})));
}

TEST_F(TexturePart, TheEmbeddedTextureIsTheSamePicture) {
    Write({});
    const test::Bytes png = test::ReadBytes(folder.path() / "textures" / "s1.png");
    const std::string text = Write({TextureFallback::Geometry, 16, true}, "s2.mpd");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "textures" / "s2.png"));
    EXPECT_EQ(text.rfind("0 FILE s2.dat\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\n0 Name: s2.dat\r\n"), std::string::npos);
    EXPECT_NE(text.find(" s2.png\r\n0 !: "), std::string::npos);
    const auto data = text.find("0 !DATA s2.png\r\n");
    ASSERT_NE(data, std::string::npos);
    std::istringstream lines(text.substr(data));
    std::string line, encoded;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.rfind("0 !: ", 0), 0u);
        line.pop_back();  // CR
        EXPECT_LE(line.size(), 5u + 76u);
        encoded += line.substr(5);
    }
    EXPECT_EQ(FromBase64(encoded), png);
    EXPECT_EQ(CheckPartText(text, "s2.mpd").errors, 0u);
}

TEST_F(TexturePart, AFailureLeavesNeitherFile) {
    const std::string text = Write({});
    // The textures folder cannot be made: a file stands in its place.
    test::TempFolder other;
    test::WriteBytes(other.path() / "textures", {1, 2, 3});
    const RgbaPicture texture = TextureOf(picture, settings);
    const auto fallback = FlatFallback(picture, settings, ColourSet::Direct);
    EXPECT_FALSE(WriteTexturedStickerPart(recording.shell, picture, fallback, texture, other / "s1.dat",
                                          30, kDetails, {}));
    EXPECT_FALSE(std::filesystem::exists(other.path() / "s1.dat"));
    EXPECT_EQ(test::ReadBytes(other.path() / "textures"), (test::Bytes{1, 2, 3}));
    EXPECT_FALSE(recording.boxes.empty());
}

TEST_F(TexturePart, APictureLeftOutEntirelyIsReportedAndWritesNothing) {
    // Every pixel white and left out: no sticker, neither the part nor a texture, and the file
    // already there stays as it was.
    const Picture blank = test::MakePicture(3, 2, test::kTestColours, {0, 0, 0, 0, 0, 0});
    const RgbaPicture texture = TextureOf(blank, settings);
    test::WriteBytes(folder / "s1.dat", {7, 8, 9});
    for (const auto& fallback : {FlatFallback(blank, settings, ColourSet::Direct), std::vector<FacePolygon>{}}) {
        recording.boxes.clear();
        EXPECT_FALSE(WriteTexturedStickerPart(recording.shell, blank, fallback, texture, folder / "s1.dat", 30,
                                              kDetails, {}));
        EXPECT_EQ(test::ReadBytes(folder / "s1.dat"), (test::Bytes{7, 8, 9}));
        EXPECT_FALSE(std::filesystem::exists(folder / "textures"));
        ASSERT_EQ(recording.boxes.size(), 1u);
        EXPECT_NE(recording.boxes[0].find(kNothingLeft), std::string::npos) << recording.boxes[0];
    }
}

}  // namespace
}  // namespace mosaikon
