// CPU time of one frame into a 1280x800 OSMesa surface per submission path (immediate mode, client
// arrays, buffer objects), step by step, with the bytes and GL calls the quads cost per frame.
#include <benchmark/benchmark.h>

#include <ctime>

#include "bench_surface.h"
#include "scene/frame_steps.h"
#include "scene/gl_includes.h"
#include "scene/scene.h"
#include "settings/overlay_backend.h"
#include "settings/settings_store.h"

namespace {

// CPU seconds of the calling thread (the submission runs on it; Mesa's own threads are not counted).
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

const char* const kPathNames[3] = {"immediate", "arrays", "buffers"};

// Arguments: view, detail level, quick draw (1/0), path (0 immediate, 1 arrays, 2 buffers). Lit, as the
// saver's default, faded in. Counters per frame, in ms: own_ms is the program's own CPU time outside
// the GL draw and upload calls (placement, sort, facing, ranges or copying; for immediate mode the
// submission is all GL calls and counts whole); gl_ms the time inside the draw calls; finish_ms the
// rest of the drawing up to glFinish. bytes and calls: what the quads hand to GL per frame.
void BM_FrameSteps(benchmark::State& state) {
    const int32_t view = static_cast<int32_t>(state.range(0));
    const int32_t path = static_cast<int32_t>(state.range(3));
    SettingOverrides values{{"detail_level", static_cast<int32_t>(state.range(1))},
                            {"quick_draw", state.range(2) != 0 ? 1 : 0},
                            {"light_source", 1}};
    NoSettingsBackend none;
    OverlayBackend settings(values, none);
    ScopedSettingsBackend useSettings(settings);
    BenchPlatform platform;
    LcgRandom random{1};
    Scene scene;
    scene.platform = &platform;
    scene.random = &random;
    scene.loadSettings();
    scene.glApi = &offscreenGlApi();
    scene.playlist.cursor = view;
    scene.vertexArrays = path != 0;
    scene.bufferObjects = path == 2;
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
    // The fade-in's frames fill the buffers a share at a time; then the first faded-in frame.
    submitCounts() = SubmitCounts{};
    submitCounts().clock = threadSeconds;
    const double stepsStart = threadSeconds();
    if (path == 2)
        for (int32_t i = 0; i < kUploadSteps; ++i) uploadStep(scene);
    const double uploadSteps = threadSeconds() - stepsStart;
    scene.fade = 1.0;
    const double firstStart = threadSeconds();
    scene.renderFrame();
    target->finish();
    const double firstFrame = threadSeconds() - firstStart;
    const double uploadBytes = submitCounts().uploadBytes;
    submitCounts() = SubmitCounts{};
    submitCounts().clock = threadSeconds;

    double own = 0, draw = 0, finish = 0;
    for (auto _ : state) {
        scene.angle = scene.angle + scene.rotationSpeed;
        double eye[3];
        const double glBefore = submitCounts().glSeconds;
        const double t0 = threadSeconds();
        prepareFrame(scene, eye);
        const int32_t rings = sortRingsForEye(scene, eye);
        bool drawn = false;
        if (path == 2 && buildQuadRanges(scene, eye, rings)) {
            const double t1 = threadSeconds();
            own += t1 - t0;
            drawn = drawQuadRanges(scene);
            draw += threadSeconds() - t1;
        }
        if (!drawn) {
            markFacing(scene, eye, rings);
            if (path == 0) {
                submitQuadsImmediate(scene, rings);
            } else {
                submitQuadArrays(scene, rings);
            }
            const double inGl = submitCounts().glSeconds - glBefore;
            const double total = threadSeconds() - t0;
            own += path == 0 ? total : total - inGl;
            draw += path == 0 ? 0 : inGl;
        }
        const double t2 = threadSeconds();
        glFlush();
        target->finish();
        finish += threadSeconds() - t2;
    }
    const double frames = static_cast<double>(state.iterations());
    state.counters["own_ms"] = own * 1000 / frames;
    state.counters["gl_ms"] = draw * 1000 / frames;
    state.counters["finish_ms"] = finish * 1000 / frames;
    state.counters["bytes"] = submitCounts().bytes / frames;
    state.counters["calls"] = submitCounts().calls / frames;
    state.counters["upload_MB"] = uploadBytes / 1e6;
    state.counters["first_frame_ms"] = firstFrame * 1000;
    state.counters["upload_step_ms"] = uploadSteps * 1000 / kUploadSteps;
    state.counters["vertices"] = scene.vertexCount;
    state.SetLabel(kPathNames[path]);
    submitCounts() = SubmitCounts{};
    scene.releaseImage();
}

}  // namespace

BENCHMARK(BM_FrameSteps)
    ->ArgNames({"view", "detail", "quick", "path"})
    ->ArgsProduct({{0, 3}, {1, 4}, {1, 0}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

BENCHMARK_MAIN();
