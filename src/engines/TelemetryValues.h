#pragma once
// Numeric guards of the engines: telemetry values enter finite and bounded,
// and the profile's wheel-slip threshold becomes its 0..1 scale in floating
// point.

#include <algorithm>
#include <cmath>

namespace qv {

// Telemetry magnitudes beyond this are not physical; limiting them keeps
// every product of the haptic computations finite.
inline constexpr float kMaxTelemetryMagnitude = 1.0e6f;

// Non-finite values give 0; the rest is limited to +-kMaxTelemetryMagnitude
// (for doubles before the narrowing, which would be undefined beyond the
// float range).
inline float limitTelemetry(float v) {
    if (!std::isfinite(v))
        return 0.0f;
    return std::clamp(v, -kMaxTelemetryMagnitude, kMaxTelemetryMagnitude);
}

inline float limitTelemetry(double v) {
    if (!std::isfinite(v))
        return 0.0f;
    constexpr double kMax = kMaxTelemetryMagnitude;
    return static_cast<float>(std::clamp(v, -kMax, kMax));
}

// std::clamp for floats that also turns NaN into `lo`.
inline float clampf(float x, float lo, float hi) { return x > lo ? (x < hi ? x : hi) : lo; }

// The profile's wheel-slip threshold (1..100) as (threshold - 1) / 99 in
// floating point; out-of-range settings count as their limit.
inline float thresholdScale(int wheelSlipThreshold) {
    const int t = std::clamp(wheelSlipThreshold, 1, 100);
    return static_cast<float>(t - 1) / 99.0f;
}

}  // namespace qv
