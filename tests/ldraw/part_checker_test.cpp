// The part file checker: a sticker the writer makes has no finding; each rule, broken by hand in
// a copy of it or in a small file of its own, gives its finding on its line, and damaged or huge
// files a clear report.

#include "ldraw/part_checker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "conversion/quick_conversion.h"
#include "ldraw/part_file_writer.h"
#include "ldraw/texture_part.h"
#include "ldraw/sticker_part.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// Whether the report has a finding of this kind (error or warning) whose text holds `words`, on
// the line given (0: any).
bool Has(const CheckReport& report, const std::string& words, bool error = true,
         std::uint64_t line = 0) {
    for (const CheckFinding& finding : report.findings) {
        if (finding.text.find(words) != std::string::npos && finding.error == error &&
            (line == 0 || finding.line == line)) {
            return true;
        }
    }
    return false;
}

std::string Findings(const CheckReport& report) {
    std::string all;
    for (const CheckFinding& finding : report.findings) all += FindingLine(finding) + "\n";
    return all;
}

class PartChecker : public ::testing::Test {
protected:
    // A 3 x 2 sticker of two colours with a left-out pixel, as the writer makes it.
    void SetUp() override {
        const Picture picture = test::MakePicture(3, 2, test::kTestColours, {1, 0, 2, 1, 2, 2});
        Quads quads;
        Shell shell;
        ConvertBitmap(shell, picture, quads, {.IgnoreWhite = true});
        const std::string path = recording.folder / "s1.dat";
        ASSERT_TRUE(WriteStickerPart(recording.shell, picture, quads, path, 20,
                                     {"Sticker: Logo", "s1", "Ann Bee [ab]", "Unofficial Model"}));
        good = Lines(test::ReadText(path));
        for (std::size_t i = 0; i < good.size(); ++i) {
            if (firstPolygon == 0 && (good[i].rfind("4 ", 0) == 0 || good[i].rfind("3 ", 0) == 0)) {
                firstPolygon = i;
            }
        }
    }
    // The sticker with line i (0-based) replaced, as the checker reports it.
    CheckReport With(std::size_t i, const std::string& line) {
        std::vector<std::string> lines = good;
        lines[i] = line;
        return CheckPartText(Join(lines), "s1.dat");
    }
    CheckReport Without(const std::function<bool(const std::string&)>& drop) {
        std::vector<std::string> lines;
        for (const std::string& line : good) {
            if (!drop(line)) lines.push_back(line);
        }
        return CheckPartText(Join(lines), "s1.dat");
    }
    test::RecordingShell recording;
    std::vector<std::string> good;
    std::size_t firstPolygon = 0;
};

TEST_F(PartChecker, TheWritersStickerHasNoFinding) {
    const CheckReport report = CheckPartText(Join(good), "s1.dat");
    EXPECT_EQ(report.errors + report.warnings, 0u) << Findings(report);
    EXPECT_GT(report.polygons, 8u);
}

