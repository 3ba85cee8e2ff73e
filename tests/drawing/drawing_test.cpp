// Drawings read from SVG and converted into stickers, measured against an independent rendering
// of the same files (rsvg-convert).

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "cli/batch.h"
#include "cli/conversion_job.h"
#include "conversion/drawing_conversion.h"
#include "drawing/svg_reader.h"
#include "image/colours.h"
#include "image/rgba_picture.h"
#include "ldraw/part_checker.h"
#include "shell/failure.h"
#include "sticker/sticker.h"
#include "support/test_support.h"
#include "drawing/drawing_fidelity.h"

namespace mosaikon {
namespace {

namespace fs = std::filesystem;

const fs::path kDrawings = fs::path(MOSAIKON_TEST_DATA) / "drawings";

double Area(const Quads& quads) {
    double area = 0;
    for (const LdrawQuad& q : quads) {
        const double xs[] = {q.X1, q.X2, q.X3, q.X4}, ys[] = {q.Y1, q.Y2, q.Y3, q.Y4};
        for (int i = 0; i < q.LineType; ++i) {
            const int j = (i + 1) % q.LineType;
            area += xs[i] * ys[j] - xs[j] * ys[i];
        }
    }
    return area / 2;
}

Quads Convert(const Drawing& drawing, DrawingConversionRun* run = nullptr,
              DrawingColours colours = {}) {
    test::RecordingShell recording;
    Quads quads;
    EXPECT_TRUE(ConvertDrawing(recording.shell, drawing, quads, colours, {}, run));
    return quads;
}

// The area drawn, in square drawing units. Corners lie on a lattice of 1/4096 of the drawing's
// height: on a drawing 100 units high, an area is right to about a fiftieth of its perimeter.
double DrawnArea(const std::string& svg) {
    const Drawing drawing = ReadSvgText(svg, "test.svg");
    const double unit = kDrawingPictureHeight / drawing.height;
    return Area(Convert(drawing)) / (unit * unit);
}

std::string Svg(const std::string& body, const std::string& box = "0 0 100 100") {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" viewBox=\"" + box + "\">" + body +
           "</svg>";
}

TEST(SvgReading, EveryShapeAndPathCommandDrawsItsArea) {
    EXPECT_NEAR(DrawnArea(Svg("<rect x='10' y='10' width='30' height='20'/>")), 600, 2);
    EXPECT_NEAR(DrawnArea(Svg("<rect x='10' y='10' width='30' height='20' rx='5'/>")),
                600 - (4 - M_PI) * 25, 2);
    EXPECT_NEAR(DrawnArea(Svg("<circle cx='50' cy='50' r='20'/>")), M_PI * 400, 3);
    EXPECT_NEAR(DrawnArea(Svg("<ellipse cx='50' cy='50' rx='30' ry='10'/>")), M_PI * 300, 3);
    EXPECT_NEAR(DrawnArea(Svg("<polygon points='10,10 50,10 10,50'/>")), 800, 2);
    EXPECT_NEAR(DrawnArea(Svg("<line x1='10' y1='50' x2='90' y2='50' stroke='red' "
                              "stroke-width='4'/>")), 320, 2);
    EXPECT_NEAR(DrawnArea(Svg("<polyline points='10,10 90,10' fill='none' stroke='red' "
                              "stroke-width='2' stroke-linecap='square'/>")), 164, 2);
    // Absolute and relative lines, H, V and Z, numbers with exponents.
    EXPECT_NEAR(DrawnArea(Svg("<path d='M10 10 H50 V30 H10 Z'/>")), 800, 2);
    EXPECT_NEAR(DrawnArea(Svg("<path d='m10,10 h40 v20 h-40 z'/>")), 800, 2);
    EXPECT_NEAR(DrawnArea(Svg("<path d='M1e1 1.0E1 L5e+1 10 L50 3e1 L100e-1 30Z'/>")), 800, 2);
    // Arcs: a circle of two half arcs, absolute and relative.
    EXPECT_NEAR(DrawnArea(Svg("<path d='M30 50 A20 20 0 0 1 70 50 a20 20 0 0 1 -40 0 Z'/>")),
                M_PI * 400, 3);
    // Curves: a quadratic curve and its smooth continuation, a cubic and its smooth one; the
    // area under a parabola's arc is two thirds of its box.
    EXPECT_NEAR(DrawnArea(Svg("<path d='M10 50 Q30 10 50 50 Z'/>")), 2.0 / 3 * 40 * 20, 2);
    // Its smooth continuation is the same arc turned over: two lobes, both filled.
    EXPECT_NEAR(DrawnArea(Svg("<path d='M10 50 Q30 10 50 50 T90 50 Z'/>")), 4.0 / 3 * 40 * 20, 3);
    EXPECT_NEAR(DrawnArea(Svg("<path d='M10 50 q20 -40 40 0 t40 0 L90 90 L10 90 Z'/>")), 3200,
                3);
    EXPECT_NEAR(DrawnArea(Svg("<path d='M10 50 C10 10 50 10 50 50 S90 90 90 50 L90 90 L10 90 Z'/>")),
                3200, 2);
}

TEST(SvgReading, TransformsNestAndTheViewBoxPlacesTheDrawing) {
    // A square turned by 45 degrees about its middle inside a group moved and scaled.
    const Drawing turned = ReadSvgText(
        Svg("<g transform='translate(50 50) scale(2)'><rect x='-10' y='-10' width='20' "
            "height='20' transform='rotate(45)'/></g>"),
        "t.svg");
    ASSERT_EQ(turned.shapes.size(), 1u);
    double top = 1e9, left = 1e9;
    for (const auto& p : turned.shapes[0].rings[0]) top = std::min(top, p.y), left = std::min(left, p.x);
    EXPECT_NEAR(top, 50 - 20 * std::sqrt(2.0), 1e-6);
    EXPECT_NEAR(left, 50 - 20 * std::sqrt(2.0), 1e-6);
    // Skew and matrix keep the area; a viewBox from -50, -25 puts its corner at the drawing's.
    EXPECT_NEAR(DrawnArea(Svg("<rect x='10' y='10' width='20' height='10' transform='skewX(30)'/>"
                              "<rect x='50' y='50' width='20' height='10' "
                              "transform='matrix(1 0.5 0 1 0 -30)'/>")),
                400, 2);
    const Drawing offset = ReadSvgText(
        Svg("<rect x='-50' y='-25' width='10' height='10'/>", "-50 -25 100 50"), "o.svg");
    EXPECT_EQ(offset.width, 100);
    EXPECT_EQ(offset.height, 50);
    EXPECT_NEAR(offset.shapes[0].rings[0][0].x, 0, 1e-9);
    EXPECT_NEAR(offset.shapes[0].rings[0][0].y, 0, 1e-9);
}

TEST(SvgReading, FillRulesHolesAndHiddenShapes) {
    const std::string star = "M50 5 L79 95 L3 39 L97 39 L21 95 Z";
    const double nonzero = DrawnArea(Svg("<path d='" + star + "'/>"));
    const double evenodd = DrawnArea(Svg("<path d='" + star + "' fill-rule='evenodd'/>"));
    EXPECT_GT(nonzero - evenodd, 500);  // the pentagon in the middle
    // A ring: a hole drawn the other way round is a hole by either rule.
    EXPECT_NEAR(DrawnArea(Svg("<path d='M10 10 H90 V90 H10 Z M30 30 V70 H70 V30 Z'/>")), 4800, 3);
    EXPECT_NEAR(DrawnArea(Svg("<path d='M10 10 H90 V90 H10 Z M30 30 H70 V70 H30 Z' "
                              "fill-rule='evenodd'/>")), 4800, 3);
    // Nothing of what is not shown, or not filled, is drawn.
    EXPECT_NEAR(DrawnArea(Svg("<rect width='10' height='10'/><rect x='20' width='10' height='10' "
                              "display='none'/><rect x='40' width='10' height='10' "
                              "visibility='hidden'/><rect x='60' width='10' height='10' "
                              "fill='none'/><rect x='80' width='10' height='10' opacity='0'/>")),
                100, 2);
}

TEST(SvgReading, ColoursInEverySyntax) {
    const Drawing drawing = ReadSvgText(
        Svg("<style>.c { fill: #123456 }</style>"
            "<rect width='5' height='5' fill='tomato'/>"
            "<rect x='10' width='5' height='5' fill='#3a3'/>"
            "<rect x='20' width='5' height='5' fill='rgb(10, 20, 30)'/>"
            "<rect x='30' width='5' height='5' fill='rgba(40, 50, 60, 1)'/>"
            "<g color='#abcdef'><rect x='40' width='5' height='5' fill='currentColor'/></g>"
            "<rect x='50' width='5' height='5' class='c'/>"
            "<rect x='60' width='5' height='5' style='fill:#fedcba'/>"),
        "c.svg");
    ASSERT_EQ(drawing.shapes.size(), 7u);
    const std::array<std::array<int, 3>, 7> expected{{{255, 99, 71}, {0x33, 0xaa, 0x33},
                                                      {10, 20, 30}, {40, 50, 60},
                                                      {0xab, 0xcd, 0xef}, {0x12, 0x34, 0x56},
                                                      {0xfe, 0xdc, 0xba}}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const DrawnShape& shape = drawing.shapes[i];
        EXPECT_EQ((std::array<int, 3>{shape.red, shape.green, shape.blue}), expected[i]) << i;
    }
}

TEST(SvgReading, WhatCannotBeDrawnIsSaidOncePerKindWithItsIds) {
    const std::vector<std::pair<std::string, std::string>> kinds = {
        {"<clipPath id='cut' clipPathUnits='objectBoundingBox'><rect width='.5' height='.5'/>"
         "</clipPath><rect width='50' height='50' clip-path='url(#cut)'/>",
         "clipPath \"cut\" is not applied"},
        {"<mask id='m1'><rect width='5' height='5' fill='#808080'/></mask>"
         "<rect width='50' height='50' mask='url(#m1)'/>", "mask \"m1\" is not applied"},
        {"<pattern id='dots' width='4' height='4'><circle r='1'/></pattern>"
         "<rect width='50' height='50' fill='url(#dots)'/>", "pattern \"dots\" is not drawn"},
        {"<filter id='blur'><feGaussianBlur stdDeviation='2'/></filter>"
         "<rect width='50' height='50' filter='url(#blur)'/>", "filter \"blur\" is not applied"},
        {"<marker id='tip'><path d='M0 0 L5 5'/></marker>"
         "<path d='M0 0 L50 50' stroke='black' marker-end='url(#tip)'/>", "marker \"tip\" is not drawn"},
        {"<linearGradient id='fade'><stop offset='0' stop-color='#ff0000'/>"
         "<stop offset='1' stop-color='#0000ff'/></linearGradient>"
         "<rect width='50' height='50' fill='url(#fade)'/>",
         "gradient \"fade\" is drawn in its first colour"},
        {"<rect width='50' height='50'/><image id='photo' width='10' height='10' "
         "xlink:href='photo.png'/>", "image \"photo\" is a picture"},
        {"<rect width='50' height='50'/><text x='10' y='10'>Hello there</text>",
         "text \"Hello there\" is not drawn"},
        {"<rect width='50' height='50'/><use id='far' xlink:href='other.svg#shape'/>",
         "use \"far\" refers to another file"},
        {"<rect width='50' height='50' fill='red' fill-opacity='0.5'/>", "partly transparent"},
    };
    for (const auto& [body, said] : kinds) {
        const Drawing drawing = ReadSvgText(Svg(body), "kinds.svg");
        ASSERT_EQ(drawing.warnings.size(), 1u) << body;
        EXPECT_NE(drawing.warnings[0].find("kinds.svg: "), std::string::npos);
        EXPECT_NE(drawing.warnings[0].find(said), std::string::npos) << drawing.warnings[0];
    }
    // The gradient's first colour is drawn.
    const Drawing fade = ReadSvgText(Svg(kinds[5].first), "f.svg");
    ASSERT_EQ(fade.shapes.size(), 1u);
    EXPECT_EQ(fade.shapes[0].red, 255);
    EXPECT_EQ(fade.shapes[0].blue, 0);
    // A clip in the user space of what it clips is applied, without a word; one within a clip's
    // shapes is not.
    const std::string clipped =
        Svg("<clipPath id='c'><rect x='10' width='20' height='100'/></clipPath>"
            "<rect width='50' height='50' clip-path='url(#c)' transform='translate(5 0)'/>");
    const Drawing cut = ReadSvgText(clipped, "c.svg");
    EXPECT_TRUE(cut.warnings.empty()) << cut.warnings.front();
    ASSERT_EQ(cut.clips.size(), 1u);
    ASSERT_EQ(cut.shapes.size(), 1u);
    EXPECT_EQ(cut.shapes[0].clips, std::vector<std::uint32_t>{0});
    // The clip in the element's user space, its transform included: 15 to 35 across.
    EXPECT_NEAR(DrawnArea(clipped), 20 * 50, 20);
    const Drawing within = ReadSvgText(
        Svg("<clipPath id='a'><rect width='10' height='10' clip-path='url(#b)'/>"
            "<clipPath id='b'><rect width='5' height='5'/></clipPath></clipPath>"
            "<rect width='50' height='50' clip-path='url(#a)'/>"),
        "w.svg");
    ASSERT_EQ(within.warnings.size(), 1u);
    EXPECT_NE(within.warnings[0].find("clipPath \"b\" is not applied"), std::string::npos);
    // A mask of white shapes clips as a clip would; one that is not is said, and the shapes
    // within it (never drawn themselves) are not drawn, wherever it stands.
    EXPECT_NEAR(DrawnArea(Svg("<rect width='50' height='50' mask='url(#m)'/>"
                              "<mask id='m'><g fill='white'><rect width='20' height='100'/></g></mask>")),
                20 * 50, 20);
    const Drawing shaded = ReadSvgText(
        Svg("<rect width='50' height='50' fill='red' mask='url(#s)'/>"
            "<mask id='s'><rect width='100' height='100' fill='white'/>"
            "<circle cx='25' cy='25' r='5' fill='black'/></mask>"),
        "s.svg");
    ASSERT_EQ(shaded.shapes.size(), 1u);
    EXPECT_EQ(shaded.shapes[0].red, 255);
    ASSERT_EQ(shaded.warnings.size(), 1u);
    EXPECT_NE(shaded.warnings[0].find("mask \"s\" is not applied"), std::string::npos);
    // Many of a kind: one line, the first ids and how many more.
    std::string many;
    for (int i = 0; i < 8; ++i) many += "<text id='t" + std::to_string(i) + "'>x</text>";
    const Drawing texts = ReadSvgText(Svg("<rect width='5' height='5'/>" + many), "m.svg");
    ASSERT_EQ(texts.warnings.size(), 1u);
    EXPECT_NE(texts.warnings[0].find("\"t4\" and 3 more"), std::string::npos) << texts.warnings[0];
}

TEST(SvgReading, BadInputIsRefusedQuicklyAndNothingElseIsRead) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(test::FailureOf([] { ReadSvgText("<svg xmlns='http://www.w3.org/2000/svg'><rect", "d.svg"); })
                  .find("d.svg is damaged or not an SVG drawing"), std::string::npos);
    EXPECT_NE(test::FailureOf([] { ReadSvgText("", "e.svg"); }).find("e.svg is"), std::string::npos);
    EXPECT_EQ(test::FailureOf([] { ReadSvgText("<html><body/></html>", "h.svg"); }),
              "h.svg is not an SVG drawing");
    EXPECT_EQ(test::FailureOf([] { ReadSvgText("\x89PNG\r\n\x1a\n\0\0\0", "p.svg"); }).rfind("p.svg is", 0),
              0u);
    // Entities that expand a billion times.
    std::string laughs = "<?xml version='1.0'?><!DOCTYPE svg [<!ENTITY a 'lollollollol'>";
    for (char c = 'b'; c <= 'j'; ++c) {
        laughs += std::string("<!ENTITY ") + c + " '" + std::string(10, '&') + "'>";
        std::string& line = laughs;
        const std::string ref = std::string("&") + static_cast<char>(c - 1) + ";";
        std::string body;
        for (int i = 0; i < 10; ++i) body += ref;
        line.replace(line.size() - 12, 10, body);
    }
    laughs += "]><svg xmlns='http://www.w3.org/2000/svg'><text>&j;</text></svg>";
    EXPECT_NE(test::FailureOf([&] { ReadSvgText(laughs, "l.svg"); }).find("l.svg is damaged"),
              std::string::npos);
    // Nesting deeper than a drawing needs.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<g>";
    EXPECT_NE(test::FailureOf([&] { ReadSvgText(Svg(deep), "n.svg"); }).find("n.svg nests its elements"),
              std::string::npos);
    EXPECT_EQ(test::FailureOf([] { ReadSvgText(Svg(""), "z.svg"); }),
              "z.svg draws nothing that a sticker could show");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10);

