// The window at the desktop's scale on private Xvfbs: the Xft.dpi that xrdb
// sets gives the DPI and the first window's size; a new Xft.dpi while the
// window is open resizes it and its minimum size; QUORVANE_DPI wins; the
// screen's physical size is never used.

#include "platform/graphics/Graphics.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/XvfbServer.h"
#include "ui/GuiHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// Last: Xlib's macros clash with names of the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qv {
namespace {

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0, minWidth = 0, minHeight = 0;
    bool operator==(const Geometry&) const = default;
};

// The window whose title starts with `title` as the X server sees it (the
// main window by default); all zero when it is not mapped.
Geometry mainWindowGeometry(Display* display, const std::string& title = "Quor Vane") {
    Geometry g;
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return g;
    for (unsigned int i = 0; i < count; ++i) {
        char* name = nullptr;
        XWindowAttributes a{};
        if (!XFetchName(display, children[i], &name) || !name)
            continue;
        const bool ours = std::string(name).rfind(title, 0) == 0;
        XFree(name);
        if (!ours || !XGetWindowAttributes(display, children[i], &a) || a.map_state != IsViewable)
            continue;
        Window child = 0;
        XTranslateCoordinates(display, children[i], root, 0, 0, &g.x, &g.y, &child);
        g.width = a.width;
        g.height = a.height;
        XSizeHints hints{};
        long supplied = 0;
        if (XGetWMNormalHints(display, children[i], &hints, &supplied) && (hints.flags & PMinSize)) {
            g.minWidth = hints.min_width;
            g.minHeight = hints.min_height;
        }
    }
    if (children)
        XFree(children);
    return g;
}

class MainWindowDpiTest : public ::testing::Test {
protected:
    // A 4K screen, so the first window at 192 dpi (3000 x 1720) fits.
    void startServer(const std::vector<std::string>& arguments = {}) {
        prepareWindowSystem();
        ASSERT_TRUE(xvfb.start("3840x2160x24", test::WindowManager::Bare, arguments)) << xvfb.error();
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("QUORVANE_DPI");
        display = XOpenDisplay(xvfb.display().c_str());
        ASSERT_NE(display, nullptr);
        host.settingsFolder = dir.path();
        host.quitRequestedFlag = &quit;
    }
    void TearDown() override {
        host.stop();
        if (display)
            XCloseDisplay(display);
    }
    // What a desktop does when the user picks a scale.
    void setXftDpi(int dpi) {
        const std::string file = dir.file("resources.txt");
        FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "Xft.antialias: 1\nXft.dpi: %d\n", dpi);
        std::fclose(f);
        test::ChildProcess xrdb;
        ASSERT_TRUE(xrdb.start({test::findProgram("xrdb"), "-merge", file}, {{"DISPLAY", xvfb.display()}},
                               dir.file("xrdb.txt")));
        ASSERT_TRUE(xrdb.wait(20000));
        ASSERT_EQ(xrdb.exitCode(), 0) << xrdb.errors();
    }
    Geometry shownGeometry() {
        Geometry g;
        EXPECT_TRUE(test::eventually([&] { return (g = mainWindowGeometry(display)).width > 0; }));
        return g;
    }
    test::XvfbServer xvfb;
    Display* display = nullptr;
    test::TempDir dir;
    GuiHost host;
    std::atomic<int32_t> quit{0};
};

