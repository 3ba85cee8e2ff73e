// mosaikon-convert end to end, on bitmaps the tests write.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "ldraw/part_file_writer.h"
#include "conversion/vector_conversion.h"
#include "image/ldraw_colours.h"
#include "image/preview_writer.h"
#include "image/rgba_picture.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::ReadText;

struct Result {
    int status;
    std::string out, err;
};

class ConvertCommand : public ::testing::Test {
protected:
    void SetUp() override {
        // 7 wide, so every row is padded; red, white, a near-white and a green.
        const PaletteList palette = {
            {0, 0, 204, 0}, {255, 255, 255, 0}, {250, 252, 250, 0}, {0, 200, 0, 0}};
        std::vector<std::uint8_t> pixels;
        for (int i = 0; i < 21; ++i) pixels.push_back(static_cast<std::uint8_t>((i * 7 / 5) % 4));
        test::WriteBytes(
            picture,
            test::EncodeBitmap({.width = 7, .height = 3, .palette = palette, .pixels = pixels}));
    }

    // Runs the converter through bash, so that arguments may use its $'...' quoting.
    Result Run(const std::string& arguments) {
        const std::string script = folder / "run.sh";
        std::ofstream(script) << MOSAIKON_CONVERT_PATH << " " << arguments << " >"
                              << (folder / "out.txt") << " 2>" << (folder / "err.txt")
                              << " </dev/null\n";
        const int status = std::system(("bash " + script).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(folder / "out.txt"),
                ReadText(folder / "err.txt")};
    }

    // What the library writes for the same picture, settings and details; quads gets the list.
    std::string Expected(const ConversionSettings& settings, std::int32_t height,
                         const StickerDetails& details, test::Conversion convert = nullptr,
                         Quads* built = nullptr) {
        Shell shell;
        const Picture loaded = test::LoadFile(picture).picture;
        Quads quads;
        (convert ? convert : test::kConversions[0].convert)(shell, loaded, quads, settings);
        WritePartFile(shell, loaded, quads, folder / "expected.dat", height, details);
        if (built) *built = quads;
        return ReadText(folder / "expected.dat");
    }

    const StickerDetails defaults = {"Sticker: s1234567", "s1234567", "Mosaikon",
                                     "Unofficial Model"};

    test::TempFolder folder;
    std::string picture = folder / "logo.bmp";
    std::string part = folder / "s1234567.dat";
};

// Each conversion, and the preview of the same options, as the library writes them.
TEST_F(ConvertCommand, EachMethodWritesWhatTheLibraryWritesWithTheWindowsDefaults) {
    for (const auto& [name, convert] : test::kConversions) {
        // The quick conversion is the default; the full one is tried with white left out.
        const ConversionSettings settings{.IgnoreWhite = name == "full"};
        const std::string options = name == "quick" ? "" : "--method " + name;
        const Result result =
            Run(options + (name == "full" ? " --ignore-white " : " ") + "--preview " +
                (folder / "preview.bmp") + " " + picture + " " + part);
        EXPECT_EQ(result.status, 0) << result.err;
        Quads quads;
        EXPECT_EQ(ReadText(part), Expected(settings, 3, defaults, convert, &quads)) << name;
        // No progress bar when standard error is no terminal; the count of quadrilaterals.
        EXPECT_EQ(result.err, std::to_string(quads.size()) + " quadrilaterals (" + name + ")\n");
        Shell shell;
        CreateBitmap(shell, test::LoadFile(picture).picture, folder / "expected.bmp", settings);
        EXPECT_EQ(test::ReadBytes(folder / "preview.bmp"),
                  test::ReadBytes(folder / "expected.bmp"));
    }
}

