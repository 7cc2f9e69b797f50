// The per-instruction-set escape loops behind runEscapeBatch; only escape_kernels.cpp calls them.
#pragma once

#include <cmath>
#include <cstdint>

#include "fractal/escape_kernels.h"

// One instruction set's loop over a full group of points: escapeLoop's results for each of them.
typedef void (*EscapeGroupFn)(const double* re, const double* im, double juliaRe, double juliaIm, int32_t* steps,
                              double* prev, double* last);

// Runs a batch group by group with the Mandelbrot or the Julia form of one instruction set's loop.
// The last, partial group runs on copies padded with NaNs, which stop at once.
template <int32_t Group>
void escapeInGroups(const EscapeBatch& b, EscapeGroupFn mandelbrot, EscapeGroupFn julia) {
    const EscapeGroupFn group = b.julia ? julia : mandelbrot;
    int32_t k = 0;
    for (; k + Group <= b.count; k += Group) {
        group(b.re + k, b.im + k, b.juliaRe, b.juliaIm, b.steps + k, b.prev + k, b.last + k);
    }
    if (k < b.count) {
        double re[Group], im[Group], prev[Group], last[Group];
        int32_t steps[Group];
        const int32_t n = b.count - k;
        for (int32_t i = 0; i < Group; ++i) {
            re[i] = i < n ? b.re[k + i] : NAN;
            im[i] = i < n ? b.im[k + i] : NAN;
        }
        group(re, im, b.juliaRe, b.juliaIm, steps, prev, last);
        for (int32_t i = 0; i < n; ++i) {
            b.steps[k + i] = steps[i];
            b.prev[k + i] = prev[i];
            b.last[k + i] = last[i];
        }
    }
}

#if defined(__x86_64__) || defined(_M_X64)
#define ORBIVANE_X86_KERNELS 1
#endif
#if defined(ORBIVANE_X86_KERNELS) || defined(__wasm_simd128__)
// The two-lane loop: SSE2 on x86-64, SIMD128 in a WebAssembly module built with it.
#define ORBIVANE_TWO_LANE_KERNEL 1
void escapeBatchSse2(const EscapeBatch& batch);
#endif
#ifdef ORBIVANE_X86_KERNELS
void escapeBatchAvx2(const EscapeBatch& batch);    // needs AVX2 (and the OS saving YMM state)
void escapeBatchAvx512(const EscapeBatch& batch);  // needs AVX-512F (and the OS saving ZMM state)
#endif
