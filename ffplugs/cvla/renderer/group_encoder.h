// Encodes a render's audio one seek group (25 blocks) at a time on several
// threads. A group starts with a sync block and the prediction history is a
// function of the block before it, so groups can be encoded independently. The
// few header fields that a silent channel takes over from earlier blocks (see
// EncoderCarry) are left open by the worker and filled in when the groups are
// taken in file order, which gives the same bytes as encoding block by block.
#pragma once

#include "ffplugs/cvla/codec/block_encoder.h"
#include "krn/platform/win_types.h"

#include <condition_variable>
#include <cstdint>
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

// A ring of group slots shared by the caller, which reads the groups in, takes
// them back in the order it gave them and encodes queued groups while it waits
// for the oldest, and threads - 1 workers.
// Memory: 2 x threads slots of one group of input and output each.
class ParallelGroupEncoder {
 public:
  ParallelGroupEncoder() = default;
  ~ParallelGroupEncoder();
  ParallelGroupEncoder(const ParallelGroupEncoder&) = delete;
  ParallelGroupEncoder& operator=(const ParallelGroupEncoder&) = delete;

  // Starts threads - 1 workers; every thread has its own encoder for this format.
  [[nodiscard]] HRESULT Start(unsigned threads, const WAVEFORMATEX& format, bool lpcStage);

  bool HasFreeSlot() const;
  // Room for the next group's input (kFramesPerSeekGroup frames); call only
  // when HasFreeSlot().
  uint8_t* InputSpace();
  // Hands the next group, of frameCount frames in InputSpace(), to the workers.
  void Submit(uint32_t frameCount);
  // The oldest group handed in, once encoded; null when none is pending.
  EncodedGroup* WaitOldest();
  // Frees the oldest group's slot.
  void Retire();

 private:
  struct Slot {
    std::vector<uint8_t> input;  // the block before the group, then the group
    uint32_t frameCount = 0;
    bool hasPrevious = false;
    enum State { kFree, kQueued, kEncoding, kDone } state = kFree;
    EncodedGroup output;
  };
  // Encodes the next queued group with encoder; called and returns with lock held.
  void Encode(BlockEncoder& encoder, std::unique_lock<std::mutex>& lock);
  void Work(BlockEncoder* encoder);
  void Stop();

  uint32_t blockAlign_ = 0;
  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<BlockEncoder>> encoders_;
  std::vector<std::thread> workers_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t submitted_ = 0;  // groups handed in
  uint64_t taken_ = 0;      // groups a worker has started
  uint64_t retired_ = 0;    // groups given back
  bool previousFull_ = false;
  bool stopping_ = false;
};

}  // namespace qla
