// What the processor is: its type as GetSystemInfo reports it, and whether it
// has the bit instructions that the bit readers' faster variants are built for.
#pragma once

#include "krn/platform/win_types.h"

namespace cvplat {

// The processor type as GetSystemInfo reports it (386, 486, 586, 8664, ...).
DWORD ProcessorType();

// Functions marked CVPLAT_TARGET_BIT_INSTRUCTIONS may use a leading-zero count
// and register shifts of one instruction each (x86 LZCNT and BMI2); call them
// only when HasBitInstructions(). They compute the same results as the plain
// build of the same code. Elsewhere the mark is empty and the answer is false.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define CVPLAT_TARGET_BIT_INSTRUCTIONS __attribute__((target("lzcnt,bmi2")))
#else
#define CVPLAT_TARGET_BIT_INSTRUCTIONS
#endif
bool HasBitInstructions();

}  // namespace cvplat
