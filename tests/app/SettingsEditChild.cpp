// A program that keeps editing its settings the way the GUI does while a
// fader moves, for the kill tests of SettingsPersistenceTest.
//
// Usage: qv_settings_edit_child <settings folder ending in "/">
//
// It runs the real runtime (run loop, saver thread, file store) against a
// connected fake engine and a manual clock. In rounds, it edits the settings
// in every pass for a while, lets the loop run on until the coalesced save
// has been asked for, waits for the saver and then prints "saved <k>" where
// k is the counter of the last edit: from then on the files hold k. The
// counter goes into devices[0].bufferSize (INI file) and into the ACC
// profile's freqEngine (profile file) as 1000 + k, and each start continues
// from what it loaded. It runs until it is killed.

#include "app/AppGlobals.h"
#include "app/AppRuntime.h"
#include "app/FileSettingsStore.h"
#include "settings/LiveSettings.h"
#include "support/FakeEngine.h"

#include <algorithm>
#include <cstdio>

using namespace qv;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qv_settings_edit_child <folder>/\n");
        return 2;
    }
    const std::string folder = argv[1];
    FileSettingsStore store(folder);
    ManualClock clock;
    RecordingConsole console(true);
    test::FakeTelemetry telemetry;
    telemetry.running = true;

    AppEnvironment env;
    env.clock = &clock;
    env.console = &console;
    env.makeEngine = [&telemetry](int) -> std::unique_ptr<ISimHapticEngine> {
        return std::make_unique<test::FakeEngine>(&telemetry, "fake");
    };
    env.store = &store;
    env.appDataDir = folder;
    AppRuntime runtime(std::move(env));
    runtime.startUp();
    if (!runtime.connectWait())
        return 3;

    const HapticSettings loaded = gSettings.snapshot();
    int k = std::max({0, loaded.devices[0].bufferSize - 1000,
                      static_cast<int>(loaded.effectProfiles[kACC].freqEngine * 10.0f + 0.5f) - 1000});
    std::printf("started %d\n", k);
    std::fflush(stdout);
    for (;;) {
        for (int i = 0; i < 20; ++i) {
            ++k;
            gSettings.edit([k](HapticSettings& s) {
                s.devices[0].bufferSize = 1000 + k;
                // Tenths of a hertz: profile frequencies stay within 1000 Hz.
                s.effectProfiles[kACC].freqEngine = static_cast<float>(1000 + k) / 10.0f;
            });
            runtime.runPass();
            telemetry.calls.clear();
        }
        // More than a second of passes: the coalesced save has been asked for.
        for (int i = 0; i < 130; ++i)
            runtime.runPass();
        telemetry.calls.clear();
        runtime.saver().waitIdle();
        std::printf("saved %d\n", k);
        std::fflush(stdout);
        if (k > 7000)
            return 4;  // bufferSize would leave its range; the test never gets here
    }
}
