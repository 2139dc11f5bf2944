// The keys the tips dialog lists, through the main window's key path on SDL's
// dummy video driver with the real bands plugged in: the cards' focus, Space,
// + and -, 1 to 7 and Ctrl+S, and nothing of it while a dialog is open.
//
// The script runs inside the window's loop as the device wizard, which the
// window opens for the device-setup request made before it existed.

#include "app/AppGlobals.h"
#include "settings/LiveSettings.h"
#include "support/TempDir.h"
#include "support/WindowFixture.h"
#include "ui/AppMessages.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/MainWindow.h"
#include "ui/panels/EffectCards.h"
#include "ui/panels/MainWindowBands.h"
#include "ui/panels/ProfileActions.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

namespace qv {
namespace {

std::function<void(WindowHandle)> gScript;

class MainWindowKeysTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        gSettings.replace(HapticSettings{});
        gSettings.takeDirty();
        resetAppGlobals();
        setProfileBaseFolder(dir.path());
        installGuiHooks();
        resetMainWindowBands();
        dialogEntries().openDeviceWizard = [](WindowHandle w, GuiHost*) {
            auto script = std::move(gScript);
            gScript = nullptr;
            if (script)
                script(w);
            postWindowMessage(w, kMsgQuit, 0, 0);
        };
        host.quitRequestedFlag = &quit;
    }
    void TearDown() override {
        gScript = nullptr;
        resetMainWindowBands();
        dialogEntries() = DialogEntries{};
        setProfileBaseFolder({});
        releaseGuiResources();
        gSettings.replace(HapticSettings{});
        gSettings.takeDirty();
        resetAppGlobals();
        WindowFixture::TearDown();
    }

    void run(std::function<void(WindowHandle)> script) {
        gScript = std::move(script);
        host.requestDeviceSetup();
        ASSERT_TRUE(runMainWindow(&host));
        EXPECT_EQ(gScript, nullptr) << "the script never ran";
    }

    static EffectProfile iracing() { return gSettings.snapshot().effectProfiles[kIRacing]; }

    test::TempDir dir;
    GuiHost host;
    std::atomic<int32_t> quit{0};
};

// One key and what it leaves behind.
struct KeyStep {
    const char* what;
    std::function<void(WindowHandle)> press;
    int focus;                         // the focused card afterwards
    uint8_t enabled[kEffectCount];     // effectEnabled of iRacing afterwards
    float road;                        // roadVibration afterwards
    bool dirty;                        // the change was marked for saving
};

TEST_F(MainWindowKeysTest, TheListedKeysMoveTheFocusAndEditTheFocusedCardAsTheMouseDoes) {
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].roadVibration = 0.5f; }, false);
    const auto key = [](SDL_Keycode k, uint16_t mod = 0) {
        return [k, mod](WindowHandle w) { pushKey(w, k, mod); };
    };
    const auto text = [](const char* t) { return [t](WindowHandle w) { pushText(w, t); }; };
    // iRacing shows seven cards: Road, Suspension, Kerb, Engine, ABS, Gear Change, Wheel Slip.
    const KeyStep steps[] = {
        {"Space without a focus", key(SDLK_SPACE), -1, {1, 1, 1, 1, 1, 1, 1}, 0.5f, false},
        {"+ without a focus", text("+"), -1, {1, 1, 1, 1, 1, 1, 1}, 0.5f, false},
        {"Tab", key(SDLK_TAB), 0, {1, 1, 1, 1, 1, 1, 1}, 0.5f, false},
        {"Tab", key(SDLK_TAB), 1, {1, 1, 1, 1, 1, 1, 1}, 0.5f, false},
        {"Shift+Tab", key(SDLK_TAB, KMOD_LSHIFT), 0, {1, 1, 1, 1, 1, 1, 1}, 0.5f, false},
        {"Up wraps", key(SDLK_UP), 6, {1, 1, 1, 1, 1, 1, 1}, 0.5f, false},
        {"Down wraps", key(SDLK_DOWN), 0, {1, 1, 1, 1, 1, 1, 1}, 0.5f, false},
        {"Space", key(SDLK_SPACE), 0, {0, 1, 1, 1, 1, 1, 1}, 0.5f, true},
        {"+", text("+"), 0, {0, 1, 1, 1, 1, 1, 1}, 0.55f, true},
        {"+ again", text("+"), 0, {0, 1, 1, 1, 1, 1, 1}, 0.6f, true},
        {"-", text("-"), 0, {0, 1, 1, 1, 1, 1, 1}, 0.55f, true},
        {"Space again", key(SDLK_SPACE), 0, {1, 1, 1, 1, 1, 1, 1}, 0.55f, true},
        {"3: the third card", key(SDLK_3), 0, {1, 1, 0, 1, 1, 1, 1}, 0.55f, true},
        {"keypad 7: the last card", key(SDLK_KP_7), 0, {1, 1, 0, 1, 1, 1, 0}, 0.55f, true},
        {"8: no such card", key(SDLK_8), 0, {1, 1, 0, 1, 1, 1, 0}, 0.55f, false},
        {"Ctrl+3 is no number key", key(SDLK_3, KMOD_LCTRL), 0, {1, 1, 0, 1, 1, 1, 0}, 0.55f, false},
    };
    std::vector<std::string> failures;
    run([&](WindowHandle w) {
        for (const KeyStep& step : steps) {
            gSettings.takeDirty();
            step.press(w);
            pumpMessages(20);  // dispatches every event waiting
            const EffectProfile p = iracing();
            const bool same = effectCardPanel().focusCard == step.focus &&
                              std::equal(p.effectEnabled, p.effectEnabled + kEffectCount, step.enabled) &&
                              std::abs(p.roadVibration - step.road) < 1e-5f && gSettings.isDirty() == step.dirty;
            if (!same)
                failures.push_back(std::string(step.what) + ": focus " + std::to_string(effectCardPanel().focusCard) +
                                   ", road " + std::to_string(p.roadVibration) + ", dirty " +
                                   std::to_string(gSettings.isDirty()));
        }
    });
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
}

