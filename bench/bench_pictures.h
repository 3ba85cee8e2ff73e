#pragma once

// The pictures the benchmarks convert.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "image/bitmap_reader.h"
#include "image/picture.h"

namespace mosaikon::bench {

// A picture made by ImageMagick from one of its built-in images, read with our reader; an empty
// picture when ImageMagick is missing.
inline Picture FromImageMagick(const std::string& arguments) {
    char folder[] = "/tmp/mosaikon-bench-XXXXXX";
    if (!::mkdtemp(folder)) return {};
    const std::string path = std::string(folder) + "/picture.bmp";
    const std::string command = "convert " + arguments + " BMP3:" + path + " 2>/dev/null";
    Picture picture;
    if (std::system(command.c_str()) == 0) {
        Shell shell;
        double height = 0, width = 0;
        LoadBitmap(shell, picture, path, height, width);
    }
    std::remove(path.c_str());
    ::rmdir(folder);
    return picture;
}

// ImageMagick's logo as a 332 x 255 bitmap of 256 colours: flat shapes, text and anti-aliasing.
inline Picture Logo() {
    return FromImageMagick("logo: -resize '332x255!' -colors 256 -compress none");
}

// A photograph-like 640 x 480 picture of 256 colours.
inline Picture Rose() {
    return FromImageMagick("rose: -resize '640x480!' -colors 256 -compress none");
}

// 1024 x 1024 pixels of which no two neighbours are equal.
inline Picture WorstCase(int side = 1024) {
    Picture picture;
    picture.infoHeader.biWidth = side;
    picture.infoHeader.biHeight = side;
    for (int i = 0; i < 256; ++i) {
        picture.Palette.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                   static_cast<std::uint8_t>(i * 7), 0});
    }
    picture.pixelGrid.assign(picture.Index(0, side + 1), 0);
    for (int y = 1; y <= side; ++y) {
        for (int x = 1; x <= side; ++x) {
            picture.Pixels(x, y) = static_cast<std::uint8_t>((x + 2 * y) % 7 * 31 + x % 3);
        }
    }
    return picture;
}

// A square picture whose pixel (x, y), counted from 0 at the top-left, has the palette index
// pick(x, y); the palette has 256 distinct colours.
template <typename Pick>
Picture Generated(int side, Pick pick) {
    Picture picture;
    picture.infoHeader.biWidth = side;
    picture.infoHeader.biHeight = side;
    for (int i = 0; i < 256; ++i) {
        picture.Palette.push_back({static_cast<std::uint8_t>(i * 53), static_cast<std::uint8_t>(i),
                                   static_cast<std::uint8_t>(255 - i), 0});
    }
    picture.pixelGrid.assign(picture.Index(0, side + 1), 0);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            picture.Pixels(x + 1, side - y) = static_cast<std::uint8_t>(pick(x, y));
        }
    }
    return picture;
}

// The pictures that make a full search grow fastest: regions that reach far down with runs that
// never line up.
inline Picture Checkerboard(int side) {
    return Generated(side, [](int x, int y) { return (x + y) % 2; });
}
inline Picture DiagonalStripes(int side, int colours) {
    return Generated(side, [colours](int x, int y) { return (x + y) % colours; });
}
inline Picture TwoColourNoise(int side) {
    std::mt19937 random(7);
    return Generated(side, [&random](int, int) { return random() % 2; });
}

// 128 x 128 pixels in 8 x 8 random blocks of four colours.
inline Picture Blocks() {
    Picture picture;
    picture.infoHeader.biWidth = 128;
    picture.infoHeader.biHeight = 128;
    picture.Palette = {{255, 255, 255, 0}, {0, 0, 204, 0}, {187, 51, 0, 0}, {40, 120, 20, 0}};
    picture.pixelGrid.assign(picture.Index(0, 129), 0);
    std::mt19937 random(5);
    std::uint8_t blocks[16][16];
    for (auto& row : blocks) {
        for (auto& block : row) block = static_cast<std::uint8_t>(random() % 4);
    }
    for (int y = 1; y <= 128; ++y) {
        for (int x = 1; x <= 128; ++x) picture.Pixels(x, y) = blocks[(y - 1) / 8][(x - 1) / 8];
    }
    return picture;
}

}  // namespace mosaikon::bench
