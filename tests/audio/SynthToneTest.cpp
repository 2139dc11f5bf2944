// The test tone and the effect preview, rendered offline; and the real-time
// rule that a render never allocates.

#include "audio/AllocationCounter.h"
#include "audio/EffectPreview.h"
#include "audio/SynthFixture.h"
#include "platform/RealtimeGuard.h"

#include <cmath>

namespace qv::test {
namespace {

constexpr double kFs = 48000.0;

int lastNonZero(const std::vector<float>& x) {
    for (int i = static_cast<int>(x.size()) - 1; i >= 0; --i)
        if (x[static_cast<size_t>(i)] != 0.0f)
            return i;
    return -1;
}

TEST_F(SynthTest, A500MsToneLasts24000SamplesAndFadesInAndOut) {
    ASSERT_TRUE(synth->startTestTone(2, 500, 1.0f, 0));
    EXPECT_TRUE(synth->isToneActive());
    // 128-frame blocks: the fade-in must run across blocks, not restart in each.
    const Rendered out = render(200, 0, 4, 128);
    EXPECT_FALSE(synth->isToneActive());
    const std::vector<float>& ch = out[2];
    EXPECT_EQ(lastNonZero(ch), 23999);
    EXPECT_EQ(peakAbs(out[0]) + peakAbs(out[1]) + peakAbs(out[3]), 0.0);
    // sample i = sin(2 pi 60 (i + 1) / fs) * 0.85 * ramp
    auto expected = [](int i, float ramp) { return std::sin(2.0 * M_PI * 60.0 * (i + 1) / kFs) * 0.85 * ramp; };
    EXPECT_NEAR(ch[0], 0.0, 1e-6);
    EXPECT_NEAR(ch[100], expected(100, 100.0f / 400.0f), 1e-4);
    EXPECT_NEAR(ch[130], expected(130, 130.0f / 400.0f), 1e-4);  // second block goes on rising
    EXPECT_NEAR(ch[5000], expected(5000, 1.0f), 1e-4);
    EXPECT_NEAR(ch[23999 - 100], expected(23899, 101.0f / 400.0f), 1e-4);
    EXPECT_NEAR(toneAmplitude(ch, 60.0, kFs, 2400, 21600), 0.85, 0.002);
    // Once ended, the live synthesis is back (silent here: no valid frame).
    const Rendered after = render(4);
    EXPECT_EQ(peakAbs(after[2]), 0.0);
}

TEST_F(SynthTest, ToneGainIsLimitedToZeroToOne) {
    ASSERT_TRUE(synth->startTestTone(-1, 200, 1.5f, 0));
    Rendered loud = render(blocksFor(0.2));
    EXPECT_NEAR(peakAbs(loud[0], 1000, 8000), 0.85, 0.001);
    EXPECT_NEAR(peakAbs(loud[3], 1000, 8000), 0.85, 0.001);
    ASSERT_TRUE(synth->startTestTone(-1, 200, -0.2f, 0));
    Rendered quiet = render(blocksFor(0.2));
    EXPECT_EQ(peakAbs(quiet[0]), 0.0);
}

TEST_F(SynthTest, AToneOnAChannelTheStreamLacksPlaysNothingAndEndsOnTime) {
    synth->publishFrame(HapticFrame{}, true);
    ASSERT_TRUE(synth->startTestTone(5, 100, 0.7f, 0));
    render(18);  // 4608 samples: 100 ms is 4800
    EXPECT_TRUE(synth->isToneActive());
    const Rendered out = render(1);
    EXPECT_FALSE(synth->isToneActive());
    for (int c = 0; c < kMaxStreamChannels; ++c)
        EXPECT_EQ(peakAbs(out[c]), 0.0);
}

TEST_F(SynthTest, WhileAToneplaysOnOneStreamEveryOtherStreamIsSilent) {
    const int32_t slots[] = {0, 1};
    synth->setStreamLayout(2, slots);
    editSettings([](HapticSettings& s) { s.zones[0].device = 0; });
    HapticFrame f;
    f.corners[0].kerbAmp = 1.0f;
    synth->publishFrame(f, true);
    ASSERT_TRUE(synth->startTestTone(0, 300, 0.7f, 1));
    const Rendered s0 = render(10, 0);
    const Rendered s1 = render(10, 1);
    EXPECT_EQ(peakAbs(s0[0]), 0.0);
    EXPECT_NEAR(toneAmplitude(s1[0], 60.0, kFs, 800, 2560), 0.85 * 0.7, 0.03);
    // A stop with duration 0 ends it at once and the kerb is back on stream 0.
    ASSERT_TRUE(synth->startTestTone(0, 0, 0.0f, 1));
    EXPECT_FALSE(synth->isToneActive());
    const Rendered back = render(4, 0);
    EXPECT_GT(peakAbs(back[0]), 0.3);
}

TEST_F(SynthTest, AToneForADeviceWithoutAnOpenStreamIsRefused) {
    HapticFrame f;
    f.corners[0].kerbAmp = 1.0f;
    synth->publishFrame(f, true);
    EXPECT_FALSE(synth->startTestTone(0, 500, 0.7f, 1));
    EXPECT_FALSE(synth->startTestTone(0, 500, 0.7f, -1));
    EXPECT_FALSE(synth->isToneActive());
    const Rendered out = render(4);
    EXPECT_GT(peakAbs(out[0]), 0.3);  // nothing was silenced
}

TEST_F(SynthTest, AToneWhoseStreamGoesAwayEnds) {
    const int32_t two[] = {0, 1};
    synth->setStreamLayout(2, two);
    ASSERT_TRUE(synth->startTestTone(-1, 5000, 0.7f, 1));
    render(2, 1);
    // Re-opened with one stream only: the tone's device is gone.
    const int32_t one[] = {0};
    synth->setStreamLayout(1, one);
    EXPECT_FALSE(synth->isToneActive());
    // Re-opened keeping the device: the tone goes on.
    synth->setStreamLayout(2, two);
    ASSERT_TRUE(synth->startTestTone(-1, 5000, 0.7f, 1));
    synth->setStreamLayout(2, two);
    EXPECT_TRUE(synth->isToneActive());
    // Closed: gone.
    synth->setStreamLayout(0, nullptr);
    EXPECT_FALSE(synth->isToneActive());
}

TEST_F(SynthTest, ANewToneReplacesTheRunningOne) {
    ASSERT_TRUE(synth->startTestTone(0, 5000, 0.7f, 0));
    render(10);
    ASSERT_TRUE(synth->startTestTone(1, 50, 0.7f, 0));
    const Rendered out = render(20);
    EXPECT_EQ(peakAbs(out[0]), 0.0);
    EXPECT_EQ(lastNonZero(out[1]), 2399);
    EXPECT_FALSE(synth->isToneActive());
}

// ---- effect preview ----

TEST(EffectPreviewPattern, EachEffectFollowsItsPattern) {
    EffectProfile p;
    p.roadVibration = 0.4f;
    p.suspImpact = 0.5f;
    p.kerbRumble = 0.6f;
    p.engineRumble = 0.3f;
    p.absLock = 0.7f;
    p.wheelSlipSensitivity = 0.9f;
    p.freqEngine = 40.0f;
    auto road = [&](float t) { return effectPreviewFrame(kRoadVibration, t, p).corners[2].roadAmp; };
    EXPECT_NEAR(road(0.5f), 0.4f, 1e-5);  // top of the 0.5 Hz swell
    EXPECT_NEAR(road(1.5f), 0.0f, 1e-5);
    EXPECT_EQ(effectPreviewFrame(kRoadVibration, 0.1f, p).corners[0].roadFreq, p.freqRoadVib);
    auto impact = [&](float t) { return effectPreviewFrame(kSuspImpact, t, p).corners[1].impactAmp; };
    EXPECT_NEAR(impact(0.0025f), 0.25f, 1e-4);
    EXPECT_NEAR(impact(0.05f), 0.5f, 1e-6);
    EXPECT_NEAR(impact(0.155f), 0.25f, 1e-4);
    EXPECT_EQ(impact(0.5f), 0.0f);
    EXPECT_NEAR(impact(0.85f), 0.5f, 1e-6);  // next bump 0.8 s later
    auto kerb = [&](float t) { return effectPreviewFrame(kKerbRumble, t, p).corners[3].kerbAmp; };
    EXPECT_NEAR(kerb(0.02f), 0.6f, 1e-6);
    EXPECT_NEAR(kerb(0.08f), 0.3f, 1e-4);
    EXPECT_EQ(kerb(0.2f), 0.0f);
    EXPECT_NEAR(kerb(0.27f), 0.6f, 1e-6);
    const HapticFrame engine = effectPreviewFrame(kEngineRumble, 1.5f, p);
    EXPECT_EQ(engine.engineAmp, 0.3f);
    EXPECT_NEAR(engine.engineFreq, 27.5f, 1e-4);  // half way from 15 to 40 Hz
    EXPECT_NEAR(effectPreviewFrame(kEngineRumble, 3.0f, p).engineFreq, 15.0f, 1e-3);
    auto abs = [&](float t) { return effectPreviewFrame(kAbsLock, t, p).corners[0].absAmp; };
    EXPECT_EQ(abs(0.05f), 0.7f);
    EXPECT_EQ(abs(0.1f), 0.0f);
    EXPECT_EQ(abs(0.2f), 0.7f);
    EXPECT_NEAR(effectPreviewFrame(kWheelSlip, 0.75f, p).corners[0].slipAmp, 0.9f, 1e-5);
    EXPECT_EQ(effectPreviewFrame(kGearChange, 0.1f, p), HapticFrame{});

    float levels[kEffectCount];
    effectPreviewLevels(kKerbRumble, 0.02f, p, effectPreviewFrame(kKerbRumble, 0.02f, p), levels);
    for (int e = 0; e < kEffectCount; ++e)
        EXPECT_EQ(levels[e], e == kKerbRumble ? 0.6f : 0.0f);
}

TEST_F(SynthTest, GearPreviewPulsesEveryQuarterSecondWithAFallingMeter) {
    editSettings([this](HapticSettings& s) {
        profileOf(s).gearChangeDuration = 0.5f;  // D = 120 ms
        profileOf(s).gearChangeIntensity = 0.8f;
        profileOf(s).freqGear = 50.0f;
    });
    ASSERT_TRUE(synth->startEffectPreview(kGearChange));
    float levels[kEffectCount];
    render(1);
    ASSERT_TRUE(synth->copyPreviewLevels(levels));
    const float t = 256.0f / 48000.0f;
    EXPECT_NEAR(levels[kGearChange], (1.0f - t / 0.12f) * 0.8f, 1e-4);
    Rendered out = render(blocksFor(0.12) - 1);
    ASSERT_TRUE(synth->copyPreviewLevels(levels));
    EXPECT_EQ(levels[kGearChange], 0.0f);
    appendBlocks(out, blocksFor(1.0));
    // Pulse onsets: a sample after at least 1000 silent ones.
    std::vector<int> onsets;
    int silent = 1000;
    const std::vector<float>& ch = out[0];
    for (size_t i = 0; i < ch.size(); ++i) {
        if (ch[i] != 0.0f) {
            if (silent >= 1000)
                onsets.push_back(static_cast<int>(i));
            silent = 0;
        } else {
            ++silent;
        }
    }
    // `out` starts with the second block, inside the first pulse. The next
    // pulses start with the first block past 0.25 s: block 47 of each period.
    ASSERT_GE(onsets.size(), 4u);
    EXPECT_EQ(onsets[0], 0);
    EXPECT_EQ(onsets[1], 46 * 256 - 256);
    for (size_t k = 2; k < onsets.size(); ++k)
        EXPECT_EQ(onsets[k] - onsets[k - 1], 47 * 256);
}

TEST_F(SynthTest, EnginePreviewSweepsThroughTheRoutingAndOverridesTheLiveFrame) {
    editSettings([this](HapticSettings& s) {
        profileOf(s).freqEngine = 40.0f;
        profileOf(s).engineRumble = 0.5f;
    });
    HapticFrame live;
    live.corners[0].kerbAmp = 1.0f;
    synth->publishFrame(live, true);
    ASSERT_TRUE(synth->startEffectPreview(kEngineRumble));
    const Rendered out = render(blocksFor(3.0));
    // No kerb; an engine sweep from 15 Hz at the start to 40 Hz at the end.
    EXPECT_LT(toneAmplitude(out[0], 49.0, kFs, 0, 48000), 0.02);
    const double early = dominantFrequency(out[0], kFs, 10.0, 45.0, 0.5, 0, 12000);
    const double late = dominantFrequency(out[0], kFs, 10.0, 45.0, 0.5, 132000, 144000);
    EXPECT_NEAR(early, 16.5, 2.0);
    EXPECT_NEAR(late, 38.0, 2.5);
    float levels[kEffectCount];
    ASSERT_TRUE(synth->copyPreviewLevels(levels));
    EXPECT_EQ(levels[kEngineRumble], 0.5f);
    // Turning it off clears every level at once and the live frame returns.
    synth->stopEffectPreview();
    EXPECT_FALSE(synth->copyPreviewLevels(levels));
    for (int e = 0; e < kEffectCount; ++e)
        EXPECT_EQ(synth->previewLevel(e), 0.0f);
    const Rendered back = render(blocksFor(0.5));
    EXPECT_GT(toneAmplitude(back[0], 49.0, kFs, 4800), 0.3);
    EXPECT_FALSE(synth->startEffectPreview(7));
    EXPECT_FALSE(synth->startEffectPreview(-1));
}

TEST_F(SynthTest, AToneTakesPrecedenceOverAPreview) {
    ASSERT_TRUE(synth->startEffectPreview(kKerbRumble));
    ASSERT_TRUE(synth->startTestTone(3, 100, 1.0f, 0));
    const Rendered out = render(10);
    EXPECT_EQ(peakAbs(out[0]), 0.0);
    EXPECT_GT(peakAbs(out[3]), 0.8);
}

TEST_F(SynthTest, RenderingNeverAllocates) {
    const int32_t slots[] = {0, 1};
    synth->setStreamLayout(2, slots);
    HapticFrame f;
    for (auto& c : f.corners)
        c = {0.5f, 60.0f, 0.5f, 40.0f, 0.5f, 50.0f, 0.5f, 30.0f, 0.5f};
    f.engineAmp = 0.5f;
    synth->publishFrame(f, true);
    const uint64_t before = realtimeAllocations();
    synth->triggerGearPulseAll(120);
    render(20, 0);
    render(20, 1);
    synth->startEffectPreview(kGearChange);
    render(80, 0);
    synth->stopEffectPreview();
    synth->startTestTone(-1, 100, 0.7f, 1);
    render(20, 1);
    render(20, 0);
    EXPECT_EQ(realtimeAllocations(), before);
    // The counter does see allocations inside a real-time scope.
    {
        RealtimeScope scope;
        allocateOnce();
    }
    EXPECT_EQ(realtimeAllocations(), before + 1);
}

TEST_F(SynthTest, TheFirstBlockAfterAStartConfiguresTheStreamAndReportsOnce) {
    SynthReadyReport report;
    const int32_t slots[] = {0};
    synth->setStreamLayout(1, slots);
    EXPECT_FALSE(synth->takeReadyReport(report));
    HapticFrame f;
    f.corners[0].kerbAmp = 0.5f;
    synth->publishFrame(f, true);
    const Rendered out = render(blocksFor(1.1, 441, 44100.0), 0, 4, 441, 44100.0);
    ASSERT_TRUE(synth->takeReadyReport(report));
    EXPECT_EQ(report.stream, 0);
    EXPECT_EQ(report.frames, 441);
    EXPECT_EQ(report.sampleRate, 44100.0f);
    EXPECT_FALSE(synth->takeReadyReport(report));
    // The kerb plays at 49 Hz at the stream's own rate.
    EXPECT_NEAR(toneAmplitude(out[0], 49.0, 44100.0, 4410), 0.28, 0.002);
}

}  // namespace
}  // namespace qv::test
