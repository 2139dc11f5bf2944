// Haptic computation of the AC engine: one sample to one frame.

#include "engines/ACHapticEngine.h"

#include "engines/FrameLimits.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Road texture: full at 0.05 m/s of suspension velocity.
constexpr float kRoadFullVelocity = 0.05f;
// Simple model: impact from 0.04 m/s, full at 0.1 m/s.
constexpr float kSimpleImpactStart = 0.04f;
constexpr float kSimpleImpactRange = 0.06f;
// Dual-band model, slow band: from 0.04 m/s, full at 0.12 m/s.
constexpr float kSlowBandStart = 0.04f;
constexpr float kSlowBandRange = 0.08f;
// Dual-band model, fast band: three of the last four velocities at 0.045 m/s
// or more; full at 0.2 m/s.
constexpr float kKerbThreshold = 0.045f;
constexpr float kKerbFullVelocity = 0.2f;
// Lock-up: braking above 3 km/h with a wheel that has (nearly) stopped, or
// one whose raw slip is above 0.3; pulsing at 7 Hz on all corners alike.
constexpr float kAbsMinBrake = 0.05f;
constexpr float kAbsMinSpeed = 0.83f;
constexpr float kLockedWheelRpm = 9.55f;
constexpr float kSlippingWheel = 0.3f;
constexpr double kAbsPulseHz = 7.0;

}  // namespace

void computeACFrame(const ACSample& s, VelocityRing& ring, double pulseSeconds, const EffectProfile& fx,
                    HapticFrame& out) {
    out = HapticFrame{};
    if (s.isOffTrack())
        return;

    ring.push(s.suspVel);
    setEngineVibration(s.rpm, fx, out);
    const bool dualBand = fx.suspDualBand != 0;
    const bool braking = s.speed > kAbsMinSpeed && s.brake > kAbsMinBrake;
    // The phase in double, counted from the connect.
    const float pulse = static_cast<float>(0.5 * std::sin(kTwoPi * kAbsPulseHz * pulseSeconds) + 0.5);

    for (int c = 0; c < kCornerCount; ++c) {
        CornerHaptics& h = out.corners[c];
        const float v = std::fabs(s.suspVel[c]);

        const float road = std::min(v / kRoadFullVelocity, 1.0f);
        h.roadAmp = road * fx.roadVibration;
        h.roadFreq = std::clamp(fx.freqRoadVib + 3.0f - 6.0f * road, 10.0f, 75.0f);

        if (dualBand) {
            const float slow = clamp01((v - kSlowBandStart) / kSlowBandRange);
            h.impactAmp = std::sqrt(slow) * fx.suspImpact;
            h.impactFreq = std::clamp(fx.freqSuspImp + 3.0f - 6.0f * slow, 10.0f, 75.0f);
        } else {
            const float level = clamp01((v - kSimpleImpactStart) / kSimpleImpactRange);
            h.impactAmp = std::sqrt(level) * fx.suspImpact;
            h.impactFreq = std::clamp(fx.freqSuspImp + 8.0f - 16.0f * level, 10.0f, 75.0f);
        }

        const float k = dualBand ? ring.kerbLevel(c, kKerbThreshold, kKerbFullVelocity) : 0.0f;
        h.kerbAmp = k * fx.kerbRumble;
        h.kerbFreq = std::max(20.0f, std::min(fx.freqKerb + 3.0f - 6.0f * k, 75.0f));

        float base = 0.0f;
        if (braking) {
            if (std::fabs(s.wheelRpm[c]) < kLockedWheelRpm)
                base = std::min(s.brake, 1.0f) * fx.absLock;
            else if (s.wheelSlip[c] > kSlippingWheel)
                base = fx.absLock;
        }
        h.absAmp = base > 0.0f ? pulse * base : 0.0f;
        h.absFreq = fx.freqAbsLock;

        h.slipAmp = wheelSlipAmplitude(s.wheelSlip[c], fx);
    }
    limitFrame(out);
}

}  // namespace qv
