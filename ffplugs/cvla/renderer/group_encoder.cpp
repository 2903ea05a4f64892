#include "ffplugs/cvla/renderer/group_encoder.h"

#include "krn/results.h"

#include <cstring>

namespace qla {

void EncodeGroup(BlockEncoder& encoder, const uint8_t* previousBlock, const uint8_t* frames, uint32_t frameCount,
                 uint32_t blockAlign, EncodedGroup* out) {
  out->bytes.clear();
  out->blockEnds.clear();
  out->openFields.clear();
  for (bool& d : out->defined) d = false;
  out->result = cv::kS_OK;
  encoder.PrimeHistory(previousBlock ? static_cast<int32_t>(kFramesPerBlock) : 0, previousBlock);

  const uint32_t channels = static_cast<uint32_t>(encoder.Channels());
  const bool lpc = encoder.LpcStage();
  bool* const defined = out->defined;
  for (uint32_t first = 0; first < frameCount; first += kFramesPerBlock) {
    const uint32_t n = frameCount - first < kFramesPerBlock ? frameCount - first : kFramesPerBlock;
    const HRESULT hr = encoder.EncodeBlock(static_cast<int32_t>(n), frames + static_cast<size_t>(first) * blockAlign);
    if (cv::Failed(hr)) {
      out->result = hr;
      return;
    }
    const bool sync = first == 0;
    const size_t start = out->bytes.size();
    out->bytes.resize(start + kMaxBlockHeaderBytes);
    const uint32_t headerBytes = encoder.FormatBlockHeader(sync, false, out->bytes.data() + start);
    out->bytes.resize(start + headerBytes);
    out->bytes.insert(out->bytes.end(), encoder.Payload(), encoder.Payload() + encoder.PayloadSize());

    // Header fields after the sync part: frameCount, payloadSize, the Rice
    // parameters, the orders, the LPC bytes.
    const uint32_t riceAt = static_cast<uint32_t>(start) + (sync ? 4 + 16 * channels : 0) + 4;
    const uint32_t coefAt = riceAt + 2 * channels;
    const BlockHeaderImage& header = encoder.Header();
    bool coded[kMaxChannels] = {false, false};
    for (uint32_t c = 0; c < channels; ++c) coded[c] = header.fixedOrder[c] != kSilentOrder;
    // A silent channel states what earlier blocks left: unknown to this worker
    // until the group itself has set it.
    if (!coded[0] && !defined[EncodedGroup::kRice0]) out->openFields.push_back({riceAt, EncodedGroup::kRice0});
    if (channels == 2 && !coded[1] && !defined[EncodedGroup::kRice1])
      out->openFields.push_back({riceAt + 1, EncodedGroup::kRice1});
    if (lpc) {
      for (uint32_t c = 0; c < channels; ++c) {
        const auto field = static_cast<EncodedGroup::Field>(EncodedGroup::kCoef0 + c);
        if (!coded[c] && !defined[field]) out->openFields.push_back({coefAt + kLpcOrder * c, field});
      }
    }
    if (coded[0] || coded[1]) defined[EncodedGroup::kRice0] = true;
    if (coded[1]) defined[EncodedGroup::kRice1] = true;
    for (uint32_t c = 0; c < channels; ++c)
      if (coded[c]) defined[EncodedGroup::kCoef0 + c] = true;
    out->blockEnds.push_back(static_cast<uint32_t>(out->bytes.size()));
  }
  out->exit = encoder.Carry();
}

void EncodedGroup::Resolve(EncoderCarry* carry) {
  for (const OpenField& open : openFields) {
    uint8_t* p = bytes.data() + open.offset;
    switch (open.field) {
      case kRice0: *p = static_cast<uint8_t>(carry->k); break;
      case kRice1: *p = carry->riceParam1; break;
      case kCoef0: std::memcpy(p, carry->lpcCoef[0], kLpcOrder); break;
      case kCoef1: std::memcpy(p, carry->lpcCoef[1], kLpcOrder); break;
      default: break;
    }
  }
  if (defined[kRice0]) carry->k = exit.k;
  if (defined[kRice1]) carry->riceParam1 = exit.riceParam1;
  for (uint32_t c = 0; c < kMaxChannels; ++c)
    if (defined[kCoef0 + c]) std::memcpy(carry->lpcCoef[c], exit.lpcCoef[c], kLpcOrder);
}

ParallelGroupEncoder::~ParallelGroupEncoder() { Stop(); }

HRESULT ParallelGroupEncoder::Start(unsigned threads, const WAVEFORMATEX& format, bool lpcStage, SlotReader reader,
                                    SlotHasher hasher, SlotWriter writer) {
  if (threads < 1) threads = 1;
  blockAlign_ = format.nBlockAlign;
  reader_ = std::move(reader);
  hasher_ = std::move(hasher);
  writer_ = std::move(writer);
  slots_ = std::vector<Slot>(2 * threads);
  for (Slot& slot : slots_) slot.input.resize(static_cast<size_t>(kFramesPerBlock + kFramesPerSlot) * blockAlign_);
  for (unsigned i = 0; i < threads; ++i) {
    auto encoder = std::make_unique<BlockEncoder>();
    const HRESULT hr = encoder->Create(format, lpcStage);
    if (cv::Failed(hr)) return hr;
    encoders_.push_back(std::move(encoder));
  }
  // The first encoder is the caller's.
  for (size_t i = 1; i < encoders_.size(); ++i)
    workers_.emplace_back(&ParallelGroupEncoder::Work, this, encoders_[i].get());
  return cv::kS_OK;
}

void ParallelGroupEncoder::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : workers_) t.join();
  workers_.clear();
}

