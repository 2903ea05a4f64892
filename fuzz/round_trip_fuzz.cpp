// Encode then decode of PCM made by the input: the file written by the
// renderer's encoder, read back through the host's path, must give the same
// bytes. First byte: channels and bits; the rest is the PCM (whole frames).
#include "ffplugs/cvla/renderer/file_encoder.h"
#include "fuzz/fuzz_support.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"
#include "tests/support/qla_test_files.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static cvtest::ModuleScope module;
  (void)module;
  static cvtest::TestHost* host = new cvtest::TestHost;
  static cv::ICvFileType* fileType = nullptr;
  if (!fileType && cvtest::CreateFileTypeLikeHost(host->Host(), 0, &fileType) != cv::kS_OK) std::abort();

  cvfuzz::Choices choices(data, size);
  const uint32_t shape = choices.Take(1);
  cvtest::PcmAudio audio;
  audio.format = cvtest::PcmFormat(1 + (shape & 1), 8000 + (shape >> 2) * 1000, shape & 2 ? 24 : 16);
  const size_t frames = choices.RestSize() / audio.format.nBlockAlign;
  audio.bytes.assign(choices.Rest(), choices.Rest() + frames * audio.format.nBlockAlign);
  const std::vector<uint8_t> original = audio.bytes;

  const WAVEFORMATEX format = audio.format;
  const std::string path = cvfuzz::ScratchPath("round.qla");
  cvtest::PcmTestStream stream(std::move(audio));
  cvtest::TestTemplate renderTemplate(format);
  if (qla::EncodeFile(nullptr, path.c_str(), &stream, &renderTemplate.record) != cv::kS_OK) std::abort();

  cvtest::OpenedQlaFile file;
  std::vector<uint8_t> decoded;
  if (cvtest::OpenQlaFile(fileType, path, &file) != cv::kS_OK || file.frames != frames ||
      cvtest::ReadAllFrames(file, 4096, &decoded) != cv::kS_OK || decoded != original)
    std::abort();
  return 0;
}
