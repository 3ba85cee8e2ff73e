// What a person sees of the vector conversion's stickers: on crisp drawings with small features
// (one-pixel strokes at every angle, small text, dots and stars) and beside left-out pixels,
// and on ImageMagick's logo, also with its white left out, every feature is kept (a diagonal
// stroke of single pixels is not halved by a border straightened through its middles); on its
// wizard at most 1 % of them go; no part of the picture is left bare, nothing
// is covered twice, no left-out pixel's middle is covered; and the sticker takes far fewer
// polygons than the exact conversion's. The full conversion's face, traced again, leaves no gap
// either.

#include <gtest/gtest.h>

#include <cmath>

#include "conversion/exact_conversion.h"
#include "image/bitmap_reader.h"
#include "ldraw/part_checker.h"
#include "sticker/sticker.h"
#include "support/picture_metrics.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

struct Drawing {
    std::string name, arguments;
    bool ignoreWhite = false;
    double mostLost = 0;  // the share of features that may go
};

std::string Strokes() {
    std::string draw = "-size 200x200 xc:white +antialias -strokewidth 1 -fill none";
    const char* colours[] = {"black", "red", "navy", "green", "purple"};
    for (int i = 0; i < 30; ++i) {
        const double angle = i * 3.14159265358979 / 30;
        draw += " -stroke " + std::string(colours[i % 5]) + " -draw 'line " +
                std::to_string(100 + 15 * std::cos(angle)) + "," + std::to_string(100 + 15 * std::sin(angle)) +
                " " + std::to_string(100 + 95 * std::cos(angle)) + "," + std::to_string(100 + 95 * std::sin(angle)) + "'";
    }
    return draw;
}

std::string Text(bool antialias) {
    std::string draw = "-size 360x80 xc:white -font DejaVu-Sans " + std::string(antialias ? "" : "+antialias ") + "-fill black";
    int y = 14;
    for (const int size : {10, 12, 14}) {
        draw += " -pointsize " + std::to_string(size) + " -annotate +4+" + std::to_string(y) +
                " 'Mosaikon sticker 0123456789 Iljk!'";
        y += size + 10;
    }
    return draw + (antialias ? " +dither -colors 16" : "");
}

std::string Dots() {
    std::string draw = "-size 160x100 xc:white +antialias";
    const char* colours[] = {"red", "navy", "black", "orange"};
    for (int i = 0; i < 24; ++i) {
        const int x = 8 + (i % 8) * 19, y = 8 + (i / 8) * 30, side = 2 + i % 3;
        draw += " -fill " + std::string(colours[i % 4]) + " -draw 'rectangle " + std::to_string(x) + "," +
                std::to_string(y) + " " + std::to_string(x + side - 1) + "," + std::to_string(y + side - 1) + "'";
        const int sx = x + 8, sy = y + 12;
        draw += " -draw 'polygon " + std::to_string(sx) + "," + std::to_string(sy - 3) + " " + std::to_string(sx + 1) + "," +
                std::to_string(sy - 1) + " " + std::to_string(sx + 3) + "," + std::to_string(sy) + " " + std::to_string(sx + 1) +
                "," + std::to_string(sy + 1) + " " + std::to_string(sx) + "," + std::to_string(sy + 3) + " " +
                std::to_string(sx - 1) + "," + std::to_string(sy + 1) + " " + std::to_string(sx - 3) + "," + std::to_string(sy) +
                " " + std::to_string(sx - 1) + "," + std::to_string(sy - 1) + "'";
    }
    return draw;
}

Sticker Make(const Picture& picture, const ConversionSettings& settings, ConversionMethod method) {
    StickerRequest request;
    request.picture = std::make_shared<const Picture>(picture);
    request.settings = settings;
    request.method = method;
    request.format = PartFormat::LdrawSticker;
    request.height = picture.Height();
    request.details = {"Sticker", "s", "a", "d"};
    request.fileName = "s.dat";
    return MakeSticker(Shell{}, request);
}

TEST(VectorQuality, EveryFeatureKeptNoGapAndFewPolygons) {
    test::TempFolder folder;
    const std::vector<Drawing> set = {
        {"strokes", Strokes()},
        {"text", Text(false)},
        {"text anti-aliased", Text(true)},
        {"dots and stars", Dots()},
        {"logo", "logo: -resize '320x240!' +dither -colors 8"},
        {"logo beside holes", "logo: -resize '320x240!' +dither -colors 8", true},
        {"wizard", "wizard: +dither -colors 12", false, 0.01},
    };
    double vector = 0, exact = 0;
    for (const Drawing& drawing : set) {
        SCOPED_TRACE(drawing.name);
        const std::string path = folder / "picture.png";
        if (!test::Succeeds("convert " + drawing.arguments + " PNG32:" + path)) GTEST_SKIP() << "no ImageMagick";
        const test::Loaded loaded = test::LoadFile(path);
        ASSERT_FALSE(loaded.failed);
        const Picture& picture = loaded.picture;
        const ConversionSettings settings{.IgnoreWhite = drawing.ignoreWhite};
        Shell shell;
        const test::CodeGrid codes{picture.Width(), picture.Height(), ColourCodeGrid(shell, picture, settings)};
        const Sticker sticker = Make(picture, settings, ConversionMethod::Vector);
        ASSERT_TRUE(sticker.made);
        const test::Measured measured = test::MeasureSticker(codes, sticker.preview.polygons);
        EXPECT_LE(static_cast<double>(measured.featuresLost), drawing.mostLost * static_cast<double>(measured.features))
            << measured.featuresLost << " of " << measured.features;
        EXPECT_EQ(measured.gaps, 0u);
        EXPECT_EQ(measured.overlaps, 0u);
        EXPECT_EQ(measured.leftOutCentres, 0u);
        const Sticker exactSticker = Make(picture, settings, ConversionMethod::Exact);
        const double v = static_cast<double>(sticker.preview.polygons.size());
        const double e = static_cast<double>(exactSticker.preview.polygons.size());
        EXPECT_LE(v, 0.75 * e);
        vector += v, exact += e;
        RecordProperty(drawing.name, std::to_string(measured.featuresLost) + " of " +
                                         std::to_string(measured.features) + " features lost, " +
                                         std::to_string(static_cast<int>(v)) + " polygons, exact " +
                                         std::to_string(static_cast<int>(e)));
        // The full conversion's face is traced again: every pixel of the picture is in it.
        const Sticker full = Make(picture, settings, ConversionMethod::Full);
        const test::Measured traced = test::MeasureSticker(codes, full.preview.polygons);
        EXPECT_EQ(traced.gaps, 0u) << "full conversion";
        EXPECT_EQ(traced.overlaps, 0u) << "full conversion";
    }
    EXPECT_LE(vector, 0.5 * exact);
}

