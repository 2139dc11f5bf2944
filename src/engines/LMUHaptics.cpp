// Haptic computation of the Le Mans Ultimate engine: one sample to one frame.

#include "engines/FrameLimits.h"
#include "engines/TelemetryValues.h"
#include "engines/LMUHapticEngine.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace qv {

namespace {

constexpr float kTwoPi = 6.2831853071795864f;

// Samples the peak tracker looks back over, per corner.
constexpr int kHistoryLength = 100;
// On-track samples ruled by the fixed texture parameters.
constexpr int32_t kAdaptiveAfter = 300;

void learnSteeringGain(const LmuSample& s, LmuState& st) {
    // A sample with a missing value teaches nothing.
    const bool steadyCornering = s.complete && s.speed > 15.0f && s.brake < 0.1f && s.throttle < 0.8f &&
                                 std::fabs(s.lateralVelocity) < 0.3f && std::fabs(s.steering) > 0.02f &&
                                 std::fabs(s.yawRate) > 0.05f;
    if (!steadyCornering)
        return;
    const float r = std::fabs(s.yawRate) / (std::fabs(s.steering) * s.speed);
    if (!(r > 0.01f && r < 1.0f))
        return;
    if (st.steerKSamples == 0) {
        st.steerK = r;
        st.steerKSamples = 1;
    } else {
        ++st.steerKSamples;
        st.steerK += (r - st.steerK) * 0.1f;
    }
    if (st.steerKSamples >= 5)
        st.steerKDone = true;
}

// One value for the whole car from lateral sliding, its rate of change and
// the gap between the yaw the steering asks for and the yaw the car does.
// A term whose value is missing is silent.
float wheelSlipAmplitude(const LmuSample& s, const LmuState& st, const EffectProfile& fx) {
    if (s.speed <= 5.0f)
        return 0.0f;
    const float k = 1.0f - (thresholdScale(fx.wheelSlipThreshold) - 0.5f) * 0.16f;
    const float a = s.hasLateralVelocity ? clamp01((std::fabs(s.lateralVelocity) - 0.6f * k) / (3.0f * k)) : 0.0f;

    // The previous time is 0 after a sample without the lateral velocity.
    float rate = 0.0f;
    const float d = static_cast<float>(s.elapsedTime - st.prevTime);
    if (s.hasLateralVelocity && st.prevTime > 0.0 && d > 0.001f && d < 0.5f)
        rate = std::fabs((s.lateralVelocity - st.prevLateralVelocity) / d);
    const float b = clamp01((rate - 2.0f * k) / (6.0f * k));

    float c = 0.0f;
    if (s.hasYawRate && st.steerKDone && std::fabs(s.steering) > 0.02f) {
        const float expectedYaw = std::fabs(s.steering) * s.speed * st.steerK;
        c = clamp01((expectedYaw - std::fabs(s.yawRate) - 0.15f * k) / (0.35f * k));
    }

    const float m = std::max({a, b, c});
    const float g = c >= m ? 1.0f : 1.0f + std::min(std::fabs(s.yawRate) / 0.8f, 1.0f);
    const float t = static_cast<float>(s.elapsedTime);
    const float pulse = 0.6f + 0.4f * std::sin(kTwoPi * t * (5.0f * m + 3.0f));
    return std::min(pulse * g * m, 1.0f) * fx.wheelSlipSensitivity;
}

}  // namespace

TextureParams surfaceTextureParams(uint8_t surfaceType) {
    switch (surfaceType) {
    case 0:  // dry
    case 2:  // grass
    case 3:  // dirt
    case 4:  // gravel
        return {0.015f, 0.015f, 0.045f, 0.025f, 0.06f, 0.02f, 0.12f, 0.04f, 0.3f};
    case 5:  // kerb
    case 6:  // special
        return {0.035f, 0.035f, 0.09f, 0.055f, 0.25f, 0.035f, 0.15f, 0.015f, 0.1f};
    default:  // wet, unknown, and 255 before the first sample
        return {0.025f, 0.025f, 0.07f, 0.04f, 0.15f, 0.03f, 0.14f, 0.03f, 0.15f};
    }
}

