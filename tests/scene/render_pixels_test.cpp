// Real pixels from the scene, drawn off-screen by Mesa: background, a faded-in image, pure red at fade 0.
#include <gtest/gtest.h>

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
