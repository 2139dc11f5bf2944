// The console kit, the iRacing dashboard through the recording console, and
// the logger's CSV lines.

#include "DashboardText.h"
#include "engines/ConsoleKit.h"
#include "engines/IRacingHapticEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace qv::test {
namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(ConsoleKit, BarsClampAndSurviveNaN) {
    EXPECT_EQ(makeBar(1.2f, 8, '#'), "########");
    EXPECT_EQ(makeBar(-0.3f, 8, '#'), "........");
    EXPECT_EQ(makeBar(0.5f, 8, '#'), "####....");
    EXPECT_EQ(makeBar(0.99f, 8, '#'), "#######.");
    EXPECT_EQ(makeBar(kNaN, 8, '#'), "........");
    EXPECT_EQ(makeBar(0.5f, 0, '#'), "");
    EXPECT_EQ(makeBar(0.5f, -4, '#'), "");

    EXPECT_EQ(ratioBar(0.0f, 2.0f, 5), ".....|.....");
    EXPECT_EQ(ratioBar(-2.0f, 2.0f, 5), "#....|.....");
    EXPECT_EQ(ratioBar(2.0f, 2.0f, 5), ".....|....#");
    EXPECT_EQ(ratioBar(50.0f, 2.0f, 5), ".....|....#");
    EXPECT_EQ(ratioBar(0.5f, 2.0f, 5), ".....|#....");
    EXPECT_EQ(ratioBar(-0.3f, 2.0f, 5), ".....|.....") << "less than one step";
    EXPECT_EQ(ratioBar(kNaN, 2.0f, 5), ".....|.....");
    EXPECT_EQ(ratioBar(0.0f, 0.0f, 5), ".....|.....");
    EXPECT_EQ(ratioBar(1.0f, 0.0f, 5), ".....|....#");
    EXPECT_EQ(ratioBar(1.0f, 2.0f, -1), "|");

    EXPECT_EQ(levelColour(0.71f), 12);
    EXPECT_EQ(levelColour(0.7f), 14);
    EXPECT_EQ(levelColour(0.36f), 14);
    EXPECT_EQ(levelColour(0.35f), 10);
    EXPECT_EQ(levelColour(kNaN), 10);

    EXPECT_EQ(gearText(-1), " R");
    EXPECT_EQ(gearText(0), " N");
    EXPECT_EQ(gearText(3), "3");
    EXPECT_EQ(gearText(-2), "-2");
}

TEST(ConsoleKit, FormattingHasNoLengthLimit) {
    std::string out = "x";
    appendFormat(out, "%s|%d", std::string(5000, 'a').c_str(), 7);
    EXPECT_EQ(out.size(), 5003u);
    EXPECT_EQ(out.substr(out.size() - 2), "|7");
    EXPECT_EQ(formatText("%5.1f", 2.25), "  2.2");
}

class IRacingDashboard : public ::testing::Test {
protected:
    IRacingDashboard() {
        sample.onTrack = true;
        sample.sampleCount = 1;
        sample.tickCount = 1234;
        sample.rpm = 7200.0f;
        sample.gear = 3;
        sample.speed = 50.0f;
        sample.shockVel[0] = 0.5f;
        sample.shockVel[1] = -2.0f;
        sample.shockVel[2] = 2.0f;
        sample.rumblePitch[1] = 85.5f;
        shown.corners[0].roadAmp = 0.5f;
        shown.corners[0].impactAmp = 0.2f;
        shown.corners[0].absAmp = 0.45f;
        shown.corners[0].slipAmp = 0.8f;
        shown.corners[3].kerbAmp = 1.0f;
        fx.gearChangeIntensity = 0.8f;
        fx.gearChangeDuration = 0.5f;
        drawIRacingDashboardHeader(console, true, 8, false);
    }

    RecordingConsole console;
    IRacingSample sample;
    HapticFrame shown;
    EffectProfile fx;
};

