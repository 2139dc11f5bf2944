// The Le Mans Ultimate dashboard through the recording console, and its
// 37-column logger rows.

#include "DashboardText.h"
#include "engines/LMUHapticEngine.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qv::test {
namespace {

class LMUDashboard : public ::testing::Test {
protected:
    LMUDashboard() {
        s.onTrack = true;
        s.engineRpm = 3500.0f;
        s.gear = -1;
        s.speed = 10.0f;
        s.lateralVelocity = -0.25f;
        s.tcPair[0] = 3;
        s.tcPair[1] = 10;
        s.absPair[0] = 4;
        s.absPair[1] = 9;
        s.mapPair[0] = 1;
        s.mapPair[1] = 5;
        s.corners[0].suspVelocity = 0.25f;
        s.corners[0].surfaceType = 0;
        s.corners[1].surfaceType = 5;
        s.corners[1].onKerb = true;
        s.corners[2].surfaceType = 9;
        s.corners[0].slipRatio = 0.05f;
        s.corners[1].slipRatio = 0.2f;
        s.corners[0].gripFraction = 0.6f;
        s.corners[1].gripFraction = 0.3f;
        st.rpmLimit = 7000.0f;
        st.steerK = 0.125f;
        shown.corners[1].absAmp = 0.5f;
        shown.corners[3].slipAmp = 1.0f;
        fx.gearChangeIntensity = 1.0f;
        fx.gearChangeDuration = 0.0f;
    }
    void draw(float secondsSinceShift = 2.0f) {
        drawLMUDashboard(console, s, st, 99.6f, shown, fx, 120, secondsSinceShift);
    }

