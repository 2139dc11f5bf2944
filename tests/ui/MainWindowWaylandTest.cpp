// The main window on a private weston with SDL_VIDEODRIVER=wayland: it
// draws through the renderer path (SDL has no window surface on Wayland),
// takes a click on the Settings button at output scales 1 and 2, and keeps
// its thread quiet when idle. Weston's X11 back end runs on a private Xvfb,
// which gives it an input seat and shows its output, read from the Xvfb's
// screen. In the kiosk tests the click is put into the window layer's event
// queue the way SDL's Wayland driver delivers one, in the compositor's window
// coordinates (points), and the layer converts it to drawing pixels; the
// desktop-shell tests move and press weston's own pointer on the Xvfb. On the
// headless back end (no input seat) the window falls back to X11, or the
// program runs on without one.

#include "platform/Window.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/ImageTarget.h"
#include "settings/LiveSettings.h"
#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/WestonServer.h"
#include "ui/AppMessages.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/MainWindow.h"
#include "ui/panels/HeaderBand.h"
#include "ui/panels/ProfileBar.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

// Last: Xlib's macros clash with names of the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qv {
namespace {

std::mutex gShownMutex;
std::vector<std::string> gShownTitles;
std::atomic<uint32_t> gMainWindowId{0};
std::atomic<int> gStateChanges{0};  // maximise and restore requests
std::atomic<uint32_t> gDialogId{0};  // the last other window shown
std::atomic<int> gDialogWidth{0}, gDialogHeight{0};  // its client size when shown, pixels

// Escape as SDL's Wayland driver reports the key.
void pushEscape(uint32_t windowId) {
    for (const bool down : {true, false}) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = windowId;
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.sym = SDLK_ESCAPE;
        SDL_PushEvent(&e);
    }
}

const WindowSystemObserver kObserver{nullptr, [](WindowHandle window, ShowCommand command) {
                                         if (command == ShowCommand::Maximize || command == ShowCommand::Restore)
                                             ++gStateChanges;
                                         if (command == ShowCommand::Hide)
                                             return;
                                         const std::string title = windowTitle(window);
                                         // The main window is the first of that title
                                         // (a menu has it too).
                                         const uint32_t id = windowSystemId(window), main = gMainWindowId.load();
                                         if (title.rfind("Quor Vane", 0) == 0 && (main == 0 || main == id))
                                             gMainWindowId.store(id);
                                         else {
                                             int width = 0, height = 0;
                                             clientSize(window, &width, &height);
                                             gDialogWidth.store(width);
                                             gDialogHeight.store(height);
                                             gDialogId.store(windowSystemId(window));
                                         }
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

int timesShown(const std::string& title) {
    std::lock_guard lock(gShownMutex);
    return static_cast<int>(std::count(gShownTitles.begin(), gShownTitles.end(), title));
}

// What the thread named `name` of this process has cost, from the
// scheduler's own account (/proc/.../schedstat): the time it ran and the
// time it was ready to run but waited for a core, in seconds. Threads it
// starts inherit its name, so the first of that name (the lowest id) is it.
// Both negative when there is no such thread.
struct ThreadTimes {
    double ran = -1;
    double waited = -1;
};

ThreadTimes threadTimes(const std::string& name) {
    DIR* dir = opendir("/proc/self/task");
    ThreadTimes times;
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
        std::ifstream schedstat(task + "/schedstat");
        unsigned long long ranNs = 0, waitedNs = 0;
        if (!(schedstat >> ranNs >> waitedNs))
            continue;
        times.ran = static_cast<double>(ranNs) / 1e9;
        times.waited = static_cast<double>(waitedNs) / 1e9;
        first = id;
    }
    if (dir)
        closedir(dir);
    return times;
}

// The idle GUI thread asleep most of the time, against a loop that spins:
// the share of the time the thread ran or was ready to run. A spinning
// thread is always one or the other (near 1), however busy the machine, so
// other work beside the test cannot hide a spin (its share of a core can
// fall below half with two busy threads a core). The idle thread runs 1 to
// 2 % of the time even under the address sanitizer (the software GL draws on
// threads of its own) and, on a machine loaded two to three busy threads a
// core, waits for a core after its wake-ups for another 4 to 22 %.
constexpr double kIdleBusyShare = 0.60;

// The frame timer's period and the main window's client size (pixels) as
// the GUI thread sees them, through the device wizard's entry (the window
// calls it on the GUI thread when asked for the device setup): 0 until
// answered.
std::atomic<uint32_t> gFramePeriod{0};
std::atomic<int> gMainWidth{0}, gMainHeight{0};

void reportFramePeriod(WindowHandle window, GuiHost*) {
    uint32_t period = 0;
    hasWindowTimer(window, kTimerFrame, &period);
    int width = 0, height = 0;
    clientSize(window, &width, &height);
    gMainWidth.store(width);
    gMainHeight.store(height);
    gFramePeriod.store(period == 0 ? 1 : period);  // 1: no frame timer
}

// The last pointer motion SDL reported (window coordinates, points), seen
// by an event watch on the GUI thread as SDL queues it.
// The pointer leaving a window and sizes changed count too (the compositor
// takes the pointer for an interactive resize, whose configures resize).
std::atomic<uint32_t> gMotionWindow{0};
std::atomic<int> gMotionX{0}, gMotionY{0};
std::atomic<int> gLeaves{0}, gSizeChanges{0};
std::mutex gSizesMutex;
std::map<uint32_t, std::pair<int, int>> gSizes;  // the last size SDL reported for a window, points

int SDLCALL watchMotion(void*, SDL_Event* event) {
    if (event->type == SDL_MOUSEMOTION) {
        gMotionX.store(event->motion.x);
        gMotionY.store(event->motion.y);
        gMotionWindow.store(event->motion.windowID);
    } else if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_LEAVE) {
        ++gLeaves;
    } else if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        ++gSizeChanges;
        std::lock_guard lock(gSizesMutex);
        gSizes[event->window.windowID] = {event->window.data1, event->window.data2};
    }
    return 1;
}

