#include "ffplugs/cvla/codec/block_encoder.h"

#include <cstring>

#include "ffplugs/cvla/codec/exact_math.h"
#include "krn/platform/cpu.h"
#include "krn/results.h"

namespace qla {
namespace {

constexpr WORD kWaveFormatPcm = 1;
constexpr WORD kWaveFormatSignedPcm = 0xFE01;
constexpr WORD kWaveFormatExtensible = 0xFFFE;

// 16-bit integer PCM; every other accepted format is packed 24-bit.
bool IsSixteenBitPcm(const WAVEFORMATEX& format) {
  const WORD tag = format.wFormatTag;
  return format.wBitsPerSample == 16 &&
         (tag == kWaveFormatPcm || tag == kWaveFormatSignedPcm || tag == kWaveFormatExtensible);
}

inline int32_t Load16(const uint8_t* p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))); }

inline int32_t Load24(const uint8_t* p) {
  const uint32_t low = static_cast<uint32_t>(p[0] | (p[1] << 8));
  const int32_t high = static_cast<int8_t>(p[2]);
  return static_cast<int32_t>(low + static_cast<uint32_t>(high) * 65536u);
}

// (L + R) / 2 with halves rounded away from zero, without branches: an odd sum
// is moved one step away from zero, which makes it even, and then halved.
inline int32_t Mid(int32_t left, int32_t right) {
  const int32_t s = left + right;  // |s| < 2^25 for 24-bit samples
  const int32_t away = -(s & 1) & ((s >> 31) | 1);  // 0, or +1 / -1 for an odd sum
  return (s + away) >> 1;
}

// Splits n stereo frames into mid and side; returns the OR of all values of
// each channel, which is 0 only for a silent channel.
template <bool kSixteenBit>
CVPLAT_BUILT_INTO_CALLER void SplitStereo(int32_t n, const uint8_t* frames, int32_t* mid, int32_t* side,
                                          uint32_t* any) {
  constexpr int kFrameBytes = kSixteenBit ? 4 : 6;
  uint32_t any0 = 0, any1 = 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* f = frames + i * kFrameBytes;
    // A 24-bit frame is read as two overlapping 32-bit words within its six
    // bytes: the low three bytes of the first and the high three of the second.
    const int32_t left = kSixteenBit ? Load16(f) : static_cast<int32_t>(LoadU32(f) << 8) >> 8;
    const int32_t right = kSixteenBit ? Load16(f + 2) : static_cast<int32_t>(LoadU32(f + 2)) >> 8;
    mid[i] = Mid(left, right);
    side[i] = left - right;
    any0 |= static_cast<uint32_t>(mid[i]);
    any1 |= static_cast<uint32_t>(side[i]);
  }
  any[0] = any0;
  any[1] = any1;
}

typedef uint8_t ByteLanes __attribute__((vector_size(32)));
typedef int32_t IntLanes __attribute__((vector_size(32)));

// Four packed 24-bit stereo frames (24 bytes; 32 are read) as left, right,
// left, right, ...: each sample's three bytes go to the top of a lane, which
// an arithmetic shift then brings down with its sign. The lanes' low bytes
// take any byte, as the shift drops them.
CVPLAT_BUILT_INTO_CALLER void FourFrames24(const uint8_t* f, IntLanes& samples) {
  ByteLanes bytes;
  std::memcpy(&bytes, f, sizeof bytes);
  const ByteLanes placed = __builtin_shufflevector(bytes, bytes, 0, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0,
                                                   12, 13, 14, 0, 15, 16, 17, 0, 18, 19, 20, 0, 21, 22, 23);
  std::memcpy(&samples, &placed, sizeof samples);
  samples >>= 8;
}

// 24-bit stereo on AVX2, eight frames at a time while 32 bytes can be read
// (the frames after them exist), the rest as above: the same values.
CVPLAT_TARGET_AVX2 void SplitStereo24Avx2(int32_t n, const uint8_t* frames, int32_t* mid, int32_t* side,
                                          uint32_t* any) {
  IntLanes any0 = {}, any1 = {};
  int32_t i = 0;
  for (; i + 10 <= n; i += 8) {
    IntLanes first, second;
    FourFrames24(frames + 6 * i, first);
    FourFrames24(frames + 6 * i + 24, second);
    const IntLanes left = __builtin_shufflevector(first, second, 0, 2, 4, 6, 8, 10, 12, 14);
    const IntLanes right = __builtin_shufflevector(first, second, 1, 3, 5, 7, 9, 11, 13, 15);
    const IntLanes sum = left + right;
    const IntLanes away = -(sum & 1) & ((sum >> 31) | 1);
    const IntLanes m = (sum + away) >> 1, d = left - right;
    std::memcpy(mid + i, &m, sizeof m);
    std::memcpy(side + i, &d, sizeof d);
    any0 |= m;
    any1 |= d;
  }
  uint32_t rest[2];
  SplitStereo<false>(n - i, frames + 6 * i, mid + i, side + i, rest);
  for (int lane = 0; lane < 8; ++lane) {
    rest[0] |= static_cast<uint32_t>(any0[lane]);
    rest[1] |= static_cast<uint32_t>(any1[lane]);
  }
  any[0] = rest[0];
  any[1] = rest[1];
}