    RecordingConsole console;
    LmuSample s;
    LmuState st;
    HapticFrame shown;
    EffectProfile fx;
};

TEST_F(LMUDashboard, TheHeaderNamesTheMode) {
    drawLMUDashboardHeader(console, true, 4, false);
    EXPECT_EQ(console.clearCount(), 1);
    EXPECT_EQ(trimmedRow(console, 1), "  Quor Vane  v0.6.103  |  Le Mans Ultimate  |  Ctrl+C to exit");
    EXPECT_EQ(trimmedRow(console, 3), "  Audio: ACTIVE  Channels: 4  | LMU  Mode: Simple");
    EXPECT_EQ(attributeAt(console, 2, 3), 10);
    EXPECT_EQ(trimmedRow(console, 8), "  Surface Type");
    EXPECT_EQ(trimmedRow(console, 11), "  [ Vehicle + Electronics ]");
    EXPECT_EQ(trimmedRow(console, 16), "  Susp. Impact");
    EXPECT_EQ(trimmedRow(console, 17), "  Kerb/Rumble");
    EXPECT_EQ(trimmedRow(console, 24), "  Waiting for first gear change...");
    EXPECT_EQ(trimmedRow(console, 25), "  [ Susp Logger ]  Press L to start/stop (2min, 120Hz -> susp_log.csv)");

    drawLMUDashboardHeader(console, false, 2, true);
    EXPECT_EQ(trimmedRow(console, 3), "  Audio: INACTIVE  Channels: 2  | LMU  Mode: Advanced (Dual-Band)");
    EXPECT_EQ(attributeAt(console, 2, 3), 12);
    EXPECT_EQ(trimmedRow(console, 16), "  Slow Susp.");
    EXPECT_EQ(trimmedRow(console, 17), "  Fast Susp.");
}

TEST_F(LMUDashboard, LiveValuesOnTrack) {
    drawLMUDashboardHeader(console, true, 4, false);
    draw(0.5f);
    EXPECT_EQ(trimmedRow(console, 5), "");
    EXPECT_EQ(textAt(console, 68, 3, 32), "| Updates: 120/s  Sim:   100Hz  ");
    EXPECT_EQ(textAt(console, 20, 7, 24), "  0.2500 [.....|.....]  ");
    EXPECT_EQ(textAt(console, 20, 8, 22), "   dry                ");
    EXPECT_EQ(attributeAt(console, 20, 8), 7);
    EXPECT_EQ(textAt(console, 44, 8, 8), "   KERB!");
    EXPECT_EQ(attributeAt(console, 44, 8), 12);
    EXPECT_EQ(textAt(console, 68, 8, 8), "   ?    ");
    EXPECT_EQ(textAt(console, 20, 9, 13), " 0.050       ");
    EXPECT_EQ(attributeAt(console, 20, 9), 14);
    EXPECT_EQ(textAt(console, 44, 9, 13), " 0.200 LOCK  ");
    EXPECT_EQ(attributeAt(console, 44, 9), 12);
    EXPECT_EQ(textAt(console, 20, 10, 14), " 0.600 SLIP!  ");
    EXPECT_EQ(attributeAt(console, 20, 10), 12);
    EXPECT_EQ(attributeAt(console, 44, 10), 14);
    EXPECT_EQ(trimmedRow(console, 11), "  TC:3/10  ABS:4/9  Map:1/5  Bias:cal  K:0.1250(cal)  latV:-0.25");
    EXPECT_EQ(attributeAt(console, 2, 11), 11);
    EXPECT_EQ(textAt(console, 22, 12, 44), "  3500 rpm  Gear: R   36.0 km/h  ON TRACK   ");
    EXPECT_EQ(attributeAt(console, 22, 12), 14);
    EXPECT_EQ(textAt(console, 71, 20, 18), "1.000 [########]  ");
    EXPECT_EQ(textAt(console, 17, 19, 16), "0.500 [####....]") << "the gear pulse";
    EXPECT_EQ(trimmedRow(console, 24), "  Gear -1  |  0.5s ago  |  intensity=100%  duration=40ms");
    EXPECT_EQ(attributeAt(console, 2, 24), 14);

    st.biasDone = true;
    st.steerKDone = true;
    draw();
    EXPECT_EQ(trimmedRow(console, 11), "  TC:3/10  ABS:4/9  Map:1/5  Bias:OK  K:0.1250  latV:-0.25");
    EXPECT_EQ(attributeAt(console, 2, 24), 7);
}

TEST_F(LMUDashboard, OffTrackShowsZerosAndDashes) {
    s.onTrack = false;
    drawLMUDashboardHeader(console, true, 4, false);
    draw(0.5f);
    EXPECT_EQ(trimmedRow(console, 5),
              "  *** OFF TRACK / IN PITS -- all effects zero (shaker/amp protection) ***");
    EXPECT_EQ(textAt(console, 20, 7, 24), "  0.0000 [.....|.....]  ");
    EXPECT_EQ(textAt(console, 44, 8, 8), "   -----");
    EXPECT_EQ(attributeAt(console, 44, 8), 7);
    EXPECT_EQ(textAt(console, 44, 9, 13), " 0.000       ");
    EXPECT_EQ(textAt(console, 22, 12, 44), "  3500 rpm  Gear: R   36.0 km/h  OFF TRACK  ");
    EXPECT_EQ(attributeAt(console, 22, 12), 10) << "the rpm colour rests";
    EXPECT_EQ(textAt(console, 71, 20, 18), "0.000 [........]  ");
    EXPECT_EQ(textAt(console, 17, 19, 16), "0.500 [####....]");
    EXPECT_EQ(trimmedRow(console, 11), "  TC:3/10  ABS:4/9  Map:1/5  Bias:cal  K:0.1250(cal)  latV:-0.25")
        << "as read";
}

TEST(LMULogger, RowsHaveThirtySevenColumns) {
    const std::string header = lmuCsvHeader();
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), 36);
    EXPECT_EQ(header.rfind("timestamp_ms,speed_kmh,dt_ms,shockVel_LF", 0), 0u);
    const std::string tail = "lateralVel,yawRate,steerAngle,steerK,steerKDone\n";
    EXPECT_EQ(header.substr(header.size() - tail.size()), tail);

    LmuSample s;
    LmuState st;
    std::string row;
    EXPECT_FALSE(appendLMUCsvRow(s, st, row));
    EXPECT_TRUE(row.empty());

    s.onTrack = true;
    s.speed = 25.0f;
    s.dt = 0.01f;
    s.brake = 0.5f;
    s.throttle = 0.25f;
    s.absActive = true;
    s.lateralVelocity = 0.5f;
    s.yawRate = -0.125f;
    s.steering = 0.0625f;
    for (int c = 0; c < 4; ++c) {
        s.corners[c].suspVelocity = 0.01f * static_cast<float>(c + 1);
        s.corners[c].gripFraction = 0.25f;
        s.corners[c].surfaceType = static_cast<uint8_t>(c + 2);
        s.corners[c].wheelSpeed = 24.5f;
        s.corners[c].slipRatio = 0.02f;
        st.slipBias[c] = 0.001f;
    }
    st.biasDone = true;
    st.steerK = 0.2f;
    ASSERT_TRUE(appendLMUCsvRow(s, st, row));
    EXPECT_EQ(row,
              "10.0,90.0,10.00,0.0100,0.0200,0.0300,0.0400,0.2500,0.2500,0.2500,0.2500,2,3,4,5,1,0,0.500,0.250,"
              "24.50,24.50,24.50,24.50,0.0200,0.0200,0.0200,0.0200,0.0010,0.0010,0.0010,0.0010,1,0.5000,-0.1250,"
              "0.0625,0.20000,0\n");
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), 36);
}

}  // namespace
}  // namespace qv::test
