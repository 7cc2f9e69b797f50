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
using GenerateImageFn =
    std::function<bool(TubeGenerator& generator, TubeShape& shape, FractalPath& path, TubeArrays& out)>;

// Single instance for the whole process (Scene::instance()); tests may make their own.
// All fields start as zero, false or none.
struct Scene {
    static Scene& instance();
    Scene();
    ~Scene();  // frees the image's memory; GL objects go with their contexts
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // --- set by the shell before loadSettings; live for the run ---
    bool preview = false;               // running inside the preview window
    ScenePlatform* platform = nullptr;  // clock, repaint, error box (shell-owned)
    RandomSource* random = nullptr;     // process-wide random source (shell-owned)

    // --- run-wide settings (loadSettings) ---
    MonitorMode monitorMode = MonitorMode::acrossAll;  // copy of "monitor_mode"
    bool quickDraw = false;                            // one drawing pass per quad instead of two
    float alpha = 0;                                   // opacity of coloured vertices, 0.4..1.0
    float rotationSpeed = 0;  // angle step per tick; magnitude 0.10..0.40, sign drawn per image
    float detailScale = 0;    // generator size factor 0.6..1.4
    bool lightingOn = false;  // the current image is lit by OpenGL
    int32_t interval = 0;     // seconds from an image's build to its fade-out: 45, 60 or 90

    // --- per image (buildImage) and animation (tick) ---
    float angle = 0;             // rotation parameter; the model turns by 2 * angle degrees
    float offsetX = 0;           // sideways offset of the model, -0.8..0.8
    double fade = 0;             // brightness factor of the image, 0..1
    bool fadingIn = false;       // still fading in
    bool lightTwoSides = false;  // copy of "light_2_sides"
    float lightDistance = 0;     // copy of "light_distance", 2.0..30.0
    float gloss = 0;             // 0.0..10.0, drives light and material values
    int32_t startTime = 0;       // wall-clock second of the build (low 32 bits, signed)

    // --- the current image, owned by the scene ---
    TubeVertex* vertices = nullptr;  // vertexCount records
    int32_t vertexCount = 0;         // 0 means no image
    TubeRing* rings = nullptr;       // vertexCount / ringSize records, or none
    int32_t ringSize = 0;            // vertices per ring

    ImagePlaylist playlist;     // cursor of the image to show
    FractalPath workingPath{};  // working copy of defaultPath, refreshed before every build

    // --- beyond the classic record ---
    bool building = false;                // true while buildImage shows its error box, whose message loop may
                                          // deliver ticks; tick does nothing then
    GenerateImageFn generateImage;        // empty: the real generator; set by tests for the run
    bool vertexArrays = false;            // renderFrame sends the quads through vertex arrays instead of
                                          // immediate mode (same pixels); loadSettings turns it on for the run
    bool bufferObjects = false;           // with vertexArrays: a faded-in image is drawn from buffer objects
                                          // kept in each context that has them (same pixels); loadSettings
                                          // turns it on for the run
    const GlContextApi* glApi = nullptr;  // the window system's GL lookups (shell-set); none: a single
                                          // context without buffer objects
    uint32_t imageSerial = 0;             // changes whenever the image's arrays do (build, release, imageEdited)
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

// Call on every new context, current: the same as scene.startGlContext().
void initRenderState(Scene& scene);
