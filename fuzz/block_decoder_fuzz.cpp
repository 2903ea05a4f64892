// The block decoder on arbitrary bytes: first byte the stream's shape (channels,
// bits, codec flags, and whether the blocks come from memory or through the
// buffered file reader), the rest a run of blocks. After a failed block
// decoding resumes one byte further on, as a resync would.
#include "ffplugs/cvla/codec/block_decoder.h"
#include "fuzz/fuzz_support.h"
#include "krn/buffered_file_reader.h"
#include "krn/results.h"
#include "tests/codec/memory_bytes.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cvfuzz::Choices choices(data, size);
  const uint32_t shape = choices.Take(1);
  auto decoder = std::make_unique<qla::BlockDecoder>();
  if (decoder->Initialize(1 + (shape & 1), shape & 2 ? 24 : 16, (shape >> 2) & 7) != cv::kS_OK) return 0;
  const bool throughFile = (shape & 0x80) != 0;
  cvplat::UniqueFile file;
  cv::BufferedFileReader buffered;
  if (throughFile) {
    file = cvfuzz::OpenScratch(cvfuzz::WriteScratch("blocks", choices.Rest(), choices.RestSize()));
    if (!buffered.Allocate()) std::abort();
  }
  auto out = std::make_unique<uint8_t[]>(qla::BlockDecoder::kMaxBlockBytes);
  qlatest::MemoryBytes memory(std::vector<uint8_t>(choices.Rest(), choices.Rest() + choices.RestSize()));
  uint32_t offset = 0;
  while (offset < choices.RestSize()) {
    uint32_t bytes = 0;
    decoder->SetNextBlockOffset(offset);
    memory.position = offset;
    if (throughFile) buffered.SetPosition(file.Get(), offset);
    const HRESULT hr = throughFile ? decoder->DecodeBlock(buffered, out.get(), &bytes)
                                   : decoder->DecodeBlock(memory, out.get(), &bytes);
    if (hr == cv::kS_OK) {
      // A decoded block delivers exactly its frames and moves past its own bytes.
      if (bytes != decoder->FrameCount() * decoder->BlockAlign() || decoder->NextBlockOffset() <= offset) std::abort();
      if (decoder->PayloadCapacity() > 64000) std::abort();  // the payload buffer's ceiling
      offset = decoder->NextBlockOffset();
    } else {
      if (hr != cv::CVERR_FILE_READ || bytes != 0) std::abort();
      ++offset;
    }
  }
  return 0;
}
