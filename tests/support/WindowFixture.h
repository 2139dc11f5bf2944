#pragma once
// Test fixture for code that makes windows: the window layer on SDL's
// offscreen video driver (windows in memory, no display), the drawing layer
// at 96 dpi, and helpers that put input events into the window system's
// queue the way a display server would. Header-only; the test links SDL.

#include "platform/Window.h"
#include "support/GraphicsFixture.h"

#include <SDL.h>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

namespace qv::test {

class WindowFixture : public GraphicsFixture {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        GraphicsFixture::SetUp();
        std::string error;
        ASSERT_TRUE(windowSystemInit(&error)) << error;
        clearQuitMessage();
    }
    void TearDown() override {
        windowSystemShutdown();
        clearQuitMessage();
        GraphicsFixture::TearDown();
    }

    // A shown top-level window of `width` x `height` whose messages go to
    // `proc` with `user`; null, and a failure that says why, when none was made.
    static WindowHandle makeWindow(int width, int height, WindowProc proc, void* user, const char* title = "") {
        WindowOptions options;
        options.title = title;
        options.width = width;
        options.height = height;
        options.proc = proc;
        options.user = user;
        WindowHandle window = createWindow(options);
        EXPECT_NE(window, nullptr) << lastWindowError();
        return window;
    }

    static void pushMouseButton(WindowHandle window, bool down, int x, int y, int clicks = 1,
                                uint8_t button = SDL_BUTTON_LEFT) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = windowSystemId(window);
        e.button.button = button;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = static_cast<uint8_t>(clicks);
        e.button.x = x;
        e.button.y = y;
        SDL_PushEvent(&e);
    }
    static void pushClick(WindowHandle window, int x, int y, int clicks = 1) {
        pushMouseButton(window, true, x, y, clicks);
        pushMouseButton(window, false, x, y, clicks);
    }
    static void pushMotion(WindowHandle window, int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = windowSystemId(window);
        e.motion.x = x;
        e.motion.y = y;
        SDL_PushEvent(&e);
    }
    static void pushWheel(WindowHandle window, float notches, int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = windowSystemId(window);
        e.wheel.y = static_cast<Sint32>(notches);
        e.wheel.preciseY = notches;
        e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
        e.wheel.mouseX = x;
        e.wheel.mouseY = y;
        SDL_PushEvent(&e);
    }
    static void pushKey(WindowHandle window, SDL_Keycode key, uint16_t mod = 0, bool down = true) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = windowSystemId(window);
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.sym = key;
        e.key.keysym.mod = mod;
        SDL_PushEvent(&e);
    }
    static void pushText(WindowHandle window, const char* utf8) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.windowID = windowSystemId(window);
        std::strncpy(e.text.text, utf8, sizeof(e.text.text) - 1);
        SDL_PushEvent(&e);
    }
    static void pushWindowEvent(WindowHandle window, SDL_WindowEventID event) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = windowSystemId(window);
        e.window.event = static_cast<Uint8>(event);
        SDL_PushEvent(&e);
    }
    // Runs loop passes until `condition` holds or `timeoutMs` passed. The
    // time-out only bounds a failing test: a loaded machine under the
    // sanitizers may take seconds for what a quiet one does at once.
    template <typename Condition>
    static bool pumpUntil(Condition condition, int timeoutMs = 20000) {
        const Uint64 end = SDL_GetTicks64() + static_cast<Uint64>(timeoutMs);
        while (!condition()) {
            if (SDL_GetTicks64() > end)
                return false;
            pumpMessages(10);
        }
        return true;
    }
};

}  // namespace qv::test
