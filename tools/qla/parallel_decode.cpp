#include "tools/qla/parallel_decode.h"

#include "ffplugs/cvla/qla_format.h"
#include "krn/results.h"
#include "tools/qla/interrupt.h"

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

HRESULT ParallelDecoder::Start(const std::string& path, unsigned threads, cv::Md5* md5) {
  if (threads < 1) threads = 1;
  for (unsigned i = 0; i < threads; ++i) {
    auto file = std::make_unique<QlaFile>();
    const HRESULT hr = file->Open(path);
    if (cv::Failed(hr)) return hr;
    files_.push_back(std::move(file));
  }
  md5_ = md5;
  totalFrames_ = files_[0]->Frames();
  blockAlign_ = files_[0]->Format().nBlockAlign;
  runs_ = (totalFrames_ + kRunFrames - 1) / kRunFrames;
  slots_ = std::vector<Run>(2 * threads);
  for (Run& run : slots_) run.bytes.resize(static_cast<size_t>(kRunFrames) * blockAlign_);
  // The first file is the caller's.
  for (size_t i = 1; i < files_.size(); ++i) workers_.emplace_back(&ParallelDecoder::Work, this, files_[i].get());
  return cv::kS_OK;
}

uint64_t ParallelDecoder::NextRunForWorkers() {
  uint64_t end = released_ + slots_.size();
  if (end > runs_) end = runs_;
  for (uint64_t index = returned_ + (md5_ ? 2 : 0); index < end; ++index)
    if (!RunAt(index).started) return index;
  return runs_;
}

void ParallelDecoder::Decode(QlaFile* file, uint64_t index, cv::Md5* md5, std::unique_lock<std::mutex>& lock) {
  Run* run = &RunAt(index);
  run->started = true;
  ++started_;
  lock.unlock();
  const uint64_t first = index * kRunFrames;
  const uint64_t left = totalFrames_ - first;
  const uint32_t wanted = left < kRunFrames ? static_cast<uint32_t>(left) : kRunFrames;
  uint32_t got = 0;
  HRESULT hr;
  bool hashed = false;
  {
    const DeliveredDigest digest(*file, md5);
    hashed = md5 && digest.Attached();
    hr = file->Read(first, run->bytes.data(), wanted, &got);
  }
  // The stream ended before its announced length.
  if (cv::Succeeded(hr) && got != wanted) hr = cv::CVERR_FILE_READ;
  lock.lock();
  run->frames = got;
  run->result = hr;
  run->hashed = hashed;
  run->done = true;
  changed_.notify_all();
}

void ParallelDecoder::Work(QlaFile* file) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stopping_ || started_ >= runs_) return;
    const uint64_t index = NextRunForWorkers();
    if (index < runs_)
      Decode(file, index, nullptr, lock);
    else
      changed_.wait(lock);
  }
}

HRESULT ParallelDecoder::Next(const uint8_t** data, uint32_t* frames) {
  *data = nullptr;
  *frames = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  if (released_ < returned_) {  // the caller is done with the run it had
    RunAt(released_) = Run{std::move(RunAt(released_).bytes)};
    ++released_;
    changed_.notify_all();
  }
  if (returned_ >= runs_) return cv::kS_FALSE;
  Run& run = RunAt(returned_);
  // Every run before this one is in the digest: the caller decodes it with
  // the hashing in the gaps, unless a worker got to it first.
  if (!run.started) Decode(files_[0].get(), returned_, md5_, lock);
  // Without a digest the caller is one more worker while it waits.
  while (!run.done) {
    const uint64_t other = md5_ ? runs_ : NextRunForWorkers();
    if (other < runs_)
      Decode(files_[0].get(), other, nullptr, lock);
    else
      changed_.wait(lock);
  }
  ++returned_;
  if (cv::Failed(run.result)) return run.result;
  lock.unlock();
  // A worker's run is hashed on its own; its slot stays the caller's until the next call.
  if (md5_ && !run.hashed) md5_->Update(run.bytes.data(), static_cast<size_t>(run.frames) * blockAlign_);
  *data = run.bytes.data();
  *frames = run.frames;
  return cv::kS_OK;
}

HRESULT DecodeRunsInOrder(const std::string& path, unsigned threads, cv::Md5* md5,
                          const std::function<HRESULT(uint64_t, const uint8_t*, uint32_t)>& use) {
  ParallelDecoder decoder;
  HRESULT hr = decoder.Start(path, threads, md5);
  if (cv::Failed(hr)) return hr;
  for (uint64_t position = 0;;) {
    if (Interrupted()) return cv::CVERR_CANCELLED;
    const uint8_t* run = nullptr;
    uint32_t frames = 0;
    hr = decoder.Next(&run, &frames);
    if (hr != cv::kS_OK) return cv::Failed(hr) ? hr : cv::kS_OK;
    hr = use(position, run, frames);
    if (cv::Failed(hr)) return hr;
    position += frames;
  }
}

}  // namespace qlatool
