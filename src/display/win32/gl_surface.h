// OpenGL surfaces on Win32 windows: the pixel format, context creation, the saver window's single
// surface and the per-monitor child surfaces.
#pragma once

#include <windows.h>

#include "scene/gl_context_api.h"

// WGL's entry points and current context, for Scene::glApi.
const GlContextApi& wglContextApi();

// A GL surface on a window: the saver window's single surface, or the surface of one per-monitor child.
// The scene keeps its own record of each context (Scene::currentGlContext), keyed by `context`.
struct GlSurface {
    HWND window = nullptr;    // the window drawn on
    HDC dc = nullptr;         // GetDC(window) while held; null otherwise
    HGLRC context = nullptr;  // the GL context on dc; null until one was created
};

// The saver window's single surface; lives as long as the saver window. Its dc is taken at the
// window's creation, its context made by initSaverSurface.
extern GlSurface saverSurface;

// Every surface's context is made current through this pointer (wglMakeCurrent by default), so that
// tests can watch or refuse it.
typedef BOOL(WINAPI* MakeCurrentFn)(HDC dc, HGLRC context);
extern MakeCurrentFn makeCurrentFn;

// The pixel format every surface asks for (RGBA, double-buffered, 32-bit colour with 8 alpha bits,
// 24-bit depth not insisted on, no stencil, accumulation or auxiliary buffers).
const PIXELFORMATDESCRIPTOR& pixelFormatRequest();

// Sets the program's pixel format on `dc` and creates a context there. On failure *context is null
// and the system's last error tells why. Nothing acquired is undone here.
bool createGlContext(HDC dc, HGLRC* context);

// Sets up the single surface on saverSurface.dc (already taken by the caller) and makes it current.
bool initSaverSurface();

// Tears the single surface down: drops and deletes the context, releases saverSurface.dc.
void releaseSaverSurface(HWND window);

// The surface of one per-monitor child window, owned by its window. `window` is set by the child's
// WM_CREATE before attach().
struct ChildSurface : GlSurface {
    // Takes the device context, creates and makes current a context, sets viewport, projection and
    // render state. On failure nothing stays held.
    bool attach();
    // Drops the context (if current), deletes it and releases the device context.
    void release();
};
