// The AC engine through pages written into a test's own shared-memory folder
// with a manual clock, and what the two engines share: wheel-slip onset,
// reading either simulator's pages, the stall rule.

#include "engines/ACCHapticEngine.h"
#include "engines/ACHapticEngine.h"
#include "engines/AcEngineFixture.h"

#include <cmath>
#include <limits>

namespace qv::test {
namespace {

using ACEngine = AcEngineFixture<ACHapticEngine>;

TEST_F(ACEngine, ConnectsToItsOwnSmallerPagesAndReportsTheGearFromReverse) {
    ASSERT_TRUE(pages.create(368, 252));
    {
        Printed printed;
        ASSERT_TRUE(engine.connect());
        EXPECT_EQ(printed.out, "[ACHapticEngine] Connected to AC shared memory\n");
    }
    pages.setOnTrackDefaults();
    for (auto [published, reported] : {std::pair{0, -1}, {1, 0}, {2, 1}, {7, 6}}) {
        pages.setGear(published);
        ASSERT_TRUE(step());
        EXPECT_EQ(engine.gear(), reported);
    }
    pages.setGear(std::numeric_limits<int32_t>::min());
    ASSERT_TRUE(step());
    EXPECT_EQ(engine.gear(), std::numeric_limits<int32_t>::min()) << "no overflow below the lowest gear";
    EXPECT_FLOAT_EQ(engine.speedMps(), 30.0f);
    EXPECT_NEAR(engine.sample().wheelRpm[0], 30.0f / 0.33f * 9.549296f, 1e-2f);

    Printed printed;
    ASSERT_TRUE(pages.create(367, 252));
    EXPECT_FALSE(engine.connect());
    EXPECT_EQ(printed.err, "[ACHapticEngine] ERROR: open " + dir.path() +
                               "acpmf_physics: 367 bytes, fewer than the 368 needed\n");
    ASSERT_TRUE(pages.create(368, 251));
    EXPECT_FALSE(engine.connect());
    EXPECT_FALSE(engine.isConnected());
}

TEST_F(ACEngine, GatingTimeStepsAndTheSuspensionModels) {
    connectOnTrack();
    pages.setInPit(true);
    out = sentinelFrame();
    ASSERT_TRUE(step());
    EXPECT_EQ(out, HapticFrame{});
    EXPECT_FALSE(engine.isOnTrack());
    pages.setInPit(false);
    pages.setStatus(1);
    ASSERT_TRUE(step());
    EXPECT_EQ(out, HapticFrame{});
    pages.setStatus(2);

    // The time steps were taken off track as well: this one is measured.
    travelSteps({0.050f, 0.0506f});
    EXPECT_FLOAT_EQ(engine.sample().dt, 0.01f);
    const float v = engine.sample().suspVel[0];
    ASSERT_NEAR(v, 0.06f, 1e-4f);
    // Road full at 0.05 m/s; simple impact sqrt((v - 0.04) / 0.06).
    EXPECT_FLOAT_EQ(out.corners[0].roadAmp, 1.0f);
    EXPECT_NEAR(out.corners[0].impactAmp, std::sqrt((v - 0.04f) / 0.06f), 1e-3f);
    EXPECT_NEAR(out.corners[0].impactFreq, 30.0f + 8.0f - 16.0f * (v - 0.04f) / 0.06f, 1e-2f);
    // Dual band: sqrt((v - 0.04) / 0.08) on the slow band.
    fx.suspDualBand = 1;
    travelSteps({0.0512f});
    EXPECT_NEAR(out.corners[3].impactAmp, std::sqrt((v - 0.04f) / 0.08f), 1e-3f);
    EXPECT_NEAR(out.corners[3].impactFreq, 30.0f + 3.0f - 6.0f * (v - 0.04f) / 0.08f, 1e-2f);

    // The ring holds only on-track samples: two so far, then two more fill it.
    EXPECT_FALSE(engine.ring().isFull());
    EXPECT_EQ(engine.ring().position(), 3);
}

TEST_F(ACEngine, KerbBandNeedsThreeOfFourAtTheHigherThreshold) {
    connectOnTrack();
    fx.suspDualBand = 1;
    // 0.04 m/s is below this engine's 0.045 threshold (ACC would count it).
    travelSteps({0.0500f, 0.0504f, 0.0500f, 0.0504f, 0.0500f});
    ASSERT_TRUE(engine.ring().isFull());
    EXPECT_EQ(out.corners[0].kerbAmp, 0.0f);
    EXPECT_FLOAT_EQ(out.corners[0].kerbFreq, 53.0f);
    // 0.1 m/s three times: k = 0.1 / 0.2.
    travelSteps({0.0510f, 0.0500f, 0.0510f});
    EXPECT_NEAR(out.corners[1].kerbAmp, 0.5f, 1e-3f);
    EXPECT_NEAR(out.corners[1].kerbFreq, 50.0f, 1e-2f);
    // Faster than 0.2 m/s caps at 1 and at the 20 Hz floor when the profile is low.
    fx.freqKerb = 10.0f;
    travelSteps({0.0400f, 0.0510f, 0.0400f, 0.0510f});
    EXPECT_FLOAT_EQ(out.corners[2].kerbAmp, 1.0f);
    EXPECT_FLOAT_EQ(out.corners[2].kerbFreq, 20.0f);
    fx.suspDualBand = 0;
    travelSteps({0.0510f});
    EXPECT_EQ(out.corners[2].kerbAmp, 0.0f);
}

// Braking at 108 km/h with every wheel turning at `angularSpeed` rad/s and
// the raw slip `slip`.
void brakeWith(AcTestPages& pages, float brake, float angularSpeed, float slip) {
    pages.setBrake(brake);
    pages.setThrottle(0.0f);
    pages.setAllAngularSpeed(angularSpeed);
    pages.setAllWheelSlip(slip);
}

TEST_F(ACEngine, LockUpFromStoppedOrSlippingWheelsPulsesAtSevenHertz) {
    connectOnTrack();
    // A wheel at 9.55 rpm or more with slip of 0.3 or less: no lock-up even
    // under full braking. 1.0001 rad/s is 9.5502 rpm.
    brakeWith(pages, 1.0f, 1.0001f, 0.3f);
    ASSERT_TRUE(step(1'000'000'000 / 28));
    for (const CornerHaptics& c : out.corners) {
        EXPECT_EQ(c.absAmp, 0.0f);
        EXPECT_EQ(c.absFreq, 25.0f);
    }
    // Below 9.55 rpm the wheel counts as locked: brake 0.5 gives half the
    // level at the top of the 7 Hz pulse (a quarter period after connect
    // plus whole periods), the same on every corner.
    brakeWith(pages, 0.5f, 1.0f, 0.0f);
    ASSERT_TRUE(step(1'000'000'000 / 7));
    for (const CornerHaptics& c : out.corners) {
        EXPECT_NEAR(c.absAmp, 0.5f, 1e-4f);
        EXPECT_EQ(c.absFreq, 25.0f) << "the lock-up frequency does not follow the brake";
    }
    ASSERT_TRUE(step(1'000'000'000 / 14));  // half a period on: the pulse is down
    EXPECT_NEAR(out.corners[0].absAmp, 0.0f, 1e-4f);
    ASSERT_TRUE(step(1'000'000'000 / 28));  // a quarter period on: half way up
    EXPECT_NEAR(out.corners[3].absAmp, 0.25f, 1e-3f);

    // A rolling wheel with slip above 0.3 gives the full level.
    brakeWith(pages, 0.2f, 50.0f, 0.31f);
    ASSERT_TRUE(step(1'000'000'000 / 28));
    EXPECT_NEAR(out.corners[1].absAmp, 1.0f, 1e-3f) << "at the top of the pulse";
    ASSERT_TRUE(step(1'000'000'000 / 28));
    EXPECT_NEAR(out.corners[1].absAmp, 0.5f, 1e-3f) << "at its middle";

    // The common condition: brake above 0.05 and speed above 0.83 m/s.
    brakeWith(pages, 0.05f, 0.0f, 1.0f);
    ASSERT_TRUE(step(1'000'000'000 / 7));
    EXPECT_EQ(out.corners[0].absAmp, 0.0f);
    brakeWith(pages, 1.0f, 0.0f, 1.0f);
    pages.setSpeedKmh(0.82f * 3.6f);
    ASSERT_TRUE(step(1'000'000'000 / 7));
    EXPECT_EQ(out.corners[0].absAmp, 0.0f);
}

TEST_F(ACEngine, LockUpPulseKeepsItsRateAfterDaysOfUptime) {
    clock.advanceNs(40ull * 24 * 3600 * 1'000'000'000ull + 987'654'321);
    connectOnTrack();
    brakeWith(pages, 1.0f, 0.0f, 0.0f);
    ASSERT_TRUE(step(1'000'000'000 / 28));
    EXPECT_NEAR(out.corners[0].absAmp, 1.0f, 1e-4f);
    ASSERT_TRUE(step(1'000'000'000 / 14));
    EXPECT_NEAR(out.corners[0].absAmp, 0.0f, 1e-4f);
}

TEST_F(ACEngine, LoggerHeaderAndRowCarryTheTimeStep) {
    connectOnTrack();
    std::string header;
    ASSERT_TRUE(engine.writeCsvHeader(header));
    EXPECT_EQ(header,
              "timestamp_ms,speed_kmh,dt_ms,shockVel_LF,shockVel_RF,shockVel_LR,shockVel_RR,wheelSlip_LF,"
              "wheelSlip_RF,wheelSlip_LR,wheelSlip_RR,wheelRPM_LF,wheelRPM_RF,wheelRPM_LR,wheelRPM_RR\n");
    travelSteps({0.0500f});
    pages.setTravel(0, 0.0510f);
    pages.setTravel(3, 0.0490f);
    pages.setWheelSlip(2, 1.25f);
    pages.setAngularSpeed(1, -10.0f);
    ASSERT_TRUE(step(20'000'000));
    std::string row;
    ASSERT_TRUE(engine.writeCsvRow(row));
    EXPECT_EQ(row,
              "0.0,108.0,20.00,0.0500,0.0000,0.0000,-0.0500,0.1000,0.1000,1.2500,0.1000,868.12,-95.49,868.12,"
              "868.12\n");
    pages.setStatus(0);
    ASSERT_TRUE(step());
    EXPECT_FALSE(engine.writeCsvRow(row));
}

TEST_F(ACEngine, StalledPacketsGiveTheIdleFrameOnce) {
    connectOnTrack();
    ASSERT_TRUE(step());
    clock.advanceNs(501'000'000);
    EXPECT_TRUE(engine.update(fx, out));
    EXPECT_EQ(out, HapticFrame{});
    EXPECT_FALSE(engine.update(fx, out));
    std::string row;
    EXPECT_FALSE(engine.writeCsvRow(row));
    EXPECT_TRUE(engine.isConnected());
    ASSERT_TRUE(step());
    EXPECT_TRUE(engine.writeCsvRow(row));
}

TEST_F(ACEngine, NonFiniteTelemetryGivesAFiniteFrame) {
    connectOnTrack();
    fx.suspDualBand = 1;
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -3.0e38f}) {
        for (size_t offset = 4; offset < 200; offset += 4) {
            if (offset != 16 && offset != 20)
                pages.putFloat(pages.physics(), offset, bad);
        }
        ASSERT_TRUE(step());
        EXPECT_TRUE(frameIsFinite(out));
        EXPECT_TRUE(amplitudesInRange(out));
        std::string row;
        ASSERT_TRUE(engine.writeCsvRow(row));
        EXPECT_EQ(row.find('\n'), row.size() - 1);
        EXPECT_EQ(row.find("nan"), std::string::npos) << row;
    }
}

// The wheel-slip onset, the same for both engines.
template <typename Engine>
class WheelSlipOnset : public AcEngineFixture<Engine> {};
using BothEngines = ::testing::Types<ACCHapticEngine, ACHapticEngine>;
TYPED_TEST_SUITE(WheelSlipOnset, BothEngines);

TYPED_TEST(WheelSlipOnset, AtThresholdsOneFiftyAndHundred) {
    this->connectOnTrack();
    this->fx.wheelSlipSensitivity = 0.8f;
    struct Case {
        int threshold;
        float slip;
        float expected;
    };
    const float a50 = 49.0f / 99.0f * 0.2f;
    const Case cases[] = {
        {1, 1.2f, 0.0f},          {1, 1.7f, 0.5f * 0.8f},  {1, 2.2f, 0.8f},          {1, 5.0f, 0.8f},
        {100, 1.0f, 0.0f},        {100, 1.4f, 0.5f * 0.8f}, {100, 1.8f, 0.8f},
        // The scale needs floating-point division: at 50 the onset is 1.101,
        // not the 1.2 of threshold 1.
        {50, 1.15f, (1.15f - (1.2f - a50)) / (1.0f - a50) * 0.8f}, {50, 1.6f, (1.6f - (1.2f - a50)) / (1.0f - a50) * 0.8f},
        // Settings outside 1..100 count as the nearest end.
        {0, 1.7f, 0.5f * 0.8f},   {250, 1.8f, 0.8f},
    };
    for (const Case& c : cases) {
        this->fx.wheelSlipThreshold = c.threshold;
        this->pages.setWheelSlip(2, c.slip);
        ASSERT_TRUE(this->step());
        EXPECT_NEAR(this->out.corners[2].slipAmp, c.expected, 1e-5f) << c.threshold << " " << c.slip;
        EXPECT_NEAR(this->out.corners[0].slipAmp, 0.0f, 1e-6f);
    }
}

TEST(AcPagesOfEitherSimulator, TheACEngineReadsACCSizedPagesButNotTheReverse) {
    TempDir dir;
    AcTestPages pages(dir.path());
    ASSERT_TRUE(pages.create(368, 252));
    ManualClock clock;
    ACCHapticEngine acc(dir.path(), &clock);
    ACHapticEngine ac(dir.path(), &clock);
    Printed quiet;
    EXPECT_FALSE(acc.connect());
    EXPECT_TRUE(ac.connect());
    ASSERT_TRUE(pages.create(580, 1320));
    EXPECT_TRUE(acc.connect());
    EXPECT_TRUE(ac.connect());
    pages.setOnTrackDefaults();
    pages.publish();
    EffectProfile fx;
    HapticFrame a, b;
    EXPECT_TRUE(acc.update(fx, a));
    EXPECT_TRUE(ac.update(fx, b));
    EXPECT_EQ(acc.gear(), 5);
    EXPECT_EQ(ac.gear(), 4);
}

}  // namespace
}  // namespace qv::test
