#pragma once
// The parts that every engine's dashboard draws the same way, given the
// values of its own sample: the header's fixed rows, the banner and update
// counter, the telemetry cells several engines share, the vehicle line, the
// haptic output block and the gear-change log line.

#include "engines/HapticFrame.h"
#include "platform/Console.h"
#include "settings/HapticSettings.h"

#include <string>

namespace qv {

// The corner columns of the telemetry rows.
inline constexpr int kTelemetryColumns[kCornerCount] = {2, 32, 62, 92};

// A telemetry cell that shows no value.
inline constexpr const char* kNoValueCell = "  --           ";

// NaN and infinities show as 0.
float shownValue(float x);

// ---- The header: what is drawn once, when the dashboard starts.

// Clears the console and draws rows 0 to 2: the title with `simName`
// between two rules.
void drawTitleRows(IConsole& console, const char* simName);

// Row 3: "  Audio: ACTIVE  Channels: n" (or INACTIVE) and `tail`, green while
// the audio runs, else red.
void drawAudioLine(IConsole& console, bool audioActive, int channels, const std::string& tail);
// The name of the profile's suspension model on the audio line.
const char* suspensionModeName(bool dualBand);

// Rows 5 to 10: the per-corner telemetry title, the corner headings and the
// labels of the four telemetry rows 7 to 10.
void drawTelemetryHeadings(IConsole& console, const char* const rowLabels[4]);

// The labels of the six output rows in the profile's suspension model:
// road, impact or slow band, kerb or fast band, ABS, gear change, slip.
const char* const* suspensionOutputLabels(bool dualBand);

// Rows firstRow - 2 .. firstRow + 5: the haptic output title, the corner
// line and the labels of the six output rows.
void drawOutputHeadings(IConsole& console, int firstRow, const char* const labels[6]);

// Rows 23 to 25: the gear-change log title, its waiting line and the
// suspension-logger hint.
void drawGearLogHeadings(IConsole& console);

// ---- The rows drawn for every sample.

// Row 5 while off track: every effect is zero, "IN PITS" or "IN GARAGE" as
// `place`.
std::string offTrackBanner(const char* place);
// Row 5: the off-track banner while offTrack, else a blank row.
void drawTrackBanner(IConsole& console, bool offTrack, const char* place);

// At (50, 3): "| Updates: nnn/s  ", then `source`, what the engine counts
// its samples by (packet id, tick or rate).
void drawUpdateCounter(IConsole& console, int updatesPerSecond, const std::string& source);

// The suspension velocity as value and centred bar, coloured by |v| / 2.
void drawShockVelocityCell(IConsole& console, int column, int row, float v);
// The kerb amplitude: red and flagged "KERB!" above 0.05.
void drawKerbCell(IConsole& console, int column, int row, float amplitude);
// The lock-up amplitude: red "LOCK" above 0.1, else no value.
void drawLockCell(IConsole& console, int column, int row, float amplitude);
// A "%6.3f" value: red with `flag` (six characters) above redAbove, yellow
// above yellowAbove, else grey.
void drawFlaggedCell(IConsole& console, int column, int row, float value, float yellowAbove, float redAbove,
                     const char* flag);

// At (22, row): rpm, gear and speed as read, "ON TRACK " or "OFF TRACK" from
// onTrack, in the colour of the 0..1 `level`.
void drawVehicleLineWithLevel(IConsole& console, int row, float level, float rpm, int gear, float speedMps,
                              bool onTrack);
// The same with the level rpm / 9000, resting (green) while offTrack.
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

}  // namespace qv
