// The window layer on a real X server (a private bare Xvfb, so windows stay
// where they are put): a hold that ends because its window is hidden gets
// its button-up at the pointer in that window's own coordinates, wherever
// the pointer is.

#include "platform/Window.h"
#include "support/GraphicsFixture.h"
#include "support/XTestDriver.h"
#include "support/XvfbServer.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

// Last: Xlib's macros (None, Status) clash with names of the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace qv {
namespace {

struct Log {
    std::vector<std::pair<uint32_t, intptr_t>> messages;
    static intptr_t proc(WindowHandle, uint32_t message, uintptr_t, intptr_t lParam, void* user) {
        if (message == kWmLButtonDown || message == kWmLButtonUp)
            static_cast<Log*>(user)->messages.emplace_back(message, lParam);
        return 0;
    }
};

class WindowXvfbTest : public test::GraphicsFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start("800x400x24")) << server.error();
        setenv("DISPLAY", server.display().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        GraphicsFixture::SetUp();
        std::string error;
        ASSERT_TRUE(windowSystemInit(&error)) << error;
    }
    void TearDown() override {
        windowSystemShutdown();
        clearQuitMessage();
        GraphicsFixture::TearDown();
    }
    WindowHandle make(Log& log, int x) {
        WindowOptions options;
        options.kind = WindowKind::Dialog;
        options.x = x;
        options.y = 0;
        options.width = 200;
        options.height = 200;
        options.visible = true;
        options.proc = Log::proc;
        options.user = &log;
        WindowHandle w = createWindow(options);
        EXPECT_NE(w, nullptr) << lastWindowError();
        return w;
    }
    template <typename Condition>
    static bool pumpUntil(Condition condition) {
        const Uint64 end = SDL_GetTicks64() + 20000;
        while (!condition()) {
            if (SDL_GetTicks64() > end)
                return false;
            pumpMessages(10);
        }
        return true;
    }

    test::XvfbServer server;
};

TEST_F(WindowXvfbTest, AHoldEndedByHidingItsWindowIsReleasedAtThePointerInThatWindow) {
    Log held, other;
    WindowHandle a = make(held, 0);
    WindowHandle b = make(other, 400);
    ASSERT_TRUE(pumpUntil([&] { return windowRect(a).x == 0 && windowRect(b).x == 400; }))
        << windowRect(b).x;
    // The pointer goes into the other window, which then has SDL's mouse
    // focus.
    test::XTestDriver pointer(server.display());
    ASSERT_TRUE(pointer.ok());
    XTestFakeMotionEvent(pointer.display(), -1, 450, 60, CurrentTime);
    XSync(pointer.display(), False);
    ASSERT_TRUE(pumpUntil([&] { return SDL_GetMouseFocus() == SDL_GetWindowFromID(windowSystemId(b)); }));
    // A press held in the first window (as the window system reports it).
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = windowSystemId(a);
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = SDL_PRESSED;
    e.button.x = 10;
    e.button.y = 10;
    SDL_PushEvent(&e);
    ASSERT_TRUE(pumpUntil([&] { return !held.messages.empty(); }));
    showWindow(a, ShowCommand::Hide);
    ASSERT_EQ(held.messages.size(), 2u);
    EXPECT_EQ(held.messages[1].first, kWmLButtonUp);
    EXPECT_EQ(pointParamX(held.messages[1].second), 450);
    EXPECT_EQ(pointParamY(held.messages[1].second), 60);
    EXPECT_TRUE(other.messages.empty());
}

// A loop with nothing to do sleeps in one wait until something wakes it: a
// post from another thread, a new desktop DPI (on the watcher's connection
// of its own) or its next timer. A loop that looked every 100 ms would run
// ten passes over the second each trigger comes after.
TEST_F(WindowXvfbTest, AnIdleLoopWaitsInOnePassUntilAPostADpiChangeOrATimerWakesIt) {
    unsetenv("QUORVANE_DPI");
    enum class Wake { kPost, kDpi, kTimer };
    struct Case {
        Wake wake;
        uint32_t message;
    } cases[] = {{Wake::kPost, kWmApp + 7}, {Wake::kDpi, kWmDisplayChanged}, {Wake::kTimer, kWmTimer}};
    constexpr uint64_t kMostPasses = 4;  // the pass that ends the wait, and a few for stray events
    for (const Case& c : cases) {
        struct Waiter {
            uint32_t message = 0;
            bool done = false;
            static intptr_t proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t, void* user) {
                auto* self = static_cast<Waiter*>(user);
                if (message == kWmTimer)
                    killWindowTimer(window, static_cast<uint32_t>(wParam));
                if (message == self->message)
                    self->done = true;
                return 0;
            }
        } waiter{c.message};
        WindowOptions options;
        options.kind = WindowKind::Dialog;
        options.width = 100;
        options.height = 100;
        options.visible = false;
        options.proc = Waiter::proc;
        options.user = &waiter;
        WindowHandle w = createWindow(options);
        ASSERT_NE(w, nullptr) << lastWindowError();
        // What creating the window brought is handled first.
        for (int i = 0; i < 5; ++i)
            pumpMessages(20);
        if (c.wake == Wake::kTimer) {
            ASSERT_TRUE(setWindowTimer(w, 1, 1000));
        }
        std::atomic<bool> ended{false};
        std::thread trigger([&] {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            if (c.wake == Wake::kPost) {
                postWindowMessage(w, c.message, 0, 0);
            } else if (c.wake == Wake::kDpi) {
                if (Display* display = XOpenDisplay(server.display().c_str())) {
                    const char resources[] = "Xft.dpi:\t144\n";
                    XChangeProperty(display, DefaultRootWindow(display),
                                    XInternAtom(display, "RESOURCE_MANAGER", False), XA_STRING, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(resources),
                                    static_cast<int>(sizeof resources - 1));
                    XCloseDisplay(display);
                }
            }
            // A wake-up that never came fails the test instead of hanging it.
            for (int i = 0; i < 200 && !ended.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!ended.load()) {
                ADD_FAILURE() << "the loop did not wake";
                postWindowMessage(w, c.message, 0, 0);
            }
        });
        const uint64_t before = messageLoopPasses();
        EXPECT_TRUE(runMessageLoopUntil(waiter.done));
        const uint64_t passes = messageLoopPasses() - before;
        ended.store(true);
        trigger.join();
        EXPECT_LE(passes, kMostPasses) << static_cast<int>(c.wake);
        destroyWindow(w);
    }
}

}  // namespace
}  // namespace qv
