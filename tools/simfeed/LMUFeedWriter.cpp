#include "simfeed/LMUFeedWriter.h"

#include "engines/LMULayout.h"
#include "simfeed/PageWriting.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qv::simfeed {

namespace {

constexpr double kRestDeflection = 0.03;  // m
// Byte 826 of a telemetry record is the vehicle class; the feed drives a GT3 car.
constexpr uint8_t kVehicleClassGt3 = 6;

// The surface under a wheel: kerb while it strikes one, grass off the track.
uint8_t surfaceOf(const DriveState& s, int corner) {
    if (s.rumblePitch[corner] > 0.0f)
        return lmu::kSurfaceKerb;
    if (!s.onTrack && !s.inGarage)
        return 2;
    return 0;
}

// Longitudinal slip: a locking front axle at full brake, a little under ABS.
double slipRatioOf(const DriveState& s, int corner) {
    if (s.brake >= 1.0f && corner < 2)
        return 0.25;
    if (s.absActive)
        return 0.08;
    return 0.0;
}

}  // namespace

LMUFeedWriter::LMUFeedWriter(const FeedConfig& config)
    : m_config(config), m_lock(config.shmFolder), m_dataEvent(config.shmFolder), m_map(config.shmFolder) {}

bool LMUFeedWriter::open() {
    close();
    // The lock and the event first: a reader that finds the map finds them too.
    if (!m_lock.open()) {
        m_error = m_lock.lastError();
        return false;
    }
    if (!m_dataEvent.openOrCreate(lmu::kDataEventName)) {
        m_error = m_dataEvent.lastError();
        close();
        return false;
    }
    if (!m_map.create(lmu::kMapName, lmu::kMapSize)) {
        m_error = m_map.lastError();
        close();
        return false;
    }
    for (double& d : m_deflection)
        d = kRestDeflection;
    m_lastT = -1.0;
    m_skipped = 0;
    return true;
}

void LMUFeedWriter::publish(double t, int tick) {
    (void)tick;
    if (!m_map.isOpen())
        return;
    const DriveState s = driveAt(m_config.script, t);
    const double step = m_lastT < 0.0 ? 0.0 : std::clamp(t - m_lastT, 0.0, 0.1);
    // The time since the previous sample, as the simulator reports it: more
    // than a tick after ticks the feed missed.
    const double sinceLast = m_lastT < 0.0 || t <= m_lastT ? 1.0 / kTickRate : t - m_lastT;
    m_lastT = t;
    for (int c = 0; c < 4; ++c)
        m_deflection[c] += s.shockVel[c] * step - (m_deflection[c] - kRestDeflection) * 0.5 * step;

    if (!m_lock.acquire(kLockTimeoutMs)) {
        ++m_skipped;
        return;
    }
    m_lockHeld = true;
    uint8_t* map = m_map.writableData();
    putAt<int32_t>(map, lmu::kScoringUpdated, 1);
    putAt<int32_t>(map, lmu::kTelemetryUpdated, 1);

    putAt<int32_t>(map, lmu::kVehicleCount, 1);
    putAt<uint64_t>(map, lmu::kResultsTextLength, 0);
    map[lmu::kVehiclesOffset + lmu::kVehicleIsPlayer] = 1;

    map[lmu::kTelemetryCount] = 1;
    map[lmu::kPlayerIndex] = 0;
    map[lmu::kPlayerHasVehicle] = 1;

    uint8_t* rec = map + lmu::kTelemetryOffset;
    putAt<double>(rec, lmu::rec::kDeltaTime, sinceLast);
    putAt<double>(rec, lmu::rec::kElapsedTime, s.sessionTime);
    putAt<double>(rec, lmu::rec::kLocalVelX, s.localVelY);
    putAt<double>(rec, lmu::rec::kLocalVelZ, -static_cast<double>(s.speed));
    putAt<double>(rec, lmu::rec::kLocalAccelX, s.latAccel);
    putAt<double>(rec, lmu::rec::kLocalRotY, s.yawRate);
    putAt<int32_t>(rec, lmu::rec::kGear, s.gear);
    putAt<double>(rec, lmu::rec::kEngineRpm, s.rpm);
    putAt<double>(rec, lmu::rec::kThrottle, s.throttle);
    putAt<double>(rec, lmu::rec::kBrake, s.brake);
    putAt<double>(rec, lmu::rec::kSteering, s.steerAngle);
    putAt<double>(rec, lmu::rec::kEngineMaxRpm, kMaxRpm);
    rec[lmu::rec::kAbsActive] = s.absActive ? 1 : 0;
    rec[lmu::rec::kTcActive] = 0;
    const uint8_t tc[2] = {3, 10}, abs[2] = {4, 10}, engineMap[2] = {1, 5};
    std::memcpy(rec + lmu::rec::kTcPair, tc, 2);
    std::memcpy(rec + lmu::rec::kAbsPair, abs, 2);
    std::memcpy(rec + lmu::rec::kMapPair, engineMap, 2);
    rec[lmu::rec::kVehicleClass] = kVehicleClassGt3;

    for (int c = 0; c < 4; ++c) {
        uint8_t* w = rec + lmu::rec::kWheels + static_cast<size_t>(c) * lmu::rec::kWheelSize;
        const double wheelSpeed = s.speed * (1.0 - slipRatioOf(s, c));
        const double grip = c >= 2 ? std::min(std::fabs(s.localVelY) / 3.0, 1.0) : 0.05;
        putAt<double>(w, lmu::wheel::kDeflection, m_deflection[c]);
        putAt<double>(w, lmu::wheel::kRotation, -wheelSpeed / (kTyreRadiusCm / 100.0));
        putAt<double>(w, lmu::wheel::kGripFract, grip);
        w[lmu::wheel::kSurfaceType] = surfaceOf(s, c);
        w[lmu::wheel::kRadiusCm] = kTyreRadiusCm;
    }
    m_lock.release();
    m_lockHeld = false;
    m_dataEvent.signal();
}

void LMUFeedWriter::close() {
    if (m_map.isOpen()) {
        // The simulator is leaving: no car, no telemetry.
        if (m_lock.acquire(kLockTimeoutMs)) {
            m_lockHeld = true;
            uint8_t* map = m_map.writableData();
            putAt<int32_t>(map, lmu::kTelemetryUpdated, 0);
            map[lmu::kPlayerHasVehicle] = 0;
            m_lock.release();
            m_lockHeld = false;
        }
    }
    removeMap(m_map);
    releaseEvent(m_dataEvent);
    m_lock.close();
}

void LMUFeedWriter::discard() {
    // A write cut short may have left the lock taken: readers would wait on it.
    if (m_lockHeld)
        m_lock.release();
    m_lockHeld = false;
    removeMap(m_map);
    releaseEvent(m_dataEvent);
    m_lock.close();
}

std::string LMUFeedWriter::describe() const {
    return std::string("Le Mans Ultimate, 100 Hz, script ") + scriptName(m_config.script) + ", in " +
           (m_map.path().empty() ? std::string("?") : m_map.path());
}

}  // namespace qv::simfeed
