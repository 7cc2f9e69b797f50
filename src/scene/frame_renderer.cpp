// Draws one frame of the scene: placement, eye, light and materials, rings far to near, quads per ring.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "scene/gl_context_record.h"
#include "scene/gl_includes.h"
#include "scene/scene.h"

namespace {

// A byte offset into the bound buffer object, in the pointer argument GL takes for it.
const void* bufferOffset(size_t bytes) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(bytes)); }

constexpr double kPi = 3.14159265358979323846;

// Low 8 bits of a truncated colour or alpha value, as OpenGL receives it.
GLubyte colourByte(double value) {
    return static_cast<GLubyte>(static_cast<int32_t>(value) & 0xFF);
}

// A quad's colour as four bytes: the vertex's colour scaled by the fade f, with opacity alphaByte, or
// for pure red (the lowest escape counts) an opacity that grows with the red value and fades.
void quadColour(const TubeVertex& vertex, double f, GLubyte alphaByte, GLubyte colour[4]) {
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
bool startsDrawnQuad(const Scene& scene, int32_t v) {
    if (v + scene.ringSize >= scene.vertexCount - 1) return false;
    const TubeVertex& vertex = scene.vertices[v];
    return vertex.red != 0 || vertex.green != 0 || vertex.blue != 0;
}

// The four corners of the quad that vertex v starts, in drawing order. The last position of a ring
// (`last`) closes it: back to the first vertex of this ring and of the next.
void quadCorners(int32_t v, bool last, int32_t ringSize, int32_t corners[4]) {
    const int32_t w = v + ringSize;
    corners[0] = v;
    corners[1] = last ? v + 1 - ringSize : v + 1;
    corners[2] = last ? v + 1 : w + 1;
    corners[3] = w;
}

// Floats per corner in the vertex arrays and buffers: position, normal when lit, colour.
int32_t cornerFloats(bool lit) { return lit ? 10 : 7; }

GLubyte alphaByteOf(const Scene& scene) {
    return colourByte(static_cast<double>(scene.alpha) * 255.0);
}

// Colour bytes as GL floats, exactly as glColor4ub converts them (c / 255 in single precision).
// Byte colour arrays are converted differently by some implementations (Mesa), off by 1/255 after
// lighting; float arrays give immediate mode's pixels.
const GLfloat* byteColourTable() {
    static GLfloat table[256];
    static const bool ready = [] {
        for (int i = 0; i < 256; ++i) table[i] = static_cast<GLfloat>(i) / 255.0f;
        return true;
    }();
    (void)ready;
    return table;
}

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

void setLightAndMaterials(const Scene& scene) {
    const double g = scene.gloss;
    const double f = scene.fade;

    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, scene.lightTwoSides ? 1 : 0);
    const float modelAmbient = static_cast<float>(0.2 + 0.06 * g);
    const GLfloat ambientModel[4] = {modelAmbient, modelAmbient, modelAmbient, 1.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambientModel);

    // Given with the model transform loaded: the light is a fixed point of the model and turns with it.
    const float d = scene.lightDistance;
    const GLfloat position[4] = {-d, -d, -d, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    const float lightAmbient = static_cast<float>(1.0 - 0.05 * g);
    const GLfloat ambient[4] = {lightAmbient, lightAmbient, lightAmbient, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    const float lightDiffuse = static_cast<float>(1.0 - 0.09 * g);
    const GLfloat diffuse[4] = {lightDiffuse, lightDiffuse, lightDiffuse, 1.0f};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    const float lightSpecular = static_cast<float>(0.1 + 0.09 * g);
    const GLfloat specular[4] = {lightSpecular, lightSpecular, lightSpecular, 0.0f};
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);

    const float opacity = static_cast<float>(f);
    const GLfloat materialAmbient[4] = {0.1f, 0.1f, 0.9f, opacity};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, materialAmbient);
    const GLfloat backDiffuse[4] = {0.0f, 0.0f, 0.0f, opacity};
    glMaterialfv(GL_BACK, GL_DIFFUSE, backDiffuse);
    const double h = (0.1 + 0.08 * g) * f;
    const GLfloat materialSpecular[4] = {static_cast<float>(h / 2), static_cast<float>(h), static_cast<float>(h),
                                         opacity};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, materialSpecular);
    const GLfloat shininess = static_cast<float>(7.0 + 12.0 * g);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, &shininess);
    glShadeModel(GL_SMOOTH);
}

