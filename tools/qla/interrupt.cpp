#include "tools/qla/interrupt.h"

#include "krn/platform/tool_io.h"

#include <atomic>
#include <csignal>

namespace qlatool {
namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnStopSignal(int signal) {
  int none = 0;
  g_signal.compare_exchange_strong(none, signal);
  // A closed pipe is reported on every write: it must not end the process.
  if (!cvplat::IsBrokenPipeSignal(signal)) cvplat::RestoreSignal(signal);
}

}  // namespace

void InstallInterruptHandler() { cvplat::InstallStopSignals(OnStopSignal); }
bool Interrupted() { return g_signal.load(std::memory_order_relaxed) != 0; }
void RequestInterrupt() {
  int none = 0;
  g_signal.compare_exchange_strong(none, SIGINT);
}
int InterruptExitCode() { return 128 + g_signal.load(); }

std::string InterruptReason() {
  const int signal = g_signal.load();
  if (cvplat::IsBrokenPipeSignal(signal)) return "standard output was closed by its reader";
  return std::string("interrupted by ") + cvplat::SignalName(signal);
}

}  // namespace qlatool