const char* surfaceName(uint8_t surfaceType) {
    switch (surfaceType) {
    case 0: return "dry  ";
    case 1: return "wet  ";
    case 2: return "grass";
    case 3: return "dirt ";
    case 4: return "grvl ";
    case 5: return "KERB!";
    case 6: return "spec ";
    default: return "?    ";
    }
}

uint8_t textureSurface(const uint8_t (&wheelSurfaces)[4]) {
    int best = 0;
    int bestCount = 0;
    for (int c = 0; c < 4; ++c) {
        const int count = static_cast<int>(std::count(std::begin(wheelSurfaces), std::end(wheelSurfaces), wheelSurfaces[c]));
        if (count > bestCount) {  // strictly more: a tie keeps the lower wheel
            best = c;
            bestCount = count;
        }
    }
    return wheelSurfaces[best];
}

void applySlipBias(LmuSample& s, LmuState& st) {
    if (s.brake > 0.2f)
        st.brakeHoldoff = 32;
    else if (st.brakeHoldoff > 0)
        --st.brakeHoldoff;

    // A sample with a missing value teaches nothing.
    const bool coastingStraight = s.complete && s.speed > 8.33f && s.brake < 0.02f && s.throttle < 0.1f &&
                                  std::fabs(s.lateralAccel) < 3.0f && st.brakeHoldoff == 0;
    if (coastingStraight) {
        for (int c = 0; c < kCornerCount; ++c) {
            if (st.biasSamples < 3)
                st.slipBias[c] = s.corners[c].slipRatio;
            else
                st.slipBias[c] += (s.corners[c].slipRatio - st.slipBias[c]) * 0.02f;
        }
        ++st.biasSamples;
        if (st.biasSamples >= 50)
            st.biasDone = true;
    }
    if (st.biasDone) {
        for (int c = 0; c < kCornerCount; ++c)
            s.corners[c].slipRatio -= st.slipBias[c];
    }
}

