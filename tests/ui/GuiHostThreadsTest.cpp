// GuiHost and its GUI thread: start and stop in every order, the device-setup
// request made before the window exists, the device list. Runs under
// ThreadSanitizer too.

#include "support/Eventually.h"
#include "ui/AppMessages.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace qv {
namespace {

// ---- GuiHost on its own thread ----

class GuiHostThreadTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 1); }
    void TearDown() override { unsetenv("SDL_VIDEODRIVER"); }
};

// A stop that comes before the window is published must still reach it:
// missed, the window runs on and stop() waits for the thread for ever. The
// stop runs beside the test, so such a hang fails the test instead of
// holding it; the window is then ended by hand so the thread can be joined.
TEST_F(GuiHostThreadTest, StopBeforeTheWindowIsShownEndsTheThread) {
    for (int i = 0; i < 5; ++i) {
        GuiHost host;
        std::atomic<int32_t> quit{0};
        host.quitRequestedFlag = &quit;
        host.start();
        if (i % 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(i * 20));  // the stop at another point of the start
        std::atomic<bool> stopped{false};
        std::thread stopper([&] {
            host.stop();
            stopped = true;
        });
        const bool ended = test::eventually([&] { return stopped.load(); });
        if (!ended) {
            if (WindowHandle window = host.window())
                postWindowMessage(window, kMsgQuit, 0, 0);
        }
        stopper.join();
        EXPECT_TRUE(ended) << "stop() did not end the GUI thread (pass " << i << ")";
        EXPECT_EQ(host.window(), nullptr);
    }
}

TEST_F(GuiHostThreadTest, ADeviceSetupRequestBeforeTheWindowExistsOpensTheWizardOnceItDoes) {
    static std::atomic<int> wizards{0};
    wizards = 0;
    dialogEntries().openDeviceWizard = [](WindowHandle, GuiHost*) { ++wizards; };
    GuiHost host;
    std::atomic<int32_t> quit{0};
    host.quitRequestedFlag = &quit;
    host.start();
    host.requestDeviceSetup();  // main asks right after start: the window may not exist yet
    EXPECT_TRUE(test::eventually([] { return wizards.load() > 0; }));
    host.stop();
    dialogEntries() = DialogEntries{};
    EXPECT_EQ(wizards.load(), 1);
}

TEST_F(GuiHostThreadTest, WithoutADisplayTheHostRunsOnWithoutAWindow) {
    unsetenv("SDL_VIDEODRIVER");
    const char* display = getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    const std::string savedWayland = wayland ? wayland : "";
    unsetenv("WAYLAND_DISPLAY");
    GuiHost host;
    host.start();
    EXPECT_TRUE(test::eventually([&] { return host.hasNoWindow(); }));
    host.requestDeviceSetup();
    host.bringToFront();
    host.stop();
    if (!saved.empty())
        setenv("DISPLAY", saved.c_str(), 1);
    if (!savedWayland.empty())
        setenv("WAYLAND_DISPLAY", savedWayland.c_str(), 1);
}

TEST(GuiHostDevices, SetDevicesKeepsACopyAndEmptyCallablesAreSkipped) {
    GuiHost host;
    std::vector<PhysicalDevice> list(2);
    list[0].hardwareName = "A";
    list[1].hardwareName = "B";
    host.setDevices(list);
    list[0].hardwareName = "changed";
    ASSERT_EQ(host.devices().size(), 2u);
    EXPECT_EQ(host.devices()[0].hardwareName, "A");
    host.playTestTone(0, 100, 0.5f, 0);  // empty: nothing happens
    int calls = 0;
    host.testToneFn = [&](int channel, int duration, float, int) { calls += channel == 3 && duration == 250; };
    host.playTestTone(3, 250, 0.5f, 1);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace qv
