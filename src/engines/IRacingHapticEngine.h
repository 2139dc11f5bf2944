#pragma once
// The iRacing engine: reads iRacing's telemetry memory, turns each new row
// into a haptic frame, draws the iRacing dashboard and formats logger rows.
// The factory also makes it for rFactor 2 and any unknown simulator.
//
// Sources: IRacingHapticEngine.cpp (telemetry access), IRacingHaptics.cpp
// (haptic computation), IRacingDashboard.cpp (dashboard and logger rows).
//
// Everything in the map is untrusted. connect() checks the header and the
// variable-header array against the map's size; every read checks the row,
// the variable's offset and element count against it and gives 0 outside;
// a value that is not finite or far outside what a car can do counts as
// missing for that sample (TelemetryValues.h): it reads 0 and the effect it
// feeds is silent, so the frame is always finite with amplitudes in 0..1.

#include "engines/ISimHapticEngine.h"
#include "engines/TelemetryValues.h"
#include "platform/Clock.h"
#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct WantedName;

// What the engine keeps of one variable header, copied at connect.
struct IRacingVariable {
    char name[33] = {};  // NUL-terminated: a header's name has at most 32 bytes
    int32_t offset = 0;  // of the first element within a row
    int32_t count = 0;   // elements
    bool countAsTime = false;
    int32_t header = 0;  // its place in the map's header array
    uint32_t nameHash = 0;  // for look-ups: compared before the names

    std::string_view nameView() const { return name; }
};

// The values of the last row taken. Zero after connect and disconnect. A
// value that is missing reads 0; where 0 would play (a lateral velocity that
// drops to 0 looks like a slide, a yaw rate of 0 like a yaw deficit, a time
// of 0 opens the ABS gate) a flag says whether the value is there.
struct IRacingSample {
    float shockVel[kCornerCount] = {};   // m/s, LF RF LR RR
    float shockDefl[kCornerCount] = {};  // m
    float rumblePitch[kCornerCount] = {};  // Hz, > 0 on a rumble strip
    float rpm = 0.0f;
    float throttle = 0.0f;  // 0..1
    float brake = 0.0f;     // 0..1
    float speed = 0.0f;     // m/s
    float yawRate = 0.0f;   // rad/s
    float latAccel = 0.0f;  // m/s^2
    float longAccel = 0.0f;  // m/s^2
    float localVelY = 0.0f;  // lateral velocity in the car's frame, m/s
    float steerAngle = 0.0f;  // steering-wheel angle, rad
    int32_t gear = 0;       // -1 reverse, 0 neutral
    bool onTrack = false;
    bool inGarage = false;
    bool absActive = false;
    int32_t tickCount = 0;  // tick count of the row
    double sessionTime = 0.0;  // s
    int32_t sampleCount = 0;   // 6 in 360 Hz mode, 1 otherwise; 0 before the first row
    bool hasLocalVelY = true;   // false: missing; no slide or slide rate (wheel slip)
    bool hasYawRate = true;     // false: missing; no yaw deficit (wheel slip)
    bool hasSessionTime = true;  // false: missing; no wheel slip and no ABS, which pulse with the time
    // Every value the row gave was there: only such a row teaches the
    // steering ratio.
    bool complete = true;

    bool isOffTrack() const { return !onTrack || inGarage; }
};

// What the haptic computation carries from one sample to the next; lives for
// one connection.
struct IRacingSlipState {
    float prevYawRate = 0.0f;
    float prevLocalVelY = 0.0f;
    double prevSessionTime = 0.0;
    float learnedSteerRatio = 0.02f;  // yaw rate per (steering angle x speed), 1/m
    bool ratioLearned = false;
    int32_t learnCount = 0;
};

// Turns a sample into the frame under the profile `fx` (IRacingHaptics.cpp).
// Off track, in the garage and before the first row it writes the idle frame
// and leaves `state` alone.
void computeHapticFrame(const IRacingSample& sample, IRacingSlipState& state, const EffectProfile& fx,
                        HapticFrame& out);

// The dashboard and the logger columns (IRacingDashboard.cpp), apart from the
// engine so they can be drawn from any sample.
void drawIRacingDashboardHeader(IConsole& console, bool audioActive, int channels, bool is360Hz);
void drawIRacingDashboard(IConsole& console, const IRacingSample& sample, const HapticFrame& shown,
                          const EffectProfile& fx, int updatesPerSecond, float secondsSinceShift);

// The logger's row formatter; remembers the previous row for its rates.
class IRacingCsvFormatter {
public:
    static const char* header();
    // False (nothing appended) off track.
    bool appendRow(const IRacingSample& sample, std::string& out);
    void reset() { *this = IRacingCsvFormatter(); }

private:
    float m_prevYawRate = 0.0f;
    float m_prevLocalVelY = 0.0f;
    double m_prevSessionTime = 0.0;
};

class IRacingHapticEngine final : public ISimHapticEngine {
public:
    // shmFolder: where the telemetry map lives ("" = sharedMemoryFolder());
    // clock: for the stall rule (null = the system clock).
    explicit IRacingHapticEngine(std::string shmFolder = {}, IClock* clock = nullptr);
    ~IRacingHapticEngine() override;

