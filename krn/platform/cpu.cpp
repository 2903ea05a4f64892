#include "krn/platform/cpu.h"

#include <atomic>

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

namespace {

std::atomic<bool> extensionsAllowed{true};

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
bool HasBitInstructions() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(0x80000001u, &a, &b, &c, &d) || !(c & (1u << 5))) return false;  // LZCNT
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __cpuid_count(7, 0, a, b, c, d);
  return (b & (1u << 8)) != 0;  // BMI2
}
// The compiler's check includes the system's support for the wider registers.
bool HasAvx2() { return __builtin_cpu_supports("avx2"); }
#else
bool HasBitInstructions() { return false; }
bool HasAvx2() { return false; }
#endif

}  // namespace

bool UseBitInstructions() {
  static const bool has = HasBitInstructions();
  return has && extensionsAllowed.load(std::memory_order_relaxed);
}

bool UseAvx2() {
  static const bool has = HasAvx2();
  return has && extensionsAllowed.load(std::memory_order_relaxed);
}

void AllowProcessorExtensions(bool allow) { extensionsAllowed.store(allow); }

}  // namespace cvplat
