#pragma once

#include <array>
#include <cstdint>

#include "image/conversion_settings.h"
#include "image/picture.h"
#include "shell/shell.h"

namespace mosaikon {

using PrimaryColorTable = std::array<PaletteEntry, 16>;

// The 16 LDraw primary colours, indexed by colour code (entries are Blue, Green, Red, Reserved).
inline constexpr PrimaryColorTable PrimaryColors = {{
    {14, 16, 0, 0},
    {187, 51, 0, 0},
    {51, 119, 0, 0},
    {170, 170, 0, 0},
    {0, 0, 204, 0},
    {153, 51, 255, 0},
    {0, 51, 102, 0},
    {170, 170, 170, 0},
    {85, 102, 102, 0},
    {255, 136, 0, 0},
    {102, 255, 51, 0},
    {255, 170, 85, 0},
    {85, 85, 255, 0},
    {204, 187, 255, 0},
    {0, 238, 255, 0},
    {255, 255, 255, 0},
}};

// The grey of the preview backdrop, shown where a pixel is left out.
inline constexpr PaletteEntry kBackdropGrey{200, 208, 212, 0};

inline constexpr std::int32_t kDirectColorBase = 0x2000000;

std::int32_t DirectColorCode(const PaletteEntry& entry);
std::int32_t NearestPrimaryCode(const PaletteEntry& entry);

// Counts the ReColor failures of one builder run; only the first one shows a message box.
struct ReColorReports {
    int count = 0;
};

// The colour code of a palette entry: direct, or the nearest primary code. An index beyond the
// palette is reported ("ReColor has caused an error ...") and gives 0.
std::int32_t ReColor(Shell& shell, const PaletteList& palette, int index, bool primaryOnly,
                     ReColorReports* reports = nullptr);

// Throw "Subscript out of range" for an index beyond the palette; IsIgnoredColor computes in
// 16-bit arithmetic and throws "Overflow" for typed components far outside 0..255.
bool IsNearWhite(const PaletteList& palette, int index, std::int32_t tolerance);
bool IsIgnoredColor(const PaletteList& palette, int index, std::int32_t tolerance, std::int16_t red,
                    std::int16_t green, std::int16_t blue);

// The index of the entry nearest to the backdrop grey when within distance 99, which then
// becomes the grey; otherwise 0, and nothing changes.
std::int16_t FindBackgroundColor(PaletteList& palette);

// The answers of ReColor, IsNearWhite and IsIgnoredColor for every palette entry under one
// settings set, worked out once so that the builders need not repeat them for every pixel.
class ColourLookup {
public:
    ColourLookup(const PaletteList& palette, const ConversionSettings& settings);
    // For a picture, whose transparent entry (if any) is always left out.
    ColourLookup(const Picture& picture, const ConversionSettings& settings);

    bool Known(std::uint8_t index) const { return index < size_; }
    std::int32_t Code(std::uint8_t index) const { return code_[index]; }
    // Whether a pixel of this index is left out; throws what the colour tests throw for it.
    bool LeftOut(std::uint8_t index) const;

    // A pixel's colour code, or leftOutMark when it is left out. An index beyond the palette is
    // reported by ReColor first, then throws as the colour tests do.
    std::int32_t PixelCode(Shell& shell, const PaletteList& palette, std::uint8_t index,
                           bool primaryOnly, ReColorReports& reports,
                           std::int32_t leftOutMark) const {
        const std::int32_t code =
            Known(index) ? Code(index) : ReColor(shell, palette, index, primaryOnly, &reports);
        return LeftOut(index) ? leftOutMark : code;
    }

private:
    enum class Answer : std::uint8_t { Kept, LeftOut, Overflow };
    std::size_t size_;
    std::array<std::int32_t, 256> code_{};
    std::array<Answer, 256> answer_{};
};

}  // namespace mosaikon
