#pragma once
// The program's side of the audio host (qv-audiohost, see
// AudioHostProtocol.h): starts the host, asks it for initAudio, the latency
// test and closing, reads the streams' health from the shared block, and
// replaces a host that does not answer in time or died: it is killed and
// reaped, and the next request starts a new one. Re-enumeration always
// starts a new host, so a PortAudio that hangs on a dead audio server is
// left behind with its process and a fresh one finds the server that came
// back.
//
// The host's standard output and error are pipes that a reader thread of
// each host passes on line by line to ours (ChildOutputReader), so its lines
// are placed like the program's own (the dashboard's message area).
//
// Nothing stays behind per host: its process is reaped, its end of the
// channel and its output pipes closed, its reader joined; the shared block
// lives as long as the client.
//
// Threads: see AudioBackend.h. Every wait for the host runs in slices of at
// most 100 ms and ends within one slice once interrupt() was called or the
// `running` flag dropped (Ctrl+C), so neither a hung audio server nor a host
// that never answers holds up the end of the program.

#include "audio/AudioBackend.h"
#include "audio/AudioHostProtocol.h"
#include "platform/ChildOutputReader.h"
#include "platform/Clock.h"
#include "platform/HelperProcess.h"
#include "platform/MessageChannel.h"
#include "platform/SharedBlock.h"
#include "settings/LiveSettings.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qv {

// The PIPEWIRE_LATENCY value ("frames/rate") a host on PipeWire's JACK
// library is started with: the first device slot's buffer size, clamped as
// a stream's, at the settings' sample rate; empty when none is set.
std::string pipeWireLatency(const HapticSettings& settings);

class AudioHostClient final : public IAudioBackend {
public:
    struct Options {
        std::string program;  // path of qv-audiohost
        LiveSettings* settings = &gSettings;
        AudioLogFn log;
        // How long a new host may take to bring PortAudio up and list the
        // devices, and how long a request may take.
        int startTimeoutMs = 10000;
        int requestTimeoutMs = 15000;
        int loopbackTimeoutMs = 30000;
        // The program's run flag; 0 ends every wait for the host (may be null).
        const std::atomic<int32_t>* running = nullptr;
        // Told of every new server buffer size the host reports, after the
        // status rows took it; called on the thread that reads the channel
        // (syncSettings' caller, or a request's) with the channel held: it
        // must not call back into this client. May be empty.
        std::function<void(int frames, double latencyMs)> serverBuffer;
    };

    explicit AudioHostClient(Options options);
    // Asks the host to close its streams and end; kills it when it does not.
    ~AudioHostClient() override;
    AudioHostClient(const AudioHostClient&) = delete;
    AudioHostClient& operator=(const AudioHostClient&) = delete;

    void start() override;
    std::vector<PhysicalDevice> devices() const override { return m_devices; }
    std::vector<InputDevice> inputDevices() const override { return m_inputs; }
    RawDeviceList rawDevices() const override { return m_raw; }
    AudioInitResult initAudio() override;
    void reEnumerate() override;
    double loopbackTest(int inputDevice, AudioInitResult& after, std::string& testError) override;
    void closeAll() override;

    int streamCount() const override;
    bool isStreamRunning(int stream) const override;
    bool hasStaleStream(uint32_t thresholdMs) const override;
    int lostDeviceStream() const override;
    bool streamsCalledBack() const override;
    bool isStuck() override { return false; }
    std::string lastErrorText() const override { return m_lastError; }

    SynthState& synth() override { return m_shared->synth; }
    void syncSettings() override;
    // Kills the host a request waits for; from now on no host is started
    // and every request fails at once (shutdown).
    void interrupt() override;

    // The running host's process id, or -1 (tests).
    int hostPid() const { return m_process.pid(); }
    // The JACK server's buffer size the host last reported as changed; 0
    // until it reported one. Any thread.
    int serverBufferFrames() const { return m_serverBufferFrames.load(); }

private:
    bool startHost();
    bool ensureHost();
    void dropHost(const std::string& why, AudioProblem problem = AudioProblem::HostUnavailable);
    // Receives one message from the host, waiting until `deadline` in slices;
    // false (the host dropped, with the reason) on time-out, loss or a stop.
    // `stoppable` false: a stop does not end the wait (the quit at the end).
    bool receiveMessage(std::chrono::steady_clock::time_point deadline, size_t& size, const std::string& timeoutText,
                        bool stoppable = true);
    bool stopRequested() const;
    void endHost(int graceMs);
    // Sends one request and waits for its reply, writing the host's log
    // lines as they come. False (the host dropped) on time-out or loss.
    bool request(AudioHostOp op, int argument, int timeoutMs, AudioHostReply& reply);
    AudioInitResult applyReply(const AudioHostReply& reply);
    // A message the host sends by itself (a watchdog line, a changed server
    // buffer size) in m_message: acted on, true; false for anything else.
    bool takeNotice(size_t size);
    // Takes the host's pending notices unless a request is reading the
    // channel (which takes them itself).
    void takeHostNotices();
    AudioInitResult failInit();
    void log(std::string_view text) const;

    Options m_options;
    SharedBlock m_block;
    AudioHostBlock* m_shared = nullptr;
    std::unique_ptr<AudioHostBlock> m_localBlock;  // when no shared block could be made
    HelperProcess m_process;
    ChildOutputReader m_output;  // the running host's standard output and error
    MessageChannel m_channel;
    std::vector<uint8_t> m_message;
    std::vector<PhysicalDevice> m_devices;
    std::vector<InputDevice> m_inputs;
    RawDeviceList m_raw;
    std::string m_lastError;
    AudioProblem m_problem = AudioProblem::None;  // why the last host was dropped
    bool m_startFailed = false;  // the last start failed; initAudio does not try again at once
    std::atomic<bool> m_interrupted{false};
    mutable SystemClock m_clock;

    // Held by whoever reads the channel (the request paths, recursively);
    // takeHostNotices only tries it.
    std::recursive_mutex m_channelMutex;
    std::atomic<int32_t> m_serverBufferFrames{0};
    std::mutex m_syncMutex;
    uint32_t m_mirroredVersion = 0;
    bool m_mirrored = false;
};

}  // namespace qv
