#include "image/bitmap_reader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "image/ldraw_colours.h"
#include "image/picture_file.h"
#include "image/rgba_picture.h"
#include "shell/failure.h"
#include "shell/text_file.h"

namespace mosaikon {

namespace {

constexpr std::int32_t kCompressionNone = 0;
constexpr std::int32_t kCompressionRle8 = 1;
constexpr std::int32_t kCompressionRle4 = 2;
constexpr std::int32_t kCompressionBitFields = 3;
constexpr std::int32_t kCompressionAlphaBitFields = 6;
constexpr std::size_t kMaxPaletteEntries = 256;

// Sequential reading over the file's bytes that yields zeros past the end.
class ByteSource {
public:
    explicit ByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // Reads n bytes; bytes past the end are zero. Returns how many came from the file.
    std::size_t Read(std::uint8_t* destination, std::size_t n) {
        const std::size_t got = std::min(n, Left());
        std::copy_n(bytes_.data() + position_, got, destination);
        std::fill(destination + got, destination + n, 0);
        position_ += got;
        return got;
    }

    // The next byte, or -1 at the end of the file.
    int ReadByte() { return position_ < bytes_.size() ? bytes_[position_++] : -1; }

    void SeekTo(std::uint64_t position) {
        position_ = static_cast<std::size_t>(std::min<std::uint64_t>(position, bytes_.size()));
    }

