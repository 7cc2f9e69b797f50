// The per-instruction-set escape loops behind runEscapeBatch; only escape_kernels.cpp calls them.
#pragma once

#include "fractal/escape_kernels.h"

#if defined(__x86_64__) || defined(_M_X64)
#define ORBIVANE_X86_KERNELS 1
void escapeBatchSse2(const EscapeBatch& batch);
void escapeBatchAvx2(const EscapeBatch& batch);    // needs AVX2 (and the OS saving YMM state)
void escapeBatchAvx512(const EscapeBatch& batch);  // needs AVX-512F (and the OS saving ZMM state)
#endif
