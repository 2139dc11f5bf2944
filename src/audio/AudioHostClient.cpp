// The program's side of the audio host. Sections: construction and teardown;
// starting and dropping hosts; requests; the backend operations; health.

#include "audio/AudioHostClient.h"

#include "audio/AudioEngine.h"
#include "audio/AudioInit.h"
#include "audio/AudioStatus.h"
#include "platform/AudioServers.h"
#include "platform/Output.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <new>

namespace qv {
namespace {

// How long a host that was asked to quit may take to close its streams (and
// then to end); a hung one is killed after that, so the end of the program
// stays quick.
constexpr int kQuitWaitMs = 300;
// How long, after a reply, the host's console lines before it may take to be
// passed on.
constexpr int kPassOnWaitMs = 100;

uint32_t messageKind(const std::vector<uint8_t>& message, size_t size) {
    uint32_t kind = 0;
    if (size >= sizeof kind)
        std::memcpy(&kind, message.data(), sizeof kind);
    return kind;
}

std::string terminated(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

}  // namespace

// ---- construction and teardown ----

AudioHostClient::AudioHostClient(Options options) : m_options(std::move(options)), m_message(kAudioHostMaxMessage) {
    const HapticSettings initial = m_options.settings->snapshot();
    if (m_block.create("qv-audiohost", sizeof(AudioHostBlock))) {
        m_shared = new (m_block.data()) AudioHostBlock(initial);
    } else {
        // No host can run without the block; the synthesis still needs a home.
        m_lastError = "Cannot share memory with the audio host: " + m_block.lastError();
        m_localBlock = std::make_unique<AudioHostBlock>(initial);
        m_shared = m_localBlock.get();
    }
}

AudioHostClient::~AudioHostClient() {
    std::lock_guard<std::recursive_mutex> channel(m_channelMutex);
    endHost(kQuitWaitMs);
    if (m_shared != nullptr && m_shared != m_localBlock.get())
        m_shared->~AudioHostBlock();
}

std::string pipeWireLatency(const HapticSettings& settings) {
    const int frames = settings.devices[0].bufferSize;
    if (frames <= 0)
        return "";
    const double rate = settings.audioSampleRate;
    const long hz = std::isfinite(rate) && rate >= 8000.0 && rate <= 384000.0 ? std::lround(rate) : 48000;
    return std::to_string(std::clamp(frames, kMinFramesPerBuffer, kMaxFramesPerBuffer)) + "/" + std::to_string(hz);
}

void AudioHostClient::log(std::string_view text) const {
    if (m_options.log)
        m_options.log(text);
}

// ---- starting and dropping hosts ----

bool AudioHostClient::startHost() {
    m_startFailed = true;
    if (stopRequested()) {
        m_lastError = "The audio is shutting down";
        m_problem = AudioProblem::None;
        return false;
    }
    if (m_localBlock) {
        m_problem = AudioProblem::HostUnavailable;
        errPrint("  [AudioEngine] ERROR: %s\n", m_lastError.c_str());
        return false;
    }
    MessageChannel hostEnd;
    if (!m_channel.createPair(hostEnd)) {
        m_lastError = "Cannot start the audio host: " + m_channel.lastError();
        m_problem = AudioProblem::HostUnavailable;
        return false;
    }
    char address[32];
    std::snprintf(address, sizeof address, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(m_block.data())));
    // Which JACK the host reaches is decided at each start: a JACK server
    // that answers, else PipeWire's JACK library when PipeWire runs.
    const JackRoute route = chooseJackRoute();
    std::vector<std::pair<std::string, std::string>> environment;
    if (route.kind == JackRoute::Kind::PipeWire) {
        const char* current = std::getenv("LD_LIBRARY_PATH");
        environment.emplace_back("LD_LIBRARY_PATH", prependLibraryPath(route.libraryDir, current ? current : ""));
        // PipeWire runs its graph at the smallest period its clients ask
        // for (within its own limits); a jackd server keeps its own size.
        const std::string latency = pipeWireLatency(m_options.settings->snapshot());
        if (!latency.empty())
            environment.emplace_back("PIPEWIRE_LATENCY", latency);
    }
    // Without pipes the host shares our standard output and error.
    if (!m_output.open())
        errPrint("  [AudioEngine] WARNING: the audio host's output goes to the terminal as it is: %s\n",
                 m_output.lastError().c_str());
    if (!m_process.start({m_options.program, address, std::to_string(m_block.size()), route.description},
                         {hostEnd.fd(), m_block.fd()}, environment, m_output.outputWriteEnd(),
                         m_output.errorWriteEnd())) {
        m_output.stop();
        m_channel.close();
        m_lastError = "Cannot start the audio host: " + m_process.lastError();
        m_problem = AudioProblem::HostUnavailable;
        return false;
    }
    hostEnd.close();
    m_output.closeWriteEnds();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.startTimeoutMs);
    std::vector<PhysicalDevice> devices;
    std::vector<InputDevice> inputs;
    RawDeviceList raw;
    const std::string timeoutText = "Audio system not responding: PortAudio did not start within " +
                                    std::to_string(m_options.startTimeoutMs) + " ms (has the audio server stopped?)";
    for (;;) {
        size_t size = 0;
        if (!receiveMessage(deadline, size, timeoutText)) {
            if (m_problem == AudioProblem::HostUnavailable)
                m_lastError = "The audio host ended before PortAudio was up (see the console)";
            return false;
        }
        const uint32_t kind = messageKind(m_message, size);
        if (kind == static_cast<uint32_t>(AudioHostMessageKind::Devices)) {
            if (!decodeDeviceList(m_message.data(), size, devices)) {
                dropHost("The audio host sent a device list that cannot be read", AudioProblem::HostUnavailable);
                return false;
            }
        } else if (kind == static_cast<uint32_t>(AudioHostMessageKind::Inputs)) {
            if (!decodeInputList(m_message.data(), size, inputs)) {
                dropHost("The audio host sent an input list that cannot be read", AudioProblem::HostUnavailable);
                return false;
            }
        } else if (kind == static_cast<uint32_t>(AudioHostMessageKind::RawDevices)) {
            if (!decodeRawDeviceList(m_message.data(), size, raw)) {
                dropHost("The audio host sent a PortAudio device list that cannot be read", AudioProblem::HostUnavailable);
                return false;
            }
        } else if (kind == static_cast<uint32_t>(AudioHostMessageKind::Log) && size == sizeof(AudioHostLog)) {
            const auto* line = reinterpret_cast<const AudioHostLog*>(m_message.data());
            log(terminated(line->text, sizeof line->text));
        } else if (kind == static_cast<uint32_t>(AudioHostMessageKind::Ready)) {
            m_output.passOnPending(kPassOnWaitMs);
            break;
        }
    }
    // PipeWire grants the size the host asked for (within its limits).
    if (route.kind == JackRoute::Kind::PipeWire)
        for (PhysicalDevice& d : devices)
            for (DeviceInfo& v : d.apis)
                v.serverTakesRequest = v.serverBufferFrames > 0;
    m_devices = std::move(devices);
    m_inputs = std::move(inputs);
    m_raw = std::move(raw);
    m_startFailed = false;
    return true;
}

