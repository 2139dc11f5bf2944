// AudioEngine: PortAudio's lifetime, opening with fallbacks, starting,
// closing with a time limit, health checks.
//
// Sections: abandoned streams; construction and teardown; devices; timed
// calls; opening one device; opening several devices; start and close;
// health and status.

#include "audio/AudioEngine.h"

#include "audio/DeviceEnumeration.h"
#include "audio/DeviceNames.h"
#include "platform/Output.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace qv {
namespace {

// --- Abandoned streams ------------------------------------------------------
//
// A stream whose close never returned may still be inside PortAudio (or be
// called back by it), with its slot as callback data: the slot must outlive
// the engine. Abandoned slots are kept here for the life of the process.

std::mutex& graveyardMutex() {
    static std::mutex* mutex = new std::mutex();
    return *mutex;
}

std::vector<std::unique_ptr<StreamSlot>>& graveyard() {
    static auto* slots = new std::vector<std::unique_ptr<StreamSlot>>();
    return *slots;
}

// How long detaching waits for a callback that is inside the engine.
constexpr int kDetachWaitMs = 1000;

SystemClock& systemClock() {
    static SystemClock* clock = new SystemClock();
    return *clock;
}

bool isUsableRate(double rate) { return std::isfinite(rate) && rate > 0.0; }

void addRate(std::vector<double>& rates, double rate) {
    if (isUsableRate(rate) && std::find(rates.begin(), rates.end(), rate) == rates.end())
        rates.push_back(rate);
}

PaStreamParameters outputParameters(int deviceIndex, int channels, bool isAsio, int frames, double requestedRate) {
    PaStreamParameters p{};
    p.device = deviceIndex;
    p.channelCount = channels;
    p.sampleFormat = paFloat32;
    p.suggestedLatency = isAsio ? 0.0 : static_cast<double>(frames) / requestedRate;
    p.hostApiSpecificStreamInfo = nullptr;
    return p;
}

int channelsToOpen(int requested, int deviceMax) {
    const int cap = std::min(std::max(deviceMax, 0), kMaxStreamChannels);
    const int channels = requested > 0 && requested < cap ? requested : cap;
    return std::max(channels, 1);
}

// What PortAudio answers for its device count while it is not initialised.
RawDeviceList notInitialisedList(IPortAudio& portAudio) {
    RawDeviceList raw;
    raw.count = paNotInitialized;
    const char* text = portAudio.errorText(paNotInitialized);
    raw.errorText = text ? text : "";
    return raw;
}

}  // namespace

// --- Construction and teardown ------------------------------------------------

AudioEngine::AudioEngine() : AudioEngine(Services{}) {}

AudioEngine::AudioEngine(const Services& services)
    : m_pa(services.portAudio ? services.portAudio : &systemPortAudio()),
      m_registry(services.asioRegistry ? services.asioRegistry : &systemAsioRegistry()),
      m_clock(services.clock ? services.clock : &systemClock()),
      m_callTimeoutMs(services.callTimeoutMs > 0 ? services.callTimeoutMs : kAudioCallTimeoutMs) {
    IPortAudio* pa = m_pa;
    PaError result = paNoError;
    if (!timedCall("Pa_Initialize", CallKind::Initialize, [pa] { return pa->initialize(); }, result))
        return;
    if (result != paNoError) {
        setError(std::string("Pa_Initialize failed: ") + m_pa->errorText(result));
        return;
    }
    m_paInitialised = true;
}

AudioEngine::~AudioEngine() {
    closeAll();
    if (usable() && m_paInitialised) {
        IPortAudio* pa = m_pa;
        PaError result = paNoError;
        m_paInitialised = false;
        timedCall("Pa_Terminate", CallKind::Terminate, [pa] { return pa->terminate(); }, result);
    }
}

// --- Devices ------------------------------------------------------------------

std::vector<PhysicalDevice> AudioEngine::devices() {
    if (!usable())
        return m_lastDevices;
    if (!m_paInitialised) {
        m_lastInputs.clear();
        m_lastRaw = notInitialisedList(*m_pa);
        return {};
    }
    m_lastDevices = enumeratePhysicalDevices(*m_pa, *m_registry);
    m_lastInputs = enumerateInputDevices(*m_pa);
    m_lastRaw = enumerateRawDevices(*m_pa);
    return m_lastDevices;
}

int AudioEngine::findDeviceByName(const std::string& name) {
    if (!usable() || !m_paInitialised)
        return -1;
    return qv::findDeviceByName(*m_pa, name);
}

