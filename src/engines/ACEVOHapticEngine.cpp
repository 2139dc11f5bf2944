// Telemetry access and haptic computation of the AC EVO engine.

#include "engines/ACEVOHapticEngine.h"

#include "engines/ACEVOLayout.h"
#include "engines/ConnectSupport.h"
#include "engines/FrameLimits.h"
#include "engines/TelemetryValues.h"
#include "platform/Output.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qv {

namespace {

static_assert(acevo::kPhysicsSize == 800 && acevo::kGraphicsSize == 3936);

template <typename T, size_t N>
T readAt(const std::array<uint8_t, N>& page, size_t offset) {
    static_assert(std::is_trivially_copyable_v<T>);
    T v;
    std::memcpy(&v, page.data() + offset, sizeof v);
    return v;
}

// A float of a page, missing (0) unless it is a value a car can have.
template <size_t N>
TelemetryReading floatAt(const std::array<uint8_t, N>& page, size_t offset, double limit) {
    return readingOf(readAt<float>(page, offset), limit);
}

}  // namespace

namespace {

constexpr const char* kTag = "[ACEVOHapticEngine]";

}  // namespace

ACEVOHapticEngine::ACEVOHapticEngine(std::string shmFolder, IClock* clock)
    : m_clock(clock ? clock : &m_systemClock), m_packets(*m_clock), m_physics(shmFolder), m_graphics(shmFolder) {}

ACEVOHapticEngine::~ACEVOHapticEngine() { disconnect(); }

bool ACEVOHapticEngine::mapSharedPage(SharedMemoryMap& map, const char* name, size_t size) {
    if (map.open(name, size))
        return true;
    // No file: the simulator is not running; no message, the run loop retries.
    m_error = openProblem(map);
    reportConnectProblem(kTag, m_error, m_lastReported);
    return false;
}

bool ACEVOHapticEngine::connect() {
    disconnect();
    if (!mapSharedPage(m_physics, acevo::kPhysicsName, acevo::kPhysicsSize))
        return false;
    if (!mapSharedPage(m_graphics, acevo::kGraphicsName, acevo::kGraphicsSize)) {
        m_physics.close();
        return false;
    }
    m_packets.start();
    m_travel.reset();
    m_lastPacketId = -1;
    m_engineTypeCached = false;
    m_engineType = 0;
    m_sample = ACEVOSample{};
    m_lastFrame = HapticFrame{};
    m_haveNewSample = false;
    m_lastDt = 0.0f;
    m_error.clear();
    m_lastReported.clear();
    outWrite("[ACEVOHapticEngine] Connected to AC EVO shared memory\n");
    return true;
}

bool ACEVOHapticEngine::isConnected() const {
    return m_physics.isOpen() && m_graphics.isOpen() && isPageUsable(m_physics) && isPageUsable(m_graphics);
}

void ACEVOHapticEngine::disconnect() {
    m_physics.close();
    m_graphics.close();
    m_lastPacketId = -1;
    m_travel.reset();
}

