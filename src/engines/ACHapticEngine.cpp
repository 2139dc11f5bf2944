// Telemetry access of the AC engine: the pages and the sample record.

#include "engines/ACHapticEngine.h"

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

ACHapticEngine::ACHapticEngine(const std::string& shmFolder, IClock* clock) : m_link(shmFolder, clock) {}

ACHapticEngine::~ACHapticEngine() { disconnect(); }

bool ACHapticEngine::connect() {
    if (!m_link.open(kTag, "AC", acpages::kAcPhysicsSize, acpages::kAcGraphicsSize))
        return false;
    m_sample = ACSample{};
    return true;
}

bool ACHapticEngine::isConnected() const { return m_link.isUsable(); }

void ACHapticEngine::disconnect() { m_link.close(); }

bool ACHapticEngine::readTelemetry() {
    ACSample& s = m_sample;
    if (!m_link.readCommon(s))
        return false;
    const AcPages& pages = m_link.pages();
    s.gear = gearFromPublished(pages.physicsInt(acpages::kGearOffset));
    for (int c = 0; c < kCornerCount; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        s.wheelRpm[c] = pages.physicsFloat(acpages::kWheelAngularSpeedOffset + at) * kRadPerSecondToRpm;
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
