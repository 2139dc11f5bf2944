// Haptic computation of the AC engine: one sample to one frame.

#include "engines/ACHapticEngine.h"

#include "engines/FrameLimits.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Road texture full at 0.05 m/s; simple-model impact from 0.04 m/s, full at
// 0.1 m/s; slow band from 0.04 m/s, full at 0.12 m/s, as a square root; fast
// band from 0.045 m/s, full at 0.2 m/s.
constexpr AcSuspensionTuning kSuspension = {
    .roadFullVelocity = 0.05f,
    .simpleImpactStart = 0.04f,
    .simpleImpactRange = 0.06f,
    .slowBandStart = 0.04f,
    .slowBandRange = 0.08f,
    .slowBandSquareRoot = true,
    .kerbThreshold = 0.045f,
    .kerbFullVelocity = 0.2f,
};
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
    const bool braking = s.speed > kAbsMinSpeed && s.brake > kAbsMinBrake;
    // The phase in double, counted from the connect.
    const float pulse = static_cast<float>(0.5 * std::sin(kTwoPi * kAbsPulseHz * pulseSeconds) + 0.5);

    for (int c = 0; c < kCornerCount; ++c) {
        CornerHaptics& h = out.corners[c];
        setSuspensionTerms(kSuspension, std::fabs(s.suspVel[c]), s.hasSuspVel[c], ring, c, fx, h);

        // A wheel whose speed is missing is no locked wheel: its lock-up is silent.
        float base = 0.0f;
        if (braking && s.hasWheelRpm[c]) {
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
