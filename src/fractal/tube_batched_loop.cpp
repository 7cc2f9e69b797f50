// The batched vertex loop: the reference loop's vertices, bit for bit, in runs on the vectorised kernel.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fractal/tube_stages.h"
#include "fractal/tube_vertex_loop.h"

namespace {

constexpr int32_t kBatchSize = 1024;    // vertices per run when runs are not whole tiles of rings
constexpr int32_t kTileRings = 8;       // rings per run when runs are tiles (see buildVerticesBatched)
constexpr int32_t kMaxTileRun = 16384;  // the most vertices in a run of tiles; wider rings run untiled

// Scratch of the batched loop: one run of vertices, in one block. The arrays of sample points and
// kernel results are in kernel order (see buildVerticesBatched); the others in vertex order.
struct BatchScratch {
    double* pos;                               // path position of each vertex of the run
    double* psi;                               // spiral: its sample angle
    double* exponent;                          // spiral: its zoom exponent
    double* cosPsi;                            // kernel order. Spiral: cos psi
    double* sinPsi;                            // kernel order. Spiral: sin psi
    double* q;                                 // kernel order. Spiral: the zoom divisor 0.9^exponent
    double* re;                                // kernel order: the sample point, real part
    double* im;                                // kernel order: its imaginary part
    double* prev;                              // kernel order, kernel out: |z|^2 before the last step
    double* last;                              // kernel order, kernel out: |z|^2 after the last step
    float* raw;                                // raw brightness of each vertex
    int32_t* brightness;                       // the brightness of each vertex after error diffusion, 0..150
    int32_t* steps;                            // kernel order, kernel out: step counts
    int32_t* index;                            // kernel order: the escape colour's place in ramp (0: a hole)
    PackedColour* colour;                      // the escape colour of each vertex, palette transform applied
    PackedColour* scaled;                      // that colour scaled by the vertex's brightness
    int32_t* tileVertex;                       // a whole tile's kernel order: vertex of the run at each place
    int32_t* tileSlot;                         // a whole tile's kernel order: place of each vertex of the run
    int32_t* straight;                         // 0, 1, 2, ...: the kernel order of a run that is not a whole tile
    double* cosPhi;                            // cosine of each place's angle around the tube (padded)
    double* sinPhi;                            // its sine
    double* cosAlphaSinPhi;                    // cos(pitch) * sinPhi
    PackedColour ramp[kSmoothedCountMax + 2];  // 0 (a hole), then the colour of each smoothed count
};

// Carves the scratch arrays for runs of up to run vertices and rings of ringSize places out of one
// zero-filled block (the vectorised steps may read the padding); null when it cannot be had. The
// block is released with std::free.
void* allocateScratch(BatchScratch& b, int32_t run, int32_t ringSize) {
    const size_t n = static_cast<size_t>(run) + kStageLanes;            // entries per run array
    const size_t places = static_cast<size_t>(ringSize) + kStageLanes;  // entries per ring array
    const size_t doubles = 10 * n + 3 * places;
    const size_t words = 9 * n;                           // 4-byte entries
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

// The tables a build's runs share: the kernel orders, the cosine and sine of each place around a ring,
// and the colour ramp.
void fillScratchTables(const VertexLoop& L, BatchScratch& b, int32_t tileRun, int32_t runCap) {
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
    const double phiStep = L.shape.angularRate * L.shape.step;  // angle around the tube per place in a ring
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
}

// The constants of the vectorised stages for this image.
StageConstants stageConstantsFor(const VertexLoop& L) {
    const TubeShape& shape = L.shape;
    const FractalPath& path = L.path;
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
    return constants;
}

// Where the sequential parts of the build stand between runs.
struct RunCursor {
    int32_t ringsWritten = 0;
    double pos = 0.0;         // path position of the next vertex
    float acc = 0.0f;         // brightness accumulator (rounding remainder carried along the vertices)
    int32_t r = 0;            // ring of the next vertex
    int32_t j = 0;            // place of the next vertex in its ring
    RingStretch stretch;      // the current ring's helix angle and axis point
    bool ringChanged = true;  // `stretch` is still for the previous ring
    bool ended = false;       // the path position reached the sweep
};

// Step 1: geometry, ring records and raw brightness of up to runLength vertices from vertex i, one
// ring's stretch at a time. Returns how many vertices the run holds.
int32_t placeRun(const VertexLoop& L, const BuildStages& stages, const StageConstants& constants, BatchScratch& b,
                 RunCursor& c, int32_t i, int32_t runLength) {
    const TubeShape& shape = L.shape;
    RingStretch& stretch = c.stretch;
    int32_t count = 0;
    while (count < runLength && i + count < L.vertexCount && !c.ended) {
        const int32_t v = i + count;
        if (c.ringChanged) {
            const int32_t ringStart = c.r * L.ringSize;
            const double t = shape.step * ringStart;  // every vertex of a ring shares the helix angle
            stretch.cosT = std::cos(t);
            stretch.sinT = std::sin(t);
            stretch.sinTSinAlpha = stretch.sinT * L.sinAlpha;
            stretch.cosTSinAlpha = stretch.cosT * L.sinAlpha;
            stretch.axis[0] = shape.helixRadius * stretch.cosT;
            stretch.axis[1] = shape.risePerVertex * ringStart;
            stretch.axis[2] = shape.helixRadius * stretch.sinT;
            c.ringChanged = false;
        }
        if (c.j == 0 && c.ringsWritten < L.ringCount) {
            writeRing(L, c.r, v, L.rings[c.ringsWritten]);
            ++c.ringsWritten;
        }
        int32_t room = L.ringSize - c.j;
        if (room > runLength - count) {
            room = runLength - count;
        }
        if (room > L.vertexCount - v) {
            room = L.vertexCount - v;
        }
        int32_t n = 0;
        while (n < room) {
            b.pos[count + n] = c.pos;
            ++n;
            c.pos = c.pos + shape.step;
            if (!(c.pos < shape.sweep)) {
                c.ended = true;
                break;
            }
        }
        stretch.cosPhi = b.cosPhi + c.j;
        stretch.sinPhi = b.sinPhi + c.j;
        stretch.cosAlphaSinPhi = b.cosAlphaSinPhi + c.j;
        stretch.count = n;
        stretch.vertices = L.vertices + v;
        stretch.raw = b.raw + count;
        stages.geometry(constants, stretch);
        count += n;
        c.j += n;
        if (c.j == L.ringSize) {
            c.j = 0;
            ++c.r;
            c.ringChanged = true;
        }
    }
    return count;
}

// Step 2: the brightness (vertex by vertex) and the sample points (place by place, in kernel order).
void sampleRun(const VertexLoop& L, const BuildStages& stages, const StageConstants& constants, BatchScratch& b,
               RunCursor& c, const int32_t* vertexOf, int32_t count) {
    const TubeShape& shape = L.shape;
    const FractalPath& path = L.path;
    if (path.pathMode == 0) {
        stages.spiralArguments(constants, b.pos, count, b.psi, b.exponent);
        for (int32_t k = 0; k < count; ++k) {
            b.brightness[k] = diffuseBrightness(c.acc, b.raw[k]);
            const int32_t v = vertexOf[k];
            const double psi = b.psi[v];  // one load, so that cos and sin share one library call
            const double exponent = b.exponent[v];
            b.cosPsi[k] = std::cos(psi);
            b.sinPsi[k] = std::sin(psi);
            b.q[k] = std::pow(0.9, exponent);
        }
        stages.spiralPoints(constants, b.cosPsi, b.sinPsi, b.q, count, b.re, b.im);
        return;
    }
    for (int32_t k = 0; k < count; ++k) {
        b.brightness[k] = diffuseBrightness(c.acc, b.raw[k]);
        const double at = b.pos[vertexOf[k]];
        const double theta = L.drift * at + shape.angularRate * at;
        const ComplexPoint p = L.gen.flightPoint(path, shape, at, theta);
        b.re[k] = p.re;
        b.im[k] = p.im;
    }
}

// Step 4: ramp indices place by place, then colours vertex by vertex into vertices[first..]. A vertex
// without brightness stays uncoloured, whatever its point, as every byte scales to 0; so does colour 0,
// a hole.
void colourRun(const VertexLoop& L, const BuildStages& stages, BatchScratch& b, const int32_t* slotOf, int32_t first,
               int32_t count) {
    stages.rampIndices(b.steps, b.prev, b.last, count, b.index);
    for (int32_t v = 0; v < count; ++v) {
        b.colour[v] = b.ramp[b.index[slotOf[v]]];
    }
    stages.scaleColours(b.colour, b.brightness, count, b.scaled);
    for (int32_t v = 0; v < count; ++v) {
        TubeVertex& vertex = L.vertices[first + v];
        vertex.red = packedRed(b.scaled[v]);
        vertex.green = packedGreen(b.scaled[v]);
        vertex.blue = packedBlue(b.scaled[v]);
    }
}

}  // namespace

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
    const bool tiled = L.ringSize <= kMaxTileRun / kTileRings;
    const int32_t tileRun = tiled ? kTileRings * L.ringSize : 0;  // vertices in a whole tile
    const int32_t runCap = tileRun > kBatchSize ? tileRun : kBatchSize;
    BatchScratch b;
    void* block = allocateScratch(b, runCap, L.ringSize);
    if (block == nullptr) {
        return -1;
    }
    fillScratchTables(L, b, tileRun, runCap);

