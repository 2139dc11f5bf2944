// The iRacing engine's console dashboard and suspension-logger rows.

#include "engines/ConsoleKit.h"
#include "engines/DashboardRows.h"
#include "engines/IRacingHapticEngine.h"

#include <algorithm>
#include <cmath>

namespace qv {

void drawIRacingDashboardHeader(IConsole& console, bool audioActive, int channels, bool is360Hz) {
    drawTitleRows(console, "iRacing");

    drawAudioLine(console, audioActive, channels,
                  std::string("  | iRacing: ") + (is360Hz ? "360Hz sub-sampling" : "60Hz") + std::string(30, ' '));

    const char* rowLabels[4] = {"  Shock Vel   (m/s) ", "  Kerb Pitch   (Hz) ", "  ABS/Lock          ",
                                "  Wheel Slip        "};
    drawTelemetryHeadings(console, rowLabels);

    drawText(console, 0, 11, ConsoleAttr::kCyan, std::string("  [ ") + (is360Hz ? "360Hz" : "60Hz") + " - Vehicle ]");
    drawText(console, 0, 12, ConsoleAttr::kNormal, "  RPM / Gear / Speed");

    drawOutputHeadings(console, 15, suspensionOutputLabels(false));
    drawGearLogHeadings(console);
    console.setColor(ConsoleAttr::kNormal);
}

void drawIRacingDashboard(IConsole& console, const IRacingSample& sample, const HapticFrame& shown,
                          const EffectProfile& fx, int updatesPerSecond, float secondsSinceShift) {
    const bool offTrack = sample.isOffTrack();

    drawTrackBanner(console, offTrack, "IN GARAGE");
    drawUpdateCounter(console, updatesPerSecond, formatText("Tick: %8d  ", sample.tickCount));

    for (int c = 0; c < kCornerCount; ++c) {
        const int x = kTelemetryColumns[c];
        drawShockVelocityCell(console, x, 7, offTrack ? 0.0f : sample.shockVel[c]);

        const float p = offTrack ? 0.0f : sample.rumblePitch[c];
        drawTelemetryCell(console, x, 8, p > 0.0f ? ConsoleAttr::kRed : ConsoleAttr::kNormal,
                          formatText("%8.1f Hz%s  ", static_cast<double>(p), p > 0.0f ? " KERB!" : "      "));

        drawLockCell(console, x, 9, offTrack ? 0.0f : shownValue(shown.corners[c].absAmp));
        drawTelemetryCell(console, x, 10, ConsoleAttr::kNormal, kNoValueCell);
    }

    // The rpm and speed show as read, also off track; only the colour rests.
    drawVehicleLine(console, kVehicleLineColumn, 12, sample.rpm, sample.gear, sample.speed, sample.onTrack, offTrack);
    drawOutputRows(console, 15, shown, fx, secondsSinceShift, offTrack);
    drawGearLog(console, 24, sample.gear, secondsSinceShift, fx);
    console.setColor(ConsoleAttr::kNormal);
}

const char* IRacingCsvFormatter::header() {
    return "timestamp_ms,speed_kmh,throttle,brake,gear,steerAngle,localVelY,yawRate,latAccel,longAccel,"
           "shockVel_LF,shockVel_RF,shockVel_LR,shockVel_RR,yawAccel,latVelDelta,rearShockDiff,frontShockDiff,"
           "accelDeficit\n";
}

bool IRacingCsvFormatter::appendRow(const IRacingSample& s, std::string& out) {
    if (s.isOffTrack())
        return false;
    double dt = s.sessionTime - m_prevSessionTime;
    if (m_prevSessionTime == 0.0 || !(dt > 0.0) || dt > 0.5)
        dt = 1.0 / 60.0;
    const double yawAccel = (static_cast<double>(s.yawRate) - m_prevYawRate) / dt;
    const double latVelDelta = (static_cast<double>(s.localVelY) - m_prevLocalVelY) / dt;
    const float accelDeficit = std::max(0.0f, 5.0f * s.throttle - std::max(s.longAccel, 0.0f));
    appendFormat(out,
                 "%.1f,%.1f,%.3f,%.3f,%d,%.4f,%.4f,%.4f,%.4f,%.4f,%.5f,%.5f,%.5f,%.5f,%.3f,%.3f,%.5f,%.5f,%.3f\n", 0.0,
                 static_cast<double>(s.speed * 3.6f), static_cast<double>(s.throttle), static_cast<double>(s.brake),
                 s.gear, static_cast<double>(s.steerAngle), static_cast<double>(s.localVelY),
                 static_cast<double>(s.yawRate), static_cast<double>(s.latAccel), static_cast<double>(s.longAccel),
                 static_cast<double>(s.shockVel[0]), static_cast<double>(s.shockVel[1]),
                 static_cast<double>(s.shockVel[2]), static_cast<double>(s.shockVel[3]), yawAccel, latVelDelta,
                 static_cast<double>(std::fabs(s.shockVel[2] - s.shockVel[3])),
                 static_cast<double>(std::fabs(s.shockVel[0] - s.shockVel[1])), static_cast<double>(accelDeficit));
    m_prevYawRate = s.yawRate;
    m_prevLocalVelY = s.localVelY;
    m_prevSessionTime = s.sessionTime;
    return true;
}

}  // namespace qv
