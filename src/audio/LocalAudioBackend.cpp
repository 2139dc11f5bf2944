#include "audio/LocalAudioBackend.h"

namespace qv {

LocalAudioBackend::LocalAudioBackend(Options options)
    : m_options(std::move(options)), m_synth(*m_options.settings) {}

void LocalAudioBackend::start() {
    AudioEngine::Services services;
    services.portAudio = m_options.portAudio;
    services.asioRegistry = m_options.asioRegistry;
    services.clock = m_options.heartbeatClock;
    services.callTimeoutMs = m_options.callTimeoutMs;
    m_engine = std::make_unique<AudioEngine>(services);
    m_devices = m_engine->devices();
    m_context.engine = m_engine.get();
    m_context.portAudio = m_options.portAudio ? m_options.portAudio : &systemPortAudio();
    m_context.log = m_options.log;
    m_context.devices = &m_devices;
    m_context.synth = &m_synth;
    m_context.settings = m_options.settings;
}

AudioInitResult LocalAudioBackend::initAudio() {
    AudioInitResult result;
    if (!m_engine)
        return result;
    result.ok = m_context.initAudio();
    result.multiDevice = result.ok && m_context.multiDevice;
    result.channels = result.ok ? streamActiveChannels(*m_engine, 0) : 0;
    result.latencyMs = result.ok ? m_engine->streamLatencyMs() : 0.0;
    if (!result.ok) {
        result.problem = m_context.problem;
        result.problemText = m_context.problemText;
        result.missingDevice = m_context.missingDevice;
    }
    return result;
}

void LocalAudioBackend::reEnumerate() {
    if (m_engine)
        m_context.reEnumerateDevices();
}

double LocalAudioBackend::loopbackTest(int inputDevice, AudioInitResult& after, std::string& testError) {
    testError.clear();
    if (!m_engine)
        return -1.0;
    m_engine->clearError();
    const double oneWay = m_options.loopbackTest ? m_options.loopbackTest(*m_engine, inputDevice)
                                                 : m_engine->runLoopbackTest(inputDevice);
    if (oneWay <= 0.0)
        testError = m_engine->lastErrorText();
    after = initAudio();
    return oneWay;
}

void LocalAudioBackend::closeAll() {
    if (m_engine)
        m_engine->closeAll();
}

int LocalAudioBackend::streamCount() const { return m_engine ? m_engine->streamCount() : 0; }

bool LocalAudioBackend::isStreamRunning(int stream) const {
    const StreamSlot* slot = m_engine ? m_engine->stream(stream) : nullptr;
    return slot != nullptr && slot->running.load() != 0;
}

bool LocalAudioBackend::hasStaleStream(uint32_t thresholdMs) const {
    return m_engine && m_engine->hasStaleStream(thresholdMs);
}

bool LocalAudioBackend::streamsCalledBack() const {
    const int count = streamCount();
    if (count == 0)
        return false;
    for (int i = 0; i < count; ++i) {
        const StreamSlot* slot = m_engine->stream(i);
        if (!slot || slot->firstBlockFrames.load() == 0)
            return false;
    }
    return true;
}

bool LocalAudioBackend::isStuck() { return m_engine && m_engine->isAudioSystemStuck(); }

std::vector<InputDevice> LocalAudioBackend::inputDevices() const {
    return m_engine ? m_engine->inputDevices() : std::vector<InputDevice>();
}

RawDeviceList LocalAudioBackend::rawDevices() const { return m_engine ? m_engine->rawDevices() : RawDeviceList(); }

std::string LocalAudioBackend::lastErrorText() const { return m_engine ? m_engine->lastErrorText() : std::string(); }

}  // namespace qv
