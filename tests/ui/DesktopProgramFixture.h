#pragma once
// The quorvane program under a real window manager: one private Xvfb with
// openbox for a suite, and for every test a home and settings folder of its
// own (a device saved, so the device wizard does not open by itself) and
// the program started there on that display, ended after the test.
// `Driver` is the test's client on the display: test::XTestDriver or a class
// that adds to it. The test target defines QV_QUORVANE_PATH.
// Free of Xlib's headers; windows are the X ids they are.

#include "settings/ConfigIni.h"
#include "settings/HapticSettings.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/XTestDriver.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

namespace qv::test {

// The main window's client layout at 96 dpi (the bands' constants).
constexpr int kCaptionY = 28;
inline int closeButtonX(int width) { return width - 14 - 14; }
inline int minimiseButtonX(int width) { return width - 14 - 2 * 36 - 14; }
inline int maximiseButtonX(int width) { return width - 14 - 36 - 14; }

template <typename Driver = XTestDriver>
class DesktopProgramFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new XvfbServer;
        started = server->start("1920x1080x24", WindowManager::Openbox);
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    // Saves `hapticSettings` (a suite's SetUp may add to them before it
    // calls this).
    void SetUp() override {
        ASSERT_TRUE(started) << server->error();
        desktop = std::make_unique<Driver>(server->display());
        ASSERT_TRUE(desktop->ok());
        ::mkdir((home.path() + "config").c_str(), 0700);
        ::mkdir(folder().c_str(), 0700);
        hapticSettings.audioDeviceIndex = 0;
        std::ofstream(folder() + "haptic_config.ini") << configIniText(hapticSettings);
    }
    void TearDown() override {
        if (program.isRunning()) {
            program.signal(SIGINT);
            if (!program.wait(20000))
                program.signal(SIGKILL);
        }
    }
    std::string folder() const { return home.path() + "config/QuorVane/"; }
    std::string diagnostics() { return program.output() + program.errors(); }

    // Starts the program with `bus` as its session bus ("disabled:": none)
    // and waits until its main window is shown, active and has the keyboard.
    bool startProgram(const std::string& bus = "disabled:") {
        if (!program.start({QV_QUORVANE_PATH},
                           {{"XDG_CONFIG_HOME", home.path() + "config"},
                            {"HOME", home.path()},
                            {"QUORVANE_SHM_DIR", home.path() + "shm"},
                            {"DISPLAY", server->display()},
                            {"DBUS_SESSION_BUS_ADDRESS", bus}},
                           home.file("out.txt")))
            return false;
        return eventually([&] {
            window = desktop->findClient("Quor Vane  v");
            return window != 0 && desktop->viewable(window) && desktop->activeWindow() == window &&
                   desktop->focus() == window;
        });
    }
    // The main window's client size.
    int width() { return size().first; }
    int height() { return size().second; }
    // The state holds now and still after a few seconds: nothing changes it
    // back by itself.
    template <typename Condition>
    bool holds(Condition condition) {
        if (!eventually(condition))
            return false;
        std::this_thread::sleep_for(std::chrono::seconds(3));
        return condition();
    }

    static inline XvfbServer* server = nullptr;
    static inline bool started = false;
    HapticSettings hapticSettings;  // what SetUp saves
    std::unique_ptr<Driver> desktop;
    TempDir home;
    ChildProcess program;
    unsigned long window = 0;  // the main window, once startProgram found it

private:
    std::pair<int, int> size() {
        int x = 0, y = 0, w = 0, h = 0;
        desktop->geometry(window, &x, &y, &w, &h);
        return {w, h};
    }
};

}  // namespace qv::test
