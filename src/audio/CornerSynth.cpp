#include "audio/CornerSynth.h"

#include <cmath>

namespace qv {

namespace {

constexpr float kOscillatorGate = 0.001f;

// An amplitude from a frame or a profile: 0..1, non-finite counts as 0.
inline float unitAmplitude(float v) {
    if (!(v > 0.0f))
        return 0.0f;
    return v < 1.0f ? v : 1.0f;
}

// Advances a phase by `step` (0..pi) and wraps it into [0, 2*pi).
inline float advance(float phase, float step) {
    phase += step;
    if (phase > kTwoPi)
        phase -= kTwoPi;
    return phase;
}

// A phase that an earlier state left out of range (it cannot happen with
// the limits here, but a phase must never poison the output).
inline float sanePhase(float phase) {
    if (phase >= 0.0f && phase <= kTwoPi)
        return phase;
    if (!std::isfinite(phase))
        return 0.0f;
    phase = std::fmod(phase, kTwoPi);
    return phase < 0.0f ? phase + kTwoPi : phase;
}

// One sine oscillator of constant frequency and amplitude over a block.
void runOscillator(float& phase, float* out, int frames, float step, float gain) {
    float p = sanePhase(phase);
    for (int i = 0; i < frames; ++i) {
        p = advance(p, step);
        out[i] = std::sin(p) * gain;
    }
    phase = p;
}

void zeroPlane(float* out, int frames) {
    for (int i = 0; i < frames; ++i)
        out[i] = 0.0f;
}

}  // namespace

float oscillatorFrequency(float hz, float floorHz, float fs) {
    float f = std::isfinite(hz) ? hz : 0.0f;
    if (f < floorHz)
        f = floorHz;
    const float nyquist = 0.5f * fs;
    if (f > nyquist)
        f = nyquist;
    return f < 0.0f ? 0.0f : f;
}

void CornerSynth::configure(int cornerIndex, float fs) {
    corner = cornerIndex;
    if (std::isfinite(fs) && fs > 0.0f)
        sampleRate = fs;
    // 0.0019894368 = 1 / (2 * pi * 80) in single precision.
    road.k = (1.0f / sampleRate) / (1.0f / sampleRate + 0.0019894368f);
}

void CornerSynth::triggerGearPulse(int durationMs) {
    gearPulse.startGearPulse(durationMs, sampleRate);
    phase[kGearChange] = 0.0f;
}

void synthCorner(CornerSynth& synth, EffectPlanes& planes, int frames, const CornerHaptics& corner,
                 float engineAmp, float engineFreq, const EffectProfile& fx, float masterGain) {
    const float fs = synth.sampleRate;
    const float radPerHz = kTwoPi / fs;
    const uint8_t* en = fx.effectEnabled;
    const float m = unitAmplitude(masterGain);

    // Road: the level follows its target by one smoother step per block; the
    // oscillator always runs.
    const float roadTarget = en[kRoadVibration] ? unitAmplitude(corner.roadAmp) : 0.0f;
    if (!std::isfinite(synth.road.y))
        synth.road.y = 0.0f;
    synth.road.step(roadTarget);
    if (std::fabs(synth.road.y) < 1.0e-12f)
        synth.road.y = 0.0f;  // no denormals in the tail of the decay

    const float impact = en[kSuspImpact] ? unitAmplitude(corner.impactAmp) : 0.0f;
    const float kerb = en[kKerbRumble] ? unitAmplitude(corner.kerbAmp) : 0.0f;
    const float engine = en[kEngineRumble] ? unitAmplitude(engineAmp) : 0.0f;
    const float abs = en[kAbsLock] ? unitAmplitude(corner.absAmp) : 0.0f;

    float slip = 0.0f;
    if (en[kWheelSlip]) {
        const float target = unitAmplitude(corner.slipAmp);
        if (!std::isfinite(synth.slipLevel))
            synth.slipLevel = 0.0f;
        const float tau = target > synth.slipLevel ? 0.02f : 0.04f;
        const float blockSeconds = static_cast<float>(frames) / fs;
        synth.slipLevel += (target - synth.slipLevel) * (1.0f - std::exp(-blockSeconds / tau));
        slip = synth.slipLevel;
    }

    struct Voice {
        int effect;
        bool runs;
        float amplitude;
        float weight;
        float hz;
    };
    const Voice voices[] = {
        {kRoadVibration, true, synth.road.y, 0.8f, oscillatorFrequency(corner.roadFreq, 0.0f, fs)},
        {kSuspImpact, impact > kOscillatorGate, impact, 0.8f, oscillatorFrequency(corner.impactFreq, 0.0f, fs)},
        {kKerbRumble, kerb > kOscillatorGate, kerb, 0.7f, oscillatorFrequency(corner.kerbFreq, 0.0f, fs)},
        {kEngineRumble, engine > kOscillatorGate, engine, 0.6f, oscillatorFrequency(engineFreq, 0.0f, fs)},
        {kAbsLock, abs > kOscillatorGate, abs, 0.8f, oscillatorFrequency(corner.absFreq, 20.0f, fs)},
        {kWheelSlip, slip > kOscillatorGate, slip, 0.8f, oscillatorFrequency(fx.freqWheelSlip, 20.0f, fs)},
    };
    for (const Voice& v : voices) {
        float* out = planes.fx[v.effect];
        if (v.runs)
            runOscillator(synth.phase[v.effect], out, frames, v.hz * radPerHz, v.amplitude * v.weight * m);
        else
            zeroPlane(out, frames);
        // The road plane is written even at level 0; a plane of zeros adds nothing.
        planes.active[v.effect] = v.runs && v.amplitude * m != 0.0f;
    }

    // Gear change: the envelope steps once per sample while the effect is on;
    // the oscillator runs for the samples whose level is above the gate.
    float* gearOut = planes.fx[kGearChange];
    bool gearRan = false;
    if (en[kGearChange] && synth.gearPulse.stage != Envelope::kIdle) {
        const float intensity = unitAmplitude(fx.gearChangeIntensity);
        const float gain = (intensity > 0.05f ? intensity : 0.05f) * 0.9f * m;
        const float step = oscillatorFrequency(fx.freqGear, 20.0f, fs) * radPerHz;
        float p = sanePhase(synth.phase[kGearChange]);
        for (int i = 0; i < frames; ++i) {
            const float level = synth.gearPulse.step();
            if (level > kOscillatorGate) {
                p = advance(p, step);
                gearOut[i] = std::sin(p) * level * gain;
                gearRan = true;
            } else {
                gearOut[i] = 0.0f;
            }
        }
        synth.phase[kGearChange] = p;
    } else {
        zeroPlane(gearOut, frames);
    }
    planes.active[kGearChange] = gearRan;
}

}  // namespace qv
