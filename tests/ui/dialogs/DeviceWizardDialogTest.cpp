// The wizard as a real dialog over a parent window on SDL's offscreen video
// driver: the GuiHost's devices, restart and tone, clicks and a held button
// arriving as the window system delivers them, and the refresh message to
// the parent after Apply.

#include "ui/dialogs/DeviceWizardDialog.h"

#include "audio/AudioStatus.h"
#include "ui/AppMessages.h"
#include "ui/DialogHost.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/dialogs/DeviceWizard.h"

#include "support/TempDir.h"
#include "support/WindowFixture.h"

#include <functional>
#include <vector>

namespace qv {
namespace {

constexpr uint32_t kScriptTimer = 77;

// The main window's stand-in: records application messages and runs one
// step of a script on each tick of its timer (the ticks arrive while the
// wizard's nested loop runs).
struct Parent {
    std::vector<uint32_t> messages;
    std::vector<std::function<bool()>> script;  // a step returns true when done
    size_t next = 0;
    static intptr_t proc(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t, void* user) {
        auto& p = *static_cast<Parent*>(user);
        if (message >= kWmApp)
            p.messages.push_back(message);
        if (message == kWmTimer && wParam == kScriptTimer && p.next < p.script.size() && p.script[p.next]())
            ++p.next;
        return 0;
    }
};

class DeviceWizardDialogTest : public test::WindowFixture {};

TEST_F(DeviceWizardDialogTest, AUserPicksTheServerTestsItAndApplies) {
    dialogEntries() = DialogEntries{};
    installGuiHooks();
    ASSERT_EQ(dialogEntries().openDeviceWizard, &openDeviceWizard);

    test::TempDir folder;
    GuiHost host;
    host.settingsFolder = folder.path();
    DeviceInfo jack;
    jack.paIndex = 5;
    jack.hostApiType = 12;
    jack.hostApiName = "JACK";
    jack.maxOutputChannels = 4;
    PhysicalDevice server;
    server.hardwareName = "system";
    server.apis = {jack};
    host.setDevices({server});
    int restarts = 0;
    host.reopenAudioFn = [&](int, int, int) {
        ++restarts;
        gAudioReady = 1;
        gAudioInitCount.fetch_add(1);
        return true;
    };
    std::vector<std::array<int, 3>> tones;
    host.testToneFn = [&](int channel, int ms, float, int stream) { tones.push_back({channel, ms, stream}); };
    gSettings.replace(HapticSettings());
    gSettings.takeDirty();

    Parent parent;
    WindowHandle main = makeWindow(900, 700, Parent::proc, &parent, "main");
    ASSERT_NE(main, nullptr);
    // Footer buttons of the 560 x 570 client at 96 dpi.
    const auto click = [&](int x, int y) {
        pushClick(currentDialogWindow(), x, y);
        return true;
    };
    const int footer = 570 - 28;
    parent.script = {
        [&] { return currentDialogWindow() != nullptr; },
        [&] { return click(486, footer); },                 // Next
        [&] { return click(486, footer); },                 // Next: the trial restart
        [&] { return restarts == 1; },
        [&] { pushMouseButton(currentDialogWindow(), true, 280, 128 + 37); return true; },  // hold "all"
        [&] { return !tones.empty(); },
        [&] { pushMouseButton(currentDialogWindow(), false, 280, 128 + 37); return true; },
        [&] { return tones.size() == 2; },
        [&] { return click(486, footer); },                 // Apply
    };
    setWindowTimer(main, kScriptTimer, 30);
    dialogEntries().openDeviceWizard(main, &host);
    killWindowTimer(main, kScriptTimer);
    pumpUntil([&] { return !parent.messages.empty(); }, 2000);

    EXPECT_EQ(parent.next, parent.script.size());
    ASSERT_EQ(tones.size(), 2u);
    EXPECT_EQ(tones[0], (std::array<int, 3>{-1, 500, 0}));
    EXPECT_EQ(tones[1][1], 0);
    EXPECT_EQ(std::count(parent.messages.begin(), parent.messages.end(), kMsgRefreshEffects), 1);
    EXPECT_TRUE(gSettings.takeDirty());
    const HapticSettings saved = gSettings.snapshot();
    EXPECT_EQ(textOf(saved.devices[0].name), "system");
    EXPECT_EQ(textOf(saved.devices[0].api), "JACK");
    EXPECT_EQ(saved.audioDeviceIndex, 5);
    EXPECT_NE(test::readFile(folder.file(kWizardLogFileName)).find("Wizard exited. applied=true"), std::string::npos);
    destroyWindow(main);
    gSettings.replace(HapticSettings());
    resetAudioStatus();
}

TEST_F(DeviceWizardDialogTest, TheWizardClosesItselfWhenTheProgramIsEnding) {
    test::TempDir folder;
    GuiHost host;
    host.settingsFolder = folder.path();
    std::atomic<int32_t> quit{0};
    host.quitRequestedFlag = &quit;
    Parent parent;
    WindowHandle main = makeWindow(900, 700, Parent::proc, &parent, "main");
    ASSERT_NE(main, nullptr);
    parent.script = {
        [&] { return currentDialogWindow() != nullptr; },
        [&] { quit = 1; return true; },  // a quit that closed no dialog
    };
    setWindowTimer(main, kScriptTimer, 30);
    openDeviceWizard(main, &host);  // returns: the wizard closed itself
    killWindowTimer(main, kScriptTimer);
    EXPECT_EQ(parent.next, parent.script.size());
    EXPECT_EQ(std::count(parent.messages.begin(), parent.messages.end(), kMsgRefreshEffects), 0);
    // Asked again while the program ends, it opens nothing.
    openDeviceWizard(main, &host);
    EXPECT_FALSE(isDialogOpen());
    destroyWindow(main);
}

}  // namespace
}  // namespace qv
