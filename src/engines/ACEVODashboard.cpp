// The AC EVO engine's console dashboard and suspension-logger rows.
//
// The gear-change log and the logger hint sit on rows 23 to 25, like every
// other engine's, so they never collide with the run loop's own lines (the
// logger status on row 25 replaces the hint; row 26 is the exit line).

#include "engines/ACEVOHapticEngine.h"
#include "engines/ACEVOLayout.h"
#include "engines/ConsoleKit.h"
#include "engines/DashboardRows.h"

#include <climits>
#include <cmath>

namespace qv {

namespace {

// Two rows lower than the other engines': rows 11 and 12 carry the
// simulator's own vibration signals.
constexpr int kOutputRow = 17;
constexpr int kGearLogRow = 24;
// Right after the update counter.
constexpr int kEngineTagColumn = kUpdateCounterColumn + kUpdateCounterWidth;
// Right of the row label "  RPM / Gear / Speed / Engine".
constexpr int kVehicleColumn = 30;

// AC EVO counts gears from 0 = reverse, 1 = neutral; the dashboards count
// from -1 = reverse, 0 = neutral.
int shownGear(int32_t gear) { return gear == INT_MIN ? INT_MIN : gear - 1; }

}  // namespace

void drawACEVODashboardHeader(IConsole& console, bool audioActive, int channels) {
    drawTitleRows(console, "AC EVO");

    std::string audio = "  Audio: ";
    audio += audioActive ? "ACTIVE  " : "INACTIVE";
    audio += "  Channels: " + std::to_string(channels) + std::string(50, ' ');
    drawText(console, 0, 3, audioActive ? ConsoleAttr::kGreen : ConsoleAttr::kRed,
             fitted(audio, kUpdateCounterColumn));

    const char* rowLabels[4] = {"  Shock Vel   (m/s) ", "  Kerb/Fast Susp    ", "  Slip Ratio  (lng) ",
                                "  Wheel Slip  (raw) "};
    drawTelemetryHeadings(console, rowLabels);

    drawText(console, 0, 11, ConsoleAttr::kCyan, "  [ Kunos Pre-Computed Signals ]");
    drawText(console, 0, 12, ConsoleAttr::kNormal, "  roadVibrations / kerbVibration / absVibrations (raw)");
    drawText(console, 0, 13, ConsoleAttr::kCyan, "  [ Vehicle ]");
    drawText(console, 0, 14, ConsoleAttr::kNormal, "  RPM / Gear / Speed / Engine");

    const char* labels[6] = {"  Road Texture  ", "  Slow Susp.    ", "  Kerb          ",
                             "  ABS/Lock      ", "  Gear Change   ", "  Wheel Slip    "};
    drawOutputHeadings(console, kOutputRow, labels);
    drawGearLogHeadings(console);
    console.setColor(ConsoleAttr::kNormal);
}

void drawACEVODashboard(IConsole& console, const ACEVOSample& s, int32_t engineType, const HapticFrame& shown,
                        const EffectProfile& fx, int updatesPerSecond, float secondsSinceShift) {
    const bool off = !s.onTrack;

    if (off) {
        drawText(console, 0, 5, ConsoleAttr::kYellow, offTrackBanner("IN PITS"));
    } else if (s.absActing) {
        drawText(console, 0, 5, ConsoleAttr::kRed, padded("  *** ABS ACTIVE ***", 78));
    } else {
        drawText(console, 0, 5, ConsoleAttr::kNormal, padded("  [ Per-Corner Telemetry ]", 78));
    }

    drawUpdateCounter(console, updatesPerSecond, formatText("pkt: %8d  ", s.packetId));
    if (engineType == acevo::kEngineElectric)
        drawText(console, kEngineTagColumn, 3, ConsoleAttr::kCyan, " [EV]   ");
    else
        drawText(console, kEngineTagColumn, 3, ConsoleAttr::kNormal, " [ICE]   ");

    for (int c = 0; c < kCornerCount; ++c) {
        const int x = kTelemetryColumns[c];
        drawShockVelocityCell(console, x, 7, off ? 0.0f : s.suspVelocity[c]);
        drawKerbCell(console, x, 8, off ? 0.0f : shownValue(shown.corners[c].kerbAmp));

        const float ratio = off ? 0.0f : s.slipRatio[c];
        const int ratioColour = std::fabs(ratio) > 0.2f   ? ConsoleAttr::kRed
                                : std::fabs(ratio) > 0.1f ? ConsoleAttr::kYellow
                                                          : ConsoleAttr::kNormal;
        drawTelemetryCell(console, x, 9, ratioColour, formatText("%7.3f      ", static_cast<double>(ratio)));

        drawFlaggedCell(console, x, 10, off ? 0.0f : s.wheelSlip[c], 1.2f, 2.1f, " SLIP!");
    }

    // From column 0: the values replace the header's legend of this row.
    drawText(console, 0, 12, ConsoleAttr::kCyan,
             fitted(formatText("  road=%.4f  kerb=%.4f  absVib=%.4f  slipVib=%.4f                ",
                               off ? 0.0 : static_cast<double>(s.roadVibrations),
                               off ? 0.0 : static_cast<double>(s.kerbVibration),
                               off ? 0.0 : static_cast<double>(s.absVibrations),
                               off ? 0.0 : static_cast<double>(s.slipVibration)),
                    kConsoleColumns));

    drawVehicleLine(console, kVehicleColumn, 14, s.rpm, shownGear(s.gear), s.speed, s.onTrack, off);
    drawOutputRows(console, kOutputRow, shown, fx, secondsSinceShift, off);
    drawGearLog(console, kGearLogRow, s.gear, secondsSinceShift, fx);
    console.setColor(ConsoleAttr::kNormal);
}

const char* acevoCsvHeader() {
    return "timestamp_ms,speed_kmh,steerAngle,gear,rpm,currentTorque,brake_pct,throttle_pct,"
           "wheelSlip_LF,wheelSlip_RF,wheelSlip_LR,wheelSlip_RR,slipRatio_LF,slipRatio_RF,slipRatio_LR,slipRatio_RR,"
           "slipAngle_LF,slipAngle_RF,slipAngle_LR,slipAngle_RR\n";
}

bool appendACEVOCsvRow(const ACEVOSample& s, std::string& out) {
    if (!s.onTrack)
        return false;
    auto d = [](float v) { return static_cast<double>(v); };
    appendFormat(out,
                 "%.1f,%.1f,%.4f,%d,%.0f,%.1f,%.3f,%.3f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f\n",
                 0.0, d(s.speed * 3.6f), d(s.steerAngle), s.gear, d(s.rpm), d(s.currentTorque), d(s.brake),
                 d(s.throttle), d(s.wheelSlip[0]), d(s.wheelSlip[1]), d(s.wheelSlip[2]), d(s.wheelSlip[3]),
                 d(s.slipRatio[0]), d(s.slipRatio[1]), d(s.slipRatio[2]), d(s.slipRatio[3]), d(s.slipAngle[0]),
                 d(s.slipAngle[1]), d(s.slipAngle[2]), d(s.slipAngle[3]));
    return true;
}

}  // namespace qv