    // A file too large is not read; references to other files are not followed (a FIFO that
    // nothing writes would hold the reader forever).
    const test::TempFolder temp;
    const fs::path& folder = temp.path();
    {
        std::ofstream big(folder / "big.svg");
        big << Svg("") << std::string(kMostDrawingBytes, ' ');
    }
    EXPECT_NE(test::FailureOf([&] { ReadSvg((folder / "big.svg").string()); }).find("big.svg could not be read"),
              std::string::npos);
    ASSERT_EQ(mkfifo((folder / "held.png").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((folder / "held.svg").c_str(), 0600), 0);
    {
        std::ofstream refers(folder / "refers.svg");
        refers << Svg("<rect width='5' height='5'/><image width='5' height='5' xlink:href='held.png'/>"
                      "<use xlink:href='held.svg#a'/><image xlink:href='file://" +
                      (folder / "held.png").string() + "' width='5' height='5'/>");
    }
    const Drawing refers = ReadSvg((folder / "refers.svg").string());
    EXPECT_EQ(refers.shapes.size(), 1u);
    EXPECT_EQ(refers.warnings.size(), 2u);
}

TEST(SvgReading, CompressedDrawingsAreReadAsTheyAreAndExpandedWithinBounds) {
    const test::TempFolder temp;
    const fs::path& folder = temp.path();
    const fs::path plain = kDrawings / "strokes.svg";
    const std::string pack = "gzip -c '" + plain.string() + "' > '" + (folder / "s.svgz").string() + "'";
    ASSERT_EQ(std::system(pack.c_str()), 0);
    EXPECT_TRUE(IsDrawingFile("LOGO.SVGZ"));
    EXPECT_FALSE(IsDrawingFile(".svgz"));
    const Drawing drawing = ReadSvg((folder / "s.svgz").string());
    EXPECT_EQ(drawing, ReadSvg(plain.string()));
    // Cut short, damaged, and a small file that would expand beyond what is read.
    const std::string packed = test::ReadText((folder / "s.svgz").string());
    EXPECT_NE(test::FailureOf([&] { ReadSvgText(packed.substr(0, packed.size() / 2), "c.svgz"); })
                  .find("c.svgz is cut short"), std::string::npos);
    std::string damaged = packed;
    for (std::size_t i = 20; i < 60 && i < damaged.size(); ++i) damaged[i] = static_cast<char>(~damaged[i]);
    EXPECT_EQ(test::FailureOf([&] { ReadSvgText(damaged, "d.svgz"); }).rfind("d.svgz is ", 0), 0u);
    const auto start = std::chrono::steady_clock::now();
    const std::string bomb = "( printf '<svg xmlns=\"http://www.w3.org/2000/svg\">'; head -c 100000000 "
                             "/dev/zero | tr '\\0' ' ' ) | gzip -c > '" + (folder / "b.svgz").string() + "'";
    ASSERT_EQ(std::system(bomb.c_str()), 0);
    EXPECT_LT(fs::file_size(folder / "b.svgz"), 200000u);
    const auto bombStart = std::chrono::steady_clock::now();
    EXPECT_EQ(test::FailureOf([&] { ReadSvg((folder / "b.svgz").string()); }),
              "b.svgz expands to more than 16 MB: not read");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - bombStart).count(), 1);
    (void)start;
}

