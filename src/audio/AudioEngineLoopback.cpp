// AudioEngine: the loopback latency test (a duplex stream with one pulse) and
// the choice of its input device.

#include "audio/AudioEngine.h"

#include "audio/LoopbackMeasurement.h"
#include "platform/Output.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace qv {
namespace {

// How long the test waits for the pulse to come back, on the engine's clock.
constexpr uint64_t kLoopbackWaitMs = 5000;
constexpr uint64_t kLoopbackPollMs = 10;

// What the duplex stream's callback reads and writes. Heap-allocated: a
// stream that cannot be closed (PortAudio stuck) keeps calling back into it,
// so it then goes to the graveyard below and lives as long as the process.
struct LoopbackRun {
    LoopbackState state;
    PaStream* stream = nullptr;
};

std::mutex& loopbackGraveyardMutex() {
    static std::mutex* mutex = new std::mutex();
    return *mutex;
}

void abandonLoopbackRun(std::unique_ptr<LoopbackRun> run) {
    static auto* runs = new std::vector<std::unique_ptr<LoopbackRun>>();
    timeOutLoopback(run->state);  // its callbacks complete from now on
    std::lock_guard<std::mutex> lock(loopbackGraveyardMutex());
    runs->push_back(std::move(run));
}

PaStreamParameters loopbackParameters(int device, int channels, double suggestedLatency) {
    PaStreamParameters p{};
    p.device = device;
    p.channelCount = channels;
    p.sampleFormat = paFloat32;
    p.suggestedLatency = std::isfinite(suggestedLatency) && suggestedLatency > 0.0 ? suggestedLatency : 0.0;
    p.hostApiSpecificStreamInfo = nullptr;
    return p;
}

std::string deviceName(const PaDeviceInfo& info) { return info.name ? info.name : ""; }

}  // namespace

int32_t AudioEngine::findLoopbackInputDevice(int32_t outputDevice) {
    if (!usable() || !m_paInitialised)
        return -1;
    const PaDeviceInfo* output = outputDevice >= 0 ? m_pa->deviceInfo(outputDevice) : nullptr;
    if (!output)
        return -1;
    std::vector<LoopbackInputCandidate> candidates;
    const PaDeviceIndex count = std::max<PaDeviceIndex>(m_pa->deviceCount(), 0);
    candidates.reserve(static_cast<size_t>(count));
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = m_pa->deviceInfo(i);
        if (info)
            candidates.push_back({deviceName(*info), info->hostApi, info->maxInputChannels});
        else
            candidates.push_back({});  // keeps the positions equal to the PortAudio indices
    }
    return chooseLoopbackInput(deviceName(*output), output->hostApi, candidates);
}

