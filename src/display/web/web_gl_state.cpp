// The browser display's side of the scene's GL steps: the WebGL renderer reads the scene's lighting choice
// with every frame and draws from index buffers of its own, so a build has no GL state to change here.
#include "scene/frame_steps.h"
#include "scene/gl_setup.h"

void applyRenderState(bool, bool) {}
void switchLighting(bool) {}
// The desktop's buffer objects are laid out per image; the page makes its own, so none is made here.
bool layOutQuads(Scene&) { return false; }
