#include "engines/FrameLimits.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

float finiteOr(float x, float fallback) { return std::isfinite(x) ? x : fallback; }

}  // namespace

void limitFrame(HapticFrame& out) {
    const HapticFrame idle;
    for (int c = 0; c < kCornerCount; ++c) {
        CornerHaptics& h = out.corners[c];
        const CornerHaptics& rest = idle.corners[c];
        h.roadAmp = clamp01(h.roadAmp);
        h.impactAmp = clamp01(h.impactAmp);
        h.kerbAmp = clamp01(h.kerbAmp);
        h.absAmp = clamp01(h.absAmp);
        h.slipAmp = clamp01(h.slipAmp);
        h.roadFreq = finiteOr(h.roadFreq, rest.roadFreq);
        h.impactFreq = finiteOr(h.impactFreq, rest.impactFreq);
        h.kerbFreq = finiteOr(h.kerbFreq, rest.kerbFreq);
        h.absFreq = finiteOr(h.absFreq, rest.absFreq);
    }
    out.engineAmp = clamp01(out.engineAmp);
    out.engineFreq = finiteOr(out.engineFreq, idle.engineFreq);
}

void setEngineVibration(float rpm, const EffectProfile& fx, HapticFrame& out) {
    out.engineAmp = std::min(rpm / 9000.0f, 1.0f) * fx.engineRumble;
    const float k = rpm > 100.0f ? rpm / 3000.0f : 1.0f;
    out.engineFreq = std::max(10.0f, k * fx.freqEngine);
}

}  // namespace qv
