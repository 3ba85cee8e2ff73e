// Every palette bitmap loads as it looks: the header variants, bit depths and row orders, the
// run-length encodings. (Files written by common programs: picture_formats_test.)

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "image/bitmap_reader.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::BitmapLayout;
using test::Bytes;
using test::PixelsTopDown;

using test::Load;
using test::Loaded;

PaletteList Colourful(int count) {
    PaletteList palette;
    for (int i = 0; i < count; ++i) {
        palette.push_back({static_cast<std::uint8_t>(i * 37),
                           static_cast<std::uint8_t>(255 - i * 11),
                           static_cast<std::uint8_t>(i * 5 + 3), 0});
    }
    return palette;
}

TEST(BitmapFormats, EveryHeaderDepthAndRowOrderLoadsPixelForPixel) {
    std::mt19937 random(11);
    for (const int infoSize : {12, 40, 52, 56, 108, 124}) {
        for (const int bits : {1, 4, 8}) {
            for (const bool topDown : {false, true}) {
                if (infoSize == 12 && topDown) continue;  // OS/2 heights are unsigned
                const int colours = 1 << bits;
                BitmapLayout layout{.width = 1 + static_cast<int>(random() % 19),
                                    .height = 1 + static_cast<int>(random() % 7),
                                    .bitCount = bits,
                                    .palette = Colourful(colours),
                                    .infoSize = infoSize,
                                    .topDown = topDown,
                                    .fillSizeImage = random() % 2 == 0};
                for (int i = 0; i < layout.width * layout.height; ++i) {
                    layout.pixels.push_back(
                        static_cast<std::uint8_t>(random() % static_cast<unsigned>(colours)));
                }
                const Loaded loaded = Load(test::EncodeBitmap(layout));
                SCOPED_TRACE(testing::Message() << "header " << infoSize << ", " << bits
                                                << " bits, top-down " << topDown);
                ASSERT_FALSE(loaded.failed);
                EXPECT_EQ(loaded.picture.Palette, layout.palette);
                EXPECT_EQ(PixelsTopDown(loaded.picture), layout.pixels);
                EXPECT_EQ(loaded.picture.Height(), layout.height);
                EXPECT_TRUE(loaded.boxes.empty());
            }
        }
    }
}

TEST(BitmapFormats, PixelDataStartsAtItsOffsetAndPalettesStopAt256) {
    BitmapLayout layout{.width = 3,
                        .height = 2,
                        .palette = Colourful(4),
                        .pixels = {0, 1, 2, 3, 2, 1},
                        .offBitsAdjust = 6};  // six spare bytes between palette and pixels
    Loaded loaded = Load(test::EncodeBitmap(layout));
    EXPECT_EQ(PixelsTopDown(loaded.picture), layout.pixels);
    EXPECT_EQ(loaded.picture.Palette.size(), 5u);  // rounded as the palette count always was

    PaletteList long_palette = Colourful(256);
    long_palette.resize(300, PaletteEntry{1, 2, 3, 0});
    layout = {.width = 2, .height = 1, .palette = long_palette, .pixels = {255, 7}};
    loaded = Load(test::EncodeBitmap(layout));
    EXPECT_EQ(loaded.picture.Palette.size(), 256u);
    EXPECT_EQ(PixelsTopDown(loaded.picture), layout.pixels);
}

TEST(BitmapFormats, RunLengthCodesOfEightAndFourBits) {
    // Eight bits. Bottom row: a run, a literal of odd length with its pad byte, a run past the
    // width. Middle row: a delta of two columns and one row, into the top row; end of bitmap.
    // Four bits. Bottom row: a run of alternating nibbles and a literal of three nibbles (two
    // bytes, no pad). Top row: a literal of five nibbles (three bytes and a pad) cut at the width.
    const std::tuple<int, int, Bytes, std::vector<std::uint8_t>> files[] = {
        {8,
         6,
         {2, 5, 0, 3, 1, 2, 3, 0, 9, 7, 0, 0, 1, 4, 0, 2, 2, 1, 2, 6, 0, 1},
         {0, 0, 0, 6, 6, 0, 4, 0, 0, 0, 0, 0, 5, 5, 1, 2, 3, 7}},
        {4,
         4,
         {3, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 5, 0x67, 0x89, 0xA0, 0, 0, 1},
         {6, 7, 8, 9, 1, 2, 1, 3}}};
    for (const auto& [bits, width, stream, shown] : files) {
        const Loaded loaded =
            Load(test::EncodeBitmap({.width = width,
                                     .height = static_cast<int>(shown.size()) / width,
                                     .bitCount = bits,
                                     .palette = Colourful(16),
                                     .compression = bits == 8 ? 1 : 2,
                                     .rleData = stream}));
        ASSERT_FALSE(loaded.failed) << bits;
        EXPECT_EQ(PixelsTopDown(loaded.picture), shown) << bits;
    }
}

}  // namespace
}  // namespace mosaikon
