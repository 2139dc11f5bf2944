// How long one frame of the main window takes to paint: the full 1500 x 860
// client offscreen, every band, with live meters moving in every effect (the
// scopes redraw each frame), seven cards (iRacing) and four zones. The
// window repaints up to 30 times a second next to the audio threads and the
// simulator; the goal is at most 4 ms per frame. A second case changes a
// slider and the master knob in every frame, as a drag does.
//
// "Time" is wall time per painted frame on the calling thread.

#include "app/AppGlobals.h"
#include "audio/AudioStatus.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/ImageTarget.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileList.h"
#include "ui/Appearance.h"
#include "ui/GuiHooks.h"
#include "ui/MainWindow.h"
#include "ui/panels/MainWindowBands.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

using namespace qv;

void paintFrame(ImageTarget& target, float time) {
    paintMainWindow(target.context(), static_cast<float>(target.width()), static_cast<float>(target.height()), time);
    target.finish();
}

void setUp(int sim) {
    graphicsInit(GraphicsConfig{{}, kDefaultDpi});
    applyDensity(1);
    createTextFormats();
    createBrushes(0);
    installGuiHooks();
    resetMainWindowBands();
    gSettings.edit([sim](HapticSettings& s) { s.selectedSim = sim; }, false);
    mainWindowBands().buildEffectCards(sim);
    gAudioReady = 1;
    gAudioStreamCount = 1;
    DeviceStatusTable table;
    copyText(table.rows[0].deviceName, "Shaker Box 8");
    copyText(table.rows[0].hostApi, "JACK");
    table.rows[0].latencyMs = 5.3f;
    publishDeviceStatus(table);
    gSimConnected = 1;
}

void BM_MainWindowFrame(benchmark::State& state) {
    setUp(static_cast<int>(state.range(0)));
    auto target = ImageTarget::create(1500, 860);
    int tick = 0;
    for (auto _ : state) {
        for (int e = 0; e < kEffectCount; ++e)
            gEffectMeters[e] = 0.5f + 0.45f * std::sin(0.21f * tick + e);
        mainWindowBands().updateLevelMeters();
        paintFrame(*target, tick * 0.033f);
        ++tick;
    }
    target.reset();
    releaseGuiResources();
    graphicsShutdown();
}
// 0: iRacing (seven cards), 4: AC (the split switch).
BENCHMARK(BM_MainWindowFrame)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// The busiest frames: while the user drags, a card slider and the master knob
// change every frame, so their bands are drawn again each time.
void BM_MainWindowFrameWhileDragging(benchmark::State& state) {
    setUp(kIRacing);
    auto target = ImageTarget::create(1500, 860);
    int tick = 0;
    for (auto _ : state) {
        const float v = 0.5f + 0.4f * std::sin(0.1f * tick);
        gSettings.edit(
            [v](HapticSettings& s) {
                s.masterGain = v;
                s.effectProfiles[kIRacing].roadVibration = v;
            },
            false);
        for (int e = 0; e < kEffectCount; ++e)
            gEffectMeters[e] = 0.5f + 0.45f * std::sin(0.21f * tick + e);
        mainWindowBands().updateLevelMeters();
        paintFrame(*target, tick * 0.033f);
        ++tick;
    }
    target.reset();
    releaseGuiResources();
    graphicsShutdown();
}
BENCHMARK(BM_MainWindowFrameWhileDragging)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
