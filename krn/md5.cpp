#include "krn/md5.h"

#include <cstring>

namespace cv {
namespace {

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

uint32_t RotateLeft(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

// The mixing function of round r (0..3), in forms where b, the word computed
// last, passes through as few operations as possible: the processor works on
// c and d meanwhile.
template <int kRound>
inline uint32_t Mix(uint32_t b, uint32_t c, uint32_t d) {
  if (kRound == 0) return d ^ (b & (c ^ d));   // (b & c) | (~b & d)
  if (kRound == 1) return (b & d) + (c & ~d);  // (d & b) | (~d & c): the two parts share no bit
  if (kRound == 2) return b ^ (c ^ d);
  return c ^ (b | ~d);
}

// Index of the message word that step i (0..63) takes.
constexpr uint32_t WordIndex(uint32_t i) {
  return i < 16 ? i : i < 32 ? (5 * i + 1) % 16 : i < 48 ? (3 * i + 5) % 16 : (7 * i) % 16;
}

// The 16 steps of one round, unrolled so that the four state words are renamed
// rather than moved and every table entry becomes a constant.
template <int kRound>
inline void Round(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* m) {
#pragma GCC unroll 16
  for (uint32_t j = 0; j < 16; ++j) {
    const uint32_t i = 16 * kRound + j;
    // The constant and the message word are added to a while b is still being computed.
    const uint32_t early = a + kSine[i] + m[WordIndex(i)];
    const uint32_t rotated = RotateLeft(early + Mix<kRound>(b, c, d), kShift[i]);
    a = d;
    d = c;
    c = b;
    b += rotated;
  }
}

}  // namespace

Md5::Md5() : state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u} {}

void Md5::Block(const uint8_t* block) {
  // The message words are little-endian: on such a machine they are copied as they are.
  uint32_t m[16];
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(m, block, sizeof m);
#else
  for (int i = 0; i < 16; ++i)
    m[i] = static_cast<uint32_t>(block[4 * i]) | (static_cast<uint32_t>(block[4 * i + 1]) << 8) |
           (static_cast<uint32_t>(block[4 * i + 2]) << 16) | (static_cast<uint32_t>(block[4 * i + 3]) << 24);
#endif
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  Round<0>(a, b, c, d, m);
  Round<1>(a, b, c, d, m);
  Round<2>(a, b, c, d, m);
  Round<3>(a, b, c, d, m);
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(const void* bytes, size_t count) {
  if (count == 0) return;
  const uint8_t* in = static_cast<const uint8_t*>(bytes);
  length_ += count;
  if (pendingBytes_) {
    const size_t take = count < 64 - pendingBytes_ ? count : 64 - pendingBytes_;
    std::memcpy(pending_ + pendingBytes_, in, take);
    pendingBytes_ += take;
    in += take;
    count -= take;
    if (pendingBytes_ < 64) return;
    Block(pending_);
    pendingBytes_ = 0;
  }
  for (; count >= 64; in += 64, count -= 64) Block(in);
  std::memcpy(pending_, in, count);
  pendingBytes_ = count;
}

Md5::Digest Md5::Finish() {
  const uint64_t bits = length_ * 8;
  const uint8_t one = 0x80;
  Update(&one, 1);
  const uint8_t zero = 0;
  while (pendingBytes_ != 56) Update(&zero, 1);
  uint8_t tail[8];
  for (int i = 0; i < 8; ++i) tail[i] = static_cast<uint8_t>(bits >> (8 * i));
  Update(tail, 8);
  Digest digest;
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<uint8_t>(state_[i / 4] >> (8 * (i % 4)));
  return digest;
}

std::string Md5::ToHex(const Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

}  // namespace cv
