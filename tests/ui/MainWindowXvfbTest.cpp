// The main window on a real X server (a private Xvfb): it opens at
// 1500 x 860 and draws frames, a close request from the window system takes
// the close path, a quit from another thread ends it within a second; and
// the quorvane program opens its window when it has a display.

#include "settings/LiveSettings.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/XTestDriver.h"
#include "support/XvfbServer.h"
#include "ui/AppMessages.h"
#include "ui/GuiHost.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <thread>

// Last: Xlib's macros (None, Status) clash with names of the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qv {
namespace {

// A client of the test's own on the private server, to look at our window
// as a window manager would.
class XClient : public test::XTestDriver {
public:
    using XTestDriver::XTestDriver;

    // The top-level window whose title starts with `prefix`; 0 when none.
    Window find(const std::string& prefix) { return findInTree(prefix, false, false, 2); }
    void size(Window w, int* width, int* height) {
        XWindowAttributes a{};
        XGetWindowAttributes(display(), w, &a);
        *width = a.width;
        *height = a.height;
    }
    // The pixel on the screen at the window's client point, as 0xRRGGBB;
    // -1 when it cannot be read.
    long pixel(Window w, int x, int y) {
        Window child = 0;
        int rx = 0, ry = 0;
        const Window root = DefaultRootWindow(display());
        if (!XTranslateCoordinates(display(), w, root, x, y, &rx, &ry, &child))
            return -1;
        XImage* image = XGetImage(display(), root, rx, ry, 1, 1, AllPlanes, ZPixmap);
        if (!image) {
            lastPoint = std::to_string(rx) + "," + std::to_string(ry);
            return -1;
        }
        const long value = static_cast<long>(XGetPixel(image, 0, 0) & 0xFFFFFF);
        XDestroyImage(image);
        return value;
    }
    // What a window manager sends for Alt+F4 or a task bar's close.
    void requestClose(Window w) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(display(), "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(display(), "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(display(), w, False, NoEventMask, &e);
        XFlush(display());
    }
    std::string windowClass(Window w) {
        XClassHint hint{};
        std::string result;
        if (XGetClassHint(display(), w, &hint)) {
            result = hint.res_class ? hint.res_class : "";
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        return result;
    }

    std::string lastPoint;  // the screen point of the last failed read
};

using test::eventually;

// One server for the program: the window layer keeps its display
// connection to the end of the process, as the program does. Each test runs
// on bare Xvfb and under openbox.
class MainWindowXvfbTest : public ::testing::TestWithParam<test::WindowManager> {
protected:
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        if (!server) {
            prepareWindowSystem();
            server = new test::XvfbServer;
            started = server->start("1920x1080x24", GetParam());
        }
        ASSERT_TRUE(started) << server->error();
        ASSERT_EQ(server->windowManager(), GetParam()) << "one window manager a process";
        setenv("DISPLAY", xvfb().display().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        client = std::make_unique<XClient>(xvfb().display());
        ASSERT_TRUE(client->ok());
        host.settingsFolder = dir.path();
        host.quitRequestedFlag = &quit;
    }
    void TearDown() override {
        host.stop();
        client.reset();
    }
    static inline test::XvfbServer* server = nullptr;
    static inline bool started = false;
    test::XvfbServer& xvfb() { return *server; }
    std::unique_ptr<XClient> client;
    test::TempDir dir;
    GuiHost host;
    std::atomic<int32_t> quit{0};
};

TEST_P(MainWindowXvfbTest, OpensAt1500By860AndDrawsItsFrames) {
    host.start();
    Window w = 0;
    // The window is looked up again on every try: the display may answer
    // for a window that is being replaced.
    const auto drawn = [&] {
        w = client->find("Quor Vane  v0.6.103");
        return w != 0 && client->viewable(w) && client->pixel(w, 300, 20) == 0x101216;
    };
    ASSERT_TRUE(eventually(drawn)) << std::hex << client->pixel(w, 300, 20) << " at " << client->lastPoint;
    int width = 0, height = 0;
    client->size(w, &width, &height);
    EXPECT_EQ(width, 1500);
    EXPECT_EQ(height, 860);
    EXPECT_EQ(client->windowClass(w), "quorvane");
}

std::atomic<int> gMaximiseRequests{0};

TEST_P(MainWindowXvfbTest, ACaptionDoubleClickArrivesAsOne) {
    // Only the show requests are watched; a click asks for no move.
    static const WindowSystemObserver observer{nullptr, [](WindowHandle, ShowCommand c) {
                                                   if (c == ShowCommand::Maximize)
                                                       ++gMaximiseRequests;
                                               }};
    gMaximiseRequests = 0;
    setWindowSystemObserver(&observer);  // before the GUI thread starts
    host.start();
    Window w = 0;
    ASSERT_TRUE(eventually([&] { return (w = client->find("Quor Vane")) != 0 && client->viewable(w); }));
    client->click(w, 400, 20);
    client->click(w, 400, 20);
    EXPECT_TRUE(eventually([&] { return gMaximiseRequests.load() == 1; }));
    host.stop();
    setWindowSystemObserver(nullptr);
}

TEST_P(MainWindowXvfbTest, ACloseRequestFromTheWindowSystemTakesTheClosePath) {
    host.start();
    Window w = 0;
    ASSERT_TRUE(eventually([&] { return (w = client->find("Quor Vane")) != 0 && client->viewable(w); }));
    client->requestClose(w);
    EXPECT_TRUE(eventually([&] { return quit.load() == 1; }));
    EXPECT_TRUE(eventually([&] { return host.window() == nullptr && client->find("Quor Vane") == 0; }));
}

// A quit posted from another thread must wake the GUI thread's own wait on
// the display and end the window; missed, stop() would wait for ever. The
// stop runs beside the test, so such a hang fails the test instead of
// holding it, and the quit is posted again so the thread can be joined.
TEST_P(MainWindowXvfbTest, AQuitFromAnotherThreadEndsTheWindow) {
    host.start();
    ASSERT_TRUE(eventually([&] { return host.window() != nullptr; }));
    const WindowHandle window = host.window();
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        host.stop();
        stopped = true;
    });
    const bool ended = eventually([&] { return stopped.load(); });
    if (!ended)
        postWindowMessage(window, kMsgQuit, 0, 0);
    stopper.join();
    EXPECT_TRUE(ended) << "stop() did not end the window";
    EXPECT_TRUE(eventually([&] { return client->find("Quor Vane") == 0u; }));
}