TEST(SvgReading, CurvesAreFlattenedWithinTheToleranceAskedAndNoFiner) {
    // A circle of radius 40, which Qt SVG draws as four cubic curves that stray up to 0.011 units
    // from it: every line's middle lies within the tolerance of the curve, and the lines are not
    // many more than that needs.
    const std::string circle = Svg("<circle cx='50' cy='50' r='40'/>");
    constexpr double kCurveOff = 0.011;
    const auto worstOf = [](const std::vector<DrawingPoint>& ring) {
        double worst = 0;
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const DrawingPoint a = ring[i], b = ring[(i + 1) % ring.size()];
            EXPECT_NEAR(std::hypot(a.x - 50, a.y - 50), 40, kCurveOff);
            worst = std::max(worst, 40 - std::hypot((a.x + b.x) / 2 - 50, (a.y + b.y) / 2 - 50));
        }
        return worst;
    };
    std::map<double, std::size_t> lines;
    for (const double tolerance : {1.0, 0.1, 0.01, 0.001}) {
        SCOPED_TRACE(tolerance);
        SvgReading reading;
        double heightSeen = 0;
        reading.flatness = [&](double height) {
            heightSeen = height;
            return tolerance;
        };
        const Drawing drawing = ReadSvgText(circle, "c.svg", reading);
        EXPECT_EQ(heightSeen, 100);
        ASSERT_EQ(drawing.shapes.size(), 1u);
        ASSERT_EQ(drawing.shapes[0].rings.size(), 1u);
        const std::vector<DrawingPoint>& ring = drawing.shapes[0].rings[0];
        // Finer than the corners' lattice (100 / 8192 units) is no finer.
        const double kept = std::max(tolerance, 100.0 / 8192);
        const double worst = worstOf(ring);
        EXPECT_LE(worst, kept + kCurveOff);
        // Halving each curve until it is close enough: never four times closer than asked.
        if (tolerance >= 0.1) EXPECT_GT(worst, kept / 4);
        lines[tolerance] = ring.size();
    }
    EXPECT_LT(lines[1.0], lines[0.1]);
    EXPECT_LT(lines[0.1], lines[0.01]);
    EXPECT_EQ(lines[0.01], lines[0.001]);
    // Without a tolerance: a two-thousandth of the height.
    EXPECT_LE(worstOf(ReadSvgText(circle, "c.svg").shapes[0].rings[0]), 100.0 / 2000 + kCurveOff);
}

