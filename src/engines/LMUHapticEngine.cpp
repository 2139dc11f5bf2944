// Telemetry access of the Le Mans Ultimate engine: the map, its lock, the
// private snapshot and the decoding of the player's record.

#include "engines/LMUHapticEngine.h"

#include "engines/ConnectSupport.h"
#include "engines/FrameLimits.h"
#include "engines/TelemetryValues.h"
#include "engines/LMULayout.h"
#include "platform/MappedFault.h"
#include "platform/Output.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qv {

namespace {

template <typename T>
T readAt(const uint8_t* base, size_t offset) {
    T v;
    std::memcpy(&v, base + offset, sizeof v);
    return v;
}

template <typename T>
void writeAt(uint8_t* base, size_t offset, T v) {
    std::memcpy(base + offset, &v, sizeof v);
}

// A double of a record, missing (0) unless it is a value a car can have.
TelemetryReading doubleAt(const uint8_t* base, size_t offset, double limit) {
    return readingOf(readAt<double>(base, offset), limit);
}

// The counts of a snapshot, clipped to what it holds.
int clippedVehicleCount(int32_t n) { return std::clamp(n, 0, lmu::kMaxVehicles); }
int clippedTelemetryCount(uint8_t n) { return std::min(static_cast<int>(n), lmu::kMaxTelemetry); }

// Elapsed times whose milliseconds do not fit an int32 cannot be compared.
constexpr double kMaxElapsedSeconds = 2147483.0;

constexpr const char* kTag = "[LMUHapticEngine]";

}  // namespace

void copyLmuSnapshot(const uint8_t* src, uint8_t* dst, LmuSnapshotReach* reach) {
    // Each block's reach is recorded before its copy: a map that goes away
    // under the copy may leave it half written.
    LmuSnapshotReach unused;
    LmuSnapshotReach& filled = reach ? *reach : unused;
    std::memcpy(dst, src, lmu::kGeneralSize);

    // Each count is read from the live map once, then clipped: the simulator
    // may change it at any moment.
    if (readAt<int32_t>(src, lmu::kScoringUpdated) != 0) {
        std::memcpy(dst + lmu::kScoringInfoOffset, src + lmu::kScoringInfoOffset, lmu::kScoringInfoSize);
        const int vehicles = clippedVehicleCount(readAt<int32_t>(src, lmu::kVehicleCount));
        writeAt<int32_t>(dst, lmu::kVehicleCount, vehicles);
        const size_t vehicleBytes = static_cast<size_t>(vehicles) * lmu::kVehicleSize;
        filled.vehicleBytes = std::max(filled.vehicleBytes, vehicleBytes);
        std::memcpy(dst + lmu::kVehiclesOffset, src + lmu::kVehiclesOffset, vehicleBytes);
        // One byte of the text area stays for the terminating NUL.
        const uint64_t length =
            std::min<uint64_t>(readAt<uint64_t>(src, lmu::kResultsTextLength), lmu::kResultsTextCapacity - 1);
        filled.textBytes = std::max(filled.textBytes, static_cast<size_t>(length) + 1);
        std::memcpy(dst + lmu::kResultsTextOffset, src + lmu::kResultsTextOffset, length);
        writeAt<uint64_t>(dst, lmu::kResultsTextLength, length);
        dst[lmu::kResultsTextOffset + length] = 0;
        // The snapshot's address fields name its own copies.
        writeAt<uint64_t>(dst, lmu::kResultsTextAddress,
                          static_cast<uint64_t>(reinterpret_cast<uintptr_t>(dst + lmu::kResultsTextOffset)));
        writeAt<uint64_t>(dst, lmu::kVehicleListAddress,
                          static_cast<uint64_t>(reinterpret_cast<uintptr_t>(dst + lmu::kVehiclesOffset)));
    }

    if (readAt<int32_t>(src, lmu::kTelemetryUpdated) != 0) {
        const uint8_t count = src[lmu::kTelemetryCount];
        dst[lmu::kTelemetryCount] = static_cast<uint8_t>(clippedTelemetryCount(count));
        dst[lmu::kPlayerHasVehicle] = src[lmu::kPlayerHasVehicle];
        dst[lmu::kPlayerIndex] = src[lmu::kPlayerIndex];
        const size_t telemetryBytes = static_cast<size_t>(clippedTelemetryCount(count)) * lmu::kTelemetrySize;
        filled.telemetryBytes = std::max(filled.telemetryBytes, telemetryBytes);
        std::memcpy(dst + lmu::kTelemetryOffset, src + lmu::kTelemetryOffset, telemetryBytes);
    }

    bool pathFlagged = false;
    for (size_t flag : lmu::kPathFlags)
        pathFlagged = pathFlagged || readAt<int32_t>(src, flag) != 0;
    if (pathFlagged)
        std::memcpy(dst + lmu::kPathOffset, src + lmu::kPathOffset, lmu::kPathSize);
}

