// Telemetry access of the AC engine: the pages and the sample record.

#include "engines/ACHapticEngine.h"

#include "engines/TelemetryValues.h"

#include <algorithm>
#include <climits>

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

bool ACHapticEngine::connect() { return openPages(kTag, "AC", acpages::kAcPhysicsSize, acpages::kAcGraphicsSize); }

bool ACHapticEngine::readTelemetry() {
    ACSample& s = m_sample;
    if (!m_link.readCommon(s))
        return false;
    const AcPages& pages = m_link.pages();
    s.gear = gearFromPublished(pages.physicsInt(acpages::kGearOffset));
    for (int c = 0; c < kCornerCount; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        const TelemetryReading w = pages.physicsFloat(acpages::kWheelAngularSpeedOffset + at,
                                                      carLimits::kWheelAngularSpeed);
        s.wheelRpm[c] = w.value * kRadPerSecondToRpm;
        s.hasWheelRpm[c] = w.present;
        s.complete = s.complete && w.present;
    }
    return true;
}

bool ACHapticEngine::update(const EffectProfile& fx, HapticFrame& out) {
    if (!isConnected())
        return false;
    if (readTelemetry()) {
        computeACFrame(m_sample, m_link.ring(), m_link.packetClock().packetSeconds(), fx, out);
        return true;
    }
    return m_link.takeStallFrame(out);
}

}  // namespace qv