void computeLMUFrame(const LmuSample& s, LmuState& st, const EffectProfile& fx, HapticFrame& out) {
    out = HapticFrame{};
    if (!s.onTrack)
        return;
    const bool dualBand = fx.suspDualBand != 0;

    for (int c = 0; c < kCornerCount; ++c)
        st.ring[c][st.ringIndex] = s.corners[c].suspVelocity;
    st.ringIndex = (st.ringIndex + 1) % 4;
    if (st.ringIndex == 0)
        st.ringFull = true;

    const TextureParams p = surfaceTextureParams(s.surfaceTypeByte);

    for (int c = 0; c < kCornerCount; ++c)
        st.history[c][st.historyIndex] = std::fabs(s.corners[c].suspVelocity);
    if (st.peakSamples < INT32_MAX)
        ++st.peakSamples;
    st.historyIndex = (st.historyIndex + 1) % kHistoryLength;
    const int filled = std::min<int32_t>(st.peakSamples, kHistoryLength);
    float peak = 0.0f;
    for (int c = 0; c < kCornerCount; ++c) {
        for (int i = 0; i < filled; ++i)
            peak = std::max(peak, st.history[c][i]);
    }
    if (st.peakSamples == 1)
        st.smoothedPeak = peak;
    else
        st.smoothedPeak += (peak - st.smoothedPeak) * 0.02f;

    const float sp = st.smoothedPeak;
    if (st.peakSamples < kAdaptiveAfter) {
        st.roadScale = p.roadScale;
        st.impactThreshold = p.impactThreshold;
        st.impactRange = p.impactRange;
        st.dualThreshold = p.dualThreshold;
        st.dualRange = p.dualRange;
        st.kerbThreshold = p.kerbThreshold;
        st.kerbRange = p.kerbRange;
    } else {
        st.roadScale = st.impactThreshold = std::max(0.25f * sp, p.roadScale);
        st.impactRange = std::max(0.5f * sp, p.impactRange);
        st.dualThreshold = std::max(0.35f * sp, p.dualThreshold);
        st.dualRange = std::max(0.5f * sp, p.dualRange);
        st.kerbThreshold = std::max(0.2f * sp, p.kerbThreshold);
        st.kerbRange = std::max(0.75f * sp, p.kerbRange);
    }

    const float limit = s.engineMaxRpm > 100.0f ? s.engineMaxRpm : st.rpmLimit;
    const float q = limit > 0.0f ? clamp01(s.engineRpm / limit) : 0.0f;
    out.engineAmp = q * fx.engineRumble;
    out.engineFreq = std::max(10.0f + (fx.freqEngine - 10.0f) * q, 10.0f);

    learnSteeringGain(s, st);
    const float w = wheelSlipAmplitude(s, st, fx);
    st.prevLateralVelocity = s.lateralVelocity;
    // No slide rate across a missing lateral velocity: the next sample has none.
    st.prevTime = s.hasLateralVelocity ? s.elapsedTime : 0.0;

    for (int c = 0; c < kCornerCount; ++c) {
        const LmuCorner& corner = s.corners[c];
        CornerHaptics& h = out.corners[c];
        // Without its velocity (0) the corner plays no road, impact or kerb.
        const float a = std::fabs(corner.suspVelocity);

        const float n = std::min(a / st.roadScale, 1.0f);
        h.roadAmp = n * fx.roadVibration;
        h.roadFreq = clampf(fx.freqRoadVib + 3.0f - 6.0f * n, 10.0f, 75.0f);

        float x;
        if (dualBand) {
            x = clamp01((a - st.dualThreshold) / st.dualRange);
            h.impactAmp = x * fx.suspImpact;
        } else {
            x = clamp01((a - st.impactThreshold) / st.impactRange);
            h.impactAmp = std::sqrt(x) * fx.suspImpact;
        }
        h.impactFreq = clampf(fx.freqSuspImp + 3.0f - 6.0f * x, 10.0f, 75.0f);

        const float base = corner.onKerb ? std::min(a / 0.1f, 1.0f) : 0.0f;
        float kerb = base;
        if (dualBand && st.ringFull) {
            int hits = 0;
            float largest = 0.0f;
            for (float v : st.ring[c]) {
                if (std::fabs(v) >= st.kerbThreshold) {
                    ++hits;
                    largest = std::max(largest, std::fabs(v));
                }
            }
            const float detected = hits >= 3 ? std::min(largest / st.kerbRange, 1.0f) : 0.0f;
            kerb = corner.onKerb ? std::max(base, detected) : detected;
        }
        if (!corner.hasSuspVelocity)
            kerb = 0.0f;
        h.kerbAmp = kerb * fx.kerbRumble;
        h.kerbFreq = clampf(fx.freqKerb + 3.0f - 6.0f * kerb, 20.0f, 75.0f);

        // A wheel without its slip ratio plays no lock-up.
        if (corner.hasSlipRatio && s.brake > 0.05f && s.speed > 8.33f) {
            if (corner.slipRatio > p.lockSlipThreshold) {
                h.absAmp = clamp01((corner.slipRatio - p.lockSlipThreshold) / p.lockSlipRange) *
                           std::min(s.speed / 41.67f, 1.0f) * fx.absLock;
                h.absFreq = fx.freqAbsLock + 5.0f - 10.0f * s.brake;
            } else {
                h.absAmp = s.absActive ? 0.5f * s.brake * fx.absLock : 0.0f;
                h.absFreq = fx.freqAbsLock;
            }
        } else {
            h.absAmp = 0.0f;
            h.absFreq = fx.freqAbsLock;
        }

        h.slipAmp = w;
    }
    limitFrame(out);
}

}  // namespace qv
