// The tube generator: helix geometry, normals, the built-in light model and the fractal sampling of one image.
#include "fractal/tube_generator.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fractal/escape_colour.h"
#include "fractal/escape_kernels.h"
#include "fractal/tube_stages.h"
#include "fractal/view_table.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kZoomStep = 1.1111111111111112;  // the double nearest 1/0.9: one zoom step
constexpr int32_t kMaxBrightness = 150;           // brightness cap, in percent of the escape colour
constexpr float kFlatBrightness = 50.0f;          // brightness of images lit by OpenGL instead

// Integer power by repeated squaring, in single precision.
float powInt(float base, int32_t exponent) {
    float result = 1.0f;
    while (exponent > 0) {
        if (exponent & 1) {
            result = result * base;
        }
        exponent >>= 1;
        if (exponent > 0) {
            base = base * base;
        }
    }
    return result;
}

// Colour byte scaled by a brightness in percent: truncated, at most 255.
uint8_t scaleChannel(uint8_t byte, int32_t brightness) {
    const double scaled = static_cast<double>(byte * brightness) * 0.01;
    return scaled > 255.0 ? 255 : static_cast<uint8_t>(scaled);
}

}  // namespace

void freeTubeArrays(TubeArrays& arrays) {
    std::free(arrays.vertices);
    std::free(arrays.rings);
    arrays.vertices = nullptr;
    arrays.rings = nullptr;
}

int32_t diffuseBrightness(float& acc, float raw) {
    acc = acc + raw;
    int32_t brightness = 0;
    if (acc > 0.0f) {
        const double rounded = acc + 0.5;
        brightness = rounded >= kMaxBrightness ? kMaxBrightness : static_cast<int32_t>(rounded);
    }
    acc = acc - static_cast<float>(brightness);
    return brightness;
}

namespace {

// The light model of bakedBrightness, inlined into the vertex loops.
inline float lightModel(const double n[3], const float light[3], int32_t diffuseWeight, int32_t specularWeight,
                      int32_t ambientWeight, int32_t shininess) {
    const float nx = static_cast<float>(n[0]);
    const float ny = static_cast<float>(n[1]);
    const float nz = static_cast<float>(n[2]);
    const float d = nx * light[0] + ny * light[1] + nz * light[2];
    float s = 0.0f;  // z component of the light reflected about n
    if (d != 0.0f) {
        s = 2.0f * nz * d - light[2];
        if (s < 0.0f) {
            s = 0.0f;
        }
    }
    // The diffuse term is subtracted as it stands (not clamped at 0).
    float b = static_cast<float>(specularWeight) * powInt(s, shininess) - static_cast<float>(diffuseWeight) * d +
              static_cast<float>(ambientWeight);
    b = b * 180.0f / static_cast<float>(diffuseWeight + specularWeight + ambientWeight) + 10.0f;
    if (b > static_cast<float>(kMaxBrightness)) {
        b = static_cast<float>(kMaxBrightness);
    }
    return b;
}

}  // namespace

float bakedBrightness(const double n[3], const float light[3], int32_t diffuseWeight, int32_t specularWeight,
                      int32_t ambientWeight, int32_t shininess) {
    return lightModel(n, light, diffuseWeight, specularWeight, ambientWeight, shininess);
}

namespace {

// Releases p through the generator's release function; null is left alone.
void releaseBlock(void (*release)(void*), void* p) {
    if (p != nullptr) {
        release(p);
    }
}

}  // namespace

TubeGenerator::~TubeGenerator() {
    releaseBlock(release, pathTable);
    releaseBlock(release, shapeTable);
}

bool TubeGenerator::init() {
    if (pathTable != nullptr && shapeTable != nullptr) {
        return true;  // the table never changes once built
    }
    releaseBlock(release, pathTable);
    releaseBlock(release, shapeTable);
    pathTable = static_cast<FractalPath*>(allocate(kViewCount * sizeof(FractalPath)));
    shapeTable = static_cast<TubeShape*>(allocate(kViewCount * sizeof(TubeShape)));
    if (pathTable == nullptr || shapeTable == nullptr) {
        releaseBlock(release, pathTable);
        releaseBlock(release, shapeTable);
        pathTable = nullptr;
        shapeTable = nullptr;
        return false;
    }
    fillViewTable(shapeTable, pathTable);
    return true;
}

