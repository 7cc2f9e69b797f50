// The escape loop for instruction sets without masked stores (SSE2, AVX2), written once on the
// compiler's vector types; each including file compiles it for its own target.
#pragma once

#include <cstdint>
#include <cstring>

// Runs one full group of Vectors vectors of VD's lanes. Each lane does what escapeLoop does: at the
// start of every step it tests |z|^2 <= 4 (false for a NaN), and its results are those of the first
// test that fails. The lanes keep iterating after that (towards infinity and NaN, harmlessly), so that
// the arithmetic never waits for a comparison; a mask remembers which lanes are still alive:
// - every tested |z|^2 of a live lane is kept in one of two registers by the parity of its step
//   count, so that between them they hold the last two;
// - the mask is all ones (-1) for a live lane, so subtracting it after the test counts the step.
// At the end the parity of the count says which register holds which of the two.
// AnyLane tells whether a mask has a lane set.
template <typename VD, int Vectors, int MaxSteps, int CheckEvery, bool Julia, typename AnyLane>
static inline __attribute__((always_inline)) void escapeGroupLanes(const double* re, const double* im,
                                                                   double juliaRe, double juliaIm,
                                                                   int32_t* stepsOut, double* prevOut,
                                                                   double* lastOut, AnyLane anyLane) {
    typedef decltype(VD{} <= VD{}) VL;  // mask of a VD comparison: -1 or 0 per lane
    constexpr int kLanes = sizeof(VD) / sizeof(double);
    static_assert(CheckEvery % 2 == 0, "the parity of a step's count must follow from its place");
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
    for (int done = 0; done < MaxSteps; done += CheckEvery) {
#pragma GCC unroll 8
        for (int s = 0; s < CheckEvery; ++s) {
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
