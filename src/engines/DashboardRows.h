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

// The row labels of the telemetry rows take columns 0 to 19; the four corner
// cells follow, each kTelemetryCellWidth wide, so that the last ends at
// column 116 of the 120.
inline constexpr int kTelemetryCellWidth = 24;
inline constexpr int kTelemetryColumns[kCornerCount] = {20, 44, 68, 92};

// The output rows: 16-character labels, then four cells of a value and its
// bar with two blanks between them.
inline constexpr int kOutputCellWidth = 18;
inline constexpr int kOutputColumns[kCornerCount] = {17, 35, 53, 71};

// Row 3: the audio line ends where the update counter starts; the longest
// audio line (inactive audio, two-digit channels, the dual-band mode name)
// is 66 characters.
inline constexpr int kUpdateCounterColumn = 68;
// The update counter is at most this wide; what a dashboard adds to row 3
// goes right of it.
inline constexpr int kUpdateCounterWidth = 33;

// Where the vehicle line starts when its row label is the usual
// "  RPM / Gear / Speed".
inline constexpr int kVehicleLineColumn = 22;

// A telemetry cell that shows no value.
inline constexpr const char* kNoValueCell = "  --           ";

// NaN and infinities show as 0.
float shownValue(float x);

// ---- The header: what is drawn once, when the dashboard starts.

// Clears the console and draws rows 0 to 2: the title with `simName`
// between two rules.
void drawTitleRows(IConsole& console, const char* simName);

// Row 3: "  Audio: ACTIVE  Channels: n" (or INACTIVE) and `tail`, green while
// the audio runs, else red; cut at the update counter's column.
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

// At (kUpdateCounterColumn, 3): "| Updates: nnn/s  ", then `source`, what the
// engine counts its samples by (packet id, tick or rate).
void drawUpdateCounter(IConsole& console, int updatesPerSecond, const std::string& source);

// A telemetry cell at (column, row), cut to kTelemetryCellWidth.
void drawTelemetryCell(IConsole& console, int column, int row, int attribute, const std::string& text);

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

// At (column, row), right of the row's label: rpm, gear and speed as read,
// "ON TRACK " or "OFF TRACK" from onTrack, in the colour of the 0..1 `level`.
void drawVehicleLineWithLevel(IConsole& console, int column, int row, float level, float rpm, int gear,
                              float speedMps, bool onTrack);
// The same with the level rpm / 9000, resting (green) while offTrack.
void drawVehicleLine(IConsole& console, int column, int row, float rpm, int gear, float speedMps, bool onTrack,
                     bool offTrack);

// Rows firstRow .. firstRow + 5, one column per corner: road, impact, kerb
// and ABS amplitudes of `shown`, the gear pulse, the slip amplitude, each as
// value and bar. While offTrack every value but the gear pulse shows 0.
void drawOutputRows(IConsole& console, int firstRow, const HapticFrame& shown, const EffectProfile& fx,
                    float secondsSinceShift, bool offTrack);

// Row `row` from column 0 (in place of the header's waiting line), once a
// gear change happened (secondsSinceShift < 99): the gear, the time since
// the change and the pulse settings, red for 0.3 s, yellow up to 1 s, then
// grey.
void drawGearLog(IConsole& console, int row, int gear, float secondsSinceShift, const EffectProfile& fx);

}  // namespace qv
