// MD5 message digest, for integrity checks of stored audio: not for security.
#pragma once

#include "krn/md5_steps.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace cv {

class Md5 {
 public:
  using Digest = std::array<uint8_t, 16>;

  Md5();
  void Update(const void* bytes, size_t count);
  // The digest of everything given so far; the object must not be updated after.
  Digest Finish();

  // Whole blocks hashed inside another loop (md5_steps.h), straight from the
  // caller's memory. The bytes before them must have filled the last partial
  // block: BytesToBlockEdge() is how many more Update needs for that. The loop
  // takes blocks from the run; BlocksTaken then counts them in.
  size_t BytesToBlockEdge() const { return pendingBytes_ ? 64 - pendingBytes_ : 0; }
  Md5BlockRun BlockRun(const uint8_t* blocks, size_t count) { return {state_, blocks, count}; }
  void BlocksTaken(size_t count) { length_ += 64 * static_cast<uint64_t>(count); }

  // Hashes the bytes from *next to end that reach the next block edge, then
  // calls loop(Md5BlockRun*) with a run of the whole blocks after them, which
  // the loop takes from between the steps of its own work; *next moves past
  // everything hashed. Returns what loop returns.
  template <typename Loop>
  auto HashAlong(const uint8_t** next, const uint8_t* end, Loop loop) {
    const size_t available = static_cast<size_t>(end - *next);
    const size_t edge = available < BytesToBlockEdge() ? available : BytesToBlockEdge();
    Update(*next, edge);
    *next += edge;
    Md5BlockRun run = BlockRun(*next, static_cast<size_t>(end - *next) / 64);
    const size_t offered = run.blocks;
    auto result = loop(&run);
    BlocksTaken(offered - run.blocks);
    *next = run.next;
    return result;
  }

  // 32 lower-case hexadecimal digits.
  static std::string ToHex(const Digest& digest);

 private:
  void Block(const uint8_t* block);

  uint32_t state_[4];
  uint64_t length_ = 0;
  uint8_t pending_[64];
  size_t pendingBytes_ = 0;
};

}  // namespace cv
