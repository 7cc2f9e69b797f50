// Image build speed: view 3 at detail level 4 (size factor 1.4) built the reference way and batched on
// every escape kernel, and the escape kernels alone in iterations per second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "common/random_source.h"
#include "fractal/escape_colour.h"
#include "fractal/escape_kernels.h"
#include "fractal/tube_generator.h"
#include "fractal/view_table.h"

namespace {

constexpr int kView = 3;
constexpr float kSizeFactor = 1.4f;  // detail level 4

// Blocks kept across builds, one per size, so that repeated builds measure the computation rather
// than the operating system handing out and zeroing tens of megabytes of fresh pages.
std::map<size_t, void*>& pool() {
    static std::map<size_t, void*> blocks;
    return blocks;
}
void* pooledAllocate(size_t bytes) {
    void*& block = pool()[bytes];
    if (block == nullptr) {
        block = std::malloc(bytes);
        if (block != nullptr) {
            std::memset(block, 0, bytes);
        }
    }
    return block;
}
void pooledRelease(void*) {}

// Builds the view once; true when it worked. Pooled arrays stay in the pool, fresh ones are freed.
bool buildOnce(bool reference, EscapeKernel kernel, bool pooled, uint64_t* checksum = nullptr) {
    TubeGenerator gen;
    ScriptedRandom draw{0};
    gen.random = &draw;
    gen.detailWidth = kSizeFactor * 300.0f;
    gen.detailHeight = kSizeFactor * 200.0f;
    gen.referenceBuild = reference;
    gen.escapeKernel = kernel;
    if (pooled) {
        gen.allocate = pooledAllocate;
        gen.release = pooledRelease;
    }
    if (!gen.init()) {
        return false;
    }
    TubeShape shape = gen.shapeTable[kView];
    FractalPath path = gen.pathTable[kView];
    TubeArrays arrays;
    if (!gen.generate(shape, path, arrays)) {
        return false;
    }
    if (checksum != nullptr) {
        // FNV-1a over the colour bytes and the positions of the vertices, and the rings.
        uint64_t h = 1469598103934665603ull;
        auto mix = [&h](const void* p, size_t n) {
            const unsigned char* c = static_cast<const unsigned char*>(p);
            for (size_t i = 0; i < n; ++i) {
                h = (h ^ c[i]) * 1099511628211ull;
            }
        };
        for (int32_t i = 0; i < gen.vertexCount; ++i) {
            const TubeVertex& v = arrays.vertices[i];
            mix(&v.red, 3);
            mix(v.position, sizeof v.position);
            mix(v.normal, sizeof v.normal);
        }
        mix(arrays.rings, sizeof(TubeRing) * static_cast<size_t>(gen.vertexCount / gen.ringSize));
        *checksum = h;
    }
    if (!pooled) {
        freeTubeArrays(arrays);
    }
    return true;
}

// Arguments: 0 reference build, 1 + kernel for the batched build (kernel -1 = automatic);
// range(1): 1 pooled arrays, 0 fresh memory each build.
void BM_BuildView3Detail4(benchmark::State& state) {
    const bool reference = state.range(0) == 0;
    const EscapeKernel kernel = static_cast<EscapeKernel>(state.range(0) - 2);
    const bool pooled = state.range(1) != 0;
    if (!reference && kernel != EscapeKernel::Automatic && !escapeKernelSupported(kernel)) {
        state.SkipWithError("kernel not supported here");
        return;
    }
    uint64_t checksum = 0;
    uint64_t referenceChecksum = 0;
    buildOnce(true, EscapeKernel::Scalar, true, &referenceChecksum);
    buildOnce(reference, kernel, pooled, &checksum);
    if (checksum != referenceChecksum) {
        state.SkipWithError("output differs from the reference build");
        return;
    }
    const auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(buildOnce(reference, kernel, pooled));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    // Seconds per reference build, with pooled and with fresh memory, from earlier in this run.
    static double referenceSeconds[2] = {0.0, 0.0};
    const double perBuild = seconds / static_cast<double>(state.iterations());
    if (reference) {
        referenceSeconds[pooled ? 1 : 0] = perBuild;
    } else if (referenceSeconds[pooled ? 1 : 0] > 0.0) {
        state.counters["speedup"] = referenceSeconds[pooled ? 1 : 0] / perBuild;  // against the reference build
    }
    state.SetLabel(reference ? "reference" : escapeKernelName(resolveEscapeKernel(kernel)));
}
BENCHMARK(BM_BuildView3Detail4)
    ->ArgNames({"path", "pooled"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {1}})
    ->ArgsProduct({{0, 1}, {0}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The sample points of view 3 at detail level 4: the tube's spiral path, one point per vertex.
struct SamplePoints {
    std::vector<double> re, im;
    int64_t iterations = 0;  // escape steps of all points together
};
const SamplePoints& view3Points() {
    static SamplePoints points;
    if (!points.re.empty()) {
        return points;
    }
    TubeGenerator gen;
    gen.detailWidth = kSizeFactor * 300.0f;
    gen.detailHeight = kSizeFactor * 200.0f;
    if (!gen.init()) {
        return points;
    }
    TubeShape shape = gen.shapeTable[kView];
    FractalPath path = gen.pathTable[kView];
    // Scale as generate does, then lay out.
    const float scale =
        static_cast<float>(std::sqrt(static_cast<double>(480000.0f / (gen.detailWidth * gen.detailHeight))));
    shape.helixRadius /= scale;
    shape.tubeRadius /= scale;
    shape.rise /= scale;
    if (!gen.layoutTube(shape, path)) {
        return points;
    }
    for (int32_t i = 0; i < shape.vertexCount; ++i) {
        const double pos = shape.step * i;
        const double psi = path.angleOffset + (gen.driftRate * pos + shape.angularRate * pos);
        const double q = std::pow(0.9, pos / shape.sweep * 420.0 * path.zoomRate);
        points.re.push_back(path.centreRe + path.startRadius * std::cos(psi) / q);
        points.im.push_back(path.centreIm + path.startRadius * std::sin(psi) / q);
        points.iterations += escapeLoop(points.re.back(), points.im.back(), points.re.back(), points.im.back()).steps;
    }
    return points;
}

// Escape iterations per second on one core, per kernel (argument: the kernel number).
void BM_EscapeKernel(benchmark::State& state) {
    const EscapeKernel kernel = static_cast<EscapeKernel>(state.range(0));
    if (!escapeKernelSupported(kernel)) {
        state.SkipWithError("kernel not supported here");
        return;
    }
    const SamplePoints& p = view3Points();
    const int32_t n = static_cast<int32_t>(p.re.size());
    std::vector<int32_t> steps(n);
    std::vector<double> prev(n), last(n);
    EscapeBatch batch;
    batch.re = p.re.data();
    batch.im = p.im.data();
    batch.count = n;
    batch.steps = steps.data();
    batch.prev = prev.data();
    batch.last = last.data();
    for (auto _ : state) {
        runEscapeBatch(kernel, batch);
        benchmark::ClobberMemory();
    }
    state.counters["iter/s"] =
        benchmark::Counter(static_cast<double>(p.iterations) * state.iterations(), benchmark::Counter::kIsRate);
    state.SetLabel(escapeKernelName(kernel));
}
BENCHMARK(BM_EscapeKernel)->DenseRange(0, kEscapeKernelCount - 1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
