// Real-time code: see StreamSlot.h. Nothing in this file may allocate, lock,
// log or call PortAudio.

#include "audio/StreamSlot.h"

#include "audio/AudioEngine.h"
#include "platform/RealtimeGuard.h"

#include <algorithm>
#include <cstring>

namespace qv {
namespace {

void writeSilence(float* out, unsigned long frameCount, int32_t channels) {
    if (out != nullptr)
        std::memset(out, 0, sizeof(float) * frameCount * static_cast<unsigned long>(channels));
}

}  // namespace

int streamCallback(const void* input, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags, void* userData) {
    (void)input;
    (void)timeInfo;
    const RealtimeScope realtime;
    StreamSlot& slot = *static_cast<StreamSlot*>(userData);
    float* out = static_cast<float*>(output);
    const int32_t deviceChannels = std::clamp(slot.deviceChannels, 1, kMaxStreamChannels);

    slot.inCallback.store(1, std::memory_order_seq_cst);
    AudioEngine* owner = slot.owner.load(std::memory_order_seq_cst);
    if (owner == nullptr) {
        slot.inCallback.store(0, std::memory_order_release);
        writeSilence(out, frameCount, deviceChannels);
        return paComplete;
    }

    StreamHealth* published = slot.published.load(std::memory_order_acquire);
    if (statusFlags & (paOutputUnderflow | paOutputOverflow)) {
        slot.xrunCount.fetch_add(1, std::memory_order_relaxed);
        if (published)
            published->xrunCount.fetch_add(1, std::memory_order_relaxed);
    }

    const int32_t n = static_cast<int32_t>(std::min<unsigned long>(frameCount, kMaxBlockFrames));
    int32_t noFrames = 0;
    if (slot.firstBlockFrames.compare_exchange_strong(noFrames, n, std::memory_order_acq_rel)) {
        slot.framesPerBuffer.store(n, std::memory_order_relaxed);
        if (published)
            published->firstBlockFrames.store(n, std::memory_order_release);
    }

    AudioBuffer& buffer = slot.buffer;
    buffer.numFrames = n;
    buffer.clear();
    buffer.silent = false;

    owner->render(slot.streamIndex, buffer);

    if (out != nullptr && buffer.silent) {
        // Nothing played: zeros, without reading the planes.
        writeSilence(out, frameCount, deviceChannels);
    } else if (out != nullptr) {
        const int32_t active = std::clamp(slot.activeChannels, 0, deviceChannels);
        for (unsigned long i = 0; i < frameCount; ++i) {
            float* frame = out + i * static_cast<unsigned long>(deviceChannels);
            const bool inBlock = i < static_cast<unsigned long>(n);
            for (int32_t j = 0; j < deviceChannels; ++j)
                frame[j] = inBlock && j < active ? clampSample(buffer.samples[j][i]) : 0.0f;
        }
    }

    if (slot.clock != nullptr) {
        const uint32_t beat = heartbeatStamp(slot.clock->tickMs32());
        slot.heartbeatTick.store(beat, std::memory_order_release);
        if (published)
            published->heartbeatTick.store(beat, std::memory_order_release);
    }
    slot.inCallback.store(0, std::memory_order_release);
    return paContinue;
}

}  // namespace qv

