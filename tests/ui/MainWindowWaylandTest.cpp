// The main window on a private weston with SDL_VIDEODRIVER=wayland: it
// draws through the renderer path (SDL has no window surface on Wayland),
// takes a click on the Settings button at output scales 1 and 2, and keeps
// its thread quiet when idle. Weston's X11 back end runs on a private Xvfb,
// which gives it an input seat and shows its output, read from the Xvfb's
// screen. Weston 10 in Debian has no way for a client to inject input (no
// virtual-pointer protocol, no test module), and its X11 seat does not follow
// XTest's pointer: the click is put into the window layer's event queue the
// way SDL's Wayland driver delivers one, in the compositor's window
// coordinates (points), and the layer converts it to drawing pixels. On the
// headless back end (no input seat) the window falls back to X11, or the
// program runs on without one.

#include "platform/Window.h"
#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/WestonServer.h"
#include "ui/GuiHost.h"
#include "ui/panels/ProfileBar.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <unistd.h>

// Last: Xlib's macros clash with names of the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qv {
namespace {

std::mutex gShownMutex;
std::vector<std::string> gShownTitles;
std::atomic<uint32_t> gMainWindowId{0};

const WindowSystemObserver kObserver{nullptr, [](WindowHandle window, ShowCommand command) {
                                         if (command == ShowCommand::Hide)
                                             return;
                                         const std::string title = windowTitle(window);
                                         if (title.rfind("Quor Vane", 0) == 0)
                                             gMainWindowId.store(windowSystemId(window));
                                         std::lock_guard lock(gShownMutex);
                                         gShownTitles.push_back(title);
                                     }};

// A left click as SDL's Wayland driver reports one: window coordinates.
void pushClick(uint32_t windowId, int x, int y) {
    for (const bool down : {true, false}) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = windowId;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        e.button.x = x;
        e.button.y = y;
        SDL_PushEvent(&e);
    }
}

bool shown(const std::string& title) {
    std::lock_guard lock(gShownMutex);
    return std::find(gShownTitles.begin(), gShownTitles.end(), title) != gShownTitles.end();
}

// CPU seconds the thread named `name` of this process has used; threads it
// starts inherit its name, so the first of that name (the lowest id) is it.
// What the idle GUI thread may cost: far from a loop that spins. Without a
// GPU every changed frame goes through the software GL whole (the window's
// pulsing dots change it five times a second): about 2 to 4 % of a core at
// scale 1 and 2 in an optimised build on a quiet machine, but several times
// that under the sanitizers or with the test runner's other work beside it.
// The frame count below is the exact check.
constexpr double kIdleCpuShare = 0.50;

double threadCpuSeconds(const std::string& name) {
    DIR* dir = opendir("/proc/self/task");
    double seconds = -1;
    long first = -1;
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
        const long id = std::atol(entry->d_name);
        if (id <= 0 || (first >= 0 && id > first))
            continue;
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream comm(task + "/comm");
        std::string line;
        if (!std::getline(comm, line) || line != name)
            continue;
        std::ifstream stat(task + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // Fields after the ")" that ends the name: utime and stime are the
        // 12th and 13th of them.
        std::istringstream rest(text.substr(text.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 1; i <= 13 && rest >> field; ++i) {
            if (i == 12)
                utime = std::stoull(field);
            if (i == 13)
                stime = std::stoull(field);
        }
        seconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
        first = id;
    }
    if (dir)
        closedir(dir);
    return seconds;
}

class XScreen {
public:
    explicit XScreen(const std::string& display) : m_display(XOpenDisplay(display.c_str())) {}
    ~XScreen() {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const { return m_display != nullptr; }
    long pixel(int x, int y) {
        XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return -1;
        const long value = static_cast<long>(XGetPixel(image, 0, 0) & 0xFFFFFF);
        XDestroyImage(image);
        return value;
    }

private:
    Display* m_display;
};

class MainWindowWaylandTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        prepareWindowSystem();
        // Room for the smallest window at either scale's DPI (96, 192).
        ASSERT_TRUE(weston.start(test::WestonBackend::X11, 1100, 650, GetParam()))
            << weston.error();
        for (const auto& [name, value] : weston.clientEnvironment())
            setenv(name.c_str(), value.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "wayland", 1);
        unsetenv("DISPLAY");  // Wayland or nothing: no way round through X11
        unsetenv("QUORVANE_DPI");
        gShownTitles.clear();
        gMainWindowId.store(0);
        setWindowSystemObserver(&kObserver);
        host.settingsFolder = dir.path();
        host.quitRequestedFlag = &quit;
        screen = std::make_unique<XScreen>(weston.xvfb().display());
        ASSERT_TRUE(screen->ok());
    }
    void TearDown() override {
        host.stop();
        setWindowSystemObserver(nullptr);
    }
    test::WestonServer weston;
    test::TempDir dir;
    GuiHost host;
    std::atomic<int32_t> quit{0};
    std::unique_ptr<XScreen> screen;
};

