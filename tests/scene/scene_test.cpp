// Scene set-up and the animation tick against a fake platform, an in-memory settings store and
// scripted random draws.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fractal/tube_generator.h"
#include "gl_recorder.h"
#include "scene/gl_includes.h"
#include "scene/scene.h"
#include "support/memory_backend.h"
#include "test_image.h"

namespace {

class FakePlatform final : public ScenePlatform {
public:
    int64_t nowSeconds() override {
        ++clockReads;
        return clock;
    }
    void repaintSurfaces() override {
        ++repaints;
        if (onRepaint) onRepaint();
    }
    void showError(const char* text, const char* caption) override {
        errors.emplace_back(text, caption);
        if (onError) onError();
    }

    int64_t clock = 100;  // the wall clock, seconds
    int clockReads = 0;
    int repaints = 0;
    std::vector<std::pair<std::string, std::string>> errors;  // (text, caption) per box
    std::function<void()> onError;                            // runs while the "box" is open
    std::function<void()> onRepaint;                          // runs as the frame is drawn
};

// Logs seeds and draws in order, drawing from a fixed list.
class LoggingRandom final : public RandomSource {
public:
    void seed(uint32_t value) override { log.push_back("seed " + std::to_string(value)); }
    int next() override {
        log.push_back("draw");
        return value;
    }
    int value = 1;
    std::vector<std::string> log;
};

// What the scene handed to the generator for one build.
struct GenerateCall {
    float width;
    float height;
    int32_t bakeLighting;
    bool paletteShift;
    int32_t paletteVariant;
    double lightDirection[3];
    float driftRate;
    int view;  // which view table entry the shape came from, -1 if none matched
};

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearGlCalls();
        scene.platform = &platform;
        scene.random = &random;
        scene.generateImage = [this](TubeGenerator& g, TubeShape& shape, FractalPath& path, TubeArrays& out) {
            GenerateCall call{g.detailWidth,    g.detailHeight,
                              g.bakeLighting,   g.paletteShift,
                              g.paletteVariant, {g.lightDirection[0], g.lightDirection[1], g.lightDirection[2]},
                              g.driftRate,      -1};
            for (int k = 0; k < 5; ++k)
                if (std::memcmp(&shape, &g.shapeTable[k], sizeof shape) == 0 &&
                    std::memcmp(&path, &g.pathTable[k], sizeof path) == 0)
                    call.view = k;
            generates.push_back(call);
            g.random->next();  // the real generator draws once, for its light model
            if (!generateSucceeds) return false;
            out = makeTestArrays(4, 3, 2, nullptr);
            g.ringSize = 4;
            g.vertexCount = 14;
            return true;
        };
    }
    void TearDown() override { scene.releaseImage(); }

    void setRandom(std::initializer_list<int> values) {
        scripted = ScriptedRandom(values);
        scene.random = &scripted;
    }

    MemorySettingsBackend settings;
    ScopedSettingsBackend useSettings{settings};
    FakePlatform platform;
    LcgRandom random{7};
    ScriptedRandom scripted{0};
    Scene scene;
    std::vector<GenerateCall> generates;
    bool generateSucceeds = true;
};

TEST_F(SceneTest, RunWideSettings) {
    struct Transparency {
        int level;
        bool quick;
        float alpha;
    };
    for (Transparency t :
         {Transparency{10, true, 0.95f}, Transparency{10, false, 0.68775f}, Transparency{0, true, 1.0f},
          Transparency{0, false, 1.0f}, Transparency{40, true, 0.8f}, Transparency{40, false, 0.4f}}) {
        settings.store("transp_level", t.level);
        settings.store("quick_draw", t.quick);
        scene.loadSettings();
        EXPECT_FLOAT_EQ(scene.alpha, t.alpha) << t.level << " " << t.quick;
        EXPECT_EQ(scene.quickDraw, t.quick);
    }

    settings.store("rotation_speed", 25);
    const int intervalOptions[5] = {0, 1, 2, 7, -1};
    const int intervals[5] = {45, 60, 90, 90, 90};
    for (int i = 0; i < 5; ++i) {
        settings.store("interval_option", intervalOptions[i]);
        settings.store("detail_level", i);
        settings.store("monitor_mode", i % 3);
        scene.loadSettings();
        EXPECT_EQ(scene.interval, intervals[i]);
        EXPECT_FLOAT_EQ(scene.detailScale, 0.6f + 0.2f * i);
        EXPECT_EQ(static_cast<int>(scene.monitorMode), i % 3);
        EXPECT_FLOAT_EQ(scene.rotationSpeed, 0.25f);
    }
}

