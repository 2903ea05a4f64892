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

// A ring of slots of consecutive seek groups, read in, encoded and written in
// file order by whichever thread is free for it: threads - 1 workers and the
// caller. The input's digest is one chain through the audio in order, which
// takes longer than any other part of the work; so the caller hashes every
// slot as soon as it is read, and reads, encodes or writes only while the
// chain has nothing to take, leaving the rest to the workers, whose first task
// is reading ahead.
// Memory: 2 x threads slots of kFramesPerSlot frames of input and output each.
class ParallelGroupEncoder {
 public:
  // Reads the next slot's frames (at most kFramesPerSlot, full seek groups but
  // for the last of the audio) into out: S_OK when more may follow, S_FALSE
  // when the audio ended with these *frames (maybe 0). Called on any of the
  // threads, one call at a time, in order.
  using SlotReader = std::function<HRESULT(uint8_t* out, uint32_t* frames)>;
  // Takes a slot's frames as read, in order, on the caller's thread.
  using SlotHasher = std::function<void(const uint8_t* frames, uint32_t frameCount)>;
  // Takes a slot's groups in file order (count groups of frames frames in all):
  // S_OK to go on, S_FALSE to end the render early (the file is full), or a
  // failure, which ends it too. Called on any of the threads, one call at a time.
  using SlotWriter = std::function<HRESULT(EncodedGroup* groups, uint32_t count, uint32_t frames)>;

  ParallelGroupEncoder() = default;
  ~ParallelGroupEncoder();
  ParallelGroupEncoder(const ParallelGroupEncoder&) = delete;
  ParallelGroupEncoder& operator=(const ParallelGroupEncoder&) = delete;

  // Starts threads - 1 workers; every thread has its own encoder for this
  // format. hasher may be empty.
  [[nodiscard]] HRESULT Start(unsigned threads, const WAVEFORMATEX& format, bool lpcStage, SlotReader reader,
                              SlotHasher hasher, SlotWriter writer);

  // Reads, hashes, encodes and writes the whole audio, or until the writer
  // ended the render (every slot read is still hashed); returns the writer's
  // last answer: S_OK, S_FALSE or a failure.
  [[nodiscard]] HRESULT Run();

 private:
  struct Slot {
    std::vector<uint8_t> input;  // the block before the first group, then the groups
    uint32_t frameCount = 0;
    bool hasPrevious = false;
    enum State { kFree, kQueued, kEncoding, kDone } state = kFree;
    EncodedGroup outputs[kGroupsPerSlot];
  };
  Slot& SlotAt(uint64_t index) { return slots_[index % slots_.size()]; }
  // A slot is free again once it is written and hashed.
  bool CanRead() const;
  bool OldestWritable() const;
  // Reads the next slot; called and returns with lock held.
  void Read(std::unique_lock<std::mutex>& lock);
  // Writes the encoded slots at the head of the ring unless another thread is
  // writing; called and returns with lock held.
  void WriteReady(std::unique_lock<std::mutex>& lock);
  // Encodes the next queued slot with encoder, then writes what is ready;
  // called and returns with lock held.
  void Encode(BlockEncoder& encoder, std::unique_lock<std::mutex>& lock);
  // One task for a worker, or for the caller when the chain has nothing to
  // take: false when there is none.
  bool DoTask(BlockEncoder& encoder, bool caller, std::unique_lock<std::mutex>& lock);
  bool AllDone() const;
  void Work(BlockEncoder* encoder);
  void Stop();

  uint32_t blockAlign_ = 0;
  SlotReader reader_;
  SlotHasher hasher_;
  SlotWriter writer_;
  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<BlockEncoder>> encoders_;
  std::vector<std::thread> workers_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t read_ = 0;     // slots read in
  uint64_t hashed_ = 0;   // slots hashed
  uint64_t taken_ = 0;    // slots a thread has started to encode
  uint64_t written_ = 0;  // slots written (or passed over after the end)
  bool reading_ = false;
  bool inputEnded_ = false;
  bool writing_ = false;
  HRESULT writeResult_ = 0;  // S_OK until the writer ends the render
  bool stopping_ = false;
};

}  // namespace qla
