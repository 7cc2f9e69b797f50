// The reference vertex loop, one vertex after another, and the placing of vertices the path did not reach.
#include <cmath>
#include <cstdint>

#include "fractal/tube_vertex_loop.h"

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

int32_t buildVerticesReference(const VertexLoop& L) {
    const TubeShape& shape = L.shape;
    const FractalPath& path = L.path;
    const double phiStep = shape.angularRate * shape.step;  // angle around the tube per place in a ring
    int32_t ringsWritten = 0;
    double pos = 0.0;  // path position of vertex i
    float acc = 0.0f;  // brightness accumulator (rounding remainder carried along the vertices)
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

        const float raw = L.bakeLighting == 1
                              ? lightModel(n, L.light, L.diffuseWeight, L.specularWeight, L.ambientWeight, L.shininess)
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