bool TubeGenerator::layoutTube(TubeShape& shape, FractalPath& path) {
    vertexCount = 0;
    ringSize = 0;
    const double k = std::sqrt(2.0);
    const double ring = std::floor(shape.tubeRadius * kTwoPi * k + 0.5);
    if (!(ring >= 1.0 && ring <= INT32_MAX)) {
        return false;  // no vertex on the circumference, or not a size at all
    }
    const int32_t size = static_cast<int32_t>(ring);
    const double outerLength = std::hypot((shape.tubeRadius + shape.helixRadius) * shape.sweep, shape.rise);
    const double f = outerLength * k;  // about the number of rings
    const double total = f * size;
    if (!(total >= 1.0 && total < 2147483648.0)) {
        return false;  // empty, or more vertices than an int32 counts
    }
    const int32_t count = static_cast<int32_t>(total);

    shape.vertexCount = count;
    shape.risePerVertex = shape.rise / count;
    shape.step = shape.sweep / count;
    shape.angularRate = f * kTwoPi / shape.sweep;

    if (path.pathMode == 0) {
        if (path.outerRadius < 0.0) {
            path.outerRadius = path.startRadius / std::pow(0.9, static_cast<double>(path.zoomRate) * 420.0);
        } else {
            path.zoomRate = static_cast<float>(std::log(path.outerRadius / path.startRadius) / std::log(kZoomStep) / 420.0);
        }
    } else {
        // Flight (any mode other than 0 samples as a flight, so it gets the flight's depths too).
        path.depthOut = static_cast<float>(std::log(path.outerRadius / path.startRadius) / std::log(kZoomStep));
        path.depthIn = static_cast<float>(std::log(path.outerRadius / path.endRadius) / std::log(kZoomStep));
    }

    vertexCount = count;
    ringSize = size;
    return true;
}

ComplexPoint TubeGenerator::flightPoint(const FractalPath& path, const TubeShape& shape, double pos,
                                        double theta) const {
    const double dx = path.endRe - path.centreRe;
    const double dy = path.endIm - path.centreIm;
    const double e = 0.5 * std::sqrt(dx * dx + dy * dy);  // half the distance from start to end
    const double h = path.outerRadius;
    const double rho = std::sqrt(h * h + e * e);
    double ux = 0.0;
    double uy = 0.0;
    if (e > 0.0) {
        ux = dx / (2.0 * e);
        uy = dy / (2.0 * e);
    }
    const float depthSum = path.depthIn + path.depthOut;
    const double m = path.depthOut * shape.sweep / depthSum;  // path position of the turning point

    double radius;
    double anchorRe;
    double anchorIm;
    if (m > pos) {
        radius = path.startRadius / std::pow(0.9, path.depthOut * pos / m);
        anchorRe = path.centreRe;
        anchorIm = path.centreIm;
        if (e > 0.0) {
            const double shift = radius * e / h;
            anchorRe = anchorRe + shift * ux;
            anchorIm = anchorIm + shift * uy;
        }
    } else {
        radius = path.endRadius / std::pow(0.9, (shape.sweep - pos) * path.depthIn / (shape.sweep - m));
        anchorRe = path.endRe;
        anchorIm = path.endIm;
        if (e > 0.0) {
            const double shift = radius * e / h;
            anchorRe = anchorRe - shift * ux;
            anchorIm = anchorIm - shift * uy;
        }
    }

    const double psi = path.angleOffset + theta;
    const double u = radius * rho / h * std::cos(psi);
    const double v = radius * std::sin(psi);
    if (e > 0.0) {
        return ComplexPoint{anchorRe + (u * ux - v * uy), anchorIm + (u * uy + v * ux)};
    }
    return ComplexPoint{anchorRe + u, anchorIm + v};
}

