// The quorvane program on a desktop with a real window manager (Xvfb and
// openbox), used the way people use it: clicks and keys through the X
// server's input extension, as from the mouse and the keyboard. The "..."
// menu opened and closed with Escape a hundred times leaves the program
// running; a dialog closed with Escape leaves the next button click working;
// F1's Settings dialog takes clicks after another dialog and after a file
// dialog, which is attached to the main window; an X server that ends ends
// the program as a close does.

#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/XTestDriver.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>

// Last: Xlib's macros (None, Status) clash with names of the headers above.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace qv::test {
namespace {

// Client points at 96 dpi on the 1500-pixel-wide first window.
constexpr int kMenuButtonX = 1500 - 222, kBarY = 82;  // "..." in the profile bar
constexpr int kZoneSetupX = 179, kChannelRoutingX = 292;
constexpr int kTipsButtonX = 443, kTipsButtonY = 456;  // "Shortcuts & Tips" in Settings (520 x 480)
constexpr int kMenuItemX = 100, kExportItemY = 148;    // "Export" in the "..." menu
constexpr int kPauseMs = 100;
constexpr int kMaximiseButtonX = 1500 - 14 - 28 - 8 - 14, kCaptionButtonY = 28;

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

class ProgramDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb.start("1920x1080x24", WindowManager::Openbox)) << xvfb.error();
        x = std::make_unique<XTestDriver>(xvfb.display());
        ASSERT_TRUE(x->ok());
        // A device is configured, so no wizard opens by itself.
        std::filesystem::create_directories(home.path() + "config/QuorVane");
        ASSERT_TRUE(writeFile(home.path() + "config/QuorVane/haptic_config.ini",
                              "[HapticEngine]\naudioDeviceIndex=0\n"));
    }
    void TearDown() override {
        if (program.isRunning()) {
            program.signal(SIGINT);
            program.wait(20000);
        }
        x.reset();
    }
    void startProgram(std::vector<std::pair<std::string, std::string>> extra = {}) {
        std::vector<std::pair<std::string, std::string>> env = {{"XDG_CONFIG_HOME", home.path() + "config"},
                                                                {"HOME", home.path()},
                                                                {"QUORVANE_SHM_DIR", home.path() + "shm"},
                                                                {"DISPLAY", xvfb.display()},
                                                                {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                                                                // Every click here is a first click: a person
                                                                // opening the menu again at once makes a
                                                                // double click, which opens nothing.
                                                                {"SDL_MOUSE_DOUBLE_CLICK_TIME", "1"}};
        env.insert(env.end(), extra.begin(), extra.end());
        ASSERT_TRUE(program.start({QV_QUORVANE_PATH}, env, home.file("out.txt")));
        ASSERT_TRUE(eventually([&] { return (mainWindow = findViewable("Quor Vane  v", false)) != 0; }))
            << program.output() << program.errors();
        // Drawn and focused: what a person waits for before the first click.
        ASSERT_TRUE(eventually([&] { return focused(mainWindow); })) << program.errors();
    }

    // A viewable window whose title is `title` (or starts with it), searched
    // through the window manager's frames.
    Window findViewable(const std::string& title, bool exact = true) { return x->findInTree(title, exact, true, 3); }
    // The window's client area on the screen.
    Geometry geometry(Window w) {
        Geometry g;
        x->geometry(w, &g.x, &g.y, &g.width, &g.height);
        return g;
    }
    bool focused(Window w) {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(x->display(), &focus, &revert);
        return focus == w;
    }
    void click(Window w, int cx, int cy) { x->click(w, cx, cy); }
    void key(KeySym sym) { x->key(sym); }
    // Opens the dialog `title` with `open` and waits until it is shown and
    // has the keyboard, as a person would before pressing a key; the menu
    // leaves the keyboard with the main window.
    Window opens(const std::string& title, const std::function<void()>& open) {
        open();
        Window w = 0;
        const bool menu = title == "Quor Vane";
        eventually([&] { return (w = findViewable(title)) != 0 && focused(menu ? mainWindow : w); }, 10000);
        return w;
    }
    // Waits until the dialog is gone and its parent (the main window unless
    // told) has the keyboard again.
    bool closes(const std::string& title, Window parent = 0) {
        return eventually([&] { return findViewable(title) == 0 && focused(parent ? parent : mainWindow); }, 10000);
    }

    XvfbServer xvfb;
    std::unique_ptr<XTestDriver> x;
    TempDir home;
    ChildProcess program;
    Window mainWindow = 0;
};

TEST_F(ProgramDesktopTest, TheMenuOpenedAndClosedWithEscapeAHundredTimesLeavesTheProgramRunning) {
    startProgram();
    for (int round = 1; round <= 100; ++round) {
        ASSERT_NE(opens("Quor Vane", [&] { click(mainWindow, kMenuButtonX, kBarY); }), 0u)
            << "round " << round << "\n" << program.errors();
        // A person's pause: the key then comes while the program waits for
        // input, as it does on a desktop.
        std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
        key(XK_Escape);
        ASSERT_TRUE(closes("Quor Vane")) << "round " << round;
        ASSERT_TRUE(program.isRunning()) << "round " << round << "\n" << program.errors();
    }
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(20000));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    EXPECT_EQ(program.errors().find("X Error"), std::string::npos) << program.errors();
}

