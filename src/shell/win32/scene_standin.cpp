// Temporary stand-in for the scene library: draws a turning coloured triangle fan so the saver can run
// before the real scene is part of the tree. Removed when the scene library lands.
#include <windows.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "scene/scene.h"

Scene& Scene::instance() {
    static Scene scene;
    return scene;
}

void Scene::loadSettings() {
    monitorMode = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orbivane", 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        DWORD value = 0, size = sizeof value;
        if (RegQueryValueExA(key, "monitor_mode", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
                ERROR_SUCCESS && value <= 2)
            monitorMode = static_cast<int32_t>(value);
        RegCloseKey(key);
    }
    rotationSpeed = 0.25f;
    interval = 45;
    playlist.cursor = 0;
}

bool Scene::buildImage() {
    releaseImage();
    vertexCount = 1;
    fade = 0;
    fadingIn = true;
    return true;
}

void Scene::releaseImage() { vertexCount = 0; }

void Scene::smoothNormals() {}

void Scene::renderFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (vertexCount == 0) return;
    glLoadIdentity();
    glTranslatef(0, 0, -3);
    glRotatef(2 * angle, 0, 0, 1);
    glBegin(GL_TRIANGLE_FAN);
    glColor3f(1, 1, 1);
    glVertex3f(0, 0, 0);
    for (int i = 0; i <= 6; ++i) {
        glColor3f(i % 3 == 0 ? 1.f : 0.2f, i % 3 == 1 ? 1.f : 0.2f, i % 3 == 2 ? 1.f : 0.2f);
        float a = i * 1.0471976f;
        glVertex3f(std::cos(a), std::sin(a), 0);
    }
    glEnd();
}

void Scene::tick() {
    angle += rotationSpeed;
    if (platform) platform->repaintSurfaces();
    if (fadingIn) {
        fade += 0.01;
        if (fade >= 1.0) {
            fadingIn = false;
            fade = 1.0;
        }
    }
}

void setViewportAndProjection(int32_t width, int32_t height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    double aspect = static_cast<double>(static_cast<float>(width) / static_cast<float>(height));
    gluPerspective(45.0, aspect, static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void initRenderState(Scene& scene) {
    glEnable(GL_POLYGON_SMOOTH);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0, 0, scene.preview ? 0.125f : 0.0f, 0);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glDisable(GL_NORMALIZE);
    if (scene.lightingOn) {
        glShadeModel(GL_SMOOTH);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_COLOR_MATERIAL);
    }
    scene.angle = 0;
}
