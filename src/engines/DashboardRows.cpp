#include "engines/DashboardRows.h"

#include "engines/ConsoleKit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv {

namespace {

constexpr const char* kSimpleOutputLabels[6] = {"  Road Vibration", "  Susp. Impact  ", "  Kerb/Rumble   ",
                                                "  ABS/Lock      ", "  Gear Change   ", "  Wheel Slip    "};
constexpr const char* kDualBandOutputLabels[6] = {"  Road Vibration", "  Slow Susp.    ", "  Fast Susp.    ",
                                                  "  ABS/Lock      ", "  Gear Change   ", "  Wheel Slip    "};

}  // namespace

float shownValue(float x) { return std::isfinite(x) ? x : 0.0f; }

void drawTitleRows(IConsole& console, const char* simName) {
    console.clear();
    const std::string rule(80, '=');
    drawText(console, 0, 0, ConsoleAttr::kCyan, rule);
    drawText(console, 0, 1, ConsoleAttr::kCyan,
             std::string("  Quor Vane  v0.6.103  |  ") + simName + "  |  Ctrl+C to exit");
    drawText(console, 0, 2, ConsoleAttr::kCyan, rule);
}

void drawAudioLine(IConsole& console, bool audioActive, int channels, const std::string& tail) {
    drawText(console, 0, 3, audioActive ? ConsoleAttr::kGreen : ConsoleAttr::kRed,
             fitted(std::string("  Audio: ") + (audioActive ? "ACTIVE" : "INACTIVE") + "  Channels: " +
                        std::to_string(channels) + tail,
                    kUpdateCounterColumn));
}

const char* suspensionModeName(bool dualBand) { return dualBand ? "Advanced (Dual-Band)" : "Simple"; }

void drawTelemetryHeadings(IConsole& console, const char* const rowLabels[4]) {
    drawText(console, 0, 5, ConsoleAttr::kYellow, "  [ Per-Corner Telemetry ]");
    // Each caption keeps a blank before the next corner's.
    for (int c = 0; c < kCornerCount; ++c) {
        drawText(console, kTelemetryColumns[c], 6, ConsoleAttr::kWhite,
                 fitted(std::string("---- ") + kCornerNames[c] + " --------------------", kTelemetryCellWidth - 1));
    }
    for (int i = 0; i < 4; ++i)
        drawText(console, 0, 7 + i, ConsoleAttr::kNormal, rowLabels[i]);
}

const char* const* suspensionOutputLabels(bool dualBand) {
    return dualBand ? kDualBandOutputLabels : kSimpleOutputLabels;
}

void drawOutputHeadings(IConsole& console, int firstRow, const char* const labels[6]) {
    drawText(console, 0, firstRow - 2, ConsoleAttr::kCyan, "  [ Haptic Output per Corner  0.0=off  1.0=full ]");
    // The corner names stand over the middle of their value and bar.
    std::string corners = "  Corner";
    for (int c = 0; c < kCornerCount; ++c)
        corners = padded(corners, static_cast<size_t>(kOutputColumns[c] + 7)) + kCornerNames[c];
    drawText(console, 0, firstRow - 1, ConsoleAttr::kNormal, corners);
    for (int i = 0; i < 6; ++i)
        drawText(console, 0, firstRow + i, ConsoleAttr::kNormal, labels[i]);
}

void drawGearLogHeadings(IConsole& console) {
    drawText(console, 0, 23, ConsoleAttr::kCyan, "  [ Gear Change Log ]");
    drawText(console, 0, 24, ConsoleAttr::kNormal, "  Waiting for first gear change...");
    drawText(console, 0, 25, ConsoleAttr::kCyan,
             "  [ Susp Logger ]  Press L to start/stop (2min, 120Hz -> susp_log.csv)");
}

std::string offTrackBanner(const char* place) {
    return std::string("  *** OFF TRACK / ") + place + " -- all effects zero (shaker/amp protection) ***   ";
}

void drawTrackBanner(IConsole& console, bool offTrack, const char* place) {
    drawText(console, 0, 5, ConsoleAttr::kYellow, offTrack ? offTrackBanner(place) : std::string(80, ' '));
}

void drawUpdateCounter(IConsole& console, int updatesPerSecond, const std::string& source) {
    drawText(console, kUpdateCounterColumn, 3, ConsoleAttr::kGreen,
             fitted(formatText("| Updates: %3d/s  ", updatesPerSecond) + source, kUpdateCounterWidth));
}

void drawTelemetryCell(IConsole& console, int column, int row, int attribute, const std::string& text) {
    drawText(console, column, row, attribute, fitted(text, kTelemetryCellWidth));
}