std::vector<PhysicalDevice> AudioEngine::reinitialise() {
    // The streams are closed before PortAudio goes: their slots are the
    // callbacks' data and must not be freed while a callback can run.
    closeAll();
    if (!usable())
        return m_lastDevices;

    IPortAudio* pa = m_pa;
    PaError result = paNoError;
    if (m_paInitialised) {
        m_paInitialised = false;
        if (!timedCall("Pa_Terminate", CallKind::Terminate, [pa] { return pa->terminate(); }, result))
            return m_lastDevices;
    }
    if (!timedCall("Pa_Initialize", CallKind::Initialize, [pa] { return pa->initialize(); }, result))
        return m_lastDevices;
    if (result != paNoError) {
        m_lastDevices.clear();
        m_lastInputs.clear();
        m_lastRaw = notInitialisedList(*m_pa);
        setError(std::string("Pa_Initialize failed: ") + m_pa->errorText(result));
        return {};
    }
    m_paInitialised = true;
    return devices();
}

// --- Timed calls --------------------------------------------------------------

bool AudioEngine::timedCall(const char* name, CallKind kind, std::function<int()> work, PaError& result) {
    auto call = std::make_unique<TimedCall>(std::move(work));
    if (call->waitFor(m_callTimeoutMs)) {
        result = static_cast<PaError>(call->result());
        return true;
    }
    m_pending = std::move(call);
    m_pendingName = name;
    m_pendingKind = kind;
    m_stuckText = std::string("Audio system not responding: ") + name + " has not returned after " +
                  std::to_string(m_callTimeoutMs) +
                  " ms (has the audio server stopped?)";
    setError(m_stuckText);
    return false;
}

bool AudioEngine::usable() {
    if (!m_pending)
        return true;
    if (!m_pending->finished()) {
        m_lastError = m_stuckText;
        return false;
    }
    // The call came back after all: PortAudio can be used again.
    if (m_pendingKind == CallKind::Initialize)
        m_paInitialised = m_pending->result() == paNoError;
    outPrint("  [AudioEngine] %s returned after all; the audio system answers again\n", m_pendingName.c_str());
    m_pending.reset();
    return true;
}

bool AudioEngine::isAudioSystemStuck() { return !usable(); }

void AudioEngine::abandon(std::unique_ptr<StreamSlot> slot) {
    slot->running.store(0);
    if (StreamHealth* published = slot->published.exchange(nullptr))
        published->running.store(0);
    slot->owner.store(nullptr, std::memory_order_seq_cst);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDetachWaitMs);
    while (slot->inCallback.load(std::memory_order_seq_cst) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard<std::mutex> lock(graveyardMutex());
    graveyard().push_back(std::move(slot));
}

void AudioEngine::abandonAll() {
    for (auto& slot : m_streams) {
        if (slot->stream != nullptr) {
            outPrint("  [AudioEngine] Stream %d abandoned (it could not be closed)\n", slot->streamIndex);
            abandon(std::move(slot));
        }
    }
    m_streams.clear();
}

void AudioEngine::clearStreams() {
    // Only slots without an open stream reach this.
    m_streams.clear();
}

bool AudioEngine::hostApiIsAsio(const PaDeviceInfo& info) {
    const PaHostApiInfo* api = m_pa->hostApiInfo(info.hostApi);
    return api != nullptr && api->type == paASIO;
}

// --- Opening one device ---------------------------------------------------------

bool AudioEngine::openWithFallback(StreamSlot& slot, int deviceIndex, int& channels, double rate,
                                   double requestedRate, int frames, bool isAsio, int multiIndex,
                                   PaError& lastOpenError, bool& stuck) {
    stuck = false;
    IPortAudio* pa = m_pa;
    StreamSlot* target = &slot;
    while (channels >= 1) {
        const PaStreamParameters params = outputParameters(deviceIndex, channels, isAsio, frames, requestedRate);
        PaError result = paNoError;
        auto open = [pa, target, params, rate, frames] {
            return pa->openStream(&target->stream, nullptr, &params, rate, static_cast<unsigned long>(frames),
                                  paClipOff, streamCallback, target);
        };
        if (!timedCall("Pa_OpenStream", CallKind::Stream, open, result)) {
            stuck = true;
            return false;
        }
        if (result == paNoError && slot.stream != nullptr)
            return true;
        slot.stream = nullptr;
        lastOpenError = result == paNoError ? paInternalError : result;
        if (multiIndex < 0)
            outPrint("  [AudioEngine] Pa_OpenStream failed at %dch (%s), stepping down\n", channels,
                     m_pa->errorText(lastOpenError));
        else
            outPrint("  [AudioEngine] Stream %d open failed at %dch (%s), stepping down\n", multiIndex, channels,
                     m_pa->errorText(lastOpenError));
        channels >>= 1;
    }
    return false;
}

