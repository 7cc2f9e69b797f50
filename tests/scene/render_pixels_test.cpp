// Real pixels from the scene, drawn off-screen by Mesa: background, a faded-in image, pure red at fade 0.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/linux/offscreen_surface.h"
#include "scene/frame_steps.h"
#include "scene/gl_context_record.h"
#include "scene/scene.h"
#include "support/memory_backend.h"

namespace {

class NoPlatform final : public ScenePlatform {
public:
    int64_t nowSeconds() override { return 1000; }
    void repaintSurfaces() override {}
    void showError(const char*, const char*) override { ADD_FAILURE() << "unexpected error box"; }
};

class RenderPixelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.store("detail_level", 0);
        settings.store("light_source", 0);
        scene.platform = &platform;
        scene.random = &random;
        scene.preview = true;  // dark blue background, small image
        ASSERT_TRUE(surface.create(kWidth, kHeight));
        scene.glApi = &offscreenGlApi();
        scene.loadSettings();
        setViewportAndProjection(kWidth, kHeight);
        initRenderState(scene);
    }
    void TearDown() override { scene.releaseImage(); }

    // Pixels that differ from the preview background.
    int changedPixels() const {
        int count = 0;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                const uint8_t* p = surface.pixel(x, y);
                count += !(p[0] == 0 && p[1] == 0 && p[2] == 32);
            }
        return count;
    }
    void draw(double fade) {
        scene.fade = fade;
        scene.renderFrame();
        surface.finish();
    }

    static constexpr int32_t kWidth = 160;
    static constexpr int32_t kHeight = 100;
    MemorySettingsBackend settings;
    ScopedSettingsBackend useSettings{settings};
    NoPlatform platform;
    LcgRandom random{3};
    Scene scene;
    OffscreenSurface surface;
};

TEST_F(RenderPixelsTest, PreviewBackgroundIsDarkBlueWithZeroAlpha) {
    draw(1.0);
    for (int32_t y = 0; y < kHeight; y += 7)
        for (int32_t x = 0; x < kWidth; x += 5) {
            const uint8_t* p = surface.pixel(x, y);
            ASSERT_EQ(p[0], 0);
            ASSERT_EQ(p[1], 0);
            ASSERT_EQ(p[2], 32);
            ASSERT_EQ(p[3], 0);
        }
}

TEST_F(RenderPixelsTest, FadedInImageShowsColoursAndFadeZeroHidesPureRed) {
    ASSERT_TRUE(scene.buildImage());
    draw(1.0);
    const int covered = changedPixels();
    EXPECT_GT(covered, kWidth * kHeight / 20) << "the tube should cover a good part of the frame";
    int colourful = 0;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint8_t* p = surface.pixel(x, y);
            colourful += (p[0] > 40 || p[1] > 40);
        }
    EXPECT_GT(colourful, covered / 10);

    // At fade 0 the coloured quads are black at opacity alpha: they darken the background.
    draw(0.0);
    EXPECT_GT(changedPixels(), covered / 2);

    // Paint everything pure red: visible at fade 1, fully transparent at fade 0.
    for (int32_t i = 0; i < scene.vertexCount; ++i) {
        TubeVertex& v = scene.vertices[i];
        if (v.red != 0 || v.green != 0 || v.blue != 0) {
            v.red = 200;
            v.green = 0;
            v.blue = 0;
        }
    }
    scene.imageEdited();  // buffers made from the old colours are remade
    draw(1.0);
    EXPECT_GT(changedPixels(), covered / 2);
    draw(0.0);
    EXPECT_EQ(changedPixels(), 0);
}

}  // namespace

namespace {

// A saver-like scene of one view drawn into an OSMesa surface, for comparing submission paths.
struct ViewFrames {
    MemorySettingsBackend settings;
    ScopedSettingsBackend useSettings{settings};
    NoPlatform platform;
    LcgRandom random{5};
    Scene scene;

    ViewFrames(int32_t view, bool lit, bool quickDraw, int32_t width, int32_t height) {
        settings.store("detail_level", 0);
        settings.store("light_source", lit ? 1 : 0);
        settings.store("quick_draw", quickDraw ? 1 : 0);
        settings.store("gloss_level", 6);
        scene.platform = &platform;
        scene.random = &random;
        scene.loadSettings();
        scene.playlist.cursor = view;
        setViewportAndProjection(width, height);
        initRenderState(scene);
    }
    ~ViewFrames() { scene.releaseImage(); }
};

}  // namespace

// The three ways of sending the quads: immediate mode (the reference), client arrays, buffer objects.
enum class Path { immediate, arrays, buffers };

void drawWith(Scene& scene, Path path) {
    scene.vertexArrays = path != Path::immediate;
    scene.bufferObjects = path == Path::buffers;
    scene.renderFrame();
}

