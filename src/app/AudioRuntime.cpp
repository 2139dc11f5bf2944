// The audio runtime. Sections:
//   shared state and logging
//   start-up and the IAudioRuntime pass-throughs
//   workers (recovery, latency test, restart)
//   stream-stale check, latency requests and the device search (main thread)
//   shutdown

#include "app/AudioRuntime.h"

#include "app/DeviceSearchSchedule.h"
#include "audio/AudioEngine.h"
#include "audio/AudioHostClient.h"
#include "audio/AudioInit.h"
#include "audio/AudioStatus.h"
#include "audio/LocalAudioBackend.h"
#include "audio/SynthState.h"
#include "platform/Output.h"
#include "platform/PrintableText.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace qv {

// ---- shared state and logging ----

// The one-worker-at-a-time token. It lives apart from the shared block, so
// that a worker gives it back only after it let go of the block: whoever then
// takes the token for good (the shutdown wait) may free what the block
// refers to (the injected PortAudio, the GUI behind the device listener).
struct WorkerToken {
    std::atomic<int32_t> busy{0};
    std::mutex mutex;
    std::condition_variable idle;

    bool take() {
        int32_t expected = 0;
        return busy.compare_exchange_strong(expected, 1);
    }
    void release() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            busy.store(0);
        }
        idle.notify_all();
    }
};

struct AudioRuntime::Shared {
    explicit Shared(Options o) : options(std::move(o)) {
        searchClock = options.searchClock ? options.searchClock : &systemClock;
        auto logFn = [this](std::string_view text) { log(text); };
        if (!options.hostProgram.empty() && options.portAudio == nullptr) {
            AudioHostClient::Options host;
            host.program = options.hostProgram;
            host.settings = options.settings;
            host.log = logFn;
            host.startTimeoutMs = options.hostStartTimeoutMs;
            host.requestTimeoutMs = options.hostRequestTimeoutMs;
            host.running = options.running;
            host.serverBuffer = [this](int frames, double latencyMs) { noteServerBuffer(frames, latencyMs); };
            backend = std::make_unique<AudioHostClient>(std::move(host));
        } else {
            LocalAudioBackend::Options inProcess;
            inProcess.portAudio = options.portAudio;
            inProcess.asioRegistry = options.asioRegistry;
            inProcess.heartbeatClock = options.heartbeatClock;
            inProcess.settings = options.settings;
            inProcess.callTimeoutMs = options.callTimeoutMs;
            inProcess.loopbackTest = options.loopbackTest;
            inProcess.log = logFn;
            auto made = std::make_unique<LocalAudioBackend>(std::move(inProcess));
            local = made.get();
            backend = std::move(made);
        }
    }

    // The backend goes first: its teardown may still write to the log.
    ~Shared() { backend.reset(); }

    Options options;
    std::unique_ptr<IAudioBackend> backend;
    LocalAudioBackend* local = nullptr;  // the backend, when PortAudio runs in this process
    std::atomic<bool> started{false};
    std::atomic<bool> starting{false};
    std::atomic<bool> listing{false};

    std::atomic<int32_t> audioOk{0};
    std::atomic<int32_t> audioChannels{0};
    std::shared_ptr<WorkerToken> token = std::make_shared<WorkerToken>();
    std::atomic<int32_t> recoveryActive{0};
    std::atomic<int32_t> recoveryAttempts{0};
    std::atomic<bool> accepting{true};
    std::atomic<bool> multiDevice{false};

    // The search for a saved device that was not found: begun and ended by
    // the published results (any worker), its looks started by the main
    // thread (serviceDeviceSearch).
    SystemClock systemClock;
    IClock* searchClock = nullptr;
    mutable std::mutex searchMutex;
    DeviceSearchSchedule search;

    // Held while a device list is handed to the GUI, so lists reach the
    // listener in the order they were made; taken before devicesMutex.
    std::mutex handOverMutex;
    mutable std::mutex devicesMutex;
    std::vector<PhysicalDevice> guiDevices;
    std::vector<InputDevice> guiInputs;
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

    void releaseToken() { token->release(); }