TEST_F(ConvertCommand, TakesOptionsAndDetailsAsTheWindowWouldFillThem) {
    ConversionSettings settings{
        .UseLdrawColors = true, .IgnoreWhite = true, .WhiteTolerance = 14, .RgbTolerance = 1};
    Result result =
        Run("--primary --ignore-white --height 12.5 --author 'Ann B' " + picture + " " + part);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(
        ReadText(part),
        Expected(settings, 12, {"Sticker: s1234567", "s1234567", "Ann B", "Unofficial Model"}));

    settings = {.IgnoreWhite = true,
                .WhiteTolerance = 30,
                .IgnoreRgbColor = true,
                .RgbTolerance = 5,
                .IgnoreRed = 204};
    result =
        Run("--ignore-white=30 --ignore-color 204,0,0 --color-tolerance 5 --height 13.5 "
            "--name N --part-id P --description D --method quick " +
            picture + " " + part);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadText(part), Expected(settings, 14, {"N", "P", "Mosaikon", "D"}));
}

TEST_F(ConvertCommand, WrongUsageExitsWithTwoAndAReason) {
    const std::string files = " " + picture + " " + part;
    for (const std::string& arguments : std::vector<std::string>{
             "", picture, "--height abc" + files, "--ignore-color 1,2" + files,
             "--ignore-color 1,2,99999" + files, "--method slow" + files, "--bogus" + files,
             "--ignore-white=x" + files,
             // A sticker of height 0, empty or forced flag values, colour components out of range.
             "--height 0" + files, "--height -1" + files, "--height -0" + files,
             "--height 0.001" + files, "--height 1e-320" + files, "--ignore-white=" + files,
             "--primary=3" + files, "--ignore-color 32767,32767,32767" + files,
             "--ignore-color -32768,0,0" + files, "--ignore-color 256,0,0" + files,
             // Texts that would end a header line and start another.
             "--name $'a\\r\\n1 16 0 0 0 1 0 0 0 1 0 0 0 1 x.dat'" + files,
             "--part-id $'p\\n'" + files, "--author $'A\\tB'" + files,
             "--description $'d\\x7f'" + files, picture + " " + (folder / "$'two\\nlines.dat'"),
             // The vector conversion's own settings: with it only, and within their ranges.
             "--tolerance 1" + files, "--method exact --min-area 2" + files,
             "--method vector --tolerance -0.5" + files, "--method vector --tolerance 65" + files,
             "--method vector --tolerance x" + files, "--method vector --min-area -1" + files,
             "--method vector --min-area 1.5" + files,
             // The textured sticker's own settings: with it only, and within their ranges.
             "--fallback flat" + files, "--embed" + files, "--format ldraw-sticker --fallback-colors 8" + files,
             "--format ldraw-texture --fallback none" + files,
             "--format ldraw-texture --fallback-colors 1" + files,
             "--format ldraw-texture --fallback-colors 257" + files, "--format textured" + files,
             // Checking needs files.
             "--check"}) {
        const Result result = Run(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_THAT(result.err, HasSubstr("mosaikon-convert: ")) << arguments;
        EXPECT_THAT(result.err, HasSubstr("PICTURE")) << "usage for " << arguments;
        EXPECT_FALSE(std::filesystem::exists(part));
    }
    EXPECT_THAT(Run("--height 0" + files).err,
                HasSubstr("--height: the height must be a number greater than 0"));
    EXPECT_THAT(Run("--name $'a\\nb'" + files).err, HasSubstr("--name: "));
    EXPECT_EQ(Run("--ignore-color 255,0,0 --height 0.6" + files).status, 0);
    EXPECT_EQ(Run("--help").status, 0);
    const Result version = Run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_THAT(version.out, StartsWith("mosaikon-convert "));
}

// The library sticker and the textured one, checked by --check: nothing found; a damaged copy
// gets its findings, one line each with the line number, and exit status 1.
TEST_F(ConvertCommand, StickersPassTheCheckAndFaultsAreFound) {
    const std::string details = " --author 'Ann Bee [ab]' --ignore-white ";
    for (const std::string& form : {"--format ldraw-sticker", "--format ldraw-texture",
                                    "--format ldraw-texture --fallback flat",
                                    "--format ldraw-texture --fallback-colors 2 --method exact",
                                    "--format ldraw-sticker --method vector"}) {
        EXPECT_EQ(Run(form + details + picture + " " + part).status, 0) << form;
        const Result check = Run("--check " + part);
        EXPECT_EQ(check.status, 0) << form << "\n" << check.out;
        EXPECT_EQ(check.out.substr(check.out.find(": ") + 2, 20), "0 errors, 0 warnings") << form;
    }
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "textures" / "s1234567.png"));
    const std::string embedded = folder / "s1234567.mpd";
    EXPECT_EQ(Run("--format ldraw-texture --embed" + details + picture + " " + embedded).status, 0);
    EXPECT_EQ(Run("--check " + embedded).status, 0);
    EXPECT_THAT(ReadText(embedded), HasSubstr("\r\n0 !DATA s1234567.png\r\n0 !: iVBORw0KGgo"));

    // The default author is not the library's form: a warning, not an error.
    EXPECT_EQ(Run("--format ldraw-sticker " + picture + " " + part).status, 0);
    const Result named = Run("--check " + part);
    EXPECT_EQ(named.status, 0);
    EXPECT_THAT(named.out, HasSubstr(part + ": line 3: warning: the author \"Mosaikon\" is not"));
    std::string text = ReadText(part);
    const std::size_t colour = text.find("\r\n4 ") + 4;
    text.replace(colour, text.find(' ', colour) - colour, "9999");
    test::WriteBytes(folder / "bad.dat", test::Bytes(text.begin(), text.end()));
    const Result bad = Run("--check " + (folder / "bad.dat") + " " + part + " " + (folder / "none.dat"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.out, HasSubstr(": line 9: error: the colour code 9999 is not defined"));
    EXPECT_THAT(bad.out, HasSubstr("none.dat: error: the file cannot be read"));
    EXPECT_THAT(bad.out, HasSubstr("none.dat: 1 error, 0 warnings (0 polygons)"));
}

