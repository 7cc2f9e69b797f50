// Draws one frame of the scene: placement, eye, light and materials, rings far to near, quads per ring.
#include <algorithm>
#include <cmath>

#include "scene/gl_includes.h"
#include "scene/scene.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Low 8 bits of a truncated colour or alpha value, as OpenGL receives it.
GLubyte colourByte(double value) {
    return static_cast<GLubyte>(static_cast<int32_t>(value) & 0xFF);
}

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
    const GLubyte alphaByte = colourByte(static_cast<double>(scene.alpha) * 255.0);
    for (int32_t r = 0; r < ringCount; ++r) {
        const int32_t first = scene.rings[r].firstVertex;
        for (int pass = 0; pass < 2; ++pass) {
            const uint8_t wanted = pass == 0 ? 255 : 1;
            for (int32_t j = 0; j < ringSize; ++j) {
                const int32_t v = first + j;
                const int32_t w = v + ringSize;
                if (w >= scene.vertexCount - 1) continue;
                const TubeVertex& vertex = vertices[v];
                if (vertex.red == 0 && vertex.green == 0 && vertex.blue == 0) continue;  // a hole
                if (vertex.facing != wanted) continue;

                GLubyte colour[4];
                const int32_t red = vertex.red;
                if (vertex.green > 0 || vertex.blue > 0) {
                    colour[0] = colourByte(red * f);
                    colour[1] = colourByte(vertex.green * f);
                    colour[2] = colourByte(vertex.blue * f);
                    colour[3] = alphaByte;
                } else {
                    // Pure red (the lowest escape counts): opacity grows with the red value and fades.
                    colour[0] = colourByte(red * f);
                    colour[1] = 0;
                    colour[2] = 0;
                    colour[3] = colourByte(red * (3.0 - red / 255.0) / 2.0 * f);
                }
                // The last position closes the ring: back to the first vertex of this ring and of the next.
                const bool last = j == ringSize - 1;
                const int32_t nextV = last ? v + 1 - ringSize : v + 1;
                const int32_t nextW = last ? v + 1 : w + 1;
                emit(vertex, colour, v, nextV, nextW, w);
            }
        }
    }
}

// Client-side arrays for one batch of quads; GL reads them during glDrawArrays only.
constexpr int32_t kArrayQuads = 2048;  // quads per glDrawArrays call
struct QuadArrays {
    GLfloat position[kArrayQuads * 4][3];  // corner positions, as glVertex3d hands them to GL
    GLfloat normal[kArrayQuads * 4][3];    // the quad's normal at every corner
    GLubyte colour[kArrayQuads * 4][4];    // the quad's colour at every corner
};
QuadArrays quadArrays;  // one thread draws; reused by every frame

void drawQuadArrays(int32_t quads) {
    if (quads > 0) glDrawArrays(GL_QUADS, 0, quads * 4);
}

}  // namespace

void submitQuadsImmediate(const Scene& scene, int32_t ringCount) {
    const TubeVertex* vertices = scene.vertices;
    const bool lit = scene.lightingOn;
    const bool twice = !scene.quickDraw;
    glBegin(GL_QUADS);
    forEachQuad(scene, ringCount,
                [&](const TubeVertex& vertex, const GLubyte colour[4], int32_t a, int32_t b, int32_t c, int32_t d) {
                    glColor4ub(colour[0], colour[1], colour[2], colour[3]);
                    if (lit) glNormal3d(vertex.normal[0], vertex.normal[1], vertex.normal[2]);
                    sendQuad(vertices, a, b, c, d);
                    if (twice) sendQuad(vertices, a, b, c, d);
                });
    glEnd();
}

void submitQuadArrays(const Scene& scene, int32_t ringCount) {
    const TubeVertex* vertices = scene.vertices;
    const bool lit = scene.lightingOn;
    const int32_t copies = scene.quickDraw ? 1 : 2;
    QuadArrays& q = quadArrays;
    glVertexPointer(3, GL_FLOAT, 0, q.position);
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, q.colour);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    if (lit) {
        glNormalPointer(GL_FLOAT, 0, q.normal);
        glEnableClientState(GL_NORMAL_ARRAY);
    }
    int32_t quads = 0;
    forEachQuad(scene, ringCount,
                [&](const TubeVertex& vertex, const GLubyte colour[4], int32_t a, int32_t b, int32_t c, int32_t d) {
                    const int32_t corners[4] = {a, b, c, d};
                    for (int32_t copy = 0; copy < copies; ++copy) {
                        if (quads == kArrayQuads) {
                            drawQuadArrays(quads);
                            quads = 0;
                        }
                        for (int k = 0; k < 4; ++k) {
                            const int32_t slot = quads * 4 + k;
                            const TubeVertex& corner = vertices[corners[k]];
                            for (int e = 0; e < 3; ++e) {
                                q.position[slot][e] = static_cast<GLfloat>(corner.position[e]);
                                q.normal[slot][e] = static_cast<GLfloat>(vertex.normal[e]);
                            }
                            for (int e = 0; e < 4; ++e) q.colour[slot][e] = colour[e];
                        }
                        ++quads;
                    }
                });
    drawQuadArrays(quads);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    if (lit) glDisableClientState(GL_NORMAL_ARRAY);
}

void Scene::renderFrame() {
    double eye[3];
    prepareFrame(*this, eye);
    const int32_t ringCount = sortRingsForEye(*this, eye);
    markFacing(*this, eye, ringCount);
    if (vertexArrays) {
        submitQuadArrays(*this, ringCount);
    } else {
        submitQuadsImmediate(*this, ringCount);
    }
    glFlush();
}
