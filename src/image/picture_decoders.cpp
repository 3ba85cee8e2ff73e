// The picture formats other than the bitmap, decoded by the reference libraries that every Linux
// distribution ships and fuzzes: libpng, libjpeg-turbo, giflib and libwebp.

// jpeglib.h needs FILE declared before it.
#include <cstdio>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on
#include <gif_lib.h>
#include <png.h>
#include <webp/decode.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>

#include "image/rgba_picture.h"
#include "shell/failure.h"
#include "shell/system.h"

namespace mosaikon {

namespace {

bool StartsWith(std::span<const std::uint8_t> bytes, const char* text, std::size_t at = 0) {
    const std::size_t n = std::strlen(text);
    return bytes.size() >= at + n && std::memcmp(bytes.data() + at, text, n) == 0;
}

[[noreturn]] void Damaged(const std::string& name, const std::string& detail) {
    Fail(name + " is damaged or cut short: " + detail);
}

RgbaPicture Blank(std::uint32_t width, std::uint32_t height, const std::string& name,
                  const DecodeRules& rules) {
    CheckPictureSize(width, height, name, rules);
    RgbaPicture picture;
    picture.width = static_cast<std::int32_t>(width);
    picture.height = static_cast<std::int32_t>(height);
    picture.rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);
    return picture;
}

// libjpeg reports errors through a callback that must not return: back to the decoder by
// longjmp, with the library's message kept. Its warnings (data that ends early or is damaged,
// which it fills in with grey) end the decoding the same way, unless damaged files are accepted:
// then the first one is kept, with where the decoder was when it came.
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
    bool acceptDamaged = false;
    char warning[JMSG_LENGTH_MAX] = {};
    bool endedEarly = false;
    JDIMENSION rowAtWarning = 0;
    int scanAtWarning = 0;
    long warnings = 0;
};

// A progressive file may have any number of scans, each of which makes the decoder go over the
// whole picture: more than a real encoder writes is refused (as libjpeg-turbo's own tools do).
constexpr int kMostJpegScans = 500;
// Past this many warnings a file accepted as damaged is too damaged to go on with.
constexpr long kMostJpegWarnings = 10000;

extern "C" void JpegFailed(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegError*>(info->err);
    info->err->format_message(info, error->message);
    std::longjmp(error->back, 1);
}

extern "C" void JpegMessage(j_common_ptr info, int level) {
    if (level >= 0) return;  // trace messages
    auto* error = reinterpret_cast<JpegError*>(info->err);
    if (!error->acceptDamaged || ++error->warnings > kMostJpegWarnings) {
        info->err->format_message(info, error->message);
        std::longjmp(error->back, 1);
    }
    if (error->warnings > 1) return;
    info->err->format_message(info, error->warning);
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    error->endedEarly = info->err->msg_code == JWRN_JPEG_EOF;
    error->rowAtWarning = decompress->output_scanline;
    error->scanAtWarning = decompress->input_scan_number;
}

extern "C" void JpegProgress(j_common_ptr info) {
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMostJpegScans) {
        auto* error = reinterpret_cast<JpegError*>(info->err);
        std::snprintf(error->message, sizeof error->message, "it has more than %d scans",
                      kMostJpegScans);
        std::longjmp(error->back, 1);
    }
}

// giflib's words for an error code; it has none for some codes.
std::string GifWords(int code) {
    const char* words = GifErrorString(code);
    return words ? words : "giflib error " + std::to_string(code);
}

struct GifSource {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
};

extern "C" int ReadGifBytes(GifFileType* gif, GifByteType* out, int wanted) {
    auto* source = static_cast<GifSource*>(gif->UserData);
    const std::size_t n =
        std::min(static_cast<std::size_t>(wanted), source->bytes.size() - source->at);
    std::memcpy(out, source->bytes.data() + source->at, n);
    source->at += n;
    return static_cast<int>(n);
}

}  // namespace

