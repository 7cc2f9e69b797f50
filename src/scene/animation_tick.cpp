// The 20 ms heartbeat: turn the model, repaint at once, fade in or out, change the image.
#include "scene/scene.h"

void Scene::tick() {
    // Only an error box opened by a build can deliver a tick here; hold it back until the box closes.
    if (building) return;

    angle = angle + rotationSpeed;
    if (platform != nullptr) platform->repaintSurfaces();

    if (fadingIn) {
        fade += 0.01;
        if (fade >= 1.0) {
            fadingIn = false;
            fade = 1.0;
        }
        return;
    }

    // Seconds since the build, taken modulo 2^32 so that the low 32 bits kept in startTime still give
    // the right answer once the clock passes 2^31 seconds (January 2038).
    const int64_t now64 = now();
    const int64_t elapsed = static_cast<int32_t>(static_cast<uint32_t>(now64) - static_cast<uint32_t>(startTime));
    if (elapsed > interval && fade > 0) {
        fade -= 0.01;
        if (fade < 0) fade = 0;
        return;
    }

    if (fade == 0) {
        playlist.advance(rng());
        buildImage();
    }
}
