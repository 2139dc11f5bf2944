// The quorvane program under a real window manager (openbox on a private
// Xvfb) with the tests' tray host, driven through the X server's test
// extension as a person would: the first click after the window comes back
// from the tray or from being minimised counts, a dialog keeps the keyboard
// while its owner is clicked, a dialog opened over a dialog gets the
// keyboard, a key sent to a dialog alone leaves the main window's clicks
// alone, and Alt+Shift+T minimises and restores from anywhere.

#include "support/FakeTrayHost.h"
#include "support/SessionBus.h"
#include "ui/DesktopProgramFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

// Last: Xlib's macros (None, Status) clash with names of the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace qv {
namespace {

using test::closeButtonX, test::eventually, test::kCaptionY, test::maximiseButtonX, test::minimiseButtonX;

// More of the main window's client layout at 96 dpi.
constexpr int kCardsX = 300, kCardsY = 400;  // on the effect cards

// The window manager's view of the windows, and the test's mouse and
// keyboard.
class Desktop : public test::XTestDriver {
public:
    using XTestDriver::XTestDriver;

    // The window manager's frame around the window covers all of it: an
    // animated restore is over, and a click on the window reaches it.
    bool frameCovers(::Window w) {
        ::Window frame = w, root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        while (XQueryTree(display(), frame, &root, &parent, &children, &count)) {
            if (children)
                XFree(children);
            if (parent == root || parent == 0)
                break;
            frame = parent;
        }
        XWindowAttributes client{}, outer{};
        return XGetWindowAttributes(display(), w, &client) && XGetWindowAttributes(display(), frame, &outer) &&
               outer.map_state == IsViewable && outer.width >= client.width && outer.height >= client.height;
    }
    // The deepest window under the pointer is `w`: a click there reaches it.
    bool pointerOn(::Window w) {
        ::Window at = DefaultRootWindow(display()), root = 0, child = 0;
        int rx = 0, ry = 0, x = 0, y = 0;
        unsigned mask = 0;
        while (XQueryPointer(display(), at, &root, &child, &rx, &ry, &x, &y, &mask) && child != 0)
            at = child;
        return at == w;
    }
    // The pointer out of every window, onto the desktop's corner.
    void toCorner() {
        XTestFakeMotionEvent(display(), -1, 1, 1, CurrentTime);
        XSync(display(), False);
    }
    // Maximised by the window manager (both ways).
    bool maximised(::Window w) {
        const long vertical = static_cast<long>(XInternAtom(display(), "_NET_WM_STATE_MAXIMIZED_VERT", False));
        const long horizontal = static_cast<long>(XInternAtom(display(), "_NET_WM_STATE_MAXIMIZED_HORZ", False));
        const std::vector<long> state = longs(w, "_NET_WM_STATE", XInternAtom(display(), "ATOM", False));
        return std::count(state.begin(), state.end(), vertical) && std::count(state.begin(), state.end(), horizontal);
    }
    void button(bool down) {
        XTestFakeButtonEvent(display(), 1, down ? True : False, CurrentTime);
        XSync(display(), False);
    }
    // A key press sent to one window alone, as automation tools and some
    // remote-desktop clients send it: no release follows.
    void pressSentTo(::Window w, unsigned long keySym) {
        XEvent e{};
        e.xkey.type = KeyPress;
        e.xkey.display = display();
        e.xkey.window = w;
        e.xkey.root = DefaultRootWindow(display());
        e.xkey.keycode = XKeysymToKeycode(display(), keySym);
        e.xkey.same_screen = True;
        e.xkey.time = CurrentTime;
        XSendEvent(display(), w, True, KeyPressMask, &e);
        XSync(display(), False);
    }
};

// One openbox screen for the suite; every test runs its own program in a
// settings folder of its own and ends it.
class WindowFocusXvfbTest : public test::DesktopProgramFixture<Desktop> {
protected:
    void TearDown() override {
        if (desktop)  // none when the screen did not start
            desktop->button(false);
        DesktopProgramFixture::TearDown();
    }
    // Shown, in front and with the keyboard focus: where a person clicks.
    bool backInFront() {
        return desktop->wmState(window) == 1 && desktop->viewable(window) && desktop->activeWindow() == window &&
               desktop->focus() == window && desktop->frameCovers(window);
    }
    // A person's click on a caption button: the button goes up only after
    // the window has acted on the press (here: gone), so the release reaches
    // another window.
    template <typename Gone>
    bool pressCaptionButtonUntil(int x, Gone gone) {
        if (!desktop->moveTo(window, x, kCaptionY))
            return false;
        desktop->button(true);
        const bool ok = eventually(gone);
        desktop->button(false);
        return ok;
    }
    bool minimiseByClick() {
        if (!desktop->moveTo(window, minimiseButtonX(width()), kCaptionY) ||
            !eventually([&] { return desktop->pointerOn(window); }))
            return false;
        desktop->click();
        return eventually([&] { return desktop->wmState(window) == 3; });
    }
    // A click that comes straight in from outside the window, as from the
    // task bar or the tray, with no motion inside before the press: on the
    // maximise button, it maximises the window (not whatever lies where the
    // pointer last was inside).
    bool maximiseByClickFromOutside() {
        desktop->toCorner();
        if (!eventually([&] { return !desktop->pointerOn(window); }) ||
            !desktop->moveTo(window, maximiseButtonX(width()), kCaptionY))
            return false;
        desktop->click();
        return eventually([&] { return desktop->maximised(window); }) && desktop->wmState(window) == 1;
    }
    // The dialog F1 opens, once it has the keyboard.
    ::Window openSettings() {
        desktop->key(XK_F1);
        ::Window settings = 0;
        eventually([&] {
            settings = desktop->findClient("Settings");
            return settings != 0 && desktop->viewable(settings) && desktop->focus() == settings;
        });
        return settings;
    }
};

TEST_F(WindowFocusXvfbTest, TheFirstClickAfterTheWindowIsRestoredFromMinimisedCounts) {
    ASSERT_TRUE(startProgram()) << diagnostics();
    // Minimised on the press: the release goes to whatever is below.
    ASSERT_TRUE(pressCaptionButtonUntil(minimiseButtonX(width()),
                                        [&] { return desktop->wmState(window) == 3 && !desktop->viewable(window); }))
        << diagnostics();
    // Back through the task bar (where the pointer went); one click,
    // straight from there, on the maximise button maximises it.
    desktop->toCorner();
    desktop->activate(window);
    ASSERT_TRUE(eventually([&] { return backInFront(); })) << diagnostics();
    EXPECT_TRUE(maximiseByClickFromOutside()) << "the first click was dropped or counted elsewhere\n" << diagnostics();
}

TEST_F(WindowFocusXvfbTest, TheFirstClickAfterTheWindowIsRestoredFromTheTrayCounts) {
    test::SessionBus bus;
    ASSERT_TRUE(bus.start()) << bus.error();
    test::FakeTrayHost tray(bus.address());
    ASSERT_TRUE(tray.startWatcher()) << tray.error();
    std::ofstream(folder() + "window.ini") << "[Window]\nCloseToTray=1\n";
    ASSERT_TRUE(startProgram(bus.address())) << diagnostics();
    ASSERT_TRUE(pressCaptionButtonUntil(closeButtonX(width()), [&] { return !desktop->viewable(window); }))
        << diagnostics();
    ASSERT_TRUE(tray.waitForRegistrations(1)) << tray.error();
    // A click on the tray icon (where the pointer went).
    desktop->toCorner();
    ASSERT_TRUE(tray.callItem("Activate", 10, 10)) << tray.error();
    ASSERT_TRUE(eventually([&] { return backInFront(); })) << diagnostics();
    EXPECT_TRUE(maximiseByClickFromOutside()) << "the first click was dropped or counted elsewhere\n" << diagnostics();
}

TEST_F(WindowFocusXvfbTest, AClickOnTheWindowUnderADialogLeavesTheKeyboardToTheDialog) {
    ASSERT_TRUE(startProgram()) << diagnostics();
    const ::Window settings = openSettings();
    ASSERT_NE(settings, 0u) << diagnostics();
    desktop->click(window, kCardsX, kCardsY);
    EXPECT_TRUE(holds([&] { return desktop->focus() == settings && desktop->activeWindow() == settings; }))
        << "focus " << desktop->focus() << ", settings " << settings << ", main " << window;
    desktop->key(XK_Escape);
    EXPECT_TRUE(eventually([&] { return desktop->findClient("Settings") == 0; })) << diagnostics();
}

TEST_F(WindowFocusXvfbTest, AKeySentToADialogAloneLeavesTheMainWindowsClicksWorking) {
    ASSERT_TRUE(startProgram()) << diagnostics();
    const ::Window settings = openSettings();
    ASSERT_NE(settings, 0u) << diagnostics();
    desktop->pressSentTo(settings, XK_Escape);
    ASSERT_TRUE(eventually([&] { return desktop->findClient("Settings") == 0 && backInFront(); })) << diagnostics();
    EXPECT_TRUE(minimiseByClick()) << "the click was dropped\n" << diagnostics();
}

TEST_F(WindowFocusXvfbTest, AltShiftTMinimisesAndRestoresFromAnywhere) {
    ASSERT_TRUE(startProgram()) << diagnostics();
    EXPECT_EQ(program.errors().find("Alt+Shift+T"), std::string::npos) << diagnostics();
    desktop->keyWith({XK_Alt_L, XK_Shift_L}, XK_t);
    ASSERT_TRUE(eventually([&] { return desktop->wmState(window) == 3; })) << diagnostics();
    // The focus is elsewhere now; the same keys bring the window back.
    desktop->keyWith({XK_Alt_L, XK_Shift_L}, XK_t);
    EXPECT_TRUE(eventually([&] { return backInFront(); })) << "state " << desktop->wmState(window) << "\n"
                                                           << diagnostics();
}

TEST_F(WindowFocusXvfbTest, AltShiftTHeldByAnotherProgramIsSaidOnTheConsole) {
    // Another program has the combination (with every lock variant).
    Display* d = desktop->display();
    const int t = XKeysymToKeycode(d, XK_t);
    for (unsigned extra : {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
        XGrabKey(d, t, Mod1Mask | ShiftMask | extra, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
    XSync(d, False);
    ASSERT_TRUE(startProgram()) << diagnostics();
    EXPECT_TRUE(eventually([&] { return program.errors().find("Alt+Shift+T is taken by another program") !=
                                        std::string::npos; }))
        << diagnostics();
    XUngrabKey(d, t, AnyModifier, DefaultRootWindow(d));
    XSync(d, False);
}

}  // namespace
}  // namespace qv
