#include "settings/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qv {
namespace {

TEST(NumberText, LeadingIntegersAndTheirLimits) {
    int32_t v = 99;
    EXPECT_TRUE(parseLeadingInt(" \t-12abc", v));
    EXPECT_EQ(v, -12);
    EXPECT_TRUE(parseLeadingInt("+7", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(parseLeadingInt("2.9", v));
    EXPECT_EQ(v, 2);
    EXPECT_TRUE(parseLeadingInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(parseLeadingInt("2147483647", v));
    EXPECT_EQ(v, INT32_MAX);
    v = 99;
    for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999999", "", "abc", "- 5", "--5", "+-5", ".5"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parseLeadingInt(bad, v));
        EXPECT_EQ(v, 99);
    }
}

TEST(NumberText, LeadingDecimalNumbers) {
    double d = 0.0;
    EXPECT_TRUE(parseLeadingDouble(".5", d));
    EXPECT_EQ(d, 0.5);
    EXPECT_TRUE(parseLeadingDouble(" -.25x", d));
    EXPECT_EQ(d, -0.25);
    EXPECT_TRUE(parseLeadingDouble("1e3 Hz", d));
    EXPECT_EQ(d, 1000.0);
    EXPECT_TRUE(parseLeadingDouble("0x10", d));
    EXPECT_EQ(d, 0.0);
    d = 7.0;
    for (const char* bad : {"", ".", "-", "inf", "-infinity", "nan", "1e400", "+-1", "e5", "--1"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parseLeadingDouble(bad, d));
        EXPECT_EQ(d, 7.0);
    }
    float f = 3.0f;
    EXPECT_FALSE(parseLeadingFloat("1e39", f));
    EXPECT_FALSE(parseLeadingFloat("-1e39", f));
    EXPECT_EQ(f, 3.0f);
    EXPECT_TRUE(parseLeadingFloat("3.4e38", f));
    EXPECT_TRUE(std::isfinite(f));
}

TEST(NumberText, ShortNumbersAndClampedConversions) {
    EXPECT_EQ(formatShortNumber(48000.0), "48000");
    EXPECT_EQ(formatShortNumber(static_cast<double>(0.8f)), "0.8");
    EXPECT_EQ(formatShortNumber(1.0), "1");
    EXPECT_EQ(formatShortNumber(1e-7), "1e-07");
    EXPECT_EQ(formatShortNumber(123456789.0), "1.23457e+08");
    EXPECT_EQ(formatShortNumber(-0.125), "-0.125");
    EXPECT_EQ(clampToInt(1e300, 1, 100), 100);
    EXPECT_EQ(clampToInt(-1e300, 1, 100), 1);
    EXPECT_EQ(clampToInt(42.9, 1, 100), 42);
    EXPECT_EQ(clampToInt(-0.9, -1, 1), 0);
    EXPECT_EQ(clampToInt(std::nan(""), 1, 100), 1);
}

}  // namespace
}  // namespace qv
