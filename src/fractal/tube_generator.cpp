// The tube generator: helix geometry, normals, the built-in light model and the fractal sampling of one image.
#include "fractal/tube_generator.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "fractal/escape_colour.h"
#include "fractal/view_table.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kZoomStep = 1.1111111111111112;  // the double nearest 1/0.9: one zoom step
constexpr int32_t kMaxBrightness = 150;           // brightness cap, in percent of the escape colour
constexpr float kFlatBrightness = 50.0f;          // brightness of images lit by OpenGL instead

// Integer power by repeated squaring, in single precision.
float powInt(float base, int32_t exponent) {
    float result = 1.0f;
    while (exponent > 0) {
        if (exponent & 1) {
            result = result * base;
        }
        exponent >>= 1;
        if (exponent > 0) {
            base = base * base;
        }
    }
    return result;
}

// Colour byte scaled by a brightness in percent: truncated, at most 255.
uint8_t scaleChannel(uint8_t byte, int32_t brightness) {
    const double scaled = static_cast<double>(byte * brightness) * 0.01;
    return scaled > 255.0 ? 255 : static_cast<uint8_t>(scaled);
}

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
    const float nx = static_cast<float>(n[0]);
    const float ny = static_cast<float>(n[1]);
    const float nz = static_cast<float>(n[2]);
    const float d = nx * light[0] + ny * light[1] + nz * light[2];
    float s = 0.0f;  // z component of the light reflected about n
    if (d != 0.0f) {
        s = 2.0f * nz * d - light[2];
        if (s < 0.0f) {
            s = 0.0f;
        }
    }
    // The diffuse term is subtracted as it stands (not clamped at 0).
    float b = static_cast<float>(specularWeight) * powInt(s, shininess) - static_cast<float>(diffuseWeight) * d +
              static_cast<float>(ambientWeight);
    b = b * 180.0f / static_cast<float>(diffuseWeight + specularWeight + ambientWeight) + 10.0f;
    if (b > static_cast<float>(kMaxBrightness)) {
        b = static_cast<float>(kMaxBrightness);
    }
    return b;
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
            path.zoomRate = static_cast<float>(std::log(path.outerRadius / path.startRadius) / std::log(kZoomStep) / 420.0);
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
    currentVertex = 0;

    // Pitch of the helix, from the shape before scaling.
    const double alpha = std::atan(shape.rise / (shape.sweep * shape.helixRadius));
    const double sinAlpha = std::sin(alpha);
    const double cosAlpha = std::cos(alpha);

    const double lightLength = std::sqrt(lightDirection[0] * lightDirection[0] + lightDirection[1] * lightDirection[1] +
                                         lightDirection[2] * lightDirection[2]);
    const float light[3] = {static_cast<float>(lightDirection[0] / lightLength),
                            static_cast<float>(lightDirection[1] / lightLength),
                            static_cast<float>(lightDirection[2] / lightLength)};

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

    const PaletteSettings palette{paletteShift, paletteVariant};
    const double phiStep = shape.angularRate * shape.step;  // angle around the tube per place in a ring
    const double drift = driftRate;
    const double angleOffset = path.angleOffset;
    const double zoomRate = path.zoomRate;
    int32_t ringsWritten = 0;
    double pos = 0.0;   // path position of vertex i
    float acc = 0.0f;   // brightness accumulator (rounding remainder carried along the vertices)
    int32_t ringOfT = -1;
    double cosT = 1.0;
    double sinT = 0.0;
    int32_t i = 0;
    while (i < vertexCount) {
        const int32_t r = i / ringSize;
        const int32_t j = i % ringSize;
        const int32_t ringStart = r * ringSize;
        if (r != ringOfT) {
            const double t = shape.step * ringStart;  // every vertex of a ring shares the helix angle
            cosT = std::cos(t);
            sinT = std::sin(t);
            ringOfT = r;
        }
        const double phi = phiStep * j;
        const double cosPhi = std::cos(phi);
        const double sinPhi = std::sin(phi);
        const double n[3] = {cosT * cosPhi + sinT * sinAlpha * sinPhi, cosAlpha * sinPhi,
                             sinT * cosPhi - cosT * sinAlpha * sinPhi};
        const double axis[3] = {shape.helixRadius * cosT, shape.risePerVertex * ringStart, shape.helixRadius * sinT};

        if (j == 0 && ringsWritten < ringCount) {
            const float half = static_cast<float>(r) + 0.5f;
            const double c = static_cast<double>(half) * ringSize + 0.5;  // half a ring beyond ring r
            TubeRing& ring = rings[ringsWritten];
            ring.centre[0] = shape.helixRadius * std::cos(shape.step * c) / shape.helixRadius;
            ring.centre[1] = shape.risePerVertex * c / shape.helixRadius;
            ring.centre[2] = shape.helixRadius * std::sin(shape.step * c) / shape.helixRadius;
            ring.firstVertex = i;
            ++ringsWritten;
        }

        TubeVertex& vertex = vertices[i];
        for (int a = 0; a < 3; ++a) {
            vertex.position[a] = (axis[a] + shape.tubeRadius * n[a]) / shape.helixRadius;
            vertex.normal[a] = n[a];
        }

        const float raw = bakeLighting == 1
                              ? bakedBrightness(n, light, diffuseWeight, specularWeight, ambientWeight, shininess)
                              : kFlatBrightness;
        const int32_t brightness = diffuseBrightness(acc, raw);
        PackedColour colour = 0;
        if (brightness > 0) {
            const double theta = drift * pos + shape.angularRate * pos;
            if (path.pathMode == 0) {
                const double psi = angleOffset + theta;
                const double q = std::pow(0.9, pos / shape.sweep * 420.0 * zoomRate);
                const double re = path.centreRe + path.startRadius * std::cos(psi) / q;
                const double im = path.centreIm + path.startRadius * std::sin(psi) / q;
                colour = path.isJulia ? escapeColour(re, im, path.juliaRe, path.juliaIm, palette)
                                      : escapeColour(re, im, palette);
            } else {
                const ComplexPoint p = flightPoint(path, shape, pos, theta);
                colour = path.isJulia ? escapeColour(p.re, p.im, path.juliaRe, path.juliaIm, palette)
                                      : escapeColour(p.re, p.im, palette);
            }
        }
        if (colour == 0) {
            vertex.red = 0;
            vertex.green = 0;
            vertex.blue = 0;
        } else {
            vertex.red = scaleChannel(packedRed(colour), brightness);
            vertex.green = scaleChannel(packedGreen(colour), brightness);
            vertex.blue = scaleChannel(packedBlue(colour), brightness);
        }

        ++i;
        pos = pos + shape.step;
        if (!(pos < shape.sweep)) {
            break;
        }
    }
    // Should the summed steps reach the sweep a vertex early, the rest become holes rather than
    // uninitialised records.
    if (i < vertexCount) {
        std::memset(vertices + i, 0, static_cast<size_t>(vertexCount - i) * sizeof(TubeVertex));
    }

    currentVertex = 0;
    out.vertices = vertices;
    out.rings = rings;
    return true;
}
