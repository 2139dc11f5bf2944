// window.ini: the options, the placement, and the clamping of a placement to
// the displays present.

#include "support/TempDir.h"
#include "ui/WindowSettings.h"

#include <fstream>
#include <gtest/gtest.h>

namespace qv {
namespace {

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(WindowSettingsTest, OptionsReadTheirValueOrTheFallback) {
    struct Case {
        std::string file;
        bool fallback, expected;
    } cases[] = {
        {"", false, false},
        {"", true, true},
        {"[Window]\nCloseToTray=1\n", false, true},
        {"[Window]\r\ncloseTOtray = 0\r\n", true, false},
        {"[Window]\nCloseToTray=7\n", false, true},
        {"[Window]\nCloseToTray=yes\n", true, true},   // does not parse: fallback
        {"[Window]\nCloseToTray=\n", false, false},
        {"[Other]\nCloseToTray=1\n", false, false},   // another section
        {"CloseToTray=1\n", false, false},             // no section
        {std::string("[Window]\nCloseToTray=1\0junk", 26), false, false},  // a NUL: does not parse
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        if (!c.file.empty())
            writeFile(dir.file(kWindowSettingsFileName), c.file);
        EXPECT_EQ(readWindowSetting(dir.path(), "CloseToTray", c.fallback), c.expected) << c.file;
    }
    EXPECT_TRUE(readWindowSetting("", "CloseToTray", true));
}

TEST(WindowSettingsTest, WritingAnOptionKeepsTheOtherKeysAndOtherSections) {
    test::TempDir dir;
    writeFile(dir.file(kWindowSettingsFileName), "; note\n[Window]\nPlacement=1,2,3,640,400\n\n[Later]\nX=1\n");
    ASSERT_TRUE(writeWindowSetting(dir.path(), "VRAutoMinimize", true));
    ASSERT_TRUE(writeWindowSetting(dir.path(), "CloseToTray", true));
    ASSERT_TRUE(writeWindowSetting(dir.path(), "CloseToTray", false));
    EXPECT_TRUE(readWindowSetting(dir.path(), "VRAutoMinimize", false));
    EXPECT_FALSE(readWindowSetting(dir.path(), "CloseToTray", true));
    ASSERT_TRUE(readWindowPlacement(dir.path()).has_value());
    std::ifstream in(dir.file(kWindowSettingsFileName));
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "; note\n[Window]\nPlacement=1,2,3,640,400\nVRAutoMinimize=1\nCloseToTray=0\n\n[Later]\nX=1\n");
}

TEST(WindowSettingsTest, PlacementRoundTripsAndMalformedValuesAreAbsent) {
    test::TempDir dir;
    EXPECT_FALSE(readWindowPlacement(dir.path()).has_value());
    ASSERT_TRUE(writeWindowPlacement(dir.path(), {kShowMaximized, {-20, 40, 1500, 860}}));
    const auto p = readWindowPlacement(dir.path());
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->show, kShowMaximized);
    EXPECT_EQ(p->normal.x, -20);
    EXPECT_EQ(p->normal.y, 40);
    EXPECT_EQ(p->normal.width, 1500);
    EXPECT_EQ(p->normal.height, 860);
    for (const char* bad : {"1,2,3,4", "1,2,3,4,5,6", "1,2,x,4,5", "", "1,,3,4,5", "1,2,3,4,99999999999"}) {
        writeFile(dir.file(kWindowSettingsFileName), std::string("[Window]\nPlacement=") + bad + "\n");
        EXPECT_FALSE(readWindowPlacement(dir.path()).has_value()) << bad;
    }
}

TEST(WindowSettingsTest, APlacementIsClampedToTheDisplaysPresent) {
    const std::vector<WindowRect> two = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    struct Case {
        WindowPlacement in;
        std::vector<WindowRect> displays;
        WindowPlacement out;
    } cases[] = {
        // On a display: unchanged.
        {{kShowNormal, {100, 100, 1500, 860}}, two, {kShowNormal, {100, 100, 1500, 860}}},
        // Mostly on the second display: kept there, pulled inside.
        {{kShowNormal, {2500, 500, 1000, 800}}, two, {kShowNormal, {2200, 224, 1000, 800}}},
        // Off every display (a display that is gone): onto the first.
        {{kShowNormal, {9000, 9000, 800, 600}}, two, {kShowNormal, {1120, 480, 800, 600}}},
        // Degenerate size: the minimum.
        {{kShowNormal, {10, 10, 0, -5}}, two, {kShowNormal, {10, 10, kMinWindowWidth, kMinWindowHeight}}},
        // Larger than the display: the display's size.
        {{kShowMaximized, {0, 0, 5000, 4000}}, two, {kShowMaximized, {0, 0, 1920, 1080}}},
        // Saved minimised, or an unknown show state: opens normally.
        {{kShowMinimized, {0, 0, 800, 600}}, two, {kShowNormal, {0, 0, 800, 600}}},
        {{-4, {0, 0, 800, 600}}, two, {kShowNormal, {0, 0, 800, 600}}},
        // Extreme numbers do not overflow.
        {{kShowNormal, {2147483000, -2147483000, 2147483000, 800}}, two, {kShowNormal, {0, 0, 1920, 800}}},
        // No display known: only the size limits.
        {{kShowNormal, {-7000, 0, 100, 100}}, {}, {kShowNormal, {-7000, 0, kMinWindowWidth, kMinWindowHeight}}},
    };
    for (const Case& c : cases) {
        const WindowPlacement r = clampWindowPlacement(c.in, c.displays);
        EXPECT_EQ(r.show, c.out.show);
        EXPECT_EQ(r.normal.x, c.out.normal.x) << c.in.normal.x;
        EXPECT_EQ(r.normal.y, c.out.normal.y) << c.in.normal.x;
        EXPECT_EQ(r.normal.width, c.out.normal.width) << c.in.normal.x;
        EXPECT_EQ(r.normal.height, c.out.normal.height) << c.in.normal.x;
    }
}

}  // namespace
}  // namespace qv