// The vector conversion writes what the library writes, its coordinates to at most 4 decimals,
// and says how many quadrilaterals and triangles; its settings reach the conversion.
TEST_F(ConvertCommand, TheVectorConversionWritesTheLibrarysPolygons) {
    for (const auto& [options, vector] : std::vector<std::pair<std::string, VectorOptions>>{
             {"", {}}, {"--tolerance 0 --min-area 0", {0, 0}}, {"--tolerance 2.5 --min-area 9", {2.5, 9}}}) {
        const Result result = Run("--method vector --height 7 " + options + " " + picture + " " + part);
        EXPECT_EQ(result.status, 0) << result.err;
        Shell shell;
        const Picture loaded = test::LoadFile(picture).picture;
        Quads quads;
        ASSERT_TRUE(ConvertVector(shell, loaded, quads, {}, vector));
        PartFileCounts counts;
        WritePartFile(shell, loaded, quads, folder / "expected.dat", 7, defaults, nullptr, &counts,
                      CoordinateDigits::FourDecimals);
        EXPECT_EQ(ReadText(part), ReadText(folder / "expected.dat")) << options;
        std::string said = std::to_string(counts.quadrilaterals) + " quadrilaterals";
        if (counts.triangles > 0) said += " and " + std::to_string(counts.triangles) + " triangles";
        EXPECT_EQ(result.err, said + " (vector)\n");
    }
    EXPECT_THAT(Run("--tolerance 1 " + picture + " " + part).err,
                HasSubstr("--tolerance needs --method vector"));
    // A drawing's curves are flattened within the tolerance, in LDraw units, whatever the method.
    const std::string drawing = std::string(MOSAIKON_TEST_DATA) + "/drawings/badge.svg";
    const Result coarse = Run("--tolerance 2 " + drawing + " " + part);
    EXPECT_EQ(coarse.status, 0) << coarse.err;
    const Result fine = Run(drawing + " " + part);
    EXPECT_EQ(fine.status, 0) << fine.err;
    EXPECT_LT(std::stoi(coarse.err), std::stoi(fine.err) / 2) << coarse.err << fine.err;
}