TEST_F(SceneTest, LoadSeedsFromTheClockBeforeTheFirstPick) {
    LoggingRandom logging;
    scene.random = &logging;
    settings.store("shuffle_images", 1);
    settings.store("light_source", 1);
    platform.clock = 4321;
    scene.loadSettings();
    ASSERT_EQ(logging.log.size(), 2u);
    EXPECT_EQ(logging.log[0], "seed 4321");
    EXPECT_EQ(logging.log[1], "draw");    // the shuffled first pick, from the seeded sequence
    EXPECT_EQ(scene.playlist.cursor, 1);  // r mod 5 with r = 1
    EXPECT_EQ(scene.vertexCount, 0);
    EXPECT_EQ(scene.rings, nullptr);

    // In preview the first image is image 0, without a pick.
    logging.log.clear();
    scene.preview = true;
    scene.loadSettings();
    EXPECT_EQ(logging.log, (std::vector<std::string>{"seed 4321"}));
    EXPECT_EQ(scene.playlist.cursor, 0);

    // Sequential order starts at image 0 outside preview too.
    settings.store("shuffle_images", 0);
    scene.preview = false;
    scene.loadSettings();
    EXPECT_EQ(scene.playlist.cursor, 0);
}

TEST_F(SceneTest, LightSourceRuleAtLoadAndPerImage) {
    struct Case {
        int source;
        int draw;
        bool lit;
        size_t draws;  // by loadSettings
    };
    for (Case c : {Case{0, 0, false, 0}, Case{1, 1, true, 0}, Case{2, 4, true, 1}, Case{2, 5, false, 1},
                   Case{3, 2, true, 1}, Case{-1, 3, false, 1}}) {
        settings.store("light_source", c.source);
        setRandom({c.draw});
        scene.loadSettings();
        EXPECT_EQ(scene.lightingOn, c.lit) << c.source;
        EXPECT_EQ(scripted.draws, c.draws) << c.source;

        // A build draws angle, sign, offset, the palette (default "palette_type" 2), then the light.
        settings.store("palette_type", 0);
        setRandom({1, 1, 1, c.draw});
        ASSERT_TRUE(scene.buildImage());
        EXPECT_EQ(scene.lightingOn, c.lit) << c.source;
        EXPECT_EQ(generates.back().bakeLighting, c.lit ? 0 : 1);
        EXPECT_EQ(scripted.draws, 3 + c.draws + 1);  // + the generator's own draw
    }
}

