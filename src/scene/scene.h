// The one process-wide scene: settings copies, animation state and the current image's arrays.
#pragma once

#include <cstdint>
#include <functional>

#include "common/random_source.h"
#include "fractal/tube_types.h"
#include "scene/image_playlist.h"
#include "scene/scene_platform.h"

class TubeGenerator;
struct TubeArrays;

// Stands in for TubeGenerator::generate (tests: failures, small hand-made images). Same contract.
using GenerateImageFn = std::function<bool(TubeGenerator& generator, TubeShape& shape, FractalPath& path,
                                           TubeArrays& out)>;

// Single instance for the whole process (Scene::instance()); tests may make their own.
// All fields start as zero, false or none.
struct Scene {
    static Scene& instance();

    // --- set by the shell before loadSettings; live for the run ---
    bool preview = false;           // running inside the preview window
    ScenePlatform* platform = nullptr;  // clock, repaint, error box (shell-owned)
    RandomSource* random = nullptr;     // process-wide random source (shell-owned)

    // --- run-wide settings (loadSettings) ---
    int32_t monitorMode = 0;        // copy of "monitor_mode", 0..2
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
    bool lightingApplied = false;   // lighting switch last sent to GL (initRenderState, buildImage); GL's
                                    // default is off. Compared against, so a failed build cannot leave a
                                    // lit image drawn with GL lighting off.
    bool building = false;          // true while buildImage shows its error box, whose message loop may
                                    // deliver ticks; tick does nothing then
    GenerateImageFn generateImage;  // empty: the real generator; set by tests for the run
    bool vertexArrays = false;      // renderFrame sends the quads through vertex arrays instead of
                                    // immediate mode (same pixels); loadSettings turns it on for the run

    void loadSettings();
    // Builds the image at playlist.cursor mod 5. False when the build failed (already reported).
    bool buildImage();
    void releaseImage();
    void smoothNormals();
    void renderFrame();
    void tick();

    // The random source in use: `random`, or a built-in one when the shell has set none.
    RandomSource& rng();
    // Wall-clock seconds from the platform (the C clock when there is none).
    int64_t now();
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

// GL set-up shared by every surface: viewport, projection and fixed render state.
void setViewportAndProjection(int32_t width, int32_t height);
void initRenderState(Scene& scene);
