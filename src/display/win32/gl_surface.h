// OpenGL surfaces on Win32 windows: the pixel format, context creation, the saver window's single
// surface and the per-monitor child surfaces.
#pragma once

#include <windows.h>

#include "scene/gl_context_api.h"

// WGL's entry points and current context, for Scene::glApi.
const GlContextApi& wglContextApi();

// The saver window's single surface; both live as long as the saver window.
extern HDC saverDc;          // GetDC(saverWindow), taken at the window's creation; null when none is held
extern HGLRC saverContext;   // GL context on saverDc; null until initSaverSurface created it

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

// Sets up the single surface on saverDc (already taken by the caller) and makes it current.
bool initSaverSurface();

// Tears the single surface down: drops and deletes the context, releases saverDc.
void releaseSaverSurface(HWND window);

// The surface of one per-monitor child window. Allocated zero-filled, owned by its window.
struct ChildSurface {
    HGLRC context;     // the child's GL context; null until attach() created it
    HWND window;       // the child window; set by its WM_CREATE before attach()
    HDC dc;            // GetDC(window) while held; null otherwise

    // Takes the device context, creates and makes current a context, sets viewport, projection and
    // render state. On failure nothing stays held.
    bool attach();
    // Drops the context (if current), deletes it and releases the device context.
    void release();
};