TEST_P(MainWindowWaylandTest, DrawsTakesAClickOnSettingsAndIdlesQuietly) {
    const int scale = GetParam();
    host.start();
    // Drawn: frames presented and the window's background on the output.
    // The same point of the layout in pixels at either scale.
    const int px = 5 * scale, py = 30 * scale;
    ASSERT_TRUE(test::eventually([&] { return presentedFrameCount() >= 3 && screen->pixel(px, py) == 0x101216; },
                                 20000))
        << std::hex << screen->pixel(px, py) << std::dec << " after " << presentedFrameCount() << " frames";
    EXPECT_EQ(currentDpi(), 96 * scale);

    // Idle: the frame timer's slow period after about two quiet seconds.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double before = threadCpuSeconds("qv-gui");
    const int framesBefore = presentedFrameCount();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(4));
    const double used = threadCpuSeconds("qv-gui") - before;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int frames = presentedFrameCount() - framesBefore;
    ASSERT_GE(before, 0.0) << "no GUI thread";
    // The slow frame timer presents about five frames a second; a timer that
    // stayed fast, or a loop that spins, presents far more.
    EXPECT_LE(frames, static_cast<int>(elapsed * 7)) << frames << " frames in " << elapsed << " s";
    EXPECT_LT(used / elapsed, kIdleCpuShare) << used << " s of CPU in " << elapsed << " s";
    std::printf("the idle GUI thread used %.1f %% of a core (%.2f s of CPU before), %d frames\n",
                100.0 * used / elapsed, before, frames);

    // The button's rectangle is in drawing pixels (the GUI thread writes the
    // same one at every frame); the click comes in points.
    const RectF button = profileBarLayout().buttons[kButtonOptions];
    ASSERT_GT(button.right, button.left);
    ASSERT_NE(gMainWindowId.load(), 0u);
    pushClick(gMainWindowId.load(), static_cast<int>((button.left + button.right) / 2 / scale),
              static_cast<int>((button.top + button.bottom) / 2 / scale));
    EXPECT_TRUE(test::eventually([] { return shown("Settings"); }, 10000));
}

INSTANTIATE_TEST_SUITE_P(OutputScales, MainWindowWaylandTest, ::testing::Values(1, 2),
                         [](const auto& info) { return "Scale" + std::to_string(info.param); });

// Weston's headless back end has no input seat, without which SDL's Wayland
// driver cannot start: X11 through Xwayland takes over where there is a
// display, else there is no window, and the reason says why.
TEST(WaylandWithoutSeat, FallsBackToX11OrSaysWhyThereIsNoWindow) {
    test::WestonServer weston;
    ASSERT_TRUE(weston.start(test::WestonBackend::Headless, 1280, 800)) << weston.error();
    for (const auto& [name, value] : weston.clientEnvironment())
        setenv(name.c_str(), value.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "wayland", 1);
    unsetenv("DISPLAY");
    std::string error;
    EXPECT_FALSE(windowSystemInit(&error));
    EXPECT_EQ(error, "no window on Wayland: the Wayland compositor offers no input seat");

    test::XvfbServer xvfb;  // stands in for Xwayland
    ASSERT_TRUE(xvfb.start()) << xvfb.error();
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    ASSERT_TRUE(windowSystemInit(&error)) << error;
    EXPECT_EQ(windowSystemDriver(), "x11");
    EXPECT_EQ(windowSystemNote(),
              "Wayland: the Wayland compositor offers no input seat; the window uses X11 through Xwayland");
    windowSystemShutdown();
}

}  // namespace
}  // namespace qv
