#include "krn/platform/cpu.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#endif

namespace cvplat {

#ifdef _WIN32

DWORD ProcessorType() {
  SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  return info.dwProcessorType;
}

#else

DWORD ProcessorType() {
#if defined(__i386__)
  return 586;
#elif defined(__x86_64__)
  return 8664;
#else
  return 0;
#endif
}

#endif

bool HasBitInstructions() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  static const bool has = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(0x80000001u, &a, &b, &c, &d) || !(c & (1u << 5))) return false;  // LZCNT
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & (1u << 8)) != 0;  // BMI2
  }();
  return has;
#else
  return false;
#endif
}

}  // namespace cvplat
