#pragma once
// The Le Mans Ultimate engine: takes the simulator's cross-process lock,
// copies the flagged blocks of its telemetry map into a private snapshot,
// decodes the player's record into an LmuSample and turns each new sample
// into a frame with adaptive suspension thresholds, surface-dependent
// texture parameters, a dual-band suspension mode, bias-corrected lock-up
// and one wheel-slip vibration for the whole car.
//
// Sources: LMUHapticEngine.cpp (telemetry access), LMUHaptics.cpp (haptic
// computation), LMUDashboard.cpp (dashboard and logger rows),
// SharedMemoryLock.h (the lock).
//
// The map is untrusted: every count taken from it (vehicles, results-text
// length, telemetry records, the player's index) is clipped to what the
// snapshot holds, samples with non-finite times are rejected, and a value
// that is not finite or far outside what a car can do counts as missing for
// that sample (TelemetryValues.h): it reads 0 and the effect it feeds is
// silent.
//
// The engine stays connected when the map file is removed (the simulator
// quit: no new samples, the idle frame from the 61st tick on); a map that
// shrank or a newer file under the name (the simulator started again) makes
// isConnected() false, and the run loop reconnects.

#include "engines/ISimHapticEngine.h"
#include "engines/SharedMemoryLock.h"
#include "platform/Clock.h"
#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// A value that is missing reads 0; where 0 would play, a flag says whether
// the value is there.
struct LmuCorner {
    float suspVelocity = 0.0f;    // m/s, signed
    bool hasSuspVelocity = true;  // false: missing (this or the previous deflection); no road, impact or kerb
    float suspDeflection = 0.0f;  // m
    float gripFraction = 0.0f;    // 0..1, share of the contact patch sliding
    float wheelSpeed = 0.0f;      // m/s
    float slipRatio = 0.0f;       // longitudinal, bias removed once calibrated
    bool hasSlipRatio = true;     // false: the wheel's rotation is missing; no lock-up there
    bool onKerb = false;
    uint8_t surfaceType = 0;
};

struct LmuSample {
    LmuCorner corners[kCornerCount];  // LF, RF, LR, RR
    float engineRpm = 0.0f;
    float engineMaxRpm = 0.0f;
    float throttle = 0.0f;
    float brake = 0.0f;
    float speed = 0.0f;  // m/s, never negative
    float yawRate = 0.0f;
    float lateralAccel = 0.0f;
    float lateralVelocity = 0.0f;
    float steering = 0.0f;
    float dt = 0.0f;  // clamped frame time, s
    int32_t gear = 0;  // -1 reverse, 0 neutral
    bool absActive = false;
    bool tcActive = false;
    bool onTrack = false;
    uint8_t tcPair[2] = {};
    uint8_t absPair[2] = {};
    uint8_t mapPair[2] = {};
    // The surface for the texture parameters: the one under most of the
    // four wheels (see textureSurface); 255 before the first sample.
    uint8_t surfaceTypeByte = 255;
    double elapsedTime = 0.0;       // simulation time of the sample, s
    bool hasLateralVelocity = true;  // false: missing; no slide or slide rate (wheel slip)
    bool hasYawRate = true;          // false: missing; no yaw deficit (wheel slip)
    // Every value the sample reads was there: only such a sample teaches the
    // slip bias and the steering gain.
    bool complete = true;
};

// Nine texture parameters, chosen by the surface under the car.
struct TextureParams {
    float roadScale;
    float impactThreshold;
    float impactRange;
    float dualThreshold;
    float dualRange;
    float kerbThreshold;
    float kerbRange;
    float lockSlipThreshold;
    float lockSlipRange;
};

TextureParams surfaceTextureParams(uint8_t surfaceType);
// Five characters for the dashboard: "dry  ", "KERB!", "?    " ...
const char* surfaceName(uint8_t surfaceType);

// The surface type under most of the four wheels (LF, RF, LR, RR); on a tie
// the one under the lower-numbered wheel.
uint8_t textureSurface(const uint8_t (&wheelSurfaces)[4]);

// What the computation learns and carries between samples; lives for one
// connection.
struct LmuState {
    float ring[kCornerCount][4] = {};  // signed suspension velocities
    int32_t ringIndex = 0;
    bool ringFull = false;
    float rpmLimit = 7000.0f;
    float smoothedPeak = 0.0f;
    int32_t peakSamples = 0;
    float roadScale = 0.03f;
    float impactThreshold = 0.03f;
    float impactRange = 0.08f;
    float dualThreshold = 0.0f;
    float dualRange = 0.0f;
    float kerbThreshold = 0.0f;
    float kerbRange = 0.0f;
    float history[kCornerCount][100] = {};  // absolute suspension velocities
    int32_t historyIndex = 0;
    float slipBias[kCornerCount] = {};
    bool biasDone = false;
    int32_t biasSamples = 0;
    int32_t brakeHoldoff = 0;
    float prevLateralVelocity = 0.0f;
    double prevTime = 0.0;
    float steerK = 0.1f;  // learned yaw rate per (steering x speed)
    bool steerKDone = false;
    int32_t steerKSamples = 0;
};