TEST_F(PartChecker, LinesNumbersAndColours) {
    const std::size_t at = firstPolygon, line = at + 1;
    EXPECT_TRUE(Has(With(at, "7 4 0 0 0"), "unknown line type", true, line));
    EXPECT_TRUE(Has(With(at, "4 4 1 2 3"), "needs 13 values", true, line));
    EXPECT_TRUE(Has(With(at, "3 4 1 0 0 0 1 0 abc 0 0"), "is not a number", true, line));
    EXPECT_TRUE(Has(With(at, "3 4 1e1 0 0 0 1 0 0 0 1"), "is not a number", true, line));
    EXPECT_TRUE(Has(With(at, "3 4 0.12345 0 0 0 1 0 0 0 1"), "more than 4 decimals", true, line));
    EXPECT_TRUE(Has(With(at, "3 4 0.50 0 0 0 1 0 0 0 1"), "needless zero", false, line));
    EXPECT_TRUE(Has(With(at, "3 4 -0 0 0 0 1 0 1 0 1"), "minus sign", false, line));
    EXPECT_TRUE(Has(With(at, "3 4 01 0 0 0 1 0 0 0 1"), "leading zero", false, line));
    EXPECT_TRUE(Has(With(at, "3 9999 1 0 0 0 1 0 0 0 1"), "not defined", true, line));
    EXPECT_TRUE(Has(With(at, "3 0x2GG0000 1 0 0 0 1 0 0 0 1"), "neither a colour code", true, line));
    EXPECT_TRUE(Has(With(at, "3 24 1 0 0 0 1 0 0 0 1"), "colour 24", true, line));
    EXPECT_TRUE(Has(With(at, std::string("3 4 1 0 0 0 1 0 0 0 1\x01")), "control characters", true, line));
    EXPECT_TRUE(Has(With(at, "0 " + std::string(70000, 'x')), "longer than", true, line));
    // Every code LDraw.org's LDConfig.ldr defines, solid or not, and none it leaves out.
    std::set<long> defined;
    std::istringstream config(test::ReadText(MOSAIKON_TEST_DATA "/LDConfig.ldr"));
    for (std::string row; std::getline(config, row);) {
        const auto code = row.find(" CODE ");
        if (row.rfind("0 !COLOUR ", 0) == 0 && code != std::string::npos) {
            defined.insert(std::stol(row.substr(code + 6)));
        }
    }
    ASSERT_GT(defined.size(), 200u);
    int wrong = 0;
    for (long code = 0; code <= 32000; ++code) {
        if (code != 16 && code != 24 && defined.count(code) == 0 && code % 97 != 0) continue;
        const bool found = Has(With(at, "3 " + std::to_string(code) + " 1 -0.25 0 0 -0.25 1 0 -0.25 0"),
                               "not defined");
        if (found == (defined.count(code) > 0 || code == 16 || code == 24)) {
            ADD_FAILURE() << "colour code " << code;
            if (++wrong > 5) break;
        }
    }
    // Known codes of every kind, direct colours in either case.
    for (const char* colour : {"0", "15", "16", "47", "383", "0x2ff00Aa"}) {
        EXPECT_FALSE(Has(With(at, std::string("3 ") + colour + " 1 -0.25 0 0 -0.25 1 0 -0.25 0"), "colour"))
            << colour;
    }
}

TEST_F(PartChecker, PolygonShapes) {
    const std::size_t at = firstPolygon, line = at + 1;
    EXPECT_TRUE(Has(With(at, "3 4 0 0 0 0 0 0 1 0 1"), "the same point", true, line));
    // A sliver: the corner at the far end is 0.0057 degrees.
    EXPECT_TRUE(Has(With(at, "3 4 0 0 0 1000 0 0 1000 0 0.1"), "below 0.025", true, line));
    // Three corners nearly in a line: 179.94 degrees at the middle one.
    EXPECT_TRUE(Has(With(at, "3 4 0 0 0 1 0 0.0005 2 0 0"), "above 179.9", true, line));
    EXPECT_TRUE(Has(With(at, "4 4 0 0 0 2 0 0 0 0 2 2 0 2"), "crossed", true, line));
    EXPECT_TRUE(Has(With(at, "4 4 0 0 0 4 0 0 1 0 1 0 0 4"), "concave", true, line));
    // Bent along a diagonal: 5 degrees an error, 2 a warning, 0.5 nothing.
    const auto bent = [](double degrees) {
        const double y = 2 * std::tan(degrees * 3.14159265358979 / 180) / std::sqrt(2.0);
        return "4 4 0 0 0 0 0 2 2 " + std::to_string(y) + " 2 2 0 0";
    };
    EXPECT_TRUE(Has(With(at, bent(5)), "not flat", true, line));
    EXPECT_TRUE(Has(With(at, bent(2)), "not quite flat", false, line));
    EXPECT_FALSE(Has(With(at, bent(0.5)), "flat", false, line));
    // A T-junction: a corner of one triangle on the middle of the other's edge.
    const CheckReport t = CheckPartText("0 test\r\n3 4 0 0 0 2 0 0 0 0 2\r\n3 4 1 0 0 2 0 -2 0 0 -2\r\n");
    EXPECT_TRUE(Has(t, "T-junction", true, 2)) << Findings(t);
}

