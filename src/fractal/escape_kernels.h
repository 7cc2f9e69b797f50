// Escape loops for many points at once: the scalar reference and SSE2/AVX2/AVX-512 versions, picked
// at run time by what the processor supports. Every version gives each point exactly the result of
// escapeLoop: the same step count and the same last two values of |z|^2, hence the same colour.
#pragma once

#include <cstdint>

// Which escape loop runs a batch. Automatic picks the widest one the processor supports.
enum class EscapeKernel : int32_t {
    Automatic = -1,
    Scalar = 0,  // escapeLoop per point: the reference
    Sse2 = 1,    // 2 lanes; every x86-64 processor has it (in WebAssembly: SIMD128, where built with it)
    Avx2 = 2,    // 4 lanes
    Avx512 = 3,  // 8 lanes (AVX-512F)
};
constexpr int32_t kEscapeKernelCount = 4;  // Scalar..Avx512

// A batch of points in structure-of-arrays form. The orbit of point k starts at z0 = (re[k], im[k]);
// its constant is z0 itself (Mandelbrot) or (juliaRe, juliaIm) when julia is set.
struct EscapeBatch {
    const double* re = nullptr;  // count starting real parts
    const double* im = nullptr;  // count starting imaginary parts
    bool julia = false;          // true: constant (juliaRe, juliaIm) for every point
    double juliaRe = 0.0;        // Julia constant, real part
    double juliaIm = 0.0;        // Julia constant, imaginary part
    int32_t count = 0;           // number of points
    int32_t* steps = nullptr;    // out: count step counts, 0..256 (256 = never escaped)
    double* prev = nullptr;      // out: count values of |z|^2 before the last step (0 when none)
    double* last = nullptr;      // out: count values of |z|^2 after the last step
};

// True when this processor (and its operating system) can run the kernel. Scalar and Sse2 always can.
bool escapeKernelSupported(EscapeKernel kernel);
// Automatic -> the widest supported kernel; a supported kernel -> itself; an unsupported one -> the
// widest supported kernel below it.
EscapeKernel resolveEscapeKernel(EscapeKernel requested);
// "scalar", "sse2", "avx2", "avx512" or "automatic".
const char* escapeKernelName(EscapeKernel kernel);

// Runs the escape loop for every point of the batch on the resolved kernel.
void runEscapeBatch(EscapeKernel kernel, const EscapeBatch& batch);

// While one lives, every floating-point exception is masked in this thread (x86-64; elsewhere it
// does nothing), so that vector code whose spare lanes divide by zero or turn NaNs into integers
// cannot trap should a host or a driver have unmasked exceptions. When it goes, the thread's
// control and status word (masks, rounding and the flags the caller sees) is as it was.
class FloatingPointExceptionsMasked {
public:
    FloatingPointExceptionsMasked();
    ~FloatingPointExceptionsMasked();
    FloatingPointExceptionsMasked(const FloatingPointExceptionsMasked&) = delete;
    FloatingPointExceptionsMasked& operator=(const FloatingPointExceptionsMasked&) = delete;

private:
    unsigned int saved_ = 0;  // the control and status word on entry
};