    void shareDevices() {
        std::lock_guard<std::mutex> handOver(handOverMutex);
        const std::vector<PhysicalDevice> devices = backend->devices();
        std::function<void(const std::vector<PhysicalDevice>&)> listener;
        {
            std::lock_guard<std::mutex> lock(devicesMutex);
            guiDevices = devices;
            guiInputs = backend->inputDevices();
            publishInputDevices(guiInputs);
            publishRawDevices(backend->rawDevices());
            listener = devicesListener;
        }
        if (listener)
            listener(devices);
    }

    // A new server buffer size while streams run: the GUI's copy of the
    // list shows it on the JACK variants (the only ones with a server size),
    // so an open device wizard does too.
    void noteServerBuffer(int frames, double latencyMs) {
        std::lock_guard<std::mutex> handOver(handOverMutex);
        std::vector<PhysicalDevice> devices;
        std::function<void(const std::vector<PhysicalDevice>&)> listener;
        {
            std::lock_guard<std::mutex> lock(devicesMutex);
            bool changed = false;
            for (PhysicalDevice& d : guiDevices)
                for (DeviceInfo& v : d.apis)
                    if (v.serverBufferFrames > 0 &&
                        (v.serverBufferFrames != frames || v.serverLatencyMs != latencyMs)) {
                        v.serverBufferFrames = frames;
                        v.serverLatencyMs = latencyMs;
                        changed = true;
                    }
            if (!changed)
                return;
            devices = guiDevices;
            listener = devicesListener;
        }
        if (listener)
            listener(devices);
    }

    // The published results of an initAudio, with the window's notice of
    // why audio is missing (none when streams run; left as it was when the
    // program is ending).
    bool publish(const AudioInitResult& result) {
        multiDevice = result.ok && result.multiDevice;
        audioOk = result.ok ? 1 : 0;
        audioChannels = result.ok ? result.channels : 0;
        gAudioReady = result.ok ? 1 : 0;
        if (result.ok)
            publishAudioNotice(AudioNotice{});
        else if (result.problem != AudioProblem::None)
            publishAudioNotice(makeAudioNotice(result.problem, result.problemText, result.missingDevice));
        noteDeviceSearch(result);
        gAudioInitCount.fetch_add(1);
        return result.ok;
    }

    // A saved device that is not listed is looked for again until it plays;
    // streams that run, or any other reason for none, end the search.
    void noteDeviceSearch(const AudioInitResult& result) {
        const bool missing =
            !result.ok && result.problem == AudioProblem::DeviceNotFound && !result.missingDevice.empty();
        bool begun = false;
        {
            std::lock_guard<std::mutex> lock(searchMutex);
            if (!missing) {
                search.end();
            } else if (!search.isSearching()) {
                search.begin(searchClock->nowMs());
                begun = true;
            }
        }
        if (begun)
            log("Saved device '" + printableText(result.missingDevice) +
                "' not found: looking for it again every 2 s for a minute, then every 10 s");
    }

    bool initAndPublish() { return publish(backend->initAudio()); }

