// The iRacing haptic computation on hand-filled samples.

#include "engines/IRacingHapticEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qv::test {
namespace {

class IRacingHaptics : public ::testing::Test {
protected:
    IRacingHaptics() {
        s.onTrack = true;
        s.sampleCount = 1;
        s.speed = 30.0f;
        s.rpm = 3000.0f;
        s.sessionTime = 10.0;
        fx.roadVibration = 0.8f;
        fx.suspImpact = 0.6f;
        fx.kerbRumble = 0.5f;
        fx.engineRumble = 0.4f;
        fx.absLock = 1.0f;
        fx.wheelSlipSensitivity = 1.0f;
        fx.wheelSlipThreshold = 50;
        fx.freqRoadVib = 60.0f;
        fx.freqSuspImp = 40.0f;
        fx.freqKerb = 45.0f;
        fx.freqEngine = 50.0f;
        fx.freqAbsLock = 30.0f;
    }
    HapticFrame compute() {
        HapticFrame out;
        computeHapticFrame(s, state, fx, out);
        return out;
    }
    // Steady cornering that the learning accepts: ratio 0.02.
    void steadyCorner() {
        s.speed = 25.0f;
        s.steerAngle = 0.5f;
        s.yawRate = 0.25f;
        s.throttle = 0.3f;
        s.brake = 0.0f;
        s.localVelY = 0.0f;
    }

