#pragma once
// Rows that several engines' dashboards draw the same way, given the values
// of their own sample: the vehicle line, the haptic output block and the
// gear-change log line.

#include "engines/HapticFrame.h"
#include "platform/Console.h"
#include "settings/HapticSettings.h"

namespace qv {

// At (22, row): rpm, gear and speed as read, "ON TRACK " or "OFF TRACK" from
// onTrack; the colour follows rpm / 9000, resting (green) while offTrack.
void drawVehicleLine(IConsole& console, int row, float rpm, int gear, float speedMps, bool onTrack, bool offTrack);

// Rows firstRow .. firstRow + 5, one column per corner: road, impact, kerb
// and ABS amplitudes of `shown`, the gear pulse, the slip amplitude, each as
// value and bar. While offTrack every value but the gear pulse shows 0.
void drawOutputRows(IConsole& console, int firstRow, const HapticFrame& shown, const EffectProfile& fx,
                    float secondsSinceShift, bool offTrack);

// At (2, row), once a gear change happened (secondsSinceShift < 99): the
// gear, the time since the change and the pulse settings, red for 0.3 s,
// yellow up to 1 s, then grey.
void drawGearLog(IConsole& console, int row, int gear, float secondsSinceShift, const EffectProfile& fx);

// The corner columns of the telemetry rows.
inline constexpr int kTelemetryColumns[kCornerCount] = {2, 32, 62, 92};

// NaN and infinities show as 0.
float shownValue(float x);

}  // namespace qv
