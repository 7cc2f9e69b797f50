// Per-monitor child windows with their own GL surfaces (primary-monitor and individual-monitors modes).
#include "display/win32/monitor_modes.h"

#include <cstdlib>
#include <cstring>

#include "display/win32/gl_surface.h"
#include "scene/scene.h"

const char childClassName[] = "OPENGLCHILD";

bool registerChildClass(HINSTANCE instance) {
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = childSurfaceProc;
    wc.hInstance = instance;
    wc.lpszClassName = childClassName;
    return RegisterClassA(&wc) != 0;
}

bool unregisterChildClass() { return UnregisterClassA(childClassName, nullptr) != FALSE; }

void createMonitorChildren(HWND parent) {
    MonitorEnumRequest request;
    request.kind = Scene::instance().monitorMode == MonitorMode::eachMonitor ? 2 : 0;
    request.parent = parent;
    HDC screen = GetDC(nullptr);
    EnumDisplayMonitors(screen, nullptr, monitorEnumProc, reinterpret_cast<LPARAM>(&request));
    ReleaseDC(nullptr, screen);
}

BOOL CALLBACK monitorEnumProc(HMONITOR monitor, HDC, LPRECT monitorRect, LPARAM data) {
    const MonitorEnumRequest* request = reinterpret_cast<const MonitorEnumRequest*>(data);
    if (request->kind == 2) {
        createChildSurface(request->parent, *monitorRect);
        return TRUE;
    }
    if (request->kind == 0) {
        MONITORINFO info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;  // 40
        if (GetMonitorInfoA(monitor, &info) && Scene::instance().monitorMode == MonitorMode::primaryOnly &&
            (info.dwFlags & MONITORINFOF_PRIMARY)) {
            createChildSurface(request->parent, *monitorRect);
            return FALSE;
        }
    }
    return TRUE;
}

void createChildSurface(HWND parent, const RECT& rectangle) {
    ChildSurface* record = static_cast<ChildSurface*>(std::calloc(1, sizeof(ChildSurface)));
    if (!record) return;
    // Monitor rectangles are in screen coordinates; the child is placed in the saver window's client
    // coordinates, whose origin is the top-left corner of the virtual screen. The mapping makes
    // monitors left of or above the primary one land where they are.
    POINT origin = {rectangle.left, rectangle.top};
    ScreenToClient(parent, &origin);
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
    HWND child = CreateWindowExA(0, childClassName, nullptr, WS_CHILD | WS_VISIBLE, origin.x, origin.y,
                                 rectangle.right - rectangle.left, rectangle.bottom - rectangle.top, parent, nullptr,
                                 instance, record);
    // The record belongs to the window only once WM_CREATE succeeded; every failed creation,
    // whether refused by WM_CREATE or earlier, frees it here.
    if (!child) std::free(record);
}

LRESULT CALLBACK childSurfaceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ChildSurface* stored = reinterpret_cast<ChildSurface*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE: {
        ChildSurface* record = static_cast<ChildSurface*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (!record) return -1;
        record->window = window;
        if (!record->attach()) return -1;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
        return 0;
    }
    case WM_DESTROY:
        if (stored) {
            stored->release();
            std::free(stored);
        }
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        return 0;
    case WM_ERASEBKGND:
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (stored && makeCurrentFn(dc, stored->context)) {
            Scene::instance().renderFrame();
            SwapBuffers(dc);
        }
        EndPaint(window, &ps);
        return 0;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        // The saver window's close policy decides about input that reaches a child.
        return SendMessageA(GetParent(window), message, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

BOOL CALLBACK repaintChildSurfaces(HWND child, LPARAM) {
    char name[256];
    int length = GetClassNameA(child, name, sizeof name);
    if (length > 0 && std::strcmp(name, childClassName) == 0) {
        InvalidateRect(child, nullptr, FALSE);
        UpdateWindow(child);
    }
    return TRUE;
}
