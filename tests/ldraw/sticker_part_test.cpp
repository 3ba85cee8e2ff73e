// The LDraw sticker part: the part checker run on the files the writer makes for generated
// pictures and every conversion, and the face rasterised from above against the picture.

#include "ldraw/sticker_part.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "conversion/exact_conversion.h"
#include "conversion/full_conversion.h"
#include "conversion/quick_conversion.h"
#include "conversion/vector_conversion.h"
#include "ldraw/part_checker.h"
#include "image/colours.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

struct V3 {
    double x, y, z;
    V3 operator-(V3 b) const { return {x - b.x, y - b.y, z - b.z}; }
    V3 Cross(V3 b) const { return {y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x}; }
    double Dot(V3 b) const { return x * b.x + y * b.y + z * b.z; }
};

struct Polygon {
    std::string color;
    std::vector<V3> corners;
};

struct ParsedPart {
    std::vector<std::string> header;  // the lines before the first polygon
    std::vector<Polygon> polygons;
};

ParsedPart Parse(const std::string& text) {
    ParsedPart part;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << "line without CR LF: " << line;
        if (!line.empty()) line.pop_back();
        if (line.empty() || line[0] == '0') {
            EXPECT_TRUE(part.polygons.empty()) << "meta line among the polygons: " << line;
            part.header.push_back(line);
            continue;
        }
        std::istringstream words(line);
        int type = 0;
        Polygon polygon;
        words >> type >> polygon.color;
        EXPECT_TRUE(type == 3 || type == 4) << line;  // no edge lines, no subfiles
        std::string number;
        std::vector<double> values;
        // At most four decimals, no trailing zeros, no "-0".
        const std::regex plain(R"((?!-0$)-?(0|[1-9]\d*)(\.\d{0,3}[1-9])?)");
        while (words >> number) {
            EXPECT_TRUE(std::regex_match(number, plain)) << number;
            values.push_back(std::stod(number));
        }
        EXPECT_EQ(values.size(), (3 * type)) << line;
        for (std::size_t i = 0; i + 2 < values.size(); i += 3) {
            polygon.corners.push_back({values[i], values[i + 1], values[i + 2]});
        }
        part.polygons.push_back(std::move(polygon));
    }
    return part;
}

V3 Normal(const Polygon& p) {
    return (p.corners[1] - p.corners[0]).Cross(p.corners[2] - p.corners[0]);
}

// Convex with no straight or repeated corner, and every corner turning with the normal.
bool ValidPolygon(const Polygon& p) {
    const V3 normal = Normal(p);
    if (normal.Dot(normal) < 1e-12) return false;
    const std::size_t n = p.corners.size();
    for (std::size_t i = 0; i < n; ++i) {
        const V3 turn = (p.corners[(i + 1) % n] - p.corners[i])
                            .Cross(p.corners[(i + 2) % n] - p.corners[(i + 1) % n]);
        if (turn.Dot(normal) <= 1e-12) return false;
    }
    return true;
}

// The face polygon (Y = -0.25, colour other than 16) that covers a point seen from above.
std::vector<std::string> ColoursAt(const ParsedPart& part, double x, double z) {
    std::vector<std::string> found;
    for (const Polygon& p : part.polygons) {
        if (p.corners[0].y != -0.25 || p.color == "16") continue;
        bool inside = true;
        const std::size_t n = p.corners.size();
        for (std::size_t i = 0; i < n && inside; ++i) {
            const V3 a = p.corners[i], b = p.corners[(i + 1) % n];
            // Counter-clockwise seen from -Y: the point is on the left of every edge.
            inside = (b.x - a.x) * (z - a.z) - (b.z - a.z) * (x - a.x) > 0;
        }
        if (inside) found.push_back(p.color);
    }
    return found;
}

// What the face covers: the first and last columns and rows (rows from the top) of pixels not
// left out.
std::array<int, 4> ShownBounds(const Picture& picture, const ColourLookup& colours) {
    const int width = picture.Width(), height = picture.Height();
    int left = width + 1, right = 0, top = height + 1, bottom = 0;
    for (int y = 1; y <= height; ++y) {
        for (int x = 1; x <= width; ++x) {
            if (colours.LeftOut(picture.Pixels(x, y))) continue;
            const int row = height - y + 1;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, row), bottom = std::max(bottom, row);
        }
    }
    return {left, right, top, bottom};
}

