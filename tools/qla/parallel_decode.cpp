#include "tools/qla/parallel_decode.h"

#include "ffplugs/cvla/qla_format.h"
#include "krn/results.h"

namespace qlatool {
namespace {

// Frames of one run: four seek groups (200 KB of CD audio).
constexpr uint32_t kRunFrames = 4 * qla::kFramesPerSeekGroup;

}  // namespace

ParallelDecoder::~ParallelDecoder() { Stop(); }

void ParallelDecoder::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : workers_) t.join();
  workers_.clear();
}

HRESULT ParallelDecoder::Start(const std::string& path, unsigned threads) {
  if (threads < 1) threads = 1;
  for (unsigned i = 0; i < threads; ++i) {
    auto file = std::make_unique<QlaFile>();
    const HRESULT hr = file->Open(path);
    if (cv::Failed(hr)) return hr;
    files_.push_back(std::move(file));
  }
  totalFrames_ = files_[0]->Frames();
  blockAlign_ = files_[0]->Format().nBlockAlign;
  runs_ = (totalFrames_ + kRunFrames - 1) / kRunFrames;
  slots_ = std::vector<Run>(2 * threads);
  for (Run& run : slots_) run.bytes.resize(static_cast<size_t>(kRunFrames) * blockAlign_);
  // The first file is the caller's: it decodes runs itself while it waits.
  for (size_t i = 1; i < files_.size(); ++i) workers_.emplace_back(&ParallelDecoder::Work, this, files_[i].get());
  return cv::kS_OK;
}

// A run's slot is free once the caller is done with the run before it in that slot.
bool ParallelDecoder::CanTake() const { return taken_ < runs_ && taken_ < released_ + slots_.size(); }

void ParallelDecoder::Decode(QlaFile* file, std::unique_lock<std::mutex>& lock) {
  const uint64_t index = taken_++;
  Run* run = &slots_[index % slots_.size()];
  lock.unlock();
  const uint64_t first = index * kRunFrames;
  const uint64_t left = totalFrames_ - first;
  const uint32_t wanted = left < kRunFrames ? static_cast<uint32_t>(left) : kRunFrames;
  uint32_t got = 0;
  HRESULT hr = file->Read(first, run->bytes.data(), wanted, &got);
  // The stream ended before its announced length.
  if (cv::Succeeded(hr) && got != wanted) hr = cv::CVERR_FILE_READ;
  lock.lock();
  run->frames = got;
  run->result = hr;
  run->done = true;
  changed_.notify_all();
}

void ParallelDecoder::Work(QlaFile* file) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || taken_ >= runs_ || CanTake(); });
    if (stopping_ || taken_ >= runs_) return;
    Decode(file, lock);
  }
}

HRESULT ParallelDecoder::Next(const uint8_t** data, uint32_t* frames) {
  *data = nullptr;
  *frames = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  if (released_ < returned_) {  // the caller is done with the run it had
    slots_[released_ % slots_.size()].done = false;
    ++released_;
    changed_.notify_all();
  }
  if (returned_ >= runs_) return cv::kS_FALSE;
  Run& run = slots_[returned_ % slots_.size()];
  // Rather than wait, the caller decodes the next run nobody has started.
  while (!run.done) {
    if (CanTake())
      Decode(files_[0].get(), lock);
    else
      changed_.wait(lock);
  }
  ++returned_;
  if (cv::Failed(run.result)) return run.result;
  *data = run.bytes.data();
  *frames = run.frames;
  return cv::kS_OK;
}

}  // namespace qlatool
