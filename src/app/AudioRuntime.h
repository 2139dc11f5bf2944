#pragma once
// The audio side of the program: the audio backend (PortAudio in the audio
// host process, or in this process on an injected PortAudio), the synthesis
// and the three audio workers (stream recovery, latency test, the GUI's audio
// restart), behind the run loop's IAudioRuntime seam.
//
// Threads:
// - start, the IAudioRuntime operations and the stream-stale check run on
//   the main thread; start only begins the audio: PortAudio, the first
//   device list and the first initAudio run on the start worker, so the
//   window and the loops never wait for an audio server;
// - requestRestart, playTestTone, setEffectPreview and copyDevices are the
//   GUI's callables (GUI thread);
// - serviceDeviceSearch runs on the main thread and starts the device
//   search's looks as a fourth kind of worker under the same token;
// - the workers run detached, one at a time: each runs only while its starter
//   holds the busy token (taken by compare-exchange) and gives it back as its
//   last step, after its thread let go of the shared block. The stale check holds the token for its whole run, so it never
//   reads the stream list while a worker changes it. At shutdown
//   stopAcceptingWork() refuses new workers and waitIdle() takes the token
//   for good.
// Everything the workers touch lives in a reference-counted block that a
// worker keeps alive until it ends, so a worker that outlives the wait at
// shutdown never touches freed memory; the watchdog log, which the runtime
// does not own, is let go when the runtime is destroyed.

#include "app/AppServices.h"
#include "app/WatchdogLog.h"
#include "audio/AsioRegistry.h"
#include "audio/AudioBackend.h"
#include "audio/AudioDevice.h"
#include "audio/AudioEngine.h"
#include "audio/PortAudioApi.h"
#include "platform/Clock.h"
#include "settings/LiveSettings.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {

class SynthState;

inline constexpr uint32_t kStaleThresholdMs = 1000;
inline constexpr int kMaxRecoveryAttempts = 30;

class AudioRuntime : public IAudioRuntime {
public:
    // The loopback measurement of the latency worker: one-way ms, or -1.
    using LoopbackTestFn = std::function<double(AudioEngine& engine, int inputDevice)>;

    struct Options {
        // The audio host program (qv-audiohost). Set, and without an injected
        // portAudio, PortAudio runs in that process, which is replaced when a
        // PortAudio call hangs; else PortAudio runs in this process.
        std::string hostProgram;
        IPortAudio* portAudio = nullptr;        // null: the system's PortAudio
        IAsioRegistry* asioRegistry = nullptr;  // null: the system's registry
        IClock* heartbeatClock = nullptr;       // stream heartbeats; null: the system clock
        IClock* searchClock = nullptr;          // the device search's schedule; null: the system clock
        WatchdogLog* watchdog = nullptr;        // may be null: nothing is logged
        LiveSettings* settings = &gSettings;
        // How long a recovery attempt waits for the re-opened streams' first
        // callbacks before it counts as failed.
        int callbackWaitMs = 2000;
        // Longest wait for one PortAudio call before the engine gives the
        // audio system up as not responding (in this process).
        int callTimeoutMs = kAudioCallTimeoutMs;
        // The audio host: longest wait for a new host's PortAudio and device
        // list, and for the answer to a request, before it is replaced.
        int hostStartTimeoutMs = 10000;
        int hostRequestTimeoutMs = 15000;
        // The program's run flag: when it drops, every wait for the audio
        // host ends within a slice (may be null).
        const std::atomic<int32_t>* running = nullptr;
        LoopbackTestFn loopbackTest;  // null: AudioEngine::runLoopbackTest
    };

    AudioRuntime();
    explicit AudioRuntime(Options options);
    ~AudioRuntime() override;
    AudioRuntime(const AudioRuntime&) = delete;
    AudioRuntime& operator=(const AudioRuntime&) = delete;

    // ---- IAudioRuntime (main thread) ----
    // Starts the start worker: the engine (or the audio host), the device
    // list and initAudio. Returns at once. When the audio system did not
    // answer, the stream-stale check's recovery takes the start over.
    void start() override;
    bool isStarting() const override;
    bool isListingDevices() const override;
    // Waits up to timeoutMs for the start worker (tests).
    bool waitUntilStarted(int timeoutMs) const;
    int audioOk() const override;
    int audioChannels() const override;
    void publishFrame(const HapticFrame& frame, bool onTrack) override;
    void invalidateFrame() override;
    void triggerGearPulse(int durationMs) override;
    bool previewLevels(float levels[kEffectCount]) override;
    // The stream-stale check and recovery (every 2 s while connected).
    void checkStreams() override;
    // Starts the latency test when it is asked for and no worker runs; also
    // prints the synthesis-ready line of a new start.
    void serviceLatencyRequest() override;
    // While the saved device is missing (the last initialisation did not
    // find it), starts a look for it on a worker when one is due (2 s apart
    // for the first minute, then 10 s; DeviceSearchSchedule.h) and no other
    // worker runs: a fresh device list and, once the device is listed,
    // initAudio. Never waits. Called in every pass of every loop.
    void serviceDeviceSearch() override;
    // Refuses new workers and ends any wait of a running one for a hung
    // audio call (the audio host is killed), so shutdown never hangs.
    void stopAcceptingWork() override;
    bool waitIdle(int timeoutMs) override;
    void closeAll() override;

    // ---- GUI callables ----
    // Restarts the audio from the saved settings on a worker; false (the
    // request is dropped) while another worker runs or at shutdown.
    bool requestRestart();
    // See SynthState::startTestTone; `deviceSlot` is the zone's device.
    bool playTestTone(int channel, int durationMs, float gain, int deviceSlot);
    bool setEffectPreview(int effect, bool on);
    std::vector<PhysicalDevice> copyDevices() const;
    // The devices with inputs of the last enumeration (also published for
    // the latency dialog, AudioStatus.h).
    std::vector<InputDevice> copyInputDevices() const;
    // Called with every new device list (start-up, re-enumeration); the GUI
    // keeps its own copy. Set before start().
    void setDevicesListener(std::function<void(const std::vector<PhysicalDevice>&)> listener);

    // ---- state, for the dashboard and tests ----
    bool isWorkerBusy() const;
    bool isRecoveryActive() const;
    bool isSearchingForDevice() const;
    int recoveryAttempts() const;
    SynthState& synth();
    // The engine when PortAudio runs in this process, else null.
    AudioEngine* engine();
    IAudioBackend& backend();

    // What the workers share with the runtime (AudioRuntime.cpp).
    struct Shared;

private:
    bool takeToken();
    // The stale check's decision once the token is held; true when the token
    // went to a recovery worker.
    bool recoveryStep();
    bool startAttempt();
    bool startWorker(void (*body)(const std::shared_ptr<Shared>&, int), int argument);
    // Empty when the input may be tested: no name to check, or the listed
    // device at that index still has that name; else why not.
    std::string checkLatencyInput(int input, const std::string& name) const;

    std::shared_ptr<Shared> m_shared;
};

}  // namespace qv
