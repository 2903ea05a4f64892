#include "tools/qla/verify.h"

#include "krn/results.h"
#include "tools/qla/interrupt.h"
#include "tools/qla/qla_file.h"
#include "tools/qla/wav_audio_stream.h"

#include <cstring>
#include <vector>

namespace qlatool {

[[nodiscard]] HRESULT VerifyAgainstSource(const std::string& qlaPath, cv::WavReader* wav, const WAVEFORMATEX& fileFormat,
                            std::string* difference, const std::function<void(uint32_t)>& onFrames) {
  QlaFile decoded;
  HRESULT hr = decoded.Open(qlaPath);
  if (cv::Failed(hr)) return hr;
  if (decoded.Frames() != wav->Frames()) {
    *difference = ": " + std::to_string(decoded.Frames()) + " frames written, " + std::to_string(wav->Frames()) +
                  " in the source";
    return cv::CVERR_FILE_CORRUPT;
  }
  // The byte rate of a .qla file is that of the compressed data, so only the
  // fields that describe the samples are compared.
  const WAVEFORMATEX& f = decoded.Format();
  if (f.nChannels != fileFormat.nChannels || f.nSamplesPerSec != fileFormat.nSamplesPerSec ||
      f.wBitsPerSample != fileFormat.wBitsPerSample || f.nBlockAlign != fileFormat.nBlockAlign) {
    *difference = ": the decoded format differs from the source's";
    return cv::CVERR_FILE_CORRUPT;
  }
  WavAudioStream source(wav, fileFormat);
  constexpr uint32_t kChunk = 16384;
  std::vector<uint8_t> expected(static_cast<size_t>(kChunk) * fileFormat.nBlockAlign);
  std::vector<uint8_t> actual(expected.size());
  for (uint64_t position = 0; position < wav->Frames();) {
    if (Interrupted()) return cv::CVERR_CANCELLED;
    uint32_t want = 0, got = 0;
    hr = source.Read(position, expected.data(), kChunk, &want);
    if (cv::Failed(hr)) return hr;
    hr = decoded.Read(position, actual.data(), want, &got);
    if (cv::Failed(hr)) return hr;
    if (got != want || std::memcmp(expected.data(), actual.data(), static_cast<size_t>(want) * fileFormat.nBlockAlign)) {
      uint32_t frame = 0;
      while (frame < got && std::memcmp(expected.data() + frame * fileFormat.nBlockAlign,
                                        actual.data() + frame * fileFormat.nBlockAlign, fileFormat.nBlockAlign) == 0)
        ++frame;
      *difference = ": the decoded audio differs from the source at frame " + std::to_string(position + frame);
      return cv::CVERR_FILE_CORRUPT;
    }
    position += want;
    if (onFrames) onFrames(want);
  }
  return cv::kS_OK;
}

}  // namespace qlatool
