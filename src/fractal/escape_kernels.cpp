// Run-time choice of the escape loop, and the scalar reference batch.
#include "fractal/escape_kernels.h"

#include "fractal/escape_colour.h"
#include "fractal/escape_kernel_impl.h"

#ifdef ORBIVANE_X86_KERNELS
#include <xmmintrin.h>
#endif

namespace {

void escapeBatchScalar(const EscapeBatch& b) {
    for (int32_t k = 0; k < b.count; ++k) {
        const double cRe = b.julia ? b.juliaRe : b.re[k];
        const double cIm = b.julia ? b.juliaIm : b.im[k];
        const EscapeResult e = escapeLoop(b.re[k], b.im[k], cRe, cIm);
        b.steps[k] = e.steps;
        b.prev[k] = e.prev;
        b.last[k] = e.last;
    }
}

}  // namespace

bool escapeKernelSupported(EscapeKernel kernel) {
    switch (kernel) {
    case EscapeKernel::Scalar:
        return true;
#if defined(__wasm_simd128__)
    case EscapeKernel::Sse2:
        return true;  // the module only loads where the engine has SIMD128
#endif
#ifdef ORBIVANE_X86_KERNELS
    case EscapeKernel::Sse2:
        return true;  // part of x86-64 itself
    case EscapeKernel::Avx2:
        // The compiler's run-time check also asks the OS (XGETBV) whether it saves the wider registers.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    case EscapeKernel::Avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0;
#endif
    default:
        return false;
    }
}

EscapeKernel resolveEscapeKernel(EscapeKernel requested) {
    int32_t k = requested == EscapeKernel::Automatic ? kEscapeKernelCount - 1 : static_cast<int32_t>(requested);
    if (k >= kEscapeKernelCount) {
        k = kEscapeKernelCount - 1;
    }
    for (; k > 0; --k) {
        if (escapeKernelSupported(static_cast<EscapeKernel>(k))) {
            break;
        }
    }
    return k > 0 ? static_cast<EscapeKernel>(k) : EscapeKernel::Scalar;
}

const char* escapeKernelName(EscapeKernel kernel) {
    switch (kernel) {
    case EscapeKernel::Scalar:
        return "scalar";
    case EscapeKernel::Sse2:
#ifdef __wasm_simd128__
        return "simd128";
#else
        return "sse2";
#endif
    case EscapeKernel::Avx2:
        return "avx2";
    case EscapeKernel::Avx512:
        return "avx512";
    default:
        return "automatic";
    }
}

#ifdef ORBIVANE_X86_KERNELS
namespace {

// Runs a vectorised kernel with every floating-point exception masked. Their lanes go on iterating
// after escaping, into overflow and invalid operations, which must not trap should a host or a
// driver have unmasked exceptions in this thread. Rounding and the flags seen by the caller stay as
// they were.
void runMasked(void (*run)(const EscapeBatch&), const EscapeBatch& batch) {
    const unsigned int saved = _mm_getcsr();
    _mm_setcsr(saved | 0x1F80u);  // the six exception mask bits
    run(batch);
    _mm_setcsr(saved);
}

}  // namespace
#endif

void runEscapeBatch(EscapeKernel kernel, const EscapeBatch& batch) {
    if (batch.count <= 0) {
        return;
    }
    switch (resolveEscapeKernel(kernel)) {
#if defined(__wasm_simd128__)
    case EscapeKernel::Sse2:
        escapeBatchSse2(batch);  // WebAssembly has no floating-point traps to mask
        return;
#endif
#ifdef ORBIVANE_X86_KERNELS
    case EscapeKernel::Sse2:
        runMasked(escapeBatchSse2, batch);
        return;
    case EscapeKernel::Avx2:
        runMasked(escapeBatchAvx2, batch);
        return;
    case EscapeKernel::Avx512:
        runMasked(escapeBatchAvx512, batch);
        return;
#endif
    default:
        escapeBatchScalar(batch);
        return;
    }
}

#ifdef ORBIVANE_X86_KERNELS
FloatingPointExceptionsMasked::FloatingPointExceptionsMasked() : saved_(_mm_getcsr()) {
    _mm_setcsr(saved_ | 0x1F80u);  // the six exception mask bits
}
FloatingPointExceptionsMasked::~FloatingPointExceptionsMasked() { _mm_setcsr(saved_); }
#else
FloatingPointExceptionsMasked::FloatingPointExceptionsMasked() = default;
FloatingPointExceptionsMasked::~FloatingPointExceptionsMasked() = default;
#endif
