#pragma once
// The connection to PortAudio and the output streams that carry the zone
// signals to the shakers: one stream on one device (openDevice) or one per
// enabled physical device (openMultiDevice), always float32 interleaved
// output, with channel-count and sample-rate fallback until the device takes
// a format; start and close all streams together; heartbeats, running flags
// and xrun counts for the run loop's stale check.
//
// Threads: open, start, close, enumeration and reinitialise run on one thread
// at a time (main, or the one audio worker that holds the busy flag); the
// engine takes no lock. Each stream's callback runs on PortAudio's audio
// thread and reads only what was prepared before the stream started (see
// StreamSlot.h). anyStreamRunning, hasStaleStream, totalXruns and the status
// getters read atomics and may be called while callbacks run.
//
// Teardown never hangs: the PortAudio calls that wait on an audio server
// (initialise, terminate, open, start, stop, close) run through a TimedCall.
// One that does not return within the call time-out leaves PortAudio "stuck":
// its stream is detached (its callbacks play silence and stop) and abandoned,
// the final terminate is skipped, and until the call returns (if ever) the
// engine makes no PortAudio call at all. Meanwhile re-enumeration keeps the
// last device list, opening fails with a text that names the call (printed
// once), and closing and destruction still finish. In the program the engine
// runs in the audio host, which ends after such a call and is replaced (see
// AudioHostClient.h).

#include "audio/AsioRegistry.h"
#include "audio/AudioBuffer.h"
#include "audio/AudioDevice.h"
#include "audio/PortAudioApi.h"
#include "audio/StreamSlot.h"
#include "audio/TimedCall.h"
#include "platform/Clock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// Longest wait for one PortAudio call that may block on an audio server.
inline constexpr int kAudioCallTimeoutMs = 5000;
inline constexpr int kMinFramesPerBuffer = 64;
inline constexpr int kMaxFramesPerBuffer = 4096;

class AudioEngine {
public:
    // Fills one block: stream index, planar buffer. Called on the audio thread
    // of that stream; several streams may call it at once.
    using RenderCallback = std::function<void(int32_t streamIndex, AudioBuffer& buffer)>;

    struct Services {
        IPortAudio* portAudio = nullptr;       // null: the real PortAudio
        IAsioRegistry* asioRegistry = nullptr;  // null: the system's registry (no drivers on Linux)
        IClock* clock = nullptr;               // null: the system clock (heartbeats, stale check)
        int callTimeoutMs = kAudioCallTimeoutMs;
    };

    // Initialises PortAudio; on failure lastErrorText() says why and every
    // operation returns false or an empty result.
    AudioEngine();
    explicit AudioEngine(const Services& services);
    // Closes the streams and terminates PortAudio (not when it is stuck).
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // --- Devices (DeviceEnumeration.h) ---
    // The grouped device list (printing the device table); empty when
    // PortAudio is not initialised; the last list while PortAudio is stuck.
    std::vector<PhysicalDevice> devices();
    // The devices with inputs (PortAudio order) found by the last devices()
    // call; what the latency test may use.
    const std::vector<InputDevice>& inputDevices() const { return m_lastInputs; }
    // PortAudio's own list of the same enumeration, entry for entry.
    const RawDeviceList& rawDevices() const { return m_lastRaw; }
    // PortAudio index of the first output device whose name contains name
    // (ASCII case-insensitive); -1 when none does or PortAudio is unusable.
    int findDeviceByName(const std::string& name);
    // Closes the streams, restarts PortAudio and enumerates again. While
    // PortAudio is stuck it keeps the last list and restarts nothing.
    std::vector<PhysicalDevice> reinitialise();

    // --- Streams ---
    // One stream in slot 0. channels <= 0: as many as the device offers (at
    // most 8); framesPerBuffer is clamped to 64..4096; a deviceIndex at or
    // above kRegistryAsioIdBase, or a clsid with an index that is no PortAudio
    // ASIO device, is resolved through the ASIO registry. Not started.
    bool openDevice(int deviceIndex, int channels, double sampleRate, int framesPerBuffer, const std::string& clsid);
    // One stream per enabled device, with its selectedApi, maxChannels and
    // bufferSize. True when at least one stream opened. Not started.
    bool openMultiDevice(const std::vector<PhysicalDevice>& devices, double sampleRate);
    // Replaces the render callable; only while no stream runs.
    void setRenderCallback(RenderCallback callback);
    // Streams started from now on publish their health also into
    // table[stream index] (for indices below count; null: nowhere), written
    // by their callbacks as they run. Only while no stream runs.
    void publishHealthTo(StreamHealth* table, int count);
    bool startAll();
    // Stops and closes every stream and empties the list; safe with none.
    void closeAll();

