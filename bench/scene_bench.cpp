// Build time of an image and CPU time of one frame into a 1280x800 OSMesa surface, for views 0 and 3.
#include <benchmark/benchmark.h>

#include "scene/gl_includes.h"
#include "bench_surface.h"
#include "scene/scene.h"
#include "settings/overlay_backend.h"
#include "settings/settings_store.h"

namespace {

// A scene set up as the saver does, lit (the costlier path), with the given view, detail and quick draw.
struct BenchScene {
    BenchScene(int32_t view, int32_t detail, bool quickDraw) : useSettings(settings) {
        values["detail_level"] = detail;
        values["quick_draw"] = quickDraw ? 1 : 0;
        values["light_source"] = 1;
        scene.platform = &platform;
        scene.random = &random;
        scene.loadSettings();
        scene.glApi = &offscreenGlApi();  // frames from buffer objects, as the saver draws them
        scene.playlist.cursor = view;
    }
    ~BenchScene() { scene.releaseImage(); }

    SettingOverrides values;  // settings that differ from the defaults
    NoSettingsBackend none;
    OverlayBackend settings{values, none};
    ScopedSettingsBackend useSettings;
    BenchPlatform platform;
    LcgRandom random{1};
    Scene scene;
};

void BM_BuildImage(benchmark::State& state) {
    BenchScene bench(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)), true);
    if (benchSurface() == nullptr) {  // a build may switch GL lighting: it needs a current context
        state.SkipWithError("no OSMesa surface");
        return;
    }
    for (auto _ : state) {
        bench.scene.playlist.cursor = static_cast<int32_t>(state.range(0));
        if (!bench.scene.buildImage()) state.SkipWithError("build failed");
    }
    state.counters["vertices"] = bench.scene.vertexCount;
}

void BM_RenderFrame(benchmark::State& state) {
    BenchScene bench(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)), state.range(2) != 0);
    OffscreenSurface* target = benchSurface();
    if (target == nullptr) {
        state.SkipWithError("no OSMesa surface");
        return;
    }
    setViewportAndProjection(kBenchWidth, kBenchHeight);
    initRenderState(bench.scene);
    if (!bench.scene.buildImage()) {
        state.SkipWithError("build failed");
        return;
    }
    bench.scene.fade = 1.0;
    for (auto _ : state) {
        bench.scene.angle = bench.scene.angle + bench.scene.rotationSpeed;  // as the tick turns it
        bench.scene.renderFrame();
        target->finish();  // count the rasterisation, not just the submission
    }
    state.counters["vertices"] = bench.scene.vertexCount;
}

}  // namespace

BENCHMARK(BM_BuildImage)->ArgNames({"view", "detail"})->ArgsProduct({{0, 3}, {1, 4}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderFrame)
    ->ArgNames({"view", "detail", "quick"})
    ->ArgsProduct({{0, 3}, {1, 4}, {1, 0}})
    ->Unit(benchmark::kMillisecond);
