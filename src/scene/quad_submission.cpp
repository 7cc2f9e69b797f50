// Sends a frame's quads in immediate mode or through client-side vertex arrays.
#include <cstdint>

#include "scene/frame_internal.h"
#include "scene/frame_steps.h"
#include "scene/gl_includes.h"
#include "scene/scene.h"

QuadArrays quadArrays;

namespace {

void sendVertex(const TubeVertex& vertex) { glVertex3d(vertex.position[0], vertex.position[1], vertex.position[2]); }

void sendQuad(const TubeVertex* vertices, int32_t a, int32_t b, int32_t c, int32_t d) {
    sendVertex(vertices[a]);
    sendVertex(vertices[b]);
    sendVertex(vertices[c]);
    sendVertex(vertices[d]);
}

// Walks the quads of a frame in drawing order: ring by ring as sorted, in each ring first the quads
// facing away from the eye (facing 255), then those facing it (facing 1). For each quad it calls
// emit(vertex v, its colour as four bytes, the four corner indices); holes and the quads past the last
// complete ring are skipped.
template <typename Emit>
void forEachQuad(const Scene& scene, int32_t ringCount, Emit emit) {
    const TubeVertex* vertices = scene.vertices;
    const int32_t ringSize = scene.ringSize;
    const double f = scene.fade;
    const GLubyte alphaByte = alphaByteOf(scene);
    for (int32_t r = 0; r < ringCount; ++r) {
        const int32_t first = scene.rings[r].firstVertex;
        for (int pass = 0; pass < 2; ++pass) {
            const uint8_t wanted = pass == 0 ? 255 : 1;
            for (int32_t j = 0; j < ringSize; ++j) {
                const int32_t v = first + j;
                if (!startsDrawnQuad(scene, v)) continue;
                const TubeVertex& vertex = vertices[v];
                if (vertex.facing != wanted) continue;

                GLubyte colour[4];
                quadColour(vertex, f, alphaByte, colour);
                int32_t corners[4];
                quadCorners(v, j == ringSize - 1, ringSize, corners);
                emit(vertex, colour, corners[0], corners[1], corners[2], corners[3]);
            }
        }
    }
}

void drawQuadArrays(int32_t quads, bool lit) {
    if (quads <= 0) return;
    {
        GlCallTimer timer;
        glDrawArrays(GL_QUADS, 0, quads * 4);
    }
    SubmitCounts& counts = submitCounts();
    counts.calls += 1;
    counts.bytes += static_cast<double>(quads) * 4 * sizeof(GLfloat) * cornerFloats(lit);
}

}  // namespace

void submitQuadsImmediate(const Scene& scene, int32_t ringCount) {
    const TubeVertex* vertices = scene.vertices;
    const bool lit = scene.lightingOn;
    const bool twice = !scene.quickDraw;
    double quads = 0;
    glBegin(GL_QUADS);
    forEachQuad(scene, ringCount,
                [&](const TubeVertex& vertex, const GLubyte colour[4], int32_t a, int32_t b, int32_t c, int32_t d) {
                    glColor4ub(colour[0], colour[1], colour[2], colour[3]);
                    if (lit) glNormal3d(vertex.normal[0], vertex.normal[1], vertex.normal[2]);
                    sendQuad(vertices, a, b, c, d);
                    if (twice) sendQuad(vertices, a, b, c, d);
                    quads += 1;
                });
    glEnd();
    // Per quad: a colour (4 bytes), a normal when lit (24), four or eight corners (24 each).
    const double corners = twice ? 8 : 4;
    SubmitCounts& counts = submitCounts();
    counts.calls += 2 + quads * (1 + (lit ? 1 : 0) + corners);
    counts.bytes += quads * (4 + (lit ? 24 : 0) + corners * 24);
}

void submitQuadArrays(const Scene& scene, int32_t ringCount) {
    const TubeVertex* vertices = scene.vertices;
    const bool lit = scene.lightingOn;
    const int32_t copies = scene.quickDraw ? 1 : 2;
    QuadArrays& q = quadArrays;
    const GLfloat* toFloat = byteColourTable();
    glVertexPointer(3, GL_FLOAT, 0, q.position);
    glColorPointer(4, GL_FLOAT, 0, q.colour);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    if (lit) {
        glNormalPointer(GL_FLOAT, 0, q.normal);
        glEnableClientState(GL_NORMAL_ARRAY);
    }
    submitCounts().calls += lit ? 10 : 7;  // pointers, enables and disables
    int32_t quads = 0;
    forEachQuad(scene, ringCount,
                [&](const TubeVertex& vertex, const GLubyte colour[4], int32_t a, int32_t b, int32_t c, int32_t d) {
                    const int32_t corners[4] = {a, b, c, d};
                    for (int32_t copy = 0; copy < copies; ++copy) {
                        if (quads == kArrayQuads) {
                            drawQuadArrays(quads, lit);
                            quads = 0;
                        }
                        for (int k = 0; k < 4; ++k) {
                            const int32_t slot = quads * 4 + k;
                            const TubeVertex& corner = vertices[corners[k]];
                            for (int e = 0; e < 3; ++e) {
                                q.position[slot][e] = static_cast<GLfloat>(corner.position[e]);
                                q.normal[slot][e] = static_cast<GLfloat>(vertex.normal[e]);
                            }
                            for (int e = 0; e < 4; ++e) q.colour[slot][e] = toFloat[colour[e]];
                        }
                        ++quads;
                    }
                });
    drawQuadArrays(quads, lit);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    if (lit) glDisableClientState(GL_NORMAL_ARRAY);
}
