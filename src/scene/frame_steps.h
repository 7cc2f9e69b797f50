// The steps of a frame (Scene::renderFrame) and the counters of what they hand to GL.
#pragma once

#include <cstdint>

#include "fractal/tube_types.h"

struct Scene;

// Ring order for the renderer: true when a's sortKey is strictly greater (a is farther from the eye).
bool ringFartherFirst(const TubeRing& a, const TubeRing& b);

// The eye in model coordinates for a frame placed at (x, 0, z) and turned by the scene's angle.
void eyeInModelSpace(float x, float z, float angle, double eye[3]);

// The steps of Scene::renderFrame, in its order (benchmarks time them one by one):
// clears, places the model, finds the eye in model coordinates and sets light and materials;
void prepareFrame(Scene& scene, double eye[3]);
// sorts the rings farthest first and returns how many there are;
int32_t sortRingsForEye(Scene& scene, const double eye[3]);
// marks every vertex that starts a drawn quad as facing the eye (1) or away from it (255);
void markFacing(Scene& scene, const double eye[3], int32_t ringCount);
// sends the quads, ring by ring, back-facing before front-facing, with colour, alpha and normal:
// one glBegin/glEnd with a call per colour, normal and corner (the reference), or the very same
// corners, colours and normals through client-side vertex arrays and glDrawArrays.
void submitQuadsImmediate(const Scene& scene, int32_t ringCount);
void submitQuadArrays(const Scene& scene, int32_t ringCount);
// The same quads drawn as ranges of the image's buffer objects in the current context, made on first
// use. False, with nothing drawn, where that cannot be done (no buffers, a fade under way, an upload
// that failed): the caller then sends them through submitQuadArrays.
bool submitQuadBuffers(Scene& scene, const double eye[3], int32_t ringCount);
// The two halves of submitQuadBuffers: finding the facing of every quad and the ranges to draw (no GL
// call; false when the image cannot be laid out), and drawing them (finishing the upload first where
// needed). Neither lets an allocation failure out: the caller then draws through client arrays.
bool buildQuadRanges(Scene& scene, const double eye[3], int32_t ringCount);
bool drawQuadRanges(Scene& scene);
// Lays the image's quads out in buffer order (once per image). False when there is no image to lay out
// or no memory for the layout.
bool layOutQuads(Scene& scene);
// One step of the current context's upload of the image's buffers, made during the fade-in so that
// the first faded-in frame costs what any other does: the buffers get their storage, then a share of
// the quads (an image takes kUploadSteps steps), filled through a staging area of a fixed size instead
// of a copy of the whole image. False when the context has no buffers or the upload failed (the image
// is then drawn through client arrays in this context).
constexpr int32_t kUploadSteps = 40;
bool uploadStep(Scene& scene);

// What the quad submissions of this process handed to GL, summed since the counters were last reset
// (benchmarks). Uploads of buffer objects are counted apart from the per-frame traffic.
struct SubmitCounts {
    double bytes = 0;             // bytes GL reads from the program's memory while drawing (arrays, ranges)
    double calls = 0;             // GL calls made to submit the quads (state, pointers, draws)
    double uploadBytes = 0;       // bytes handed to the buffers (glBufferSubData)
    double glSeconds = 0;         // time inside draw and upload calls, by `clock`, when it is set
    double (*clock)() = nullptr;  // seconds (a benchmark's thread CPU clock); null: no timing
};
SubmitCounts& submitCounts();
