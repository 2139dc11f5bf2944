// The modal dialog host on the offscreen video driver: result codes, nesting,
// the parent's state around a dialog and the quit of the program while
// dialogs run.

#include "ui/AppMessages.h"
#include "ui/DialogHost.h"
#include "support/Eventually.h"
#include "support/WindowFixture.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace qv {
namespace {

struct Probe {
    std::function<void()> onFirstPaint;
    std::function<bool(uint32_t, uintptr_t)> key;
    std::function<bool(uint32_t, float, float, uintptr_t)> mouse;
    std::vector<uint32_t> messages;
    bool painted = false;
    float paintWidth = 0, paintHeight = 0;
};

DialogSpec probeSpec(Probe& probe, WindowHandle parent = nullptr) {
    DialogSpec spec;
    spec.parent = parent;
    spec.width = 300;
    spec.height = 200;
    spec.userData = &probe;
    spec.onPaint = [](DrawContext&, float w, float h, void* user) {
        auto& p = *static_cast<Probe*>(user);
        p.paintWidth = w;
        p.paintHeight = h;
        if (!p.painted) {
            p.painted = true;
            if (p.onFirstPaint)
                p.onFirstPaint();
        }
    };
    spec.onKey = [](uint32_t message, uintptr_t wParam, intptr_t, void* user) {
        auto& p = *static_cast<Probe*>(user);
        p.messages.push_back(message);
        return p.key ? p.key(message, wParam) : false;
    };
    spec.onMouse = [](uint32_t message, float x, float y, uintptr_t wParam, void* user) {
        auto& p = *static_cast<Probe*>(user);
        p.messages.push_back(message);
        return p.mouse ? p.mouse(message, x, y, wParam) : false;
    };
    spec.onMessage = [](uint32_t message, uintptr_t, intptr_t, void* user) {
        static_cast<Probe*>(user)->messages.push_back(message);
        return false;
    };
    return spec;
}

// A plain top-level window standing in for the main window: counts the
// messages it receives and ends the loops on kMsgQuit like the real one.
struct Parent {
    std::vector<uint32_t> messages;
    WindowHandle window = nullptr;
    ~Parent() { destroyWindow(window); }
    static intptr_t proc(WindowHandle, uint32_t message, uintptr_t, intptr_t, void* user) {
        auto& p = *static_cast<Parent*>(user);
        if (message >= kWmApp || message == kWmLButtonDown || message == kWmKeyDown)
            p.messages.push_back(message);
        if (message == kMsgQuit)
            postQuitMessage();
        return 0;
    }
    int count(uint32_t message) const { return static_cast<int>(std::count(messages.begin(), messages.end(), message)); }
};

class DialogHostTest : public test::WindowFixture {
protected:
    WindowHandle makeParent(Parent& parent) {
        parent.window = makeWindow(800, 600, Parent::proc, &parent, "parent");
        return parent.window;
    }
};

TEST_F(DialogHostTest, CloseDialogFromAKeyReturnsItsCodeAfterTheWindowIsGone) {
    Probe probe;
    WindowHandle seen = nullptr;
    probe.onFirstPaint = [&] {
        seen = currentDialogWindow();
        pushKey(seen, SDLK_RETURN);
    };
    probe.key = [&](uint32_t message, uintptr_t key) {
        if (message == kWmKeyDown && key == kVkReturn)
            closeDialog(1);
        return false;
    };
    EXPECT_EQ(runModalDialog(probeSpec(probe)), 1);
    EXPECT_NE(seen, nullptr);
    EXPECT_FALSE(isWindow(seen));
    EXPECT_FALSE(isDialogOpen());
    EXPECT_EQ(currentDialogWindow(), nullptr);
}

TEST_F(DialogHostTest, TheCloseBoxReturnsTheLastCodeSetOrZero) {
    struct Case {
        bool setCode;
        int expected;
    } cases[] = {{false, 0}, {true, 7}};
    for (const Case& c : cases) {
        Probe probe;
        probe.onFirstPaint = [&] {
            if (c.setCode)
                pushKey(currentDialogWindow(), SDLK_a);
            pushWindowEvent(currentDialogWindow(), SDL_WINDOWEVENT_CLOSE);
        };
        probe.key = [&](uint32_t message, uintptr_t) {
            // Stores the code without closing: the dialog stays until the close box.
            if (message == kWmKeyDown)
                closeDialog(7);
            return false;
        };
        EXPECT_EQ(runModalDialog(probeSpec(probe)), c.expected) << c.setCode;
    }
}

// The dummy driver's one display is 1024 x 768: 520 x 480 units fit it at
// 120 dpi; at 144 dpi (780 x 720 pixels and the frame) they do not, and the
// dialog is drawn smaller with its layout kept at 780 x 720.
TEST_F(DialogHostTest, ClientSizeFollowsTheDpiWithinTheWorkAreaAndANullTitleIsTheProgramName) {
    const std::vector<WindowRect> displays = displayBounds();
    ASSERT_FALSE(displays.empty());
    ASSERT_EQ(displays.front().height, 768);
    struct Case {
        int dpi, width, height;
        float layoutWidth, layoutHeight;
    } cases[] = {{120, 650, 600, 650, 600}, {144, 754, 696, 780, 720}};
    for (const Case& c : cases) {
        setDpi(c.dpi);
        Probe probe;
        int width = 0, height = 0;
        std::string title;
        probe.onFirstPaint = [&] {
            clientSize(currentDialogWindow(), &width, &height);
            title = windowTitle(currentDialogWindow());
            closeDialog(0);
        };
        DialogSpec spec = probeSpec(probe);
        spec.width = 520;
        spec.height = 480;
        runModalDialog(spec);
        EXPECT_EQ(width, c.width) << c.dpi;
        EXPECT_EQ(height, c.height) << c.dpi;
        EXPECT_EQ(title, "Quor Vane");
        EXPECT_NEAR(probe.paintWidth, c.layoutWidth, 0.5f) << c.dpi;
        EXPECT_NEAR(probe.paintHeight, c.layoutHeight, 0.5f) << c.dpi;
    }
}

TEST(DialogFitTest, ADialogLargerThanTheWorkAreaWithItsFrameIsScaledToFitIt) {
    struct Case {
        int width, height, dpi;
        WindowRect area;
        int fitWidth, fitHeight;
        float scale;
    } cases[] = {
        {560, 600, 96, {0, 0, 1920, 1080}, 560, 600, 1.0f},        // fits
        {560, 600, 192, {0, 0, 1920, 1080}, 918, 984, 0.82f},      // 1200 + 96 of frame > 1080
        {910, 590, 192, {0, 0, 1920, 1080}, 1518, 984, 0.8339f},   // eight routing columns
        {1000, 100, 96, {100, 0, 800, 600}, 784, 78, 0.784f},      // too wide: 800 - 16
        {560, 600, 192, {}, 1120, 1200, 1.0f},                     // no work area known
    };
    for (const Case& c : cases) {
        const DialogFit fit = fitDialog(c.width, c.height, c.dpi, c.area);
        EXPECT_EQ(fit.width, c.fitWidth) << c.width << "x" << c.height << " at " << c.dpi;
        EXPECT_EQ(fit.height, c.fitHeight) << c.width << "x" << c.height << " at " << c.dpi;
        EXPECT_NEAR(fit.scale, c.scale, 1e-3f) << c.width << "x" << c.height << " at " << c.dpi;
    }
}

TEST_F(DialogHostTest, EscapeEnterAndTextArriveAsKeysAndCharacters) {
    Probe probe;
    std::vector<std::pair<uint32_t, uintptr_t>> keys;
    probe.onFirstPaint = [&] {
        WindowHandle w = currentDialogWindow();
        pushKey(w, SDLK_ESCAPE);
        pushText(w, "a\xc3\xa9\t");
        pushKey(w, SDLK_BACKSPACE);
        pushKey(w, SDLK_F1);
        pushKey(w, SDLK_z, KMOD_LSHIFT);
    };
    probe.key = [&](uint32_t message, uintptr_t wParam) {
        keys.emplace_back(message, wParam);
        if (message == kWmKeyDown && wParam == 'Z')
            closeDialog(3);
        return false;
    };
    EXPECT_EQ(runModalDialog(probeSpec(probe)), 3);
    const std::vector<std::pair<uint32_t, uintptr_t>> expected = {
        {kWmKeyDown, kVkEscape}, {kWmChar, 'a'}, {kWmChar, 0xE9}, {kWmKeyDown, kVkBack},
        {kWmKeyDown, kVkF1},     {kWmKeyDown, 'Z'}};
    EXPECT_EQ(keys, expected);
}

TEST_F(DialogHostTest, MouseMessagesDoubleClicksAndWheelReachTheDialog) {
    Probe probe;
    std::vector<std::tuple<uint32_t, int, int, int>> seen;
    probe.onFirstPaint = [&] {
        WindowHandle w = currentDialogWindow();
        pushMotion(w, 10, 12);
        pushClick(w, 20, 22, 1);
        pushClick(w, 20, 22, 2);
        pushWheel(w, -1.0f, 30, 40);
        pushMouseButton(w, true, 5, 5, 1, SDL_BUTTON_RIGHT);
        pushMouseButton(w, false, 5, 5, 1, SDL_BUTTON_RIGHT);
    };
    probe.mouse = [&](uint32_t message, float x, float y, uintptr_t wParam) {
        seen.emplace_back(message, int(x), int(y), message == kWmMouseWheel ? wheelDelta(wParam) : 0);
        if (message == kWmRButtonDown)
            closeDialog(0);
        return false;
    };
    runModalDialog(probeSpec(probe));
    const std::vector<std::tuple<uint32_t, int, int, int>> expected = {
        {kWmMouseMove, 10, 12, 0},     {kWmLButtonDown, 20, 22, 0}, {kWmLButtonUp, 20, 22, 0},
        {kWmLButtonDblClk, 20, 22, 0}, {kWmLButtonUp, 20, 22, 0},   {kWmMouseWheel, 30, 40, -120},
        {kWmRButtonDown, 5, 5, 0}};
    EXPECT_EQ(seen, expected);
}

TEST_F(DialogHostTest, ALostButtonUpArrivesWhenTheFocusGoes) {
    Probe probe;
    std::vector<uint32_t> mouse;
    probe.onFirstPaint = [&] {
        WindowHandle w = currentDialogWindow();
        pushMouseButton(w, true, 50, 50);
        pushWindowEvent(w, SDL_WINDOWEVENT_FOCUS_LOST);
        pushKey(w, SDLK_q);
    };
    probe.mouse = [&](uint32_t message, float, float, uintptr_t) {
        mouse.push_back(message);
        return false;
    };
    probe.key = [&](uint32_t message, uintptr_t) {
        if (message == kWmKeyDown)
            closeDialog(0);
        return false;
    };
    runModalDialog(probeSpec(probe));
    EXPECT_EQ(mouse, (std::vector<uint32_t>{kWmLButtonDown, kWmLButtonUp}));
}

TEST_F(DialogHostTest, NestedDialogsGiveTheOuterDialogItsWindowBackAndBringTheParentForwardOnce) {
    Parent parent;
    ASSERT_NE(makeParent(parent), nullptr);
    Probe outer, inner;
    WindowHandle outerWindow = nullptr, afterInner = nullptr;
    int innerResult = -5;
    bool parentEnabledDuringInner = true, outerEnabledDuringInner = true;
    inner.onFirstPaint = [&] {
        parentEnabledDuringInner = isWindowEnabled(parent.window);
        outerEnabledDuringInner = isWindowEnabled(outerWindow);
        // Input to the disabled outer dialog and parent is dropped.
        pushKey(outerWindow, SDLK_x);
        pushClick(parent.window, 5, 5);
        pushKey(currentDialogWindow(), SDLK_y);
    };
    inner.key = [&](uint32_t message, uintptr_t key) {
        if (message == kWmKeyDown && key == 'Y')
            closeDialog(4);
        return false;
    };
    outer.onFirstPaint = [&] {
        outerWindow = currentDialogWindow();
        DialogSpec spec = probeSpec(inner, outerWindow);
        innerResult = runModalDialog(spec);
        afterInner = currentDialogWindow();
        EXPECT_EQ(parent.count(kMsgBringToFront), 0);
        closeDialog(9);
    };
    EXPECT_EQ(runModalDialog(probeSpec(outer, parent.window)), 9);
    EXPECT_EQ(innerResult, 4);
    EXPECT_EQ(afterInner, outerWindow);
    EXPECT_FALSE(parentEnabledDuringInner);
    EXPECT_FALSE(outerEnabledDuringInner);
    EXPECT_TRUE(outer.messages.empty()) << "the disabled outer dialog got input";
    EXPECT_TRUE(isWindowEnabled(parent.window));
    ASSERT_TRUE(pumpUntil([&] { return parent.count(kMsgBringToFront) > 0; }));
    pumpMessages(20);
    EXPECT_EQ(parent.count(kMsgBringToFront), 1);
    EXPECT_EQ(parent.count(kWmLButtonDown), 0);
}

TEST_F(DialogHostTest, ADialogClosedOutOfOrderNeverClosesAnother) {
    // The outer dialog is closed while the inner one runs (as a message
    // posted to it would do): the inner one stays until it is closed itself.
    Probe outer, inner;
    WindowHandle outerWindow = nullptr, innerWindow = nullptr;
    bool innerAliveAfterOuterClosed = false;
    static bool* check = nullptr;
    static WindowHandle* windows[2] = {};
    check = &innerAliveAfterOuterClosed;
    windows[0] = &outerWindow;
    windows[1] = &innerWindow;
    inner.onFirstPaint = [&] {
        innerWindow = currentDialogWindow();
        postWindowMessage(outerWindow, kWmClose, 0, 0);
        postWindowMessage(innerWindow, kWmApp + 1, 0, 0);
    };
    outer.onFirstPaint = [&] {
        outerWindow = currentDialogWindow();
        DialogSpec spec = probeSpec(inner, outerWindow);
        spec.onMessage = [](uint32_t, uintptr_t, intptr_t, void*) {
            *check = isWindow(*windows[1]) && !isWindow(*windows[0]);
            closeDialog(2);
            return false;
        };
        EXPECT_EQ(runModalDialog(spec), 2);
    };
    runModalDialog(probeSpec(outer));
    EXPECT_TRUE(innerAliveAfterOuterClosed);
    EXPECT_FALSE(isDialogOpen());
}

TEST_F(DialogHostTest, AQuitFromAnotherThreadWithNestedDialogsOpenEndsEveryLoopInnermostFirst) {
    Parent parent;
    ASSERT_NE(makeParent(parent), nullptr);
    Probe outer, inner;
    std::vector<int> destroyedOrder;
    std::thread poster;
    std::atomic<bool> returned{false};
    std::atomic<bool> stuck{false};
    inner.onFirstPaint = [&] {
        poster = std::thread([&, w = parent.window] {
            // The quit comes while the inner loop waits.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            postWindowMessage(w, kMsgQuit, 0, 0);
            // Loops that missed it would run for ever: the test fails instead
            // of hanging, and the quit posted again lets it end.
            if (!test::eventually([&] { return returned.load(); })) {
                stuck = true;
                postWindowMessage(w, kMsgQuit, 0, 0);
            }
        });
    };
    int innerResult = -5;
    outer.onFirstPaint = [&] {
        innerResult = runModalDialog(probeSpec(inner, currentDialogWindow()));
        destroyedOrder.push_back(dialogDepth());
    };
    const int result = runModalDialog(probeSpec(outer, parent.window));
    returned = true;
    if (poster.joinable())
        poster.join();
    EXPECT_FALSE(stuck) << "the dialogs' loops did not end at the quit";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(innerResult, 0);
    EXPECT_EQ(destroyedOrder, std::vector<int>{1});  // the inner one was gone while the outer still ran
    EXPECT_FALSE(isDialogOpen());
    EXPECT_TRUE(isQuitPosted());
    EXPECT_EQ(parent.count(kMsgBringToFront), 0);
}

TEST_F(DialogHostTest, ApplicationMessagesPostedToTheDialogReachItsMessageCallback) {
    Probe probe;
    probe.onFirstPaint = [&] {
        postWindowMessage(currentDialogWindow(), kMsgUploadProfile, 1, 2);
        postWindowMessage(currentDialogWindow(), kWmApp + 0x40, 0, 0);
    };
    DialogSpec spec = probeSpec(probe);
    spec.onMessage = [](uint32_t message, uintptr_t, intptr_t, void* user) {
        auto& p = *static_cast<Probe*>(user);
        p.messages.push_back(message);
        if (message == kWmApp + 0x40)
            closeDialog(5);
        return true;
    };
    EXPECT_EQ(runModalDialog(spec), 5);
    EXPECT_EQ(probe.messages, (std::vector<uint32_t>{kMsgUploadProfile, kWmApp + 0x40}));
}

TEST(DialogHostWithoutWindows, NoWindowSystemGivesMinusOneAndCloseStillStoresTheCode) {
    DialogSpec spec;
    spec.width = 100;
    spec.height = 100;
    EXPECT_EQ(runModalDialog(spec), -1);
    EXPECT_FALSE(isDialogOpen());
    resetLastDialogClose();
    closeDialog(6);
    EXPECT_TRUE(lastDialogClose().requested);
    EXPECT_EQ(lastDialogClose().code, 6);
}

}  // namespace
}  // namespace qv
