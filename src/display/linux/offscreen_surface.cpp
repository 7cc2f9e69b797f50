// OSMesa-backed off-screen surface.
#include "display/linux/offscreen_surface.h"

#include <GL/osmesa.h>
#include <dlfcn.h>

namespace {

// The process's own symbol first, so that a tracer interposed on the GL calls sees these too; then
// OSMesa's lookup.
void* osmesaProcAddress(const char* name) {
    void* address = dlsym(RTLD_DEFAULT, name);
    if (address == nullptr) address = reinterpret_cast<void*>(OSMesaGetProcAddress(name));
    return address;
}

const void* osmesaCurrentContext() { return OSMesaGetCurrentContext(); }

}  // namespace

const GlContextApi& offscreenGlApi() {
    static const GlContextApi api{osmesaProcAddress, osmesaCurrentContext};
    return api;
}

OffscreenSurface::~OffscreenSurface() {
    if (context_ != nullptr) OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
}

bool OffscreenSurface::create(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 || context_ != nullptr) return false;
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (context == nullptr) return false;
    context_ = context;
    width_ = width;
    height_ = height;
    pixels_.assign(static_cast<size_t>(width) * height * 4, 0);
    return makeCurrent();
}

bool OffscreenSurface::makeCurrent() {
    return context_ != nullptr && OSMesaMakeCurrent(static_cast<OSMesaContext>(context_), pixels_.data(),
                                                    GL_UNSIGNED_BYTE, width_, height_) == GL_TRUE;
}

void OffscreenSurface::finish() { glFinish(); }
