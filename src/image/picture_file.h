#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "image/rgba_picture.h"

namespace mosaikon {

// Reads the bytes at a position of a file: as many as it holds there, up to the count asked for.
using ReadAt = std::function<std::vector<std::uint8_t>(std::uint64_t position, std::size_t count)>;

// What a picture file's header says of its picture, and the most bytes the file can need for
// it: pixel data at its least compact, and room for metadata such as colour profiles. A GIF gets
// what its first frame can need, the only part the reader uses.
struct PictureFileNeed {
    std::uint64_t bytes = 0;  // 0 when the first bytes tell nothing (a damaged header, or no
                              // picture format): the reader's own message is to come from them
    std::uint64_t width = 0, height = 0;
    bool compressed = true;  // whether a small file can claim a large picture
};

// Found from the first bytes (and, for a JPEG, the segments before its frame header).
PictureFileNeed MostPictureFileBytes(std::span<const std::uint8_t> start, std::uint64_t fileSize,
                                     const ReadAt& readAt);

// What the header of the picture file at path says, read from its first bytes only; nothing
// known (bytes 0) for a file that cannot be read or whose header tells nothing.
PictureFileNeed InspectPictureFile(const std::string& path);

// The bytes of a picture file, read only as far as its picture can need. The picture's size is
// checked against the rules before the rest of the file is read, and a file larger than its
// picture can need is refused as damaged, except a GIF, which is read only as far as its first
// frame can reach. A folder, a FIFO or a device is refused without blocking.
std::vector<std::uint8_t> ReadPictureFile(const std::string& path, const std::string& name,
                                          const DecodeRules& rules);

}  // namespace mosaikon
