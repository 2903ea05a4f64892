// A ".qla" file opened the way the host opens it (CheckHeader, CreateReader,
// GetStream) and read at positions and lengths chosen by the input, then its
// metadata object's streams read and seeked. The input starts with the reads
// (three of a 32-bit position and a 16-bit length), then the file.
#include "fuzz/fuzz_support.h"
#include "krn/metadata_source.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"

#include <cstdlib>

namespace {

cv::ICvFileType* FileType() {
  static cvtest::ModuleScope module;
  (void)module;
  static cvtest::TestHost* host = new cvtest::TestHost;
  static cv::ICvFileType* fileType = [] {
    cv::ICvFileType* made = nullptr;
    if (cvtest::CreateFileTypeLikeHost(host->Host(), 0, &made) != cv::kS_OK) std::abort();
    return made;
  }();
  return fileType;
}

void ReadMetadata(cv::ICvFileReader* reader, cvfuzz::Choices& choices) {
  cv::ICvMetadataSource* source = nullptr;
  if (reader->GetMetadata(&source) != cv::kS_OK || !source) return;
  IStream* stream = nullptr;
  if (source->GetMarkerStream(&stream) == cv::kS_OK) cvfuzz::ExerciseStream(stream, choices);
  stream = nullptr;
  if (source->GetInfoStream(&stream) == cv::kS_OK) cvfuzz::ExerciseStream(stream, choices);
  wchar16 text[8];
  source->GetInfoText(0x4D414E49u, text, 8);  // "INAM"
  cv::ICvLoopInfo* loop = nullptr;
  if (source->QueryInterface(cv::kIID_ICvLoopInfo, reinterpret_cast<void**>(&loop)) == cv::kS_OK) {
    uint8_t acid[24], strc[28];
    loop->GetAcid(acid);
    loop->GetStrcHeader(strc);
    stream = nullptr;
    if (loop->GetLoopStream(&stream) == cv::kS_OK) cvfuzz::ExerciseStream(stream, choices);
    loop->Release();
  }
  source->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cvfuzz::Choices choices(data, size);
  uint32_t positions[3], lengths[3];
  for (int i = 0; i < 3; ++i) {
    positions[i] = choices.Take(4);
    lengths[i] = choices.Take(2);
  }
  const std::string path = cvfuzz::WriteScratch("input.qla", choices.Rest(), choices.RestSize());
  cvfuzz::Choices streamChoices(data, size);
  cvtest::OpenedQlaFile file;
  if (cvtest::OpenQlaFile(FileType(), path, &file) == cv::kS_OK) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 3; ++i) {
      const uint64_t position = positions[i] % (file.frames + 2);
      const HRESULT hr = cvtest::ReadFrames(file.stream, file.format, position, lengths[i], &bytes);
      if (hr == cv::kS_OK && bytes.size() > static_cast<size_t>(lengths[i]) * file.format.nBlockAlign) std::abort();
    }
  }
  if (file.reader) ReadMetadata(file.reader, streamChoices);
  return 0;
}