TEST_F(IRacingDashboard, HeaderDrawsTheStaticFrame) {
    RecordingConsole c;
    c.setCursor(3, 30);
    c.write("old text");
    drawIRacingDashboardHeader(c, false, 2, true);
    EXPECT_EQ(c.clearCount(), 1);
    EXPECT_EQ(trimmed(c.screen().rowText(30)), "");
    EXPECT_EQ(trimmed(c.screen().rowText(0)), std::string(80, '='));
    EXPECT_EQ(trimmed(c.screen().rowText(1)), "  Quor Vane  v0.6.103  |  iRacing  |  Ctrl+C to exit");
    EXPECT_EQ(attributeAt(c, 5, 1), 11);
    EXPECT_EQ(c.screen().rowText(3).substr(0, 78),
              "  Audio: INACTIVE  Channels: 2  | iRacing: 360Hz sub-sampling" + std::string(17, ' '));
    EXPECT_EQ(attributeAt(c, 2, 3), 12);
    EXPECT_EQ(trimmed(c.screen().rowText(5)), "  [ Per-Corner Telemetry ]");
    EXPECT_EQ(attributeAt(c, 4, 5), 14);
    // Each caption over its corner's cells, a blank before the next.
    const std::string rule(15, '-');
    EXPECT_EQ(trimmed(c.screen().rowText(6)), std::string(20, ' ') + "---- LF " + rule + " ---- RF " + rule +
                                                  " ---- LR " + rule + " ---- RR " + rule);
    EXPECT_EQ(attributeAt(c, 92, 6), 15);
    EXPECT_EQ(c.screen().rowText(7).substr(0, 20), "  Shock Vel   (m/s) ");
    EXPECT_EQ(c.screen().rowText(10).substr(0, 20), "  Wheel Slip        ");
    EXPECT_EQ(attributeAt(c, 21, 10), 7);
    EXPECT_EQ(trimmed(c.screen().rowText(11)), "  [ 360Hz - Vehicle ]");
    EXPECT_EQ(trimmed(c.screen().rowText(12)), "  RPM / Gear / Speed");
    EXPECT_EQ(trimmed(c.screen().rowText(13)), "  [ Haptic Output per Corner  0.0=off  1.0=full ]");
    EXPECT_EQ(trimmed(c.screen().rowText(14)),
              "  Corner                LF                RF                LR                RR");
    EXPECT_EQ(trimmed(c.screen().rowText(15)), "  Road Vibration");
    EXPECT_EQ(c.screen().rowText(20).substr(0, 16), "  Wheel Slip    ");
    EXPECT_EQ(trimmed(c.screen().rowText(23)), "  [ Gear Change Log ]");
    EXPECT_EQ(trimmed(c.screen().rowText(24)), "  Waiting for first gear change...");
    EXPECT_EQ(attributeAt(c, 2, 24), 7);
    EXPECT_EQ(trimmed(c.screen().rowText(25)),
              "  [ Susp Logger ]  Press L to start/stop (2min, 120Hz -> susp_log.csv)");
    EXPECT_EQ(attributeAt(c, 2, 25), 11);
    EXPECT_EQ(c.screen().attribute(), 7);

    RecordingConsole sixty;
    drawIRacingDashboardHeader(sixty, true, 8, false);
    EXPECT_EQ(trimmed(sixty.screen().rowText(3)), "  Audio: ACTIVE  Channels: 8  | iRacing: 60Hz");
    EXPECT_EQ(attributeAt(sixty, 2, 3), 10);
    EXPECT_EQ(trimmed(sixty.screen().rowText(11)), "  [ 60Hz - Vehicle ]");
}