void sendVertex(const TubeVertex& vertex) {
    glVertex3d(vertex.position[0], vertex.position[1], vertex.position[2]);
}

void sendQuad(const TubeVertex* vertices, int32_t a, int32_t b, int32_t c, int32_t d) {
    sendVertex(vertices[a]);
    sendVertex(vertices[b]);
    sendVertex(vertices[c]);
    sendVertex(vertices[d]);
}

}  // namespace

bool ringFartherFirst(const TubeRing& a, const TubeRing& b) {
    return a.sortKey > b.sortKey;
}

void eyeInModelSpace(float x, float z, float angle, double eye[3]) {
    // Undo the frame's rotation: turn (-x, 0, -z) by -2 * angle degrees about the unit axis
    // (1, 0.5, 0.5) / sqrt(1.5), with the right-hand sense of glRotated (Rodrigues' formula).
    const float k0 = static_cast<float>(1.0 / std::sqrt(1.5));
    const float k1 = static_cast<float>(0.5 / std::sqrt(1.5));
    const double k[3] = {k0, k1, k1};
    const double p[3] = {-static_cast<double>(x), 0.0, -static_cast<double>(z)};
    const double theta = -2.0 * static_cast<double>(angle) * kPi / 180.0;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const double cross[3] = {k[1] * p[2] - k[2] * p[1], k[2] * p[0] - k[0] * p[2], k[0] * p[1] - k[1] * p[0]};
    const double dot = k[0] * p[0] + k[1] * p[1] + k[2] * p[2];
    for (int i = 0; i < 3; ++i) eye[i] = p[i] * c + cross[i] * s + k[i] * dot * (1.0 - c);
}

