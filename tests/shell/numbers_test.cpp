#include "shell/numbers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::FailureOf;

TEST(TextToNumber, TakesWhatTheBoxesMayHoldAndRefusesTheRest) {
    const std::pair<const char*, double> numbers[] = {
        {" 640 ", 640}, {"-2.5", -2.5}, {"+.5", 0.5}, {"5.", 5},
        {"1.5e2", 150}, {"1E-2", 0.01}, {"1e-400", 0}};
    for (const auto& [text, value] : numbers) EXPECT_DOUBLE_EQ(TextToDouble(text), value) << text;
    for (const char* text :
         {"", " ", "abc", "12a", "1,5", "--1", "1e", ".", "inf", "nan", "0x10", "1 2"}) {
        EXPECT_EQ(FailureOf([&] { TextToDouble(text); }), "Type mismatch") << text;
    }
    EXPECT_EQ(FailureOf([] { TextToDouble("1e999"); }), "Overflow");
    // Whole numbers round halves to even and check their range.
    EXPECT_EQ(TextToInt16("500.5"), 500);
    EXPECT_EQ(TextToInt16("-2.5"), -2);
    EXPECT_EQ(TextToInt32("13.5"), 14);
    EXPECT_EQ(TextToInt16("-32768"), -32768);
    EXPECT_EQ(FailureOf([] { TextToInt16("32767.5"); }), "Overflow");
    EXPECT_EQ(TextToInt32("2147483647"), 2147483647);
    EXPECT_EQ(FailureOf([] { TextToInt32("2147483648"); }), "Overflow");
}

TEST(NumberToText, CarriesSignsAndRoundingIntoTheRightForm) {
    const std::pair<double, const char*> texts[] = {{-0.0, "0"},
                                                    {0.1 + 0.2, "0.3"},
                                                    {9.999999999999999e14, "1E+15"},
                                                    {0.0000099999999999999999, "0.00001"},
                                                    {9.5367431640625E-07, "9.5367431640625E-07"},
                                                    {1e-300, "1E-300"}};
    for (const auto& [value, text] : texts) EXPECT_EQ(NumberToText(value), text) << value;
}

// The formatter against the C library's rendering of 15 significant digits, which turns to
// exponents one power of ten earlier for small numbers.
std::string Reference(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.14E", value);  // the exponent after rounding
    const bool fixed = std::string(text).ends_with("E-05");
    std::snprintf(text, sizeof text, fixed ? "%.19f" : "%.15G", value);
    std::string out = text;
    if (fixed) out.erase(out.find_last_not_of('0') + 1);
    return out == "-0" ? "0" : out;
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