void clearLmuSnapshot(uint8_t* snapshot, LmuSnapshotReach& reach) {
    // The fixed blocks: general, path, scoring info, the counts and addresses
    // up to the vehicle list, and the telemetry counts before the records.
    std::memset(snapshot, 0, lmu::kVehiclesOffset);
    std::memset(snapshot + lmu::kTelemetryCount, 0, lmu::kTelemetryOffset - lmu::kTelemetryCount);
    std::memset(snapshot + lmu::kVehiclesOffset, 0, reach.vehicleBytes);
    std::memset(snapshot + lmu::kResultsTextOffset, 0, reach.textBytes);
    std::memset(snapshot + lmu::kTelemetryOffset, 0, reach.telemetryBytes);
    reach = LmuSnapshotReach{};
}

LMUHapticEngine::LMUHapticEngine(std::string shmFolder, IClock* clock)
    : m_clock(clock ? clock : &m_systemClock),
      m_map(shmFolder),
      m_dataEvent(shmFolder),
      m_lock(shmFolder) {}

LMUHapticEngine::~LMUHapticEngine() { disconnect(); }

void LMUHapticEngine::reportConnectFailure(const std::string& text) {
    m_error = text;
    reportConnectProblem(kTag, text, m_lastReported);
}

void LMUHapticEngine::resetConnectionState() {
    m_lastSampleMs = -1;
    m_havePrevious = false;
    for (double& d : m_prevDeflection)
        d = 0.0;
    for (bool& present : m_prevDeflectionPresent)
        present = false;
    m_sample = LmuSample{};
    m_state = LmuState{};
    m_idleCount = 0;
    m_rateLastTime = 0.0;
    m_updateRateHz = 0.0f;
    m_rateCount = 0;
    m_rateTotal = 0.0;
    m_haveNewSample = false;
    m_lockFailing = false;
    m_lockFailingSinceMs = 0;
}

bool LMUHapticEngine::connect() {
    disconnect();
    if (!m_map.open(lmu::kMapName, lmu::kMapSize)) {
        // No file: the simulator is not running; no message, the run loop retries.
        reportConnectFailure(openProblem(m_map));
        return false;
    }
    // A simulator under a Windows compatibility layer keeps its events to
    // itself and bridges expose only the map; nothing waits on this event,
    // so its absence is reported and otherwise ignored.
    const bool haveEvent = m_dataEvent.open(lmu::kDataEventName);
    if (!m_lock.open()) {
        reportConnectFailure("the shared-memory lock: " + m_lock.lastError());
        m_dataEvent.close();
        m_map.close();
        return false;
    }

    // The snapshot starts zeroed: clearing only what the last connection
    // filled spares a reconnect most of the 324 KB.
    if (m_snapshot.size() == lmu::kMapSize) {
        clearLmuSnapshot(m_snapshot.data(), m_snapshotReach);
    } else {
        m_snapshot.assign(lmu::kMapSize, 0);
        m_snapshotReach = LmuSnapshotReach{};
    }
    resetConnectionState();
    m_connected = true;
    reportConnectFailure(std::string());
    std::string report = "[LMUHapticEngine] Connected to LMU shared memory\n";
    if (!haveEvent) {
        report += "[LMUHapticEngine] The data event \"";
        report += lmu::kDataEventName;
        report += "\" cannot be opened (bridged map): reading without it\n";
    }
    outWrite(report);
    return true;
}

bool LMUHapticEngine::isConnected() const {
    if (!m_connected)
        return false;
    // A map the simulator left behind only brings no new samples; one that
    // shrank or was replaced, or a lock record or event that shrank, makes
    // the run loop reconnect.
    return isPageUsable(m_map) && m_lock.isWhole();
}

void LMUHapticEngine::disconnect() {
    m_connected = false;
    // The snapshot is kept for the next connect, which clears it: reconnecting
    // allocates nothing.
    m_lock.close();
    m_dataEvent.close();
    m_map.close();
    resetConnectionState();
}

bool LMUHapticEngine::takeLock() {
    if (m_lock.acquire(kLockTimeoutMs)) {
        m_lockFailing = false;
        return true;
    }
    const uint64_t now = m_clock->nowMs();
    if (!m_lockFailing) {
        m_lockFailing = true;
        m_lockFailingSinceMs = now;
        return false;
    }
    if (now - m_lockFailingSinceMs < kLockAbandonMs)
        return false;
    // Nobody holds a snapshot copy for seconds: the holder died with the lock.
    outPrint("[LMUHapticEngine] The shared-memory lock has been busy for %llu ms; taking its holder for dead "
             "and resetting it\n",
             static_cast<unsigned long long>(now - m_lockFailingSinceMs));
    m_lockFailing = false;
    m_lock.forceRelease();
    if (m_lock.acquire(kLockTimeoutMs))
        return true;
    m_lockFailing = true;
    m_lockFailingSinceMs = now;
    return false;
}