namespace {

// What one vertex loop reads and writes: the generator's settings for this image and its arrays.
struct VertexLoop {
    const TubeGenerator& gen;  // the generator (for flightPoint)
    const TubeShape& shape;    // the scaled, laid-out shape
    const FractalPath& path;   // the path with its derived values
    TubeVertex* vertices;      // vertexCount records to fill
    TubeRing* rings;           // ringCount zero-filled records to fill
    int32_t vertexCount;       // vertices of the image
    int32_t ringSize;          // vertices per ring
    int32_t ringCount;         // complete rings
    double sinAlpha;           // sine of the helix pitch
    double cosAlpha;           // cosine of the helix pitch
    float light[3];            // unit light vector of the built-in light model
    int32_t diffuseWeight;     // light model weights (TubeGenerator fields of the same names)
    int32_t specularWeight;
    int32_t ambientWeight;
    int32_t shininess;
    int32_t bakeLighting;      // 1: light model; else flat brightness
    PaletteSettings palette;   // palette transform of the escape colours
    double drift;              // radians per unit of path parameter the picture winds against the tube
};

// Sample point of a spiral-mode path at path position pos and angle theta. Shared by both vertex
// loops so that they evaluate exactly the same expressions.
inline ComplexPoint spiralPoint(const FractalPath& path, const TubeShape& shape, double pos, double theta) {
    const double psi = static_cast<double>(path.angleOffset) + theta;
    const double q = std::pow(0.9, pos / shape.sweep * 420.0 * static_cast<double>(path.zoomRate));
    return ComplexPoint{path.centreRe + path.startRadius * std::cos(psi) / q,
                        path.centreIm + path.startRadius * std::sin(psi) / q};
}

// The ring record of ring r, whose first vertex is i.
inline void writeRing(const VertexLoop& L, int32_t r, int32_t i, TubeRing& ring) {
    const TubeShape& shape = L.shape;
    const float half = static_cast<float>(r) + 0.5f;
    const double c = static_cast<double>(half) * L.ringSize + 0.5;  // half a ring beyond ring r
    ring.centre[0] = shape.helixRadius * std::cos(shape.step * c) / shape.helixRadius;
    ring.centre[1] = shape.risePerVertex * c / shape.helixRadius;
    ring.centre[2] = shape.helixRadius * std::sin(shape.step * c) / shape.helixRadius;
    ring.firstVertex = i;
}

// Position and unit normal of the vertex at angle phi around the ring that starts at vertex ringStart,
// whose helix angle has cosine cosT and sine sinT; the normal is also returned in n.
inline void placeVertex(const VertexLoop& L, int32_t ringStart, double cosT, double sinT, double phi,
                        TubeVertex& vertex, double n[3]) {
    const TubeShape& shape = L.shape;
    const double cosPhi = std::cos(phi);
    const double sinPhi = std::sin(phi);
    n[0] = cosT * cosPhi + sinT * L.sinAlpha * sinPhi;
    n[1] = L.cosAlpha * sinPhi;
    n[2] = sinT * cosPhi - cosT * L.sinAlpha * sinPhi;
    const double axis[3] = {shape.helixRadius * cosT, shape.risePerVertex * ringStart, shape.helixRadius * sinT};
    for (int a = 0; a < 3; ++a) {
        vertex.position[a] = (axis[a] + shape.tubeRadius * n[a]) / shape.helixRadius;
        vertex.normal[a] = n[a];
    }
}

// The vertices from `from` on, which the path did not reach (its summed positions met the sweep a
// vertex or more early): the geometry and ring records every vertex and ring has, but no colour.
// So they are holes like the points inside the set, and whatever else reads the arrays (the quads
// of the ring before them, normal smoothing, the ring sort) finds them on the tube.
void placeUnreachedVertices(const VertexLoop& L, int32_t from) {
    const TubeShape& shape = L.shape;
    const double phiStep = shape.angularRate * shape.step;
    for (int32_t i = from; i < L.vertexCount; ++i) {
        const int32_t r = i / L.ringSize;
        const int32_t j = i % L.ringSize;
        const int32_t ringStart = r * L.ringSize;
        if (j == 0 && r < L.ringCount) {
            writeRing(L, r, i, L.rings[r]);
        }
        const double t = shape.step * ringStart;
        TubeVertex& vertex = L.vertices[i];
        double n[3];
        placeVertex(L, ringStart, std::cos(t), std::sin(t), phiStep * j, vertex, n);
        vertex.red = 0;
        vertex.green = 0;
        vertex.blue = 0;
    }
}

// Stores an escape colour scaled by the vertex's brightness; colour 0 stays a hole.
inline void paintVertex(TubeVertex& vertex, PackedColour colour, int32_t brightness) {
    if (colour == 0) {
        vertex.red = 0;
        vertex.green = 0;
        vertex.blue = 0;
    } else {
        vertex.red = scaleChannel(packedRed(colour), brightness);
        vertex.green = scaleChannel(packedGreen(colour), brightness);
        vertex.blue = scaleChannel(packedBlue(colour), brightness);
    }
}

}  // namespace
namespace {

// The reference vertex loop: one vertex after another, each with its own escape loop.
// Returns the number of vertices written.
int32_t buildVerticesReference(const VertexLoop& L) {
    const TubeShape& shape = L.shape;
    const FractalPath& path = L.path;
    const double phiStep = shape.angularRate * shape.step;  // angle around the tube per place in a ring
    int32_t ringsWritten = 0;
    double pos = 0.0;   // path position of vertex i
    float acc = 0.0f;   // brightness accumulator (rounding remainder carried along the vertices)
    int32_t ringOfT = -1;
    double cosT = 1.0;
    double sinT = 0.0;
    int32_t i = 0;
    while (i < L.vertexCount) {
        const int32_t r = i / L.ringSize;
        const int32_t j = i % L.ringSize;
        const int32_t ringStart = r * L.ringSize;
        if (r != ringOfT) {
            const double t = shape.step * ringStart;  // every vertex of a ring shares the helix angle
            cosT = std::cos(t);
            sinT = std::sin(t);
            ringOfT = r;
        }
        if (j == 0 && ringsWritten < L.ringCount) {
            writeRing(L, r, i, L.rings[ringsWritten]);
            ++ringsWritten;
        }

        TubeVertex& vertex = L.vertices[i];
        double n[3];
        placeVertex(L, ringStart, cosT, sinT, phiStep * j, vertex, n);

        const float raw = L.bakeLighting == 1 ? lightModel(n, L.light, L.diffuseWeight, L.specularWeight,
                                                                L.ambientWeight, L.shininess)
                                              : kFlatBrightness;
        const int32_t brightness = diffuseBrightness(acc, raw);
        PackedColour colour = 0;
        if (brightness > 0) {
            const double theta = L.drift * pos + shape.angularRate * pos;
            const ComplexPoint p =
                path.pathMode == 0 ? spiralPoint(path, shape, pos, theta) : L.gen.flightPoint(path, shape, pos, theta);
            colour = path.isJulia ? escapeColour(p.re, p.im, path.juliaRe, path.juliaIm, L.palette)
                                  : escapeColour(p.re, p.im, L.palette);
        }
        paintVertex(vertex, colour, brightness);

        ++i;
        pos = pos + shape.step;
        if (!(pos < shape.sweep)) {
            break;
        }
    }
    return i;
}

constexpr int32_t kBatchSize = 1024;   // vertices per run when runs are not whole tiles of rings
constexpr int32_t kTileRings = 8;      // rings per run when runs are tiles (see buildVerticesBatched)
constexpr int32_t kMaxTileRun = 16384; // the most vertices in a run of tiles; wider rings run untiled

// Scratch of the batched loop: one run of vertices, in one block. The arrays of sample points and
// kernel results are in kernel order (see buildVerticesBatched); the others in vertex order.
struct BatchScratch {
    double* pos;              // path position of each vertex of the run
    double* psi;              // spiral: its sample angle
    double* exponent;         // spiral: its zoom exponent
    double* cosPsi;           // kernel order. Spiral: cos psi
    double* sinPsi;           // kernel order. Spiral: sin psi
    double* q;                // kernel order. Spiral: the zoom divisor 0.9^exponent
    double* re;               // kernel order: the sample point, real part
    double* im;               // kernel order: its imaginary part
    double* prev;             // kernel order, kernel out: |z|^2 before the last step
    double* last;             // kernel order, kernel out: |z|^2 after the last step
    float* raw;               // raw brightness of each vertex
    int32_t* brightness;      // the brightness of each vertex after error diffusion, 0..150
    int32_t* steps;           // kernel order, kernel out: step counts
    int32_t* index;           // kernel order: the escape colour's place in ramp (0: a hole)
    PackedColour* colour;     // the escape colour of each vertex, palette transform applied
    PackedColour* scaled;     // that colour scaled by the vertex's brightness
    int32_t* tileVertex;      // a whole tile's kernel order: vertex of the run at each place
    int32_t* tileSlot;        // a whole tile's kernel order: place of each vertex of the run
    int32_t* straight;        // 0, 1, 2, ...: the kernel order of a run that is not a whole tile
    double* cosPhi;           // cosine of each place's angle around the tube (padded)
    double* sinPhi;           // its sine
    double* cosAlphaSinPhi;   // cos(pitch) * sinPhi
    PackedColour ramp[kSmoothedCountMax + 2];  // 0 (a hole), then the colour of each smoothed count
};

// Carves the scratch arrays for runs of up to run vertices and rings of ringSize places out of one
// zero-filled block (the vectorised steps may read the padding); null when it cannot be had. The
// block is released with std::free.
void* allocateScratch(BatchScratch& b, int32_t run, int32_t ringSize) {
    const size_t n = static_cast<size_t>(run) + kStageLanes;         // entries per run array
    const size_t places = static_cast<size_t>(ringSize) + kStageLanes; // entries per ring array
    const size_t doubles = 10 * n + 3 * places;
    const size_t words = 9 * n;  // 4-byte entries
    if (places > SIZE_MAX / 256 || n > SIZE_MAX / 256) {  // 116 bytes per run entry, 24 per place
        return nullptr;
    }
    void* block = std::calloc(1, doubles * sizeof(double) + words * 4);
    if (block == nullptr) {
        return nullptr;
    }
    double* d = static_cast<double*>(block);
    double** const runDoubles[] = {&b.pos, &b.psi, &b.exponent, &b.cosPsi, &b.sinPsi,
                                   &b.q,   &b.re,  &b.im,       &b.prev,   &b.last};
    for (double** array : runDoubles) {
        *array = d;
        d += n;
    }
    b.cosPhi = d;
    b.sinPhi = d + places;
    b.cosAlphaSinPhi = d + 2 * places;
    char* w = reinterpret_cast<char*>(d + 3 * places);
    b.raw = reinterpret_cast<float*>(w);
    int32_t** const runInts[] = {&b.brightness, &b.steps, &b.index, &b.tileVertex, &b.tileSlot, &b.straight};
    w += n * 4;
    for (int32_t** array : runInts) {
        *array = reinterpret_cast<int32_t*>(w);
        w += n * 4;
    }
    b.colour = reinterpret_cast<PackedColour*>(w);
    b.scaled = reinterpret_cast<PackedColour*>(w + n * 4);
    return block;
}

// The batched vertex loop: the same vertices, bit for bit, as buildVerticesReference, in runs of
// vertices:
// 1. geometry, ring records and raw brightness, a ring's stretch of vertices at a time on vectors
//    (the path position is a running sum, kept sequential);
// 2. the error-diffused brightness, a strictly sequential chain, together with the maths library calls
//    of the sample points, which are independent of one another, so the chain's latency hides behind
//    them; the arithmetic around those calls runs on vectors. The reference computes a sample point
//    only for a vertex with a positive brightness; this computes one for every vertex and uses only
//    those, which gives the same points;
// 3. the escape loops of the whole run on the vectorised kernel;
// 4. the colours: smoothed counts on vectors, the ramp, the scaling by brightness on vectors.
// The cosine and sine of each place around a ring are the same for every ring and are computed once;
// so are the products of the ring's helix angle with the pitch.
// A run is a tile of kTileRings whole rings where it can be. The kernel then takes its points place by
// place, the kTileRings points at one place of consecutive rings side by side: each ring is one turn
// of the sample circle, so those points lie close together and escape after similar numbers of steps,
// and the kernel's lanes, which wait for the slowest in their group, idle less. Other runs (the last
// one, or all of them when the rings are too wide) are kBatchSize vertices taken in order.
// Returns the number of vertices written, or -1 (nothing written) when the scratch memory cannot be had.
int32_t buildVerticesBatched(const VertexLoop& L, EscapeKernel requested) {
    const TubeShape& shape = L.shape;
    const FractalPath& path = L.path;
    const bool tiled = L.ringSize <= kMaxTileRun / kTileRings;
    const int32_t tileRun = tiled ? kTileRings * L.ringSize : 0;  // vertices in a whole tile
    const int32_t runCap = tileRun > kBatchSize ? tileRun : kBatchSize;
    BatchScratch b;
    void* block = allocateScratch(b, runCap, L.ringSize);
    if (block == nullptr) {
        return -1;
    }
    for (int32_t k = 0; k < runCap; ++k) {
        b.straight[k] = k;
    }
    for (int32_t k = 0; k < tileRun; ++k) {
        // Place k holds ring k % kTileRings of the tile at place k / kTileRings around the tube.
        const int32_t vertex = (k % kTileRings) * L.ringSize + k / kTileRings;
        b.tileVertex[k] = vertex;
        b.tileSlot[vertex] = k;
    }
    const size_t places = static_cast<size_t>(L.ringSize) + kStageLanes;

    const double phiStep = shape.angularRate * shape.step;  // angle around the tube per place in a ring
    for (size_t j = 0; j < places; ++j) {
        const bool place = j < static_cast<size_t>(L.ringSize);
        const double phi = phiStep * static_cast<double>(j);
        b.cosPhi[j] = place ? std::cos(phi) : 0.0;
        b.sinPhi[j] = place ? std::sin(phi) : 0.0;
        b.cosAlphaSinPhi[j] = L.cosAlpha * b.sinPhi[j];
    }
    b.ramp[0] = 0;
    for (int32_t c = 0; c <= kSmoothedCountMax; ++c) {
        b.ramp[c + 1] = L.palette.shift ? shiftPalette(colourFromCount(c), L.palette.variant) : colourFromCount(c);
    }

    const EscapeKernel kernel = resolveEscapeKernel(requested);
    const BuildStages stages = buildStagesFor(kernel);
    StageConstants constants;
    constants.tubeRadius = shape.tubeRadius;
    constants.helixRadius = shape.helixRadius;
    for (int a = 0; a < 3; ++a) {
        constants.light[a] = L.light[a];
    }
    constants.diffuseWeight = static_cast<float>(L.diffuseWeight);
    constants.specularWeight = static_cast<float>(L.specularWeight);
    constants.ambientWeight = static_cast<float>(L.ambientWeight);
    constants.weightSum = static_cast<float>(L.diffuseWeight + L.specularWeight + L.ambientWeight);
    constants.shininess = L.shininess;
    constants.bakeLighting = L.bakeLighting == 1;
    constants.drift = L.drift;
    constants.angularRate = shape.angularRate;
    constants.angleOffset = static_cast<double>(path.angleOffset);
    constants.sweep = shape.sweep;
    constants.zoomRate = static_cast<double>(path.zoomRate);
    constants.centreRe = path.centreRe;
    constants.centreIm = path.centreIm;
    constants.startRadius = path.startRadius;

    EscapeBatch batch;
    batch.re = b.re;
    batch.im = b.im;
    batch.julia = path.isJulia;
    batch.juliaRe = path.juliaRe;
    batch.juliaIm = path.juliaIm;
    batch.steps = b.steps;
    batch.prev = b.prev;
    batch.last = b.last;

    int32_t ringsWritten = 0;
    double pos = 0.0;   // path position of vertex i
    float acc = 0.0f;   // brightness accumulator (rounding remainder carried along the vertices)
    int32_t r = 0;      // ring of the next vertex
    int32_t j = 0;      // place of the next vertex in its ring
    RingStretch stretch;
    stretch.cosT = 1.0;
    stretch.sinT = 0.0;
    bool ringChanged = true;
    bool ended = false;  // the path position reached the sweep
    int32_t i = 0;       // first vertex of the run
    while (i < L.vertexCount && !ended) {
        // 1. Geometry and raw brightness, one ring's stretch at a time.
        const int32_t runLength = tileRun > 0 && L.vertexCount - i >= tileRun ? tileRun : kBatchSize;
        int32_t count = 0;  // vertices in this run
        while (count < runLength && i + count < L.vertexCount && !ended) {
            const int32_t v = i + count;
            if (ringChanged) {
                const int32_t ringStart = r * L.ringSize;
                const double t = shape.step * ringStart;  // every vertex of a ring shares the helix angle
                stretch.cosT = std::cos(t);
                stretch.sinT = std::sin(t);
                stretch.sinTSinAlpha = stretch.sinT * L.sinAlpha;
                stretch.cosTSinAlpha = stretch.cosT * L.sinAlpha;
                stretch.axis[0] = shape.helixRadius * stretch.cosT;
                stretch.axis[1] = shape.risePerVertex * ringStart;
                stretch.axis[2] = shape.helixRadius * stretch.sinT;
                ringChanged = false;
            }
            if (j == 0 && ringsWritten < L.ringCount) {
                writeRing(L, r, v, L.rings[ringsWritten]);
                ++ringsWritten;
            }
            int32_t room = L.ringSize - j;
            if (room > runLength - count) {
                room = runLength - count;
            }
            if (room > L.vertexCount - v) {
                room = L.vertexCount - v;
            }
            int32_t n = 0;
            while (n < room) {
                b.pos[count + n] = pos;
                ++n;
                pos = pos + shape.step;
                if (!(pos < shape.sweep)) {
                    ended = true;
                    break;
                }
            }
            stretch.cosPhi = b.cosPhi + j;
            stretch.sinPhi = b.sinPhi + j;
            stretch.cosAlphaSinPhi = b.cosAlphaSinPhi + j;
            stretch.count = n;
            stretch.vertices = L.vertices + v;
            stretch.raw = b.raw + count;
            stages.geometry(constants, stretch);
            count += n;
            j += n;
            if (j == L.ringSize) {
                j = 0;
                ++r;
                ringChanged = true;
            }
        }

        // The kernel order of this run: vertexOf[k] is the vertex at place k, slotOf[v] the place of
        // vertex v.
        const bool tile = tileRun > 0 && count == tileRun;
        const int32_t* const vertexOf = tile ? b.tileVertex : b.straight;
        const int32_t* const slotOf = tile ? b.tileSlot : b.straight;

        // 2. Brightness (vertex by vertex) and sample points (place by place).
        if (path.pathMode == 0) {
            stages.spiralArguments(constants, b.pos, count, b.psi, b.exponent);
            for (int32_t k = 0; k < count; ++k) {
                b.brightness[k] = diffuseBrightness(acc, b.raw[k]);
                const int32_t v = vertexOf[k];
                const double psi = b.psi[v];  // one load, so that cos and sin share one library call
                const double exponent = b.exponent[v];
                b.cosPsi[k] = std::cos(psi);
                b.sinPsi[k] = std::sin(psi);
                b.q[k] = std::pow(0.9, exponent);
            }
            stages.spiralPoints(constants, b.cosPsi, b.sinPsi, b.q, count, b.re, b.im);
        } else {
            for (int32_t k = 0; k < count; ++k) {
                b.brightness[k] = diffuseBrightness(acc, b.raw[k]);
                const double at = b.pos[vertexOf[k]];
                const double theta = L.drift * at + shape.angularRate * at;
                const ComplexPoint p = L.gen.flightPoint(path, shape, at, theta);
                b.re[k] = p.re;
                b.im[k] = p.im;
            }
        }

        // 3. Escape loops.
        batch.count = count;
        runEscapeBatch(kernel, batch);

        // 4. Colours: ramp indices place by place, then colours vertex by vertex. A vertex without
        // brightness stays uncoloured, whatever its point, as every byte scales to 0; so does colour 0,
        // a hole.
        stages.rampIndices(b.steps, b.prev, b.last, count, b.index);
        for (int32_t v = 0; v < count; ++v) {
            b.colour[v] = b.ramp[b.index[slotOf[v]]];
        }
        stages.scaleColours(b.colour, b.brightness, count, b.scaled);
        for (int32_t v = 0; v < count; ++v) {
            TubeVertex& vertex = L.vertices[i + v];
            vertex.red = packedRed(b.scaled[v]);
            vertex.green = packedGreen(b.scaled[v]);
            vertex.blue = packedBlue(b.scaled[v]);
        }
        i += count;
    }
    std::free(block);
    return i;
}

}  // namespace

