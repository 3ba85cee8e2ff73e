// Text in drawings, drawn as its glyphs' outlines once the program reads the system's fonts: in a
// program of its own, as the converter is, measured against rsvg-convert's rendering.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "conversion/drawing_conversion.h"
#include "drawing/drawing_fidelity.h"
#include "drawing/svg_reader.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

namespace fs = std::filesystem;

const fs::path kLettering = fs::path(MOSAIKON_TEST_DATA) / "drawing-text" / "lettering.svg";

TEST(DrawingText, IsDrawnAsItsGlyphsWhereTheFontIsAtHandAndSaidWhereItIsNot) {
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    ASSERT_TRUE(PrepareForDrawingText());
    // Starting Qt leaves the numbers the program writes as they were.
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), locale);

    const Drawing drawing = ReadSvg(kLettering.string());
    EXPECT_TRUE(drawing.warnings.empty()) << drawing.warnings.front();
    test::RecordingShell recording;
    Quads quads;
    ASSERT_TRUE(ConvertDrawing(recording.shell, drawing, quads));
    const test::TempFolder temp;
    const test::Fidelity f = test::Measure(drawing, quads, test::Rendered(kLettering, drawing, temp.path()));
    std::printf("lettering: %zu polygons, %.2f %% right, %llu gaps, %llu overlaps\n", quads.size(),
                100 * f.Right(), static_cast<unsigned long long>(f.gaps),
                static_cast<unsigned long long>(f.overlaps));
    EXPECT_GE(f.Right(), 0.995);
    EXPECT_EQ(f.gaps, 0u);
    EXPECT_EQ(f.overlaps, 0u);

    // A font that is not at hand is said and another drawn; text along a path is said, left out.
    const Drawing other = ReadSvgText(
        "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
        "viewBox='0 0 100 40'><style>.a { font-family: 'No Such Face', Nowhere; }</style>"
        "<path id='p' d='M0 30 L100 30'/><text class='a' x='5' y='20'>Hi</text>"
        "<text id='along'><textPath xlink:href='#p'>bent</textPath></text></svg>",
        "other.svg");
    ASSERT_EQ(other.warnings.size(), 2u);
    EXPECT_EQ(other.warnings[0], "other.svg: font \"No Such Face\", \"Nowhere\" is not at hand: its "
                                 "text is drawn in a font that is");
    EXPECT_EQ(other.warnings[1], "other.svg: textPath is not drawn along its path: turn it into "
                                 "paths (outlines) in the drawing first");
    // The word in another font (the line has no area): "H" and the stem and dot of "i".
    ASSERT_EQ(other.shapes.size(), 1u);
    EXPECT_EQ(other.shapes[0].rings.size(), 3u);
}

TEST(DrawingText, TheConverterDrawsItAndSaysNothingOfQtsOwn) {
    const test::TempFolder temp;
    const fs::path part = temp.path() / "lettering.dat";
    const fs::path said = temp.path() / "said.txt";
    const std::string command = std::string("env -u XDG_RUNTIME_DIR ") + MOSAIKON_CONVERT_PATH +
                                " --format ldraw-sticker '" + kLettering.string() + "' '" +
                                part.string() + "' 2> '" + said.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string text = test::ReadText(said);
    EXPECT_EQ(text.find("QStandardPaths"), std::string::npos) << text;
    EXPECT_NE(text.find("(the drawing's shapes)"), std::string::npos) << text;
    EXPECT_EQ(text.find("warning"), std::string::npos) << text;
    // The lettering's polygons: far more than its three rectangles' worth.
    EXPECT_GT(std::stoi(text), 500) << text;
}

}  // namespace
}  // namespace mosaikon