bool LMUHapticEngine::readTelemetry() {
    if (!isConnected() || m_snapshot.size() != lmu::kMapSize)
        return false;
    if (!takeLock())
        return false;
    uint8_t* snap = m_snapshot.data();
    // The map may shrink under the copy (the simulator going away): the
    // guard turns that into a tick without data.
    const uint8_t* source = m_map.data();
    const bool copied = runGuarded([&] { copyLmuSnapshot(source, snap, &m_snapshotReach); });
    m_lock.release();
    if (!copied)
        return false;

    if (readAt<int32_t>(snap, lmu::kTelemetryUpdated) == 0 || snap[lmu::kPlayerHasVehicle] == 0)
        return false;
    const int player = snap[lmu::kPlayerIndex];
    if (player >= clippedTelemetryCount(snap[lmu::kTelemetryCount]))
        return false;
    const uint8_t* rec = snap + lmu::kTelemetryOffset + static_cast<size_t>(player) * lmu::kTelemetrySize;

    // Times that are not finite (or too large for whole milliseconds) cannot
    // be compared or stepped: the sample is rejected.
    const double elapsed = readAt<double>(rec, lmu::rec::kElapsedTime);
    const double delta = readAt<double>(rec, lmu::rec::kDeltaTime);
    if (!std::isfinite(elapsed) || std::fabs(elapsed) >= kMaxElapsedSeconds || !std::isfinite(delta))
        return false;
    const int32_t ms = static_cast<int32_t>(elapsed * 1000.0);
    if (ms == m_lastSampleMs)
        return false;
    m_lastSampleMs = ms;

    if (m_rateLastTime > 0.0) {
        const double d = elapsed - m_rateLastTime;
        if (d > 0.0 && d < 1.0) {
            ++m_rateCount;
            m_rateTotal += d;
            if (m_rateTotal >= 1.0) {
                m_updateRateHz = static_cast<float>(m_rateCount / m_rateTotal);
                m_rateCount = 0;
                m_rateTotal = 0.0;
            }
        }
    }
    m_rateLastTime = elapsed;

    LmuSample& s = m_sample;
    s.elapsedTime = elapsed;
    s.dt = static_cast<float>(std::max(std::min(delta, 0.1), 0.001));

    bool playerListed = false;
    const int vehicles = clippedVehicleCount(readAt<int32_t>(snap, lmu::kVehicleCount));
    for (int i = 0; i < vehicles && !playerListed; ++i)
        playerListed = snap[lmu::kVehiclesOffset + static_cast<size_t>(i) * lmu::kVehicleSize + lmu::kVehicleIsPlayer] != 0;

    // Missing values read 0, which leaves what they feed silent (a missing
    // maximum rpm leaves the learned one); the values whose 0 would play say
    // whether they are there.
    namespace lim = carLimits;
    bool complete = true;
    const auto take = [&complete](TelemetryReading r) {
        complete = complete && r.present;
        return r;
    };
    s.engineRpm = take(doubleAt(rec, lmu::rec::kEngineRpm, lim::kEngineRpm)).value;
    s.engineMaxRpm = take(doubleAt(rec, lmu::rec::kEngineMaxRpm, lim::kEngineRpm)).value;
    s.throttle = take(doubleAt(rec, lmu::rec::kThrottle, lim::kPedal)).value;
    s.brake = take(doubleAt(rec, lmu::rec::kBrake, lim::kPedal)).value;
    s.steering = take(doubleAt(rec, lmu::rec::kSteering, lim::kSteering)).value;
    const TelemetryReading yawRate = take(doubleAt(rec, lmu::rec::kLocalRotY, lim::kRotationRate));
    s.yawRate = yawRate.value;
    s.hasYawRate = yawRate.present;
    s.lateralAccel = take(doubleAt(rec, lmu::rec::kLocalAccelX, lim::kAcceleration)).value;
    const TelemetryReading lateral = take(doubleAt(rec, lmu::rec::kLocalVelX, lim::kSpeed));
    s.lateralVelocity = lateral.value;
    s.hasLateralVelocity = lateral.present;
    const float forward = -take(doubleAt(rec, lmu::rec::kLocalVelZ, lim::kSpeed)).value;
    s.speed = std::fabs(forward);
    s.gear = readAt<int32_t>(rec, lmu::rec::kGear);
    s.absActive = rec[lmu::rec::kAbsActive] != 0;
    s.tcActive = rec[lmu::rec::kTcActive] != 0;
    for (int i = 0; i < 2; ++i) {
        s.tcPair[i] = rec[lmu::rec::kTcPair + static_cast<size_t>(i)];
        s.absPair[i] = rec[lmu::rec::kAbsPair + static_cast<size_t>(i)];
        s.mapPair[i] = rec[lmu::rec::kMapPair + static_cast<size_t>(i)];
    }
    s.onTrack = playerListed && (forward > 0.1f || s.gear != 0);

    for (int c = 0; c < kCornerCount; ++c) {
        const uint8_t* w = rec + lmu::rec::kWheels + static_cast<size_t>(c) * lmu::rec::kWheelSize;
        LmuCorner& corner = s.corners[c];
        // The velocity needs this deflection and the previous one; the first
        // sample of a connection is at rest.
        const double raw = readAt<double>(w, lmu::wheel::kDeflection);
        const bool deflectionPresent = take(readingOf(raw, lim::kSuspensionTravel)).present;
        const double deflection = deflectionPresent ? raw : 0.0;
        corner.suspDeflection = static_cast<float>(deflection);
        TelemetryReading velocity{0.0f, deflectionPresent};
        if (m_havePrevious) {
            velocity = deflectionPresent && m_prevDeflectionPresent[c]
                           ? readingOf((deflection - m_prevDeflection[c]) / static_cast<double>(s.dt),
                                       lim::kSuspensionVelocity)
                           : TelemetryReading{};
        }
        corner.suspVelocity = velocity.value;
        corner.hasSuspVelocity = velocity.present;
        m_prevDeflection[c] = deflection;
        m_prevDeflectionPresent[c] = deflectionPresent;
        corner.gripFraction = take(doubleAt(w, lmu::wheel::kGripFract, lim::kFraction)).value;
        corner.surfaceType = w[lmu::wheel::kSurfaceType];
        corner.onKerb = corner.surfaceType == lmu::kSurfaceKerb;
        const TelemetryReading rotation = take(doubleAt(w, lmu::wheel::kRotation, lim::kWheelAngularSpeed));
        corner.wheelSpeed = std::fabs(rotation.value) * (w[lmu::wheel::kRadiusCm] / 100.0f);
        // A wheel without its rotation has no slip ratio: 0, never "locked".
        corner.hasSlipRatio = rotation.present;
        corner.slipRatio = rotation.present && s.speed > 8.33f ? 1.0f - corner.wheelSpeed / s.speed : 0.0f;
    }
    m_havePrevious = true;
    s.complete = complete;
    // The texture follows the ground under the wheels. (The record's own byte
    // at 826 is the vehicle class, not a surface.)
    const uint8_t wheelSurfaces[4] = {s.corners[0].surfaceType, s.corners[1].surfaceType, s.corners[2].surfaceType,
                                      s.corners[3].surfaceType};
    s.surfaceTypeByte = textureSurface(wheelSurfaces);

    applySlipBias(s, m_state);

    if (s.engineMaxRpm > 100.0f)
        m_state.rpmLimit = s.engineMaxRpm;
    else if (s.engineRpm > m_state.rpmLimit)
        m_state.rpmLimit = s.engineRpm;
    return true;
}

