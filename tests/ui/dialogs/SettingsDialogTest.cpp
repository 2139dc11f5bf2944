// The settings dialog driven through its callbacks after one offscreen
// paint: the appearance choices reach the main window as messages, the
// toggles are stored at once (and show what is really stored when that
// fails), the four buttons reach their targets, Escape closes. The tips
// dialog's text fits its box.

#include "ui/dialogs/SettingsDialog.h"
#include "ui/dialogs/ConsoleWarningDialog.h"

#include "app/BackendConfig.h"
#include "platform/Autostart.h"
#include "settings/LiveSettings.h"
#include "support/GraphicsFixture.h"
#include "support/TempDir.h"
#include "ui/AppMessages.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/WindowSettings.h"
#include "ui/dialogs/DialogTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace qv::test {
namespace {

struct Posted {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};
std::vector<Posted> gPosted;
int gReleaseNotesOpened = 0, gLatencyOpened = 0, gTipsOpened = 0;

bool recordPost(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    gPosted.push_back({message, wParam, lParam});
    return true;
}
void countReleaseNotes(WindowHandle) { ++gReleaseNotesOpened; }
void countLatency(WindowHandle) { ++gLatencyOpened; }
void countTips(WindowHandle) { ++gTipsOpened; }

class SettingsDialogTest : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old)
            oldXdg = old;
        hadXdg = old != nullptr;
        ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        gSettings.edit([](HapticSettings& s) {
            s.accentTheme = 1;
            s.guiDensity = 1;
        });
        gPosted.clear();
        gReleaseNotesOpened = gLatencyOpened = gTipsOpened = 0;
        savedConfig = backendConfig();
        resetLastDialogClose();
        open(settings.path());
    }
    void TearDown() override {
        setBackendConfig(savedConfig);
        if (hadXdg)
            ::setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        releaseGuiResources();
        GraphicsFixture::TearDown();
    }

    void open(const std::string& folder) {
        SettingsDialogActions actions;
        actions.openReleaseNotes = countReleaseNotes;
        actions.openLatencyTest = countLatency;
        actions.openTips = countTips;
        actions.post = recordPost;
        initSettingsDialog(state, nullptr, folder, actions);
        image = paintOnce(paintSettingsDialog, state, 520, 480);
    }
    void repaint() { image = paintOnce(paintSettingsDialog, state, 520, 480); }
    void click(const RectF& rect) { clickRect(settingsDialogMouse, state, rect); }
    void chooseRow(UiDropdown& dropdown, int row) {
        click(dropdown.rect);
        ASSERT_TRUE(dropdown.open);
        repaint();  // the open list is drawn on top
        clickAt(settingsDialogMouse, state, midX(dropdown.listRect), dropdownRowY(dropdown, row));
        EXPECT_FALSE(dropdown.open);
    }

    TempDir config;    // XDG_CONFIG_HOME
    TempDir settings;  // the folder of window.ini
    bool hadXdg = false;
    std::string oldXdg;
    BackendConfig savedConfig;
    FakeMessageBoxes boxes;
    FakeOpener opener;
    SettingsDialogState state;
    std::unique_ptr<ImageTarget> image;
};

TEST_F(SettingsDialogTest, AccentAndDensityChoicesPostTheAppearanceMessage) {
    EXPECT_EQ(state.accent.selected, 1);
    EXPECT_EQ(state.density.selected, 1);
    chooseRow(state.accent, 5);  // "Championship White"
    ASSERT_EQ(gPosted.size(), 1u);
    EXPECT_EQ(gPosted[0].message, kMsgApplyAppearance);
    EXPECT_EQ(gPosted[0].wParam, 5u);
    EXPECT_EQ(gPosted[0].lParam, 1);
    // The density list has no item height of its own: the kit's default
    // rows are tall enough to hit each of them.
    chooseRow(state.density, 2);  // "BMW M5"
    ASSERT_EQ(gPosted.size(), 2u);
    EXPECT_EQ(gPosted[1].wParam, 5u);
    EXPECT_EQ(gPosted[1].lParam, 2);
    chooseRow(state.density, 0);
    ASSERT_EQ(gPosted.size(), 3u);
    EXPECT_EQ(gPosted[2].lParam, 0);
    // A click beside an open list only closes it.
    click(state.accent.rect);
    clickAt(settingsDialogMouse, state, 510, 470);
    EXPECT_FALSE(state.accent.open);
    EXPECT_EQ(gPosted.size(), 3u);
}

TEST_F(SettingsDialogTest, TogglesAreStoredAtOnceAndReadBack) {
    struct Case {
        int toggle;
        bool (*stored)(const std::string& folder);
    };
    const Case cases[] = {
        {kSettingsCloseToTray, [](const std::string& f) { return readWindowSetting(f, "CloseToTray", false); }},
        {kSettingsStartOnLogin, [](const std::string&) { return isRunAtStartup(); }},
        {kSettingsVrMinimise, [](const std::string& f) { return readWindowSetting(f, "VRAutoMinimize", false); }},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.stored(settings.path())) << c.toggle;
        click(state.toggles[c.toggle].rect);
        EXPECT_TRUE(*state.toggles[c.toggle].target) << c.toggle;
        EXPECT_TRUE(c.stored(settings.path())) << c.toggle;
    }
    EXPECT_TRUE(test::readFile(config.file("autostart/quorvane.desktop")).find("Exec=") != std::string::npos);
    // A new dialog reads them back.
    open(settings.path());
    EXPECT_TRUE(state.closeToTray);
    EXPECT_TRUE(state.runAtStartup);
    EXPECT_TRUE(state.vrAutoMinimise);
    for (const Case& c : cases) {
        click(state.toggles[c.toggle].rect);
        EXPECT_FALSE(c.stored(settings.path())) << c.toggle;
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SettingsDialogTest, AToggleWhoseStoreFailsShowsTheStoredStateAndSaysWhy) {
    // window.ini's folder is a file and the autostart folder cannot be made.
    ASSERT_TRUE(writeFile(settings.file("blocked"), "x"));
    ASSERT_TRUE(writeFile(config.file("autostart"), "x"));
    open(settings.file("blocked") + "/");
    for (int toggle = 0; toggle < kSettingsToggleCount; ++toggle) {
        click(state.toggles[toggle].rect);
        EXPECT_FALSE(*state.toggles[toggle].target) << toggle;
    }
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_NE(boxes.shown[1].text.find("\"Start on Login\" could not be changed"), std::string::npos);
}

