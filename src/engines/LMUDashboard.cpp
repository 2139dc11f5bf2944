// The Le Mans Ultimate engine's console dashboard and suspension-logger rows.

#include "engines/ConsoleKit.h"
#include "engines/DashboardRows.h"
#include "engines/LMUHapticEngine.h"

#include <cstdio>

namespace qv {

void drawLMUDashboardHeader(IConsole& console, bool audioActive, int channels, bool dualBand) {
    drawTitleRows(console, "Le Mans Ultimate");

    drawAudioLine(console, audioActive, channels,
                  std::string("  | LMU  Mode: ") + suspensionModeName(dualBand) + std::string(30, ' '));

    const char* rowLabels[4] = {"  Shock Vel   (m/s) ", "  Surface Type      ", "  Lng Slip (ABS)    ",
                                "  Grip Fract (0-1)  "};
    drawTelemetryHeadings(console, rowLabels);

    drawText(console, 0, 11, ConsoleAttr::kCyan, "  [ Vehicle + Electronics ]");
    drawText(console, 0, 12, ConsoleAttr::kNormal, "  RPM / Gear / Speed");

    drawOutputHeadings(console, 15, suspensionOutputLabels(dualBand));
    drawGearLogHeadings(console);
    console.setColor(ConsoleAttr::kNormal);
}

void drawLMUDashboard(IConsole& console, const LmuSample& s, const LmuState& st, float updateRateHz,
                      const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                      float secondsSinceShift) {
    const bool off = !s.onTrack;

    drawTrackBanner(console, off, "IN PITS");
    drawUpdateCounter(console, updatesPerSecond,
                      formatText("Sim: %5.0fHz  ", static_cast<double>(shownValue(updateRateHz))));

    for (int c = 0; c < kCornerCount; ++c) {
        const int x = kTelemetryColumns[c];
        const LmuCorner& corner = s.corners[c];

        drawShockVelocityCell(console, x, 7, off ? 0.0f : corner.suspVelocity);

        const bool kerb = !off && corner.onKerb;
        drawTelemetryCell(console, x, 8, kerb ? ConsoleAttr::kRed : ConsoleAttr::kNormal,
                          formatText("%8s              ", off ? "-----" : surfaceName(corner.surfaceType)));

        const float ratio = off ? 0.0f : corner.slipRatio;
        const float lock = off ? 0.0f : shownValue(shown.corners[c].absAmp);
        if (lock > 0.1f)
            drawTelemetryCell(console, x, 9, ConsoleAttr::kRed, formatText("%6.3f LOCK  ", static_cast<double>(ratio)));
        else
            drawTelemetryCell(console, x, 9, ratio > 0.04f ? ConsoleAttr::kYellow : ConsoleAttr::kNormal,
                              formatText("%6.3f       ", static_cast<double>(ratio)));

        drawFlaggedCell(console, x, 10, off ? 0.0f : corner.gripFraction, 0.2f, 0.5f, " SLIP!");
    }

    char electronics[140];
    std::snprintf(electronics, sizeof electronics, "  TC:%d/%d  ABS:%d/%d  Map:%d/%d  Bias:%s  K:%.4f%s  latV:%.2f",
                  s.tcPair[0], s.tcPair[1], s.absPair[0], s.absPair[1], s.mapPair[0], s.mapPair[1],
                  st.biasDone ? "OK" : "cal", static_cast<double>(st.steerK), st.steerKDone ? "" : "(cal)",
                  static_cast<double>(s.lateralVelocity));
    drawText(console, 0, 11, ConsoleAttr::kCyan, padded(electronics, 78));

    const float rpmLevel = (off || !(st.rpmLimit > 0.0f)) ? 0.0f : s.engineRpm / st.rpmLimit;
    drawVehicleLineWithLevel(console, kVehicleLineColumn, 12, rpmLevel, s.engineRpm, s.gear, s.speed, s.onTrack);
    drawOutputRows(console, 15, shown, fx, secondsSinceShift, off);
    drawGearLog(console, 24, s.gear, secondsSinceShift, fx);
    console.setColor(ConsoleAttr::kNormal);
}

const char* lmuCsvHeader() {
    return "timestamp_ms,speed_kmh,dt_ms,shockVel_LF,shockVel_RF,shockVel_LR,shockVel_RR,"
           "gripFract_LF,gripFract_RF,gripFract_LR,gripFract_RR,surface_LF,surface_RF,surface_LR,surface_RR,"
           "absActive,tcActive,brake,throttle,wheelSpd_LF,wheelSpd_RF,wheelSpd_LR,wheelSpd_RR,"
           "lngSlip_LF,lngSlip_RF,lngSlip_LR,lngSlip_RR,bias_LF,bias_RF,bias_LR,bias_RR,biasDone,"
           "lateralVel,yawRate,steerAngle,steerK,steerKDone\n";
}

bool appendLMUCsvRow(const LmuSample& s, const LmuState& st, std::string& out) {
    if (!s.onTrack)
        return false;
    auto d = [](float v) { return static_cast<double>(v); };
    const LmuCorner* c = s.corners;
    appendFormat(out,
                 "%.1f,%.1f,%.2f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%d,%d,%d,%d,%d,%d,%.3f,%.3f,%.2f,%.2f,%.2f,"
                 "%.2f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%d,%.4f,%.4f,%.4f,%.5f,%d\n",
                 d(s.dt * 1000.0f), d(s.speed * 3.6f), d(s.dt * 1000.0f), d(c[0].suspVelocity), d(c[1].suspVelocity),
                 d(c[2].suspVelocity), d(c[3].suspVelocity), d(c[0].gripFraction), d(c[1].gripFraction),
                 d(c[2].gripFraction), d(c[3].gripFraction), c[0].surfaceType, c[1].surfaceType, c[2].surfaceType,
                 c[3].surfaceType, s.absActive ? 1 : 0, s.tcActive ? 1 : 0, d(s.brake), d(s.throttle),
                 d(c[0].wheelSpeed), d(c[1].wheelSpeed), d(c[2].wheelSpeed), d(c[3].wheelSpeed), d(c[0].slipRatio),
                 d(c[1].slipRatio), d(c[2].slipRatio), d(c[3].slipRatio), d(st.slipBias[0]), d(st.slipBias[1]),
                 d(st.slipBias[2]), d(st.slipBias[3]), st.biasDone ? 1 : 0, d(s.lateralVelocity), d(s.yawRate),
                 d(s.steering), d(st.steerK), st.steerKDone ? 1 : 0);
    return true;
}

}  // namespace qv
