#pragma once
// The AC EVO engine: maps the simulator's physics and graphics pages, takes a
// sample whenever the physics packet counter changes, caches the car's engine
// type once per connection, and computes the frame mostly from the vibration
// signals the simulator pre-computes (road, kerb) plus suspension velocity,
// slip ratio and wheel slip.
//
// Sources: ACEVOHapticEngine.cpp (telemetry access and haptic computation),
// ACEVODashboard.cpp (dashboard and logger rows).
//
// Both pages are copied whole before anything is read, a value that is not
// finite or far outside what a car can do counts as missing and reads 0
// (TelemetryValues.h; the effect it feeds is silent), and the frame leaves
// with amplitudes in 0..1. Like the simulator's own pages, the maps stay usable when the page
// files are removed (the simulator quit): the engine stays connected and
// stalls. A page that shrank, or a newer file under the same name (the
// simulator started again), makes isConnected() false, and the run loop
// reconnects.

#include "engines/AcFamily.h"
#include "engines/ISimHapticEngine.h"
#include "engines/PacketClock.h"
#include "platform/Clock.h"
#include "platform/SharedMemory.h"

#include <array>
#include <cstdint>
#include <string>

namespace qv {

// The values of the last sample taken. Zero after connect.
struct ACEVOSample {
    float suspVelocity[kCornerCount] = {};  // m/s, LF RF LR RR
    bool hasSuspVelocity[kCornerCount] = {true, true, true, true};  // false: missing (TravelVelocity); no impact or kerb there
    float suspTravel[kCornerCount] = {};    // m
    float wheelSlip[kCornerCount] = {};     // raw
    float slipRatio[kCornerCount] = {};     // longitudinal
    float slipAngle[kCornerCount] = {};
    float rpm = 0.0f;
    float throttle = 0.0f;  // 0..1
    float brake = 0.0f;     // 0..1
    float speed = 0.0f;     // m/s
    float steerAngle = 0.0f;
    int32_t gear = 0;  // 0 reverse, 1 neutral, 2 first, ...
    int32_t currentMaxRpm = 0;
    float currentTorque = 0.0f;
    bool onTrack = false;
    bool absActing = false;
    float absLevel = 0.0f;
    bool engineRunning = false;
    float roadVibrations = 0.0f;
    float kerbVibration = 0.0f;
    float absVibrations = 0.0f;
    float slipVibration = 0.0f;
    int32_t packetId = -1;  // of the sample; -1 before the first
};

// Turns a sample into the frame under `fx` (off track: the idle frame).
// engineType: the cached engine type (1 = electric motor).
void computeACEVOFrame(const ACEVOSample& sample, int32_t engineType, const EffectProfile& fx, HapticFrame& out);

// The dashboard and logger columns (ACEVODashboard.cpp).
void drawACEVODashboardHeader(IConsole& console, bool audioActive, int channels);
void drawACEVODashboard(IConsole& console, const ACEVOSample& sample, int32_t engineType, const HapticFrame& shown,
                        const EffectProfile& fx, int updatesPerSecond, float secondsSinceShift);
const char* acevoCsvHeader();
// False (nothing appended) off track.
bool appendACEVOCsvRow(const ACEVOSample& sample, std::string& out);

class ACEVOHapticEngine final : public ISimHapticEngine {
public:
    // shmFolder: where the pages live ("" = sharedMemoryFolder());
    // clock: time steps and the stall rule (null = the system clock).
    explicit ACEVOHapticEngine(std::string shmFolder = {}, IClock* clock = nullptr);
    ~ACEVOHapticEngine() override;

    bool connect() override;
    bool isConnected() const override;
    void disconnect() override;
    bool update(const EffectProfile& fx, HapticFrame& out) override;
    const char* displayName() const override { return "AC EVO"; }

    int gear() const override { return m_sample.gear; }
    float speedMps() const override { return m_sample.speed; }
    bool isOnTrack() const override { return m_sample.onTrack; }

    void drawDashboardHeader(IConsole& console, bool audioActive, int channels, const EffectProfile& fx) override;
    void drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                       float secondsSinceShift) override;
    bool writeCsvHeader(std::string& out) override;
    bool writeCsvRow(std::string& out) override;

    const ACEVOSample& sample() const { return m_sample; }
    int32_t engineType() const { return m_engineType; }
    bool isEngineTypeCached() const { return m_engineTypeCached; }
    // The time step the last sample used, s.
    float lastDt() const { return m_lastDt; }
    const HapticFrame& lastFrame() const { return m_lastFrame; }
    // The last connect failure worth telling the user (empty when none).
    const std::string& lastError() const { return m_error; }

private:
    bool mapSharedPage(SharedMemoryMap& map, const char* name, size_t size);
    bool readTelemetry();

    SystemClock m_systemClock;
    IClock* m_clock;
    // Time steps and the stall rule: one idle frame after more than 0.5 s
    // without a new packet, also when none came since the connect.
    PacketClock m_packets;
    SharedMemoryMap m_physics;
    SharedMemoryMap m_graphics;
    int32_t m_lastPacketId = -1;
    TravelVelocity m_travel;
    int32_t m_engineType = 0;
    bool m_engineTypeCached = false;
    ACEVOSample m_sample;
    HapticFrame m_lastFrame;
    // The last true update() carried a new sample (not the stall's idle frame).
    bool m_haveNewSample = false;
    float m_lastDt = 0.0f;
    std::array<uint8_t, 800> m_physicsCopy{};
    std::array<uint8_t, 3936> m_graphicsCopy{};
    std::string m_error;
    std::string m_lastReported;
};

}  // namespace qv
