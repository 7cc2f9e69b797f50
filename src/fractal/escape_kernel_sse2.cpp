// The escape loop on SSE2: 2 points per vector, several vectors in flight, lanes frozen by masks.
#include "fractal/escape_kernel_impl.h"

#ifdef ORBIVANE_X86_KERNELS

#include <immintrin.h>

#include <cmath>

// SSE2 is part of x86-64: no target attribute needed.
#define ORBIVANE_SSE2

namespace {

// Lanes where mask is all ones take a, the others b.
inline __m128d select(__m128d mask, __m128d a, __m128d b) {
    return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
}

constexpr int kLanes = 2;                  // doubles per vector
constexpr int kVectors = 4;                // vectors in flight: a few values spill, still the fastest
constexpr int kGroup = kLanes * kVectors;  // points per group
constexpr int kMaxSteps = 256;             // the escape loop's iteration limit
constexpr int kCheckEvery = 4;             // steps between tests for a finished group; divides kMaxSteps

// One full group; see the AVX-512 version for how lanes stay exact. A live lane's mask is all ones,
// so subtracting it as an integer counts the step.
template <bool Julia>
ORBIVANE_SSE2 void escapeGroup(const double* re, const double* im, double juliaRe, double juliaIm,
                               int32_t* stepsOut, double* prevOut, double* lastOut) {
    const __m128d four = _mm_set1_pd(4.0);
    __m128d x[kVectors], y[kVectors], x2[kVectors], y2[kVectors], prev[kVectors], cRe[kVectors], cIm[kVectors];
    __m128i steps[kVectors];
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v) {
        x[v] = _mm_loadu_pd(re + v * kLanes);
        y[v] = _mm_loadu_pd(im + v * kLanes);
        cRe[v] = Julia ? _mm_set1_pd(juliaRe) : x[v];
        cIm[v] = Julia ? _mm_set1_pd(juliaIm) : y[v];
        x2[v] = _mm_mul_pd(x[v], x[v]);
        y2[v] = _mm_mul_pd(y[v], y[v]);
        prev[v] = _mm_setzero_pd();
        steps[v] = _mm_setzero_si128();
    }
    for (int done = 0; done < kMaxSteps; done += kCheckEvery) {
#pragma GCC unroll 8
        for (int s = 0; s < kCheckEvery; ++s) {
#pragma GCC unroll 8
            for (int v = 0; v < kVectors; ++v) {
                const __m128d m = _mm_add_pd(x2[v], y2[v]);
                const __m128d live = _mm_cmple_pd(m, four);
                prev[v] = select(live, m, prev[v]);
                const __m128d yy = _mm_add_pd(_mm_mul_pd(y[v], _mm_add_pd(x[v], x[v])), cIm[v]);
                const __m128d xx = _mm_add_pd(_mm_sub_pd(x2[v], y2[v]), cRe[v]);
                y[v] = select(live, yy, y[v]);
                x[v] = select(live, xx, x[v]);
                steps[v] = _mm_sub_epi64(steps[v], _mm_castpd_si128(live));
                x2[v] = _mm_mul_pd(x[v], x[v]);
                y2[v] = _mm_mul_pd(y[v], y[v]);
            }
        }
        __m128d anyLive = _mm_setzero_pd();
#pragma GCC unroll 8
        for (int v = 0; v < kVectors; ++v) {
            anyLive = _mm_or_pd(anyLive, _mm_cmple_pd(_mm_add_pd(x2[v], y2[v]), four));
        }
        if (_mm_movemask_pd(anyLive) == 0) {
            break;
        }
    }
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v) {
        alignas(16) int64_t count[kLanes];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(count), steps[v]);
        for (int l = 0; l < kLanes; ++l) {
            stepsOut[v * kLanes + l] = static_cast<int32_t>(count[l]);
        }
        _mm_storeu_pd(prevOut + v * kLanes, prev[v]);
        _mm_storeu_pd(lastOut + v * kLanes, _mm_add_pd(x2[v], y2[v]));
    }
}

}  // namespace

ORBIVANE_SSE2 void escapeBatchSse2(const EscapeBatch& batch) {
    escapeInGroups<kGroup>(batch, escapeGroup<false>, escapeGroup<true>);
}

#endif
