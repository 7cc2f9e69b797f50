// The vectorised escape loops against the scalar one, and batched image builds against the reference build.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

#include "common/random_source.h"
#include "fractal/escape_colour.h"
#include "fractal/escape_kernels.h"
#include "fractal/tube_generator.h"
#include "fractal/view_table.h"

namespace {

// The kernels this machine runs, the scalar reference included.
std::vector<EscapeKernel> supportedKernels() {
    std::vector<EscapeKernel> kernels;
    for (int32_t k = 0; k < kEscapeKernelCount; ++k) {
        if (escapeKernelSupported(static_cast<EscapeKernel>(k))) {
            kernels.push_back(static_cast<EscapeKernel>(k));
        }
    }
    return kernels;
}

// Same double, bit for bit; any NaN matches any NaN (the sign and payload of a NaN depend on the
// order in which the compiler feeds operands to the multiplier, and no colour depends on them).
bool sameDouble(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b);
    }
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Runs the points through `kernel` and checks every result against escapeLoop.
void expectMatchesScalar(EscapeKernel kernel, const std::vector<double>& re, const std::vector<double>& im, bool julia,
                         double cRe, double cIm) {
    const int32_t n = static_cast<int32_t>(re.size());
    std::vector<int32_t> steps(n, -1);
    std::vector<double> prev(n + 1, -1.0), last(n + 1, -1.0);  // one guard entry past the end
    EscapeBatch batch;
    batch.re = re.data();
    batch.im = im.data();
    batch.julia = julia;
    batch.juliaRe = cRe;
    batch.juliaIm = cIm;
    batch.count = n;
    batch.steps = steps.data();
    batch.prev = prev.data();
    batch.last = last.data();
    runEscapeBatch(kernel, batch);
    for (int32_t k = 0; k < n; ++k) {
        const EscapeResult e = escapeLoop(re[k], im[k], julia ? cRe : re[k], julia ? cIm : im[k]);
        ASSERT_EQ(steps[k], e.steps) << escapeKernelName(kernel) << " point " << k << ": " << re[k] << "," << im[k];
        ASSERT_TRUE(sameDouble(prev[k], e.prev)) << escapeKernelName(kernel) << " point " << k;
        ASSERT_TRUE(sameDouble(last[k], e.last)) << escapeKernelName(kernel) << " point " << k;
        ASSERT_EQ(colourFromEscape(EscapeResult{steps[k], prev[k], last[k]}), colourFromEscape(e));
    }
    EXPECT_EQ(prev[n], -1.0);  // nothing written past the batch
    EXPECT_EQ(last[n], -1.0);
}

// Points where an inexact kernel would show: the origin, +-2 and +-2i, points exactly on the bailout
// circle (|z|^2 = 4 stays in), just outside it, escapes on the first step, far outside, signed zeros,
// subnormals, overflow to infinity, infinities and NaNs.
void edgePoints(std::vector<double>& re, std::vector<double>& im) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double outside = std::nextafter(2.0, 3.0);
    const double pts[][2] = {
        {0.0, 0.0},  {-0.0, -0.0}, {2.0, 0.0},   {-2.0, 0.0},  {0.0, 2.0},   {0.0, -2.0},    {1.2, 1.6},
        {-1.2, 1.6}, {1.6, -1.2},  {outside, 0}, {0, outside}, {1.5, 1.3},   {3.0, 0.0},     {1.0, 0.0},
        {0.25, 0.0}, {0.26, 0.0},  {-0.75, 0.1}, {tiny, tiny}, {-tiny, 0.0}, {1e300, 1e300}, {1e-300, 1.9},
        {inf, 0.0},  {0.0, -inf},  {nan, 0.0},   {0.0, nan},   {nan, nan},   {-1.0, 0.0},    {0.3, 0.5},
    };
    for (const auto& p : pts) {
        re.push_back(p[0]);
        im.push_back(p[1]);
    }
}

}  // namespace

TEST(EscapeKernels, ScalarAndSse2AlwaysRunAndAutomaticPicksASupportedKernel) {
    EXPECT_TRUE(escapeKernelSupported(EscapeKernel::Scalar));
    EXPECT_TRUE(escapeKernelSupported(EscapeKernel::Sse2));
    const EscapeKernel best = resolveEscapeKernel(EscapeKernel::Automatic);
    EXPECT_TRUE(escapeKernelSupported(best));
    EXPECT_EQ(best, supportedKernels().back());
    for (int32_t k = 0; k < kEscapeKernelCount; ++k) {
        const EscapeKernel kernel = static_cast<EscapeKernel>(k);
        const EscapeKernel resolved = resolveEscapeKernel(kernel);
        EXPECT_TRUE(escapeKernelSupported(resolved));
        EXPECT_LE(static_cast<int32_t>(resolved), k);
        if (escapeKernelSupported(kernel)) {
            EXPECT_EQ(resolved, kernel);
        }
    }
    EXPECT_TRUE(escapeKernelSupported(resolveEscapeKernel(static_cast<EscapeKernel>(99))));
}

