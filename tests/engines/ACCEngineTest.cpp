// The ACC engine through pages written into a test's own shared-memory
// folder with a manual clock: connecting, gating, time steps, the suspension
// models, calibration, lock-up and the stall rule.

#include "engines/ACCHapticEngine.h"
#include "engines/AcEngineFixture.h"

#include <cmath>
#include <filesystem>
#include <limits>

namespace qv::test {
namespace {

using ACCEngine = AcEngineFixture<ACCHapticEngine>;

TEST_F(ACCEngine, ConnectsWithItsReportAndTakesEachPacketOnce) {
    ASSERT_TRUE(pages.create());
    pages.setOnTrackDefaults();
    {
        Printed printed;
        ASSERT_TRUE(engine.connect());
        EXPECT_EQ(printed.out, "[ACCHapticEngine] Connected to ACC shared memory\n");
        EXPECT_EQ(printed.err, "");
    }
    EXPECT_TRUE(engine.isConnected());
    ASSERT_TRUE(step());
    EXPECT_EQ(engine.sample().packetId, 1);
    HapticFrame again = sentinelFrame();
    EXPECT_FALSE(engine.update(fx, again));
    EXPECT_EQ(again, sentinelFrame());

    // Any change of the packet id is a new packet, also backwards.
    pages.setPacketId(-7);
    EXPECT_TRUE(engine.update(fx, out));
    EXPECT_EQ(engine.sample().packetId, -7);
    EXPECT_EQ(engine.sample().gear, 5) << "the gear as published";
    EXPECT_FLOAT_EQ(engine.speedMps(), 30.0f);
    EXPECT_TRUE(engine.isOnTrack());
}

TEST_F(ACCEngine, MissingOrShortPagesFailConnectLeavingNothingOpen) {
    {
        Printed printed;
        EXPECT_FALSE(engine.connect());
        EXPECT_EQ(printed.err, "") << "no simulator is no error";
    }
    // A physics page without a graphics page.
    ASSERT_TRUE(pages.createPhysicsOnly());
    {
        Printed printed;
        EXPECT_FALSE(engine.connect());
        EXPECT_EQ(printed.err, "");
    }
    EXPECT_FALSE(engine.isConnected());
    const std::string maps = readFile("/proc/self/maps");
    size_t count = 0;
    for (size_t at = maps.find(dir.path() + "acpmf_physics"); at != std::string::npos;
         at = maps.find(dir.path() + "acpmf_physics", at + 1))
        ++count;
    EXPECT_EQ(count, 1u) << "only the test's own map of the physics page";
}

TEST_F(ACCEngine, PagesShorterThanMappedAreRefusedAndSaidOnce) {
    ASSERT_TRUE(pages.create(579, 1320));
    Printed printed;
    EXPECT_FALSE(engine.connect());
    EXPECT_FALSE(engine.connect());
    EXPECT_FALSE(engine.isConnected());
    EXPECT_EQ(printed.err, "[ACCHapticEngine] ERROR: open " + dir.path() +
                               "acpmf_physics: 579 bytes, fewer than the 580 needed\n");
    EXPECT_EQ(engine.lastError(), "open " + dir.path() + "acpmf_physics: 579 bytes, fewer than the 580 needed");

    // The AC sizes are too short for this engine's graphics page as well.
    ASSERT_TRUE(pages.create(580, 252));
    EXPECT_FALSE(engine.connect());
    EXPECT_EQ(engine.lastError(), "open " + dir.path() + "acpmf_graphics: 252 bytes, fewer than the 1320 needed");

    ASSERT_TRUE(pages.create(580, 1320));
    EXPECT_TRUE(engine.connect());
    EXPECT_EQ(engine.lastError(), "");
}

TEST_F(ACCEngine, OffTrackInThePitsOrNotLiveGivesTheExactIdleFrame) {
    connectOnTrack();
    fx.suspDualBand = 1;
    for (int status : {0, 1, 3}) {
        pages.setStatus(status);
        out = sentinelFrame();
        ASSERT_TRUE(step());
        EXPECT_EQ(out, HapticFrame{}) << "status " << status;
        EXPECT_FALSE(engine.isOnTrack());
    }
    pages.setStatus(2);
    pages.setInPit(true);
    out = sentinelFrame();
    ASSERT_TRUE(step());
    EXPECT_EQ(out, HapticFrame{});
    EXPECT_FALSE(engine.isOnTrack());
    EXPECT_TRUE(engine.sample().inPit);
    EXPECT_FALSE(engine.ring().isFull());
    EXPECT_EQ(engine.ring().position(), 0) << "off-track samples do not fill the kerb ring";
    std::string row;
    EXPECT_FALSE(engine.writeCsvRow(row));
    EXPECT_EQ(row, "");

    pages.setInPit(false);
    ASSERT_TRUE(step());
    EXPECT_TRUE(engine.isOnTrack());
    EXPECT_GT(out.engineAmp, 0.0f);
    EXPECT_EQ(engine.ring().position(), 1);
}

TEST_F(ACCEngine, TimeStepIsFixedForTheFirstPacketThenMeasuredAndLimited) {
    connectOnTrack();
    pages.setAllTravel(0.050f);
    ASSERT_TRUE(step(123'000'000));
    EXPECT_FLOAT_EQ(engine.sample().dt, 0.008f);
    EXPECT_EQ(engine.sample().suspVel[0], 0.0f) << "no velocity without a previous travel";

    pages.setAllTravel(0.051f);
    ASSERT_TRUE(step(20'000'000));
    EXPECT_FLOAT_EQ(engine.sample().dt, 0.02f);
    EXPECT_NEAR(engine.sample().suspVel[2], 0.05f, 1e-4f);

    // A pause of one second counts as 0.1 s.
    pages.setAllTravel(0.052f);
    ASSERT_TRUE(step(1'000'000'000));
    EXPECT_FLOAT_EQ(engine.sample().dt, 0.1f);
    EXPECT_NEAR(engine.sample().suspVel[1], 0.01f, 1e-4f);

    // Packets closer than a millisecond count as one.
    pages.setAllTravel(0.051f);
    ASSERT_TRUE(step(200'000));
    EXPECT_FLOAT_EQ(engine.sample().dt, 0.001f);
    EXPECT_NEAR(engine.sample().suspVel[3], -1.0f, 1e-3f);

    // A new connection starts over with the fixed first step.
    ASSERT_TRUE(engine.connect());
    ASSERT_TRUE(step(50'000'000));
    EXPECT_FLOAT_EQ(engine.sample().dt, 0.008f);
    EXPECT_EQ(engine.sample().suspVel[3], 0.0f);
}

TEST_F(ACCEngine, SuspensionModelsFollowTheProfilesChoice) {
    connectOnTrack();
    // 0.05 m/s on every corner after the first packet.
    travelSteps({0.0500f, 0.0505f});
    const float v = engine.sample().suspVel[0];
    ASSERT_NEAR(v, 0.05f, 1e-4f);
    const CornerHaptics& c = out.corners[0];
    EXPECT_FLOAT_EQ(c.roadAmp, 1.0f);
    EXPECT_FLOAT_EQ(c.roadFreq, 40.0f + 3.0f - 6.0f);
    // Simple: sqrt((v - 0.035) x 4) = sqrt(0.06).
    EXPECT_NEAR(c.impactAmp, std::sqrt((v - 0.035f) * 4.0f), 1e-4f);
    EXPECT_NEAR(c.impactFreq, 30.0f + 8.0f - 16.0f * (v - 0.035f) * 4.0f, 1e-3f);
    EXPECT_EQ(c.kerbAmp, 0.0f);

    // Dual band: the slow band starts only at 0.05 m/s.
    fx.suspDualBand = 1;
    travelSteps({0.0510f});
    EXPECT_NEAR(out.corners[1].impactAmp, std::max(0.0f, (engine.sample().suspVel[1] - 0.05f) * 4.0f), 1e-3f);
    travelSteps({0.0530f});
    const float fast = engine.sample().suspVel[1];
    ASSERT_NEAR(fast, 0.2f, 1e-3f);
    EXPECT_NEAR(out.corners[1].impactAmp, (fast - 0.05f) * 4.0f, 1e-3f);
    EXPECT_NEAR(out.corners[1].impactFreq, 30.0f + 3.0f - 6.0f * (fast - 0.05f) * 4.0f, 1e-2f);

    // Road texture at a small velocity sits 3 Hz above the profile.
    travelSteps({0.0530f});
    EXPECT_EQ(out.corners[2].roadAmp, 0.0f);
    EXPECT_FLOAT_EQ(out.corners[2].roadFreq, 43.0f);
    // Engine: 6000 rpm.
    EXPECT_FLOAT_EQ(out.engineAmp, 6000.0f / 9000.0f);
    EXPECT_FLOAT_EQ(out.engineFreq, 2.0f * 60.0f);
}

TEST_F(ACCEngine, KerbBandNeedsAFullRingAndThreeOfFourFastVelocities) {
    connectOnTrack();
    fx.suspDualBand = 1;
    // Travel zig-zags by 1 mm per 10 ms: 0.1 m/s each packet after the first.
    travelSteps({0.050f, 0.051f, 0.050f});
    EXPECT_EQ(out.corners[0].kerbAmp, 0.0f) << "three computed packets: the ring is not full";
    EXPECT_FALSE(engine.ring().isFull());
    travelSteps({0.051f});
    ASSERT_TRUE(engine.ring().isFull());
    // Ring: 0, 0.1, 0.1, 0.1 -> three qualify, largest 0.1 -> k = 0.1 / 0.15.
    const float k = 0.1f / 0.15f;
    EXPECT_NEAR(out.corners[0].kerbAmp, k, 1e-3f);
    EXPECT_NEAR(out.corners[3].kerbFreq, 50.0f + 3.0f - 6.0f * k, 1e-2f);

    // Two slow packets leave only two fast velocities among the last four.
    travelSteps({0.051f, 0.0511f});
    EXPECT_EQ(out.corners[0].kerbAmp, 0.0f);
    EXPECT_FLOAT_EQ(out.corners[0].kerbFreq, 53.0f);

    // In the simple model the kerb effect is silent whatever the ring holds.
    fx.suspDualBand = 0;
    travelSteps({0.060f, 0.050f, 0.060f, 0.050f});
    EXPECT_EQ(out.corners[0].kerbAmp, 0.0f);
    EXPECT_GT(out.corners[0].impactAmp, 0.9f) << "kerbs are felt through the suspension effect";
}

// Coasting straight at 10 m/s: brake and throttle released, low load.
void coast(AcTestPages& pages, float angularSpeed) {
    pages.setSpeedKmh(36.0f);
    pages.setThrottle(0.0f);
    pages.setBrake(0.0f);
    pages.setAccelG(0.5f);
    pages.setAllAngularSpeed(angularSpeed);
}

TEST_F(ACCEngine, RadiusCalibrationTakesOnlyCoastingSamplesAndPlausibleRadii) {
    connectOnTrack();
    coast(pages, 1.0f / 0.3f * 10.0f);
    ASSERT_TRUE(step());
    ASSERT_EQ(engine.sample().speed, 10.0f);
    EXPECT_NEAR(engine.calibration().wheelRadius[0], 0.3f, 1e-5f) << "the first estimate is taken whole";
    EXPECT_EQ(engine.calibration().radiusCount, 1);
    EXPECT_FALSE(engine.calibration().radiusCalibrated);
    // The wheel speed of a sample uses the radius from before it.
    EXPECT_NEAR(engine.sample().wheelSpeed[0], 0.33f / 0.3f * 10.0f, 1e-4f);

    // Not coasting: each condition alone stops the calibration.
    const auto notCoasting = [&](auto&& spoil) {
        coast(pages, 40.0f);
        spoil();
        const int before = engine.calibration().radiusCount;
        EXPECT_TRUE(step());
        EXPECT_EQ(engine.calibration().radiusCount, before);
    };
    notCoasting([&] { pages.setSpeedKmh(30.0f); });
    notCoasting([&] { pages.setBrake(0.02f); });
    notCoasting([&] { pages.setThrottle(0.1f); });
    notCoasting([&] { pages.setAccelG(-3.0f); });
    EXPECT_NEAR(engine.calibration().wheelRadius[0], 0.3f, 1e-5f);

    // Radii of exactly 0.2 and 0.45 m are ignored, but the sample counts.
    coast(pages, 50.0f);  // 10 / 50 = 0.2
    ASSERT_EQ(10.0f / (10.0f / 0.45f), 0.45f);
    pages.setAngularSpeed(1, 10.0f / 0.45f);
    ASSERT_TRUE(step());
    EXPECT_NEAR(engine.calibration().wheelRadius[0], 0.3f, 1e-5f);
    EXPECT_EQ(engine.calibration().radiusCount, 2);
    // Later estimates move a tenth of the way.
    coast(pages, 10.0f / 0.4f);
    ASSERT_TRUE(step());
    EXPECT_NEAR(engine.calibration().wheelRadius[2], 0.3f + 0.1f * 0.1f, 1e-5f);
    EXPECT_EQ(engine.calibration().radiusCount, 3);
    EXPECT_TRUE(engine.calibration().radiusCalibrated);
}

TEST_F(ACCEngine, BiasCalibrationFollowsTheRadiusAndCompletesAfterTenSamples) {
    connectOnTrack();
    std::string header;
    ASSERT_TRUE(engine.writeCsvHeader(header));
    coast(pages, 10.0f / 0.3f);
    for (int i = 1; i <= 12; ++i) {
        ASSERT_TRUE(step());
        const ACCCalibration& cal = engine.calibration();
        EXPECT_EQ(cal.radiusCalibrated, i >= 3) << i;
        EXPECT_EQ(cal.biasCount, i >= 3 ? i - 2 : 0) << i;
        EXPECT_EQ(cal.biasCalibrated, i >= 12) << i;
        std::string row;
        ASSERT_TRUE(engine.writeCsvRow(row));
        EXPECT_EQ(row.substr(row.size() - 2), i >= 12 ? "1\n" : "0\n") << row;
    }
    // Coasting, the calibrated slip rests near 0.
    for (int i = 0; i < 60; ++i)
        ASSERT_TRUE(step());
    EXPECT_NEAR(engine.sample().lngSlip[0], 0.0f, 0.01f);
    EXPECT_NEAR(engine.calibration().wheelRadius[3], 0.3f, 1e-4f);

    // A new connection forgets it all.
    ASSERT_TRUE(engine.connect());
    EXPECT_EQ(engine.calibration().wheelRadius[0], 0.33f);
    EXPECT_EQ(engine.calibration().lngSlipBias[0], 0.0f);
    EXPECT_FALSE(engine.calibration().isComplete());
}

// Braking at `kmh` with every wheel turning at `rollingFraction` of the car's
// speed (against the 0.33 m radius the engine starts from).
void brakeWith(AcTestPages& pages, float kmh, float brake, float rollingFraction) {
    pages.setSpeedKmh(kmh);
    pages.setBrake(brake);
    pages.setThrottle(0.0f);
    pages.setAllAngularSpeed(kmh / 3.6f * rollingFraction / 0.33f);
}

TEST_F(ACCEngine, LockUpNeedsBrakeSpeedAndSlipAndPulsesPerCorner) {
    connectOnTrack();
    // At 1/32 s after the connect with brake 0.5 (8 Hz) the left front is at
    // the top of its pulse; the other corners are a quarter period apart.
    brakeWith(pages, 180.0f, 0.5f, 0.5f);
    ASSERT_TRUE(step(31'250'000));
    ASSERT_NEAR(engine.sample().lngSlip[0], 0.5f, 1e-5f);
    EXPECT_NEAR(out.corners[0].absAmp, std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(out.corners[1].absAmp, 0.0f, 1e-5f);
    EXPECT_NEAR(out.corners[2].absAmp, 0.0f, 1e-5f);
    EXPECT_NEAR(out.corners[3].absAmp, 0.0f, 1e-5f);
    EXPECT_FLOAT_EQ(out.corners[0].absFreq, 25.0f + 5.0f - 10.0f * 0.5f);
    // Seven eighths of a period later the left front and the right front
    // both pulse: 2.5 x sin(pi/4) and 2.5 x sin(3pi/4) both exceed 1.
    ASSERT_TRUE(step(109'375'000));
    EXPECT_NEAR(out.corners[0].absAmp, std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(out.corners[1].absAmp, std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(out.corners[2].absAmp, 0.0f, 1e-5f);

    // Boundaries: brake 0.05, speed 8.33 m/s and slip 0.04 are not enough.
    brakeWith(pages, 180.0f, 0.05f, 0.5f);
    ASSERT_TRUE(step(31'250'000));
    EXPECT_EQ(out.corners[0].absAmp, 0.0f);
    EXPECT_FLOAT_EQ(out.corners[0].absFreq, 25.0f);
    brakeWith(pages, 8.32f * 3.6f, 0.5f, 0.5f);
    ASSERT_TRUE(step());
    EXPECT_EQ(out.corners[0].absAmp, 0.0f);
    brakeWith(pages, 180.0f, 0.5f, 0.965f);
    ASSERT_TRUE(step());
    ASSERT_LT(engine.sample().lngSlip[0], 0.04f);
    EXPECT_EQ(out.corners[0].absAmp, 0.0f);
    EXPECT_EQ(out.corners[3].absAmp, 0.0f);
}

TEST_F(ACCEngine, LockUpPulseKeepsItsRateAfterDaysOfUptime) {
    // A clock that has run for 40 days: the pulse counts from the connect.
    clock.advanceNs(40ull * 24 * 3600 * 1'000'000'000ull + 123'456'789);
    connectOnTrack();
    brakeWith(pages, 180.0f, 0.5f, 0.5f);
    ASSERT_TRUE(step(31'250'000));
    EXPECT_NEAR(out.corners[0].absAmp, std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(out.corners[2].absAmp, 0.0f, 1e-5f);
    ASSERT_TRUE(step(62'500'000));  // half a period on: LF down, LR up
    EXPECT_NEAR(out.corners[0].absAmp, 0.0f, 1e-5f);
    EXPECT_NEAR(out.corners[2].absAmp, std::sqrt(0.5f), 1e-5f);
}

TEST_F(ACCEngine, StalledPacketsGiveTheIdleFrameOnceWhileStayingConnected) {
    connectOnTrack();
    ASSERT_TRUE(step());
    ASSERT_GT(out.engineAmp, 0.0f);
    clock.advanceNs(500'000'000);
    out = sentinelFrame();
    EXPECT_FALSE(engine.update(fx, out)) << "exactly 0.5 s is no stall yet";
    EXPECT_EQ(out, sentinelFrame());
    clock.advanceNs(1'000'000);
    EXPECT_TRUE(engine.update(fx, out));
    EXPECT_EQ(out, HapticFrame{});
    EXPECT_EQ(engine.lastFrame(), HapticFrame{});
    std::string row;
    EXPECT_FALSE(engine.writeCsvRow(row)) << "the stall frame is no sample";
    for (int i = 0; i < 5; ++i) {
        clock.advanceNs(1'000'000'000);
        out = sentinelFrame();
        EXPECT_FALSE(engine.update(fx, out));
        EXPECT_EQ(out, sentinelFrame());
    }
    EXPECT_TRUE(engine.isConnected());

    // Packets again, then another stall.
    ASSERT_TRUE(step());
    EXPECT_GT(out.engineAmp, 0.0f);
    EXPECT_TRUE(engine.writeCsvRow(row));
    clock.advanceNs(600'000'000);
    EXPECT_TRUE(engine.update(fx, out));
    EXPECT_EQ(out, HapticFrame{});
}

TEST_F(ACCEngine, ConnectingToQuietPagesStallsOnceAfterHalfASecond) {
    ASSERT_TRUE(pages.create());
    ASSERT_TRUE(engine.connect());
    ASSERT_TRUE(engine.update(fx, out));  // packet id 0 of the fresh pages
    clock.advanceNs(400'000'000);
    EXPECT_FALSE(engine.update(fx, out));
    clock.advanceNs(200'000'000);
    EXPECT_TRUE(engine.update(fx, out));
    EXPECT_FALSE(engine.update(fx, out));
}

TEST_F(ACCEngine, TheSimulatorLeavingOrComingBackIsSeenThroughThePageFiles) {
    connectOnTrack();
    ASSERT_TRUE(step());
    // Gone from their names, the pages stay readable: still connected.
    pages.remove();
    EXPECT_TRUE(engine.isConnected());
    clock.advanceNs(600'000'000);
    EXPECT_TRUE(engine.update(fx, out));
    EXPECT_EQ(out, HapticFrame{});

    // A simulator that starts again makes new pages: time to reconnect.
    AcTestPages again(dir.path());
    ASSERT_TRUE(again.create());
    EXPECT_FALSE(engine.isConnected());
    EXPECT_FALSE(engine.update(fx, out));
    ASSERT_TRUE(engine.connect());
    again.setOnTrackDefaults();
    again.publish();
    EXPECT_TRUE(engine.update(fx, out));
    EXPECT_GT(out.engineAmp, 0.0f);

    // A page that shrank would fault on reading: no longer connected.
    std::filesystem::resize_file(dir.path() + "acpmf_graphics", 100);
    EXPECT_FALSE(engine.isConnected());
    again.publish();
    EXPECT_FALSE(engine.update(fx, out));
}

TEST_F(ACCEngine, NonFiniteAndAbsurdTelemetryGivesAFiniteFrame) {
    connectOnTrack();
    fx.suspDualBand = 1;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf, 3.0e38f, -3.0e38f}) {
        for (size_t offset = 4; offset < 200; offset += 4) {
            if (offset != 16 && offset != 20)
                pages.putFloat(pages.physics(), offset, bad);
        }
        pages.setRpm(bad > 0 ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int32_t>::min());
        ASSERT_TRUE(step());
        EXPECT_TRUE(frameIsFinite(out)) << bad;
        EXPECT_TRUE(amplitudesInRange(out)) << bad;
        std::string row;
        ASSERT_TRUE(engine.writeCsvRow(row));
        EXPECT_EQ(row.find('\n'), row.size() - 1) << row;
        EXPECT_EQ(row.find("nan"), std::string::npos) << row;
        EXPECT_EQ(row.find("inf"), std::string::npos) << row;
    }
    // A profile with non-finite values cannot break the frame either.
    fx.roadVibration = nan;
    fx.freqKerb = inf;
    ASSERT_TRUE(step());
    EXPECT_TRUE(frameIsFinite(out));
    EXPECT_TRUE(amplitudesInRange(out));
}

TEST_F(ACCEngine, LoggerHeaderAndRow) {
    connectOnTrack();
    std::string header;
    ASSERT_TRUE(engine.writeCsvHeader(header));
    EXPECT_EQ(header,
              "timestamp_ms,speed_kmh,brake_pct,lngSlip_LF,lngSlip_RF,lngSlip_LR,lngSlip_RR,absAmp_LF,absAmp_RF,"
              "absAmp_LR,absAmp_RR,bias_LF,bias_RF,bias_LR,bias_RR,calibrated\n");
    brakeWith(pages, 180.0f, 0.5f, 0.5f);
    ASSERT_TRUE(step(31'250'000));
    std::string row = "keep:";
    ASSERT_TRUE(engine.writeCsvRow(row));
    EXPECT_EQ(row,
              "keep:0.0,180.0,0.500,0.5000,0.5000,0.5000,0.5000,0.7071,0.0000,0.0000,0.0000,"
              "0.0000,0.0000,0.0000,0.0000,0\n");
}

}  // namespace
}  // namespace qv::test
