#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/picture.h"
#include "shell/shell.h"

namespace mosaikon {

// Reads a palette bitmap into the picture model: 1, 4 or 8 bits per pixel, uncompressed, RLE8
// or RLE4, Windows (40 to 124-byte) or OS/2 (12-byte) info headers, rows bottom-up or top-down.
// Files without a palette (16, 24 and 32 bits per pixel) load one byte per pixel with a black
// palette and a warning. On success height and width are set to the picture's size; a failure
// is reported ("LoadBitmap has caused an error ..."), leaves height and width as passed in and
// the model empty, and never touches the file. A file whose pixel data ends early is refused as
// cut short.
void LoadBitmap(Shell& shell, Picture& picture, const std::string& path, double& height,
                double& width);

// The same from the file's bytes; name is the file name that reports use.
// A picture of more than mostPixels pixels is refused before its grid is allocated.
void LoadBitmapBytes(Shell& shell, Picture& picture, std::span<const std::uint8_t> bytes,
                     const std::string& name, double& height, double& width,
                     std::uint64_t mostPixels = kMostPixels);

// The decoding itself, without the failure report: throws a Failure.
void DecodeBitmap(Shell& shell, Picture& picture, std::span<const std::uint8_t> bytes,
                  const std::string& name, double& height, double& width,
                  std::uint64_t mostPixels = kMostPixels);

}  // namespace mosaikon
