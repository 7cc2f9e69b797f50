// Sets up a frame (placement, eye, light and materials, rings far to near, facing) and draws it.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "scene/frame_internal.h"
#include "scene/frame_steps.h"
#include "scene/gl_context_record.h"
#include "scene/gl_includes.h"
#include "scene/scene.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

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

}  // namespace

const GLfloat* byteColourTable() {
    static GLfloat table[256];
    static const bool ready = [] {
        for (int i = 0; i < 256; ++i) table[i] = static_cast<GLfloat>(i) / 255.0f;
        return true;
    }();
    (void)ready;
    return table;
}

bool ringFartherFirst(const TubeRing& a, const TubeRing& b) { return a.sortKey > b.sortKey; }

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