    // --- Loopback latency test (AudioEngineLoopback.cpp) ---
    // Measures the real output latency with a cable from an output of the
    // first stream's device to an input: checks both devices, closes the
    // output streams, plays one pulse on a duplex stream and waits (up to
    // 5 s of the engine's clock) for it to come back. Returns the one-way
    // latency in ms (also kept in measuredLatencyMs), or -1.0: with
    // lastErrorText() saying why, except when no pulse came back (a console
    // line says so). inputDevice < 0: findLoopbackInputDevice. Bringing the
    // output streams back is the caller's task. Runs on the thread that owns
    // the engine (the latency worker).
    double runLoopbackTest(int32_t inputDevice);
    // The PortAudio index of the input to pair with outputDevice, or -1.
    int32_t findLoopbackInputDevice(int32_t outputDevice);
    // The one-way latency of the last successful test; -1.0 before one.
    double measuredLatencyMs() const { return m_measuredLatencyMs; }

    // --- Health (any thread) ---
    bool anyStreamRunning() const;
    // True when a running stream has a heartbeat older than thresholdMs
    // (32-bit tick difference, so a wrapping tick count is no problem). A
    // stream without a heartbeat yet is not stale.
    bool hasStaleStream(uint32_t thresholdMs) const;
    int totalXruns() const;
    void resetXrunCounts();
    // True while a PortAudio call that timed out has not returned: nothing
    // can be reopened by this PortAudio (the audio host that runs it is
    // replaced).
    bool isAudioSystemStuck();

    // --- Status ---
    std::string lastErrorText() const { return m_lastError; }
    bool isPortAudioInitialised() const { return m_paInitialised; }
    int streamCount() const { return static_cast<int>(m_streams.size()); }
    // The slot at index, or null.
    const StreamSlot* stream(int index) const;
    // Of the first stream, with defaults for none: active channels (0),
    // frames per buffer (256), sample rate (48000), latency (0), whether a
    // callback ran (false).
    int streamChannels() const;
    int streamFrames() const;
    double streamSampleRate() const;
    double streamLatencyMs() const;
    bool hasFirstCallback() const;

    // lastError := text, and "  [AudioEngine] ERROR: " + text on standard error.
    void setError(const std::string& text);
    // lastError := text without a console line (the caller printed its own).
    void noteError(const std::string& text) { m_lastError = text; }
    // Forgets the last error (before an operation whose own error is wanted).
    void clearError() { m_lastError.clear(); }

    // Audio thread (streamCallback): runs the render callable for one block.
    void render(int32_t streamIndex, AudioBuffer& buffer) {
        if (m_renderCallback)
            m_renderCallback(streamIndex, buffer);
    }

private:
    enum class CallKind { Initialize, Terminate, Stream };

    bool usable();
    bool timedCall(const char* name, CallKind kind, std::function<int()> work, PaError& result);
    void abandon(std::unique_ptr<StreamSlot> slot);
    void abandonAll();
    void clearStreams();
    bool hostApiIsAsio(const PaDeviceInfo& info);
    // The server's buffer size for a device whose server sets it (JACK), else 0.
    int serverFramesOf(const PaDeviceInfo& info);
    // Opens slot with halving of the channel count; false when every count
    // failed (lastOpenError) or PortAudio got stuck (stuck).
    bool openWithFallback(StreamSlot& slot, int deviceIndex, int& channels, double rate, double requestedRate,
                          int frames, bool isAsio, int multiIndex, PaError& lastOpenError, bool& stuck);
    void fillSlot(StreamSlot& slot, int deviceIndex, int channels, double rate, int frames, bool isAsio,
                  bool floorWithoutInfo, int serverFrames);

    IPortAudio* m_pa;
    IAsioRegistry* m_registry;
    IClock* m_clock;
    int m_callTimeoutMs;

    std::vector<std::unique_ptr<StreamSlot>> m_streams;
    RenderCallback m_renderCallback;
    StreamHealth* m_published = nullptr;
    int m_publishedCount = 0;
    bool m_paInitialised = false;
    std::string m_lastError;
    std::vector<PhysicalDevice> m_lastDevices;
    std::vector<InputDevice> m_lastInputs;
    RawDeviceList m_lastRaw;

    // The call that did not return in time, while it has not.
    std::unique_ptr<TimedCall> m_pending;
    std::string m_pendingName;
    CallKind m_pendingKind = CallKind::Stream;
    std::string m_stuckText;

    double m_measuredLatencyMs = -1.0;
};

}  // namespace qv