double AudioEngine::runLoopbackTest(int32_t inputDevice) {
    if (!usable()) {
        setError(m_stuckText);
        return -1.0;
    }
    if (!m_paInitialised) {
        setError("PortAudio not initialised");
        return -1.0;
    }
    if (m_streams.empty() || m_streams.front()->deviceIndex < 0) {
        setError("No output device configured");
        return -1.0;
    }
    const StreamSlot& first = *m_streams.front();
    const int32_t outputDevice = first.deviceIndex;
    const double sampleRate = first.sampleRate;
    const int32_t frames = first.framesPerBuffer.load();
    const int32_t input = inputDevice >= 0 ? inputDevice : findLoopbackInputDevice(outputDevice);
    if (input < 0) {
        setError("No matching input device found for loopback test");
        return -1.0;
    }
    // Everything the test needs from both devices is checked while the
    // output streams still play: a bad choice must not silence the shakers.
    const PaDeviceInfo* outputInfo = m_pa->deviceInfo(outputDevice);
    if (!outputInfo) {
        setError("Invalid device index: " + std::to_string(outputDevice));
        return -1.0;
    }
    const PaDeviceInfo* inputInfo = m_pa->deviceInfo(input);
    if (!inputInfo) {
        setError("Invalid input device index: " + std::to_string(input));
        return -1.0;
    }
    if (inputInfo->maxInputChannels < 1) {
        setError("Input device '" + deviceName(*inputInfo) + "' has no input channels");
        return -1.0;
    }
    const std::string outputName = deviceName(*outputInfo);
    const std::string inputName = deviceName(*inputInfo);
    const int maxInputs = inputInfo->maxInputChannels;
    const double outputLatency = outputInfo->defaultLowOutputLatency;
    const double inputLatency = inputInfo->defaultLowInputLatency;

    outPrint("  [Loopback Test] Output: %s\n", outputName.c_str());
    outPrint("  [Loopback Test] Input:  %s\n", inputName.c_str());

    closeAll();
    if (!usable()) {
        setError(m_stuckText);
        return -1.0;
    }

    int outputChannels = 1;
    int inputChannels = 1;
    PaStreamParameters out = loopbackParameters(outputDevice, outputChannels, outputLatency);
    PaStreamParameters in = loopbackParameters(input, inputChannels, inputLatency);
    PaError format = m_pa->isFormatSupported(&in, &out, sampleRate);
    if (format != paFormatIsSupported) {
        outputChannels = 2;
        inputChannels = std::min(2, maxInputs);
        out.channelCount = outputChannels;
        in.channelCount = inputChannels;
        format = m_pa->isFormatSupported(&in, &out, sampleRate);
        if (format != paFormatIsSupported) {
            setError(std::string("Loopback format not supported: ") + m_pa->errorText(format));
            return -1.0;
        }
    }

    auto run = std::make_unique<LoopbackRun>();
    resetLoopbackState(run->state, sampleRate, inputChannels, outputChannels);
    IPortAudio* pa = m_pa;
    LoopbackRun* target = run.get();
    PaError result = paNoError;
    auto open = [pa, target, in, out, sampleRate, frames] {
        return pa->openStream(&target->stream, &in, &out, sampleRate, static_cast<unsigned long>(frames), paClipOff,
                              loopbackInputCallback, &target->state);
    };
    if (!timedCall("Pa_OpenStream", CallKind::Stream, open, result)) {
        abandonLoopbackRun(std::move(run));
        return -1.0;
    }
    if (result != paNoError || target->stream == nullptr) {
        setError(std::string("Loopback Pa_OpenStream failed: ") +
                 m_pa->errorText(result != paNoError ? result : paInternalError));
        return -1.0;
    }
    PaStream* stream = target->stream;
    if (!timedCall("Pa_StartStream", CallKind::Stream, [pa, stream] { return pa->startStream(stream); }, result)) {
        abandonLoopbackRun(std::move(run));
        return -1.0;
    }
    if (result != paNoError) {
        const std::string text = m_pa->errorText(result);
        PaError closed = paNoError;
        if (!timedCall("Pa_CloseStream", CallKind::Stream, [pa, stream] { return pa->closeStream(stream); }, closed))
            abandonLoopbackRun(std::move(run));
        setError("Loopback Pa_StartStream failed: " + text);
        return -1.0;
    }

    outWrite("  [Loopback Test] Running... (connect output -> input cable)\n");
    const uint64_t startMs = m_clock->nowMs();
    while (run->state.state.load(std::memory_order_acquire) < kLoopbackDetected) {
        if (m_clock->nowMs() - startMs > kLoopbackWaitMs) {
            timeOutLoopback(run->state);
            break;
        }
        m_clock->sleepMs(kLoopbackPollMs);
    }

    PaError stopped = paNoError;
    if (!timedCall("Pa_StopStream", CallKind::Stream, [pa, stream] { return pa->stopStream(stream); }, stopped) ||
        !timedCall("Pa_CloseStream", CallKind::Stream, [pa, stream] { return pa->closeStream(stream); }, stopped)) {
        abandonLoopbackRun(std::move(run));
        return -1.0;
    }

    if (run->state.state.load(std::memory_order_acquire) != kLoopbackDetected) {
        outWrite("  [Loopback Test] No signal detected -- check cable connection\n");
        return -1.0;
    }
    const int32_t roundTrip = run->state.detectPos - run->state.pulsePos;
    const double roundTripMs = static_cast<double>(roundTrip) / sampleRate * 1000.0;
    const double oneWayMs = roundTripMs * 0.5;
    m_measuredLatencyMs = oneWayMs;
    outWrite("  [Loopback Test] SUCCESS\n");
    outPrint("    Roundtrip  : %d samples (%.2fms)\n", roundTrip, roundTripMs);
    outPrint("    One-way    : %.2fms (estimated output latency)\n", oneWayMs);
    return oneWayMs;
}

}  // namespace qv
