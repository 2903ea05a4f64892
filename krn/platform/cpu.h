// What the processor is: its type as GetSystemInfo reports it, and whether it
// has the extensions that the codec's faster builds of its loops use.
#pragma once

#include "krn/platform/win_types.h"

namespace cvplat {

// The processor type as GetSystemInfo reports it (386, 486, 586, 8664, ...).
DWORD ProcessorType();

// Functions marked CVPLAT_TARGET_BIT_INSTRUCTIONS may use a leading-zero count
// and register shifts of one instruction each (x86 LZCNT and BMI2), functions
// marked CVPLAT_TARGET_AVX2 the 256-bit integer vectors of AVX2, functions
// marked CVPLAT_TARGET_AVX2_AND_BITS both. Call them only when
// UseBitInstructions() or UseAvx2() (or both) say so. They are builds of the same
// source as their plain twins and compute the same results. Elsewhere the marks
// are empty and the answers false.
// A body shared by both builds is marked CVPLAT_BUILT_INTO_CALLER, so that
// each build compiles it for its own processor rather than calling one copy.
// CVPLAT_X86_VECTORS is 1 where the marks are real, so that such functions may
// use the processor's own vector operations (<immintrin.h>) as well.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define CVPLAT_X86_VECTORS 1
#define CVPLAT_TARGET_BIT_INSTRUCTIONS __attribute__((target("lzcnt,bmi2")))
#define CVPLAT_TARGET_AVX2 __attribute__((target("avx2")))
#define CVPLAT_TARGET_AVX2_AND_BITS __attribute__((target("avx2,lzcnt,bmi2")))
#define CVPLAT_BUILT_INTO_CALLER inline __attribute__((always_inline))
#else
#define CVPLAT_X86_VECTORS 0
#define CVPLAT_TARGET_BIT_INSTRUCTIONS
#define CVPLAT_TARGET_AVX2
#define CVPLAT_TARGET_AVX2_AND_BITS
#define CVPLAT_BUILT_INTO_CALLER inline
#endif
bool UseBitInstructions();
bool UseAvx2();
// Allowed by default; tests turn the extensions off to check the plain builds
// on processors that have them.
void AllowProcessorExtensions(bool allow);

}  // namespace cvplat