TEST_P(MainWindowXvfbTest, TheProgramOpensItsWindowWithADisplayAndSavesThePlacementOnExit) {
    test::ChildProcess program;
    const std::vector<std::pair<std::string, std::string>> env = {
        {"XDG_CONFIG_HOME", dir.path() + "config"}, {"HOME", dir.path()}, {"QUORVANE_SHM_DIR", dir.path() + "shm"},
        {"DISPLAY", xvfb().display()}};
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env, dir.file("out.txt")));
    ASSERT_TRUE(program.waitForOutput("Waiting for", 20000)) << program.output();
    Window w = 0;
    EXPECT_TRUE(eventually([&] { return (w = client->find("Quor Vane")) != 0 && client->viewable(w); }));
    EXPECT_EQ(client->windowClass(w), "quorvane");
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(20000));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    EXPECT_EQ(client->find("Quor Vane"), 0u);
    std::string placement;
    {
        FILE* f = std::fopen((dir.path() + "config/QuorVane/window.ini").c_str(), "r");
        ASSERT_NE(f, nullptr);
        char line[256] = {};
        while (std::fgets(line, sizeof line, f))
            placement += line;
        std::fclose(f);
    }
    EXPECT_NE(placement.find("Placement=1,"), std::string::npos) << placement;
    EXPECT_NE(placement.find(",1500,860"), std::string::npos) << placement;
}

TEST_P(MainWindowXvfbTest, ClosingTheProgramsWindowEndsTheProgram) {
    test::ChildProcess program;
    const std::vector<std::pair<std::string, std::string>> env = {
        {"XDG_CONFIG_HOME", dir.path() + "config"}, {"HOME", dir.path()}, {"QUORVANE_SHM_DIR", dir.path() + "shm"},
        {"DISPLAY", xvfb().display()}};
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env, dir.file("out.txt")));
    Window w = 0;
    ASSERT_TRUE(eventually([&] { return (w = client->find("Quor Vane")) != 0 && client->viewable(w); }));
    client->requestClose(w);
    ASSERT_TRUE(program.wait(20000)) << program.output();
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, MainWindowXvfbTest,
                         ::testing::Values(test::WindowManager::Bare, test::WindowManager::Openbox),
                         [](const auto& info) { return std::string(test::windowManagerName(info.param)); });

}  // namespace
}  // namespace qv
