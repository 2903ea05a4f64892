#include "tests/support/qla_test_files.h"

#include "ffplugs/cvla/codec/block_decoder.h"
#include "ffplugs/cvla/renderer/file_encoder.h"
#include "krn/platform/file.h"
#include "krn/results.h"
#include "krn/riff.h"

namespace cvtest {

TestTemplate::TestTemplate(const WAVEFORMATEX& format)
    : record(qla::MakeRenderTemplate(&block)), block(qla::MakeTemplateFormat(format)) {}

void TestTemplate::UseAlternative(const WAVEFORMATEX& format) {
  alternative = format;
  block.alternative = &alternative;
}

HRESULT RenderAudio(const PcmAudio& audio, const std::string& path) {
  PcmTestStream stream(audio);
  TestTemplate renderTemplate(audio.format);
  return qla::EncodeFile(nullptr, path.c_str(), &stream, &renderTemplate.record);
}

std::vector<StoredBlock> WalkBlocks(const std::vector<uint8_t>& file, uint32_t channels, uint32_t codecFlags) {
  std::vector<StoredBlock> blocks;
  const size_t end = file.size();
  size_t at = 78;
  while (at + 4 <= end) {
    StoredBlock b{};
    b.offset = static_cast<uint32_t>(at);
    b.sync = qla::LoadU32(&file[at]) == qla::kSyncMarker;
    b.headerBytes = qla::BlockHeaderSize(b.sync, channels, codecFlags);
    const size_t counts = at + (b.sync ? 4 + 16 * channels : 0);
    if (counts + 4 > end) break;
    const int16_t frameCount = static_cast<int16_t>(qla::LoadU16(&file[counts]));
    b.frameCount = static_cast<uint32_t>(frameCount < 0 ? -frameCount : frameCount);
    b.payloadBytes = qla::LoadU16(&file[counts + 2]);
    blocks.push_back(b);
    at += b.headerBytes + b.payloadBytes;
  }
  return blocks;
}

HRESULT DecodeQlaFile(const std::string& path, PcmAudio* audio) {
  cvplat::UniqueFile file(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  if (!file.IsValid()) return cv::CVERR_FILE_OPEN;
  qla::QlaContainerInfo info;
  HRESULT hr = qla::ParseContainer(file.Get(), &info);
  if (cv::Failed(hr)) return hr;
  audio->format = info.format;
  audio->bytes.clear();
  qla::BlockDecoder decoder;
  hr = decoder.Initialize(info.format, info.codec.codecFlags);
  if (cv::Succeeded(hr)) hr = cv::SetFilePos(file.Get(), info.dataOffset);
  if (cv::Failed(hr)) return hr;
  decoder.SetNextBlockOffset(info.dataOffset);
  std::vector<uint8_t> block(qla::BlockDecoder::kMaxBlockBytes);
  for (uint64_t framesLeft = info.totalFrames; framesLeft > 0;) {
    uint32_t bytes = 0;
    cv::FileByteSource fileBytes(file.Get());
    hr = decoder.DecodeBlock(fileBytes, block.data(), &bytes);
    if (cv::Failed(hr)) return hr;
    audio->bytes.insert(audio->bytes.end(), block.begin(), block.begin() + bytes);
    const uint64_t frames = decoder.FrameCount();
    framesLeft = frames < framesLeft ? framesLeft - frames : 0;
  }
  return cv::kS_OK;
}

}  // namespace cvtest