int32_t differingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int32_t differing = 0;
    for (size_t i = 0; i + 4 <= a.size(); i += 4) differing += std::memcmp(&a[i], &b[i], 4) != 0;
    return differing;
}

// Every view, lit and unlit; each gloss, light distance and two-sided setting; quick draw on and off;
// faded in and half faded; a new angle for every frame. Arrays and buffers give immediate mode's
// pixels exactly, and immediate mode repeats its own frames exactly, one-sided light included.
// Under one-sided light Mesa's software rasteriser shifts lit pixels by one step where a run of quads
// happens to be cut into separate draws, and immediate mode is cut wherever the driver's vertex store
// fills up, so without help it does not even repeat its own frames. The solid stipple pattern (GL's
// default) hides no pixel but makes Mesa treat every triangle alone, as it does under two-sided light:
// with it on, these frames compare what the program sends rather than where the driver cuts it.
TEST(RenderPixelsPaths, ArraysAndBuffersDrawImmediateModesPixelsOverEverySetting) {
    constexpr int32_t kWidth = 112;
    constexpr int32_t kHeight = 70;
    OffscreenSurface surface;
    ASSERT_TRUE(surface.create(kWidth, kHeight));
    float angle = 3.0f;
    int32_t frames = 0;
    int32_t bufferFrames = 0;
    for (int32_t view = 0; view < 5; ++view) {
        for (int lit = 0; lit < 2; ++lit) {
            ViewFrames frames_(view, lit != 0, true, kWidth, kHeight);
            Scene& scene = frames_.scene;
            scene.glApi = &offscreenGlApi();
            initRenderState(scene);
            ASSERT_TRUE(scene.buildImage());
            ASSERT_EQ(scene.lightingOn, lit != 0);
            const std::vector<float> glosses = lit ? std::vector<float>{0, 5, 10} : std::vector<float>{0};
            const std::vector<float> distances = lit ? std::vector<float>{2, 10, 30} : std::vector<float>{2};
            // Every lighting setting once, quick draw and fade taking turns across them.
            int32_t turn = 0;
            for (float gloss : glosses)
                for (float distance : distances)
                    for (int sides = 0; sides < (lit ? 2 : 1); ++sides)
                        for (int repeat = 0; repeat < (lit ? 1 : 4); ++repeat, ++turn) {
                            const int quick = turn % 2;
                            const double fade = (turn / 2) % 2 == 0 ? 1.0 : 0.63;
                            scene.gloss = gloss;
                            scene.lightDistance = distance;
                            scene.lightTwoSides = sides != 0 || !lit;
                            scene.quickDraw = quick != 0;
                            scene.fade = fade;
                            angle += 37.25f;
                            scene.angle = angle;
                            if (lit && sides == 0) {
                                glEnable(GL_POLYGON_STIPPLE);
                            } else {
                                glDisable(GL_POLYGON_STIPPLE);
                            }
                            drawWith(scene, Path::immediate);
                            surface.finish();
                            const std::vector<uint8_t> reference = surface.pixels();
                            if (lit && sides == 0) {
                                // The same frame again: where the driver cuts immediate mode's quads
                                // into draws differs from the first time.
                                drawWith(scene, Path::immediate);
                                surface.finish();
                                ASSERT_EQ(differingPixels(reference, surface.pixels()), 0)
                                    << "immediate mode again, view " << view << " gloss " << gloss << " distance "
                                    << distance << " angle " << angle;
                            }
                            std::vector<uint8_t> firstBuffers;
                            for (Path path : {Path::arrays, Path::buffers, Path::buffers}) {
                                submitCounts() = SubmitCounts{};
                                drawWith(scene, path);
                                surface.finish();
                                const int32_t differing = differingPixels(reference, surface.pixels());
                                ASSERT_EQ(differing, 0)
                                    << "view " << view << " lit " << lit << " gloss " << gloss << " distance "
                                    << distance << " two sides " << sides << " quick draw " << quick << " fade " << fade
                                    << " angle " << angle << " path " << static_cast<int>(path);
                                if (path == Path::buffers) {
                                    // Faded in, the quads come from the buffers (no array traffic),
                                    // the same pixels every time.
                                    if (fade == 1.0 && submitCounts().bytes < 1e5) ++bufferFrames;
                                    if (firstBuffers.empty()) {
                                        firstBuffers = surface.pixels();
                                    } else {
                                        ASSERT_EQ(differingPixels(firstBuffers, surface.pixels()), 0);
                                    }
                                }
                            }
                            ++frames;
                        }
        }
    }
    glDisable(GL_POLYGON_STIPPLE);
    EXPECT_EQ(frames, 5 * (18 + 4));
    EXPECT_GE(bufferFrames, frames - 5);  // about half the frames are faded in, each drawn twice
}
