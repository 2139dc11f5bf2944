// The audio runtime. Sections:
//   shared state and logging
//   start-up and the IAudioRuntime pass-throughs
//   workers (recovery, latency test, restart)
//   stream-stale check and latency requests (main thread)
//   shutdown

#include "app/AudioRuntime.h"

#include "audio/AudioEngine.h"
#include "audio/AudioInit.h"
#include "audio/AudioStatus.h"
#include "audio/SynthState.h"
#include "platform/Output.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

namespace qv {

// ---- shared state and logging ----

struct AudioRuntime::Shared {
    explicit Shared(Options o) : options(std::move(o)), synth(*options.settings) {}

    Options options;
    SynthState synth;  // declared before the engine: the engine (and its streams) go first
    std::vector<PhysicalDevice> devices;
    std::unique_ptr<AudioEngine> engine;
    AudioInitContext context;

    std::atomic<int32_t> audioOk{0};
    std::atomic<int32_t> audioChannels{0};
    std::atomic<int32_t> busy{0};
    std::atomic<int32_t> recoveryActive{0};
    std::atomic<int32_t> recoveryAttempts{0};
    std::atomic<bool> accepting{true};
    std::atomic<bool> multiDevice{false};

    std::mutex idleMutex;
    std::condition_variable idle;

    mutable std::mutex devicesMutex;
    std::vector<PhysicalDevice> guiDevices;
    std::function<void(const std::vector<PhysicalDevice>&)> devicesListener;

    // The log belongs to main and goes with the runtime (detachLog); a
    // worker that outlives both writes nothing.
    std::mutex logMutex;

    void log(std::string_view text) {
        std::lock_guard<std::mutex> lock(logMutex);
        if (options.watchdog)
            options.watchdog->write(text);
    }

    void detachLog() {
        std::lock_guard<std::mutex> lock(logMutex);
        options.watchdog = nullptr;
    }

    void releaseToken() {
        {
            std::lock_guard<std::mutex> lock(idleMutex);
            busy.store(0);
        }
        idle.notify_all();
    }

    void shareDevices() {
        std::function<void(const std::vector<PhysicalDevice>&)> listener;
        {
            std::lock_guard<std::mutex> lock(devicesMutex);
            guiDevices = devices;
            listener = devicesListener;
        }
        if (listener)
            listener(devices);
    }

    // initAudio plus the published results.
    bool initAndPublish() {
        const bool ok = context.initAudio();
        multiDevice = ok && context.multiDevice;
        audioOk = ok ? 1 : 0;
        audioChannels = ok ? streamActiveChannels(*engine, 0) : 0;
        gAudioReady = ok ? 1 : 0;
        gAudioInitCount.fetch_add(1);
        return ok;
    }

