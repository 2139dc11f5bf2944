// The AC engine's console dashboard and suspension-logger rows.

#include "engines/ACHapticEngine.h"

#include "engines/AcFamilyDashboard.h"
#include "engines/ConsoleKit.h"

namespace qv {

void ACHapticEngine::drawDashboardHeader(IConsole& console, bool audioActive, int channels,
                                         const EffectProfile& fx) {
    drawAcDashboardHeader(console, AcDashboardKind::AC, audioActive, channels, fx.suspDualBand != 0);
}

void ACHapticEngine::drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx,
                                   int updatesPerSecond, float secondsSinceShift) {
    drawAcDashboard(console, AcDashboardKind::AC, dashboardSampleOf(m_sample), shown, fx, updatesPerSecond,
                    secondsSinceShift);
}

const char* ACHapticEngine::csvHeader() {
    return "timestamp_ms,speed_kmh,dt_ms,shockVel_LF,shockVel_RF,shockVel_LR,shockVel_RR,wheelSlip_LF,wheelSlip_RF,"
           "wheelSlip_LR,wheelSlip_RR,wheelRPM_LF,wheelRPM_RF,wheelRPM_LR,wheelRPM_RR\n";
}

bool ACHapticEngine::writeCsvHeader(std::string& out) {
    out += csvHeader();
    return true;
}

bool ACHapticEngine::writeCsvRow(std::string& out) {
    // Nothing off track, and nothing for the stall's idle frame: it is no
    // sample, and a row would repeat the last one.
    if (m_sample.isOffTrack() || m_link.packetClock().isStalled())
        return false;
    const ACSample& s = m_sample;
    // dt_ms carries the sample's time step, so rows can be put on a time line.
    appendFormat(out, "%.1f,%.1f,%.2f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.2f,%.2f,%.2f,%.2f\n", 0.0,
                 static_cast<double>(s.speed * 3.6f), static_cast<double>(s.dt) * 1000.0,
                 static_cast<double>(s.suspVel[0]), static_cast<double>(s.suspVel[1]),
                 static_cast<double>(s.suspVel[2]), static_cast<double>(s.suspVel[3]),
                 static_cast<double>(s.wheelSlip[0]), static_cast<double>(s.wheelSlip[1]),
                 static_cast<double>(s.wheelSlip[2]), static_cast<double>(s.wheelSlip[3]),
                 static_cast<double>(s.wheelRpm[0]), static_cast<double>(s.wheelRpm[1]),
                 static_cast<double>(s.wheelRpm[2]), static_cast<double>(s.wheelRpm[3]));
    return true;
}

}  // namespace qv
