// The main window on SDL's dummy video driver: the window procedure with
// bands and dialogs plugged in through the hooks, the frame timer, the VR
// check, close-to-tray with a fake tray, and the quit with dialogs open.
//
// Each test runs the main window on the test thread; its script runs inside
// the window's loop as the device wizard, which the window opens for the
// device-setup request made before it existed.

#include "app/AppGlobals.h"
#include "platform/Tray.h"
#include "settings/LiveSettings.h"
#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/WindowFixture.h"
#include "ui/AppMessages.h"
#include "ui/DialogHost.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/MainWindow.h"
#include "ui/PopupMenu.h"
#include "ui/WindowSettings.h"
#include "ui/panels/MainWindowBands.h"
#include "ui/panels/ProfileActions.h"

#include <atomic>
#include <functional>
#include <thread>

namespace qv {
namespace {

std::function<void(WindowHandle)> gScript;
std::vector<std::pair<WindowHandle, ShowCommand>> gShows;
int gMoves = 0;
bool gVrRunning = false;

struct Counters {
    int captionDown = 0, settingsOpened = 0, cardsUp = 0;
    bool takeCaption = false;
};
Counters gCounters;

// A band over the five that counts the presses offered to it and takes them
// when told.
const Band kCountingBand = {
    "counting", nullptr, nullptr, nullptr,
    [](const BandEvent&) {
        ++gCounters.captionDown;
        return gCounters.takeCaption;
    },
    nullptr, nullptr, nullptr};

class FakeTray final : public ITray {
public:
    static inline bool hostPresent = true;
    static inline int adds = 0, removes = 0;
    static inline TrayCallbacks callbacks;
    bool add(const TrayCallbacks& cb, std::vector<TrayIconImage>, const std::string& tooltip) override {
        if (!hostPresent)
            return false;
        EXPECT_EQ(tooltip, "Quor Vane");
        callbacks = cb;
        ++adds;
        m_added = true;
        return true;
    }
    void remove() override {
        if (m_added)
            ++removes;
        m_added = false;
    }
    bool isAdded() const override { return m_added; }
    std::string lastError() const override { return hostPresent ? "" : "no StatusNotifierWatcher on the session bus"; }

private:
    bool m_added = false;
};

class MainWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        gScript = nullptr;
        gShows.clear();
        gMoves = 0;
        gVrRunning = false;
        gCounters = {};
        FakeTray::hostPresent = true;
        FakeTray::adds = FakeTray::removes = 0;
        FakeTray::callbacks = {};
        static const WindowSystemObserver observer{
            [](WindowHandle) { ++gMoves; },
            [](WindowHandle w, ShowCommand c) { gShows.emplace_back(w, c); }};
        setWindowSystemObserver(&observer);
        setVrProcessProbe([] { return gVrRunning; });
        installGuiHooks();
        setProfileBaseFolder(dir.path());
        resetMainWindowBands();
        gEffectMeters[0] = 0.0f;
        dialogEntries() = DialogEntries{};
        dialogEntries().openDeviceWizard = [](WindowHandle w, GuiHost*) {
            auto script = std::move(gScript);
            gScript = nullptr;
            if (script)
                script(w);
        };
        quit = 0;
        host.quitRequestedFlag = &quit;
        host.settingsFolder = dir.path();
        host.trayFactory = [] { return std::unique_ptr<ITray>(new FakeTray); };
        gSettings.replace(HapticSettings{});
    }
    void TearDown() override {
        setWindowSystemObserver(nullptr);
        setVrProcessProbe(nullptr);
        setBandsInZOrder({});
        resetMainWindowBands();
        setProfileBaseFolder({});
        gEffectMeters[0] = 0.0f;
        dialogEntries() = DialogEntries{};
        WindowFixture::TearDown();
    }

    // Runs the main window with the script; false when it could not be made
    // or did not end. A window whose loops miss the quit would hold the test
    // for ever: past the time-out (far beyond the script's own waits) a
    // watchdog posts the quit again, so the test ends and fails.
    bool runWithScript(std::function<void(WindowHandle)> script, int timeoutMs = 60000) {
        gScript = [script = std::move(script)](WindowHandle w) {
            script(w);
            // Whatever the script did, the window ends.
            postWindowMessage(w, kMsgQuit, 0, 0);
        };
        host.requestDeviceSetup();
        std::atomic<bool> done{false};
        std::atomic<bool> stuck{false};
        std::thread watchdog([&] {
            if (test::eventually([&] { return done.load(); }, timeoutMs))
                return;
            stuck = true;
            ADD_FAILURE() << "the main window did not end; its loops missed the quit";
            if (WindowHandle w = host.window())
                postWindowMessage(w, kMsgQuit, 0, 0);
        });
        const bool made = runMainWindow(&host);
        done = true;
        watchdog.join();
        return made && !stuck;
    }

