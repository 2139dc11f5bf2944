// The AC EVO dashboard through the recording console.

#include "DashboardText.h"
#include "engines/ACEVOHapticEngine.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

class ACEVODashboard : public ::testing::Test {
protected:
    ACEVODashboard() {
        sample.onTrack = true;
        sample.packetId = 4321;
        sample.rpm = 7200.0f;
        sample.gear = 4;
        sample.speed = 50.0f;
        sample.suspVelocity[0] = 0.5f;
        sample.suspVelocity[3] = -2.0f;
        sample.slipRatio[1] = -0.25f;
        sample.slipRatio[2] = 0.15f;
        sample.wheelSlip[0] = 2.5f;
        sample.wheelSlip[1] = 1.5f;
        sample.roadVibrations = 0.125f;
        sample.kerbVibration = 0.5f;
        sample.absVibrations = 0.25f;
        sample.slipVibration = 0.0625f;
        shown.corners[0].kerbAmp = 0.5f;
        shown.corners[1].roadAmp = 0.8f;
        shown.corners[2].slipAmp = 0.4f;
        fx.gearChangeIntensity = 0.5f;
        fx.gearChangeDuration = 0.5f;
    }
    void draw(float secondsSinceShift = 0.5f, int32_t engineType = 0) {
        drawACEVODashboard(console, sample, engineType, shown, fx, 118, secondsSinceShift);
    }

    RecordingConsole console;
    ACEVOSample sample;
    HapticFrame shown;
    EffectProfile fx;
};

TEST_F(ACEVODashboard, TheHeaderKeepsClearOfTheRunLoopsRows) {
    console.setCursor(0, 30);
    console.write("leftover");
    drawACEVODashboardHeader(console, false, 6);
    EXPECT_EQ(console.clearCount(), 1);
    EXPECT_EQ(trimmedRow(console, 0), std::string(80, '='));
    EXPECT_EQ(trimmedRow(console, 1), "  Quor Vane  v0.6.103  |  AC EVO  |  Ctrl+C to exit");
    EXPECT_EQ(trimmedRow(console, 3), "  Audio: INACTIVE  Channels: 6");
    EXPECT_EQ(attributeAt(console, 2, 3), 12);
    EXPECT_EQ(textAt(console, 44, 6, 24), "---- RF --------------- ");
    EXPECT_EQ(trimmedRow(console, 8), "  Kerb/Fast Susp");
    EXPECT_EQ(trimmedRow(console, 11), "  [ Kunos Pre-Computed Signals ]");
    EXPECT_EQ(trimmedRow(console, 14), "  RPM / Gear / Speed / Engine");
    EXPECT_EQ(trimmedRow(console, 17), "  Road Texture");
    EXPECT_EQ(trimmedRow(console, 22), "  Wheel Slip");
    EXPECT_EQ(trimmedRow(console, 23), "  [ Gear Change Log ]");
    EXPECT_EQ(trimmedRow(console, 24), "  Waiting for first gear change...");
    EXPECT_EQ(trimmedRow(console, 25), "  [ Susp Logger ]  Press L to start/stop (2min, 120Hz -> susp_log.csv)");
    EXPECT_EQ(trimmedRow(console, 26), "") << "the run loop's exit line";
    EXPECT_EQ(trimmedRow(console, 30), "");

    drawACEVODashboardHeader(console, true, 8);
    EXPECT_EQ(trimmedRow(console, 3), "  Audio: ACTIVE    Channels: 8");
    EXPECT_EQ(attributeAt(console, 2, 3), 10);
}

