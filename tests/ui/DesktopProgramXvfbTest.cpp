// The quorvane program under a real window manager (openbox on a private
// Xvfb), driven through the X server's test extension as a person would:
// close to tray stays in the tray (or minimised without a tray host), Exit
// from the tray keeps the placement the user saw, "Console - Open" puts the
// console in front with the focus, a click on the caption band leaves the
// keyboard to the window and a double click at a desktop's pace maximises.

#include "support/FakeTrayHost.h"
#include "support/SessionBus.h"
#include "ui/DesktopProgramFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

// Last: Xlib's macros (None, Status) clash with names of the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace qv {
namespace {

using test::closeButtonX, test::eventually, test::kCaptionY, test::minimiseButtonX;

// More of the main window's client layout at 96 dpi.
int consoleButtonX(int width) { return width - 14 - 80 - 8 - 74; }
int statusButtonY(int height) { return height - 22; }
constexpr int kEmptyBandX = 300;  // between the logo and the status strip

// What a pager or a panel reads about the windows, and the test's mouse and
// keyboard.
class Desktop : public test::XTestDriver {
public:
    using XTestDriver::XTestDriver;

    // The managed windows, bottom to top.
    std::vector<::Window> stacking() { return clientList("_NET_CLIENT_LIST_STACKING"); }
    bool hasNetState(::Window w, const char* state) {
        const Atom wanted = XInternAtom(display(), state, False);
        for (long atom : longs(w, "_NET_WM_STATE", XA_ATOM))
            if (static_cast<Atom>(atom) == wanted)
                return true;
        return false;
    }
    bool maximised(::Window w) {
        return hasNetState(w, "_NET_WM_STATE_MAXIMIZED_VERT") && hasNetState(w, "_NET_WM_STATE_MAXIMIZED_HORZ");
    }
    // Whether another client (a window manager in its move mode) holds the
    // keyboard or the pointer: this client cannot grab them then.
    bool inputGrabbedElsewhere() {
        const ::Window root = DefaultRootWindow(display());
        const int keyboard = XGrabKeyboard(display(), root, False, GrabModeAsync, GrabModeAsync, CurrentTime);
        if (keyboard == GrabSuccess)
            XUngrabKeyboard(display(), CurrentTime);
        const int pointer = XGrabPointer(display(), root, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, 0, 0,
                                         CurrentTime);
        if (pointer == GrabSuccess)
            XUngrabPointer(display(), CurrentTime);
        XSync(display(), False);
        return keyboard == AlreadyGrabbed || pointer == AlreadyGrabbed;
    }
    // Plays the desktop's settings daemon: owns the XSETTINGS selection and
    // publishes one integer setting (little-endian, as the protocol allows).
    bool publishSetting(const std::string& name, int32_t value) {
        std::vector<uint8_t> bytes = {0, 0, 0, 0};
        const auto card32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        };
        card32(1);  // serial
        card32(1);  // one setting
        bytes.insert(bytes.end(), {0, 0, static_cast<uint8_t>(name.size()), 0});
        bytes.insert(bytes.end(), name.begin(), name.end());
        while (bytes.size() % 4)
            bytes.push_back(0);
        card32(1);  // last change
        card32(static_cast<uint32_t>(value));
        const ::Window root = DefaultRootWindow(display());
        m_settingsOwner = XCreateSimpleWindow(display(), root, 0, 0, 1, 1, 0, 0, 0);
        const Atom property = XInternAtom(display(), "_XSETTINGS_SETTINGS", False);
        XChangeProperty(display(), m_settingsOwner, property, property, 8, PropModeReplace, bytes.data(),
                        static_cast<int>(bytes.size()));
        const Atom selection = XInternAtom(display(), "_XSETTINGS_S0", False);
        XSetSelectionOwner(display(), selection, m_settingsOwner, CurrentTime);
        XSync(display(), False);
        return XGetSelectionOwner(display(), selection) == m_settingsOwner;
    }
    // A press at the window's client point, the pointer moved by (dx, dy)
    // in steps with the button held, and the release.
    void drag(::Window w, int x, int y, int dx, int dy) {
        moveTo(w, x, y);
        int sx = 0, sy = 0, width = 0, height = 0;
        geometry(w, &sx, &sy, &width, &height);
        XTestFakeButtonEvent(display(), 1, True, CurrentTime);
        XSync(display(), False);
        for (int step = 1; step <= 10; ++step) {
            XTestFakeMotionEvent(display(), -1, sx + x + dx * step / 10, sy + y + dy * step / 10, CurrentTime);
            XSync(display(), False);
            // A hand's pace, so the window manager's move follows the pointer.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        XTestFakeButtonEvent(display(), 1, False, CurrentTime);
        XSync(display(), False);
    }

private:
    ::Window m_settingsOwner = 0;
};

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One openbox screen for the suite; every test runs its own program in a
// settings folder of its own and ends it.
class DesktopProgramXvfbTest : public test::DesktopProgramFixture<Desktop> {
protected:
    void writeWindowIni(const std::string& text) { std::ofstream(folder() + "window.ini") << text; }
};

TEST_F(DesktopProgramXvfbTest, TheCloseButtonSendsTheWindowToTheTrayWhereItStaysAndExitKeepsThePlacement) {
    test::SessionBus bus;
    ASSERT_TRUE(bus.start()) << bus.error();
    test::FakeTrayHost tray(bus.address());
    ASSERT_TRUE(tray.startWatcher()) << tray.error();
    writeWindowIni("[Window]\nPlacement=1,400,200,1500,860\nCloseToTray=1\n");
    ASSERT_TRUE(startProgram(bus.address())) << diagnostics();

    ASSERT_TRUE(desktop->moveTo(window, closeButtonX(width()), kCaptionY));
    desktop->click();
    EXPECT_TRUE(holds([&] { return !desktop->viewable(window) && desktop->wmState(window) == 0; }))
        << "state " << desktop->wmState(window) << "\n" << diagnostics();
    ASSERT_TRUE(tray.waitForRegistrations(1)) << tray.error();

    // "Restore" from the tray's menu brings it back where it was.
    std::vector<test::TrayMenuEntry> entries = tray.menuEntries();
    ASSERT_EQ(entries.size(), 3u) << tray.error();
    ASSERT_TRUE(tray.clickMenuEntry(entries[0].id)) << tray.error();
    ASSERT_TRUE(eventually([&] { return desktop->viewable(window) && desktop->wmState(window) == 1; }));
    int x = 0, y = 0, w = 0, h = 0;
    ASSERT_TRUE(desktop->geometry(window, &x, &y, &w, &h));
    EXPECT_EQ(x, 400);
    EXPECT_EQ(y, 200);

    // Moved by its caption band, the window stays where it was put.
    desktop->drag(window, kEmptyBandX, kCaptionY, -150, -100);
    // The window manager's move ends with the release (it lets go of the
    // pointer then).
    ASSERT_TRUE(eventually([&] {
        return !desktop->inputGrabbedElsewhere() && desktop->geometry(window, &x, &y, &w, &h) && x < 300 && y < 150;
    })) << x << ", " << y;

    // To the tray again, then "Exit": the placement saved is the one the
    // user last saw, not the hidden window's.
    ASSERT_TRUE(desktop->moveTo(window, closeButtonX(width()), kCaptionY));
    desktop->click();
    ASSERT_TRUE(eventually([&] { return !desktop->viewable(window); }))
        << "state " << desktop->wmState(window) << ", active " << (desktop->activeWindow() == window)
        << ", input grabbed elsewhere " << desktop->inputGrabbedElsewhere() << "\n"
        << diagnostics();
    ASSERT_TRUE(tray.waitForRegistrations(2)) << tray.error();
    entries = tray.menuEntries();
    ASSERT_EQ(entries.size(), 3u) << tray.error();
    ASSERT_TRUE(tray.clickMenuEntry(entries[2].id)) << tray.error();
    ASSERT_TRUE(program.wait(20000)) << diagnostics();
    EXPECT_EQ(program.exitCode(), 0) << diagnostics();
    const std::string ini = readText(folder() + "window.ini");
    const std::string placement = "Placement=1," + std::to_string(x) + "," + std::to_string(y) + ",1500,860";
    EXPECT_NE(ini.find(placement), std::string::npos) << placement << " in\n" << ini;
}

TEST_F(DesktopProgramXvfbTest, WithoutATrayHostTheCloseButtonAndTheMinimiseButtonMinimise) {
    // A session bus, but no tray host on it.
    test::SessionBus bus;
    ASSERT_TRUE(bus.start()) << bus.error();
    writeWindowIni("[Window]\nCloseToTray=1\n");
    ASSERT_TRUE(startProgram(bus.address())) << diagnostics();
    ASSERT_TRUE(desktop->moveTo(window, closeButtonX(width()), kCaptionY));
    desktop->click();
    EXPECT_TRUE(holds([&] { return desktop->wmState(window) == 3; }))
        << "state " << desktop->wmState(window) << "\n" << diagnostics();
    EXPECT_NE(program.errors().find("the window was minimised instead of going to the tray"), std::string::npos)
        << diagnostics();

    // Back through the task bar, then the window's own minimise button.
    desktop->activate(window);
    ASSERT_TRUE(eventually([&] { return desktop->wmState(window) == 1 && desktop->viewable(window); }));
    ASSERT_TRUE(desktop->moveTo(window, minimiseButtonX(width()), kCaptionY));
    desktop->click();
    EXPECT_TRUE(holds([&] { return desktop->wmState(window) == 3; })) << "state " << desktop->wmState(window);
}

TEST_F(DesktopProgramXvfbTest, ConsoleOpenPutsTheConsoleInFrontWithTheFocus) {
    ASSERT_TRUE(startProgram()) << diagnostics();
    ASSERT_TRUE(desktop->moveTo(window, consoleButtonX(width()), statusButtonY(height())));
    desktop->click();
    ::Window console = 0;
    ASSERT_TRUE(eventually([&] { return (console = desktop->findClient("Console - Quor Vane")) != 0; })) << diagnostics();
    EXPECT_TRUE(holds([&] {
        const std::vector<::Window> stack = desktop->stacking();
        return !stack.empty() && stack.back() == console && desktop->activeWindow() == console;
    })) << "top " << (desktop->stacking().empty() ? 0 : desktop->stacking().back()) << ", console " << console;
}

TEST_F(DesktopProgramXvfbTest, AClickOnTheCaptionBandLeavesTheKeyboardToTheWindow) {
    ASSERT_TRUE(startProgram()) << diagnostics();
    int x0 = 0, y0 = 0, w = 0, h = 0;
    ASSERT_TRUE(desktop->geometry(window, &x0, &y0, &w, &h));
    ASSERT_TRUE(desktop->moveTo(window, kEmptyBandX, kCaptionY));
    desktop->click();
    // No window manager waits in its move mode with the keyboard grabbed,
    // and F1 reaches the window.
    EXPECT_TRUE(holds([&] { return !desktop->inputGrabbedElsewhere(); }));
    desktop->key(XK_F1);
    ::Window settings = 0;
    EXPECT_TRUE(eventually([&] { return (settings = desktop->findClient("Settings")) != 0 && desktop->viewable(settings); }))
        << diagnostics();
    desktop->key(XK_Escape);
    EXPECT_TRUE(eventually([&] { return desktop->findClient("Settings") == 0; }));
    int x1 = 0, y1 = 0;
    ASSERT_TRUE(desktop->geometry(window, &x1, &y1, &w, &h));
    EXPECT_EQ(x1, x0);
    EXPECT_EQ(y1, y0);
}

// The pace of a person's double click: within the desktops' 400 to 500 ms,
// well past the 200 ms our double clicks once needed.
void expectDoubleClicksToggleMaximise(Desktop& desktop, ::Window window, int apartMs) {
    const auto doubleClick = [&] {
        desktop.moveTo(window, kEmptyBandX, kCaptionY);
        desktop.click();
        std::this_thread::sleep_for(std::chrono::milliseconds(apartMs));
        desktop.click();
    };
    int x = 0, y = 0, w = 0, h = 0;
    doubleClick();
    EXPECT_TRUE(eventually([&] { return desktop.maximised(window); })) << apartMs;
    ASSERT_TRUE(eventually([&] { return desktop.geometry(window, &x, &y, &w, &h) && w == 1920; }));
    doubleClick();
    EXPECT_TRUE(eventually([&] { return !desktop.maximised(window) && desktop.geometry(window, &x, &y, &w, &h) &&
                                        w == 1500; }))
        << apartMs;
}

TEST_F(DesktopProgramXvfbTest, ADoubleClickOnTheCaptionBandAtADesktopsPaceMaximisesAndRestores) {
    ASSERT_TRUE(startProgram()) << diagnostics();
    expectDoubleClicksToggleMaximise(*desktop, window, 350);
}

TEST_F(DesktopProgramXvfbTest, ADesktopsOwnDoubleClickTimeCounts) {
    // A desktop set to slow double clicks: 700 ms apart is one still.
    ASSERT_TRUE(desktop->publishSetting("Net/DoubleClickTime", 900));
    ASSERT_TRUE(startProgram()) << diagnostics();
    expectDoubleClicksToggleMaximise(*desktop, window, 700);
}

}  // namespace
}  // namespace qv
