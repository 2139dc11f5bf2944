#include "engines/AcFamily.h"

#include "engines/ConnectSupport.h"
#include "engines/FrameLimits.h"
#include "platform/Output.h"

#include <algorithm>
#include <cmath>

namespace qv {

void TravelVelocity::update(const float travel[kCornerCount], float dt, float velocity[kCornerCount]) {
    for (int c = 0; c < kCornerCount; ++c) {
        velocity[c] = m_havePrevious ? (travel[c] - m_previous[c]) / dt : 0.0f;
        m_previous[c] = travel[c];
    }
    m_havePrevious = true;
}

bool AcConnection::open(const char* tag, const char* simName, size_t physicsSize, size_t graphicsSize) {
    close();
    if (!m_pages.open(physicsSize, graphicsSize)) {
        m_error = m_pages.lastError();
        reportConnectProblem(tag, m_error, m_lastReported);
        return false;
    }
    m_packetClock.start();
    m_lastPacketId = -1;
    m_travel.reset();
    m_ring.reset();
    m_error.clear();
    m_lastReported.clear();
    outPrint("%s Connected to %s shared memory\n", tag, simName);
    return true;
}

void AcConnection::close() {
    m_pages.close();
    m_lastPacketId = -1;
    m_packetClock.start();
}

bool AcConnection::readCommon(AcCommonSample& s) {
    int32_t id = 0;
    if (!m_pages.readLivePacketId(id) || id == m_lastPacketId)
        return false;
    // A page that shrank under the copy is the simulator going away: no sample.
    if (!m_pages.takeCopy())
        return false;
    m_lastPacketId = id;
    const float dt = m_packetClock.stepForNewPacket();

    const int32_t status = m_pages.graphicsInt(acpages::kStatusOffset);
    const int32_t inPit = m_pages.graphicsInt(acpages::kInPitOffset);
    s.onTrack = status == acpages::kStatusLive && inPit == 0;
    s.inPit = inPit != 0;
    s.packetId = id;
    s.dt = dt;
    s.rpm = static_cast<float>(m_pages.physicsInt(acpages::kRpmOffset));
    s.throttle = clamp01(m_pages.physicsFloat(acpages::kThrottleOffset));
    s.brake = clamp01(m_pages.physicsFloat(acpages::kBrakeOffset));
    s.speed = m_pages.physicsFloat(acpages::kSpeedKmhOffset) / 3.6f;
    for (int c = 0; c < kCornerCount; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        s.suspTravel[c] = m_pages.physicsFloat(acpages::kSuspensionTravelOffset + at);
        s.wheelSlip[c] = m_pages.physicsFloat(acpages::kWheelSlipOffset + at);
    }
    m_travel.update(s.suspTravel, dt, s.suspVel);
    return true;
}

bool AcConnection::takeStallFrame(HapticFrame& out) {
    if (!m_packetClock.stallDue())
        return false;
    m_packetClock.markStallDelivered();
    out = HapticFrame{};
    return true;
}

void setSuspensionTerms(const AcSuspensionTuning& t, float v, const VelocityRing& ring, int corner,
                        const EffectProfile& fx, CornerHaptics& h) {
    const bool dualBand = fx.suspDualBand != 0;

    const float road = std::min(v / t.roadFullVelocity, 1.0f);
    h.roadAmp = road * fx.roadVibration;
    h.roadFreq = std::clamp(fx.freqRoadVib + 3.0f - 6.0f * road, 10.0f, 75.0f);

    if (dualBand) {
        const float slow = clamp01((v - t.slowBandStart) / t.slowBandRange);
        h.impactAmp = (t.slowBandSquareRoot ? std::sqrt(slow) : slow) * fx.suspImpact;
        h.impactFreq = std::clamp(fx.freqSuspImp + 3.0f - 6.0f * slow, 10.0f, 75.0f);
    } else {
        const float level = clamp01((v - t.simpleImpactStart) / t.simpleImpactRange);
        h.impactAmp = std::sqrt(level) * fx.suspImpact;
        h.impactFreq = std::clamp(fx.freqSuspImp + 8.0f - 16.0f * level, 10.0f, 75.0f);
    }

    const float k = dualBand ? ring.kerbLevel(corner, t.kerbThreshold, t.kerbFullVelocity) : 0.0f;
    h.kerbAmp = k * fx.kerbRumble;
    h.kerbFreq = std::max(20.0f, std::min(fx.freqKerb + 3.0f - 6.0f * k, 75.0f));
}

float wheelSlipAmplitude(float wheelSlip, const EffectProfile& fx) {
    const int threshold = std::clamp(fx.wheelSlipThreshold, 1, 100);
    const float a = static_cast<float>(threshold - 1) / 99.0f * 0.2f;
    const float onset = 1.2f - a;
    if (!(wheelSlip > onset))
        return 0.0f;
    return std::min((wheelSlip - onset) / (1.0f - a), 1.0f) * fx.wheelSlipSensitivity;
}

}  // namespace qv