TEST_F(SceneTest, BuildDrawsInOrder) {
    settings.store("palette_type", 2);
    settings.store("light_source", 2);
    settings.store("gloss_random", 1);
    settings.store("gloss_level", 3);
    scene.rotationSpeed = -0.25f;
    // angle, sign (odd: positive), offset, palette (even: shift), variant, light (even: lit),
    // the generator's draw, gloss.
    setRandom({32767, 1, 0, 4, 5, 6, 7, 250});
    ASSERT_TRUE(scene.buildImage());
    EXPECT_EQ(scripted.draws, 8u);
    EXPECT_FLOAT_EQ(scene.angle, 10.0f);
    EXPECT_FLOAT_EQ(scene.rotationSpeed, 0.25f);
    EXPECT_FLOAT_EQ(scene.offsetX, -0.8f);
    ASSERT_EQ(generates.size(), 1u);
    EXPECT_TRUE(generates[0].paletteShift);
    EXPECT_EQ(generates[0].paletteVariant, 2);
    EXPECT_TRUE(scene.lightingOn);
    EXPECT_FLOAT_EQ(scene.gloss, 4.8f);  // 250 mod 101 = 48 tenths
    EXPECT_EQ(generates[0].lightDirection[0], 1.0);
    EXPECT_EQ(generates[0].lightDirection[2], 1.0);
    EXPECT_EQ(generates[0].driftRate, scene.workingPath.driftRate);

    // Even sign draw: negative speed; offset at the other end.
    setRandom({0, 2, 32767, 1, 1, 1, 1});
    ASSERT_TRUE(scene.buildImage());
    EXPECT_EQ(scene.angle, 0.0f);
    EXPECT_FLOAT_EQ(scene.rotationSpeed, -0.25f);
    EXPECT_FLOAT_EQ(scene.offsetX, 0.8f);
    EXPECT_FALSE(generates[1].paletteShift);
    EXPECT_EQ(generates[1].paletteVariant, 0);
    EXPECT_FALSE(scene.lightingOn);
    EXPECT_FLOAT_EQ(scene.gloss, 0.1f);
    EXPECT_EQ(scene.fade, 0.0);
    EXPECT_TRUE(scene.fadingIn);

    // Gloss from the setting when not random; palette 1 always shifts, 0 never, without a draw there.
    settings.store("gloss_random", 0);
    settings.store("palette_type", 1);
    setRandom({1, 1, 1, 8, 1});
    ASSERT_TRUE(scene.buildImage());
    EXPECT_FLOAT_EQ(scene.gloss, 3.0f);
    EXPECT_TRUE(generates[2].paletteShift);
    EXPECT_EQ(generates[2].paletteVariant, 2);  // 8 mod 3
    settings.store("palette_type", 0);
    ASSERT_TRUE(scene.buildImage());
    EXPECT_FALSE(generates[3].paletteShift);
}

TEST_F(SceneTest, DetailSizesViewChoiceAndImageState) {
    const float widths[5] = {180, 240, 300, 360, 420};
    const float heights[5] = {120, 160, 200, 240, 280};
    for (int level = 0; level < 5; ++level) {
        settings.store("detail_level", level);
        scene.loadSettings();
        scene.playlist.cursor = level + 5;  // the view is the cursor mod 5
        ASSERT_TRUE(scene.buildImage());
        // Nominal sizes: the single-precision factor times 300 and 200 lands within an ulp or so.
        EXPECT_FLOAT_EQ(generates.back().width, widths[level]);
        EXPECT_FLOAT_EQ(generates.back().height, heights[level]);
        EXPECT_EQ(generates.back().view, level);
    }
    scene.preview = true;
    scene.loadSettings();
    ASSERT_TRUE(scene.buildImage());
    EXPECT_FLOAT_EQ(generates.back().width, 120.0f);
    EXPECT_FLOAT_EQ(generates.back().height, 80.0f);
    EXPECT_EQ(generates.back().view, 0);

    settings.store("interval_option", 1);
    platform.clock = 0x123456789LL;
    ASSERT_TRUE(scene.buildImage());
    EXPECT_EQ(scene.interval, 60);
    EXPECT_EQ(scene.startTime, 0x23456789);
    EXPECT_EQ(scene.vertexCount, 14);
    EXPECT_EQ(scene.ringSize, 4);
    ASSERT_NE(scene.rings, nullptr);

    scene.releaseImage();
    EXPECT_EQ(scene.vertexCount, 0);
    EXPECT_EQ(scene.rings, nullptr);
    scene.releaseImage();  // nothing held: only the count is set
    EXPECT_EQ(scene.vertexCount, 0);
}