TEST_F(PartChecker, TheLibrarysHeader) {
    std::vector<std::string> swapped = good;
    std::swap(swapped[1], swapped[2]);
    const CheckReport order = CheckPartText(Join(swapped), "s1.dat");
    EXPECT_TRUE(Has(order, "second header line", true, 2)) << Findings(order);
    EXPECT_TRUE(Has(order, "third header line", true, 3));
    EXPECT_TRUE(Has(With(2, "0 Author: Ann Bee"), "Real Name [username]", false, 3));
    EXPECT_TRUE(Has(With(2, "0 Author: [ab]"), "Real Name [username]", false, 3));
    EXPECT_FALSE(Has(With(2, "0 Author: Ann van Bee [a_b-9]"), "Real Name"));
    EXPECT_TRUE(Has(CheckPartText(Join(good), "s2.dat"), "the file is s2.dat", true, 2));
    EXPECT_TRUE(Has(With(1, "0 Name: s1.ldr"), "must end in .dat", true, 2));
    EXPECT_TRUE(Has(With(3, "0 !LICENSE Licensed under CC BY 4.0 : see CAreadme.txt"), "fourth", true, 4));
    const CheckReport uncertified = Without([](const std::string& l) { return l.find("BFC") != std::string::npos; });
    EXPECT_TRUE(Has(uncertified, "BFC CERTIFY CCW")) << Findings(uncertified);
}

TEST_F(PartChecker, TheStickersFaceAndBacking) {
    const std::size_t at = firstPolygon, line = at + 1;
    EXPECT_TRUE(Has(With(at, "2 24 0 -0.25 0 1 -0.25 0"), "no edge lines", true, line));
    EXPECT_TRUE(Has(With(at, "1 16 0 0 0 1 0 0 0 1 0 0 0 1 box.dat"), "no subfiles", true, line));
    // The first face polygon lifted off the face, then turned to face down.
    std::string lifted = good[at];
    for (std::size_t p = lifted.find(" -0.25 "); p != std::string::npos; p = lifted.find(" -0.25 ")) {
        lifted.replace(p, 7, " -0.5 ");
    }
    const CheckReport off = With(at, lifted);
    EXPECT_TRUE(Has(off, "outside the sticker", true, line)) << Findings(off);
    EXPECT_TRUE(Has(off, "off the face", true, line));
    std::istringstream words(good[at]);
    std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
    std::string flipped = w[0] + " " + w[1];
    for (int c = (std::stoi(w[0]) - 1); c >= 0; --c) {
        flipped += " " + w[2 + 3 * c] + " " + w[3 + 3 * c] + " " + w[4 + 3 * c];
    }
    EXPECT_TRUE(Has(With(at, flipped), "faces down", true, line));
    // The bottom dropped; the bottom turned up; a side dropped.
    const auto isBottom = [](const std::string& l) {
        return l.rfind("4 16 ", 0) == 0 && l.find(" -0.25 ") == std::string::npos;
    };
    EXPECT_TRUE(Has(Without(isBottom), "does not cover the face"));
    for (std::size_t i = 0; i < good.size(); ++i) {
        if (!isBottom(good[i])) continue;
        std::istringstream b(good[i]);
        std::vector<std::string> v{std::istream_iterator<std::string>(b), {}};
        std::string up = v[0] + " " + v[1];
        for (int c = 3; c >= 0; --c) up += " " + v[2 + 3 * c] + " " + v[3 + 3 * c] + " " + v[4 + 3 * c];
        EXPECT_TRUE(Has(With(i, up), "faces up at Y = 0", true, i + 1));
        break;
    }
    bool droppedOne = false;
    const CheckReport open = Without([&](const std::string& l) {
        const bool side = l.rfind("4 16 ", 0) == 0 && l.find(" -0.25 ") != std::string::npos &&
                          l.find(" 0 ") != std::string::npos;
        if (side && !droppedOne) return droppedOne = true;
        return false;
    });
    EXPECT_TRUE(Has(open, "no side of the backing")) << Findings(open);
    // Moved off the origin.
    std::vector<std::string> moved = good;
    for (std::size_t i = at; i < moved.size(); ++i) {
        std::istringstream m(moved[i]);
        std::vector<std::string> v{std::istream_iterator<std::string>(m), {}};
        if (v.size() < 11) continue;
        std::string shifted = v[0] + " " + v[1];
        for (std::size_t c = 2; c + 2 < v.size(); c += 3) {
            shifted += " " + std::to_string(std::stod(v[c]) + 1).substr(0, 6) + " " + v[c + 1] + " " + v[c + 2];
        }
        moved[i] = shifted;
    }
    EXPECT_TRUE(Has(CheckPartText(Join(moved), "s1.dat"), "not centred"));
}

