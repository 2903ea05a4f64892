#include "tools/qla/verify.h"

#include "krn/results.h"
#include "tools/qla/interrupt.h"
#include "tools/qla/parallel_decode.h"
#include "tools/qla/qla_file.h"
#include "tools/qla/wav_audio_stream.h"

#include <cstring>
#include <vector>

namespace qlatool {
namespace {

// Compares count decoded frames at position with the source's, read into
// expected; names the first differing frame.
[[nodiscard]] HRESULT CompareWithSource(WavAudioStream& source, uint64_t position, const uint8_t* decoded, uint32_t count,
                                        uint32_t frameBytes, std::vector<uint8_t>* expected, std::string* difference) {
  expected->resize(static_cast<size_t>(count) * frameBytes);
  uint32_t got = 0;
  const HRESULT hr = source.Read(position, expected->data(), count, &got);
  if (cv::Failed(hr)) return hr;
  if (got == count && std::memcmp(expected->data(), decoded, expected->size()) == 0) return cv::kS_OK;
  uint32_t frame = 0;
  while (frame < got && std::memcmp(expected->data() + static_cast<size_t>(frame) * frameBytes,
                                    decoded + static_cast<size_t>(frame) * frameBytes, frameBytes) == 0)
    ++frame;
  *difference = ": the decoded audio differs from the source at frame " + std::to_string(position + frame);
  return cv::CVERR_FILE_CORRUPT;
}

// The decoded audio in requests through one reader's stream.
[[nodiscard]] HRESULT CompareInRequests(QlaFile& decoded, WavAudioStream& source, uint32_t frameBytes,
                                        std::string* difference, const std::function<void(uint32_t)>& onFrames) {
  constexpr uint32_t kChunk = 16384;
  std::vector<uint8_t> actual(static_cast<size_t>(kChunk) * frameBytes), expected;
  for (uint64_t position = 0; position < decoded.Frames();) {
    if (Interrupted()) return cv::CVERR_CANCELLED;
    const uint64_t left = decoded.Frames() - position;
    const uint32_t want = left < kChunk ? static_cast<uint32_t>(left) : kChunk;
    uint32_t got = 0;
    HRESULT hr = decoded.Read(position, actual.data(), want, &got);
    if (cv::Failed(hr)) return hr;
    hr = CompareWithSource(source, position, actual.data(), got, frameBytes, &expected, difference);
    if (cv::Failed(hr)) return hr;
    if (got != want) {
      *difference = ": the decoded audio differs from the source at frame " + std::to_string(position + got);
      return cv::CVERR_FILE_CORRUPT;
    }
    position += got;
    if (onFrames) onFrames(got);
  }
  return cv::kS_OK;
}

// The same in runs of seek groups decoded on several threads.
[[nodiscard]] HRESULT CompareInParallel(const std::string& qlaPath, unsigned threads, WavAudioStream& source,
                                        uint32_t frameBytes, std::string* difference,
                                        const std::function<void(uint32_t)>& onFrames) {
  std::vector<uint8_t> expected;
  return DecodeRunsInOrder(qlaPath, threads, nullptr, [&](uint64_t position, const uint8_t* run, uint32_t frames) {
    const HRESULT hr = CompareWithSource(source, position, run, frames, frameBytes, &expected, difference);
    if (cv::Succeeded(hr) && onFrames) onFrames(frames);
    return hr;
  });
}

}  // namespace

[[nodiscard]] HRESULT VerifyAgainstSource(const std::string& qlaPath, cv::WavReader* wav, const WAVEFORMATEX& fileFormat,
                                          unsigned threads, std::string* difference,
                                          const std::function<void(uint32_t)>& onFrames) {
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
  source.HashNothing();
  if (SplitOverThreads(threads, decoded.Frames()))
    return CompareInParallel(qlaPath, threads, source, fileFormat.nBlockAlign, difference, onFrames);
  return CompareInRequests(decoded, source, fileFormat.nBlockAlign, difference, onFrames);
}

}  // namespace qlatool