TEST_F(ProgramDesktopTest, AClickOpensTheNextDialogAfterOneClosedWithEscape) {
    startProgram();
    ASSERT_NE(opens("Channel Routing", [&] { click(mainWindow, kChannelRoutingX, kBarY); }), 0u) << program.errors();
    key(XK_Escape);
    ASSERT_TRUE(closes("Channel Routing"));
    ASSERT_NE(opens("Zone Setup", [&] { click(mainWindow, kZoneSetupX, kBarY); }), 0u)
        << "the main window still holds the mouse";
    key(XK_Escape);
    ASSERT_TRUE(closes("Zone Setup"));
    EXPECT_TRUE(program.isRunning()) << program.errors();
}

TEST_F(ProgramDesktopTest, SettingsTakeClicksAfterAnotherDialogAndAfterAFileDialog) {
    // A file dialog program that records how it was started and is cancelled.
    const std::string bin = home.path() + "bin";
    std::filesystem::create_directories(bin);
    ASSERT_TRUE(writeFile(bin + "/zenity", "#!/bin/sh\necho \"$@\" > " + home.file("zenity-args.txt") + "\nexit 1\n"));
    ::chmod((bin + "/zenity").c_str(), 0755);
    startProgram({{"PATH", bin + ":/usr/bin:/bin"}});

    ASSERT_NE(opens("Zone Setup", [&] { click(mainWindow, kZoneSetupX, kBarY); }), 0u);
    key(XK_Escape);
    ASSERT_TRUE(closes("Zone Setup"));
    Window settings = opens("Settings", [&] { key(XK_F1); });
    ASSERT_NE(settings, 0u);
    ASSERT_NE(opens("Shortcuts & Tips", [&] { click(settings, kTipsButtonX, kTipsButtonY); }), 0u)
        << "Settings took no click after another dialog";
    key(XK_Escape);
    ASSERT_TRUE(closes("Shortcuts & Tips", settings));
    key(XK_Escape);
    ASSERT_TRUE(closes("Settings"));

    // Export through the "..." menu: the file dialog runs and is cancelled.
    const Window menu = opens("Quor Vane", [&] { click(mainWindow, kMenuButtonX, kBarY); });
    ASSERT_NE(menu, 0u);
    click(menu, kMenuItemX, kExportItemY);
    ASSERT_TRUE(eventually([&] { return !readFile(home.file("zenity-args.txt")).empty(); }, 10000))
        << program.output() << program.errors();
    EXPECT_NE(readFile(home.file("zenity-args.txt")).find("--attach=" + std::to_string(mainWindow)), std::string::npos)
        << readFile(home.file("zenity-args.txt"));
    ASSERT_TRUE(closes("Quor Vane"));

    settings = opens("Settings", [&] { key(XK_F1); });
    ASSERT_NE(settings, 0u);
    EXPECT_NE(opens("Shortcuts & Tips", [&] { click(settings, kTipsButtonX, kTipsButtonY); }), 0u)
        << "Settings took no click after a file dialog";
    EXPECT_TRUE(program.isRunning()) << program.errors();
}

TEST_F(ProgramDesktopTest, ADialogOverTheMaximisedWindowIsCentredOnIt) {
    startProgram();
    click(mainWindow, kMaximiseButtonX, kCaptionButtonY);
    ASSERT_TRUE(eventually([&] { return geometry(mainWindow).width == 1920; }, 10000));
    const Window settings = opens("Settings", [&] { key(XK_F1); });
    ASSERT_NE(settings, 0u);
    const Geometry g = geometry(settings);
    // Its client area; the window manager's title bar sits above it.
    EXPECT_NEAR(g.x + g.width / 2, 960, 4);
    EXPECT_NEAR(g.y + g.height / 2, 540, 40);
}

TEST_F(ProgramDesktopTest, AnXServerThatEndsEndsTheProgramCleanlyWithItsSettingsSaved) {
    startProgram();
    // The test's own connection goes first: Xlib's handlers of this test
    // process would end it with the server.
    x.reset();
    xvfb.stop();
    ASSERT_TRUE(program.wait(20000)) << program.errors();
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    // The settings were written at the end (the test wrote one line of them).
    EXPECT_NE(readFile(home.path() + "config/QuorVane/haptic_config.ini").find("masterGain="), std::string::npos);
    EXPECT_NE(program.errors().find("the connection to the X display was lost"), std::string::npos)
        << program.errors();
    EXPECT_NE(readFile(home.path() + "config/QuorVane/window.ini").find("Placement="), std::string::npos);
}

}  // namespace
}  // namespace qv::test
