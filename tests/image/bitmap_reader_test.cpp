#include "image/bitmap_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::BitmapLayout;
using test::Bytes;
using test::EncodeBitmap;
using test::PixelsTopDown;
using test::RecordingShell;

class BitmapReader : public ::testing::Test {
protected:
    // Writes the bytes as a file and loads it; height and width start at the given values.
    void Load(const Bytes& bytes, double startHeight = -1, double startWidth = -1,
              const ReadOptions& options = {}) {
        path = recording.folder / "picture.bmp";
        test::WriteBytes(path, bytes);
        test::KeepAsSeed(bytes);
        height = startHeight;
        width = startWidth;
        LoadBitmap(recording.shell, picture, path, height, width, options);
    }
    // Loads the bytes as a damaged file accepted: a picture, and one warning.
    void LoadAcceptingDamage(const Bytes& bytes, const std::string& warning) {
        recording.boxes.clear();
        recording.shell.failuresReported = 0;
        ReadOptions options;
        options.acceptDamaged = true;
        Load(bytes, -1, -1, options);
        EXPECT_FALSE(Failed());
        EXPECT_THAT(recording.boxes, ElementsAre(warning + "; it is converted all the same"));
    }
    bool Failed() const { return recording.shell.failuresReported > 0; }

    RecordingShell recording;
    Picture picture;
    std::string path;
    double height = 0, width = 0;
};

// A true-colour bitmap: 40-byte header plus masks, or a 108-byte header holding them.
Bytes TrueColourBitmap(int bitCount, std::vector<std::uint32_t> masks,
                       std::vector<std::uint32_t> colours, int width, int height) {
    return EncodeBitmap({.width = width,
                         .height = height,
                         .bitCount = bitCount,
                         .infoSize = masks.size() == 4 ? 108 : 40,
                         .colours = std::move(colours),
                         .masks = std::move(masks)});
}

TEST_F(BitmapReader, TrueColourBitmapsKeepTheirColoursAndTransparency) {
    // 16 bits as 5-6-5 through masks: full-scale components stay full.
    Load(TrueColourBitmap(16, {0xF800, 0x07E0, 0x001F}, {0xF800, 0x07E0, 0x001F, 0xFFFF}, 2, 2));
    ASSERT_FALSE(Failed());
    auto colour = [&](int x, int yFromTop) {
        const PaletteEntry& e = picture.Palette.at(picture.Pixels(x, picture.Height() - yFromTop));
        return e.Red << 16 | e.Green << 8 | e.Blue;
    };
    EXPECT_EQ((std::vector{colour(1, 0), colour(2, 0), colour(1, 1), colour(2, 1)}),
              (std::vector{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));
    // 32 bits with an alpha mask in a 108-byte header: a clear pixel is left out.
    Load(TrueColourBitmap(32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                          {0xFF102030, 0x00405060, 0x80FFFFFF}, 3, 1));
    ASSERT_FALSE(Failed());
    EXPECT_EQ(colour(1, 0), 0x102030);
    EXPECT_EQ(picture.Pixels(2, 1), picture.TransparentIndex);
    EXPECT_NE(picture.Pixels(3, 1), picture.TransparentIndex);  // alpha 128 is half: kept
    EXPECT_TRUE(recording.boxes.empty());  // three colours: nothing lost, no warning
    // 24 bits, plain: blue, green, red bytes.
    Load(TrueColourBitmap(24, {}, {0x0A0B0C}, 1, 1));
    EXPECT_EQ(colour(1, 0), 0x0A0B0C);
}

// Two-entry palettes warn only in 8-bit files; pictures over 1024 pixels a side warn too.
TEST_F(BitmapReader, WarnsOfTwoEntryEightBitPalettesAndPicturesOver1024Pixels) {
    Load(EncodeBitmap({.width = 13, .height = 3, .bitCount = 1, .palette = test::GreyRamp(2)}));
    Load(EncodeBitmap({.width = 1024, .height = 1024, .palette = test::GreyRamp(3)}));
    EXPECT_TRUE(recording.boxes.empty());
    Load(EncodeBitmap({.width = 4, .palette = test::GreyRamp(2)}));
    Load(EncodeBitmap({.width = 10, .height = 1025, .palette = test::GreyRamp(3)}));
    Load(EncodeBitmap({.width = 1025, .height = 10, .palette = test::GreyRamp(3)}));
    EXPECT_THAT(recording.boxes, ElementsAre("palette", "large", "large"));
}

TEST_F(BitmapReader, PixelDataThatEndsEarlyIsRefusedAsCutShort) {
    const Bytes whole = EncodeBitmap({.width = 8,
                                      .height = 4,
                                      .palette = test::GreyRamp(4),
                                      .pixels = std::vector<std::uint8_t>(32, 3)});
    Bytes cut(whole.begin(), whole.end() - 12);  // the top row and half the next are missing
    Load(cut);
    ASSERT_EQ(recording.boxes.size(), 1u);
    EXPECT_EQ(recording.boxes[0],
              "LoadBitmap has caused an error picture.bmp is cut short: 12 of its 32 bytes of "
              "pixel data are missing");
    EXPECT_EQ(picture.Width(), 0);
    LoadAcceptingDamage(cut,
                        "picture.bmp is cut short: 12 of its 32 bytes of pixel data are missing, "
                        "and the rows they held come out in the first colour of the palette");
    EXPECT_EQ(PixelsTopDown(picture),
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3, 3, 0, 0, 0, 0,
                                         3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}));

    // A last row without its padding is whole: 5 pixels of 4 bits take 3 of the row's 4 bytes.
    Bytes odd = EncodeBitmap({.width = 5,
                              .height = 2,
                              .bitCount = 4,
                              .palette = test::GreyRamp(16),
                              .pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}});
    odd.pop_back();
    recording.shell.failuresReported = 0;
    Load(odd);
    ASSERT_FALSE(Failed());
    EXPECT_EQ(PixelsTopDown(picture), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    odd.pop_back();
    Load(odd);
    EXPECT_TRUE(Failed());
}