PictureFormat SniffFormat(std::span<const std::uint8_t> bytes) {
    if (StartsWith(bytes, "BM")) return PictureFormat::Bitmap;
    if (StartsWith(bytes, "\x89PNG\r\n\x1a\n")) return PictureFormat::Png;
    if (StartsWith(bytes, "\xFF\xD8\xFF")) return PictureFormat::Jpeg;
    if (StartsWith(bytes, "GIF87a") || StartsWith(bytes, "GIF89a")) return PictureFormat::Gif;
    if (StartsWith(bytes, "RIFF") && StartsWith(bytes, "WEBP", 8)) return PictureFormat::WebP;
    if (StartsWith(bytes, "II*") || StartsWith(bytes, "MM")) {
        if (bytes.size() >= 4 && (bytes[2] == 0x2A || bytes[3] == 0x2A)) return PictureFormat::Tiff;
    }
    return PictureFormat::Unknown;
}

void CheckPictureSize(std::uint64_t width, std::uint64_t height, const std::string& name,
                      const DecodeRules& rules) {
    if (width < 1 || height < 1 || width > static_cast<std::uint64_t>(kMaxPictureSide) ||
        height > static_cast<std::uint64_t>(kMaxPictureSide)) {
        Fail(name + " has a size of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels; the sides must be from 1 to 32767");
    }
    if (width * height > rules.mostPixels) {
        Fail(name + " is too large: " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels, at most " + std::to_string(rules.mostPixels) + " are taken");
    }
    CheckMemoryFor(width * height, name, rules.bytesPerPixel);
}

std::uint64_t MostPixelsForFile(std::uint64_t fileBytes, std::uint64_t mostPixels) {
    constexpr std::uint64_t kAlwaysTaken = 1 << 20;
    constexpr std::uint64_t kPixelsPerByte = 128;
    return std::min(mostPixels, std::max(kAlwaysTaken, fileBytes * kPixelsPerByte));
}

void CheckMemoryFor(std::uint64_t pixels, const std::string& name, std::uint64_t bytesPerPixel) {
    const std::uint64_t available = AvailableMemory();
    const std::uint64_t needed = pixels * bytesPerPixel;
    if (available > 0 && needed > available) {
        Fail(name + " needs about " + std::to_string(needed >> 20) +
             " MB of memory to convert, more than the " + std::to_string(available >> 20) +
             " MB available; make the picture smaller first");
    }
}

namespace {

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// The chunks that decide how the pixels come out; libpng's simplified reader looks at no other.
bool ChunkShapesPixels(const std::uint8_t* type) {
    static const char* const kKept[] = {"IHDR", "PLTE", "IDAT", "IEND", "tRNS",
                                        "gAMA", "cHRM", "sRGB", "iCCP", "sBIT"};
    for (const char* kept : kKept) {
        if (std::memcmp(type, kept, 4) == 0) return true;
    }
    return false;
}

// libpng's simplified reader, which decides how the colours come out (gamma, 16 bits, palettes
// with transparency), has no way to set libpng's limits, and it reads every chunk before the
// picture: a text chunk that claims two gigabytes in a file of a hundred bytes makes it allocate
// them. So the chunks are walked here first: each must lie within the file, and only those that
// shape the pixels are handed on (text, time, metadata and private chunks cannot change a pixel).
std::vector<std::uint8_t> PngPixelChunks(std::span<const std::uint8_t> bytes,
                                         const std::string& name) {
    constexpr std::size_t kSignature = 8;
    if (bytes.size() < kSignature) Damaged(name, "it is too short to hold a picture");
    std::vector<std::uint8_t> kept(bytes.begin(), bytes.begin() + kSignature);
    std::size_t at = kSignature;
    while (at < bytes.size()) {
        if (bytes.size() - at < 12) Damaged(name, "its last chunk is cut short");
        const std::uint32_t length = BigEndian32(bytes.data() + at);
        const std::uint8_t* type = bytes.data() + at + 4;
        const std::string typeText(reinterpret_cast<const char*>(type), 4);
        if (length > 0x7FFFFFFFu || bytes.size() - at - 12 < length) {
            Damaged(name, "its " + typeText + " chunk claims " + std::to_string(length) +
                              " bytes, more than the file holds");
        }
        const std::size_t end = at + 12 + length;
        if (ChunkShapesPixels(type))
            kept.insert(kept.end(), bytes.begin() + at, bytes.begin() + end);
        at = end;
        if (typeText == "IEND") break;
    }
    return kept;
}

}  // namespace

RgbaPicture DecodePng(std::span<const std::uint8_t> bytes, const std::string& name,
                      const DecodeRules& rules) {
    const std::vector<std::uint8_t> chunks = PngPixelChunks(bytes, name);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, chunks.data(), chunks.size())) {
        Damaged(name, image.message);
    }
    struct Finish {
        png_image* image;
        ~Finish() { png_image_free(image); }
    } finish{&image};
    image.format = PNG_FORMAT_RGBA;
    RgbaPicture picture = Blank(image.width, image.height, name, rules);
    if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) {
        Damaged(name, image.message);
    }
    return picture;
}

