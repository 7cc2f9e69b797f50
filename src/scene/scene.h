// The one process-wide scene: settings copies, animation state and the current image's arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/random_source.h"
#include "fractal/tube_types.h"
#include "scene/gl_setup.h"
#include "scene/image_playlist.h"
#include "scene/scene_platform.h"
#include "settings/setting_table.h"

class TubeGenerator;
struct TubeArrays;
struct GlContextApi;
struct GlContextRecord;
struct QuadLayout;

// Stands in for TubeGenerator::generate (tests: failures, small hand-made images). Same contract.
using GenerateImageFn = std::function<bool(TubeGenerator& generator, TubeShape& shape, FractalPath& path,
                                           TubeArrays& out)>;

// Single instance for the whole process (Scene::instance()); tests may make their own.
// All fields start as zero, false or none.
struct Scene {
    static Scene& instance();
    Scene();
    ~Scene();  // frees the image's memory; GL objects go with their contexts
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // --- set by the shell before loadSettings; live for the run ---
    bool preview = false;           // running inside the preview window
    ScenePlatform* platform = nullptr;  // clock, repaint, error box (shell-owned)
    RandomSource* random = nullptr;     // process-wide random source (shell-owned)

    // --- run-wide settings (loadSettings) ---
    MonitorMode monitorMode = MonitorMode::acrossAll;  // copy of "monitor_mode"
    bool quickDraw = false;         // one drawing pass per quad instead of two
    float alpha = 0;                // opacity of coloured vertices, 0.4..1.0
    float rotationSpeed = 0;        // angle step per tick; magnitude 0.10..0.40, sign drawn per image
    float detailScale = 0;          // generator size factor 0.6..1.4
    bool lightingOn = false;        // the current image is lit by OpenGL
    int32_t interval = 0;           // seconds from an image's build to its fade-out: 45, 60 or 90

    // --- per image (buildImage) and animation (tick) ---
    float angle = 0;                // rotation parameter; the model turns by 2 * angle degrees
    float offsetX = 0;              // sideways offset of the model, -0.8..0.8
    double fade = 0;                // brightness factor of the image, 0..1
    bool fadingIn = false;          // still fading in
    bool lightTwoSides = false;     // copy of "light_2_sides"
    float lightDistance = 0;        // copy of "light_distance", 2.0..30.0
    float gloss = 0;                // 0.0..10.0, drives light and material values
    int32_t startTime = 0;          // wall-clock second of the build (low 32 bits, signed)

    // --- the current image, owned by the scene ---
    TubeVertex* vertices = nullptr; // vertexCount records
    int32_t vertexCount = 0;        // 0 means no image
    TubeRing* rings = nullptr;      // vertexCount / ringSize records, or none
    int32_t ringSize = 0;           // vertices per ring

    ImagePlaylist playlist;         // cursor of the image to show
    FractalPath workingPath{};      // working copy of defaultPath, refreshed before every build

    // --- beyond the classic record ---
    bool building = false;          // true while buildImage shows its error box, whose message loop may
                                    // deliver ticks; tick does nothing then
    GenerateImageFn generateImage;  // empty: the real generator; set by tests for the run
    bool vertexArrays = false;      // renderFrame sends the quads through vertex arrays instead of
                                    // immediate mode (same pixels); loadSettings turns it on for the run
    bool bufferObjects = false;     // with vertexArrays: a faded-in image is drawn from buffer objects
                                    // kept in each context that has them (same pixels); loadSettings
                                    // turns it on for the run
    const GlContextApi* glApi = nullptr;  // the window system's GL lookups (shell-set); none: a single
                                          // context without buffer objects
    uint32_t imageSerial = 0;       // changes whenever the image's arrays do (build, release, imageEdited)
    // Where builds put the image's arrays (`vertices` and `rings` point into them). They keep their
    // memory from image to image, growing to the largest image of the run, so that a long run's
    // memory stays flat and a build writes into pages already in use.
    std::vector<TubeVertex> vertexStore;
    std::vector<TubeRing> ringStore;
    std::vector<std::unique_ptr<GlContextRecord>> glContexts;  // one per context drawn into
    std::unique_ptr<QuadLayout> quadLayout;  // the image's quads in buffer order (made by buildImage or
                                             // on first use; kept with its capacity from image to image)

    void loadSettings();
    // Builds the image at playlist.cursor mod 5. False when the build failed (already reported).
    bool buildImage();
    void releaseImage();
    // Call after changing the image's vertices or rings in place: buffers made from them are remade.
    void imageEdited();
    void smoothNormals();
    void renderFrame();
    void tick();

    // The random source in use: `random`, or a built-in one when the shell has set none.
    RandomSource& rng();
    // Wall-clock seconds from the platform (the C clock when there is none).
    int64_t now();

    // Call on every new context, current: sets its fixed render state, starts the scene's record of it
    // afresh (a context made with the handle of a deleted one holds nothing of it) and restarts the turn.
    void startGlContext();
    // The record of the context current now (made on first use; a fresh context has lighting off).
    GlContextRecord& currentGlContext();
    // Drops the record of a context that is being deleted (its buffers die with it).
    void forgetGlContext(const void* context);
    // Deletes the current context's buffers, if it has any. Each context calls it in its first frame
    // of a fade-out (buffers are drawn at fade 1 only), so that no context holds an image's buffers
    // when the next image is built; releaseImage calls it for the context current then.
    void deleteCurrentBuffers();
};

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
    double bytes = 0;        // bytes GL reads from the program's memory while drawing (arrays, ranges)
    double calls = 0;        // GL calls made to submit the quads (state, pointers, draws)
    double uploadBytes = 0;  // bytes handed to the buffers (glBufferSubData)
    double glSeconds = 0;    // time inside draw and upload calls, by `clock`, when it is set
    double (*clock)() = nullptr;  // seconds (a benchmark's thread CPU clock); null: no timing
};
SubmitCounts& submitCounts();

// Call on every new context, current: the same as scene.startGlContext().
void initRenderState(Scene& scene);
