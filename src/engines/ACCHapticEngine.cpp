// Telemetry access of the ACC engine: the pages, the sample record and the
// wheel-radius and slip-bias calibration.

#include "engines/ACCHapticEngine.h"

#include "engines/ConnectSupport.h"
#include "engines/FrameLimits.h"
#include "platform/Output.h"

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

ACCHapticEngine::ACCHapticEngine(const std::string& shmFolder, IClock* clock)
    : m_packetClock(clock ? *clock : m_systemClock), m_pages(shmFolder) {}

ACCHapticEngine::~ACCHapticEngine() { disconnect(); }

bool ACCHapticEngine::connect() {
    disconnect();
    if (!m_pages.open(acpages::kAccPhysicsSize, acpages::kAccGraphicsSize)) {
        m_error = m_pages.lastError();
        reportConnectProblem(kTag, m_error, m_lastReported);
        return false;
    }
    m_packetClock.start();
    m_lastPacketId = -1;
    m_travel.reset();
    m_ring.reset();
    m_sample = ACCSample{};
    m_calibration = ACCCalibration{};
    m_error.clear();
    m_lastReported.clear();
    outWrite("[ACCHapticEngine] Connected to ACC shared memory\n");
    return true;
}

bool ACCHapticEngine::isConnected() const { return m_pages.isUsable(); }

void ACCHapticEngine::disconnect() {
    m_pages.close();
    m_lastPacketId = -1;
    m_packetClock.start();
}

bool ACCHapticEngine::readTelemetry() {
    const int32_t id = m_pages.livePacketId();
    if (id == m_lastPacketId)
        return false;
    m_lastPacketId = id;
    const float dt = m_packetClock.stepForNewPacket();
    m_pages.takeCopy();

    ACCSample& s = m_sample;
    const int32_t status = m_pages.graphicsInt(acpages::kStatusOffset);
    const int32_t inPit = m_pages.graphicsInt(acpages::kInPitOffset);
    s.onTrack = status == acpages::kStatusLive && inPit == 0;
    s.inPit = inPit != 0;
    s.packetId = id;
    s.dt = dt;
    s.gear = m_pages.physicsInt(acpages::kGearOffset);
    s.rpm = static_cast<float>(m_pages.physicsInt(acpages::kRpmOffset));
    s.throttle = clamp01(m_pages.physicsFloat(acpages::kThrottleOffset));
    s.brake = clamp01(m_pages.physicsFloat(acpages::kBrakeOffset));
    const float speedKmh = m_pages.physicsFloat(acpages::kSpeedKmhOffset);
    s.speed = speedKmh / 3.6f;

    float travel[kCornerCount];
    float angularSpeed[kCornerCount];
    for (int c = 0; c < kCornerCount; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        travel[c] = m_pages.physicsFloat(acpages::kSuspensionTravelOffset + at);
        angularSpeed[c] = m_pages.physicsFloat(acpages::kWheelAngularSpeedOffset + at);
        s.suspTravel[c] = travel[c];
        s.wheelSlip[c] = m_pages.physicsFloat(acpages::kWheelSlipOffset + at);
        // The radius before this sample's calibration step.
        s.wheelSpeed[c] = std::fabs(angularSpeed[c]) * m_calibration.wheelRadius[c];
    }
    m_travel.update(travel, dt, s.suspVel);
    calibrate(speedKmh, m_pages.physicsFloat(acpages::kAccelGOffset), angularSpeed);
    return true;
}

void ACCHapticEngine::calibrate(float speedKmh, float accelG, const float angularSpeed[kCornerCount]) {
    ACCSample& s = m_sample;
    ACCCalibration& cal = m_calibration;
    const bool coasting = speedKmh > kCoastMinKmh && s.brake < kCoastMaxBrake && s.throttle < kCoastMaxThrottle &&
                          std::fabs(accelG) < kCoastMaxAccelG;

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
        raw[c] = s.speed > kMinSlipSpeed ? 1.0f - s.wheelSpeed[c] / s.speed : 0.0f;
        s.lngSlip[c] = s.speed > kMinSlipSpeed ? raw[c] - cal.lngSlipBias[c] : 0.0f;
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
    if (readTelemetry()) {
        computeACCFrame(m_sample, m_ring, m_packetClock.packetSeconds(), fx, out);
        m_lastFrame = out;
        return true;
    }
    if (m_packetClock.stallDue()) {
        m_packetClock.markStallDelivered();
        out = HapticFrame{};
        m_lastFrame = out;
        return true;
    }
    return false;
}

}  // namespace qv
