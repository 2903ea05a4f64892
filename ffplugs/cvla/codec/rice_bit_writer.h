// Assembles a block payload of Rice codes, most significant bit first. The
// bytes, the byte position and the overflow flag are exactly those of a writer
// that shifts one bit at a time into an accumulator and stores each completed
// byte (growing the buffer when a byte completes past its end); the work is done
// a 32-bit word at a time.
#pragma once

#include <cstdint>

#include "krn/md5_steps.h"
#include "krn/platform/memory.h"

namespace qla {

// Where the writer stands: enough to discard everything written after it.
struct RiceWriterPosition {
  int32_t bytePos;
  int32_t bitCount;
  uint32_t accumulator;
};

constexpr int32_t kMaxRiceParameter = 31;

class RiceBitWriter {
 public:
  // Allocates the zero-filled buffer of 4000 bytes; false when out of memory.
  [[nodiscard]] bool Create();
  void Release();

  // Starts a new payload; the buffer's contents are left as they are.
  void Reset();

  // Codes count values with parameter k (k < 1 codes as k = 1; no file holds a
  // parameter above 31, and a larger k codes as 31) and returns the number of
  // bytes the payload now touches, bytePos + 1. Values must lie in
  // -2^30 .. 2^30-1; others are mapped on 32 bits. With a digest run, blocks
  // of it may be hashed between the codes, one per 64 values (on processors
  // with AVX2 and the bit instructions, for parameters up to 27).
  int32_t WriteRiceRun(const int32_t* values, int32_t k, int32_t count, cv::Md5BlockRun* digest = nullptr);

  // Stores the pending bits left-aligned in the byte at bytePos (zero when none).
  void FlushPartialByte();

  // Doubles the capacity; -1 (and overflow set) when that would exceed 80000
  // bytes or there is no memory, 0 otherwise.
  int32_t Grow();

  RiceWriterPosition Position() const { return {bytePos_, bitCount_, accumulator_}; }
  void Restore(const RiceWriterPosition& position);

  bool Overflow() const { return overflow_; }
  void ClearOverflow() { overflow_ = false; }

  const uint8_t* Data() const { return buffer_.As<uint8_t>(); }
  int32_t Capacity() const { return capacity_; }
  int32_t BytePos() const { return bytePos_; }
  int32_t BitCount() const { return bitCount_; }
  uint32_t Accumulator() const { return accumulator_; }

 private:
  // largest: the run's largest zigzag-mapped value.
  void EncodeRun(const int32_t* values, int32_t k, int32_t count, uint32_t largest, cv::Md5BlockRun* digest);
  void EncodeUntilFull(const int32_t* values, int32_t k, int32_t count);

  cvplat::GlobalBlock buffer_;
  int32_t capacity_ = 0;
  int32_t bytePos_ = 0;
  int32_t bitCount_ = 0;
  uint32_t accumulator_ = 0;
  bool overflow_ = false;
};

}  // namespace qla
