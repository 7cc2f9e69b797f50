// What the two vertex loops share: the record of one image's loop and the steps both evaluate alike.
#pragma once

#include <cmath>
#include <cstdint>

#include "fractal/escape_colour.h"
#include "fractal/escape_kernels.h"
#include "fractal/tube_generator.h"

inline constexpr int32_t kMaxBrightness = 150;   // brightness cap, in percent of the escape colour
inline constexpr float kFlatBrightness = 50.0f;  // brightness of images lit by OpenGL instead

// Integer power by repeated squaring, in single precision.
inline float powInt(float base, int32_t exponent) {
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
inline uint8_t scaleChannel(uint8_t byte, int32_t brightness) {
    const double scaled = static_cast<double>(byte * brightness) * 0.01;
    return scaled > 255.0 ? 255 : static_cast<uint8_t>(scaled);
}

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
    int32_t bakeLighting;     // 1: light model; else flat brightness
    PaletteSettings palette;  // palette transform of the escape colours
    double drift;             // radians per unit of path parameter the picture winds against the tube
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

// The vertices from `from` on, which the path did not reach, placed on the tube as holes.
void placeUnreachedVertices(const VertexLoop& L, int32_t from);

// The reference vertex loop: one vertex after another, each with its own escape loop.
// Returns the number of vertices written.
int32_t buildVerticesReference(const VertexLoop& L);

// The batched vertex loop: the same vertices, bit for bit, in runs on the vectorised kernel.
// Returns the number of vertices written, or -1 (nothing written) when its scratch memory cannot be had.
int32_t buildVerticesBatched(const VertexLoop& L, EscapeKernel requested);