int AudioEngine::serverFramesOf(const PaDeviceInfo& info) {
    const PaHostApiInfo* api = m_pa->hostApiInfo(info.hostApi);
    const int frames = api != nullptr ? m_pa->serverBufferFrames(api->type) : 0;
    return frames > 0 ? frames : 0;
}

void AudioEngine::fillSlot(StreamSlot& slot, int deviceIndex, int channels, double rate, int frames, bool isAsio,
                           bool floorWithoutInfo, int serverFrames) {
    slot.isAsio = isAsio;
    const PaStreamInfo* info = m_pa->streamInfo(slot.stream);
    int base = isAsio ? frames : std::max(frames, 256);
    if (info != nullptr) {
        // A reported rate of 0 (or nonsense) would divide by zero below.
        slot.sampleRate = isUsableRate(info->sampleRate) ? info->sampleRate : rate;
        slot.driverLatencyMs =
            std::isfinite(info->outputLatency) && info->outputLatency > 0.0 ? info->outputLatency * 1000.0 : 0.0;
    } else {
        slot.sampleRate = rate;
        slot.driverLatencyMs = 0.0;
        if (!floorWithoutInfo)
            base = frames;
    }
    slot.serverBufferFrames = serverFrames;
    slot.outputLatencyMs = streamOutputLatencyMs(slot.driverLatencyMs, serverFrames, slot.sampleRate,
                                                 static_cast<double>(base) / slot.sampleRate * 1000.0);
    slot.deviceIndex = deviceIndex;
    slot.deviceChannels = channels;
    slot.activeChannels = channels;
    slot.framesPerBuffer.store(frames);
    slot.firstBlockFrames.store(0);
    slot.buffer.numChannels = channels;
    slot.buffer.numFrames = frames;
    slot.buffer.sampleRate = slot.sampleRate;
    slot.clock = m_clock;
}