bool ACEVOHapticEngine::readTelemetry() {
    if (!isConnected())
        return false;
    int32_t counter = 0;
    if (!m_physics.read(acevo::kPacketId, &counter, sizeof counter) || counter == m_lastPacketId)
        return false;

    // Work on private copies: the simulator keeps writing the pages. A page
    // that shrank under the copy is the simulator going away: no sample.
    if (!m_physics.read(0, m_physicsCopy.data(), acevo::kPhysicsSize) ||
        !m_graphics.read(0, m_graphicsCopy.data(), acevo::kGraphicsSize))
        return false;
    m_lastPacketId = counter;
    const float dt = m_packets.stepForNewPacket();
    m_lastDt = dt;
    const auto& p = m_physicsCopy;
    const auto& g = m_graphicsCopy;

    const int32_t status = readAt<int32_t>(g, acevo::kStatus);
    if (!m_engineTypeCached && status == acevo::kStatusLive) {
        m_engineType = readAt<int32_t>(g, acevo::kEngineType);
        m_engineTypeCached = true;
        outPrint("[ACEVOHapticEngine] engine_type cached: %s\n",
                 m_engineType == acevo::kEngineElectric ? "ELECTRIC_MOTOR" : "INTERNAL_COMBUSTION");
    }
    const int32_t trackState = readAt<int32_t>(g, acevo::kOnTrackState);

    // Missing values read 0, which leaves what they feed silent; the
    // suspension velocity says itself whether it is there.
    namespace lim = carLimits;
    ACEVOSample& s = m_sample;
    s.onTrack = status == acevo::kStatusLive && trackState >= 2 && trackState <= 4;
    s.throttle = floatAt(p, acevo::kThrottle, lim::kPedal).value;
    s.brake = floatAt(p, acevo::kBrake, lim::kPedal).value;
    s.gear = readAt<int32_t>(p, acevo::kGear);
    s.rpm = plausibleOrZero(readAt<int32_t>(p, acevo::kRpm), lim::kEngineRpm);
    s.steerAngle = floatAt(p, acevo::kSteerAngle, lim::kSteering).value;
    s.speed = floatAt(p, acevo::kSpeedKmh, lim::kSpeedKmh).value / 3.6f;
    s.absLevel = floatAt(p, acevo::kAbsLevel, lim::kFraction).value;
    // A missing limit is 0: the computation then uses its own.
    const int32_t maxRpm = readAt<int32_t>(p, acevo::kCurrentMaxRpm);
    s.currentMaxRpm = isPlausible(maxRpm, lim::kEngineRpm) ? maxRpm : 0;
    s.absActing = readAt<int32_t>(p, acevo::kAbsActing) != 0;
    s.engineRunning = readAt<int32_t>(p, acevo::kEngineRunning) != 0;
    s.kerbVibration = floatAt(p, acevo::kKerbVibration, lim::kVibration).value;
    s.slipVibration = floatAt(p, acevo::kSlipVibration, lim::kVibration).value;
    s.roadVibrations = floatAt(p, acevo::kRoadVibrations, lim::kVibration).value;
    s.absVibrations = floatAt(p, acevo::kAbsVibrations, lim::kVibration).value;
    s.currentTorque = floatAt(g, acevo::kCurrentTorque, lim::kTorque).value;
    bool travelPresent[kCornerCount];
    for (int c = 0; c < kCornerCount; ++c) {
        const size_t at = static_cast<size_t>(c) * sizeof(float);
        s.wheelSlip[c] = floatAt(p, acevo::kWheelSlip + at, lim::kSlip).value;
        const TelemetryReading travel = floatAt(p, acevo::kSuspTravel + at, lim::kSuspensionTravel);
        s.suspTravel[c] = travel.value;
        travelPresent[c] = travel.present;
        s.slipRatio[c] = floatAt(p, acevo::kSlipRatio + at, lim::kSlip).value;
        s.slipAngle[c] = floatAt(p, acevo::kSlipAngle + at, lim::kSlip).value;
    }
    m_travel.update(s.suspTravel, travelPresent, dt, s.suspVelocity, s.hasSuspVelocity);
    s.packetId = counter;
    return true;
}

