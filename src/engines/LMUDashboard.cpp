// The Le Mans Ultimate engine's console dashboard and suspension-logger rows.

#include "engines/ConsoleKit.h"
#include "engines/DashboardRows.h"
#include "engines/LMUHapticEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv {

namespace {

std::string padded(std::string text, size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

}  // namespace

void drawLMUDashboardHeader(IConsole& console, bool audioActive, int channels, bool dualBand) {
    console.clear();
    const std::string rule(80, '=');
    drawText(console, 0, 0, ConsoleAttr::kCyan, rule);
    drawText(console, 0, 1, ConsoleAttr::kCyan, "  Quor Vane  v0.6.103  |  Le Mans Ultimate  |  Ctrl+C to exit");
    drawText(console, 0, 2, ConsoleAttr::kCyan, rule);

    std::string audio = "  Audio: ";
    audio += audioActive ? "ACTIVE" : "INACTIVE";
    audio += "  Channels: " + std::to_string(channels) + "  | LMU  Mode: ";
    audio += dualBand ? "Advanced (Dual-Band)" : "Simple";
    audio += std::string(30, ' ');
    drawText(console, 0, 3, audioActive ? ConsoleAttr::kGreen : ConsoleAttr::kRed, audio);

    drawText(console, 0, 5, ConsoleAttr::kYellow, "  [ Per-Corner Telemetry ]");
    for (int c = 0; c < kCornerCount; ++c) {
        drawText(console, kTelemetryColumns[c], 6, ConsoleAttr::kWhite,
                 std::string("---- ") + kCornerNames[c] + " --------------------");
    }
    drawText(console, 0, 7, ConsoleAttr::kNormal, "  Shock Vel   (m/s) ");
    drawText(console, 0, 8, ConsoleAttr::kNormal, "  Surface Type      ");
    drawText(console, 0, 9, ConsoleAttr::kNormal, "  Lng Slip (ABS)    ");
    drawText(console, 0, 10, ConsoleAttr::kNormal, "  Grip Fract (0-1)  ");

    drawText(console, 0, 11, ConsoleAttr::kCyan, "  [ Vehicle + Electronics ]");
    drawText(console, 0, 12, ConsoleAttr::kNormal, "  RPM / Gear / Speed");

    drawText(console, 0, 13, ConsoleAttr::kCyan, "  [ Haptic Output per Corner  0.0=off  1.0=full ]");
    drawText(console, 0, 14, ConsoleAttr::kNormal,
             "  Corner           LF              RF              LR              RR");
    const char* labels[6] = {"  Road Vibration",
                             dualBand ? "  Slow Susp.    " : "  Susp. Impact  ",
                             dualBand ? "  Fast Susp.    " : "  Kerb/Rumble   ",
                             "  ABS/Lock      ",
                             "  Gear Change   ",
                             "  Wheel Slip    "};
    for (int i = 0; i < 6; ++i)
        drawText(console, 0, 15 + i, ConsoleAttr::kNormal, labels[i]);

    drawText(console, 0, 23, ConsoleAttr::kCyan, "  [ Gear Change Log ]");
    drawText(console, 0, 24, ConsoleAttr::kNormal, "  Waiting for first gear change...");
    drawText(console, 0, 25, ConsoleAttr::kCyan,
             "  [ Susp Logger ]  Press L to start/stop (2min, 120Hz -> susp_log.csv)");
    console.setColor(ConsoleAttr::kNormal);
}

void drawLMUDashboard(IConsole& console, const LmuSample& s, const LmuState& st, float updateRateHz,
                      const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                      float secondsSinceShift) {
    const bool off = !s.onTrack;

    if (off) {
        drawText(console, 0, 5, ConsoleAttr::kYellow,
                 "  *** OFF TRACK / IN PITS -- all effects zero (shaker/amp protection) ***   ");
    } else {
        drawText(console, 0, 5, ConsoleAttr::kYellow, std::string(80, ' '));
    }

    drawText(console, 50, 3, ConsoleAttr::kGreen,
             formatText("| Updates: %3d/s  Sim: %5.0fHz  ", updatesPerSecond,
                        static_cast<double>(shownValue(updateRateHz))));

    for (int c = 0; c < kCornerCount; ++c) {
        const int x = kTelemetryColumns[c];
        const LmuCorner& corner = s.corners[c];

        const float v = off ? 0.0f : corner.suspVelocity;
        drawText(console, x, 7, levelColour(std::min(std::fabs(v) * 0.5f, 1.0f)),
                 formatText("%8.4f [%s]  ", static_cast<double>(v), ratioBar(v, 2.0f, 5).c_str()));

        const bool kerb = !off && corner.onKerb;
        drawText(console, x, 8, kerb ? ConsoleAttr::kRed : ConsoleAttr::kNormal,
                 formatText("%8s              ", off ? "-----" : surfaceName(corner.surfaceType)));

        const float ratio = off ? 0.0f : corner.slipRatio;
        const float lock = off ? 0.0f : shownValue(shown.corners[c].absAmp);
        if (lock > 0.1f)
            drawText(console, x, 9, ConsoleAttr::kRed, formatText("%6.3f LOCK  ", static_cast<double>(ratio)));
        else
            drawText(console, x, 9, ratio > 0.04f ? ConsoleAttr::kYellow : ConsoleAttr::kNormal,
                     formatText("%6.3f       ", static_cast<double>(ratio)));

        const float grip = off ? 0.0f : corner.gripFraction;
        if (grip > 0.5f)
            drawText(console, x, 10, ConsoleAttr::kRed, formatText("%6.3f SLIP!  ", static_cast<double>(grip)));
        else
            drawText(console, x, 10, grip > 0.2f ? ConsoleAttr::kYellow : ConsoleAttr::kNormal,
                     formatText("%6.3f        ", static_cast<double>(grip)));
    }

    char electronics[140];
    std::snprintf(electronics, sizeof electronics, "  TC:%d/%d  ABS:%d/%d  Map:%d/%d  Bias:%s  K:%.4f%s  latV:%.2f",
                  s.tcPair[0], s.tcPair[1], s.absPair[0], s.absPair[1], s.mapPair[0], s.mapPair[1],
                  st.biasDone ? "OK" : "cal", static_cast<double>(st.steerK), st.steerKDone ? "" : "(cal)",
                  static_cast<double>(s.lateralVelocity));
    drawText(console, 0, 11, ConsoleAttr::kCyan, padded(electronics, 78));

    const float rpmLevel = (off || !(st.rpmLimit > 0.0f)) ? 0.0f : s.engineRpm / st.rpmLimit;
    drawText(console, 22, 12, levelColour(rpmLevel),
             formatText("%6.0f rpm  Gear:%s  %5.1f km/h  %s  ", static_cast<double>(s.engineRpm),
                        gearText(s.gear).c_str(), static_cast<double>(s.speed * 3.6f),
                        s.onTrack ? "ON TRACK " : "OFF TRACK"));

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
