// The frame renderer's GL call stream, recorded without a GPU: order, colours, alpha, normals, quads.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gl_recorder.h"
#include "scene/frame_steps.h"
#include "scene/gl_context_api.h"
#include "scene/gl_context_record.h"
#include "scene/gl_includes.h"
#include "scene/scene.h"
#include "test_image.h"

namespace {

// One quad as drawn: the vertex indices (from the x coordinate) and the colour and normal in effect.
struct DrawnQuad {
    int index[4];
    int colour[4];
    bool hasNormal;
    double normal[3];
};

std::vector<DrawnQuad> drawnQuads() {
    std::vector<DrawnQuad> quads;
    DrawnQuad current{};
    int corner = 0;
    for (const GlCall& call : glCalls()) {
        if (call.name == "glColor4ub") {
            for (int i = 0; i < 4; ++i) current.colour[i] = static_cast<int>(call.args[i]);
        } else if (call.name == "glNormal3d") {
            current.hasNormal = true;
            for (int i = 0; i < 3; ++i) current.normal[i] = call.args[i];
        } else if (call.name == "glVertex3d") {
            current.index[corner++] = static_cast<int>(call.args[0]);
            if (corner == 4) {
                quads.push_back(current);
                corner = 0;
            }
        }
    }
    EXPECT_EQ(corner, 0) << "vertices not in groups of four";
    return quads;
}

std::vector<const GlCall*> callsNamed(const std::string& name) {
    std::vector<const GlCall*> found;
    for (const GlCall& call : glCalls())
        if (call.name == name) found.push_back(&call);
    return found;
}

// Three rings of four plus two loose vertices (14 in all). Ring centres: ring 0 nearest the eye,
// ring 1 farthest, ring 2 between; the eye sits at (0, 0, 2.5) in model space at angle 0.
class FrameRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearGlCalls();
        scene.angle = 0;
        scene.offsetX = 0;
        scene.fade = 1.0;
        scene.alpha = 1.0f;
        scene.quickDraw = true;
        scene.lightingOn = false;
        const double centres[3] = {2.0, -5.0, 0.0};
        installTestImage(scene, 4, 3, 2, centres);
    }
    void TearDown() override { scene.releaseImage(); }

    Scene scene;
};