RgbaPicture DecodeJpeg(std::span<const std::uint8_t> bytes, const std::string& name,
                       const DecodeRules& rules) {
    jpeg_decompress_struct info{};
    JpegError error{};
    error.acceptDamaged = rules.acceptDamaged;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFailed;
    error.manager.emit_message = JpegMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = JpegProgress;
    // Everything the decoder allocates lives in its own pools, freed by jpeg_destroy_decompress,
    // so leaving by longjmp leaks nothing. The picture is made before the jump point, and only
    // what it points to changes after it.
    struct Work {
        RgbaPicture picture;
        std::vector<std::uint8_t> row;
    };
    const auto work = std::make_unique<Work>();
    RgbaPicture& picture = work->picture;
    std::vector<std::uint8_t>& row = work->row;
    if (setjmp(error.back)) {
        jpeg_destroy_decompress(&info);
        Damaged(name, error.message);
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = 256L << 20;
    info.progress = &progress;
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    try {
        CheckPictureSize(info.image_width, info.image_height, name, rules);
    } catch (...) {
        jpeg_destroy_decompress(&info);
        throw;
    }
    picture.width = static_cast<std::int32_t>(info.image_width);
    picture.height = static_cast<std::int32_t>(info.image_height);
    picture.rgba.assign(static_cast<std::size_t>(picture.width) * picture.height * 4, 255);
    jpeg_start_decompress(&info);
    row.assign(static_cast<std::size_t>(info.output_width) * info.output_components, 0);
    // Adobe writes CMYK inverted, which is how nearly every CMYK JPEG comes.
    const bool inverted = info.saw_Adobe_marker;
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        const std::size_t y = info.output_scanline;
        jpeg_read_scanlines(&info, rows, 1);
        if (rules.progress && (y % 16 == 0 || y + 1 == info.output_height)) {
            (*rules.progress)(static_cast<double>(y + 1) / info.output_height);
        }
        std::uint8_t* out = picture.rgba.data() + y * static_cast<std::size_t>(picture.width) * 4;
        for (std::int32_t x = 0; x < picture.width; ++x, out += 4) {
            const std::uint8_t* in =
                row.data() +
                static_cast<std::size_t>(x) * static_cast<std::size_t>(info.output_components);
            if (cmyk) {
                int c = in[0], m = in[1], yellow = in[2], k = in[3];
                if (!inverted) c = 255 - c, m = 255 - m, yellow = 255 - yellow, k = 255 - k;
                out[0] = static_cast<std::uint8_t>(c * k / 255);
                out[1] = static_cast<std::uint8_t>(m * k / 255);
                out[2] = static_cast<std::uint8_t>(yellow * k / 255);
            } else {
                out[0] = in[0], out[1] = in[1], out[2] = in[2];
            }
        }
    }
    jpeg_finish_decompress(&info);
    const bool progressive = info.progressive_mode;
    // Where the data ends before its end marker, the decoder reads one it makes up itself; the
    // arithmetic decoder says nothing of it, so the place it stopped at tells.
    const bool inData = info.src->next_input_byte >= bytes.data() &&
                        info.src->next_input_byte <= bytes.data() + bytes.size();
    const int scan = info.input_scan_number;
    jpeg_destroy_decompress(&info);
    if (!inData && error.warnings == 0) {
        const std::string missing =
            progressive ? "its data ends in scan " + std::to_string(scan) +
                              ", so the later scans, which add detail and colour, are missing"
                        : "its data ends before its end marker";
        if (!rules.acceptDamaged) Damaged(name, missing);
        picture.damage = name + " is damaged or cut short: " + missing;
    }
    if (error.warnings > 0) {
        std::string damage = name + " is damaged or cut short: " + error.warning + "; ";
        const std::string height = std::to_string(picture.height);
        if (error.endedEarly && progressive) {
            damage += "its data ends in scan " + std::to_string(error.scanAtWarning) +
                      ", so the later scans, which add detail and colour, are missing";
        } else if (error.endedEarly) {
            damage += "rows " + std::to_string(error.rowAtWarning + 1) + " to " + height + " of " +
                      height + " are missing and come out grey";
        } else {
            damage += "the damaged part may come out grey or wrong";
        }
        picture.damage = damage;
    }
    return std::move(picture);
}