    static void tick(WindowHandle w, int count = 1) {
        for (int i = 0; i < count; ++i)
            sendWindowMessage(w, kWmTimer, kTimerFrame, 0);
    }
    static uint32_t framePeriod(WindowHandle w) {
        uint32_t period = 0;
        hasWindowTimer(w, kTimerFrame, &period);
        return period;
    }
    static int showCount(ShowCommand command) {
        return static_cast<int>(std::count_if(gShows.begin(), gShows.end(), [&](auto& p) { return p.second == command; }));
    }

    test::TempDir dir;
    GuiHost host;
    std::atomic<int32_t> quit{0};
};

// The dummy display's work area is 1024 x 768: the first size (1500 x 860 at
// 96 dpi) is clamped to it.
TEST_F(MainWindowTest, OpensAtTheFirstSizeClampedToTheWorkAreaWithTheTitleAndEndsOnQuit) {
    int width = 0, height = 0;
    std::string title;
    bool ready = false;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        clientSize(w, &width, &height);
        title = windowTitle(w);
        ready = mainWindowState().ready && gMainWindow.load() == w && host.window() == w;
    }));
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    EXPECT_EQ(title, "Quor Vane  v0.6.103");
    EXPECT_TRUE(ready);
    EXPECT_EQ(quit.load(), 1);
    EXPECT_EQ(gMainWindow.load(), nullptr);
    EXPECT_EQ(host.window(), nullptr);
}

TEST_F(MainWindowTest, FrameTicksSwitchToSlowAfter61QuietTicksAndBackOnMeterActivity) {
    std::vector<uint32_t> periods;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        pushWindowEvent(w, SDL_WINDOWEVENT_FOCUS_GAINED);
        pumpUntil([&] { return isForegroundWindow(w); });
        // A real frame tick may have come in the same pass: start the count here.
        sendWindowMessage(w, kWmActivate, 1, 0);
        periods.push_back(framePeriod(w));
        tick(w, 60);
        periods.push_back(framePeriod(w));  // 60 quiet ticks: still fast
        tick(w, 1);
        periods.push_back(framePeriod(w));  // the 61st: slow
        gEffectMeters[0] = 0.5f;
        tick(w, 1);
        periods.push_back(framePeriod(w));  // activity: fast again
        gEffectMeters[0] = 0.0f;
        pushWindowEvent(w, SDL_WINDOWEVENT_FOCUS_LOST);
        pumpUntil([&] { return !isForegroundWindow(w); });
        periods.push_back(framePeriod(w));  // deactivated: slow
        tick(w, 100);
        periods.push_back(framePeriod(w));  // not in front: no counting
    }));
    EXPECT_EQ(periods, (std::vector<uint32_t>{33, 33, 200, 33, 200, 200}));
}

TEST_F(MainWindowTest, TheWheelScrollsThePanelFromWidthMinus382ScaledAndTheCardsLeftOfIt) {
    // Eight zones: the panel's content is taller than the window, as are
    // the seven cards; a notch down scrolls whichever took it.
    gSettings.edit([](HapticSettings& s) {
        s.numActiveZones = kMaxZones;
        for (ZoneConfig& zone : s.zones)
            zone.active = 1;
    });
    struct Case {
        int dpi;
        int fromRight;  // x = client width - fromRight
        int panel, cards;
    } cases[] = {{96, 382, -120, 0}, {96, 383, 0, -120}, {144, 573, -120, 0}, {144, 574, 0, -120}};
    for (const Case& c : cases) {
        std::remove(dir.file(kWindowSettingsFileName).c_str());  // no placement
        int panelScrolled = 0, cardsScrolled = 0;
        ASSERT_TRUE(runWithScript([&](WindowHandle w) {
            setDpi(c.dpi);
            int width = 0;
            clientSize(w, &width, nullptr);
            sendWindowMessage(w, kWmMouseWheel, makeWheelParam(-120, 0), makePointParam(width - c.fromRight, 300));
            panelScrolled = controlPanelState().scroll > 0.0f ? -120 : 0;
            cardsScrolled = effectCardPanel().scroll > 0.0f ? -120 : 0;
        }));
        setDpi(96);
        EXPECT_EQ(panelScrolled, c.panel) << c.dpi << " " << c.fromRight;
        EXPECT_EQ(cardsScrolled, c.cards) << c.dpi << " " << c.fromRight;
    }
}

