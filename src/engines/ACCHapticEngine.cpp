// Telemetry access of the ACC engine: the pages, the sample record and the
// wheel-radius and slip-bias calibration.

#include "engines/ACCHapticEngine.h"

#include "engines/TelemetryValues.h"

#include <climits>
#include <cmath>

namespace qv {

namespace {

constexpr const char* kTag = "[ACCHapticEngine]";

// Coasting straight: fast enough, off both pedals, no strong sideways or
// braking load. Only then do the wheels roll at the car's speed.
constexpr float kCoastMinKmh = 30.0f;
constexpr float kCoastMaxBrake = 0.02f;
constexpr float kCoastMaxThrottle = 0.1f;
constexpr float kCoastMaxAccelG = 3.0f;
constexpr float kMinCalibrationAngularSpeed = 5.0f;  // rad/s
constexpr float kMinRadius = 0.2f;                   // m, exclusive
constexpr float kMaxRadius = 0.45f;                  // m, exclusive
constexpr float kCalibrationSmoothing = 0.1f;
constexpr float kMinSlipSpeed = 0.5f;  // m/s: slower, the slip ratio means nothing

void countUp(int32_t& count) {
    if (count < INT32_MAX)
        ++count;
}

}  // namespace

bool ACCHapticEngine::connect() {
    if (!openPages(kTag, "ACC", acpages::kAccPhysicsSize, acpages::kAccGraphicsSize))
        return false;
    m_calibration = ACCCalibration{};
    return true;
}

bool ACCHapticEngine::readTelemetry() {
    ACCSample& s = m_sample;
    if (!m_link.readCommon(s))
        return false;
    const AcPages& pages = m_link.pages();
    s.gear = pages.physicsInt(acpages::kGearOffset);

    float angularSpeed[kCornerCount];
    for (int c = 0; c < kCornerCount; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        const TelemetryReading w = pages.physicsFloat(acpages::kWheelAngularSpeedOffset + at,
                                                      carLimits::kWheelAngularSpeed);
        angularSpeed[c] = w.value;
        s.hasWheelSpeed[c] = w.present;
        s.complete = s.complete && w.present;
        // The radius before this sample's calibration step.
        s.wheelSpeed[c] = std::fabs(angularSpeed[c]) * m_calibration.wheelRadius[c];
    }
    const TelemetryReading speedKmh = pages.physicsFloat(acpages::kSpeedKmhOffset, carLimits::kSpeedKmh);
    const TelemetryReading accelG = pages.physicsFloat(acpages::kAccelGOffset, carLimits::kAccelerationG);
    s.complete = s.complete && speedKmh.present && accelG.present;
    calibrate(speedKmh.value, accelG.value, angularSpeed);
    return true;
}

void ACCHapticEngine::calibrate(float speedKmh, float accelG, const float angularSpeed[kCornerCount]) {
    ACCSample& s = m_sample;
    ACCCalibration& cal = m_calibration;
    const bool coasting = s.complete && speedKmh > kCoastMinKmh && s.brake < kCoastMaxBrake &&
                          s.throttle < kCoastMaxThrottle && std::fabs(accelG) < kCoastMaxAccelG;

    if (coasting) {
        for (int c = 0; c < kCornerCount; ++c) {
            const float w = std::fabs(angularSpeed[c]);
            if (!(w > kMinCalibrationAngularSpeed))
                continue;
            const float r = s.speed / w;
            if (!(r > kMinRadius && r < kMaxRadius))
                continue;
            cal.wheelRadius[c] =
                cal.radiusCount == 0 ? r : cal.wheelRadius[c] + (r - cal.wheelRadius[c]) * kCalibrationSmoothing;
        }
        countUp(cal.radiusCount);
        cal.radiusCalibrated = cal.radiusCount > 2;
    }

    float raw[kCornerCount];
    for (int c = 0; c < kCornerCount; ++c) {
        // A wheel without its speed has no slip: 0, never "locked".
        const bool known = s.hasWheelSpeed[c] && s.speed > kMinSlipSpeed;
        raw[c] = known ? 1.0f - s.wheelSpeed[c] / s.speed : 0.0f;
        s.lngSlip[c] = known ? raw[c] - cal.lngSlipBias[c] : 0.0f;
    }

    if (cal.radiusCalibrated && coasting) {
        for (int c = 0; c < kCornerCount; ++c) {
            cal.lngSlipBias[c] = cal.biasCount == 0
                                     ? raw[c]
                                     : cal.lngSlipBias[c] + (raw[c] - cal.lngSlipBias[c]) * kCalibrationSmoothing;
        }
        countUp(cal.biasCount);
        cal.biasCalibrated = cal.biasCount > 9;
    }
}

bool ACCHapticEngine::update(const EffectProfile& fx, HapticFrame& out) {
    if (!isConnected())
        return false;
    if (readTelemetry())
        computeACCFrame(m_sample, m_link.ring(), m_link.packetClock().packetSeconds(), fx, out);
    else if (!m_link.takeStallFrame(out))
        return false;
    m_lastFrame = out;
    return true;
}

}  // namespace qv
