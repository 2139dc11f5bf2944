#include "simfeed/ACEVOFeedWriter.h"

#include "engines/ACEVOLayout.h"

#include <algorithm>
#include <cmath>

namespace qv::simfeed {

namespace {

constexpr float kRestTravel = 0.03f;  // m

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
    : m_config(config), m_pages(config.shmFolder) {}

int32_t ACEVOFeedWriter::trackState(const DriveState& s) {
    if (s.inGarage)
        return 0;
    if (s.onPitRoad || !s.onTrack)
        return 1;
    return 3;
}

bool ACEVOFeedWriter::open() {
    close();
    if (!m_pages.create(acevo::kPhysicsName, acevo::kPhysicsSize, acevo::kGraphicsName, acevo::kGraphicsSize,
                        m_error))
        return false;
    putAt<int32_t>(m_pages.physics(), acevo::kPacketId, 0);
    putAt<int32_t>(m_pages.graphics(), acevo::kEngineType, 0);  // combustion
    for (float& travel : m_travel)
        travel = kRestTravel;
    m_lastT = -1.0;
    return true;
}

void ACEVOFeedWriter::publish(double t, int tick) {
    if (!m_pages.isOpen())
        return;
    const DriveState s = driveAt(m_config.script, t);
    const double step = m_lastT < 0.0 ? 0.0 : std::clamp(t - m_lastT, 0.0, 0.1);
    m_lastT = t;

    uint8_t* physics = m_pages.physics();
    uint8_t* graphics = m_pages.graphics();
    putAt<float>(physics, acevo::kThrottle, s.throttle);
    putAt<float>(physics, acevo::kBrake, s.brake);
    putAt<int32_t>(physics, acevo::kGear, s.gear + 1);  // 0 reverse, 1 neutral, 2 first
    putAt<int32_t>(physics, acevo::kRpm, static_cast<int32_t>(s.rpm));
    putAt<float>(physics, acevo::kSteerAngle, s.steerAngle);
    putAt<float>(physics, acevo::kSpeedKmh, s.speed * 3.6f);
    float meanShock = 0.0f;
    bool onKerb = false;
    float rearSlip = 0.0f;
    for (int c = 0; c < 4; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        // A slow pull back to rest keeps the integral from drifting.
        m_travel[c] += static_cast<float>(s.shockVel[c] * step - (m_travel[c] - kRestTravel) * 0.5 * step);
        putAt<float>(physics, acevo::kSuspTravel + at, m_travel[c]);
        putAt<float>(physics, acevo::kWheelSlip + at, wheelSlipOf(s, c));
        putAt<float>(physics, acevo::kSlipRatio + at, slipRatioOf(s, c));
        putAt<float>(physics, acevo::kSlipAngle + at, 0.05f * s.localVelY);
        meanShock += std::fabs(s.shockVel[c]) / 4.0f;
        onKerb = onKerb || s.rumblePitch[c] > 0.0f;
        if (c >= 2)
            rearSlip = std::max(rearSlip, wheelSlipOf(s, c));
    }
    putAt<float>(physics, acevo::kAbsLevel, 0.5f);  // ABS switched on
    putAt<int32_t>(physics, acevo::kCurrentMaxRpm, kMaxRpm);
    putAt<int32_t>(physics, acevo::kAbsActing, s.absActive ? 1 : 0);
    putAt<int32_t>(physics, acevo::kEngineRunning, s.rpm > 0.0f ? 1 : 0);
    putAt<float>(physics, acevo::kKerbVibration, onKerb ? 0.25f : 0.0f);
    putAt<float>(physics, acevo::kSlipVibration, std::max(rearSlip - 1.0f, 0.0f) * 0.1f);
    putAt<float>(physics, acevo::kRoadVibrations, 0.03f + 2.0f * meanShock);
    putAt<float>(physics, acevo::kAbsVibrations, s.absActive ? 0.5f : 0.0f);

    putAt<float>(graphics, acevo::kCurrentTorque, s.throttle * 400.0f);
    putAt<int32_t>(graphics, acevo::kOnTrackState, trackState(s));
    putRelease(graphics, acevo::kStatus, acevo::kStatusLive);
    // The counter last: it names the step complete.
    putRelease(physics, acevo::kPacketId, tick);
}

void ACEVOFeedWriter::close() {
    if (m_pages.isOpen())
        putRelease(m_pages.graphics(), acevo::kStatus, 0);
    m_pages.remove();
}

void ACEVOFeedWriter::discard() { m_pages.remove(); }

std::string ACEVOFeedWriter::describe() const {
    const SharedMemoryMap& physics = m_pages.physicsMap();
    return std::string("AC EVO, physics at 333 Hz, script ") + scriptName(m_config.script) + ", in " +
           (physics.path().empty() ? std::string("?") : physics.path()) + " and " + m_pages.graphicsMap().path();
}

}  // namespace qv::simfeed