TEST_F(FrameRendererTest, UnlitFrameIsClearPlaceTurnQuadsFlushWithoutLightOrNormals) {
    scene.offsetX = 0.3f;
    scene.angle = 12.5f;
    scene.renderFrame();
    const std::vector<GlCall>& calls = glCalls();
    ASSERT_GE(calls.size(), 6u);
    EXPECT_EQ(calls[0].name, "glClear");
    EXPECT_EQ(calls[0].args[0], double(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    EXPECT_EQ(calls[1].name, "glLoadIdentity");
    EXPECT_EQ(calls[2].name, "glTranslated");
    EXPECT_EQ(calls[2].args[0], double(0.3f));
    EXPECT_EQ(calls[2].args[1], 0.0);
    const float phase = 0.02f * 12.5f;
    EXPECT_EQ(calls[2].args[2], double(static_cast<float>(0.5 * std::cos(double(phase)) - 3.0)));
    EXPECT_EQ(calls[3].name, "glRotated");
    EXPECT_EQ(calls[3].args, (std::vector<double>{25.0, 1.0, 0.5, 0.5}));
    EXPECT_EQ(calls[4].name, "glBegin");
    EXPECT_EQ(calls[4].args[0], double(GL_QUADS));
    EXPECT_EQ(calls[calls.size() - 2].name, "glEnd");
    EXPECT_EQ(calls.back().name, "glFlush");
    for (const char* name : {"glNormal3d", "glLightModeli", "glLightModelfv", "glLightfv", "glMaterialfv",
                             "glShadeModel", "glEnable", "glDisable"})
        EXPECT_TRUE(callsNamed(name).empty()) << name;
}

TEST_F(FrameRendererTest, RingsFarToNearAndBackFacesBeforeFrontFacesWithinARing) {
    // Vertices 9 and 11 of ring 2 face away, but their positions have no next ring to draw to.
    scene.vertices[9].normal[2] = -1;
    scene.vertices[11].normal[2] = -1;
    scene.renderFrame();
    std::vector<int> firsts;
    for (const DrawnQuad& q : drawnQuads()) firsts.push_back(q.index[0]);
    // Ring 1 (farthest), ring 2 (only position 0: w = 12 < 13), ring 0 (nearest).
    EXPECT_EQ(firsts, (std::vector<int>{4, 5, 6, 7, 8, 0, 1, 2, 3}));
    EXPECT_EQ(scene.rings[0].firstVertex, 4);
    EXPECT_EQ(scene.rings[1].firstVertex, 8);
    EXPECT_EQ(scene.rings[2].firstVertex, 0);
    EXPECT_DOUBLE_EQ(scene.rings[0].sortKey, 7.5 * 7.5);

    // Now turn vertices 1 and 3 of ring 0 away: they come first within ring 0.
    clearGlCalls();
    scene.vertices[1].normal[2] = -1;
    scene.vertices[3].normal[2] = -1;
    scene.renderFrame();
    firsts.clear();
    for (const DrawnQuad& q : drawnQuads()) firsts.push_back(q.index[0]);
    EXPECT_EQ(firsts, (std::vector<int>{4, 5, 6, 7, 8, 1, 3, 0, 2}));
    EXPECT_EQ(scene.vertices[1].facing, 255);
    EXPECT_EQ(scene.vertices[0].facing, 1);
}

TEST_F(FrameRendererTest, SortKeysMeasureFromTheEyeRoundedToSinglePrecision) {
    scene.offsetX = 0.3f;
    scene.angle = 37.3f;
    // The eye of this frame, as the renderer places the model.
    const float z = static_cast<float>(0.5 * std::cos(static_cast<double>(0.02f * scene.angle)) - 3.0);
    double eye[3];
    eyeInModelSpace(scene.offsetX, z, scene.angle, eye);
    double rounded[3];
    double offset[3];  // from the rounded eye to the eye itself
    for (int i = 0; i < 3; ++i) {
        rounded[i] = static_cast<float>(eye[i]);
        offset[i] = eye[i] - rounded[i];
        ASSERT_NE(offset[i], 0.0) << i;  // not already exact in single precision
    }
    // Ring 0 sits on the rounded eye; ring 1 half as far beyond the eye itself, so measured from the
    // eye ring 1 is the nearer one, and measured from the rounded eye ring 0; ring 2 is far off.
    for (int i = 0; i < 3; ++i) {
        scene.rings[0].centre[i] = rounded[i];
        scene.rings[1].centre[i] = eye[i] + 0.5 * offset[i];
        scene.rings[2].centre[i] = 100.0;
    }
    scene.renderFrame();
    EXPECT_EQ(scene.rings[0].firstVertex, 8);
    EXPECT_EQ(scene.rings[1].firstVertex, 4);
    EXPECT_EQ(scene.rings[2].firstVertex, 0);
    EXPECT_EQ(scene.rings[2].sortKey, 0.0);
}

TEST_F(FrameRendererTest, QuadCornersAndTheRingClosingQuad) {
    scene.renderFrame();
    std::vector<DrawnQuad> quads = drawnQuads();
    ASSERT_EQ(quads.size(), 9u);
    // Ring 1 drawn first: positions 0..3 of vertices 4..7, next ring 8..11.
    const int expected[4][4] = {{4, 5, 9, 8}, {5, 6, 10, 9}, {6, 7, 11, 10}, {7, 4, 8, 11}};
    for (int q = 0; q < 4; ++q)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(quads[q].index[c], expected[q][c]) << "quad " << q;
}

TEST_F(FrameRendererTest, HolesAndPositionsWithoutANextRingDrawNothing) {
    scene.vertices[5].red = scene.vertices[5].green = scene.vertices[5].blue = 0;
    scene.vertices[5].facing = 77;
    for (int i = 9; i < 12; ++i) scene.vertices[i].facing = 66;
    scene.renderFrame();
    for (const DrawnQuad& q : drawnQuads()) {
        EXPECT_NE(q.index[0], 5);
        EXPECT_LT(q.index[3], 13);  // w < vertexCount - 1
    }
    EXPECT_EQ(scene.vertices[5].facing, 77);                               // a hole's facing byte is left alone
    for (int i = 9; i < 12; ++i) EXPECT_EQ(scene.vertices[i].facing, 66);  // skipped positions too
    EXPECT_EQ(drawnQuads().size(), 8u);
}

TEST_F(FrameRendererTest, QuickDrawOffSendsEveryQuadTwiceInARow) {
    scene.quickDraw = false;
    scene.renderFrame();
    std::vector<DrawnQuad> quads = drawnQuads();
    ASSERT_EQ(quads.size(), 18u);
    for (size_t q = 0; q < quads.size(); q += 2)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(quads[q].index[c], quads[q + 1].index[c]);
    EXPECT_EQ(callsNamed("glColor4ub").size(), 9u);  // one colour per position, not per send
}

TEST_F(FrameRendererTest, ColoursAlphaBytesAndPureRedOpacity) {
    struct Case {
        float alpha;
        double fade;
        int expectedAlpha;
    };
    for (Case c : {Case{0.95f, 1.0, 242}, Case{0.4f, 1.0, 102}, Case{1.0f, 1.0, 255}, Case{0.95f, 0.0, 242}}) {
        clearGlCalls();
        scene.alpha = c.alpha;
        scene.fade = c.fade;
        scene.renderFrame();
        const DrawnQuad q = drawnQuads().front();
        const int scaled[3] = {int(10 * c.fade), int(20 * c.fade), int(30 * c.fade)};
        EXPECT_EQ(q.colour[0], scaled[0]);
        EXPECT_EQ(q.colour[1], scaled[1]);
        EXPECT_EQ(q.colour[2], scaled[2]);
        EXPECT_EQ(q.colour[3], c.expectedAlpha) << "alpha " << c.alpha << " fade " << c.fade;
    }

    // Pure red: opacity from the red value, faded, independent of alpha.
    scene.alpha = 0.4f;
    const int reds[3] = {64, 128, 255};
    const int opaque[3] = {87, 159, 255};
    for (int k = 0; k < 3; ++k) {
        for (int i = 4; i < 8; ++i) {
            scene.vertices[i].red = static_cast<uint8_t>(reds[k]);
            scene.vertices[i].green = scene.vertices[i].blue = 0;
        }
        clearGlCalls();
        scene.fade = 1.0;
        scene.renderFrame();
        DrawnQuad q = drawnQuads().front();
        EXPECT_EQ(q.colour[0], reds[k]);
        EXPECT_EQ(q.colour[1], 0);
        EXPECT_EQ(q.colour[3], opaque[k]);
        clearGlCalls();
        scene.fade = 0.0;
        scene.renderFrame();
        q = drawnQuads().front();
        EXPECT_EQ(q.colour[0], 0);
        EXPECT_EQ(q.colour[3], 0);  // fully transparent at fade 0
    }
    // Half faded: each byte is truncated, never rounded.
    clearGlCalls();
    scene.fade = 0.5;
    scene.renderFrame();
    EXPECT_EQ(drawnQuads().front().colour[3], 127);  // 255 * 0.5 = 127.5
    EXPECT_EQ(drawnQuads().back().colour[1], 10);
    EXPECT_EQ(drawnQuads().back().colour[2], 15);
}

TEST_F(FrameRendererTest, LitFrameSetsLightAndMaterialsFromGlossAndSendsNormals) {
    scene.lightingOn = true;
    initRenderState(scene);  // the context's lighting is on: the frame need not switch it
    clearGlCalls();
    scene.lightTwoSides = true;
    scene.lightDistance = 10.0f;
    scene.gloss = 5.0f;
    scene.fade = 0.5;
    scene.vertices[4].normal[0] = 0.6;
    scene.vertices[4].normal[2] = 0.8;
    scene.renderFrame();

    std::vector<const GlCall*> light;
    for (const GlCall& call : glCalls())
        if (call.name.rfind("glLight", 0) == 0 || call.name == "glMaterialfv" || call.name == "glShadeModel")
            light.push_back(&call);
    ASSERT_EQ(light.size(), 11u);
    auto expectCall = [&](size_t i, const char* name, std::vector<double> args) {
        ASSERT_EQ(light[i]->name, name) << i;
        ASSERT_EQ(light[i]->args.size(), args.size()) << i;
        for (size_t k = 0; k < args.size(); ++k) EXPECT_FLOAT_EQ(light[i]->args[k], args[k]) << name << " " << k;
    };
    expectCall(0, "glLightModeli", {GL_LIGHT_MODEL_TWO_SIDE, 1});
    expectCall(1, "glLightModelfv", {GL_LIGHT_MODEL_AMBIENT, 0.5, 0.5, 0.5, 1});
    expectCall(2, "glLightfv", {GL_LIGHT0, GL_POSITION, -10, -10, -10, 1});
    expectCall(3, "glLightfv", {GL_LIGHT0, GL_AMBIENT, 0.75, 0.75, 0.75, 1});
    expectCall(4, "glLightfv", {GL_LIGHT0, GL_DIFFUSE, 0.55, 0.55, 0.55, 1});
    expectCall(5, "glLightfv", {GL_LIGHT0, GL_SPECULAR, 0.55, 0.55, 0.55, 0});
    expectCall(6, "glMaterialfv", {GL_FRONT_AND_BACK, GL_AMBIENT, 0.1, 0.1, 0.9, 0.5});
    expectCall(7, "glMaterialfv", {GL_BACK, GL_DIFFUSE, 0, 0, 0, 0.5});
    expectCall(8, "glMaterialfv", {GL_FRONT_AND_BACK, GL_SPECULAR, 0.125, 0.25, 0.25, 0.5});
    expectCall(9, "glMaterialfv", {GL_FRONT_AND_BACK, GL_SHININESS, 67});
    expectCall(10, "glShadeModel", {GL_SMOOTH});
    // The light comes after the model transform and before the quads.
    size_t rotated = 0, lightPos = 0, begin = 0;
    for (size_t i = 0; i < glCalls().size(); ++i) {
        if (glCalls()[i].name == "glRotated") rotated = i;
        if (glCalls()[i].name == "glLightfv" && lightPos == 0) lightPos = i;
        if (glCalls()[i].name == "glBegin") begin = i;
    }
    EXPECT_LT(rotated, lightPos);
    EXPECT_LT(lightPos, begin);

    std::vector<DrawnQuad> quads = drawnQuads();
    ASSERT_FALSE(quads.empty());
    EXPECT_TRUE(quads.front().hasNormal);
    EXPECT_EQ(quads.front().normal[0], 0.6);
    EXPECT_EQ(quads.front().normal[2], 0.8);
    EXPECT_EQ(callsNamed("glNormal3d").size(), quads.size());

    // One sided light, and the gloss 0 row of the table.
    clearGlCalls();
    scene.lightTwoSides = false;
    scene.gloss = 0.0f;
    scene.fade = 1.0;
    scene.renderFrame();
    EXPECT_EQ(callsNamed("glLightModeli").front()->args[1], 0.0);
    EXPECT_FLOAT_EQ(callsNamed("glMaterialfv")[2]->args[2], 0.05f);
    EXPECT_FLOAT_EQ(callsNamed("glMaterialfv")[3]->args[2], 7.0f);
}

TEST_F(FrameRendererTest, WithoutAnImageOnlyTheBackgroundIsDrawn) {
    scene.releaseImage();
    scene.lightingOn = true;
    scene.renderFrame();
    EXPECT_TRUE(drawnQuads().empty());
    EXPECT_EQ(callsNamed("glClear").size(), 1u);
    EXPECT_EQ(callsNamed("glMaterialfv").size(), 4u);  // light and materials are still set
    EXPECT_EQ(glCalls().back().name, "glFlush");
}

TEST(RingOrder, StrictComparisonOnTheSortKey) {
    TubeRing a{}, b{};
    a.sortKey = 2;
    b.sortKey = 1;
    EXPECT_TRUE(ringFartherFirst(a, b));
    EXPECT_FALSE(ringFartherFirst(b, a));
    b.sortKey = 2;
    EXPECT_FALSE(ringFartherFirst(a, b));
    EXPECT_FALSE(ringFartherFirst(b, a));
}

// The eye in model space is the point the frame's transform carries to the origin.
TEST(EyeInModelSpace, FrameTransformMapsTheEyeToTheOrigin) {
    for (float angle : {0.0f, 7.25f, 55.0f, -130.5f, 400.0f}) {
        const float x = 0.35f;
        const float z = -2.75f;
        double eye[3];
        eyeInModelSpace(x, z, angle, eye);
        // glRotated's matrix for 2 * angle degrees about (1, 0.5, 0.5), then the translation.
        const double len = std::sqrt(1.5);
        const double u[3] = {1 / len, 0.5 / len, 0.5 / len};
        const double t = 2.0 * angle * 3.14159265358979323846 / 180.0;
        const double c = std::cos(t), s = std::sin(t), k = 1 - c;
        const double m[3][3] = {{u[0] * u[0] * k + c, u[0] * u[1] * k - u[2] * s, u[0] * u[2] * k + u[1] * s},
                                {u[1] * u[0] * k + u[2] * s, u[1] * u[1] * k + c, u[1] * u[2] * k - u[0] * s},
                                {u[2] * u[0] * k - u[1] * s, u[2] * u[1] * k + u[0] * s, u[2] * u[2] * k + c}};
        const double offset[3] = {x, 0, z};
        for (int row = 0; row < 3; ++row) {
            const double mapped = m[row][0] * eye[0] + m[row][1] * eye[1] + m[row][2] * eye[2] + offset[row];
            EXPECT_NEAR(mapped, 0.0, 1e-6) << "angle " << angle << " row " << row;
        }
    }
}

TEST(GlSetup, ViewportProjectionInSinglePrecisionAndAGuardForAnEmptyWindow) {
    clearGlCalls();
    setViewportAndProjection(800, 600);
    const std::vector<GlCall>& calls = glCalls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].name, "glViewport");
    EXPECT_EQ(calls[0].args, (std::vector<double>{0, 0, 800, 600}));
    EXPECT_EQ(calls[1].name, "glMatrixMode");
    EXPECT_EQ(calls[1].args[0], double(GL_PROJECTION));
    EXPECT_EQ(calls[2].name, "glLoadIdentity");
    EXPECT_EQ(calls[3].name, "gluPerspective");
    EXPECT_EQ(calls[3].args, (std::vector<double>{45.0, double(800.0f / 600.0f), 0.10000000149011612, 100.0}));
    EXPECT_NE(calls[3].args[1], 800.0 / 600.0);
    EXPECT_EQ(calls[4].name, "glMatrixMode");
    EXPECT_EQ(calls[4].args[0], double(GL_MODELVIEW));
    EXPECT_EQ(calls[5].name, "glLoadIdentity");

    clearGlCalls();
    setViewportAndProjection(640, 0);
    EXPECT_EQ(glCalls()[0].args, (std::vector<double>{0, 0, 640, 0}));
    EXPECT_EQ(glCalls()[3].args[1], 640.0);
    clearGlCalls();
    setViewportAndProjection(0, 0);
    EXPECT_EQ(glCalls()[3].args[1], 1.0);
}

