// The AC EVO engine through pages in a test's own shared-memory folder, with
// an injected clock: the stall rule, time steps, the engine effect and its
// type cache, kerb weights, lock-up gates, wheel slip, hostile pages and the
// logger rows.

#include "engines/ACEVOHapticEngine.h"
#include "engines/ACEVOTestPages.h"
#include "engines/EngineContract.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <cmath>
#include <limits>

namespace qv::test {
namespace {

class ACEVOEngine : public ::testing::Test {
protected:
    ACEVOEngine() : pages(dir.path()), engine(dir.path(), &clock) {
        fx.roadVibration = 0.5f;
        fx.suspImpact = 0.6f;
        fx.kerbRumble = 0.8f;
        fx.engineRumble = 0.4f;
        fx.absLock = 0.7f;
        fx.wheelSlipSensitivity = 0.9f;
        fx.wheelSlipThreshold = 50;
    }
    void SetUp() override {
        ASSERT_TRUE(pages.create());
        pages.setOnTrackDefaults();
    }
    // Publishes one step `ms` milliseconds after the previous one and takes it.
    HapticFrame step(uint64_t ms = 10) {
        clock.advanceMs(ms);
        pages.publish();
        HapticFrame out = sentinelFrame();
        EXPECT_TRUE(engine.update(fx, out));
        return out;
    }
    // Two steps 10 ms apart whose travel differs by v x 10 ms per corner.
    HapticFrame withVelocities(const float (&v)[4]) {
        for (int c = 0; c < 4; ++c)
            pages.setTravel(c, 0.05f);
        step();
        for (int c = 0; c < 4; ++c)
            pages.setTravel(c, 0.05f + v[c] * 0.01f);
        return step();
    }

