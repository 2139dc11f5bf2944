#include "engines/AcFamilyDashboard.h"

#include "engines/ConsoleKit.h"
#include "engines/DashboardRows.h"

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
    drawTitleRows(console, acc ? "ACC" : "Assetto Corsa");

    drawAudioLine(console, audioActive, channels,
                  std::string(acc ? "  | ACC  Mode: " : "  | AC  Mode: ") + suspensionModeName(dualBand) +
                      std::string(acc ? 30 : 31, ' '));

    const char* rowLabels[4] = {"  Shock Vel   (m/s) ", dualBand ? "  Fast Susp/Kerb    " : "  [Kerb in Susp]    ",
                                acc ? "  Lng Slip   (calc) " : "  ABS/Lock          ", "  Wheel Slip  (raw) "};
    drawTelemetryHeadings(console, rowLabels);

    drawText(console, 0, 11, ConsoleAttr::kCyan, "  [ Vehicle ]");
    drawText(console, 0, 12, ConsoleAttr::kNormal, "  RPM / Gear / Speed");

    drawOutputHeadings(console, 15, suspensionOutputLabels(dualBand));
    drawGearLogHeadings(console);
    console.setColor(ConsoleAttr::kNormal);
}

void drawAcDashboard(IConsole& console, AcDashboardKind kind, const AcDashboardSample& sample,
                     const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                     float secondsSinceShift) {
    const bool offTrack = !sample.onTrack || sample.inPit;
    auto live = [offTrack](const float* values, int c) {
        return offTrack || !values ? 0.0f : shownValue(values[c]);
    };

    drawTrackBanner(console, offTrack, "IN PITS");
    drawUpdateCounter(console, updatesPerSecond, formatText("pkt: %8d  ", sample.packetId));

    for (int c = 0; c < kCornerCount; ++c) {
        const int x = kTelemetryColumns[c];
        drawShockVelocityCell(console, x, 7, live(sample.suspVel, c));

        if (fx.suspDualBand)
            drawKerbCell(console, x, 8, offTrack ? 0.0f : shownValue(shown.corners[c].kerbAmp));
        else
            drawTelemetryCell(console, x, 8, ConsoleAttr::kNormal, kNoValueCell);

        if (kind == AcDashboardKind::ACC)
            drawFlaggedCell(console, x, 9, live(sample.lngSlip, c), 0.03f, 0.08f, " ABS! ");
        else
            drawLockCell(console, x, 9, offTrack ? 0.0f : shownValue(shown.corners[c].absAmp));

        drawFlaggedCell(console, x, 10, live(sample.wheelSlip, c), 1.2f, 2.1f, " SLIP!");
    }

    drawVehicleLine(console, kVehicleLineColumn, 12, sample.rpm, sample.gear, sample.speed, sample.onTrack, offTrack);
    drawOutputRows(console, 15, shown, fx, secondsSinceShift, offTrack);
    drawGearLog(console, 24, sample.gear, secondsSinceShift, fx);
    console.setColor(ConsoleAttr::kNormal);
}

}  // namespace qv