// Whether window `id` has its own size (points) by SDL's last report of a
// change, or was never resized.
bool keepsOwnSize(uint32_t id, int width, int height) {
    std::lock_guard lock(gSizesMutex);
    const auto it = gSizes.find(id);
    return it == gSizes.end() || it->second == std::pair{width, height};
}

// Some frames after the event: the configure it brings has been handled.
bool framesGoOn() {
    const uint64_t before = presentedFrameCount();
    return test::eventually([&] { return presentedFrameCount() >= before + 3; }, 20000);
}

class XScreen {
public:
    explicit XScreen(const std::string& display) : m_display(XOpenDisplay(display.c_str())) {}
    ~XScreen() {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const { return m_display != nullptr; }
    // The screen (weston's output) into a PNG in the build folder, for review.
    void savePng(const std::string& name) {
        XWindowAttributes root{};
        XGetWindowAttributes(m_display, DefaultRootWindow(m_display), &root);
        XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), 0, 0, root.width, root.height, AllPlanes,
                                  ZPixmap);
        auto target = image ? ImageTarget::create(root.width, root.height) : nullptr;
        if (target) {
            // Runs of one colour along each row: the screen is mostly flat.
            for (int y = 0; y < root.height; ++y)
                for (int x = 0; x < root.width;) {
                    const unsigned long value = XGetPixel(image, x, y) & 0xFFFFFF;
                    int end = x + 1;
                    while (end < root.width && (XGetPixel(image, end, y) & 0xFFFFFF) == value)
                        ++end;
                    target->context().fillRect(
                        RectF{static_cast<float>(x), static_cast<float>(y), static_cast<float>(end), y + 1.0f},
                        solidBrush(rgb(value >> 16 & 0xFF, value >> 8 & 0xFF, value & 0xFF)));
                    x = end;
                }
            target->finish();
            std::filesystem::create_directories(QV_RENDERS_DIR);
            target->savePng(std::string(QV_RENDERS_DIR) + "/" + name + ".png");
        }
        if (image)
            XDestroyImage(image);
    }
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
    virtual test::WestonShell shell() const { return test::WestonShell::Kiosk; }
    void SetUp() override {
        prepareWindowSystem();
        // Room for the smallest window at either scale's DPI (96, 192).
        ASSERT_TRUE(weston.start(test::WestonBackend::X11, 1100, 650, GetParam(), shell()))
            << weston.error();
        for (const auto& [name, value] : weston.clientEnvironment())
            setenv(name.c_str(), value.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "wayland", 1);
        unsetenv("DISPLAY");  // Wayland or nothing: no way round through X11
        unsetenv("QUORVANE_DPI");
        gShownTitles.clear();
        gMainWindowId.store(0);
        gDialogId.store(0);
        gStateChanges.store(0);
        setWindowSystemObserver(&kObserver);
        host.settingsFolder = dir.path();
        host.quitRequestedFlag = &quit;
        dialogEntries().openDeviceWizard = reportFramePeriod;
        screen = std::make_unique<XScreen>(weston.xvfb().display());
        ASSERT_TRUE(screen->ok());
    }
    void TearDown() override {
        host.stop();
        setWindowSystemObserver(nullptr);
        dialogEntries() = DialogEntries{};
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

    // Idle: the frame timer goes slow after some quiet ticks (more wall time
    // on a loaded machine). Asked a few times a second until it has.
    const auto slow = [&] {
        gFramePeriod.store(0);
        host.requestDeviceSetup();
        if (test::eventually([] { return gFramePeriod.load() != 0; }) && gFramePeriod.load() == kSlowFrameMs)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a few more ticks before asking again
        return false;
    };
    ASSERT_TRUE(test::eventually(slow, 30000)) << "frame timer period " << gFramePeriod.load() << " ms";
    const ThreadTimes before = threadTimes("qv-gui");
    const int framesBefore = static_cast<int>(presentedFrameCount());
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(4));  // the span measured
    const ThreadTimes after = threadTimes("qv-gui");
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int frames = static_cast<int>(presentedFrameCount()) - framesBefore;
    ASSERT_GE(before.ran, 0.0) << "no GUI thread";
    const double ran = after.ran - before.ran, waited = after.waited - before.waited;
    // The slow frame timer presents five frames a second at most (fewer when
    // late); a timer that stayed fast, or a loop that spins, presents far more.
    EXPECT_LE(frames, static_cast<int>(elapsed * 7)) << frames << " frames in " << elapsed << " s";
    EXPECT_LT((ran + waited) / elapsed, kIdleBusyShare)
        << ran << " s run and " << waited << " s ready to run in " << elapsed << " s";
    std::printf("the idle GUI thread ran %.1f %% of the time and waited for a core %.1f %%, %d frames in %.2f s\n",
                100.0 * ran / elapsed, 100.0 * waited / elapsed, frames, elapsed);

    // The button's rectangle is in drawing pixels (the GUI thread writes the
    // same one at every frame); the click comes in points.
    const RectF button = profileBarLayout().buttons[kButtonOptions];
    ASSERT_GT(button.right, button.left);
    ASSERT_NE(gMainWindowId.load(), 0u);
    pushClick(gMainWindowId.load(), static_cast<int>((button.left + button.right) / 2 / scale),
              static_cast<int>((button.top + button.bottom) / 2 / scale));
    EXPECT_TRUE(test::eventually([] { return shown("Settings"); }, 10000));
}

