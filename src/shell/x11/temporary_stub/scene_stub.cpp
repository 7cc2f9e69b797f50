// TEMPORARY stand-in for the scene until it lands on main; deleted at merge.
#include <GL/gl.h>
#include <GL/glu.h>

#include "scene/scene.h"
#include "settings/settings_store.h"

Scene& Scene::instance() {
    static Scene scene;
    return scene;
}
void Scene::loadSettings() {
    rotationSpeed = SettingsStore::instance().readRotationSpeed() * 0.01f;
    interval = 45;
}
bool Scene::buildImage() {
    vertexCount = 1;
    fade = 0;
    fadingIn = true;
    startTime = static_cast<int32_t>(platform->nowSeconds());
    return true;
}
void Scene::releaseImage() { vertexCount = 0; }
void Scene::smoothNormals() {}
void Scene::renderFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0, 0, -5);
    glRotatef(angle * 20, 0, 0, 1);
    glBegin(GL_TRIANGLE_FAN);
    for (int i = 0; i < 12; ++i) {
        float a = i * 0.5236f;
        glColor4f(i % 3 == 0 ? 1.f : 0.3f, i % 3 == 1 ? 1.f : 0.3f, i % 3 == 2 ? 1.f : 0.3f, (float)fade);
        glVertex3f(2 * __builtin_cosf(a), 2 * __builtin_sinf(a), 0);
    }
    glEnd();
}
void Scene::tick() {
    angle += rotationSpeed;
    platform->repaintSurfaces();
    if (fadingIn) {
        fade += 0.01;
        if (fade >= 1.0) { fadingIn = false; fade = 1.0; }
    }
}
void setViewportAndProjection(int32_t width, int32_t height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(float(width) / float(height)), double(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
void initRenderState(Scene& scene) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0, 0, 0, 0);
    scene.angle = 0;
}
