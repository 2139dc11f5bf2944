// Quor Vane: simulator telemetry to tactile transducers.
//
// main wires the real services into the application runtime: the single
// instance lock, the termination signals, the terminal console and keyboard,
// the engine factory and the settings, audio, logger, online and GUI services.
// There are no command-line options; the online services read their
// addresses from the environment (BackendConfig.h).

#include "app/AppGlobals.h"
#include "app/AppRuntime.h"
#include "app/AudioRuntime.h"
#include "app/BackendConfig.h"
#include "app/FileSettingsStore.h"
#include "app/OnlineServices.h"
#include "app/SuspensionLogger.h"
#include "app/UpdateCheck.h"
#include "engines/EngineFactory.h"
#include "platform/AnsiConsole.h"
#include "platform/Clock.h"
#include "platform/ConsoleMirror.h"
#include "platform/Folders.h"
#include "platform/InstanceLock.h"
#include "platform/Keyboard.h"
#include "platform/Output.h"
#include "platform/PrintableText.h"
#include "platform/Signals.h"
#include "platform/Tray.h"
#include "platform/Window.h"
#include "platform/X11Keyboard.h"
#include "platform/net/HttpsTransport.h"
#include "ui/GuiHost.h"
#include "ui/Logo.h"

using namespace qv;

// How long the exit waits for an update check or usage report still on the
// wire, so the TLS library is not torn down under it.
constexpr int kOnlineExitWaitMs = 1000;

int main() {
    // Before any thread starts: it sets environment variables.
    prepareWindowSystem();
    // Before any thread starts; there is no matching clean-up (see HttpsTransport.h).
    std::string httpsError;
    if (!httpsGlobalInit(&httpsError))
        errPrint("  WARNING: HTTPS unavailable: %s\n", httpsError.c_str());

    std::string folderNote;
    const std::string appData = appDataFolder(&folderNote);
    if (!folderNote.empty())
        outPrint("  WARNING: %s\n", printableText(folderNote).c_str());

    // The console's grid, copied by the run loop for the console window.
    ConsoleMirror consoleMirror;
    // The window and the tray on their own thread. Declared before the
    // instance lock, whose thread calls it until the lock is released.
    GuiHost gui;
    InstanceLock instance;
    instance.setBringToFrontHandler([&gui] {
        if (gui.window())
            gui.bringToFront();
        else
            outWrite("  Another start of Quor Vane asked this one to come to the front.\n");
    });
    switch (instance.acquire("QuorVane_SingleInstance", appData)) {
    case InstanceLock::Result::AlreadyRunning:
        return 0;
    case InstanceLock::Result::Failed:
        errPrint("  WARNING: single-instance check unavailable: %s\n", instance.lastError().c_str());
        break;
    case InstanceLock::Result::Acquired:
        break;
    }

    installTerminationHandlers(&gRunning);

    std::vector<std::string> configProblems;
    BackendConfig backend = backendConfigFromEnvironment(&configProblems);
    OnlineServices online(std::move(backend), std::move(configProblems), appData);

    SystemClock clock;
    AnsiConsole console(standardOutputIsTerminal());
    // "haptic_config.ini" and the profile tree: loaded by the runtime's
    // start-up, saved after edits and once more at shutdown.
    FileSettingsStore store(appData);
    // The logger's L key: typed into this terminal, or held anywhere on the
    // X display (the simulator's window usually has the focus).
    TerminalKeyboard terminalKeys;
    X11Keyboard desktopKeys;
    CombinedKeyboard keyboard({&terminalKeys, &desktopKeys});
    SuspensionLogger logger(clock, console);

    // The watchdog log outlives the runtime: the audio workers write to it.
    WatchdogLog watchdog;
    AudioRuntime::Options audioOptions;
    audioOptions.watchdog = &watchdog;
    // PortAudio runs in the audio host beside the program (a hung audio
    // server costs a host process, never the program).
    audioOptions.hostProgram = executableFolder() + "qv-audiohost";
    // Ctrl+C ends any wait for the audio host at once.
    audioOptions.running = &gRunning;
    AudioRuntime audio(audioOptions);

    // What the window asks of the rest of the program. A refused audio
    // restart returns false, so the window can say so.
    gui.settingsFolder = appData;
    gui.consoleMirror = &consoleMirror;
    gui.quitRequestedFlag = &gQuitRequested;
    gui.updateAvailableFlag = &gUpdateAvailable;
    gui.reopenAudioFn = [&audio](int, int, int) { return audio.requestRestart(); };
    gui.testToneFn = [&audio](int channel, int durationMs, float gain, int streamIndex) {
        audio.playTestTone(channel, durationMs, gain, streamIndex);
    };
    gui.effectPreviewFn = [&audio](int effect, bool on) { audio.setEffectPreview(effect, on); };
    gui.selectSimFn = selectSimCallback;
    gui.trayFactory = [] { return createStatusNotifierTray(); };
    gui.iconRenderer = [](int size) { return renderLogoIcon(size); };
    audio.setDevicesListener([&gui](const std::vector<PhysicalDevice>& list) { gui.setDevices(list); });

    AppEnvironment env;
    env.clock = &clock;
    env.watchdog = &watchdog;
    env.audio = &audio;
    env.console = &console;
    env.keyboard = &keyboard;
    env.online = &online;
    env.logger = &logger;
    env.makeEngine = createSimEngine;
    env.store = &store;
    env.gui = &gui;
    env.consoleMirror = &consoleMirror;
    env.appDataDir = appData;
    env.releaseInstance = [&instance] { instance.release(); };

    int code;
    {
        AppRuntime runtime(std::move(env));
        code = runtime.run();
    }
    instance.release();
    online.waitIdle(kOnlineExitWaitMs);
    outputFlush(2000);
    return code;
}
