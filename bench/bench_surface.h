// Shared by the frame benchmarks: a fixed clock for the scene and one 1280x800 OSMesa surface per run.
#pragma once

#include <cstdint>

#include "display/linux/offscreen_surface.h"
#include "scene/scene_platform.h"

// A platform whose clock stands still and which draws nothing on its own.
class BenchPlatform final : public ScenePlatform {
public:
    int64_t nowSeconds() override { return 1; }
    void repaintSurfaces() override {}
    void showError(const char*, const char*) override {}
};

constexpr int32_t kBenchWidth = 1280;  // pixels
constexpr int32_t kBenchHeight = 800;  // pixels

// One GL surface for the whole run, current from its creation on; null when OSMesa fails.
inline OffscreenSurface* benchSurface() {
    static OffscreenSurface s;
    static const bool ready = s.create(kBenchWidth, kBenchHeight);
    return ready ? &s : nullptr;
}
