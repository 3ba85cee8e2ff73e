#include "ldraw/texture_part.h"

#include <algorithm>
#include <bit>
#include <filesystem>

#include "conversion/exact_conversion.h"
#include "image/colours.h"
#include "image/ldraw_colours.h"
#include "shell/atomic_file.h"
#include "shell/failure.h"

namespace mosaikon {

namespace {

// Base64 lines of a !DATA block hold this many characters, the last one fewer.
constexpr std::size_t kBase64Line = 76;

std::string BaseNameOf(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace

RgbaPicture TextureOf(const Picture& picture, const ConversionSettings& settings,
                      const RgbaPicture* original) {
    const bool own = original && original->width == picture.Width() &&
                     original->height == picture.Height() &&
                     original->rgba.size() == static_cast<std::size_t>(original->width) * original->height * 4;
    RgbaPicture texture = own ? *original : RgbaOf(picture);
    texture.damage.clear();
    const ColourLookup colours(picture, settings);
    std::uint8_t* out = texture.rgba.data();
    for (std::int32_t y = picture.Height(); y >= 1; --y) {
        for (std::int32_t x = 1; x <= picture.Width(); ++x, out += 4) {
            const std::uint8_t index = picture.Pixels(x, y);
            if (!colours.Known(index) || colours.LeftOut(index)) {
                out[0] = out[1] = out[2] = out[3] = 0;
            } else if (!own) {
                out[3] = 255;
            }
        }
    }
    return texture;
}

Picture FallbackPicture(Shell& shell, const RgbaPicture& texture, int colours, ColourSet set) {
    Picture picture;
    const ColourReduction reduction{colours, false};
    if (set != ColourSet::Direct) {
        RecolourToLdraw(texture, picture, ColoursOfSet(LdrawColours(), set), reduction);
    } else {
        GivePalette(texture, picture, reduction);
    }
    (void)shell;
    return picture;
}

std::vector<FacePolygon> FlatFallback(const Picture& picture, const ConversionSettings& settings,
                                      ColourSet set) {
    const ColourLookup colours(picture, settings);
    std::uint64_t red = 0, green = 0, blue = 0, count = 0;
    for (std::int32_t y = 1; y <= picture.Height(); ++y) {
        for (std::int32_t x = 1; x <= picture.Width(); ++x) {
            const std::uint8_t index = picture.Pixels(x, y);
            if (!colours.Known(index) || colours.LeftOut(index)) continue;
            const PaletteEntry& entry = picture.Palette[index];
            red += entry.Red, green += entry.Green, blue += entry.Blue, ++count;
        }
    }
    const auto mean = [&](std::uint64_t sum) {
        return static_cast<std::uint8_t>(count == 0 ? 255 : (sum + count / 2) / count);
    };
    RgbaPicture one;
    one.width = one.height = 1;
    one.rgba = {mean(red), mean(green), mean(blue), 255};
    Picture single;
    if (set != ColourSet::Direct) {
        RecolourToLdraw(one, single, ColoursOfSet(LdrawColours(), set), {256, false});
    } else {
        GivePalette(one, single, {256, false});
    }
    ConversionSettings plain = settings;
    plain.IgnoreWhite = plain.IgnoreRgbColor = false;
    const std::int32_t code = ColourLookup(single, plain).Code(single.Pixels(1, 1));
    // That colour over exactly what the picture covers: its holes stay open, and the sticker has
    // the size of every other form's.
    const std::int32_t w = picture.Width(), h = picture.Height();
    std::vector<std::int32_t> codes(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    auto at = codes.begin();
    for (std::int32_t y = h; y >= 1; --y) {
        for (std::int32_t x = 1; x <= w; ++x, ++at) {
            const std::uint8_t index = picture.Pixels(x, y);
            *at = !colours.Known(index) || colours.LeftOut(index) ? kNotCovered : code;
        }
    }
    Quads quads;
    CoverExactly(w, h, std::move(codes), quads);
    return BuildStickerFace(quads);
}

std::vector<FacePolygon> TextureFallbackFace(Shell& shell, const Picture& picture,
                                             const RgbaPicture& texture,
                                             const ConversionSettings& settings, ColourSet set,
                                             const TextureOptions& options,
                                             const FallbackConversion& convert) {
    if (options.fallback == TextureFallback::Flat) return FlatFallback(picture, settings, set);
    const Picture reduced = FallbackPicture(shell, texture, options.fallbackColours, set);
    ConversionSettings plain = settings;
    plain.IgnoreWhite = plain.IgnoreRgbColor = false;
    Quads quads;
    convert(reduced, plain, quads);
    const PictureCodes codes{reduced.Width(), reduced.Height(), ColourCodeGrid(shell, reduced, plain)};
    return BuildStickerFace(quads, &codes);
}

std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t chunk = static_cast<std::uint32_t>(bytes[i]) << 16 |
                                    (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                                    (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        text += kDigits[chunk >> 18 & 63];
        text += kDigits[chunk >> 12 & 63];
        text += i + 1 < bytes.size() ? kDigits[chunk >> 6 & 63] : '=';
        text += i + 2 < bytes.size() ? kDigits[chunk & 63] : '=';
    }
    return text;
}

TextureImage MakeTextureImage(const RgbaPicture& texture, std::int64_t unitsPerPixel) {
    TextureImage image;
    image.unitsPerPixel = unitsPerPixel;
    RgbaPicture padded;
    padded.width = static_cast<std::int32_t>(std::bit_ceil(static_cast<std::uint32_t>(texture.width)));
    padded.height = static_cast<std::int32_t>(std::bit_ceil(static_cast<std::uint32_t>(texture.height)));
    padded.rgba.assign(static_cast<std::size_t>(padded.width) * padded.height * 4, 0);
    for (std::int32_t y = 0; y < texture.height; ++y) {
        std::copy_n(texture.rgba.begin() + static_cast<std::ptrdiff_t>(y) * texture.width * 4,
                    texture.width * 4,
                    padded.rgba.begin() + static_cast<std::ptrdiff_t>(y) * padded.width * 4);
    }
    for (std::size_t i = 3; i < texture.rgba.size() && !image.shown; i += 4) {
        image.shown = texture.rgba[i] != 0;
    }
    image.width = padded.width;
    image.height = padded.height;
    image.png = EncodePng(padded);
    return image;
}

std::string TextureNameFor(const std::string& partFileName) {
    return BaseNameOf(partFileName) + ".png";
}

void EmitTexturedStickerPart(Shell& shell, const Picture& picture,
                             const std::vector<FacePolygon>& fallback,
                             const StickerBacking& backing, const TextureImage& texture,
                             std::int32_t height, const StickerDetails& details,
                             const std::string& fileName, bool embed, const TextSink& out,
                             PartFileCounts* counts) {
    const std::string base = BaseNameOf(fileName);
    const TextureMapping mapping{TextureNameFor(fileName), texture.width * texture.unitsPerPixel,
                                 texture.height * texture.unitsPerPixel};
    if (!embed) {
        EmitStickerPart(shell, picture, fallback, backing, height, details, fileName, out, counts,
                        &mapping);
        return;
    }
    out("0 FILE " + base + ".dat\r\n");
    EmitStickerPart(shell, picture, fallback, backing, height, details, base + ".dat", out,
                    counts, &mapping);
    out("0 !DATA " + mapping.name + "\r\n");
    const std::string encoded = Base64(texture.png);
    std::string lines;
    for (std::size_t at = 0; at < encoded.size(); at += kBase64Line) {
        lines += "0 !: " + encoded.substr(at, kBase64Line) + "\r\n";
    }
    out(lines);
}

bool WriteTexturedStickerPart(Shell& shell, const Picture& picture,
                              const std::vector<FacePolygon>& fallback, const RgbaPicture& texture,
                              const std::string& path, std::int32_t height,
                              const StickerDetails& details, const TextureOptions& options,
                              PendingFiles* pending, PartFileCounts* counts) {
    return WriteTexturedStickerPart(shell, picture, fallback, BuildStickerBacking(fallback),
                                    MakeTextureImage(texture), path, height, details, options,
                                    pending, counts);
}

bool WriteTexturedStickerPart(Shell& shell, const Picture& picture,
                              const std::vector<FacePolygon>& fallback,
                              const StickerBacking& backing, const TextureImage& texture,
                              const std::string& path, std::int32_t height,
                              const StickerDetails& details, const TextureOptions& options,
                              PendingFiles* pending, PartFileCounts* counts) {
    if (picture.Height() == 0) Fail(failure::DivisionByZero);
    try {
        WriteLog(shell.log, "WRITE PART FILE: Starting");
        CheckSingleLineDetails(details);
        if (fallback.empty() || !texture.shown) Fail(kNothingLeft);
        WriteLog(shell.log, "WRITE PART FILE: About to create output file");
        CheckRoomFor(path, fallback.size() * kLeastBytesPerPolygon + texture.png.size() * 4 / 3);
        const std::string fileName = FileNameOf(path);
        PartFileCounts written;
        AtomicFileWriter file(path);
        const TextSink toFile = [&file](std::string_view text) { file.Write(text); };
        if (options.embed) {
            EmitTexturedStickerPart(shell, picture, fallback, backing, texture, height, details,
                                    fileName, true, toFile, &written);
            written.bytes = file.Size();
            CommitOrKeep(file, pending);
        } else {
            const std::filesystem::path folder =
                std::filesystem::path(path).parent_path() / "textures";
            std::error_code error;
            std::filesystem::create_directories(folder, error);
            if (!std::filesystem::is_directory(folder)) {
                Fail("The folder " + folder.string() + " cannot be made");
            }
            AtomicFileWriter image((folder / TextureNameFor(fileName)).string());
            image.Write(std::string_view(reinterpret_cast<const char*>(texture.png.data()),
                                         texture.png.size()));
            EmitTexturedStickerPart(shell, picture, fallback, backing, texture, height, details,
                                    fileName, false, toFile, &written);
            written.bytes = file.Size();
            // Both are complete before either is put in place.
            CommitOrKeep(image, pending);
            CommitOrKeep(file, pending);
        }
        if (counts) *counts = written;
        WriteLog(shell.log, "WRITE PART FILE: Done");
        return true;
    } catch (...) {
        ReportFailure(shell, "WritePartFile", "WRITE PART FILE: ERROR CONVERTING BITMAP ",
                      CurrentFailureDescription());
        return false;
    }
}

}  // namespace mosaikon