TEST_F(SceneTest, OutOfMemoryMessagesAndTheStateLeft) {
    settings.store("light_source", 0);
    settings.store("interval_option", 1);
    settings.store("gloss_level", 2);
    settings.store("detail_level", 2);
    scene.loadSettings();
    ASSERT_TRUE(scene.buildImage());
    const int32_t builtAt = scene.startTime;

    generateSucceeds = false;
    platform.clock = 500;
    settings.store("light_source", 1);
    settings.store("interval_option", 0);
    settings.store("gloss_level", 9);
    setRandom({32767, 1, 0});
    clearGlCalls();
    EXPECT_FALSE(scene.buildImage());
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0].first, "Out of memory. Try smaller detail level (Settings >> General)");
    EXPECT_EQ(platform.errors[0].second, "Unexpected error");
    EXPECT_EQ(scene.vertexCount, 0);
    EXPECT_EQ(scene.rings, nullptr);
    EXPECT_EQ(scene.fade, 0.0);
    EXPECT_FALSE(scene.fadingIn);
    EXPECT_FLOAT_EQ(scene.angle, 10.0f);  // drawn for the failed image
    EXPECT_TRUE(scene.lightingOn);        // chosen for the failed image
    EXPECT_EQ(scene.gloss, 2.0f);         // the previous image's
    EXPECT_EQ(scene.interval, 60);
    EXPECT_EQ(scene.startTime, builtAt);
    EXPECT_TRUE(glCalls().empty());  // no lighting switch

    settings.store("detail_level", 0);
    EXPECT_FALSE(scene.buildImage());
    ASSERT_EQ(platform.errors.size(), 2u);
    EXPECT_EQ(platform.errors[1].first, "Out of Memory");
    EXPECT_EQ(platform.errors[1].second, "Unexpected error");

    scene.preview = true;
    EXPECT_FALSE(scene.buildImage());
    EXPECT_EQ(platform.errors.size(), 2u);
}

// A failed build that changed the lighting choice has not switched GL; the next successful build
// with the same choice must still switch it, or a lit image would be drawn with GL lighting off.
TEST_F(SceneTest, LightingSwitchFollowsGlStateAcrossAFailedBuild) {
    settings.store("light_source", 0);
    scene.loadSettings();
    initRenderState(scene);
    ASSERT_TRUE(scene.buildImage());
    clearGlCalls();
    ASSERT_TRUE(scene.buildImage());  // the same choice again: no switch
    EXPECT_TRUE(glCalls().empty());

    settings.store("light_source", 1);
    generateSucceeds = false;
    EXPECT_FALSE(scene.buildImage());
    EXPECT_TRUE(glCalls().empty());

    generateSucceeds = true;
    ASSERT_TRUE(scene.buildImage());
    std::vector<std::string> names;
    for (const GlCall& call : glCalls()) names.push_back(call.name + " " + std::to_string(int(call.args[0])));
    EXPECT_EQ(names, (std::vector<std::string>{
                         "glShadeModel " + std::to_string(GL_SMOOTH), "glEnable " + std::to_string(GL_LIGHTING),
                         "glEnable " + std::to_string(GL_LIGHT0), "glEnable " + std::to_string(GL_COLOR_MATERIAL)}));

    settings.store("light_source", 0);
    clearGlCalls();
    ASSERT_TRUE(scene.buildImage());
    ASSERT_EQ(glCalls().size(), 4u);
    EXPECT_EQ(glCalls()[1].name, "glDisable");
    EXPECT_EQ(glCalls()[3].args[0], double(GL_COLOR_MATERIAL));
}

TEST_F(SceneTest, SmoothNormalsBlendsTwiceWithTheNextRingAndOnlyForLitImages) {
    // Three rings of three plus one vertex: rings 0 and 1 are smoothed, ring 2 has no next ring.
    installTestImage(scene, 3, 3, 1);
    auto setNormal = [&](int i, double angleRad) {
        scene.vertices[i].normal[0] = std::cos(angleRad);
        scene.vertices[i].normal[1] = std::sin(angleRad);
        scene.vertices[i].normal[2] = 0;
    };
    for (int i = 0; i < 10; ++i) setNormal(i, 0.2 * i);
    auto blendTwice = [&](int v, int neighbour, double out[3]) {
        double n[3] = {std::cos(0.2 * v), std::sin(0.2 * v), 0};
        const double m[3] = {std::cos(0.2 * neighbour), std::sin(0.2 * neighbour), 0};
        for (int pass = 0; pass < 2; ++pass) {
            double s[3] = {n[0] + m[0], n[1] + m[1], n[2] + m[2]};
            const double len = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
            for (int k = 0; k < 3; ++k) n[k] = s[k] / len;
        }
        for (int k = 0; k < 3; ++k) out[k] = n[k];
    };
    scene.smoothNormals();
    // Neighbour: same position + 1 in the next ring; for the last position, the next ring's first vertex.
    const int neighbours[6] = {4, 5, 3, 7, 8, 6};
    for (int v = 0; v < 6; ++v) {
        double expected[3];
        blendTwice(v, neighbours[v], expected);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(scene.vertices[v].normal[k], expected[k], 1e-12) << v;
    }
    for (int v = 6; v < 10; ++v) EXPECT_NEAR(scene.vertices[v].normal[0], std::cos(0.2 * v), 1e-15) << v;

    // A build smooths lit images only.
    settings.store("light_source", 0);
    ASSERT_TRUE(scene.buildImage());
    EXPECT_EQ(scene.vertices[0].normal[2], 1.0);
    EXPECT_EQ(scene.vertices[0].normal[0], 0.0);
}

