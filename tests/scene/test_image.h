// Hand-made images for the scene tests: a few rings with chosen colours, normals and ring centres.
#pragma once

#include <cstdlib>
#include <cstring>

#include "fractal/tube_generator.h"
#include "fractal/tube_types.h"
#include "scene/scene.h"

// Vertex i lies at x = i (so a drawn position names its vertex) with normal +z (facing an eye on
// the +z axis) and colour (10, 20, 30). Ring r's centre is at z = centreZ[r]. The arrays are
// allocated the way the generator allocates them, since the scene frees them as the generator's.
inline TubeArrays makeTestArrays(int32_t ringSize, int32_t ringCount, int32_t extraVertices, const double* centreZ) {
    const int32_t vertexCount = ringSize * ringCount + extraVertices;
    TubeArrays arrays;
    arrays.vertices = static_cast<TubeVertex*>(std::malloc(sizeof(TubeVertex) * vertexCount));
    arrays.rings = static_cast<TubeRing*>(std::calloc(ringCount, sizeof(TubeRing)));
    for (int32_t i = 0; i < vertexCount; ++i) {
        TubeVertex& v = arrays.vertices[i];
        v.red = 10;
        v.green = 20;
        v.blue = 30;
        v.facing = 0;
        v.position[0] = i;
        v.position[1] = 0;
        v.position[2] = 0;
        v.normal[0] = 0;
        v.normal[1] = 0;
        v.normal[2] = 1;
    }
    for (int32_t r = 0; r < ringCount; ++r) {
        arrays.rings[r].centre[2] = centreZ != nullptr ? centreZ[r] : 0.0;
        arrays.rings[r].firstVertex = r * ringSize;
    }
    return arrays;
}

// Installs a hand-made image in the scene as a successful build would.
inline void installTestImage(Scene& scene, int32_t ringSize, int32_t ringCount, int32_t extraVertices,
                             const double* centreZ = nullptr) {
    TubeArrays arrays = makeTestArrays(ringSize, ringCount, extraVertices, centreZ);
    scene.releaseImage();
    scene.vertices = arrays.vertices;
    scene.rings = arrays.rings;
    scene.ringSize = ringSize;
    scene.vertexCount = ringSize * ringCount + extraVertices;
}