bool AudioHostClient::ensureHost() {
    if (m_process.isStarted() && m_channel.isOpen()) {
        if (!m_process.reap())
            return true;
        dropHost("The audio host ended unexpectedly", AudioProblem::HostUnavailable);
    }
    return startHost();
}

bool AudioHostClient::stopRequested() const {
    return m_interrupted.load() || (m_options.running && m_options.running->load() == 0);
}

bool AudioHostClient::receiveMessage(std::chrono::steady_clock::time_point deadline, size_t& size,
                                     const std::string& timeoutText, bool stoppable) {
    constexpr int kSliceMs = 100;
    for (;;) {
        if (stoppable && stopRequested()) {
            dropHost("The audio is shutting down", AudioProblem::None);
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            dropHost(timeoutText, AudioProblem::NotResponding);
            return false;
        }
        const ReceiveStatus status =
            m_channel.receive(m_message.data(), m_message.size(), size, static_cast<int>(std::min<long long>(left, kSliceMs)));
        if (status == ReceiveStatus::Message)
            return true;
        if (status == ReceiveStatus::Closed) {
            // Killed by interrupt() at the end of the program, or gone by itself.
            if (stoppable && stopRequested())
                dropHost("The audio is shutting down", AudioProblem::None);
            else
                dropHost("The audio host ended", AudioProblem::HostUnavailable);
            return false;
        }
    }
}

void AudioHostClient::dropHost(const std::string& why, AudioProblem problem) {
    m_lastError = why;
    m_problem = problem;
    m_process.kill();
    m_process.stop(0);
    m_output.stop();
    m_channel.close();
    // Nothing of the old host renders any more.
    for (AudioHostStreamHealth& health : m_shared->streams) {
        health.running.store(0);
        health.firstBlockFrames.store(0);
        health.heartbeatTick.store(0);
        health.deviceLost.store(0);
    }
    m_shared->streamCount.store(0);
    m_shared->synth.setStreamLayout(0, nullptr);
    m_shared->synth.releaseRenderGuards();
}

