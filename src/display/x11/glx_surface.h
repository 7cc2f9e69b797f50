// A GLX drawing surface on an X window: its own visual when it can do GL, else a GL child over it.
#pragma once

#include <string>

#include <GL/glx.h>
#include <X11/Xlib.h>

#include "scene/gl_context_api.h"

// GLX's entry points and current context, for Scene::glApi.
const GlContextApi& glxContextApi();

// One window with a current GL context. The shell owns the record; attachGlxSurface fills it and
// releaseGlxSurface empties it again.
struct GlxSurface {
    Display* display = nullptr;    // the connection (shell-owned); set by attach
    Window target = 0;             // the window we draw over (borrowed or the shell's own); set by attach
    Window drawable = 0;           // where GL draws: `target`, or the child we made; 0 when none
    bool ownChild = false;         // `drawable` is a child window of ours, destroyed by release
    Colormap colormap = 0;         // colormap of our child window, or 0
    GLXContext context = nullptr;  // the GL context, current from attach until release
    int width = 0;                 // size of `target` in pixels, kept up to date by resizeGlxSurface
    int height = 0;
};

// The best GL visual of `screen` for the saver: RGBA, double-buffered, preferring an 8-bit alpha
// channel and a 24-bit depth buffer, and never a translucent (32-bit ARGB) visual when another will
// do. Free the result with XFree. Null when the screen has no double-buffered RGBA GL visual.
XVisualInfo* chooseGlxVisual(Display* display, int screen);

// True when `visual` can carry the saver's context: GL, RGBA and double-buffered.
bool glxVisualUsable(Display* display, XVisualInfo* visual);

// Sets up `surface` on `target`: a context on the window's own visual when that visual can do GL,
// otherwise a mapped child window of a GL visual covering the whole target. Makes the context
// current. On failure returns false with a one-line reason in *error, and leaves nothing behind.
bool attachGlxSurface(GlxSurface& surface, Display* display, Window target, std::string* error);

// Follows a new size of the target: resizes our child window, if any, and records the size.
// The caller resets the viewport and projection.
void resizeGlxSurface(GlxSurface& surface, int width, int height);

// Shows the frame just drawn.
void swapGlxSurface(GlxSurface& surface);

// Releases the context and our child window. `targetAlive` false: the target is already destroyed
// (and our child with it), so no window request is made.
void releaseGlxSurface(GlxSurface& surface, bool targetAlive);
