// The buffer path over an image's life on real GL (OSMesa): the upload spread over the fade-in, every
// context's buffers gone before the next build, and allocation failures that fall back to client arrays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/allocation_cap.h"
#include "display/linux/offscreen_surface.h"
#include "fractal/tube_generator.h"
#include "scene/frame_steps.h"
#include "scene/gl_context_record.h"
#include "scene/scene.h"
#include "support/memory_backend.h"

namespace {

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 40;

// What one frame handed to GL, from the submission counters.
struct FrameTraffic {
    double uploadBytes = 0;  // into the buffers
    double arrayBytes = 0;   // read from client arrays and draw ranges
};

// A previewing scene (small images) on surfaces that every tick repaints, as monitor mode 2's
// children are, on a clock the test moves.
class SurfacesPlatform final : public ScenePlatform {
public:
    explicit SurfacesPlatform(int surfaceCount) : surfaces(surfaceCount) {
        for (OffscreenSurface& surface : surfaces) EXPECT_TRUE(surface.create(kWidth, kHeight));
    }
    int64_t nowSeconds() override { return clock; }
    void repaintSurfaces() override {
        for (OffscreenSurface& surface : surfaces) frames.push_back(draw(surface));
    }
    void showError(const char*, const char*) override { ADD_FAILURE() << "unexpected error box"; }

    FrameTraffic draw(OffscreenSurface& surface) {
        EXPECT_TRUE(surface.makeCurrent());
        const SubmitCounts before = submitCounts();
        scene->renderFrame();
        surface.finish();
        return {submitCounts().uploadBytes - before.uploadBytes, submitCounts().bytes - before.bytes};
    }
    void setUp(Scene& s, int32_t lightSource, int32_t quickDraw) {
        scene = &s;
        settings.store("detail_level", 0);
        settings.store("light_source", lightSource);
        settings.store("quick_draw", quickDraw);
        s.preview = true;
        s.platform = this;
        s.random = &random;
        s.loadSettings();
        s.glApi = &offscreenGlApi();
        for (OffscreenSurface& surface : surfaces) {
            EXPECT_TRUE(surface.makeCurrent());
            setViewportAndProjection(kWidth, kHeight);
            initRenderState(s);
        }
    }

    MemorySettingsBackend settings;
    ScopedSettingsBackend useSettings{settings};
    LcgRandom random{7};
    int64_t clock = 1000;
    Scene* scene = nullptr;
    std::vector<OffscreenSurface> surfaces;
    std::vector<FrameTraffic> frames;  // every repainted frame, surface by surface
};

// Bytes of buffer data one quad takes: its corners (position, normal when lit, colour) and, drawn
// twice, its eight indices.
double quadBytes(bool lit, bool twice) { return 4.0 * (lit ? 10 : 7) * 4 + (twice ? 32 : 0); }

}  // namespace

// Over an image's life on two contexts: each fills its buffers during the fade-in, a share per frame;
// the first faded-in frame uploads nothing and draws from the buffers; every context has dropped its
// buffers by the time the next image is built.
TEST(BufferUpload, SpreadOverTheFadeInAndGoneFromEveryContextBeforeTheNextBuild) {
    {  // lit and drawn twice: normals and an index buffer as well
        SurfacesPlatform platform(2);
        Scene scene;
        platform.setUp(scene, 1, 0);
        int builds = 0;
        scene.generateImage = [&](TubeGenerator& generator, TubeShape& shape, FractalPath& path, TubeArrays& out) {
            for (const auto& record : scene.glContexts)
                EXPECT_TRUE(record->vertexBuffer == 0 && record->indexBuffer == 0)
                    << "buffers held at build " << builds;
            ++builds;
            return generator.generate(shape, path, out);
        };
        ASSERT_TRUE(scene.buildImage());
        ASSERT_TRUE(scene.quadLayout && scene.quadLayout->made);  // laid out by the build, not by a frame
        const int32_t quads = scene.quadLayout->quadCount;
        const double share = (quads + kUploadSteps - 1) / kUploadSteps * quadBytes(scene.lightingOn, !scene.quickDraw);

        while (scene.fadingIn) scene.tick();
        double uploaded = 0;
        for (const FrameTraffic& frame : platform.frames) {
            EXPECT_LE(frame.uploadBytes, share);
            uploaded += frame.uploadBytes;
        }
        EXPECT_EQ(uploaded, 2 * quads * quadBytes(scene.lightingOn, !scene.quickDraw));

        const double arraysFrame = platform.frames.back().arrayBytes;  // a fade-in frame: client arrays
        platform.frames.clear();
        scene.tick();
        ASSERT_EQ(platform.frames.size(), 2u);
        for (const FrameTraffic& frame : platform.frames) {
            EXPECT_EQ(frame.uploadBytes, 0);
            EXPECT_LT(frame.arrayBytes, arraysFrame / 10) << "drawn through client arrays";
        }

        platform.clock += scene.interval + 1;
        scene.fade = 0.02;  // the end of the fade-out
        while (builds < 2) scene.tick();
        EXPECT_EQ(builds, 2);
    }
}

// An allocation refused on the buffer path: the frame is drawn through client arrays, with their
// pixels, and nothing is thrown. The staging area lets the fade-in's upload allocate nothing large.
TEST(BufferUpload, AnAllocationFailureDrawsTheImageThroughClientArrays) {
    struct Case {
        const char* name;
        bool firstImageOfTheRun;  // no layout to reuse: the buffer path has to allocate one
        bool expectRefused;
        bool expectBuffers;  // the faded-in frame still comes from the buffers
    };
    const Case cases[] = {
        {"layout refused", true, true, false},
        {"upload under the cap", false, false, true},
    };
    // Blocks of this size or more are refused: far below a copy of the image, far above what Mesa's
    // shader compiler (C++, through the same operator new) asks for once its variants are made.
    constexpr size_t kCap = 64 * 1024;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SurfacesPlatform platform(1);
        OffscreenSurface& surface = platform.surfaces[0];
        Scene scene;
        platform.setUp(scene, 1, 0);
        ASSERT_TRUE(scene.buildImage());
        ASSERT_GT(scene.quadLayout->quadCount * 16u, kCap) << "an image too small to need a large block";
        // Every kind of frame once, uncapped, so that the driver has compiled what it needs.
        scene.fade = 0.5;
        platform.draw(surface);
        scene.fade = 1.0;
        platform.draw(surface);
        if (c.firstImageOfTheRun) {
            scene.quadLayout.reset();
        } else {
            scene.imageEdited();  // the same image anew: laid out into kept memory, uploaded again
        }
        scene.fadingIn = true;
        const size_t refusedBefore = AllocationCap::refused;
        for (int step = 1; step < 100; ++step) {
            scene.fade = step * 0.01;
            ScopedAllocationCap cap(kCap);
            EXPECT_NO_THROW(platform.draw(surface));
        }
        scene.fadingIn = false;
        scene.fade = 1.0;
        scene.bufferObjects = false;
        const FrameTraffic arrays = platform.draw(surface);
        const std::vector<uint8_t> reference = surface.pixels();
        scene.bufferObjects = true;
        FrameTraffic faded;
        {
            ScopedAllocationCap cap(kCap);
            EXPECT_NO_THROW(faded = platform.draw(surface));
        }
        EXPECT_EQ(AllocationCap::refused > refusedBefore, c.expectRefused);
        EXPECT_EQ(faded.arrayBytes < arrays.arrayBytes / 10, c.expectBuffers);
        EXPECT_EQ(faded.uploadBytes, 0);
        EXPECT_TRUE(surface.pixels() == reference) << "not the client arrays' pixels";
    }
}