    // A stream whose device went away: the window says so from now on (the
    // recovery's attempts then say whether it is listed), rather than
    // nothing while no audio plays.
    void noteLostDevice(int stream) {
        if (stream < 0)
            return;
        std::string name;
        if (stream < kDeviceStatusRows) {
            const DeviceStatusRow row = deviceStatus().rows[stream];
            name.assign(row.deviceName, ::strnlen(row.deviceName, sizeof row.deviceName));
        }
        if (name.empty()) {
            const HapticSettings settings = options.settings->snapshot();
            name.assign(settings.devices[0].name, ::strnlen(settings.devices[0].name, sizeof settings.devices[0].name));
        }
        const std::string shown = printableText(name);
        publishAudioNotice(makeAudioNotice(AudioProblem::DeviceNotFound,
                                           "Device '" + shown + "' is gone: looking for it again", name));
        log("Device '" + shown + "' is gone");
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

namespace {

void audioStartWorker(const std::shared_ptr<AudioRuntime::Shared>& shared, int) {
    AudioRuntime::Shared& s = *shared;
    s.backend->start();
    s.shareDevices();
    s.listing = false;
    const AudioInitResult result = s.backend->initAudio();
    s.publish(result);
    if (!result.ok && result.problem == AudioProblem::NotResponding && s.accepting.load()) {
        // Nothing ran yet that could go stale: the recovery starts here, as
        // for a stream that stopped, and gets the audio back once the
        // server answers again.
        s.log("Audio system not responding at start-up, entering recovery mode");
        s.recoveryActive = 1;
        s.recoveryAttempts = 0;
    }
    std::lock_guard<std::mutex> lock(s.token->mutex);
    s.starting = false;
}

}  // namespace

void AudioRuntime::start() {
    Shared& s = *m_shared;
    if (s.started.load() || !takeToken())
        return;
    s.starting = true;
    s.listing = true;
    s.started = true;
    if (!startWorker(audioStartWorker, 0)) {
        audioStartWorker(m_shared, 0);  // no thread to spare: start here, waiting
        s.releaseToken();
    }
}

bool AudioRuntime::isStarting() const { return m_shared->starting.load(); }
bool AudioRuntime::isListingDevices() const { return m_shared->listing.load(); }

bool AudioRuntime::waitUntilStarted(int timeoutMs) const {
    Shared& s = *m_shared;
    WorkerToken& token = *s.token;
    std::unique_lock<std::mutex> lock(token.mutex);
    return token.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                               [&s, &token] { return !s.starting.load() && token.busy.load() == 0; });
}

int AudioRuntime::audioOk() const { return m_shared->audioOk.load(); }
int AudioRuntime::audioChannels() const { return m_shared->audioChannels.load(); }
void AudioRuntime::publishFrame(const HapticFrame& frame, bool onTrack) {
    m_shared->backend->syncSettings();
    synth().publishFrame(frame, onTrack);
}
void AudioRuntime::invalidateFrame() { synth().invalidateFrame(); }
void AudioRuntime::triggerGearPulse(int durationMs) { synth().triggerGearPulseAll(durationMs); }
bool AudioRuntime::previewLevels(float levels[kEffectCount]) { return synth().copyPreviewLevels(levels); }

bool AudioRuntime::playTestTone(int channel, int durationMs, float gain, int deviceSlot) {
    m_shared->backend->syncSettings();
    return synth().startTestTone(channel, durationMs, gain, deviceSlot);
}

bool AudioRuntime::setEffectPreview(int effect, bool on) {
    if (!on) {
        synth().stopEffectPreview();
        return true;
    }
    m_shared->backend->syncSettings();
    return synth().startEffectPreview(effect);
}

std::vector<PhysicalDevice> AudioRuntime::copyDevices() const {
    std::lock_guard<std::mutex> lock(m_shared->devicesMutex);
    return m_shared->guiDevices;
}

std::vector<InputDevice> AudioRuntime::copyInputDevices() const {
    std::lock_guard<std::mutex> lock(m_shared->devicesMutex);
    return m_shared->guiInputs;
}

void AudioRuntime::setDevicesListener(std::function<void(const std::vector<PhysicalDevice>&)> listener) {
    std::lock_guard<std::mutex> lock(m_shared->devicesMutex);
    m_shared->devicesListener = std::move(listener);
}

bool AudioRuntime::isWorkerBusy() const { return m_shared->token->busy.load() != 0; }
bool AudioRuntime::isRecoveryActive() const { return m_shared->recoveryActive.load() != 0; }
bool AudioRuntime::isSearchingForDevice() const {
    std::lock_guard<std::mutex> lock(m_shared->searchMutex);
    return m_shared->search.isSearching();
}
int AudioRuntime::recoveryAttempts() const { return m_shared->recoveryAttempts.load(); }
SynthState& AudioRuntime::synth() { return m_shared->backend->synth(); }
AudioEngine* AudioRuntime::engine() { return m_shared->local ? m_shared->local->engine() : nullptr; }
IAudioBackend& AudioRuntime::backend() { return *m_shared->backend; }

bool AudioRuntime::takeToken() {
    return m_shared->token->take();
}

// ---- workers ----

namespace {

void recoveryWorker(const std::shared_ptr<AudioRuntime::Shared>& shared, int);

}  // namespace

bool AudioRuntime::startWorker(void (*body)(const std::shared_ptr<Shared>&, int), int argument) {
    try {
        // The token goes back after the thread let go of the block.
        std::thread([shared = m_shared, token = m_shared->token, body, argument]() mutable {
            body(shared, argument);
            shared.reset();
            token->release();
        }).detach();
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
    IAudioBackend& backend = *s.backend;
    s.log("reEnumerate() starting");
    backend.reEnumerate();
    s.shareDevices();
    s.log("initAudio() starting");
    const AudioInitResult result = backend.initAudio();
    bool ok = s.publish(result);
    bool silent = false;
    if (ok) {
        // A stream that starts but never calls back is no recovery: wait a
        // bounded time for every stream's first callback.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.options.callbackWaitMs);
        // The end of the program ends the wait too.
        const auto ending = [&s] {
            return !s.accepting.load() || (s.options.running && s.options.running->load() == 0);
        };
        while (!backend.streamsCalledBack() && std::chrono::steady_clock::now() < deadline && !ending())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!backend.streamsCalledBack() && !ending()) {
            ok = false;
            silent = true;
            s.audioOk = 0;
            s.audioChannels = 0;
            gAudioReady = 0;
            publishAudioNotice(makeAudioNotice(AudioProblem::OpenFailed,
                                               "The streams started but the device never called back"));
        }
    }
    const int channels = s.audioChannels.load();
    const double latency = ok ? result.latencyMs : 0.0;
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
        const std::string cause = backend.lastErrorText();
        s.log("initAudio error: " + (cause.empty() ? std::string("the audio layer gave no reason") : cause));
    }
}

