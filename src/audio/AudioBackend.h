#pragma once
// Where PortAudio runs for the audio runtime: in this process
// (LocalAudioBackend: tests on a fake PortAudio) or in an audio host process
// of ours (AudioHostClient: the program), which can be replaced when a
// PortAudio call hangs on a dead or stopped audio server.
//
// Threads: start, initAudio, reEnumerate, loopbackTest and closeAll run on
// one thread at a time (the audio worker that holds the runtime's busy
// token: the start worker first; main at shutdown). The health getters read atomics and may be called while the
// streams call back; the runtime calls them while it holds the token.
// synth() is valid for the life of the backend; syncSettings() may be called
// from any thread; interrupt() from the main thread while a worker waits.

#include "audio/AudioDevice.h"
#include "audio/AudioStatus.h"
#include "audio/SynthState.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct AudioInitResult {
    bool ok = false;
    bool multiDevice = false;  // the streams that run are the multi-device set
    int channels = 0;          // the first stream's fed channels
    double latencyMs = 0.0;    // the first stream's output latency
    // Without streams: why, the console's line for it, and the saved name
    // of a device that was not found.
    AudioProblem problem = AudioProblem::None;
    std::string problemText;
    std::string missingDevice;
};

using AudioLogFn = std::function<void(std::string_view)>;

class IAudioBackend {
public:
    virtual ~IAudioBackend() = default;

    // PortAudio up and the first device list (printed).
    virtual void start() = 0;
    // The current device list.
    virtual std::vector<PhysicalDevice> devices() const = 0;
    // The input devices of the same enumeration (the latency test's choices).
    virtual std::vector<InputDevice> inputDevices() const = 0;
    // PortAudio's own list of the same enumeration (the device wizard's log).
    virtual RawDeviceList rawDevices() const = 0;
    // initAudio from the live settings; publishes the stream count and the
    // device status rows, and writes the resolved device part of the settings.
    virtual AudioInitResult initAudio() = 0;
    // A fresh PortAudio and device list, logged ("reEnumerate() done: ...").
    virtual void reEnumerate() = 0;
    // The latency test, then initAudio again (`after`); one-way ms or -1.
    // `testError` is the test's own reason when it failed for a known one
    // (empty when simply no pulse came back), taken before the restart.
    virtual double loopbackTest(int inputDevice, AudioInitResult& after, std::string& testError) = 0;
    virtual void closeAll() = 0;

    // ---- health ----
    virtual int streamCount() const = 0;
    virtual bool isStreamRunning(int stream) const = 0;
    // True when a running stream's heartbeat is older than thresholdMs.
    virtual bool hasStaleStream(uint32_t thresholdMs) const = 0;
    // True when every open stream has called back since it was opened.
    virtual bool streamsCalledBack() const = 0;
    // The first running stream whose device went away while the stream
    // still runs (its ports lost their connections), else -1.
    virtual int lostDeviceStream() const { return -1; }
    // True while a PortAudio call that timed out has not returned and nothing
    // can be reopened in this backend.
    virtual bool isStuck() = 0;
    virtual std::string lastErrorText() const = 0;

    virtual SynthState& synth() = 0;
    // Brings the synthesis's settings up to date with the live settings.
    virtual void syncSettings() {}
    // Shutdown: ends any wait of an audio call at once.
    virtual void interrupt() {}

    bool anyStreamRunning() const {
        for (int i = 0; i < streamCount(); ++i)
            if (isStreamRunning(i))
                return true;
        return false;
    }
};

}  // namespace qv