void prepareFrame(Scene& scene, double eye[3]) {
    // Each context keeps its own lighting switch: a build switches only the context current then.
    GlContextRecord& context = scene.currentGlContext();
    if (context.lightingApplied != scene.lightingOn) {
        switchLighting(scene.lightingOn);
        context.lightingApplied = scene.lightingOn;
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();

    // Placement: the model swings between 2.5 and 3.5 units in front of the eye as the angle grows.
    const float x = scene.offsetX;
    const float phase = 0.02f * scene.angle;
    const float z = static_cast<float>(0.5 * std::cos(static_cast<double>(phase)) - 3.0);
    glTranslated(x, 0.0, z);
    glRotated(2.0 * static_cast<double>(scene.angle), 1.0, 0.5, 0.5);

    eyeInModelSpace(x, z, scene.angle, eye);

    if (scene.lightingOn) setLightAndMaterials(scene);
}

int32_t sortRingsForEye(Scene& scene, const double eye[3]) {
    if (scene.rings == nullptr || scene.ringSize <= 0) return 0;
    const int32_t ringCount = scene.vertexCount / scene.ringSize;
    TubeRing* rings = scene.rings;
    const double ex = static_cast<float>(eye[0]);
    const double ey = static_cast<float>(eye[1]);
    const double ez = static_cast<float>(eye[2]);
    for (int32_t r = 0; r < ringCount; ++r) {
        const double* c = rings[r].centre;
        rings[r].sortKey = (c[0] - ex) * (c[0] - ex) + (c[1] - ey) * (c[1] - ey) + (c[2] - ez) * (c[2] - ez);
    }
    std::sort(rings, rings + ringCount, ringFartherFirst);
    return ringCount;
}

void markFacing(Scene& scene, const double eye[3], int32_t ringCount) {
    TubeVertex* vertices = scene.vertices;
    const int32_t ringSize = scene.ringSize;
    for (int32_t r = 0; r < ringCount; ++r) {
        const int32_t first = scene.rings[r].firstVertex;
        for (int32_t j = 0; j < ringSize; ++j) {
            const int32_t v = first + j;
            if (v + ringSize >= scene.vertexCount - 1) continue;  // no quad here
            TubeVertex& vertex = vertices[v];
            if (vertex.red == 0 && vertex.green == 0 && vertex.blue == 0) continue;  // a hole
            const double s = vertex.normal[0] * (eye[0] - vertex.position[0]) +
                             vertex.normal[1] * (eye[1] - vertex.position[1]) +
                             vertex.normal[2] * (eye[2] - vertex.position[2]);
            vertex.facing = s >= 0 ? 1 : 255;
        }
    }
}

namespace {

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

// Client-side arrays for one batch of quads; GL reads them during glDrawArrays only.
constexpr int32_t kArrayQuads = 2048;  // quads per glDrawArrays call
struct QuadArrays {
    GLfloat position[kArrayQuads * 4][3];  // corner positions, as glVertex3d hands them to GL
    GLfloat normal[kArrayQuads * 4][3];    // the quad's normal at every corner
    GLfloat colour[kArrayQuads * 4][4];    // the quad's colour at every corner (bytes / 255)
};
QuadArrays quadArrays;  // one thread draws; reused by every frame, and as the buffers' staging area

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


namespace {

// layOutQuads without its guard against allocation failures.
bool makeQuadLayout(Scene& scene) {
    if (scene.vertices == nullptr || scene.rings == nullptr || scene.ringSize <= 0) return false;
    if (!scene.quadLayout) scene.quadLayout.reset(new QuadLayout);
    QuadLayout& layout = *scene.quadLayout;
    if (layout.made && layout.serial == scene.imageSerial) return true;

    const TubeVertex* vertices = scene.vertices;
    const int32_t ringSize = scene.ringSize;
    const int32_t ringCount = scene.vertexCount / ringSize;
    layout.ringFirstQuad.assign(static_cast<size_t>(ringCount) + 1, 0);
    layout.quadVertex.clear();
    layout.plane.clear();
    double bound = 0;
    for (int32_t k = 0; k < ringCount; ++k) {
        layout.ringFirstQuad[k] = static_cast<int32_t>(layout.quadVertex.size());
        for (int32_t j = 0; j < ringSize; ++j) {
            const int32_t v = k * ringSize + j;
            if (!startsDrawnQuad(scene, v)) continue;
            const TubeVertex& vertex = vertices[v];
            layout.quadVertex.push_back(v);
            const double* n = vertex.normal;
            const double* p = vertex.position;
            const double offset = -(n[0] * p[0] + n[1] * p[1] + n[2] * p[2]);
            const double values[4] = {n[0], n[1], n[2], offset};
            for (double value : values) {
                layout.plane.push_back(static_cast<float>(value));
                bound = std::max(bound, std::fabs(value));
            }
        }
    }
    layout.ringFirstQuad[ringCount] = static_cast<int32_t>(layout.quadVertex.size());
    layout.ringCount = ringCount;
    layout.quadCount = static_cast<int32_t>(layout.quadVertex.size());
    layout.planeBound = bound;
    layout.facing.assign(layout.quadVertex.size(), 0);
    layout.serial = scene.imageSerial;
    layout.made = true;
    return true;
}

// Finds every quad's facing as markFacing would (1: towards the eye). A single-precision dot product
// decides where its error bound allows; the few quads too close to edge-on get markFacing's own
// double-precision test, so the result is the same quad for quad.
void findFacing(const Scene& scene, QuadLayout& layout, const double eye[3]) {
    const float e[3] = {static_cast<float>(eye[0]), static_cast<float>(eye[1]), static_cast<float>(eye[2])};
    const double eyeBound = std::max({std::fabs(eye[0]), std::fabs(eye[1]), std::fabs(eye[2])});
    // Each of the four products and sums is off by at most a few units in the last place of the
    // largest term; 1e-5 of the terms' total leaves a margin of more than a hundred.
    const float tolerance = static_cast<float>(1e-5 * layout.planeBound * (3.0 * eyeBound + 1.0) + 1e-30);
    const float* plane = layout.plane.data();
    uint8_t* facing = layout.facing.data();
    const int32_t quads = layout.quadCount;
    int32_t nearEdge = 0;
    for (int32_t q = 0; q < quads; ++q) {
        const float* p = plane + 4 * q;
        const float s = p[0] * e[0] + p[1] * e[1] + p[2] * e[2] + p[3];
        const bool close = std::fabs(s) <= tolerance;
        facing[q] = static_cast<uint8_t>((s >= 0.0f ? 1 : 0) | (close ? 2 : 0));
        nearEdge += close;
    }
    if (nearEdge == 0) return;
    const TubeVertex* vertices = scene.vertices;
    for (int32_t q = 0; q < quads; ++q) {
        if ((facing[q] & 2) == 0) continue;
        const TubeVertex& vertex = vertices[layout.quadVertex[q]];
        const double s = vertex.normal[0] * (eye[0] - vertex.position[0]) +
                         vertex.normal[1] * (eye[1] - vertex.position[1]) +
                         vertex.normal[2] * (eye[2] - vertex.position[2]);
        facing[q] = s >= 0 ? 1 : 0;
    }
}

// Adds quads [first, first + count) to the ranges, joining a range that ends where this one starts.
void addRange(QuadLayout& layout, int32_t first, int32_t count) {
    if (!layout.rangeFirst.empty() && layout.rangeFirst.back() + layout.rangeCount.back() == first) {
        layout.rangeCount.back() += count;
        return;
    }
    layout.rangeFirst.push_back(first);
    layout.rangeCount.push_back(count);
}

// Clears errors left by earlier calls, so that the next glGetError speaks of what follows.
void clearGlErrors() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

// Bytes of the vertex buffer (all positions, then all normals when lit, then all colours) and of the
// index buffer (every quad's corners twice).
size_t vertexBufferBytes(int32_t quads, bool lit) {
    return static_cast<size_t>(quads) * 4 * cornerFloats(lit) * sizeof(GLfloat);
}
size_t indexBufferBytes(int32_t quads) { return static_cast<size_t>(quads) * 8 * sizeof(GLuint); }

// Gives the current context's buffers storage for the image's quads, with no data yet (the old
// storage goes). False when GL cannot give it.
bool startUpload(const Scene& scene, const QuadLayout& layout, GlContextRecord& context) {
    const GlBufferProcs& gl = context.procs;
    BufferUpload& upload = context.upload;
    upload = BufferUpload{};
    upload.lit = scene.lightingOn;
    upload.twice = !scene.quickDraw;
    upload.alpha = scene.alpha;
    upload.serial = scene.imageSerial;
    if (context.vertexBuffer == 0) gl.genBuffers(1, &context.vertexBuffer);
    if (upload.twice && context.indexBuffer == 0) gl.genBuffers(1, &context.indexBuffer);
    if (context.vertexBuffer == 0 || (upload.twice && context.indexBuffer == 0)) return false;
    clearGlErrors();
    GlCallTimer timer;
    gl.bindBuffer(kGlArrayBuffer, context.vertexBuffer);
    gl.bufferData(kGlArrayBuffer, static_cast<std::ptrdiff_t>(vertexBufferBytes(layout.quadCount, upload.lit)),
                  nullptr, kGlStaticDraw);
    gl.bindBuffer(kGlArrayBuffer, 0);
    if (upload.twice) {
        gl.bindBuffer(kGlElementArrayBuffer, context.indexBuffer);
        gl.bufferData(kGlElementArrayBuffer, static_cast<std::ptrdiff_t>(indexBufferBytes(layout.quadCount)),
                      nullptr, kGlStaticDraw);
        gl.bindBuffer(kGlElementArrayBuffer, 0);
    }
    upload.started = glGetError() == GL_NO_ERROR;
    return upload.started;
}

// Index staging for one batch of quads drawn twice; the corners go through quadArrays.
GLuint indexStaging[kArrayQuads * 8];

// Fills quads [first, first + count) at fade 1 into the staging area and hands them to the buffers,
// in the layout submitQuadArrays sends them in (an interleaved layout gave different pixels from the
// client arrays on Mesa). count is at most kArrayQuads.
void uploadBatch(const Scene& scene, const QuadLayout& layout, const GlContextRecord& context, int32_t first,
                 int32_t count) {
    const GlBufferProcs& gl = context.procs;
    const bool lit = context.upload.lit;
    QuadArrays& q = quadArrays;
    const TubeVertex* vertices = scene.vertices;
    const int32_t ringSize = scene.ringSize;
    const GLubyte alphaByte = alphaByteOf(scene);
    const GLfloat* toFloat = byteColourTable();
    for (int32_t i = 0; i < count; ++i) {
        const int32_t v = layout.quadVertex[first + i];
        const TubeVertex& vertex = vertices[v];
        GLubyte colour[4];
        quadColour(vertex, 1.0, alphaByte, colour);
        int32_t corners[4];
        quadCorners(v, v % ringSize == ringSize - 1, ringSize, corners);
        for (int k = 0; k < 4; ++k) {
            const int32_t slot = i * 4 + k;
            for (int e = 0; e < 3; ++e) {
                q.position[slot][e] = static_cast<GLfloat>(vertices[corners[k]].position[e]);
                q.normal[slot][e] = static_cast<GLfloat>(vertex.normal[e]);
            }
            for (int e = 0; e < 4; ++e) q.colour[slot][e] = toFloat[colour[e]];
        }
    }
    // Each block of the buffer holds its values for all quads: the batch goes to three places.
    const size_t corners = static_cast<size_t>(layout.quadCount) * 4;
    const size_t firstCorner = static_cast<size_t>(first) * 4;
    const size_t batchCorners = static_cast<size_t>(count) * 4;
    struct Part {
        size_t blockStart;  // in floats
        int floats;         // per corner
        const void* data;
    };
    const Part parts[3] = {{0, 3, q.position}, {corners * 3, 3, q.normal}, {corners * (lit ? 6 : 3), 4, q.colour}};
    GlCallTimer timer;
    SubmitCounts& counts = submitCounts();
    gl.bindBuffer(kGlArrayBuffer, context.vertexBuffer);
    for (const Part& part : parts) {
        if (part.data == q.normal && !lit) continue;
        const size_t bytes = batchCorners * part.floats * sizeof(GLfloat);
        gl.bufferSubData(kGlArrayBuffer,
                         static_cast<std::ptrdiff_t>((part.blockStart + firstCorner * part.floats) * sizeof(GLfloat)),
                         static_cast<std::ptrdiff_t>(bytes), part.data);
        counts.uploadBytes += static_cast<double>(bytes);
    }
    gl.bindBuffer(kGlArrayBuffer, 0);
    if (context.upload.twice) {
        for (int32_t i = 0; i < count; ++i)
            for (int copy = 0; copy < 2; ++copy)
                for (int k = 0; k < 4; ++k) indexStaging[8 * i + 4 * copy + k] = static_cast<GLuint>(4 * (first + i) + k);
        const size_t bytes = static_cast<size_t>(count) * 8 * sizeof(GLuint);
        gl.bindBuffer(kGlElementArrayBuffer, context.indexBuffer);
        gl.bufferSubData(kGlElementArrayBuffer, static_cast<std::ptrdiff_t>(indexBufferBytes(first)),
                         static_cast<std::ptrdiff_t>(bytes), indexStaging);
        gl.bindBuffer(kGlElementArrayBuffer, 0);
        counts.uploadBytes += static_cast<double>(bytes);
    }
}

// The buffers hold (or are being filled with) this image as this frame would draw it.
bool uploadMatches(const Scene& scene, const GlContextRecord& context) {
    const BufferUpload& upload = context.upload;
    return upload.started && upload.serial == scene.imageSerial && upload.lit == scene.lightingOn &&
           upload.alpha == scene.alpha && (upload.twice || scene.quickDraw);
}

// Takes the upload up to `quads` more quads further, after giving the buffers storage where they have
// none for this image. False when GL failed on the way.
bool continueUpload(const Scene& scene, const QuadLayout& layout, GlContextRecord& context, int32_t quads) {
    if (!uploadMatches(scene, context)) {
        if (!startUpload(scene, layout, context)) return false;
    }
    BufferUpload& upload = context.upload;
    const int32_t end = std::min(layout.quadCount, upload.quadsDone + std::max(quads, 0));
    if (upload.quadsDone >= end) return true;
    clearGlErrors();
    while (upload.quadsDone < end) {
        const int32_t count = std::min(kArrayQuads, end - upload.quadsDone);
        uploadBatch(scene, layout, context, upload.quadsDone, count);
        upload.quadsDone += count;
    }
    return glGetError() == GL_NO_ERROR;
}

// Out of buffer memory, most likely: give the memory back and draw this image from client arrays here.
void abandonUpload(Scene& scene, GlContextRecord& context) {
    scene.deleteCurrentBuffers();
    context.uploadFailed = true;
    context.failedSerial = scene.imageSerial;
}

// The current context's record, with its buffer entry points looked up; null where it has none or
// where this image failed to upload before.
GlContextRecord* bufferContext(Scene& scene) {
    if (scene.glApi == nullptr) return nullptr;
    GlContextRecord& context = scene.currentGlContext();
    if (!context.probed) {
        context.probed = true;
        loadGlBufferProcs(*scene.glApi, &context.procs);
    }
    if (context.procs.bindBuffer == nullptr) return nullptr;
    if (context.uploadFailed && context.failedSerial == scene.imageSerial) return nullptr;
    return &context;
}

// Takes the current context's upload `quads` further (all the way: INT32_MAX). False, the buffers
// given up for this image in this context, when it failed.
bool advanceUpload(Scene& scene, int32_t quads) {
    GlContextRecord* context = bufferContext(scene);
    if (context == nullptr || !layOutQuads(scene)) return false;
    if (continueUpload(scene, *scene.quadLayout, *context, quads)) return true;
    abandonUpload(scene, *context);
    return false;
}

}  // namespace

bool layOutQuads(Scene& scene) {
    try {
        return makeQuadLayout(scene);
    } catch (const std::bad_alloc&) {
        scene.quadLayout.reset();  // what it holds is of no use half made
        return false;
    }
}

bool uploadStep(Scene& scene) {
    if (!layOutQuads(scene)) return false;
    const int32_t share = (scene.quadLayout->quadCount + kUploadSteps - 1) / kUploadSteps;
    return advanceUpload(scene, share);
}

namespace {

// buildQuadRanges without its guard against allocation failures.
bool findQuadRanges(Scene& scene, const double eye[3], int32_t ringCount) {
    if (!layOutQuads(scene)) return false;
    QuadLayout& layout = *scene.quadLayout;
    layout.rangeFirst.clear();
    layout.rangeCount.clear();
    if (ringCount > layout.ringCount) return false;
    findFacing(scene, layout, eye);

    const uint8_t* facing = layout.facing.data();
    const int32_t ringSize = scene.ringSize;
    for (int32_t r = 0; r < ringCount; ++r) {
        const int32_t firstVertex = scene.rings[r].firstVertex;
        if (firstVertex < 0 || firstVertex % ringSize != 0 || firstVertex / ringSize >= layout.ringCount) {
            return false;  // not a ring of this layout
        }
        const int32_t k = firstVertex / ringSize;
        const int32_t begin = layout.ringFirstQuad[k];
        const int32_t end = layout.ringFirstQuad[k + 1];
        for (int pass = 0; pass < 2; ++pass) {
            const uint8_t wanted = pass == 0 ? 0 : 1;  // away from the eye first
            int32_t q = begin;
            while (q < end) {
                if (facing[q] != wanted) {
                    ++q;
                    continue;
                }
                const int32_t start = q;
                while (q < end && facing[q] == wanted) ++q;
                addRange(layout, start, q - start);
            }
        }
    }
    return true;
}

}  // namespace

bool buildQuadRanges(Scene& scene, const double eye[3], int32_t ringCount) {
    try {
        return findQuadRanges(scene, eye, ringCount);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

namespace {

// The draw calls of drawQuadRanges, once its upload is complete.
void drawFromBuffers(const Scene& scene, const GlContextRecord& context) {
    const QuadLayout& layout = *scene.quadLayout;
    const GlBufferProcs& gl = context.procs;
    const bool lit = scene.lightingOn;
    const bool twice = !scene.quickDraw;
    // Per range: first corner (quads drawn once) or byte offset into the index buffer, and its corners
    // or indices. Sized before any GL state changes, so that a failure to grow them leaves GL as it was.
    static std::vector<GLint> firsts;
    static std::vector<GLsizei> sizes;
    static std::vector<const void*> offsets;
    const size_t ranges = layout.rangeFirst.size();
    sizes.resize(ranges);
    if (twice) {
        offsets.resize(ranges);
    } else {
        firsts.resize(ranges);
    }
    for (size_t i = 0; i < ranges; ++i) {
        sizes[i] = (twice ? 8 : 4) * layout.rangeCount[i];
        if (twice) {
            offsets[i] = bufferOffset(static_cast<size_t>(layout.rangeFirst[i]) * 8 * sizeof(GLuint));
        } else {
            firsts[i] = 4 * layout.rangeFirst[i];
        }
    }

    const size_t corners = static_cast<size_t>(layout.quadCount) * 4;
    gl.bindBuffer(kGlArrayBuffer, context.vertexBuffer);
    glVertexPointer(3, GL_FLOAT, 0, bufferOffset(0));
    if (lit) glNormalPointer(GL_FLOAT, 0, bufferOffset(corners * 3 * sizeof(GLfloat)));
    glColorPointer(4, GL_FLOAT, 0, bufferOffset(corners * (lit ? 6 : 3) * sizeof(GLfloat)));
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    if (lit) glEnableClientState(GL_NORMAL_ARRAY);

    SubmitCounts& counts = submitCounts();
    counts.calls += lit ? 7 : 5;
    if (!twice) {
        GlCallTimer timer;
        if (gl.multiDrawArrays != nullptr) {
            gl.multiDrawArrays(GL_QUADS, firsts.data(), sizes.data(), static_cast<GLsizei>(ranges));
            counts.calls += 1;
            counts.bytes += static_cast<double>(ranges) * (sizeof(GLint) + sizeof(GLsizei));
        } else {
            for (size_t i = 0; i < ranges; ++i) glDrawArrays(GL_QUADS, firsts[i], sizes[i]);
            counts.calls += static_cast<double>(ranges);
        }
    } else {
        gl.bindBuffer(kGlElementArrayBuffer, context.indexBuffer);
        {
            GlCallTimer timer;
            if (gl.multiDrawElements != nullptr) {
                gl.multiDrawElements(GL_QUADS, sizes.data(), GL_UNSIGNED_INT, offsets.data(),
                                     static_cast<GLsizei>(ranges));
                counts.calls += 1;
                counts.bytes += static_cast<double>(ranges) * (sizeof(GLsizei) + sizeof(const void*));
            } else {
                for (size_t i = 0; i < ranges; ++i) glDrawElements(GL_QUADS, sizes[i], GL_UNSIGNED_INT, offsets[i]);
                counts.calls += static_cast<double>(ranges);
            }
        }
        gl.bindBuffer(kGlElementArrayBuffer, 0);
        counts.calls += 2;
    }
    gl.bindBuffer(kGlArrayBuffer, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    if (lit) glDisableClientState(GL_NORMAL_ARRAY);
}

}  // namespace

bool drawQuadRanges(Scene& scene) {
    if (!scene.quadLayout || !scene.quadLayout->made || scene.quadLayout->serial != scene.imageSerial) return false;
    if (scene.quadLayout->quadCount == 0) return bufferContext(scene) != nullptr;  // nothing to draw
    // A context that missed the fade-in (or an image edited since) finishes its upload now.
    if (!advanceUpload(scene, INT32_MAX)) return false;
    try {
        drawFromBuffers(scene, scene.currentGlContext());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool submitQuadBuffers(Scene& scene, const double eye[3], int32_t ringCount) {
    // The buffers hold the colours of a faded-in image; a fade changes them every frame.
    if (scene.fade != 1.0 || bufferContext(scene) == nullptr) return false;
    if (!buildQuadRanges(scene, eye, ringCount)) return false;
    return drawQuadRanges(scene);
}

SubmitCounts& submitCounts() {
    static SubmitCounts counts;
    return counts;
}

void Scene::renderFrame() {
    double eye[3];
    prepareFrame(*this, eye);
    const int32_t ringCount = sortRingsForEye(*this, eye);
    const bool buffers = vertexArrays && bufferObjects;
    if (!(buffers && submitQuadBuffers(*this, eye, ringCount))) {
        markFacing(*this, eye, ringCount);
        if (vertexArrays) {
            submitQuadArrays(*this, ringCount);
        } else {
            submitQuadsImmediate(*this, ringCount);
        }
    }
    if (buffers && fade < 1.0) {
        if (fadingIn) {
            if (vertexCount > 0) uploadStep(*this);  // the buffers are filled while the image fades in
        } else {
            deleteCurrentBuffers();  // fading out, or no image: its buffers are drawn no more
        }
    }
    glFlush();
}
