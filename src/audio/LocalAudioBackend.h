#pragma once
// PortAudio in this process: the AudioEngine, the device list and the
// synthesis, with initAudio over them. What the audio host runs inside
// itself; the runtime uses it directly only on an injected PortAudio (tests).
// A PortAudio call that hangs here can only be abandoned (see AudioEngine.h).

#include "audio/AsioRegistry.h"
#include "audio/AudioBackend.h"
#include "audio/AudioEngine.h"
#include "audio/AudioInit.h"
#include "platform/Clock.h"
#include "settings/LiveSettings.h"

#include <memory>

namespace qv {

class LocalAudioBackend final : public IAudioBackend {
public:
    struct Options {
        IPortAudio* portAudio = nullptr;        // null: the system's PortAudio
        IAsioRegistry* asioRegistry = nullptr;  // null: the system's registry
        IClock* heartbeatClock = nullptr;       // null: the system clock
        LiveSettings* settings = &gSettings;
        int callTimeoutMs = kAudioCallTimeoutMs;
        // The latency measurement; null: AudioEngine::runLoopbackTest.
        std::function<double(AudioEngine& engine, int inputDevice)> loopbackTest;
        AudioLogFn log;
    };

    explicit LocalAudioBackend(Options options);

    void start() override;
    std::vector<PhysicalDevice> devices() const override { return m_devices; }
    std::vector<InputDevice> inputDevices() const override;
    RawDeviceList rawDevices() const override;
    AudioInitResult initAudio() override;
    void reEnumerate() override;
    double loopbackTest(int inputDevice, AudioInitResult& after, std::string& testError) override;
    void closeAll() override;

    int streamCount() const override;
    bool isStreamRunning(int stream) const override;
    bool hasStaleStream(uint32_t thresholdMs) const override;
    bool streamsCalledBack() const override;
    bool isStuck() override;
    std::string lastErrorText() const override;
    SynthState& synth() override { return m_synth; }

    AudioEngine* engine() { return m_engine.get(); }

private:
    Options m_options;
    SynthState m_synth;  // before the engine: the engine (and its streams) go first
    std::vector<PhysicalDevice> m_devices;
    std::unique_ptr<AudioEngine> m_engine;
    AudioInitContext m_context;
};

}  // namespace qv