TEST_F(IRacingDashboard, OnTrackShowsTelemetryAndOutputs) {
    drawIRacingDashboard(console, sample, shown, fx, 60, 0.2f);
    EXPECT_EQ(trimmed(console.screen().rowText(5)), "") << "the section title is cleared";
    EXPECT_EQ(textAt(console, 68, 3, 34), "| Updates:  60/s  Tick:     1234  ");
    EXPECT_EQ(attributeAt(console, 68, 3), 10);

    EXPECT_EQ(textAt(console, 20, 7, 24), "  0.5000 [.....|#....]  ");
    EXPECT_EQ(attributeAt(console, 22, 7), 10);
    EXPECT_EQ(textAt(console, 44, 7, 24), " -2.0000 [#....|.....]  ");
    EXPECT_EQ(attributeAt(console, 46, 7), 12);
    EXPECT_EQ(textAt(console, 68, 7, 24), "  2.0000 [.....|....#]  ");
    EXPECT_EQ(textAt(console, 92, 7, 24), "  0.0000 [.....|.....]  ");

    EXPECT_EQ(textAt(console, 20, 8, 19), "     0.0 Hz        ");
    EXPECT_EQ(attributeAt(console, 25, 8), 7);
    EXPECT_EQ(textAt(console, 44, 8, 19), "    85.5 Hz KERB!  ");
    EXPECT_EQ(attributeAt(console, 48, 8), 12);

    EXPECT_EQ(textAt(console, 20, 9, 12), " 0.45 LOCK  ");
    EXPECT_EQ(attributeAt(console, 21, 9), 12);
    EXPECT_EQ(textAt(console, 44, 9, 15), "  --           ");
    EXPECT_EQ(textAt(console, 68, 10, 15), "  --           ");

    EXPECT_EQ(textAt(console, 22, 12, 44), "  7200 rpm  Gear:3  180.0 km/h  ON TRACK    ");
    EXPECT_EQ(attributeAt(console, 25, 12), 12);

    EXPECT_EQ(textAt(console, 17, 15, 16), "0.500 [####....]");
    EXPECT_EQ(attributeAt(console, 17, 15), 14);
    EXPECT_EQ(textAt(console, 17, 16, 16), "0.200 [#.......]");
    EXPECT_EQ(attributeAt(console, 17, 16), 10);
    EXPECT_EQ(textAt(console, 71, 17, 18), "1.000 [########]  ");
    EXPECT_EQ(attributeAt(console, 71, 17), 12);
    EXPECT_EQ(textAt(console, 17, 18, 16), "0.450 [###.....]");
    for (int x : {17, 35, 53, 71})
        EXPECT_EQ(textAt(console, x, 19, 16), "0.640 [#####...]") << x;
    EXPECT_EQ(textAt(console, 17, 20, 16), "0.800 [######..]");
    EXPECT_EQ(textAt(console, 35, 20, 16), "0.000 [........]");

    EXPECT_EQ(trimmed(console.screen().rowText(24)), "  Gear 3  |  0.2s ago  |  intensity=80%  duration=120ms");
    EXPECT_EQ(attributeAt(console, 2, 24), 12);
    EXPECT_EQ(console.screen().attribute(), 7);
}

TEST_F(IRacingDashboard, OffTrackZeroesTheValuesButShowsTheCar) {
    sample.onTrack = false;
    sample.gear = 0;
    drawIRacingDashboard(console, sample, shown, fx, 0, 0.5f);
    EXPECT_EQ(console.screen().rowText(5).substr(0, 80),
              "  *** OFF TRACK / IN GARAGE -- all effects zero (shaker/amp protection) ***   " + std::string(2, ' '));
    EXPECT_EQ(attributeAt(console, 6, 5), 14);
    for (int x : {20, 44, 68, 92}) {
        EXPECT_EQ(textAt(console, x, 7, 24), "  0.0000 [.....|.....]  ") << x;
        EXPECT_EQ(textAt(console, x, 8, 19), "     0.0 Hz        ") << x;
        EXPECT_EQ(textAt(console, x, 9, 15), "  --           ") << x;
        EXPECT_EQ(textAt(console, x, 10, 15), "  --           ") << x;
    }
    EXPECT_EQ(textAt(console, 22, 12, 44), "  7200 rpm  Gear: N  180.0 km/h  OFF TRACK  ");
    EXPECT_EQ(attributeAt(console, 25, 12), 10);
    for (int x : {17, 35, 53, 71}) {
        for (int row : {15, 16, 17, 18, 20})
            EXPECT_EQ(textAt(console, x, row, 16), "0.000 [........]") << x << "," << row;
        EXPECT_EQ(textAt(console, x, 19, 16), "0.400 [###.....]") << "a fresh gear pulse still shows";
    }
    EXPECT_EQ(attributeAt(console, 2, 24), 14);

    // In the garage with the on-track flag still set: values zero, text "ON TRACK".
    sample.onTrack = true;
    sample.inGarage = true;
    drawIRacingDashboard(console, sample, shown, fx, 0, 0.5f);
    EXPECT_EQ(textAt(console, 20, 7, 24), "  0.0000 [.....|.....]  ");
    EXPECT_NE(console.screen().rowText(12).find("ON TRACK "), std::string::npos);
}

TEST_F(IRacingDashboard, TheGearLogWaitsForTheFirstChangeThenFades) {
    drawIRacingDashboard(console, sample, shown, fx, 60, 99.0f);
    EXPECT_EQ(trimmed(console.screen().rowText(24)), "  Waiting for first gear change...");
    for (int x : {17, 71})
        EXPECT_EQ(textAt(console, x, 19, 16), "0.000 [........]");
    drawIRacingDashboard(console, sample, shown, fx, 60, 0.5f);
    EXPECT_EQ(attributeAt(console, 2, 24), 14);
    drawIRacingDashboard(console, sample, shown, fx, 60, 1.0f);
    EXPECT_EQ(attributeAt(console, 2, 24), 7);
    EXPECT_EQ(trimmed(console.screen().rowText(24)), "  Gear 3  |  1.0s ago  |  intensity=80%  duration=120ms");
    EXPECT_EQ(textAt(console, 17, 19, 16), "0.000 [........]");
    drawIRacingDashboard(console, sample, shown, fx, 60, kNaN);
    EXPECT_EQ(trimmed(console.screen().rowText(24)), "  Gear 3  |  1.0s ago  |  intensity=80%  duration=120ms");
}

