// The escape loop for instruction sets without masked stores: SSE2 (2 points per vector) and AVX2 (4),
// written once on the compiler's vector types and compiled for each; in WebAssembly, SIMD128 (2 points).
#include "fractal/escape_kernel_impl.h"

#ifdef ORBIVANE_TWO_LANE_KERNEL

#ifdef ORBIVANE_X86_KERNELS
#include <immintrin.h>
#else
#include <wasm_simd128.h>
#endif

#include <cstring>

namespace {

constexpr int kMaxSteps = 256;  // the escape loop's iteration limit
constexpr int kCheckEvery = 4;  // steps between tests for a finished group; divides kMaxSteps, and even

typedef double Sse2Vector __attribute__((vector_size(16)));  // 2 lanes
typedef double Avx2Vector __attribute__((vector_size(32)));  // 4 lanes
typedef decltype(Sse2Vector{} <= Sse2Vector{}) Sse2Mask;     // mask of a comparison: -1 or 0 per lane
typedef decltype(Avx2Vector{} <= Avx2Vector{}) Avx2Mask;

// Whether a comparison mask has a lane set.
inline bool anyLane(const Sse2Mask& mask) {
#ifdef ORBIVANE_X86_KERNELS
    __m128i bits;
    std::memcpy(&bits, &mask, sizeof bits);
    return _mm_movemask_pd(_mm_castsi128_pd(bits)) != 0;
#else
    v128_t bits;
    std::memcpy(&bits, &mask, sizeof bits);
    return wasm_v128_any_true(bits);
#endif
}
#ifdef ORBIVANE_X86_KERNELS
__attribute__((target("avx2"))) inline bool anyLane(const Avx2Mask& mask) {
    __m256i bits;
    std::memcpy(&bits, &mask, sizeof bits);
    return _mm256_movemask_pd(_mm256_castsi256_pd(bits)) != 0;
}
#endif

// Runs one full group of Vectors vectors of VD's lanes. Each lane does what escapeLoop does: at the
// start of every step it tests |z|^2 <= 4 (false for a NaN), and its results are those of the first
// test that fails. The lanes keep iterating after that (towards infinity and NaN, harmlessly), so that
// the arithmetic never waits for a comparison; a mask remembers which lanes are still alive:
// - every tested |z|^2 of a live lane is kept in one of two registers by the parity of its step
//   count, so that between them they hold the last two;
// - the mask is all ones (-1) for a live lane, so subtracting it after the test counts the step.
// At the end the parity of the count says which register holds which of the two.
template <typename VD, int Vectors, bool Julia>
static inline __attribute__((always_inline)) void escapeGroupLanes(const double* re, const double* im, double juliaRe,
                                                                   double juliaIm, int32_t* stepsOut, double* prevOut,
                                                                   double* lastOut) {
    typedef decltype(VD{} <= VD{}) VL;  // mask of a VD comparison: -1 or 0 per lane
    constexpr int kLanes = sizeof(VD) / sizeof(double);
    const VD four = VD{} + 4.0;
    VD x[Vectors], y[Vectors], x2[Vectors], y2[Vectors], cRe[Vectors], cIm[Vectors];
    VD even[Vectors];  // |z|^2 tested at counts 0, 2, 4, ... while alive
    VD odd[Vectors];   // |z|^2 tested at counts 1, 3, 5, ...; 0 for a lane that never got there
    VL alive[Vectors];
    VL count[Vectors];  // steps made
#pragma GCC unroll 8
    for (int v = 0; v < Vectors; ++v) {
        std::memcpy(&x[v], re + v * kLanes, sizeof(VD));
        std::memcpy(&y[v], im + v * kLanes, sizeof(VD));
        cRe[v] = Julia ? VD{} + juliaRe : x[v];
        cIm[v] = Julia ? VD{} + juliaIm : y[v];
        x2[v] = x[v] * x[v];
        y2[v] = y[v] * y[v];
        even[v] = VD{};
        odd[v] = VD{};
        alive[v] = VL{} - 1;
        count[v] = VL{};
    }
    for (int done = 0; done < kMaxSteps; done += kCheckEvery) {
#pragma GCC unroll 8
        for (int s = 0; s < kCheckEvery; ++s) {
#pragma GCC unroll 8
            for (int v = 0; v < Vectors; ++v) {
                const VD m = x2[v] + y2[v];
                if ((s & 1) == 0) {
                    even[v] = alive[v] ? m : even[v];
                } else {
                    odd[v] = alive[v] ? m : odd[v];
                }
                alive[v] &= m <= four;
                count[v] -= alive[v];
                // New y from the old x and y: y * (2x) + c_im; then x: (x^2 - y^2) + c_re.
                y[v] = y[v] * (2.0 * x[v]) + cIm[v];
                x[v] = (x2[v] - y2[v]) + cRe[v];
                x2[v] = x[v] * x[v];
                y2[v] = y[v] * y[v];
            }
        }
        VL any = alive[0];
#pragma GCC unroll 8
        for (int v = 1; v < Vectors; ++v) {
            any |= alive[v];
        }
        if (!anyLane(any)) {
            break;
        }
    }
#pragma GCC unroll 8
    for (int v = 0; v < Vectors; ++v) {
        // Lanes alive after the final step (an even count) end with the |z|^2 it made.
        even[v] = alive[v] ? x2[v] + y2[v] : even[v];
        const VL oddCount = (count[v] & 1) != 0;
        const VD last = oddCount ? odd[v] : even[v];
        const VD prev = oddCount ? even[v] : odd[v];
        std::memcpy(lastOut + v * kLanes, &last, sizeof(VD));
        std::memcpy(prevOut + v * kLanes, &prev, sizeof(VD));
        for (int l = 0; l < kLanes; ++l) {
            stepsOut[v * kLanes + l] = static_cast<int32_t>(count[v][l]);
        }
    }
}

constexpr int kVectors = 4;  // vectors in flight: the fastest count here for both, though a few values spill

// SSE2 is part of x86-64: no target attribute needed.
template <bool Julia>
void sse2Group(const double* re, const double* im, double juliaRe, double juliaIm, int32_t* steps, double* prev,
               double* last) {
    escapeGroupLanes<Sse2Vector, kVectors, Julia>(re, im, juliaRe, juliaIm, steps, prev, last);
}

#ifdef ORBIVANE_X86_KERNELS
template <bool Julia>
__attribute__((target("avx2"))) void avx2Group(const double* re, const double* im, double juliaRe, double juliaIm,
                                               int32_t* steps, double* prev, double* last) {
    escapeGroupLanes<Avx2Vector, kVectors, Julia>(re, im, juliaRe, juliaIm, steps, prev, last);
}
#endif

}  // namespace

void escapeBatchSse2(const EscapeBatch& batch) {
    escapeInGroups<2 * kVectors>(batch, sse2Group<false>, sse2Group<true>);
}

#ifdef ORBIVANE_X86_KERNELS
__attribute__((target("avx2"))) void escapeBatchAvx2(const EscapeBatch& batch) {
    escapeInGroups<4 * kVectors>(batch, avx2Group<false>, avx2Group<true>);
}
#endif

#endif
