// The tube generator: sizes per detail factor, derived path values, geometry, brightness and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

#include "common/random_source.h"
#include "fractal/escape_colour.h"
#include "fractal/escape_kernels.h"
#include "fractal/tube_generator.h"
#include "fractal/view_table.h"

namespace {

// Test allocator: fills fresh blocks with 0xFF (NaN doubles) so unwritten fields show, tracks live
// blocks, and fails the allocation numbered failAt (1-based; 0 = never) or any above maxBytes.
struct TrackingAllocator {
    static std::set<void*> live;
    static int calls;
    static int failAt;
    static size_t maxBytes;
    static void reset() {
        live.clear();
        calls = 0;
        failAt = 0;
        maxBytes = static_cast<size_t>(-1);
    }
    static void* allocate(size_t bytes) {
        ++calls;
        if (calls == failAt || bytes > maxBytes) {
            return nullptr;
        }
        void* p = std::malloc(bytes);
        if (p != nullptr) {
            std::memset(p, 0xFF, bytes);
            live.insert(p);
        }
        return p;
    }
    static void release(void* p) {
        live.erase(p);
        std::free(p);
    }
};
std::set<void*> TrackingAllocator::live;
int TrackingAllocator::calls = 0;
int TrackingAllocator::failAt = 0;
size_t TrackingAllocator::maxBytes = static_cast<size_t>(-1);

// One generated image of view k at size factor S, with everything the checks need.
struct Image {
    TubeGenerator gen;
    ScriptedRandom draw;
    TubeShape shape{};
    FractalPath path{};
    TubeArrays arrays;
    bool ok = false;

    Image(int view, float s, int drawValue = 0, int32_t bake = 1) : draw{drawValue} {
        TrackingAllocator::reset();
        gen.allocate = TrackingAllocator::allocate;
        gen.release = TrackingAllocator::release;
        gen.detailWidth = s * 300.0f;
        gen.detailHeight = s * 200.0f;
        gen.random = &draw;
        if (!gen.init()) {
            return;
        }
        shape = gen.shapeTable[view % kViewCount];
        path = gen.pathTable[view % kViewCount];
        gen.bakeLighting = bake;
        ok = gen.generate(shape, path, arrays);
    }
    ~Image() {
        for (void* p : {static_cast<void*>(arrays.vertices), static_cast<void*>(arrays.rings)}) {
            TrackingAllocator::live.erase(p);
        }
        freeTubeArrays(arrays);
    }
    int32_t ringCount() const { return gen.vertexCount / gen.ringSize; }
};

constexpr double kPi = 3.141592653589793;

double length(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

}  // namespace

TEST(TubeGenerator, SizesPerDetailFactor) {
    struct Case {
        int view;
        float detail;
        int32_t ringSize;
        int32_t vertexCount;
        int32_t rings;
    };
    const Case cases[] = {
        {0, 0.4f, 74, 45537, 615},     // preview
        {0, 0.8f, 148, 182149, 1230},  // 1230 rings and a partial ring of 109 vertices
        {5, 1.0f, 185, 284608, 1538},  // index 5 is view 0 again
        {3, 1.2f, 302, 554176, 1835},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.view);
        SCOPED_TRACE(c.detail);
        Image img(c.view, c.detail);
        ASSERT_TRUE(img.ok);
        EXPECT_EQ(img.gen.ringSize, c.ringSize);
        EXPECT_EQ(img.gen.vertexCount, c.vertexCount);
        EXPECT_EQ(img.shape.vertexCount, c.vertexCount);
        EXPECT_EQ(img.ringCount(), c.rings);
        // Every ring record is written; the partial last ring has none.
        for (int32_t r = 0; r < c.rings; ++r) {
            ASSERT_EQ(img.arrays.rings[r].firstVertex, r * c.ringSize);
            ASSERT_EQ(img.arrays.rings[r].sortKey, 0.0);
        }
        // Every vertex is written (the allocator poisons fresh memory with NaNs).
        for (int32_t i = 0; i < c.vertexCount; ++i) {
            ASSERT_NEAR(length(img.arrays.vertices[i].normal), 1.0, 1e-12) << i;
            ASSERT_TRUE(std::isfinite(img.arrays.vertices[i].position[1])) << i;
        }
    }
}

