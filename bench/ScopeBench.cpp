// What one effect card's scope costs per frame: the newest 64 meter samples
// as a filled, stroked curve, one new sample a frame (the window's frame
// tick). "StrokedWhole" strokes the whole curve every frame (what the cards
// did before they kept it); "Advanced" keeps it as an image (ScopeImage),
// scrolls it and draws only the new segments, then draws the image onto the
// frame. The scope is density 1's (the default), at 96 dpi (Arg 1) and
// 192 dpi (Arg 2), on a frame-sized image in memory.
//
// "Time" is wall time per frame on the calling thread.

#include "platform/graphics/Graphics.h"
#include "platform/graphics/ImageTarget.h"
#include "ui/Appearance.h"
#include "ui/panels/ScopeImage.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

namespace {

using namespace qv;

constexpr uint32_t kHistory = 128;

struct ScopeScene {
    explicit ScopeScene(int scale) {
        graphicsInit(GraphicsConfig{{}, kDefaultDpi * scale});
        applyDensity(1);
        createTextFormats();
        createBrushes(0);
        s = static_cast<float>(scale);
        const DensityMetrics& m = densityMetrics();
        // A card's scope: left padding in, the card's inner height, at a
        // fractional place as the cards' layout gives it.
        rect = RectF{22.4f * s, 140.3f * s, (22.4f + m.scopeWidth) * s, (140.3f + m.cardHeight - 2 * m.vPad) * s};
        frame = ImageTarget::create(static_cast<int>(rect.right) + 20, static_cast<int>(rect.bottom) + 20);
        frame->context().clear(Color{0.16f, 0.17f, 0.2f, 1.0f});
    }
    ~ScopeScene() {
        frame.reset();
        releaseGuiResources();
        graphicsShutdown();
    }
    // One frame tick's new sample; the newest 64 into `samples`.
    void step(float (&samples)[kScopePoints]) {
        history[writeIndex] = 0.5f + 0.45f * std::sin(0.21f * static_cast<float>(tick++));
        writeIndex = (writeIndex + 1) & (kHistory - 1);
        for (int j = 0; j < kScopePoints; ++j)
            samples[j] = history[(writeIndex - kScopePoints + j) & (kHistory - 1)];
    }

    float s = 1;
    RectF rect;
    std::unique_ptr<ImageTarget> frame;
    float history[kHistory] = {};
    uint32_t writeIndex = 0;
    int tick = 0;
};

void BM_ScopeStrokedWhole(benchmark::State& state) {
    ScopeScene scene(static_cast<int>(state.range(0)));
    float samples[kScopePoints];
    for (auto _ : state) {
        scene.step(samples);
        paintScopeCurve(scene.frame->context(), scene.rect, samples, scene.s);
        scene.frame->finish();
    }
}
BENCHMARK(BM_ScopeStrokedWhole)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ScopeAdvanced(benchmark::State& state) {
    ScopeScene scene(static_cast<int>(state.range(0)));
    ScopeImage scope;
    float samples[kScopePoints];
    for (auto _ : state) {
        scene.step(samples);
        scope.paint(scene.frame->context(), scene.rect, samples, scene.writeIndex, kHistory, scene.s, 1.0f);
        scene.frame->finish();
    }
}
BENCHMARK(BM_ScopeAdvanced)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
