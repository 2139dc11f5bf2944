#pragma once
// Numeric guards of the engines: which telemetry values count as there, and
// the profile's wheel-slip threshold as its 0..1 scale in floating point.
//
// Every value read from a simulator is untrusted. One that is not finite, or
// lies far outside what a car can do (beyond the limits below, each with a
// wide margin over any real car), is a glitch or a hostile page, never a
// measurement: it counts as missing for that sample, in every engine. A
// missing value reads 0, and the engines make sure that the effect it feeds
// is then silent, never maximal: where 0 itself would play (a wheel that
// reads 0 rad/s looks locked, a lateral velocity that drops to 0 looks like a
// sudden slide) they look at whether the value is there, not at its 0.

#include <algorithm>
#include <cmath>

namespace qv {

// The limits, in magnitude, beyond which a value is not a car's.
namespace carLimits {
inline constexpr double kPedal = 10.0;                 // throttle, brake: 0..1
inline constexpr double kEngineRpm = 50000.0;          // engine and electric motor speeds, rpm
inline constexpr double kSpeed = 500.0;                // m/s (1,800 km/h): speeds and velocities of the car
inline constexpr double kSpeedKmh = kSpeed * 3.6;
inline constexpr double kSuspensionTravel = 10.0;      // m: travel and deflection
inline constexpr double kSuspensionVelocity = 20.0;    // m/s, also when derived from the travel
inline constexpr double kWheelAngularSpeed = 5000.0;   // rad/s
inline constexpr double kSlip = 1000.0;                // wheel slip, slip ratio (dimensionless), slip angle (rad)
inline constexpr double kAccelerationG = 100.0;        // g
inline constexpr double kAcceleration = kAccelerationG * 9.81;  // m/s^2
inline constexpr double kRotationRate = 100.0;         // rad/s: yaw rate
inline constexpr double kSteering = 100.0;             // steering-wheel angle in rad, or -1..1
inline constexpr double kRumblePitch = 1000.0;         // Hz
inline constexpr double kVibration = 100.0;            // AC EVO's vibration signals
inline constexpr double kTorque = 100000.0;            // N m
inline constexpr double kFraction = 10.0;              // shares such as the grip fraction: 0..1
inline constexpr double kSessionSeconds = 1.0e9;       // s: session and elapsed times
}  // namespace carLimits

// True when v is finite and at most `limit` in magnitude: a value a car can
// have. Integers pass through double exactly.
inline bool isPlausible(double v, double limit) { return std::isfinite(v) && std::fabs(v) <= limit; }

// A value read from a simulator, and whether it is there.
struct TelemetryReading {
    float value = 0.0f;  // 0 when missing
    bool present = false;
};

// v as a reading: missing (value 0) unless isPlausible(v, limit).
inline TelemetryReading readingOf(double v, double limit) {
    if (!isPlausible(v, limit))
        return {};
    return {static_cast<float>(v), true};
}

// v, or 0 when missing: for values whose 0 leaves what they feed silent.
inline float plausibleOrZero(double v, double limit) { return readingOf(v, limit).value; }

// std::clamp for floats that also turns NaN into `lo`.
inline float clampf(float x, float lo, float hi) { return x > lo ? (x < hi ? x : hi) : lo; }

// The profile's wheel-slip threshold (1..100) as (threshold - 1) / 99 in
// floating point; out-of-range settings count as their limit.
inline float thresholdScale(int wheelSlipThreshold) {
    const int t = std::clamp(wheelSlipThreshold, 1, 100);
    return static_cast<float>(t - 1) / 99.0f;
}

}  // namespace qv