namespace {

// View 0 at the preview size, its sweep cut after layout so that the summed path position reaches it
// when `endAt` vertices are written: built the reference way, or batched on `kernel`.
struct ShortPathImage {
    TubeGenerator gen;
    ScriptedRandom draw{0};
    TubeArrays arrays;
    bool ok = false;
    ShortPathImage(bool reference, EscapeKernel kernel, int32_t endBeforeLast) {
        TrackingAllocator::reset();
        gen.allocate = TrackingAllocator::allocate;
        gen.release = TrackingAllocator::release;
        gen.detailWidth = 120.0f;
        gen.detailHeight = 80.0f;
        gen.random = &draw;
        gen.referenceBuild = reference;
        gen.escapeKernel = kernel;
        if (!gen.init()) return;
        TubeShape shape = gen.shapeTable[0];
        FractalPath path = gen.pathTable[0];
        if (!gen.prepareImage(shape, path)) return;
        const int32_t endAt = gen.vertexCount - endBeforeLast;
        shape.sweep = shape.step * (endAt - 0.5);  // vertex endAt - 1 is the last one on the path
        ok = gen.fillImage(shape, path, arrays);
    }
    ~ShortPathImage() {
        for (void* p : {static_cast<void*>(arrays.vertices), static_cast<void*>(arrays.rings)}) {
            TrackingAllocator::live.erase(p);
        }
        freeTubeArrays(arrays);
    }
};

bool sameBits(const double a[3], const double b[3]) { return std::memcmp(a, b, 3 * sizeof(double)) == 0; }

}  // namespace

TEST(TubeGenerator, VerticesPastTheEndOfThePathAreHolesOnTheTube) {
    Image whole(0, 0.4f);
    ASSERT_TRUE(whole.ok);
    const int32_t ringSize = whole.gen.ringSize;
    const int32_t count = whole.gen.vertexCount;
    const int32_t rings = whole.ringCount();
    // The path ends inside the last ring but one: part of a ring and a whole ring (with its record) are
    // never reached, and the ring before them has quads whose far corners are unreached vertices.
    const int32_t endBeforeLast = 2 * ringSize + 7;
    const int32_t endAt = count - endBeforeLast;
    ASSERT_LT(endAt / ringSize, rings - 1);

    const ShortPathImage reference(true, EscapeKernel::Scalar, endBeforeLast);
    ASSERT_TRUE(reference.ok);
    ASSERT_EQ(reference.gen.vertexCount, count);
    int32_t coloured = 0;
    for (int32_t i = 0; i < count; ++i) {
        const TubeVertex& v = reference.arrays.vertices[i];
        const TubeVertex& w = whole.arrays.vertices[i];
        // The geometry does not depend on where the path ends: every vertex lies where the whole
        // image has it, with its unit normal, so no quad reaches off the tube.
        ASSERT_TRUE(sameBits(v.position, w.position)) << i;
        ASSERT_TRUE(sameBits(v.normal, w.normal)) << i;
        if (i >= endAt) {
            ASSERT_EQ(v.red | v.green | v.blue, 0) << i;  // unreached: a hole
        } else {
            coloured += (v.red | v.green | v.blue) != 0;
        }
    }
    EXPECT_GT(coloured, endAt / 2);
    // Every complete ring has its own record, the unreached ones included.
    EXPECT_EQ(0, std::memcmp(reference.arrays.rings, whole.arrays.rings, sizeof(TubeRing) * rings));

    // The batched builds end at the same vertex and give the same bytes.
    for (int32_t k = 0; k < kEscapeKernelCount; ++k) {
        const EscapeKernel kernel = static_cast<EscapeKernel>(k);
        if (!escapeKernelSupported(kernel)) continue;
        SCOPED_TRACE(escapeKernelName(kernel));
        const ShortPathImage batched(false, kernel, endBeforeLast);
        ASSERT_TRUE(batched.ok);
        EXPECT_EQ(0, std::memcmp(batched.arrays.vertices, reference.arrays.vertices, sizeof(TubeVertex) * count));
        EXPECT_EQ(0, std::memcmp(batched.arrays.rings, reference.arrays.rings, sizeof(TubeRing) * rings));
    }
}

