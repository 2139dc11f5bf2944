// How fast the synthesis renders, as multiples of real time: one stream at
// 48 kHz in blocks of 256 frames (5.33 ms of audio per block), with the
// default routing and with the worst case (eight zones, every effect on, a
// gear pulse always running), and four worst-case streams together.
//
// "x_realtime" is seconds of audio rendered per second of CPU time; the
// callback's budget for one stream is 1x, so 100x means a block takes 1 % of
// its period.

#include "audio/SynthState.h"
#include "settings/LiveSettings.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace qv;

constexpr int kFrames = 256;
constexpr double kRate = 48000.0;

HapticFrame busyFrame() {
    HapticFrame f;
    for (int c = 0; c < kCornerCount; ++c) {
        f.corners[c] = {0.4f, 60.0f + c, 0.3f, 38.0f, 0.6f, 49.0f + c, 0.5f, 30.0f, 0.4f};
    }
    f.engineAmp = 0.5f;
    f.engineFreq = 82.0f;
    return f;
}

void worstCaseSettings(HapticSettings& s) {
    s.numActiveZones = kMaxZones;
    for (int z = 0; z < kMaxZones; ++z) {
        s.zones[z].active = 1;
        s.zones[z].channel = z;
        s.zones[z].device = 0;
        s.zones[z].gain = 0.9f;
    }
    EffectProfile& p = s.effectProfiles[s.selectedSim];
    for (auto& e : p.effectEnabled)
        e = 1;
    for (auto& row : p.routeGain)
        for (float& g : row)
            g = 0.8f;
}

struct Rig {
    LiveSettings settings;
    std::unique_ptr<SynthState> synth;
    std::unique_ptr<AudioBuffer> buffers[kMaxSynthStreams];
    int channels = 4;

    Rig(bool worstCase, int streams) {
        if (worstCase) {
            settings.edit(worstCaseSettings, false);
            channels = kMaxStreamChannels;
        }
        synth = std::make_unique<SynthState>(settings);
        int32_t slots[kMaxSynthStreams] = {0, 0, 0, 0};  // every stream plays every zone
        synth->setStreamLayout(streams, slots);
        for (int s = 0; s < streams; ++s) {
            synth->configure(s, static_cast<float>(kRate), kFrames);
            buffers[s] = std::make_unique<AudioBuffer>();
        }
        synth->publishFrame(busyFrame(), true);
    }

    void renderBlock(int stream) {
        AudioBuffer& b = *buffers[stream];
        b.numChannels = channels;
        b.numFrames = kFrames;
        b.sampleRate = kRate;
        synth->render(stream, b);
        benchmark::DoNotOptimize(b.samples[0][kFrames - 1]);
    }
};

void reportRealtime(benchmark::State& state, int streams) {
    // Audio seconds of one stream per iteration; with several streams the
    // factor is that of all of them together.
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(kFrames) / kRate, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["streams"] = streams;
}

void BM_SynthDefaultRouting(benchmark::State& state) {
    Rig rig(false, 1);
    for (auto _ : state)
        rig.renderBlock(0);
    reportRealtime(state, 1);
}
BENCHMARK(BM_SynthDefaultRouting);

void BM_SynthWorstCase(benchmark::State& state) {
    Rig rig(true, 1);
    int block = 0;
    for (auto _ : state) {
        if (++block % 20 == 0)
            rig.synth->triggerGearPulseAll(200);  // keeps the gear envelope running
        rig.renderBlock(0);
    }
    reportRealtime(state, 1);
}
BENCHMARK(BM_SynthWorstCase);

void BM_SynthWorstCaseFourStreams(benchmark::State& state) {
    Rig rig(true, 4);
    int block = 0;
    for (auto _ : state) {
        if (++block % 20 == 0)
            rig.synth->triggerGearPulseAll(200);
        for (int s = 0; s < 4; ++s)
            rig.renderBlock(s);
    }
    reportRealtime(state, 4);
}
BENCHMARK(BM_SynthWorstCaseFourStreams);

}  // namespace

BENCHMARK_MAIN();
