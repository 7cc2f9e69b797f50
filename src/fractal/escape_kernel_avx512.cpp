// The escape loop on AVX-512F: 8 points per vector, several vectors in flight, finished lanes masked out.
#include "fractal/escape_kernel_impl.h"

#ifdef ORBIVANE_X86_KERNELS

#include <immintrin.h>

#include <cmath>

#define ORBIVANE_AVX512 __attribute__((target("avx512f")))

namespace {

constexpr int kLanes = 8;                  // doubles per vector
constexpr int kVectors = 4;                // vectors in flight: independent chains hide the latency
constexpr int kGroup = kLanes * kVectors;  // points per group
constexpr int kMaxSteps = 256;             // the escape loop's iteration limit
constexpr int kCheckEvery = 4;             // steps between tests for a finished group; divides kMaxSteps

// Runs one full group of kGroup points. Each lane does what escapeLoop does: at the start of every
// step it tests |z|^2 <= 4 (false for a NaN), and its results are those of the first test that fails.
// The lanes keep iterating after that (towards infinity and NaN, harmlessly), so that the arithmetic
// never waits for a comparison; a mask remembers which lanes are still alive and decides what is
// recorded, with masked stores, which keep the arithmetic ports free for the loop itself:
// - every tested |z|^2 of a live lane goes to one of two buffers by the parity of its step (the
//   even ones to lastOut, the odd ones to prevOut), so that each holds one of the last two;
// - the step count goes to steps while the lane passes the test.
// At the end the parity of the count says which buffer holds which of the two.
template <bool Julia>
ORBIVANE_AVX512 void escapeGroup(const double* re, const double* im, double juliaRe, double juliaIm, int32_t* stepsOut,
                                 double* prevOut, double* lastOut) {
    const __m512d four = _mm512_set1_pd(4.0);
    const __m512d two = _mm512_set1_pd(2.0);
    __m512d x[kVectors], y[kVectors], x2[kVectors], y2[kVectors], cRe[kVectors], cIm[kVectors];
    __mmask8 alive[kVectors];  // lanes whose every test so far passed
    int64_t steps[kGroup];
    double* const even = lastOut;  // |z|^2 tested at the start of steps 1, 3, 5, ... (counts 0, 2, 4, ...)
    double* const odd = prevOut;   // |z|^2 tested at counts 1, 3, 5, ...; 0 for a lane that never got there
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v) {
        x[v] = _mm512_loadu_pd(re + v * kLanes);
        y[v] = _mm512_loadu_pd(im + v * kLanes);
        cRe[v] = Julia ? _mm512_set1_pd(juliaRe) : x[v];
        cIm[v] = Julia ? _mm512_set1_pd(juliaIm) : y[v];
        x2[v] = _mm512_mul_pd(x[v], x[v]);
        y2[v] = _mm512_mul_pd(y[v], y[v]);
        alive[v] = 0xFF;
        _mm512_storeu_pd(odd + v * kLanes, _mm512_setzero_pd());
        _mm512_storeu_si512(steps + v * kLanes, _mm512_setzero_si512());
    }
    __m512i step = _mm512_set1_epi64(1);  // number of the step being made, 1..256
    const __m512i one = _mm512_set1_epi64(1);
    for (int done = 0; done < kMaxSteps; done += kCheckEvery) {
#pragma GCC unroll 8
        for (int s = 0; s < kCheckEvery; ++s) {
            double* const tested = (s & 1) == 0 ? even : odd;  // kCheckEvery is even: s has the count's parity
#pragma GCC unroll 8
            for (int v = 0; v < kVectors; ++v) {
                const __m512d m = _mm512_add_pd(x2[v], y2[v]);
                _mm512_mask_storeu_pd(tested + v * kLanes, alive[v], m);
                alive[v] = _mm512_mask_cmp_pd_mask(alive[v], m, four, _CMP_LE_OQ);
                _mm512_mask_storeu_epi64(steps + v * kLanes, alive[v], step);
                // New y from the old x and y: y * (2x) + c_im; then x: (x^2 - y^2) + c_re.
                y[v] = _mm512_add_pd(_mm512_mul_pd(y[v], _mm512_mul_pd(two, x[v])), cIm[v]);
                x[v] = _mm512_add_pd(_mm512_sub_pd(x2[v], y2[v]), cRe[v]);
                x2[v] = _mm512_mul_pd(x[v], x[v]);
                y2[v] = _mm512_mul_pd(y[v], y[v]);
            }
            step = _mm512_add_epi64(step, one);
        }
        __mmask8 anyAlive = 0;
#pragma GCC unroll 8
        for (int v = 0; v < kVectors; ++v) {
            anyAlive |= alive[v];
        }
        if (anyAlive == 0) {
            break;
        }
    }
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v) {
        // Lanes alive after the final step (an even count) end with the |z|^2 it made.
        _mm512_mask_storeu_pd(even + v * kLanes, alive[v], _mm512_add_pd(x2[v], y2[v]));
        const __m512i count = _mm512_loadu_si512(steps + v * kLanes);
        const __mmask8 oddCount = _mm512_test_epi64_mask(count, one);
        const __m512d e = _mm512_loadu_pd(even + v * kLanes);
        const __m512d o = _mm512_loadu_pd(odd + v * kLanes);
        _mm512_storeu_pd(lastOut + v * kLanes, _mm512_mask_blend_pd(oddCount, e, o));
        _mm512_storeu_pd(prevOut + v * kLanes, _mm512_mask_blend_pd(oddCount, o, e));
        _mm512_mask_cvtepi64_storeu_epi32(stepsOut + v * kLanes, 0xFF, count);
    }
}

}  // namespace

ORBIVANE_AVX512 void escapeBatchAvx512(const EscapeBatch& batch) {
    escapeInGroups<kGroup>(batch, escapeGroup<false>, escapeGroup<true>);
}

#endif
