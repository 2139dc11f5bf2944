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
// shares with the AC engine: AcFamily (AcEngineBase, the connection to the
// pages with its packet clock and kerb ring, the values every sample reads,
// the suspension and wheel-slip terms), AcFamilyDashboard.

#include "engines/AcFamily.h"
#include "engines/ISimHapticEngine.h"

#include <cstdint>
#include <string>

namespace qv {

// The values of the last sample. Zero after connect, packet id -1. The gear
// as published: 0 reverse, 1 neutral, 2 first.
struct ACCSample : AcCommonSample {
    float wheelSpeed[kCornerCount] = {};  // m/s, angular speed x rolling radius
    bool hasWheelSpeed[kCornerCount] = {true, true, true, true};  // false: the angular speed is missing (no slip, no lock-up)
    float lngSlip[kCornerCount] = {};     // calibrated longitudinal slip; 0 without the wheel speed
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

class ACCHapticEngine final : public AcEngineBase<ACCSample> {
public:
    // shmFolder: where the pages live ("" = sharedMemoryFolder());
    // clock: time steps, ABS pulse and stall rule (null = the system clock).
    explicit ACCHapticEngine(const std::string& shmFolder = {}, IClock* clock = nullptr)
        : AcEngineBase(shmFolder, clock) {}

    bool connect() override;
    bool update(const EffectProfile& fx, HapticFrame& out) override;
    const char* displayName() const override { return "ACC"; }

    void drawDashboardHeader(IConsole& console, bool audioActive, int channels, const EffectProfile& fx) override;
    void drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                       float secondsSinceShift) override;
    bool writeCsvHeader(std::string& out) override;
    bool writeCsvRow(std::string& out) override;

    static const char* csvHeader();

    const ACCCalibration& calibration() const { return m_calibration; }
    const HapticFrame& lastFrame() const { return m_lastFrame; }

private:
    bool readTelemetry();
    // Learns from a complete sample only; a sample with a missing value
    // (TelemetryValues.h) teaches nothing.
    void calibrate(float speedKmh, float accelG, const float angularSpeed[kCornerCount]);

    ACCCalibration m_calibration;
    HapticFrame m_lastFrame;
};

}  // namespace qv