bool AudioEngine::openDevice(int deviceIndex, int channels, double sampleRate, int framesPerBuffer,
                             const std::string& clsid) {
    if (!usable() || !m_paInitialised)
        return false;
    closeAll();
    if (!usable())
        return false;
    m_streams.push_back(std::make_unique<StreamSlot>());
    StreamSlot& slot = *m_streams.front();
    slot.owner.store(this);
    slot.streamIndex = 0;

    // A driver chosen from the ASIO registry: find PortAudio's ASIO device for it.
    const PaDeviceInfo* chosen = deviceIndex >= 0 ? m_pa->deviceInfo(deviceIndex) : nullptr;
    const bool isPortAudioAsio = chosen != nullptr && hostApiIsAsio(*chosen);
    if (deviceIndex >= kRegistryAsioIdBase || (!clsid.empty() && !isPortAudioAsio)) {
        std::string driverName;
        if (deviceIndex >= kRegistryAsioIdBase) {
            std::vector<DeviceSelection> drivers;
            scanAsioRegistry(*m_registry, drivers);
            for (const DeviceSelection& driver : drivers) {
                if (driver.id == deviceIndex) {
                    driverName = driver.name;
                    break;
                }
            }
        }
        driverName = toLowerCopy(driverName);
        int first = -1, match = -1;
        const PaDeviceIndex count = m_pa->deviceCount();
        for (PaDeviceIndex i = 0; i < count && match < 0; ++i) {
            const PaDeviceInfo* info = m_pa->deviceInfo(i);
            if (info == nullptr || info->maxOutputChannels <= 0 || !hostApiIsAsio(*info))
                continue;
            if (first < 0)
                first = i;
            const std::string name = toLowerCopy(info->name ? info->name : "");
            if (!driverName.empty() && !name.empty() &&
                (name.find(driverName) != std::string::npos || driverName.find(name) != std::string::npos))
                match = i;
        }
        if (match < 0)
            match = first;
        if (match < 0) {
            setError("ASIO driver found in registry but PortAudio has no ASIO device matching it. "
                     "Playing through this driver needs a PortAudio library built with ASIO support.");
            clearStreams();
            return false;
        }
        const PaDeviceInfo* info = m_pa->deviceInfo(match);
        outPrint("  [ASIO] Using PortAudio ASIO device: %s\n", info && info->name ? info->name : "");
        deviceIndex = match;
    }

    if (deviceIndex < 0) {
        setError("No device index specified. Run the device wizard.");
        clearStreams();
        return false;
    }
    const PaDeviceInfo* info = m_pa->deviceInfo(deviceIndex);
    if (info == nullptr) {
        setError("Invalid device index: " + std::to_string(deviceIndex));
        clearStreams();
        return false;
    }
    const PaHostApiInfo* api = m_pa->hostApiInfo(info->hostApi);
    const bool isAsio = api != nullptr && api->type == paASIO;
    // A server that sets the buffer size (JACK) runs the stream at its size.
    const int serverFrames = serverFramesOf(*info);
    const int frames =
        std::clamp(serverFrames > 0 ? serverFrames : framesPerBuffer, kMinFramesPerBuffer, kMaxFramesPerBuffer);
    const double requested = isUsableRate(sampleRate) ? sampleRate : 48000.0;

    std::vector<double> rates;
    for (double rate : {requested, info->defaultSampleRate, 48000.0, 44100.0, 96000.0, 88200.0})
        addRate(rates, rate);

    const int deviceMax = info->maxOutputChannels;
    const int cap = std::min(std::max(deviceMax, 0), kMaxStreamChannels);
    int ch = channelsToOpen(channels, deviceMax);

    double rate = requested;
    if (isAsio) {
        outPrint("  [AudioEngine] ASIO device -- skipping format pre-check, attempting direct open at %gHz\n",
                 requested);
    } else {
        bool found = false;
        while (ch >= 1 && !found) {
            const PaStreamParameters params = outputParameters(deviceIndex, ch, false, frames, requested);
            for (double candidate : rates) {
                if (m_pa->isFormatSupported(nullptr, &params, candidate) == paFormatIsSupported) {
                    rate = candidate;
                    found = true;
                    break;
                }
            }
            if (found) {
                if (rate != requested)
                    outPrint("  [AudioEngine] Note: using %gHz (driver preferred rate)\n", rate);
            } else {
                outPrint("  [AudioEngine] Format check failed at %d channels, stepping down\n", ch);
                ch >>= 1;
            }
        }
        if (!found) {
            setError("Format not supported by device. Check driver sample rate and channel settings.");
            clearStreams();
            return false;
        }
    }

    outPrint("  [AudioEngine] Initialising\n    Device     : %s\n    API        : %s\n    Channels   : %d\n"
             "    SampleRate : %g Hz\n",
             info->name ? info->name : "", api && api->name ? api->name : "", ch, rate);

    PaError openError = paNoError;
    bool stuck = false;
    if (!openWithFallback(slot, deviceIndex, ch, rate, requested, frames, isAsio, -1, openError, stuck)) {
        if (stuck) {
            abandon(std::move(m_streams.front()));
            m_streams.clear();
            return false;
        }
        setError(std::string("Pa_OpenStream failed: ") + m_pa->errorText(openError));
        clearStreams();
        return false;
    }
    if (ch != cap)
        outPrint("  [AudioEngine] Opened with %d channels (device max: %d)\n", ch, deviceMax);

    fillSlot(slot, deviceIndex, ch, rate, frames, isAsio, true, serverFrames);
    const char* source = isAsio ? "ASIO driver" : "estimated";
    if (serverFrames > 0)
        source = slot.outputLatencyMs > serverFrames / slot.sampleRate * 1000.0 ? "reported by the server"
                                                                                 : "one server period";
    outPrint("    Buffer     : %d samples (%.2fms)%s\n    Latency    : %.2fms (%s)\n  [AudioEngine] Stream opened OK\n\n",
             frames, frames / slot.sampleRate * 1000.0, serverFrames > 0 ? ", set by the server" : "",
             slot.outputLatencyMs, source);
    return true;
}

// --- Opening several devices ----------------------------------------------------