// Kiosk-shell makes every toplevel without a parent fill the output, and
// leaves a child's size to the child: the profile menu and the dialog it
// opens, children once shown, go back to their own sizes. (SDL 2.26's own
// popup windows are xdg popups whose positioner the compositor rejects,
// ending the program's connection.)
TEST_P(MainWindowWaylandTest, TheProfileMenuAndTheDialogItOpensKeepTheirOwnSize) {
    const int scale = GetParam();
    host.start();
    ASSERT_TRUE(test::eventually([&] { return presentedFrameCount() >= 3 && gMainWindowId.load() != 0; }, 20000));
    {
        std::lock_guard lock(gSizesMutex);
        gSizes.clear();
    }
    SDL_AddEventWatch(watchMotion, nullptr);  // SDL's events are up once a window is
    const RectF menu = profileBarLayout().menuButton;
    ASSERT_GT(menu.right, menu.left);
    pushClick(gMainWindowId.load(), static_cast<int>((menu.left + menu.right) / 2 / scale),
              static_cast<int>((menu.top + menu.bottom) / 2 / scale));
    ASSERT_TRUE(test::eventually([] { return gDialogId.load() != 0; }, 10000)) << "no menu";
    const uint32_t menuId = gDialogId.load();
    const int menuWidth = gDialogWidth.load() / scale, menuHeight = gDialogHeight.load() / scale;
    EXPECT_EQ(menuWidth, 200);  // the menu's width in 96-dpi units: points at either scale
    ASSERT_TRUE(framesGoOn()) << "the window stopped drawing once the menu opened";
    EXPECT_TRUE(test::eventually([&] { return keepsOwnSize(menuId, menuWidth, menuHeight); }));

    // "Load", the fifth entry: below the padding, two entries, a separator
    // and one more entry, in units (points).
    pushClick(menuId, 100, 4 + 28 + 28 + 9 + 28 + 14);
    ASSERT_TRUE(test::eventually([] { return shown("Load Profile"); }, 10000));
    const uint32_t dialogId = gDialogId.load();
    const int dialogWidth = gDialogWidth.load() / scale, dialogHeight = gDialogHeight.load() / scale;
    EXPECT_LT(dialogWidth, 1100);
    EXPECT_LT(dialogHeight, 650);
    ASSERT_TRUE(framesGoOn());
    EXPECT_TRUE(test::eventually([&] { return keepsOwnSize(dialogId, dialogWidth, dialogHeight); }));
    pushEscape(dialogId);
    ASSERT_TRUE(framesGoOn());
    SDL_DelEventWatch(watchMotion, nullptr);
}

