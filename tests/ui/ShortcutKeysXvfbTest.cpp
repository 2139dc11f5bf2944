// The keyboard shortcuts of the quorvane program under a real window manager
// (openbox on a private Xvfb), typed through the X server's test extension
// as a person would: Tab and Shift+Tab move the cards' focus, Space, the
// keypad's + and -, and the number keys edit the effects, the changes reach
// the profile file on disk, and Ctrl+S saves at once.

#include "settings/ConfigIni.h"
#include "settings/HapticSettings.h"
#include "settings/ProfileFile.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/XTestDriver.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

// Last: Xlib's macros (None, Status) clash with names of the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace qv {
namespace {

using test::eventually;

class ShortcutKeysXvfbTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new test::XvfbServer;
        started = server->start("1920x1080x24", test::WindowManager::Openbox);
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(started) << server->error();
        keyboard = std::make_unique<test::XTestDriver>(server->display());
        ASSERT_TRUE(keyboard->ok());
        ::mkdir((home.path() + "config").c_str(), 0700);
        ::mkdir(folder().c_str(), 0700);
        // A device is configured, so the device wizard does not open by itself.
        HapticSettings settings;
        settings.audioDeviceIndex = 0;
        settings.effectProfiles[kIRacing].roadVibration = 0.5f;
        std::ofstream(folder() + "haptic_config.ini") << configIniText(settings);
        ASSERT_TRUE(saveProfile(settings, folder(), kIRacing, kDefaultProfileName));
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

    bool startProgram() {
        if (!program.start({QV_QUORVANE_PATH},
                           {{"XDG_CONFIG_HOME", home.path() + "config"},
                            {"HOME", home.path()},
                            {"QUORVANE_SHM_DIR", home.path() + "shm"},
                            {"DISPLAY", server->display()},
                            {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}},
                           home.file("out.txt")))
            return false;
        // The window is shown and has the keyboard focus.
        return eventually([&] {
            const unsigned long w = keyboard->findInTree("Quor Vane  v", false, true, 3);
            if (w == 0)
                return false;
            ::Window focus = 0;
            int revert = 0;
            XGetInputFocus(keyboard->display(), &focus, &revert);
            return focus == w;
        });
    }
    // A key pressed while a modifier is held.
    void keyWith(unsigned long modifier, unsigned long keySym) {
        Display* d = keyboard->display();
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, modifier), True, CurrentTime);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, keySym), True, CurrentTime);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, keySym), False, CurrentTime);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, modifier), False, CurrentTime);
        XSync(d, False);
    }
    // The iRacing "default" profile as it is on disk now.
    bool savedProfile(EffectProfile& out) {
        HapticSettings s;
        if (!loadProfile(s, folder(), kIRacing, kDefaultProfileName))
            return false;
        out = s.effectProfiles[kIRacing];
        return true;
    }

    static inline test::XvfbServer* server = nullptr;
    static inline bool started = false;
    std::unique_ptr<test::XTestDriver> keyboard;
    test::TempDir home;
    test::ChildProcess program;
};

TEST_F(ShortcutKeysXvfbTest, TheListedKeysEditTheFocusedCardAndTheEffectsAndReachTheProfileFile) {
    ASSERT_TRUE(startProgram()) << diagnostics();
    // Tab, Tab, Shift+Tab: the first card, Road Texture. Space turns it off,
    // the keypad's + twice and - once raise its volume by one step.
    keyboard->key(XK_Tab);
    keyboard->key(XK_Tab);
    keyWith(XK_Shift_L, XK_Tab);
    keyboard->key(XK_space);
    keyboard->key(XK_KP_Add);
    keyboard->key(XK_KP_Add);
    keyboard->key(XK_minus);
    // 3 and 7: the third card (Kerb) and the seventh (Wheel Slip).
    keyboard->key(XK_3);
    keyboard->key(XK_7);
    EffectProfile saved{};
    EXPECT_TRUE(eventually([&] {
        return savedProfile(saved) && saved.effectEnabled[kRoadVibration] == 0 &&
               std::abs(saved.roadVibration - 0.55f) < 1e-4f && saved.effectEnabled[kKerbRumble] == 0 &&
               saved.effectEnabled[kWheelSlip] == 0;
    })) << "road on " << int(saved.effectEnabled[kRoadVibration]) << " at " << saved.roadVibration << ", kerb on "
        << int(saved.effectEnabled[kKerbRumble]) << ", slip on " << int(saved.effectEnabled[kWheelSlip]) << "\n"
        << diagnostics();
    for (int effect : {kSuspImpact, kEngineRumble, kAbsLock, kGearChange})
        EXPECT_EQ(saved.effectEnabled[effect], 1) << effect;
}

TEST_F(ShortcutKeysXvfbTest, CtrlSSavesAtOnceWithoutAChange) {
    const std::string ini = folder() + "haptic_config.ini";
    struct stat written {};
    ASSERT_EQ(::stat(ini.c_str(), &written), 0);
    ASSERT_TRUE(startProgram()) << diagnostics();
    // The audio start-up notes the devices it found, and the program saves
    // that (the file is replaced); after it nothing is left to save.
    ASSERT_TRUE(eventually([&] {
        struct stat now {};
        return ::stat(ini.c_str(), &now) == 0 && now.st_ino != written.st_ino;
    })) << diagnostics();
    std::filesystem::remove(ini);
    ASSERT_TRUE(eventually([&] { return !std::filesystem::exists(ini); }));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_FALSE(std::filesystem::exists(ini)) << "a save was still due; Ctrl+S would prove nothing";

    keyWith(XK_Control_L, XK_s);
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(ini); })) << diagnostics();
}

}  // namespace
}  // namespace qv
