#pragma once

#include <cstdint>
#include <functional>
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
    // For a damaged or cut-short file decoded all the same (ReadOptions::acceptDamaged): what
    // was wrong and what is missing; empty for a whole file.
    std::string damage;
};

// The memory the most costly conversion and part file layout need per pixel of the picture (see
// MemoryNeedPerPixel for each one), reading and decoding included.
inline constexpr std::uint64_t kMostBytesPerPixel = 555;

// How a picture of more than 256 colours is reduced to a palette.
struct ColourReduction {
    int mostColours = 256;  // 2 to 256
    bool dither = false;
};

// The colours a picture is given: its own (written as direct colours), the 16 core LDraw colours,
// or every solid LDraw colour.
enum class ColourSet { Direct, LdrawCore, Ldraw };

// How far reading a picture has got, from 0 to 1 (decoding, then choosing its colours); called on
// the reading thread, often, so it should be cheap.
using ReadProgress = std::function<void(double done)>;

// What reading a picture may cost and how it is reduced.
struct ReadOptions {
    ColourReduction reduction;
    std::uint64_t mostPixels = kMostPixels;
    // The memory the conversion to come needs per pixel (see MemoryNeedPerPixel); the picture is
    // refused before any work when the system has not that much free.
    std::uint64_t bytesPerPixel = kMostBytesPerPixel;
    // A damaged or cut-short file is refused, unless this is set: then what could be decoded is
    // converted, the missing part filled in, with a warning saying how much was missing.
    bool acceptDamaged = false;
    // Given LDraw colours, each palette entry is one colour code (Picture::Codes).
    ColourSet colours = ColourSet::Direct;
    // Where given, the picture's own pixels go here too, before its colours are reduced or made
    // LDraw colours (a palette bitmap's: its palette's colours), transparency as decoded.
    RgbaPicture* original = nullptr;
    // Where given, told how far the reading has got.
    ReadProgress progress;
};

// What a decoder may take and what it does with a damaged file.
struct DecodeRules {
    std::uint64_t mostPixels = kMostPixels;
    std::uint64_t bytesPerPixel = kMostBytesPerPixel;
    bool acceptDamaged = false;
    // Where given, told how far the decoding has got (0 to 1).
    const ReadProgress* progress = nullptr;
};

// The formats the reader knows by their first bytes.
enum class PictureFormat { Bitmap, Png, Jpeg, Gif, WebP, Tiff, Unknown };
PictureFormat SniffFormat(std::span<const std::uint8_t> bytes);

// Decoders of the formats other than the bitmap, through their reference libraries. Each checks
// the picture's size against the rules before it allocates its pixels and throws a Failure
// naming the file ("<name> is damaged or cut short: <the decoder's words>"). Each sets its
// library's limits before it reads, so that a small file cannot make it take much memory or time.
RgbaPicture DecodePng(std::span<const std::uint8_t> bytes, const std::string& name,
                      const DecodeRules& rules);
// The picture as a PNG file's bytes (8-bit RGBA; fully transparent pixels stay so).
std::vector<std::uint8_t> EncodePng(const RgbaPicture& picture);
RgbaPicture DecodeJpeg(std::span<const std::uint8_t> bytes, const std::string& name,
                       const DecodeRules& rules);
RgbaPicture DecodeGif(std::span<const std::uint8_t> bytes, const std::string& name,
                      const DecodeRules& rules);
RgbaPicture DecodeWebP(std::span<const std::uint8_t> bytes, const std::string& name,
                       const DecodeRules& rules);

// Fails, naming the file, when a picture of this size is larger than the reader takes or than
// the memory free for converting it.
void CheckPictureSize(std::uint64_t width, std::uint64_t height, const std::string& name,
                      const DecodeRules& rules);

// The most pixels a compressed file of this many bytes is taken to hold: a file that claims more
// is damaged (or a picture so empty that it is better saved smaller), and refusing it before its
// pixels are allocated keeps a small file from taking much memory.
std::uint64_t MostPixelsForFile(std::uint64_t fileBytes, std::uint64_t mostPixels);

// The check of a picture's memory need against the memory the system has free (see
// AvailableMemory): a picture that cannot be converted is refused before any work.
void CheckMemoryFor(std::uint64_t pixels, const std::string& name, std::uint64_t bytesPerPixel);

// Gives the picture model its palette and pixels: pixels with alpha below half become the
// transparent entry (left out like an ignored colour), partly transparent ones above half are
// composited on white, and a picture of at most reduction.mostColours colours keeps exactly its
// colours. More colours are reduced with libimagequant, the same way on every run. Returns how
// many distinct colours the picture had (transparency not counted).
// Where given, progress is told how far the choice of colours has got (0 to 1).
std::int64_t GivePalette(const RgbaPicture& rgba, Picture& picture,
                         const ColourReduction& reduction, const ReadProgress* progress = nullptr);

}  // namespace mosaikon
