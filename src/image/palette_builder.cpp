// A palette for a picture that has none: its own colours where there are few enough, otherwise
// the best palette libimagequant finds.

#include <libimagequant.h>

#include <algorithm>
#include <memory>
#include <unordered_map>

#include "image/rgba_picture.h"
#include "shell/failure.h"

namespace mosaikon {

namespace {

constexpr std::uint32_t kTransparent = 0xFFFFFFFF;  // no opaque colour has this key

// The colour a pixel shows: left out below half alpha, composited on white above.
std::uint32_t Shown(const std::uint8_t* p) {
    if (p[3] < 128) return kTransparent;
    auto on_white = [alpha = p[3]](std::uint8_t c) {
        return static_cast<std::uint32_t>((c * alpha + 255 * (255 - alpha) + 127) / 255);
    };
    return on_white(p[0]) << 16 | on_white(p[1]) << 8 | on_white(p[2]);
}

PaletteEntry Entry(std::uint32_t rgb) {
    return {static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
            static_cast<std::uint8_t>(rgb >> 16), 0};
}

void FillHeaders(const RgbaPicture& rgba, Picture& picture) {
    picture.fileHeader = {"BM", 0, 0, 0, 0};
    picture.infoHeader = {};
    picture.infoHeader.biSize = 40;
    picture.infoHeader.biWidth = rgba.width;
    picture.infoHeader.biHeight = rgba.height;
    picture.infoHeader.biPlanes = 1;
    picture.infoHeader.biBitCount = 8;
    picture.pixelGrid.assign(picture.Index(0, rgba.height + 1), 0);
}

// The pixel at column x of the row that is y-th from the top, in the model's bottom-up rows.
std::uint8_t& PixelFromTop(Picture& picture, std::int32_t x, std::int32_t yFromTop) {
    return picture.Pixels(x + 1, picture.Height() - yFromTop);
}

struct QuantizerDeleter {
    void operator()(liq_attr* attr) const { liq_attr_destroy(attr); }
    void operator()(liq_image* image) const { liq_image_destroy(image); }
    void operator()(liq_result* result) const { liq_result_destroy(result); }
};

// The quantizer's progress, in percent, told as a stage of the whole choice (finding the palette,
// then remapping). It starts its percent over for some of its steps: only what goes forward is
// told.
struct QuantizerProgress {
    const ReadProgress* progress;
    double from, to;
    double* most;  // the most told so far
};

extern "C" int TellQuantizerProgress(float percent, void* user) {
    const auto* stage = static_cast<const QuantizerProgress*>(user);
    const double done =
        stage->from + (stage->to - stage->from) * std::clamp(percent, 0.0f, 100.0f) / 100;
    if (done > *stage->most) {
        *stage->most = done;
        (*stage->progress)(done);
    }
    return 1;  // go on
}

// More colours than the palette holds: libimagequant's palette, the picture remapped to it.
void Reduce(const RgbaPicture& rgba, const std::vector<std::uint32_t>& shown, Picture& picture,
            const ColourReduction& reduction, bool anyTransparent, const ReadProgress* progress) {
    // The quantizer sees the colours as shown, opaque; transparent pixels keep their own entry.
    std::vector<std::uint8_t> opaque(rgba.rgba.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::uint32_t c = shown[i] == kTransparent ? 0xFFFFFF : shown[i];
        opaque[4 * i] = static_cast<std::uint8_t>(c >> 16);
        opaque[4 * i + 1] = static_cast<std::uint8_t>(c >> 8);
        opaque[4 * i + 2] = static_cast<std::uint8_t>(c);
        opaque[4 * i + 3] = 255;
    }
    const int colours = std::clamp(reduction.mostColours - (anyTransparent ? 1 : 0), 2, 256);
    std::unique_ptr<liq_attr, QuantizerDeleter> attr(liq_attr_create());
    if (!attr || liq_set_max_colors(attr.get(), colours) != LIQ_OK) Fail(failure::OutOfMemory);
    // The quantizer's own default balance of speed and quality; it is deterministic at any speed.
    liq_set_speed(attr.get(), 4);
    double most = 0;
    QuantizerProgress finding{progress, 0.1, 0.8, &most}, remapping{progress, 0.8, 1.0, &most};
    if (progress) liq_attr_set_progress_callback(attr.get(), TellQuantizerProgress, &finding);
    std::unique_ptr<liq_image, QuantizerDeleter> image(
        liq_image_create_rgba(attr.get(), opaque.data(), rgba.width, rgba.height, 0));
    if (!image) Fail(failure::OutOfMemory);
    liq_result* raw = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK) {
        Fail("The picture's colours could not be reduced");
    }
    std::unique_ptr<liq_result, QuantizerDeleter> result(raw);
    liq_set_dithering_level(result.get(), reduction.dither ? 1.0f : 0.0f);
    if (progress) liq_result_set_progress_callback(result.get(), TellQuantizerProgress, &remapping);
    std::vector<std::uint8_t> indices(shown.size());
    if (liq_write_remapped_image(result.get(), image.get(), indices.data(), indices.size()) !=
        LIQ_OK) {
        Fail("The picture's colours could not be reduced");
    }
    const liq_palette* palette = liq_get_palette(result.get());
    for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color& c = palette->entries[i];
        picture.Palette.push_back({c.b, c.g, c.r, 0});
    }
    if (anyTransparent) {
        picture.TransparentIndex = static_cast<int>(picture.Palette.size());
        picture.Palette.push_back(Entry(0xFFFFFF));
    }
    for (std::int32_t y = 0; y < rgba.height; ++y) {
        for (std::int32_t x = 0; x < rgba.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * rgba.width + x;
            PixelFromTop(picture, x, y) = shown[i] == kTransparent
                                              ? static_cast<std::uint8_t>(picture.TransparentIndex)
                                              : indices[i];
        }
    }
}

}  // namespace