TEST(TubeGenerator, DerivedZoomRatesAndDepths) {
    TubeShape shapes[kViewCount];
    FractalPath paths[kViewCount];
    fillViewTable(shapes, paths);
    TubeGenerator gen;
    for (int k = 0; k < kViewCount; ++k) {
        ASSERT_TRUE(gen.layoutTube(shapes[k], paths[k]));
    }
    EXPECT_EQ(paths[0].zoomRate, 0.5567118525505066f);
    EXPECT_EQ(paths[3].zoomRate, 0.5567118525505066f);
    EXPECT_EQ(paths[2].zoomRate, 0.4410998523235321f);
    EXPECT_EQ(paths[1].depthOut, 70.58055877685547f);
    EXPECT_EQ(paths[1].depthIn, 70.58055877685547f);
    EXPECT_EQ(paths[4].depthOut, 125.66605377197266f);
    EXPECT_EQ(paths[4].depthIn, 113.76021575927734f);
    // Spiral with a negative outer radius: the radius follows from the zoom rate instead.
    FractalPath p = defaultPath();
    TubeShape s = defaultShape();
    p.outerRadius = -1.0;
    p.zoomRate = 0.5567118525505066f;
    ASSERT_TRUE(gen.layoutTube(s, p));
    EXPECT_NEAR(p.outerRadius, 3.0, 3e-6);
    EXPECT_EQ(p.zoomRate, 0.5567118525505066f);
}

TEST(TubeGenerator, FirstVertexAndRingCentres) {
    Image img(0, 1.0f);
    ASSERT_TRUE(img.ok);
    const TubeShape& s = img.shape;
    const TubeVertex& v0 = img.arrays.vertices[0];
    EXPECT_NEAR(v0.position[0], 1.0 + 59.0 / 260.0, 1e-12);  // 1.2269...
    EXPECT_EQ(v0.position[1], 0.0);
    EXPECT_EQ(v0.position[2], 0.0);
    EXPECT_EQ(v0.normal[0], 1.0);
    EXPECT_EQ(v0.normal[1], 0.0);
    EXPECT_EQ(v0.normal[2], 0.0);

    // The first vertex of every ring lies on the outer side: normal (cos t, 0, sin t).
    for (int32_t r = 0; r < img.ringCount(); ++r) {
        const TubeVertex& v = img.arrays.vertices[r * img.gen.ringSize];
        const double t = s.step * (r * img.gen.ringSize);
        ASSERT_EQ(v.normal[0], std::cos(t)) << r;
        ASSERT_EQ(v.normal[1], 0.0) << r;
        ASSERT_EQ(v.normal[2], std::sin(t)) << r;
    }

    // Ring 0's centre sits at helix parameter step * 93, half a ring beyond its own vertices.
    const TubeRing& ring0 = img.arrays.rings[0];
    EXPECT_NEAR(ring0.centre[0], std::cos(s.step * 93.0), 1e-15);
    EXPECT_NEAR(ring0.centre[1], s.risePerVertex * 93.0 / s.helixRadius, 1e-15);
    EXPECT_NEAR(ring0.centre[2], std::sin(s.step * 93.0), 1e-15);
    const int32_t last = img.ringCount() - 1;
    const double c = (last + 0.5) * img.gen.ringSize + 0.5;
    EXPECT_NEAR(img.arrays.rings[last].centre[1], s.risePerVertex * c / s.helixRadius, 1e-15);
    // The axis rises to about rise / helixRadius (1.615 for view 0).
    EXPECT_NEAR(img.arrays.rings[last].centre[1], 420.0 / 260.0, 0.01);

    // Vertex 0 samples the spiral at pos 0 with the angle offset alone.
    const double psi = static_cast<double>(img.path.angleOffset);
    const PackedColour colour =
        escapeColour(img.path.centreRe + img.path.startRadius * std::cos(psi),
                     img.path.centreIm + img.path.startRadius * std::sin(psi), PaletteSettings{});
    const float light[3] = {static_cast<float>(1.0 / std::sqrt(3.0)), static_cast<float>(1.0 / std::sqrt(3.0)),
                            static_cast<float>(1.0 / std::sqrt(3.0))};
    float acc = 0.0f;
    const int32_t brightness = diffuseBrightness(acc, bakedBrightness(v0.normal, light, 40, 70, 46, 3));
    EXPECT_EQ(v0.red, colour == 0 ? 0 : std::min(255, static_cast<int>(packedRed(colour) * brightness * 0.01)));
    EXPECT_EQ(v0.green, colour == 0 ? 0 : std::min(255, static_cast<int>(packedGreen(colour) * brightness * 0.01)));
    EXPECT_EQ(v0.blue, colour == 0 ? 0 : std::min(255, static_cast<int>(packedBlue(colour) * brightness * 0.01)));
}

TEST(TubeGenerator, TheOneDrawPicksTheLightWeights) {
    // Even draws: broad highlight, strong diffuse shading; odd draws: narrow highlight, weak diffuse.
    for (int draw : {6, 32767}) {
        Image img(4, 0.4f, draw);
        ASSERT_TRUE(img.ok);
        EXPECT_EQ(img.draw.draws, 1u);
        const bool even = draw % 2 == 0;
        EXPECT_EQ(img.gen.diffuseWeight, even ? 40 : 10);
        EXPECT_EQ(img.gen.specularWeight, 70);
        EXPECT_EQ(img.gen.ambientWeight, even ? 46 : 30);
        EXPECT_EQ(img.gen.shininess, even ? 3 : 13);
    }
}

