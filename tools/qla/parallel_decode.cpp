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
  for (auto& file : files_) workers_.emplace_back(&ParallelDecoder::Work, this, file.get());
  return cv::kS_OK;
}

void ParallelDecoder::Work(QlaFile* file) {
  for (;;) {
    uint64_t index = 0;
    Run* run = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // A run's slot is free once the caller is done with the run before it in that slot.
      changed_.wait(lock, [&] { return stopping_ || taken_ >= runs_ || taken_ < released_ + slots_.size(); });
      if (stopping_ || taken_ >= runs_) return;
      index = taken_++;
      run = &slots_[index % slots_.size()];
    }
    const uint64_t first = index * kRunFrames;
    const uint64_t left = totalFrames_ - first;
    const uint32_t wanted = left < kRunFrames ? static_cast<uint32_t>(left) : kRunFrames;
    uint32_t got = 0;
    HRESULT hr = file->Read(first, run->bytes.data(), wanted, &got);
    // The stream ended before its announced length.
    if (cv::Succeeded(hr) && got != wanted) hr = cv::CVERR_FILE_READ;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      run->frames = got;
      run->result = hr;
      run->done = true;
    }
    changed_.notify_all();
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
  changed_.wait(lock, [&] { return run.done; });
  ++returned_;
  if (cv::Failed(run.result)) return run.result;
  *data = run.bytes.data();
  *frames = run.frames;
  return cv::kS_OK;
}

}  // namespace qlatool