TEST(GlSetup, RenderStateBackgroundAndLighting) {
    Scene scene;
    scene.angle = 33.0f;
    scene.preview = true;
    clearGlCalls();
    initRenderState(scene);
    EXPECT_EQ(scene.angle, 0.0f);
    std::vector<std::string> names;
    for (const GlCall& call : glCalls()) names.push_back(call.name);
    EXPECT_EQ(names, (std::vector<std::string>{"glEnable", "glHint", "glEnable", "glHint", "glEnable", "glBlendFunc",
                                               "glClearColor", "glClearDepth", "glEnable", "glDepthFunc", "glHint",
                                               "glDisable"}));
    EXPECT_EQ(callsNamed("glClearColor").front()->args, (std::vector<double>{0, 0, 0.125, 0}));
    EXPECT_EQ(callsNamed("glDepthFunc").front()->args[0], double(GL_LEQUAL));
    EXPECT_EQ(callsNamed("glBlendFunc").front()->args, (std::vector<double>{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}));
    EXPECT_EQ(callsNamed("glDisable").front()->args[0], double(GL_NORMALIZE));

    scene.preview = false;
    scene.lightingOn = true;
    clearGlCalls();
    initRenderState(scene);
    EXPECT_EQ(callsNamed("glClearColor").front()->args, (std::vector<double>{0, 0, 0, 0}));
    const std::vector<GlCall>& calls = glCalls();
    ASSERT_EQ(calls.size(), 16u);
    EXPECT_EQ(calls[12].name, "glShadeModel");
    EXPECT_EQ(calls[13].args[0], double(GL_LIGHTING));
    EXPECT_EQ(calls[14].args[0], double(GL_LIGHT0));
    EXPECT_EQ(calls[15].args[0], double(GL_COLOR_MATERIAL));
}

}  // namespace

