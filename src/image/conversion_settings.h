#pragma once

#include <cstdint>

namespace mosaikon {

// The options handed to the builders and the preview writer, in the window's field order.
struct ConversionSettings {
    bool UseLdrawColors = false;
    bool IgnoreWhite = false;
    std::int32_t WhiteTolerance = 10;
    bool IgnoreRgbColor = false;
    std::int32_t RgbTolerance = 10;
    std::int16_t IgnoreRed = 256;
    std::int16_t IgnoreGreen = 0;
    std::int16_t IgnoreBlue = 0;

    friend bool operator==(const ConversionSettings&, const ConversionSettings&) = default;
};

// Tolerance defaults that the option boxes fill in: they depend on the primary-colour option.
inline constexpr std::int32_t DefaultWhiteTolerance(bool useLdrawColors) {
    return useLdrawColors ? 14 : 10;
}
inline constexpr std::int32_t DefaultColorTolerance(bool useLdrawColors) {
    return useLdrawColors ? 1 : 10;
}

}  // namespace mosaikon
