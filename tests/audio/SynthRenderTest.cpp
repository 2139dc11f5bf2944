// Offline rendering of the haptic synthesis: routing, levels, floors, gating,
// clamping, smoothing and safety against malformed frames.

#include "audio/SynthFixture.h"

#include <cmath>
#include <limits>

namespace qv::test {
namespace {

constexpr double kFs = 48000.0;
// Analyse from 0.1 s on, after the smoothers have settled.
constexpr size_t kSettled = 4800;

HapticFrame kerbOn(int corner, float amp, float hz) {
    HapticFrame f;
    f.corners[corner].kerbAmp = amp;
    f.corners[corner].kerbFreq = hz;
    return f;
}

TEST_F(SynthTest, KerbOnTheLeftFrontPlaysOnlyOnItsZoneAtTheExpectedLevel) {
    synth->publishFrame(kerbOn(0, 0.5f, 49.0f), true);
    const Rendered out = render(blocksFor(1.1));
    // amplitude x kerb weight x master gain
    EXPECT_NEAR(toneAmplitude(out[0], 49.0, kFs, kSettled), 0.5 * 0.7 * 0.8, 0.002);
    for (int c = 1; c < 4; ++c)
        EXPECT_LT(peakAbs(out[c]), 1e-6) << "channel " << c;
}

TEST_F(SynthTest, EachCornerReachesItsOwnZoneThroughTheCornerMap) {
    editSettings([](HapticSettings& s) {
        // LF plays on zone 2 (channel 2), LR on zone 0 (channel 0).
        s.cornerZone[0] = 2;
        s.cornerZone[2] = 0;
    });
    HapticFrame f;
    f.corners[0].kerbAmp = 0.5f;
    f.corners[0].kerbFreq = 49.0f;
    f.corners[2].kerbAmp = 0.25f;
    f.corners[2].kerbFreq = 70.0f;
    synth->publishFrame(f, true);
    const Rendered out = render(blocksFor(1.1));
    EXPECT_NEAR(toneAmplitude(out[2], 49.0, kFs, kSettled), 0.28, 0.002);
    EXPECT_NEAR(toneAmplitude(out[0], 70.0, kFs, kSettled), 0.14, 0.002);
    EXPECT_LT(toneAmplitude(out[0], 49.0, kFs, kSettled), 0.002);
    EXPECT_LT(peakAbs(out[1]) + peakAbs(out[3]), 1e-6);
}

TEST_F(SynthTest, AZoneNoCornerMapsToHearsAQuarterOfEachCorner) {
    editSettings([this](HapticSettings& s) {
        s.numActiveZones = 5;
        s.zones[4].active = 1;
        s.zones[4].channel = 4;
        s.zones[4].gain = 1.0f;
        for (auto& row : profileOf(s).routeGain)
            row[4] = 0.0f;
        profileOf(s).routeGain[kKerbRumble][4] = 1.0f;
    });
    HapticFrame f;
    const float hz[4] = {40.0f, 50.0f, 60.0f, 70.0f};
    for (int c = 0; c < 4; ++c) {
        f.corners[c].kerbAmp = 0.5f;
        f.corners[c].kerbFreq = hz[c];
    }
    synth->publishFrame(f, true);
    const Rendered out = render(blocksFor(1.1), 0, 8);
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(toneAmplitude(out[4], hz[c], kFs, kSettled), 0.25 * 0.28, 0.002) << hz[c];
        EXPECT_NEAR(toneAmplitude(out[c], hz[c], kFs, kSettled), 0.28, 0.002) << hz[c];
    }
}

TEST_F(SynthTest, ZonesOfOtherDevicesBadChannelsInactiveOrUnroutedZonesGetNothing) {
    editSettings([this](HapticSettings& s) {
        s.zones[0].device = 1;   // another device
        s.zones[1].channel = 6;  // beyond the 4 channels of the stream
        s.zones[2].active = 0;
        profileOf(s).routeGain[kKerbRumble][3] = -0.5f;  // negative gain: skipped
        s.zones[4].active = 1;   // active, but at or above numActiveZones
        s.zones[4].channel = 3;
        s.cornerZone[3] = 4;
    });
    HapticFrame f;
    for (auto& c : f.corners) {
        c.kerbAmp = 1.0f;
        c.kerbFreq = 49.0f;
    }
    synth->publishFrame(f, true);
    const Rendered out = render(blocksFor(0.3));
    for (int c = 0; c < kMaxStreamChannels; ++c)
        EXPECT_EQ(peakAbs(out[c]), 0.0) << "channel " << c;
}

TEST_F(SynthTest, StreamsFindTheirZonesThroughTheirDeviceSlotNotTheirIndex) {
    // Slots 0 and 2 were skipped or failed: stream 0 plays slot 1, stream 1 slot 3.
    const int32_t slots[] = {1, 3};
    synth->setStreamLayout(2, slots);
    editSettings([](HapticSettings& s) {
        s.zones[0].device = 1;
        s.zones[0].channel = 0;
        s.zones[1].device = 3;
        s.zones[1].channel = 0;
        s.zones[2].device = 0;  // slot 0 has no stream: never heard
        s.zones[3].device = 2;
    });
    HapticFrame f;
    const float hz[4] = {40.0f, 50.0f, 60.0f, 70.0f};
    for (int c = 0; c < 4; ++c) {
        f.corners[c].kerbAmp = 0.5f;
        f.corners[c].kerbFreq = hz[c];
    }
    synth->publishFrame(f, true);
    const Rendered s0 = render(blocksFor(1.1), 0);
    const Rendered s1 = render(blocksFor(1.1), 1);
    EXPECT_NEAR(toneAmplitude(s0[0], 40.0, kFs, kSettled), 0.28, 0.002);
    EXPECT_LT(toneAmplitude(s0[0], 50.0, kFs, kSettled), 0.002);
    EXPECT_NEAR(toneAmplitude(s1[0], 50.0, kFs, kSettled), 0.28, 0.002);
    EXPECT_LT(toneAmplitude(s1[0], 40.0, kFs, kSettled), 0.002);
    for (int c = 1; c < 4; ++c)
        EXPECT_EQ(peakAbs(s0[c]) + peakAbs(s1[c]), 0.0);
    EXPECT_EQ(synth->streamForSlot(3), 1);
    EXPECT_EQ(synth->streamForSlot(0), -1);
}

TEST_F(SynthTest, AbsGearAndSlipHaveA20HzFloorAndTheEngineHasNone) {
    enableOnly({kAbsLock, kEngineRumble, kWheelSlip});
    editSettings([this](HapticSettings& s) {
        profileOf(s).freqWheelSlip = 3.0f;
        // ABS to channel 0 (LF), engine to channel 1 (RF), slip to channel 2 (LR).
        for (auto& row : profileOf(s).routeGain)
            for (float& g : row)
                g = 0.0f;
        profileOf(s).routeGain[kAbsLock][0] = 1.0f;
        profileOf(s).routeGain[kEngineRumble][1] = 1.0f;
        profileOf(s).routeGain[kWheelSlip][2] = 1.0f;
    });
    HapticFrame f;
    f.corners[0].absAmp = 0.5f;
    f.corners[0].absFreq = 5.0f;
    f.corners[2].slipAmp = 0.5f;
    f.engineAmp = 0.5f;
    f.engineFreq = 5.0f;
    synth->publishFrame(f, true);
    const Rendered out = render(blocksFor(2.2));
    const size_t from = 9600;
    EXPECT_NEAR(toneAmplitude(out[0], 20.0, kFs, from), 0.5 * 0.8 * 0.8, 0.003);
    EXPECT_NEAR(toneAmplitude(out[1], 5.0, kFs, from), 0.5 * 0.6 * 0.8, 0.003);
    EXPECT_NEAR(toneAmplitude(out[2], 20.0, kFs, from), 0.5 * 0.8 * 0.8, 0.003);
    EXPECT_LT(toneAmplitude(out[0], 5.0, kFs, from), 0.01);
}

TEST_F(SynthTest, AnInvalidFrameGivesSilenceAndFreezesARunningGearPulse) {
    enableOnly({kGearChange});
    editSettings([this](HapticSettings& s) { profileOf(s).freqGear = 40.0f; });
    auto pulseSamples = [&](bool interrupt) {
        synth->publishFrame(quietFrame(), true);
        synth->triggerGearPulseAll(40);
        Rendered out = render(3);  // 768 samples into the pulse
        EXPECT_FALSE(buffer->silent);
        if (interrupt) {
            synth->invalidateFrame();
            Rendered silent = render(20);
            for (int c = 0; c < kMaxStreamChannels; ++c)
                EXPECT_EQ(peakAbs(silent[c]), 0.0);
            EXPECT_TRUE(buffer->silent) << "nothing played: the stream only writes zeros";
            synth->publishFrame(quietFrame(), true);
        }
        appendBlocks(out, 20);
        int nonZero = 0;
        for (float v : out[0])
            nonZero += v != 0.0f;
        return nonZero;
    };
    const int straight = pulseSamples(false);
    const int interrupted = pulseSamples(true);
    // attack 241 + hold 576 + release of about 1344 samples, minus the
    // samples at the gate and the zero crossings
    EXPECT_GT(straight, 2000);
    EXPECT_LT(straight, 2200);
    EXPECT_EQ(interrupted, straight);
}

TEST_F(SynthTest, WithoutAValidFrameEveryBlockIsSilent) {
    HapticFrame f = kerbOn(0, 1.0f, 49.0f);
    synth->publishFrame(f, false);
    const Rendered out = render(10);
    for (int c = 0; c < kMaxStreamChannels; ++c)
        EXPECT_EQ(peakAbs(out[c]), 0.0);
}

TEST_F(SynthTest, GearIntensityZeroStillPulsesAtTheMinimumLevel) {
    enableOnly({kGearChange});
    editSettings([this](HapticSettings& s) {
        profileOf(s).gearChangeIntensity = 0.0f;
        profileOf(s).freqGear = 50.0f;
        s.masterGain = 1.0f;
    });
    synth->publishFrame(quietFrame(), true);
    synth->triggerGearPulseAll(200);
    const Rendered out = render(40);
    EXPECT_NEAR(peakAbs(out[0]), 0.05 * 0.9, 0.001);
    EXPECT_NEAR(peakAbs(out[3]), 0.05 * 0.9, 0.001);
}

TEST_F(SynthTest, OverlappingCornersSaturateAtExactlyOne) {
    editSettings([](HapticSettings& s) {
        s.masterGain = 1.0f;
        s.zones[1].channel = 0;  // RF on the same channel as LF
        s.zones[0].gain = 50.0f;
    });
    HapticFrame f;
    for (int c = 0; c < 2; ++c) {
        f.corners[c].kerbAmp = 1.0f;
        f.corners[c].kerbFreq = 49.0f;
    }
    synth->publishFrame(f, true);
    const Rendered out = render(blocksFor(0.5));
    float lo = 0.0f, hi = 0.0f;
    for (float v : out[0]) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_EQ(hi, 1.0f);
    EXPECT_EQ(lo, -1.0f);
}

TEST_F(SynthTest, MalformedFramesAndSettingsNeverGiveANonFiniteSample) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float bad[] = {nan, inf, -inf, 1e30f, -1e30f, 1e9f, -5.0f, 0.0f, 1e-40f};
    editSettings([&](HapticSettings& s) {
        s.numActiveZones = 8;
        for (int z = 0; z < kMaxZones; ++z) {
            s.zones[z].active = 1;
            s.zones[z].channel = z;
        }
        s.zones[5].gain = nan;
        s.zones[6].gain = inf;
        profileOf(s).routeGain[kRoadVibration][4] = inf;
        profileOf(s).routeGain[kKerbRumble][7] = nan;
        profileOf(s).gearChangeIntensity = nan;
        profileOf(s).freqGear = inf;
        profileOf(s).freqWheelSlip = nan;
    });
    synth->triggerGearPulseAll(200);
    int blocks = 0;
    for (float a : bad) {
        for (float hz : bad) {
            HapticFrame f;
            for (auto& c : f.corners) {
                c = {a, hz, a, hz, a, hz, a, hz, a};
            }
            f.engineAmp = a;
            f.engineFreq = hz;
            synth->publishFrame(f, true);
            const Rendered out = render(2, 0, 8, 256);
            ++blocks;
            for (int c = 0; c < kMaxStreamChannels; ++c)
                for (float v : out[c])
                    ASSERT_TRUE(std::isfinite(v) && v >= -1.0f && v <= 1.0f) << a << " " << hz;
        }
    }
    // And it recovers: a sane frame plays at its level again.
    editSettings([](HapticSettings& s) { s = HapticSettings(); });
    synth->publishFrame(kerbOn(0, 0.5f, 49.0f), true);
    const Rendered out = render(blocksFor(1.1));
    EXPECT_NEAR(toneAmplitude(out[0], 49.0, kFs, kSettled), 0.28, 0.002);
}