TEST_F(ACEVODashboard, LiveValuesOnTrack) {
    drawACEVODashboardHeader(console, true, 8);
    draw(0.2f);
    EXPECT_EQ(trimmedRow(console, 5), "  [ Per-Corner Telemetry ]");
    EXPECT_EQ(textAt(console, 68, 3, 33), "| Updates: 118/s  pkt:     4321  ");
    EXPECT_EQ(textAt(console, 101, 3, 9), " [ICE]   ");
    EXPECT_EQ(attributeAt(console, 102, 3), 7);

    EXPECT_EQ(textAt(console, 20, 7, 24), "  0.5000 [.....|#....]  ");
    EXPECT_EQ(textAt(console, 92, 7, 24), " -2.0000 [#....|.....]  ");
    EXPECT_EQ(attributeAt(console, 92, 7), 12);
    EXPECT_EQ(textAt(console, 20, 8, 18), "   0.500 KERB!    ");
    EXPECT_EQ(attributeAt(console, 20, 8), 12);
    EXPECT_EQ(textAt(console, 44, 8, 16), "   0.000        ");
    EXPECT_EQ(textAt(console, 44, 9, 13), " -0.250      ");
    EXPECT_EQ(attributeAt(console, 44, 9), 12);
    EXPECT_EQ(attributeAt(console, 68, 9), 14);
    EXPECT_EQ(textAt(console, 20, 10, 14), " 2.500 SLIP!  ");
    EXPECT_EQ(attributeAt(console, 20, 10), 12);
    EXPECT_EQ(attributeAt(console, 44, 10), 14);
    EXPECT_EQ(trimmedRow(console, 12), "  road=0.1250  kerb=0.5000  absVib=0.2500  slipVib=0.0625");
    EXPECT_EQ(textAt(console, 30, 14, 43), "  7200 rpm  Gear:3  180.0 km/h  ON TRACK   ");
    EXPECT_EQ(attributeAt(console, 30, 14), 12);

    EXPECT_EQ(textAt(console, 35, 17, 16), "0.800 [######..]");
    EXPECT_EQ(textAt(console, 17, 19, 16), "0.500 [####....]");
    EXPECT_EQ(textAt(console, 53, 21, 16), "0.400 [###.....]") << "the gear pulse";
    EXPECT_EQ(textAt(console, 53, 22, 16), "0.400 [###.....]");
    EXPECT_EQ(trimmedRow(console, 24), "  Gear 4  |  0.2s ago  |  intensity=50%  duration=120ms");
    EXPECT_EQ(attributeAt(console, 2, 24), 12);

    sample.absActing = true;
    draw(1.5f, 1);
    EXPECT_EQ(trimmedRow(console, 5), "  *** ABS ACTIVE ***");
    EXPECT_EQ(attributeAt(console, 2, 5), 12);
    EXPECT_EQ(textAt(console, 101, 3, 8), " [EV]   ");
    EXPECT_EQ(attributeAt(console, 102, 3), 11);
    EXPECT_EQ(attributeAt(console, 2, 24), 7);
}

TEST_F(ACEVODashboard, OffTrackShowsZerosButTheVehicleAsRead) {
    sample.onTrack = false;
    drawACEVODashboardHeader(console, true, 8);
    draw(0.5f);
    EXPECT_EQ(trimmedRow(console, 5),
              "  *** OFF TRACK / IN PITS -- all effects zero (shaker/amp protection) ***");
    EXPECT_EQ(textAt(console, 20, 7, 24), "  0.0000 [.....|.....]  ");
    EXPECT_EQ(textAt(console, 20, 8, 18), "   0.000          ");
    EXPECT_EQ(textAt(console, 20, 10, 14), " 0.000        ");
    EXPECT_EQ(trimmedRow(console, 12), "  road=0.0000  kerb=0.0000  absVib=0.0000  slipVib=0.0000");
    EXPECT_EQ(textAt(console, 30, 14, 43), "  7200 rpm  Gear:3  180.0 km/h  OFF TRACK  ");
    EXPECT_EQ(textAt(console, 35, 17, 16), "0.000 [........]");
    EXPECT_EQ(textAt(console, 17, 21, 16), "0.250 [##......]") << "the gear pulse stays";
}

TEST_F(ACEVODashboard, GearsCountFromReverse) {
    drawACEVODashboardHeader(console, true, 8);
    for (auto [gear, text] : {std::pair{0, " R"}, std::pair{1, " N"}, std::pair{2, "1"}, std::pair{8, "7"}}) {
        sample.gear = gear;
        draw(99.0f);
        EXPECT_EQ(textAt(console, 42, 14, 5 + std::string(text).size()), std::string("Gear:") + text) << gear;
    }
    EXPECT_EQ(trimmedRow(console, 24), "  Waiting for first gear change...") << "no change yet";
}

}  // namespace
}  // namespace qv::test