void AudioHostClient::endHost(int graceMs) {
    if (!m_process.isStarted())
        return;
    if (m_channel.isOpen()) {
        AudioHostReply reply;
        if (request(AudioHostOp::Quit, 0, graceMs, reply))
            m_process.stop(graceMs);
    }
    dropHost(m_lastError, m_problem);
}

// ---- requests ----

bool AudioHostClient::request(AudioHostOp op, int argument, int timeoutMs, AudioHostReply& reply) {
    if (stopRequested() && op != AudioHostOp::Quit) {
        m_lastError = "The audio is shutting down";
        m_problem = AudioProblem::None;
        return false;
    }
    auto message = std::make_unique<AudioHostRequest>();
    message->op = op;
    message->argument = argument;
    message->settings = m_options.settings->snapshot();
    if (!m_channel.send(message.get(), sizeof *message)) {
        dropHost("The audio host is gone (" + m_channel.lastError() + ")", AudioProblem::HostUnavailable);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string timeoutText = "Audio system not responding: the audio host did not answer within " +
                                    std::to_string(timeoutMs) + " ms (has the audio server stopped?)";
    for (;;) {
        size_t size = 0;
        if (!receiveMessage(deadline, size, timeoutText, op != AudioHostOp::Quit)) {
            if (m_problem == AudioProblem::HostUnavailable)
                m_lastError = "The audio host ended unexpectedly";
            return false;
        }
        const uint32_t kind = messageKind(m_message, size);
        if (takeNotice(size)) {
        } else if (kind == static_cast<uint32_t>(AudioHostMessageKind::Reply) && size == sizeof(AudioHostReply)) {
            std::memcpy(static_cast<void*>(&reply), m_message.data(), sizeof reply);
            if (reply.op == op) {
                // The host's console lines of this request come before ours.
                m_output.passOnPending(kPassOnWaitMs);
                return true;
            }
        }
    }
}

bool AudioHostClient::takeNotice(size_t size) {
    const uint32_t kind = messageKind(m_message, size);
    if (kind == static_cast<uint32_t>(AudioHostMessageKind::Log) && size == sizeof(AudioHostLog)) {
        const auto* line = reinterpret_cast<const AudioHostLog*>(m_message.data());
        log(terminated(line->text, sizeof line->text));
        return true;
    }
    AudioHostServerBuffer buffer;
    if (kind == static_cast<uint32_t>(AudioHostMessageKind::ServerBuffer)) {
        if (decodeServerBuffer(m_message.data(), size, buffer)) {
            // What the header and the status rows show for the JACK streams.
            DeviceStatusTable status = deviceStatus();
            bool changed = false;
            for (DeviceStatusRow& row : status.rows)
                if (row.running != 0 && std::strcmp(row.hostApi, "JACK") == 0) {
                    row.latencyMs = static_cast<float>(buffer.latencyMs);
                    changed = true;
                }
            if (changed)
                publishDeviceStatus(status);
            m_serverBufferFrames.store(buffer.frames);
            if (m_options.serverBuffer)
                m_options.serverBuffer(buffer.frames, buffer.latencyMs);
        }
        return true;  // a malformed one is dropped
    }
    return false;
}

void AudioHostClient::takeHostNotices() {
    std::unique_lock<std::recursive_mutex> lock(m_channelMutex, std::try_to_lock);
    if (!lock.owns_lock() || !m_channel.isOpen())
        return;  // a request reads them as they come
    for (int i = 0; i < 16; ++i) {
        size_t size = 0;
        if (m_channel.receive(m_message.data(), m_message.size(), size, 0) != ReceiveStatus::Message)
            return;
        takeNotice(size);  // anything else has no request waiting for it
    }
}

AudioInitResult AudioHostClient::applyReply(const AudioHostReply& reply) {
    m_lastError = terminated(reply.lastError, sizeof reply.lastError);
    if (reply.settingsChanged)
        m_options.settings->edit([&reply](HapticSettings& s) { copyDeviceResolution(reply.settings, s); });
    AudioInitResult result;
    result.ok = reply.ok != 0;
    result.multiDevice = result.ok && reply.multiDevice != 0;
    result.channels = result.ok ? reply.channels : 0;
    result.latencyMs = result.ok ? reply.latencyMs : 0.0;
    if (!result.ok) {
        result.problem = reply.problem;
        result.problemText = terminated(reply.problemText, sizeof reply.problemText);
        result.missingDevice = terminated(reply.missingDevice, sizeof reply.missingDevice);
    }
    gAudioStreamCount = result.ok ? reply.streamCount : 0;
    DeviceStatusTable status = reply.status;
    for (DeviceStatusRow& row : status.rows)
        row.deviceName[sizeof row.deviceName - 1] = '\0';
    publishDeviceStatus(status);
    return result;
}

AudioInitResult AudioHostClient::failInit() {
    gAudioStreamCount = 0;
    publishDeviceStatus(DeviceStatusTable{});
    AudioInitResult result;
    if (m_problem == AudioProblem::None && stopRequested())
        return result;  // the end of the program, no failure to report
    outWrite("  WARNING: Audio init failed: " + m_lastError + "\n");
    result.problem = m_problem;
    result.problemText = "Audio init failed: " + m_lastError;
    return result;
}

// ---- the backend operations ----

void AudioHostClient::start() {
    std::lock_guard<std::recursive_mutex> channel(m_channelMutex);
    if (!startHost() && m_problem != AudioProblem::None)
        errPrint("  [AudioEngine] ERROR: %s\n", m_lastError.c_str());
}

AudioInitResult AudioHostClient::initAudio() {
    std::lock_guard<std::recursive_mutex> channel(m_channelMutex);
    syncSettings();
    if (m_startFailed && !m_process.isStarted()) {
        m_startFailed = false;  // the next request tries a new host
        return failInit();
    }
    AudioHostReply reply;
    if (!ensureHost() || !request(AudioHostOp::InitAudio, 0, m_options.requestTimeoutMs, reply))
        return failInit();
    return applyReply(reply);
}

void AudioHostClient::reEnumerate() {
    std::lock_guard<std::recursive_mutex> channel(m_channelMutex);
    // The old host's PortAudio may hang on whatever made the streams stale:
    // it goes with its process, streams and all.
    if (m_process.isStarted())
        dropHost(m_lastError, m_problem);
    if (!startHost()) {
        m_devices.clear();
        log("reEnumerate() failed: " + m_lastError);
    }
    logDeviceList(m_options.log, m_devices);
}

double AudioHostClient::loopbackTest(int inputDevice, AudioInitResult& after, std::string& testError) {
    std::lock_guard<std::recursive_mutex> channel(m_channelMutex);
    testError.clear();
    syncSettings();
    AudioHostReply reply;
    if (!ensureHost() || !request(AudioHostOp::LoopbackTest, inputDevice, m_options.loopbackTimeoutMs, reply)) {
        after = failInit();
        testError = m_lastError.empty() ? std::string("the audio host did not answer") : m_lastError;
        return -1.0;
    }
    reply.testError[sizeof reply.testError - 1] = '\0';
    testError = reply.testError;
    after = applyReply(reply);
    return reply.oneWayMs;
}

void AudioHostClient::closeAll() {
    std::lock_guard<std::recursive_mutex> channel(m_channelMutex);
    endHost(kQuitWaitMs);
}

void AudioHostClient::interrupt() {
    m_interrupted = true;
    m_process.kill();
}

void AudioHostClient::syncSettings() {
    // Called in every pass of the program's loops: the host's notices
    // between requests are taken here.
    takeHostNotices();
    std::lock_guard<std::mutex> lock(m_syncMutex);
    const uint32_t version = m_options.settings->version();
    if (m_mirrored && version == m_mirroredVersion)
        return;
    m_shared->settings.replace(m_options.settings->snapshot());
    m_mirroredVersion = version;
    m_mirrored = true;
}

// ---- health ----

int AudioHostClient::streamCount() const {
    const int count = m_shared->streamCount.load();
    return count < 0 ? 0 : (count > kMaxSynthStreams ? kMaxSynthStreams : count);
}

bool AudioHostClient::isStreamRunning(int stream) const {
    return stream >= 0 && stream < streamCount() && m_shared->streams[stream].running.load() != 0;
}

bool AudioHostClient::hasStaleStream(uint32_t thresholdMs) const {
    const uint32_t now = m_clock.tickMs32();
    for (int i = 0; i < streamCount(); ++i) {
        const AudioHostStreamHealth& health = m_shared->streams[i];
        if (health.running.load() == 0)
            continue;
        if (health.deviceLost.load() != 0)
            return true;  // the callbacks go on, but its device is gone
        const uint32_t beat = health.heartbeatTick.load();
        if (beat != 0 && static_cast<uint32_t>(now - beat) > thresholdMs)
            return true;
    }
    return false;
}

int AudioHostClient::lostDeviceStream() const {
    for (int i = 0; i < streamCount(); ++i)
        if (m_shared->streams[i].running.load() != 0 && m_shared->streams[i].deviceLost.load() != 0)
            return i;
    return -1;
}

bool AudioHostClient::streamsCalledBack() const {
    const int count = streamCount();
    if (count == 0)
        return false;
    for (int i = 0; i < count; ++i)
        if (m_shared->streams[i].firstBlockFrames.load() == 0)
            return false;
    return true;
}

}  // namespace qv
