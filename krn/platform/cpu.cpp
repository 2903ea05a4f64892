#include "krn/platform/cpu.h"

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

}  // namespace cvplat