    IRacingSample s;
    IRacingSlipState state;
    EffectProfile fx;
};

TEST_F(IRacingHaptics, OffTrackInTheGarageAndBeforeTheFirstRowGiveTheIdleFrameAndLearnNothing) {
    steadyCorner();
    for (int variant = 0; variant < 3; ++variant) {
        IRacingSample gated = s;
        if (variant == 0)
            gated.onTrack = false;
        if (variant == 1)
            gated.inGarage = true;
        if (variant == 2)
            gated.sampleCount = 0;
        HapticFrame out;
        out.engineAmp = 0.5f;
        computeHapticFrame(gated, state, fx, out);
        EXPECT_EQ(out, HapticFrame{}) << variant;
        EXPECT_EQ(state.learnCount, 0);
        EXPECT_EQ(state.prevSessionTime, 0.0);
    }
    // The pit lane is on track.
    EXPECT_NE(compute(), HapticFrame{});
    EXPECT_EQ(state.prevSessionTime, 10.0);
}

TEST_F(IRacingHaptics, EngineFollowsRpmAndKeepsTheProfileFrequencyAtIdle) {
    s.rpm = 100.0f;
    HapticFrame out = compute();
    EXPECT_EQ(out.engineFreq, 50.0f);
    fx.freqEngine = 4.0f;
    EXPECT_EQ(compute().engineFreq, 10.0f);
    fx.freqEngine = 50.0f;
    s.rpm = 18000.0f;
    out = compute();
    EXPECT_EQ(out.engineAmp, 0.4f);
    EXPECT_FLOAT_EQ(out.engineFreq, 300.0f);
    s.rpm = 4500.0f;
    out = compute();
    EXPECT_FLOAT_EQ(out.engineAmp, 0.2f);
    EXPECT_FLOAT_EQ(out.engineFreq, 75.0f);
}

TEST_F(IRacingHaptics, TheSteeringRatioIsLearnedFromFiveSteadyCorneringSamples) {
    steadyCorner();
    for (int i = 1; i <= 4; ++i) {
        compute();
        EXPECT_EQ(state.learnCount, i);
        EXPECT_FALSE(state.ratioLearned);
    }
    compute();
    EXPECT_TRUE(state.ratioLearned);
    EXPECT_FLOAT_EQ(state.learnedSteerRatio, 0.02f);

    // Later samples move the estimate a tenth of the way.
    s.yawRate = 0.375f;  // ratio 0.03
    compute();
    EXPECT_FLOAT_EQ(state.learnedSteerRatio, 0.021f);
}

TEST_F(IRacingHaptics, LearningBoundariesAreExclusive) {
    struct Case {
        const char* what;
        float speed, steer, yaw;
    };
    // 0.0625 / (0.5 x 25) is exactly the float nearest 0.005; 1.25 / 12.5 that nearest 0.1.
    for (Case c : {Case{"speed exactly 15", 15.0f, 0.5f, 0.15f}, Case{"ratio exactly 0.005", 25.0f, 0.5f, 0.0625f},
                   Case{"ratio exactly 0.1", 25.0f, 0.5f, 1.25f}, Case{"steer exactly 0.05", 25.0f, 0.05f, 0.06f}}) {
        IRacingSlipState fresh;
        steadyCorner();
        s.speed = c.speed;
        s.steerAngle = c.steer;
        s.yawRate = c.yaw;
        HapticFrame out;
        computeHapticFrame(s, fresh, fx, out);
        EXPECT_EQ(fresh.learnCount, 0) << c.what;
    }
    steadyCorner();
    s.brake = 0.1f;
    compute();
    EXPECT_EQ(state.learnCount, 0) << "braking";
    steadyCorner();
    s.localVelY = -0.3f;
    compute();
    EXPECT_EQ(state.learnCount, 0) << "sliding";
}

TEST_F(IRacingHaptics, SlipNeedsMoreThanFiveMetresASecond) {
    s.localVelY = 4.0f;
    s.speed = 5.0f;
    EXPECT_EQ(compute().corners[0].slipAmp, 0.0f);
    s.speed = 5.5f;
    s.sessionTime = 10.05;  // wobble away from its zero
    const HapticFrame out = compute();
    EXPECT_GT(out.corners[0].slipAmp, 0.0f);
    for (const CornerHaptics& c : out.corners)
        EXPECT_EQ(c.slipAmp, out.corners[0].slipAmp);
}

TEST_F(IRacingHaptics, TheSlideTermAtAKnownPoint) {
    // Threshold 1: h = 1.08. Lateral velocity half way through the slide band;
    // session time 0 puts the wobble at 0; yaw 0.4 rad/s boosts by 1.5.
    fx.wheelSlipThreshold = 1;
    fx.wheelSlipSensitivity = 0.5f;
    s.sessionTime = 0.0;
    s.localVelY = 1.05f * 1.08f + 0.5f * 5.25f * 1.08f;
    s.yawRate = 0.4f;
    EXPECT_NEAR(compute().corners[2].slipAmp, 0.6f * 0.5f * 1.5f * 0.5f, 1e-5f);
}

// A threshold of 99 must not behave like 1: the scale divides in floating point.
TEST_F(IRacingHaptics, EveryThresholdStepMovesTheSlipOnset) {
    s.sessionTime = 0.0;
    s.yawRate = 0.0f;
    auto slide = [&](int threshold, float velY) {
        fx.wheelSlipThreshold = threshold;
        s.localVelY = velY;
        IRacingSlipState fresh;
        HapticFrame out;
        computeHapticFrame(s, fresh, fx, out);
        return out.corners[0].slipAmp;
    };
    // Onset 1.05 h: 1.134 m/s at threshold 1, 0.966 at 100, 0.9676 at 99.
    EXPECT_EQ(slide(1, 1.13f), 0.0f);
    EXPECT_GT(slide(1, 1.14f), 0.0f);
    EXPECT_EQ(slide(99, 0.967f), 0.0f);
    EXPECT_GT(slide(99, 0.969f), 0.0f);
    EXPECT_GT(slide(100, 0.967f), 0.0f);
    EXPECT_EQ(slide(50, 1.05f), 0.0f);
    EXPECT_GT(slide(50, 1.06f), 0.0f);
    // Out-of-range settings act as the nearest end.
    EXPECT_EQ(slide(-7, 1.13f), 0.0f);
    EXPECT_GT(slide(1000, 0.967f), 0.0f);
}

TEST_F(IRacingHaptics, TheKickTermNeedsAPreviousSampleAndASaneInterval) {
    s.sessionTime = 10.0;
    s.localVelY = 0.0f;
    compute();
    // 0.6 m/s change in 0.05 s: 12 m/s^2, well into the kick band.
    s.sessionTime = 10.05;
    s.localVelY = 0.6f;
    EXPECT_GT(compute().corners[0].slipAmp, 0.0f);
    // The same change over 0.5 s is no kick (and 0.6 m/s is below the slide onset).
    s.sessionTime = 10.55;
    s.localVelY = 0.0f;
    EXPECT_EQ(compute().corners[0].slipAmp, 0.0f);

    // The first sample after a connect has no previous time.
    IRacingSlipState fresh;
    HapticFrame out;
    s.localVelY = 0.9f;
    computeHapticFrame(s, fresh, fx, out);
    EXPECT_EQ(out.corners[0].slipAmp, 0.0f);
}

TEST_F(IRacingHaptics, UndersteerCountsOnlyOnceTheRatioIsLearnedAndATieMeansNoBoost) {
    // Steering that asks for 1 rad/s (once learned) while the car turns at
    // 0.1: past the top of the deficit band.
    auto understeer = [&] {
        s.speed = 25.0f;
        s.steerAngle = 2.0f;
        s.yawRate = 0.1f;
        s.throttle = 0.9f;  // no learning from this
        s.localVelY = 0.0f;
        s.sessionTime = 0.0;  // wobble 0
    };
    understeer();
    EXPECT_EQ(compute().corners[0].slipAmp, 0.0f);
    steadyCorner();
    for (int i = 0; i < 5; ++i)
        compute();
    ASSERT_TRUE(state.ratioLearned);
    understeer();
    state.prevSessionTime = 0.0;
    // Deficit term 1 is the largest: boost 1, amplitude 0.6.
    EXPECT_NEAR(compute().corners[0].slipAmp, 0.6f, 1e-6f);

    // Slide and deficit both at full: a tie, still no boost.
    understeer();
    state.prevSessionTime = 0.0;
    s.localVelY = 8.0f;
    EXPECT_NEAR(compute().corners[0].slipAmp, 0.6f, 1e-6f);
}

TEST_F(IRacingHaptics, RoadImpactAndKerbPerCorner) {
    s.shockVel[0] = 0.0175f;  // half road level
    s.shockVel[1] = -0.115f;  // half impact level
    s.shockVel[2] = 1.5f;     // kerb fallback at half
    s.rumblePitch[3] = 75.0f;
    const HapticFrame out = compute();
    EXPECT_FLOAT_EQ(out.corners[0].roadAmp, 0.4f);
    EXPECT_FLOAT_EQ(out.corners[0].roadFreq, 60.0f);
    EXPECT_EQ(out.corners[0].impactAmp, 0.0f);
    EXPECT_FLOAT_EQ(out.corners[0].impactFreq, 43.0f);
    EXPECT_FLOAT_EQ(out.corners[1].roadAmp, 0.8f);
    EXPECT_FLOAT_EQ(out.corners[1].roadFreq, 57.0f);
    EXPECT_FLOAT_EQ(out.corners[1].impactAmp, 0.3f);
    EXPECT_FLOAT_EQ(out.corners[1].impactFreq, 40.0f);
    EXPECT_FLOAT_EQ(out.corners[2].kerbAmp, 0.25f);
    EXPECT_EQ(out.corners[2].kerbFreq, 45.0f);
    EXPECT_FLOAT_EQ(out.corners[3].kerbAmp, 0.25f);
    EXPECT_EQ(out.corners[3].kerbFreq, 75.0f);
    EXPECT_EQ(out.corners[0].kerbAmp, 0.0f);

    fx.freqKerb = 12.0f;
    s.rumblePitch[3] = 600.0f;
    const HapticFrame again = compute();
    EXPECT_EQ(again.corners[2].kerbFreq, 20.0f) << "the fallback never goes below 20 Hz";
    EXPECT_FLOAT_EQ(again.corners[3].kerbAmp, 0.5f);
}

TEST_F(IRacingHaptics, RoadAndImpactFrequenciesStayWithinTenToSeventyFive) {
    fx.freqRoadVib = 80.0f;
    fx.freqSuspImp = 73.0f;
    HapticFrame out = compute();
    EXPECT_EQ(out.corners[0].roadFreq, 75.0f);
    EXPECT_EQ(out.corners[0].impactFreq, 75.0f);
    fx.freqRoadVib = 6.0f;
    fx.freqSuspImp = 2.0f;
    s.shockVel[0] = 1.0f;
    out = compute();
    EXPECT_EQ(out.corners[0].roadFreq, 10.0f);
    EXPECT_EQ(out.corners[0].impactFreq, 10.0f);
}

TEST_F(IRacingHaptics, AbsPulsesOnlyWhenActiveMovingAndBraking) {
    s.absActive = true;
    s.brake = 1.0f;
    s.speed = 41.67f;
    s.sessionTime = 0.0;  // gate 0.5
    HapticFrame out = compute();
    EXPECT_NEAR(out.corners[1].absAmp, 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(out.corners[1].absFreq, 25.0f);
    s.brake = 0.25f;
    s.sessionTime = 1.0 / 40.0;  // a quarter period of the 10 Hz pulse: gate 1
    out = compute();
    EXPECT_NEAR(out.corners[0].absAmp, 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(out.corners[0].absFreq, 32.5f);

    for (int variant = 0; variant < 3; ++variant) {
        s.absActive = variant != 0;
        s.speed = variant == 1 ? 0.83f : 30.0f;
        s.brake = variant == 2 ? 0.05f : 0.8f;
        out = compute();
        EXPECT_EQ(out.corners[0].absAmp, 0.0f) << variant;
        EXPECT_EQ(out.corners[0].absFreq, 30.0f) << variant;
    }
}

TEST_F(IRacingHaptics, NonFiniteProfilesAndSamplesGiveAFiniteFrame) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf}) {
        EffectProfile broken = fx;
        broken.roadVibration = broken.suspImpact = broken.kerbRumble = broken.engineRumble = bad;
        broken.absLock = broken.wheelSlipSensitivity = bad;
        broken.freqRoadVib = broken.freqSuspImp = broken.freqKerb = broken.freqEngine = broken.freqAbsLock = bad;
        IRacingSample sample = s;
        sample.absActive = true;
        sample.brake = 0.5f;
        sample.localVelY = 3.0f;
        sample.shockVel[0] = bad;
        sample.rpm = bad;
        sample.yawRate = bad;
        sample.sessionTime = static_cast<double>(bad);
        IRacingSlipState fresh;
        HapticFrame out;
        computeHapticFrame(sample, fresh, broken, out);
        const float* f = reinterpret_cast<const float*>(&out);
        for (size_t i = 0; i < sizeof out / sizeof(float); ++i)
            EXPECT_TRUE(std::isfinite(f[i])) << bad << " field " << i;
        for (const CornerHaptics& c : out.corners) {
            for (float a : {c.roadAmp, c.impactAmp, c.kerbAmp, c.absAmp, c.slipAmp}) {
                EXPECT_GE(a, 0.0f);
                EXPECT_LE(a, 1.0f);
            }
        }
    }
}

}  // namespace
}  // namespace qv::test
