#include "text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

namespace svghost {
namespace {

TEST(NumberText, AcceptsCNotationOnly) {
    struct Case {
        const char* text;
        double value;
    };
    const Case good[] = {
        {"0", 0.0},   {"-1.5", -1.5},          {"+2", 2.0}, {".5", 0.5}, {"3e-4", 3e-4},
        {"1E3", 1e3}, {"-0.000125", -0.000125}};
    for (const Case& c : good) {
        double value = -99.0;
        EXPECT_TRUE(ParseNumber(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    for (const char* bad : {"", "+", "-", "1,5", "1.5x", " 1", "1 ", "0x10", "inf", "-inf", "nan",
                            "1e", "+-1", "++1", "1e999", "abc"}) {
        double value = 7.0;
        EXPECT_FALSE(ParseNumber(bad, value)) << '"' << bad << '"';
        EXPECT_EQ(value, 7.0) << "a rejected text leaves the value alone: " << bad;
    }
}

TEST(NumberText, PrintsAsPercentNineG) {
    const double values[] = {0.0,
                             -0.0,
                             1.0,
                             0.1,
                             -2.5e-5,
                             1e-5,
                             123456789.0,
                             1234567891.0,
                             1e300,
                             5e-324,
                             0.30000000000000004,
                             static_cast<double>(0.1f),
                             28577.380332470408};
    for (const double value : values) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.9g", value);
        EXPECT_EQ(FormatNumber(value), expected);
    }
}

TEST(NumberText, NineDigitsRestoreEveryFloat) {
    // Nine significant digits identify a single-precision value uniquely.
    const float values[] = {0.1f,
                            1.0f / 3.0f,
                            16777217.0f,
                            3.4028235e38f,
                            1.17549435e-38f,
                            -2.71828183f,
                            std::numeric_limits<float>::denorm_min()};
    for (const float value : values) {
        double parsed = 0.0;
        ASSERT_TRUE(ParseNumber(FormatNumber(value), parsed));
        EXPECT_EQ(static_cast<float>(parsed), value);
    }
}

TEST(TextFields, SplitsAtEveryComma) {
    EXPECT_EQ(SplitCommas("a,,b").size(), 3u);
    EXPECT_EQ(SplitCommas("").size(), 1u);
    EXPECT_EQ(SplitCommas("x,").back(), "");
    EXPECT_EQ(Trim(" \t a b \t"), "a b");
    EXPECT_EQ(Trim("  "), "");
}

}  // namespace
}  // namespace svghost
