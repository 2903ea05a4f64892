// Turns Quartzline blocks, read from a byte source one after the other, back into
// interleaved PCM: 16-bit little-endian, or packed 24-bit for any other output
// format. One decoder serves one stream and is used by one thread at a time.
//
// A block is a header (a sync part with the predictor histories on sync blocks,
// frameCount, payloadSize, per channel the Rice parameter, the fixed predictor
// order and, with the LPC stage, four coefficients) and a payload of Rice-coded
// residuals. Every failure (read error or end of file, a damaged header or
// payload) is reported as CVERR_FILE_READ; the histories and the running offset
// then describe no decoded block, and decoding goes on correctly from the next
// sync block once the caller has moved the file and SetNextBlockOffset there.
#pragma once

#include "ffplugs/cvla/codec/rice_bit_reader.h"
#include "ffplugs/cvla/qla_format.h"
#include "krn/byte_io.h"
#include "krn/md5_steps.h"
#include "krn/platform/win_types.h"

#include <cstdint>

namespace qla {

// The header of the block decoded last.
struct BlockHeader {
  bool sync;              // carried the sync marker and the histories
  uint16_t frameCount;    // 1 to 512 (a negative stored count is taken as its absolute value)
  uint16_t payloadSize;   // payload bytes after the header
  uint8_t riceParam[kMaxChannels];
  uint8_t fixedOrder[kMaxChannels];  // 0 to 4, or kSilentOrder
  uint8_t lpcCoef[kMaxChannels][kLpcOrder];  // sign and magnitude
  uint32_t extraWord;     // read and ignored
};

class BlockDecoder {
 public:
  // Largest output of one block: 512 frames of 2 channels of 3 bytes.
  static constexpr uint32_t kMaxBlockBytes = kFramesPerBlock * kMaxChannels * 3;

  BlockDecoder() = default;
  BlockDecoder(const BlockDecoder&) = delete;
  BlockDecoder& operator=(const BlockDecoder&) = delete;

  // Sets the stream's shape and allocates the payload buffer (kept if already there).
  // channels 1 or 2; bitsPerSample 16 (16-bit output) or 24 (packed 24-bit output).
  // Histories are cleared. CVERR_FILE_READ for a shape that cannot be decoded,
  // E_OUTOFMEMORY when the buffer cannot be allocated.
  [[nodiscard]] HRESULT Initialize(uint32_t channels, uint32_t bitsPerSample, uint32_t codecFlags);
  // The same from the stream's PCM format; nBlockAlign must match as well.
  [[nodiscard]] HRESULT Initialize(const WAVEFORMATEX& pcmFormat, uint32_t codecFlags);
  // Reloads the codec flags (midSide, lpc, extra word); other bits are ignored.
  void SetCodecFlags(uint32_t codecFlags) { flags_ = codecFlags & kFlagsInterpreted; }

  // Reads a block header at the source's position into Header() and adds its
  // size to the running offset. S_OK or CVERR_FILE_READ.
  [[nodiscard]] HRESULT ReadBlockHeader(cv::ByteSource& source);
  // Decodes the next block at the source's position into out, which must hold
  // kMaxBlockBytes; *bytesOut receives frameCount x BlockAlign().
  // S_OK or CVERR_FILE_READ (*bytesOut is then 0). With a digest run, blocks of
  // it are hashed while the channels are reconstructed (ReconstructChannel);
  // the run must not lie in out.
  [[nodiscard]] HRESULT DecodeBlock(cv::ByteSource& source, uint8_t* out, uint32_t* bytesOut,
                                    cv::Md5BlockRun* digest = nullptr);
  // Decodes channel c of the block whose payload the bit reader holds into out
  // (frameCount values), continuing where the previous channel ended and
  // updating the channel's history. 0 on success, -1 when the channel is damaged
  // (its codes reach the last byte of the buffer, the last channel ends more
  // than one byte away from payloadSize, or the order is above 4).
  int DecodeChannel(uint32_t channel, uint32_t channelCount, int32_t* out, cv::Md5BlockRun* digest = nullptr);

  const BlockHeader& Header() const { return header_; }
  bool IsSyncBlock() const { return header_.sync; }
  uint32_t FrameCount() const { return header_.frameCount; }

  // File offset of the next block, advanced by every byte read.
  uint32_t NextBlockOffset() const { return nextBlockOffset_; }
  void SetNextBlockOffset(uint32_t offset) { nextBlockOffset_ = offset; }

  const PredictorHistory& History(uint32_t channel) const { return history_[channel]; }
  void ResetHistories();

  uint32_t PayloadCapacity() const { return bits_.Capacity(); }
  uint32_t HeadersRead() const { return headersRead_; }
  uint32_t Channels() const { return channels_; }
  uint32_t BlockAlign() const { return channels_ * (output16_ ? 2 : 3); }

 private:
  [[nodiscard]] HRESULT ReadExact(cv::ByteSource& source, void* buffer, uint32_t count);
  [[nodiscard]] HRESULT ReadPayload(cv::ByteSource& source);
  void WriteFrames(uint8_t* out, cv::Md5BlockRun* digest) const;

  RiceBitReader bits_;
  BlockHeader header_{};
  PredictorHistory history_[kMaxChannels]{};
  int32_t channel_[kMaxChannels][kFramesPerBlock]{};
  uint32_t channels_ = 0;
  bool output16_ = true;
  uint32_t flags_ = 0;
  uint32_t nextBlockOffset_ = 0;
  uint32_t headersRead_ = 0;
  // Bytes of the payload buffer that may hold data of an earlier block.
  uint32_t dirtyEnd_ = 0;
};

}  // namespace qla
