// CPU time of one frame into a 1280x800 OSMesa surface, step by step: preparation, ring sort, facing
// tests, quad submission (immediate mode or vertex arrays) and the rest of the drawing up to glFinish.
#include <benchmark/benchmark.h>

#include <ctime>

#include "scene/gl_includes.h"
#include "bench_surface.h"
#include "scene/scene.h"
#include "settings/memory_backend.h"

namespace {

// CPU seconds of the calling thread (the submission runs on it; Mesa's own threads are not counted).
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Arguments: view, detail level, quick draw (1/0), vertex arrays (1/0). Lit, as the saver's default.
void BM_FrameSteps(benchmark::State& state) {
    const int32_t view = static_cast<int32_t>(state.range(0));
    MemorySettingsBackend settings;
    ScopedSettingsBackend useSettings(settings);
    settings.store("detail_level", static_cast<int32_t>(state.range(1)));
    settings.store("quick_draw", state.range(2) != 0 ? 1 : 0);
    settings.store("light_source", 1);
    BenchPlatform platform;
    LcgRandom random{1};
    Scene scene;
    scene.platform = &platform;
    scene.random = &random;
    scene.loadSettings();
    scene.playlist.cursor = view;
    scene.vertexArrays = state.range(3) != 0;
    OffscreenSurface* target = benchSurface();
    if (target == nullptr) {
        state.SkipWithError("no OSMesa surface");
        return;
    }
    setViewportAndProjection(kBenchWidth, kBenchHeight);
    initRenderState(scene);
    if (!scene.buildImage()) {
        state.SkipWithError("build failed");
        return;
    }
    scene.fade = 1.0;
    double prepare = 0, sort = 0, facing = 0, submit = 0, finish = 0;
    for (auto _ : state) {
        scene.angle = scene.angle + scene.rotationSpeed;
        double eye[3];
        const double t0 = threadSeconds();
        prepareFrame(scene, eye);
        const double t1 = threadSeconds();
        const int32_t rings = sortRingsForEye(scene, eye);
        const double t2 = threadSeconds();
        markFacing(scene, eye, rings);
        const double t3 = threadSeconds();
        if (scene.vertexArrays) {
            submitQuadArrays(scene, rings);
        } else {
            submitQuadsImmediate(scene, rings);
        }
        const double t4 = threadSeconds();
        glFlush();
        target->finish();
        const double t5 = threadSeconds();
        prepare += t1 - t0;
        sort += t2 - t1;
        facing += t3 - t2;
        submit += t4 - t3;
        finish += t5 - t4;
    }
    const double n = static_cast<double>(state.iterations()) / 1000.0;  // per frame, in ms
    state.counters["sort_ms"] = sort / n;
    state.counters["facing_ms"] = facing / n;
    state.counters["submit_ms"] = submit / n;
    state.counters["frame_ms"] = (prepare + sort + facing + submit) / n;
    state.counters["finish_ms"] = finish / n;
    state.counters["vertices"] = scene.vertexCount;
    state.SetLabel(scene.vertexArrays ? "arrays" : "immediate");
    scene.releaseImage();
}

}  // namespace

BENCHMARK(BM_FrameSteps)
    ->ArgNames({"view", "detail", "quick", "arrays"})
    ->ArgsProduct({{0, 3}, {1, 4}, {1, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

BENCHMARK_MAIN();