TEST_F(PartChecker, TextureBlocksAndMultiPartDocuments) {
    const std::size_t at = firstPolygon;
    EXPECT_TRUE(Has(With(at, "0 !TEXMAP FALLBACK"), "without a START", true, at + 1));
    EXPECT_TRUE(Has(With(at, "0 !TEXMAP START PLANAR 0 0 0 1 0 0 s1.png"), "a planar !TEXMAP START needs"));
    EXPECT_TRUE(Has(With(at, "0 !TEXMAP START PLANAR 0 0 0 1 0 0 0 0 1 s1.png"), "has no END"));
    EXPECT_TRUE(Has(With(at, "0 !: 3 16 0 0 0 1 0 0 0 0 1"), "outside a !TEXMAP"));
    EXPECT_TRUE(Has(With(at, "0 !TEXMAP PUSH"), "unknown !TEXMAP"));
    // The part as the first block of a document, its texture as a !DATA block after it.
    std::vector<std::string> document = {"0 FILE s1.dat"};
    document.insert(document.end(), good.begin(), good.end());
    document.push_back("0 !DATA s1.png");
    RgbaPicture texture;
    texture.width = texture.height = 16;
    std::mt19937 random(4);
    for (int i = 0; i < 16 * 16 * 4; ++i) texture.rgba.push_back(static_cast<std::uint8_t>(random()));
    const std::string digits = Base64(EncodePng(texture));
    for (std::size_t at = 0; at < digits.size(); at += 76) document.push_back("0 !: " + digits.substr(at, 76));
    EXPECT_EQ(CheckPartText(Join(document), "other.mpd").errors, 0u) << Findings(CheckPartText(Join(document)));
    // The texture cut short, wrongly padded, not a PNG, or broken by a long line of control
    // bytes: each is an error of its block.
    const std::size_t block = good.size() + 2;
    std::vector<std::string> cut(document.begin(), document.begin() + static_cast<std::ptrdiff_t>(block + 1));
    cut.push_back("0 !: " + digits.substr(76, 40));
    EXPECT_TRUE(Has(CheckPartText(Join(cut)), "cut short", true, block)) << Findings(CheckPartText(Join(cut)));
    cut.back() = "0 !: " + digits.substr(76, 41);
    EXPECT_TRUE(Has(CheckPartText(Join(cut)), "not base64", true, block));
    cut.resize(block);
    cut.push_back("0 !: " + Base64({'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}));
    EXPECT_TRUE(Has(CheckPartText(Join(cut)), "holds no PNG", true, block));
    cut.back() = std::string(70000, '\x01');
    EXPECT_TRUE(Has(CheckPartText(Join(cut)), "longer than 65536", true, block + 1));
    document.push_back("3 4 0 0 0 1 0 0 0 0 1");
    EXPECT_TRUE(Has(CheckPartText(Join(document)), "holds only", true, document.size()));
}

// A part in the program's own classic layout has no library header: it gets the rules of
// polygons and numbers, not those of a library sticker.
TEST(PartCheckerClassic, AClassicPartGetsThePolygonRulesOnly) {
    test::RecordingShell recording;
    const Picture picture = test::MakePicture(3, 2, test::kTestColours, {1, 1, 2, 1, 1, 2});
    Quads quads;
    ConvertBitmap(recording.shell, picture, quads, {});
    const std::string path = recording.folder / "s1.dat";
    ASSERT_TRUE(WritePartFile(recording.shell, picture, quads, path, 2,
                              {"Sticker: s1", "s1", "Ann", "Unofficial Model"}));
    const CheckReport classic = CheckPartFile(path);
    EXPECT_EQ(classic.errors + classic.warnings, 0u) << Findings(classic);
    // Its polygons' faults are found all the same.
    const CheckReport bad = CheckPartText(test::ReadText(path) + "4 1 0 0 0 1 1 0 1 0 0 0 1 0\r\n");
    EXPECT_TRUE(Has(bad, "concave or crossed")) << Findings(bad);
}

// Hostile files end soon, in little memory: deep nesting, edges of very different sizes, and
// more findings than are listed; an empty file is no part.
TEST(PartCheckerFiles, HostileFilesAreCheckedInBoundedWorkAndEveryFindingIsCounted) {
    std::string nested = "0 !TEXMAP START PLANAR 0 0 0 1 0 0 0 0 1 s.png\n";
    for (int i = 0; i < 10000; ++i) nested += "0 !: ";
    nested += "3 4 0 0 0 1 0 0 0 0 1\n0 !TEXMAP FALLBACK\n0 !TEXMAP END\n";
    EXPECT_TRUE(Has(CheckPartText(nested), "holds another", true, 2));
    const CheckReport wide = CheckPartText(
        "3 4 0 0 0 0.001 0 0 0 0 0.001\n3 4 5 0 5 5.001 0 5 5 0 5.001\n"
        "3 4 -10000 0 0 10000 0 0 0 0 20000\n");
    EXPECT_EQ(wide.polygons, 3u);
    EXPECT_TRUE(Has(wide, "T-junction")) << Findings(wide);  // 0 0 0 lies on the wide one's edge
    // 3000 corners on one long edge: each a finding, all counted, the first 1000 listed.
    std::string many = "3 4 0 0 0 3001 0 0 0 0 -5\n";
    for (int i = 1; i <= 3000; ++i) {
        many += "3 4 " + std::to_string(i) + " 0 0 " + std::to_string(i) + ".5 0 1 " +
                std::to_string(i) + " 0 1\n";
    }
    const CheckReport junctions = CheckPartText(many);
    EXPECT_EQ(junctions.errors, 3000u);
    EXPECT_EQ(junctions.findings.size(), kMostListedFindings);
    for (const char* empty : {"", "\r\n\r\n", "   \n"}) {
        EXPECT_TRUE(Has(CheckPartText(empty), "the file is empty", true, 0));
    }
}

TEST(PartCheckerFiles, DamagedMissingAndHugeFilesAreReportedNotRead) {
    test::TempFolder folder;
    EXPECT_TRUE(Has(CheckPartFile(folder / "none.dat"), "cannot be read", true, 0));
    EXPECT_TRUE(Has(CheckPartFile(folder.path().string()), "cannot be read", true, 0));
    const std::string huge = folder / "huge.dat";
    { std::ofstream(huge) << "0 huge\n"; }
    std::filesystem::resize_file(huge, kMostCheckedBytes + 1);  // sparse: takes no disk
    EXPECT_TRUE(Has(CheckPartFile(huge), "larger than 256 MB", true, 0));
    // Random bytes: findings, never a crash; and the report's list is bounded.
    std::mt19937 random(3);
    std::string noise(200000, ' ');
    for (char& c : noise) c = static_cast<char>(random() % 7 == 0 ? '\n' : random() % 256);
    const CheckReport report = CheckPartText(noise);
    EXPECT_GT(report.errors, 0u);
    EXPECT_LE(report.findings.size(), kMostListedFindings);
    std::string many;
    for (int i = 0; i < 5000; ++i) many += "3 4 0 0 0 0 0 0 1 0 1\n";
    const CheckReport repeated = CheckPartText(many);
    EXPECT_EQ(repeated.errors, 5000u);
    EXPECT_EQ(repeated.findings.size(), kMostListedFindings);
}

}  // namespace
}  // namespace mosaikon