bool TubeGenerator::generate(TubeShape& shape, FractalPath& path, TubeArrays& out) {
    return prepareImage(shape, path) && fillImage(shape, path, out);
}

bool TubeGenerator::prepareImage(TubeShape& shape, FractalPath& path) {
    currentVertex = 0;

    // Pitch of the helix, from the shape before scaling.
    pitch = std::atan(shape.rise / (shape.sweep * shape.helixRadius));

    // The image's one random draw picks one of the two light settings.
    const int draw = random != nullptr ? random->next() : 0;
    if (draw % 2 == 0) {
        diffuseWeight = 40;
        specularWeight = 70;
        ambientWeight = 46;
        shininess = 3;
    } else {
        diffuseWeight = 10;
        specularWeight = 70;
        ambientWeight = 30;
        shininess = 13;
    }

    const float area = detailHeight * detailWidth;
    const float quotient = 480000.0f / area;
    scaleDivisor = static_cast<float>(std::sqrt(static_cast<double>(quotient)));
    shape.helixRadius = shape.helixRadius / scaleDivisor;
    shape.tubeRadius = shape.tubeRadius / scaleDivisor;
    shape.rise = shape.rise / scaleDivisor;

    // A non-positive sweep has no path to walk; refuse it rather than hand over unwritten vertices.
    if (!layoutTube(shape, path) || !(shape.sweep > 0.0)) {
        vertexCount = 0;
        ringSize = 0;
        return false;
    }
    return true;
}

