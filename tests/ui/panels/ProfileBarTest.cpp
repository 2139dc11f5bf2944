// The header, profile bar and status bar driven through their handlers after
// one offscreen paint.

#include "ui/panels/HeaderBand.h"
#include "ui/panels/ProfileBar.h"
#include "ui/panels/StatusBar.h"

#include "settings/ProfileFile.h"
#include "ui/panels/EffectCards.h"

#include "BandsFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

namespace qv {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using test::centreOf;

class ProfileBarTest : public test::BandsFixture {
protected:
    bool clickLeftArrow(const RectF& selector) {
        return handleHeaderClick(nullptr, &host, selector.left + 5, selector.centerY());
    }
    bool clickRightArrow(const RectF& selector) {
        return handleHeaderClick(nullptr, &host, selector.right - 5, selector.centerY());
    }
    // Writes a profile file for the selected simulator with one distinctive value.
    void writeProfile(int sim, const char* name, float road) {
        HapticSettings settings;
        settings.effectProfiles[sim].roadVibration = road;
        ASSERT_TRUE(saveProfile(settings, folder.path(), sim, name));
    }
    std::string active(int sim) { return std::string(textOf(gSettings.snapshot().activeProfile[sim])); }
};

TEST_F(ProfileBarTest, NothingIsHitBeforeTheFirstLayout) {
    EXPECT_FALSE(captionButtonClick(nullptr, 1470, 28));
    EXPECT_FALSE(handleHeaderClick(nullptr, &host, 1400, 82));
    EXPECT_FALSE(headerButtonClick(nullptr, 1440, 838));
}

// Input needs a layout, not a paint: the main window lays the bands out
// before it routes an event.
TEST_F(ProfileBarTest, ALayoutWithoutAPaintLetsEveryBandTakeItsClicks) {
    layoutMainWindowBands(BandFrame{test::kClientWidth, test::kClientHeight, 0.0f, nullptr});
    int minimised = 0;
    static int* counter = nullptr;
    counter = &minimised;
    captionActions().minimize = [](WindowHandle) { ++*counter; };
    const RectF minimise = headerLayout().captionButtons[kCaptionMinimize];
    EXPECT_TRUE(captionButtonClick(nullptr, minimise.centerX(), minimise.centerY()));
    EXPECT_EQ(minimised, 1);
    const RectF arrow = profileBarLayout().simSelector;
    EXPECT_TRUE(handleHeaderClick(nullptr, &host, arrow.right - 4, arrow.centerY()));
    EXPECT_EQ(simCalls.size(), 1u);
    EXPECT_TRUE(statusBarHover(statusBarLayout().buttons[kStatusDefaults].centerX(),
                               statusBarLayout().buttons[kStatusDefaults].centerY()));
    const RectF knob = controlPanelState().knobHit;
    EXPECT_TRUE(controlPanelMouseDown(knob.centerX(), knob.centerY() - controlPanelState().scroll));
    EXPECT_TRUE(controlPanelMouseUp(0, 0));
    const RectF power = effectCardPanel().cards[0].enableRect;
    EXPECT_TRUE(cardMouseDown(&host, power.centerX(), power.centerY()));
    installMainWindowBands();
}

TEST_F(ProfileBarTest, SimulatorArrowsCycleThroughFiveSimulatorsAndAskForTheSwitch) {
    paintAll();
    const RectF selector = profileBarLayout().simSelector;
    const struct {
        int from;
        bool right;
        int to;
    } cases[] = {{kAC, true, kIRacing},  {kIRacing, false, kAC}, {kIRacing, true, kACC}, {kACEVO, true, kAC},
                 {kRF2, false, kAC},     {kRF2, true, kACC},     {kLMU, false, kACC}};
    for (const auto& c : cases) {
        gSettings.edit([&](HapticSettings& s) { s.selectedSim = c.from; });
        gSettings.takeDirty();
        simCalls.clear();
        EXPECT_TRUE(c.right ? clickRightArrow(selector) : clickLeftArrow(selector));
        EXPECT_EQ(gSettings.snapshot().selectedSim, c.to) << c.from;
        EXPECT_THAT(simCalls, ElementsAre(c.to));
        EXPECT_TRUE(gSettings.isDirty());
    }
    // The middle of the selector is not an arrow.
    EXPECT_FALSE(handleHeaderClick(nullptr, &host, selector.centerX(), selector.centerY()));
}

TEST_F(ProfileBarTest, WithoutTheHostsCallableTheSimulatorIsOnlyStored) {
    paintAll();
    host.selectSimFn = nullptr;
    EXPECT_TRUE(clickRightArrow(profileBarLayout().simSelector));
    EXPECT_EQ(gSettings.snapshot().selectedSim, kACC);
    EXPECT_TRUE(handleHeaderClick(nullptr, nullptr, profileBarLayout().simSelector.left + 5,
                                             profileBarLayout().simSelector.centerY()));
    EXPECT_EQ(gSettings.snapshot().selectedSim, kIRacing);
}

TEST_F(ProfileBarTest, ProfileArrowsWrapAtBothEndsAndLoadTheProfile) {
    writeProfile(kIRacing, "default", 0.11f);
    writeProfile(kIRacing, "Race", 0.22f);
    writeProfile(kIRacing, "Wet", 0.33f);
    gSettings.edit([](HapticSettings& s) {
        copyText(s.activeProfile[kIRacing], "Race");
        s.effectProfiles[kIRacing].roadVibration = 0.22f;
    });
    selectSim(kIRacing);
    paintAll();
    const RectF selector = profileBarLayout().profileSelector;
    const struct {
        bool right;
        const char* name;
        float road;
    } steps[] = {{true, "Wet", 0.33f}, {true, "default", 0.11f}, {false, "Wet", 0.33f}, {false, "Race", 0.22f}};
    for (const auto& step : steps) {
        // The on-disk value of the outgoing profile is what the block holds,
        // so saving it first does not change what the next one loads.
        EXPECT_TRUE(step.right ? clickRightArrow(selector) : clickLeftArrow(selector));
        EXPECT_EQ(active(kIRacing), step.name);
        EXPECT_FLOAT_EQ(gSettings.snapshot().effectProfiles[kIRacing].roadVibration, step.road);
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ProfileBarTest, TheOutgoingProfileIsSavedBeforeTheNextOneLoads) {
    writeProfile(kIRacing, "default", 0.11f);
    writeProfile(kIRacing, "Race", 0.22f);
    selectSim(kIRacing);
    paintAll();
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].roadVibration = 0.77f; });
    EXPECT_TRUE(clickRightArrow(profileBarLayout().profileSelector));
    EXPECT_EQ(active(kIRacing), "Race");
    HapticSettings reread;
    ASSERT_TRUE(loadProfile(reread, folder.path(), kIRacing, "default"));
    EXPECT_FLOAT_EQ(reread.effectProfiles[kIRacing].roadVibration, 0.77f);
    ASSERT_TRUE(loadProfile(reread, folder.path(), kIRacing, "Race"));
    EXPECT_FLOAT_EQ(reread.effectProfiles[kIRacing].roadVibration, 0.22f);
}