// The polygons a converter that cuts each area into horizontal trapezoids would write for the
// same areas: each area's outline (the sides of its polygons no other of its polygons shares) cut
// at the height of every corner, one trapezoid for each span between two sides in each band.
std::uint64_t Trapezoids(const Quads& quads) {
    using Point = std::pair<double, double>;
    std::map<std::int32_t, std::map<std::pair<Point, Point>, int>> sides;  // colour -> side -> uses
    for (const LdrawQuad& q : quads) {
        const double xs[] = {q.X1, q.X2, q.X3, q.X4}, ys[] = {q.Y1, q.Y2, q.Y3, q.Y4};
        for (int i = 0; i < q.LineType; ++i) {
            const int j = (i + 1) % q.LineType;
            Point a{xs[i], ys[i]}, b{xs[j], ys[j]};
            if (b < a) std::swap(a, b);
            ++sides[q.Color][{a, b}];
        }
    }
    std::uint64_t count = 0;
    for (const auto& [colour, uses] : sides) {
        std::vector<std::pair<double, double>> spans;  // each outline side's heights
        std::set<double> heights;
        for (const auto& [side, n] : uses) {
            if (n != 1) continue;
            const auto [low, high] = std::minmax(side.first.second, side.second.second);
            heights.insert(low);
            heights.insert(high);
            if (low < high) spans.emplace_back(low, high);
        }
        const std::vector<double> h(heights.begin(), heights.end());
        for (std::size_t band = 0; band + 1 < h.size(); ++band) {
            std::uint64_t crossing = 0;
            for (const auto& [low, high] : spans) crossing += low <= h[band] && high >= h[band + 1];
            count += crossing / 2;
        }
    }
    return count;
}

