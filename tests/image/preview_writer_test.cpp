#include "image/preview_writer.h"

#include <gtest/gtest.h>

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
    PaletteEntry WrittenEntry(std::size_t i) const {
        return {bytes[54 + 4 * i], bytes[55 + 4 * i], bytes[56 + 4 * i], bytes[57 + 4 * i]};
    }

    test::RecordingShell recording;
    Picture picture, preview;
    Bytes source, bytes;
    bool written = false;
};

PaletteList DarkPalette(int count) {  // no entry near the backdrop grey, entry 1 white
    PaletteList palette(static_cast<std::size_t>(count), PaletteEntry{0, 0, 40, 0});
    for (int i = 0; i < count; ++i)
        palette[static_cast<std::size_t>(i)].Blue = static_cast<std::uint8_t>(i % 100);
    palette[1] = {255, 255, 255, 0};
    return palette;
}

TEST_F(PreviewWriter, WithoutOptionsTheFileIsWrittenBackUnchanged) {
    Preview(test::GreyRamp(16), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, {});
    ASSERT_TRUE(written);
    EXPECT_EQ(bytes, source);
}

TEST_F(PreviewWriter, A256ColourPaletteGivesEntry255TheGreyWhenNoKeptPixelUsesIt) {
    ConversionSettings settings;
    settings.IgnoreWhite = true;
    Preview(DarkPalette(256), {0, 1, 2, 1}, settings);
    ASSERT_TRUE(written);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 54),
              std::vector<std::uint8_t>(source.begin(), source.begin() + 54));
    EXPECT_EQ(WrittenEntry(255), kBackdropGrey);
    EXPECT_EQ(test::PixelsTopDown(preview), (std::vector<std::uint8_t>{0, 255, 2, 255}));
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

TEST_F(PreviewWriter, ASmallPaletteGetsTheGreyAppended) {
    ConversionSettings settings;
    settings.IgnoreWhite = true;
    Preview(DarkPalette(16), {0, 1, 15}, settings);
    EXPECT_EQ(U32(bytes, 2), U32(source, 2) + 4);    // bfSize
    EXPECT_EQ(U32(bytes, 10), U32(source, 10) + 4);  // bfOffBits
    EXPECT_EQ(U32(bytes, 46), U32(source, 46) + 1);  // biClrUsed
    EXPECT_EQ(preview.Palette.size(), 17u);
    EXPECT_EQ(preview.Palette[16], kBackdropGrey);
    EXPECT_EQ(test::PixelsTopDown(preview), (std::vector<std::uint8_t>{0, 16, 15}));
}

TEST_F(PreviewWriter, AKeptPixelNeverTurnsGrey) {
    PaletteList palette = DarkPalette(8);
    palette[7] = {192, 192, 192, 0};  // the entry nearest the grey, distance 44
    ConversionSettings settings;
    settings.IgnoreWhite = true;
    Preview(palette, {7, 1, 0}, settings);
    EXPECT_EQ(preview.Palette[7], palette[7]);
    EXPECT_EQ(preview.Palette[8], kBackdropGrey);
    EXPECT_EQ(test::PixelsTopDown(preview), (std::vector<std::uint8_t>{7, 8, 0}));

    // With no kept pixel on it, that entry itself shows the grey.
    Preview(palette, {1, 0}, settings);
    EXPECT_EQ(preview.Palette.size(), 8u);
    EXPECT_EQ(preview.Palette[7], kBackdropGrey);
    EXPECT_EQ(test::PixelsTopDown(preview), (std::vector<std::uint8_t>{7, 0}));
}

TEST_F(PreviewWriter, AFullPaletteUsesTheHighestIndexNoKeptPixelUses) {
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < 256; ++i) pixels.push_back(static_cast<std::uint8_t>(i));
    pixels[200] = 1;  // index 200 is not used; 255 is used
    ConversionSettings settings;
    settings.IgnoreWhite = true;
    Preview(DarkPalette(256), pixels, settings);
    EXPECT_EQ(preview.Palette.size(), 256u);
    EXPECT_EQ(preview.Palette[200], kBackdropGrey);
    EXPECT_EQ(preview.Palette[255], DarkPalette(256)[255]);
    EXPECT_EQ(preview.Pixels(2, 1), 200);
    EXPECT_EQ(preview.Pixels(256, 1), 255);
}

TEST_F(PreviewWriter, PrimaryColoursWritePrimaryCodesAndKeepTheGreyApart) {
    ConversionSettings settings;
    settings.UseLdrawColors = true;
    settings.IgnoreWhite = true;
    settings.WhiteTolerance = 14;
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

}  // namespace
}  // namespace mosaikon
