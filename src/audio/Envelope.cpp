#include "audio/Envelope.h"

#include <cmath>

namespace qv {

namespace {

// Samples for a time in ms, as a per-sample step of 1/samples (1 when the
// time is not positive).
float stepFor(float ms, float fs) {
    const float samples = ms * 0.001f * fs;
    return samples > 0.0f && std::isfinite(samples) ? 1.0f / samples : 1.0f;
}

int32_t holdFor(float ms, float fs) {
    const float samples = ms * 0.001f * fs;
    if (!(samples > 0.0f))
        return 0;
    return samples > 1.0e9f ? 1000000000 : static_cast<int32_t>(samples);
}

}  // namespace

void Envelope::start(float attackMs, float holdMs, float releaseMs, float fs) {
    attackStep = stepFor(attackMs, fs);
    releaseStep = stepFor(releaseMs, fs);
    holdSamples = holdFor(holdMs, fs);
    holdCount = 0;
    stage = kAttack;
    if (!std::isfinite(level))
        level = 0.0f;
}

void Envelope::startGearPulse(int durationMs, float fs) {
    const float d = static_cast<float>(durationMs < 0 ? 0 : durationMs);
    // 5 ms attack: the single-precision product 5 * 0.001 is 0.0050000004.
    attackStep = 1.0f / (0.0050000004f * fs);
    stage = kAttack;
    const float release = 0.7f * d;
    releaseStep = release > 0.0f ? 1.0f / (release * 0.001f * fs) : 1.0f;
    holdSamples = holdFor(0.3f * d, fs);
    holdCount = 0;
    if (!std::isfinite(level))
        level = 0.0f;
}

float OnePole::coefficient(float fs, float cutoffHz) {
    const float dt = 1.0f / fs;
    return dt / (1.0f / (2.0f * 3.14159265f * cutoffHz) + dt);
}

}  // namespace qv