namespace {

// One corner as GL receives it: colour bytes, the normal in effect (lit frames) and the position, in
// the single precision GL keeps them in.
struct Corner {
    int colour[4];
    float normal[3];
    float position[3];
    bool operator==(const Corner& o) const {
        return std::equal(colour, colour + 4, o.colour) && std::equal(normal, normal + 3, o.normal) &&
               std::equal(position, position + 3, o.position);
    }
};

// The corners of the recorded frame, from immediate-mode calls or from expanded glDrawArrays calls.
std::vector<Corner> drawnCorners(bool lit) {
    std::vector<Corner> corners;
    Corner current{};
    for (const GlCall& call : glCalls()) {
        if (call.name == "glColor4ub" || call.name == "corner.colour") {
            for (int i = 0; i < 4; ++i) current.colour[i] = static_cast<int>(call.args[i]);
        } else if ((call.name == "glNormal3d" || call.name == "corner.normal") && lit) {
            for (int i = 0; i < 3; ++i) current.normal[i] = static_cast<float>(call.args[i]);
        } else if (call.name == "glVertex3d" || call.name == "corner.vertex") {
            for (int i = 0; i < 3; ++i) current.position[i] = static_cast<float>(call.args[i]);
            corners.push_back(current);
        }
    }
    return corners;
}

}  // namespace

