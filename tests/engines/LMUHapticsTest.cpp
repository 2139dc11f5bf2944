// The Le Mans Ultimate haptic computation: texture parameters, adaptive
// thresholds, the two suspension modes, kerbs, lock-up with its learned
// slip bias, the steering gain and the wheel-slip vibration.

#include "engines/EngineContract.h"
#include "engines/LMUHapticEngine.h"
#include "engines/LMUTestMap.h"
#include "platform/Clock.h"
#include "platform/Output.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qv::test {
namespace {

constexpr float kPi = 3.14159265358979f;

class LMUHaptics : public ::testing::Test {
protected:
    LMUHaptics() {
        s.onTrack = true;
        s.speed = 30.0f;
        s.surfaceTypeByte = 0;  // dry
        s.elapsedTime = 100.0;
        fx.roadVibration = 0.5f;
        fx.suspImpact = 0.6f;
        fx.kerbRumble = 0.8f;
        fx.engineRumble = 0.4f;
        fx.absLock = 0.7f;
        fx.freqAbsLock = 33.0f;
        fx.wheelSlipSensitivity = 0.9f;
        fx.wheelSlipThreshold = 50;
    }
    void setVelocities(float a, float b, float c, float d) {
        const float v[4] = {a, b, c, d};
        for (int i = 0; i < 4; ++i)
            s.corners[i].suspVelocity = v[i];
    }
    HapticFrame compute() {
        HapticFrame out = sentinelFrame();
        s.elapsedTime += 0.01;
        computeLMUFrame(s, st, fx, out);
        return out;
    }

