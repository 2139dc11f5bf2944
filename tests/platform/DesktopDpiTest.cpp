// The desktop's DPI texts: Xft.dpi in a resource database and QUORVANE_DPI,
// both from outside the program.

#include "platform/DesktopDpi.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qv {
namespace {

TEST(DesktopDpi, ATextIsARoundedNumberClampedToSaneDensities) {
    struct Case {
        const char* text;
        int dpi;
    } cases[] = {{"96", 96},   {"144", 144}, {" 120.4\n", 120}, {"1e9", 480}, {"1", 48},  {"0", 0},
                 {"-5", 0},    {"abc", 0},   {"", 0},           {"96px", 0}, {"nan", 0}, {"inf", 0},
                 {"1e-300", 48}, {nullptr, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(parseDpiText(c.text), c.dpi) << (c.text ? c.text : "(null)");
}

TEST(DesktopDpi, XftDpiIsReadFromTheResourceDatabaseText) {
    EXPECT_EQ(xftDpiFromResources("Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n"), 144);
    EXPECT_EQ(xftDpiFromResources("*.dpi: 120\n"), 120);  // a wildcard entry counts
    EXPECT_EQ(xftDpiFromResources("Xcursor.size: 24\n"), 0);
    EXPECT_EQ(xftDpiFromResources(""), 0);
    EXPECT_EQ(xftDpiFromResources("Xft.dpi: 0\n"), 0);
    EXPECT_EQ(xftDpiFromResources("Xft.dpi: -5\n"), 0);
    EXPECT_EQ(xftDpiFromResources("Xft.dpi: 1e9\n"), 480);
    EXPECT_EQ(xftDpiFromResources("Xft.dpi: abc\n"), 0);
    EXPECT_EQ(xftDpiFromResources(std::string("Xft.dpi: 1\0 92\n", 16)), 48);  // stops at the NUL
}

TEST(DesktopDpi, TheEnvironmentOverrideFollowsTheSameRules) {
    setenv("QUORVANE_DPI", "168", 1);
    EXPECT_EQ(dpiFromEnvironment(), 168);
    setenv("QUORVANE_DPI", "-5", 1);
    EXPECT_EQ(dpiFromEnvironment(), 0);
    unsetenv("QUORVANE_DPI");
    EXPECT_EQ(dpiFromEnvironment(), 0);
}

}  // namespace
}  // namespace qv
