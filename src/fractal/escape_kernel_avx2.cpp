// The escape loop on AVX2: 4 points per vector, several vectors in flight, lanes frozen by blends.
#include "fractal/escape_kernel_impl.h"

#ifdef ORBIVANE_X86_KERNELS

#include <immintrin.h>

#include <cmath>

#define ORBIVANE_AVX2 __attribute__((target("avx2")))

namespace {

constexpr int kLanes = 4;                  // doubles per vector
constexpr int kVectors = 4;                // vectors in flight: a few values spill, still the fastest
constexpr int kGroup = kLanes * kVectors;  // points per group
constexpr int kMaxSteps = 256;             // the escape loop's iteration limit
constexpr int kCheckEvery = 4;             // steps between tests for a finished group; divides kMaxSteps

// One full group; see the AVX-512 version for how lanes stay exact. A live lane's mask is all ones,
// so subtracting it as an integer counts the step.
template <bool Julia>
ORBIVANE_AVX2 void escapeGroup(const double* re, const double* im, double juliaRe, double juliaIm,
                               int32_t* stepsOut, double* prevOut, double* lastOut) {
    const __m256d four = _mm256_set1_pd(4.0);
    __m256d x[kVectors], y[kVectors], x2[kVectors], y2[kVectors], prev[kVectors], cRe[kVectors], cIm[kVectors];
    __m256i steps[kVectors];
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v) {
        x[v] = _mm256_loadu_pd(re + v * kLanes);
        y[v] = _mm256_loadu_pd(im + v * kLanes);
        cRe[v] = Julia ? _mm256_set1_pd(juliaRe) : x[v];
        cIm[v] = Julia ? _mm256_set1_pd(juliaIm) : y[v];
        x2[v] = _mm256_mul_pd(x[v], x[v]);
        y2[v] = _mm256_mul_pd(y[v], y[v]);
        prev[v] = _mm256_setzero_pd();
        steps[v] = _mm256_setzero_si256();
    }
    for (int done = 0; done < kMaxSteps; done += kCheckEvery) {
#pragma GCC unroll 8
        for (int s = 0; s < kCheckEvery; ++s) {
#pragma GCC unroll 8
            for (int v = 0; v < kVectors; ++v) {
                const __m256d m = _mm256_add_pd(x2[v], y2[v]);
                const __m256d live = _mm256_cmp_pd(m, four, _CMP_LE_OQ);
                prev[v] = _mm256_blendv_pd(prev[v], m, live);
                const __m256d yy = _mm256_add_pd(_mm256_mul_pd(y[v], _mm256_add_pd(x[v], x[v])), cIm[v]);
                const __m256d xx = _mm256_add_pd(_mm256_sub_pd(x2[v], y2[v]), cRe[v]);
                y[v] = _mm256_blendv_pd(y[v], yy, live);
                x[v] = _mm256_blendv_pd(x[v], xx, live);
                steps[v] = _mm256_sub_epi64(steps[v], _mm256_castpd_si256(live));
                x2[v] = _mm256_mul_pd(x[v], x[v]);
                y2[v] = _mm256_mul_pd(y[v], y[v]);
            }
        }
        __m256d anyLive = _mm256_setzero_pd();
#pragma GCC unroll 8
        for (int v = 0; v < kVectors; ++v) {
            anyLive = _mm256_or_pd(anyLive, _mm256_cmp_pd(_mm256_add_pd(x2[v], y2[v]), four, _CMP_LE_OQ));
        }
        if (_mm256_movemask_pd(anyLive) == 0) {
            break;
        }
    }
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v) {
        alignas(32) int64_t count[kLanes];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(count), steps[v]);
        for (int l = 0; l < kLanes; ++l) {
            stepsOut[v * kLanes + l] = static_cast<int32_t>(count[l]);
        }
        _mm256_storeu_pd(prevOut + v * kLanes, prev[v]);
        _mm256_storeu_pd(lastOut + v * kLanes, _mm256_add_pd(x2[v], y2[v]));
    }
}

}  // namespace

ORBIVANE_AVX2 void escapeBatchAvx2(const EscapeBatch& batch) {
    escapeInGroups<kGroup>(batch, escapeGroup<false>, escapeGroup<true>);
}

#endif
