// The tube generator's layout: the view table, helix sizing, flight paths, the built-in light model,
// and the steps that hand one image's arrays to the vertex loops.
#include "fractal/tube_generator.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fractal/tube_vertex_loop.h"
#include "fractal/view_table.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kZoomStep = 1.1111111111111112;  // the double nearest 1/0.9: one zoom step

}  // namespace

void freeTubeArrays(TubeArrays& arrays) {
    std::free(arrays.vertices);
    std::free(arrays.rings);
    arrays.vertices = nullptr;
    arrays.rings = nullptr;
}

int32_t diffuseBrightness(float& acc, float raw) {
    acc = acc + raw;
    int32_t brightness = 0;
    if (acc > 0.0f) {
        const double rounded = acc + 0.5;
        brightness = rounded >= kMaxBrightness ? kMaxBrightness : static_cast<int32_t>(rounded);
    }
    acc = acc - static_cast<float>(brightness);
    return brightness;
}

float bakedBrightness(const double n[3], const float light[3], int32_t diffuseWeight, int32_t specularWeight,
                      int32_t ambientWeight, int32_t shininess) {
    return lightModel(n, light, diffuseWeight, specularWeight, ambientWeight, shininess);
}

namespace {

// Releases p through the generator's release function; null is left alone.
void releaseBlock(void (*release)(void*), void* p) {
    if (p != nullptr) {
        release(p);
    }
}

}  // namespace

TubeGenerator::~TubeGenerator() {
    releaseBlock(release, pathTable);
    releaseBlock(release, shapeTable);
}

bool TubeGenerator::init() {
    if (pathTable != nullptr && shapeTable != nullptr) {
        return true;  // the table never changes once built
    }
    releaseBlock(release, pathTable);
    releaseBlock(release, shapeTable);
    pathTable = static_cast<FractalPath*>(allocate(kViewCount * sizeof(FractalPath)));
    shapeTable = static_cast<TubeShape*>(allocate(kViewCount * sizeof(TubeShape)));
    if (pathTable == nullptr || shapeTable == nullptr) {
        releaseBlock(release, pathTable);
        releaseBlock(release, shapeTable);
        pathTable = nullptr;
        shapeTable = nullptr;
        return false;
    }
    fillViewTable(shapeTable, pathTable);
    return true;
}

bool TubeGenerator::layoutTube(TubeShape& shape, FractalPath& path) {
    vertexCount = 0;
    ringSize = 0;
    const double k = std::sqrt(2.0);
    const double ring = std::floor(shape.tubeRadius * kTwoPi * k + 0.5);
    if (!(ring >= 1.0 && ring <= INT32_MAX)) {
        return false;  // no vertex on the circumference, or not a size at all
    }
    const int32_t size = static_cast<int32_t>(ring);
    const double outerLength = std::hypot((shape.tubeRadius + shape.helixRadius) * shape.sweep, shape.rise);
    const double f = outerLength * k;  // about the number of rings
    const double total = f * size;
    if (!(total >= 1.0 && total < 2147483648.0)) {
        return false;  // empty, or more vertices than an int32 counts
    }
    const int32_t count = static_cast<int32_t>(total);

    shape.vertexCount = count;
    shape.risePerVertex = shape.rise / count;
    shape.step = shape.sweep / count;
    shape.angularRate = f * kTwoPi / shape.sweep;

    if (path.pathMode == 0) {
        if (path.outerRadius < 0.0) {
            path.outerRadius = path.startRadius / std::pow(0.9, static_cast<double>(path.zoomRate) * 420.0);
        } else {
            path.zoomRate =
                static_cast<float>(std::log(path.outerRadius / path.startRadius) / std::log(kZoomStep) / 420.0);
        }
    } else {
        // Flight (any mode other than 0 samples as a flight, so it gets the flight's depths too).
        path.depthOut = static_cast<float>(std::log(path.outerRadius / path.startRadius) / std::log(kZoomStep));
        path.depthIn = static_cast<float>(std::log(path.outerRadius / path.endRadius) / std::log(kZoomStep));
    }

    vertexCount = count;
    ringSize = size;
    return true;
}

ComplexPoint TubeGenerator::flightPoint(const FractalPath& path, const TubeShape& shape, double pos,
                                        double theta) const {
    const double dx = path.endRe - path.centreRe;
    const double dy = path.endIm - path.centreIm;
    const double e = 0.5 * std::sqrt(dx * dx + dy * dy);  // half the distance from start to end
    const double h = path.outerRadius;
    const double rho = std::sqrt(h * h + e * e);
    double ux = 0.0;
    double uy = 0.0;
    if (e > 0.0) {
        ux = dx / (2.0 * e);
        uy = dy / (2.0 * e);
    }
    const float depthSum = path.depthIn + path.depthOut;
    const double m = path.depthOut * shape.sweep / depthSum;  // path position of the turning point

    double radius;
    double anchorRe;
    double anchorIm;
    if (m > pos) {
        radius = path.startRadius / std::pow(0.9, path.depthOut * pos / m);
        anchorRe = path.centreRe;
        anchorIm = path.centreIm;
        if (e > 0.0) {
            const double shift = radius * e / h;
            anchorRe = anchorRe + shift * ux;
            anchorIm = anchorIm + shift * uy;
        }
    } else {
        radius = path.endRadius / std::pow(0.9, (shape.sweep - pos) * path.depthIn / (shape.sweep - m));
        anchorRe = path.endRe;
        anchorIm = path.endIm;
        if (e > 0.0) {
            const double shift = radius * e / h;
            anchorRe = anchorRe - shift * ux;
            anchorIm = anchorIm - shift * uy;
        }
    }

    const double psi = path.angleOffset + theta;
    const double u = radius * rho / h * std::cos(psi);
    const double v = radius * std::sin(psi);
    if (e > 0.0) {
        return ComplexPoint{anchorRe + (u * ux - v * uy), anchorIm + (u * uy + v * ux)};
    }
    return ComplexPoint{anchorRe + u, anchorIm + v};
}

