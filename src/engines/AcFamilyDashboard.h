#pragma once
// The console dashboards of the ACC and AC engines: the iRacing layout with
// their own titles, the mode of the suspension model, the packet counter and
// their own telemetry rows 8 to 10.

#include "engines/AcFamily.h"
#include "engines/HapticFrame.h"
#include "platform/Console.h"
#include "settings/HapticSettings.h"

#include <cstdint>

namespace qv {

enum class AcDashboardKind {
    ACC,  // row 9: the calculated longitudinal slip
    AC,   // row 9: the lock-up amplitude of the shown frame
};

// What the dashboards show of an engine's last sample.
struct AcDashboardSample {
    const float* suspVel = nullptr;    // [kCornerCount], m/s
    const float* lngSlip = nullptr;    // [kCornerCount]; ACC only
    const float* wheelSlip = nullptr;  // [kCornerCount], raw
    float rpm = 0.0f;
    float speed = 0.0f;  // m/s
    int gear = 0;        // as the engine reports it
    bool onTrack = false;
    bool inPit = false;
    int32_t packetId = -1;
};

// What the dashboards show of an engine's sample; lngSlip: the ACC engine's
// calculated longitudinal slip (null for AC).
AcDashboardSample dashboardSampleOf(const AcCommonSample& sample, const float* lngSlip = nullptr);

void drawAcDashboardHeader(IConsole& console, AcDashboardKind kind, bool audioActive, int channels, bool dualBand);
void drawAcDashboard(IConsole& console, AcDashboardKind kind, const AcDashboardSample& sample,
                     const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond, float secondsSinceShift);

}  // namespace qv
