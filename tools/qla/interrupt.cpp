#include "tools/qla/interrupt.h"

#include <atomic>
#include <csignal>

namespace qlatool {
namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int) {
  g_interrupted.store(true);
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

void InstallInterruptHandler() { std::signal(SIGINT, OnInterrupt); }
bool Interrupted() { return g_interrupted.load(std::memory_order_relaxed); }
void RequestInterrupt() { g_interrupted.store(true); }

}  // namespace qlatool
