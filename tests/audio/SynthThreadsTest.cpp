// Two streams rendering at the same time on their own threads, at different
// rates, while the main thread publishes frames and gear pulses and the
// settings change: each keeps its pitch and level. Run under ThreadSanitizer.

#include "audio/SignalAnalysis.h"
#include "audio/SynthState.h"
#include "settings/LiveSettings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace qv::test {
namespace {

TEST(SynthThreads, TwoStreamsAtDifferentRatesKeepTheirPitchWhileMainPublishes) {
    LiveSettings settings;
    settings.edit(
        [](HapticSettings& s) {
            EffectProfile& p = s.effectProfiles[s.selectedSim];
            for (auto& e : p.effectEnabled)
                e = 0;
            p.effectEnabled[kEngineRumble] = 1;
            s.zones[1].device = 1;  // RF on the second device, channel 0
            s.zones[1].channel = 0;
        },
        false);
    auto synth = std::make_unique<SynthState>(settings);
    const int32_t slots[] = {0, 1};
    synth->setStreamLayout(2, slots);

    HapticFrame frame;
    frame.engineAmp = 0.5f;
    frame.engineFreq = 75.0f;
    synth->publishFrame(frame, true);

    std::atomic<int> running{2};
    auto renderer = [&](int stream, double rate, int blocks, std::vector<float>* out) {
        auto buffer = std::make_unique<AudioBuffer>();
        for (int b = 0; b < blocks; ++b) {
            buffer->numChannels = 2;
            buffer->numFrames = 256;
            buffer->sampleRate = rate;
            synth->render(stream, *buffer);
            out->insert(out->end(), buffer->samples[0], buffer->samples[0] + 256);
        }
        running.fetch_sub(1);
    };
    std::vector<float> s0, s1;
    std::thread a(renderer, 0, 48000.0, 600, &s0);
    std::thread b(renderer, 1, 44100.0, 560, &s1);
    int pass = 0;
    while (running.load() > 0) {
        synth->publishFrame(frame, true);
        if (++pass % 50 == 0)
            synth->triggerGearPulseAll(80);  // gear is off: no sound, but the command path runs
        if (pass % 7 == 0)
            settings.edit([pass](HapticSettings& s) { s.guiDensity = pass % 3; }, false);
        std::this_thread::yield();
    }
    a.join();
    b.join();

    // A callback stays silent until its first consistent copy of the frame
    // and the settings (a writer that never pauses, as here, can delay it);
    // after that a failed copy keeps the previous one. Measure from 0.1 s
    // after each stream's first sound.
    auto firstSound = [](const std::vector<float>& x) {
        size_t i = 0;
        while (i < x.size() && x[i] == 0.0f)
            ++i;
        return i;
    };
    const size_t from0 = firstSound(s0) + 4800;
    const size_t from1 = firstSound(s1) + 4410;
    ASSERT_LT(from0 + 48000, s0.size());
    ASSERT_LT(from1 + 44100, s1.size());
    const double expected = 0.5 * 0.6 * 0.8;
    EXPECT_NEAR(toneAmplitude(s0, 75.0, 48000.0, from0), expected, 0.003);
    EXPECT_NEAR(toneAmplitude(s1, 75.0, 44100.0, from1), expected, 0.003);
    EXPECT_NEAR(dominantFrequency(s0, 48000.0, 60.0, 90.0, 0.25, from0), 75.0, 0.3);
    EXPECT_NEAR(dominantFrequency(s1, 44100.0, 60.0, 90.0, 0.25, from1), 75.0, 0.3);
}

TEST(SynthThreads, GuiCommandsWhileStreamsRenderAreRaceFree) {
    LiveSettings settings;
    auto synth = std::make_unique<SynthState>(settings);
    const int32_t slots[] = {0, 1};
    synth->setStreamLayout(2, slots);
    std::atomic<bool> stop{false};
    auto renderer = [&](int stream) {
        auto buffer = std::make_unique<AudioBuffer>();
        while (!stop.load()) {
            buffer->numChannels = 4;
            buffer->numFrames = 128;
            synth->render(stream, *buffer);
            for (int c = 0; c < 4; ++c)
                for (int i = 0; i < 128; ++i)
                    ASSERT_TRUE(buffer->samples[c][i] >= -1.0f && buffer->samples[c][i] <= 1.0f);
        }
    };
    std::thread a(renderer, 0), b(renderer, 1);
    float levels[kEffectCount];
    for (int i = 0; i < 300; ++i) {
        synth->startEffectPreview(i % kEffectCount);
        synth->copyPreviewLevels(levels);
        synth->startTestTone(i % 3 - 1, 5, 0.7f, i % 2);
        if (i % 10 == 0)
            synth->stopEffectPreview();
        if (i % 25 == 0)
            synth->setStreamLayout(2, slots);  // as a restart does (streams keep going here)
        std::this_thread::yield();
    }
    stop = true;
    a.join();
    b.join();
    synth->stopEffectPreview();
    EXPECT_FALSE(synth->isPreviewActive());
}

}  // namespace
}  // namespace qv::test
