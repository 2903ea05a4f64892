// The RIFF chunk library on arbitrary files: the searches, counts and skips, the
// exported find and skip, reading chunk data, and removing a chunk. The first
// bytes pick the ids searched for (a known id or the raw value), the rest is the
// file.
#include "fuzz/fuzz_support.h"
#include "krn/platform/memory.h"
#include "krn/results.h"
#include "krn/riff.h"
#include "krn/riff_exports.h"


namespace {

uint32_t PickId(cvfuzz::Choices& choices) {
  static const char* const kIds[] = {"fmt ", "data", "cvla", "LIST", "INFO", "adtl", "cue ", "acid", "strc", "JUNK"};
  const uint32_t pick = choices.Take(1);
  if (pick >= 10) return pick | choices.Take(3) << 8;
  const char* id = kIds[pick];
  return static_cast<uint32_t>(id[0]) | id[1] << 8 | id[2] << 16 | static_cast<uint32_t>(id[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t steer = size < 8 ? size : 8;
  cvfuzz::Choices choices(data, steer);
  const uint32_t id = PickId(choices), listType = PickId(choices);
  const std::string path = cvfuzz::WriteScratch("input.riff", data + steer, size - steer);
  cvplat::UniqueFile file = cvfuzz::OpenScratch(path, true);
  HANDLE h = file.Get();

  uint32_t chunkSize = 0, count = 0;
  int32_t remaining = 0;
  if (cv::FindChunkFromStart(h, id, &chunkSize, &remaining) == cv::kS_OK) {
    // A careful caller reads no more than the file can hold.
    cv::ChunkBlob blob{chunkSize <= size ? chunkSize : 0, nullptr};
    if (cv::ReadChunkAlloc(h, &blob) == cv::kS_OK) cvplat::GlobalFreeBlock(blob.data);
    static_cast<void>(cv::CountChunks(h, &count, &remaining));
    static_cast<void>(cv::SkipChunks(h, count, &remaining));
  }
  static_cast<void>(cv::FindListFromStart(h, listType, &chunkSize));
  static_cast<void>(cv::CountChunks(h, &count, nullptr));

  uint32_t body = 0, form = 0, unsignedRemaining = 0;
  if (cv::SetFilePos(h, 0) == cv::kS_OK && cv::ReadRiffHeader(h, &body, &form) == cv::kS_OK) {
    unsignedRemaining = body;
    for (int i = 0; i < 64 && riffzz_FindChunkHeader(h, id, &chunkSize, &unsignedRemaining) == 0; ++i)
      riffzz_SkipChunk(h, chunkSize);
  }
  uint32_t removed = 0;
  static_cast<void>(cv::RemoveChunk(h, id, id == listType, &removed));
  return 0;
}
