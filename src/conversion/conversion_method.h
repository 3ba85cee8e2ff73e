#pragma once

#include <cstdint>

namespace mosaikon {

// The conversions of a picture into polygons.
enum class ConversionMethod { Quick, Full, Exact, Vector };

// The part file layouts: the program's own (a flat picture at z = 0, four header lines), and
// the LDraw parts library's sticker part (centred in the X-Z plane, with backing, certified
// counter-clockwise, free of T-junctions).
// The part file's layout: the program's own, the library sticker form, and the library sticker
// form with the picture as a texture (and the sticker's geometry as its fallback).
enum class PartFormat { Classic, LdrawSticker, LdrawTexture };

// The most memory that reading a picture, converting it and writing its part file take, in bytes
// per pixel: the peak measured on the worst pictures of 1024 x 1024, with a quarter more for
// other pictures and the program itself (a test measures the peaks again).
std::uint64_t MemoryNeedPerPixel(ConversionMethod method, PartFormat format);

// The fewest bytes a part file line takes: a polygon count times this is less than the file's
// size, whatever the numbers, so a disk with less free space cannot take the file.
inline constexpr std::uint64_t kLeastBytesPerPolygon = 24;

}  // namespace mosaikon