    std::string printed;
    OutputCapture capture{[this](OutputStream, std::string_view t) { printed += t; }};
    TempDir dir;
    ACEVOTestPages pages;
    ManualClock clock;
    ACEVOHapticEngine engine;
    EffectProfile fx;
};

TEST_F(ACEVOEngine, AStallGivesOneIdleFrameAlsoBeforeTheFirstPacket) {
    pages.physics<int32_t>(0, -1);  // a counter that never names a sample
    ASSERT_TRUE(engine.connect());
    EXPECT_NE(printed.find("[ACEVOHapticEngine] Connected to AC EVO shared memory\n"), std::string::npos);
    HapticFrame out = sentinelFrame();
    clock.advanceMs(500);
    EXPECT_FALSE(engine.update(fx, out)) << "exactly 0.5 s is no stall yet";
    clock.advanceMs(1);
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(out, HapticFrame{});
    for (int i = 0; i < 5; ++i) {
        clock.advanceMs(300);
        out = sentinelFrame();
        EXPECT_FALSE(engine.update(fx, out));
        EXPECT_EQ(out, sentinelFrame());
    }

    // A packet, then the next stall: one more idle frame, and no logger row
    // for it.
    out = step();
    EXPECT_GT(out.engineAmp, 0.0f);
    std::string csv;
    clock.advanceMs(501);
    out = sentinelFrame();
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(out, HapticFrame{});
    EXPECT_TRUE(engine.isOnTrack()) << "the last sample's flag stays";
    EXPECT_FALSE(engine.writeCsvRow(csv));
    EXPECT_TRUE(csv.empty());
    EXPECT_FALSE(engine.update(fx, out));
}

TEST_F(ACEVOEngine, TimeStepsComeFromTheClockWithinLimits) {
    ASSERT_TRUE(engine.connect());
    pages.setTravel(0, 0.050f);
    step(3);
    EXPECT_FLOAT_EQ(engine.lastDt(), 0.008f) << "the first sample";
    EXPECT_EQ(engine.sample().suspVelocity[0], 0.0f);

    pages.setTravel(0, 0.051f);
    step(20);
    EXPECT_FLOAT_EQ(engine.lastDt(), 0.02f);
    EXPECT_NEAR(engine.sample().suspVelocity[0], 0.05f, 1e-4f);

    pages.setTravel(0, 0.061f);
    step(1000);
    EXPECT_FLOAT_EQ(engine.lastDt(), 0.1f) << "a pause counts as 0.1 s";
    EXPECT_NEAR(engine.sample().suspVelocity[0], 0.1f, 1e-4f);

    step(0);
    EXPECT_FLOAT_EQ(engine.lastDt(), 0.001f);

    // Reconnecting starts over.
    ASSERT_TRUE(engine.connect());
    step(50);
    EXPECT_FLOAT_EQ(engine.lastDt(), 0.008f);
    EXPECT_EQ(engine.sample().suspVelocity[0], 0.0f);
}

TEST_F(ACEVOEngine, CombustionEnginesRumbleElectricOnesNever) {
    ASSERT_TRUE(engine.connect());
    pages.physics<int32_t>(20, 4000);
    HapticFrame out = step();
    EXPECT_FLOAT_EQ(out.engineAmp, 0.5f * fx.engineRumble);
    EXPECT_FLOAT_EQ(out.engineFreq, 0.5f * 140.0f + 10.0f) << "the profile's frequency is not used";

    pages.physics<int32_t>(588, 1000);  // no usable maximum: 9000 rpm
    pages.physics<int32_t>(20, 4500);
    out = step();
    EXPECT_FLOAT_EQ(out.engineAmp, 0.5f * fx.engineRumble);

    pages.physics<int32_t>(20, 20000);
    out = step();
    EXPECT_FLOAT_EQ(out.engineAmp, fx.engineRumble);
    EXPECT_FLOAT_EQ(out.engineFreq, 150.0f);

    for (auto [running, rpm] : {std::pair{0, 5000}, std::pair{1, 100}}) {
        pages.physics<int32_t>(780, running);
        pages.physics<int32_t>(20, rpm);
        out = step();
        EXPECT_EQ(out.engineAmp, 0.0f);
        EXPECT_EQ(out.engineFreq, fx.freqEngine);
    }

    // An electric car, from a fresh connection (the type is cached).
    pages.physics<int32_t>(780, 1);
    pages.physics<int32_t>(20, 5000);
    pages.graphics<int32_t>(2416, 1);
    ASSERT_TRUE(engine.connect());
    out = step();
    EXPECT_EQ(out.engineAmp, 0.0f);
    EXPECT_EQ(out.engineFreq, fx.freqEngine);
}

TEST_F(ACEVOEngine, TheEngineTypeIsCachedOncePerConnection) {
    ASSERT_TRUE(engine.connect());
    pages.graphics<int32_t>(4, 1);  // not live yet: nothing cached
    pages.graphics<int32_t>(2416, 1);
    step();
    EXPECT_FALSE(engine.isEngineTypeCached());
    EXPECT_FALSE(engine.isOnTrack());

    pages.graphics<int32_t>(4, 2);
    step();
    EXPECT_TRUE(engine.isEngineTypeCached());
    EXPECT_EQ(engine.engineType(), 1);
    pages.graphics<int32_t>(2416, 0);
    HapticFrame out = step();
    EXPECT_EQ(engine.engineType(), 1) << "a later value is not read";
    EXPECT_EQ(out.engineAmp, 0.0f);

    ASSERT_TRUE(engine.connect());
    EXPECT_FALSE(engine.isEngineTypeCached());
    out = step();
    EXPECT_EQ(engine.engineType(), 0);
    EXPECT_GT(out.engineAmp, 0.0f);

    const std::string ev = "[ACEVOHapticEngine] engine_type cached: ELECTRIC_MOTOR\n";
    const std::string ice = "[ACEVOHapticEngine] engine_type cached: INTERNAL_COMBUSTION\n";
    ASSERT_NE(printed.find(ev), std::string::npos) << printed;
    EXPECT_EQ(printed.find(ev, printed.find(ev) + 1), std::string::npos) << "said once";
    EXPECT_NE(printed.find(ice, printed.find(ev)), std::string::npos);
}

TEST_F(ACEVOEngine, RoadIsTheSameOnEveryCornerAndRisesInPitchWithSpeed) {
    ASSERT_TRUE(engine.connect());
    pages.physics<float>(792, -0.13f);  // r = 0.5
    HapticFrame out = step();
    for (const CornerHaptics& c : out.corners) {
        EXPECT_FLOAT_EQ(c.roadAmp, 0.5f * fx.roadVibration);
        EXPECT_FLOAT_EQ(c.roadFreq, 6.0f + fx.freqRoadVib + 3.0f - 3.0f);  // 30 m/s adds 6 Hz
    }
    pages.physics<float>(28, 300.0f);
    out = step();
    EXPECT_FLOAT_EQ(out.corners[2].roadFreq, 10.0f + fx.freqRoadVib) << "at most 10 Hz more";
    pages.physics<float>(792, 0.03f);
    fx.freqRoadVib = 100.0f;
    out = step();
    EXPECT_EQ(out.corners[0].roadAmp, 0.0f);
    EXPECT_EQ(out.corners[0].roadFreq, 75.0f);
}

TEST_F(ACEVOEngine, KerbWeightsFollowTheMovingCornersUpToTheFrameLimit) {
    ASSERT_TRUE(engine.connect());
    pages.physics<float>(784, 0.1f);
    const float k = (0.1f - 0.01f) * 3.5f;
    fx.kerbRumble = 0.2f;

    // No suspension motion: the same strength everywhere.
    HapticFrame out = withVelocities({0.0f, 0.0f, 0.0f, 0.0f});
    for (const CornerHaptics& c : out.corners) {
        EXPECT_NEAR(c.kerbAmp, k * fx.kerbRumble, 1e-6f);
        EXPECT_FLOAT_EQ(c.kerbFreq, fx.freqKerb + 3.0f - 6.0f * k);
    }

    // Weight 4v / S per corner: the corners that hit the kerb play louder
    // than the level, the still ones not at all.
    const struct {
        float velocities[4];
        float weights[4];
    } cases[] = {
        {{0.0f, 0.0f, 0.0f, 0.2f}, {0.0f, 0.0f, 0.0f, 4.0f}},
        {{0.1f, 0.1f, 0.1f, 0.3f}, {4.0f / 6.0f, 4.0f / 6.0f, 4.0f / 6.0f, 2.0f}},
        {{-0.2f, 0.2f, 0.0f, 0.0f}, {2.0f, 2.0f, 0.0f, 0.0f}},
        {{0.1f, 0.1f, 0.1f, 0.1f}, {1.0f, 1.0f, 1.0f, 1.0f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.velocities));
        out = withVelocities(c.velocities);
        for (int corner = 0; corner < kCornerCount; ++corner)
            EXPECT_NEAR(out.corners[corner].kerbAmp, c.weights[corner] * k * fx.kerbRumble, 1e-4f) << corner;
    }

    // Full kerb at full level on one corner: 4, held at 1 by the frame limit.
    fx.kerbRumble = 1.0f;
    pages.physics<float>(784, 0.5f);
    out = withVelocities({0.0f, 0.3f, 0.0f, 0.0f});
    EXPECT_FLOAT_EQ(out.corners[1].kerbAmp, 1.0f);
    EXPECT_TRUE(amplitudesInRange(out));
}

TEST_F(ACEVOEngine, ImpactGrowsLinearlyPastItsThreshold) {
    ASSERT_TRUE(engine.connect());
    const HapticFrame out = withVelocities({0.04f, 0.12f, -0.2f, 0.5f});
    EXPECT_NEAR(out.corners[0].impactAmp, 0.0f, 1e-4f);
    EXPECT_NEAR(out.corners[1].impactAmp, 0.5f * fx.suspImpact, 1e-3f);
    EXPECT_NEAR(out.corners[2].impactAmp, fx.suspImpact, 1e-3f);
    EXPECT_NEAR(out.corners[1].impactFreq, fx.freqSuspImp, 0.01f);
    EXPECT_FLOAT_EQ(out.corners[3].impactAmp, fx.suspImpact);
}

TEST_F(ACEVOEngine, LockUpNeedsBothTheAbsLevelAndTheBrake) {
    ASSERT_TRUE(engine.connect());
    pages.setSlipRatio(0, 0.2f);
    pages.setSlipRatio(1, -0.12f);
    pages.setSlipRatio(2, 0.04f);
    for (auto [level, brake] : {std::pair{0.05f, 0.8f}, std::pair{0.5f, 0.05f}}) {
        pages.physics<float>(252, level);
        pages.physics<float>(8, brake);
        const HapticFrame out = step();
        EXPECT_EQ(out.corners[0].absAmp, 0.0f) << level << " " << brake;
        EXPECT_EQ(out.corners[0].absFreq, fx.freqAbsLock);
    }
    pages.physics<float>(252, 0.5f);
    pages.physics<float>(8, 0.64f);
    const HapticFrame out = step();
    EXPECT_FLOAT_EQ(out.corners[0].absAmp, 0.8f * 1.0f * 1.0f * fx.absLock);
    EXPECT_FLOAT_EQ(out.corners[0].absFreq, fx.freqAbsLock + 5.0f - 6.4f);
    EXPECT_NEAR(out.corners[1].absAmp, 0.8f * 0.5f * fx.absLock, 1e-6f) << "the slip's size counts";
    EXPECT_EQ(out.corners[2].absAmp, 0.0f);

    pages.physics<float>(28, 35.0f);  // 9.72 m/s: half of 19.44
    EXPECT_NEAR(step().corners[0].absAmp, 0.8f * 0.5f * fx.absLock, 1e-4f);
}

TEST_F(ACEVOEngine, WheelSlipOnsetFollowsTheThresholdInFloatingPoint) {
    ASSERT_TRUE(engine.connect());
    pages.setWheelSlip(0, 1.0f);
    pages.setWheelSlip(1, 0.9f);
    pages.setWheelSlip(2, 9.0f);
    HapticFrame out = step();
    const float onset = 1.1f - (49.0f / 99.0f) * 0.4f;  // 0.902, not 1.1
    EXPECT_NEAR(out.corners[0].slipAmp, (1.0f - onset) / 0.6f * fx.wheelSlipSensitivity, 1e-5f);
    EXPECT_EQ(out.corners[1].slipAmp, 0.0f);
    EXPECT_FLOAT_EQ(out.corners[2].slipAmp, fx.wheelSlipSensitivity);

    fx.wheelSlipThreshold = 1;
    EXPECT_EQ(step().corners[0].slipAmp, 0.0f) << "onset 1.1";
    fx.wheelSlipThreshold = 100;
    EXPECT_NEAR(step().corners[1].slipAmp, (0.9f - 0.7f) / 0.6f * fx.wheelSlipSensitivity, 1e-5f);

    pages.physics<float>(28, 5.0f);  // 1.39 m/s
    EXPECT_EQ(step().corners[2].slipAmp, 0.0f);
}

TEST_F(ACEVOEngine, OnlyLiveTrackStatesCountAsOnTrack) {
    ASSERT_TRUE(engine.connect());
    for (int state = -1; state <= 6; ++state) {
        pages.graphics<int32_t>(1388, state);
        const HapticFrame out = step();
        const bool on = state >= 2 && state <= 4;
        EXPECT_EQ(engine.isOnTrack(), on) << state;
        if (!on) {
            EXPECT_EQ(out, HapticFrame{}) << state;
        }
    }
    pages.graphics<int32_t>(1388, 3);
    pages.graphics<int32_t>(4, 3);
    EXPECT_EQ(step(), HapticFrame{});
    EXPECT_FALSE(engine.isOnTrack());
}

TEST_F(ACEVOEngine, HostilePagesGiveFiniteFramesWithinRange) {
    ASSERT_TRUE(engine.connect());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf, 3.0e38f, -3.0e38f}) {
        for (size_t offset : {4u, 8u, 24u, 28u, 252u, 784u, 788u, 792u, 796u})
            pages.physics<float>(offset, bad);
        for (int c = 0; c < 4; ++c) {
            pages.setTravel(c, bad);
            pages.setWheelSlip(c, bad);
            pages.setSlipRatio(c, bad);
        }
        pages.physics<int32_t>(20, INT_MAX);
        pages.physics<int32_t>(588, INT_MIN);
        pages.physics<int32_t>(16, INT_MIN);
        for (int i = 0; i < 3; ++i) {
            const HapticFrame out = step();
            EXPECT_TRUE(frameIsFinite(out));
            EXPECT_TRUE(amplitudesInRange(out));
        }
        RecordingConsole console;
        engine.drawDashboard(console, HapticFrame{}, fx, 120, 0.2f);
        std::string csv;
        EXPECT_TRUE(engine.writeCsvRow(csv));
        EXPECT_EQ(csv.find("nan"), std::string::npos) << csv;
        EXPECT_EQ(csv.find("inf"), std::string::npos) << csv;
    }
}