TEST_F(ConvertCommand, FailuresExitWithOneAndLeaveExistingFilesAlone) {
    Result result = Run(folder / "missing.bmp " + part);
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("LoadBitmap has caused an error No such file or directory"));
    EXPECT_FALSE(std::filesystem::exists(part));

    test::Bytes damaged = test::ReadBytes(picture);
    damaged[22] = 0, damaged[23] = 0, damaged[24] = 0, damaged[25] = 0;  // height 0
    test::WriteBytes(folder / "damaged.bmp", damaged);
    test::WriteBytes(part, {'o', 'l', 'd'});
    result = Run("--overwrite " + (folder / "damaged.bmp ") + part);
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("LoadBitmap has caused an error"));
    EXPECT_EQ(ReadText(part), "old");

    result = Run(picture + " " + (folder / "no/such/folder.dat"));
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("WritePartFile has caused an error"));
}

TEST_F(ConvertCommand, LongNamesAreWrittenAndTwoFilesAreReplacedTogetherOrNotAtAll) {
    namespace fs = std::filesystem;
    // The longest legal file name: the temporary file beside it must not be longer.
    const std::string longName = folder / (std::string(251, 'n') + ".dat");
    EXPECT_EQ(Run(picture + " " + longName).status, 0);
    EXPECT_THAT(ReadText(longName), HasSubstr("0 Name: " + std::string(251, 'n') + ".dat"));

    // When either file cannot be written, neither is replaced.
    test::WriteBytes(part, {'o', 'l', 'd'});
    const Result result =
        Run("--overwrite --preview " + (folder / "no/folder.bmp") + " " + picture + " " + part);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(ReadText(part), "old");
    std::size_t leftovers = 0;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
        leftovers += entry.path().filename().string().rfind(".mosaikon-", 0) == 0;
    }
    EXPECT_EQ(leftovers, 0u);
}

TEST_F(ConvertCommand, AnInterruptLeavesNoTemporaryFileBehind) {
    // A picture large enough for the full conversion to run a while; the interrupt comes
    // while the preview waits, written, beside its target.
    std::vector<std::uint8_t> pixels(400 * 300);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(i * 7 % 13);
    test::WriteBytes(
        picture,
        test::EncodeBitmap(
            {.width = 400, .height = 300, .palette = test::GreyRamp(13), .pixels = pixels}));
    const std::string command = "timeout -s INT 0.5 " + std::string(MOSAIKON_CONVERT_PATH) +
                                " --method full --preview " + (folder / "p.bmp") + " " + picture +
                                " " + part + " 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_EQ(WEXITSTATUS(status), 124) << "the conversion ended before the interrupt";
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".mosaikon-", 0), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(part));
    EXPECT_FALSE(std::filesystem::exists(folder / "p.bmp"));
}

TEST_F(ConvertCommand, ReducesManyColoursOnlyWhenThereAreMoreThanAsked) {
    // 24 x 24 pixels of 576 colours, in a 24-bit bitmap.
    std::string ppm = "P6\n24 24\n255\n";
    for (int i = 0; i < 24 * 24; ++i)
        ppm += {static_cast<char>(i * 7), static_cast<char>(i / 3), 'x'};
    test::WriteBytes(folder / "many.ppm", test::Bytes(ppm.begin(), ppm.end()));
    if (std::system(("convert " + (folder / "many.ppm") + " BMP3:" + picture).c_str()) != 0)
        GTEST_SKIP() << "ImageMagick is not installed";
    Result result = Run(picture + " " + part);
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.err, HasSubstr("warning: This picture has 576 colours; the 256 that serve "
                                      "it best are kept.\n"));
    const std::string reduced = ReadText(part);
    EXPECT_EQ(Run(picture + " " + part).status, 0);
    EXPECT_EQ(ReadText(part), reduced);  // the same bytes every run
    result = Run("--colors 16 --method exact " + picture + " " + part);
    EXPECT_THAT(result.err, HasSubstr("This picture has 576 colours; the 16 that"));
    EXPECT_EQ(Run("--colors 600 " + picture + " " + part).status, 2);
}

