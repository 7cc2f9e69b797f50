// OpenGL 1.x and GLU declarations for portable code, without pulling in <windows.h> on Windows.
#pragma once

#if defined(_WIN32)
// The Windows GL headers want the calling-convention and linkage macros of <windows.h>. Provide them
// here so portable code stays free of it. WINGDIAPI is left empty: the calls then bind by name to
// whichever library the executable links (opengl32/glu32 in the saver, a recorder in the tests).
#if !defined(APIENTRY)
#define APIENTRY __stdcall
#define ORBIVANE_GL_DEFINED_APIENTRY
#endif
#if !defined(WINGDIAPI)
#define WINGDIAPI
#define ORBIVANE_GL_DEFINED_WINGDIAPI
#endif
#if !defined(CALLBACK)
#define CALLBACK __stdcall
#define ORBIVANE_GL_DEFINED_CALLBACK
#endif
#endif

#include <GL/gl.h>
#include <GL/glu.h>

#if defined(_WIN32)
// Keep the macros from clashing with a later <windows.h> in the same translation unit.
#if defined(ORBIVANE_GL_DEFINED_APIENTRY)
#undef APIENTRY
#undef ORBIVANE_GL_DEFINED_APIENTRY
#endif
#if defined(ORBIVANE_GL_DEFINED_WINGDIAPI)
#undef WINGDIAPI
#undef ORBIVANE_GL_DEFINED_WINGDIAPI
#endif
#if defined(ORBIVANE_GL_DEFINED_CALLBACK)
#undef CALLBACK
#undef ORBIVANE_GL_DEFINED_CALLBACK
#endif
// Calling convention for code that defines GL entry points itself (the test recorder).
#define ORBIVANE_GLAPI __stdcall
#else
#define ORBIVANE_GLAPI
#endif