void latencyWorker(const std::shared_ptr<AudioRuntime::Shared>& shared, int inputDevice) {
    AudioRuntime::Shared& s = *shared;
    AudioInitResult after;
    std::string error;
    const double oneWay = s.backend->loopbackTest(inputDevice, after, error);
    s.publish(after);
    setLatencyTestError(error);
    gLatencyTestResultMs = oneWay > 0.0 ? static_cast<float>(oneWay) : -1.0f;
    gLatencyTestRequest = kLatencyRequestNone;  // after the result and its text
}

// Ends a request without a test: the result, its reason, then the flag.
void answerLatencyRequest(const std::string& error) {
    setLatencyTestError(error);
    gLatencyTestResultMs = -1.0f;
    gLatencyTestRequest = kLatencyRequestNone;
}

void restartWorker(const std::shared_ptr<AudioRuntime::Shared>& shared, int) {
    AudioRuntime::Shared& s = *shared;
    // A restart looks at the devices afresh: an interface plugged in or an
    // audio server started since the last enumeration shows up in the GUI's
    // list and can be opened.
    s.backend->reEnumerate();
    s.shareDevices();
    s.initAndPublish();
}

// One look of the device search: a fresh device list (a new audio host,
// which also chooses the audio server afresh), shared with the GUI, and
// initAudio only once the saved device is listed, so a look that finds
// nothing prints nothing. The device playing is said once, on the console
// and in the log.
void deviceSearchWorker(const std::shared_ptr<AudioRuntime::Shared>& shared, int) {
    AudioRuntime::Shared& s = *shared;
    s.backend->reEnumerate();
    s.shareDevices();
    const HapticSettings settings = s.options.settings->snapshot();
    const auto& saved = settings.devices[0];
    const std::string name(saved.name, ::strnlen(saved.name, sizeof saved.name));
    const std::string api(saved.api, ::strnlen(saved.api, sizeof saved.api));
    if (!s.accepting.load())
        return;  // the program is ending
    const std::vector<PhysicalDevice> devices = s.backend->devices();
    const int found = findDeviceByHardwareName(devices, name);
    if (found < 0 || chooseVariant(devices[static_cast<size_t>(found)], api, true) < 0)
        return;
    if (s.initAndPublish()) {
        outPrint("  [AudioEngine] Saved device '%s' found: the shakers play\n", printableText(name).c_str());
        s.log("Saved device '" + printableText(name) + "' found: the shakers play");
    }
}

}  // namespace