TEST(EscapeKernels, EdgePointsMatchTheScalarLoopOnEveryKernel) {
    std::vector<double> re, im;
    edgePoints(re, im);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (EscapeKernel kernel : supportedKernels()) {
        SCOPED_TRACE(escapeKernelName(kernel));
        expectMatchesScalar(kernel, re, im, false, 0.0, 0.0);
        expectMatchesScalar(kernel, re, im, true, -0.8, 0.156);
        expectMatchesScalar(kernel, re, im, true, 0.0, 0.0);
        expectMatchesScalar(kernel, re, im, true, nan, 0.0);
        expectMatchesScalar(kernel, re, im, true, 2.0, 0.0);
    }
}

TEST(EscapeKernels, EveryBatchLengthAndMixedEscapeTimesMatch) {
    // Neighbouring lanes that leave at very different steps, and the partial last group of every
    // batch length up to a few groups of the widest kernel.
    std::vector<double> re, im;
    for (int k = 0; k < 100; ++k) {
        const double a = 0.37 * k;
        const double r = k % 3 == 0 ? 0.5 : k % 3 == 1 ? 0.7865 : 1.9 + 0.001 * k;
        re.push_back(-0.25 + r * std::cos(a));
        im.push_back(r * std::sin(a));
    }
    for (EscapeKernel kernel : supportedKernels()) {
        SCOPED_TRACE(escapeKernelName(kernel));
        for (size_t n = 1; n <= re.size(); n += n < 40 ? 1 : 13) {
            const std::vector<double> r(re.begin(), re.begin() + n), i(im.begin(), im.begin() + n);
            expectMatchesScalar(kernel, r, i, false, 0.0, 0.0);
            expectMatchesScalar(kernel, r, i, true, 0.3245, 0.04855);
        }
    }
    // A fine grid over the whole set and its surroundings.
    re.clear();
    im.clear();
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 120; ++x) {
            re.push_back(-2.25 + x * 0.025);
            im.push_back(-1.125 + y * 0.025);
        }
    }
    for (EscapeKernel kernel : supportedKernels()) {
        SCOPED_TRACE(escapeKernelName(kernel));
        expectMatchesScalar(kernel, re, im, false, 0.0, 0.0);
    }
}

#if defined(__x86_64__) || defined(_M_X64)
TEST(EscapeKernels, UnmaskedFloatingPointExceptionsNeitherTrapNorLeak) {
    // Escaped lanes go on into overflow and invalid operations; with those exceptions unmasked (as a
    // host or driver may leave them) a kernel must neither trap nor change the caller's state.
    std::vector<double> re, im;
    for (int k = 0; k < 64; ++k) {
        re.push_back(k % 2 == 0 ? 1.5 : -0.75 + 0.01 * k);
        im.push_back(k % 2 == 0 ? 1.3 : 0.1);
    }
    std::vector<EscapeResult> expected;
    for (size_t k = 0; k < re.size(); ++k) {
        expected.push_back(escapeLoop(re[k], im[k], re[k], im[k]));
    }
    const int32_t n = static_cast<int32_t>(re.size());
    for (EscapeKernel kernel : supportedKernels()) {
        if (kernel == EscapeKernel::Scalar) {
            continue;
        }
        SCOPED_TRACE(escapeKernelName(kernel));
        std::vector<int32_t> steps(n);
        std::vector<double> prev(n), last(n);
        EscapeBatch batch;
        batch.re = re.data();
        batch.im = im.data();
        batch.count = n;
        batch.steps = steps.data();
        batch.prev = prev.data();
        batch.last = last.data();
        const unsigned int saved = _mm_getcsr();
        const unsigned int trapping = (saved & ~0x1F80u) | 0x0180u;  // overflow and invalid unmasked
        _mm_setcsr(trapping);
        runEscapeBatch(kernel, batch);
        const unsigned int after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after, trapping);
        for (int32_t k = 0; k < n; ++k) {
            ASSERT_EQ(steps[k], expected[k].steps) << k;
            ASSERT_TRUE(sameDouble(prev[k], expected[k].prev)) << k;
            ASSERT_TRUE(sameDouble(last[k], expected[k].last)) << k;
        }
    }
}
#endif

