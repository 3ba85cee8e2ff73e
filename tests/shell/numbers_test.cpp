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
        out = digits.substr(0, exponent + 1);
        if (static_cast<int>(digits.size()) > exponent + 1) {
            out.append(".").append(digits, exponent + 1);
        }
    } else {
        out.assign("0.").append(-exponent - 1, '0').append(digits);
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