bool TubeGenerator::fillImage(const TubeShape& shape, const FractalPath& path, TubeArrays& out) {
    currentVertex = 0;
    if (vertexCount < 1 || ringSize < 1 || !(shape.sweep > 0.0)) {
        vertexCount = 0;
        ringSize = 0;
        return false;  // not laid out, or no path to walk
    }
    const double sinAlpha = std::sin(pitch);
    const double cosAlpha = std::cos(pitch);

    const double lightLength = std::sqrt(lightDirection[0] * lightDirection[0] + lightDirection[1] * lightDirection[1] +
                                         lightDirection[2] * lightDirection[2]);
    const float light[3] = {static_cast<float>(lightDirection[0] / lightLength),
                            static_cast<float>(lightDirection[1] / lightLength),
                            static_cast<float>(lightDirection[2] / lightLength)};

    const int32_t ringCount = vertexCount / ringSize;
    const size_t vertexBytes = static_cast<size_t>(vertexCount) * sizeof(TubeVertex);
    const size_t ringBytes = static_cast<size_t>(ringCount) * sizeof(TubeRing);
    TubeVertex* vertices = nullptr;
    TubeRing* rings = nullptr;
    bool sizesFit = static_cast<size_t>(vertexCount) <= SIZE_MAX / sizeof(TubeVertex) &&
                    static_cast<size_t>(ringCount) <= SIZE_MAX / sizeof(TubeRing);
    if (sizesFit) {
        vertices = static_cast<TubeVertex*>(allocate(vertexBytes));
        if (ringCount > 0 && vertices != nullptr) {
            rings = static_cast<TubeRing*>(allocate(ringBytes));
        }
    }
    if (vertices == nullptr || (ringCount > 0 && rings == nullptr)) {
        releaseBlock(release, vertices);
        releaseBlock(release, rings);
        vertexCount = 0;
        ringSize = 0;
        return false;
    }
    if (ringCount > 0) {
        std::memset(rings, 0, ringBytes);
    }

    VertexLoop loop{*this, shape, path, vertices, rings, vertexCount, ringSize, ringCount, sinAlpha, cosAlpha,
                    {light[0], light[1], light[2]}, diffuseWeight, specularWeight, ambientWeight, shininess,
                    bakeLighting, PaletteSettings{paletteShift, paletteVariant}, driftRate};
    int32_t i = -1;
    if (!referenceBuild) {
        // Its vector steps run over spare lanes and points that never escaped (0 / 0 and the like).
        const FloatingPointExceptionsMasked masked;
        i = buildVerticesBatched(loop, escapeKernel);  // -1 when its scratch memory is not to be had
    }
    if (i < 0) {
        i = buildVerticesReference(loop);
    }
    // Should the summed steps reach the sweep a vertex early, the rest are placed on the tube as holes.
    placeUnreachedVertices(loop, i);

    currentVertex = 0;
    out.vertices = vertices;
    out.rings = rings;
    return true;
}
