// The way from a picture to a sticker: what is shown before writing is what is written, for
// every conversion and form; a sticker of the same shapes with other details is made again from
// its shapes, byte for byte as if made afresh; messages and log lines come back as data.

#include "sticker/sticker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

#include "support/test_support.h"

namespace mosaikon {
namespace {

constexpr ConversionMethod kMethods[] = {ConversionMethod::Quick, ConversionMethod::Full,
                                         ConversionMethod::Exact, ConversionMethod::Vector};
constexpr PartFormat kFormats[] = {PartFormat::Classic, PartFormat::LdrawSticker,
                                   PartFormat::LdrawTexture};

StickerRequest RequestOf(const Picture& picture, ConversionMethod method, PartFormat format) {
    StickerRequest request;
    request.picture = std::make_shared<const Picture>(picture);
    request.method = method;
    request.format = format;
    request.height = 2 * picture.Height() + 3;
    request.details = {"Sticker: s1", "s1", "Ann Bee [ab]", "Unofficial Model"};
    request.fileName = "s1.dat";
    return request;
}

// Every file WriteSticker writes, read back.
std::vector<test::Bytes> Written(const StickerRequest& request, const std::string& path) {
    std::vector<test::Bytes> files;
    for (const std::string& file : StickerFiles(request, path)) files.push_back(test::ReadBytes(file));
    return files;
}

TEST(Sticker, WhatIsShownIsWhatIsWrittenForEveryConversionAndForm) {
    std::mt19937 random(77);
    test::TempFolder folder;
    const std::string path = folder / "s1.dat";
    for (int i = 0; i < 8; ++i) {
        const Picture picture = test::GeneratePicture(random, 24);
        for (const ConversionMethod method : kMethods) {
            for (const PartFormat format : kFormats) {
                SCOPED_TRACE(std::string(MethodName(method)) + " " + FormatName(format) + " " +
                             std::to_string(i));
                StickerRequest request = RequestOf(picture, method, format);
                request.settings = {.IgnoreWhite = i % 3 == 0, .WhiteTolerance = 20};
                request.texture.embed = i % 2 == 1;
                const Sticker sticker = MakeSticker(Shell{}, request);
                ASSERT_TRUE(sticker.made);
                test::RecordingShell recording;
                PartFileCounts written;
                const bool wrote = WriteSticker(recording.shell, sticker, path, nullptr, &written);
                if (sticker.preview.polygons.empty()) {
                    // Every pixel left out: the library forms refuse to write an empty sticker.
                    EXPECT_FALSE(wrote);
                    continue;
                }
                ASSERT_TRUE(wrote) << ::testing::PrintToString(recording.boxes);
                EXPECT_EQ(sticker.preview.counts.quadrilaterals, written.quadrilaterals);
                EXPECT_EQ(sticker.preview.counts.triangles, written.triangles);
                EXPECT_EQ(sticker.preview.counts.bytes, written.bytes);
                EXPECT_EQ(sticker.preview.counts.bytes, std::filesystem::file_size(path));
                const double scale = static_cast<double>(request.height) / picture.Height();
                const std::vector<ViewPolygon> file = test::PolygonsOfFile(
                    test::ReadText(path), format, picture, scale, &sticker.preview.polygons);
                ASSERT_EQ(file.size(), sticker.preview.polygons.size());
                for (std::size_t p = 0; p < file.size(); ++p) {
                    const ViewPolygon& shown = sticker.preview.polygons[p];
                    ASSERT_EQ(file[p].Color, shown.Color) << p;
                    ASSERT_EQ(file[p].count, shown.count) << p;
                    for (std::size_t k = 0; k < static_cast<std::size_t>(file[p].count); ++k) {
                        // The file's numbers carry 4 decimals (15 digits in the classic layout).
                        ASSERT_NEAR(file[p].x[k], shown.x[k], 0.0001 / scale) << p;
                        ASSERT_NEAR(file[p].y[k], shown.y[k], 0.0001 / scale) << p;
                    }
                }
                // Made for the file alone, it writes the same bytes.
                const std::vector<test::Bytes> viewed = Written(request, path);
                const Sticker plain = MakeSticker(Shell{}, request, {}, nullptr, StickerUse::File);
                ASSERT_TRUE(WriteSticker(recording.shell, plain, path));
                EXPECT_EQ(Written(request, path), viewed);
            }
        }
    }
}

TEST(Sticker, OtherDetailsHeightOrNameReuseTheShapesAndGiveTheBytesOfAFreshOne) {
    std::mt19937 random(5);
    test::TempFolder folder;
    for (const PartFormat format : kFormats) {
        const Picture picture = test::GeneratePicture(random, 30);
        StickerRequest request = RequestOf(picture, ConversionMethod::Exact, format);
        const Sticker first = MakeSticker(Shell{}, request);
        ASSERT_TRUE(first.made);
        request.details[0] = "Sticker: another";
        request.height += 7;
        request.fileName = "s2.dat";
        const Sticker again = MakeSticker(Shell{}, request, {}, &first);
        EXPECT_EQ(again.shapes, first.shapes) << "the shapes are taken as they are";
        const Sticker fresh = MakeSticker(Shell{}, request);
        EXPECT_NE(fresh.shapes, first.shapes);
        test::RecordingShell recording;
        ASSERT_TRUE(WriteSticker(recording.shell, again, folder / "s2.dat"));
        const std::vector<test::Bytes> reused = Written(request, folder / "s2.dat");
        ASSERT_TRUE(WriteSticker(recording.shell, fresh, folder / "s2.dat"));
        EXPECT_EQ(Written(request, folder / "s2.dat"), reused);
        EXPECT_EQ(again.logLines, fresh.logLines);
        // Another conversion, or other settings, make new shapes.
        request.method = ConversionMethod::Quick;
        EXPECT_NE(MakeSticker(Shell{}, request, {}, &first).shapes, first.shapes);
        request.method = ConversionMethod::Exact;
        request.settings.IgnoreWhite = true;
        EXPECT_NE(MakeSticker(Shell{}, request, {}, &first).shapes, first.shapes);
    }
}

// Whatever the shapes depend on, a change of it makes new shapes: the vector settings for the
// vector conversion, the form, the picture's own pixels where the texture or the vector
// conversion uses them, the colour set and the texture's options for the textured form.
TEST(Sticker, AChangeOfWhatTheShapesDependOnMakesNewOnes) {
    std::mt19937 random(8);
    const Picture picture = test::GeneratePicture(random, 24);
    auto original = std::make_shared<RgbaPicture>();
    original->width = picture.Width(), original->height = picture.Height();
    original->rgba.assign(static_cast<std::size_t>(original->width) * original->height * 4, 200);
    StickerRequest base = RequestOf(picture, ConversionMethod::Vector, PartFormat::LdrawTexture);
    base.original = original;
    const Sticker first = MakeSticker(Shell{}, base);
    ASSERT_TRUE(first.made);
    const auto changed = [&](const char* what, const std::function<void(StickerRequest&)>& change) {
        StickerRequest request = base;
        change(request);
        EXPECT_FALSE(request.SameShapes(base)) << what;
        EXPECT_NE(MakeSticker(Shell{}, request, {}, &first).shapes, first.shapes) << what;
    };
    changed("tolerance", [](StickerRequest& r) { r.vector.tolerance = 2; });
    changed("smallest region", [](StickerRequest& r) { r.vector.minArea = 9; });
    changed("form", [](StickerRequest& r) { r.format = PartFormat::LdrawSticker; });
    changed("own pixels", [](StickerRequest& r) { r.original = std::make_shared<RgbaPicture>(); });
    changed("colour set", [](StickerRequest& r) { r.colours = ColourSet::Ldraw; });
    changed("picture", [&](StickerRequest& r) { r.picture = std::make_shared<const Picture>(picture); });
    // The vector settings do not count for another conversion.
    StickerRequest quick = base;
    quick.method = ConversionMethod::Quick;
    StickerRequest other = quick;
    other.vector.tolerance = 3;
    EXPECT_TRUE(other.SameShapes(quick));
}

TEST(Sticker, MessagesAndLogLinesComeAsDataAndArePassedOnWhenAsked) {
    // A full conversion of noise runs out of its search and says so; the shell is not touched.
    std::mt19937 random(9);
    std::vector<std::uint8_t> noise(120 * 90);
    for (auto& pixel : noise) pixel = static_cast<std::uint8_t>(random() % 4);
    const Picture picture = test::MakePicture(120, 90, test::GreyRamp(4), noise);
    test::RecordingShell recording;
    StickerRequest request = RequestOf(picture, ConversionMethod::Quick, PartFormat::Classic);
    const Sticker sticker = MakeSticker(recording.shell, request);
    ASSERT_TRUE(sticker.made);
    EXPECT_TRUE(recording.boxes.empty());
    EXPECT_THAT(sticker.logLines, ElementsAre("CONVERT FILE: Starting",
                                              "CONVERT FILE: About to write to raw image data",
                                              "CONVERT FILE: Done",
                                              "WRITE PART FILE: About to write to raw image data"));
    PassOn(recording.shell, sticker);
    EXPECT_THAT(recording.LogLines(), testing::IsSupersetOf(sticker.logLines));

    // A failure is a message; passed on, it counts as reported and is shown even without notes.
    Picture broken = picture;
    broken.Palette.resize(2);  // pixels beyond the palette
    request.picture = std::make_shared<const Picture>(broken);
    request.settings.IgnoreWhite = true;
    const Sticker failed = MakeSticker(recording.shell, request);
    EXPECT_FALSE(failed.made);
    ASSERT_FALSE(failed.messages.empty());
    EXPECT_EQ(failed.messages.back().kind, MessageKind::Failure);
    EXPECT_THAT(failed.messages.back().text, StartsWith("ConvertBitmap has caused an error"));
    const int reported = recording.shell.failuresReported;
    PassOn(recording.shell, failed, false);
    EXPECT_EQ(recording.shell.failuresReported,
              reported + std::count_if(failed.messages.begin(), failed.messages.end(),
                                       [](const StickerMessage& message) {
                                           return message.kind == MessageKind::Failure;
                                       }));
    EXPECT_THAT(recording.boxes.back(), StartsWith("ConvertBitmap has caused an error"));

    // Stopped, it says nothing.
    const Sticker stopped =
        MakeSticker(recording.shell, RequestOf(picture, ConversionMethod::Exact, PartFormat::Classic),
                    [](double) { return false; });
    EXPECT_FALSE(stopped.made);
    EXPECT_TRUE(stopped.messages.empty());
}

TEST(Sticker, NamesOfTheConversionsAndFormsGoBothWays) {
    for (const ConversionMethod method : kMethods) EXPECT_EQ(MethodNamed(MethodName(method)), method);
    for (const PartFormat format : kFormats) EXPECT_EQ(FormatNamed(FormatName(format)), format);
    EXPECT_FALSE(MethodNamed("Quick").has_value());
    EXPECT_FALSE(FormatNamed("sticker").has_value());
    StickerRequest request;
    request.format = PartFormat::LdrawTexture;
    EXPECT_THAT(StickerFiles(request, "out/s1.dat"), ElementsAre("out/s1.dat", "out/textures/s1.png"));
    request.texture.embed = true;
    EXPECT_THAT(StickerFiles(request, "s1.mpd"), ElementsAre("s1.mpd"));
}

}  // namespace
}  // namespace mosaikon