TEST_F(ProfileBarTest, AProfileThatFailsToLoadChangesNothingAndIsReported) {
    writeProfile(kIRacing, "default", 0.11f);
    ASSERT_TRUE(test::writeFile(folder.path() + "profiles/iracing/Broken.json",
                                "{\"roadVibration\": 0.9, \"suspImpact\": \"loud\"}"));
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].roadVibration = 0.11f; });
    selectSim(kIRacing);
    paintAll();
    ASSERT_EQ(gProfileList.profileCount(), 2);
    EXPECT_TRUE(clickLeftArrow(profileBarLayout().profileSelector));
    EXPECT_EQ(active(kIRacing), "default");
    EXPECT_FLOAT_EQ(gSettings.snapshot().effectProfiles[kIRacing].roadVibration, 0.11f);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_THAT(boxes.shown[0].second, HasSubstr("\"Broken\" could not be loaded"));
    EXPECT_EQ(boxes.lastKind, MessageKind::Error);
}

TEST_F(ProfileBarTest, AnEmptyProfileListTakesNoClickOnTheSelector) {
    selectSim(kACC);
    paintAll();
    ASSERT_EQ(gProfileList.profileCount(), 0);
    EXPECT_FALSE(clickRightArrow(profileBarLayout().profileSelector));
    EXPECT_EQ(active(kACC), "default");
}

