// OSMesa-backed off-screen surface.
#include "scene/linux/offscreen_surface.h"

#include <GL/osmesa.h>

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
    return OSMesaMakeCurrent(context, pixels_.data(), GL_UNSIGNED_BYTE, width, height) == GL_TRUE;
}

void OffscreenSurface::finish() {
    glFinish();
}