bool TubeGenerator::generate(TubeShape& shape, FractalPath& path, TubeArrays& out) {
    return prepareImage(shape, path) && fillImage(shape, path, out);
}

bool TubeGenerator::prepareImage(TubeShape& shape, FractalPath& path) {
    // Pitch of the helix, from the shape before scaling.
    pitch = std::atan(shape.rise / (shape.sweep * shape.helixRadius));

    // The image's one random draw picks one of the two light settings.
    const int draw = random != nullptr ? random->next() : 0;
    if (draw % 2 == 0) {
        diffuseWeight = 40;
        specularWeight = 70;
        ambientWeight = 46;
        shininess = 3;
    } else {
        diffuseWeight = 10;
        specularWeight = 70;
        ambientWeight = 30;
        shininess = 13;
    }

    const float area = detailHeight * detailWidth;
    const float quotient = 480000.0f / area;
    scaleDivisor = static_cast<float>(std::sqrt(static_cast<double>(quotient)));
    shape.helixRadius = shape.helixRadius / scaleDivisor;
    shape.tubeRadius = shape.tubeRadius / scaleDivisor;
    shape.rise = shape.rise / scaleDivisor;

    // A non-positive sweep has no path to walk; refuse it rather than hand over unwritten vertices.
    if (!layoutTube(shape, path) || !(shape.sweep > 0.0)) {
        vertexCount = 0;
        ringSize = 0;
        return false;
    }
    return true;
}

bool TubeGenerator::fillImage(const TubeShape& shape, const FractalPath& path, TubeArrays& out) {
    if (vertexCount < 1 || ringSize < 1 || !(shape.sweep > 0.0)) {
        vertexCount = 0;
        ringSize = 0;
        return false;  // not laid out, or no path to walk
    }
    const double sinAlpha = std::sin(pitch);
    const double cosAlpha = std::cos(pitch);

    const double lightLength = std::sqrt(lightDirection[0] * lightDirection[0] + lightDirection[1] * lightDirection[1] +
                                         lightDirection[2] * lightDirection[2]);
    const float light[3] = {static_cast<float>(lightDirection[0] / lightLength),
                            static_cast<float>(lightDirection[1] / lightLength),
                            static_cast<float>(lightDirection[2] / lightLength)};

    const int32_t ringCount = vertexCount / ringSize;
    const size_t vertexBytes = static_cast<size_t>(vertexCount) * sizeof(TubeVertex);
    const size_t ringBytes = static_cast<size_t>(ringCount) * sizeof(TubeRing);
    TubeVertex* vertices = nullptr;
    TubeRing* rings = nullptr;
    bool sizesFit = static_cast<size_t>(vertexCount) <= SIZE_MAX / sizeof(TubeVertex) &&
                    static_cast<size_t>(ringCount) <= SIZE_MAX / sizeof(TubeRing);
    if (sizesFit) {
        vertices = static_cast<TubeVertex*>(allocate(vertexBytes));
        if (ringCount > 0 && vertices != nullptr) {
            rings = static_cast<TubeRing*>(allocate(ringBytes));
        }
    }
    if (vertices == nullptr || (ringCount > 0 && rings == nullptr)) {
        releaseBlock(release, vertices);
        releaseBlock(release, rings);
        vertexCount = 0;
        ringSize = 0;
        return false;
    }
    if (ringCount > 0) {
        std::memset(rings, 0, ringBytes);
    }

    VertexLoop loop{*this,
                    shape,
                    path,
                    vertices,
                    rings,
                    vertexCount,
                    ringSize,
                    ringCount,
                    sinAlpha,
                    cosAlpha,
                    {light[0], light[1], light[2]},
                    diffuseWeight,
                    specularWeight,
                    ambientWeight,
                    shininess,
                    bakeLighting,
                    PaletteSettings{paletteShift, paletteVariant},
                    driftRate};
    int32_t i = -1;
    if (!referenceBuild) {
        // Its vector steps run over spare lanes and points that never escaped (0 / 0 and the like).
        const FloatingPointExceptionsMasked masked;
        i = buildVerticesBatched(loop, escapeKernel);  // -1 when its scratch memory is not to be had
    }
    if (i < 0) {
        i = buildVerticesReference(loop);
    }
    // Should the summed steps reach the sweep a vertex early, the rest are placed on the tube as holes.
    placeUnreachedVertices(loop, i);

    out.vertices = vertices;
    out.rings = rings;
    return true;
}
