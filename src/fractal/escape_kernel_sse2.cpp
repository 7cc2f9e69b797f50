// The escape loop on SSE2: 2 points per vector, several vectors in flight, finished lanes masked out.
#include "fractal/escape_kernel_impl.h"
#include "fractal/escape_kernel_lanes.h"

#ifdef ORBIVANE_X86_KERNELS

#include <immintrin.h>

#include <cstring>

// SSE2 is part of x86-64: no target attribute needed.
#define ORBIVANE_SSE2

namespace {

constexpr int kLanes = 2;                  // doubles per vector
constexpr int kVectors = 4;                // vectors in flight: the fastest here, though a few values spill
constexpr int kGroup = kLanes * kVectors;  // points per group
constexpr int kMaxSteps = 256;             // the escape loop's iteration limit
constexpr int kCheckEvery = 4;             // steps between tests for a finished group; divides kMaxSteps

typedef double VD __attribute__((vector_size(16)));

// Whether a comparison mask has a lane set.
struct AnyLane {
    ORBIVANE_SSE2 bool operator()(decltype(VD{} <= VD{}) mask) const {
        __m128i bits;
        std::memcpy(&bits, &mask, sizeof bits);
        return _mm_movemask_pd(_mm_castsi128_pd(bits)) != 0;
    }
};

// One full group of kGroup points.
template <bool Julia>
ORBIVANE_SSE2 void escapeGroup(const double* re, const double* im, double juliaRe, double juliaIm,
                               int32_t* stepsOut, double* prevOut, double* lastOut) {
    escapeGroupLanes<VD, kVectors, kMaxSteps, kCheckEvery, Julia>(re, im, juliaRe, juliaIm, stepsOut, prevOut,
                                                                  lastOut, AnyLane());
}

}  // namespace

ORBIVANE_SSE2 void escapeBatchSse2(const EscapeBatch& batch) {
    escapeInGroups<kGroup>(batch, escapeGroup<false>, escapeGroup<true>);
}

#endif
