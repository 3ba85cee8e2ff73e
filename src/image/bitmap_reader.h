#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/picture.h"
#include "image/rgba_picture.h"
#include "shell/shell.h"

namespace mosaikon {

// Reads a picture into the picture model, its format known by its first bytes: palette bitmaps
// (1, 4 or 8 bits per pixel, uncompressed, RLE8 or RLE4, Windows 40 to 124-byte or OS/2 12-byte
// info headers, rows bottom-up or top-down) keep their palette; true-colour bitmaps (16, 24 and
// 32 bits, with or without bit-field masks and alpha), PNG, JPEG, GIF and WebP pictures get one
// (see GivePalette). On success height and width are set to the picture's size; a failure is
// reported once ("LoadBitmap has caused an error ..."), leaves height and width as passed in and
// the model empty, and never touches the file. A file whose pixel data ends early is refused as
// cut short; sizes are checked against the file and options.mostPixels before any pixel memory
// is allocated.
void LoadBitmap(Shell& shell, Picture& picture, const std::string& path, double& height,
                double& width, const ReadOptions& options = {});

// The same from the file's bytes; name is the file name that reports use.
void LoadBitmapBytes(Shell& shell, Picture& picture, std::span<const std::uint8_t> bytes,
                     const std::string& name, double& height, double& width,
                     const ReadOptions& options = {});

// The decoding itself, without the failure report: throws a Failure.
void DecodePicture(Shell& shell, Picture& picture, std::span<const std::uint8_t> bytes,
                   const std::string& name, double& height, double& width,
                   const ReadOptions& options = {});
void DecodeBitmap(Shell& shell, Picture& picture, std::span<const std::uint8_t> bytes,
                  const std::string& name, double& height, double& width,
                  const ReadOptions& options = {});

}  // namespace mosaikon
