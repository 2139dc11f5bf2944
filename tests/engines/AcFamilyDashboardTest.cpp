// The ACC and AC dashboards through the recording console, drawn by engines
// that read real pages.

#include "DashboardText.h"
#include "engines/ACCHapticEngine.h"
#include "engines/ACHapticEngine.h"
#include "engines/AcEngineFixture.h"

namespace qv::test {
namespace {

using ACCDashboard = AcEngineFixture<ACCHapticEngine>;
using ACDashboard = AcEngineFixture<ACHapticEngine>;

TEST_F(ACCDashboard, HeaderNamesTheModeAndItsRows) {
    connectOnTrack();
    RecordingConsole c;
    c.setCursor(3, 30);
    c.write("old text");
    fx.suspDualBand = 1;
    engine.drawDashboardHeader(c, true, 8, fx);
    EXPECT_EQ(c.clearCount(), 1);
    EXPECT_EQ(trimmed(c.screen().rowText(30)), "");
    EXPECT_EQ(trimmed(c.screen().rowText(0)), std::string(80, '='));
    EXPECT_EQ(trimmed(c.screen().rowText(1)), "  Quor Vane  v0.6.103  |  ACC  |  Ctrl+C to exit");
    EXPECT_EQ(trimmed(c.screen().rowText(3)), "  Audio: ACTIVE  Channels: 8  | ACC  Mode: Advanced (Dual-Band)");
    EXPECT_EQ(attributeAt(c, 2, 3), 10);
    EXPECT_EQ(attributeAt(c, 67, 3), 10) << "blanks in the audio colour up to the update counter";
    EXPECT_EQ(attributeAt(c, 68, 3), 7);
    EXPECT_EQ(c.screen().rowText(7).substr(0, 20), "  Shock Vel   (m/s) ");
    EXPECT_EQ(c.screen().rowText(8).substr(0, 20), "  Fast Susp/Kerb    ");
    EXPECT_EQ(c.screen().rowText(9).substr(0, 20), "  Lng Slip   (calc) ");
    EXPECT_EQ(c.screen().rowText(10).substr(0, 20), "  Wheel Slip  (raw) ");
    EXPECT_EQ(trimmed(c.screen().rowText(11)), "  [ Vehicle ]");
    EXPECT_EQ(attributeAt(c, 4, 11), 11);
    EXPECT_EQ(trimmed(c.screen().rowText(12)), "  RPM / Gear / Speed");
    EXPECT_EQ(trimmed(c.screen().rowText(15)), "  Road Vibration");
    EXPECT_EQ(c.screen().rowText(16).substr(0, 16), "  Slow Susp.    ");
    EXPECT_EQ(c.screen().rowText(17).substr(0, 16), "  Fast Susp.    ");
    EXPECT_EQ(trimmed(c.screen().rowText(24)), "  Waiting for first gear change...");
    EXPECT_EQ(trimmed(c.screen().rowText(25)),
              "  [ Susp Logger ]  Press L to start/stop (2min, 120Hz -> susp_log.csv)");

    fx.suspDualBand = 0;
    engine.drawDashboardHeader(c, false, 2, fx);
    EXPECT_EQ(trimmed(c.screen().rowText(3)), "  Audio: INACTIVE  Channels: 2  | ACC  Mode: Simple");
    EXPECT_EQ(attributeAt(c, 2, 3), 12);
    EXPECT_EQ(attributeAt(c, 67, 3), 12) << "blanks in the audio colour up to the update counter";
    EXPECT_EQ(c.screen().rowText(8).substr(0, 20), "  [Kerb in Susp]    ");
    EXPECT_EQ(c.screen().rowText(16).substr(0, 16), "  Susp. Impact  ");
    EXPECT_EQ(c.screen().rowText(17).substr(0, 16), "  Kerb/Rumble   ");
}

TEST_F(ACDashboard, HeaderCallsItAssettoCorsa) {
    connectOnTrack();
    RecordingConsole c;
    fx.suspDualBand = 1;
    engine.drawDashboardHeader(c, true, 4, fx);
    EXPECT_EQ(trimmed(c.screen().rowText(1)), "  Quor Vane  v0.6.103  |  Assetto Corsa  |  Ctrl+C to exit");
    EXPECT_EQ(trimmed(c.screen().rowText(3)), "  Audio: ACTIVE  Channels: 4  | AC  Mode: Advanced (Dual-Band)");
    EXPECT_EQ(attributeAt(c, 67, 3), 10) << "blanks in the audio colour up to the update counter";
    EXPECT_EQ(attributeAt(c, 68, 3), 7);
    EXPECT_EQ(c.screen().rowText(9).substr(0, 20), "  ABS/Lock          ");
    EXPECT_EQ(c.screen().rowText(10).substr(0, 20), "  Wheel Slip  (raw) ");
    EXPECT_EQ(c.screen().rowText(16).substr(0, 16), "  Slow Susp.    ");
}

TEST_F(ACCDashboard, LiveValuesOnTrack) {
    connectOnTrack();
    fx.suspDualBand = 1;
    fx.gearChangeIntensity = 0.8f;
    fx.gearChangeDuration = 0.5f;
    // Left front: suspension at 0.5 m/s, wheel slowed to 90 % under braking,
    // raw slip 2.5; right front: slip 1.5.
    travelSteps({0.050f});
    pages.setTravel(0, 0.055f);
    pages.setBrake(0.6f);
    pages.setThrottle(0.0f);
    pages.setAngularSpeed(0, 30.0f * 0.9f / 0.33f);
    pages.setWheelSlip(0, 2.5f);
    pages.setWheelSlip(1, 1.5f);
    ASSERT_TRUE(step());
    HapticFrame shown = out;
    shown.corners[0].kerbAmp = 0.3f;
    shown.corners[1].kerbAmp = 0.05f;

    RecordingConsole c;
    engine.drawDashboardHeader(c, true, 8, fx);
    engine.drawDashboard(c, shown, fx, 120, 0.2f);
    EXPECT_EQ(trimmed(c.screen().rowText(5)), "");
    EXPECT_EQ(textAt(c, 68, 3, 31), "| Updates: 120/s  pkt:        2");
    EXPECT_EQ(attributeAt(c, 68, 3), 10);

    EXPECT_EQ(textAt(c, 20, 7, 24), "  0.5000 [.....|#....]  ");
    EXPECT_EQ(attributeAt(c, 20, 7), 10);
    EXPECT_EQ(textAt(c, 44, 7, 24), "  0.0000 [.....|.....]  ");
    EXPECT_EQ(textAt(c, 20, 8, 18), "   0.300 KERB!    ");
    EXPECT_EQ(attributeAt(c, 20, 8), 12);
    EXPECT_EQ(textAt(c, 44, 8, 18), "   0.050          ") << "0.05 is no kerb";
    EXPECT_EQ(attributeAt(c, 44, 8), 7);
    EXPECT_EQ(textAt(c, 20, 9, 14), " 0.100 ABS!   ");
    EXPECT_EQ(attributeAt(c, 20, 9), 12);
    EXPECT_EQ(textAt(c, 44, 9, 14), " 0.000        ");
    EXPECT_EQ(attributeAt(c, 44, 9), 7);
    EXPECT_EQ(textAt(c, 20, 10, 14), " 2.500 SLIP!  ");
    EXPECT_EQ(attributeAt(c, 20, 10), 12);
    EXPECT_EQ(textAt(c, 44, 10, 14), " 1.500        ");
    EXPECT_EQ(attributeAt(c, 44, 10), 14);

    EXPECT_EQ(trimmed(c.screen().rowText(12).substr(22)), "  6000 rpm  Gear:5  108.0 km/h  ON TRACK");
    EXPECT_EQ(attributeAt(c, 24, 12), 14);
    EXPECT_EQ(textAt(c, 17, 15, 16), "1.000 [########]");
    EXPECT_EQ(textAt(c, 17, 17, 16), "0.300 [##......]");
    EXPECT_EQ(textAt(c, 17, 19, 16), "0.640 [#####...]") << "gear pulse (1 - 0.2) x 0.8";
    EXPECT_EQ(textAt(c, 17, 20, 16), "1.000 [########]");
    EXPECT_EQ(trimmed(c.screen().rowText(24)), "  Gear 5  |  0.2s ago  |  intensity=80%  duration=120ms");
    EXPECT_EQ(attributeAt(c, 2, 24), 12);
}

TEST_F(ACCDashboard, OffTrackShowsTheWarningAndZeros) {
    connectOnTrack();
    travelSteps({0.050f, 0.060f});
    pages.setInPit(true);
    pages.setWheelSlip(0, 3.0f);
    ASSERT_TRUE(step());
    HapticFrame shown;
    shown.corners[0].roadAmp = 0.9f;
    RecordingConsole c;
    engine.drawDashboardHeader(c, true, 8, fx);
    engine.drawDashboard(c, shown, fx, 7, 0.5f);
    EXPECT_EQ(trimmed(c.screen().rowText(5)),
              "  *** OFF TRACK / IN PITS -- all effects zero (shaker/amp protection) ***");
    EXPECT_EQ(attributeAt(c, 4, 5), 14);
    EXPECT_EQ(textAt(c, 20, 7, 24), "  0.0000 [.....|.....]  ");
    EXPECT_EQ(textAt(c, 20, 8, 15), "  --           ") << "simple model";
    EXPECT_EQ(textAt(c, 20, 10, 14), " 0.000        ");
    EXPECT_EQ(textAt(c, 17, 15, 16), "0.000 [........]");
    EXPECT_EQ(textAt(c, 17, 19, 16), "0.345 [##......]") << "the gear pulse shows off track too";
    EXPECT_EQ(trimmed(c.screen().rowText(12).substr(22)), "  6000 rpm  Gear:5  108.0 km/h  OFF TRACK");
    EXPECT_EQ(attributeAt(c, 24, 12), 10);
    EXPECT_EQ(attributeAt(c, 2, 24), 14);
}

TEST_F(ACDashboard, LockUpRowAndReverseGear) {
    connectOnTrack();
    pages.setGear(0);
    ASSERT_TRUE(step());
    HapticFrame shown;
    shown.corners[2].absAmp = 0.75f;
    shown.corners[3].absAmp = 0.1f;
    RecordingConsole c;
    engine.drawDashboardHeader(c, true, 8, fx);
    engine.drawDashboard(c, shown, fx, 60, 99.0f);
    EXPECT_EQ(textAt(c, 68, 9, 15), " 0.75 LOCK     ");
    EXPECT_EQ(attributeAt(c, 68, 9), 12);
    EXPECT_EQ(textAt(c, 92, 9, 15), "  --           ");
    EXPECT_EQ(textAt(c, 20, 10, 14), " 0.100        ");
    EXPECT_EQ(trimmed(c.screen().rowText(12).substr(22)), "  6000 rpm  Gear: R  108.0 km/h  ON TRACK");
    EXPECT_EQ(trimmed(c.screen().rowText(24)), "  Waiting for first gear change...");
    EXPECT_EQ(textAt(c, 68, 3, 31), "| Updates:  60/s  pkt:        1");
}

}  // namespace
}  // namespace qv::test
