#include "shell/numbers.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "shell/failure.h"

namespace mosaikon {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Accepts [sign] digits [. digits] [(e|E) [sign] digits] with at least one mantissa digit.
bool IsNumberText(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exponentDigits = 0;
        while (i < text.size() && IsDigit(text[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return i == text.size();
}

template <typename Int>
Int RoundToRange(double value) {
    const double rounded = std::nearbyint(value);  // the default mode rounds halves to even
    if (!(rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
          rounded <= static_cast<double>(std::numeric_limits<Int>::max()))) {
        Fail(failure::Overflow);
    }
    return static_cast<Int>(rounded);
}

}  // namespace

double TextToDouble(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    if (!IsNumberText(text)) Fail(failure::TypeMismatch);
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Underflow is a zero; only a magnitude too large for a double is an overflow.
        const auto exponent = text.find_first_of("eE");
        if (exponent != std::string_view::npos && text[exponent + 1] == '-') return 0.0;
        Fail(failure::Overflow);
    }
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        Fail(failure::TypeMismatch);
    }
    return negative ? -value : value;
}

std::int16_t TextToInt16(std::string_view text) {
    return ToInt16(TextToDouble(text));
}
std::int32_t TextToInt32(std::string_view text) {
    return ToInt32(TextToDouble(text));
}
std::int16_t ToInt16(double value) {
    return RoundToRange<std::int16_t>(value);
}
std::int32_t ToInt32(double value) {
    return RoundToRange<std::int32_t>(value);
}

std::size_t FormatNumber(double value, char* out) {
    if (value == 0.0 || !std::isfinite(value)) {  // -0 is written as 0
        out[0] = '0';
        return 1;
    }
    // d.dddddddddddddde[+-]xx: the value rounded to 15 significant digits.
    char scientific[40];
    const auto result = std::to_chars(scientific, scientific + sizeof scientific, value,
                                      std::chars_format::scientific, 14);
    const char* p = scientific;
    char* o = out;
    if (*p == '-') *o++ = *p++;
    char digits[15];
    int count = 0;
    digits[count++] = *p++;
    ++p;  // the decimal point
    while (*p != 'e') digits[count++] = *p++;
    ++p;
    int exponent = 0;
    std::from_chars(*p == '+' ? p + 1 : p, result.ptr, exponent);
    while (count > 1 && digits[count - 1] == '0') --count;

    if (exponent < -5 || exponent >= 15) {
        *o++ = digits[0];
        if (count > 1) {
            *o++ = '.';
            std::memcpy(o, digits + 1, count - 1);
            o += count - 1;
        }
        *o++ = 'E';
        *o++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude >= 100) *o++ = static_cast<char>('0' + magnitude / 100);
        *o++ = static_cast<char>('0' + magnitude / 10 % 10);
        *o++ = static_cast<char>('0' + magnitude % 10);
    } else if (exponent >= 0) {
        const int whole = exponent + 1;
        for (int i = 0; i < whole; ++i) *o++ = i < count ? digits[i] : '0';
        if (count > whole) {
            *o++ = '.';
            std::memcpy(o, digits + whole, count - whole);
            o += count - whole;
        }
    } else {
        *o++ = '0';
        *o++ = '.';
        for (int i = 0; i < -exponent - 1; ++i) *o++ = '0';
        std::memcpy(o, digits, count);
        o += count;
    }
    return static_cast<std::size_t>(o - out);
}

std::string NumberToText(double value) {
    char text[kNumberTextCapacity];
    return std::string(text, FormatNumber(value, text));
}

}  // namespace mosaikon
