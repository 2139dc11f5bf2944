// The window at the desktop's scale on private Xvfbs: the Xft.dpi that xrdb
// sets gives the DPI and the first window's size; a new Xft.dpi while the
// window is open resizes it and its minimum size; QUORVANE_DPI wins; the
// screen's physical size is never used.

#include "platform/graphics/Graphics.h"
#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/XvfbServer.h"
#include "platform/Output.h"
#include "ui/GuiHost.h"
#include "ui/WindowSettings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Last: Xlib's macros clash with names of the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qv {
namespace {

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0, minWidth = 0, minHeight = 0;
    long frame[4] = {};  // the window manager's frame: left, right, top, bottom
    Window id = 0;
    bool operator==(const Geometry&) const = default;
};

// The viewable window below `parent` whose title starts with `title`: a
// child of the root, or under a window manager a child of its frame.
Window findTitled(Display* display, Window parent, const std::string& title, int depth) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes a{};
        if (XFetchName(display, children[i], &name) && name) {
            const bool ours = std::string(name).rfind(title, 0) == 0;
            XFree(name);
            if (ours && XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
                found = children[i];
        } else if (depth > 0) {
            found = findTitled(display, children[i], title, depth - 1);
        }
    }
    if (children)
        XFree(children);
    return found;
}

// Four CARDINALs of a window's property; false when it has fewer.
bool cardinals(Display* display, Window window, const char* property, long out[4]) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool ok = XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 4, False,
                                       XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
                    data && format == 32 && count >= 4;
    if (ok)
        for (int i = 0; i < 4; ++i)
            out[i] = reinterpret_cast<long*>(data)[i];
    if (data)
        XFree(data);
    return ok;
}

// The window whose title starts with `title` as the X server sees it (the
// main window by default); all zero when it is not mapped.
Geometry mainWindowGeometry(Display* display, const std::string& title = "Quor Vane") {
    Geometry g;
    const Window window = findTitled(display, DefaultRootWindow(display), title, 2);
    XWindowAttributes a{};
    if (!window || !XGetWindowAttributes(display, window, &a))
        return g;
    g.id = window;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &g.x, &g.y, &child);
    g.width = a.width;
    g.height = a.height;
    XSizeHints hints{};
    long supplied = 0;
    if (XGetWMNormalHints(display, window, &hints, &supplied) && (hints.flags & PMinSize)) {
        g.minWidth = hints.min_width;
        g.minHeight = hints.min_height;
    }
    cardinals(display, window, "_NET_FRAME_EXTENTS", g.frame);
    return g;
}

// The work area the window manager announces (x, y, width, height); the
// screen without one.
WindowRect workArea(Display* display) {
    long area[4] = {};
    if (cardinals(display, DefaultRootWindow(display), "_NET_WORKAREA", area) && area[2] > 0 && area[3] > 0)
        return {int(area[0]), int(area[1]), int(area[2]), int(area[3])};
    return {0, 0, DisplayWidth(display, DefaultScreen(display)), DisplayHeight(display, DefaultScreen(display))};
}

// The window with its frame lies inside the area.
bool frameInside(const Geometry& g, const WindowRect& area) {
    return g.width > 0 && g.x - g.frame[0] >= area.x && g.y - g.frame[2] >= area.y &&
           g.x + g.width + g.frame[1] <= area.x + area.width && g.y + g.height + g.frame[3] <= area.y + area.height;
}

std::ostream& operator<<(std::ostream& out, const Geometry& g) {
    return out << g.width << "x" << g.height << " at " << g.x << "," << g.y << " (frame " << g.frame[0] << ","
               << g.frame[1] << "," << g.frame[2] << "," << g.frame[3] << ")";
}

