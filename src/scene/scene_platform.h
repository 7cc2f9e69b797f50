// Platform services the portable scene needs, implemented by each shell and replaced in tests.
#pragma once

#include <cstdint>

class ScenePlatform {
public:
    virtual ~ScenePlatform() = default;
    // Wall-clock time in whole seconds (like time()).
    virtual int64_t nowSeconds() = 0;
    // Draws a frame on every surface now, synchronously (tick step 2): the shell invalidates and
    // updates the saver window, or each per-monitor child, so renderFrame runs before this returns.
    virtual void repaintSurfaces() = 0;
    // A message box without owner, error icon.
    virtual void showError(const char* text, const char* caption) = 0;
};
