// The renderer's records: what each GL context holds for the scene, and the image's quads laid out for
// buffer objects.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/gl_buffer_procs.h"

// What a context's buffers hold: storage for one image's quads, filled from the first quad up.
struct BufferUpload {
    bool started = false;   // the buffers have storage for the image below
    uint32_t serial = 0;    // Scene::imageSerial of that image
    bool lit = false;       // the vertex buffer carries normals
    bool twice = false;     // there is an index buffer (quads drawn twice)
    float alpha = 0;        // Scene::alpha the colours are made with
    int32_t quadsDone = 0;  // quads [0, quadsDone) are in the buffers
};

// One GL context's state as the scene last set it. Looked up by the current context before drawing.
struct GlContextRecord {
    const void* context = nullptr;  // GlContextApi::currentContext's value (null: the only context)
    bool lightingApplied = false;   // lighting switch last sent to this context (a fresh one has it off)
    bool probed = false;            // buffer entry points looked up
    GlBufferProcs procs;            // usable when procs.bindBuffer is set
    GLuint vertexBuffer = 0;        // corners of every quad (0: none)
    GLuint indexBuffer = 0;         // every quad's corners twice, for quads drawn twice (0: none)
    BufferUpload upload;            // what the buffers hold
    bool uploadFailed = false;      // an upload of image failedSerial failed here: draw it without buffers
    uint32_t failedSerial = 0;
};

// The quads of one image in buffer order: ring by ring as the rings are numbered (firstVertex /
// ringSize), within a ring by position, holes and positions without a next ring left out.
struct QuadLayout {
    bool made = false;    // the layout below is made (from image `serial`)
    uint32_t serial = 0;  // Scene::imageSerial it was made from
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
