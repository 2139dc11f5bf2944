#include "audio/AsioHost.h"

#include "audio/AsioSampleConversion.h"
#include "platform/Output.h"
#include "platform/RealtimeGuard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qv {

std::atomic<AsioHost*> gActiveAsioHost{nullptr};

namespace {

// The driver callbacks (no context pointer: they find the host through
// gActiveAsioHost). Driver thread.
void asioBufferSwitch(int32_t index, AsioBool) {
    if (AsioHost* host = gActiveAsioHost.load(std::memory_order_acquire))
        host->onBufferSwitch(index);
}

AsioTime* asioBufferSwitchTimeInfo(AsioTime* params, int32_t index, AsioBool directProcess) {
    asioBufferSwitch(index, directProcess);
    return params;
}

void asioSampleRateDidChange(double) {}

int32_t asioMessage(int32_t selector, int32_t, void*, double*) { return asioMessageReply(selector); }

// "%g": 48000 prints as "48000", 5.33333 as "5.33333".
std::string number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool isUsableRate(double rate) { return std::isfinite(rate) && rate > 0.0; }

}  // namespace

int32_t asioMessageReply(int32_t selector) {
    return selector == 1 || selector == 4 || selector == 6 || selector == 8 ? 1 : 0;
}

int32_t chooseAsioBufferSize(int32_t requested, int32_t min, int32_t max, int32_t preferred, int32_t granularity) {
    if (min < 1 || max < min || min > kMaxBlockFrames)
        return 0;
    int64_t chosen;
    if (requested >= min && requested <= max) {
        if (granularity < 1) {
            chosen = requested;
        } else {
            const long n = std::lround(static_cast<double>(requested) / granularity);
            chosen = std::max<int64_t>(min, static_cast<int64_t>(n) * granularity);
        }
    } else {
        chosen = preferred;
    }
    // The driver fills at most its maximum, the planes hold kMaxBlockFrames.
    const int32_t cap = std::min<int32_t>(max, kMaxBlockFrames);
    if (chosen > cap) {
        chosen = cap;
        if (granularity >= 1)
            chosen = std::max<int64_t>(min, cap / granularity * granularity);
    }
    if (chosen < min)
        chosen = min;
    return static_cast<int32_t>(chosen);
}

AsioHost::AsioHost(IAsioDriverFactory* factory)
    : m_factory(factory ? *factory : systemAsioDriverFactory()),
      m_callbacks{asioBufferSwitch, asioSampleRateDidChange, asioMessage, asioBufferSwitchTimeInfo} {}

AsioHost::~AsioHost() { close(); }

void AsioHost::setError(const std::string& text) {
    m_lastError = text;
    errPrint("  [AsioHost] ERROR: %s\n", text.c_str());
}

bool AsioHost::settleSampleRate(double requested) {
    double current = 0.0;
    m_driver->getSampleRate(&current);
    outPrint("  [AsioHost] Driver current sample rate: %s Hz\n", number(current).c_str());

    double chosen = 0.0;
    for (double rate : {requested, current, 48000.0, 44100.0}) {
        if (isUsableRate(rate) && m_driver->canSampleRate(rate) == kAsioOk) {
            chosen = rate;
            break;
        }
    }
    if (chosen <= 0.0) {
        setError("Driver does not support 48kHz or 44.1kHz. Check the Xonar Audio Center sample rate setting.");
        return false;
    }
    if (chosen != current && m_driver->setSampleRate(chosen) != kAsioOk) {
        if (!isUsableRate(current)) {
            setError("Could not set the sample rate to " + number(chosen) + " Hz and the driver reports no rate of its own");
            return false;
        }
        chosen = current;
        outPrint("  [AsioHost] Could not set sample rate, using driver rate: %s Hz\n", number(chosen).c_str());
    }
    m_sampleRate = chosen;
    return true;
}