// --- the animation tick ---

class TickTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        settings.store("interval_option", 0);  // 45 s
        platform.clock = 100;
        scene.loadSettings();
        ASSERT_TRUE(scene.buildImage());
        generates.clear();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) scene.tick();
    }
};

TEST_F(TickTest, RotationAndRepaintEveryTick) {
    scene.rotationSpeed = -0.25f;
    scene.angle = 3.0f;
    ticks(4);
    EXPECT_EQ(scene.angle, 2.0f);
    EXPECT_EQ(platform.repaints, 4);
    scene.rotationSpeed = 0.1f;
    float expected = scene.angle;
    for (int i = 0; i < 10; ++i) {
        expected = expected + 0.1f;
        scene.tick();
    }
    EXPECT_EQ(scene.angle, expected);  // accumulated in single precision
}

TEST_F(TickTest, EachFrameIsDrawnAfterTheTurnAndBeforeTheFadeStepAndTheChangeOfImage) {
    // What the scene holds while the frame is drawn.
    struct Frame {
        float angle;
        double fade;
        bool fadingIn;
        size_t builds;
    };
    std::vector<Frame> frames;
    platform.onRepaint = [&] { frames.push_back({scene.angle, scene.fade, scene.fadingIn, generates.size()}); };
    scene.angle = 1.0f;
    scene.rotationSpeed = 0.25f;

    scene.tick();  // fading in: this tick's angle, the previous tick's fade
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].angle, 1.25f);
    EXPECT_EQ(frames[0].fade, 0.0);
    EXPECT_EQ(scene.fade, 0.01);

    scene.fadingIn = false;  // fading out
    scene.fade = 0.5;
    platform.clock = 1000;
    scene.tick();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].angle, 1.5f);
    EXPECT_EQ(frames[1].fade, 0.5);
    EXPECT_EQ(scene.fade, 0.5 - 0.01);

    scene.fade = 0;  // faded out: the last frame of the old image comes before the build of the next
    scene.tick();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].angle, 1.75f);
    EXPECT_EQ(frames[2].builds, 0u);
    EXPECT_FALSE(frames[2].fadingIn);
    EXPECT_EQ(generates.size(), 1u);
    EXPECT_TRUE(scene.fadingIn);
}

TEST_F(TickTest, ImageLifeFadeInShowFadeOutChange) {
    const int startCursor = scene.playlist.cursor;
    platform.clock = 1000;  // the interval is long over, but a fade-in never looks at the clock
    platform.clockReads = 0;
    ticks(99);
    EXPECT_TRUE(scene.fadingIn);
    EXPECT_LT(scene.fade, 1.0);
    scene.tick();
    EXPECT_FALSE(scene.fadingIn);
    EXPECT_EQ(scene.fade, 1.0);
    EXPECT_EQ(platform.clockReads, 0);

    platform.clock = 145;  // 45 s after the build: not yet more than the interval
    ticks(10);
    EXPECT_EQ(scene.fade, 1.0);
    platform.clock = 146;
    scene.tick();
    EXPECT_DOUBLE_EQ(scene.fade, 0.99);
    ticks(98);
    EXPECT_GT(scene.fade, 0.0);
    EXPECT_TRUE(generates.empty());
    scene.tick();  // the 100th step down reaches 0
    EXPECT_EQ(scene.fade, 0.0);
    EXPECT_TRUE(generates.empty());
    scene.tick();  // finds fade exactly 0: the change happens in this tick
    ASSERT_EQ(generates.size(), 1u);
    EXPECT_EQ(scene.playlist.cursor, (startCursor + 1) % 5);
    EXPECT_TRUE(scene.fadingIn);
    EXPECT_EQ(scene.startTime, 146);
}

