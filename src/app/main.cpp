// Quor Vane: simulator telemetry to tactile transducers.
//
// main wires the real services into the application runtime: the single
// instance lock, the termination signals, the terminal console and keyboard,
// the engine factory and the settings, audio, logger, online and GUI services.

#include "app/AppGlobals.h"
#include "app/AppRuntime.h"
#include "engines/EngineFactory.h"
#include "platform/AnsiConsole.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/InstanceLock.h"
#include "platform/Keyboard.h"
#include "platform/Output.h"
#include "platform/Signals.h"

using namespace qv;

int main() {
    const std::string appData = appDataFolder();

    InstanceLock instance;
    instance.setBringToFrontHandler([] {
        // The window that acts on this belongs to the GUI; until it runs, a
        // line on the console says that the request arrived.
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

    SystemClock clock;
    AnsiConsole console(standardOutputIsTerminal());
    TerminalKeyboard keyboard;

    AppEnvironment env;
    env.clock = &clock;
    env.console = &console;
    env.keyboard = &keyboard;
    env.makeEngine = createSimEngine;
    env.appDataDir = appData;
    env.releaseInstance = [&instance] { instance.release(); };

    int code;
    {
        AppRuntime runtime(std::move(env));
        code = runtime.run();
    }
    instance.release();
    outputFlush(2000);
    return code;
}
