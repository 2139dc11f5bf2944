// Haptic computation of the ACC engine: one sample to one frame.

#include "engines/ACCHapticEngine.h"

#include "engines/FrameLimits.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Road texture full at 0.04 m/s; simple-model impact from 0.035 m/s, full
// 0.25 m/s later; slow band from 0.05 m/s, full 0.25 m/s later, linear; fast
// band from 0.03 m/s, full at 0.15 m/s.
constexpr AcSuspensionTuning kSuspension = {
    .roadFullVelocity = 0.04f,
    .simpleImpactStart = 0.035f,
    .simpleImpactRange = 0.25f,
    .slowBandStart = 0.05f,
    .slowBandRange = 0.25f,
    .slowBandSquareRoot = false,
    .kerbThreshold = 0.03f,
    .kerbFullVelocity = 0.15f,
};
// Lock-up: braking above 30 km/h with the wheel turning more than 4 % slower
// than the car; full at 14 % and at 150 km/h.
constexpr float kAbsMinBrake = 0.05f;
constexpr float kAbsMinSpeed = 8.33f;
constexpr float kAbsSlipStart = 0.04f;
constexpr float kAbsSlipRange = 0.1f;
constexpr float kAbsFullSpeed = 41.67f;
// The corners pulse a quarter period apart: LF, RF, LR, RR.
constexpr double kCornerPhase[kCornerCount] = {0.0, kTwoPi / 4.0, kTwoPi / 2.0, 3.0 * kTwoPi / 4.0};

}  // namespace

void computeACCFrame(const ACCSample& s, VelocityRing& ring, double pulseSeconds, const EffectProfile& fx,
                     HapticFrame& out) {
    out = HapticFrame{};
    if (s.isOffTrack())
        return;

    ring.push(s.suspVel);
    setEngineVibration(s.rpm, fx, out);

    for (int c = 0; c < kCornerCount; ++c) {
        CornerHaptics& h = out.corners[c];
        setSuspensionTerms(kSuspension, std::fabs(s.suspVel[c]), s.hasSuspVel[c], ring, c, fx, h);

        const float slip = s.lngSlip[c];
        if (s.brake > kAbsMinBrake && s.speed > kAbsMinSpeed && slip > kAbsSlipStart) {
            const float base = std::sqrt(s.brake) * std::min(s.speed / kAbsFullSpeed, 1.0f) *
                               std::min((slip - kAbsSlipStart) / kAbsSlipRange, 1.0f) * fx.absLock;
            // 12 Hz at light pressure down to 4 Hz at full; the phase in
            // double, counted from the connect.
            const double rate = 12.0 - 8.0 * static_cast<double>(s.brake);
            const float gate =
                clamp01(static_cast<float>(2.5 * std::sin(kTwoPi * rate * pulseSeconds + kCornerPhase[c])));
            h.absAmp = gate * base;
            h.absFreq = fx.freqAbsLock + 5.0f - 10.0f * s.brake;
        } else {
            h.absAmp = 0.0f;
            h.absFreq = fx.freqAbsLock;
        }

        h.slipAmp = wheelSlipAmplitude(s.wheelSlip[c], fx);
    }
    limitFrame(out);
}

}  // namespace qv
