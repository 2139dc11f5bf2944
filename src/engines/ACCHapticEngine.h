#pragma once
// The Assetto Corsa Competizione engine: reads the physics and graphics pages,
// takes a sample whenever the physics packet id changes, derives suspension
// velocities from the travel, learns each wheel's rolling radius and
// longitudinal-slip bias while the car coasts straight, and computes the
// frame with the simple or the dual-band suspension model (the profile's
// suspDualBand).
//
// Sources: ACCHapticEngine.cpp (pages, sample, calibration), ACCHaptics.cpp
// (haptic computation), ACCDashboard.cpp (dashboard and logger rows). What it
// shares with the AC engine: AcPages (the pages), PacketClock (time steps,
// pulse time, stall rule), VelocityRing (kerb band), AcFamily (suspension
// velocity, engine and wheel-slip terms), AcDashboard.

#include "engines/AcFamily.h"
#include "engines/AcPages.h"
#include "engines/ISimHapticEngine.h"
#include "engines/PacketClock.h"
#include "engines/VelocityRing.h"
#include "platform/Clock.h"

#include <cstdint>
#include <string>

namespace qv {

// The values of the last sample. Zero after connect, packet id -1.
struct ACCSample {
    float suspVel[kCornerCount] = {};     // m/s, LF RF LR RR
    float suspTravel[kCornerCount] = {};  // m
    float wheelSlip[kCornerCount] = {};   // raw, as published
    float wheelSpeed[kCornerCount] = {};  // m/s, angular speed x rolling radius
    float lngSlip[kCornerCount] = {};     // calibrated longitudinal slip
    float rpm = 0.0f;
    float throttle = 0.0f;  // 0..1
    float brake = 0.0f;     // 0..1
    float speed = 0.0f;     // m/s
    int32_t gear = 0;       // as published: 0 reverse, 1 neutral, 2 first
    bool onTrack = false;   // session live and not in the pit lane
    bool inPit = false;
    int32_t packetId = -1;
    float dt = 0.0f;  // s, the time step of this sample

    bool isOffTrack() const { return !onTrack || inPit; }
};

// What the engine learns while the car coasts in a straight line; lives for
// one connection.
struct ACCCalibration {
    float wheelRadius[kCornerCount] = {0.33f, 0.33f, 0.33f, 0.33f};  // m
    bool radiusCalibrated = false;
    int32_t radiusCount = 0;
    float lngSlipBias[kCornerCount] = {};
    bool biasCalibrated = false;
    int32_t biasCount = 0;

    bool isComplete() const { return radiusCalibrated && biasCalibrated; }
};

// Turns a sample into the frame (ACCHaptics.cpp). Off track or in the pit
// lane it writes the idle frame and leaves the ring alone. pulseSeconds: the
// time of the sample since the connect, for the ABS pulse.
void computeACCFrame(const ACCSample& sample, VelocityRing& ring, double pulseSeconds, const EffectProfile& fx,
                     HapticFrame& out);

class ACCHapticEngine final : public ISimHapticEngine {
public:
    // shmFolder: where the pages live ("" = sharedMemoryFolder());
    // clock: time steps, ABS pulse and stall rule (null = the system clock).
    explicit ACCHapticEngine(const std::string& shmFolder = {}, IClock* clock = nullptr);
    ~ACCHapticEngine() override;

    bool connect() override;
    bool isConnected() const override;
    void disconnect() override;
    bool update(const EffectProfile& fx, HapticFrame& out) override;
    const char* displayName() const override { return "ACC"; }

    int gear() const override { return m_sample.gear; }
    float speedMps() const override { return m_sample.speed; }
    bool isOnTrack() const override { return m_sample.onTrack && !m_sample.inPit; }

    void drawDashboardHeader(IConsole& console, bool audioActive, int channels, const EffectProfile& fx) override;
    void drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                       float secondsSinceShift) override;
    bool writeCsvHeader(std::string& out) override;
    bool writeCsvRow(std::string& out) override;

    static const char* csvHeader();

    const ACCSample& sample() const { return m_sample; }
    const ACCCalibration& calibration() const { return m_calibration; }
    const VelocityRing& ring() const { return m_ring; }
    const HapticFrame& lastFrame() const { return m_lastFrame; }
    // The last connect failure worth telling the user (empty when none).
    const std::string& lastError() const { return m_error; }

private:
    bool readTelemetry();
    void calibrate(float speedKmh, float accelG, const float angularSpeed[kCornerCount]);

    SystemClock m_systemClock;
    PacketClock m_packetClock;
    AcPages m_pages;
    int32_t m_lastPacketId = -1;
    TravelVelocity m_travel;
    VelocityRing m_ring;
    ACCSample m_sample;
    ACCCalibration m_calibration;
    HapticFrame m_lastFrame;
    std::string m_error;
    std::string m_lastReported;
};

}  // namespace qv
