// Per-monitor child windows: the "OPENGLCHILD" class, one child surface per chosen monitor, and the
// repaint of every child on each animation tick.
#pragma once

#include <windows.h>

#include <cstdint>

// Name of the child window class; compared case-sensitively when children are repainted.
extern const char childClassName[];  // "OPENGLCHILD"

// What one EnumDisplayMonitors pass is looking for.
struct MonitorEnumRequest {
    int32_t kind;  // 0: the primary monitor only; 2: every monitor
    HWND parent;   // the saver window, parent of the children
};

bool registerChildClass(HINSTANCE instance);
bool unregisterChildClass();

// Creates the children that the scene's monitorMode asks for (1: primary monitor, 2: every monitor).
void createMonitorChildren(HWND parent);
BOOL CALLBACK monitorEnumProc(HMONITOR monitor, HDC monitorDc, LPRECT monitorRect, LPARAM request);

// One child over `rectangle` (screen coordinates). A child that cannot be created leaves nothing behind.
void createChildSurface(HWND parent, const RECT& rectangle);

LRESULT CALLBACK childSurfaceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// EnumChildWindows callback: paints every "OPENGLCHILD" child now; other children are left alone.
BOOL CALLBACK repaintChildSurfaces(HWND child, LPARAM unused);