bool LMUHapticEngine::update(const EffectProfile& fx, HapticFrame& out) {
    if (!isConnected())
        return false;
    if (readTelemetry()) {
        m_idleCount = 0;
        computeLMUFrame(m_sample, m_state, fx, out);
        m_haveNewSample = true;
        return true;
    }
    if (m_idleCount <= kIdleTicks)
        ++m_idleCount;
    if (m_idleCount <= kIdleTicks)
        return false;
    // From the 61st tick without data on, every tick silences the shakers.
    out = HapticFrame{};
    m_haveNewSample = false;
    return true;
}

void LMUHapticEngine::drawDashboardHeader(IConsole& console, bool audioActive, int channels,
                                          const EffectProfile& fx) {
    drawLMUDashboardHeader(console, audioActive, channels, fx.suspDualBand != 0);
}

void LMUHapticEngine::drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx,
                                    int updatesPerSecond, float secondsSinceShift) {
    drawLMUDashboard(console, m_sample, m_state, m_updateRateHz, shown, fx, updatesPerSecond, secondsSinceShift);
}

bool LMUHapticEngine::writeCsvHeader(std::string& out) {
    out += lmuCsvHeader();
    return true;
}

bool LMUHapticEngine::writeCsvRow(std::string& out) {
    // One row per new sample: the idle frame of a stall is no sample, and a
    // second call for the same sample would repeat its row.
    if (!m_haveNewSample)
        return false;
    m_haveNewSample = false;
    return appendLMUCsvRow(m_sample, m_state, out);
}

}  // namespace qv
