// OpenGL surfaces on Win32 windows: pixel format, contexts, the single surface and child surfaces.
#include "display/win32/gl_surface.h"

#include "scene/scene.h"

GlSurface saverSurface;
MakeCurrentFn makeCurrentFn = wglMakeCurrent;

namespace {

PIXELFORMATDESCRIPTOR makeRequest() {
    PIXELFORMATDESCRIPTOR pfd;
    ZeroMemory(&pfd, sizeof pfd);
    pfd.nSize = 40;
    pfd.nVersion = 1;
    // Double-buffered GL, hardware-accelerated if possible, depth optional. Drawing to a window is
    // implied by the window's device context and deliberately not part of the request.
    pfd.dwFlags = PFD_DOUBLEBUFFER | PFD_SUPPORT_OPENGL | PFD_DIRECT3D_ACCELERATED | PFD_DEPTH_DONTCARE;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cAlphaBits = 8;
    pfd.cDepthBits = 24;
    pfd.iLayerType = PFD_MAIN_PLANE;
    return pfd;
}

void* wglProcAddress(const char* name) {
    // Valid for the context current now; each context looks its own up.
    return reinterpret_cast<void*>(wglGetProcAddress(name));
}

const void* wglCurrentContext() { return wglGetCurrentContext(); }

}  // namespace

const GlContextApi& wglContextApi() {
    static const GlContextApi api{wglProcAddress, wglCurrentContext};
    return api;
}

const PIXELFORMATDESCRIPTOR& pixelFormatRequest() {
    static const PIXELFORMATDESCRIPTOR request = makeRequest();
    return request;
}

bool createGlContext(HDC dc, HGLRC* context) {
    *context = nullptr;
    const PIXELFORMATDESCRIPTOR& request = pixelFormatRequest();
    int format = ChoosePixelFormat(dc, &request);
    if (format == 0) return false;
    if (!SetPixelFormat(dc, format, &request)) return false;
    *context = wglCreateContext(dc);
    return *context != nullptr;
}

bool initSaverSurface() {
    if (!createGlContext(saverSurface.dc, &saverSurface.context)) return false;
    Scene::instance().glApi = &wglContextApi();
    return makeCurrentFn(saverSurface.dc, saverSurface.context) != FALSE;
}

void releaseSaverSurface(HWND window) {
    if (saverSurface.context) {
        Scene::instance().forgetGlContext(saverSurface.context);
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(saverSurface.context);
        saverSurface.context = nullptr;
    }
    if (saverSurface.dc) {
        ReleaseDC(window, saverSurface.dc);
        saverSurface.dc = nullptr;
    }
}

bool ChildSurface::attach() {
    dc = GetDC(window);
    HGLRC created = nullptr;
    if (!createGlContext(dc, &created)) {  // on failure nothing was created
        ReleaseDC(window, dc);
        dc = nullptr;
        return false;
    }
    context = created;
    if (!makeCurrentFn(dc, context)) {
        wglDeleteContext(context);
        ReleaseDC(window, dc);
        context = nullptr;
        dc = nullptr;
        return false;
    }
    RECT client;
    GetClientRect(window, &client);
    setViewportAndProjection(client.right, client.bottom);
    Scene::instance().glApi = &wglContextApi();
    initRenderState(Scene::instance());
    return true;
}

void ChildSurface::release() {
    if (context) {
        // Its buffers go with it; the scene's record of it must not outlive it.
        Scene::instance().forgetGlContext(context);
        if (wglGetCurrentContext() == context) wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(context);
        context = nullptr;
    }
    if (dc) {
        ReleaseDC(window, dc);
        dc = nullptr;
    }
}