TEST_F(MainWindowTest, ApplyAppearanceClampsAndChangesOnlyItsOwnFields) {
    gSettings.edit([](HapticSettings& s) {
        s.accentTheme = 3;
        s.guiDensity = 2;
        s.selectedSim = 2;
    });
    gSettings.takeDirty();
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        // Another thread's edit between the GUI's reads must survive.
        gSettings.edit([](HapticSettings& s) { s.audioDeviceIndex = 5; }, false);
        sendWindowMessage(w, kMsgApplyAppearance, 9, 7);
    }));
    const HapticSettings s = gSettings.snapshot();
    EXPECT_EQ(s.accentTheme, 0);
    EXPECT_EQ(s.guiDensity, 1);
    EXPECT_EQ(s.selectedSim, 2);
    EXPECT_EQ(s.audioDeviceIndex, 5);
    EXPECT_TRUE(gSettings.takeDirty());
}

TEST_F(MainWindowTest, AnUntakenCaptionPressAsksForAMoveOnceDraggedAndADoubleClickTogglesMaximise) {
    static const Band* const kBands[] = {&kHeaderBand, &kProfileBarBand, &kEffectCardsBand, &kControlPanelBand,
                                         &kStatusBarBand, &kCountingBand};
    setBandsInZOrder(kBands);
    const auto dragTo = [](WindowHandle w, int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = windowSystemId(w);
        e.motion.state = SDL_BUTTON_LMASK;
        e.motion.x = x;
        e.motion.y = y;
        SDL_PushEvent(&e);
    };
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        // Clicks, a double click among them, start no move.
        pushClick(w, 400, 20, 1);
        pushClick(w, 400, 20, 2);
        pumpUntil([&] { return gCounters.captionDown >= 1 && showCount(ShowCommand::Maximize) == 1; });
        // A press dragged past a few pixels does, once.
        pushMouseButton(w, true, 400, 20);
        dragTo(w, 402, 21);
        dragTo(w, 406, 20);
        dragTo(w, 420, 30);
        pumpUntil([&] { return gMoves == 1; });
        pushMouseButton(w, false, 420, 30);
        pushClick(w, 400, 200, 1);  // below the caption: neither move nor maximise
        gCounters.takeCaption = true;
        pushMouseButton(w, true, 300, 10);
        pumpUntil([&] { return mouseCaptureWindow() == w; });
        pushMouseButton(w, false, 300, 10);
        pumpUntil([&] { return mouseCaptureWindow() == nullptr; });
    }));
    EXPECT_EQ(gMoves, 1);
    EXPECT_EQ(showCount(ShowCommand::Maximize), 1);
    EXPECT_EQ(gCounters.captionDown, 4);  // the double click is not offered as a press
}

TEST_F(MainWindowTest, ADisplayChangeIsADpiChange) {
    std::vector<int> dpis;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        setDpi(96);
        sendWindowMessage(w, kWmDisplayChanged, 144, 0);
        dpis.push_back(currentDpi());
        sendWindowMessage(w, kWmDisplayChanged, 0, 0);  // nothing reported: unchanged
        dpis.push_back(currentDpi());
        invalidateWindow(w);
        updateWindow(w);  // paints with the rebuilt resources
    }));
    EXPECT_EQ(dpis, (std::vector<int>{144, 144}));
    setDpi(96);
}

TEST_F(MainWindowTest, F1OpensTheSettingsDialogAndAltShiftTMinimises) {
    static WindowHandle parent = nullptr;
    dialogEntries().openSettings = [](WindowHandle w) { parent = w; ++gCounters.settingsOpened; };
    WindowHandle main = nullptr;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        main = w;
        pushKey(w, SDLK_F1);
        pushKey(w, SDLK_F2);
        pumpUntil([&] { return gCounters.settingsOpened > 0; });
        // Alt+Shift+T minimises; Alt+T alone does nothing.
        pushKey(w, SDLK_t, KMOD_LALT);
        pushKey(w, SDLK_t, KMOD_LALT | KMOD_LSHIFT);
        pumpUntil([&] { return showCount(ShowCommand::Minimize) > 0; });
    }));
    EXPECT_EQ(gCounters.settingsOpened, 1);
    EXPECT_EQ(parent, main);
    EXPECT_EQ(showCount(ShowCommand::Minimize), 1);
}