TEST_F(TickTest, AFailedBuildIsRetriedOnTheNextTick) {
    scene.fade = 0;
    scene.fadingIn = false;
    generateSucceeds = false;
    scene.tick();  // within the interval, but there is no image: change now
    ASSERT_EQ(generates.size(), 1u);
    EXPECT_EQ(platform.errors.size(), 1u);
    const int cursor = scene.playlist.cursor;
    scene.tick();
    EXPECT_EQ(generates.size(), 2u);
    EXPECT_EQ(scene.playlist.cursor, (cursor + 1) % 5);
    generateSucceeds = true;
    scene.tick();
    EXPECT_EQ(generates.size(), 3u);
    EXPECT_TRUE(scene.fadingIn);
    scene.tick();
    EXPECT_EQ(generates.size(), 3u);
}

TEST_F(TickTest, TicksDeliveredWhileTheErrorBoxIsOpenAreHeldBack) {
    scene.fade = 0;
    scene.fadingIn = false;
    generateSucceeds = false;
    platform.onError = [this] { ticks(3); };  // the box's message loop delivers timer ticks
    scene.tick();
    EXPECT_EQ(generates.size(), 1u);
    EXPECT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.repaints, 1);  // the held-back ticks neither turned nor drew
}

TEST_F(TickTest, IntervalSurvivesTheClockPassingTwoToThe31Seconds) {
    platform.clock = (int64_t{1} << 31) + 100;  // a build after January 2038
    ASSERT_TRUE(scene.buildImage());
    EXPECT_LT(scene.startTime, 0);
    ticks(100);
    platform.clock += 45;
    scene.tick();
    EXPECT_EQ(scene.fade, 1.0);
    platform.clock += 1;
    scene.tick();
    EXPECT_LT(scene.fade, 1.0);
}

// One build with the real generator: view 0 at the smallest detail.
TEST(SceneWithGenerator, BuildsAConsistentImage) {
    MemorySettingsBackend settings;
    ScopedSettingsBackend useSettings(settings);
    settings.store("detail_level", 0);
    settings.store("light_source", 1);
    FakePlatform platform;
    LcgRandom random(1);
    Scene scene;
    scene.platform = &platform;
    scene.random = &random;
    scene.loadSettings();
    scene.playlist.cursor = 0;
    ASSERT_TRUE(scene.buildImage());
    ASSERT_GT(scene.ringSize, 0);
    ASSERT_GT(scene.vertexCount, scene.ringSize);
    ASSERT_NE(scene.rings, nullptr);
    const int32_t ringCount = scene.vertexCount / scene.ringSize;
    for (int32_t r = 0; r < ringCount; ++r) ASSERT_EQ(scene.rings[r].firstVertex, r * scene.ringSize);
    for (int32_t i = 0; i < scene.vertexCount; ++i) {
        const double* n = scene.vertices[i].normal;
        ASSERT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-9) << i;  // smoothed, still unit
    }
    clearGlCalls();
    scene.fade = 1.0;
    scene.renderFrame();
    size_t vertexCalls = 0;
    // The saver submits through vertex arrays; the recorder lists their corners.
    for (const GlCall& call : glCalls()) vertexCalls += call.name == "corner.vertex";
    EXPECT_GT(vertexCalls, 0u);
    EXPECT_TRUE(scene.vertexArrays);
    EXPECT_TRUE(scene.bufferObjects);
    EXPECT_EQ(vertexCalls % 4, 0u);

    // The next build of the same view writes into the same memory.
    const TubeVertex* firstVertices = scene.vertices;
    const TubeRing* firstRings = scene.rings;
    const int32_t firstCount = scene.vertexCount;
    const uint32_t serial = scene.imageSerial;
    ASSERT_EQ(scene.vertices, scene.vertexStore.data());
    ASSERT_TRUE(scene.buildImage());
    EXPECT_EQ(scene.vertexCount, firstCount);
    EXPECT_EQ(scene.vertices, firstVertices);
    EXPECT_EQ(scene.rings, firstRings);
    EXPECT_NE(scene.imageSerial, serial);  // buffers made from the old image are remade
    scene.releaseImage();
    EXPECT_EQ(scene.vertices, nullptr);
    EXPECT_GE(scene.vertexStore.size(), static_cast<size_t>(firstCount));  // kept for the next image

    // Once every view has been built, the next round of images asks for no new memory.
    std::vector<const void*> blocks;
    for (int32_t round = 0; round < 2; ++round)
        for (int32_t view = 0; view < 5; ++view) {
            scene.playlist.cursor = view;
            ASSERT_TRUE(scene.buildImage());
            if (round == 0 && view == 4) blocks = {scene.vertexStore.data(), scene.ringStore.data()};
        }
    EXPECT_EQ(blocks, (std::vector<const void*>{scene.vertexStore.data(), scene.ringStore.data()}));
}

