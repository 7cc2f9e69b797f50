// An off-screen RGBA surface with a depth buffer on Mesa's OSMesa, for tools, pixel tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/gl_context_api.h"

// OSMesa's entry points and current context, for Scene::glApi.
const GlContextApi& offscreenGlApi();

class OffscreenSurface {
public:
    OffscreenSurface() = default;
    ~OffscreenSurface();
    OffscreenSurface(const OffscreenSurface&) = delete;
    OffscreenSurface& operator=(const OffscreenSurface&) = delete;

    // Creates the context and buffer (RGBA, 8 bits a channel, 24-bit depth) and makes it current.
    // False when OSMesa cannot create or bind the context.
    bool create(int32_t width, int32_t height);
    // Makes this surface's context current again (after another one was). False when OSMesa refuses.
    bool makeCurrent();
    // Waits for the drawing to finish; the pixels are then in pixels(), bottom row first.
    void finish();

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    const std::vector<uint8_t>& pixels() const { return pixels_; }
    // One pixel's RGBA bytes; y counts from the top row.
    const uint8_t* pixel(int32_t x, int32_t yFromTop) const {
        return &pixels_[(static_cast<size_t>(height_ - 1 - yFromTop) * width_ + x) * 4];
    }

private:
    void* context_ = nullptr;      // the OSMesa context; owned, destroyed with the surface
    int32_t width_ = 0;            // pixels
    int32_t height_ = 0;           // pixels
    std::vector<uint8_t> pixels_;  // width x height RGBA, bottom row first; GL draws into it
};
