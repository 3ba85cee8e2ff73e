#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mosaikon {

struct BitmapFileHeader {
    std::string bfType;  // "BM" in a valid file
    std::int32_t bfSize = 0;
    std::uint16_t bfReserved1 = 0;
    std::uint16_t bfReserved2 = 0;
    std::int32_t bfOffBits = 0;
};

// The info header as read. biHeight holds the picture's height in pixels (positive) also for a
// file whose rows are stored top-down; biSize tells which header the file had.
struct BitmapInfoHeader {
    std::int32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::int32_t biCompression = 0;
    std::int32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::int32_t biClrUsed = 0;
    std::int32_t biClrImportant = 0;
};

struct PaletteEntry {
    std::uint8_t Blue = 0;
    std::uint8_t Green = 0;
    std::uint8_t Red = 0;
    std::uint8_t Reserved = 0;

    friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

using PaletteList = std::vector<PaletteEntry>;

// The loaded picture. Pixels(x, y) is a palette index, x = 1..biWidth from the left,
// y = 1..biHeight from the bottom row up; column 0 and row 0 exist and stay 0.
struct Picture {
    BitmapFileHeader fileHeader;
    BitmapInfoHeader infoHeader;
    PaletteList Palette;
    std::vector<std::uint8_t> pixelGrid;  // (biWidth + 1) x (biHeight + 1), row by row
    // The palette entry of transparent pixels, which are left out like an ignored colour; -1
    // when the picture has none.
    int TransparentIndex = -1;
    // How many distinct colours a picture without a palette had before it got one; 0 for a
    // palette file.
    std::int64_t SourceColours = 0;
    // For a picture recoloured to LDraw colours: the colour code of each palette entry, which
    // every conversion then uses. Empty for the other pictures.
    std::vector<std::int32_t> Codes;

    std::int32_t Width() const { return infoHeader.biWidth; }
    std::int32_t Height() const { return infoHeader.biHeight; }
    std::size_t Index(std::int32_t x, std::int32_t y) const {
        return static_cast<std::size_t>(y) * (static_cast<std::size_t>(infoHeader.biWidth) + 1) +
               static_cast<std::size_t>(x);
    }
    std::uint8_t Pixels(std::int32_t x, std::int32_t y) const { return pixelGrid[Index(x, y)]; }
    std::uint8_t& Pixels(std::int32_t x, std::int32_t y) { return pixelGrid[Index(x, y)]; }
    // The pixels of row y from column 1 on, as a plain array.
    const std::uint8_t* Row(std::int32_t y) const { return pixelGrid.data() + Index(1, y); }
    std::uint8_t* Row(std::int32_t y) { return pixelGrid.data() + Index(1, y); }
};

// The largest width and height the program accepts: its row and column counters are 16-bit.
inline constexpr std::int32_t kMaxPictureSide = 32767;
inline constexpr std::uint64_t kMostPixels =
    static_cast<std::uint64_t>(kMaxPictureSide) * kMaxPictureSide;

}  // namespace mosaikon