TEST_F(IRacingDashboard, NonFiniteShownValuesDrawAsZero) {
    shown.corners[0].roadAmp = kNaN;
    shown.corners[0].absAmp = kNaN;
    fx.gearChangeIntensity = kNaN;
    drawIRacingDashboard(console, sample, shown, fx, 60, 0.2f);
    EXPECT_EQ(textAt(console, 17, 15, 16), "0.000 [........]");
    EXPECT_EQ(textAt(console, 17, 19, 16), "0.000 [........]");
    EXPECT_EQ(textAt(console, 20, 9, 15), "  --           ");
}

TEST(IRacingCsv, HeaderAndExactRows) {
    IRacingCsvFormatter csv;
    EXPECT_STREQ(IRacingCsvFormatter::header(),
                 "timestamp_ms,speed_kmh,throttle,brake,gear,steerAngle,localVelY,yawRate,latAccel,longAccel,"
                 "shockVel_LF,shockVel_RF,shockVel_LR,shockVel_RR,yawAccel,latVelDelta,rearShockDiff,"
                 "frontShockDiff,accelDeficit\n");

    IRacingSample s;
    s.onTrack = true;
    s.speed = 50.0f;
    s.throttle = 0.5f;
    s.brake = 0.25f;
    s.gear = 3;
    s.steerAngle = -0.1234f;
    s.localVelY = 0.5f;
    s.yawRate = 0.2f;
    s.latAccel = 3.25f;
    s.longAccel = -1.5f;
    s.shockVel[0] = 0.01f;
    s.shockVel[1] = -0.02f;
    s.shockVel[2] = 0.03f;
    s.shockVel[3] = -0.04f;
    s.sessionTime = 100.0;
    std::string out = "kept|";
    ASSERT_TRUE(csv.appendRow(s, out));
    // The first row uses dt = 1/60 s.
    EXPECT_EQ(out,
              "kept|0.0,180.0,0.500,0.250,3,-0.1234,0.5000,0.2000,3.2500,-1.5000,0.01000,-0.02000,0.03000,-0.04000,"
              "12.000,30.000,0.07000,0.03000,2.500\n");

    s.sessionTime = 100.1;
    s.yawRate = 0.3f;
    s.longAccel = 1.5f;
    out.clear();
    ASSERT_TRUE(csv.appendRow(s, out));
    EXPECT_NE(out.find(",1.000,0.000,"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 7), ",1.000\n") << "5 x throttle - longAccel";

    // A pause of more than 0.5 s counts as 1/60 s again; so does a step back.
    s.sessionTime = 101.0;
    s.yawRate = 0.4f;
    out.clear();
    ASSERT_TRUE(csv.appendRow(s, out));
    EXPECT_NE(out.find(",6.000,0.000,"), std::string::npos) << out;
    s.sessionTime = 50.0;
    s.yawRate = 0.5f;
    out.clear();
    ASSERT_TRUE(csv.appendRow(s, out));
    EXPECT_NE(out.find(",6.000,0.000,"), std::string::npos) << out;

    s.inGarage = true;
    out.clear();
    EXPECT_FALSE(csv.appendRow(s, out));
    EXPECT_EQ(out, "");
}

TEST(IRacingCsv, HugeValuesStillMakeOneWholeLine) {
    IRacingCsvFormatter csv;
    IRacingSample s;
    s.onTrack = true;
    s.speed = 1.0e6f;
    s.yawRate = -1.0e6f;
    s.localVelY = 1.0e6f;
    s.latAccel = s.longAccel = s.steerAngle = 1.0e6f;
    for (float& v : s.shockVel)
        v = -1.0e6f;
    s.gear = std::numeric_limits<int32_t>::min();
    std::string out;
    ASSERT_TRUE(csv.appendRow(s, out));
    EXPECT_EQ(out.find('\n'), out.size() - 1);
    EXPECT_EQ(std::count(out.begin(), out.end(), ','), 18);
}

}  // namespace
}  // namespace qv::test