TEST_F(MainWindowTest, TheVrRuntimeStartingMinimisesOnceOnlyWhenTheOptionIsOn) {
    struct Case {
        bool option;
        std::vector<bool> probe;
        int minimises;
        int switchedAt = -1;  // the option is flipped in window.ini before this check
    } cases[] = {
        {false, {true, true}, 0},
        {true, {true, true, true}, 1},
        {true, {true, false, true}, 2},
        // The file is read again when it changed while the window runs.
        {false, {true, true, true}, 1, 1},
        {true, {true, false, true}, 1, 2},
    };
    for (const Case& c : cases) {
        gShows.clear();
        ASSERT_TRUE(writeWindowSetting(dir.path(), "VRAutoMinimize", c.option));
        ASSERT_TRUE(runWithScript([&](WindowHandle w) {
            for (size_t i = 0; i < c.probe.size(); ++i) {
                if (static_cast<int>(i) == c.switchedAt) {
                    ASSERT_TRUE(writeWindowSetting(dir.path(), "VRAutoMinimize", !c.option));
                }
                gVrRunning = c.probe[i];
                sendWindowMessage(w, kWmTimer, kTimerVrCheck, 0);
            }
        }));
        EXPECT_EQ(showCount(ShowCommand::Minimize), c.minimises) << c.option;
    }
}

TEST_F(MainWindowTest, CloseWithoutCloseToTrayQuitsTheProgram) {
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
        pumpUntil([&] { return quit.load() == 1; });
    }));
    EXPECT_EQ(quit.load(), 1);
}

TEST_F(MainWindowTest, CloseToTrayHidesAndTheTraysActivateAndExitWork) {
    ASSERT_TRUE(writeWindowSetting(dir.path(), "CloseToTray", true));
    bool hidden = false, restored = false;
    int addsAfterSecondClose = 0;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
        pumpUntil([&] { return mainWindowState().inTray; });
        // Hidden, nothing is painted: no frame timer runs, whatever the focus says.
        sendWindowMessage(w, kWmActivate, 0, 0);
        hidden = !isWindowVisible(w) && FakeTray::adds == 1 && quit.load() == 0 && !hasWindowTimer(w, kTimerFrame);
        // The tray calls back on its own thread.
        std::thread([] { FakeTray::callbacks.activate(); }).join();
        pumpUntil([&] { return !mainWindowState().inTray; });
        restored = isWindowVisible(w) && FakeTray::removes == 1 && hasWindowTimer(w, kTimerFrame);
        pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
        pumpUntil([&] { return mainWindowState().inTray; });
        addsAfterSecondClose = FakeTray::adds;
        std::thread([] { FakeTray::callbacks.exit(); }).join();
        pumpUntil([&] { return quit.load() == 1; });
    }));
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(restored);
    EXPECT_EQ(addsAfterSecondClose, 2);
    EXPECT_EQ(quit.load(), 1);
}

TEST_F(MainWindowTest, CloseToTrayWithoutATrayHostMinimisesAndSaysWhy) {
    ASSERT_TRUE(writeWindowSetting(dir.path(), "CloseToTray", true));
    FakeTray::hostPresent = false;
    bool visible = false;
    std::string why;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
        pumpUntil([&] { return showCount(ShowCommand::Minimize) == 1; });
        visible = isWindowVisible(w);
        why = mainWindowState().trayError;
    }));
    EXPECT_TRUE(visible);
    EXPECT_EQ(why, "no StatusNotifierWatcher on the session bus");
    EXPECT_FALSE(mainWindowState().inTray);
}

