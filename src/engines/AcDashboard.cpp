#include "engines/AcDashboard.h"

#include "engines/ConsoleKit.h"
#include "engines/DashboardRows.h"

#include <algorithm>
#include <cmath>

namespace qv {

AcDashboardSample dashboardSampleOf(const AcCommonSample& sample, const float* lngSlip) {
    AcDashboardSample d;
    d.suspVel = sample.suspVel;
    d.lngSlip = lngSlip;
    d.wheelSlip = sample.wheelSlip;
    d.rpm = sample.rpm;
    d.speed = sample.speed;
    d.gear = sample.gear;
    d.onTrack = sample.onTrack;
    d.inPit = sample.inPit;
    d.packetId = sample.packetId;
    return d;
}

void drawAcDashboardHeader(IConsole& console, AcDashboardKind kind, bool audioActive, int channels, bool dualBand) {
    const bool acc = kind == AcDashboardKind::ACC;
    console.clear();
    const std::string rule(80, '=');
    drawText(console, 0, 0, ConsoleAttr::kCyan, rule);
    drawText(console, 0, 1, ConsoleAttr::kCyan,
             acc ? "  Quor Vane  v0.6.103  |  ACC  |  Ctrl+C to exit"
                 : "  Quor Vane  v0.6.103  |  Assetto Corsa  |  Ctrl+C to exit");
    drawText(console, 0, 2, ConsoleAttr::kCyan, rule);

    std::string audio = "  Audio: ";
    audio += audioActive ? "ACTIVE" : "INACTIVE";
    audio += "  Channels: " + std::to_string(channels);
    audio += acc ? "  | ACC  Mode: " : "  | AC  Mode: ";
    audio += dualBand ? "Advanced (Dual-Band)" : "Simple";
    audio += std::string(acc ? 30 : 31, ' ');
    drawText(console, 0, 3, audioActive ? ConsoleAttr::kGreen : ConsoleAttr::kRed, audio);

    drawText(console, 0, 5, ConsoleAttr::kYellow, "  [ Per-Corner Telemetry ]");
    for (int c = 0; c < kCornerCount; ++c) {
        drawText(console, kTelemetryColumns[c], 6, ConsoleAttr::kWhite,
                 std::string("---- ") + kCornerNames[c] + " --------------------");
    }
    drawText(console, 0, 7, ConsoleAttr::kNormal, "  Shock Vel   (m/s) ");
    drawText(console, 0, 8, ConsoleAttr::kNormal, dualBand ? "  Fast Susp/Kerb    " : "  [Kerb in Susp]    ");
    drawText(console, 0, 9, ConsoleAttr::kNormal, acc ? "  Lng Slip   (calc) " : "  ABS/Lock          ");
    drawText(console, 0, 10, ConsoleAttr::kNormal, "  Wheel Slip  (raw) ");

    drawText(console, 0, 11, ConsoleAttr::kCyan, "  [ Vehicle ]");
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

void drawAcDashboard(IConsole& console, AcDashboardKind kind, const AcDashboardSample& sample,
                     const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                     float secondsSinceShift) {
    const bool offTrack = !sample.onTrack || sample.inPit;
    auto live = [offTrack](const float* values, int c) {
        return offTrack || !values ? 0.0f : shownValue(values[c]);
    };

    if (offTrack) {
        drawText(console, 0, 5, ConsoleAttr::kYellow,
                 "  *** OFF TRACK / IN PITS -- all effects zero (shaker/amp protection) ***   ");
    } else {
        drawText(console, 0, 5, ConsoleAttr::kYellow, std::string(80, ' '));
    }
    drawText(console, 50, 3, ConsoleAttr::kGreen,
             formatText("| Updates: %3d/s  pkt: %8d  ", updatesPerSecond, sample.packetId));

    for (int c = 0; c < kCornerCount; ++c) {
        const int x = kTelemetryColumns[c];
        const float v = live(sample.suspVel, c);
        drawText(console, x, 7, levelColour(std::min(std::fabs(v) * 0.5f, 1.0f)),
                 formatText("%8.4f [%s]  ", static_cast<double>(v), ratioBar(v, 2.0f, 5).c_str()));

        if (fx.suspDualBand) {
            const float u = offTrack ? 0.0f : shownValue(shown.corners[c].kerbAmp);
            drawText(console, x, 8, u > 0.05f ? ConsoleAttr::kRed : ConsoleAttr::kNormal,
                     formatText("%8.3f%s   ", static_cast<double>(u), u > 0.05f ? " KERB! " : "       "));
        } else {
            drawText(console, x, 8, ConsoleAttr::kNormal, "  --           ");
        }

        if (kind == AcDashboardKind::ACC) {
            const float s = live(sample.lngSlip, c);
            const int colour = s > 0.08f ? ConsoleAttr::kRed : s > 0.03f ? ConsoleAttr::kYellow : ConsoleAttr::kNormal;
            drawText(console, x, 9, colour, formatText("%6.3f%s  ", static_cast<double>(s), s > 0.08f ? " ABS! " : "      "));
        } else {
            const float a = offTrack ? 0.0f : shownValue(shown.corners[c].absAmp);
            if (a > 0.1f)
                drawText(console, x, 9, ConsoleAttr::kRed, formatText("%5.2f LOCK  ", static_cast<double>(a)));
            else
                drawText(console, x, 9, ConsoleAttr::kNormal, "  --           ");
        }

        const float w = live(sample.wheelSlip, c);
        const int colour = w > 2.1f ? ConsoleAttr::kRed : w > 1.2f ? ConsoleAttr::kYellow : ConsoleAttr::kNormal;
        drawText(console, x, 10, colour, formatText("%6.3f%s  ", static_cast<double>(w), w > 2.1f ? " SLIP!" : "      "));
    }

    drawVehicleLine(console, 12, sample.rpm, sample.gear, sample.speed, sample.onTrack, offTrack);
    drawOutputRows(console, 15, shown, fx, secondsSinceShift, offTrack);
    drawGearLog(console, 24, sample.gear, secondsSinceShift, fx);
    console.setColor(ConsoleAttr::kNormal);
}

}  // namespace qv