// The dialogs of the menu belong to other parts of the window; stubs record
// which one was opened.
std::vector<std::string> gOpened;
void openedSaveAs(WindowHandle) { gOpened.push_back("save as"); }
void openedLoad(WindowHandle) { gOpened.push_back("load"); }
void openedExport(WindowHandle) { gOpened.push_back("export"); }
void openedImport(WindowHandle) { gOpened.push_back("import"); }
void openedShare(WindowHandle) { gOpened.push_back("share"); }
void openedCommunity(WindowHandle) { gOpened.push_back("community"); }
void openedSettings(WindowHandle) { gOpened.push_back("settings"); }
void openedWizard(WindowHandle, GuiHost*) { gOpened.push_back("wizard"); }
void openedZones(WindowHandle, GuiHost*) { gOpened.push_back("zones"); }
void openedRouting(WindowHandle, GuiHost*) { gOpened.push_back("routing"); }

TEST_F(ProfileBarTest, MenuIdsReachTheirActions) {
    DialogEntries& entries = dialogEntries();
    const DialogEntries saved = entries;
    entries.openSaveProfileAs = openedSaveAs;
    entries.openLoadProfile = openedLoad;
    entries.exportProfile = openedExport;
    entries.importProfile = openedImport;
    entries.openShareProfile = openedShare;
    entries.openCommunityProfiles = openedCommunity;
    paintAll();
    const PointF menu = centreOf(profileBarLayout().menuButton);
    const struct {
        int id;
        const char* opened;
    } cases[] = {{kMenuSaveAs, "save as"}, {kMenuLoad, "load"},     {kMenuExport, "export"},
                 {kMenuImport, "import"},  {kMenuShareOnline, "share"}, {kMenuCommunityProfiles, "community"}};
    for (const auto& c : cases) {
        gOpened.clear();
        test::MenuRecorder::answer = c.id;
        EXPECT_TRUE(handleHeaderClick(nullptr, &host, menu.x, menu.y));
        EXPECT_THAT(gOpened, ElementsAre(c.opened));
    }
    EXPECT_THAT(test::MenuRecorder::ids, ElementsAre(kMenuSave, kMenuSaveAll, -1, kMenuSaveAs, kMenuLoad, -1,
                                                     kMenuExport, kMenuImport, -1, kMenuShareOnline,
                                                     kMenuCommunityProfiles));
    // A dismissed menu and a missing dialog do nothing.
    gOpened.clear();
    test::MenuRecorder::answer = 0;
    EXPECT_TRUE(handleHeaderClick(nullptr, &host, menu.x, menu.y));
    entries.openLoadProfile = nullptr;
    test::MenuRecorder::answer = kMenuLoad;
    EXPECT_TRUE(handleHeaderClick(nullptr, &host, menu.x, menu.y));
    EXPECT_TRUE(gOpened.empty());
    entries = saved;
}

TEST_F(ProfileBarTest, BarButtonsOpenTheirDialogs) {
    DialogEntries& entries = dialogEntries();
    const DialogEntries saved = entries;
    entries.openDeviceWizard = openedWizard;
    entries.openZoneSetup = openedZones;
    entries.openChannelRouting = openedRouting;
    entries.openSettings = openedSettings;
    paintAll();
    gOpened.clear();
    for (const RectF& button : profileBarLayout().buttons) {
        const PointF c = centreOf(button);
        EXPECT_TRUE(handleHeaderClick(nullptr, &host, c.x, c.y));
    }
    EXPECT_THAT(gOpened, ElementsAre("wizard", "zones", "routing", "settings"));
    entries = saved;
    // Without the dialogs the buttons still take the click and do nothing.
    const PointF c = centreOf(profileBarLayout().buttons[kButtonOptions]);
    EXPECT_TRUE(handleHeaderClick(nullptr, &host, c.x, c.y));
}

