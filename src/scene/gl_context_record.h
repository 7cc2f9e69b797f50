// The renderer's records: what each GL context holds for the scene, and the image's quads laid out for
// buffer objects.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/gl_buffer_procs.h"

// One GL context's state as the scene last set it. Looked up by the current context before drawing.
struct GlContextRecord {
    const void* context = nullptr;  // GlContextApi::currentContext's value (null: the only context)
    bool lightingApplied = false;   // lighting switch last sent to this context (a fresh one has it off)
    bool probed = false;            // buffer entry points looked up
    GlBufferProcs procs;            // usable when procs.bindBuffer is set
    GLuint vertexBuffer = 0;        // corners of every quad (0: none)
    GLuint indexBuffer = 0;         // every quad's corners twice, for quads drawn twice (0: none)
    bool vertexMade = false;        // the vertex buffer holds the quads of image vertexSerial
    uint32_t vertexSerial = 0;      // Scene::imageSerial of the quads in the vertex buffer
    bool vertexLit = false;         // the vertex buffer carries normals
    float vertexAlpha = 0;          // Scene::alpha its colours were made with
    bool indexMade = false;         // the index buffer was made for image indexSerial
    uint32_t indexSerial = 0;
    bool uploadFailed = false;      // an upload of image failedSerial failed here: draw it without buffers
    uint32_t failedSerial = 0;
};

// The quads of one image in buffer order: ring by ring as the rings are numbered (firstVertex /
// ringSize), within a ring by position, holes and positions without a next ring left out.
struct QuadLayout {
    bool made = false;                   // the layout below is made (from image `serial`)
    uint32_t serial = 0;                 // Scene::imageSerial it was made from
    int32_t ringCount = 0;
    int32_t quadCount = 0;
    std::vector<int32_t> ringFirstQuad;  // ringCount + 1 entries: ring k owns quads [k] .. [k + 1] - 1
    std::vector<int32_t> quadVertex;     // vertex v of each quad: its colour, normal and first corner
    std::vector<float> plane;            // 4 per quad: normal and -normal.position, for a quick facing test
    double planeBound = 0;               // largest magnitude among the planes' four values

    // Per-frame scratch: facing of every quad (1 towards the eye, 0 away) and the drawn ranges, in quads.
    std::vector<uint8_t> facing;
    std::vector<int32_t> rangeFirst;
    std::vector<int32_t> rangeCount;
};
