#include "app/RunLoopFixture.h"

#include "app/GearTracker.h"
#include "app/SuspensionLogger.h"

#include <algorithm>
#include <regex>
#include <thread>

namespace qv::test {
namespace {

int indexOf(const std::vector<std::string>& calls, const std::string& call) {
    auto it = std::find(calls.begin(), calls.end(), call);
    return it == calls.end() ? -1 : static_cast<int>(it - calls.begin());
}

TEST_F(RunLoopTest, StartUpRunsItsStepsInOrderAndLogsTheWatchdogStart) {
    makeRuntime();
    runtime->startUp();
    const auto calls = log.copy();
    const std::vector<std::string> expected = {"load", "online.updateCheck", "ping:launch:", "audio.start", "gui.start",
                                               "gui.deviceSetup"};
    std::vector<std::string> seen;
    for (const auto& c : calls)
        if (std::find(expected.begin(), expected.end(), c) != expected.end())
            seen.push_back(c);
    EXPECT_EQ(seen, expected);
    ASSERT_NE(runtime->engine(), nullptr);
    EXPECT_EQ(telemetry.calls, (std::vector<std::string>{"create:sim0"}));
    EXPECT_EQ(clock.totalSleptNs(), 200'000'000ull);  // the pause before the device wizard
    EXPECT_NE(console.screen().rowText(2).find("  Waiting for sim0 -- get into a session...         "), std::string::npos);
    EXPECT_EQ(console.screen().cell(2, 2).attribute, 14);
    const std::string watchdog = readFile(dir.file("watchdog.log"));
    EXPECT_TRUE(std::regex_match(watchdog, std::regex(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] Watchdog log started\n)"))) << watchdog;
    ASSERT_TRUE(gui.selectSim);
}

TEST_F(RunLoopTest, TheFirstRunWizardWaitsForTheAudioStartsDeviceList) {
    makeRuntime();
    audio.starting = true;
    runtime->startUp();
    EXPECT_EQ(log.count("gui.deviceSetup"), 0) << "no wizard before the devices are known";
    int slices = 0;
    audio.onServiceLatency = [&] {
        if (++slices == 3)
            audio.starting = false;
        if (slices == 6)
            gQuitRequested = 1;
    };
    EXPECT_FALSE(runtime->connectWait());
    EXPECT_EQ(log.count("gui.deviceSetup"), 1);
    EXPECT_GE(audio.searchServices, 5) << "the simulator wait looks for a missing device in every slice";
}

// The device table comes before the simulator wait: the start-up waits for
// the audio start's device list, a bounded time, and Ctrl+C or Exit end that
// wait at once.
TEST_F(RunLoopTest, TheStartUpWaitsABoundedTimeForTheDeviceListBeforeTheSimulatorWait) {
    struct Case {
        const char* what;
        uint64_t listedAfterMs;  // when the list arrives; 0: never
        uint64_t stopAfterMs;    // when Ctrl+C or Exit comes; 0: never
        bool byExit;
        uint64_t minSleptMs, maxSleptMs;
    };
    const Case cases[] = {
        {"listed at once", 1, 0, false, kDeviceSetupDelayMs, kDeviceSetupDelayMs},
        {"listed after 1.5 s", 1500, 0, false, 1500, 1500 + kWaitSliceMs},
        {"never listed", 0, 0, false, kDeviceListWaitMs, kDeviceListWaitMs},
        // The fake raises the flag when it is asked, in the slice after 700 ms.
        {"Ctrl+C while listing", 0, 700, false, 700, 700 + 2 * kWaitSliceMs},
        {"Exit while listing", 0, 700, true, 700, 700 + 2 * kWaitSliceMs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetAppGlobals();
        const uint64_t begin = clock.totalSleptNs();
        audio.listing = [&] {
            const uint64_t sleptMs = (clock.totalSleptNs() - begin) / 1'000'000ull;
            if (c.stopAfterMs && sleptMs >= c.stopAfterMs) {
                if (c.byExit)
                    gQuitRequested = 1;
                else
                    gRunning = 0;
            }
            return c.listedAfterMs == 0 || sleptMs < c.listedAfterMs;
        };
        makeRuntime();
        runtime->startUp();
        const uint64_t sleptMs = (clock.totalSleptNs() - begin) / 1'000'000ull;
        EXPECT_GE(sleptMs, c.minSleptMs);
        EXPECT_LE(sleptMs, c.maxSleptMs);
        // The start-up goes on to the engine and the waiting line either way.
        EXPECT_NE(console.screen().rowText(2).find("Waiting for sim0"), std::string::npos);
        runtime.reset();
    }
}

TEST_F(RunLoopTest, NoDeviceWizardWhenADeviceIsConfigured) {
    store.loadGain = 0.5f;
    gSettings.edit([](HapticSettings& s) { s.audioDeviceIndex = 3; }, false);
    makeRuntime();
    runtime->startUp();
    EXPECT_EQ(log.count("gui.deviceSetup"), 0);
    EXPECT_EQ(gSettings.snapshot().masterGain, 0.5f);  // what the store loaded is live
}

TEST_F(RunLoopTest, GearChangesArmPulsesOfTheConfiguredLengthAndFlashTheConsole) {
    startConnected();
    for (int gear : {1, 1, 2, 2, 3})
        telemetry.push(sampleWithGear(gear));
    for (int i = 0; i < 2; ++i)
        runtime->runPass();
    EXPECT_TRUE(audio.pulses.empty()) << "the first sample never pulses";
    EXPECT_EQ(console.fillCount(), 0);

    runtime->runPass();  // 1 -> 2
    ASSERT_EQ(audio.pulses.size(), 1u);
    EXPECT_EQ(audio.pulses[0], 51);  // default duration 0.069
    EXPECT_TRUE(runtime->consoleFlash().isOn());
    EXPECT_EQ(console.screen().cell(0, 0).attribute, 207);

    // A longer duration setting gives a longer pulse on the next change.
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[0].gearChangeDuration = 1.0f; });
    runtime->runPass();
    runtime->runPass();  // 2 -> 3
    ASSERT_EQ(audio.pulses.size(), 2u);
    EXPECT_EQ(audio.pulses[1], 200);
}

TEST_F(RunLoopTest, FlashStaysOnUntilHalfASecondAfterTheLastChange) {
    startConnected();
    telemetry.push(sampleWithGear(1));
    runtime->runPass();
    telemetry.push(sampleWithGear(2));
    runtime->runPass();
    EXPECT_EQ(console.fillCount(), 1);
    clock.advanceMs(200);
    telemetry.push(sampleWithGear(3));
    runtime->runPass();
    clock.advanceMs(400);  // 600 ms after the first change, 400 after the second
    runtime->runPass();
    EXPECT_TRUE(runtime->consoleFlash().isOn());
    EXPECT_EQ(console.fillCount(), 1) << "a new request only moves the deadline";
    clock.advanceMs(120);
    runtime->runPass();
    EXPECT_FALSE(runtime->consoleFlash().isOn());
    EXPECT_EQ(console.fillCount(), 2);
    EXPECT_EQ(console.screen().cell(50, 30).attribute, 7);
}

TEST_F(RunLoopTest, MetersAreCornerMaximaWithADecayingGearMeter) {
    startConnected();
    FakeSample s;
    s.gear = 1;
    s.frame.corners[0].roadAmp = 0.2f;
    s.frame.corners[3].roadAmp = 0.6f;
    s.frame.corners[1].kerbAmp = 0.5f;
    s.frame.corners[2].slipAmp = 0.9f;
    s.frame.corners[2].absAmp = 0.4f;
    s.frame.corners[1].impactAmp = 0.3f;
    s.frame.engineAmp = 0.7f;
    gSettings.edit([](HapticSettings& p) {
        EffectProfile& fx = p.effectProfiles[0];
        fx.roadVibration = fx.suspImpact = fx.kerbRumble = fx.engineRumble = fx.absLock = 1.0f;
        fx.wheelSlipSensitivity = 1.0f;
        fx.gearChangeIntensity = 0.6f;
    });
    telemetry.push(s);
    runtime->runPass();
    EXPECT_FLOAT_EQ(gEffectMeters[kRoadVibration].load(), 0.6f);
    EXPECT_FLOAT_EQ(gEffectMeters[kSuspImpact].load(), 0.3f);
    EXPECT_FLOAT_EQ(gEffectMeters[kKerbRumble].load(), 0.5f);
    EXPECT_FLOAT_EQ(gEffectMeters[kEngineRumble].load(), 0.7f);
    EXPECT_FLOAT_EQ(gEffectMeters[kAbsLock].load(), 0.4f);
    EXPECT_FLOAT_EQ(gEffectMeters[kWheelSlip].load(), 0.9f);
    EXPECT_EQ(gEffectMeters[kGearChange].load(), 0.0f) << "no gear change yet";
    EXPECT_EQ(gHapticFrame.load().engineAmp, 0.7f);
    EXPECT_TRUE(audio.frameValid);

    s.gear = 2;
    telemetry.push(s);
    runtime->runPass();  // the change; meters of this pass still see the old state
    clock.advanceMs(75);
    telemetry.push(s);
    runtime->runPass();
    const double since = runtime->secondsSinceShift();
    // The meter was taken during the pass, one period before the end of its sleep.
    EXPECT_NEAR(gEffectMeters[kGearChange].load(), (1.0 - (since - 0.008333) / 0.15) * 0.6, 0.005);
    EXPECT_GT(gEffectMeters[kGearChange].load(), 0.2f);
    clock.advanceMs(100);
    telemetry.push(s);
    runtime->runPass();
    EXPECT_EQ(gEffectMeters[kGearChange].load(), 0.0f);
}

TEST_F(RunLoopTest, PreviewLevelsReplaceTheEngineMeters) {
    startConnected();
    audio.previewActive = true;
    audio.preview[kKerbRumble] = 0.9f;
    FakeSample s;
    s.frame.corners[0].roadAmp = 1.0f;
    telemetry.push(s);
    runtime->runPass();
    EXPECT_EQ(gEffectMeters[kKerbRumble].load(), 0.9f);
    EXPECT_EQ(gEffectMeters[kRoadVibration].load(), 0.0f);
}

TEST_F(RunLoopTest, OffTrackSamplesInvalidateTheSynthesisFrame) {
    startConnected();
    FakeSample s;
    s.onTrack = false;
    telemetry.push(s);
    runtime->runPass();
    EXPECT_EQ(audio.frames, 1);
    EXPECT_FALSE(audio.frameValid);
    EXPECT_EQ(audio.lastFrame, HapticFrame{});
}

TEST_F(RunLoopTest, SimulatorChangeDisconnectsCreatesDestroysThenShowsTheWaitingLine) {
    startConnected();
    telemetry.calls.clear();
    gRequestedSim = 2;
    gSettings.takeDirty();
    telemetry.running = false;  // the new simulator is not there yet
    runtime->runPass();
    const auto& calls = telemetry.calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "disconnect:sim0");
    EXPECT_EQ(calls[1], "create:sim2");
    EXPECT_EQ(calls[2], "destroy:sim0");
    EXPECT_EQ(gSettings.snapshot().selectedSim, 2);
    EXPECT_FALSE(gSettings.isDirty()) << "the switch itself raises no dirty flag";
    EXPECT_EQ(gRequestedSim.load(), -1);
    EXPECT_EQ(gSimConnected.load(), 0);
    EXPECT_NE(console.screen().rowText(2).find("Waiting for sim2"), std::string::npos);
    // The new engine never connected: nothing was lost, so no reconnect line.
    EXPECT_EQ(console.screen().rowText(4).find("disconnected - reconnecting"), std::string::npos);
    EXPECT_EQ(runtime->gearTracker().lastGear, GearTracker::kNoGear);
    telemetry.running = true;
    runtime->runPass();
    EXPECT_EQ(gSimConnected.load(), 1);
}

TEST_F(RunLoopTest, ASimulatorChangeLeavesOnlyTheWaitingLineOfTheNewSimulator) {
    startConnected();
    // The last simulator's dashboard: its banner and a telemetry row.
    console.setCursor(0, 2);
    console.write(std::string(80, '='));
    console.setCursor(0, 9);
    console.write("  Lng Slip   (calc)    0.125 ABS!  ");
    console.setCursor(22, 12);
    console.write("  5000 rpm  Gear:3  180.0 km/h  ON TRACK   ");
    gRequestedSim = 2;
    telemetry.running = false;  // the new simulator has no feed yet
    runtime->runPass();
    runtime->runPass();

    EXPECT_EQ(console.screen().rowText(2).rfind("  Waiting for sim2 -- get into a session...", 0), 0u);
    EXPECT_EQ(console.screen().rowText(2).find('='), std::string::npos) << "the waiting line replaces the banner";
    for (int row = 0; row < kConsoleRows; ++row) {
        if (row == 2)
            continue;
        EXPECT_EQ(console.screen().rowText(row), std::string(kConsoleColumns, ' ')) << "row " << row;
    }
}

TEST_F(RunLoopTest, RequestsOutsideTheSimulatorRangeAreIgnored) {
    startConnected();
    telemetry.calls.clear();
    gRequestedSim = 6;
    runtime->runPass();
    gRequestedSim = 1000;
    runtime->runPass();
    EXPECT_EQ(telemetry.calls.size(), 0u);
    EXPECT_EQ(gSettings.snapshot().selectedSim, 0);
    selectSimCallback(9);
    selectSimCallback(-4);
    EXPECT_EQ(gRequestedSim.load(), -1);
    gui.selectSim(4);
    EXPECT_EQ(gRequestedSim.load(), 4);
}

TEST_F(RunLoopTest, TwoRequestsInOnePassSwapOnceToTheLater) {
    startConnected();
    telemetry.calls.clear();
    selectSimCallback(1);
    selectSimCallback(3);
    runtime->runPass();
    EXPECT_EQ(std::count(telemetry.calls.begin(), telemetry.calls.end(), "create:sim3"), 1);
    EXPECT_EQ(std::count(telemetry.calls.begin(), telemetry.calls.end(), "create:sim1"), 0);
}

TEST_F(RunLoopTest, ADisconnectedPassOnlyReconnects) {
    startConnected();
    log.calls.clear();
    telemetry.calls.clear();
    telemetry.running = false;
    int latencyServices = 0;
    audio.onServiceLatency = [&] { ++latencyServices; };
    const uint64_t before = clock.nowNs();
    runtime->runPass();
    EXPECT_EQ(clock.nowNs() - before, 2'000'000'000ull) << "the 2 s wait is the pace";
    EXPECT_GT(latencyServices, 0) << "the latency dialog is answered without a simulator too";
    EXPECT_GT(audio.searchServices, 0) << "a missing device is looked for without a simulator too";
    EXPECT_EQ(gSimConnected.load(), 0);
    EXPECT_FALSE(audio.frameValid);
    EXPECT_NE(console.screen().rowText(4).find("  sim0 disconnected - reconnecting..."), std::string::npos);
    EXPECT_EQ(console.screen().cell(2, 4).attribute, 12);
    EXPECT_EQ(log.count("audio.checkStreams"), 0);
    EXPECT_EQ(telemetry.calls, (std::vector<std::string>{"disconnect:sim0", "connect:sim0"}));
    // The next retries print nothing more (on a file each print is a line).
    console.setCursor(0, 4);
    console.write("-- row 4 --");
    runtime->runPass();
    EXPECT_EQ(console.screen().rowText(4).rfind("-- row 4 --", 0), 0u);

    telemetry.running = true;
    runtime->runPass();
    EXPECT_EQ(gSimConnected.load(), 1);
    EXPECT_EQ(log.count("ping:sim_connect:sim0"), 1);
    EXPECT_EQ(telemetry.calls.back(), "header:sim0");
    const int searches = audio.searchServices;
    runtime->runPass();
    EXPECT_EQ(audio.searchServices, searches + 1) << "and in every connected pass";
}

TEST_F(RunLoopTest, PassesSleepOutThePeriodButALatePassDoesNot) {
    startConnected();
    const uint64_t start = clock.nowNs();
    runtime->runPass();
    EXPECT_EQ(clock.nowNs() - start, kRunPeriodNs);

    telemetry.onUpdate = [this] { clock.advanceNs(3'000'000); };
    const uint64_t second = clock.nowNs();
    runtime->runPass();
    EXPECT_EQ(clock.nowNs() - second, kRunPeriodNs) << "the work is part of the period";

    telemetry.onUpdate = [this] { clock.advanceNs(12'000'000); };
    const int sleepsBefore = clock.sleepCount();
    runtime->runPass();
    EXPECT_EQ(clock.sleepCount(), sleepsBefore) << "a late pass does not sleep";
}

TEST_F(RunLoopTest, DashboardIsDrawnEverySixtyPassesAndStreamsCheckedEveryTwoSeconds) {
    startConnected();
    auto* engine = static_cast<FakeEngine*>(runtime->engine());
    for (int i = 0; i < 59; ++i)
        runtime->runPass();
    EXPECT_EQ(engine->dashboardDraws(), 0);
    runtime->runPass();
    EXPECT_EQ(engine->dashboardDraws(), 1);
    EXPECT_FLOAT_EQ(engine->lastSecondsSinceShift(), 99.0f);
    // 60 passes of 8.333 ms: 0.5 s; four times that crosses the 2 s mark once.
    for (int i = 0; i < 190; ++i)
        runtime->runPass();
    EXPECT_EQ(engine->dashboardDraws(), 4);
    EXPECT_EQ(log.count("audio.checkStreams"), 1);
}

TEST_F(RunLoopTest, UpdatesPerSecondCountsNewSamplesOfTheLastSecond) {
    startConnected();
    for (int i = 0; i < 130; ++i) {
        if (i % 2 == 0)
            telemetry.push(sampleWithGear(1));
        runtime->runPass();
    }
    EXPECT_NEAR(runtime->updatesPerSecond(), 60, 1);
}

TEST_F(RunLoopTest, TimeSinceAShiftKeepsMillisecondsAfterDaysOfUptime) {
    clock.advanceMs(10ull * 24 * 3600 * 1000);
    startConnected();
    clock.advanceMs(5ull * 24 * 3600 * 1000);
    telemetry.push(sampleWithGear(1));
    runtime->runPass();
    telemetry.push(sampleWithGear(2));
    runtime->runPass();
    clock.advanceMs(3);
    const double since = runtime->secondsSinceShift();
    EXPECT_NEAR(since, 0.003 + 0.008333, 0.0015);
}

TEST_F(RunLoopTest, DirtySettingsAreSavedWhileWaitingForTheSimulator) {
    makeRuntime();
    runtime->startUp();
    gSettings.edit([](HapticSettings& s) { s.masterGain = 0.3f; });
    int slices = 0;
    audio.onServiceLatency = [&] {
        if (++slices == 3) {
            runtime->saver().waitIdle();
            EXPECT_EQ(store.saves.load(), 1) << "saved within the first slices, long before shutdown";
            gQuitRequested = 1;
        }
    };
    EXPECT_FALSE(runtime->connectWait());
    EXPECT_EQ(store.savedGain.load(), 0.3f);
    EXPECT_LT(slices, kWaitSlices);
}

TEST_F(RunLoopTest, EditsDuringAFaderMoveAreSavedAboutOnceASecond) {
    startConnected();
    for (int i = 0; i < 120; ++i) {  // one second of passes, an edit in each
        gSettings.edit([i](HapticSettings& s) { s.masterGain = static_cast<float>(i) / 200.0f; });
        runtime->runPass();
    }
    runtime->saver().waitIdle();
    EXPECT_LE(store.saves.load(), 2);
    EXPECT_GE(store.saves.load(), 1);
    for (int i = 0; i < 130; ++i)
        runtime->runPass();
    runtime->saver().waitIdle();
    EXPECT_EQ(store.savedGain.load(), 119.0f / 200.0f) << "the last edit is saved within about a second";
}

TEST_F(RunLoopTest, CtrlSFromTheWindowSavesAtTheNextPassInsideTheIntervalAndWithoutAnEdit) {
    startConnected();
    gSettings.edit([](HapticSettings& s) { s.masterGain = 0.25f; });
    runtime->runPass();
    runtime->saver().waitIdle();
    const int before = store.saves.load();
    // Within the second after that save: an edit waits, a request does not.
    gSettings.edit([](HapticSettings& s) { s.masterGain = 0.5f; });
    runtime->runPass();
    runtime->saver().waitIdle();
    EXPECT_EQ(store.saves.load(), before) << "edits are coalesced";
    gSaveRequested.exchange(1);
    runtime->runPass();
    runtime->saver().waitIdle();
    EXPECT_EQ(store.saves.load(), before + 1);
    EXPECT_EQ(store.savedGain.load(), 0.5f);
    EXPECT_EQ(gSaveRequested.load(), 0) << "the request is taken once";
    // Nothing changed: a request still saves.
    gSaveRequested.exchange(1);
    runtime->runPass();
    runtime->saver().waitIdle();
    EXPECT_EQ(store.saves.load(), before + 2);
}

TEST_F(RunLoopTest, DirtySettingsAreSavedDuringADisconnectedPass) {
    startConnected();
    runtime->saver().waitIdle();
    const int before = store.saves.load();
    telemetry.running = false;
    gSettings.edit([](HapticSettings& s) { s.masterGain = 0.42f; });
    runtime->runPass();
    runtime->saver().waitIdle();
    EXPECT_EQ(store.saves.load(), before + 1);
    EXPECT_EQ(store.savedGain.load(), 0.42f);
}

TEST_F(RunLoopTest, ShutdownAfterAConnectionRunsInOrderAndSaysGoodbye) {
    startConnected();
    logger.recording = true;
    log.calls.clear();
    gRunning = 0;
    runtime->runLoop();
    runtime->shutdown(true);
    const auto calls = log.copy();
    const std::vector<std::string> order = {"logger.stop", "audio.stopAcceptingWork", "audio.waitIdle", "audio.closeAll",
                                            "gui.stop", "save", "releaseInstance"};
    int last = -1;
    for (const auto& c : order) {
        const int at = indexOf(calls, c);
        EXPECT_GT(at, last) << c;
        last = at;
    }
    EXPECT_EQ(indexOf(telemetry.calls, "disconnect:sim0") >= 0, true);
    EXPECT_EQ(telemetry.engineCount, 0) << "the engine is destroyed";
    EXPECT_NE(console.screen().rowText(27).find("Exited cleanly."), std::string::npos);
    EXPECT_TRUE(console.cursorVisible());
}

TEST_F(RunLoopTest, ShutdownWithoutAConnectionSavesButSaysNothing) {
    makeRuntime();
    runtime->startUp();
    gQuitRequested = 1;
    EXPECT_FALSE(runtime->connectWait());
    EXPECT_EQ(gRunning.load(), 0);
    log.calls.clear();
    runtime->shutdown(false);
    const auto calls = log.copy();
    EXPECT_EQ(calls, (std::vector<std::string>{"audio.stopAcceptingWork", "audio.waitIdle", "audio.closeAll", "gui.stop",
                                               "save"}));
    for (int row = 0; row < kConsoleRows; ++row)
        EXPECT_EQ(console.screen().rowText(row).find("Exited cleanly."), std::string::npos);
    EXPECT_TRUE(console.cursorVisible()) << "the terminal's cursor is given back";
}

TEST_F(RunLoopTest, ABusyAudioWorkerDelaysShutdownOnlyForABoundedTime) {
    startConnected();
    audio.busy = true;
    log.calls.clear();
    runtime->shutdown(true);
    EXPECT_EQ(audio.waitedMs, 10000);
    EXPECT_EQ(log.count("audio.closeAll"), 0) << "streams a worker still uses are left alone";
    EXPECT_EQ(log.count("save"), 1) << "the settings are still saved";
    EXPECT_NE(readFile(dir.file("watchdog.log")).find("audio worker still busy"), std::string::npos);
}

TEST_F(RunLoopTest, QuitRequestEndsTheRunLoopAtOnce) {
    startConnected();
    gQuitRequested = 1;
    runtime->runLoop();
    EXPECT_EQ(gRunning.load(), 0);
}

TEST_F(RunLoopTest, LoggerKeyStartsAndStopsOnRisingEdges) {
    startConnected();
    keyboard.lDown = true;
    runtime->runPass();
    runtime->runPass();  // still held: no second edge
    EXPECT_EQ(log.count("logger.start"), 1);
    EXPECT_NE(console.screen().rowText(25).find("RECORDING  120s remaining  rows=0"), std::string::npos);
    keyboard.lDown = false;
    telemetry.push(sampleWithGear(1));
    runtime->runPass();
    EXPECT_EQ(logger.rowsWritten, 1);
    keyboard.lDown = true;
    runtime->runPass();
    EXPECT_EQ(log.count("logger.stop"), 1);
    EXPECT_NE(console.screen().rowText(25).find("SAVED -> susp_log.csv"), std::string::npos);
}


TEST_F(RunLoopTest, ALoggerThatCannotStartIsNotAnnouncedAsRecording) {
    logger.startSucceeds = false;
    startConnected();
    keyboard.lDown = true;
    runtime->runPass();
    EXPECT_EQ(log.count("logger.start"), 1);
    EXPECT_EQ(console.screen().rowText(25).find("RECORDING"), std::string::npos);
}

TEST_F(RunLoopTest, TheLKeyRecordsTheFileAndASimulatorChangeEndsTheRecording) {
    SuspensionLogger real(clock, console);
    loggerInUse = &real;
    startConnected();
    keyboard.lDown = true;
    runtime->runPass();
    ASSERT_TRUE(real.isRecording());
    keyboard.lDown = false;
    telemetry.push(sampleWithGear(1));
    telemetry.push(sampleWithGear(2));
    runtime->runPass();
    runtime->runPass();
    EXPECT_EQ(real.rows(), 2);

    gRequestedSim = 1;
    telemetry.running = false;  // the new simulator is not there yet
    runtime->runPass();  // the new engine's rows under the old header would corrupt the file
    EXPECT_FALSE(real.isRecording());
    EXPECT_NE(console.screen().rowText(25).find("SAVED -> susp_log.csv  (simulator changed)"), std::string::npos);
    telemetry.running = true;
    runtime->runPass();  // connects the new engine
    telemetry.push(sampleWithGear(3));
    runtime->runPass();
    const std::string file = readFile(dir.file("susp_log.csv"));
    EXPECT_TRUE(std::regex_match(file, std::regex("timestamp_ms,gear,speed\n\\d+,1,0\\.00\n\\d+,2,0\\.00\n"))) << file;
}

}  // namespace
}  // namespace qv::test
