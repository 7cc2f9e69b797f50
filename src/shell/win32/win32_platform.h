// The scene's platform services on Win32: the clock, synchronous repaint of the surfaces, error boxes.
#pragma once

#include <windows.h>

#include "scene/scene_platform.h"

class Win32ScenePlatform final : public ScenePlatform {
public:
    int64_t nowSeconds() override;
    // Preview or cross-screen mode: paints the saver window now; monitor modes: every "OPENGLCHILD".
    void repaintSurfaces() override;
    void showError(const char* text, const char* caption) override;
};

// The process-wide instance the saver window hands to the scene.
Win32ScenePlatform& win32ScenePlatform();