bool AudioEngine::openMultiDevice(const std::vector<PhysicalDevice>& devices, double sampleRate) {
    if (!usable() || !m_paInitialised)
        return false;
    closeAll();
    if (!usable())
        return false;

    size_t wanted = 0;
    for (const PhysicalDevice& device : devices) {
        const DeviceInfo* variant = device.selectedVariant();
        if (device.enabled && variant != nullptr && variant->paIndex >= 0)
            ++wanted;
    }
    if (wanted == 0) {
        setError("No devices enabled for multi-device init");
        return false;
    }
    for (size_t i = 0; i < wanted; ++i)
        m_streams.push_back(std::make_unique<StreamSlot>());

    const double requested = isUsableRate(sampleRate) ? sampleRate : 48000.0;
    int next = 0;
    for (const PhysicalDevice& device : devices) {
        const DeviceInfo* variant = device.selectedVariant();
        if (!device.enabled || variant == nullptr)
            continue;
        if (variant->paIndex < 0) {
            if (!variant->clsid.empty())
                outPrint("  [AudioEngine] Skipping registry-only ASIO device '%s' in multi-device init\n",
                         device.hardwareName.c_str());
            continue;
        }
        const PaDeviceInfo* info = m_pa->deviceInfo(variant->paIndex);
        if (info == nullptr || next >= static_cast<int>(m_streams.size()))
            continue;

        // A slot whose device failed is reused, fresh, by the next device.
        m_streams[static_cast<size_t>(next)] = std::make_unique<StreamSlot>();
        StreamSlot& slot = *m_streams[static_cast<size_t>(next)];
        slot.owner.store(this);
        slot.streamIndex = next;

        const bool isAsio = hostApiIsAsio(*info);
        int ch = channelsToOpen(device.maxChannels, info->maxOutputChannels);
        const int serverFrames = serverFramesOf(*info);
        const int frames = std::clamp(serverFrames > 0 ? serverFrames : static_cast<int>(device.bufferSize),
                                      kMinFramesPerBuffer, kMaxFramesPerBuffer);
        double rate = requested;
        if (!isAsio) {
            bool found = false;
            while (ch >= 1 && !found) {
                const PaStreamParameters params = outputParameters(variant->paIndex, ch, false, frames, requested);
                for (double candidate : {requested, info->defaultSampleRate, 48000.0, 44100.0}) {
                    if (isUsableRate(candidate) &&
                        m_pa->isFormatSupported(nullptr, &params, candidate) == paFormatIsSupported) {
                        rate = candidate;
                        found = true;
                        break;
                    }
                }
                if (!found) {
                    outPrint("  [AudioEngine] Stream %d format check failed at %dch, stepping down\n", next, ch);
                    ch >>= 1;
                }
            }
            if (!found) {
                outPrint("  [AudioEngine] Stream %d (%s): no supported format, skipping\n", next,
                         device.hardwareName.c_str());
                continue;
            }
        }

        outPrint("  [AudioEngine] Opening stream %d: %s via %s (%dch)\n", next, device.hardwareName.c_str(),
                 variant->hostApiName.c_str(), ch);
        PaError openError = paNoError;
        bool stuck = false;
        if (!openWithFallback(slot, variant->paIndex, ch, rate, requested, frames, isAsio, next, openError, stuck)) {
            if (stuck) {
                abandon(std::move(m_streams[static_cast<size_t>(next)]));
                m_streams.erase(m_streams.begin() + next);
                abandonAll();
                return false;
            }
            outPrint("  [AudioEngine] Stream %d failed: %s\n", next, m_pa->errorText(openError));
            continue;
        }
        fillSlot(slot, variant->paIndex, ch, rate, frames, isAsio, false, serverFrames);
        outPrint("  [AudioEngine] Stream %d opened OK (%dch, %gHz, %.2fms)\n", next, ch, slot.sampleRate,
                 slot.outputLatencyMs);
        ++next;
    }

    m_streams.resize(static_cast<size_t>(next));
    if (next == 0) {
        setError("No streams opened successfully");
        clearStreams();
        return false;
    }
    return true;
}

// --- Start and close --------------------------------------------------------------

void AudioEngine::setRenderCallback(RenderCallback callback) { m_renderCallback = std::move(callback); }

void AudioEngine::publishHealthTo(StreamHealth* table, int count) {
    m_published = table;
    m_publishedCount = table ? std::max(count, 0) : 0;
}