TEST_F(ProfileBarTest, SaveAndSaveAllWriteTheActiveProfilesAndReportFailures) {
    gSettings.edit([](HapticSettings& s) {
        s.effectProfiles[kACC].roadVibration = 0.44f;
        copyText(s.activeProfile[kACC], "Dry");
        s.selectedSim = kACC;
    });
    gSettings.takeDirty();
    paintAll();
    const PointF menu = centreOf(profileBarLayout().menuButton);
    test::MenuRecorder::answer = kMenuSave;
    EXPECT_TRUE(handleHeaderClick(nullptr, &host, menu.x, menu.y));
    HapticSettings reread;
    ASSERT_TRUE(loadProfile(reread, folder.path(), kACC, "Dry"));
    EXPECT_FLOAT_EQ(reread.effectProfiles[kACC].roadVibration, 0.44f);
    EXPECT_FALSE(gSettings.isDirty());  // saving from the menu only writes files
    EXPECT_TRUE(boxes.shown.empty());

    test::MenuRecorder::answer = kMenuSaveAll;
    EXPECT_TRUE(handleHeaderClick(nullptr, &host, menu.x, menu.y));
    for (int sim = 0; sim < kSimCount; ++sim)
        EXPECT_TRUE(loadProfile(reread, folder.path(), sim, sim == kACC ? "Dry" : "default")) << sim;
    EXPECT_TRUE(boxes.shown.empty());

}

TEST_F(ProfileBarTest, AnInvalidActiveNameMakesSaveFailVisibly) {
    // A name no file may carry (it would leave the folder) cannot be saved;
    // the menu says so instead of failing silently.
    gSettings.edit([](HapticSettings& s) { copyText(s.activeProfile[kIRacing], "../escape"); });
    paintAll();
    const PointF menu = centreOf(profileBarLayout().menuButton);
    test::MenuRecorder::answer = kMenuSave;
    EXPECT_TRUE(handleHeaderClick(nullptr, &host, menu.x, menu.y));
    test::MenuRecorder::answer = kMenuSaveAll;
    EXPECT_TRUE(handleHeaderClick(nullptr, &host, menu.x, menu.y));
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_THAT(boxes.shown[0].second, HasSubstr("\"../escape\" could not be saved"));
    EXPECT_THAT(boxes.shown[1].second, HasSubstr("iracing \"../escape\""));
    EXPECT_EQ(boxes.lastKind, MessageKind::Error);
}

TEST_F(ProfileBarTest, DefaultsAsksAndResetsOnlyOnYes) {
    selectSim(kLMU);
    gSettings.edit([](HapticSettings& s) {
        s.effectProfiles[kLMU].roadVibration = 0.01f;
        s.effectProfiles[kLMU].effectEnabled[kAbsLock] = 0;
        s.effectProfiles[kLMU].routeGain[0][5] = 0.5f;
        s.effectProfiles[kACC].roadVibration = 0.02f;
    });
    gSettings.takeDirty();
    paintAll();
    const PointF defaults = centreOf(statusBarLayout().buttons[kStatusDefaults]);

    boxes.answer = false;
    EXPECT_TRUE(headerButtonClick(nullptr, defaults.x, defaults.y));
    ASSERT_EQ(boxes.questions.size(), 1u);
    EXPECT_EQ(boxes.questions[0].first, "Reset Defaults");
    EXPECT_EQ(boxes.questions[0].second,
              "Reset all effects for the current sim to factory defaults?\n\nThis cannot be undone.");
    EXPECT_FLOAT_EQ(gSettings.snapshot().effectProfiles[kLMU].roadVibration, 0.01f);
    EXPECT_FALSE(gSettings.isDirty());

    boxes.answer = true;
    EXPECT_TRUE(headerButtonClick(nullptr, defaults.x, defaults.y));
    const HapticSettings after = gSettings.snapshot();
    const HapticSettings fresh;
    EXPECT_EQ(std::memcmp(&after.effectProfiles[kLMU], &fresh.effectProfiles[kLMU], sizeof(EffectProfile)), 0);
    EXPECT_FLOAT_EQ(after.effectProfiles[kACC].roadVibration, 0.02f);
    EXPECT_TRUE(gSettings.isDirty());
    // The edited values were kept under the outgoing name first.
    HapticSettings reread;
    ASSERT_TRUE(loadProfile(reread, folder.path(), kLMU, "default"));
    EXPECT_FLOAT_EQ(reread.effectProfiles[kLMU].roadVibration, 0.01f);
}

