#pragma once
// The Assetto Corsa engine: the same pages as the ACC engine (smaller
// mappings, the same offsets), a sample whenever the physics packet id
// changes, and its own constants. It learns nothing: lock-up is recognised
// from the wheel speed and the raw wheel slip.
//
// Sources: ACHapticEngine.cpp (pages and sample), ACHaptics.cpp (haptic
// computation), ACDashboard.cpp (dashboard and logger rows). Shared with the
// ACC engine: AcFamily, AcFamilyDashboard.

#include "engines/AcFamily.h"
#include "engines/ISimHapticEngine.h"

#include <cstdint>
#include <string>

namespace qv {

// The values of the last sample. Zero after connect, packet id -1. The gear
// is the published gear - 1: -1 reverse, 0 neutral, 1 first.
struct ACSample : AcCommonSample {
    float wheelRpm[kCornerCount] = {};  // signed wheel speed, rpm
    bool hasWheelRpm[kCornerCount] = {true, true, true, true};  // false: missing; the wheel's lock-up is then silent
};

// Turns a sample into the frame (ACHaptics.cpp). Off track or in the pit
// lane it writes the idle frame and leaves the ring alone. pulseSeconds: the
// time of the sample since the connect, for the 7 Hz lock-up pulse.
void computeACFrame(const ACSample& sample, VelocityRing& ring, double pulseSeconds, const EffectProfile& fx,
                    HapticFrame& out);

class ACHapticEngine final : public AcEngineBase<ACSample> {
public:
    // shmFolder: where the pages live ("" = sharedMemoryFolder());
    // clock: time steps, lock-up pulse and stall rule (null = the system clock).
    explicit ACHapticEngine(const std::string& shmFolder = {}, IClock* clock = nullptr)
        : AcEngineBase(shmFolder, clock) {}

    bool connect() override;
    bool update(const EffectProfile& fx, HapticFrame& out) override;
    const char* displayName() const override { return "AC"; }

    void drawDashboardHeader(IConsole& console, bool audioActive, int channels, const EffectProfile& fx) override;
    void drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                       float secondsSinceShift) override;
    bool writeCsvHeader(std::string& out) override;
    bool writeCsvRow(std::string& out) override;

    static const char* csvHeader();

private:
    bool readTelemetry();
};

}  // namespace qv
