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

#include <cstdlib>
#include <vector>

// Last: Xlib's macros (None, Status) clash with names of the headers above.
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

}  // namespace
}  // namespace qv