namespace {

// Fresh blocks get the same filler, so that bytes nobody writes (padding, the renderer's facing
// byte) compare equal too and the two builds can be compared as raw memory.
void* filledAllocate(size_t bytes) {
    void* p = std::malloc(bytes);
    if (p != nullptr) {
        std::memset(p, 0xA5, bytes);
    }
    return p;
}

struct BuildOptions {
    int view;
    float detail;
    int32_t bake;     // bakeLighting
    bool shift;       // paletteShift
    int32_t variant;  // paletteVariant
};

// One image of the given view built the reference way (kernel ignored) or batched on `kernel`.
struct Build {
    TubeArrays arrays;
    int32_t vertexCount = 0;
    int32_t ringCount = 0;
    bool ok = false;
    Build(const BuildOptions& o, bool reference, EscapeKernel kernel) {
        TubeGenerator gen;
        ScriptedRandom draw{o.view};  // both light weight sets across the views
        gen.allocate = filledAllocate;
        gen.random = &draw;
        gen.detailWidth = o.detail * 300.0f;
        gen.detailHeight = o.detail * 200.0f;
        gen.bakeLighting = o.bake;
        gen.paletteShift = o.shift;
        gen.paletteVariant = o.variant;
        gen.referenceBuild = reference;
        gen.escapeKernel = kernel;
        if (!gen.init()) {
            return;
        }
        TubeShape shape = gen.shapeTable[o.view];
        FractalPath path = gen.pathTable[o.view];
        ok = gen.generate(shape, path, arrays);
        vertexCount = gen.vertexCount;
        ringCount = ok ? gen.vertexCount / gen.ringSize : 0;
    }
    ~Build() { freeTubeArrays(arrays); }
};

}  // namespace

TEST(BatchedBuild, EveryViewEqualsTheReferenceBuildByteForByteOnEveryKernel) {
    const BuildOptions looks[] = {
        {0, 0.0f, 1, false, 0},  // the light model, plain palette
        {0, 0.0f, 0, true, 1},   // flat brightness, shifted palette
        {0, 0.0f, 1, true, 0},
        {0, 0.0f, 0, false, 2},
    };
    for (int view = 0; view < kViewCount; ++view) {
        for (float detail : {0.4f, 0.8f}) {
            for (BuildOptions o : looks) {
                o.view = view;
                o.detail = detail;
                SCOPED_TRACE(testing::Message()
                             << "view " << view << " detail " << detail << " bake " << o.bake << " shift " << o.shift);
                const Build reference(o, true, EscapeKernel::Scalar);
                ASSERT_TRUE(reference.ok);
                int32_t coloured = 0;
                for (int32_t i = 0; i < reference.vertexCount; ++i) {
                    const TubeVertex& v = reference.arrays.vertices[i];
                    coloured += (v.red | v.green | v.blue) != 0;
                }
                ASSERT_GT(coloured, reference.vertexCount / 4);  // the comparison covers real colours
                for (EscapeKernel kernel : supportedKernels()) {
                    SCOPED_TRACE(escapeKernelName(kernel));
                    const Build batched(o, false, kernel);
                    ASSERT_TRUE(batched.ok);
                    ASSERT_EQ(batched.vertexCount, reference.vertexCount);
                    ASSERT_EQ(0, std::memcmp(batched.arrays.vertices, reference.arrays.vertices,
                                             sizeof(TubeVertex) * reference.vertexCount));
                    ASSERT_EQ(0, std::memcmp(batched.arrays.rings, reference.arrays.rings,
                                             sizeof(TubeRing) * reference.ringCount));
                }
            }
        }
    }
}

#if defined(__x86_64__) || defined(_M_X64)
TEST(BatchedBuild, UnmaskedFloatingPointExceptionsNeitherTrapNorLeak) {
    // The steps around the kernels work on whole vectors, padding lanes and points that never
    // escaped included (0 / 0, NaN to integer). With invalid, division by zero and overflow unmasked,
    // as a host or a GL driver may leave them, a build must neither trap nor change the caller's state.
    const BuildOptions o{0, 0.4f, 1, true, 0};  // starts inside the set, where orbits settle on a point
    const Build reference(o, true, EscapeKernel::Scalar);
    ASSERT_TRUE(reference.ok);
    for (EscapeKernel kernel : supportedKernels()) {
        SCOPED_TRACE(escapeKernelName(kernel));
        const unsigned int saved = _mm_getcsr();
        const unsigned int trapping = (saved & ~0x1F80u) | 0x1900u;  // only precision, underflow, denormal masked
        _mm_setcsr(trapping);
        const Build batched(o, false, kernel);
        const unsigned int after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after, trapping);
        ASSERT_TRUE(batched.ok);
        EXPECT_EQ(0, std::memcmp(batched.arrays.vertices, reference.arrays.vertices,
                                 sizeof(TubeVertex) * reference.vertexCount));
    }
}
#endif