TEST_F(ACEVOEngine, PagesLeftBehindStallNewOrShrunkPagesReconnect) {
    ASSERT_TRUE(engine.connect());
    step();
    pages.remove();
    EXPECT_TRUE(engine.isConnected()) << "the simulator quit: its pages stay readable";
    HapticFrame out = sentinelFrame();
    clock.advanceMs(501);
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_EQ(out, HapticFrame{});
    EXPECT_FALSE(engine.update(fx, out));

    // The simulator starts again with new pages.
    ASSERT_TRUE(pages.create());
    EXPECT_FALSE(engine.isConnected());
    out = sentinelFrame();
    clock.advanceMs(2000);
    EXPECT_FALSE(engine.update(fx, out));
    EXPECT_EQ(out, sentinelFrame());
    ASSERT_TRUE(engine.connect());
    EXPECT_TRUE(engine.isConnected());

    // A page cut short under the mapping would fault on reading.
    std::filesystem::resize_file(dir.path() + "acevo_pmf_graphics", 100);
    EXPECT_FALSE(engine.isConnected());
    pages.publish();
    EXPECT_FALSE(engine.update(fx, out));
    pages.remove();
    printed.clear();
    EXPECT_FALSE(engine.connect());
    EXPECT_TRUE(printed.empty()) << "no simulator: no message";
}

