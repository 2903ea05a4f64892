// Compresses blocks of up to 512 interleaved frames of 16-bit or packed 24-bit
// PCM (one or two channels) into Quartzline blocks: mid/side split, prediction,
// Rice parameter choice, verbatim fallback, and the block header, formatted into
// a buffer or written field by field to a byte sink. One encoder serves one render; blocks are
// encoded in file order because the prediction history runs across blocks.
#pragma once

#include <cstdint>

#include "krn/byte_io.h"
#include "krn/platform/memory.h"
#include "krn/platform/win_types.h"
#include "ffplugs/cvla/codec/prediction_analyzer.h"
#include "ffplugs/cvla/codec/rice_bit_writer.h"
#include "ffplugs/cvla/qla_format.h"

namespace qla {

// Largest header BlockEncoder writes: a sync block of two channels with LPC bytes.
constexpr uint32_t kMaxBlockHeaderBytes = BlockHeaderSize(true, kMaxChannels, kFlagLpc);

// The fields of a block header as they will be written.
struct BlockHeaderImage {
  uint32_t syncMarker;
  PredictorHistory history[kMaxChannels];
  int16_t frameCount;
  uint16_t payloadSize;
  uint8_t riceParam[kMaxChannels];
  uint8_t fixedOrder[kMaxChannels];
  uint8_t lpcCoef[kMaxChannels][kLpcOrder];
};

// What a block takes over from earlier blocks besides the prediction history:
// the Rice parameter computed last (a silent channel 0 states it), channel 1's
// last Rice parameter and each channel's last LPC coefficient bytes (a silent
// channel keeps them).
struct EncoderCarry {
  int32_t k;
  uint8_t riceParam1;
  uint8_t lpcCoef[kMaxChannels][kLpcOrder];
};

class BlockEncoder {
 public:
  BlockEncoder() = default;
  ~BlockEncoder() { Release(); }
  BlockEncoder(const BlockEncoder&) = delete;
  BlockEncoder& operator=(const BlockEncoder&) = delete;

  // Sets up the encoder for a render in the PCM format given: 1 or 2 channels
  // of 16-bit or packed 24-bit samples, else CVERR_UNSUPPORTED_FORMAT.
  // Allocates every buffer (E_OUTOFMEMORY).
  [[nodiscard]] HRESULT Create(const WAVEFORMATEX& format, bool lpcStage);

  // Encodes n (1..512) interleaved frames into the header image and the payload.
  // Nothing is written anywhere. E_INVALIDARG for n outside 1..512 or no frames.
  // With a digest run, blocks of it are hashed while the codes are written
  // (see RiceBitWriter::WriteRiceRun); the run must not lie in the encoder's
  // own buffers.
  [[nodiscard]] HRESULT EncodeBlock(int32_t n, const void* frames, cv::Md5BlockRun* digest = nullptr);

  // Writes the header image to out, each field with one write (the sync marker
  // and histories only for a sync block). A failed write gives CVERR_FILE_WRITE
  // after the remaining fields were attempted. headerBytes receives the size.
  [[nodiscard]] HRESULT WriteBlockHeader(cv::ByteSink& out, bool syncBlock, bool negateCount, uint32_t* headerBytes);

  // Formats the same header bytes into out (room for kMaxBlockHeaderBytes) and
  // returns their count, BlockHeaderSize(...) of this block.
  uint32_t FormatBlockHeader(bool syncBlock, bool negateCount, uint8_t* out) const;

  // The payload of the last encoded block: PayloadSize() bytes follow the header.
  const uint8_t* Payload() const { return writer_.Data(); }
  uint32_t PayloadSize() const { return header_.payloadSize; }
  const BlockHeaderImage& Header() const { return header_; }

  void Release();

  // Sets each channel's prediction history to what encoding these n frames
  // would leave, as if they were the block before the next one; exact when n is
  // at least 4 (a full block). n = 0 clears the histories, as at the start.
  void PrimeHistory(int32_t n, const void* frames);
  EncoderCarry Carry() const;
  bool LpcStage() const { return lpcStage_; }
  int Channels() const { return channels_; }

  // Largest payload a block may carry; a decoder cannot hold 64000 bytes or more.
  // Tests lower it to exercise the re-coding that keeps blocks within it.
  void SetPayloadLimitForTesting(int32_t limit) { payloadLimit_ = limit; }

 private:
  void TakeHistorySnapshot();
  void UnpackFrames(int32_t n, const uint8_t* frames, bool* nonzero);
  void CodeChannel(int channel);
  void SilenceChannel(int channel);
  void CodeVerbatim(int channel);
  void KeepPayloadDecodable();
  bool PayloadFits() const;

  WAVEFORMATEX format_ = {};
  int channels_ = 0;
  bool sixteenBit_ = false;
  bool lpcStage_ = false;
  bool created_ = false;

  RiceBitWriter writer_;
  PredictionAnalyzer analyzer_;
  cvplat::GlobalBlock channelSpace_;
  int32_t* samples_[kMaxChannels] = {};

  int32_t n_ = 0;
  int32_t k_ = 0;
  cv::Md5BlockRun* digest_ = nullptr;  // of the block being encoded
  int32_t codedSize_ = 0;
  int32_t payloadLimit_ = static_cast<int32_t>(kMaxPayloadCapacity);

  // What the payload check needs to re-code a channel of the current block.
  bool coded_[kMaxChannels] = {};
  bool verbatim_[kMaxChannels] = {};
  int32_t bits_[kMaxChannels] = {};
  RiceWriterPosition channelStart_[kMaxChannels] = {};
  bool overflowAfterChannel0_ = false;

  BlockHeaderImage header_ = {};
};

}  // namespace qla