bool AudioEngine::startAll() {
    if (!usable())
        return false;
    IPortAudio* pa = m_pa;
    int started = 0;
    for (auto& slot : m_streams) {
        if (slot->stream == nullptr)
            continue;
        PaStream* stream = slot->stream;
        StreamHealth* published = nullptr;
        if (slot->streamIndex >= 0 && slot->streamIndex < m_publishedCount)
            published = &m_published[slot->streamIndex];
        if (published) {
            published->running.store(0);
            published->firstBlockFrames.store(slot->firstBlockFrames.load());
            published->heartbeatTick.store(0);
            published->xrunCount.store(0);
            published->deviceLost.store(0);
        }
        slot->published.store(published, std::memory_order_release);
        PaError result = paNoError;
        if (!timedCall("Pa_StartStream", CallKind::Stream, [pa, stream] { return pa->startStream(stream); }, result))
            return started > 0;
        if (result != paNoError) {
            setError("Pa_StartStream failed (stream " + std::to_string(slot->streamIndex) +
                     "): " + m_pa->errorText(result));
            continue;
        }
        slot->running.store(1);
        slot->heartbeatTick.store(heartbeatStamp(m_clock->tickMs32()));
        slot->xrunCount.store(0);
        if (published) {
            published->heartbeatTick.store(slot->heartbeatTick.load());
            published->running.store(1);
        }
        outPrint("  [AudioEngine] Stream %d started\n", slot->streamIndex);
        ++started;
    }
    if (started > 0)
        return true;
    if (!m_streams.empty())
        setError("Cannot start -- no streams initialised");
    return false;
}

void AudioEngine::closeAll() {
    for (auto& slot : m_streams) {
        slot->running.store(0);
        if (StreamHealth* published = slot->published.load())
            published->running.store(0);
    }
    IPortAudio* pa = m_pa;
    for (auto& slot : m_streams) {
        if (slot->stream == nullptr)
            continue;
        if (!usable()) {
            outPrint("  [AudioEngine] Stream %d abandoned (it could not be closed)\n", slot->streamIndex);
            abandon(std::move(slot));
            continue;
        }
        PaStream* stream = slot->stream;
        PaError result = paNoError;
        if (!timedCall("Pa_StopStream", CallKind::Stream, [pa, stream] { return pa->stopStream(stream); }, result) ||
            !timedCall("Pa_CloseStream", CallKind::Stream, [pa, stream] { return pa->closeStream(stream); }, result)) {
            outPrint("  [AudioEngine] Stream %d abandoned (it could not be closed)\n", slot->streamIndex);
            abandon(std::move(slot));
            continue;
        }
        slot->stream = nullptr;
    }
    m_streams.clear();
}

// --- Health and status ----------------------------------------------------------

bool AudioEngine::anyStreamRunning() const {
    return std::any_of(m_streams.begin(), m_streams.end(),
                       [](const auto& slot) { return slot->running.load() != 0; });
}

bool AudioEngine::hasStaleStream(uint32_t thresholdMs) const {
    for (const auto& slot : m_streams) {
        if (slot->running.load() == 0)
            continue;
        const uint32_t beat = slot->heartbeatTick.load(std::memory_order_acquire);
        // The clock is read after the heartbeat: a beat that a callback stamps
        // after an earlier reading would otherwise look 49 days old.
        const uint32_t now = m_clock->tickMs32();
        if (beat != 0 && static_cast<uint32_t>(now - beat) > thresholdMs)
            return true;
    }
    return false;
}

int AudioEngine::totalXruns() const {
    int total = 0;
    for (const auto& slot : m_streams)
        total += slot->xrunCount.load(std::memory_order_relaxed);
    return total;
}

void AudioEngine::resetXrunCounts() {
    for (auto& slot : m_streams) {
        slot->xrunCount.store(0);
        if (StreamHealth* published = slot->published.load())
            published->xrunCount.store(0);
    }
}

const StreamSlot* AudioEngine::stream(int index) const {
    if (index < 0 || index >= static_cast<int>(m_streams.size()))
        return nullptr;
    return m_streams[static_cast<size_t>(index)].get();
}

int AudioEngine::streamChannels() const { return m_streams.empty() ? 0 : m_streams.front()->activeChannels; }
int AudioEngine::streamFrames() const { return m_streams.empty() ? 256 : m_streams.front()->framesPerBuffer.load(); }
double AudioEngine::streamSampleRate() const { return m_streams.empty() ? 48000.0 : m_streams.front()->sampleRate; }
double AudioEngine::streamLatencyMs() const { return m_streams.empty() ? 0.0 : m_streams.front()->outputLatencyMs; }
bool AudioEngine::hasFirstCallback() const {
    return !m_streams.empty() && m_streams.front()->firstBlockFrames.load() != 0;
}

void AudioEngine::setError(const std::string& text) {
    m_lastError = text;
    errPrint("  [AudioEngine] ERROR: %s\n", text.c_str());
}

}  // namespace qv
