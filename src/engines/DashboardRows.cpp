#include "engines/DashboardRows.h"

#include "engines/ConsoleKit.h"

#include <cmath>
#include <cstdio>

namespace qv {

namespace {

constexpr int kOutputColumns[kCornerCount] = {16, 32, 48, 64};

}  // namespace

float shownValue(float x) { return std::isfinite(x) ? x : 0.0f; }

void drawVehicleLine(IConsole& console, int row, float rpm, int gear, float speedMps, bool onTrack, bool offTrack) {
    drawText(console, 22, row, levelColour(offTrack ? 0.0f : rpm / 9000.0f),
             formatText("%6.0f rpm  Gear:%s  %5.1f km/h  %s  ", static_cast<double>(shownValue(rpm)),
                        gearText(gear).c_str(), static_cast<double>(shownValue(speedMps * 3.6f)),
                        onTrack ? "ON TRACK " : "OFF TRACK"));
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
                     formatText("%5.3f [%s]  ", static_cast<double>(v), makeBar(v, 8, '#').c_str()));
        }
    }
}

void drawGearLog(IConsole& console, int row, int gear, float secondsSinceShift, const EffectProfile& fx) {
    if (!(secondsSinceShift < 99.0f))
        return;
    const int attribute = secondsSinceShift < 0.3f ? ConsoleAttr::kRed
                          : secondsSinceShift < 1.0f ? ConsoleAttr::kYellow
                                                     : ConsoleAttr::kNormal;
    char text[80];
    std::snprintf(text, sizeof text, "Gear %d  |  %.1fs ago  |  intensity=%.0f%%  duration=%dms     ", gear,
                  static_cast<double>(secondsSinceShift), static_cast<double>(shownValue(fx.gearChangeIntensity) * 100.0f),
                  gearPulseMs(fx.gearChangeDuration));
    drawText(console, 2, row, attribute, text);
}

}  // namespace qv