// The compositor going away ends the window's loop with a line (the program
// then ends as after a close), where SDL would read the failed connection
// again and again with no wait.
TEST_P(MainWindowWaylandTest, ACompositorThatGoesAwayEndsTheWindowLoop) {
    host.start();
    ASSERT_TRUE(test::eventually([&] { return presentedFrameCount() >= 3 && gMainWindowId.load() != 0; }, 20000));
    screen.reset();  // weston's Xvfb goes with it
    weston.stop();
    EXPECT_TRUE(test::eventually([&] { return quit.load() != 0; }, 10000));
    EXPECT_TRUE(windowSystemLost());
}

INSTANTIATE_TEST_SUITE_P(OutputScales, MainWindowWaylandTest, ::testing::Values(1, 2),
                         [](const auto& info) { return "Scale" + std::to_string(info.param); });

// On weston's desktop-shell (a panel at the top, windows placed by the
// shell, where SDL 2.26's libdecor path crashed in its configure handler once
// a dialog had come and gone and the window was then maximised or resized).
// The pointer is weston's own, moved and pressed through XTest on the Xvfb
// that shows weston's output; where the shell put a window is read from the
// motion SDL reports for a known point of the output. Escape goes into the
// window layer's queue (the Xvfb's keyboard focus is not weston's to give).
class DesktopShellTest : public MainWindowWaylandTest {
protected:
    test::WestonShell shell() const override { return test::WestonShell::Desktop; }
    void SetUp() override {
        MainWindowWaylandTest::SetUp();
        gMotionWindow.store(0);
        gLeaves.store(0);
        gSizeChanges.store(0);
    }
    void TearDown() override {
        if (m_watching)
            SDL_DelEventWatch(watchMotion, nullptr);
        MainWindowWaylandTest::TearDown();
    }
    // The main window up and drawing, its caption laid out, motion watched.
    void startProgram() {
        host.start();
        ASSERT_TRUE(
            test::eventually([&] { return presentedFrameCount() >= 3 && gMainWindowId.load() != 0; }, 20000));
        ASSERT_TRUE(test::eventually([] { return headerLayout().captionButtons[kCaptionMaximize].right > 0; }));
        SDL_AddEventWatch(watchMotion, nullptr);  // SDL's events are up once a window is
        m_watching = true;
    }
    // The pointer to output point (x, y) (points), then until window `id`
    // reports the motion: the window's point there, in its coordinates.
    ::testing::AssertionResult pointAt(uint32_t id, int x, int y, SDL_Point* inWindow) {
        if (x == m_pointer.x && y == m_pointer.y)
            ++x;  // no motion to report where the pointer already is
        m_pointer = {x, y};
        gMotionWindow.store(0);
        const int scale = GetParam();
        if (!weston.pointerTo(x * scale, y * scale))
            return ::testing::AssertionFailure() << "no XTest on the Xvfb";
        if (!test::eventually([&] { return gMotionWindow.load() != 0; }, 10000))
            return ::testing::AssertionFailure() << "no motion reported at " << x << "," << y;
        if (gMotionWindow.load() != id)
            return ::testing::AssertionFailure()
                   << "output point " << x << "," << y << " is on window " << gMotionWindow.load() << ", not " << id;
        inWindow->x = gMotionX.load();
        inWindow->y = gMotionY.load();
        return ::testing::AssertionSuccess();
    }
    // Where the shell shows window `id` (its top-left corner, output
    // points), found through output point (x, y), which lies on it.
    ::testing::AssertionResult locate(uint32_t id, int x, int y, SDL_Point* corner) {
        SDL_Point inWindow{};
        ::testing::AssertionResult found = pointAt(id, x, y, &inWindow);
        if (found) {
            corner->x = m_pointer.x - inWindow.x;
            corner->y = m_pointer.y - inWindow.y;
        }
        return found;
    }
    // Where the shell put window `id` (its top-left corner, output points):
    // the first point of a grid from `from` up to `to` that is on it; x -1
    // when none is.
    SDL_Point findCorner(uint32_t id, SDL_Point from, SDL_Point to) {
        for (int y = from.y + 40; y < to.y; y += 60)
            for (int x = from.x + 40; x < to.x; x += 60) {
                SDL_Point inWindow{};
                if (pointAt(id, x, y, &inWindow))
                    return {x - inWindow.x, y - inWindow.y};
            }
        return {-1, -1};
    }
    // The main window's client size in pixels, as its GUI thread has it.
    bool mainSize(int* width, int* height) {
        gFramePeriod.store(0);
        host.requestDeviceSetup();
        if (!test::eventually([] { return gFramePeriod.load() != 0; }))
            return false;
        *width = gMainWidth.load();
        *height = gMainHeight.load();
        return true;
    }
    // A left click on the middle of `r` (the main window's drawing pixels),
    // the main window located through the output's centre first.
    ::testing::AssertionResult clickAt(const RectF& r) {
        const int scale = GetParam();
        SDL_Point corner{};
        ::testing::AssertionResult found = locate(gMainWindowId.load(), kOutputWidth / 2, kOutputHeight / 2, &corner);
        if (!found)
            return found;
        SDL_Point inWindow{};
        const int x = corner.x + static_cast<int>((r.left + r.right) / 2 / scale);
        const int y = corner.y + static_cast<int>((r.top + r.bottom) / 2 / scale);
        if (::testing::AssertionResult there = pointAt(gMainWindowId.load(), x, y, &inWindow); !there)
            return there;
        weston.pointerButton(true);
        weston.pointerButton(false);
        return ::testing::AssertionSuccess();
    }
    // Settings, opened by a click on its button (a click on the main window
    // while a dialog is still open is dropped, so it is clicked until the
    // dialog shows).
    bool openSettings() {
        const int before = timesShown("Settings");
        return test::eventually(
            [&] {
                if (timesShown("Settings") > before)
                    return true;
                EXPECT_TRUE(clickAt(profileBarLayout().buttons[kButtonOptions]));
                std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the click's turn to arrive
                return timesShown("Settings") > before;
            },
            20000);
    }
    // The left button pressed at output point `from` (points), which lies on
    // window `id`, moved `steps` times by (dx, dy) as a hand moves, and let go.
    ::testing::AssertionResult drag(uint32_t id, SDL_Point from, int steps, int dx, int dy) {
        SDL_Point inWindow{};
        if (::testing::AssertionResult there = pointAt(id, from.x, from.y, &inWindow); !there)
            return there;
        const int scale = GetParam();
        weston.pointerButton(true);
        for (int step = 1; step <= steps; ++step) {
            m_pointer = {from.x + step * dx, from.y + step * dy};
            weston.pointerTo(m_pointer.x * scale, m_pointer.y * scale);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        weston.pointerButton(false);
        return ::testing::AssertionSuccess();
    }
    static constexpr int kOutputWidth = 1100, kOutputHeight = 650;  // as SetUp starts weston

private:
    SDL_Point m_pointer{-1, -1};
    bool m_watching = false;
};

TEST_P(DesktopShellTest, DialogsThenMaximiseAndRestoreLeaveTheWindowRunning) {
    ASSERT_NO_FATAL_FAILURE(startProgram());
    // QV_WAYLAND_ROUNDS runs a longer loop by hand (50 rounds: the release check).
    const char* asked = std::getenv("QV_WAYLAND_ROUNDS");
    const int rounds = asked ? std::clamp(std::atoi(asked), 1, 1000) : 6;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        // Settings opens and Escape closes it.
        ASSERT_TRUE(openSettings());
        ASSERT_TRUE(framesGoOn());
        pushEscape(gDialogId.load());
        ASSERT_TRUE(framesGoOn());
        // Maximise or restore by the caption button, clicked until the main
        // window takes it (once the dialog is gone), then the configure.
        const int changes = gStateChanges.load();
        ASSERT_TRUE(test::eventually(
            [&] {
                if (gStateChanges.load() > changes)
                    return true;
                EXPECT_TRUE(clickAt(headerLayout().captionButtons[kCaptionMaximize]));
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                return gStateChanges.load() > changes;
            },
            20000));
        ASSERT_TRUE(framesGoOn());
    }
}

