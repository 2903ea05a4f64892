#include "tools/qla/background_digest.h"

#include <cstring>
#include <utility>

namespace qlatool {

BackgroundDigest::BackgroundDigest() : thread_(&BackgroundDigest::Run, this) {}

BackgroundDigest::~BackgroundDigest() { Stop(); }

void BackgroundDigest::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void BackgroundDigest::Update(const void* bytes, size_t count) {
  if (count == 0) return;
  std::vector<uint8_t> piece;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queue_.size() < kQueued; });
    if (!spare_.empty()) {
      piece = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  piece.resize(count);
  std::memcpy(piece.data(), bytes, count);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(piece));
  }
  changed_.notify_all();
}

cv::Md5::Digest BackgroundDigest::Finish() {
  Stop();
  return md5_.Finish();
}

void BackgroundDigest::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return finishing_ || !queue_.empty(); });
    if (queue_.empty()) return;  // finishing, with everything hashed
    std::vector<uint8_t> piece = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    md5_.Update(piece.data(), piece.size());
    lock.lock();
    spare_.push_back(std::move(piece));
    changed_.notify_all();
  }
}

}  // namespace qlatool
