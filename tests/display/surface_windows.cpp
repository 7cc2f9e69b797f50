// Test helper: plain windows to put surfaces on.
#include "surface_windows.h"

TestWindow::TestWindow(int width, int height, HWND parent, const char* className) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "OrbivaneSurfaceTest";
        registered = RegisterClassA(&wc) != 0;
    }
    handle = CreateWindowExA(0, className ? className : "OrbivaneSurfaceTest", "", parent ? WS_CHILD : WS_POPUP, 0, 0,
                             width, height, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TestWindow::~TestWindow() { DestroyWindow(handle); }