std::vector<fs::path> DrawingSet() {
    std::vector<fs::path> set;
    for (const auto& entry : fs::directory_iterator(kDrawings)) set.push_back(entry.path());
    // Icons and logos of the Debian packages the program is built with.
    for (const char* icon : {"/usr/share/icons/hicolor/scalable/apps/leocad.svg",
                             "/usr/share/icons/hicolor/scalable/apps/gvim.svg",
                             "/usr/share/icons/Adwaita/scalable/places/user-home-symbolic.svg",
                             "/usr/share/icons/Adwaita/scalable/status/weather-storm-symbolic.svg",
                             "/usr/share/icons/Adwaita/scalable/devices/printer-symbolic.svg",
                             "/usr/share/icons/Adwaita/scalable/emblems/emblem-favorite-symbolic.svg",
                             "/usr/share/icons/Adwaita/scalable/apps/preferences-desktop-accessibility-symbolic.svg",
                             "/usr/share/icons/Adwaita/scalable/actions/find-location-symbolic.svg",
                             "/usr/share/icons/Adwaita/scalable/status/dialog-warning-symbolic.svg"}) {
        if (fs::exists(icon)) set.emplace_back(icon);
    }
    std::sort(set.begin(), set.end());
    return set;
}

TEST(DrawingStickers, LookLikeTheirDrawingsWithoutGapsOrOverlapsInTheFewestPolygons) {
    const test::TempFolder temp;
    const fs::path& folder = temp.path();
    std::uint64_t polygons = 0, least = 0, counted = 0, files = 0, trapezoids = 0;
    for (const fs::path& svg : DrawingSet()) {
        SCOPED_TRACE(svg.string());
        Drawing drawing;
        try {
            drawing = ReadSvg(svg.string());
        } catch (const Failure& failure) {
            // A picture in an SVG file (the LeoCAD icon is one) is no drawing.
            EXPECT_NE(std::string(failure.what()).find("draws nothing"), std::string::npos);
            continue;
        }
        DrawingConversionRun run;
        const Quads quads = Convert(drawing, &run);
        EXPECT_EQ(run.facesLeftOut, 0u);
        polygons += quads.size();
        least += run.leastPolygons;
        counted += run.countedPolygons;
        EXPECT_GE(quads.size(), run.leastPolygons);
        trapezoids += Trapezoids(quads);
        ++files;
        const test::Fidelity f = test::Measure(drawing, quads, test::Rendered(svg, drawing, folder));
        std::printf("%-50s %6llu polygons (at least %llu, counted %llu, trapezoids %llu), %.2f %% right, "
                    "%llu gaps, %llu overlaps\n",
                    svg.filename().c_str(), static_cast<unsigned long long>(quads.size()),
                    static_cast<unsigned long long>(run.leastPolygons),
                    static_cast<unsigned long long>(run.countedPolygons),
                    static_cast<unsigned long long>(Trapezoids(quads)),
                    100.0 * static_cast<double>(f.right) / static_cast<double>(f.samples),
                    static_cast<unsigned long long>(f.gaps), static_cast<unsigned long long>(f.overlaps));
        EXPECT_GE(static_cast<double>(f.right) / f.samples, 0.995)
            << f.right << " of " << f.samples;
        EXPECT_EQ(f.gaps, 0u);
        EXPECT_EQ(f.overlaps, 0u);
        // Every form the parts library checks is clean.
        test::RecordingShell recording;
        Shell& shell = recording.shell;
        StickerRequest request;
        auto picture = std::make_shared<Picture>();
        picture->infoHeader.biWidth = DrawingPictureWidth(drawing);
        picture->infoHeader.biHeight = kDrawingPictureHeight;
        request.picture = picture;
        request.drawing = std::make_shared<Drawing>(drawing);
        request.format = PartFormat::LdrawSticker;
        request.height = 40;
        request.details = {"Sticker: test", "test", "Ann Example [ann]", "Unofficial Model"};
        request.fileName = "test.dat";
        const Sticker sticker = MakeSticker(shell, request, {}, nullptr, StickerUse::File);
        ASSERT_TRUE(sticker.made);
        // The face is the drawing's own polygons, not traced again.
        EXPECT_EQ(sticker.shapes->face.size(), quads.size());
        const fs::path part = folder / (svg.stem().string() + ".dat");
        ASSERT_TRUE(WriteSticker(shell, sticker, part.string()));
        const CheckReport report = CheckPartFile(part.string());
        EXPECT_EQ(report.errors, 0u) << (report.findings.empty() ? "" : FindingLine(report.findings[0]));
        // The textured form: clean too, its texture the drawing as drawn.
        auto drawn = std::make_shared<RgbaPicture>();
        SvgReading reading;
        reading.rendered = drawn.get();
        ReadSvg(svg.string(), reading);
        request.format = PartFormat::LdrawTexture;
        request.original = drawn;
        const Sticker textured = MakeSticker(shell, request, {}, nullptr, StickerUse::File);
        ASSERT_TRUE(textured.made);
        EXPECT_EQ(textured.shapes->face.size(), quads.size());
        ASSERT_TRUE(WriteSticker(shell, textured, part.string()));
        const CheckReport texturedReport = CheckPartFile(part.string());
        EXPECT_EQ(texturedReport.errors, 0u)
            << (texturedReport.findings.empty() ? "" : FindingLine(texturedReport.findings[0]));
        const double alike = test::TextureAlike(textured.shapes->texture, drawn->width,
                                                drawn->height, svg, folder);
        std::printf("%-50s texture %d x %d, %.2f %% alike\n", svg.filename().c_str(), drawn->width,
                    drawn->height, 100 * alike);
        // (Strokes under a pixel wide, as in the gvim icon, are shaded a little differently by
        // the two renderers along their length.)
        EXPECT_GE(alike, 0.98);
    }
    EXPECT_GE(files, 12u);
    // The cut is within 10 % of the fewest polygons any cut of the faces without added corners
    // can have. The count of corners and holes alone allows fewer around a curved hole (the
    // background around a disc), where no convex piece joins two of the hole's sides: about one
    // polygon a side where that count allows half of one.
    EXPECT_LE(10 * polygons, 11 * least) << polygons << " polygons, at least " << least;
    EXPECT_LE(polygons, counted + counted / 8) << polygons << " polygons, counted " << counted;
    std::printf("%llu drawings: %llu polygons, at least %llu (%llu by corners and holes); cut into "
                "trapezoids %llu\n",
                static_cast<unsigned long long>(files), static_cast<unsigned long long>(polygons),
                static_cast<unsigned long long>(least), static_cast<unsigned long long>(counted),
                static_cast<unsigned long long>(trapezoids));
    // Trapezoids take far more (and meet with T-junctions).
    EXPECT_GT(trapezoids, polygons * 3 / 2);
}

