// The GL set-up every surface gets: viewport and projection, and the fixed render state.
#include "scene/gl_setup.h"

#include "scene/gl_includes.h"

void setViewportAndProjection(int32_t width, int32_t height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Aspect ratio in single precision. A window with no height (or width) yet gets the aspect of a
    // one-pixel side instead of a division by zero.
    const float w = static_cast<float>(width > 0 ? width : 1);
    const float h = static_cast<float>(height > 0 ? height : 1);
    const double aspect = static_cast<double>(w / h);
    const double nearPlane = static_cast<double>(0.1f);  // 0.10000000149011612
    gluPerspective(45.0, aspect, nearPlane, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void applyRenderState(bool preview, bool lightingOn) {
    glEnable(GL_POLYGON_SMOOTH);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // Dark blue behind the preview, black in full screen; alpha 0 in both.
    glClearColor(0.0f, 0.0f, preview ? 0.125f : 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glDisable(GL_NORMALIZE);
    if (lightingOn) {
        glShadeModel(GL_SMOOTH);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_COLOR_MATERIAL);
    }
}

void switchLighting(bool on) {
    glShadeModel(GL_SMOOTH);
    if (on) {
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_COLOR_MATERIAL);
    } else {
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
        glDisable(GL_COLOR_MATERIAL);
    }
}