TEST(TubeGenerator, FlatBrightnessHalvesEveryEscapeColour) {
    Image img(2, 0.4f, 0, 0);
    ASSERT_TRUE(img.ok);
    int coloured = 0;
    for (int32_t i = 0; i < img.gen.vertexCount; ++i) {
        const TubeVertex& v = img.arrays.vertices[i];
        // Escape colours have green and blue in steps of 64; at brightness 50 they come out in steps of 32,
        // and red (0..255) at most 127.
        ASSERT_EQ(v.green % 32, 0) << i;
        ASSERT_EQ(v.blue % 32, 0) << i;
        ASSERT_LE(v.red, 127) << i;
        coloured += (v.red | v.green | v.blue) != 0;
    }
    EXPECT_GT(coloured, img.gen.vertexCount / 2);
}

TEST(Brightness, ErrorDiffusionCarriesTheRemainder) {
    float acc = 0.0f;
    const int32_t expected[] = {50, 51, 50, 51, 50, 50, 51, 50, 51, 50};
    int32_t sum = 0;
    for (int32_t want : expected) {
        const int32_t got = diffuseBrightness(acc, 50.4f);
        EXPECT_EQ(got, want);
        sum += got;
    }
    EXPECT_EQ(sum, 504);
    // Never above 150, whatever is carried.
    acc = 0.4f;
    EXPECT_EQ(diffuseBrightness(acc, 150.0f), 150);
    EXPECT_NEAR(acc, 0.4f, 1e-4);
}

