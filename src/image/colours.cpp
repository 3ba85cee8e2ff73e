#include "image/colours.h"

#include <cstdlib>

#include "shell/failure.h"

namespace mosaikon {

namespace {

const PaletteEntry& EntryAt(const PaletteList& palette, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= palette.size()) {
        Fail(failure::SubscriptOutOfRange);
    }
    return palette[static_cast<std::size_t>(index)];
}

int CityBlock(const PaletteEntry& a, const PaletteEntry& b) {
    return std::abs(a.Red - b.Red) + std::abs(a.Green - b.Green) + std::abs(a.Blue - b.Blue);
}

// 16-bit signed arithmetic as the colour tests do it: any result outside its range overflows.
int Checked16(int value) {
    if (value < -32768 || value > 32767) Fail(failure::Overflow);
    return value;
}

int Distance16(int component, int typed) {
    return Checked16(std::abs(Checked16(component - typed)));
}

}  // namespace

std::int32_t DirectColorCode(const PaletteEntry& entry) {
    return kDirectColorBase + entry.Red * 65536 + entry.Green * 256 + entry.Blue;
}

std::int32_t NearestPrimaryCode(const PaletteEntry& entry) {
    int bestDistance = 32000;
    std::int32_t bestCode = 0;
    for (std::int32_t code = 0; code < 16; ++code) {
        const int distance = CityBlock(entry, PrimaryColors[static_cast<std::size_t>(code)]);
        if (distance < bestDistance) {
            bestDistance = distance;
            bestCode = code;
        }
    }
    return bestCode;
}

std::int32_t ReColor(Shell& shell, const PaletteList& palette, int index, bool primaryOnly,
                     ReColorReports* reports) {
    try {
        const PaletteEntry& entry = EntryAt(palette, index);
        return primaryOnly ? NearestPrimaryCode(entry) : DirectColorCode(entry);
    } catch (...) {
        const std::string description = CurrentFailureDescription();
        const bool showBox = reports == nullptr || reports->count == 0;
        if (reports) ++reports->count;
        if (showBox) {
            ReportFailure(shell, "ReColor", "RECOLOR: ERROR IN CONVERTING COLOR ", description);
        } else {
            ++shell.failuresReported;
            try {
                WriteLog(shell.log, "RECOLOR: ERROR IN CONVERTING COLOR " + description);
            } catch (...) {
                CloseLog(shell.log);
            }
        }
        return 0;
    }
}

bool IsNearWhite(const PaletteList& palette, int index, std::int32_t tolerance) {
    const PaletteEntry& entry = EntryAt(palette, index);
    const int distance = (255 - entry.Red) + (255 - entry.Green) + (255 - entry.Blue);
    return distance < tolerance;
}

bool IsIgnoredColor(const PaletteList& palette, int index, std::int32_t tolerance, std::int16_t red,
                    std::int16_t green, std::int16_t blue) {
    const PaletteEntry& entry = EntryAt(palette, index);
    int distance = Distance16(entry.Red, red);
    distance = Checked16(distance + Distance16(entry.Green, green));
    distance = Checked16(distance + Distance16(entry.Blue, blue));
    return distance < tolerance;
}

std::int16_t FindBackgroundColor(PaletteList& palette) {
    int bestDistance = 32000;
    std::size_t result = 0;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int distance = CityBlock(palette[i], kBackdropGrey);
        if (distance < bestDistance) {
            bestDistance = distance;
            result = i;
        }
    }
    if (bestDistance < 100) {
        palette[result] = kBackdropGrey;
        return static_cast<std::int16_t>(result);
    }
    return 0;
}

ColourLookup::ColourLookup(const PaletteList& palette, const ConversionSettings& settings)
    : size_(palette.size() < 256 ? palette.size() : 256) {
    for (std::size_t i = 0; i < size_; ++i) {
        const int index = static_cast<int>(i);
        const PaletteEntry& entry = palette[i];
        code_[i] = settings.UseLdrawColors ? NearestPrimaryCode(entry) : DirectColorCode(entry);
        bool ignored = false;
        try {
            ignored = IsIgnoredColor(palette, index, settings.RgbTolerance, settings.IgnoreRed,
                                     settings.IgnoreGreen, settings.IgnoreBlue);
        } catch (const Failure&) {
            answer_[i] = Answer::Overflow;
            continue;
        }
        const bool white = IsNearWhite(palette, index, settings.WhiteTolerance);
        answer_[i] = (settings.IgnoreRgbColor && ignored) || (settings.IgnoreWhite && white)
                         ? Answer::LeftOut
                         : Answer::Kept;
    }
}

ColourLookup::ColourLookup(const Picture& picture, const ConversionSettings& settings)
    : ColourLookup(picture.Palette, settings) {
    // A picture recoloured to LDraw colours has each entry's code.
    for (std::size_t i = 0; i < size_ && i < picture.Codes.size(); ++i) {
        if (picture.Codes[i] >= 0) code_[i] = picture.Codes[i];
    }
    if (picture.TransparentIndex >= 0 &&
        static_cast<std::size_t>(picture.TransparentIndex) < size_) {
        answer_[static_cast<std::size_t>(picture.TransparentIndex)] = Answer::LeftOut;
    }
}

bool ColourLookup::LeftOut(std::uint8_t index) const {
    if (index >= size_) Fail(failure::SubscriptOutOfRange);
    if (answer_[index] == Answer::Overflow) Fail(failure::Overflow);
    return answer_[index] == Answer::LeftOut;
}

}  // namespace mosaikon
