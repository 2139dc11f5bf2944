// The logger key's keyboards: the combination of several, and the X11 key
// state against a private Xvfb with keys pressed through the XTEST extension.

#include "platform/Keyboard.h"
#include "platform/Output.h"
#include "platform/X11Keyboard.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <mutex>

namespace qv::test {
namespace {

class ScriptedKeys : public IKeyboard {
public:
    bool isKeyDown(char key) override {
        ++polls;
        return key == 'L' && down;
    }
    bool down = false;
    int polls = 0;
};

TEST(CombinedKeyboardTest, AKeyIsDownWhenAnyKeyboardSaysSoAndEveryKeyboardIsPolled) {
    ScriptedKeys terminal, x11;
    CombinedKeyboard keys({&terminal, &x11});
    EXPECT_FALSE(keys.isKeyDown('L'));
    x11.down = true;
    EXPECT_TRUE(keys.isKeyDown('L'));
    terminal.down = true;
    x11.down = false;
    EXPECT_TRUE(keys.isKeyDown('L'));
    terminal.down = true;
    x11.down = true;
    EXPECT_TRUE(keys.isKeyDown('L'));
    // A terminal counts its presses when polled, so none may be skipped.
    EXPECT_EQ(terminal.polls, 4);
    EXPECT_EQ(x11.polls, 4);
    EXPECT_FALSE(keys.isKeyDown('K'));
}

TEST(X11KeyboardTest, OnlyDisplaysOfThisMachineAreUsed) {
    EXPECT_TRUE(isLocalXDisplayName(":0"));
    EXPECT_TRUE(isLocalXDisplayName(":1.0"));
    EXPECT_TRUE(isLocalXDisplayName("unix:0"));
    EXPECT_TRUE(isLocalXDisplayName("/tmp/.X11-unix/X0"));
    EXPECT_FALSE(isLocalXDisplayName("localhost:10.0"));
    EXPECT_FALSE(isLocalXDisplayName("host.example.org:0"));
    EXPECT_FALSE(isLocalXDisplayName(""));

    X11Keyboard forwarded("localhost:10.0");
    EXPECT_FALSE(forwarded.isActive());
    EXPECT_EQ(forwarded.status(), "the X display localhost:10.0 is not on this machine");
    EXPECT_FALSE(forwarded.isKeyDown('L'));
}

TEST(X11KeyboardTest, WithoutADisplayEveryKeyIsUp) {
    ::unsetenv("DISPLAY");
    X11Keyboard keyboard;
    EXPECT_FALSE(keyboard.isActive());
    EXPECT_EQ(keyboard.status(), "no X display (DISPLAY is not set)");
    EXPECT_FALSE(keyboard.isKeyDown('L'));
    X11Keyboard empty("");
    EXPECT_FALSE(empty.isActive());
}

class X11KeyboardOnXvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start()) << server.error();
        presser = XOpenDisplay(server.display().c_str());
        ASSERT_NE(presser, nullptr);
        int event, error, major, minor;
        ASSERT_TRUE(XTestQueryExtension(presser, &event, &error, &major, &minor));
    }
    void TearDown() override { closePresser(); }

    void closePresser() {
        if (presser)
            XCloseDisplay(presser);
        presser = nullptr;
    }

    // Presses or releases a key as the user would; done when this returns.
    void setKey(KeySym sym, bool down) {
        XTestFakeKeyEvent(presser, XKeysymToKeycode(presser, sym), down ? True : False, 0);
        XSync(presser, False);
    }

    XvfbServer server;
    Display* presser = nullptr;
};

TEST_F(X11KeyboardOnXvfbTest, ReportsTheGlobalStateOfTheKeyWhileItIsHeld) {
    X11Keyboard keyboard(server.display().c_str(), 0);
    ASSERT_TRUE(keyboard.isActive()) << keyboard.status();
    EXPECT_FALSE(keyboard.isKeyDown('L'));

    setKey(XK_l, true);
    EXPECT_TRUE(keyboard.isKeyDown('L'));
    EXPECT_TRUE(keyboard.isKeyDown('L')) << "state, not presses: still held";
    EXPECT_TRUE(keyboard.isKeyDown('l'));
    EXPECT_FALSE(keyboard.isKeyDown('K'));
    EXPECT_FALSE(keyboard.isKeyDown('1'));

    setKey(XK_l, false);
    EXPECT_FALSE(keyboard.isKeyDown('L'));
    setKey(XK_k, true);
    EXPECT_TRUE(keyboard.isKeyDown('K'));
    EXPECT_FALSE(keyboard.isKeyDown('L'));
    setKey(XK_k, false);
}

TEST_F(X11KeyboardOnXvfbTest, TheServerIsAskedAtMostOncePerRefreshPeriod) {
    X11Keyboard keyboard(server.display().c_str(), 60000);
    ASSERT_TRUE(keyboard.isActive()) << keyboard.status();
    EXPECT_FALSE(keyboard.isKeyDown('L'));
    setKey(XK_l, true);
    EXPECT_FALSE(keyboard.isKeyDown('L')) << "the last answer, not a new round trip";
    setKey(XK_l, false);
    X11Keyboard everyTime(server.display().c_str(), 0);
    setKey(XK_l, true);
    EXPECT_TRUE(everyTime.isKeyDown('L'));
    setKey(XK_l, false);
}

TEST_F(X11KeyboardOnXvfbTest, AServerThatGoesAwayLeavesTheProgramRunningWithTheKeyUp) {
    X11Keyboard keyboard(server.display().c_str(), 0);
    ASSERT_TRUE(keyboard.isActive());
    setKey(XK_l, true);
    ASSERT_TRUE(keyboard.isKeyDown('L'));

    std::mutex mutex;
    std::string errors;
    {
        OutputCapture capture([&](OutputStream stream, std::string_view text) {
            std::lock_guard<std::mutex> lock(mutex);
            if (stream == OutputStream::StandardError)
                errors.append(text);
        });
        closePresser();
        server.stop();
        EXPECT_FALSE(keyboard.isKeyDown('L'));  // Xlib's default here would end the process
        EXPECT_FALSE(keyboard.isActive());
        EXPECT_EQ(keyboard.status(), "the X display connection was lost");
        EXPECT_FALSE(keyboard.isKeyDown('L'));
        outputFlush(2000);
    }
    EXPECT_EQ(errors, "  WARNING: the X display connection was lost; the L key now works only in the terminal\n");
}

}  // namespace
}  // namespace qv::test
