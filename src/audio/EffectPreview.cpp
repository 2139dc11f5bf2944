#include "audio/EffectPreview.h"

#include "audio/CornerSynth.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

// Attack to 1 over `attack` s, hold until `hold` s, release to 0 by `end` s.
float bumpEnvelope(float h, float attack, float hold, float release) {
    if (h < attack)
        return h / attack;
    if (h < hold)
        return 1.0f;
    if (h < hold + release)
        return 1.0f - (h - hold) / release;
    return 0.0f;
}

}  // namespace

HapticFrame effectPreviewFrame(int effect, float t, const EffectProfile& p) {
    HapticFrame frame;
    CornerHaptics c;
    switch (effect) {
    case kRoadVibration:
        c.roadAmp = (std::sin(t * kTwoPi * 0.5f) + 1.0f) * 0.5f * p.roadVibration;
        c.roadFreq = p.freqRoadVib;
        break;
    case kSuspImpact:
        c.impactAmp = bumpEnvelope(std::fmod(t, 0.8f), 0.005f, 0.08f, 0.15f) * p.suspImpact;
        c.impactFreq = p.freqSuspImp;
        break;
    case kKerbRumble:
        c.kerbAmp = bumpEnvelope(std::fmod(t, 0.25f), 0.003f, 0.04f, 0.08f) * p.kerbRumble;
        c.kerbFreq = p.freqKerb;
        break;
    case kEngineRumble:
        frame.engineAmp = p.engineRumble;
        frame.engineFreq = std::fmod(t, 3.0f) / 3.0f * (p.freqEngine - 15.0f) + 15.0f;
        break;
    case kAbsLock:
        c.absAmp = std::fmod(t, 0.18f) < 0.08f ? p.absLock : 0.0f;
        c.absFreq = p.freqAbsLock;
        break;
    case kWheelSlip:
        c.slipAmp = (std::sin(t * kTwoPi / 3.0f) + 1.0f) * 0.5f * p.wheelSlipSensitivity;
        break;
    default:
        break;
    }
    for (CornerHaptics& corner : frame.corners)
        corner = c;
    return frame;
}

void effectPreviewLevels(int effect, float t, const EffectProfile& p, const HapticFrame& frame,
                         float levels[kEffectCount]) {
    for (int e = 0; e < kEffectCount; ++e)
        levels[e] = 0.0f;
    float road = 0.0f, impact = 0.0f, kerb = 0.0f, abs = 0.0f, slip = 0.0f;
    for (const CornerHaptics& c : frame.corners) {
        road = std::max(road, c.roadAmp);
        impact = std::max(impact, c.impactAmp);
        kerb = std::max(kerb, c.kerbAmp);
        abs = std::max(abs, c.absAmp);
        slip = std::max(slip, c.slipAmp);
    }
    switch (effect) {
    case kRoadVibration: levels[kRoadVibration] = road; break;
    case kSuspImpact: levels[kSuspImpact] = impact; break;
    case kKerbRumble: levels[kKerbRumble] = kerb; break;
    case kEngineRumble: levels[kEngineRumble] = frame.engineAmp; break;
    case kAbsLock: levels[kAbsLock] = abs; break;
    case kWheelSlip: levels[kWheelSlip] = slip; break;
    case kGearChange: {
        const float m = static_cast<float>(gearPulseMs(p.gearChangeDuration)) / 1000.0f;
        if (t < m)
            levels[kGearChange] = (1.0f - t / m) * p.gearChangeIntensity;
        break;
    }
    default:
        break;
    }
    for (int e = 0; e < kEffectCount; ++e)
        if (!std::isfinite(levels[e]))
            levels[e] = 0.0f;
}

}  // namespace qv
