// Decodes one .qla file on several threads, the caller's among them. Every
// thread opens the file as a host would and reads runs of whole seek groups
// through its own stream (each run starts at a sync block, so runs decode
// independently); the runs come back in file order.
//
// The audio digest is one chain through the file in order, and hashing costs
// about two thirds of decoding on its own, but little when the stream hashes
// between the steps of decoding. So the caller holds the chain: it decodes the
// next run in order itself, hashing along, whenever no worker has started it,
// and hashes on their own only the runs the workers decoded. The workers leave
// the caller's next two runs to it, so the caller decodes whenever it has
// caught up with them (on CD audio about a fifth of the runs on two threads,
// 82 -> 79 ms). Without a digest (a file that stores none, or a comparison
// with the source) every thread takes the first run nobody has started, the
// caller too while it waits for its next one. Memory: two runs per thread.
#pragma once

#include "ffplugs/cvla/qla_format.h"
#include "krn/md5.h"
#include "tools/qla/qla_file.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qlatool {

// Whether a file of `frames` frames is read on `threads` threads: a file of one
// seek group gains nothing from more.
inline bool SplitOverThreads(unsigned threads, uint64_t frames) {
  return threads > 1 && frames > qla::kFramesPerSeekGroup;
}

// Decodes the file at path on `threads` threads (ParallelDecoder) and hands
// every run to use(position, run, frames) in file order, already in md5 when
// one is given. S_OK after the last run, CVERR_CANCELLED when interrupted, or
// the first failure of an open, a read or use.
[[nodiscard]] HRESULT DecodeRunsInOrder(const std::string& path, unsigned threads, cv::Md5* md5,
                                        const std::function<HRESULT(uint64_t, const uint8_t*, uint32_t)>& use);

class ParallelDecoder {
 public:
  ParallelDecoder() = default;
  ~ParallelDecoder();
  ParallelDecoder(const ParallelDecoder&) = delete;
  ParallelDecoder& operator=(const ParallelDecoder&) = delete;

  // Opens the file once per thread and starts threads - 1 workers. Every run
  // goes into md5 in file order, the caller's own while they are decoded; a
  // null md5 hashes nothing.
  [[nodiscard]] HRESULT Start(const std::string& path, unsigned threads, cv::Md5* md5);

  // The next run of frames in file order, valid until the next call and
  // already in md5 (when there is one): S_OK with *frames > 0, S_FALSE after
  // the last run, or a read's failure.
  [[nodiscard]] HRESULT Next(const uint8_t** data, uint32_t* frames);

 private:
  struct Run {
    std::vector<uint8_t> bytes;
    uint32_t frames = 0;
    HRESULT result = 0;
    bool started = false;
    bool done = false;
    bool hashed = false;
  };
  Run& RunAt(uint64_t index) { return slots_[index % slots_.size()]; }
  // The first run of the window (the runs whose slots are free or in use)
  // that nobody has started, or runs_ when there is none (under mutex_). With
  // a digest it leaves out the caller's next two runs: a caller that catches
  // up then decodes its next run itself, hashing along, instead of waiting for
  // a worker that has just begun it. Without one, the caller takes runs from
  // here as well while it waits.
  uint64_t NextRunForWorkers();
  // Decodes run `index` with file, hashing it into md5 when that is given;
  // called and returns with lock held.
  void Decode(QlaFile* file, uint64_t index, cv::Md5* md5, std::unique_lock<std::mutex>& lock);
  void Work(QlaFile* file);
  void Stop();

  std::vector<std::unique_ptr<QlaFile>> files_;
  std::vector<std::thread> workers_;
  std::vector<Run> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  cv::Md5* md5_ = nullptr;
  uint64_t totalFrames_ = 0;
  uint32_t blockAlign_ = 0;
  uint64_t runs_ = 0;
  uint64_t started_ = 0;   // runs a thread has started
  uint64_t returned_ = 0;  // runs handed to the caller
  uint64_t released_ = 0;  // runs the caller is done with
  bool stopping_ = false;
};

}  // namespace qlatool