// A dialog is the main window's child: the shell shows it over the main
// window at its own size (not over the whole output), and keeps it there
// when the main window is clicked, which raises the main window (a
// toplevel without a parent would go under it).
TEST_P(DesktopShellTest, ADialogStaysOverTheMainWindow) {
    const int scale = GetParam();
    ASSERT_NO_FATAL_FAILURE(startProgram());
    SDL_Point main{};
    ASSERT_TRUE(locate(gMainWindowId.load(), kOutputWidth / 2, kOutputHeight / 2, &main));
    int width = 0, height = 0;
    ASSERT_TRUE(mainSize(&width, &height));
    width /= scale;
    height /= scale;

    ASSERT_TRUE(openSettings());
    ASSERT_TRUE(framesGoOn());
    const uint32_t dialog = gDialogId.load();
    const int dialogWidth = gDialogWidth.load() / scale, dialogHeight = gDialogHeight.load() / scale;
    ASSERT_GT(dialogWidth, 0);
    EXPECT_LT(dialogWidth, width);
    EXPECT_LT(dialogHeight, height);
    // Where the shell put it, looked for over the main window.
    const SDL_Point corner = findCorner(dialog, main, {main.x + width, main.y + height});
    ASSERT_GE(corner.x, 0) << "the dialog is nowhere over the main window";
    EXPECT_GE(corner.x, main.x);
    EXPECT_GE(corner.y, main.y);
    EXPECT_LE(corner.x + dialogWidth, main.x + width);
    EXPECT_LE(corner.y + dialogHeight, main.y + height);

    // A click on the main window beside the dialog (in the larger margin),
    // then the dialog's middle is still the dialog's.
    const bool leftOf = corner.x - main.x > main.x + width - (corner.x + dialogWidth);
    const bool above = corner.y - main.y > main.y + height - (corner.y + dialogHeight);
    const int x = leftOf ? (main.x + corner.x) / 2 : (corner.x + dialogWidth + main.x + width) / 2;
    const int y = above ? (main.y + corner.y) / 2 : (corner.y + dialogHeight + main.y + height) / 2;
    SDL_Point inWindow{};
    ASSERT_TRUE(pointAt(gMainWindowId.load(), x, y, &inWindow));
    ASSERT_TRUE(weston.pointerButton(true));
    ASSERT_TRUE(weston.pointerButton(false));
    ASSERT_TRUE(framesGoOn());
    EXPECT_TRUE(pointAt(dialog, corner.x + dialogWidth / 2, corner.y + dialogHeight / 2, &inWindow));
    pushEscape(dialog);
    ASSERT_TRUE(framesGoOn());
}

