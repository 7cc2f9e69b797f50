// The five built-in views: the relations between them that the pictures depend on.
#include <gtest/gtest.h>

#include "fractal/view_table.h"

namespace {

struct Table {
    TubeShape shapes[kViewCount];
    FractalPath paths[kViewCount];
    Table() { fillViewTable(shapes, paths); }
};

void expectSamePath(const FractalPath& a, const FractalPath& b) {
    EXPECT_EQ(a.isJulia, b.isJulia);
    EXPECT_EQ(a.juliaRe, b.juliaRe);
    EXPECT_EQ(a.juliaIm, b.juliaIm);
    EXPECT_EQ(a.zoomRate, b.zoomRate);
    EXPECT_EQ(a.angleOffset, b.angleOffset);
    EXPECT_EQ(a.driftRate, b.driftRate);
    EXPECT_EQ(a.centreRe, b.centreRe);
    EXPECT_EQ(a.centreIm, b.centreIm);
    EXPECT_EQ(a.startRadius, b.startRadius);
    EXPECT_EQ(a.endRe, b.endRe);
    EXPECT_EQ(a.endIm, b.endIm);
    EXPECT_EQ(a.endRadius, b.endRadius);
    EXPECT_EQ(a.outerRadius, b.outerRadius);
    EXPECT_EQ(a.pathMode, b.pathMode);
}

}  // namespace

TEST(ViewTable, ViewsZeroAndThreeShareOnePathOnDifferentTubes) {
    Table t;
    expectSamePath(t.paths[0], t.paths[3]);
    expectSamePath(t.paths[0], defaultPath());
    EXPECT_EQ(t.shapes[3].sweep, 6.283185307179586);
    EXPECT_NE(t.shapes[0].helixRadius, t.shapes[3].helixRadius);
}

TEST(ViewTable, ViewOneFliesToTheMirrorImageOfItsStart) {
    Table t;
    const FractalPath& p = t.paths[1];
    EXPECT_TRUE(p.isJulia);
    EXPECT_EQ(p.pathMode, 1);
    EXPECT_EQ(p.endRe, -p.centreRe);
    EXPECT_EQ(p.endIm, -p.centreIm);
    EXPECT_EQ(p.endRadius, p.startRadius);
}

TEST(ViewTable, SweepsAndSharedAngles) {
    Table t;
    EXPECT_EQ(t.shapes[2].sweep, 4.9);  // 9.555 / 1.95, not the default
    for (int k = 0; k < kViewCount; ++k) {
        SCOPED_TRACE(k);
        EXPECT_GT(t.shapes[k].sweep, 0.0);
        EXPECT_EQ(static_cast<double>(t.paths[k].angleOffset), -0.800000011920929);
        EXPECT_EQ(static_cast<double>(t.paths[k].driftRate), -0.800000011920929);
        EXPECT_TRUE(t.paths[k].pathMode == 0 || t.paths[k].pathMode == 1);
    }
}
