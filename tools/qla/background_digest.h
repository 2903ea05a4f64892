// The MD5 digest of a byte stream, computed on a thread of its own, so that
// the thread that produces the bytes only copies them. Memory: a queue of at
// most kQueued pieces.
#pragma once

#include "krn/md5.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace qlatool {

class BackgroundDigest {
 public:
  BackgroundDigest();
  ~BackgroundDigest();
  BackgroundDigest(const BackgroundDigest&) = delete;
  BackgroundDigest& operator=(const BackgroundDigest&) = delete;

  // Queues a copy of the bytes, waiting while the queue is full.
  void Update(const void* bytes, size_t count);
  // The digest of everything queued, once it is hashed; Update must not follow.
  cv::Md5::Digest Finish();

 private:
  static constexpr size_t kQueued = 8;

  void Run();
  void Stop();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<uint8_t>> queue_;
  std::vector<std::vector<uint8_t>> spare_;  // hashed pieces, for reuse
  bool finishing_ = false;
  cv::Md5 md5_;
  std::thread thread_;
};

}  // namespace qlatool
