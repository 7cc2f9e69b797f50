// Real pixels from the scene, drawn off-screen by Mesa: background, a faded-in image, pure red at fade 0.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "scene/linux/offscreen_surface.h"
#include "scene/scene.h"
#include "settings/memory_backend.h"

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

TEST(RenderPixelsArrays, VertexArraysDrawTheSamePixelsAsImmediateModeForEveryView) {
    constexpr int32_t kWidth = 320;
    constexpr int32_t kHeight = 200;
    OffscreenSurface surface;
    ASSERT_TRUE(surface.create(kWidth, kHeight));
    for (int32_t view = 0; view < 5; ++view) {
        for (int lit = 0; lit < 2; ++lit) {
            ViewFrames frames(view, lit != 0, true, kWidth, kHeight);
            ASSERT_TRUE(frames.scene.buildImage());
            ASSERT_EQ(frames.scene.lightingOn, lit != 0);
            for (int quick = 0; quick < 2; ++quick) {
                SCOPED_TRACE(testing::Message() << "view " << view << " lit " << lit << " quick draw " << quick);
                frames.scene.quickDraw = quick != 0;
                // Two turns of the model, half faded in and fully faded in.
                for (int frame = 0; frame < 2; ++frame) {
                    frames.scene.angle = 40.0f + 95.0f * static_cast<float>(frame);
                    frames.scene.fade = frame == 0 ? 0.5 : 1.0;
                    frames.scene.vertexArrays = false;
                    frames.scene.renderFrame();
                    surface.finish();
                    const std::vector<uint8_t> immediate = surface.pixels();
                    frames.scene.vertexArrays = true;
                    frames.scene.renderFrame();
                    surface.finish();
                    int32_t differing = 0;
                    for (size_t i = 0; i < immediate.size(); i += 4) {
                        differing += std::memcmp(&immediate[i], &surface.pixels()[i], 4) != 0;
                    }
                    EXPECT_EQ(differing, 0) << "frame " << frame;
                }
            }
        }
    }
}