// The window's corner dragged (after a dialog has come and gone): the hit
// test hands the press to the compositor's interactive resize, whose
// configures give the window the new size while the program runs on.
TEST_P(DesktopShellTest, ACornerDragAfterADialogResizesTheWindow) {
    const int scale = GetParam();
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_TRUE(openSettings());
    ASSERT_TRUE(framesGoOn());
    pushEscape(gDialogId.load());
    ASSERT_TRUE(framesGoOn());

    int width = 0, height = 0;
    ASSERT_TRUE(test::eventually([&] { return mainSize(&width, &height) && width > 0; }));
    SDL_Point main{};
    ASSERT_TRUE(test::eventually([&] { return locate(gMainWindowId.load(), kOutputWidth / 2, kOutputHeight / 2, &main); }));
    // The top-left corner (the shell keeps it on the output), pressed inside
    // the resize border: the compositor takes the pointer for its resize.
    // Then dragged inwards, in steps as a hand moves, and let go once the
    // window has followed.
    SDL_Point inWindow{};
    ASSERT_TRUE(pointAt(gMainWindowId.load(), main.x + 2, main.y + 2, &inWindow));
    const int leaves = gLeaves.load(), sizeChanges = gSizeChanges.load();
    ASSERT_TRUE(weston.pointerButton(true));
    EXPECT_TRUE(test::eventually([&] { return gLeaves.load() > leaves; })) << "no resize began";
    constexpr int kSteps = 6, kStepX = 10, kStepY = 3;
    for (int step = 1; step <= kSteps; ++step)
        ASSERT_TRUE(weston.pointerTo((main.x + 2 + step * kStepX) * scale, (main.y + 2 + step * kStepY) * scale));
    EXPECT_TRUE(test::eventually([&] { return gSizeChanges.load() > sizeChanges; }));
    ASSERT_TRUE(weston.pointerButton(false));

    int newWidth = width, newHeight = height;
    EXPECT_TRUE(test::eventually([&] { return mainSize(&newWidth, &newHeight) && newWidth < width; }))
        << "still " << newWidth << " x " << newHeight;
    EXPECT_LE(newHeight, height);
    ASSERT_TRUE(framesGoOn());
    // Still the user's: Settings opens again.
    ASSERT_TRUE(openSettings());
    pushEscape(gDialogId.load());
    ASSERT_TRUE(framesGoOn());
}

