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
// shares with the AC engine: AcFamily (the connection to the pages with its
// packet clock and kerb ring, the values every sample reads, the wheel-slip
// term), AcDashboard.

#include "engines/AcFamily.h"
#include "engines/ISimHapticEngine.h"

#include <cstdint>
#include <string>

namespace qv {

// The values of the last sample. Zero after connect, packet id -1. The gear
// as published: 0 reverse, 1 neutral, 2 first.
struct ACCSample : AcCommonSample {
    float wheelSpeed[kCornerCount] = {};  // m/s, angular speed x rolling radius
    float lngSlip[kCornerCount] = {};     // calibrated longitudinal slip
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
    const VelocityRing& ring() const { return m_link.ring(); }
    const HapticFrame& lastFrame() const { return m_lastFrame; }
    // The last connect failure worth telling the user (empty when none).
    const std::string& lastError() const { return m_link.lastError(); }

private:
    bool readTelemetry();
    void calibrate(float speedKmh, float accelG, const float angularSpeed[kCornerCount]);

    AcConnection m_link;
    ACCSample m_sample;
    ACCCalibration m_calibration;
    HapticFrame m_lastFrame;
};

}  // namespace qv
