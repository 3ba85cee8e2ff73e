#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/picture.h"

namespace mosaikon {

// A decoded picture before it gets a palette: rows from the top, four bytes (red, green, blue,
// alpha) a pixel.
struct RgbaPicture {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
};

// How a picture of more than 256 colours is reduced to a palette.
struct ColourReduction {
    int mostColours = 256;  // 2 to 256
    bool dither = false;
};

// What reading a picture may cost and how it is reduced.
struct ReadOptions {
    ColourReduction reduction;
    std::uint64_t mostPixels = kMostPixels;
};

// The formats the reader knows by their first bytes.
enum class PictureFormat { Bitmap, Png, Jpeg, Gif, WebP, Tiff, Unknown };
PictureFormat SniffFormat(std::span<const std::uint8_t> bytes);

// Decoders of the formats other than the bitmap, through their reference libraries. Each checks
// the picture's size against mostPixels before it allocates its pixels and throws a Failure
// naming the file ("<name> is damaged or cut short: <the decoder's words>").
RgbaPicture DecodePng(std::span<const std::uint8_t> bytes, const std::string& name,
                      std::uint64_t mostPixels);
RgbaPicture DecodeJpeg(std::span<const std::uint8_t> bytes, const std::string& name,
                       std::uint64_t mostPixels);
RgbaPicture DecodeGif(std::span<const std::uint8_t> bytes, const std::string& name,
                      std::uint64_t mostPixels);
RgbaPicture DecodeWebP(std::span<const std::uint8_t> bytes, const std::string& name,
                       std::uint64_t mostPixels);

// Fails, naming the file, when a picture of this size is larger than the reader takes.
void CheckPictureSize(std::uint64_t width, std::uint64_t height, const std::string& name,
                      std::uint64_t mostPixels);

// The most pixels a compressed file of this many bytes is taken to hold: a file that claims more
// is damaged (or a picture so empty that it is better saved smaller), and refusing it before its
// pixels are allocated keeps a small file from taking much memory.
std::uint64_t MostPixelsForFile(std::uint64_t fileBytes, std::uint64_t mostPixels);

// What reading and converting a picture takes at the most, in bytes per pixel (measured with the
// full conversion, the most costly, and the decoding before it), and the check of that against
// the memory the system has free: a picture that cannot be converted is refused before any work.
inline constexpr std::uint64_t kBytesPerPixel = 48;
void CheckMemoryFor(std::uint64_t pixels, const std::string& name);

// Gives the picture model its palette and pixels: pixels with alpha below half become the
// transparent entry (left out like an ignored colour), partly transparent ones above half are
// composited on white, and a picture of at most reduction.mostColours colours keeps exactly its
// colours. More colours are reduced with libimagequant, the same way on every run. Returns how
// many distinct colours the picture had (transparency not counted).
std::int64_t GivePalette(const RgbaPicture& rgba, Picture& picture,
                         const ColourReduction& reduction);

}  // namespace mosaikon
