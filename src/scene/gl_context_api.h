// What the scene asks of the window system's GL beyond OpenGL 1.1: entry points by name, and which
// context is current (so that every context keeps its own state).
#pragma once

struct GlContextApi {
    // Address of a GL entry point for the current context, or null when it has none.
    void* (*procAddress)(const char* name);
    // The current context as any value that tells contexts apart; null when none is current.
    const void* (*currentContext)();
};
