#include "engines/AcFamily.h"

#include "engines/ConnectSupport.h"
#include "engines/FrameLimits.h"
#include "engines/TelemetryValues.h"
#include "platform/Output.h"

#include <algorithm>
#include <cmath>

namespace qv {

void TravelVelocity::update(const float travel[kCornerCount], const bool present[kCornerCount], float dt,
                            float velocity[kCornerCount], bool known[kCornerCount]) {
    for (int c = 0; c < kCornerCount; ++c) {
        TelemetryReading v{0.0f, present[c]};
        if (m_started) {
            v = present[c] && m_previousPresent[c]
                    ? readingOf((static_cast<double>(travel[c]) - m_previous[c]) / dt, carLimits::kSuspensionVelocity)
                    : TelemetryReading{};
        }
        velocity[c] = v.value;
        known[c] = v.present;
        m_previous[c] = travel[c];
        m_previousPresent[c] = present[c];
    }
    m_started = true;
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
    bool complete = true;
    const auto take = [&complete](TelemetryReading r) {
        complete = complete && r.present;
        return r.value;
    };
    s.rpm = take(readingOf(m_pages.physicsInt(acpages::kRpmOffset), carLimits::kEngineRpm));
    s.throttle = clamp01(take(m_pages.physicsFloat(acpages::kThrottleOffset, carLimits::kPedal)));
    s.brake = clamp01(take(m_pages.physicsFloat(acpages::kBrakeOffset, carLimits::kPedal)));
    s.speed = take(m_pages.physicsFloat(acpages::kSpeedKmhOffset, carLimits::kSpeedKmh)) / 3.6f;
    bool travelPresent[kCornerCount];
    for (int c = 0; c < kCornerCount; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        const TelemetryReading travel =
            m_pages.physicsFloat(acpages::kSuspensionTravelOffset + at, carLimits::kSuspensionTravel);
        travelPresent[c] = travel.present;
        s.suspTravel[c] = take(travel);
        s.wheelSlip[c] = take(m_pages.physicsFloat(acpages::kWheelSlipOffset + at, carLimits::kSlip));
    }
    m_travel.update(s.suspTravel, travelPresent, dt, s.suspVel, s.hasSuspVel);
    s.complete = complete;
    return true;
}

bool AcConnection::takeStallFrame(HapticFrame& out) {
    if (!m_packetClock.stallDue())
        return false;
    m_packetClock.markStallDelivered();
    out = HapticFrame{};
    return true;
}

void setSuspensionTerms(const AcSuspensionTuning& t, float v, bool known, const VelocityRing& ring, int corner,
                        const EffectProfile& fx, CornerHaptics& h) {
    if (!known)
        v = 0.0f;
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

    const float k = dualBand && known ? ring.kerbLevel(corner, t.kerbThreshold, t.kerbFullVelocity) : 0.0f;
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