// Built for any processor and for AVX2 (eight frames per vector instruction;
// the same values), chosen per call.
template <bool kSixteenBit>
void SplitStereoPlain(int32_t n, const uint8_t* frames, int32_t* mid, int32_t* side, uint32_t* any) {
  SplitStereo<kSixteenBit>(n, frames, mid, side, any);
}
template <bool kSixteenBit>
CVPLAT_TARGET_AVX2 void SplitStereoAvx2(int32_t n, const uint8_t* frames, int32_t* mid, int32_t* side,
                                        uint32_t* any) {
  if (!kSixteenBit) return SplitStereo24Avx2(n, frames, mid, side, any);
  SplitStereo<kSixteenBit>(n, frames, mid, side, any);
}
template <bool kSixteenBit>
void SplitStereoFor(int32_t n, const uint8_t* frames, int32_t* mid, int32_t* side, uint32_t* any) {
  if (cvplat::UseAvx2()) return SplitStereoAvx2<kSixteenBit>(n, frames, mid, side, any);
  SplitStereoPlain<kSixteenBit>(n, frames, mid, side, any);
}

}  // namespace

HRESULT BlockEncoder::Create(const WAVEFORMATEX& format, bool lpcStage) {
  Release();
  const bool sixteenBit = IsSixteenBitPcm(format);
  if (format.nChannels < 1 || format.nChannels > kMaxChannels) return cv::CVERR_UNSUPPORTED_FORMAT;
  if (!sixteenBit && format.wBitsPerSample != 24) return cv::CVERR_UNSUPPORTED_FORMAT;

  channelSpace_ = cvplat::GlobalBlock(kMaxChannels * kFramesPerBlock * sizeof(int32_t));
  if (!channelSpace_ || !writer_.Create() || !analyzer_.Create(lpcStage)) {
    Release();
    return cv::kE_OUTOFMEMORY;
  }
  samples_[0] = channelSpace_.As<int32_t>();
  samples_[1] = samples_[0] + kFramesPerBlock;
  format_ = format;
  channels_ = format.nChannels;
  sixteenBit_ = sixteenBit;
  lpcStage_ = lpcStage;
  k_ = 0;
  codedSize_ = 0;
  header_ = BlockHeaderImage{};
  created_ = true;
  return cv::kS_OK;
}

void BlockEncoder::Release() {
  writer_.Release();
  analyzer_.Release();
  channelSpace_ = cvplat::GlobalBlock();
  samples_[0] = samples_[1] = nullptr;
  created_ = false;
}

HRESULT BlockEncoder::EncodeBlock(int32_t n, const void* frames, cv::Md5BlockRun* digest) {
  if (!created_) return cv::kE_UNEXPECTED;
  if (n < 1 || n > static_cast<int32_t>(kFramesPerBlock) || !frames) return cv::kE_INVALIDARG;
  n_ = n;
  digest_ = digest;
  writer_.Reset();
  codedSize_ = 0;
  for (int c = 0; c < 2; ++c) coded_[c] = verbatim_[c] = false;
  overflowAfterChannel0_ = false;

  TakeHistorySnapshot();
  bool nonzero[kMaxChannels] = {};
  UnpackFrames(n, static_cast<const uint8_t*>(frames), nonzero);

  if (nonzero[0]) {
    CodeChannel(0);
  } else {
    SilenceChannel(0);
  }
  overflowAfterChannel0_ = writer_.Overflow();
  // A silent channel 0 keeps the last k computed; a decoder ignores it.
  header_.riceParam[0] = static_cast<uint8_t>(k_);
  header_.syncMarker = kSyncMarker;
  header_.frameCount = static_cast<int16_t>(n);

  if (channels_ == 2) {
    if (nonzero[1]) {
      CodeChannel(1);
      header_.riceParam[1] = static_cast<uint8_t>(k_);
    } else {
      SilenceChannel(1);  // riceParam of channel 1 stays as in its last coded block
    }
  }

  KeepPayloadDecodable();
  header_.payloadSize = static_cast<uint16_t>(writer_.BytePos() + 1);
  writer_.FlushPartialByte();
  for (int c = 0; c < channels_; ++c) std::memcpy(header_.lpcCoef[c], analyzer_.CoefficientBytes(c), kLpcOrder);
  digest_ = nullptr;
  return cv::kS_OK;
}