class StickerPart : public ::testing::Test {
protected:
    std::string Write(const Picture& picture, const Quads& quads, std::int32_t height,
                      const StickerDetails& details = {"Sticker: Logo", "s1", "Ann Bee [ab]",
                                                       "Unofficial Model"}) {
        const std::string path = recording.folder / "s1.dat";
        EXPECT_TRUE(WriteStickerPart(recording.shell, picture, quads, path, height, details));
        return test::ReadText(path);
    }
    test::RecordingShell recording;
};

TEST_F(StickerPart, TheHeaderIsTheLibrarysInItsOrder) {
    const Picture picture = test::MakePicture(3, 2, test::GreyRamp(2), {1, 1, 1, 1, 1, 1});
    Quads quads;
    Shell shell;
    ConvertBitmap(shell, picture, quads, {});
    const ParsedPart part = Parse(Write(picture, quads, 30));
    EXPECT_EQ(part.header,
              (std::vector<std::string>{"0 Sticker 1.5 x 2.3 Logo", "0 Name: s1.dat",
                                        "0 Author: Ann Bee [ab]", "0 !LDRAW_ORG Unofficial_Part",
                                        "0 !LICENSE Licensed under CC BY 4.0 : see CAreadme.txt",
                                        "", "0 BFC CERTIFY CCW", ""}));
    // Without a name after "Sticker:", the description is the title.
    EXPECT_EQ(Parse(Write(picture, quads, 2, {"Sticker: ", "p", "a", "Round Logo"})).header[0],
              "0 Sticker 0.1 x 0.2 Round Logo");
}

// Every rule at once, on generated pictures of every conversion, with and without left-out
// pixels, at the picture's own height and at one that gives long fractions: the checker finds
// nothing, and the face seen from above is the picture, pixel by pixel.
TEST_F(StickerPart, EveryFileFollowsTheLibrarysRulesAndShowsThePicture) {
    std::mt19937 random(7);
    std::vector<test::NamedConversion> conversions(std::begin(test::kConversions),
                                                   std::end(test::kConversions));
    conversions.push_back({"vector", [](Shell& s, const Picture& p, Quads& q, const ConversionSettings& c) {
                               return ConvertVector(s, p, q, c, {});
                           }});
    std::map<std::string, std::uint64_t> findings;
    for (int round = 0; round < 16; ++round) {
        const Picture picture = test::GeneratePicture(random, 18);
        const int width = picture.Width(), height = picture.Height();
        const ConversionSettings settings{.IgnoreWhite = round % 2 == 0};
        const std::int32_t partHeight = round % 3 == 0 ? height : 17;
        const double scale = static_cast<double>(partHeight) / height;
        const ColourLookup colours(picture.Palette, settings);
        const auto [left, right, top, bottom] = ShownBounds(picture, colours);
        for (const auto& [name, convert] : conversions) {
            SCOPED_TRACE("round " + std::to_string(round) + " " + name);
            Shell shell;
            Quads quads;
            ASSERT_TRUE(convert(shell, picture, quads, settings));
            const std::string text = Write(picture, quads, partHeight);
            const CheckReport report = CheckPartText(text, "s1.dat");
            for (const CheckFinding& finding : report.findings) {
                ++findings[name];
                ADD_FAILURE() << FindingLine(finding);
                if (findings[name] > 5) return;
            }
            const ParsedPart part = Parse(text);
            // Every polygon faces the way it is seen from: the face up, the bottom down, and
            // nothing but the backing below the face.
            int bottoms = 0;
            for (const Polygon& p : part.polygons) {
                ASSERT_TRUE(ValidPolygon(p)) << p.color;
                bool low = true;
                for (const V3& c : p.corners) low = low && c.y == 0;
                bottoms += low;
                if (low) {
                    EXPECT_GT(Normal(p).y, 0) << "a bottom polygon that faces up";
                }
                if (p.color != "16") {
                    EXPECT_LT(Normal(p).y, 0) << "a face polygon that does not face up";
                }
            }
            EXPECT_EQ(bottoms > 0, right > 0);

            // Seen from above, pixel by pixel: the picture's top row at +Z, not mirrored, and
            // nothing where pixels are left out. (The full conversion's slanted quadrilaterals
            // may cross colours, and the vector conversion's slopes cut pixels.)
            for (int y = 1; y <= height && (name == "quick" || name == "exact"); ++y) {
                for (int x = 1; x <= width; ++x) {
                    const std::uint8_t index = picture.Pixels(x, y);
                    const int row = height - y + 1;
                    // Near the pixel's centre, off the diagonals that cut polygons.
                    const double lx = ((x - 0.5123) - (left - 1 + right) / 2.0) * scale;
                    const double lz = ((top - 1 + bottom) / 2.0 - (row - 0.5129)) * scale;
                    const auto found = ColoursAt(part, lx, lz);
                    if (colours.LeftOut(index)) {
                        EXPECT_TRUE(found.empty()) << x << "," << y;
                    } else {
                        ASSERT_EQ(found.size(), 1u) << x << "," << y;
                        EXPECT_EQ(found[0], ColorText(colours.Code(index))) << x << "," << y;
                    }
                }
            }
        }
    }
}

