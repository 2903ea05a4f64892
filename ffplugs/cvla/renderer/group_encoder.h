// Encodes a render's audio in seek groups (25 blocks) on several threads. A
// group starts with a sync block and the prediction history is a
// function of the block before it, so groups can be encoded independently. The
// few header fields that a silent channel takes over from earlier blocks (see
// EncoderCarry) are left open by the worker and filled in when the groups are
// taken in file order, which gives the same bytes as encoding block by block.
#pragma once

#include "ffplugs/cvla/codec/block_encoder.h"
#include "krn/platform/win_types.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qla {

// One seek group's blocks, back to back, as a worker encoded them.
struct EncodedGroup {
  enum Field : uint8_t { kRice0, kRice1, kCoef0, kCoef1, kFieldCount };
  struct OpenField {
    uint32_t offset;  // into bytes
    Field field;
  };
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> blockEnds;  // end offset of each block in bytes
  std::vector<OpenField> openFields;
  EncoderCarry exit{};
  bool defined[kFieldCount] = {};  // fields of exit that the group itself set
  HRESULT result = 0;

  // Fills the open fields from the state left by the group before and moves
  // that state on past this group.
  void Resolve(EncoderCarry* carry);
};

// Encodes `frames` frames (at most one seek group) of interleaved PCM with
// `encoder`, whose history is first primed from `previousBlock` (a full block,
// or null at the start of the audio).
void EncodeGroup(BlockEncoder& encoder, const uint8_t* previousBlock, const uint8_t* frames, uint32_t frameCount,
                 uint32_t blockAlign, EncodedGroup* out);

// Seek groups handed over at once: encoding one group takes about as long as
// waking a thread, so a slot holds several.
constexpr uint32_t kGroupsPerSlot = 8;
constexpr uint32_t kFramesPerSlot = kGroupsPerSlot * kFramesPerSeekGroup;

// A ring of slots of consecutive seek groups, filled by the caller, encoded by
// threads - 1 workers and by the caller while it cannot read on, and written in
// file order by whichever thread finds the oldest slot encoded. The reading
// thread thus only reads when the workers keep up.
// Memory: 2 x threads slots of kFramesPerSlot frames of input and output each.
class ParallelGroupEncoder {
 public:
  // Takes a slot's groups in file order (count groups of frames frames in all):
  // S_OK to go on, S_FALSE to end the render early (the file is full), or a
  // failure, which ends it too. Called on any of the threads, one call at a time.
  using SlotWriter = std::function<HRESULT(EncodedGroup* groups, uint32_t count, uint32_t frames)>;

  ParallelGroupEncoder() = default;
  ~ParallelGroupEncoder();
  ParallelGroupEncoder(const ParallelGroupEncoder&) = delete;
  ParallelGroupEncoder& operator=(const ParallelGroupEncoder&) = delete;

  // Starts threads - 1 workers; every thread has its own encoder for this format.
  [[nodiscard]] HRESULT Start(unsigned threads, const WAVEFORMATEX& format, bool lpcStage, SlotWriter writer);

  // True once the writer ended the render: nothing more is worth reading.
  bool Ended() const;
  bool HasFreeSlot() const;
  // Room for the next slot's input (kFramesPerSlot frames); call only when
  // HasFreeSlot().
  uint8_t* InputSpace();
  // Hands the next frameCount frames in InputSpace() to the workers: full seek
  // groups, the last one of the audio excepted.
  void Submit(uint32_t frameCount);
  // For a caller without a free slot: writes what is ready, encodes a queued
  // slot while another one stays queued for the workers, or waits for a change.
  void Help();
  // Encodes and writes everything handed in (or until the writer ended the
  // render) and returns the writer's last answer: S_OK, S_FALSE or a failure.
  [[nodiscard]] HRESULT Finish();

 private:
  struct Slot {
    std::vector<uint8_t> input;  // the block before the first group, then the groups
    uint32_t frameCount = 0;
    bool hasPrevious = false;
    enum State { kFree, kQueued, kEncoding, kDone } state = kFree;
    EncodedGroup outputs[kGroupsPerSlot];
  };
  bool FreeSlot() const { return submitted_ - written_ < slots_.size(); }
  bool OldestWritable() const;
  // Writes the encoded slots at the head of the ring unless another thread is
  // writing; called and returns with lock held.
  void WriteReady(std::unique_lock<std::mutex>& lock);
  // Encodes the next queued slot with encoder, then writes what is ready;
  // called and returns with lock held.
  void Encode(BlockEncoder& encoder, std::unique_lock<std::mutex>& lock);
  void Work(BlockEncoder* encoder);
  void Stop();

  uint32_t blockAlign_ = 0;
  SlotWriter writer_;
  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<BlockEncoder>> encoders_;
  std::vector<std::thread> workers_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t submitted_ = 0;  // slots handed in
  uint64_t taken_ = 0;      // slots a thread has started to encode
  uint64_t written_ = 0;    // slots written (or passed over after the end)
  bool writing_ = false;
  HRESULT writeResult_ = 0;  // S_OK until the writer ends the render
  bool previousFull_ = false;
  bool stopping_ = false;
};

}  // namespace qla