// A real image whose path ends before its last two rings: the vertices it never reached are holes on
// the tube for everything that reads them, the smoothing, the ring sort and both ways of drawing.
TEST(SceneWithGenerator, VerticesPastTheEndOfThePathStayOnTheTube) {
    MemorySettingsBackend settings;
    ScopedSettingsBackend useSettings(settings);
    settings.store("detail_level", 0);
    settings.store("light_source", 1);  // lit: the normals are smoothed
    FakePlatform platform;
    LcgRandom random(1);
    Scene scene;
    scene.platform = &platform;
    scene.random = &random;
    int32_t endAt = 0;
    double tubeRadius = 0;  // about the helix axis, whose radius is 1
    scene.generateImage = [&](TubeGenerator& g, TubeShape& shape, FractalPath& path, TubeArrays& out) {
        if (!g.prepareImage(shape, path)) return false;
        tubeRadius = shape.tubeRadius / shape.helixRadius;
        endAt = g.vertexCount - 2 * g.ringSize - 7;
        shape.sweep = shape.step * (endAt - 0.5);  // the summed positions reach it at vertex endAt
        return g.fillImage(shape, path, out);
    };
    scene.loadSettings();
    scene.playlist.cursor = 0;
    ASSERT_TRUE(scene.buildImage());
    const int32_t ringSize = scene.ringSize;
    const int32_t ringCount = scene.vertexCount / ringSize;
    ASSERT_GT(endAt, ringSize);
    // The path's last vertices lie far outside the set (uncoloured): colour the last reached ring so
    // that quads of reached vertices reach unreached corners.
    for (int32_t v = endAt - ringSize; v < endAt; ++v) scene.vertices[v].green = 64;
    for (int32_t i = endAt; i < scene.vertexCount; ++i) {
        const TubeVertex& t = scene.vertices[i];
        ASSERT_EQ(t.red | t.green | t.blue, 0) << i;
    }
    int32_t notUnit = 0;  // smoothed normals that are not of unit length
    for (int32_t i = 0; i < scene.vertexCount; ++i) {
        const double* n = scene.vertices[i].normal;
        notUnit += std::fabs(n[0] * n[0] + n[1] * n[1] + n[2] * n[2] - 1.0) > 1e-9;
    }
    EXPECT_EQ(notUnit, 0);
    int32_t wrongRings = 0;  // ring records not of their own ring, or with a centre off the helix axis
    for (int32_t r = 0; r < ringCount; ++r) {
        const TubeRing& ring = scene.rings[r];
        const double fromAxis = std::fabs(std::hypot(ring.centre[0], ring.centre[2]) - 1.0);
        wrongRings += ring.firstVertex != r * ringSize || fromAxis > 1e-9;
    }
    EXPECT_EQ(wrongRings, 0);

    // Every corner sent lies on the tube (quads facing either way are drawn), whichever way it is sent.
    scene.fade = 1.0;
    for (bool arrays : {false, true}) {
        SCOPED_TRACE(arrays ? "vertex arrays" : "immediate mode");
        scene.vertexArrays = arrays;
        clearGlCalls();
        scene.renderFrame();
        size_t corners = 0;
        size_t offTube = 0;
        for (const GlCall& call : glCalls()) {
            if (call.name != "glVertex3d" && call.name != "corner.vertex") continue;
            ++corners;
            offTube += std::fabs(std::hypot(call.args[0], call.args[2]) - 1.0) > tubeRadius + 1e-6;
        }
        EXPECT_GT(corners, 0u);
        EXPECT_EQ(offTube, 0u);
    }
    scene.releaseImage();
}

}  // namespace
