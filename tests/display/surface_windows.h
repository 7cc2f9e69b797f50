// Test helper: plain windows to put surfaces on, and a counter of paints.
#pragma once

#include <windows.h>

// A hidden top-level window with the given client size, destroyed with the object.
struct TestWindow {
    TestWindow(int width, int height, HWND parent = nullptr, const char* className = nullptr);
    ~TestWindow();
    HWND handle;
};
