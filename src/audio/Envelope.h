#pragma once
// Building blocks of the synthesis: the attack/hold/release envelope of the
// gear-change pulse and a one-pole smoother. Plain data, real-time safe; each
// instance belongs to one stream's audio thread.

#include <cstdint>

namespace qv {

struct Envelope {
    enum Stage : int32_t { kIdle = 0, kAttack = 1, kHold = 2, kRelease = 3 };

    int32_t stage = kIdle;
    float level = 0.0f;        // 0..1
    float attackStep = 0.0f;   // level added per sample
    float releaseStep = 0.0f;  // level removed per sample
    int32_t holdSamples = 0;
    int32_t holdCount = 0;

    // Starts the envelope with attack, hold and release times in ms at the
    // sample rate fs. The level is kept: a start while the envelope runs
    // attacks from where it is.
    void start(float attackMs, float holdMs, float releaseMs, float fs);

    // The gear-change pulse of durationMs: a 5 ms attack, a hold of 30 % and
    // a release of 70 % of the duration.
    void startGearPulse(int durationMs, float fs);

    // One sample; returns the output level (0 when idle).
    float step() {
        switch (stage) {
        case kAttack:
            level += attackStep;
            if (level >= 1.0f) {
                level = 1.0f;
                stage = kHold;
            }
            return level;
        case kHold:
            if (++holdCount >= holdSamples)
                stage = kRelease;
            return level;
        case kRelease:
            level -= releaseStep;
            if (level <= 0.0f) {
                level = 0.0f;
                stage = kIdle;
                return 0.0f;
            }
            return level;
        default:
            return 0.0f;
        }
    }
};

// y := y + (x - y) * k.
struct OnePole {
    float y = 0.0f;
    float k = 0.0f;

    float step(float x) {
        y += (x - y) * k;
        return y;
    }
    // The coefficient for a cut-off of cutoffHz at sample rate fs.
    static float coefficient(float fs, float cutoffHz);
};

}  // namespace qv
