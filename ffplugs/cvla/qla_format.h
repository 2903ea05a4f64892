// The Quartzline Audio file format: the records of the ".qla" RIFF WAVE file
// and the limits of its blocks. All multi-byte integers are little-endian.
#pragma once

#include "krn/little_endian.h"

#include <cstdint>

namespace qla {

constexpr uint16_t WAVE_FORMAT_QUARTZLINE = 0x1971;
constexpr uint16_t kFormatCbSize = 32;  // the codec header follows the WAVEFORMATEX

constexpr uint32_t kFramesPerBlock = 512;
constexpr uint32_t kBlocksPerSeekPoint = 25;
constexpr uint32_t kFramesPerSeekGroup = kFramesPerBlock * kBlocksPerSeekPoint;  // 12800
constexpr uint32_t kMaxChannels = 2;

constexpr uint32_t kSyncMarker = 0xFFFFFFFFu;
constexpr uint8_t kSilentOrder = 5;  // fixedOrder of a channel whose values are all 0
constexpr uint32_t kLpcOrder = 4;

// Payload buffer: 4000 bytes at first, doubled on demand, never past 64000 bytes
// (a doubling beyond 80000 is refused).
constexpr uint32_t kInitialPayloadCapacity = 4000;
constexpr uint32_t kPayloadGrowthLimit = 80000;
constexpr uint32_t kMaxPayloadCapacity = 64000;

// codecFlags
constexpr uint32_t kFlagMidSide = 0x1;
constexpr uint32_t kFlagLpc = 0x2;
constexpr uint32_t kFlagExtraWord = 0x4;
constexpr uint32_t kFlagsInterpreted = 0x7;
constexpr uint32_t kFlagsVersion = 0x00640000;  // 100 in the high half

// Reader's checks of the codec header.
constexpr uint32_t kMinHeaderSize = 4, kMaxHeaderSize = 100;
constexpr uint32_t kMinFramesPerBlock = 10, kMaxFramesPerBlock = 65000;
constexpr uint32_t kMinBlocksPerSeekPoint = 1, kMaxBlocksPerSeekPoint = 5000;

#pragma pack(push, 1)
struct QlaCodecHeader {
  uint32_t headerSize;          // 32
  uint32_t codecFlags;          // 0x00640001 or 0x00640003
  uint64_t totalFrames;
  uint32_t seekEntryCount;      // sync blocks + 1
  uint16_t framesPerBlock;      // 512
  uint16_t blocksPerSeekPoint;  // 25
  uint32_t reserved[2];
};

struct PredictorHistory {
  int32_t x1, x2, x3, x4;  // the last four values of the channel, most recent first
};
#pragma pack(pop)

static_assert(sizeof(QlaCodecHeader) == 32, "codec header is 32 bytes");
static_assert(sizeof(PredictorHistory) == 16, "history is 16 bytes");

// Fixed file offsets of what the encoder writes.
constexpr uint32_t kFmtChunkSize = 50;       // WAVEFORMATEX 18 + codec header 32
constexpr uint32_t kFmtBodyOffset = 20;
constexpr uint32_t kCodecHeaderOffset = 38;
constexpr uint32_t kDataHeaderOffset = 70;
constexpr uint32_t kFirstBlockOffset = 78;

// Block header size for a block: sync part, frameCount, payloadSize, per-channel
// riceParam and fixedOrder, LPC bytes and the extra word as the flags say.
constexpr uint32_t BlockHeaderSize(bool sync, uint32_t channels, uint32_t codecFlags) {
  return (sync ? 4 + 16 * channels : 0) + 4 + 2 * channels + ((codecFlags & kFlagLpc) ? 4 * channels : 0) +
         ((codecFlags & kFlagExtraWord) ? 4 : 0);
}

// Little-endian helpers for byte buffers.
using cv::LoadU16;
using cv::LoadU32;
using cv::StoreU16;
using cv::StoreU32;

}  // namespace qla