// The slip-ratio bias: learned while coasting straight, removed once done.
// Runs on every new sample, before the computation.
void applySlipBias(LmuSample& sample, LmuState& state);
// Turns a sample into the frame under `fx` (off track: the idle frame, and
// the state stays as it was).
void computeLMUFrame(const LmuSample& sample, LmuState& state, const EffectProfile& fx, HapticFrame& out);

// How far copies have filled a snapshot's blocks of varying length, so that a
// new connection clears only what the last one filled.
struct LmuSnapshotReach {
    size_t vehicleBytes = 0;
    size_t textBytes = 0;  // with the terminating NUL
    size_t telemetryBytes = 0;
};

// Copies the blocks of `source` whose update flags are set into `snapshot`
// (both kMapSize bytes, laid out as the map), clipping every count to what
// the snapshot holds. Blocks whose flag is clear keep their earlier contents.
// `reach`, when given, grows to cover what was written.
void copyLmuSnapshot(const uint8_t* source, uint8_t* snapshot, LmuSnapshotReach* reach = nullptr);

// Zeroes every byte of `snapshot` that copies recorded in `reach` may have
// written (the whole snapshot is zero again) and resets `reach`.
void clearLmuSnapshot(uint8_t* snapshot, LmuSnapshotReach& reach);

// The dashboard and logger columns (LMUDashboard.cpp).
void drawLMUDashboardHeader(IConsole& console, bool audioActive, int channels, bool dualBand);
void drawLMUDashboard(IConsole& console, const LmuSample& sample, const LmuState& state, float updateRateHz,
                      const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                      float secondsSinceShift);
const char* lmuCsvHeader();
// False (nothing appended) off track.
bool appendLMUCsvRow(const LmuSample& sample, const LmuState& state, std::string& out);

class LMUHapticEngine final : public ISimHapticEngine {
public:
    // shmFolder: where the map, its lock and events live ("" =
    // sharedMemoryFolder()); clock: for the abandoned-lock rule (null = the
    // system clock).
    explicit LMUHapticEngine(std::string shmFolder = {}, IClock* clock = nullptr);
    ~LMUHapticEngine() override;

    bool connect() override;
    bool isConnected() const override;
    void disconnect() override;
    bool update(const EffectProfile& fx, HapticFrame& out) override;
    const char* displayName() const override { return "LMU"; }

    int gear() const override { return m_sample.gear; }
    float speedMps() const override { return m_sample.speed; }
    bool isOnTrack() const override { return m_sample.onTrack; }

    void drawDashboardHeader(IConsole& console, bool audioActive, int channels, const EffectProfile& fx) override;
    void drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                       float secondsSinceShift) override;
    bool writeCsvHeader(std::string& out) override;
    bool writeCsvRow(std::string& out) override;

    // How long acquire() waits for the lock each tick.
    static constexpr int kLockTimeoutMs = 10;
    // After this long of failing to get the lock, its holder is taken for
    // dead and the lock is reset.
    static constexpr uint64_t kLockAbandonMs = 2000;
    // Consecutive updates without new data before the idle frame comes.
    static constexpr int kIdleTicks = 60;

    const LmuSample& sample() const { return m_sample; }
    const LmuState& state() const { return m_state; }
    float updateRateHz() const { return m_updateRateHz; }
    int lastSampleMs() const { return m_lastSampleMs; }
    bool hasDataEvent() const { return m_dataEvent.isOpen(); }
    const SharedMemoryLock& lock() const { return m_lock; }
    // The last connect failure worth telling the user (empty when none).
    const std::string& lastError() const { return m_error; }

private:
    bool readTelemetry();
    bool takeLock();
    void resetConnectionState();
    void reportConnectFailure(const std::string& text);

    SystemClock m_systemClock;
    IClock* m_clock;
    SharedMemoryMap m_map;
    NamedEvent m_dataEvent;
    SharedMemoryLock m_lock;
    bool m_connected = false;
    std::vector<uint8_t> m_snapshot;  // kMapSize bytes once connected, zero where this connection copied nothing
    LmuSnapshotReach m_snapshotReach;
    double m_prevDeflection[kCornerCount] = {};
    bool m_prevDeflectionPresent[kCornerCount] = {};
    bool m_havePrevious = false;
    int32_t m_lastSampleMs = -1;
    LmuSample m_sample;
    LmuState m_state;
    int32_t m_idleCount = 0;
    double m_rateLastTime = 0.0;
    float m_updateRateHz = 0.0f;
    int32_t m_rateCount = 0;
    double m_rateTotal = 0.0;

    // The last true update() carried a new sample (not the idle frame).
    bool m_haveNewSample = false;
    // Clock time since acquire() has been failing; 0 while it succeeds.
    uint64_t m_lockFailingSinceMs = 0;
    bool m_lockFailing = false;
    std::string m_error;
    std::string m_lastReported;
};

}  // namespace qv
