// Run-time lookup of buffer-object and multi-draw entry points for the current context.
#include "scene/gl_buffer_procs.h"

#include <cstdint>
#include <cstring>

namespace {

// Some lookups answer small integers or -1 instead of null for names they do not know.
void* usable(void* address) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(address);
    if (value <= 3 || value == static_cast<uintptr_t>(-1)) return nullptr;
    return address;
}

template <typename Fn>
void lookUp(const GlContextApi& api, const char* name, Fn* out) {
    *out = reinterpret_cast<Fn>(usable(api.procAddress(name)));
}

// Reads a decimal number at *text and moves past it; -1 when there is none.
int readNumber(const char** text) {
    int value = -1;
    while (**text >= '0' && **text <= '9') {
        value = (value < 0 ? 0 : value * 10) + (**text - '0');
        if (value > 1000) return -1;
        ++*text;
    }
    return value;
}

}  // namespace

bool glVersionAtLeast(const char* version, int major, int minor) {
    if (version == nullptr) return false;
    const char* p = version;
    const int haveMajor = readNumber(&p);
    if (haveMajor < 0 || *p != '.') return false;
    ++p;
    const int haveMinor = readNumber(&p);
    if (haveMinor < 0) return false;
    return haveMajor > major || (haveMajor == major && haveMinor >= minor);
}

bool hasGlExtension(const char* extensions, const char* name) {
    if (extensions == nullptr || name == nullptr || *name == '\0') return false;
    const size_t length = std::strlen(name);
    for (const char* p = extensions; (p = std::strstr(p, name)) != nullptr; p += length) {
        const bool startsWord = p == extensions || p[-1] == ' ';
        const bool endsWord = p[length] == ' ' || p[length] == '\0';
        if (startsWord && endsWord) return true;
    }
    return false;
}

bool loadGlBufferProcs(const GlContextApi& api, GlBufferProcs* procs) {
    *procs = GlBufferProcs{};
    if (api.procAddress == nullptr) return false;
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    GlBufferProcs found;
    if (glVersionAtLeast(version, 1, 5)) {
        lookUp(api, "glGenBuffers", &found.genBuffers);
        lookUp(api, "glDeleteBuffers", &found.deleteBuffers);
        lookUp(api, "glBindBuffer", &found.bindBuffer);
        lookUp(api, "glBufferData", &found.bufferData);
        lookUp(api, "glBufferSubData", &found.bufferSubData);
    } else if (hasGlExtension(extensions, "GL_ARB_vertex_buffer_object")) {
        lookUp(api, "glGenBuffersARB", &found.genBuffers);
        lookUp(api, "glDeleteBuffersARB", &found.deleteBuffers);
        lookUp(api, "glBindBufferARB", &found.bindBuffer);
        lookUp(api, "glBufferDataARB", &found.bufferData);
        lookUp(api, "glBufferSubDataARB", &found.bufferSubData);
    }
    if (found.genBuffers == nullptr || found.deleteBuffers == nullptr || found.bindBuffer == nullptr ||
        found.bufferData == nullptr || found.bufferSubData == nullptr) {
        return false;
    }
    if (glVersionAtLeast(version, 1, 4)) {
        lookUp(api, "glMultiDrawArrays", &found.multiDrawArrays);
        lookUp(api, "glMultiDrawElements", &found.multiDrawElements);
    } else if (hasGlExtension(extensions, "GL_EXT_multi_draw_arrays")) {
        lookUp(api, "glMultiDrawArraysEXT", &found.multiDrawArrays);
        lookUp(api, "glMultiDrawElementsEXT", &found.multiDrawElements);
    }
    *procs = found;
    return true;
}