// The last four values of each channel before this block, from the running
// differences: x[-1] = H0, x[-2] = H0 - H1, x[-3] = H0 - 2 H1 + H2, ...
void BlockEncoder::TakeHistorySnapshot() {
  for (int c = 0; c < channels_; ++c) {
    const uint32_t* h = analyzer_.History(c);
    PredictorHistory& out = header_.history[c];
    out.x1 = static_cast<int32_t>(h[0]);
    out.x2 = static_cast<int32_t>(h[0] - h[1]);
    out.x3 = static_cast<int32_t>(h[0] - 2u * h[1] + h[2]);
    out.x4 = static_cast<int32_t>(h[0] - 3u * h[1] + 3u * h[2] - h[3]);
  }
}

void BlockEncoder::UnpackFrames(int32_t n, const uint8_t* frames, bool* nonzero) {
  int32_t* const ch0 = samples_[0];
  uint32_t any[2] = {0, 0};
  if (channels_ == 1) {
    const int bytesPerSample = sixteenBit_ ? 2 : 3;
    for (int32_t i = 0; i < n; ++i, frames += bytesPerSample) {
      ch0[i] = sixteenBit_ ? Load16(frames) : Load24(frames);
      any[0] |= static_cast<uint32_t>(ch0[i]);
    }
  } else if (sixteenBit_) {
    SplitStereoFor<true>(n, frames, ch0, samples_[1], any);
  } else {
    SplitStereoFor<false>(n, frames, ch0, samples_[1], any);
  }
  nonzero[0] = any[0] != 0;
  nonzero[1] = any[1] != 0;
}

void BlockEncoder::SilenceChannel(int channel) {
  analyzer_.ResetHistory(channel);
  header_.fixedOrder[channel] = kSilentOrder;
}

void BlockEncoder::CodeChannel(int channel) {
  const int32_t n = n_;
  channelStart_[channel] = writer_.Position();
  const int32_t sizeBefore = codedSize_;

  const int32_t* residual = analyzer_.SelectPredictor(channel, samples_[channel], n, digest_);
  const int32_t bits = BitsForMagnitude(analyzer_.MaxAbs());
  const int32_t rawEstimate = (bits * n) / 8;
  k_ = RiceParameterForCost(analyzer_.Cost(), n);
  coded_[channel] = true;
  bits_[channel] = bits;
  header_.fixedOrder[channel] = static_cast<uint8_t>(analyzer_.Order());

  codedSize_ = writer_.WriteRiceRun(residual, k_, n, digest_);
  const int32_t channelSize = codedSize_ - sizeBefore;
  const bool oversized = static_cast<double>(channelSize) > 1.15 * static_cast<double>(rawEstimate);
  if ((oversized || writer_.Overflow()) && codedSize_ > 10 && n > 5 && bits > 1) CodeVerbatim(channel);
}

// Codes the channel's own values (not the residual) with k = bits - 1 in place
// of what was written for it. The history depends only on the values and stays.
void BlockEncoder::CodeVerbatim(int channel) {
  writer_.ClearOverflow();
  if (channel == 0) {
    writer_.Reset();
  } else {
    writer_.Restore(channelStart_[1]);
  }
  k_ = bits_[channel] - 1;
  verbatim_[channel] = true;
  header_.fixedOrder[channel] = 0;
  analyzer_.ClearCoefficientBytes(channel);
  codedSize_ = writer_.WriteRiceRun(samples_[channel], k_, n_);
  if (channel == 1) header_.riceParam[1] = static_cast<uint8_t>(k_);
}

bool BlockEncoder::PayloadFits() const {
  return !writer_.Overflow() && writer_.BytePos() + 1 < payloadLimit_;
}

