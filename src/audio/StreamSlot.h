#pragma once
// One output stream and its PortAudio callback.
//
// Real-time code: streamCallback runs on PortAudio's audio thread, once per
// device buffer, inside a RealtimeScope (platform/RealtimeGuard.h). It
// allocates nothing, takes no lock, makes no PortAudio call and does no I/O; it clears the slot's planar buffer, has the engine's
// render callable fill it and interleaves it into the device's float32
// buffer. Everything it needs is prepared by the engine before the stream
// starts.
//
// Threads: the fields without std::atomic are written by the engine while the
// stream is not running and only read while it runs. The atomics are what the
// callback writes and other threads read (main's stale check, status lines).

#include "audio/AudioBuffer.h"
#include "platform/Clock.h"

#include <portaudio.h>

#include <atomic>
#include <cstdint>

namespace qv {

class AudioEngine;

// A stream's health as another process sees it (the audio host's shared
// block): the callback writes it beside the slot's own atomics, so the
// program's stale check reads the callbacks' own heartbeats and nothing has
// to copy them.
struct StreamHealth {
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> firstBlockFrames{0};
    std::atomic<uint32_t> heartbeatTick{0};
    std::atomic<int32_t> xrunCount{0};
    // 1 when the device the stream plays to went away while its callbacks
    // go on (a JACK device whose ports were removed): stale all the same.
    // Written by the audio host's graph watcher, cleared at each start.
    std::atomic<int32_t> deviceLost{0};
};

struct StreamSlot {
    PaStream* stream = nullptr;  // the open stream, null when none
    AudioBuffer buffer;          // filled by the render callable each block
    int32_t deviceIndex = -1;
    int32_t deviceChannels = 4;  // channels the stream was opened with (interleave stride)
    int32_t activeChannels = 4;  // channels taken from the buffer; the others get silence
    double sampleRate = 48000.0;
    double outputLatencyMs = 0.0;  // the latency shown: streamOutputLatencyMs
    double driverLatencyMs = 0.0;  // PortAudio's reported output latency
    int32_t serverBufferFrames = 0;  // the JACK server's buffer size; 0 when the stream chose its own
    bool isAsio = false;
    int32_t streamIndex = 0;         // position in the engine's list, passed to the render callable
    IClock* clock = nullptr;         // heartbeat time source; read by the callback

    std::atomic<int32_t> framesPerBuffer{256};   // requested at open; the first callback's count replaces it
    std::atomic<int32_t> running{0};             // 1 from a successful start until stop or close
    std::atomic<int32_t> firstBlockFrames{0};    // frame count of the first callback since open
    std::atomic<uint32_t> heartbeatTick{0};      // 32-bit tick of the last callback (and of the start); 0 = none
    std::atomic<int32_t> xrunCount{0};           // callbacks flagged with output underflow or overflow
    // The engine whose render callable the callback calls. The engine clears
    // it to detach a stream it has to abandon; a detached stream plays
    // silence and asks PortAudio to finish it.
    std::atomic<AudioEngine*> owner{nullptr};
    // 1 while the callback runs on behalf of its owner; the engine waits for
    // it to drop after clearing owner, so no callback is left inside the
    // engine once it has detached the slot.
    std::atomic<int32_t> inCallback{0};
    // Where the health is published as well; null when nowhere. Set by the
    // engine before the stream starts, cleared before it is abandoned.
    std::atomic<StreamHealth*> published{nullptr};
};

// The output latency a stream shows (console, window header, device wizard).
// A stream whose buffer the server sets (JACK) plays at least one server
// period late: PortAudio's reported figure when it is plausible and larger,
// else that period (PortAudio's JACK host reports nonsense for a server whose
// ports report no latency, as PipeWire's do). Other streams show the
// estimate from their buffer size.
inline double streamOutputLatencyMs(double reportedMs, int serverFrames, double sampleRate, double estimateMs) {
    if (serverFrames <= 0 || !(sampleRate > 0.0))
        return estimateMs;
    const double periodMs = serverFrames / sampleRate * 1000.0;
    const bool plausible = reportedMs > 0.0 && reportedMs < 2000.0;  // false for NaN
    return plausible && reportedMs > periodMs ? reportedMs : periodMs;
}

// A heartbeat never stores 0 (which means "no heartbeat yet"), also when the
// 32-bit tick count wraps to exactly 0.
inline uint32_t heartbeatStamp(uint32_t tick) { return tick == 0 ? 1u : tick; }

// The PortAudio stream callback; userData is the StreamSlot. Returns
// paContinue, or paComplete for a detached slot.
int streamCallback(const void* input, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags, void* userData);

}  // namespace qv