// Into the user's LDraw library, where LDraw programs look parts and textures up: its unofficial
// parts (or its own parts), the library $LDRAWDIR by default; beside the part file otherwise,
// with a word on where LeoCAD finds textures.
TEST_F(ConvertCommand, TexturedStickersGoIntoTheLibraryAsReadersLookThemUp) {
    namespace fs = std::filesystem;
    fs::create_directories(folder.path() / "ldraw");
    const std::string library = folder / "ldraw";
    Result result = Run("--format ldraw-texture --library=" + library + " " + picture + " s1.dat");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(folder.path() / "ldraw/unofficial/parts/s1.dat"));
    EXPECT_TRUE(fs::exists(folder.path() / "ldraw/unofficial/parts/textures/s1.png"));
    EXPECT_THAT(result.err, ::testing::Not(HasSubstr("note:")));
    ::setenv("LDRAWDIR", library.c_str(), 1);
    result = Run("--format ldraw-sticker --library --library-folder parts " + picture + " s2.dat");
    ::unsetenv("LDRAWDIR");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(folder.path() / "ldraw/parts/s2.dat"));
    EXPECT_EQ(Run("--format ldraw-sticker --library " + picture + " s2.dat").status,
              2);  // without LDRAWDIR
    result = Run("--format ldraw-texture " + picture + " " + part);
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.err, HasSubstr("note: LeoCAD shows the texture only from an LDraw library"));
    EXPECT_EQ(Run("--library=" + (folder / "none") + " " + picture + " s3.dat").status, 2);
    EXPECT_EQ(Run("--library=" + library + " " + picture + " --output-dir out").status, 2);
    EXPECT_EQ(Run("--library-folder parts " + picture + " s3.dat").status, 2);
}

// The texture is the picture itself: a photograph of many colours, a logo with transparent and
// partly transparent pixels, and a palette picture, each with every fallback, come back pixel for
// pixel (pixels less than half opaque left out), never reduced.
TEST_F(ConvertCommand, TheTextureIsThePictureItselfWhateverTheFallback) {
    std::mt19937 random(8);
    RgbaPicture photo, logo;
    photo.width = logo.width = 61, photo.height = logo.height = 37;
    for (int i = 0; i < 61 * 37; ++i) {
        for (int c = 0; c < 3; ++c) photo.rgba.push_back(static_cast<std::uint8_t>(random()));
        photo.rgba.push_back(255);
        const int alpha = i % 5 == 0 ? 0 : i % 7 == 0 ? 150 : i % 11 == 0 ? 90 : 255;
        logo.rgba.insert(logo.rgba.end(), {static_cast<std::uint8_t>(i * 3), 40, 200,
                                           static_cast<std::uint8_t>(alpha)});
    }
    test::WriteBytes(folder / "photo.png", EncodePng(photo));
    test::WriteBytes(folder / "logo.png", EncodePng(logo));
    const Picture bitmap = test::LoadFile(picture).picture;
    for (const std::string fallback : {"geometry", "flat"}) {
        for (const std::string& name : {std::string("photo.png"), std::string("logo.png"), picture}) {
            SCOPED_TRACE(name + " " + fallback);
            const Result result = Run("--format ldraw-texture --fallback " + fallback + " " +
                                      (name == picture ? name : folder / name) + " " + part);
            ASSERT_EQ(result.status, 0) << result.err;
            const RgbaPicture texture =
                DecodePng(test::ReadBytes(folder / "textures/s1234567.png"), "t", {});
            const RgbaPicture want = name == "photo.png" ? photo
                                     : name == "logo.png" ? logo
                                                          : RgbaOf(bitmap);
            ASSERT_GE(texture.width, want.width);
            std::size_t wrong = 0;
            for (std::int32_t y = 0; y < want.height; ++y) {
                for (std::int32_t x = 0; x < want.width; ++x) {
                    const std::uint8_t* got = &texture.rgba[(static_cast<std::size_t>(y) * texture.width + x) * 4];
                    const std::uint8_t* is = &want.rgba[(static_cast<std::size_t>(y) * want.width + x) * 4];
                    const bool shown = is[3] >= 128;
                    wrong += shown ? !std::equal(is, is + 4, got) : got[3] != 0;
                }
            }
            EXPECT_EQ(wrong, 0u);
        }
    }
}

}  // namespace
}  // namespace mosaikon
