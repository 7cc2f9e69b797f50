// The records of one view and one image: tube shape, fractal path, vertices and rings.
#pragma once

#include <cstdint>

// The solid that is drawn: a tube of circular cross-section wound as a helix about the y axis.
// Lengths are in reference units; the generator rescales them (see TubeGenerator::generate).
struct TubeShape {
    int32_t vertexCount;   // derived: total vertices of the tube
    double rise;           // height gained by the helix axis over the whole sweep
    double sweep;          // radians the helix turns end to end; also the length of the path parameter (> 0)
    double risePerVertex;  // derived: rise (scaled) / vertexCount
    double step;           // derived: sweep / vertexCount, path parameter per vertex
    double helixRadius;    // radius of the helix carrying the tube's axis
    double tubeRadius;     // radius of the tube about its axis
    double angularRate;    // derived: sample angle per unit of path parameter
};

// What is painted on the tube: which fractal, and the circle's path through the complex plane.
struct FractalPath {
    bool isJulia;        // true: Julia set of (juliaRe, juliaIm); false: Mandelbrot set
    double juliaRe;      // Julia constant, real part
    double juliaIm;      // Julia constant, imaginary part
    float zoomRate;      // spiral: zoom steps (factor 1/0.9) per 1/420 of the sweep; derived unless outerRadius < 0
    float angleOffset;   // radians added to every sample angle
    float driftRate;     // radians per unit of path parameter the picture winds against the tube
    double centreRe;     // spiral: zoom centre; flight: start point (real)
    double centreIm;     // ... (imaginary)
    double startRadius;  // sample circle radius at path parameter 0
    double endRe;        // flight: end point (real)
    double endIm;        // flight: end point (imaginary)
    double endRadius;    // flight: radius at the end point
    double outerRadius;  // spiral: radius at the end (< 0: derive from zoomRate); flight: widest radius
    int32_t pathMode;    // 0 spiral zoom, 1 flight
    float depthOut;      // flight, derived: zoom steps from startRadius out to outerRadius
    float depthIn;       // flight, derived: zoom steps from outerRadius in to endRadius
};

// One vertex of an image. All three colour bytes 0 marks an uncoloured vertex (a hole).
struct TubeVertex {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t facing;      // renderer's per-frame scratch: 1 faces the eye, 255 faces away
    double position[3];  // x, y, z; the helix axis has radius 1
    double normal[3];    // unit normal, pointing away from the tube's axis
};

// One complete ring of an image.
struct TubeRing {
    double centre[3];     // point on the tube's axis half a ring beyond the ring's vertices
    double sortKey;       // squared distance to the eye, written by the renderer each frame
    int32_t firstVertex;  // index of the ring's first vertex (ring r: r * ringSize)
};

// A packed colour: red in bits 0..7, green 8..15, blue 16..23, bits 24..31 zero. 0 = inside the set.
using PackedColour = uint32_t;

inline uint8_t packedRed(PackedColour c) { return static_cast<uint8_t>(c & 0xFF); }
inline uint8_t packedGreen(PackedColour c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
inline uint8_t packedBlue(PackedColour c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }
inline PackedColour packColour(uint32_t r, uint32_t g, uint32_t b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