TEST_F(MainWindowTest, TheTraysContextMenuRunsOurPopupMenu) {
    ASSERT_TRUE(writeWindowSetting(dir.path(), "CloseToTray", true));
    static int menus = 0;
    static int answer = 0;
    menus = 0;
    setPopupMenuRunner([](WindowHandle, float x, float y, const PopupMenuItem* items, int count) {
        ++menus;
        EXPECT_EQ(x, 300);
        EXPECT_EQ(y, 5);
        EXPECT_EQ(count, 3);
        EXPECT_STREQ(items[0].label, "Restore");
        EXPECT_TRUE(items[1].separator);
        EXPECT_STREQ(items[2].label, "Exit");
        return answer;
    });
    bool restored = false;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
        pumpUntil([&] { return mainWindowState().inTray; });
        answer = 0;  // dismissed: stays in the tray
        std::thread([] { FakeTray::callbacks.contextMenu(300, 5); }).join();
        pumpUntil([&] { return menus == 1; });
        answer = 1;  // "Restore"
        std::thread([] { FakeTray::callbacks.contextMenu(300, 5); }).join();
        restored = pumpUntil([&] { return !mainWindowState().inTray; });
        pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
        pumpUntil([&] { return mainWindowState().inTray; });
        answer = 2;  // "Exit"
        std::thread([] { FakeTray::callbacks.contextMenu(300, 5); }).join();
        pumpUntil([&] { return quit.load() == 1; });
    }));
    setPopupMenuRunner(nullptr);
    EXPECT_EQ(menus, 3);
    EXPECT_TRUE(restored);
    EXPECT_EQ(quit.load(), 1);
}

TEST_F(MainWindowTest, TheUpdateDialogOpensOnceFromTheFrameTickAndNotInsideAnotherDialog) {
    static int updates = 0;
    updates = 0;
    std::atomic<int32_t> update{1};
    host.updateAvailableFlag = &update;
    dialogEntries().openUpdateDialog = [](WindowHandle) { ++updates; };
    int insideDialog = -1;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        static int* inside;
        inside = &insideDialog;
        DialogSpec spec;
        spec.width = spec.height = 100;
        spec.parent = w;
        spec.onPaint = [](DrawContext&, float, float, void*) {
            if (*inside >= 0)
                return;
            sendWindowMessage(gMainWindow.load(), kWmTimer, kTimerFrame, 0);
            *inside = updates;
            closeDialog(0);
        };
        runModalDialog(spec);
        tick(w, 3);
    }));
    EXPECT_EQ(insideDialog, 0);
    EXPECT_EQ(updates, 1);
}

TEST_F(MainWindowTest, ARaiseLeavesTheWindowInTheTrayAndAnotherStartsRequestRestoresIt) {
    ASSERT_TRUE(writeWindowSetting(dir.path(), "CloseToTray", true));
    bool stayed = false, restored = false;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
        pumpUntil([&] { return mainWindowState().inTray; });
        // A top-level dialog over the hidden window ends (the update dialog
        // opens by itself), and a click's raise arrives.
        DialogSpec spec;
        spec.width = spec.height = 100;
        spec.parent = w;
        spec.onPaint = [](DrawContext&, float, float, void*) { closeDialog(0); };
        runModalDialog(spec);
        postWindowMessage(w, kMsgBringToFront, kBringToFrontRaise, 0);
        // Handled after everything posted before it: the cards are built
        // for the simulator chosen meanwhile.
        gSettings.edit([](HapticSettings& s) { s.selectedSim = kAC; });
        postWindowMessage(w, kMsgRefreshEffects, 0, 0);
        pumpUntil([&] { return effectCardPanel().sim == kAC; });
        stayed = mainWindowState().inTray && !isWindowVisible(w);
        std::thread([&] { host.bringToFront(); }).join();
        restored = pumpUntil([&] { return !mainWindowState().inTray && isWindowVisible(w); });
    }));
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(restored);
}

TEST_F(MainWindowTest, AQuitWhileNestedDialogsRunClosesThemInnermostFirstThenTheWindow) {
    static std::vector<int> order;
    order.clear();
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        static WindowHandle main;
        main = w;
        DialogSpec outer;
        outer.width = outer.height = 200;
        outer.parent = w;
        outer.onPaint = [](DrawContext&, float, float, void*) {
            static bool opened = false;
            if (opened)
                return;
            opened = true;
            DialogSpec inner;
            inner.width = inner.height = 100;
            inner.parent = currentDialogWindow();
            inner.onPaint = [](DrawContext&, float, float, void*) {
                static bool posted = false;
                if (!posted) {
                    posted = true;
                    std::thread([] { postWindowMessage(main, kMsgQuit, 0, 0); }).detach();
                }
            };
            runModalDialog(inner);
            order.push_back(dialogDepth());
        };
        runModalDialog(outer);
        order.push_back(dialogDepth());
        order.push_back(isWindow(w) ? 1 : 0);
    }));
    EXPECT_EQ(order, (std::vector<int>{1, 0, 1}));  // inner gone, outer gone, main window still there
    EXPECT_EQ(quit.load(), 1);
    EXPECT_FALSE(isDialogOpen());
}

