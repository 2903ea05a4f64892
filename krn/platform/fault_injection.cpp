#include "krn/platform/fault_injection.h"

#include <atomic>

namespace cvplat {

namespace {
constexpr int kPoints = static_cast<int>(FaultPoint::kCount);
std::atomic<int> g_countdown[kPoints];
std::atomic<bool> g_fired[kPoints];
// Lets the common case (nothing armed) cost one relaxed load.
std::atomic<int> g_armed{0};
}  // namespace

void FailNth(FaultPoint point, int n) {
  const int i = static_cast<int>(point);
  g_fired[i].store(false);
  const int old = g_countdown[i].exchange(n > 0 ? n : 0);
  g_armed.fetch_add((n > 0 ? 1 : 0) - (old > 0 ? 1 : 0));
}

void ClearFaults() {
  for (int i = 0; i < kPoints; ++i) FailNth(static_cast<FaultPoint>(i), 0);
}

bool FaultFired(FaultPoint point) { return g_fired[static_cast<int>(point)].load(); }

bool FaultDue(FaultPoint point) {
  if (g_armed.load(std::memory_order_relaxed) == 0) return false;
  const int i = static_cast<int>(point);
  int n = g_countdown[i].load();
  while (n > 0) {
    if (g_countdown[i].compare_exchange_weak(n, n - 1)) {
      if (n != 1) return false;
      g_armed.fetch_sub(1);
      g_fired[i].store(true);
      return true;
    }
  }
  return false;
}

}  // namespace cvplat
