// GL surfaces on real windows: the pixel format, projection numbers, render state and child surfaces.
#include <gtest/gtest.h>
#include <windows.h>
#include <GL/gl.h>

#include <cmath>

#include "display/win32/gl_surface.h"
#include "display/win32/monitor_modes.h"
#include "scene/scene.h"
#include "support/scoped_value.h"
#include "surface_windows.h"

TEST(PixelFormat, RequestAsTheSaverAsksForIt) {
    const PIXELFORMATDESCRIPTOR& pfd = pixelFormatRequest();
    EXPECT_EQ(pfd.nSize, 40);
    EXPECT_EQ(pfd.nVersion, 1);
    EXPECT_EQ(pfd.dwFlags, 0x20004021u);  // no PFD_DRAW_TO_WINDOW
    EXPECT_EQ(pfd.iPixelType, PFD_TYPE_RGBA);
    EXPECT_EQ(pfd.cColorBits, 32);
    EXPECT_EQ(pfd.cAlphaBits, 8);
    EXPECT_EQ(pfd.cDepthBits, 24);
    EXPECT_EQ(pfd.cStencilBits + pfd.cAccumBits + pfd.cAuxBuffers, 0);
    EXPECT_EQ(pfd.iLayerType, PFD_MAIN_PLANE);
}

TEST(PixelFormat, ContextOnAWindowIsDoubleBufferedRgba) {
    TestWindow window(64, 48);
    HDC dc = GetDC(window.handle);
    HGLRC context = nullptr;
    ASSERT_TRUE(createGlContext(dc, &context));
    ASSERT_NE(context, nullptr);
    PIXELFORMATDESCRIPTOR got;
    ASSERT_NE(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof got, &got), 0);
    EXPECT_TRUE(got.dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_TRUE(got.dwFlags & PFD_SUPPORT_OPENGL);
    EXPECT_EQ(got.iPixelType, PFD_TYPE_RGBA);
    wglDeleteContext(context);
    ReleaseDC(window.handle, dc);
}

TEST(SurfaceState, ProjectionOfAFullHdSurface) {
    TestWindow window(64, 48);
    ChildSurface surface{};
    surface.window = window.handle;
    ASSERT_TRUE(surface.attach());
    setViewportAndProjection(1920, 1080);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 1920);
    EXPECT_EQ(viewport[3], 1080);
    GLdouble p[16];
    glGetDoublev(GL_PROJECTION_MATRIX, p);
    const double f = 1.0 / std::tan(22.5 * 3.14159265358979323846 / 180.0);  // 45-degree field of view
    EXPECT_NEAR(p[5], f, 1e-5);
    EXPECT_NEAR(p[5] / p[0], 1.7777778, 1e-5);
    const double nearPlane = p[14] / (p[10] - 1.0), farPlane = p[14] / (p[10] + 1.0);
    EXPECT_NEAR(nearPlane, 0.1, 1e-6);
    EXPECT_NEAR(farPlane, 100.0, 1e-2);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLdouble m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0 : 0.0);
    surface.release();
}

TEST(SurfaceState, BackgroundAndUnlitDefaults) {
    TestWindow window(64, 48);
    Scene& scene = Scene::instance();
    for (bool preview : {true, false}) {
        SCOPED_TRACE(preview ? "preview" : "full screen");
        scene.preview = preview;
        scene.lightingOn = false;
        scene.angle = 12.5f;
        ChildSurface surface{};
        surface.window = window.handle;
        ASSERT_TRUE(surface.attach());
        EXPECT_EQ(scene.angle, 0.0f);  // every set-up restarts the rotation
        GLfloat clear[4];
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        EXPECT_EQ(clear[0], 0.0f);
        EXPECT_EQ(clear[1], 0.0f);
        EXPECT_EQ(clear[2], preview ? 0.125f : 0.0f);
        EXPECT_EQ(clear[3], 0.0f);
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
        EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
        EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
        GLint shade = 0;
        glGetIntegerv(GL_SHADE_MODEL, &shade);
        EXPECT_EQ(shade, GL_SMOOTH);  // GL's own default, untouched
        EXPECT_TRUE(glIsEnabled(GL_BLEND));
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_FALSE(glIsEnabled(GL_NORMALIZE));
        surface.release();
    }
    scene.preview = false;
}

TEST(ChildSurfaces, FailedAttachLeavesNothingAndReleaseKeepsOthersCurrent) {
    TestWindow first(64, 48), second(64, 48), taken(64, 48);
    ChildSurface a{}, b{};
    a.window = first.handle;
    b.window = second.handle;
    ASSERT_TRUE(a.attach());
    ASSERT_TRUE(b.attach());
    EXPECT_EQ(wglGetCurrentContext(), b.context);  // the surface attached last is current
    a.release();
    EXPECT_EQ(wglGetCurrentContext(), b.context);
    EXPECT_EQ(a.context, nullptr);
    EXPECT_EQ(a.dc, nullptr);

    // A window that already carries another pixel format cannot take the program's.
    HDC dc = GetDC(taken.handle);
    int ours = ChoosePixelFormat(dc, &pixelFormatRequest());
    PIXELFORMATDESCRIPTOR other;
    int count = DescribePixelFormat(dc, 1, sizeof other, &other);
    bool claimed = false;
    for (int format = 1; format <= count && !claimed; ++format)
        if (format != ours && DescribePixelFormat(dc, format, sizeof other, &other) &&
            (other.dwFlags & PFD_SUPPORT_OPENGL))
            claimed = SetPixelFormat(dc, format, &other) != FALSE;
    ReleaseDC(taken.handle, dc);
    ASSERT_TRUE(claimed);
    ChildSurface c{};
    c.window = taken.handle;
    EXPECT_FALSE(c.attach());
    EXPECT_EQ(c.context, nullptr);
    EXPECT_EQ(c.dc, nullptr);
    EXPECT_EQ(wglGetCurrentContext(), b.context);
    b.release();
}

namespace {
HGLRC refusedContext = nullptr;
BOOL WINAPI refusingMakeCurrent(HDC, HGLRC context) {
    refusedContext = context;
    SetLastError(ERROR_INVALID_PIXEL_FORMAT);
    return FALSE;
}
}  // namespace

TEST(ChildSurfaces, ContextThatCannotBeMadeCurrentLeavesNothing) {
    TestWindow window(64, 48), other(64, 48);
    ChildSurface current{};
    current.window = other.handle;
    ASSERT_TRUE(current.attach());

    refusedContext = nullptr;
    ChildSurface refused{};
    refused.window = window.handle;
    bool attached = false;
    {
        ScopedValue<MakeCurrentFn> refuse(makeCurrentFn, refusingMakeCurrent);
        attached = refused.attach();
    }
    EXPECT_FALSE(attached);
    EXPECT_EQ(refused.context, nullptr);
    EXPECT_EQ(refused.dc, nullptr);
    ASSERT_NE(refusedContext, nullptr);  // a context was created, then refused
    EXPECT_FALSE(wglDeleteContext(refusedContext)) << "the refused context was left behind";
    EXPECT_EQ(wglGetCurrentContext(), current.context);
    current.release();
}
