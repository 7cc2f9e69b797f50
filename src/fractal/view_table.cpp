// The five built-in views: two default records and the fields each view patches.
#include "fractal/view_table.h"

TubeShape defaultShape() {
    TubeShape s{};
    s.vertexCount = 0;
    s.rise = 420.0;
    s.sweep = 9.555;
    s.risePerVertex = 0.0;
    s.step = 0.0;
    s.helixRadius = 260.0;
    s.tubeRadius = 59.0;
    s.angularRate = 0.0;
    return s;
}

FractalPath defaultPath() {
    FractalPath p{};
    p.isJulia = false;
    p.juliaRe = 0.0;
    p.juliaIm = 0.0;
    p.zoomRate = 0.92f;
    p.angleOffset = -0.8f;
    p.driftRate = -0.8f;
    p.centreRe = -0.104869104079861;
    p.centreIm = -0.92806604397287;
    p.startRadius = 6e-11;
    p.endRe = 0.0;
    p.endIm = 0.0;
    p.endRadius = 0.0;
    p.outerRadius = 3.0;
    p.pathMode = 0;
    p.depthOut = 0.0f;
    p.depthIn = 0.0f;
    return p;
}

void fillViewTable(TubeShape shapes[kViewCount], FractalPath paths[kViewCount]) {
    const TubeShape shape = defaultShape();
    const FractalPath path = defaultPath();
    for (int k = 0; k < kViewCount; ++k) {
        shapes[k] = shape;
        paths[k] = path;
    }

    // View 0 is the defaults: a spiral zoom out of a deep Mandelbrot point.

    // View 1: a flight across a Julia set from a point to its mirror image through the origin.
    shapes[1].sweep = 5.0;
    paths[1].isJulia = true;
    paths[1].juliaRe = 0.3245;
    paths[1].juliaIm = 0.04855;
    paths[1].centreRe = -0.171035469619938;
    paths[1].centreIm = -0.318802963959513;
    paths[1].startRadius = 0.000583506991765284;
    paths[1].endRe = -paths[1].centreRe;
    paths[1].endIm = -paths[1].centreIm;
    paths[1].endRadius = paths[1].startRadius;
    paths[1].outerRadius = 0.99;
    paths[1].pathMode = 1;

    // View 2: a spiral zoom about another Mandelbrot point on a shorter, wider tube.
    shapes[2].rise = 420.0;
    shapes[2].sweep = shape.sweep / 1.95;  // the default sweep over 1.95: 4.9 as the quotient rounds, not the literal
    shapes[2].helixRadius = 300.0;
    shapes[2].tubeRadius = 70.0;
    paths[2].centreRe = -1.0013121704951;
    paths[2].centreIm = -0.304196021963963;
    paths[2].startRadius = 1e-08;
    paths[2].endRe = -0.11;
    paths[2].endIm = 0.0;
    paths[2].endRadius = 0.41;
    paths[2].outerRadius = 3.0;
    paths[2].pathMode = 0;

    // View 3: view 0's path on one full, tall turn.
    shapes[3].rise = 1000.0;
    shapes[3].sweep = 6.283185307179586;
    shapes[3].helixRadius = 380.0;
    shapes[3].tubeRadius = 80.0;

    // View 4: a flight between two nearby deep Mandelbrot points.
    shapes[4].rise = 400.0;
    shapes[4].sweep = 3.7699111843077517;
    shapes[4].helixRadius = 300.0;
    shapes[4].tubeRadius = 70.0;
    paths[4].centreRe = -0.76295980213721;
    paths[4].centreIm = -0.094826839433747;
    paths[4].startRadius = 8.1706250576269e-09;
    paths[4].endRe = -0.76518309844711;
    paths[4].endIm = -0.098669746089906;
    paths[4].endRadius = 2.8644189916084e-08;
    paths[4].outerRadius = 0.0045964089747317;
    paths[4].pathMode = 1;
}