TEST_F(StickerPart, BowTiesConcaveAndDegenerateQuadrilateralsAreRepaired) {
    const auto quad = [](auto... corners) { return test::Quad(4, corners...); };
    struct Case {
        LdrawQuad quad;
        std::size_t polygons;  // what it becomes
        std::int64_t twiceArea;
    };
    for (const Case& c : {Case{quad(1, 1, 3, 3, 3, 1, 1, 3), 1, 8},       // bow-tie: reordered
                          Case{quad(1, 1, 5, 1, 2, 2, 1, 5), 2, 8},       // concave: two triangles
                          Case{quad(1, 1, 3, 1, 3, 1, 1, 3), 1, 4},       // two equal corners
                          Case{quad(1, 1, 2, 1, 3, 1, 4, 1), 0, 0},       // no area
                          Case{quad(1, 1, 2, 1, 3, 1, 2, 2.5), 1, 3}}) {  // three in a line
        const auto face = BuildStickerFace({c.quad});
        EXPECT_EQ(face.size(), c.polygons);
        std::int64_t area = 0;
        for (const FacePolygon& p : face) {
            for (std::size_t i = 0; i < p.corners.size(); ++i) {
                const auto& a = p.corners[i];
                const auto& b = p.corners[(i + 1) % p.corners.size()];
                area += a.x * b.y - b.x * a.y;
            }
        }
        EXPECT_EQ(area / 4, c.twiceArea) << c.quad.X2;
    }
}

// Polygons that overlap, as the full conversion's slanted ones do, are not written over each
// other: the picture they show is traced again, each pixel in the colour of the last polygon over
// its centre, and the file passes the checker.
TEST_F(StickerPart, OverlappingPolygonsAreTracedAgainWithoutOverlaps) {
    const Picture picture = test::MakePicture(12, 10, test::kTestColours, std::vector<std::uint8_t>(120, 1));
    const Quads quads = {test::Quad(4, 1, 1, 13, 1, 13, 11, 1, 11),     // the whole picture
                         test::Quad(2, 3, 2, 9, 4, 10, 9, 2, 8)};       // a slanted one over it
    const std::string text = Write(picture, quads, 10);
    const CheckReport report = CheckPartText(text, "s1.dat");
    EXPECT_EQ(report.errors + report.warnings, 0u);
    for (const CheckFinding& finding : report.findings) ADD_FAILURE() << FindingLine(finding);
    const ParsedPart part = Parse(text);
    const auto inside = [](const LdrawQuad& q, double x, double y) {
        const double xs[] = {q.X1, q.X2, q.X3, q.X4}, ys[] = {q.Y1, q.Y2, q.Y3, q.Y4};
        int sign = 0;
        for (int i = 0; i < 4; ++i) {
            const double cross = (xs[(i + 1) % 4] - xs[i]) * (y - ys[i]) - (ys[(i + 1) % 4] - ys[i]) * (x - xs[i]);
            if (std::fabs(cross) < 1e-9) return false;
            const int s = cross > 0 ? 1 : -1;
            if (sign != 0 && s != sign) return false;
            sign = s;
        }
        return true;
    };
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 12; ++x) {
            // Near the pixel's centre, off the diagonals that cut polygons, in picture units and
            // in the sticker (centred, 1 unit a pixel).
            const double px = x + 1.4877, py = y + 1.5129;
            const auto found = ColoursAt(part, px - 1 - 6, 5 - (py - 1));
            ASSERT_EQ(found.size(), 1u) << x << "," << y;
            if (inside(quads[1], px, py)) {
                EXPECT_EQ(found[0], "2") << x << "," << y;
            } else if (!inside(quads[1], px + 0.6, py) && !inside(quads[1], px - 0.6, py) &&
                       !inside(quads[1], px, py + 0.6) && !inside(quads[1], px, py - 0.6)) {
                EXPECT_EQ(found[0], "4") << x << "," << y;
            }
        }
    }
}