TEST_F(MainWindowDpiTest, XftDpiGivesTheDpiAndTheFirstWindowsSize) {
    startServer();
    struct Case {
        int dpi, width, height, minWidth, minHeight;
    } cases[] = {{96, 1500, 860, 1000, 600},
                 {120, 1875, 1075, 1250, 750},
                 {144, 2250, 1290, 1500, 900},
                 {192, 3000, 1720, 2000, 1200}};
    for (const Case& c : cases) {
        setXftDpi(c.dpi);
        std::remove(dir.file("window.ini").c_str());  // no placement: the first size
        host.start();
        const Geometry g = shownGeometry();
        EXPECT_EQ(currentDpi(), c.dpi);
        EXPECT_EQ(g.width, c.width) << c.dpi;
        EXPECT_EQ(g.height, c.height) << c.dpi;
        EXPECT_EQ(g.minWidth, c.minWidth) << c.dpi;
        EXPECT_EQ(g.minHeight, c.minHeight) << c.dpi;
        host.stop();
        ASSERT_TRUE(test::eventually([&] { return mainWindowGeometry(display).width == 0; }));
    }
}

TEST_F(MainWindowDpiTest, ANewXftDpiResizesTheWindowAroundItsCentreAndItsMinimumSize) {
    startServer();
    setXftDpi(96);
    host.start();
    const Geometry before = shownGeometry();
    ASSERT_EQ(before.width, 1500);
    setXftDpi(144);
    Geometry after;
    EXPECT_TRUE(test::eventually([&] {
        after = mainWindowGeometry(display);
        // The size and the move may reach the server one after the other.
        return after.width == 2250 && after.height == 1290 && after.minWidth == 1500 && after.minHeight == 900 &&
               std::abs(after.x + after.width / 2 - (before.x + before.width / 2)) <= 2 &&
               std::abs(after.y + after.height / 2 - (before.y + before.height / 2)) <= 2;
    })) << after.width << "x" << after.height << " min " << after.minWidth << "x" << after.minHeight;
    EXPECT_EQ(currentDpi(), 144);
    EXPECT_NEAR(after.x + after.width / 2, before.x + before.width / 2, 2);
    EXPECT_NEAR(after.y + after.height / 2, before.y + before.height / 2, 2);
    // And back: the smaller minimum lets the window shrink to its old size.
    setXftDpi(96);
    Geometry back;
    EXPECT_TRUE(test::eventually([&] {
        back = mainWindowGeometry(display);
        return back.width == 1500 && back.height == 860 && back.minWidth == 1000 && back.minHeight == 600;
    })) << back.width << "x" << back.height << " min " << back.minWidth << "x" << back.minHeight;
}

// A dialog open across the change keeps its size in the desktop's units.
TEST_F(MainWindowDpiTest, AnOpenDialogFollowsANewXftDpi) {
    startServer();
    setXftDpi(96);
    host.requestDeviceSetup();  // the device wizard opens with the window
    host.start();
    Geometry before;
    ASSERT_TRUE(test::eventually([&] { return (before = mainWindowGeometry(display, "Device Setup")).width > 0; }));
    setXftDpi(144);
    Geometry after;
    EXPECT_TRUE(test::eventually([&] {
        after = mainWindowGeometry(display, "Device Setup");
        return std::abs(after.width - before.width * 3 / 2) <= 1 && std::abs(after.height - before.height * 3 / 2) <= 1;
    })) << before.width << "x" << before.height << " -> " << after.width << "x" << after.height;
}

TEST_F(MainWindowDpiTest, QuorvaneDpiWinsOverXftDpi) {
    startServer();
    setXftDpi(192);
    setenv("QUORVANE_DPI", "120", 1);
    host.start();
    const Geometry g = shownGeometry();
    EXPECT_EQ(currentDpi(), 120);
    EXPECT_EQ(g.width, 1875);
    EXPECT_EQ(g.height, 1075);
    unsetenv("QUORVANE_DPI");
}

// 3840 pixels on 200 mm claim about 488 dpi; without Xft.dpi the scale is 100 %.
TEST_F(MainWindowDpiTest, TheScreensPhysicalSizeIsNeverUsed) {
    startServer({"-dpi", "488"});
    host.start();
    const Geometry g = shownGeometry();
    EXPECT_EQ(currentDpi(), 96);
    EXPECT_EQ(g.width, 1500);
    EXPECT_EQ(g.height, 860);
}

}  // namespace
}  // namespace qv
