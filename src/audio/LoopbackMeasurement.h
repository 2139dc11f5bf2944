#pragma once
// The loopback latency measurement's moving parts: the state shared by the
// test and its duplex stream callback, the callback itself, and the choice
// of the input device that the user's cable most likely returns to.
//
// The measurement sends one single-sample pulse 50 ms after the stream
// starts and waits up to 500 ms for it to come back above a threshold on
// input channel 0; the sample distance is the round trip.
//
// Real-time code: loopbackInputCallback runs on PortAudio's audio thread; it
// allocates nothing, takes no lock and does no I/O. The test thread and the
// callback share only LoopbackState: the callback writes pulsePos and
// detectPos before it publishes the state that makes them valid, and every
// state change is a compare-exchange, so the waiting thread's time-out can
// never overwrite a detection (nor the other way round).

#include <portaudio.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

enum LoopbackPhase : int32_t {
    kLoopbackWaiting = 0,   // waiting to send the pulse
    kLoopbackPulseSent = 1,
    kLoopbackDetected = 2,
    kLoopbackTimedOut = 3,
};

struct LoopbackState {
    std::atomic<int32_t> state{kLoopbackWaiting};
    int32_t sampleCounter = 0;   // frames processed before the current callback
    int32_t pulseDelay = 0;      // frame at which the pulse is sent (50 ms)
    int32_t pulsePos = 0;        // frame the pulse was written at
    int32_t detectPos = 0;       // frame the returning pulse was seen at
    int32_t window = 0;          // frames after the pulse within which it must return (500 ms)
    float pulseAmplitude = 0.05f;
    float threshold = 0.005f;
    int32_t inputChannels = 1;   // stride of the input buffer
    int32_t outputChannels = 1;  // stride of the output buffer
};

// Puts every field back to its start for a stream at sampleRate with the
// given channel counts (frame counts truncated toward zero).
void resetLoopbackState(LoopbackState& s, double sampleRate, int32_t inputChannels, int32_t outputChannels);

// The waiting thread gave up: waiting or pulse-sent becomes timed out; a
// detection stays. Returns the state after the call.
int32_t timeOutLoopback(LoopbackState& s);

// The duplex stream's callback; userData is the LoopbackState. Float32
// interleaved buffers. Returns paComplete once the pulse was detected or
// the window passed, else paContinue.
int loopbackInputCallback(const void* input, void* output, unsigned long frameCount,
                          const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                          void* userData);

// One device as the input choice sees it.
struct LoopbackInputCandidate {
    std::string name;
    int32_t hostApi = -1;
    int32_t maxInputChannels = 0;
};

// The index (into devices) of the input to pair with the output device: a
// device of the same host API with inputs whose name shares the output's
// first eight characters (or, for "realtek" devices, that word), else the
// first device of that API with inputs; -1 when there is none.
int32_t chooseLoopbackInput(const std::string& outputName, int32_t outputHostApi,
                            const std::vector<LoopbackInputCandidate>& devices);

}  // namespace qv