class MainWindowDpiTest : public ::testing::Test {
protected:
    // A 4K screen by default, so the first window at 192 dpi (3000 x 1720) fits.
    void startServer(const std::vector<std::string>& arguments = {}, const std::string& screen = "3840x2160x24",
                     test::WindowManager manager = test::WindowManager::Bare) {
        prepareWindowSystem();
        ASSERT_TRUE(xvfb.start(screen, manager, arguments)) << xvfb.error();
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
        ASSERT_TRUE(xvfb.mergeResources("Xft.antialias: 1\nXft.dpi: " + std::to_string(dpi) + "\n")) << xvfb.error();
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

// QUORVANE_DPI as the user may set it: a DPI in 48..480 is used; anything
// else set is not, with one console line, and the desktop's Xft.dpi is used.
TEST_F(MainWindowDpiTest, QuorvaneDpiOutsideItsRangeIsSaidOnceAndNotUsed) {
    startServer();
    setXftDpi(120);
    struct Case {
        const char* value;
        int dpi;
        bool said;
    } cases[] = {{"abc", 120, true}, {"0", 120, true},   {"-5", 120, true},    {"9999", 120, true},
                 {"47", 120, true},  {"481", 120, true}, {"144", 144, false},  {"48", 48, false},
                 {" 480 ", 480, false}, {"", 120, false}};
    for (const Case& c : cases) {
        std::mutex mutex;
        std::vector<std::string> lines;
        {
            OutputCapture capture([&](OutputStream, std::string_view text) {
                std::lock_guard lock(mutex);
                if (text.find("QUORVANE_DPI") != std::string_view::npos)
                    lines.emplace_back(text);
            });
            setenv("QUORVANE_DPI", c.value, 1);
            std::remove(dir.file("window.ini").c_str());
            host.start();
            shownGeometry();
            EXPECT_EQ(currentDpi(), c.dpi) << c.value;
            host.stop();
        }
        ASSERT_TRUE(test::eventually([&] { return mainWindowGeometry(display).width == 0; }));
        std::lock_guard lock(mutex);
        if (c.said) {
            ASSERT_EQ(lines.size(), 1u) << c.value;
            EXPECT_EQ(lines[0], "  QUORVANE_DPI \"" + std::string(c.value) +
                                    "\" is not used: it takes a DPI from 48 to 480 (96 is 100 %), so the "
                                    "desktop's scale is used.\n");
        } else {
            EXPECT_TRUE(lines.empty()) << c.value << ": " << (lines.empty() ? "" : lines[0]);
        }
    }
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


// Scale changes on a screen too small for the window at the larger scale,
// with openbox managing it. The window manager caps nothing itself: the
// window is capped to the work area, and a size forced by that cap is not
// the user's, so going back gives the size chosen before. A size the user
// sets by resizing becomes the chosen one. The size saved is the one shown.
struct ScaleStep {
    int dpi;
    int width, height;              // the window's size at that scale
    int resizeWidth, resizeHeight;  // then resized by the user; 0: not
};
struct ScaleTrip {
    const char* name;
    const char* screen;
    std::vector<ScaleStep> steps;
};

void PrintTo(const ScaleTrip& trip, std::ostream* out) { *out << trip.name; }

class MainWindowScaleTripTest : public MainWindowDpiTest, public ::testing::WithParamInterface<ScaleTrip> {};

TEST_P(MainWindowScaleTripTest, GoesBackToTheSizeTheUserChose) {
    const ScaleTrip& trip = GetParam();
    startServer({}, trip.screen, test::WindowManager::Openbox);
    setXftDpi(trip.steps.front().dpi);
    host.start();
    int width = 0, height = 0;
    for (const ScaleStep& step : trip.steps) {
        if (step.dpi != currentDpi())
            setXftDpi(step.dpi);
        Geometry g;
        EXPECT_TRUE(test::eventually([&] {
            g = mainWindowGeometry(display);
            return currentDpi() == step.dpi && g.width == step.width && g.height == step.height;
        })) << step.dpi << " dpi: " << g;
        width = step.width;
        height = step.height;
        if (step.resizeWidth > 0) {
            XResizeWindow(display, g.id, step.resizeWidth, step.resizeHeight);
            XFlush(display);
            EXPECT_TRUE(test::eventually([&] {
                g = mainWindowGeometry(display);
                return g.width == step.resizeWidth && g.height == step.resizeHeight;
            })) << "resized: " << g;
            width = step.resizeWidth;
            height = step.resizeHeight;
        }
    }
    host.stop();
    const std::optional<WindowPlacement> saved = readWindowPlacement(dir.path());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->normal.width, width);
    EXPECT_EQ(saved->normal.height, height);
}

INSTANTIATE_TEST_SUITE_P(
    Trips, MainWindowScaleTripTest,
    ::testing::Values(
        // 2250 x 1290 at 144 dpi is capped to 1920 x 1080.
        ScaleTrip{"CappedAndBack",
                  "1920x1080x24",
                  {{96, 1500, 860, 0, 0}, {144, 1920, 1080, 0, 0}, {96, 1500, 860, 0, 0}}},
        ScaleTrip{"ResizedByTheUserWhileCapped",
                  "1920x1080x24",
                  {{96, 1500, 860, 0, 0}, {144, 1920, 1080, 1800, 990}, {96, 1200, 660, 0, 0}}},
        ScaleTrip{"CappedThenSmallerSteps",
                  "2560x1440x24",
                  {{96, 1500, 860, 0, 0}, {192, 2560, 1440, 0, 0}, {120, 1875, 1075, 0, 0}, {96, 1500, 860, 0, 0}}}),
    [](const ::testing::TestParamInfo<ScaleTrip>& info) { return std::string(info.param.name); });

// A new scale while a dialog is open, openbox framing the dialog: the main
// window and the dialog, title bar and frame included, stay inside the work
// area.
struct ScaleChange {
    const char* name;
    const char* screen;
    int from, to;
};

void PrintTo(const ScaleChange& change, std::ostream* out) { *out << change.name; }

class ScaleChangeWithDialogTest : public MainWindowDpiTest, public ::testing::WithParamInterface<ScaleChange> {};

TEST_P(ScaleChangeWithDialogTest, KeepsEveryWindowInsideTheWorkArea) {
    const ScaleChange& change = GetParam();
    startServer({}, change.screen, test::WindowManager::Openbox);
    const WindowRect area = workArea(display);
    setXftDpi(change.from);
    host.requestDeviceSetup();  // the device wizard opens with the window
    host.start();
    Geometry before;
    ASSERT_TRUE(test::eventually([&] {
        before = mainWindowGeometry(display, "Device Setup");
        return before.width > 0 && (before.frame[2] > 0 || before.frame[3] > 0);
    })) << before;
    setXftDpi(change.to);
    Geometry dialog, main;
    EXPECT_TRUE(test::eventually([&] {
        dialog = mainWindowGeometry(display, "Device Setup");
        main = mainWindowGeometry(display);
        return currentDpi() == change.to && dialog.width != before.width && frameInside(dialog, area) &&
               frameInside(main, area);
    })) << "dialog " << dialog << ", main " << main << ", work area " << area.width << "x" << area.height;
}

INSTANTIATE_TEST_SUITE_P(Changes, ScaleChangeWithDialogTest,
                         ::testing::Values(ScaleChange{"Full1080To192", "1920x1080x24", 96, 192},
                                           ScaleChange{"Full1080To144", "1920x1080x24", 96, 144},
                                           ScaleChange{"Full1440To192", "2560x1440x24", 120, 192},
                                           ScaleChange{"Full1080Down", "1920x1080x24", 192, 96}),
                         [](const ::testing::TestParamInfo<ScaleChange>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace qv
