// The escape loop on AVX-512F: 8 points per vector, several vectors in flight, lanes frozen by masks.
#include "fractal/escape_kernel_impl.h"

#ifdef ORBIVANE_X86_KERNELS

#include <immintrin.h>

#include <cmath>

#define ORBIVANE_AVX512 __attribute__((target("avx512f")))

namespace {

constexpr int kLanes = 8;                    // doubles per vector
constexpr int kVectors = 4;                  // vectors in flight: independent chains hide the latency
constexpr int kGroup = kLanes * kVectors;    // points per group
constexpr int kMaxSteps = 256;               // the escape loop's iteration limit
constexpr int kCheckEvery = 4;               // steps between tests for a finished group; divides kMaxSteps

// Runs one full group of kGroup points. Each lane does exactly what escapeLoop does: at the start of
// every step it tests |z|^2 <= 4 (false for a NaN) and, where that fails, the lane is frozen for good,
// keeping its step count, prev and |z|^2. Frozen lanes stay out of bounds, so the test needs no
// memory of earlier steps; the iteration limit is reached by all lanes together.
template <bool Julia>
ORBIVANE_AVX512 void escapeGroup(const double* re, const double* im, double juliaRe, double juliaIm,
                                 int32_t* stepsOut, double* prevOut, double* lastOut) {
    const __m512d four = _mm512_set1_pd(4.0);
    const __m512d two = _mm512_set1_pd(2.0);
    __m512d x[kVectors], y[kVectors], x2[kVectors], y2[kVectors], cRe[kVectors], cIm[kVectors];
    // A live lane records its step number and its |z|^2 before the step with masked stores, which
    // keep the arithmetic ports free for the loop itself; a frozen lane's entries stay as they were.
    int64_t steps[kGroup];
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v) {
        x[v] = _mm512_loadu_pd(re + v * kLanes);
        y[v] = _mm512_loadu_pd(im + v * kLanes);
        cRe[v] = Julia ? _mm512_set1_pd(juliaRe) : x[v];
        cIm[v] = Julia ? _mm512_set1_pd(juliaIm) : y[v];
        x2[v] = _mm512_mul_pd(x[v], x[v]);
        y2[v] = _mm512_mul_pd(y[v], y[v]);
        _mm512_storeu_pd(prevOut + v * kLanes, _mm512_setzero_pd());
        _mm512_storeu_si512(steps + v * kLanes, _mm512_setzero_si512());
    }
    __m512i step = _mm512_set1_epi64(1);  // number of the step being made, 1..256
    const __m512i one = _mm512_set1_epi64(1);
    for (int done = 0; done < kMaxSteps; done += kCheckEvery) {
#pragma GCC unroll 8
        for (int s = 0; s < kCheckEvery; ++s) {
#pragma GCC unroll 8
            for (int v = 0; v < kVectors; ++v) {
                const __m512d m = _mm512_add_pd(x2[v], y2[v]);
                const __mmask8 live = _mm512_cmp_pd_mask(m, four, _CMP_LE_OQ);
                _mm512_mask_storeu_pd(prevOut + v * kLanes, live, m);
                _mm512_mask_storeu_epi64(steps + v * kLanes, live, step);
                // New y from the old x and y: y * (2x) + c_im; then x: (x^2 - y^2) + c_re.
                const __m512d yy = _mm512_mul_pd(y[v], _mm512_mul_pd(two, x[v]));
                y[v] = _mm512_mask_add_pd(y[v], live, yy, cIm[v]);
                x[v] = _mm512_mask_add_pd(x[v], live, _mm512_sub_pd(x2[v], y2[v]), cRe[v]);
                x2[v] = _mm512_mul_pd(x[v], x[v]);
                y2[v] = _mm512_mul_pd(y[v], y[v]);
            }
            step = _mm512_add_epi64(step, one);
        }
        __mmask8 anyLive = 0;
#pragma GCC unroll 8
        for (int v = 0; v < kVectors; ++v) {
            anyLive |= _mm512_cmp_pd_mask(_mm512_add_pd(x2[v], y2[v]), four, _CMP_LE_OQ);
        }
        if (anyLive == 0) {
            break;
        }
    }
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v) {
        _mm512_mask_cvtepi64_storeu_epi32(stepsOut + v * kLanes, 0xFF, _mm512_loadu_si512(steps + v * kLanes));
        _mm512_storeu_pd(lastOut + v * kLanes, _mm512_add_pd(x2[v], y2[v]));
    }
}

}  // namespace

ORBIVANE_AVX512 void escapeBatchAvx512(const EscapeBatch& batch) {
    escapeInGroups<kGroup>(batch, escapeGroup<false>, escapeGroup<true>);
}

#endif
