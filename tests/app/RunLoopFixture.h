#pragma once
// A run-loop fixture: the application runtime wired to a scripted engine, a
// manual clock, a recording console and recording fakes of every service.

#include "app/AppGlobals.h"
#include "app/AppRuntime.h"
#include "settings/LiveSettings.h"
#include "support/FakeEngine.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace qv::test {

// Every service call lands in one ordered log.
struct CallLog {
    std::mutex mutex;
    std::vector<std::string> calls;
    void add(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(call);
    }
    std::vector<std::string> copy() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    int count(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (const auto& c : calls)
            n += c == call;
        return n;
    }
};

class RecordingStore : public ISettingsStore {
public:
    explicit RecordingStore(CallLog* log) : m_log(log) {}
    bool load(HapticSettings& settings) override {
        m_log->add("load");
        if (loadGain >= 0.0f)
            settings.masterGain = loadGain;
        return true;
    }
    bool saveAll(const HapticSettings& settings) override {
        m_log->add("save");
        savedGain = settings.masterGain;
        ++saves;
        return true;
    }
    float loadGain = -1.0f;
    std::atomic<float> savedGain{-1.0f};
    std::atomic<int> saves{0};

private:
    CallLog* m_log;
};

class RecordingAudio : public IAudioRuntime {
public:
    explicit RecordingAudio(CallLog* log) : m_log(log) {}
    void start() override { m_log->add("audio.start"); }
    bool isStarting() const override { return starting; }
    bool starting = false;  // the audio start has not listed the devices yet
    bool isListingDevices() const override { return listing && listing(); }
    std::function<bool()> listing;  // unset: the devices are listed
    int audioOk() const override { return ok; }
    int audioChannels() const override { return ok ? 8 : 0; }
    void publishFrame(const HapticFrame& frame, bool onTrack) override {
        lastFrame = frame;
        frameValid = onTrack;
        ++frames;
    }
    void invalidateFrame() override { frameValid = false; }
    void triggerGearPulse(int durationMs) override { pulses.push_back(durationMs); }
    bool previewLevels(float levels[kEffectCount]) override {
        if (!previewActive)
            return false;
        for (int e = 0; e < kEffectCount; ++e)
            levels[e] = preview[e];
        return true;
    }
    void checkStreams() override { m_log->add("audio.checkStreams"); }
    void serviceLatencyRequest() override {
        if (onServiceLatency)
            onServiceLatency();
    }
    std::function<void()> onServiceLatency;
    void serviceDeviceSearch() override { ++searchServices; }
    int searchServices = 0;
    void stopAcceptingWork() override { m_log->add("audio.stopAcceptingWork"); }
    bool waitIdle(int timeoutMs) override {
        m_log->add("audio.waitIdle");
        waitedMs = timeoutMs;
        return !busy;
    }
    void closeAll() override { m_log->add("audio.closeAll"); }

    int ok = 1;
    bool busy = false;
    int waitedMs = 0;
    HapticFrame lastFrame;
    bool frameValid = false;
    int frames = 0;
    std::vector<int> pulses;
    bool previewActive = false;
    float preview[kEffectCount] = {};

private:
    CallLog* m_log;
};

class RecordingLogger : public ISuspensionLogger {
public:
    explicit RecordingLogger(CallLog* log) : m_log(log) {}
    bool isRecording() const override { return recording; }
    bool start(ISimHapticEngine&, const std::string&) override {
        m_log->add("logger.start");
        recording = startSucceeds;
        return startSucceeds;
    }
    void stop() override {
        m_log->add("logger.stop");
        recording = false;
    }
    bool writeRow(ISimHapticEngine&) override {
        ++rowsWritten;
        return false;
    }
    int secondsLeft() const override { return 120; }
    int rows() const override { return rowsWritten; }
    bool recording = false;
    bool startSucceeds = true;
    int rowsWritten = 0;

private:
    CallLog* m_log;
};

class RecordingOnline : public IOnlineServices {
public:
    explicit RecordingOnline(CallLog* log) : m_log(log) {}
    void startUpdateCheck() override { m_log->add("online.updateCheck"); }
    void sendUsagePing(const char* simName, const char* event) override {
        m_log->add(std::string("ping:") + event + ":" + simName);
    }

private:
    CallLog* m_log;
};

class RecordingGui : public IGuiHost {
public:
    explicit RecordingGui(CallLog* log) : m_log(log) {}
    void start() override { m_log->add("gui.start"); }
    void stop() override { m_log->add("gui.stop"); }
    void requestDeviceSetup() override { m_log->add("gui.deviceSetup"); }
    void setSelectSimFn(std::function<void(int)> fn) override { selectSim = std::move(fn); }
    std::function<void(int)> selectSim;

private:
    CallLog* m_log;
};

class ScriptedKeyboard : public IKeyboard {
public:
    bool isKeyDown(char key) override { return key == 'L' && lDown; }
    bool lDown = false;
};

class RunLoopTest : public ::testing::Test {
protected:
    RunLoopTest() {
        resetAppGlobals();
        gSettings.replace(HapticSettings());
        gSettings.takeDirty();
    }

    // Builds the runtime; engines named after the simulator index ("sim0" ...).
    void makeRuntime() {
        AppEnvironment env;
        env.clock = &clock;
        env.console = &console;
        env.keyboard = &keyboard;
        env.makeEngine = [this](int sim) -> std::unique_ptr<ISimHapticEngine> {
            return std::make_unique<FakeEngine>(&telemetry, "sim" + std::to_string(sim));
        };
        env.store = &store;
        env.audio = &audio;
        env.logger = loggerInUse ? loggerInUse : &logger;
        env.online = &online;
        env.gui = &gui;
        env.appDataDir = dir.path();
        env.releaseInstance = [this] { log.add("releaseInstance"); };
        runtime = std::make_unique<AppRuntime>(std::move(env));
    }

    // Start-up and a successful first connect.
    void startConnected() {
        telemetry.running = true;
        makeRuntime();
        runtime->startUp();
        ASSERT_TRUE(runtime->connectWait());
    }

    FakeSample sampleWithGear(int gear) {
        FakeSample s;
        s.gear = gear;
        return s;
    }

    TempDir dir;
    ManualClock clock;
    RecordingConsole console{true};
    ScriptedKeyboard keyboard;
    FakeTelemetry telemetry;
    CallLog log;
    RecordingStore store{&log};
    RecordingAudio audio{&log};
    RecordingLogger logger{&log};
    ISuspensionLogger* loggerInUse = nullptr;  // another logger than the recording one
    RecordingOnline online{&log};
    RecordingGui gui{&log};
    std::unique_ptr<AppRuntime> runtime;
};

}  // namespace qv::test