TEST_F(SynthTest, AFrequencyAboveHalfTheRateIsPlayedAtHalfTheRate) {
    synth->publishFrame(kerbOn(0, 0.5f, 1.0e6f), true);
    const Rendered out = render(4);
    // At fs/2 a sine sampled from phase 0 reads 0 or +-sin(pi): silence, finite.
    EXPECT_LT(peakAbs(out[0]), 1e-3);
}

TEST_F(SynthTest, AnOddBlockSizeOrRateDoesNotBreakTheRender) {
    synth->publishFrame(kerbOn(0, 0.5f, 49.0f), true);
    for (int frames : {1, 17, 4096, 5000, 0, -3}) {
        buffer->numFrames = frames;
        buffer->numChannels = 99;
        buffer->sampleRate = 48000.0;
        synth->render(0, *buffer);
    }
    buffer->numChannels = -1;
    synth->render(0, *buffer);
    // A stream index outside the synthesis gets a silent block.
    buffer->numChannels = 8;
    buffer->numFrames = 4096;
    synth->render(0, *buffer);
    synth->render(7, *buffer);
    for (auto& plane : buffer->samples)
        for (float v : plane)
            EXPECT_EQ(v, 0.0f);
    synth->render(0, *buffer);
    synth->render(-1, *buffer);
    for (auto& plane : buffer->samples)
        for (float v : plane)
            EXPECT_EQ(v, 0.0f);
}