TEST_F(ACEVOEngine, ShortPagesAreRefusedWithOneMessage) {
    pages.remove();
    ASSERT_TRUE(pages.create(800, 100));
    EXPECT_FALSE(engine.connect());
    EXPECT_FALSE(engine.isConnected());
    EXPECT_NE(engine.lastError().find("100 bytes, fewer than the 3936 needed"), std::string::npos)
        << engine.lastError();
    EXPECT_FALSE(engine.connect());
    EXPECT_NE(printed.find("[ACEVOHapticEngine] ERROR: "), std::string::npos) << printed;
    EXPECT_EQ(printed.find("ERROR"), printed.rfind("ERROR")) << "each problem is said once";
}

TEST_F(ACEVOEngine, LoggerRowsHaveTwentyColumnsOnePerSample) {
    std::string header;
    ASSERT_TRUE(engine.writeCsvHeader(header));
    EXPECT_EQ(header,
              "timestamp_ms,speed_kmh,steerAngle,gear,rpm,currentTorque,brake_pct,throttle_pct,wheelSlip_LF,"
              "wheelSlip_RF,wheelSlip_LR,wheelSlip_RR,slipRatio_LF,slipRatio_RF,slipRatio_LR,slipRatio_RR,"
              "slipAngle_LF,slipAngle_RF,slipAngle_LR,slipAngle_RR\n");

    ASSERT_TRUE(engine.connect());
    pages.physics<float>(24, -0.25f);
    pages.physics<float>(4, 0.75f);
    pages.physics<float>(8, 0.125f);
    pages.graphics<float>(212, 321.5f);
    const float ratios[4] = {0.0f, -0.01f, -0.02f, -0.03f};
    for (int c = 0; c < 4; ++c) {
        pages.setWheelSlip(c, 0.5f + c);
        pages.setSlipRatio(c, ratios[c]);
        pages.physics<float>(656 + 4 * static_cast<size_t>(c), 0.1f * c);
    }
    step();
    std::string row;
    ASSERT_TRUE(engine.writeCsvRow(row));
    EXPECT_EQ(row,
              "0.0,108.0,-0.2500,4,5000,321.5,0.125,0.750,0.5000,1.5000,2.5000,3.5000,0.0000,-0.0100,-0.0200,"
              "-0.0300,0.0000,0.1000,0.2000,0.3000\n");
    row.clear();
    EXPECT_FALSE(engine.writeCsvRow(row)) << "one row per sample";

    pages.graphics<int32_t>(1388, 1);
    step();
    EXPECT_FALSE(engine.writeCsvRow(row)) << "off track";
    EXPECT_TRUE(row.empty());
}

}  // namespace
}  // namespace qv::test
