#include "audio/LoopbackMeasurement.h"

#include <algorithm>
#include <cctype>

namespace qv {

namespace {

// Moves the state from `from` to `to` unless something else moved it first.
bool advance(LoopbackState& s, int32_t from, int32_t to) {
    return s.state.compare_exchange_strong(from, to, std::memory_order_acq_rel, std::memory_order_acquire);
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

void resetLoopbackState(LoopbackState& s, double sampleRate, int32_t inputChannels, int32_t outputChannels) {
    s.state.store(kLoopbackWaiting);
    s.sampleCounter = 0;
    s.pulseDelay = static_cast<int32_t>(sampleRate * 0.05);
    s.pulsePos = 0;
    s.detectPos = 0;
    s.window = static_cast<int32_t>(sampleRate * 0.5);
    s.pulseAmplitude = 0.05f;
    s.threshold = 0.005f;
    s.inputChannels = std::max(1, inputChannels);
    s.outputChannels = std::max(1, outputChannels);
}

int32_t timeOutLoopback(LoopbackState& s) {
    int32_t current = s.state.load(std::memory_order_acquire);
    while (current < kLoopbackDetected &&
           !s.state.compare_exchange_weak(current, kLoopbackTimedOut, std::memory_order_acq_rel,
                                          std::memory_order_acquire)) {
    }
    return s.state.load(std::memory_order_acquire);
}

int loopbackInputCallback(const void* input, void* output, unsigned long frameCount, const PaStreamCallbackTimeInfo*,
                          PaStreamCallbackFlags, void* userData) {
    auto& s = *static_cast<LoopbackState*>(userData);
    const auto* in = static_cast<const float*>(input);
    auto* out = static_cast<float*>(output);
    const int32_t frames = static_cast<int32_t>(std::min<unsigned long>(frameCount, 1ul << 24));

    for (int32_t i = 0; i < frames; ++i) {
        const int32_t b = s.sampleCounter + i;
        if (out)
            std::fill_n(out + static_cast<size_t>(i) * static_cast<size_t>(s.outputChannels), s.outputChannels, 0.0f);
        const int32_t phase = s.state.load(std::memory_order_acquire);
        if (phase == kLoopbackWaiting) {
            if (b < s.pulseDelay)
                continue;
            if (out)
                out[static_cast<size_t>(i) * static_cast<size_t>(s.outputChannels)] = s.pulseAmplitude;
            s.pulsePos = b;
            advance(s, kLoopbackWaiting, kLoopbackPulseSent);
            // The pulse's own frame is not tested: an input that shows it
            // already is crosstalk inside the device, not a round trip.
            continue;
        }
        if (phase != kLoopbackPulseSent)
            continue;
        const float x = in ? in[static_cast<size_t>(i) * static_cast<size_t>(s.inputChannels)] : 0.0f;
        if (b > s.pulsePos && (x > s.threshold || x < -s.threshold)) {
            s.detectPos = b;
            advance(s, kLoopbackPulseSent, kLoopbackDetected);
        } else if (b > s.pulsePos + s.window) {
            advance(s, kLoopbackPulseSent, kLoopbackTimedOut);
        }
    }
    s.sampleCounter += frames;
    return s.state.load(std::memory_order_acquire) >= kLoopbackDetected ? paComplete : paContinue;
}

int32_t chooseLoopbackInput(const std::string& outputName, int32_t outputHostApi,
                            const std::vector<LoopbackInputCandidate>& devices) {
    const std::string output = lowerCase(outputName);
    const bool outputIsRealtek = output.find("realtek") != std::string::npos;
    const std::string prefix = output.size() >= 8 ? output.substr(0, 8) : std::string();
    int32_t first = -1;
    for (size_t i = 0; i < devices.size(); ++i) {
        const LoopbackInputCandidate& d = devices[i];
        if (d.maxInputChannels < 1 || d.hostApi != outputHostApi)
            continue;
        if (first < 0)
            first = static_cast<int32_t>(i);
        const std::string name = lowerCase(d.name);
        if (outputIsRealtek && name.find("realtek") != std::string::npos)
            return static_cast<int32_t>(i);
        if (!prefix.empty() && name.size() >= 8 && name.find(prefix) != std::string::npos)
            return static_cast<int32_t>(i);
    }
    return first;
}

}  // namespace qv