// Anti-aliased drawings of many colours, reduced by the program: in the classic and the library
// form the corners along their edges lie between the pixels, where the blends put the edge, and
// the sticker still leaves no gap, covers nothing twice, passes the parts check, and keeps every
// feature that the same outlines on the pixels' lattice keep.
TEST(VectorQuality, CornersBetweenThePixelsKeepTheStickerWhole) {
    test::TempFolder folder;
    const std::vector<std::string> set = {
        "-size 300x200 xc:white -fill red -draw 'circle 100,100 100,20' -fill white -draw 'circle 100,100 100,55' "
        "-fill navy -draw 'polygon 180,20 290,60 200,180' -font DejaVu-Sans -pointsize 28 -fill black "
        "-annotate +150+190 'Sticker'",
        "-size 200x200 xc:white -strokewidth 2 -fill none -stroke purple -draw 'line 10,190 190,20' "
        "-stroke green -draw 'ellipse 100,100 80,40 0,360' -stroke orange -draw 'line 20,20 180,60'",
        "logo: -resize '320x240!'",
        "logo:",
        "wizard:",
    };
    for (const std::string& arguments : set) {
        SCOPED_TRACE(arguments);
        const std::string path = folder / "picture.png";
        if (!test::Succeeds("convert " + arguments + " PNG24:" + path)) GTEST_SKIP() << "no ImageMagick";
        auto original = std::make_shared<RgbaPicture>();
        Shell shell;
        Picture picture;
        double height = 0, width = 0;
        ReadOptions read;
        read.original = original.get();
        read.reduction.mostColours = 16;
        LoadBitmap(shell, picture, path, height, width, read);
        ASSERT_GT(picture.Width(), 0);
        ASSERT_GT(picture.SourceColours, static_cast<std::int64_t>(picture.Palette.size()));
        const test::CodeGrid codes{picture.Width(), picture.Height(), ColourCodeGrid(shell, picture, {})};
        std::uint64_t lost = 0;
        // On the lattice first, then between the pixels in either form.
        for (const auto& [format, between] : {std::pair{PartFormat::LdrawSticker, false},
                                              {PartFormat::Classic, true}, {PartFormat::LdrawSticker, true}}) {
            SCOPED_TRACE(std::string(FormatName(format)) + (between ? " between the pixels" : " on the lattice"));
            StickerRequest request;
            request.picture = std::make_shared<const Picture>(picture);
            request.original = original;
            request.method = ConversionMethod::Vector;
            request.vector.betweenPixels = between;
            request.format = format;
            request.height = picture.Height();
            request.details = {"Sticker", "s", "a", "d"};
            request.fileName = "s.dat";
            const Sticker sticker = MakeSticker(Shell{}, request);
            ASSERT_TRUE(sticker.made);
            std::size_t off = 0;
            for (const ViewPolygon& polygon : sticker.preview.polygons) {
                for (int k = 0; k < polygon.count; ++k) {
                    const auto idx = static_cast<std::size_t>(k);
                    off += std::fabs(2 * polygon.x[idx] - std::round(2 * polygon.x[idx])) > 1e-6 ||
                           std::fabs(2 * polygon.y[idx] - std::round(2 * polygon.y[idx])) > 1e-6;
                }
            }
            EXPECT_EQ(off > 0, between);
            // Features of blended colour along the edges go to either side alike.
            const test::Measured measured = test::MeasureSticker(codes, sticker.preview.polygons);
            if (!between) {
                lost = measured.featuresLost;
            } else {
                EXPECT_LE(measured.featuresLost, lost) << "of " << measured.features;
            }
            EXPECT_EQ(measured.gaps, 0u);
            EXPECT_EQ(measured.overlaps, 0u);
            Shell writing;
            const std::string part = folder / "s.dat";
            ASSERT_TRUE(WriteSticker(writing, sticker, part));
            const CheckReport report = CheckPartFile(part);
            EXPECT_EQ(report.errors, 0u) << (report.findings.empty() ? "" : report.findings.front().text);
        }
    }
}

}  // namespace
}  // namespace mosaikon