TEST_F(MainWindowTest, TheDeviceSetupRequestWaitsWhileADialogIsOpen) {
    static int wizards = 0;
    wizards = 0;
    bool openedInsideDialog = true;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) {
        dialogEntries().openDeviceWizard = [](WindowHandle, GuiHost*) {
            ++wizards;
        };
        static bool* inside;
        inside = &openedInsideDialog;
        DialogSpec spec;
        spec.width = spec.height = 100;
        spec.parent = w;
        spec.onPaint = [](DrawContext&, float, float, void*) {
            static bool once = false;
            if (once)
                return;
            once = true;
            gGuiHost.load()->requestDeviceSetup();
            // Give the request every chance to arrive inside this dialog.
            pumpMessages(50);
            sendWindowMessage(gMainWindow.load(), kWmTimer, kTimerFrame, 0);
            *inside = wizards != 0;
            closeDialog(0);
        };
        runModalDialog(spec);
        tick(w);
    }));
    EXPECT_FALSE(openedInsideDialog);
    EXPECT_EQ(wizards, 1);
}

TEST_F(MainWindowTest, PlacementIsSavedOnCloseAndUsedClampedNextTime) {
    ASSERT_TRUE(runWithScript([&](WindowHandle w) { setWindowRect(w, {40, 30, 1200, 700}); pumpMessages(10); }));
    std::optional<WindowPlacement> saved = readWindowPlacement(dir.path());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->show, kShowNormal);
    EXPECT_EQ(saved->normal.width, 1200);
    EXPECT_EQ(saved->normal.height, 700);

    ASSERT_TRUE(writeWindowPlacement(dir.path(), {kShowMinimized, {-90000, 50, 10, 5}}));
    int width = 0, height = 0;
    ASSERT_TRUE(runWithScript([&](WindowHandle w) { clientSize(w, &width, &height); }));
    // The placement is clamped to its own minimum, and the window then keeps
    // the size at which every band still fits.
    EXPECT_EQ(width, static_cast<int>(kMainWindowMinWidth));
    EXPECT_EQ(height, static_cast<int>(kMainWindowMinHeight));
    EXPECT_EQ(showCount(ShowCommand::Minimize), 0);
    EXPECT_EQ(showCount(ShowCommand::Maximize), 0);

    gShows.clear();
    ASSERT_TRUE(writeWindowPlacement(dir.path(), {kShowMaximized, {0, 0, 1000, 700}}));
    ASSERT_TRUE(runWithScript([&](WindowHandle) {}));
    EXPECT_EQ(showCount(ShowCommand::Maximize), 1);
}

// The geometry of a DPI change and of the first window.
TEST(MainWindowGeometry, TheFirstSizeScalesWithTheDpiWithinTheWorkArea) {
    const std::vector<WindowRect> big = {{0, 0, 3840, 2160}};
    const WindowRect at144 = firstMainWindowRect(144, big);
    EXPECT_EQ(at144.width, 2250);
    EXPECT_EQ(at144.height, 1290);
    const WindowRect at192 = firstMainWindowRect(192, {{0, 27, 1920, 1053}});
    EXPECT_EQ(at192.width, 1920);
    EXPECT_EQ(at192.height, 1053);
    EXPECT_EQ(firstMainWindowRect(96, {}).width, 1500);  // no display known
}

TEST(MainWindowGeometry, ADpiChangeScalesAroundTheCentreWithinTheDisplay) {
    const std::vector<WindowRect> displays = {{0, 0, 1920, 1080}, {1920, 0, 3840, 2160}};
    // 1000 x 600 centred at (2920, 800) on the second display, 96 -> 144.
    WindowRect r = rescaleWindowRect({2420, 500, 1000, 600}, 96, 144, displays);
    EXPECT_EQ(r.width, 1500);
    EXPECT_EQ(r.height, 900);
    EXPECT_EQ(r.x + r.width / 2, 2920);
    EXPECT_EQ(r.y + r.height / 2, 800);
    // Growing past the first display's edge: kept inside it, at most its size.
    r = rescaleWindowRect({100, 100, 1500, 860}, 96, 192, displays);
    EXPECT_EQ(r.width, 1920);
    EXPECT_EQ(r.height, 1080);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    // Back down: half the size around the same centre.
    r = rescaleWindowRect({200, 100, 1200, 800}, 192, 96, displays);
    EXPECT_EQ(r.width, 600);
    EXPECT_EQ(r.height, 400);
    EXPECT_EQ(r.x, 500);
    EXPECT_EQ(r.y, 300);
}

}  // namespace
}  // namespace qv
