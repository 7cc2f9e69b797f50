// The GL set-up every surface gets: viewport and projection, the fixed render state, the lighting switch.
#pragma once

#include <cstdint>

// Viewport and perspective projection for a drawable of width x height pixels (a side of 0 counts as 1).
void setViewportAndProjection(int32_t width, int32_t height);

// The fixed render state of a new context, current: smoothing, blending, depth test, the clear colour
// (dark blue behind the preview, black in full screen) and, when `lightingOn`, the lighting switches.
void applyRenderState(bool preview, bool lightingOn);

// Turns GL lighting (light 0, colour material, smooth shading) on or off in the current context.
void switchLighting(bool on);