TEST(Brightness, LightModelRangeForBothWeightSets) {
    const float l = static_cast<float>(1.0 / std::sqrt(3.0));
    const float light[3] = {l, l, l};
    struct Weights {
        int32_t diffuse, specular, ambient, shininess;
        float lowest;       // bound from below
        float ambientOnly;  // brightness from the constant term alone
    };
    // The diffuse term is subtracted, not clamped: facing away from the light is darkest.
    for (const Weights w : {Weights{40, 70, 46, 3, 16.9f, 63.07f}, Weights{10, 70, 30, 13, 42.7f, 59.09f}}) {
        SCOPED_TRACE(w.shininess);
        float lo = 1000.0f;
        float hi = -1000.0f;
        for (int a = 0; a <= 180; ++a) {
            for (int b = 0; b < 360; b += 2) {
                const double th = a * kPi / 180.0;
                const double ph = b * kPi / 180.0;
                const double n[3] = {std::sin(th) * std::cos(ph), std::cos(th), std::sin(th) * std::sin(ph)};
                const float v = bakedBrightness(n, light, w.diffuse, w.specular, w.ambient, w.shininess);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        EXPECT_GE(lo, w.lowest);
        EXPECT_LT(lo, w.ambientOnly - 10.0f);
        EXPECT_LE(hi, 150.0f);
        EXPECT_GT(hi, 100.0f);
    }
}

TEST(FlightPoint, EllipseThroughStartMidpointAndEnd) {
    TubeShape shapes[kViewCount];
    FractalPath paths[kViewCount];
    fillViewTable(shapes, paths);
    TubeGenerator gen;
    for (int k : {1, 4}) {
        SCOPED_TRACE(k);
        const TubeShape& s = shapes[k];
        FractalPath& p = paths[k];
        ASSERT_TRUE(gen.layoutTube(shapes[k], p));
        const double m = p.depthOut * s.sweep / static_cast<float>(p.depthIn + p.depthOut);
        if (k == 1) {
            EXPECT_EQ(m, 2.5);  // symmetric flight: turns at half its sweep
        }
        const double psi0 = -static_cast<double>(p.angleOffset);  // theta that makes the sample angle 0
        // Start and end: the sample circle is tiny and close to the start and end points.
        const ComplexPoint a = gen.flightPoint(p, s, 0.0, psi0);
        EXPECT_LT(std::hypot(a.re - p.centreRe, a.im - p.centreIm), 3.0 * p.startRadius);
        const ComplexPoint b = gen.flightPoint(p, s, s.sweep, psi0);
        EXPECT_LT(std::hypot(b.re - p.endRe, b.im - p.endIm), 3.0 * p.endRadius);
        // At the turning point the ellipse's foci are the start and the end point.
        const double dx = p.endRe - p.centreRe;
        const double dy = p.endIm - p.centreIm;
        const double e = 0.5 * std::hypot(dx, dy);
        const double major = 2.0 * std::sqrt(p.outerRadius * p.outerRadius + e * e);
        for (double theta : {0.0, 1.0, 2.0, 4.0}) {
            const ComplexPoint q = gen.flightPoint(p, s, m, theta);
            const double sum =
                std::hypot(q.re - p.centreRe, q.im - p.centreIm) + std::hypot(q.re - p.endRe, q.im - p.endIm);
            EXPECT_NEAR(sum, major, major * 1e-5);
        }
        // The two halves meet at the turning point.
        const ComplexPoint before = gen.flightPoint(p, s, m * (1.0 - 1e-12), 1.0);
        const ComplexPoint at = gen.flightPoint(p, s, m, 1.0);
        EXPECT_NEAR(before.re, at.re, 1e-5 * major);
        EXPECT_NEAR(before.im, at.im, 1e-5 * major);
    }
    // Start equal to end: no direction, the circle stays on the point.
    FractalPath p = paths[1];
    TubeShape s = shapes[1];
    p.endRe = p.centreRe;
    p.endIm = p.centreIm;
    const ComplexPoint c = gen.flightPoint(p, s, 0.0, -static_cast<double>(p.angleOffset));
    EXPECT_NEAR(c.re, p.centreRe + p.startRadius, 1e-15);
    EXPECT_NEAR(c.im, p.centreIm, 1e-15);
}

TEST(TubeGeneratorFailure, OutOfMemoryHandsNothingOverAndLeaksNothing) {
    // 1, 2: the view tables; 3: the vertex array; 4: the ring array.
    for (int failAt : {1, 2, 3, 4}) {
        SCOPED_TRACE(failAt);
        TrackingAllocator::reset();
        TrackingAllocator::failAt = failAt;
        ScriptedRandom draw{0};
        TubeArrays arrays;
        {
            TubeGenerator gen;
            gen.allocate = TrackingAllocator::allocate;
            gen.release = TrackingAllocator::release;
            gen.detailWidth = 120.0f;
            gen.detailHeight = 80.0f;
            gen.random = &draw;
            const bool init = gen.init();
            EXPECT_EQ(init, failAt > 2);
            if (!init) {
                EXPECT_EQ(gen.pathTable, nullptr);
                EXPECT_EQ(gen.shapeTable, nullptr);
                EXPECT_TRUE(TrackingAllocator::live.empty());
                continue;
            }
            TubeShape shape = gen.shapeTable[0];
            FractalPath path = gen.pathTable[0];
            EXPECT_FALSE(gen.generate(shape, path, arrays));
            EXPECT_EQ(arrays.vertices, nullptr);
            EXPECT_EQ(arrays.rings, nullptr);
            EXPECT_EQ(gen.vertexCount, 0);
            EXPECT_EQ(TrackingAllocator::live.size(), 2u);  // only the view tables
        }
        EXPECT_TRUE(TrackingAllocator::live.empty());
    }
}

TEST(TubeGeneratorFailure, ShapesThatCannotBeLaidOutAreRefused) {
    struct Case {
        const char* what;
        void (*spoil)(TubeShape&);
    };
    const Case cases[] = {
        {"ring size 0", [](TubeShape& s) { s.tubeRadius = 0.01; }},
        {"negative tube radius", [](TubeShape& s) { s.tubeRadius = -59.0; }},
        {"NaN tube radius", [](TubeShape& s) { s.tubeRadius = std::nan(""); }},
        {"vertex count beyond int32", [](TubeShape& s) { s.rise = 1e12; }},
        {"zero sweep", [](TubeShape& s) { s.sweep = 0.0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrackingAllocator::reset();
        ScriptedRandom draw{0};
        TubeGenerator gen;
        gen.allocate = TrackingAllocator::allocate;
        gen.release = TrackingAllocator::release;
        gen.detailWidth = 300.0f;
        gen.detailHeight = 200.0f;
        gen.random = &draw;
        TubeShape shape = defaultShape();
        FractalPath path = defaultPath();
        c.spoil(shape);
        TubeArrays arrays;
        EXPECT_FALSE(gen.generate(shape, path, arrays));
        EXPECT_EQ(arrays.vertices, nullptr);
        EXPECT_EQ(arrays.rings, nullptr);
        EXPECT_EQ(gen.vertexCount, 0);
        EXPECT_EQ(gen.ringSize, 0);
        EXPECT_EQ(TrackingAllocator::calls, 0);  // refused before any allocation
    }
}