std::int64_t GivePalette(const RgbaPicture& rgba, Picture& picture,
                         const ColourReduction& reduction, const ReadProgress* progress) {
    picture = Picture{};
    FillHeaders(rgba, picture);
    const std::size_t pixels = static_cast<std::size_t>(rgba.width) * rgba.height;
    std::vector<std::uint32_t> shown(pixels);
    std::unordered_map<std::uint32_t, std::uint8_t> index;
    bool anyTransparent = false;
    bool tooMany = false;
    for (std::size_t i = 0; i < pixels; ++i) {
        shown[i] = Shown(rgba.rgba.data() + 4 * i);
        if (shown[i] == kTransparent) {
            anyTransparent = true;
        } else if (!tooMany && !index.contains(shown[i])) {
            if (index.size() == 256) {
                tooMany = true;
            } else {
                index.emplace(shown[i], 0);
            }
        }
    }
    const std::size_t room = static_cast<std::size_t>(std::clamp(reduction.mostColours, 2, 256) -
                                                      (anyTransparent ? 1 : 0));
    if (!tooMany && index.size() <= room) {
        // Few enough colours: exactly these, in the order of their first pixel.
        index.clear();
        for (std::size_t i = 0; i < pixels; ++i) {
            if (shown[i] == kTransparent || index.contains(shown[i])) continue;
            index.emplace(shown[i], static_cast<std::uint8_t>(picture.Palette.size()));
            picture.Palette.push_back(Entry(shown[i]));
        }
        if (anyTransparent) {
            picture.TransparentIndex = static_cast<int>(picture.Palette.size());
            picture.Palette.push_back(Entry(0xFFFFFF));
        }
        for (std::int32_t y = 0; y < rgba.height; ++y) {
            for (std::int32_t x = 0; x < rgba.width; ++x) {
                const std::uint32_t c = shown[static_cast<std::size_t>(y) * rgba.width + x];
                PixelFromTop(picture, x, y) =
                    c == kTransparent ? static_cast<std::uint8_t>(picture.TransparentIndex)
                                      : index[c];
            }
        }
        picture.SourceColours = static_cast<std::int64_t>(index.size());
        return picture.SourceColours;
    }
    // Counted in full only now that they are known to be many: one bit for each of the 2^24.
    std::vector<std::uint64_t> seen(1 << 18, 0);
    std::int64_t count = 0;
    for (const std::uint32_t c : shown) {
        if (c == kTransparent) continue;
        std::uint64_t& word = seen[c >> 6];
        const std::uint64_t bit = std::uint64_t{1} << (c & 63);
        count += (word & bit) == 0;
        word |= bit;
    }
    if (progress) (*progress)(0.1);
    Reduce(rgba, shown, picture, reduction, anyTransparent, progress);
    picture.SourceColours = count;
    return picture.SourceColours;
}

}  // namespace mosaikon