TEST_F(SettingsDialogTest, TheFourButtonsReachTheirTargets) {
    click(state.buttons[kSettingsReleaseNotes].rect);
    click(state.buttons[kSettingsLatency].rect);
    click(state.buttons[kSettingsTips].rect);
    EXPECT_EQ(gReleaseNotesOpened, 1);
    EXPECT_EQ(gLatencyOpened, 1);
    EXPECT_EQ(gTipsOpened, 1);

    // Without a download page: says so, opens nothing.
    BackendConfig none;
    setBackendConfig(none);
    click(state.buttons[kSettingsUpdates].rect);
    EXPECT_TRUE(opener.opened.empty());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("No download page is configured"), std::string::npos);

    BackendConfig withPage;
    withPage.downloadPageUrl = "https://downloads.example.invalid/quorvane";
    setBackendConfig(withPage);
    click(state.buttons[kSettingsUpdates].rect);
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0], withPage.downloadPageUrl);
    EXPECT_EQ(boxes.shown.size(), 1u);

    // An opener that fails: the address is shown to copy.
    opener.succeed = false;
    click(state.buttons[kSettingsUpdates].rect);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_NE(boxes.shown[1].text.find(withPage.downloadPageUrl), std::string::npos);

    // Pressed on a button, released outside it: nothing.
    const RectF& updates = state.buttons[kSettingsUpdates].rect;
    settingsDialogMouse(kWmLButtonDown, midX(updates), midY(updates), kMkLButton, &state);
    settingsDialogMouse(kWmLButtonUp, 10, 10, 0, &state);
    EXPECT_EQ(opener.opened.size(), 2u);
    EXPECT_FALSE(state.buttons[kSettingsUpdates].pressed);
}

TEST_F(SettingsDialogTest, EscapeClosesWithZero) {
    settingsDialogKey(kWmKeyDown, 'A', 0, &state);
    EXPECT_FALSE(lastDialogClose().requested);
    settingsDialogKey(kWmKeyDown, kVkEscape, 0, &state);
    EXPECT_TRUE(lastDialogClose().requested);
    EXPECT_EQ(lastDialogClose().code, 0);
}

TEST_F(SettingsDialogTest, RendersTheDialogAndTheOpenAccentList) {
    // The section caption is drawn in the accent colour, the footer band in
    // the surface colour.
    EXPECT_GT(inkedPixels(*image, 20, 16, 120, 34, Rgba8{16, 18, 22, 255}), 0);
    EXPECT_TRUE(colorNear(image->pixel(5, 480 - 5), Rgba8{22, 25, 32, 255}));
    saveRender(*image, "settings_dialog");
    click(state.accent.rect);
    repaint();
    saveRender(*image, "settings_dialog_accent_list");
}

TEST_F(SettingsDialogTest, TheTipsTextFitsItsBox) {
    TipsDialogState tips;
    setWidgetText(tips.close.label, "Close");
    auto tipsImage = paintOnce(paintTipsDialog, tips, 480, 420);
    const RectF box = tipsTextBox(480, 420);
    const TextMetrics unwrapped = tipsImage->context().measureText(guiTextFormat(kFormatSmall), kTipsText, 0);
    EXPECT_LE(unwrapped.width, box.width());
    EXPECT_LE(unwrapped.height, box.height());
    EXPECT_EQ(unwrapped.lineCount, 22);
    saveRender(*tipsImage, "tips_dialog");
    // Close closes with 0, Escape too.
    clickRect(tipsDialogMouse, tips, tips.close.rect);
    EXPECT_TRUE(lastDialogClose().requested);
    resetLastDialogClose();
    tipsDialogKey(kWmKeyDown, kVkEscape, 0, &tips);
    EXPECT_TRUE(lastDialogClose().requested);
}

TEST_F(SettingsDialogTest, TheConsoleWarningReportsOkWithDontShowAgain) {
    ConsoleWarningState warning;
    initConsoleWarning(warning);
    auto warningImage = paintOnce(paintConsoleWarning, warning, 350, 170);
    saveRender(*warningImage, "console_warning_dialog");
    clickRect(consoleWarningMouse, warning, warning.dontShow.rect);
    EXPECT_TRUE(warning.dontShowAgain);
    EXPECT_FALSE(lastDialogClose().requested);
    clickRect(consoleWarningMouse, warning, warning.ok.rect);
    EXPECT_TRUE(lastDialogClose().requested);
    EXPECT_EQ(lastDialogClose().code, 1);
    struct Case {
        int key;
        bool closes;
        int code;
    };
    for (const Case& c : {Case{kVkReturn, true, 1}, Case{kVkEscape, true, 0}, Case{'A', false, 0}}) {
        resetLastDialogClose();
        consoleWarningKey(kWmKeyDown, static_cast<uintptr_t>(c.key), 0, &warning);
        EXPECT_EQ(lastDialogClose().requested, c.closes) << c.key;
        if (c.closes) {
            EXPECT_EQ(lastDialogClose().code, c.code) << c.key;
        }
    }
}

}  // namespace
}  // namespace qv::test