// Weston draws no frames: a dialog draws a caption of its own. A press on
// it moves the dialog through the compositor, and its close button closes it.
TEST_P(DesktopShellTest, ADialogsOwnCaptionMovesAndClosesIt) {
    const int scale = GetParam();
    ASSERT_NO_FATAL_FAILURE(startProgram());
    SDL_Point main{};
    ASSERT_TRUE(locate(gMainWindowId.load(), kOutputWidth / 2, kOutputHeight / 2, &main));
    ASSERT_TRUE(openSettings());
    ASSERT_TRUE(framesGoOn());
    const uint32_t dialog = gDialogId.load();
    const int dialogWidth = gDialogWidth.load() / scale;
    const SDL_Point corner = findCorner(dialog, main, {kOutputWidth, kOutputHeight});
    ASSERT_GE(corner.x, 0) << "the dialog is nowhere on the output";

    // Dragged by its caption (32 units high).
    constexpr int kSteps = 8, kStepX = -5, kStepY = 4;
    ASSERT_TRUE(drag(dialog, {corner.x + 60, corner.y + 12}, kSteps, kStepX, kStepY));
    ASSERT_TRUE(framesGoOn());
    SDL_Point moved{};
    ASSERT_TRUE(locate(dialog, corner.x + dialogWidth / 2 + kSteps * kStepX, corner.y + 100 + kSteps * kStepY, &moved));
    EXPECT_EQ(moved.x, corner.x + kSteps * kStepX);
    EXPECT_EQ(moved.y, corner.y + kSteps * kStepY);

    screen->savePng("wayland_dialog_caption_scale" + std::to_string(scale));

    // The close button, at the caption's right end.
    SDL_Point inWindow{};
    ASSERT_TRUE(pointAt(dialog, moved.x + dialogWidth - 20, moved.y + 16, &inWindow));
    ASSERT_TRUE(weston.pointerButton(true));
    ASSERT_TRUE(weston.pointerButton(false));
    ASSERT_TRUE(framesGoOn());
    // Gone: its middle is the main window's again, which takes clicks.
    EXPECT_TRUE(test::eventually([&] { return pointAt(gMainWindowId.load(), moved.x + dialogWidth / 2, moved.y + 100, &inWindow); }));
    ASSERT_TRUE(openSettings());
    pushEscape(gDialogId.load());
    ASSERT_TRUE(framesGoOn());
}

