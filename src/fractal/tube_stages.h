// The vectorised steps of the batched image build (geometry and light, sample points, colours); only
// tube_generator.cpp calls them. Each step does, lane by lane, exactly the arithmetic of the reference
// vertex loop, in the same order and precision, so its results are the same bits.
#pragma once

#include <cstdint>

#include "fractal/escape_kernels.h"
#include "fractal/tube_types.h"

// The steps work on chunks of this many vertices: every array they read or write (other than the vertex
// records) has room for this many entries past its last used one.
constexpr int32_t kStageLanes = 8;

// What stays the same for a whole image.
struct StageConstants {
    double tubeRadius;    // scaled tube radius
    double helixRadius;   // scaled helix radius (every position is divided by it)
    float light[3];       // unit light vector of the light model
    float diffuseWeight;  // light model weights, as floats
    float specularWeight;
    float ambientWeight;
    float weightSum;     // float(diffuse + specular + ambient)
    int32_t shininess;   // specular exponent
    bool bakeLighting;   // true: light model; false: flat brightness 50
    double drift;        // radians per unit of path parameter the picture winds against the tube
    double angularRate;  // sample angle per unit of path parameter
    double angleOffset;  // radians added to every sample angle
    double sweep;        // length of the path parameter
    double zoomRate;     // spiral zoom steps per 1/420 of the sweep
    double centreRe;     // spiral zoom centre
    double centreIm;
    double startRadius;  // sample circle radius at path parameter 0
};

// A run of consecutive vertices of one ring, starting at place j0 of the ring.
struct RingStretch {
    const double* cosPhi;          // cosine of each place's angle around the tube, from place j0 (padded)
    const double* sinPhi;          // its sine
    const double* cosAlphaSinPhi;  // cos(pitch) * sinPhi, per place
    double cosT;                   // cosine of the ring's helix angle
    double sinT;                   // its sine
    double sinTSinAlpha;           // sinT * sin(pitch)
    double cosTSinAlpha;           // cosT * sin(pitch)
    double axis[3];                // the ring's point on the helix axis
    int32_t count;                 // vertices in the stretch
    TubeVertex* vertices;          // out: position and normal of count records (nothing else is touched)
    float* raw;                    // out: raw brightness of each vertex
};

// The steps for one instruction set.
struct BuildStages {
    // Positions, normals and raw brightness of a stretch.
    void (*geometry)(const StageConstants& c, const RingStretch& s);
    // Spiral paths: the sample angle psi and the zoom exponent of each path position.
    void (*spiralArguments)(const StageConstants& c, const double* pos, int32_t count, double* psi, double* exponent);
    // Spiral paths: sample points from cos psi, sin psi and the zoom divisor q.
    void (*spiralPoints)(const StageConstants& c, const double* cosPsi, const double* sinPsi, const double* q,
                         int32_t count, double* re, double* im);
    // Index into the colour ramp shifted by one (0: a hole) from the escape results.
    void (*rampIndices)(const int32_t* steps, const double* prev, const double* last, int32_t count, int32_t* index);
    // Each colour's three bytes scaled by its brightness in percent (truncated, at most 255).
    void (*scaleColours)(const PackedColour* colour, const int32_t* brightness, int32_t count, PackedColour* out);
};

// The steps for a resolved escape kernel's instruction set (the scalar kernel gets the baseline ones).
BuildStages buildStagesFor(EscapeKernel kernel);
