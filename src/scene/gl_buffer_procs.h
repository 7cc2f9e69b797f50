// Buffer objects and multi-draw calls, looked up at run time: OpenGL 1.1 (Windows' own renderer) has none.
#pragma once

#include <cstddef>

#include "scene/gl_context_api.h"
#include "scene/gl_includes.h"

// Enumerants of OpenGL 1.5 (identical in ARB_vertex_buffer_object); 1.1 headers lack them.
constexpr GLenum kGlArrayBuffer = 0x8892;
constexpr GLenum kGlElementArrayBuffer = 0x8893;
constexpr GLenum kGlStaticDraw = 0x88E4;

// The entry points of one context. Buffers are usable when bindBuffer is set; the multi-draw calls
// may be missing, and are then replaced by a loop of single draws.
struct GlBufferProcs {
    void(ORBIVANE_GLAPI* genBuffers)(GLsizei n, GLuint* buffers) = nullptr;
    void(ORBIVANE_GLAPI* deleteBuffers)(GLsizei n, const GLuint* buffers) = nullptr;
    void(ORBIVANE_GLAPI* bindBuffer)(GLenum target, GLuint buffer) = nullptr;
    void(ORBIVANE_GLAPI* bufferData)(GLenum target, std::ptrdiff_t bytes, const void* data, GLenum usage) = nullptr;
    void(ORBIVANE_GLAPI* bufferSubData)(GLenum target, std::ptrdiff_t offset, std::ptrdiff_t bytes,
                                        const void* data) = nullptr;
    void(ORBIVANE_GLAPI* multiDrawArrays)(GLenum mode, const GLint* first, const GLsizei* count,
                                          GLsizei drawCount) = nullptr;
    void(ORBIVANE_GLAPI* multiDrawElements)(GLenum mode, const GLsizei* count, GLenum type, const void* const* offsets,
                                            GLsizei drawCount) = nullptr;
};

// True when a GL_VERSION string ("1.5 Mesa ...", "4.6.0 NVIDIA ...") names major.minor or later.
bool glVersionAtLeast(const char* version, int major, int minor);
// True when the space-separated GL_EXTENSIONS list holds `name` as a whole word.
bool hasGlExtension(const char* extensions, const char* name);
// Looks the entry points up for the current context: OpenGL 1.5 names, else the ARB extension's; the
// multi-draw calls from 1.4, else EXT_multi_draw_arrays. False (and *procs empty) without buffers.
bool loadGlBufferProcs(const GlContextApi& api, GlBufferProcs* procs);