void computeACEVOFrame(const ACEVOSample& s, int32_t engineType, const EffectProfile& fx, HapticFrame& out) {
    out = HapticFrame{};
    if (!s.onTrack)
        return;

    // Engine: combustion engines only; electric cars never rumble.
    if (engineType != acevo::kEngineElectric && s.engineRunning && s.rpm > 100.0f) {
        const float limit = s.currentMaxRpm > 1000 ? static_cast<float>(s.currentMaxRpm) : 9000.0f;
        const float q = clamp01(s.rpm / limit);
        out.engineAmp = q * fx.engineRumble;
        out.engineFreq = q * 140.0f + 10.0f;
    } else {
        out.engineAmp = 0.0f;
        out.engineFreq = fx.freqEngine;
    }

    // Road: the simulator's own signal, the same on every corner.
    const float r = clamp01((std::fabs(s.roadVibrations) - 0.03f) / 0.2f);
    const float roadFreq = clampf(std::min(s.speed / 5.0f, 10.0f) + fx.freqRoadVib + 3.0f - 6.0f * r, 10.0f, 75.0f);

    const float kerbAbs = std::fabs(s.kerbVibration);
    const float k = kerbAbs > 0.01f ? std::min((kerbAbs - 0.01f) * 3.5f, 1.0f) : 0.0f;
    // The kerb's share per corner is taken among the corners whose velocity
    // is there; a corner without one gets none.
    float sum = 0.0f;
    int known = 0;
    for (int c = 0; c < kCornerCount; ++c) {
        if (s.hasSuspVelocity[c]) {
            sum += std::fabs(s.suspVelocity[c]);
            ++known;
        }
    }

    const bool lockUpArmed = s.absLevel > 0.05f && s.brake > 0.05f;
    const float slipOnset = 1.1f - thresholdScale(fx.wheelSlipThreshold) * 0.4f;

    for (int c = 0; c < kCornerCount; ++c) {
        CornerHaptics& h = out.corners[c];
        const float v = std::fabs(s.suspVelocity[c]);

        h.roadAmp = r * fx.roadVibration;
        h.roadFreq = roadFreq;

        const float x = clamp01((v - 0.04f) / 0.16f);
        h.impactAmp = x * fx.suspImpact;
        h.impactFreq = clampf(fx.freqSuspImp + 3.0f - 6.0f * x, 10.0f, 75.0f);

        // The corners that move most get the kerb. The weights average 1, so
        // the corners that hit the kerb alone play up to four times the
        // level; limitFrame keeps the amplitude within 0..1.
        float weight = 0.0f;  // a corner without its velocity gets no kerb
        if (s.hasSuspVelocity[c])
            weight = sum > 0.01f ? static_cast<float>(known) * v / sum : 1.0f;
        h.kerbAmp = weight * k * fx.kerbRumble;
        h.kerbFreq = clampf(fx.freqKerb + 3.0f - 6.0f * k, 20.0f, 75.0f);

        if (lockUpArmed) {
            const float slip = std::fabs(s.slipRatio[c]);
            const float excess = slip > 0.04f ? std::min((slip - 0.04f) / 0.16f, 1.0f) : 0.0f;
            h.absAmp = std::sqrt(s.brake) * std::min(s.speed / 19.44f, 1.0f) * excess * fx.absLock;
            h.absFreq = fx.freqAbsLock + 5.0f - 10.0f * s.brake;
        } else {
            h.absAmp = 0.0f;
            h.absFreq = fx.freqAbsLock;
        }

        h.slipAmp = 0.0f;
        if (s.speed > 1.4f) {
            const float w = std::min(s.wheelSlip[c], 5.0f);
            if (w > slipOnset)
                h.slipAmp = std::min((w - slipOnset) / 0.6f, 1.0f) * fx.wheelSlipSensitivity;
        }
    }
    limitFrame(out);
}

bool ACEVOHapticEngine::update(const EffectProfile& fx, HapticFrame& out) {
    if (readTelemetry()) {
        computeACEVOFrame(m_sample, m_engineType, fx, out);
        m_lastFrame = out;
        m_haveNewSample = true;
        return true;
    }
    if (isConnected() && m_packets.stallDue()) {
        // The simulator stalled or quit: silence the shakers once.
        out = HapticFrame{};
        m_lastFrame = out;
        m_packets.markStallDelivered();
        m_haveNewSample = false;
        return true;
    }
    return false;
}

void ACEVOHapticEngine::drawDashboardHeader(IConsole& console, bool audioActive, int channels,
                                            const EffectProfile& fx) {
    (void)fx;
    drawACEVODashboardHeader(console, audioActive, channels);
}

void ACEVOHapticEngine::drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx,
                                      int updatesPerSecond, float secondsSinceShift) {
    drawACEVODashboard(console, m_sample, m_engineType, shown, fx, updatesPerSecond, secondsSinceShift);
}

bool ACEVOHapticEngine::writeCsvHeader(std::string& out) {
    out += acevoCsvHeader();
    return true;
}

bool ACEVOHapticEngine::writeCsvRow(std::string& out) {
    // One row per new sample: the stall's idle frame is no sample, and a
    // second call for the same sample would repeat its row.
    if (!m_haveNewSample)
        return false;
    m_haveNewSample = false;
    return appendACEVOCsvRow(m_sample, out);
}

}  // namespace qv