TEST(FrameRendererArrays, VertexArraysSendTheSameCornersInTheSameOrderAsImmediateMode) {
    // 40 rings of 64 (over one batch of quads when each is sent twice), with holes, pure reds,
    // faces turned away, and varied normals and positions.
    constexpr int32_t kRingSize = 64;
    constexpr int32_t kRings = 40;
    double centres[kRings];
    for (int32_t r = 0; r < kRings; ++r) centres[r] = std::sin(r * 0.7) * 3.0;
    for (int lit = 0; lit < 2; ++lit) {
        for (int quick = 0; quick < 2; ++quick) {
            SCOPED_TRACE(testing::Message() << "lit " << lit << " quick draw " << quick);
            Scene scene;
            scene.fade = 0.75;
            scene.alpha = 0.6f;
            scene.angle = 17.0f;
            scene.quickDraw = quick != 0;
            scene.lightingOn = lit != 0;
            installTestImage(scene, kRingSize, kRings, 5, centres);
            for (int32_t i = 0; i < scene.vertexCount; ++i) {
                TubeVertex& v = scene.vertices[i];
                v.position[1] = std::cos(i * 0.1) / 3.0;
                v.normal[0] = std::sin(i * 1.3);
                v.normal[2] = std::cos(i * 1.3);
                v.red = static_cast<uint8_t>(i * 7);
                v.green = i % 3 == 0 ? 0 : static_cast<uint8_t>(i);
                v.blue = i % 3 == 0 ? 0 : 64;  // every third vertex pure red or a hole
            }
            clearGlCalls();
            scene.vertexArrays = false;
            scene.renderFrame();
            const std::vector<Corner> immediate = drawnCorners(lit != 0);
            if (!quick) {
                EXPECT_GT(immediate.size(), 2048u * 4u);  // more than one batch of quads
            }
            clearGlCalls();
            scene.vertexArrays = true;
            scene.renderFrame();
            const std::vector<Corner> arrays = drawnCorners(lit != 0);
            EXPECT_GE(callsNamed("glDrawArrays").size(), quick ? 1u : 2u);
            EXPECT_TRUE(callsNamed("glBegin").empty());
            ASSERT_EQ(arrays.size(), immediate.size());
            for (size_t k = 0; k < arrays.size(); ++k) ASSERT_TRUE(arrays[k] == immediate[k]) << "corner " << k;
            scene.releaseImage();
        }
    }
}