void drawShockVelocityCell(IConsole& console, int column, int row, float v) {
    drawTelemetryCell(console, column, row, levelColour(std::min(std::fabs(v) * 0.5f, 1.0f)),
                      formatText("%8.4f [%s]  ", static_cast<double>(v), ratioBar(v, 2.0f, 5).c_str()));
}

void drawKerbCell(IConsole& console, int column, int row, float amplitude) {
    const bool kerb = amplitude > 0.05f;
    drawTelemetryCell(console, column, row, kerb ? ConsoleAttr::kRed : ConsoleAttr::kNormal,
                      formatText("%8.3f%s   ", static_cast<double>(amplitude), kerb ? " KERB! " : "       "));
}

void drawLockCell(IConsole& console, int column, int row, float amplitude) {
    if (amplitude > 0.1f)
        drawTelemetryCell(console, column, row, ConsoleAttr::kRed,
                          formatText("%5.2f LOCK  ", static_cast<double>(amplitude)));
    else
        drawTelemetryCell(console, column, row, ConsoleAttr::kNormal, kNoValueCell);
}

void drawFlaggedCell(IConsole& console, int column, int row, float value, float yellowAbove, float redAbove,
                     const char* flag) {
    const int colour = value > redAbove      ? ConsoleAttr::kRed
                       : value > yellowAbove ? ConsoleAttr::kYellow
                                             : ConsoleAttr::kNormal;
    drawTelemetryCell(console, column, row, colour,
                      formatText("%6.3f%s  ", static_cast<double>(value), value > redAbove ? flag : "      "));
}

void drawVehicleLineWithLevel(IConsole& console, int column, int row, float level, float rpm, int gear,
                              float speedMps, bool onTrack) {
    drawText(console, column, row, levelColour(level),
             formatText("%6.0f rpm  Gear:%s  %5.1f km/h  %s  ", static_cast<double>(shownValue(rpm)),
                        gearText(gear).c_str(), static_cast<double>(shownValue(speedMps * 3.6f)),
                        onTrack ? "ON TRACK " : "OFF TRACK"));
}

void drawVehicleLine(IConsole& console, int column, int row, float rpm, int gear, float speedMps, bool onTrack,
                     bool offTrack) {
    drawVehicleLineWithLevel(console, column, row, offTrack ? 0.0f : rpm / 9000.0f, rpm, gear, speedMps, onTrack);
}

void drawOutputRows(IConsole& console, int firstRow, const HapticFrame& shown, const EffectProfile& fx,
                    float secondsSinceShift, bool offTrack) {
    float gearPulse = 0.0f;
    if (secondsSinceShift >= 0.0f && secondsSinceShift < 1.0f)
        gearPulse = shownValue((1.0f - secondsSinceShift) * fx.gearChangeIntensity);
    for (int c = 0; c < kCornerCount; ++c) {
        const CornerHaptics& h = shown.corners[c];
        const float values[6] = {offTrack ? 0.0f : h.roadAmp, offTrack ? 0.0f : h.impactAmp,
                                 offTrack ? 0.0f : h.kerbAmp, offTrack ? 0.0f : h.absAmp,
                                 gearPulse,                   offTrack ? 0.0f : h.slipAmp};
        for (int i = 0; i < 6; ++i) {
            const float v = shownValue(values[i]);
            drawText(console, kOutputColumns[c], firstRow + i, levelColour(v),
                     fitted(formatText("%5.3f [%s]  ", static_cast<double>(v), makeBar(v, 8, '#').c_str()),
                            kOutputCellWidth));
        }
    }
}

void drawGearLog(IConsole& console, int row, int gear, float secondsSinceShift, const EffectProfile& fx) {
    if (!(secondsSinceShift < 99.0f))
        return;
    const int attribute = secondsSinceShift < 0.3f ? ConsoleAttr::kRed
                          : secondsSinceShift < 1.0f ? ConsoleAttr::kYellow
                                                     : ConsoleAttr::kNormal;
    // From column 0, so that the line replaces the waiting line as a whole.
    char text[82];
    std::snprintf(text, sizeof text, "  Gear %d  |  %.1fs ago  |  intensity=%.0f%%  duration=%dms     ", gear,
                  static_cast<double>(secondsSinceShift), static_cast<double>(shownValue(fx.gearChangeIntensity) * 100.0f),
                  gearPulseMs(fx.gearChangeDuration));
    drawText(console, 0, row, attribute, text);
}

}  // namespace qv