bool ParallelGroupEncoder::CanRead() const {
  const uint64_t hashed = hasher_ ? hashed_ : read_;
  const uint64_t freed = written_ < hashed ? written_ : hashed;
  return !reading_ && !inputEnded_ && writeResult_ == cv::kS_OK && read_ - freed < slots_.size();
}

void ParallelGroupEncoder::Read(std::unique_lock<std::mutex>& lock) {
  Slot& slot = SlotAt(read_);
  // The block before a slot is the last one of the slot before, whose place in
  // the ring is not reused before this one is read.
  const Slot* previous = read_ > 0 && SlotAt(read_ - 1).frameCount == kFramesPerSlot ? &SlotAt(read_ - 1) : nullptr;
  reading_ = true;
  lock.unlock();
  const size_t blockBytes = static_cast<size_t>(kFramesPerBlock) * blockAlign_;
  uint32_t frames = 0;
  const HRESULT hr = reader_(slot.input.data() + blockBytes, &frames);
  if (previous)
    std::memcpy(slot.input.data(), previous->input.data() + previous->input.size() - blockBytes, blockBytes);
  lock.lock();
  reading_ = false;
  if (hr != cv::kS_OK) inputEnded_ = true;
  if (frames > 0) {
    slot.frameCount = frames;
    slot.hasPrevious = previous != nullptr;
    slot.state = Slot::kQueued;
    ++read_;
  }
  changed_.notify_all();
}

bool ParallelGroupEncoder::OldestWritable() const {
  return !writing_ && written_ < read_ && slots_[written_ % slots_.size()].state == Slot::kDone;
}

void ParallelGroupEncoder::WriteReady(std::unique_lock<std::mutex>& lock) {
  while (OldestWritable()) {
    Slot& slot = SlotAt(written_);
    HRESULT hr = writeResult_;
    if (hr == cv::kS_OK) {  // after the end, encoded slots are only passed over
      writing_ = true;
      lock.unlock();
      const uint32_t groups = (slot.frameCount + kFramesPerSeekGroup - 1) / kFramesPerSeekGroup;
      hr = writer_(slot.outputs, groups, slot.frameCount);
      lock.lock();
      writing_ = false;
    }
    writeResult_ = hr;
    slot.state = Slot::kFree;
    ++written_;
    changed_.notify_all();
  }
}

void ParallelGroupEncoder::Encode(BlockEncoder& encoder, std::unique_lock<std::mutex>& lock) {
  Slot& slot = SlotAt(taken_);
  ++taken_;
  slot.state = Slot::kEncoding;
  const bool ended = writeResult_ != cv::kS_OK;
  lock.unlock();
  if (!ended) {  // after the end nothing more is written
    const size_t blockBytes = static_cast<size_t>(kFramesPerBlock) * blockAlign_;
    const uint8_t* previous = slot.hasPrevious ? slot.input.data() : nullptr;
    const uint8_t* frames = slot.input.data() + blockBytes;
    for (uint32_t first = 0, g = 0; first < slot.frameCount; first += kFramesPerSeekGroup, ++g) {
      const uint32_t left = slot.frameCount - first;
      EncodeGroup(encoder, previous, frames, left < kFramesPerSeekGroup ? left : kFramesPerSeekGroup, blockAlign_,
                  &slot.outputs[g]);
      // Every group but the last is full: the next one's block before is its last.
      frames += static_cast<size_t>(kFramesPerSeekGroup) * blockAlign_;
      previous = frames - blockBytes;
    }
  }
  lock.lock();
  slot.state = Slot::kDone;
  changed_.notify_all();
  WriteReady(lock);
}

bool ParallelGroupEncoder::DoTask(BlockEncoder& encoder, bool caller, std::unique_lock<std::mutex>& lock) {
  if (CanRead()) {
    Read(lock);
    return true;
  }
  if (OldestWritable()) {
    WriteReady(lock);
    return true;
  }
  // The caller leaves one queued slot to the workers, which would otherwise
  // wait while it is away from the chain.
  if (taken_ < read_ && (!caller || workers_.empty() || inputEnded_ || read_ - taken_ >= 2)) {
    Encode(encoder, lock);
    return true;
  }
  return false;
}

bool ParallelGroupEncoder::AllDone() const {
  return (inputEnded_ || writeResult_ != cv::kS_OK) && !reading_ && written_ == read_ &&
         (!hasher_ || hashed_ == read_);
}

HRESULT ParallelGroupEncoder::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (hasher_ && hashed_ < read_) {
      const Slot& slot = SlotAt(hashed_);
      lock.unlock();
      hasher_(slot.input.data() + static_cast<size_t>(kFramesPerBlock) * blockAlign_, slot.frameCount);
      lock.lock();
      ++hashed_;
      changed_.notify_all();
      continue;
    }
    if (AllDone()) return writeResult_;
    if (!DoTask(*encoders_[0], true, lock)) changed_.wait(lock);
  }
}

void ParallelGroupEncoder::Work(BlockEncoder* encoder) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_)
    if (!DoTask(*encoder, false, lock)) changed_.wait(lock);
}

}  // namespace qla