// ---- the corner oscillators on their own ----

TEST(CornerSynth, SlipFollowsItsTargetFasterUpThanDown) {
    CornerSynth c;
    c.configure(0, 48000.0f);
    EffectProfile p;
    auto planes = std::make_unique<EffectPlanes>();
    CornerHaptics h;
    h.slipAmp = 1.0f;
    synthCorner(c, *planes, 256, h, 0.0f, 75.0f, p, 1.0f);
    EXPECT_NEAR(c.slipLevel, 1.0 - std::exp(-(256.0 / 48000.0) / 0.02), 1e-5);
    EXPECT_NEAR(c.slipLevel, 0.234, 0.001);
    c.slipLevel = 1.0f;
    h.slipAmp = 0.0f;
    synthCorner(c, *planes, 256, h, 0.0f, 75.0f, p, 1.0f);
    EXPECT_NEAR(1.0f - c.slipLevel, 0.125, 0.001);
    // With the effect off the level holds and the plane stays silent.
    p.effectEnabled[kWheelSlip] = 0;
    const float held = c.slipLevel;
    h.slipAmp = 1.0f;
    synthCorner(c, *planes, 256, h, 0.0f, 75.0f, p, 1.0f);
    EXPECT_EQ(c.slipLevel, held);
    EXPECT_FALSE(planes->active[kWheelSlip]);
}

