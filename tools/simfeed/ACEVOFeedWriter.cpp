#include "simfeed/ACEVOFeedWriter.h"

#include "engines/ACEVOLayout.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace qv::simfeed {

namespace {

constexpr float kRestTravel = 0.03f;  // m

template <typename T>
void put(SharedMemoryMap& map, size_t offset, T value) {
    std::memcpy(map.writableData() + offset, &value, sizeof value);
}

void putRelease(SharedMemoryMap& map, size_t offset, int32_t value) {
    std::atomic_ref<int32_t>(*reinterpret_cast<int32_t*>(map.writableData() + offset))
        .store(value, std::memory_order_release);
}

// Longitudinal slip of each wheel: a locking front axle at full brake, a
// little slip under ABS, almost none otherwise.
float slipRatioOf(const DriveState& s, int corner) {
    if (s.brake >= 1.0f && corner < 2)
        return 0.25f;
    if (s.absActive)
        return 0.08f;
    return 0.01f;
}

// Raw wheel slip: the rear wheels carry the slide.
float wheelSlipOf(const DriveState& s, int corner) {
    const float lateral = std::fabs(s.localVelY);
    return 0.2f + (corner >= 2 ? lateral : 0.3f * lateral);
}

}  // namespace

ACEVOFeedWriter::ACEVOFeedWriter(const FeedConfig& config)
    : m_config(config), m_physics(config.shmFolder), m_graphics(config.shmFolder) {}

int32_t ACEVOFeedWriter::trackState(const DriveState& s) {
    if (s.inGarage)
        return 0;
    if (s.onPitRoad || !s.onTrack)
        return 1;
    return 3;
}

bool ACEVOFeedWriter::open() {
    close();
    if (!m_physics.create(acevo::kPhysicsName, acevo::kPhysicsSize)) {
        m_error = m_physics.lastError();
        return false;
    }
    if (!m_graphics.create(acevo::kGraphicsName, acevo::kGraphicsSize)) {
        m_error = m_graphics.lastError();
        m_physics.removeFile();
        m_physics.close();
        return false;
    }
    put<int32_t>(m_physics, acevo::kPacketId, 0);
    put<int32_t>(m_graphics, acevo::kEngineType, 0);  // combustion
    for (float& travel : m_travel)
        travel = kRestTravel;
    m_lastT = -1.0;
    return true;
}

void ACEVOFeedWriter::publish(double t, int tick) {
    if (!m_physics.isOpen() || !m_graphics.isOpen())
        return;
    const DriveState s = driveAt(m_config.script, t);
    const double step = m_lastT < 0.0 ? 0.0 : std::clamp(t - m_lastT, 0.0, 0.1);
    m_lastT = t;

    put<float>(m_physics, acevo::kThrottle, s.throttle);
    put<float>(m_physics, acevo::kBrake, s.brake);
    put<int32_t>(m_physics, acevo::kGear, s.gear + 1);  // 0 reverse, 1 neutral, 2 first
    put<int32_t>(m_physics, acevo::kRpm, static_cast<int32_t>(s.rpm));
    put<float>(m_physics, acevo::kSteerAngle, s.steerAngle);
    put<float>(m_physics, acevo::kSpeedKmh, s.speed * 3.6f);
    float meanShock = 0.0f;
    bool onKerb = false;
    float rearSlip = 0.0f;
    for (int c = 0; c < 4; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        // A slow pull back to rest keeps the integral from drifting.
        m_travel[c] += static_cast<float>(s.shockVel[c] * step - (m_travel[c] - kRestTravel) * 0.5 * step);
        put<float>(m_physics, acevo::kSuspTravel + at, m_travel[c]);
        put<float>(m_physics, acevo::kWheelSlip + at, wheelSlipOf(s, c));
        put<float>(m_physics, acevo::kSlipRatio + at, slipRatioOf(s, c));
        put<float>(m_physics, acevo::kSlipAngle + at, 0.05f * s.localVelY);
        meanShock += std::fabs(s.shockVel[c]) / 4.0f;
        onKerb = onKerb || s.rumblePitch[c] > 0.0f;
        if (c >= 2)
            rearSlip = std::max(rearSlip, wheelSlipOf(s, c));
    }
    put<float>(m_physics, acevo::kAbsLevel, 0.5f);  // ABS switched on
    put<int32_t>(m_physics, acevo::kCurrentMaxRpm, kMaxRpm);
    put<int32_t>(m_physics, acevo::kAbsActing, s.absActive ? 1 : 0);
    put<int32_t>(m_physics, acevo::kEngineRunning, s.rpm > 0.0f ? 1 : 0);
    put<float>(m_physics, acevo::kKerbVibration, onKerb ? 0.25f : 0.0f);
    put<float>(m_physics, acevo::kSlipVibration, std::max(rearSlip - 1.0f, 0.0f) * 0.1f);
    put<float>(m_physics, acevo::kRoadVibrations, 0.03f + 2.0f * meanShock);
    put<float>(m_physics, acevo::kAbsVibrations, s.absActive ? 0.5f : 0.0f);

    put<float>(m_graphics, acevo::kCurrentTorque, s.throttle * 400.0f);
    put<int32_t>(m_graphics, acevo::kOnTrackState, trackState(s));
    putRelease(m_graphics, acevo::kStatus, acevo::kStatusLive);
    // The counter last: it names the step complete.
    putRelease(m_physics, acevo::kPacketId, tick);
}

void ACEVOFeedWriter::close() {
    if (m_graphics.isOpen()) {
        putRelease(m_graphics, acevo::kStatus, 0);
        m_graphics.removeFile();
        m_graphics.close();
    }
    if (m_physics.isOpen()) {
        m_physics.removeFile();
        m_physics.close();
    }
}

std::string ACEVOFeedWriter::describe() const {
    return std::string("AC EVO, physics at 333 Hz, script ") + scriptName(m_config.script) + ", in " +
           (m_physics.path().empty() ? std::string("?") : m_physics.path()) + " and " + m_graphics.path();
}

}  // namespace qv::simfeed
