#pragma once
// The spine of the program on the main thread: start-up of the services, the
// connect-wait loop, the 120 Hz run loop and the orderly shutdown.
//
// Everything the loop touches outside itself (clock, console, keyboard, the
// engine factory, settings store, audio, logger, online services, GUI) comes
// in through AppEnvironment, so tests drive the whole loop with fakes and a
// manual clock. main() wires the real ones.

#include "app/AppServices.h"
#include "app/ConsoleStatus.h"
#include "app/GearTracker.h"
#include "app/SettingsSaver.h"
#include "app/WatchdogLog.h"
#include "engines/ISimHapticEngine.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Keyboard.h"

#include <functional>
#include <memory>
#include <string>

namespace qv {

class ConsoleMirror;

inline constexpr uint64_t kRunPeriodNs = 8'333'000ull;
inline constexpr int kWaitSlices = 60;
inline constexpr int kWaitSliceMs = 33;
inline constexpr int kDeviceSetupDelayMs = 200;  // from the GUI's start to the first-run wizard
// Longest wait of the start-up for the audio start's device list, so the
// table comes before the simulator wait; past it the start-up goes on.
inline constexpr int kDeviceListWaitMs = 4000;
inline constexpr int kReconnectWaitMs = 2000;
inline constexpr uint64_t kSaveIntervalMs = 1000;
inline constexpr int kDashboardEvery = 60;
inline constexpr int kDashboardEveryDisconnected = 4;

using EngineFactoryFn = std::function<std::unique_ptr<ISimHapticEngine>(int sim)>;

struct AppEnvironment {
    IClock* clock = nullptr;
    IConsole* console = nullptr;
    IKeyboard* keyboard = nullptr;  // may be null: no logger key
    EngineFactoryFn makeEngine;
    ISettingsStore* store = nullptr;  // may be null: nothing is loaded or saved
    IAudioRuntime* audio = nullptr;
    ISuspensionLogger* logger = nullptr;
    IOnlineServices* online = nullptr;
    IGuiHost* gui = nullptr;
    ConsoleMirror* consoleMirror = nullptr;  // may be null: the console is not mirrored into a window
    WatchdogLog* watchdog = nullptr;  // opened by startUp(); the runtime's own when null
    std::string appDataDir;           // ends in "/"
    int shutdownWaitMs = 10000;       // bound of the wait for a busy audio worker
    std::function<void()> releaseInstance;  // frees the single-instance lock
};

class AppRuntime {
public:
    explicit AppRuntime(AppEnvironment env);
    ~AppRuntime();
    AppRuntime(const AppRuntime&) = delete;
    AppRuntime& operator=(const AppRuntime&) = delete;

    // Start-up from loading the settings to the first engine and the waiting line.
    void startUp();
    // Waits for the engine to connect; false when the wait ended by a quit.
    bool connectWait();
    // The 120 Hz loop; returns when gRunning is cleared.
    void runLoop();
    // The shutdown after a connection, or the shorter one without.
    void shutdown(bool wasConnected);
    // startUp, connectWait, runLoop and shutdown; returns the exit code (0).
    int run();

    // One pass of the run loop (tests drive passes one by one).
    void runPass();

    ISimHapticEngine* engine() { return m_engine.get(); }
    const GearTracker& gearTracker() const { return m_gear; }
    ConsoleFlash& consoleFlash() { return m_flash; }
    WatchdogLog& watchdog() { return *m_watchdogLog; }
    SettingsSaver& saver() { return *m_saver; }
    int updatesPerSecond() const { return m_updatesPerSecond; }
    // Seconds since the last gear change, as the dashboard gets it.
    double secondsSinceShift();

private:
    void switchEngine(int sim, bool inRunLoop);
    void connectActions(bool first);
    void drawHeader();
    void pollSettingsSave();
    // Asks for the device wizard once it is due and the audio start is done.
    void offerDeviceSetup();
    void waitSliced(int totalMs, bool serviceLatency);
    void updateMeters(const HapticFrame& frame, const EffectProfile& fx);
    void handleLoggerKey();
    double secondsSinceT0();

    AppEnvironment m_env;
    IAudioRuntime m_noAudio;
    ISuspensionLogger m_noLogger;
    IOnlineServices m_noOnline;
    IGuiHost m_noGui;
    IAudioRuntime* m_audio;
    ISuspensionLogger* m_logger;
    IOnlineServices* m_online;
    IGuiHost* m_gui;

    std::unique_ptr<SettingsSaver> m_saver;
    WatchdogLog m_ownWatchdog;
    WatchdogLog* m_watchdogLog;
    ConsoleFlash m_flash;
    std::unique_ptr<ISimHapticEngine> m_engine;
    GearTracker m_gear;
    HapticFrame m_frame;

    uint64_t m_t0Ms = 0;
    bool m_everConnected = false;
    // The engine is connected, or was until this pass: a disconnected pass
    // prints the reconnect line once, when the connection was lost.
    bool m_connectionLive = false;
    int m_updatesThisSecond = 0;
    int m_updatesPerSecond = 0;
    int m_dashboardCounter = 0;
    uint64_t m_secondMarkNs = 0;
    uint64_t m_recoveryMarkNs = 0;
    bool m_loggerKeyDown = false;

    bool m_deviceSetupDue = false;
    bool m_savePending = false;
    bool m_saveKicked = false;
    uint64_t m_lastSaveKickMs = 0;
};

}  // namespace qv
