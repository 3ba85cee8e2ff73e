#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mosaikon {

// The ordinary text-to-number conversion of the program: spaces around the number, an optional
// sign, "." as decimal separator and an optional exponent. Text that is no number fails with
// "Type mismatch", a number beyond the field's range with "Overflow".
double TextToDouble(std::string_view text);
std::int16_t TextToInt16(std::string_view text);
std::int32_t TextToInt32(std::string_view text);

// Whole-number fields round halves to the even neighbour and check their range.
std::int16_t ToInt16(double value);
std::int32_t ToInt32(double value);

// A double written as text: 15 significant digits, no trailing zeros, "." whatever the locale,
// exponent form ("1E+15", "9.5367431640625E-07") below 1E-05 or from 1E+15 on.
inline constexpr std::size_t kNumberTextCapacity = 32;
std::size_t FormatNumber(double value, char* out);  // out holds kNumberTextCapacity bytes
std::string NumberToText(double value);

}  // namespace mosaikon
