#include "image/preview_writer.h"

#include <gtest/gtest.h>

#include <tuple>

#include "image/bitmap_reader.h"
#include "image/colours.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::BitmapLayout;
using test::Bytes;

std::uint32_t U32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

class PreviewWriter : public ::testing::Test {
protected:
    // Loads a one-row bitmap of the palette and pixels, writes the preview and reads it back.
    void Preview(const PaletteList& palette, const std::vector<std::uint8_t>& row,
                 const ConversionSettings& settings) {
        source = test::EncodeBitmap(
            {.width = static_cast<int>(row.size()), .palette = palette, .pixels = row});
        test::WriteBytes(recording.folder / "source.bmp", source);
        double h = 0, w = 0;
        LoadBitmap(recording.shell, picture, recording.folder / "source.bmp", h, w);
        const PaletteList loaded = picture.Palette;
        written =
            CreateBitmap(recording.shell, picture, recording.folder / "preview.bmp", settings);
        EXPECT_EQ(picture.Palette, loaded) << "the picture model must stay as loaded";
        bytes = test::ReadBytes(recording.folder / "preview.bmp");
        LoadBitmap(recording.shell, preview, recording.folder / "preview.bmp", h, w);
    }
    test::RecordingShell recording;
    Picture picture, preview;
    Bytes source, bytes;
    bool written = false;
};

PaletteList DarkPalette(int count) {  // no entry near the backdrop grey, entry 1 white
    PaletteList palette(count, PaletteEntry{0, 0, 40, 0});
    for (int i = 0; i < count; ++i) palette[i].Blue = static_cast<std::uint8_t>(i % 100);
    palette[1] = {255, 255, 255, 0};
    return palette;
}

TEST_F(PreviewWriter, WithoutOptionsTheFileIsWrittenBackUnchanged) {
    Preview(test::GreyRamp(16), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, {});
    ASSERT_TRUE(written);
    EXPECT_EQ(bytes, source);
}

TEST_F(PreviewWriter, AFullPaletteThatDidNotCountItsColoursStillDoesNot) {
    // biClrUsed 0 with 256 entries means "all of them"; the preview says it the same way,
    // unless it had to add entries.
    test::RecordingShell shell;
    Picture full = test::MakePicture(2, 1, DarkPalette(256), {0, 2});
    full.infoHeader.biClrUsed = 0;
    ASSERT_TRUE(CreateBitmap(shell.shell, full, shell.folder / "p.bmp", {}));
    const Bytes written = test::ReadBytes(shell.folder / "p.bmp");
    EXPECT_EQ(written[46] | written[47] << 8, 0);
    Picture small = test::MakePicture(2, 1, DarkPalette(8), {0, 2});
    ASSERT_TRUE(CreateBitmap(shell.shell, small, shell.folder / "q.bmp", {}));
    EXPECT_EQ(test::ReadBytes(shell.folder / "q.bmp")[46], 8);
}

// The left-out white pixels show the backdrop grey: in the highest entry no kept pixel uses,
// or in an entry appended to a small palette. Every other entry and pixel stays as it was.
TEST_F(PreviewWriter, LeftOutPixelsTakeAnEntryNoKeptPixelUsesForTheGrey) {
    PaletteList nearGrey = DarkPalette(8);
    nearGrey[7] = {192, 192, 192, 0};  // the entry nearest the grey, distance 44
    std::vector<std::uint8_t> all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(i == 200 ? 1 : i));
    const std::tuple<PaletteList, std::vector<std::uint8_t>, std::size_t> cases[] = {
        {DarkPalette(256), {0, 1, 2, 1}, 255},
        {DarkPalette(256), all, 200},  // 255 is used
        {DarkPalette(16), {0, 1, 15}, 16},
        {nearGrey, {7, 1, 0}, 8},
        {nearGrey, {1, 0}, 7}};
    const ConversionSettings settings{.IgnoreWhite = true};
    for (const auto& [palette, row, grey] : cases) {
        SCOPED_TRACE(grey);
        Preview(palette, row, settings);
        ASSERT_TRUE(written);
        ASSERT_EQ(preview.Palette.size(), std::max(palette.size(), grey + 1));
        for (std::size_t i = 0; i < preview.Palette.size(); ++i)
            EXPECT_EQ(preview.Palette[i], i == grey ? kBackdropGrey : palette[i]) << i;
        std::vector<std::uint8_t> shown = row;
        for (auto& index : shown) index = index == 1 ? static_cast<std::uint8_t>(grey) : index;
        EXPECT_EQ(test::PixelsTopDown(preview), shown);
        EXPECT_EQ(U32(bytes, 2), bytes.size());                             // bfSize
        EXPECT_EQ(U32(bytes, 10), 54 + 4 * preview.Palette.size());         // bfOffBits
        EXPECT_EQ(U32(bytes, 46), palette.size() == 256 ? 256 : grey + 1);  // biClrUsed
    }
}

TEST_F(PreviewWriter, PrimaryColoursWritePrimaryCodesAndKeepTheGreyApart) {
    const ConversionSettings settings{
        .UseLdrawColors = true, .IgnoreWhite = true, .WhiteTolerance = 14};
    PaletteList palette = {{0, 0, 204, 0}, {255, 255, 255, 0}, {160, 160, 160, 0}};
    Preview(palette, {0, 1, 2}, settings);
    ASSERT_GE(preview.Palette.size(), 17u);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(preview.Palette[i], PrimaryColors[i]) << i;
    EXPECT_EQ(preview.Palette[16], kBackdropGrey);
    EXPECT_EQ(test::PixelsTopDown(preview), (std::vector<std::uint8_t>{4, 16, 7}));
}

TEST_F(PreviewWriter, AFailedWriteIsReportedAndLeavesTheOldFile) {
    Picture picture = test::MakePicture(1, 1, test::GreyRamp(2), {1});
    EXPECT_FALSE(
        CreateBitmap(recording.shell, picture, recording.folder / "missing/preview.bmp", {}));
    EXPECT_EQ(recording.boxes.back(), "CreateBitmap has caused an error No such file or directory");
    EXPECT_EQ(recording.LogLines().back(),
              "CREATE BITMAP: ERROR CREATING TEMP BITMAP No such file or directory");
}

// A palette beyond an 8-bit bitmap's 256 entries is refused, not written as a file that other
// programs refuse.
TEST_F(PreviewWriter, MoreThan256ColoursAreRefused) {
    Picture picture = test::MakePicture(2, 1, test::GreyRamp(256), {0, 255});
    picture.Palette.push_back({1, 2, 3, 0});
    const std::string path = recording.folder / "preview.bmp";
    EXPECT_FALSE(CreateBitmap(recording.shell, picture, path, {}));
    EXPECT_THAT(recording.boxes.back(), HasSubstr("holds 256 at most"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace mosaikon