    std::size_t Left() const { return bytes_.size() - position_; }
    bool AtEnd() const { return position_ >= bytes_.size(); }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::int32_t I32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
        static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

bool IsKnownWindowsHeader(std::int32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124;
}

void CheckCompression(std::uint16_t bitCount, std::int32_t compression, bool topDown) {
    switch (compression) {
        case kCompressionNone:
            return;
        case kCompressionRle8:
            if (bitCount != 8) Fail("RLE8 compression needs 8 bits per pixel");
            break;
        case kCompressionRle4:
            if (bitCount != 4) Fail("RLE4 compression needs 4 bits per pixel");
            break;
        case kCompressionBitFields:
        case kCompressionAlphaBitFields:
            if (bitCount != 16 && bitCount != 32) {
                Fail("Bit field compression is not supported with a palette");
            }
            return;
        default:
            Fail("Unsupported bitmap compression " + std::to_string(compression));
    }
    if (topDown) Fail("A compressed bitmap cannot store its rows top-down");
}

// The bytes a stored row takes, padding included, and the bytes of its pixels alone.
std::uint64_t RowStride(std::int32_t width, std::uint16_t bitCount) {
    return (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
}
std::uint64_t RowPixelBytes(std::int32_t width, std::uint16_t bitCount) {
    return (static_cast<std::uint64_t>(width) * bitCount + 7) / 8;
}

// Uncompressed pixel data must be all there (the last row may lack its padding). Accepted as
// damaged, the missing bytes read as zeros: the first palette colour, or black.
void RequirePixelData(const ByteSource& source, const BitmapInfoHeader& info,
                      const std::string& name, std::string* damage) {
    const char* filling = info.biBitCount <= 8 ? "the first colour of the palette" : "black";
    const std::uint64_t needed =
        RowStride(info.biWidth, info.biBitCount) * static_cast<std::uint64_t>(info.biHeight - 1) +
        RowPixelBytes(info.biWidth, info.biBitCount);
    if (source.Left() < needed) {
        const std::string reason =
            name + " is cut short: " + std::to_string(needed - source.Left()) + " of its " +
            std::to_string(needed) + " bytes of pixel data are missing";
        if (!damage) Fail(reason);
        *damage = reason + ", and the rows they held come out in " + filling;
    }
}

// Uncompressed rows. The last row may go without its padding; anything shorter is cut short.
void ReadUncompressed(ByteSource& source, Picture& picture, std::uint16_t bitCount, bool topDown) {
    const std::int32_t width = picture.Width();
    const std::int32_t height = picture.Height();
    const std::size_t stride = RowStride(width, bitCount);
    std::vector<std::uint8_t> row(stride);
    for (std::int32_t stored = 0; stored < height; ++stored) {
        source.Read(row.data(), stride);
        const std::int32_t y = topDown ? height - stored : stored + 1;
        std::uint8_t* pixels = picture.Row(y);
        switch (bitCount) {
            case 1:
                for (std::int32_t x = 0; x < width; ++x) {
                    pixels[x] = (row[static_cast<std::size_t>(x) / 8] >> (7 - x % 8)) & 1;
                }
                break;
            case 4:
                for (std::int32_t x = 0; x < width; ++x) {
                    const std::uint8_t byte = row[static_cast<std::size_t>(x) / 2];
                    pixels[x] = x % 2 == 0 ? byte >> 4 : byte & 0x0F;
                }
                break;
            default:  // 8 bits, and one byte per pixel for the formats without a palette
                std::copy(row.begin(), row.begin() + width, pixels);
                break;
        }
    }
}

// Run-length encoded pixels (RLE8 and RLE4), always stored bottom-up. Pixels that fall outside
// the picture are dropped; pixels that the stream skips stay 0. Every step consumes input, so
// the work is bounded by the file's size. A stream that ends before its end-of-bitmap code and
// before its last row is cut short.
void ReadRunLength(ByteSource& source, Picture& picture, bool fourBit, const std::string& name,
                   std::string* damage) {
    const std::int64_t width = picture.Width();
    const std::int64_t height = picture.Height();
    std::int64_t x = 0;
    std::int64_t row = 0;
    auto put = [&](std::uint8_t value) {
        if (x < width)
            picture.Pixels(static_cast<std::int32_t>(x + 1), static_cast<std::int32_t>(row + 1)) =
                value;
        ++x;
    };
    // Whether to go on: accepted as damaged, the rows never reached stay in the first colour.
    auto cutShort = [&] {
        const std::string reason = name + " is cut short: its run-length data ends " +
                                   std::to_string(height - row) + " of " + std::to_string(height) +
                                   " rows before the end of the picture";
        if (!damage) Fail(reason);
        *damage = reason + ", and those rows come out in the first colour of the palette";
    };
    while (row < height) {
        const int first = source.ReadByte();
        const int second = source.ReadByte();
        if (first < 0 || second < 0) {
            if (row == height - 1 && x >= width) break;  // only the closing codes are missing
            cutShort();
            break;
        }
        if (first > 0) {
            const auto value = static_cast<std::uint8_t>(second);
            const std::int64_t end = std::min(x + first, width);
            for (int k = 0; x < end; ++k) {
                put(fourBit ? (k % 2 == 0 ? value >> 4 : value & 0x0F) : value);
            }
            continue;
        }
        if (second == 0) {  // end of line
            x = 0;
            ++row;
        } else if (second == 1) {  // end of bitmap
            break;
        } else if (second == 2) {  // delta
            const int dx = source.ReadByte();
            const int dy = source.ReadByte();
            if (dx < 0 || dy < 0) {
                cutShort();
                break;
            }
            x = std::min(x + dx, width);
            row += dy;
        } else {  // a literal run of `second` pixels, padded to a 16-bit boundary
            const int count = second;
            const int bytes = fourBit ? (count + 1) / 2 : count;
            for (int k = 0; k < bytes; ++k) {
                const int byte = source.ReadByte();
                if (byte < 0) {
                    cutShort();
                    return;
                }
                if (fourBit) {
                    put(static_cast<std::uint8_t>(byte >> 4));
                    if (2 * k + 1 < count) put(static_cast<std::uint8_t>(byte & 0x0F));
                } else {
                    put(static_cast<std::uint8_t>(byte));
                }
            }
            x = std::min(x, width);
            // The padding byte after the last literal of the stream may be missing.
            if (bytes % 2 == 1) source.ReadByte();
        }
    }
}

// Where the palette starts and how large its entries are, as the headers say.
struct PaletteLayout {
    std::int64_t start = 0;
    std::size_t entrySize = 4;
};

PaletteLayout ReadHeaders(Shell& shell, ByteSource& source, Picture& loaded) {
    WriteLog(shell.log, "LOAD BITMAP: About to read header");
    std::uint8_t file[14];
    source.Read(file, sizeof file);
    loaded.fileHeader.bfType.assign(reinterpret_cast<const char*>(file), 2);
    loaded.fileHeader.bfSize = I32(file + 2);
    loaded.fileHeader.bfReserved1 = U16(file + 6);
    loaded.fileHeader.bfReserved2 = U16(file + 8);
    loaded.fileHeader.bfOffBits = I32(file + 10);

    WriteLog(shell.log, "LOAD BITMAP: About to read info");
    BitmapInfoHeader& info = loaded.infoHeader;
    std::uint8_t header[40] = {};
    source.Read(header, 4);
    info.biSize = I32(header);
    PaletteLayout palette{14 + static_cast<std::int64_t>(info.biSize), 4};
    if (info.biSize == 12) {  // OS/2: 16-bit sizes and 3-byte palette entries
        source.Read(header + 4, 8);
        info.biWidth = U16(header + 4);
        info.biHeight = U16(header + 6);
        info.biPlanes = U16(header + 8);
        info.biBitCount = U16(header + 10);
        palette.entrySize = 3;
    } else if (IsKnownWindowsHeader(info.biSize)) {
        source.Read(header + 4, 36);
        info.biWidth = I32(header + 4);
        info.biHeight = I32(header + 8);
        info.biPlanes = U16(header + 12);
        info.biBitCount = U16(header + 14);
        info.biCompression = I32(header + 16);
        info.biSizeImage = I32(header + 20);
        info.biXPelsPerMeter = I32(header + 24);
        info.biYPelsPerMeter = I32(header + 28);
        info.biClrUsed = I32(header + 32);
        info.biClrImportant = I32(header + 36);
        if (info.biSize == 40 && info.biCompression == kCompressionBitFields) palette.start += 12;
        if (info.biSize == 40 && info.biCompression == kCompressionAlphaBitFields) {
            palette.start += 16;
        }
    } else {
        Fail("Unsupported bitmap header of " + std::to_string(info.biSize) + " bytes");
    }
    return palette;
}

// Checks the sizes the headers give; on return biHeight is the positive row count.
bool CheckSizes(BitmapInfoHeader& info) {
    const std::uint16_t bitCount = info.biBitCount;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        Fail("Unsupported colour depth of " + std::to_string(bitCount) + " bits per pixel");
    }
    if (info.biWidth < 1 || info.biWidth > kMaxPictureSide) {
        Fail("Picture width " + std::to_string(info.biWidth) + " is outside 1 to 32767");
    }
    const bool topDown = info.biHeight < 0;
    const std::int64_t rows = std::abs(static_cast<std::int64_t>(info.biHeight));
    if (rows < 1 || rows > kMaxPictureSide) {
        Fail("Picture height " + std::to_string(info.biHeight) + " is outside 1 to 32767");
    }
    CheckCompression(bitCount, info.biCompression, topDown);
    info.biHeight = static_cast<std::int32_t>(rows);
    return topDown;
}

void ReadPalette(Shell& shell, ByteSource& source, Picture& loaded, const PaletteLayout& layout) {
    WriteLog(shell.log, "LOAD BITMAP: About to read color palette");
    const std::int64_t gap = static_cast<std::int64_t>(loaded.fileHeader.bfOffBits) - layout.start;
    std::int64_t entries = 0;
    if (layout.entrySize == 4) {
        entries =
            static_cast<std::int64_t>(std::nearbyint(static_cast<double>(gap) / 4.0 - 1.0)) + 1;
    } else {
        entries = gap / 3;
    }
    entries = std::clamp<std::int64_t>(entries, 0, kMaxPaletteEntries);
    source.SeekTo(static_cast<std::uint64_t>(layout.start));
    for (std::int64_t i = 0; i < entries; ++i) {
        std::uint8_t bytes[4] = {};
        source.Read(bytes, layout.entrySize);
        loaded.Palette.push_back(
            {bytes[0], bytes[1], bytes[2], layout.entrySize == 4 ? bytes[3] : std::uint8_t{0}});
    }
    if (entries == 0) {
        loaded.Palette.assign(kMaxPaletteEntries, PaletteEntry{});
        WriteLog(shell.log, "LOAD BITMAP: color palette empty");
    }
    const std::uint16_t bitCount = loaded.infoHeader.biBitCount;
    if (entries == 0 || bitCount > 8 || (entries == 2 && bitCount == 8)) {
        ShowMessage(shell, shell.messages.MsgPaletteWarning, MessageKind::Warning);
    }
}

void ReadPixels(Shell& shell, ByteSource& source, Picture& loaded, std::int64_t paletteStart,
                bool topDown, const std::string& name, std::string* damage) {
    WriteLog(shell.log, "LOAD BITMAP: About to read raw image data");
    const BitmapInfoHeader& info = loaded.infoHeader;
    // Pixel data starts at bfOffBits; an offset pointing into the headers is taken as the end of
    // the headers.
    source.SeekTo(static_cast<std::uint64_t>(
        std::max<std::int64_t>(loaded.fileHeader.bfOffBits, paletteStart)));
    const bool runLength =
        info.biCompression == kCompressionRle8 || info.biCompression == kCompressionRle4;
    if (!runLength) {
        // Checked before the grid is allocated, so that a small file cannot claim a huge one.
        RequirePixelData(source, info, name, damage);
    }
    loaded.pixelGrid.assign(loaded.Index(0, info.biHeight + 1), 0);
    if (runLength) {
        ReadRunLength(source, loaded, info.biCompression == kCompressionRle4, name, damage);
    } else {
        ReadUncompressed(source, loaded, info.biBitCount, topDown);
    }
}

std::string NamePart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

namespace {

// The mask of each colour component of a true-colour bitmap, red, green, blue and alpha.
struct ComponentMasks {
    std::uint32_t mask[4] = {};
};

std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(I32(p));
}

ComponentMasks MasksOf(std::span<const std::uint8_t> bytes, const BitmapInfoHeader& info) {
    ComponentMasks masks;
    const bool fields = info.biCompression == kCompressionBitFields ||
                        info.biCompression == kCompressionAlphaBitFields;
    if (fields) {
        // In the header from 52 bytes on, or just after a 40-byte header.
        const std::size_t at = 14 + 40;
        const int count =
            info.biCompression == kCompressionAlphaBitFields || info.biSize >= 56 ? 4 : 3;
        for (int i = 0; i < count; ++i) {
            if (bytes.size() >= at + 4 * (i + 1)) masks.mask[i] = U32(bytes.data() + at + 4 * i);
        }
        return masks;
    }
    if (info.biBitCount == 16) return {{0x7C00, 0x03E0, 0x001F, 0}};
    return {{0xFF0000, 0x00FF00, 0x0000FF, 0}};
}

std::uint8_t Component(std::uint32_t pixel, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const std::uint32_t bits = mask >> shift;
    const std::uint32_t top = bits >= 0xFFFFFFFFu >> 0 ? 0xFFFFFFFFu : bits;
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>((pixel & mask) >> shift) * 255 /
                                     top);
}

// A bitmap of 16, 24 or 32 bits per pixel, as colours to give a palette.
RgbaPicture ReadTrueColour(std::span<const std::uint8_t> bytes, ByteSource& source,
                           const Picture& loaded, std::int64_t paletteStart, bool topDown,
                           const std::string& name, std::string* damage) {
    const BitmapInfoHeader& info = loaded.infoHeader;
    const ComponentMasks masks = MasksOf(bytes, info);
    source.SeekTo(static_cast<std::uint64_t>(
        std::max<std::int64_t>(loaded.fileHeader.bfOffBits, paletteStart)));
    const std::uint64_t stride = RowStride(info.biWidth, info.biBitCount);
    RequirePixelData(source, info, name, damage);
    RgbaPicture rgba;
    rgba.width = info.biWidth;
    rgba.height = info.biHeight;
    rgba.rgba.assign(static_cast<std::size_t>(rgba.width) * rgba.height * 4, 255);
    std::vector<std::uint8_t> row(stride);
    const int bytesPerPixel = info.biBitCount / 8;
    for (std::int32_t stored = 0; stored < rgba.height; ++stored) {
        source.Read(row.data(), row.size());
        const std::int32_t y = topDown ? stored : rgba.height - 1 - stored;
        std::uint8_t* out = rgba.rgba.data() + static_cast<std::size_t>(y) * rgba.width * 4;
        for (std::int32_t x = 0; x < rgba.width; ++x, out += 4) {
            const std::uint8_t* in = row.data() + static_cast<std::size_t>(x) * bytesPerPixel;
            std::uint32_t pixel = 0;
            for (int b = 0; b < bytesPerPixel; ++b)
                pixel |= static_cast<std::uint32_t>(in[b]) << 8 * b;
            for (int c = 0; c < 3; ++c) out[c] = Component(pixel, masks.mask[c]);
            if (masks.mask[3]) out[3] = Component(pixel, masks.mask[3]);
        }
    }
    return rgba;
}

void WarnIfLarge(Shell& shell, const Picture& picture) {
    if (picture.Height() > 1024 || picture.Width() > 1024) {
        ShowMessage(shell, shell.messages.MsgLargeImage, MessageKind::Warning);
        WriteLog(shell.log,
                 "LOAD BITMAP: large image warning: Height: " + std::to_string(picture.Height()) +
                     " Width: " + std::to_string(picture.Width()));
    }
}

// A damaged file converted all the same: the warning says what is missing.
void WarnIfDamaged(Shell& shell, const std::string& damage) {
    if (damage.empty()) return;
    ShowMessage(shell, damage + "; it is converted all the same", MessageKind::Warning);
    WriteLog(shell.log, "LOAD BITMAP: damaged picture accepted: " + damage);
}

// A stage of the reading, told to the whole's progress as the part from `from` to `to`.
ReadProgress Stage(const ReadProgress& whole, double from, double to) {
    if (!whole) return {};
    return [&whole, from, to](double done) {
        whole(from + (to - from) * std::clamp(done, 0.0, 1.0));
    };
}

// Decoding takes the first part of the reading's progress, the choice of colours the rest.
constexpr double kDecodingShare = 0.35;

// A picture without a palette gets one (of LDraw colours, when asked for); the warning says how
// many colours it had and how many it keeps, where colours were lost, unless its own colours are
// kept too (they are what is written then).
void GivePaletteAndWarn(Shell& shell, const RgbaPicture& rgba, Picture& picture,
                        const ColourReduction& reduction, ColourSet colours, bool ownKept,
                        const ReadProgress& progress = {}) {
    const ReadProgress choosing = Stage(progress, kDecodingShare, 1);
    WriteLog(shell.log, "LOAD BITMAP: About to choose the colour palette");
    Shell quiet;  // says nothing
    Shell& told = ownKept ? quiet : shell;
    if (colours != ColourSet::Direct) {
        RecolourToLdraw(rgba, picture, ColoursOfSet(LdrawColours(), colours), reduction,
                        choosing ? &choosing : nullptr);
        if (choosing) choosing(1);
        const auto kept = static_cast<std::int64_t>(picture.Palette.size()) -
                          (picture.TransparentIndex >= 0 ? 1 : 0);
        if (picture.SourceColours > kept) {
            ShowMessage(told,
                        FillIn(shell.messages.MsgColoursKept,
                               {std::to_string(picture.SourceColours), std::to_string(kept)}),
                        MessageKind::Warning);
        }
        return;
    }
    GivePalette(rgba, picture, reduction, choosing ? &choosing : nullptr);
    if (choosing) choosing(1);
    if (picture.SourceColours > std::clamp(reduction.mostColours, 2, 256)) {
        const auto kept = static_cast<std::int64_t>(picture.Palette.size()) -
                          (picture.TransparentIndex >= 0 ? 1 : 0);
        ShowMessage(told,
                    FillIn(shell.messages.MsgColoursKept,
                           {std::to_string(picture.SourceColours), std::to_string(kept)}),
                    MessageKind::Warning);
        WriteLog(
            shell.log,
            "LOAD BITMAP: " + std::to_string(picture.SourceColours) + " colours reduced to " +
                std::to_string(picture.Palette.size() - (picture.TransparentIndex >= 0 ? 1 : 0)));
    }
}

}  // namespace

void DecodePicture(Shell& shell, Picture& picture, std::span<const std::uint8_t> bytes,
                   const std::string& name, double& height, double& width,
                   const ReadOptions& options) {
    const PictureFormat format = SniffFormat(bytes);
    if (format == PictureFormat::Bitmap) {
        DecodeBitmap(shell, picture, bytes, name, height, width, options);
        return;
    }
    const ReadProgress decoding = Stage(options.progress, 0, kDecodingShare);
    const DecodeRules rules{MostPixelsForFile(bytes.size(), options.mostPixels),
                            options.bytesPerPixel, options.acceptDamaged,
                            decoding ? &decoding : nullptr};
    RgbaPicture rgba;
    switch (format) {
        case PictureFormat::Png:
            WriteLog(shell.log, "LOAD BITMAP: About to decode PNG");
            rgba = DecodePng(bytes, name, rules);
            break;
        case PictureFormat::Jpeg:
            WriteLog(shell.log, "LOAD BITMAP: About to decode JPEG");
            rgba = DecodeJpeg(bytes, name, rules);
            break;
        case PictureFormat::Gif:
            WriteLog(shell.log, "LOAD BITMAP: About to decode GIF");
            rgba = DecodeGif(bytes, name, rules);
            break;
        case PictureFormat::WebP:
            WriteLog(shell.log, "LOAD BITMAP: About to decode WebP");
            rgba = DecodeWebP(bytes, name, rules);
            break;
        case PictureFormat::Tiff:
            Fail(name + ": TIFF pictures cannot be read; save it as PNG");
        default:
            Fail(name +
                 " is not a picture Mosaikon can read; it reads BMP, PNG, JPEG, GIF and WebP");
    }
    if (decoding) decoding(1);
    WarnIfDamaged(shell, rgba.damage);
    Picture loaded;
    GivePaletteAndWarn(shell, rgba, loaded, options.reduction, options.colours,
                       options.original != nullptr, options.progress);
    if (options.original) *options.original = std::move(rgba);
    picture = std::move(loaded);
    height = picture.Height();
    width = picture.Width();
    WarnIfLarge(shell, picture);
    WriteLog(shell.log, "LOAD BITMAP: Done");
}

void LoadBitmapBytes(Shell& shell, Picture& picture, std::span<const std::uint8_t> bytes,
                     const std::string& name, double& height, double& width,
                     const ReadOptions& options) {
    WriteLog(shell.log, "LOAD BITMAP: Starting");
    try {
        DecodePicture(shell, picture, bytes, name, height, width, options);
    } catch (...) {
        picture = Picture{};
        ReportFailure(shell, "LoadBitmap", "LOAD BITMAP: ERROR LOADING BITMAP ",
                      CurrentFailureDescription());
    }
}

void LoadBitmap(Shell& shell, Picture& picture, const std::string& path, double& height,
                double& width, const ReadOptions& options) {
    WriteLog(shell.log, "LOAD BITMAP: Starting");
    try {
        const std::vector<std::uint8_t> bytes =
            ReadPictureFile(path, NamePart(path),
                            {options.mostPixels, options.bytesPerPixel, options.acceptDamaged});
        DecodePicture(shell, picture, bytes, NamePart(path), height, width, options);
    } catch (...) {
        picture = Picture{};
        ReportFailure(shell, "LoadBitmap", "LOAD BITMAP: ERROR LOADING BITMAP ",
                      CurrentFailureDescription());
    }
}

void DecodeBitmap(Shell& shell, Picture& picture, std::span<const std::uint8_t> bytes,
                  const std::string& name, double& height, double& width,
                  const ReadOptions& options) {
    ByteSource source(bytes);
    Picture loaded;
    const PaletteLayout palette = ReadHeaders(shell, source, loaded);
    const bool topDown = CheckSizes(loaded.infoHeader);
    const bool runLength = loaded.infoHeader.biCompression == kCompressionRle8 ||
                           loaded.infoHeader.biCompression == kCompressionRle4;
    const DecodeRules rules{
        runLength ? MostPixelsForFile(bytes.size(), options.mostPixels) : options.mostPixels,
        options.bytesPerPixel, options.acceptDamaged};
    CheckPictureSize(static_cast<std::uint64_t>(loaded.Width()),
                     static_cast<std::uint64_t>(loaded.Height()), name, rules);
    std::string damage;
    std::string* acceptedDamage = options.acceptDamaged ? &damage : nullptr;
    if (loaded.infoHeader.biBitCount > 8) {
        const RgbaPicture rgba =
            ReadTrueColour(bytes, source, loaded, palette.start, topDown, name, acceptedDamage);
        WarnIfDamaged(shell, damage);
        const BitmapInfoHeader info = loaded.infoHeader;
        GivePaletteAndWarn(shell, rgba, loaded, options.reduction, options.colours,
                       options.original != nullptr, options.progress);
        loaded.infoHeader.biXPelsPerMeter = info.biXPelsPerMeter;
        loaded.infoHeader.biYPelsPerMeter = info.biYPelsPerMeter;
        if (options.original) *options.original = rgba;
    } else {
        ReadPalette(shell, source, loaded, palette);
        ReadPixels(shell, source, loaded, palette.start, topDown, name, acceptedDamage);
        WarnIfDamaged(shell, damage);
        if (options.original) *options.original = RgbaOf(loaded);
        if (options.colours != ColourSet::Direct) {
            const BitmapInfoHeader info = loaded.infoHeader;
            const RgbaPicture rgba = RgbaOf(loaded);
            GivePaletteAndWarn(shell, rgba, loaded, options.reduction, options.colours,
                       options.original != nullptr, options.progress);
            loaded.infoHeader.biXPelsPerMeter = info.biXPelsPerMeter;
            loaded.infoHeader.biYPelsPerMeter = info.biYPelsPerMeter;
        }
    }

    picture = std::move(loaded);
    height = picture.Height();
    width = picture.Width();
    WarnIfLarge(shell, picture);
    WriteLog(shell.log, "LOAD BITMAP: Done");
}

}  // namespace mosaikon
