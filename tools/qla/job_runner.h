// Runs one job per input file on a fixed number of threads. Jobs are taken in
// input order; after an interrupt no new job starts.
#pragma once

#include <cstddef>
#include <functional>

namespace qlatool {

void RunJobs(size_t count, unsigned threads, const std::function<void(size_t)>& job);

}  // namespace qlatool
