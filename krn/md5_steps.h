// The 64 steps of an MD5 block as inline templates, for loops that hash whole
// blocks between steps of other work: the hash is one long chain of dependent
// operations that keeps few of the processor's units busy, so work that
// depends on neither runs beside it almost for free.
#pragma once

#include "krn/platform/cpu.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace cv {

// Whole 64-byte blocks of a message waiting to be hashed in order, and the
// chaining state they go into. A loop hashes the next block and moves on.
struct Md5BlockRun {
  uint32_t* state;     // four words
  const uint8_t* next;
  size_t blocks;       // left at next
};

namespace md5_detail {

constexpr uint32_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// floor(abs(sin(i + 1)) x 2^32), written out so that no floating point is involved.
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// Index of the message word that step i (0..63) takes.
constexpr uint32_t WordIndex(uint32_t i) {
  return i < 16 ? i : i < 32 ? (5 * i + 1) % 16 : i < 48 ? (3 * i + 5) % 16 : (7 * i) % 16;
}

inline uint32_t RotateLeft(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

}  // namespace md5_detail

// The sixteen message words of a block, read from the block's bytes where a
// step needs them (little-endian, so on such a machine a plain load): no copy
// of the block goes through memory first.
struct Md5Words {
  const uint8_t* bytes;

  CVPLAT_BUILT_INTO_CALLER uint32_t operator[](uint32_t i) const {
    const uint8_t* w = bytes + 4 * i;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t v;
    std::memcpy(&v, w, sizeof v);
    return v;
#else
    return static_cast<uint32_t>(w[0]) | (static_cast<uint32_t>(w[1]) << 8) | (static_cast<uint32_t>(w[2]) << 16) |
           (static_cast<uint32_t>(w[3]) << 24);
#endif
  }
};

// Step kStep (0..63) of a block on the working words abcd, which start as a
// copy of the chaining state. The words are renamed rather than moved: step i
// finds a, b, c and d at positions -i, 1 - i, 2 - i and 3 - i (mod 4) and
// replaces a, so that after every fourth step each is back in its place. The
// mixing functions are written so that b, the word computed last, passes
// through as few operations as possible; the constant, the message word and a
// are added while b is still being computed.
template <uint32_t kStep>
CVPLAT_BUILT_INTO_CALLER void Md5Step(uint32_t (&abcd)[4], const Md5Words& m) {
  using namespace md5_detail;
  uint32_t& a = abcd[(0u - kStep) & 3];
  const uint32_t b = abcd[(1u - kStep) & 3], c = abcd[(2u - kStep) & 3], d = abcd[(3u - kStep) & 3];
  uint32_t early = a + kSine[kStep] + m[WordIndex(kStep)];
  uint32_t mix;
  if (kStep < 16) {
    mix = d ^ (b & (c ^ d));  // (b & c) | (~b & d)
  } else if (kStep < 32) {
    early += c & ~d;  // (d & b) | (~d & c): the two parts share no bit
    mix = b & d;
  } else if (kStep < 48) {
    mix = b ^ (c ^ d);
  } else {
    mix = c ^ (b | ~d);
  }
  a = b + RotateLeft(early + mix, kShift[kStep]);
}

// The working words added into the chaining state after the 64 steps.
inline void Md5AddWords(uint32_t* state, const uint32_t (&abcd)[4]) {
  for (int i = 0; i < 4; ++i) state[i] += abcd[i];
}

// A run's next block while a loop takes its 64 steps (Md5Step on abcd and m,
// in order) among work of its own; Done adds it into the chaining state and
// moves the run on.
struct Md5RunBlock {
  Md5Words m;
  uint32_t abcd[4];

  CVPLAT_BUILT_INTO_CALLER explicit Md5RunBlock(const Md5BlockRun& run)
      : m{run.next}, abcd{run.state[0], run.state[1], run.state[2], run.state[3]} {}
  CVPLAT_BUILT_INTO_CALLER void Done(Md5BlockRun& run) const {
    Md5AddWords(run.state, abcd);
    run.next += 64;
    --run.blocks;
  }
};

}  // namespace cv
