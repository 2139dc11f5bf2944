#include "audio/AudioHostServer.h"

#include "audio/AudioEngine.h"
#include "audio/AudioInit.h"
#include "audio/DeviceEnumeration.h"
#include "platform/JackClientHooks.h"
#include "platform/Output.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace qv {
namespace {

// How long a reply waits for the host's console lines to be written: the
// program reads them continuously, so only a stalled program makes this wait
// in full, and the request thread never waits longer.
constexpr int kFlushBeforeReplyMs = 200;

// After a request: the stream count, and nothing left of streams that are
// gone. While streams run their callbacks write their own health into the
// block (AudioEngine::publishHealthTo), so between requests this thread only
// waits.
void publishHealth(const AudioEngine& engine, AudioHostBlock& block) {
    const int count = std::min(engine.streamCount(), kMaxSynthStreams);
    for (int i = 0; i < kMaxSynthStreams; ++i) {
        AudioHostStreamHealth& health = block.streams[i];
        const StreamSlot* slot = i < count ? engine.stream(i) : nullptr;
        if (slot && slot->published.load() == &health)
            continue;  // a started stream: its callback keeps it
        health.running.store(0);
        health.firstBlockFrames.store(0);
        health.heartbeatTick.store(0);
        health.xrunCount.store(0);
        health.deviceLost.store(0);
    }
    block.streamCount.store(count);
}

// The PortAudio device each started stream plays to, by stream index (-1:
// none); written by the request thread after each request, read by the
// graph watcher.
std::atomic<int32_t> gStreamDevices[kMaxSynthStreams];

void noteStreamDevices(const AudioEngine& engine, AudioHostBlock& block) {
    const int count = std::min(engine.streamCount(), kMaxSynthStreams);
    for (int i = 0; i < kMaxSynthStreams; ++i) {
        const StreamSlot* slot = i < count ? engine.stream(i) : nullptr;
        gStreamDevices[i].store(slot && slot->published.load() == &block.streams[i] ? slot->deviceIndex : -1);
    }
}

// How often the graph watcher looks even when no JACK callback came, and
// how long it lets a burst of changes (a client's ports coming and going)
// settle before it looks.
constexpr int kWatchIdleMs = 1000;
constexpr int kWatchSettleMs = 50;

// Watches PortAudio's JACK client (callbacks noted by JackClientHooks) on a
// thread of its own for the life of the host: a changed server buffer size
// is printed and sent to the program; a stream whose device went away while
// JACK keeps calling it back (PipeWire's driver takes over from a removed
// sink) is marked lost in the shared block, which the program's stale check
// reads.
void watchJackGraph(AudioHostBlock& block, const std::function<void(const std::string&)>& send) {
    int lastFrames = jackServerBufferFrames();
    uint32_t seen = jackGraphChanges();
    for (;;) {
        // Sleeps until a JACK callback notes a change, or a second passed.
        if (waitForJackGraphChange(seen, kWatchIdleMs) != seen)
            std::this_thread::sleep_for(std::chrono::milliseconds(kWatchSettleMs));
        seen = jackGraphChanges();
        const int frames = jackServerBufferFrames();
        const double rate = jackServerSampleRate();
        if (frames > 0 && rate > 0.0 && frames != lastFrames) {
            lastFrames = frames;
            AudioHostServerBuffer buffer;
            buffer.frames = frames;
            buffer.sampleRate = rate;
            buffer.latencyMs = frames / rate * 1000.0;
            outPrint("  [AudioEngine] The JACK server's buffer size changed\n"
                     "    Buffer     : %d samples (%.2fms), set by the server\n"
                     "    Latency    : %.2fms (one server period)\n",
                     frames, buffer.latencyMs, buffer.latencyMs);
            send(encodeServerBuffer(buffer));
        }
        for (int i = 0; i < kMaxSynthStreams; ++i) {
            const int device = gStreamDevices[i].load();
            if (device >= 0 && block.streams[i].running.load() != 0 && block.streams[i].deviceLost.load() == 0 &&
                isJackDeviceLost(device)) {
                block.streams[i].deviceLost.store(1);
                outPrint("  [AudioEngine] Stream %d: its JACK device went away\n", i);
            }
        }
    }
}

// On PipeWire the program asks for its period through PIPEWIRE_LATENCY
// ("frames/rate", read by PipeWire's JACK library when PortAudio opens its
// client). The graph takes the new quantum a moment after the client is
// activated: wait up to a second for it, so the device list and the streams
// show what was granted. A graph that grants something else (its limits,
// another client asking for less) is taken as it is.
void waitForRequestedPeriod() {
    const char* latency = std::getenv("PIPEWIRE_LATENCY");
    if (latency == nullptr || jackServerBufferFrames() == 0)
        return;
    char* end = nullptr;
    const long wanted = std::strtol(latency, &end, 10);
    if (end == latency || wanted <= 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (jackServerBufferFrames() != wanted && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

[[noreturn]] void endHost(int code) {
    outputFlush(500);
    // No Pa_Terminate: with the audio server gone it would never return (or
    // abort); the system closes what PortAudio held.
    std::_Exit(code);
}

}  // namespace

int runAudioHost(AudioHostBlock& block, MessageChannel& channel) {
    // The program gone (ended, crashed, or gave this host up): end at once,
    // whatever the main thread is waiting for.
    std::thread([&channel] {
        channel.waitUntilPeerGone();
        std::_Exit(0);
    }).detach();

    // The request thread and the graph watcher both send.
    static std::mutex sendMutex;
    auto send = [&channel](const void* data, size_t size) {
        std::lock_guard<std::mutex> lock(sendMutex);
        return channel.send(data, size);
    };
    auto log = [&send](std::string_view text) {
        AudioHostLog line;
        std::memcpy(line.text, text.data(), std::min(text.size(), sizeof line.text - 1));
        send(&line, sizeof line);
    };
    for (std::atomic<int32_t>& device : gStreamDevices)
        device.store(-1);

    setDeviceTableMemory(&block.lastDeviceTable);
    AudioEngine engine;
    waitForRequestedPeriod();
    engine.publishHealthTo(block.streams, kMaxSynthStreams);
    std::vector<PhysicalDevice> devices = engine.devices();
    LiveSettings settings;  // the program's block of the request; initAudio writes its device part
    AudioInitContext context;
    context.engine = &engine;
    context.portAudio = &systemPortAudio();
    context.log = log;
    context.devices = &devices;
    context.synth = &block.synth;
    context.settings = &settings;

    const std::string list = encodeDeviceList(devices);
    const std::string inputs = encodeInputList(engine.inputDevices());
    const std::string raw = encodeRawDeviceList(engine.rawDevices());
    const uint32_t ready = static_cast<uint32_t>(AudioHostMessageKind::Ready);
    outputFlush(kFlushBeforeReplyMs);
    if (!send(list.data(), list.size()) || !send(inputs.data(), inputs.size()) || !send(raw.data(), raw.size()) ||
        !send(&ready, sizeof ready))
        endHost(1);
    std::thread([&block, &send] {
        watchJackGraph(block, [&send](const std::string& message) { send(message.data(), message.size()); });
    }).detach();

    AudioHostRequest request;
    AudioHostReply reply;
    publishHealth(engine, block);
    for (;;) {
        size_t size = 0;
        const ReceiveStatus status = channel.receive(&request, sizeof request, size, -1);
        if (status == ReceiveStatus::Closed)
            endHost(0);
        if (status == ReceiveStatus::TimedOut || size != sizeof request)
            continue;

        // No stream to watch while streams are opened and closed.
        for (std::atomic<int32_t>& device : gStreamDevices)
            device.store(-1);
        reply = AudioHostReply();
        reply.op = request.op;
        settings.replace(request.settings);
        switch (request.op) {
        case AudioHostOp::InitAudio:
            reply.ok = context.initAudio() ? 1 : 0;
            break;
        case AudioHostOp::LoopbackTest:
            engine.clearError();
            reply.oneWayMs = engine.runLoopbackTest(request.argument);
            if (reply.oneWayMs <= 0.0) {
                const std::string testError = engine.lastErrorText();
                std::memcpy(reply.testError, testError.data(), std::min(testError.size(), sizeof reply.testError - 1));
            }
            reply.ok = context.initAudio() ? 1 : 0;
            break;
        case AudioHostOp::CloseAll:
        case AudioHostOp::Quit:
            engine.closeAll();
            reply.ok = 1;
            break;
        default:
            continue;
        }
        publishHealth(engine, block);
        noteStreamDevices(engine, block);
        reply.multiDevice = reply.ok && context.multiDevice ? 1 : 0;
        reply.channels = reply.ok ? streamActiveChannels(engine, 0) : 0;
        reply.streamCount = engine.streamCount();
        reply.latencyMs = engine.streamLatencyMs();
        reply.status = deviceStatus();
        reply.settingsChanged = settings.takeDirty() ? 1 : 0;
        reply.settings = settings.snapshot();
        const std::string error = engine.lastErrorText();
        std::memcpy(reply.lastError, error.data(), std::min(error.size(), sizeof reply.lastError - 1));
        if (!reply.ok) {
            reply.problem = context.problem;
            const std::string& why = context.problemText;
            std::memcpy(reply.problemText, why.data(), std::min(why.size(), sizeof reply.problemText - 1));
            const std::string& missing = context.missingDevice;
            std::memcpy(reply.missingDevice, missing.data(), std::min(missing.size(), sizeof reply.missingDevice - 1));
        }
        // The console lines of the request reach the program before the reply.
        outputFlush(kFlushBeforeReplyMs);
        const bool sent = send(&reply, sizeof reply);
        // A PortAudio call that never came back leaves nothing to work with
        // here: the next attempt gets a new host.
        if (!sent || request.op == AudioHostOp::Quit || engine.isAudioSystemStuck())
            endHost(0);
    }
}

}  // namespace qv