TEST_F(MainWindowKeysTest, VolumeKeysStopAtTheEndsOfTheRangeAndMarkNothingThere) {
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].engineRumble = 0.98f; }, false);
    bool dirtyAtTop = true;
    float top = 0, bottom = 1;
    run([&](WindowHandle w) {
        for (int i = 0; i < 4; ++i)  // Engine, the fourth card
            pushKey(w, SDLK_TAB);
        pushText(w, "+");
        pumpUntil([&] { return iracing().engineRumble == 1.0f; });
        gSettings.takeDirty();
        pushText(w, "+");
        pumpMessages(20);
        top = iracing().engineRumble;
        dirtyAtTop = gSettings.isDirty();
        for (int i = 0; i < 25; ++i)
            pushText(w, "-");
        pumpUntil([&] { return iracing().engineRumble == 0.0f; });
        bottom = iracing().engineRumble;
    });
    EXPECT_EQ(top, 1.0f);
    EXPECT_FALSE(dirtyAtTop) << "a key that changed nothing marks nothing for saving";
    EXPECT_EQ(bottom, 0.0f);
}

TEST_F(MainWindowKeysTest, CtrlSAsksTheMainThreadForASaveNowAndPlainSDoesNot) {
    int afterPlain = -1, afterControl = -1;
    run([&](WindowHandle w) {
        pushKey(w, SDLK_s);
        pumpMessages(20);
        afterPlain = gSaveRequested.load();
        pushKey(w, SDLK_s, KMOD_RCTRL);
        pumpUntil([] { return gSaveRequested.load() != 0; });
        afterControl = gSaveRequested.load();
    });
    EXPECT_EQ(afterPlain, 0);
    EXPECT_EQ(afterControl, 1);
}

TEST_F(MainWindowKeysTest, WhileADialogIsOpenTheKeysAreNotTheMainWindows) {
    static bool changed;
    changed = true;
    run([&](WindowHandle w) {
        DialogSpec spec;
        spec.width = spec.height = 100;
        spec.parent = w;
        spec.onPaint = [](DrawContext&, float, float, void*) {
            static int painted = 0;
            if (painted++)
                return;
            WindowHandle main = gMainWindow.load();
            const HapticSettings before = gSettings.snapshot();
            for (int vk : {kVkTab, kVkSpace, int('1'), int('S')})
                sendWindowMessage(main, kWmKeyDown, static_cast<uintptr_t>(vk), 0);
            sendWindowMessage(main, kWmChar, '+', 0);
            const HapticSettings after = gSettings.snapshot();
            changed = effectCardPanel().focusCard != -1 || gSaveRequested.load() != 0 ||
                      std::memcmp(&before, &after, sizeof after) != 0;
            closeDialog(0);
        };
        runModalDialog(spec);
    });
    EXPECT_FALSE(changed);
}

}  // namespace
}  // namespace qv
