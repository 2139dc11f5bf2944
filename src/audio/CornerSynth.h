#pragma once
// Real-time: the oscillators of one car corner. synthCorner fills seven effect
// planes (one per EffectId) for one block; everything here runs on the audio
// thread of the stream that owns the corner, allocates nothing and takes no
// lock.

#include "audio/AudioBuffer.h"
#include "audio/Envelope.h"
#include "engines/HapticFrame.h"
#include "settings/HapticSettings.h"

#include <cstdint>

namespace qv {

inline constexpr float kTwoPi = 6.2831853f;

struct CornerSynth {
    int32_t corner = 0;
    float sampleRate = 48000.0f;
    float phase[kEffectCount] = {};  // radians, kept in [0, 2*pi)
    OnePole road;                    // road level smoother (one step per block)
    Envelope gearPulse;
    float slipLevel = 0.0f;

    // Sets the rate and the road smoother's coefficient (80 Hz); phases,
    // levels and the envelope stay as they are.
    void configure(int cornerIndex, float fs);

    // Starts the gear pulse of durationMs and restarts the gear oscillator.
    void triggerGearPulse(int durationMs);
};

// The seven planes of one corner, kMaxBlockFrames samples each.
struct EffectPlanes {
    float fx[kEffectCount][kMaxBlockFrames];
    // Whether plane e carries signal this block (an oscillator that did not
    // run leaves its plane at zero).
    bool active[kEffectCount];
};

// Fills planes for `frames` samples (0..4096) from the corner's values of the
// frame. Amplitudes and frequencies are made safe here: amplitudes, the gear
// intensity and the master gain are limited to 0..1 (non-finite counts as 0)
// and every frequency to 0..fs/2, so a frame or profile from outside can
// never drive a phase off its range, latch a smoother at an absurd level or
// put a NaN out.
void synthCorner(CornerSynth& synth, EffectPlanes& planes, int frames, const CornerHaptics& corner,
                 float engineAmp, float engineFreq, const EffectProfile& fx, float masterGain);

// The frequency an oscillator plays: non-finite gives 0, then at least
// `floorHz`, then at most fs/2.
float oscillatorFrequency(float hz, float floorHz, float fs);

}  // namespace qv
