// The keyboard shortcuts of the quorvane program under a real window manager
// (openbox on a private Xvfb), typed through the X server's test extension
// as a person would: Tab and Shift+Tab move the cards' focus, Space, the
// keypad's + and -, and the number keys edit the effects, the changes reach
// the profile file on disk, and Ctrl+S saves at once.

#include "settings/HapticSettings.h"
#include "settings/ProfileFile.h"
#include "ui/DesktopProgramFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

// Last: Xlib's macros (None, Status) clash with names of the headers above.
#include <X11/keysym.h>

namespace qv {
namespace {

using test::eventually;

// One openbox screen for the suite; every test runs its own program in a
// settings folder of its own, with the iRacing "default" profile saved
// there, and ends it.
class ShortcutKeysXvfbTest : public test::DesktopProgramFixture<> {
protected:
    void SetUp() override {
        hapticSettings.effectProfiles[kIRacing].roadVibration = 0.5f;
        DesktopProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(saveProfile(hapticSettings, folder(), kIRacing, kDefaultProfileName));
    }
    // The iRacing "default" profile as it is on disk now.
    bool savedProfile(EffectProfile& out) {
        HapticSettings s;
        if (!loadProfile(s, folder(), kIRacing, kDefaultProfileName))
            return false;
        out = s.effectProfiles[kIRacing];
        return true;
    }
};

TEST_F(ShortcutKeysXvfbTest, TheListedKeysEditTheFocusedCardAndTheEffectsAndReachTheProfileFile) {
    ASSERT_TRUE(startProgram()) << diagnostics();
    // Tab, Tab, Shift+Tab: the first card, Road Texture. Space turns it off,
    // the keypad's + twice and - once raise its volume by one step.
    desktop->key(XK_Tab);
    desktop->key(XK_Tab);
    desktop->keyWith({XK_Shift_L}, XK_Tab);
    desktop->key(XK_space);
    desktop->key(XK_KP_Add);
    desktop->key(XK_KP_Add);
    desktop->key(XK_minus);
    // 3 and 7: the third card (Kerb) and the seventh (Wheel Slip).
    desktop->key(XK_3);
    desktop->key(XK_7);
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

    desktop->keyWith({XK_Control_L}, XK_s);
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(ini); })) << diagnostics();
}

}  // namespace
}  // namespace qv
