// Haptic computation of the iRacing engine: one sample record to one frame.

#include "engines/IRacingHapticEngine.h"

#include "engines/FrameLimits.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

constexpr float kTwoPi = 6.2831853071795864f;

void learnSteerRatio(const IRacingSample& s, IRacingSlipState& state) {
    // A row with a missing value teaches nothing.
    const bool steadyCornering = s.complete && s.speed > 15.0f && s.brake < 0.1f && s.throttle < 0.8f &&
                                 std::fabs(s.localVelY) < 0.3f && std::fabs(s.steerAngle) > 0.05f &&
                                 std::fabs(s.yawRate) > 0.05f;
    if (!steadyCornering)
        return;
    const float ratio = std::fabs(s.yawRate) / (std::fabs(s.steerAngle) * s.speed);
    if (!(ratio > 0.005f && ratio < 0.1f))
        return;
    if (state.learnCount == 0) {
        state.learnedSteerRatio = ratio;
        state.learnCount = 1;
    } else {
        ++state.learnCount;
        state.learnedSteerRatio += (ratio - state.learnedSteerRatio) * 0.1f;
    }
    if (state.learnCount > 4)
        state.ratioLearned = true;
}

// Each term needs its values: a missing one silences the term (and without
// the time, which the slip pulses with, the whole effect), never plays it.
float slipAmplitude(const IRacingSample& s, const IRacingSlipState& state, const EffectProfile& fx) {
    if (!(s.speed > 5.0f) || !s.hasSessionTime)
        return 0.0f;
    // Float division: with the integer threshold, (threshold - 1) / 99 would
    // truncate to 0 and make the setting do nothing.
    const int threshold = std::clamp(fx.wheelSlipThreshold, 1, 100);
    const float h = 1.0f - (static_cast<float>(threshold - 1) / 99.0f - 0.5f) * 0.16f;

    const float absVelY = std::fabs(s.localVelY);
    const float slide = s.hasLocalVelY ? clamp01((absVelY - 1.05f * h) / (5.25f * h)) : 0.0f;

    // The previous time is 0 after a sample without the lateral velocity.
    float rate = 0.0f;
    const double dt = s.sessionTime - state.prevSessionTime;
    if (s.hasLocalVelY && state.prevSessionTime > 0.0 && dt > 0.001 && dt < 0.5)
        rate = std::fabs(static_cast<float>((s.localVelY - state.prevLocalVelY) / dt));
    const float kick = clamp01((rate - 3.15f * h) / (9.45f * h));

    float yawDeficit = 0.0f;
    const float absSteer = std::fabs(s.steerAngle);
    const float absYaw = std::fabs(s.yawRate);
    if (s.hasYawRate && state.ratioLearned && absSteer > 0.05f) {
        const float predicted = absSteer * s.speed * state.learnedSteerRatio;
        yawDeficit = clamp01((predicted - absYaw - 0.2625f * h) / (0.525f * h));
    }

    const float t = std::max({slide, kick, yawDeficit});
    const float boost = yawDeficit == t ? 1.0f : 1.0f + std::min(absYaw / 0.8f, 1.0f);
    const float wobble = std::sin(kTwoPi * (5.0f * t + 3.0f) * static_cast<float>(s.sessionTime));
    return std::min((0.4f * wobble + 0.6f) * t * boost, 1.0f) * fx.wheelSlipSensitivity;
}

}  // namespace

void computeHapticFrame(const IRacingSample& s, IRacingSlipState& state, const EffectProfile& fx, HapticFrame& out) {
    out = HapticFrame{};
    if (s.isOffTrack() || s.sampleCount < 1)
        return;

    setEngineVibration(s.rpm, fx, out);

    learnSteerRatio(s, state);
    const float slip = slipAmplitude(s, state, fx);

    state.prevLocalVelY = s.localVelY;
    state.prevYawRate = s.yawRate;
    // No slide rate across a missing lateral velocity: the next sample has none.
    state.prevSessionTime = s.hasLocalVelY ? s.sessionTime : 0.0;

    // The ABS gate pulses with the time: without it, no ABS.
    const bool absOn = s.absActive && s.hasSessionTime && s.speed > 0.83f && s.brake > 0.05f;
    for (int c = 0; c < kCornerCount; ++c) {
        CornerHaptics& h = out.corners[c];
        const float v = std::fabs(s.shockVel[c]);

        const float road = std::min(v / 0.035f, 1.0f);
        h.roadAmp = road * fx.roadVibration;
        h.roadFreq = std::clamp(fx.freqRoadVib + 3.0f - 6.0f * road, 10.0f, 75.0f);

        const float impact = clamp01((v - 0.035f) / 0.16f);
        h.impactAmp = impact * fx.suspImpact;
        h.impactFreq = std::clamp(fx.freqSuspImp + 3.0f - 6.0f * impact, 10.0f, 75.0f);

        const float pitch = s.rumblePitch[c];
        if (pitch > 0.0f) {
            h.kerbAmp = std::min(pitch / 150.0f, 1.0f) * fx.kerbRumble;
            h.kerbFreq = pitch;
        } else {
            h.kerbAmp = clamp01((v - 0.5f) * 0.5f) * fx.kerbRumble;
            h.kerbFreq = std::max(fx.freqKerb, 20.0f);
        }

        if (absOn) {
            const float b = std::min(s.brake, 1.0f);
            const float pulseHz = 4.0f + 8.0f * (1.0f - b);
            const float gate = clamp01(3.0f * std::sin(kTwoPi * pulseHz * static_cast<float>(s.sessionTime)) + 0.5f);
            h.absAmp = std::sqrt(b) * std::min(s.speed / 41.67f, 1.0f) * gate * fx.absLock;
            h.absFreq = fx.freqAbsLock + 5.0f * (1.0f - 2.0f * b);
        } else {
            h.absAmp = 0.0f;
            h.absFreq = fx.freqAbsLock;
        }
        h.slipAmp = slip;
    }
    limitFrame(out);
}

}  // namespace qv
