// The browser display's side of the scene's GL switches: the WebGL renderer reads the scene's
// lighting choice with every frame, so a build has no GL state to change here.
#include "scene/gl_setup.h"

void applyRenderState(bool, bool) {}
void switchLighting(bool) {}