TEST(DrawingStickers, LdrawColoursJoinShapesOfOneCode) {
    // Two reds side by side become one face of LDraw red: one quadrilateral.
    const Drawing drawing = ReadSvgText(
        Svg("<rect width='50' height='100' fill='#c91a09'/><rect x='50' width='50' height='100' "
            "fill='#d01010'/>"),
        "r.svg");
    DrawingConversionRun run;
    const Quads quads = Convert(drawing, &run, {ColourSet::LdrawCore});
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0].Color, 4);
    EXPECT_EQ(Convert(drawing).size(), 2u);
}

TEST(DrawingStickers, CrowdsOfSmallStrokedShapesLeaveNoAreaOut) {
    // Strokes thinner than a few lattice units round thin faces that touch themselves, fold
    // where a neighbour's corner is shared, or bend over their own sides: each is still filled.
    std::mt19937 random(5);
    std::uniform_real_distribution<double> place(0, 400), size(2, 8), turn(0, 90);
    std::string body;
    char line[256];
    for (int i = 0; i < 1500; ++i) {
        const double x = place(random), y = place(random), r = size(random);
        const unsigned c = static_cast<unsigned>(random()) & 0xffffffu;
        if (i % 2 == 0) {
            std::snprintf(line, sizeof line,
                          "<path d='M%.1f %.1f l%.1f %.1f l%.1f %.1f z' fill='#%06x' stroke='#000' "
                          "stroke-width='0.2'/>", x, y, r, r / 2, -r / 2, r, c);
        } else {
            std::snprintf(line, sizeof line,
                          "<rect x='%.2f' y='%.2f' width='%.2f' height='%.2f' fill='#%06x' stroke='#fff' "
                          "stroke-width='0.15' transform='rotate(%.1f %.1f %.1f)'/>", x, y, 2 * r, r, c,
                          turn(random), x, y);
        }
        body += line;
    }
    const Drawing drawing = ReadSvgText(
        "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 400 400'>" + body + "</svg>", "crowd.svg");
    DrawingConversionRun run;
    const Quads quads = Convert(drawing, &run);
    EXPECT_EQ(run.facesLeftOut, 0u) << run.faces << " faces";
    EXPECT_GE(quads.size(), run.leastPolygons);
    std::printf("%llu faces, %zu polygons\n", static_cast<unsigned long long>(run.faces), quads.size());
}

