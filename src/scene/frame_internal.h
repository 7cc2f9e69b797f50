// Helpers shared by the frame renderer's files: quad colours and corners, GL call timing, the arrays.
#pragma once

#include <cstdint>

#include "scene/frame_steps.h"
#include "scene/gl_includes.h"
#include "scene/scene.h"

// Low 8 bits of a truncated colour or alpha value, as OpenGL receives it.
inline GLubyte colourByte(double value) { return static_cast<GLubyte>(static_cast<int32_t>(value) & 0xFF); }

// A quad's colour as four bytes: the vertex's colour scaled by the fade f, with opacity alphaByte, or
// for pure red (the lowest escape counts) an opacity that grows with the red value and fades.
inline void quadColour(const TubeVertex& vertex, double f, GLubyte alphaByte, GLubyte colour[4]) {
    const int32_t red = vertex.red;
    colour[0] = colourByte(red * f);
    if (vertex.green > 0 || vertex.blue > 0) {
        colour[1] = colourByte(vertex.green * f);
        colour[2] = colourByte(vertex.blue * f);
        colour[3] = alphaByte;
    } else {
        colour[1] = 0;
        colour[2] = 0;
        colour[3] = colourByte(red * (3.0 - red / 255.0) / 2.0 * f);
    }
}

// True when vertex v starts a quad that is drawn: its ring has a next ring, and it is not a hole.
inline bool startsDrawnQuad(const Scene& scene, int32_t v) {
    if (v + scene.ringSize >= scene.vertexCount - 1) return false;
    const TubeVertex& vertex = scene.vertices[v];
    return vertex.red != 0 || vertex.green != 0 || vertex.blue != 0;
}

// The four corners of the quad that vertex v starts, in drawing order. The last position of a ring
// (`last`) closes it: back to the first vertex of this ring and of the next.
inline void quadCorners(int32_t v, bool last, int32_t ringSize, int32_t corners[4]) {
    const int32_t w = v + ringSize;
    corners[0] = v;
    corners[1] = last ? v + 1 - ringSize : v + 1;
    corners[2] = last ? v + 1 : w + 1;
    corners[3] = w;
}

// Floats per corner in the vertex arrays and buffers: position, normal when lit, colour.
inline int32_t cornerFloats(bool lit) { return lit ? 10 : 7; }

inline GLubyte alphaByteOf(const Scene& scene) { return colourByte(static_cast<double>(scene.alpha) * 255.0); }

// Colour bytes as GL floats, exactly as glColor4ub converts them (c / 255 in single precision).
// Byte colour arrays are converted differently by some implementations (Mesa), off by 1/255 after
// lighting; float arrays give immediate mode's pixels.
const GLfloat* byteColourTable();

// Time inside a GL call by submitCounts().clock, added to its glSeconds when a clock is set.
class GlCallTimer {
public:
    GlCallTimer() : clock_(submitCounts().clock), start_(clock_ != nullptr ? clock_() : 0) {}
    ~GlCallTimer() {
        if (clock_ != nullptr) submitCounts().glSeconds += clock_() - start_;
    }
    GlCallTimer(const GlCallTimer&) = delete;
    GlCallTimer& operator=(const GlCallTimer&) = delete;

private:
    double (*clock_)();
    double start_;
};

// Client-side arrays for one batch of quads; GL reads them during glDrawArrays only.
constexpr int32_t kArrayQuads = 2048;  // quads per glDrawArrays call
struct QuadArrays {
    GLfloat position[kArrayQuads * 4][3];  // corner positions, as glVertex3d hands them to GL
    GLfloat normal[kArrayQuads * 4][3];    // the quad's normal at every corner
    GLfloat colour[kArrayQuads * 4][4];    // the quad's colour at every corner (bytes / 255)
};
extern QuadArrays quadArrays;  // one thread draws; reused by every frame, and as the buffers' staging area
