// How long one frame of the main window takes to paint: the full 1500 x 860
// client offscreen, every band, with live meters moving in every effect (the
// scopes redraw each frame), seven cards (iRacing) and four zones. The
// window repaints up to 30 times a second next to the audio threads and the
// simulator; the goal is at most 4 ms per frame. A second case changes a
// slider and the master knob in every frame, as a drag does.
//
// The window itself paints only what changed (paintMainWindowChanges): the
// last two cases are its frames while the meters move, and a frame tick in
// which nothing changed.
//
// "Time" is wall time per painted frame on the calling thread.
//
// The present cases show the frame on a real window through each of the two
// present paths of the window targets: the window's SDL surface (X11) and an
// SDL renderer with a streaming texture (Wayland). The video driver is SDL's
// choice from SDL_VIDEODRIVER, "offscreen" when that is unset (no display
// needed; its renderer is SDL's software renderer); run with
// SDL_VIDEODRIVER=wayland under a compositor for the renderer it gives there.
// A path the driver cannot give is reported as an error, not measured.

#include "app/AppGlobals.h"
#include "audio/AudioStatus.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/ImageTarget.h"
#include "platform/graphics/WindowTarget.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileList.h"
#include "ui/Appearance.h"
#include "ui/GuiHooks.h"
#include "ui/MainWindow.h"
#include "ui/panels/MainWindowBands.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

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
    buildEffectCards(sim);
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
        updateLevelMeters();
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
        updateLevelMeters();
        paintFrame(*target, tick * 0.033f);
        ++tick;
    }
    target.reset();
    releaseGuiResources();
    graphicsShutdown();
}
BENCHMARK(BM_MainWindowFrameWhileDragging)->Unit(benchmark::kMillisecond)->UseRealTime();

// A window of the first window's size with a target on `path`; null (and
// the state skipped) when the driver cannot give that path.
struct PresentWindow {
    SDL_Window* window = nullptr;
    WindowTarget* target = nullptr;
    int width = 0, height = 0;

    PresentWindow(benchmark::State& state, PresentPath path) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");  // as the window layer
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            state.SkipWithError(SDL_GetError());
            return;
        }
        window = SDL_CreateWindow("bench", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kMainWindowWidth,
                                  kMainWindowHeight, SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_BORDERLESS);
        target = window ? createWindowTarget(window, path) : nullptr;
        if (!target) {
            state.SkipWithError(("no such present path here: " + lastGraphicsError()).c_str());
            return;
        }
        windowTargetPixelSize(target, &width, &height);
        resizeWindowTarget(target, width, height);
        const std::string renderer = windowTargetRendererName(target);
        state.SetLabel(std::string(SDL_GetCurrentVideoDriver()) + (renderer.empty() ? "" : " " + renderer) + ", " +
                       std::to_string(width) + " x " + std::to_string(height));
    }
    ~PresentWindow() {
        destroyWindowTarget(&target);
        if (window)
            SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    bool ok() const { return target != nullptr; }
    bool frame(float time) {
        DrawContext* context = beginDraw(target);
        if (!context)
            return false;
        paintMainWindow(*context, static_cast<float>(width), static_cast<float>(height), time);
        return endDraw(target);
    }
};

// Painting with live meters and presenting the whole frame, as the window
// does at each frame tick.
void BM_MainWindowPaintAndPresent(benchmark::State& state) {
    PresentWindow w(state, static_cast<PresentPath>(state.range(0)));
    if (!w.ok())
        return;
    setUp(kIRacing);
    int tick = 0;
    for (auto _ : state) {
        for (int e = 0; e < kEffectCount; ++e)
            gEffectMeters[e] = 0.5f + 0.45f * std::sin(0.21f * tick + e);
        updateLevelMeters();
        if (!w.frame(tick * 0.033f) || !presentWindowTarget(w.target)) {
            state.SkipWithError(lastGraphicsError().c_str());
            break;
        }
        SDL_PumpEvents();
        ++tick;
    }
    releaseGuiResources();
    graphicsShutdown();
}

// The present alone: one painted frame shown whole, again and again.
void BM_MainWindowPresentOnly(benchmark::State& state) {
    PresentWindow w(state, static_cast<PresentPath>(state.range(0)));
    if (!w.ok())
        return;
    setUp(kIRacing);
    w.frame(0);
    for (auto _ : state) {
        if (!presentWindowTarget(w.target)) {
            state.SkipWithError(lastGraphicsError().c_str());
            break;
        }
        SDL_PumpEvents();
    }
    releaseGuiResources();
    graphicsShutdown();
}

// 1: the window's surface, 2: the renderer and its streaming texture.
BENCHMARK(BM_MainWindowPaintAndPresent)
    ->ArgName("path")
    ->Arg(static_cast<int>(PresentPath::WindowSurface))
    ->Arg(static_cast<int>(PresentPath::Renderer))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_MainWindowPresentOnly)
    ->ArgName("path")
    ->Arg(static_cast<int>(PresentPath::WindowSurface))
    ->Arg(static_cast<int>(PresentPath::Renderer))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();


// What the window paints while playing: only what changed since the last
// frame (the scopes, the pulsing dots, the knob's glow) onto a target that
// keeps its frame.
void BM_MainWindowChangedFrame(benchmark::State& state) {
    setUp(kIRacing);
    auto target = ImageTarget::create(1500, 860);
    paintMainWindowChanges(target->context(), 1500, 860, 0.0f, true);
    int tick = 0;
    long pixels = 0;
    for (auto _ : state) {
        for (int e = 0; e < kEffectCount; ++e)
            gEffectMeters[e] = 0.5f + 0.45f * std::sin(0.21f * tick + e);
        updateLevelMeters();
        ++tick;
        for (const PixelRect& r : paintMainWindowChanges(target->context(), 1500, 860, tick * 0.033f, false))
            pixels += long(r.width) * r.height;
        target->finish();
    }
    state.counters["painted_px"] = benchmark::Counter(static_cast<double>(pixels) / std::max(tick, 1));
    target.reset();
    releaseGuiResources();
    graphicsShutdown();
}
BENCHMARK(BM_MainWindowChangedFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// A frame tick in which nothing changed (offline, silent meters, same time):
// the layout alone, nothing painted.
void BM_MainWindowUnchangedFrame(benchmark::State& state) {
    setUp(kIRacing);
    gSimConnected = 0;
    for (int e = 0; e < kEffectCount; ++e)
        gEffectMeters[e] = 0.0f;
    auto target = ImageTarget::create(1500, 860);
    paintMainWindowChanges(target->context(), 1500, 860, 1.0f, true);
    for (auto _ : state) {
        updateLevelMeters();
        benchmark::DoNotOptimize(paintMainWindowChanges(target->context(), 1500, 860, 1.0f, false).size());
    }
    target.reset();
    releaseGuiResources();
    graphicsShutdown();
}
BENCHMARK(BM_MainWindowUnchangedFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
