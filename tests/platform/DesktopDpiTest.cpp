// The desktop's DPI texts: Xft.dpi in a resource database and QUORVANE_DPI,
// both from outside the program.

#include "platform/DesktopDpi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

// The user's own choice is used only within 48..480 and never clamped: a
// value outside is not used, and the reason shows it safely for a terminal.
TEST(DesktopDpi, TheEnvironmentOverrideIsUsedOnlyWithinItsRange) {
    const std::string range =
        "\" is not used: it takes a DPI from 48 to 480 (96 is 100 %), so the desktop's scale is used";
    struct Case {
        const char* text;
        int dpi;
        std::string shown;  // empty: no problem
    } cases[] = {{"168", 168, ""},
                 {" 120.4\n", 120, ""},
                 {"47.6", 48, ""},
                 {"480.4", 480, ""},
                 {"", 0, ""},
                 {" \t", 0, ""},
                 {nullptr, 0, ""},
                 {"47.4", 0, "47.4"},
                 {"480.6", 0, "480.6"},
                 {"9999", 0, "9999"},
                 {"1e9", 0, "1e9"},
                 {"0", 0, "0"},
                 {"-5", 0, "-5"},
                 {"abc", 0, "abc"},
                 {"96px", 0, "96px"},
                 {"nan", 0, "nan"},
                 {"\x1b[2J9", 0, "?[2J9"},
                 {"1234567890123456789012345678901234567890123", 0, "1234567890123456789012345678901234567890..."}};
    for (const Case& c : cases) {
        const DpiOverride result = readDpiOverride(c.text);
        const char* name = c.text ? c.text : "(null)";
        EXPECT_EQ(result.dpi, c.dpi) << name;
        EXPECT_EQ(result.problem, c.shown.empty() ? std::string() : "QUORVANE_DPI \"" + c.shown + range) << name;
    }
    setenv("QUORVANE_DPI", "9999", 1);
    EXPECT_EQ(dpiFromEnvironment(), 0);
    setenv("QUORVANE_DPI", "168", 1);
    EXPECT_EQ(dpiFromEnvironment(), 168);
    unsetenv("QUORVANE_DPI");
    EXPECT_EQ(dpiFromEnvironment(), 0);
}

}  // namespace
}  // namespace qv
