#include "tools/qla/job_runner.h"

#include "tools/qla/interrupt.h"

#include <atomic>
#include <thread>
#include <vector>

namespace qlatool {

void RunJobs(size_t count, unsigned threads, const std::function<void(size_t)>& job) {
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (;;) {
      if (Interrupted()) return;
      size_t index = next.fetch_add(1);
      if (index >= count) return;
      job(index);
    }
  };
  if (threads < 1) threads = 1;
  if (threads > count) threads = static_cast<unsigned>(count);
  if (threads <= 1) {
    worker();
    return;
  }
  std::vector<std::thread> pool;
  for (unsigned i = 0; i < threads; ++i) pool.emplace_back(worker);
  for (std::thread& t : pool) t.join();
}

}  // namespace qlatool
