#include "audio/AudioHostServer.h"

#include "audio/AudioEngine.h"
#include "audio/AudioInit.h"
#include "platform/Output.h"

#include <cstdlib>
#include <cstring>
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
    }
    block.streamCount.store(count);
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

    auto log = [&channel](std::string_view text) {
        AudioHostLog line;
        std::memcpy(line.text, text.data(), std::min(text.size(), sizeof line.text - 1));
        channel.send(&line, sizeof line);
    };

    AudioEngine engine;
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
    if (!channel.send(list.data(), list.size()) || !channel.send(inputs.data(), inputs.size()) ||
        !channel.send(raw.data(), raw.size()) || !channel.send(&ready, sizeof ready))
        endHost(1);

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
        const bool sent = channel.send(&reply, sizeof reply);
        // A PortAudio call that never came back leaves nothing to work with
        // here: the next attempt gets a new host.
        if (!sent || request.op == AudioHostOp::Quit || engine.isAudioSystemStuck())
            endHost(0);
    }
}

}  // namespace qv