TEST(CornerSynth, RoadLevelMovesOneSmootherStepPerBlockAndDecaysWhenOff) {
    CornerSynth c;
    c.configure(0, 48000.0f);
    EXPECT_NEAR(c.road.k, (1.0 / 48000.0) / (1.0 / 48000.0 + 1.0 / (2.0 * M_PI * 80.0)), 1e-6);
    EffectProfile p;
    auto planes = std::make_unique<EffectPlanes>();
    CornerHaptics h;
    h.roadAmp = 1.0f;
    synthCorner(c, *planes, 256, h, 0.0f, 75.0f, p, 1.0f);
    EXPECT_FLOAT_EQ(c.road.y, c.road.k);
    const float before = c.road.y;
    p.effectEnabled[kRoadVibration] = 0;
    const float phase = c.phase[kRoadVibration];
    synthCorner(c, *planes, 256, h, 0.0f, 75.0f, p, 1.0f);
    EXPECT_FLOAT_EQ(c.road.y, before - before * c.road.k);
    EXPECT_NE(c.phase[kRoadVibration], phase);  // the road oscillator always runs
}

TEST(CornerSynth, PhasesStayInRangeForAnyFrequency) {
    CornerSynth c;
    c.configure(0, 44100.0f);
    c.phase[kKerbRumble] = 1.0e9f;  // a poisoned phase is brought back
    c.phase[kAbsLock] = std::numeric_limits<float>::quiet_NaN();
    EffectProfile p;
    auto planes = std::make_unique<EffectPlanes>();
    CornerHaptics h{1.0f, 3.0e5f, 1.0f, -70.0f, 1.0f, 22049.0f, 1.0f, std::numeric_limits<float>::infinity(), 1.0f};
    for (int b = 0; b < 50; ++b) {
        synthCorner(c, *planes, 512, h, 1.0f, std::numeric_limits<float>::quiet_NaN(), p, 1.0f);
        for (float ph : c.phase)
            ASSERT_TRUE(ph >= 0.0f && ph <= kTwoPi) << ph;
        for (auto& plane : planes->fx)
            for (int i = 0; i < 512; ++i)
                ASSERT_TRUE(std::isfinite(plane[i]));
    }
    EXPECT_EQ(oscillatorFrequency(-70.0f, 0.0f, 44100.0f), 0.0f);
    EXPECT_EQ(oscillatorFrequency(5.0f, 20.0f, 44100.0f), 20.0f);
    EXPECT_EQ(oscillatorFrequency(3.0e5f, 0.0f, 44100.0f), 22050.0f);
    EXPECT_EQ(oscillatorFrequency(std::numeric_limits<float>::quiet_NaN(), 20.0f, 44100.0f), 20.0f);
}