TEST_F(BitmapReader, RunLengthDataThatEndsBeforeItsEndCodeIsRefusedAsCutShort) {
    auto rle = [](Bytes data) {
        return EncodeBitmap({.width = 2,
                             .height = 3,
                             .palette = test::GreyRamp(4),
                             .compression = 1,
                             .rleData = std::move(data)});
    };
    Load(rle({2, 1, 0, 0, 2, 2}));  // row 1 complete, row 2 given without its end of line
    ASSERT_EQ(recording.boxes.size(), 1u);
    EXPECT_EQ(recording.boxes[0],
              "LoadBitmap has caused an error picture.bmp is cut short: its run-length data ends 2 "
              "of 3 rows before the end of the picture");
    LoadAcceptingDamage(rle({2, 1, 0, 0, 2, 2}),
                        "picture.bmp is cut short: its run-length data ends 2 of 3 rows before the "
                        "end of the picture, and those rows come out in the first colour of the "
                        "palette");
    EXPECT_EQ(PixelsTopDown(picture), (std::vector<std::uint8_t>{0, 0, 2, 2, 1, 1}));
    for (const Bytes& whole :
         {Bytes{2, 1, 0, 1},                             // ends early by its code
          Bytes{2, 1, 0, 0, 2, 2, 0, 0, 2, 3},           // last codes missing
          Bytes{2, 1, 0, 0, 2, 2, 0, 0, 2, 3, 0, 0}}) {  // end of bitmap missing
        recording.shell.failuresReported = 0;
        Load(rle(whole));
        EXPECT_FALSE(Failed()) << whole.size();
    }
}

// Widths (at 18) and heights (at 22) that no picture has, or that would need gigabytes.
TEST_F(BitmapReader, DamagedSizesFailBeforeAnythingIsAllocated) {
    const Bytes good = EncodeBitmap({.width = 4, .height = 2, .palette = test::GreyRamp(4)});
    for (const auto& [offset, value] : {std::pair<int, std::uint32_t>{18, 0},
                                        {18, 0xFFFFFFFF},
                                        {18, 32768},
                                        {18, 0x7FFFFFFF},
                                        {22, 0},
                                        {22, 40000},
                                        {22, 0x80000000},
                                        {22, 0xFFFF0000}}) {
        Load(good);  // a good picture first, so that the failed load is seen to empty the model
        Bytes bytes = good;
        for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        recording.boxes.clear();
        Load(bytes, 7, 9);
        EXPECT_THAT(recording.boxes, ElementsAre(StartsWith("LoadBitmap has caused an error ")))
            << offset << " " << value;
        EXPECT_THAT(recording.LogLines().back(), StartsWith("LOAD BITMAP: ERROR LOADING BITMAP "));
        EXPECT_EQ(height + width, 7 + 9);
        EXPECT_TRUE(picture.Width() == 0 && picture.pixelGrid.empty());
    }
}

TEST_F(BitmapReader, UnknownCompressionsAndHeadersFailInsteadOfLoadingNoise) {
    // Compressions (at 30) no 4-bit file has, RLE8 among them; a header size (at 14) no format
    // has; a top-down run-length file (height at 22).
    for (const auto& [offset, value] :
         {std::pair{30, 3}, {30, 4}, {30, 5}, {30, 7}, {30, 1}, {14, 20}, {22, -2}}) {
        Bytes bytes = EncodeBitmap({.width = 2, .height = 2, .bitCount = 4});
        for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        if (offset == 22) bytes[30] = 2;
        recording.shell.failuresReported = 0;
        Load(bytes);
        EXPECT_TRUE(Failed()) << offset << " " << value;
    }
}

TEST_F(BitmapReader, AFolderIsReportedAndReadingNeverChangesAFile) {
    const Bytes bytes = EncodeBitmap({.width = 3, .height = 3, .palette = test::GreyRamp(4)});
    Load(bytes);
    EXPECT_EQ(test::ReadBytes(path), bytes);
    LoadBitmap(recording.shell, picture, recording.folder.path().string(), height, width);
    EXPECT_EQ(recording.boxes.back(), "LoadBitmap has caused an error Is a directory");
}

}  // namespace
}  // namespace mosaikon
