#include "app/AppRuntime.h"

#include "app/AppGlobals.h"
#include "platform/ConsoleMirror.h"
#include "platform/Output.h"
#include "platform/PrintableText.h"
#include "settings/LiveSettings.h"

#include <algorithm>
#include <cstdio>

namespace qv {

AppRuntime::AppRuntime(AppEnvironment env)
    : m_env(std::move(env)),
      m_audio(m_env.audio ? m_env.audio : &m_noAudio),
      m_logger(m_env.logger ? m_env.logger : &m_noLogger),
      m_online(m_env.online ? m_env.online : &m_noOnline),
      m_gui(m_env.gui ? m_env.gui : &m_noGui),
      m_saver(std::make_unique<SettingsSaver>(m_env.store)),
      m_watchdogLog(m_env.watchdog ? m_env.watchdog : &m_ownWatchdog) {}

AppRuntime::~AppRuntime() = default;

int AppRuntime::run() {
    startUp();
    const bool connected = connectWait();
    if (connected)
        runLoop();
    shutdown(connected);
    return 0;
}

void AppRuntime::startUp() {
    IConsole& console = *m_env.console;
    console.setCursorVisible(false);

    if (m_env.store) {
        HapticSettings loaded = gSettings.snapshot();
        if (!m_env.store->load(loaded))
            errPrint("ERROR: loading the settings: %s\n", printableText(m_env.store->lastError()).c_str());
        gSettings.replace(loaded);
    }

    std::string watchdogError;
    if (!m_watchdogLog->open(m_env.appDataDir + "watchdog.log", &watchdogError))
        errPrint("  WARNING: the watchdog log is not kept: %s\n", printableText(watchdogError).c_str());
    m_watchdogLog->write("Watchdog log started");

    m_online->startUpdateCheck();
    m_online->sendUsagePing("", "launch");

    // The audio starts on a worker: an audio server that does not answer
    // holds up neither the window nor Ctrl+C.
    m_audio->start();

    m_gui->start();
    // The window is up meanwhile. The devices are listed before the
    // simulator wait begins, unless the audio system is slow to answer;
    // Ctrl+C and the window's Exit end the wait at once.
    for (int waited = 0; gRunning.load() && !gQuitRequested.load();) {
        const bool listing = m_audio->isListingDevices() && waited < kDeviceListWaitMs;
        if (waited >= kDeviceSetupDelayMs && !listing)
            break;
        const int bound = listing ? kDeviceListWaitMs : kDeviceSetupDelayMs;
        const int slice = std::min(bound - waited, kWaitSliceMs);
        m_env.clock->sleepMs(static_cast<uint64_t>(slice));
        waited += slice;
    }
    // A first run gets the device wizard, with the device list it needs:
    // now, or from the loops once the audio start has listed the devices.
    m_deviceSetupDue = true;
    offerDeviceSetup();

    int sim = gSettings.snapshot().selectedSim;
    m_engine = m_env.makeEngine(sim);
    m_gear.reset();
    m_gui->setSelectSimFn(selectSimCallback);
    drawWaitingLine(console, *m_engine);
}

void AppRuntime::switchEngine(int sim, bool inRunLoop) {
    // The last simulator's dashboard goes: the new one draws its own header
    // only once it connects, and until then only its waiting line shows.
    m_env.console->setColor(ConsoleAttr::kNormal);
    m_env.console->clear();
    // The file's header belongs to the engine that started the recording;
    // rows of another simulator under it would make the file unreadable.
    if (m_logger->isRecording()) {
        m_logger->stop();
        drawStatusLine(*m_env.console, ConsoleAttr::kYellow, kLoggerRow,
                       "  [ Susp Logger ]  SAVED -> susp_log.csv  (simulator changed)         ");
    }
    m_engine->disconnect();
    m_connectionLive = false;  // the new engine has not connected yet: nothing was lost
    if (inRunLoop) {
        gSimConnected = 0;
        m_audio->invalidateFrame();
    }
    gSettings.edit([sim](HapticSettings& s) { s.selectedSim = sim; }, false);
    std::unique_ptr<ISimHapticEngine> replacement = m_env.makeEngine(sim);
    std::unique_ptr<ISimHapticEngine> old = std::move(m_engine);
    m_engine = std::move(replacement);
    old.reset();
    m_gear.reset();
    if (inRunLoop) {
        m_frame = HapticFrame{};
        gHapticFrame.store(m_frame);
    }
    drawWaitingLine(*m_env.console, *m_engine);
}

void AppRuntime::offerDeviceSetup() {
    if (!m_deviceSetupDue || m_audio->isStarting())
        return;
    m_deviceSetupDue = false;
    if (gSettings.snapshot().audioDeviceIndex < 0)
        m_gui->requestDeviceSetup();
}

void AppRuntime::pollSettingsSave() {
    // Called on every pass of every loop: also the moment to hand the console
    // to its window (the mirror copies at most ten times a second) and to
    // offer the device wizard that waited for the audio start.
    offerDeviceSetup();
    if (m_env.consoleMirror)
        m_env.consoleMirror->publishIfDue(m_env.console->screen(), m_env.clock->nowMs());
    if (gSettings.takeDirty())
        m_savePending = true;
    // Ctrl+S in the window: a save now, whatever the interval says and
    // whether or not anything changed.
    const bool saveNow = gSaveRequested.exchange(0) != 0;
    if (!m_savePending && !saveNow)
        return;
    const uint64_t now = m_env.clock->nowMs();
    if (!saveNow && m_saveKicked && now - m_lastSaveKickMs < kSaveIntervalMs)
        return;
    m_saver->requestSave();
    m_savePending = false;
    m_saveKicked = true;
    m_lastSaveKickMs = now;
}

void AppRuntime::waitSliced(int totalMs, bool serviceLatency) {
    int remaining = totalMs;
    while (remaining > 0 && gRunning.load()) {
        const int slice = std::min(remaining, kWaitSliceMs);
        pollSettingsSave();
        if (serviceLatency)
            m_audio->serviceLatencyRequest();
        m_audio->serviceDeviceSearch();
        m_env.clock->sleepMs(static_cast<uint64_t>(slice));
        remaining -= slice;
    }
}

bool AppRuntime::connectWait() {
    while (gRunning.load()) {
        if (m_engine->connect()) {
            connectActions(true);
            return true;
        }
        if (gQuitRequested.load())
            gRunning = 0;

        const int requested = gRequestedSim.exchange(-1);
        if (isValidSimIndex(requested))
            switchEngine(requested, false);
        m_gear.reset();

        if (gConsoleToggleRequested.exchange(0)) {
            // Re-binding the console is the GUI's business; the status line is ours.
            drawWaitingLine(*m_env.console, *m_engine);
        }

        for (int slice = 0; slice < kWaitSlices; ++slice) {
            if (!gRunning.load())
                break;
            float levels[kEffectCount];
            if (m_audio->previewLevels(levels)) {
                for (int e = 0; e < kEffectCount; ++e)
                    gEffectMeters[e] = levels[e];
            }
            if (gQuitRequested.load()) {
                gRunning = 0;
                break;
            }
            pollSettingsSave();
            m_audio->serviceLatencyRequest();
            m_audio->serviceDeviceSearch();
            m_env.clock->sleepMs(kWaitSliceMs);
        }
    }
    return false;
}

void AppRuntime::drawHeader() {
    const HapticSettings snapshot = gSettings.snapshot();
    const int sim = isValidSimIndex(snapshot.selectedSim) ? snapshot.selectedSim : 0;
    m_engine->drawDashboardHeader(*m_env.console, m_audio->audioOk() != 0, m_audio->audioChannels(),
                                  snapshot.effectProfiles[sim]);
}

void AppRuntime::connectActions(bool first) {
    if (first) {
        drawHeader();
        gDashboardAudioOk = m_audio->audioOk();
    }
    gSimConnected = 1;
    m_connectionLive = true;
    m_online->sendUsagePing(m_engine->displayName(), "sim_connect");
    if (first) {
        m_audio->invalidateFrame();
        if (!m_everConnected)
            m_t0Ms = m_env.clock->nowMs();
        m_everConnected = true;
        m_updatesThisSecond = 0;
        m_updatesPerSecond = 0;
        m_dashboardCounter = 0;
        m_secondMarkNs = m_env.clock->nowNs();
        m_recoveryMarkNs = m_secondMarkNs;
    } else {
        drawHeader();
    }
}

double AppRuntime::secondsSinceT0() {
    return static_cast<double>(m_env.clock->nowMs() - m_t0Ms) / 1000.0;
}

double AppRuntime::secondsSinceShift() { return m_gear.secondsSinceShift(secondsSinceT0()); }

void AppRuntime::updateMeters(const HapticFrame& frame, const EffectProfile& fx) {
    float levels[kEffectCount] = {};
    for (const CornerHaptics& c : frame.corners) {
        levels[kRoadVibration] = std::max(levels[kRoadVibration], c.roadAmp);
        levels[kSuspImpact] = std::max(levels[kSuspImpact], c.impactAmp);
        levels[kKerbRumble] = std::max(levels[kKerbRumble], c.kerbAmp);
        levels[kAbsLock] = std::max(levels[kAbsLock], c.absAmp);
        levels[kWheelSlip] = std::max(levels[kWheelSlip], c.slipAmp);
    }
    levels[kEngineRumble] = frame.engineAmp;
    levels[kGearChange] = gearMeterLevel(secondsSinceShift(), fx.gearChangeIntensity);
    for (int e = 0; e < kEffectCount; ++e)
        gEffectMeters[e] = levels[e];
}

void AppRuntime::handleLoggerKey() {
    if (!m_env.keyboard)
        return;
    IConsole& console = *m_env.console;
    const bool down = m_env.keyboard->isKeyDown('L');
    if (down && !m_loggerKeyDown) {
        if (m_logger->isRecording()) {
            m_logger->stop();
            drawStatusLine(console, ConsoleAttr::kYellow, kLoggerRow,
                           "  [ Susp Logger ]  SAVED -> susp_log.csv                              ");
        } else if (m_logger->start(*m_engine, m_env.appDataDir)) {
            drawStatusLine(console, ConsoleAttr::kRed, kLoggerRow,
                           "  [ Susp Logger ]  RECORDING -- 2min max -- Press L to stop          ");
        }
    }
    if (m_logger->isRecording()) {
        char text[80];
        std::snprintf(text, sizeof text, "  [ Susp Logger ]  RECORDING  %2ds remaining  rows=%-5d  Press L to stop",
                      m_logger->secondsLeft(), m_logger->rows());
        console.setColor(ConsoleAttr::kRed);
        console.setCursor(0, kLoggerRow);
        console.write(text);
    }
    m_loggerKeyDown = down;
}

void AppRuntime::runPass() {
    IClock& clock = *m_env.clock;
    IConsole& console = *m_env.console;
    const uint64_t tStart = clock.nowNs();

    if (gQuitRequested.load()) {
        gRunning = 0;
        return;
    }

    const int requested = gRequestedSim.exchange(-1);
    if (isValidSimIndex(requested))
        switchEngine(requested, true);

    if (m_audio->audioOk() != gDashboardAudioOk.load()) {
        gDashboardAudioOk = m_audio->audioOk();
        drawHeader();
    }

    if (gConsoleToggleRequested.exchange(0))
        drawHeader();

    if (!m_engine->isConnected()) {
        // Once per lost connection: not for an engine that never connected
        // (a simulator change), nor again on every 2 s retry.
        if (m_connectionLive) {
            std::string line = "  ";
            line += m_engine->displayName();
            line += " disconnected - reconnecting...          ";
            drawStatusLine(console, ConsoleAttr::kRed, kReconnectRow, line);
            m_connectionLive = false;
        }
        gSimConnected = 0;
        m_audio->invalidateFrame();
        m_engine->disconnect();
        waitSliced(kReconnectWaitMs, true);
        if (gRunning.load() && m_engine->connect())
            connectActions(false);
        return;
    }

    const HapticSettings snapshot = gSettings.snapshot();
    const EffectProfile& fx = snapshot.effectProfiles[isValidSimIndex(snapshot.selectedSim) ? snapshot.selectedSim : 0];
    m_frame = HapticFrame{};
    if (m_engine->update(fx, m_frame)) {
        ++m_updatesThisSecond;
        m_audio->publishFrame(m_frame, m_engine->isOnTrack());
        gHapticFrame.store(m_frame);
        updateMeters(m_frame, fx);

        if (m_logger->isRecording() && m_logger->writeRow(*m_engine)) {
            drawStatusLine(console, ConsoleAttr::kYellow, kLoggerRow,
                           "  [ Susp Logger ]  SAVED -> susp_log.csv  (2min complete)              ");
        }

        if (m_gear.observe(m_engine->gear(), secondsSinceT0())) {
            m_audio->triggerGearPulse(gearPulseMs(fx.gearChangeDuration));
            m_flash.request(clock, 500);
        }
    }

    float preview[kEffectCount];
    if (m_audio->previewLevels(preview)) {
        for (int e = 0; e < kEffectCount; ++e)
            gEffectMeters[e] = preview[e];
    }

    ++m_dashboardCounter;
    const int every = m_engine->isConnected() ? kDashboardEvery : kDashboardEveryDisconnected;
    if (m_dashboardCounter >= every) {
        m_dashboardCounter = 0;
        const HapticSettings dash = gSettings.snapshot();
        const int sim = isValidSimIndex(dash.selectedSim) ? dash.selectedSim : 0;
        m_engine->drawDashboard(console, gHapticFrame.load(), dash.effectProfiles[sim], m_updatesPerSecond,
                                static_cast<float>(secondsSinceShift()));
    }

    pollSettingsSave();

    uint64_t now = clock.nowNs();
    if (now - m_recoveryMarkNs >= 2'000'000'000ull) {
        m_recoveryMarkNs = now;
        m_audio->checkStreams();
    }
    if (now - m_secondMarkNs >= 1'000'000'000ull) {
        m_updatesPerSecond = m_updatesThisSecond;
        m_updatesThisSecond = 0;
        m_secondMarkNs = now;
    }
    const uint64_t elapsed = clock.nowNs() - tStart;

    m_flash.update(clock, console);
    handleLoggerKey();
    m_audio->serviceLatencyRequest();
    m_audio->serviceDeviceSearch();

    if (elapsed < kRunPeriodNs)
        clock.sleepNs(kRunPeriodNs - elapsed);
}

void AppRuntime::runLoop() {
    while (gRunning.load())
        runPass();
}

void AppRuntime::shutdown(bool wasConnected) {
    IConsole& console = *m_env.console;
    if (wasConnected) {
        if (m_logger->isRecording())
            m_logger->stop();
        m_engine->disconnect();
    }
    m_audio->stopAcceptingWork();
    if (m_audio->waitIdle(m_env.shutdownWaitMs)) {
        m_audio->closeAll();
    } else {
        m_watchdogLog->write("Shutdown: audio worker still busy; streams left open");
        errPrint("  WARNING: an audio worker did not finish in time; streams were left open\n");
    }
    m_gui->stop();
    m_saver->stopAndSave();
    if (wasConnected) {
        console.setCursor(0, kExitRow);
        console.setCursorVisible(true);
        console.setColor(ConsoleAttr::kNormal);
        if (console.isAttached())
            console.write("\nExited cleanly.\n");
        else
            outWrite("Exited cleanly.\n");
        if (m_env.releaseInstance)
            m_env.releaseInstance();
    } else {
        // No goodbye text without a connection, but the terminal belongs to
        // the user: give its cursor and colours back.
        console.setCursorVisible(true);
        console.setColor(ConsoleAttr::kNormal);
    }
    console.releaseTerminal();
    m_engine.reset();
    m_watchdogLog->close();
}

}  // namespace qv
