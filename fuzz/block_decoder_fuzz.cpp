// The block decoder on arbitrary bytes: first byte the stream's shape (channels,
// bits, codec flags, handle or buffered reads), the rest a run of blocks. After
// a failed block decoding resumes one byte further on, as a resync would.
#include "ffplugs/cvla/codec/block_decoder.h"
#include "fuzz/fuzz_support.h"
#include "krn/results.h"
#include "krn/riff.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cvfuzz::Choices choices(data, size);
  const uint32_t shape = choices.Take(1);
  auto decoder = std::make_unique<qla::BlockDecoder>();
  if (decoder->Initialize(1 + (shape & 1), shape & 2 ? 24 : 16, (shape >> 2) & 7) != cv::kS_OK) return 0;
  const std::string path = cvfuzz::WriteScratch("blocks", choices.Rest(), choices.RestSize());
  cvplat::UniqueFile file = cvfuzz::OpenScratch(path);
  qla::BufferedFileReader buffered;
  if (!buffered.Allocate()) std::abort();
  const bool useHandle = (shape & 0x80) != 0;
  auto out = std::make_unique<uint8_t[]>(qla::BlockDecoder::kMaxBlockBytes);
  uint32_t offset = 0;
  while (offset < choices.RestSize()) {
    uint32_t bytes = 0;
    decoder->SetNextBlockOffset(offset);
    HRESULT hr;
    if (useHandle) {
      if (cv::SetFilePos(file.Get(), offset) != cv::kS_OK) std::abort();
      hr = decoder->DecodeBlock(file.Get(), out.get(), &bytes);
    } else {
      buffered.SetPosition(file.Get(), offset);
      hr = decoder->DecodeBlock(buffered, out.get(), &bytes);
    }
    if (hr == cv::kS_OK) {
      // A decoded block delivers exactly its frames and moves past its own bytes.
      if (bytes != decoder->FrameCount() * decoder->BlockAlign() || decoder->NextBlockOffset() <= offset) std::abort();
      offset = decoder->NextBlockOffset();
    } else {
      if (hr != cv::CVERR_FILE_READ || bytes != 0) std::abort();
      ++offset;
    }
  }
  return 0;
}