TEST(DrawingStickers, PartlyTransparentShapesBlendOverWhatLiesBeneath) {
    const Drawing drawing = ReadSvgText(
        Svg("<rect width='50' height='100' fill='#0000ff'/>"
            "<rect y='25' width='100' height='50' fill='#ff0000' fill-opacity='0.5'/>"),
        "o.svg");
    const Quads quads = Convert(drawing);
    std::set<std::int32_t> codes;
    for (const LdrawQuad& q : quads) codes.insert(q.Color);
    EXPECT_EQ(codes, (std::set<std::int32_t>{kDirectColorBase + 0x0000ff,
                                             kDirectColorBase + 0x800080,
                                             kDirectColorBase + 0xff8080}));
}

}  // namespace
}  // namespace mosaikon

namespace mosaikon {
namespace {

TEST(DrawingFiles, AreConvertedByTheConverterAndItsBatchAsPicturesAre) {
    const test::TempFolder temp;
    const fs::path& folder = temp.path();
    fs::copy_file(kDrawings / "badge.svg", folder / "Badge.SVG");
    fs::copy_file(kDrawings / "opacity.svg", folder / "see-through.svg");
    test::RecordingShell recording;
    JobOptions options;
    // A drawing is as high as its own units by default: the badge is 64 units high.
    JobReport report = ConvertPicture(recording.shell, (folder / "Badge.SVG").string(),
                                      (folder / "badge.dat").string(), options);
    ASSERT_TRUE(report.converted) << report.message;
    EXPECT_EQ(report.width, 64);
    EXPECT_EQ(report.height, 64);
    EXPECT_EQ(BaseName(report.output), "badge");
    const CheckReport classic = CheckPartFile((folder / "badge.dat").string());
    EXPECT_EQ(classic.polygons, report.counts.quadrilaterals + report.counts.triangles);
    options.format = PartFormat::LdrawSticker;
    options.height = 32;
    report = ConvertPicture(recording.shell, (folder / "Badge.SVG").string(),
                            (folder / "badge.dat").string(), options);
    ASSERT_TRUE(report.converted) << report.message;
    const std::string text = test::ReadText((folder / "badge.dat").string());
    EXPECT_EQ(text.rfind("0 Sticker 1.6 x 1.4 ", 0), 0u) << text.substr(0, 60);
    EXPECT_EQ(CheckPartFile((folder / "badge.dat").string()).errors, 0u);

    // The textured form: the drawing drawn is the texture, its shapes the fallback.
    options.format = PartFormat::LdrawTexture;
    options.height = 60;
    report = ConvertPicture(recording.shell, (folder / "see-through.svg").string(),
                            (folder / "through.dat").string(), options);
    ASSERT_TRUE(report.converted) << report.message;
    EXPECT_EQ(CheckPartFile((folder / "through.dat").string()).errors, 0u);
    const std::string textured = test::ReadText((folder / "through.dat").string());
    // The texture spans the picture's rectangle: a 100 x 60 drawing drawn 1,707 x 1,024 pixels,
    // padded to 2,048 x 1,024, is 120 LDU wide where the sticker is 99.99.
    EXPECT_NE(textured.find("0 !TEXMAP START PLANAR -49.9951 -0.25 30 70.0049 -0.25 30 -49.9951 "
                            "-0.25 -30 through.png\r\n"),
              std::string::npos) << textured.substr(0, 400);
    const std::vector<std::uint8_t> png = test::ReadBytes(folder / "textures" / "through.png");
    const RgbaPicture texture = DecodePng(png, "through.png", DecodeRules{});
    ASSERT_EQ(texture.width, 2048);
    ASSERT_EQ(texture.height, 1024);
    // Against rsvg-convert at the same size, its see-through colours over white where anything
    // is drawn: transparent beyond the drawing, alike within it but for anti-aliased edges.
    const test::TempFolder elsewhere;
    const fs::path drawn = elsewhere.path() / "reference.png";
    const std::string draw = "rsvg-convert -w 1707 -h 1024 '" + (folder / "see-through.svg").string() +
                             "' -o '" + drawn.string() + "'";
    ASSERT_EQ(std::system(draw.c_str()), 0);
    const RgbaPicture reference = DecodePng(test::ReadBytes(drawn), "reference.png", DecodeRules{});
    std::uint64_t alike = 0, clear = 0;
    for (std::int32_t y = 0; y < texture.height; ++y) {
        for (std::int32_t x = 0; x < texture.width; ++x) {
            const std::uint8_t* t = &texture.rgba[(static_cast<std::size_t>(y) * texture.width + x) * 4];
            if (x >= reference.width) {
                clear += t[3] == 0;
                continue;
            }
            const std::uint8_t* r = &reference.rgba[(static_cast<std::size_t>(y) * reference.width + x) * 4];
            bool same = (t[3] == 0) == (r[3] == 0);
            for (int c = 0; c < 3 && same && r[3] > 0; ++c) {
                const int overWhite = (r[c] * r[3] + 255 * (255 - r[3])) / 255;
                same = std::abs(overWhite - t[c]) <= 8;
            }
            alike += same;
        }
    }
    EXPECT_EQ(clear, static_cast<std::uint64_t>(2048 - 1707) * 1024);
    EXPECT_GE(static_cast<double>(alike) / (1707.0 * 1024), 0.995);
    // Its compressed twin is the same sticker; the flattening follows --tolerance in LDraw units.
    const fs::path packed = folder / "packed";
    fs::create_directory(packed);
    const std::string pack = "gzip -c '" + (folder / "Badge.SVG").string() + "' > '" +
                             (packed / "badge.svgz").string() + "'";
    ASSERT_EQ(std::system(pack.c_str()), 0);
    options.format = PartFormat::Classic;
    options.height.reset();
    const auto polygonsOf = [&](const fs::path& drawing) {
        const JobReport made = ConvertPicture(recording.shell, drawing.string(),
                                              (folder / "t.dat").string(), options);
        EXPECT_TRUE(made.converted) << made.message;
        return made.counts.quadrilaterals + made.counts.triangles;
    };
    const std::uint64_t standard = polygonsOf(folder / "Badge.SVG");
    EXPECT_EQ(polygonsOf(packed / "badge.svgz"), standard);
    options.drawingTolerance = 1;
    const std::uint64_t coarse = polygonsOf(packed / "badge.svgz");
    EXPECT_LT(coarse, standard / 2);
    // The same tolerance on a sticker ten times as high is ten times finer in the drawing.
    options.height = 640;
    EXPECT_GT(polygonsOf(packed / "badge.svgz"), coarse * 3 / 2);
    options.drawingTolerance.reset();
    options.height = 32;
    std::vector<Unreadable> none;
    EXPECT_EQ(CollectPictures({packed.string()}, false, none).size(), 1u);
    // Lines far thinner than a corner's placing leave nothing to write: refused, no empty part.
    {
        std::ofstream hair(packed / "hair.svg");
        hair << Svg("<path d='M0 0 L100 100' stroke='red' stroke-width='0.0001'/>");
    }
    for (const PartFormat form : {PartFormat::Classic, PartFormat::LdrawSticker, PartFormat::LdrawTexture}) {
        options.format = form;
        report = ConvertPicture(recording.shell, (packed / "hair.svg").string(),
                                (packed / "hair.dat").string(), options);
        EXPECT_FALSE(report.converted);
        EXPECT_NE(report.message.find("Nothing of the drawing is large enough to show"),
                  std::string::npos) << report.message;
        EXPECT_FALSE(fs::exists(packed / "hair.dat"));
    }

    // In a batch, among pictures: the warnings of each come with its report.
    options.format = PartFormat::LdrawSticker;
    std::vector<Unreadable> unreadable;
    const std::vector<std::string> found = CollectPictures({folder.string()}, false, unreadable);
    ASSERT_EQ(found.size(), 2u);
    const fs::path out = folder / "out";
    fs::create_directory(out);
    std::vector<std::string> parts;
    for (const std::string& name : PartNames(found)) parts.push_back((out / (name + ".dat")).string());
    const std::vector<JobReport> reports = RunBatch(found, parts, options, 2, 1u << 30);
    ASSERT_EQ(reports.size(), 2u);
    for (const JobReport& done : reports) EXPECT_TRUE(done.converted) << done.message;
    EXPECT_TRUE(fs::exists(out / "badge.dat"));
    EXPECT_TRUE(fs::exists(out / "see-thro.dat"));
    const JobReport& through = reports[0].input.ends_with("see-through.svg") ? reports[0] : reports[1];
    ASSERT_EQ(through.warnings.size(), 1u);
    EXPECT_NE(through.warnings[0].find("partly transparent"), std::string::npos);
}

}  // namespace
}  // namespace mosaikon