TEST(Envelope, GearPulseOf40MsAt48kHzHasTheExpectedStageLengths) {
    Envelope e;
    e.startGearPulse(40, 48000.0f);
    EXPECT_NEAR(e.attackStep, 1.0 / 240.0, 1e-7);
    EXPECT_EQ(e.holdSamples, 576);
    EXPECT_FLOAT_EQ(e.releaseStep, 1.0f / 1344.0f);
    int attack = 0, hold = 0, release = 0;
    while (e.stage == Envelope::kAttack) {
        e.step();
        ++attack;
    }
    while (e.stage == Envelope::kHold) {
        e.step();
        ++hold;
    }
    while (e.stage == Envelope::kRelease) {
        e.step();
        ++release;
    }
    EXPECT_EQ(attack, 241);
    EXPECT_EQ(hold, 576);
    EXPECT_NEAR(release, 1344, 1);
    EXPECT_EQ(e.level, 0.0f);
    EXPECT_EQ(e.step(), 0.0f);
}

TEST(Envelope, APulseStartedWhileOneRunsAttacksFromTheCurrentLevel) {
    Envelope e;
    e.startGearPulse(200, 48000.0f);
    for (int i = 0; i < 2000; ++i)
        e.step();
    ASSERT_EQ(e.stage, Envelope::kHold);
    e.startGearPulse(40, 48000.0f);
    EXPECT_EQ(e.stage, Envelope::kAttack);
    EXPECT_EQ(e.step(), 1.0f);
    EXPECT_EQ(e.stage, Envelope::kHold);
    // The general start: attack, hold and release in ms.
    Envelope g;
    g.start(10.0f, 5.0f, 0.0f, 1000.0f);
    EXPECT_FLOAT_EQ(g.attackStep, 0.1f);
    EXPECT_EQ(g.releaseStep, 1.0f);
    EXPECT_EQ(g.holdSamples, 5);
}

TEST(AudioBuffer, AddClampedLimitsEverySampleAndIgnoresChannelsOutsideTheBuffer) {
    auto b = std::make_unique<AudioBuffer>();
    b->numChannels = 2;
    b->numFrames = 4;
    const float src[4] = {0.5f, -0.5f, 3.0f, std::numeric_limits<float>::quiet_NaN()};
    b->addClamped(0, src, 1.0f);
    b->addClamped(0, src, 1.0f);
    EXPECT_EQ(b->samples[0][0], 1.0f);
    EXPECT_EQ(b->samples[0][1], -1.0f);
    EXPECT_EQ(b->samples[0][2], 1.0f);
    EXPECT_EQ(b->samples[0][3], 0.0f);
    b->addClamped(2, src, 1.0f);
    b->addClamped(-1, src, 1.0f);
    EXPECT_EQ(b->samples[2][0], 0.0f);
    EXPECT_EQ(b->plane(7), b->samples[7]);
    EXPECT_EQ(b->plane(8), b->samples[0]);
}

}  // namespace
}  // namespace qv::test
