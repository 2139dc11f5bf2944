#include "simfeed/AcFeedWriter.h"

#include "engines/AcPagesLayout.h"

#include <algorithm>
#include <cmath>

namespace qv::simfeed {

namespace {

constexpr double kStroke = 0.1;  // m of suspension travel the integral is folded into
constexpr double kPi = 3.14159265358979323846;

// The integral folded back and forth into [0, kStroke]: its slope keeps the
// magnitude of the velocity, so a steady velocity does not run away.
float foldedTravel(double position) {
    const double period = 2.0 * kStroke;
    const double x = std::fmod(std::fmod(position, period) + period, period);
    return static_cast<float>(x <= kStroke ? x : period - x);
}

}  // namespace

AcFeedWriter::AcFeedWriter(const FeedConfig& config)
    : m_config(config), m_pages(config.shmFolder) {}

AcFeedWriter::Wheels AcFeedWriter::wheelsFor(const DriveState& s) {
    Wheels w;
    const float rolling = s.speed / kWheelRadius;
    const float sideways = std::fabs(s.localVelY);
    // A fully pressed brake without ABS locks the front axle.
    const bool frontLocked = s.brake >= 1.0f && !s.absActive && s.speed > 0.0f;
    // ABS keeps the wheels turning 4 to 12 % slower than the car.
    const float absSlip =
        s.absActive ? static_cast<float>(0.08 + 0.04 * std::sin(2.0 * kPi * 10.0 * s.sessionTime)) : 0.0f;
    for (int c = 0; c < 4; ++c) {
        const bool front = c < 2;
        w.angularSpeed[c] = (front && frontLocked) ? 0.0f : rolling * (1.0f - absSlip);
        float slip = 0.1f + (front ? 0.3f : 1.0f) * sideways;
        if (front && frontLocked)
            slip = 2.5f;
        else if (s.absActive)
            slip = std::max(slip, 0.4f);
        w.slip[c] = slip;
    }
    return w;
}

bool AcFeedWriter::open() {
    close();
    if (!m_pages.create(acpages::kPhysicsPageName, acpages::kMaxPhysicsSize, acpages::kGraphicsPageName,
                        acpages::kMaxGraphicsSize, m_error))
        return false;
    std::fill(std::begin(m_stroke), std::end(m_stroke), kStroke / 2.0);
    m_havePublished = false;
    return true;
}

void AcFeedWriter::publish(double t, int tick) {
    if (!m_pages.isOpen())
        return;
    const DriveState s = driveAt(m_config.script, t);
    const double dt = m_havePublished ? std::max(t - m_lastT, 0.0) : 0.0;
    m_lastT = t;
    m_havePublished = true;

    uint8_t* graphics = m_pages.graphics();
    putAt<int32_t>(graphics, 0, tick);
    putAt<int32_t>(graphics, acpages::kStatusOffset, acpages::kStatusLive);
    putAt<int32_t>(graphics, acpages::kInPitOffset, (s.inGarage || s.onPitRoad) ? 1 : 0);

    uint8_t* physics = m_pages.physics();
    putAt<float>(physics, acpages::kThrottleOffset, s.throttle);
    putAt<float>(physics, acpages::kBrakeOffset, s.brake);
    putAt<int32_t>(physics, acpages::kGearOffset, s.gear + 1);  // 0 reverse, 1 neutral, 2 first
    putAt<int32_t>(physics, acpages::kRpmOffset, static_cast<int32_t>(std::lround(s.rpm)));
    putAt<float>(physics, acpages::kSpeedKmhOffset, s.speed * 3.6f);
    putAt<float>(physics, acpages::kAccelGOffset, s.latAccel / 9.81f);
    const Wheels wheels = wheelsFor(s);
    for (int c = 0; c < 4; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        m_stroke[c] += static_cast<double>(s.shockVel[c]) * dt;
        putAt<float>(physics, acpages::kWheelSlipOffset + at, wheels.slip[c]);
        putAt<float>(physics, acpages::kWheelAngularSpeedOffset + at, wheels.angularSpeed[c]);
        putAt<float>(physics, acpages::kSuspensionTravelOffset + at, foldedTravel(m_stroke[c]));
    }
    // The step is complete before its packet id names it new.
    putRelease(physics, acpages::kPacketIdOffset, tick);
}

void AcFeedWriter::close() {
    m_pages.remove();
    m_havePublished = false;
}

std::string AcFeedWriter::describe() const {
    const std::string& path = m_pages.physicsMap().path();
    return std::string(m_config.sim == SimKind::ACC ? "ACC" : "AC") + " physics and graphics pages, script " +
           scriptName(m_config.script) + ", in " + (path.empty() ? std::string("?") : path.substr(0, path.rfind('/') + 1));
}

}  // namespace qv::simfeed