RgbaPicture DecodeGif(std::span<const std::uint8_t> bytes, const std::string& name,
                      const DecodeRules& rules) {
    GifSource source{bytes};
    int status = 0;
    std::unique_ptr<GifFileType, void (*)(GifFileType*)> gif(
        DGifOpen(&source, ReadGifBytes, &status), [](GifFileType* file) {
            int ignored = 0;
            if (file) DGifCloseFile(file, &ignored);
        });
    if (!gif) Damaged(name, GifWords(status));
    auto failed = [&] { Damaged(name, GifWords(gif->Error)); };
    // The first frame, over a transparent logical screen.
    RgbaPicture picture = Blank(static_cast<std::uint32_t>(std::max(gif->SWidth, 0)),
                                static_cast<std::uint32_t>(std::max(gif->SHeight, 0)), name, rules);
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) failed();
        if (record == TERMINATE_RECORD_TYPE) Damaged(name, "it holds no picture");
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* extension = nullptr;
            if (DGifGetExtension(gif.get(), &code, &extension) == GIF_ERROR) failed();
            while (extension) {
                if (code == GRAPHICS_EXT_FUNC_CODE && extension[0] >= 4) {
                    GraphicsControlBlock control{};
                    DGifExtensionToGCB(extension[0], extension + 1, &control);
                    transparent = control.TransparentColor;
                }
                if (DGifGetExtensionNext(gif.get(), &extension) == GIF_ERROR) failed();
                code = 0;
            }
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR) failed();
        const GifImageDesc& frame = gif->Image;
        const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
        if (!colours) Damaged(name, "it has no colour table");
        if (frame.Width < 1 || frame.Height < 1 || frame.Width > kMaxPictureSide ||
            frame.Height > kMaxPictureSide ||
            static_cast<std::uint64_t>(frame.Width) * static_cast<std::uint64_t>(frame.Height) >
                rules.mostPixels) {
            Damaged(name, "its first frame has no valid size");
        }
        std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
        int rowsRead = 0;
        // Whether the row could be read; a damaged or cut-short frame ends here.
        auto put = [&](int frameRow) {
            if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) {
                if (!rules.acceptDamaged) failed();
                picture.damage = name + " is damaged or cut short: " + GifWords(gif->Error) +
                                 "; only " + std::to_string(rowsRead) + " of its " +
                                 std::to_string(frame.Height) +
                                 " rows could be read, and the rest is left out";
                return false;
            }
            ++rowsRead;
            const int y = frame.Top + frameRow;
            if (y < 0 || y >= picture.height) return true;
            for (int x = 0; x < frame.Width; ++x) {
                const int px = frame.Left + x;
                if (px < 0 || px >= picture.width ||
                    line[static_cast<std::size_t>(x)] == transparent)
                    continue;
                const int index = line[static_cast<std::size_t>(x)];
                if (index >= colours->ColorCount) continue;
                std::uint8_t* out =
                    picture.rgba.data() + (static_cast<std::size_t>(y) * picture.width + px) * 4;
                out[0] = colours->Colors[index].Red;
                out[1] = colours->Colors[index].Green;
                out[2] = colours->Colors[index].Blue;
                out[3] = 255;
            }
            return true;
        };
        if (frame.Interlace) {
            for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
                for (int y = start; y < frame.Height; y += step) {
                    if (!put(y)) return picture;
                }
            }
        } else {
            for (int y = 0; y < frame.Height; ++y) {
                if (!put(y)) return picture;
            }
        }
        return picture;
    }
}