    const EscapeKernel kernel = resolveEscapeKernel(requested);
    const BuildStages stages = buildStagesFor(kernel);
    const StageConstants constants = stageConstantsFor(L);
    EscapeBatch batch;
    batch.re = b.re;
    batch.im = b.im;
    batch.julia = L.path.isJulia;
    batch.juliaRe = L.path.juliaRe;
    batch.juliaIm = L.path.juliaIm;
    batch.steps = b.steps;
    batch.prev = b.prev;
    batch.last = b.last;

    RunCursor cursor;
    int32_t i = 0;  // first vertex of the run
    while (i < L.vertexCount && !cursor.ended) {
        const int32_t runLength = tileRun > 0 && L.vertexCount - i >= tileRun ? tileRun : kBatchSize;
        const int32_t count = placeRun(L, stages, constants, b, cursor, i, runLength);
        // The kernel order of this run: vertexOf[k] is the vertex at place k, slotOf[v] the place of
        // vertex v.
        const bool tile = tileRun > 0 && count == tileRun;
        const int32_t* const vertexOf = tile ? b.tileVertex : b.straight;
        const int32_t* const slotOf = tile ? b.tileSlot : b.straight;
        sampleRun(L, stages, constants, b, cursor, vertexOf, count);
        batch.count = count;
        runEscapeBatch(kernel, batch);  // step 3: the escape loops
        colourRun(L, stages, b, slotOf, i, count);
        i += count;
    }
    std::free(block);
    return i;
}
