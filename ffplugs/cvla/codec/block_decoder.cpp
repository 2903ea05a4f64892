#include "ffplugs/cvla/codec/block_decoder.h"

#include "ffplugs/cvla/codec/sample_reconstruction.h"
#include "krn/results.h"

#include <cstring>

namespace qla {
namespace {

constexpr uint32_t kSyncPartPerChannel = 16;
// The largest header: sync marker, two histories, the fields, LPC bytes, extra word.
constexpr uint32_t kMaxHeaderBytes = 4 + kSyncPartPerChannel * kMaxChannels + 4 + 2 * kMaxChannels +
                                     kLpcOrder * kMaxChannels + 4;

PredictorHistory LoadHistory(const uint8_t* p) {
  return {static_cast<int32_t>(LoadU32(p)), static_cast<int32_t>(LoadU32(p + 4)),
          static_cast<int32_t>(LoadU32(p + 8)), static_cast<int32_t>(LoadU32(p + 12))};
}

}  // namespace

HRESULT BlockDecoder::Initialize(uint32_t channels, uint32_t bitsPerSample, uint32_t codecFlags) {
  if (channels < 1 || channels > kMaxChannels) return cv::CVERR_FILE_READ;
  if (bitsPerSample != 16 && bitsPerSample != 24) return cv::CVERR_FILE_READ;
  if (!bits_.Allocate()) return cv::kE_OUTOFMEMORY;
  channels_ = channels;
  output16_ = bitsPerSample == 16;
  SetCodecFlags(codecFlags);
  header_ = BlockHeader{};
  ResetHistories();
  return cv::kS_OK;
}

HRESULT BlockDecoder::Initialize(const WAVEFORMATEX& pcmFormat, uint32_t codecFlags) {
  const uint32_t channels = pcmFormat.nChannels;
  const uint32_t bits = pcmFormat.wBitsPerSample;
  if (pcmFormat.nBlockAlign != channels * (bits / 8)) return cv::CVERR_FILE_READ;
  return Initialize(channels, bits, codecFlags);
}

void BlockDecoder::ResetHistories() {
  for (PredictorHistory& h : history_) h = PredictorHistory{0, 0, 0, 0};
}

HRESULT BlockDecoder::ReadExact(cv::ByteSource& source, void* buffer, uint32_t count) {
  DWORD got = 0;
  const bool ok = source.Read(buffer, count, &got);
  nextBlockOffset_ += got;
  // A short read is the end of the file inside a block: the block cannot be whole.
  if (!ok || got != count) return cv::CVERR_FILE_READ;
  return cv::kS_OK;
}

HRESULT BlockDecoder::ReadBlockHeader(cv::ByteSource& source) {
  if (channels_ == 0) return cv::CVERR_FILE_READ;
  // A block without the sync part is read in one go; when its first four bytes
  // turn out to be the sync marker, the rest of the longer header follows.
  uint8_t raw[kMaxHeaderBytes];
  const uint32_t plainSize = BlockHeaderSize(false, channels_, flags_);
  const uint32_t syncPartSize = 4 + kSyncPartPerChannel * channels_;
  HRESULT hr = ReadExact(source, raw, plainSize);
  if (cv::Failed(hr)) return hr;
  ++headersRead_;

  const uint8_t* fields = raw;
  header_.sync = LoadU32(raw) == kSyncMarker;
  if (header_.sync) {
    hr = ReadExact(source, raw + plainSize, syncPartSize);
    if (cv::Failed(hr)) return hr;
    for (uint32_t c = 0; c < channels_; ++c) history_[c] = LoadHistory(raw + 4 + kSyncPartPerChannel * c);
    fields = raw + syncPartSize;
  }

  int32_t frameCount = static_cast<int16_t>(LoadU16(fields));
  if (frameCount < 0) frameCount = -frameCount;
  if (frameCount < 1 || frameCount > static_cast<int32_t>(kFramesPerBlock)) {
    header_.frameCount = 0;
    return cv::CVERR_FILE_READ;
  }
  header_.frameCount = static_cast<uint16_t>(frameCount);
  header_.payloadSize = LoadU16(fields + 2);
  const uint8_t* p = fields + 4;
  for (uint32_t c = 0; c < channels_; ++c) header_.riceParam[c] = *p++;
  for (uint32_t c = 0; c < channels_; ++c) header_.fixedOrder[c] = *p++;
  if (flags_ & kFlagLpc) {
    for (uint32_t c = 0; c < channels_; ++c, p += kLpcOrder) std::memcpy(header_.lpcCoef[c], p, kLpcOrder);
  } else {
    std::memset(header_.lpcCoef, 0, sizeof header_.lpcCoef);
  }
  header_.extraWord = (flags_ & kFlagExtraWord) ? LoadU32(p) : 0;
  return cv::kS_OK;
}

HRESULT BlockDecoder::ReadPayload(cv::ByteSource& source) {
  const uint32_t size = header_.payloadSize;
  while (size >= bits_.Capacity()) {
    if (!bits_.Grow()) return cv::CVERR_FILE_READ;
  }
  uint8_t* data = bits_.Data();
  if (size > dirtyEnd_) dirtyEnd_ = size;
  const HRESULT hr = ReadExact(source, data, size);
  if (cv::Failed(hr)) return hr;
  // Bytes after the payload read as zero, whatever an earlier block left there,
  // so that a block decodes the same whichever block was decoded before it.
  std::memset(data + size, 0, dirtyEnd_ - size);
  dirtyEnd_ = size;
  bits_.Reset();
  return cv::kS_OK;
}

int BlockDecoder::DecodeChannel(uint32_t channel, uint32_t channelCount, int32_t* out, cv::Md5BlockRun* digest) {
  const uint32_t frames = header_.frameCount;
  if (channel >= channels_ || frames < 1 || frames > kFramesPerBlock) return -1;
  const uint32_t order = header_.fixedOrder[channel];
  if (order > 4) return -1;
  const size_t digestBlocks = digest ? digest->blocks : 0;
  if (!bits_.ReadResiduals(header_.riceParam[channel], frames, out, digest)) return -1;
  if (channel + 1 == channelCount) {
    const int64_t distance = static_cast<int64_t>(bits_.ByteIndex()) - header_.payloadSize;
    if (distance > 1 || distance < -1) return -1;
  }
  const uint8_t* lpcCoef = (flags_ & kFlagLpc) ? header_.lpcCoef[channel] : nullptr;
  // Where the reading of the codes hashed, one step per value is left to the
  // reconstruction; else it takes two, as many as a 16-bit value has bytes.
  const uint32_t steps = digest && digest->blocks < digestBlocks ? 1 : 2;
  ReconstructChannel(order, lpcCoef, history_[channel], out, frames, digest, steps);
  return 0;
}

HRESULT BlockDecoder::DecodeBlock(cv::ByteSource& source, uint8_t* out, uint32_t* bytesOut, cv::Md5BlockRun* digest) {
  if (bytesOut) *bytesOut = 0;
  if (!out) return cv::CVERR_FILE_READ;
  HRESULT hr = ReadBlockHeader(source);
  if (cv::Failed(hr)) return hr;
  hr = ReadPayload(source);
  if (cv::Failed(hr)) return hr;

  const uint32_t frames = header_.frameCount;
  for (uint32_t c = 0; c < channels_; ++c) {
    if (header_.fixedOrder[c] == kSilentOrder) {
      std::memset(channel_[c], 0, frames * sizeof(int32_t));
      history_[c] = PredictorHistory{0, 0, 0, 0};
      continue;
    }
    if (DecodeChannel(c, channels_, channel_[c], digest) != 0) return cv::CVERR_FILE_READ;
  }

  WriteFrames(out, digest);
  if (bytesOut) *bytesOut = frames * BlockAlign();
  return cv::kS_OK;
}

void BlockDecoder::WriteFrames(uint8_t* out, cv::Md5BlockRun* digest) const {
  const bool midSide = channels_ == 2 && (flags_ & kFlagMidSide);
  if (output16_) {
    WritePcm16(channel_[0], channel_[1], channels_, midSide, header_.frameCount, out);
  } else {
    WritePcm24(channel_[0], channel_[1], channels_, midSide, header_.frameCount, out, digest);
  }
}

}  // namespace qla