RgbaPicture DecodeWebP(std::span<const std::uint8_t> bytes, const std::string& name,
                       const DecodeRules& rules) {
    int width = 0, height = 0;
    if (!WebPGetInfo(bytes.data(), bytes.size(), &width, &height)) {
        Damaged(name, "the WebP headers are not valid");
    }
    RgbaPicture picture =
        Blank(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), name, rules);
    if (WebPDecodeRGBAInto(bytes.data(), bytes.size(), picture.rgba.data(), picture.rgba.size(),
                           width * 4)) {
        return picture;
    }
    if (!rules.acceptDamaged) Damaged(name, "the WebP data could not be decoded");
    // Decoded as far as the data goes, as a browser shows a picture still coming in.
    std::fill(picture.rgba.begin(), picture.rgba.end(), 0);
    std::unique_ptr<WebPIDecoder, void (*)(WebPIDecoder*)> decoder(
        WebPINewRGB(MODE_RGBA, picture.rgba.data(), picture.rgba.size(), width * 4), WebPIDelete);
    const VP8StatusCode status =
        decoder ? WebPIUpdate(decoder.get(), bytes.data(), bytes.size()) : VP8_STATUS_OUT_OF_MEMORY;
    int rows = 0;
    if (status != VP8_STATUS_SUSPENDED ||
        !WebPIDecGetRGB(decoder.get(), &rows, nullptr, nullptr, nullptr) || rows <= 0) {
        Damaged(name, "the WebP data could not be decoded");
    }
    picture.damage = name + " is damaged or cut short: its data ends after row " +
                     std::to_string(rows) + " of " + std::to_string(height) +
                     ", and the rest is left out";
    return picture;
}

std::vector<std::uint8_t> EncodePng(const RgbaPicture& picture) {
    // libpng's own writer, at its best compression: the texture is written once and read by
    // every program that shows the sticker.
    struct Writer {
        png_structp png = nullptr;
        png_infop info = nullptr;
        ~Writer() { png_destroy_write_struct(&png, &info); }
    } writer;
    std::vector<std::uint8_t> bytes;
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!writer.png) Fail(failure::OutOfMemory);
    writer.info = png_create_info_struct(writer.png);
    if (!writer.info) Fail(failure::OutOfMemory);
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = const_cast<png_bytep>(picture.rgba.data() + y * static_cast<std::size_t>(picture.width) * 4);
    }
    if (setjmp(png_jmpbuf(writer.png))) Fail("The picture could not be written as PNG");
    png_set_write_fn(
        writer.png, &bytes,
        [](png_structp png, png_bytep data, png_size_t length) {
            auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
            out->insert(out->end(), data, data + length);
        },
        nullptr);
    png_set_compression_level(writer.png, 9);
    png_set_IHDR(writer.png, writer.info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(writer.png, writer.info, rows.data());
    png_write_png(writer.png, writer.info, PNG_TRANSFORM_IDENTITY, nullptr);
    return bytes;
}

}  // namespace mosaikon