// A picture riddled with holes has an outline too long to cut again as a whole: the backing's
// bottom repeats the face, and the file is as clean as any.
TEST_F(StickerPart, APictureRiddledWithHolesKeepsItsBackingClean) {
    std::mt19937 random(9);
    std::vector<std::uint8_t> pixels(300 * 300);
    for (auto& p : pixels) p = random() % 2 == 0 ? 0 : static_cast<std::uint8_t>(1 + random() % 6);
    const Picture picture = test::MakePicture(300, 300, test::kTestColours, pixels);
    Quads quads;
    Shell shell;
    ConvertBitmap(shell, picture, quads, {.IgnoreWhite = true});
    const std::string text = Write(picture, quads, 100);
    const CheckReport report = CheckPartText(text, "s1.dat");
    EXPECT_EQ(report.errors + report.warnings, 0u);
    for (std::size_t i = 0; i < report.findings.size() && i < 5; ++i) {
        ADD_FAILURE() << FindingLine(report.findings[i]);
    }
}

// A comb: a band whose long side has no corner, above a row of teeth. Traced again as regions,
// the band cannot be cut from its corners alone without slivers: every lattice point of its
// outline becomes a corner, and it is cut cleanly with every pixel shown (none lost).
TEST_F(StickerPart, AThinBandFacingManyStepsIsCutCleanlyAndKeepsEveryPixel) {
    const int width = 400, height = 12;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height), 0);
    for (int y = 0; y < height - 1; ++y) {
        for (int x = 0; x < width; ++x) {
            if (y < 6 || x % 4 < 2) pixels[static_cast<std::size_t>(y * width + x)] = 3;
        }
    }
    const Picture picture = test::MakePicture(width, height, test::kTestColours, pixels);
    {
        Quads quads;
        Shell shell;
        ASSERT_TRUE(ConvertExact(shell, picture, quads, {.IgnoreWhite = true}));
        const std::string text = Write(picture, quads, height);
        const CheckReport report = CheckPartText(text, "s1.dat");
        EXPECT_EQ(report.errors + report.warnings, 0u);
        for (std::size_t i = 0; i < report.findings.size() && i < 5; ++i) {
            ADD_FAILURE() << FindingLine(report.findings[i]);
        }
        // Seen from above at the picture's own height (a unit a pixel), centred on the columns
        // and rows shown: every pixel of the comb in exactly one polygon, none elsewhere.
        const ParsedPart part = Parse(text);
        const ColourLookup colours(picture.Palette, {.IgnoreWhite = true});
        const auto [left, right, top, bottom] = ShownBounds(picture, colours);
        int wrong = 0;
        for (int y = 1; y <= height; ++y) {
            for (int x = 1; x <= width && wrong < 5; ++x) {
                const int row = height - y + 1;
                const auto found = ColoursAt(part, (x - 0.5123) - (left - 1 + right) / 2.0,
                                             (top - 1 + bottom) / 2.0 - (row - 0.5129));
                const bool shown = !colours.LeftOut(picture.Pixels(x, y));
                if (found.size() != (shown ? 1u : 0u)) {
                    ++wrong;
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << found.size() << " polygons";
                }
            }
        }
    }
}

TEST_F(StickerPart, APictureLeftOutEntirelyIsReportedAndWritesNothing) {
    const Picture blank = test::MakePicture(3, 2, test::kTestColours, {0, 0, 0, 0, 0, 0});
    Quads quads;
    Shell shell;
    ASSERT_TRUE(ConvertExact(shell, blank, quads, {.IgnoreWhite = true}));
    ASSERT_TRUE(quads.empty());
    const std::string path = recording.folder / "s1.dat";
    test::WriteBytes(path, {7, 8, 9});
    EXPECT_FALSE(WriteStickerPart(recording.shell, blank, quads, path, 20,
                                  {"Sticker: Blank", "s1", "Ann Bee [ab]", "Unofficial Model"}));
    EXPECT_EQ(test::ReadBytes(path), (test::Bytes{7, 8, 9}));
    ASSERT_EQ(recording.boxes.size(), 1u);
    EXPECT_NE(recording.boxes[0].find(kNothingLeft), std::string::npos) << recording.boxes[0];
}

}  // namespace
}  // namespace mosaikon