// The main window is moved by its header through the compositor (Wayland
// has no move from a press the window has seen), and a double click there
// maximises it.
TEST_P(DesktopShellTest, TheHeaderMovesTheWindowAndADoubleClickThereMaximisesIt) {
    ASSERT_NO_FATAL_FAILURE(startProgram());
    SDL_Point main{};
    ASSERT_TRUE(locate(gMainWindowId.load(), kOutputWidth / 2, kOutputHeight / 2, &main));
    // An empty point of the header: right of the logo, left of the device strip.
    constexpr int kHeaderX = 250, kHeaderY = 20;
    constexpr int kSteps = 8, kStepX = 5, kStepY = 3;
    ASSERT_TRUE(drag(gMainWindowId.load(), {main.x + kHeaderX, main.y + kHeaderY}, kSteps, kStepX, kStepY));
    ASSERT_TRUE(framesGoOn());
    SDL_Point moved{};
    ASSERT_TRUE(locate(gMainWindowId.load(), kOutputWidth / 2, kOutputHeight / 2, &moved));
    EXPECT_EQ(moved.x, main.x + kSteps * kStepX);
    EXPECT_EQ(moved.y, main.y + kSteps * kStepY);

    const int changes = gStateChanges.load();
    SDL_Point inWindow{};
    ASSERT_TRUE(pointAt(gMainWindowId.load(), moved.x + kHeaderX, moved.y + kHeaderY, &inWindow));
    for (int click = 0; click < 2; ++click) {
        ASSERT_TRUE(weston.pointerButton(true));
        ASSERT_TRUE(weston.pointerButton(false));
    }
    EXPECT_TRUE(test::eventually([&] { return gStateChanges.load() > changes; })) << "no maximise";
    ASSERT_TRUE(framesGoOn());
}

INSTANTIATE_TEST_SUITE_P(OutputScales, DesktopShellTest, ::testing::Values(1, 2),
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

// The same compositor with SDL_VIDEODRIVER unset and no DISPLAY: SDL would
// take Wayland (X11 has nothing to open), whose start needs the seat.
TEST(WaylandWithoutSeat, AnUnsetDriverWithoutDisplaySaysWhyThereIsNoWindow) {
    test::WestonServer weston;
    ASSERT_TRUE(weston.start(test::WestonBackend::Headless, 1280, 800)) << weston.error();
    for (const auto& [name, value] : weston.clientEnvironment())
        setenv(name.c_str(), value.c_str(), 1);
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("DISPLAY");
    std::string error;
    EXPECT_FALSE(windowSystemInit(&error));
    EXPECT_EQ(error, "no window on Wayland: the Wayland compositor offers no input seat");
    EXPECT_FALSE(windowSystemReady());
}

}  // namespace
}  // namespace qv
