#include "krn/md5.h"

#include "krn/md5_steps.h"

#include <cstring>
#include <utility>

namespace cv {
namespace {

template <size_t... kSteps>
CVPLAT_BUILT_INTO_CALLER void AllSteps(uint32_t (&abcd)[4], const Md5Words& m, std::index_sequence<kSteps...>) {
  (Md5Step<kSteps>(abcd, m), ...);
}

}  // namespace

Md5::Md5() : state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u} {}

void Md5::Block(const uint8_t* block) {
  Md5BlockRun run{state_, block, 1};
  Md5RunBlock next(run);
  AllSteps(next.abcd, next.m, std::make_index_sequence<64>{});
  next.Done(run);
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
