// The ACC engine's console dashboard and suspension-logger rows.

#include "engines/ACCHapticEngine.h"

#include "engines/AcFamilyDashboard.h"
#include "engines/ConsoleKit.h"

namespace qv {

void ACCHapticEngine::drawDashboardHeader(IConsole& console, bool audioActive, int channels,
                                          const EffectProfile& fx) {
    drawAcDashboardHeader(console, AcDashboardKind::ACC, audioActive, channels, fx.suspDualBand != 0);
}

void ACCHapticEngine::drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx,
                                    int updatesPerSecond, float secondsSinceShift) {
    drawAcDashboard(console, AcDashboardKind::ACC, dashboardSampleOf(m_sample, m_sample.lngSlip), shown, fx,
                    updatesPerSecond, secondsSinceShift);
}

const char* ACCHapticEngine::csvHeader() {
    return "timestamp_ms,speed_kmh,brake_pct,lngSlip_LF,lngSlip_RF,lngSlip_LR,lngSlip_RR,absAmp_LF,absAmp_RF,"
           "absAmp_LR,absAmp_RR,bias_LF,bias_RF,bias_LR,bias_RR,calibrated\n";
}

bool ACCHapticEngine::writeCsvHeader(std::string& out) {
    out += csvHeader();
    return true;
}

bool ACCHapticEngine::writeCsvRow(std::string& out) {
    // Nothing off track, and nothing for the stall's idle frame: it is no
    // sample, and a row would repeat the last one.
    if (m_sample.isOffTrack() || m_link.packetClock().isStalled())
        return false;
    const ACCSample& s = m_sample;
    const HapticFrame& f = m_lastFrame;
    const float* bias = m_calibration.lngSlipBias;
    appendFormat(out, "%.1f,%.1f,%.3f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%d\n", 0.0,
                 static_cast<double>(s.speed * 3.6f), static_cast<double>(s.brake),
                 static_cast<double>(s.lngSlip[0]), static_cast<double>(s.lngSlip[1]),
                 static_cast<double>(s.lngSlip[2]), static_cast<double>(s.lngSlip[3]),
                 static_cast<double>(f.corners[0].absAmp), static_cast<double>(f.corners[1].absAmp),
                 static_cast<double>(f.corners[2].absAmp), static_cast<double>(f.corners[3].absAmp),
                 static_cast<double>(bias[0]), static_cast<double>(bias[1]), static_cast<double>(bias[2]),
                 static_cast<double>(bias[3]), m_calibration.isComplete() ? 1 : 0);
    return true;
}

}  // namespace qv
