#include "shell/numbers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "shell/failure.h"

namespace mosaikon {
namespace {

std::string FailureOf(auto&& call) {
    try {
        call();
    } catch (const Failure& failure) {
        return failure.what();
    }
    return "no failure";
}

TEST(TextToNumber, AcceptsSpacesSignsFractionsAndExponents) {
    EXPECT_DOUBLE_EQ(TextToDouble(" 640 "), 640);
    EXPECT_DOUBLE_EQ(TextToDouble("-2.5"), -2.5);
    EXPECT_DOUBLE_EQ(TextToDouble("+.5"), 0.5);
    EXPECT_DOUBLE_EQ(TextToDouble("5."), 5);
    EXPECT_DOUBLE_EQ(TextToDouble("1.5e2"), 150);
    EXPECT_DOUBLE_EQ(TextToDouble("1E-2"), 0.01);
    EXPECT_EQ(TextToDouble("1e-400"), 0.0);
}

TEST(TextToNumber, RejectsTextThatIsNoNumber) {
    for (const char* text :
         {"", " ", "abc", "12a", "1,5", "--1", "1e", ".", "inf", "nan", "0x10", "1 2"}) {
        EXPECT_EQ(FailureOf([&] { TextToDouble(text); }), "Type mismatch") << text;
    }
    EXPECT_EQ(FailureOf([] { TextToDouble("1e999"); }), "Overflow");
}

TEST(TextToNumber, WholeNumbersRoundHalvesToEvenAndCheckTheirRange) {
    EXPECT_EQ(TextToInt16("500.5"), 500);
    EXPECT_EQ(TextToInt16("501.5"), 502);
    EXPECT_EQ(TextToInt16("-2.5"), -2);
    EXPECT_EQ(TextToInt32("12.5"), 12);
    EXPECT_EQ(TextToInt32("13.5"), 14);
    EXPECT_EQ(TextToInt16("-32768"), -32768);
    EXPECT_EQ(FailureOf([] { TextToInt16("32767.5"); }), "Overflow");
    EXPECT_EQ(FailureOf([] { TextToInt16("-32769"); }), "Overflow");
    EXPECT_EQ(TextToInt32("2147483647"), 2147483647);
    EXPECT_EQ(FailureOf([] { TextToInt32("2147483648"); }), "Overflow");
    EXPECT_EQ(FailureOf([] { TextToInt32("abc"); }), "Type mismatch");
}

TEST(NumberToText, WritesFifteenSignificantDigitsWithoutTrailingZeros) {
    EXPECT_EQ(NumberToText(0), "0");
    EXPECT_EQ(NumberToText(-0.0), "0");
    EXPECT_EQ(NumberToText(3), "3");
    EXPECT_EQ(NumberToText(1.5), "1.5");
    EXPECT_EQ(NumberToText(-2.25), "-2.25");
    EXPECT_EQ(NumberToText(10.0 / 3), "3.33333333333333");
    EXPECT_EQ(NumberToText(2.0 / 3), "0.666666666666667");
    EXPECT_EQ(NumberToText(100), "100");
    EXPECT_EQ(NumberToText(0.1 + 0.2), "0.3");
    EXPECT_EQ(NumberToText(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberToText(100.0 / 255 * 3), "1.17647058823529");
}

TEST(NumberToText, UsesExponentFormOnlyForVerySmallAndVeryLargeMagnitudes) {
    EXPECT_EQ(NumberToText(0.00001), "0.00001");
    EXPECT_EQ(NumberToText(-0.00001), "-0.00001");
    EXPECT_EQ(NumberToText(9.5367431640625E-07), "9.5367431640625E-07");
    EXPECT_EQ(NumberToText(0.0000099999), "9.9999E-06");
    EXPECT_EQ(NumberToText(1e15), "1E+15");
    EXPECT_EQ(NumberToText(999999999999999.0), "999999999999999");
    EXPECT_EQ(NumberToText(-1.5e20), "-1.5E+20");
    EXPECT_EQ(NumberToText(1e-300), "1E-300");
    // Rounding to 15 digits can carry into the next power of ten.
    EXPECT_EQ(NumberToText(9.999999999999999e14), "1E+15");
    EXPECT_EQ(NumberToText(0.0000099999999999999999), "0.00001");
}

// The formatter against a plain printf-based rendering of the same rules.
std::string Reference(double value) {
    if (value == 0) return "0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14E", value);
    std::string text = buffer;
    const auto e = text.find('E');
    std::string mantissa = text.substr(0, e);
    const int exponent = std::stoi(text.substr(e + 1));
    const bool negative = mantissa[0] == '-';
    if (negative) mantissa.erase(0, 1);
    std::string digits = mantissa.substr(0, 1) + mantissa.substr(2);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out;
    if (exponent < -5 || exponent >= 15) {
        out.push_back(digits[0]);
        if (digits.size() > 1) out.append(".").append(digits, 1);
        char exp[16];
        std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        out += exp;
    } else if (exponent >= 0) {
        while (static_cast<int>(digits.size()) < exponent + 1) digits += '0';
        out = digits.substr(0, static_cast<std::size_t>(exponent) + 1);
        if (digits.size() > static_cast<std::size_t>(exponent) + 1) {
            out.append(".").append(digits, static_cast<std::size_t>(exponent) + 1);
        }
    } else {
        out.assign("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
    }
    return (negative ? "-" : "") + out;
}

TEST(NumberToText, AgreesWithAPlainRenderingOnRandomValues) {
    std::mt19937_64 random(20261206);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-12, 18);
    for (int i = 0; i < 20000; ++i) {
        const double value = mantissa(random) * std::pow(10.0, exponent(random));
        ASSERT_EQ(NumberToText(value), Reference(value)) << "value " << value;
        const double scaled = (i % 977) * (100.0 / (1 + i % 1021));
        ASSERT_EQ(NumberToText(scaled), Reference(scaled)) << "value " << scaled;
    }
}

}  // namespace
}  // namespace mosaikon