bool AsioHost::init(const std::string& clsid, int32_t channels, double sampleRate, int32_t bufferFrames, void* window) {
    close();

    const AsioResult com = m_factory.initialiseCom();
    if (com < 0 && com != kRpcChangedMode) {
        setError("CoInitializeEx failed: " + std::to_string(com));
        return false;
    }
    m_comInitialised = com >= 0;

    AsioClassId id;
    if (!parseAsioClassId(clsid, id)) {
        setError("Invalid CLSID: " + clsid);
        return false;
    }
    AsioDriverPtr driver;
    const AsioResult created = m_factory.createDriver(id, driver);
    if (created < 0 || !driver) {
        char code[16];
        std::snprintf(code, sizeof code, "%08X", static_cast<uint32_t>(created));
        setError(std::string("CoCreateInstance failed (hr=0x") + code + "). Driver may not be installed.");
        return false;
    }
    m_driver = std::move(driver);

    if (!m_driver->init(nullptr) && !m_driver->init(window ? window : m_factory.foregroundWindow())) {
        char message[256] = {};
        m_driver->getErrorMessage(message);
        message[sizeof message - 1] = '\0';
        setError(std::string("ASIO driver init failed: ") + message);
        return false;
    }

    char name[256] = {};
    m_driver->getDriverName(name);
    name[sizeof name - 1] = '\0';
    outPrint("  [AsioHost] Driver loaded: %s  v%d\n", name, m_driver->getDriverVersion());

    if (!settleSampleRate(sampleRate))
        return false;

    int32_t inputs = 0, outputs = 0;
    m_driver->getChannels(&inputs, &outputs);
    outPrint("  [AsioHost] Channels: in=%d out=%d\n", inputs, outputs);
    if (outputs < 1) {
        setError("Driver reports no output channels");
        return false;
    }
    m_channels = std::clamp(std::min(outputs, channels), 1, kMaxStreamChannels);

    int32_t minFrames = 0, maxFrames = 0, preferred = 0, granularity = 0;
    m_driver->getBufferSize(&minFrames, &maxFrames, &preferred, &granularity);
    outPrint("  [AsioHost] Buffer size: min=%d max=%d pref=%d\n", minFrames, maxFrames, preferred);
    const int32_t frames = chooseAsioBufferSize(bufferFrames, minFrames, maxFrames, preferred, granularity);
    if (frames < 1) {
        setError("Driver buffer sizes (min=" + std::to_string(minFrames) + " max=" + std::to_string(maxFrames) +
                 ") do not fit the " + std::to_string(kMaxBlockFrames) + "-frame blocks of the synthesis");
        return false;
    }
    m_bufferFrames = frames;

    AsioChannelInfo info;
    info.channel = 0;
    info.isInput = 0;
    m_driver->getChannelInfo(&info);
    m_sampleType = info.type;
    outPrint("  [AsioHost] Sample type: %d\n", m_sampleType);
    if (!isSupportedAsioSampleType(m_sampleType)) {
        // Writing an unknown format as 32-bit integers would play full-scale noise.
        setError("Unsupported ASIO sample type " + std::to_string(m_sampleType) +
                 ". Choose another sample format in the driver's control panel.");
        return false;
    }
    m_sampleWidth = asioSampleWidth(m_sampleType);

    const int32_t bufferCount = std::min(outputs, kMaxAsioDriverOutputs);
    m_bufferInfos.assign(static_cast<size_t>(bufferCount), AsioBufferInfo{});
    for (int32_t i = 0; i < bufferCount; ++i) {
        m_bufferInfos[static_cast<size_t>(i)].isInput = 0;
        m_bufferInfos[static_cast<size_t>(i)].channelNum = i;
    }
    gActiveAsioHost.store(this, std::memory_order_release);
    const AsioError err = m_driver->createBuffers(m_bufferInfos.data(), bufferCount, m_bufferFrames, &m_callbacks);
    if (err != kAsioOk) {
        gActiveAsioHost.store(nullptr, std::memory_order_release);
        setError("createBuffers failed (err=" + std::to_string(err) +
                 "). Try a different buffer size or restart the app.");
        return false;
    }

    m_initialised = true;
    int32_t inputLatency = 0, outputLatency = 0;
    m_driver->getLatencies(&inputLatency, &outputLatency);
    m_latencyMs = static_cast<double>(outputLatency) / m_sampleRate * 1000.0;
    m_buffer.numChannels = m_channels;
    m_buffer.numFrames = m_bufferFrames;
    m_buffer.sampleRate = m_sampleRate;
    outWrite("  [AsioHost] Init OK\n");
    outPrint("    Driver     : %s\n", name);
    outPrint("    Channels   : %d (of %d)\n", m_channels, outputs);
    outPrint("    SampleRate : %s Hz\n", number(m_sampleRate).c_str());
    outPrint("    Buffer     : %d samples\n", m_bufferFrames);
    outPrint("    Latency    : %s ms\n\n", number(m_latencyMs).c_str());
    return true;
}

bool AsioHost::start() {
    if (!m_driver || !m_initialised) {
        setError("Cannot start -- not initialised");
        return false;
    }
    gActiveAsioHost.store(this, std::memory_order_release);
    const AsioError err = m_driver->start();
    if (err != kAsioOk) {
        setError("ASIO start failed (err=" + std::to_string(err) + ")");
        return false;
    }
    m_running.store(1);
    outWrite("  [AsioHost] Stream started\n");
    return true;
}

void AsioHost::stop() {
    m_running.store(0);
    if (m_driver)
        m_driver->stop();
}

void AsioHost::close() {
    stop();
    if (m_driver) {
        if (m_initialised) {
            m_driver->disposeBuffers();
            m_initialised = false;
        }
        m_driver.reset();  // release()
    }
    AsioHost* self = this;
    gActiveAsioHost.compare_exchange_strong(self, nullptr);
    if (m_comInitialised) {
        m_factory.uninitialiseCom();
        m_comInitialised = false;
    }
    m_bufferInfos.clear();
}

void AsioHost::onBufferSwitch(int32_t index) {
    RealtimeScope realtime;
    if (index != 0 && index != 1)
        return;
    const int frames = m_bufferFrames;
    if (m_fill) {
        m_buffer.clear();
        m_fill(m_buffer);
    }
    for (size_t i = 0; i < m_bufferInfos.size(); ++i) {
        void* out = m_bufferInfos[i].buffers[index];
        if (!out)
            continue;
        if (m_fill && static_cast<int32_t>(i) < m_channels)
            convertFloatToAsio(m_buffer.samples[i], out, frames, m_sampleType);
        else
            std::memset(out, 0, static_cast<size_t>(frames) * static_cast<size_t>(m_sampleWidth));
    }
    if (m_driver)
        m_driver->outputReady();
}

}  // namespace qv