// A decoder refuses payloads of 64000 bytes or more, and a writer that
// overflowed holds no usable payload: such a block is re-coded with its coded
// channels in verbatim form, which needs at most a few bytes per sample.
// Channel 1 alone is re-coded first when channel 0's bits are sound.
void BlockEncoder::KeepPayloadDecodable() {
  if (PayloadFits()) return;
  if (channels_ == 2 && coded_[1] && !verbatim_[1] && !overflowAfterChannel0_) {
    CodeVerbatim(1);
    if (PayloadFits()) return;
  }
  writer_.ClearOverflow();
  writer_.Reset();
  codedSize_ = 0;
  for (int c = 0; c < channels_; ++c) {
    if (!coded_[c]) continue;
    if (c == 1) channelStart_[1] = writer_.Position();
    CodeVerbatim(c);
    if (c == 0) header_.riceParam[0] = static_cast<uint8_t>(k_);
  }
}

void BlockEncoder::PrimeHistory(int32_t n, const void* frames) {
  if (n < 1 || !frames) {
    for (int c = 0; c < channels_; ++c) analyzer_.ResetHistory(c);
    return;
  }
  if (n > static_cast<int32_t>(kFramesPerBlock)) n = static_cast<int32_t>(kFramesPerBlock);
  bool nonzero[kMaxChannels] = {};
  UnpackFrames(n, static_cast<const uint8_t*>(frames), nonzero);
  for (int c = 0; c < channels_; ++c) {
    if (nonzero[c])
      analyzer_.RunHistory(c, samples_[c], n);
    else
      analyzer_.ResetHistory(c);
  }
}

EncoderCarry BlockEncoder::Carry() const {
  EncoderCarry carry{};
  carry.k = k_;
  carry.riceParam1 = header_.riceParam[1];
  for (int c = 0; c < channels_; ++c) std::memcpy(carry.lpcCoef[c], analyzer_.CoefficientBytes(c), kLpcOrder);
  return carry;
}

uint32_t BlockEncoder::FormatBlockHeader(bool syncBlock, bool negateCount, uint8_t* out) const {
  const uint32_t channels = static_cast<uint32_t>(channels_);
  uint8_t* p = out;
  if (syncBlock) {
    StoreU32(p, header_.syncMarker);
    p += 4;
    for (uint32_t c = 0; c < channels; ++c, p += 16) {
      const PredictorHistory& h = header_.history[c];
      StoreU32(p, static_cast<uint32_t>(h.x1));
      StoreU32(p + 4, static_cast<uint32_t>(h.x2));
      StoreU32(p + 8, static_cast<uint32_t>(h.x3));
      StoreU32(p + 12, static_cast<uint32_t>(h.x4));
    }
  }
  const int32_t count = negateCount ? -header_.frameCount : header_.frameCount;
  StoreU16(p, static_cast<uint16_t>(count));
  StoreU16(p + 2, header_.payloadSize);
  p += 4;
  for (uint32_t c = 0; c < channels; ++c) *p++ = header_.riceParam[c];
  for (uint32_t c = 0; c < channels; ++c) *p++ = header_.fixedOrder[c];
  if (lpcStage_) {
    for (uint32_t c = 0; c < channels; ++c, p += kLpcOrder) std::memcpy(p, header_.lpcCoef[c], kLpcOrder);
  }
  return static_cast<uint32_t>(p - out);
}

HRESULT BlockEncoder::WriteBlockHeader(cv::ByteSink& out, bool syncBlock, bool negateCount, uint32_t* headerBytes) {
  const uint32_t channels = static_cast<uint32_t>(channels_);
  if (headerBytes) *headerBytes = BlockHeaderSize(syncBlock, channels, lpcStage_ ? kFlagLpc : 0);
  if (!created_) return cv::kE_UNEXPECTED;

  // The fields go out one write each, in file order, as laid out in memory.
  uint8_t image[kMaxBlockHeaderBytes];
  const uint32_t size = FormatBlockHeader(syncBlock, negateCount, image);
  uint32_t fieldSizes[8];
  uint32_t fields = 0;
  if (syncBlock) {
    fieldSizes[fields++] = 4;
    for (uint32_t c = 0; c < channels; ++c) fieldSizes[fields++] = 16;
  }
  fieldSizes[fields++] = 2;
  fieldSizes[fields++] = 2;
  fieldSizes[fields++] = channels;
  fieldSizes[fields++] = channels;
  bool ok = true;
  uint32_t offset = 0;
  for (uint32_t i = 0; i < fields; ++i) {
    ok &= out.Write(image + offset, fieldSizes[i]);
    offset += fieldSizes[i];
  }
  // The LPC bytes, one write per channel.
  for (; offset < size; offset += kLpcOrder) ok &= out.Write(image + offset, kLpcOrder);
  return ok ? cv::kS_OK : cv::CVERR_FILE_WRITE;
}

}  // namespace qla