bool AudioRuntime::requestRestart() {
    Shared& s = *m_shared;
    if (!s.accepting.load() || !s.started || !takeToken())
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
    if (!s.accepting.load() || !s.started)
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
    IAudioBackend& backend = *s.backend;
    if (s.recoveryActive.load())
        return startAttempt();
    const bool running = s.audioOk.load() && backend.anyStreamRunning();
    if (!running)
        return false;
    const bool stale = backend.hasStaleStream(kStaleThresholdMs);
    if (stale && backend.isStreamRunning(0)) {
        s.log("Stream stale detected, entering recovery mode");
        s.noteLostDevice(backend.lostDeviceStream());
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
    if (n == kMaxRecoveryAttempts || s.backend->isStuck()) {
        // In this process nothing can be re-opened while a PortAudio call has
        // not returned (the engine said so once): no more attempts. The audio
        // host is never stuck: a hung one is replaced by the next attempt.
        if (n < kMaxRecoveryAttempts)
            s.log("GAVE UP: " + s.backend->lastErrorText());
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
    s.backend->syncSettings();
    SynthReadyReport ready;
    if (synth().takeReadyReport(ready))
        outPrint("  [AudioEngine] Synth ready%s: %d samples @ %g Hz\n", s.multiDevice.load() ? " (multi)" : "",
                 ready.frames, static_cast<double>(ready.sampleRate));

    if (gLatencyTestRequest.load() != kLatencyRequestPending || !s.accepting.load() || !s.started)
        return;
    if (!takeToken())
        return;  // after the running worker
    int32_t pending = kLatencyRequestPending;
    if (!gLatencyTestRequest.compare_exchange_strong(pending, kLatencyRequestTaken)) {
        s.releaseToken();  // withdrawn by the dialog meanwhile
        return;
    }
    const int input = gLatencyInputDevice.load();
    const std::string refusal = checkLatencyInput(input, latencyInputName());
    if (!refusal.empty()) {
        answerLatencyRequest(refusal);
        s.releaseToken();
        return;
    }
    gAudioReady = 0;
    if (!startWorker(latencyWorker, input)) {
        // Without a worker the dialog would wait for ever: answer it.
        gAudioReady = s.audioOk.load();
        answerLatencyRequest("The latency test could not be started.");
        s.releaseToken();
    }
}

void AudioRuntime::serviceDeviceSearch() {
    Shared& s = *m_shared;
    // The start worker and a recovery episode look for the devices
    // themselves.
    if (!s.accepting.load() || !s.started || s.starting.load() || s.recoveryActive.load())
        return;
    {
        std::lock_guard<std::mutex> lock(s.searchMutex);
        if (!s.search.isLookDue(s.searchClock->nowMs()))
            return;
    }
    if (!takeToken())
        return;  // after the running worker
    bool due = false;
    {
        std::lock_guard<std::mutex> lock(s.searchMutex);
        const uint64_t now = s.searchClock->nowMs();
        // Shutdown began, or a worker found the device, since the first look.
        due = s.accepting.load() && !s.recoveryActive.load() && s.search.isLookDue(now);
        if (due)
            s.search.noteLook(now);
    }
    if (!due || !startWorker(deviceSearchWorker, 0))
        s.releaseToken();
}

std::string AudioRuntime::checkLatencyInput(int input, const std::string& name) const {
    if (input < 0 || name.empty())
        return {};
    std::lock_guard<std::mutex> lock(m_shared->devicesMutex);
    for (const InputDevice& device : m_shared->guiInputs)
        if (device.paIndex == input)
            return device.name == name ? std::string()
                                       : "The device list changed: \"" + name + "\" is no longer input " +
                                             std::to_string(input) + ". Choose the input again.";
    return "The input device \"" + name + "\" is no longer available. Choose the input again.";
}

// ---- shutdown ----

void AudioRuntime::stopAcceptingWork() {
    m_shared->accepting = false;
    if (isWorkerBusy())
        m_shared->backend->interrupt();
}

bool AudioRuntime::waitIdle(int timeoutMs) {
    Shared& s = *m_shared;
    WorkerToken& token = *s.token;
    std::unique_lock<std::mutex> lock(token.mutex);
    // Taking the token for good: no worker can start after this.
    return token.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                               [&token] { return token.take(); });
}

void AudioRuntime::closeAll() {
    Shared& s = *m_shared;
    if (s.started)
        s.backend->closeAll();
    synth().setStreamLayout(0, nullptr);
    s.audioOk = 0;
    s.audioChannels = 0;
    gAudioReady = 0;
    gAudioStreamCount = 0;
    publishDeviceStatus(DeviceStatusTable{});
}

}  // namespace qv
