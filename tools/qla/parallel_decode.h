// Decodes one .qla file on several threads, the caller's among them. Every
// thread opens the file as a host would and reads runs of whole seek groups
// through its own stream (each run starts at a sync block, so runs decode
// independently); the runs come back in file order, and a caller waiting for
// the next one decodes a later run meanwhile. Memory: two runs per thread.
#pragma once

#include "tools/qla/qla_file.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qlatool {

class ParallelDecoder {
 public:
  ParallelDecoder() = default;
  ~ParallelDecoder();
  ParallelDecoder(const ParallelDecoder&) = delete;
  ParallelDecoder& operator=(const ParallelDecoder&) = delete;

  // Opens the file once per thread and starts threads - 1 workers.
  [[nodiscard]] HRESULT Start(const std::string& path, unsigned threads);

  // The next run of frames in file order, valid until the next call:
  // S_OK with *frames > 0, S_FALSE after the last run, or a read's failure.
  [[nodiscard]] HRESULT Next(const uint8_t** data, uint32_t* frames);

 private:
  struct Run {
    std::vector<uint8_t> bytes;
    uint32_t frames = 0;
    HRESULT result = 0;
    bool done = false;
  };
  // Whether a run can start: one is left and its slot is free (under mutex_).
  bool CanTake() const;
  // Decodes the next run with file; called and returns with lock held.
  void Decode(QlaFile* file, std::unique_lock<std::mutex>& lock);
  void Work(QlaFile* file);
  void Stop();

  std::vector<std::unique_ptr<QlaFile>> files_;
  std::vector<std::thread> workers_;
  std::vector<Run> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t totalFrames_ = 0;
  uint32_t blockAlign_ = 0;
  uint64_t runs_ = 0;
  uint64_t taken_ = 0;     // runs a worker has started
  uint64_t returned_ = 0;  // runs handed to the caller
  uint64_t released_ = 0;  // runs the caller is done with
  bool stopping_ = false;
};

}  // namespace qlatool
