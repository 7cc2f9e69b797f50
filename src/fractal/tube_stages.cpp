// The vectorised steps of the batched image build, compiled once per instruction set from one source.
#include "fractal/tube_stages.h"

#include <cstring>

#include "fractal/escape_colour.h"
#include "fractal/escape_kernel_impl.h"

namespace {

// Eight lanes of each kind; the compiler maps them onto the registers of the target it builds for
// (one 512-bit register, two 256-bit ones or four 128-bit ones): lane by lane the same IEEE operations.
typedef double VD __attribute__((vector_size(64)));
typedef int64_t VL __attribute__((vector_size(64)));  // mask of a VD comparison
typedef float VF __attribute__((vector_size(32)));
typedef int32_t VI __attribute__((vector_size(32)));  // mask of a VF comparison; int32 lanes

#define STAGE_BODY static inline __attribute__((always_inline))
#define LOAD(v, p) std::memcpy(&(v), (p), sizeof(v))
#define STORE(p, v) std::memcpy((p), &(v), sizeof(v))

STAGE_BODY void geometryBody(const StageConstants& c, const RingStretch& s) {
    const double tubeRadius = c.tubeRadius;
    const double helixRadius = c.helixRadius;
    const VF one = VF{} + 1.0f;
    const VF zeroF = {};
    for (int32_t k = 0; k < s.count; k += kStageLanes) {
        VD cp, sp, n1;
        LOAD(cp, s.cosPhi + k);
        LOAD(sp, s.sinPhi + k);
        LOAD(n1, s.cosAlphaSinPhi + k);
        const VD n0 = cp * s.cosT + sp * s.sinTSinAlpha;
        const VD n2 = cp * s.sinT - sp * s.cosTSinAlpha;
        const VD p0 = (s.axis[0] + n0 * tubeRadius) / helixRadius;
        const VD p1 = (s.axis[1] + n1 * tubeRadius) / helixRadius;
        const VD p2 = (s.axis[2] + n2 * tubeRadius) / helixRadius;
        double lanes[6][kStageLanes];
        STORE(lanes[0], p0);
        STORE(lanes[1], p1);
        STORE(lanes[2], p2);
        STORE(lanes[3], n0);
        STORE(lanes[4], n1);
        STORE(lanes[5], n2);
        const int32_t n = s.count - k < kStageLanes ? s.count - k : kStageLanes;
        for (int32_t l = 0; l < n; ++l) {
            TubeVertex& v = s.vertices[k + l];
            v.position[0] = lanes[0][l];
            v.position[1] = lanes[1][l];
            v.position[2] = lanes[2][l];
            v.normal[0] = lanes[3][l];
            v.normal[1] = lanes[4][l];
            v.normal[2] = lanes[5][l];
        }

        VF raw = zeroF + 50.0f;  // flat brightness
        if (c.bakeLighting) {
            const VF nx = __builtin_convertvector(n0, VF);
            const VF ny = __builtin_convertvector(n1, VF);
            const VF nz = __builtin_convertvector(n2, VF);
            const VF d = nx * c.light[0] + ny * c.light[1] + nz * c.light[2];
            VF t = nz * 2.0f * d - c.light[2];  // z of the light reflected about n
            t = t < zeroF ? zeroF : t;
            const VF reflected = d != zeroF ? t : zeroF;
            VF power = one;  // reflected ^ shininess by repeated squaring
            VF base = reflected;
            for (int32_t e = c.shininess; e > 0;) {
                if (e & 1) {
                    power = power * base;
                }
                e >>= 1;
                if (e > 0) {
                    base = base * base;
                }
            }
            VF b = power * c.specularWeight - d * c.diffuseWeight + c.ambientWeight;
            b = b * 180.0f / c.weightSum + 10.0f;
            const VF cap = zeroF + 150.0f;
            raw = b > cap ? cap : b;
        }
        STORE(s.raw + k, raw);
    }
}

STAGE_BODY void spiralArgumentsBody(const StageConstants& c, const double* pos, int32_t count, double* psi,
                                    double* exponent) {
    for (int32_t k = 0; k < count; k += kStageLanes) {
        VD at;
        LOAD(at, pos + k);
        const VD theta = at * c.drift + at * c.angularRate;
        const VD angle = c.angleOffset + theta;
        const VD power = at / c.sweep * 420.0 * c.zoomRate;
        STORE(psi + k, angle);
        STORE(exponent + k, power);
    }
}

STAGE_BODY void spiralPointsBody(const StageConstants& c, const double* cosPsi, const double* sinPsi, const double* q,
                                 int32_t count, double* re, double* im) {
    for (int32_t k = 0; k < count; k += kStageLanes) {
        VD cs, sn, d;
        LOAD(cs, cosPsi + k);
        LOAD(sn, sinPsi + k);
        LOAD(d, q + k);
        const VD r = c.centreRe + cs * c.startRadius / d;
        const VD i = c.centreIm + sn * c.startRadius / d;
        STORE(re + k, r);
        STORE(im + k, i);
    }
}

STAGE_BODY void rampIndicesBody(const int32_t* steps, const double* prev, const double* last, int32_t count,
                                int32_t* index) {
    const VD zero = {};
    const VD sixteen = zero + 16.0;
    const VI zeroI = {};
    for (int32_t k = 0; k < count; k += kStageLanes) {
        VI st;
        VD before, after;
        LOAD(st, steps + k);
        LOAD(before, prev + k);
        LOAD(after, last + k);
        // Sixteenths of a step past |z|^2 = 4, as smoothedCount works them out; a NaN counts as 0.
        const VD q = (4.0 - before) * 16.0 / (after - before);
        VD clamped = q >= sixteen ? sixteen : q;
        clamped = clamped > zero ? clamped : zero;
        const VI smoothed = (st - 1) * 16 + __builtin_convertvector(clamped, VI);
        const VI coloured = (st >= 1) & (st < kEscapeSteps);
        const VI out = coloured ? smoothed + 1 : zeroI;
        STORE(index + k, out);
    }
}

STAGE_BODY void scaleColoursBody(const PackedColour* colour, const int32_t* brightness, int32_t count,
                                 PackedColour* out) {
    const VD cap = VD{} + 255.0;
    for (int32_t k = 0; k < count; k += kStageLanes) {
        VI col, br;
        LOAD(col, colour + k);
        LOAD(br, brightness + k);
        VI packed = {};
        for (int shift = 0; shift < 24; shift += 8) {
            const VI byte = (col >> shift) & 0xFF;
            const VD scaled = __builtin_convertvector(byte * br, VD) * 0.01;
            const VD capped = scaled > cap ? cap : scaled;
            packed = packed | (__builtin_convertvector(capped, VI) << shift);
        }
        STORE(out + k, packed);
    }
}

#define DEFINE_STAGES(SUFFIX, ATTRIBUTES)                                                                            \
    ATTRIBUTES void geometry##SUFFIX(const StageConstants& c, const RingStretch& s) { geometryBody(c, s); }          \
    ATTRIBUTES void spiralArguments##SUFFIX(const StageConstants& c, const double* pos, int32_t count, double* psi,  \
                                            double* exponent) {                                                      \
        spiralArgumentsBody(c, pos, count, psi, exponent);                                                           \
    }                                                                                                                \
    ATTRIBUTES void spiralPoints##SUFFIX(const StageConstants& c, const double* cosPsi, const double* sinPsi,        \
                                         const double* q, int32_t count, double* re, double* im) {                   \
        spiralPointsBody(c, cosPsi, sinPsi, q, count, re, im);                                                       \
    }                                                                                                                \
    ATTRIBUTES void rampIndices##SUFFIX(const int32_t* steps, const double* prev, const double* last, int32_t count, \
                                        int32_t* index) {                                                            \
        rampIndicesBody(steps, prev, last, count, index);                                                            \
    }                                                                                                                \
    ATTRIBUTES void scaleColours##SUFFIX(const PackedColour* colour, const int32_t* brightness, int32_t count,       \
                                         PackedColour* out) {                                                        \
        scaleColoursBody(colour, brightness, count, out);                                                            \
    }                                                                                                                \
    constexpr BuildStages kStages##SUFFIX = {geometry##SUFFIX, spiralArguments##SUFFIX, spiralPoints##SUFFIX,        \
                                             rampIndices##SUFFIX, scaleColours##SUFFIX};

DEFINE_STAGES(Baseline, )
#ifdef ORBIVANE_X86_KERNELS
DEFINE_STAGES(Avx2, __attribute__((target("avx2"))))
DEFINE_STAGES(Avx512, __attribute__((target("avx512f"))))
#endif

}  // namespace

BuildStages buildStagesFor(EscapeKernel kernel) {
    switch (kernel) {
#ifdef ORBIVANE_X86_KERNELS
    case EscapeKernel::Avx2:
        return kStagesAvx2;
    case EscapeKernel::Avx512:
        return kStagesAvx512;
#endif
    default:
        return kStagesBaseline;
    }
}