    // True when every open stream has called back since it was opened.
    bool streamsCalledBack() const {
        const int count = engine->streamCount();
        if (count == 0)
            return false;
        for (int i = 0; i < count; ++i) {
            const StreamSlot* slot = engine->stream(i);
            if (!slot || slot->firstBlockFrames.load() == 0)
                return false;
        }
        return true;
    }
};

AudioRuntime::AudioRuntime() : AudioRuntime(Options{}) {}

AudioRuntime::AudioRuntime(Options options) : m_shared(std::make_shared<Shared>(std::move(options))) {}

AudioRuntime::~AudioRuntime() {
    // A worker still running keeps the shared block (and the engine) alive
    // until it ends; otherwise the engine closes its streams here. The
    // watchdog log may go right after the runtime: no worker writes to it
    // from now on.
    m_shared->detachLog();
}

// ---- start-up and the IAudioRuntime pass-throughs ----

void AudioRuntime::start() {
    Shared& s = *m_shared;
    AudioEngine::Services services;
    services.portAudio = s.options.portAudio;
    services.asioRegistry = s.options.asioRegistry;
    services.clock = s.options.heartbeatClock;
    services.callTimeoutMs = s.options.callTimeoutMs;
    s.engine = std::make_unique<AudioEngine>(services);
    s.devices = s.engine->devices();
    s.context.engine = s.engine.get();
    s.context.portAudio = s.options.portAudio ? s.options.portAudio : &systemPortAudio();
    s.context.log = [shared = m_shared.get()](std::string_view text) { shared->log(text); };
    s.context.devices = &s.devices;
    s.context.synth = &s.synth;
    s.context.settings = s.options.settings;
    s.shareDevices();
    if (!takeToken())
        return;
    s.initAndPublish();
    s.releaseToken();
}

int AudioRuntime::audioOk() const { return m_shared->audioOk.load(); }
int AudioRuntime::audioChannels() const { return m_shared->audioChannels.load(); }
void AudioRuntime::publishFrame(const HapticFrame& frame, bool onTrack) { m_shared->synth.publishFrame(frame, onTrack); }
void AudioRuntime::invalidateFrame() { m_shared->synth.invalidateFrame(); }
void AudioRuntime::triggerGearPulse(int durationMs) { m_shared->synth.triggerGearPulseAll(durationMs); }
bool AudioRuntime::previewLevels(float levels[kEffectCount]) { return m_shared->synth.copyPreviewLevels(levels); }

bool AudioRuntime::playTestTone(int channel, int durationMs, float gain, int deviceSlot) {
    return m_shared->synth.startTestTone(channel, durationMs, gain, deviceSlot);
}

bool AudioRuntime::setEffectPreview(int effect, bool on) {
    if (!on) {
        m_shared->synth.stopEffectPreview();
        return true;
    }
    return m_shared->synth.startEffectPreview(effect);
}

std::vector<PhysicalDevice> AudioRuntime::copyDevices() const {
    std::lock_guard<std::mutex> lock(m_shared->devicesMutex);
    return m_shared->guiDevices;
}

void AudioRuntime::setDevicesListener(std::function<void(const std::vector<PhysicalDevice>&)> listener) {
    std::lock_guard<std::mutex> lock(m_shared->devicesMutex);
    m_shared->devicesListener = std::move(listener);
}

bool AudioRuntime::isWorkerBusy() const { return m_shared->busy.load() != 0; }
bool AudioRuntime::isRecoveryActive() const { return m_shared->recoveryActive.load() != 0; }
int AudioRuntime::recoveryAttempts() const { return m_shared->recoveryAttempts.load(); }
SynthState& AudioRuntime::synth() { return m_shared->synth; }
AudioEngine* AudioRuntime::engine() { return m_shared->engine.get(); }

bool AudioRuntime::takeToken() {
    int32_t expected = 0;
    return m_shared->busy.compare_exchange_strong(expected, 1);
}

// ---- workers ----

namespace {

void recoveryWorker(const std::shared_ptr<AudioRuntime::Shared>& shared, int);

}  // namespace

bool AudioRuntime::startWorker(void (*body)(const std::shared_ptr<Shared>&, int), int argument) {
    try {
        std::thread(body, m_shared, argument).detach();
        return true;
    } catch (const std::system_error& e) {
        m_shared->log(std::string("Audio worker could not be started: ") + e.what());
        errPrint("  ERROR: an audio worker could not be started: %s\n", e.what());
        return false;
    }
}

namespace {

void recoveryWorker(const std::shared_ptr<AudioRuntime::Shared>& shared, int) {
    AudioRuntime::Shared& s = *shared;
    s.log("reEnumerate() starting");
    s.context.reEnumerateDevices();
    s.shareDevices();
    s.log("initAudio() starting");
    bool ok = s.initAndPublish();
    bool silent = false;
    if (ok) {
        // A stream that starts but never calls back is no recovery: wait a
        // bounded time for every stream's first callback.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.options.callbackWaitMs);
        while (!s.streamsCalledBack() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!s.streamsCalledBack()) {
            ok = false;
            silent = true;
            s.audioOk = 0;
            s.audioChannels = 0;
            gAudioReady = 0;
        }
    }
    const int channels = s.audioChannels.load();
    const double latency = ok ? s.engine->streamLatencyMs() : 0.0;
    char line[128];
    std::snprintf(line, sizeof line, "initAudio() result: ok=%d ch=%d latency=%.1fms", ok ? 1 : 0, channels, latency);
    s.log(line);
    if (ok) {
        s.log("RECOVERED successfully");
        s.recoveryActive = 0;
        s.recoveryAttempts = 0;
    } else if (silent) {
        s.log("initAudio error: the streams started but the device never called back");
    } else {
        s.log("initAudio error: " + s.engine->lastErrorText());
    }
    s.releaseToken();
}

void latencyWorker(const std::shared_ptr<AudioRuntime::Shared>& shared, int inputDevice) {
    AudioRuntime::Shared& s = *shared;
    const double oneWay = s.options.loopbackTest ? s.options.loopbackTest(*s.engine, inputDevice)
                                                 : s.engine->runLoopbackTest(inputDevice);
    s.initAndPublish();
    gLatencyTestResultMs = oneWay > 0.0 ? static_cast<float>(oneWay) : -1.0f;
    gLatencyTestRequest = 0;
    s.releaseToken();
}

void restartWorker(const std::shared_ptr<AudioRuntime::Shared>& shared, int) {
    AudioRuntime::Shared& s = *shared;
    // A restart looks at the devices afresh: an interface plugged in or an
    // audio server started since the last enumeration shows up in the GUI's
    // list and can be opened.
    s.context.reEnumerateDevices();
    s.shareDevices();
    s.initAndPublish();
    s.releaseToken();
}

}  // namespace

bool AudioRuntime::requestRestart() {
    Shared& s = *m_shared;
    if (!s.accepting.load() || !s.engine || !takeToken())
        return false;
    if (!s.accepting.load()) {  // shutdown began between the two reads
        s.releaseToken();
        return false;
    }
    s.recoveryAttempts = 0;
    s.recoveryActive = 0;
    gAudioReady = 0;
    if (!startWorker(restartWorker, 0)) {
        s.releaseToken();
        return false;
    }
    return true;
}

// ---- stream-stale check and latency requests (main thread) ----

void AudioRuntime::checkStreams() {
    Shared& s = *m_shared;
    if (!s.accepting.load() || !s.engine)
        return;
    // The token is held for the whole check: no worker can close or reopen
    // the streams while they are read here.
    if (!takeToken())
        return;  // a worker runs: an attempt that is due waits for the next check
    if (!recoveryStep())
        s.releaseToken();
}

bool AudioRuntime::recoveryStep() {
    Shared& s = *m_shared;
    AudioEngine& engine = *s.engine;
    if (s.recoveryActive.load())
        return startAttempt();
    const bool running = s.audioOk.load() && engine.anyStreamRunning();
    if (!running)
        return false;
    const StreamSlot* first = engine.stream(0);
    const bool stale = engine.hasStaleStream(kStaleThresholdMs);
    if (stale && first && first->running.load()) {
        s.log("Stream stale detected, entering recovery mode");
        s.recoveryActive = 1;
        s.recoveryAttempts = 0;
        return startAttempt();
    }
    if (!stale)
        s.recoveryAttempts = 0;
    return false;
}

bool AudioRuntime::startAttempt() {
    Shared& s = *m_shared;
    const int n = s.recoveryAttempts.load();
    if (n > kMaxRecoveryAttempts)
        return false;
    if (n == kMaxRecoveryAttempts || s.engine->isAudioSystemStuck()) {
        // Nothing can be re-opened while a PortAudio call has not returned
        // (the engine said so once, with what to do): no more attempts.
        if (n < kMaxRecoveryAttempts)
            s.log("GAVE UP: " + s.engine->lastErrorText());
        else
            s.log("GAVE UP after max retries");
        s.recoveryAttempts = kMaxRecoveryAttempts + 1;
        s.recoveryActive = 0;
        gAudioReady = 0;
        return false;
    }
    s.recoveryAttempts = n + 1;
    char line[128];
    std::snprintf(line, sizeof line, "RECOVERY attempt %ld/%ld", static_cast<long>(n + 1),
                  static_cast<long>(kMaxRecoveryAttempts));
    s.log(line);
    gAudioReady = 0;
    return startWorker(recoveryWorker, 0);
}

void AudioRuntime::serviceLatencyRequest() {
    Shared& s = *m_shared;
    SynthReadyReport ready;
    if (s.synth.takeReadyReport(ready))
        outPrint("  [AudioEngine] Synth ready%s: %d samples @ %g Hz\n", s.multiDevice.load() ? " (multi)" : "",
                 ready.frames, static_cast<double>(ready.sampleRate));

    if (!gLatencyTestRequest.load() || !s.accepting.load() || !s.engine)
        return;
    if (!takeToken())
        return;  // after the running worker
    gAudioReady = 0;
    const int input = gLatencyInputDevice.load();
    if (!startWorker(latencyWorker, input)) {
        // Without a worker the dialog would wait for ever: answer it.
        gLatencyTestResultMs = -1.0f;
        gLatencyTestRequest = 0;
        s.releaseToken();
    }
}

// ---- shutdown ----

void AudioRuntime::stopAcceptingWork() { m_shared->accepting = false; }

bool AudioRuntime::waitIdle(int timeoutMs) {
    Shared& s = *m_shared;
    std::unique_lock<std::mutex> lock(s.idleMutex);
    // Taking the token for good: no worker can start after this.
    return s.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs), [this] { return takeToken(); });
}

void AudioRuntime::closeAll() {
    Shared& s = *m_shared;
    if (s.engine)
        s.engine->closeAll();
    s.synth.setStreamLayout(0, nullptr);
    s.audioOk = 0;
    s.audioChannels = 0;
    gAudioReady = 0;
    gAudioStreamCount = 0;
    publishDeviceStatus(DeviceStatusTable{});
}

}  // namespace qv
