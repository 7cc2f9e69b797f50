// Turns one view into the vertex and ring arrays of one image.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "common/random_source.h"
#include "fractal/escape_kernels.h"
#include "fractal/tube_types.h"

// A point of the complex plane.
struct ComplexPoint {
    double re;
    double im;
};

// The arrays of one image. Whoever holds them owns them and frees them with freeTubeArrays.
struct TubeArrays {
    TubeVertex* vertices = nullptr;  // vertexCount records
    TubeRing* rings = nullptr;       // vertexCount / ringSize records, zero-filled at allocation
};
void freeTubeArrays(TubeArrays& arrays);

// One step of the error-diffused brightness along the vertex order: adds the raw brightness to the
// accumulator and returns the vertex's whole brightness (0..150); the rounding remainder stays in acc.
// 0 when the accumulator is not positive (then the vertex is left uncoloured).
int32_t diffuseBrightness(float& acc, float raw);

// The built-in light model, all in single precision: raw brightness (16.9..150 for the two weight
// sets) of a surface with unit normal n under the unit light vector light.
float bakedBrightness(const double n[3], const float light[3], int32_t diffuseWeight, int32_t specularWeight,
                      int32_t ambientWeight, int32_t shininess);

// One generator serves one image: set the inputs, init, generate once, take the arrays, delete.
class TubeGenerator {
public:
    TubeGenerator() = default;
    ~TubeGenerator();
    TubeGenerator(const TubeGenerator&) = delete;
    TubeGenerator& operator=(const TubeGenerator&) = delete;

    int32_t diffuseWeight = 0;                   // light model: diffuse weight, 40 or 10 (set by generate)
    int32_t specularWeight = 0;                  // light model: specular weight, 70
    int32_t ambientWeight = 0;                   // light model: constant term, 46 or 30
    int32_t shininess = 0;                       // light model: specular exponent, 3 or 13
    double lightDirection[3] = {1.0, 1.0, 1.0};  // light vector (any length); the scene sets (1, 1, 1)
    float detailWidth = 0;                       // reference width: 300 x detail factor (set by the caller)
    float detailHeight = 0;                      // reference height: 200 x detail factor (set by the caller)
    float scaleDivisor = 0;                      // divisor applied to the shape's lengths (set by generate)
    double pitch = 0;                            // pitch angle of the helix, radians, from the unscaled shape
                                                 // (set by generate)
    FractalPath* pathTable = nullptr;            // the view table, 5 records, owned (init)
    TubeShape* shapeTable = nullptr;             // the view table, 5 records, owned (init)
    int32_t vertexCount = 0;                     // vertices of the image (0 until generated)
    int32_t ringSize = 0;                        // vertices per ring
    int32_t bakeLighting = 1;                    // 1: brightness from the light model; else flat 50
    bool paletteShift = false;                   // passed to escapeColour
    int32_t paletteVariant = 0;                  // 0..2, passed to escapeColour

    // Not in the record's classic layout, but needed without global state:
    RandomSource* random = nullptr;  // the program's random source; generate draws once (none: draw 0)
    float driftRate = -0.8f;         // from the caller's working copy of defaultPath
    // Allocator for the view table and the image arrays (tests inject failures). Whatever it returns
    // for the arrays must be releasable with std::free, since the arrays outlive the generator.
    void* (*allocate)(size_t) = std::malloc;
    void (*release)(void*) = std::free;  // frees what allocate returned, on failure paths and for the tables
    // How the colours are computed; both ways give the same arrays bit for bit. The batched build
    // (default) hands runs of sample points to a vectorised escape loop; the reference build colours
    // one vertex after another with escapeColour. Kept for the whole life of the generator.
    bool referenceBuild = false;
    EscapeKernel escapeKernel = EscapeKernel::Automatic;  // kernel of the batched build (tests force one)

    // Builds the view table. False (and nothing held) when its allocations fail.
    bool init();
    // Generates one view from writable copies of its records; on success the arrays go to `out`
    // (the caller owns them). False on allocation failure, size overflow or a ring size of 0:
    // then nothing is handed over and nothing leaks.
    bool generate(TubeShape& shape, FractalPath& path, TubeArrays& out);
    // generate in its two steps, for callers that look at or adjust the laid-out shape in between.
    // prepareImage: the pitch, the one random draw and its light weights, the scaling of the shape's
    // lengths and layoutTube. False (vertexCount and ringSize 0) when the shape cannot be laid out or
    // its sweep is not positive.
    bool prepareImage(TubeShape& shape, FractalPath& path);
    // fillImage: allocates the arrays of the prepared shape and path and runs the vertex loop; every
    // vertex gets its position and normal and every complete ring its record, including the vertices
    // after the path position reaches the sweep, which stay uncoloured (holes). Same failures as generate.
    bool fillImage(const TubeShape& shape, const FractalPath& path, TubeArrays& out);
    // The sizing step of generate (lengths already scaled): ringSize, vertexCount, derived path values.
    // False (vertexCount and ringSize 0) when the shape cannot be laid out: a ring size below 1, or a
    // ring size or vertex count that is not a finite int32 of at least 1.
    bool layoutTube(TubeShape& shape, FractalPath& path);
    // The sample point of a flight-mode path at path position pos and angle theta.
    ComplexPoint flightPoint(const FractalPath& path, const TubeShape& shape, double pos, double theta) const;
};
