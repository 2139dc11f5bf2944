// The iRacing engine's console dashboard and suspension-logger rows.

#include "engines/ConsoleKit.h"
#include "engines/IRacingHapticEngine.h"

#include <cmath>
#include <cstdio>

namespace qv {

namespace {

constexpr int kCornerColumns[kCornerCount] = {2, 32, 62, 92};
constexpr int kOutputColumns[kCornerCount] = {16, 32, 48, 64};

float finiteOrZero(float x) { return std::isfinite(x) ? x : 0.0f; }

}  // namespace

void drawIRacingDashboardHeader(IConsole& console, bool audioActive, int channels, bool is360Hz) {
    console.clear();
    const std::string rule(80, '=');
    drawText(console, 0, 0, ConsoleAttr::kCyan, rule);
    drawText(console, 0, 1, ConsoleAttr::kCyan, "  Quor Vane  v0.6.103  |  iRacing  |  Ctrl+C to exit");
    drawText(console, 0, 2, ConsoleAttr::kCyan, rule);

    std::string audio = "  Audio: ";
    audio += audioActive ? "ACTIVE" : "INACTIVE";
    audio += "  Channels: " + std::to_string(channels) + "  | iRacing: ";
    audio += is360Hz ? "360Hz sub-sampling" : "60Hz";
    audio += std::string(30, ' ');
    drawText(console, 0, 3, audioActive ? ConsoleAttr::kGreen : ConsoleAttr::kRed, audio);

    drawText(console, 0, 5, ConsoleAttr::kYellow, "  [ Per-Corner Telemetry ]");
    for (int c = 0; c < kCornerCount; ++c) {
        drawText(console, kCornerColumns[c], 6, ConsoleAttr::kWhite,
                 std::string("---- ") + kCornerNames[c] + " --------------------");
    }
    drawText(console, 0, 7, ConsoleAttr::kNormal, "  Shock Vel   (m/s) ");
    drawText(console, 0, 8, ConsoleAttr::kNormal, "  Kerb Pitch   (Hz) ");
    drawText(console, 0, 9, ConsoleAttr::kNormal, "  ABS/Lock          ");
    drawText(console, 0, 10, ConsoleAttr::kNormal, "  Wheel Slip        ");

    drawText(console, 0, 11, ConsoleAttr::kCyan, std::string("  [ ") + (is360Hz ? "360Hz" : "60Hz") + " - Vehicle ]");
    drawText(console, 0, 12, ConsoleAttr::kNormal, "  RPM / Gear / Speed");

    drawText(console, 0, 13, ConsoleAttr::kCyan, "  [ Haptic Output per Corner  0.0=off  1.0=full ]");
    drawText(console, 0, 14, ConsoleAttr::kNormal,
             "  Corner           LF              RF              LR              RR");
    const char* labels[6] = {"  Road Vibration", "  Susp. Impact  ", "  Kerb/Rumble   ",
                             "  ABS/Lock      ", "  Gear Change   ", "  Wheel Slip    "};
    for (int i = 0; i < 6; ++i)
        drawText(console, 0, 15 + i, ConsoleAttr::kNormal, labels[i]);

    drawText(console, 0, 23, ConsoleAttr::kCyan, "  [ Gear Change Log ]");
    drawText(console, 0, 24, ConsoleAttr::kNormal, "  Waiting for first gear change...");
    drawText(console, 0, 25, ConsoleAttr::kCyan,
             "  [ Susp Logger ]  Press L to start/stop (2min, 120Hz -> susp_log.csv)");
    console.setColor(ConsoleAttr::kNormal);
}

void drawIRacingDashboard(IConsole& console, const IRacingSample& sample, const HapticFrame& shown,
                          const EffectProfile& fx, int updatesPerSecond, float secondsSinceShift) {
    const bool offTrack = sample.isOffTrack();

    if (offTrack) {
        drawText(console, 0, 5, ConsoleAttr::kYellow,
                 "  *** OFF TRACK / IN GARAGE -- all effects zero (shaker/amp protection) ***   ");
    } else {
        drawText(console, 0, 5, ConsoleAttr::kYellow, std::string(80, ' '));
    }

    drawText(console, 50, 3, ConsoleAttr::kGreen,
             formatText("| Updates: %3d/s  Tick: %8d  ", updatesPerSecond, sample.tickCount));

    for (int c = 0; c < kCornerCount; ++c) {
        const int x = kCornerColumns[c];
        const float s = offTrack ? 0.0f : sample.shockVel[c];
        drawText(console, x, 7, levelColour(std::min(std::fabs(s) * 0.5f, 1.0f)),
                 formatText("%8.4f [%s]  ", s, ratioBar(s, 2.0f, 5).c_str()));

        const float p = offTrack ? 0.0f : sample.rumblePitch[c];
        drawText(console, x, 8, p > 0.0f ? ConsoleAttr::kRed : ConsoleAttr::kNormal,
                 formatText("%8.1f Hz%s  ", p, p > 0.0f ? " KERB!" : "      "));

        const float a = offTrack ? 0.0f : finiteOrZero(shown.corners[c].absAmp);
        if (a > 0.1f)
            drawText(console, x, 9, ConsoleAttr::kRed, formatText("%5.2f LOCK  ", a));
        else
            drawText(console, x, 9, ConsoleAttr::kNormal, "  --           ");
        drawText(console, x, 10, ConsoleAttr::kNormal, "  --           ");
    }

    // The rpm and speed show as read, also off track; only the colour rests.
    const float rpm = sample.rpm;
    drawText(console, 22, 12, levelColour(offTrack ? 0.0f : rpm / 9000.0f),
             formatText("%6.0f rpm  Gear:%s  %5.1f km/h  %s  ", rpm, gearText(sample.gear).c_str(),
                        sample.speed * 3.6f, sample.onTrack ? "ON TRACK " : "OFF TRACK"));

    float gearPulse = 0.0f;
    if (secondsSinceShift >= 0.0f && secondsSinceShift < 1.0f)
        gearPulse = finiteOrZero((1.0f - secondsSinceShift) * fx.gearChangeIntensity);
    for (int c = 0; c < kCornerCount; ++c) {
        const CornerHaptics& h = shown.corners[c];
        const float values[6] = {offTrack ? 0.0f : h.roadAmp, offTrack ? 0.0f : h.impactAmp,
                                 offTrack ? 0.0f : h.kerbAmp, offTrack ? 0.0f : h.absAmp,
                                 gearPulse,                   offTrack ? 0.0f : h.slipAmp};
        for (int i = 0; i < 6; ++i) {
            const float v = finiteOrZero(values[i]);
            drawText(console, kOutputColumns[c], 15 + i, levelColour(v),
                     formatText("%5.3f [%s]  ", v, makeBar(v, 8, '#').c_str()));
        }
    }

    if (secondsSinceShift < 99.0f) {
        const int attribute = secondsSinceShift < 0.3f ? ConsoleAttr::kRed
                              : secondsSinceShift < 1.0f ? ConsoleAttr::kYellow
                                                         : ConsoleAttr::kNormal;
        char text[80];
        std::snprintf(text, sizeof text, "Gear %d  |  %.1fs ago  |  intensity=%.0f%%  duration=%dms     ",
                      sample.gear, static_cast<double>(secondsSinceShift),
                      static_cast<double>(finiteOrZero(fx.gearChangeIntensity) * 100.0f),
                      gearPulseMs(fx.gearChangeDuration));
        drawText(console, 2, 24, attribute, text);
    }
    console.setColor(ConsoleAttr::kNormal);
}

const char* IRacingCsvFormatter::header() {
    return "timestamp_ms,speed_kmh,throttle,brake,gear,steerAngle,localVelY,yawRate,latAccel,longAccel,"
           "shockVel_LF,shockVel_RF,shockVel_LR,shockVel_RR,yawAccel,latVelDelta,rearShockDiff,frontShockDiff,"
           "accelDeficit\n";
}

bool IRacingCsvFormatter::appendRow(const IRacingSample& s, std::string& out) {
    if (s.isOffTrack())
        return false;
    double dt = s.sessionTime - m_prevSessionTime;
    if (m_prevSessionTime == 0.0 || !(dt > 0.0) || dt > 0.5)
        dt = 1.0 / 60.0;
    const double yawAccel = (static_cast<double>(s.yawRate) - m_prevYawRate) / dt;
    const double latVelDelta = (static_cast<double>(s.localVelY) - m_prevLocalVelY) / dt;
    const float accelDeficit = std::max(0.0f, 5.0f * s.throttle - std::max(s.longAccel, 0.0f));
    appendFormat(out,
                 "%.1f,%.1f,%.3f,%.3f,%d,%.4f,%.4f,%.4f,%.4f,%.4f,%.5f,%.5f,%.5f,%.5f,%.3f,%.3f,%.5f,%.5f,%.3f\n", 0.0,
                 static_cast<double>(s.speed * 3.6f), static_cast<double>(s.throttle), static_cast<double>(s.brake),
                 s.gear, static_cast<double>(s.steerAngle), static_cast<double>(s.localVelY),
                 static_cast<double>(s.yawRate), static_cast<double>(s.latAccel), static_cast<double>(s.longAccel),
                 static_cast<double>(s.shockVel[0]), static_cast<double>(s.shockVel[1]),
                 static_cast<double>(s.shockVel[2]), static_cast<double>(s.shockVel[3]), yawAccel, latVelDelta,
                 static_cast<double>(std::fabs(s.shockVel[2] - s.shockVel[3])),
                 static_cast<double>(std::fabs(s.shockVel[0] - s.shockVel[1])), static_cast<double>(accelDeficit));
    m_prevYawRate = s.yawRate;
    m_prevLocalVelY = s.localVelY;
    m_prevSessionTime = s.sessionTime;
    return true;
}

}  // namespace qv