namespace {

// Two GL contexts as the scene sees them: the recorder stands for both, this says which is current.
int currentContextTag = 1;
void* noProc(const char*) { return nullptr; }
const void* taggedContext() { return &currentContextTag + currentContextTag; }
const GlContextApi twoContexts{noProc, taggedContext};

// True when the recorded calls turn GL_LIGHTING on (or off).
bool switchedLighting(bool on) {
    for (const GlCall& c : glCalls())
        if (c.name == (on ? "glEnable" : "glDisable") && c.args[0] == double(GL_LIGHTING)) return true;
    return false;
}

}  // namespace

// A build switches lighting in the context current at the time; every other context must follow
// before its next frame, and only once.
TEST(FrameRendererContexts, ALightingSwitchReachesEveryContext) {
    Scene scene;
    scene.glApi = &twoContexts;
    scene.fade = 1.0;
    scene.alpha = 1.0f;
    scene.quickDraw = true;
    installTestImage(scene, 4, 3, 2);
    for (int tag : {1, 2}) {  // both surfaces set up unlit
        currentContextTag = tag;
        initRenderState(scene);
    }
    // As a build would with context 1 current: lit now, context 1 switched.
    currentContextTag = 1;
    scene.lightingOn = true;
    switchLighting(true);
    scene.currentGlContext().lightingApplied = true;

    currentContextTag = 2;
    clearGlCalls();
    scene.renderFrame();
    EXPECT_TRUE(switchedLighting(true)) << "context 2 drew a lit image with lighting off";
    clearGlCalls();
    scene.renderFrame();
    EXPECT_FALSE(switchedLighting(true)) << "switched again";
    currentContextTag = 1;
    clearGlCalls();
    scene.renderFrame();
    EXPECT_FALSE(switchedLighting(true)) << "context 1 was already lit";

    // Back to unlit from context 2; context 1 follows at its next frame.
    currentContextTag = 2;
    scene.lightingOn = false;
    switchLighting(false);
    scene.currentGlContext().lightingApplied = false;
    currentContextTag = 1;
    clearGlCalls();
    scene.renderFrame();
    EXPECT_TRUE(switchedLighting(false));

    // A context deleted and a new one on the same handle: the new one starts from GL's defaults.
    scene.forgetGlContext(taggedContext());
    EXPECT_EQ(scene.glContexts.size(), 1u);
    scene.lightingOn = true;
    clearGlCalls();
    scene.renderFrame();
    EXPECT_TRUE(switchedLighting(true));
    currentContextTag = 1;
    scene.releaseImage();
}