    LmuSample s;
    LmuState st;
    EffectProfile fx;
};

TEST_F(LMUHaptics, OffTrackGivesTheIdleFrameAndLearnsNothing) {
    s.onTrack = false;
    setVelocities(0.5f, 0.5f, 0.5f, 0.5f);
    s.engineRpm = 6000.0f;
    EXPECT_EQ(compute(), HapticFrame{});
    EXPECT_EQ(st.peakSamples, 0);
    EXPECT_EQ(st.ringIndex, 0);
    EXPECT_EQ(st.prevTime, 0.0);
    EXPECT_EQ(st.roadScale, 0.03f) << "the values from before the first computation";
}

TEST_F(LMUHaptics, SurfacesChooseTheirTextureParameters) {
    EXPECT_EQ(surfaceTextureParams(0).roadScale, 0.015f);
    EXPECT_EQ(surfaceTextureParams(4).lockSlipRange, 0.3f);
    EXPECT_EQ(surfaceTextureParams(5).dualRange, 0.25f);
    EXPECT_EQ(surfaceTextureParams(6).lockSlipThreshold, 0.015f);
    for (uint8_t wet : {1, 7, 255}) {
        EXPECT_EQ(surfaceTextureParams(wet).impactRange, 0.07f);
        EXPECT_EQ(surfaceTextureParams(wet).kerbRange, 0.14f);
    }
    const char* names[] = {"dry  ", "wet  ", "grass", "dirt ", "grvl ", "KERB!", "spec ", "?    "};
    for (int i = 0; i < 8; ++i)
        EXPECT_STREQ(surfaceName(static_cast<uint8_t>(i)), names[i]);
    EXPECT_STREQ(surfaceName(255), "?    ");
}

TEST_F(LMUHaptics, ImpactIsARootInSimpleModeAndLinearInDualBand) {
    // Dry: simple threshold 0.015 over 0.045; dual-band 0.025 over 0.06.
    setVelocities(0.02625f, -0.015f, 0.1f, 0.0f);
    HapticFrame out = compute();
    EXPECT_NEAR(out.corners[0].impactAmp, 0.5f * fx.suspImpact, 1e-5f);
    EXPECT_NEAR(out.corners[0].impactFreq, fx.freqSuspImp + 3.0f - 1.5f, 1e-4f);
    EXPECT_EQ(out.corners[1].impactAmp, 0.0f);
    EXPECT_FLOAT_EQ(out.corners[2].impactAmp, fx.suspImpact);

    fx.suspDualBand = 1;
    setVelocities(0.04f, 0.0f, 0.0f, 0.0f);
    out = compute();
    EXPECT_NEAR(out.corners[0].impactAmp, 0.25f * fx.suspImpact, 1e-5f);

    // Road: the velocity over the road scale.
    EXPECT_NEAR(out.corners[0].roadAmp, fx.roadVibration, 1e-6f);
    EXPECT_FLOAT_EQ(out.corners[0].roadFreq, fx.freqRoadVib - 3.0f);
    EXPECT_EQ(out.corners[1].roadAmp, 0.0f);
}

TEST_F(LMUHaptics, KerbsComeFromTheSurfaceOrFromTheFastBand) {
    for (int i = 0; i < 4; ++i)
        s.corners[i].onKerb = i == 1;
    setVelocities(0.06f, 0.05f, 0.06f, 0.5f);
    HapticFrame out = compute();
    EXPECT_EQ(out.corners[0].kerbAmp, 0.0f) << "simple mode: only on a kerb";
    EXPECT_NEAR(out.corners[1].kerbAmp, 0.5f * fx.kerbRumble, 1e-6f);
    EXPECT_FLOAT_EQ(out.corners[1].kerbFreq, fx.freqKerb + 3.0f - 3.0f);
    EXPECT_EQ(out.corners[3].kerbAmp, 0.0f);
    EXPECT_EQ(out.corners[3].kerbFreq, fx.freqKerb + 3.0f);

    // Dual-band: once the ring is full, three of four velocities at the kerb
    // threshold (dry: 0.02) make a kerb anywhere.
    fx.suspDualBand = 1;
    for (int i = 0; i < 3; ++i)
        compute();
    ASSERT_TRUE(st.ringFull);
    setVelocities(0.0f, 0.0f, 0.01f, -0.5f);
    out = compute();
    EXPECT_NEAR(out.corners[0].kerbAmp, 0.5f * fx.kerbRumble, 1e-6f) << "0.06 over the range 0.12";
    EXPECT_NEAR(out.corners[1].kerbAmp, 0.05f / 0.12f * fx.kerbRumble, 1e-6f) << "on the kerb: the larger of both";
    EXPECT_FLOAT_EQ(out.corners[3].kerbAmp, fx.kerbRumble);
    setVelocities(0.0f, 0.0f, 0.0f, 0.0f);
    out = compute();
    EXPECT_EQ(out.corners[0].kerbAmp, 0.0f) << "only two of four left";
    EXPECT_EQ(out.corners[1].kerbAmp, 0.0f);
}

TEST_F(LMUHaptics, ThresholdsFollowThePeakFromTheThreeHundredthSample) {
    setVelocities(1.0f, 0.0f, 0.0f, 0.0f);
    for (int i = 1; i <= 299; ++i)
        compute();
    EXPECT_EQ(st.peakSamples, 299);
    EXPECT_EQ(st.impactThreshold, 0.015f) << "the fixed dry values";
    EXPECT_EQ(st.kerbRange, 0.12f);
    EXPECT_FLOAT_EQ(st.smoothedPeak, 1.0f);

    s.onTrack = false;
    compute();
    EXPECT_EQ(st.peakSamples, 299) << "off-track samples do not count";
    s.onTrack = true;

    const HapticFrame out = compute();
    EXPECT_EQ(st.peakSamples, 300);
    EXPECT_FLOAT_EQ(st.roadScale, 0.25f);
    EXPECT_FLOAT_EQ(st.impactThreshold, 0.25f);
    EXPECT_FLOAT_EQ(st.impactRange, 0.5f);
    EXPECT_FLOAT_EQ(st.dualThreshold, 0.35f);
    EXPECT_FLOAT_EQ(st.dualRange, 0.5f);
    EXPECT_FLOAT_EQ(st.kerbThreshold, 0.2f);
    EXPECT_FLOAT_EQ(st.kerbRange, 0.75f);
    EXPECT_FLOAT_EQ(out.corners[0].impactAmp, fx.suspImpact);

    // The peak looks back 100 samples; the smoothing then follows it slowly.
    setVelocities(0.0f, 0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 99; ++i)
        compute();
    EXPECT_FLOAT_EQ(st.smoothedPeak, 1.0f);
    compute();
    EXPECT_FLOAT_EQ(st.smoothedPeak, 0.98f);
    EXPECT_FLOAT_EQ(st.roadScale, 0.245f);
}

TEST_F(LMUHaptics, TheEngineFollowsItsLimit) {
    s.engineRpm = 4000.0f;
    s.engineMaxRpm = 8000.0f;
    HapticFrame out = compute();
    EXPECT_FLOAT_EQ(out.engineAmp, 0.5f * fx.engineRumble);
    EXPECT_FLOAT_EQ(out.engineFreq, 10.0f + (fx.freqEngine - 10.0f) * 0.5f);
    s.engineMaxRpm = 100.0f;  // no usable maximum: the limit seen so far
    st.rpmLimit = 5000.0f;
    out = compute();
    EXPECT_FLOAT_EQ(out.engineAmp, 0.8f * fx.engineRumble);
    fx.freqEngine = 2.0f;
    s.engineRpm = 0.0f;
    out = compute();
    EXPECT_EQ(out.engineAmp, 0.0f);
    EXPECT_EQ(out.engineFreq, 10.0f);
}

TEST_F(LMUHaptics, LockUpNeedsSpeedBrakeAndSlip) {
    s.brake = 0.5f;
    s.corners[0].slipRatio = 0.04f + 0.3f * 0.5f;  // dry: threshold 0.04, range 0.3
    s.corners[1].slipRatio = 0.03f;
    HapticFrame out = compute();
    EXPECT_NEAR(out.corners[0].absAmp, 0.5f * (30.0f / 41.67f) * fx.absLock, 1e-5f);
    EXPECT_FLOAT_EQ(out.corners[0].absFreq, fx.freqAbsLock + 5.0f - 5.0f);
    EXPECT_EQ(out.corners[1].absAmp, 0.0f);
    EXPECT_EQ(out.corners[1].absFreq, fx.freqAbsLock);

    s.absActive = true;
    out = compute();
    EXPECT_FLOAT_EQ(out.corners[1].absAmp, 0.5f * 0.5f * fx.absLock) << "the ABS pulses without slip";

    fx.freqAbsLock = 70.0f;
    s.brake = 0.1f;
    out = compute();
    EXPECT_FLOAT_EQ(out.corners[0].absFreq, 74.0f) << "not clamped";

    for (auto [speed, brake] : {std::pair{8.33f, 0.5f}, std::pair{30.0f, 0.05f}}) {
        s.speed = speed;
        s.brake = brake;
        out = compute();
        EXPECT_EQ(out.corners[0].absAmp, 0.0f);
        EXPECT_EQ(out.corners[0].absFreq, fx.freqAbsLock);
    }
}

TEST_F(LMUHaptics, TheSlipBiasIsLearnedWhileCoastingAfterTheBrakeHoldOff) {
    auto coast = [&](float ratio) {
        s.brake = 0.0f;
        s.throttle = 0.0f;
        for (LmuCorner& c : s.corners)
            c.slipRatio = ratio;
        applySlipBias(s, st);
    };
    s.brake = 0.5f;
    applySlipBias(s, st);
    EXPECT_EQ(st.brakeHoldoff, 32);
    for (int i = 0; i < 31; ++i)
        coast(0.05f);
    EXPECT_EQ(st.biasSamples, 0) << "held off after braking";
    coast(0.05f);
    EXPECT_EQ(st.biasSamples, 1);
    EXPECT_FLOAT_EQ(st.slipBias[0], 0.05f);
    coast(0.03f);
    coast(0.02f);
    EXPECT_FLOAT_EQ(st.slipBias[2], 0.02f) << "the first three samples set it";
    coast(0.12f);
    EXPECT_FLOAT_EQ(st.slipBias[2], 0.02f + 0.1f * 0.02f);

    // Not while turning, driving or slow.
    s.lateralAccel = 3.0f;
    coast(0.5f);
    s.lateralAccel = 0.0f;
    s.speed = 8.33f;
    coast(0.5f);
    s.speed = 30.0f;
    EXPECT_EQ(st.biasSamples, 4);

    while (st.biasSamples < 49)
        coast(0.022f);
    EXPECT_FALSE(st.biasDone);
    EXPECT_FLOAT_EQ(s.corners[0].slipRatio, 0.022f) << "not corrected before the bias is done";
    coast(0.022f);
    EXPECT_TRUE(st.biasDone);
    EXPECT_NEAR(s.corners[0].slipRatio, 0.022f - st.slipBias[0], 1e-7f);
    s.brake = 0.3f;
    s.corners[1].slipRatio = 0.2f;
    applySlipBias(s, st);
    EXPECT_NEAR(s.corners[1].slipRatio, 0.2f - st.slipBias[1], 1e-7f) << "corrected on every sample";
}

TEST_F(LMUHaptics, TheSteeringGainIsLearnedInSteadyCorners) {
    s.speed = 20.0f;
    s.steering = 0.1f;
    s.yawRate = 0.4f;  // r = 0.2
    compute();
    EXPECT_FLOAT_EQ(st.steerK, 0.2f);
    EXPECT_EQ(st.steerKSamples, 1);
    s.yawRate = 0.6f;  // r = 0.3
    for (int i = 0; i < 3; ++i)
        compute();
    EXPECT_FALSE(st.steerKDone);
    compute();
    EXPECT_TRUE(st.steerKDone);
    EXPECT_NEAR(st.steerK, 0.3f - 0.1f * std::pow(0.9f, 4.0f), 1e-5f);

    const float learned = st.steerK;
    s.yawRate = 30.0f;  // r = 15: not believable
    compute();
    s.yawRate = 0.4f;
    s.lateralVelocity = 0.5f;  // sliding
    compute();
    EXPECT_EQ(st.steerK, learned);
    EXPECT_EQ(st.steerKSamples, 5);
}

TEST_F(LMUHaptics, WheelSlipUsesTheThresholdInFloatingPoint) {
    s.elapsedTime = -0.01;  // compute() steps to 0: the pulse's sine is 0
    s.lateralVelocity = 1.5f;
    HapticFrame out = compute();
    const float k = 1.0f - (49.0f / 99.0f - 0.5f) * 0.16f;
    const float a = (1.5f - 0.6f * k) / (3.0f * k);
    for (const CornerHaptics& c : out.corners)
        EXPECT_NEAR(c.slipAmp, 0.6f * a * fx.wheelSlipSensitivity, 1e-5f);
    EXPECT_GT(out.corners[0].slipAmp, 0.6f * 0.27f * fx.wheelSlipSensitivity) << "integer division would give 0.263";

    // The rate of lateral change counts when the last sample is recent.
    st = LmuState{};
    s.elapsedTime = 0.49;
    s.lateralVelocity = 0.0f;
    compute();  // at 0.5 s
    s.lateralVelocity = 0.16f;
    out = compute();  // at 0.51 s: 16 m/s^2
    const float b = (16.0f - 2.0f * k) / (6.0f * k);
    const float pulse = 0.6f + 0.4f * std::sin(2.0f * kPi * 0.51f * (5.0f + 3.0f));
    EXPECT_NEAR(out.corners[2].slipAmp, std::min(pulse * 1.0f * std::min(b, 1.0f), 1.0f) * fx.wheelSlipSensitivity,
                1e-4f);

    s.speed = 5.0f;
    out = compute();
    EXPECT_EQ(out.corners[0].slipAmp, 0.0f);
    EXPECT_NEAR(st.prevTime, s.elapsedTime, 1e-12) << "remembered at any speed";
}

TEST_F(LMUHaptics, AYawDeficitAgainstTheLearnedGainIsSlip) {
    st.steerK = 0.2f;
    st.steerKDone = true;
    s.elapsedTime = -0.01;
    s.speed = 20.0f;
    s.steering = 0.1f;  // asks for 0.4 rad/s
    s.yawRate = 0.1f;
    s.brake = 0.2f;  // keeps the gain from learning this sample
    const HapticFrame out = compute();
    const float k = 1.0f - (49.0f / 99.0f - 0.5f) * 0.16f;
    const float c = std::min((0.4f - 0.1f - 0.15f * k) / (0.35f * k), 1.0f);
    EXPECT_NEAR(out.corners[0].slipAmp, 0.6f * c * fx.wheelSlipSensitivity, 1e-5f);
}

// Through a map: the wheels' surface bytes make kerbs and the car's surface
// byte picks the texture.
TEST(LMUHapticsThroughTheMap, KerbsFromTheWheelsSurfaces) {
    std::string ignored;
    OutputCapture capture([&](OutputStream, std::string_view t) { ignored += t; });
    TempDir dir;
    LMUTestMap map(dir.path());
    ASSERT_TRUE(map.create());
    map.setValidPlayer();
    map.setMotion(30.0, 3);
    ManualClock clock;
    LMUHapticEngine engine(dir.path(), &clock);
    ASSERT_TRUE(engine.connect());
    EffectProfile fx;
    fx.suspDualBand = 0;
    fx.kerbRumble = 1.0f;

    // Three wheels on the kerb make it the car's texture; byte 826 (the
    // vehicle class, here GT3, which once read as the "special" surface)
    // plays no part.
    for (int wheel : {1, 2, 3})
        map.putWheel<uint8_t>(wheel, 176, 5);
    map.putRecord<uint8_t>(826, 6);
    map.setElapsed(1.0);
    HapticFrame out;
    ASSERT_TRUE(engine.update(fx, out));
    map.setDeflection(1, 0.0005);  // 0.05 m/s at 0.01 s
    map.setDeflection(0, 0.0005);
    map.setElapsed(1.01);
    ASSERT_TRUE(engine.update(fx, out));
    EXPECT_NEAR(out.corners[1].kerbAmp, 0.5f, 1e-4f);
    EXPECT_EQ(out.corners[0].kerbAmp, 0.0f);
    EXPECT_EQ(engine.state().impactThreshold, 0.035f) << "the kerb's texture";
    EXPECT_EQ(engine.sample().surfaceTypeByte, 5);
    RecordingConsole console;
    engine.drawDashboard(console, out, fx, 100, 99.0f);
    EXPECT_EQ(console.screen().rowText(8).substr(44, 8), "   KERB!");
    EXPECT_EQ(console.screen().cell(44, 8).attribute, 12);
    EXPECT_EQ(console.screen().rowText(8).substr(20, 8), "   dry  ");
}

// The texture parameters come from the surface under most wheels (a tie goes
// to the lower wheel); the record's byte 826, the vehicle class, never counts.
TEST(LMUHapticsThroughTheMap, TheTextureFollowsTheSurfaceUnderMostWheels) {
    TempDir dir;
    LMUTestMap map(dir.path());
    ASSERT_TRUE(map.create());
    map.setValidPlayer();
    map.setMotion(30.0, 3);
    ManualClock clock;
    LMUHapticEngine engine(dir.path(), &clock);
    ASSERT_TRUE(engine.connect());
    EffectProfile fx;
    struct Case {
        uint8_t wheels[4];
        uint8_t vehicleClass;
        uint8_t surface;
        float impactThreshold;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, 5, 0, 0.015f},    // a GTE car on dry track: dry, not kerb
        {{0, 0, 0, 0}, 6, 0, 0.015f},    // a GT3 car: not "special"
        {{1, 1, 1, 0}, 0, 1, 0.025f},    // rain under three wheels
        {{2, 2, 0, 0}, 4, 2, 0.015f},    // two and two: the front-left wheel's grass
        {{0, 5, 5, 1}, 0, 5, 0.035f},    // two on the kerb beat one dry and one wet
        {{6, 5, 0, 1}, 255, 6, 0.035f},  // all different: the front-left wheel's
        {{9, 9, 0, 0}, 0, 9, 0.025f},    // an unknown surface takes the wet set
    };
    double t = 1.0;
    for (const Case& c : cases) {
        for (int wheel = 0; wheel < 4; ++wheel)
            map.putWheel<uint8_t>(wheel, 176, c.wheels[wheel]);
        map.putRecord<uint8_t>(826, c.vehicleClass);
        map.setElapsed(t);
        t += 0.01;
        HapticFrame out;
        ASSERT_TRUE(engine.update(fx, out));
        EXPECT_EQ(engine.sample().surfaceTypeByte, c.surface) << int(c.wheels[0]) << int(c.wheels[1])
                                                               << int(c.wheels[2]) << int(c.wheels[3]);
        EXPECT_EQ(engine.state().impactThreshold, c.impactThreshold) << int(c.surface);
    }
}

}  // namespace
}  // namespace qv::test