    bool connect() override;
    bool isConnected() const override;
    void disconnect() override;
    bool update(const EffectProfile& fx, HapticFrame& out) override;
    const char* displayName() const override { return "iRacing"; }

    int gear() const override { return m_sample.gear; }
    float speedMps() const override { return m_sample.speed; }
    bool isOnTrack() const override { return m_sample.onTrack && !m_sample.inGarage; }
    bool is360Hz() const override { return m_is360Hz; }

    void drawDashboardHeader(IConsole& console, bool audioActive, int channels, const EffectProfile& fx) override;
    void drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                       float secondsSinceShift) override;
    bool writeCsvHeader(std::string& out) override;
    bool writeCsvRow(std::string& out) override;

    // After more than this long without a new row while connected, update()
    // delivers the idle frame once: a simulator that died without clearing
    // its status bit must not leave the shakers playing the last frame.
    static constexpr uint64_t kStallMs = 500;

    const IRacingSample& sample() const { return m_sample; }
    const IRacingSlipState& slipState() const { return m_slip; }
    int lastTickCount() const { return m_lastTickCount; }
    int variableCount() const { return static_cast<int>(m_variables.size()); }
    bool hasDataValidEvent() const { return m_dataValidEvent.isOpen(); }
    // The last connect failure worth telling the user (empty when none).
    const std::string& lastError() const { return m_error; }

private:
    struct Bindings {
        const IRacingVariable* shockDeflST[kCornerCount] = {};
        const IRacingVariable* shockVelST[kCornerCount] = {};
        const IRacingVariable* shockDefl[kCornerCount] = {};
        const IRacingVariable* shockVel[kCornerCount] = {};
        const IRacingVariable* rumblePitch[kCornerCount] = {};
        const IRacingVariable* rpm = nullptr;
        const IRacingVariable* throttle = nullptr;
        const IRacingVariable* brake = nullptr;
        const IRacingVariable* speed = nullptr;
        const IRacingVariable* yawRate = nullptr;
        const IRacingVariable* latAccel = nullptr;
        const IRacingVariable* longAccel = nullptr;
        const IRacingVariable* velocityY = nullptr;
        const IRacingVariable* steerAngle = nullptr;
        const IRacingVariable* gear = nullptr;
        const IRacingVariable* onTrack = nullptr;
        const IRacingVariable* inGarage = nullptr;
        const IRacingVariable* absActive = nullptr;
        const IRacingVariable* sessionTime = nullptr;
    };

    // A row of the map: its offset, or kNoRow.
    static constexpr int64_t kNoRow = -1;
    static constexpr int64_t kRowOutsideMap = -2;

    int32_t headerInt(size_t offset) const;
    bool buildVariableIndex(int32_t count, int32_t arrayOffset);
    void bindVariables();
    const IRacingVariable* findVariable(const WantedName& wanted) const;
    // The row with the largest tick count (lower index on ties); kNoRow
    // without buffers, kRowOutsideMap when the chosen row's offset is not in
    // the map.
    void latestBuffer(int64_t& row, int32_t& tickCount) const;
    bool readTelemetry();
    void reportConnectFailure(const std::string& text);
    // Says once per connection that the block cannot be read as it claims.
    void reportBadBlock(bool& told, const std::string& text);
    void printConnectionReport() const;

    // Typed readers: the element `index` of `var` in `row`, or 0 when the
    // variable is missing, the element does not exist or lies outside the map
    // (the last two are reported once per connection).
    // Copies the element into dst; false (dst untouched) when it is missing
    // or outside the map, and a fault of the file also marks the sample bad.
    bool element(int64_t row, const IRacingVariable* var, int index, size_t width, void* dst);
    // A float or double element, missing (0, and the row no longer
    // complete) when it is not finite or beyond `limit` in magnitude (a
    // carLimits value). An unpublished variable reads 0 and is no fault.
    TelemetryReading readFloat(int64_t row, const IRacingVariable* var, int index, double limit);
    double readDouble(int64_t row, const IRacingVariable* var, int index, double limit, bool& present);
    int32_t readInt(int64_t row, const IRacingVariable* var, int index);
    bool readBool(int64_t row, const IRacingVariable* var, int index);

    SystemClock m_systemClock;
    IClock* m_clock;
    SharedMemoryMap m_map;
    NamedEvent m_dataValidEvent;
    int32_t m_lastTickCount = -1;
    bool m_is360Hz = false;
    // The published variables by name (one per name), and the copy of the
    // headers they were read from; both keep their room between connections.
    std::vector<IRacingVariable> m_variables;
    std::vector<uint8_t> m_headerCopy;
    Bindings m_vars;
    IRacingSample m_sample;
    IRacingSlipState m_slip;
    IRacingCsvFormatter m_csv;

    uint64_t m_lastRowMs = 0;  // clock time of the last new row (or of the connect)
    bool m_stalled = false;    // the stall's idle frame has been delivered
    std::string m_error;
    std::string m_lastReported;
    // A read of the map met a file shrinking under it: the sample being
    // read is not taken.
    mutable bool m_readFaulted = false;
    // Every value of the row being read was there so far.
    bool m_rowComplete = true;
    bool m_toldBadRow = false;       // this connection's block pointed a row outside the map
    bool m_toldBadVariable = false;  // ... or a variable's element outside the map or its count
};

}  // namespace qv