int gConsoleToggles = 0;
void countConsoleToggle() { ++gConsoleToggles; }

TEST_F(ProfileBarTest, StatusBarButtonsTakeTheirClicksOnly) {
    paintAll();
    const PointF console = centreOf(statusBarLayout().buttons[kStatusConsole]);
    gConsoleToggles = 0;
    setConsoleToggle(countConsoleToggle);
    EXPECT_TRUE(headerButtonClick(nullptr, console.x, console.y));
    EXPECT_EQ(gConsoleToggles, 1);
    EXPECT_EQ(gConsoleToggleRequested.load(), 0);
    setConsoleToggle(nullptr);
    EXPECT_TRUE(headerButtonClick(nullptr, console.x, console.y));
    EXPECT_EQ(gConsoleToggleRequested.load(), 1);
    EXPECT_FALSE(headerButtonClick(nullptr, 750, 850));
    EXPECT_TRUE(statusBarHover(console.x, console.y));
    EXPECT_FALSE(statusBarHover(console.x + 1, console.y));
}

TEST_F(ProfileBarTest, CaptionButtonsActOnTheWindow) {
    static std::vector<std::string> actions;
    static bool maximized = false;
    actions.clear();
    CaptionActions& caption = captionActions();
    const CaptionActions saved = caption;
    caption.minimize = [](WindowHandle) { actions.push_back("minimize"); };
    caption.maximize = [](WindowHandle) { actions.push_back("maximize"); maximized = true; };
    caption.restore = [](WindowHandle) { actions.push_back("restore"); maximized = false; };
    caption.isMaximized = [](WindowHandle) { return maximized; };
    paintAll();
    const HeaderLayout& header = headerLayout();
    EXPECT_FLOAT_EQ(header.captionButtons[kCaptionClose].right, 1500 - 14);
    EXPECT_FLOAT_EQ(header.captionButtons[kCaptionMaximize].right, header.captionButtons[kCaptionClose].left - 8);
    const PointF minimise = centreOf(header.captionButtons[kCaptionMinimize]);
    const PointF maximise = centreOf(header.captionButtons[kCaptionMaximize]);
    EXPECT_TRUE(captionButtonClick(nullptr, minimise.x, minimise.y));
    EXPECT_TRUE(captionButtonClick(nullptr, maximise.x, maximise.y));
    EXPECT_TRUE(captionButtonClick(nullptr, maximise.x, maximise.y));
    EXPECT_THAT(actions, ElementsAre("minimize", "maximize", "restore"));
    const PointF close = centreOf(header.captionButtons[kCaptionClose]);
    EXPECT_TRUE(captionButtonClick(nullptr, close.x, close.y));  // a close request to no window
    EXPECT_FALSE(captionButtonClick(nullptr, 750, 28));          // the strip is not a button
    EXPECT_TRUE(captionButtonHover(close.x, close.y));
    EXPECT_EQ(header.captionHover[kCaptionClose], 1);
    caption = saved;
}

}  // namespace
}  // namespace qv
