// Telemetry access of the AC engine: the pages and the sample record.

#include "engines/ACHapticEngine.h"

#include "engines/ConnectSupport.h"
#include "engines/FrameLimits.h"
#include "platform/Output.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

constexpr const char* kTag = "[ACHapticEngine]";
constexpr float kRadPerSecondToRpm = 9.549296f;

// The published gear counts reverse as 0; the engine reports it as -1.
// Computed wide so that no published value overflows.
int32_t gearFromPublished(int32_t published) {
    return static_cast<int32_t>(std::max<int64_t>(static_cast<int64_t>(published) - 1, INT32_MIN));
}

}  // namespace

ACHapticEngine::ACHapticEngine(const std::string& shmFolder, IClock* clock)
    : m_packetClock(clock ? *clock : m_systemClock), m_pages(shmFolder) {}

ACHapticEngine::~ACHapticEngine() { disconnect(); }

bool ACHapticEngine::connect() {
    disconnect();
    if (!m_pages.open(acpages::kAcPhysicsSize, acpages::kAcGraphicsSize)) {
        m_error = m_pages.lastError();
        reportConnectProblem(kTag, m_error, m_lastReported);
        return false;
    }
    m_packetClock.start();
    m_lastPacketId = -1;
    m_travel.reset();
    m_ring.reset();
    m_sample = ACSample{};
    m_error.clear();
    m_lastReported.clear();
    outWrite("[ACHapticEngine] Connected to AC shared memory\n");
    return true;
}

bool ACHapticEngine::isConnected() const { return m_pages.isUsable(); }

void ACHapticEngine::disconnect() {
    m_pages.close();
    m_lastPacketId = -1;
    m_packetClock.start();
}

bool ACHapticEngine::readTelemetry() {
    const int32_t id = m_pages.livePacketId();
    if (id == m_lastPacketId)
        return false;
    m_lastPacketId = id;
    const float dt = m_packetClock.stepForNewPacket();
    m_pages.takeCopy();

    ACSample& s = m_sample;
    const int32_t status = m_pages.graphicsInt(acpages::kStatusOffset);
    const int32_t inPit = m_pages.graphicsInt(acpages::kInPitOffset);
    s.onTrack = status == acpages::kStatusLive && inPit == 0;
    s.inPit = inPit != 0;
    s.packetId = id;
    s.dt = dt;
    s.gear = gearFromPublished(m_pages.physicsInt(acpages::kGearOffset));
    s.rpm = static_cast<float>(m_pages.physicsInt(acpages::kRpmOffset));
    s.throttle = clamp01(m_pages.physicsFloat(acpages::kThrottleOffset));
    s.brake = clamp01(m_pages.physicsFloat(acpages::kBrakeOffset));
    s.speed = m_pages.physicsFloat(acpages::kSpeedKmhOffset) / 3.6f;

    float travel[kCornerCount];
    for (int c = 0; c < kCornerCount; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        travel[c] = m_pages.physicsFloat(acpages::kSuspensionTravelOffset + at);
        s.suspTravel[c] = travel[c];
        s.wheelSlip[c] = m_pages.physicsFloat(acpages::kWheelSlipOffset + at);
        s.wheelRpm[c] = m_pages.physicsFloat(acpages::kWheelAngularSpeedOffset + at) * kRadPerSecondToRpm;
    }
    m_travel.update(travel, dt, s.suspVel);
    return true;
}

bool ACHapticEngine::update(const EffectProfile& fx, HapticFrame& out) {
    if (!isConnected())
        return false;
    if (readTelemetry()) {
        computeACFrame(m_sample, m_ring, m_packetClock.packetSeconds(), fx, out);
        return true;
    }
    if (m_packetClock.stallDue()) {
        m_packetClock.markStallDelivered();
        out = HapticFrame{};
        return true;
    }
    return false;
}

}  // namespace qv
