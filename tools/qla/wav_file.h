// The plain PCM WAVE files that a decode produces.
#pragma once

#include "krn/platform/file.h"
#include "krn/platform/win_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qlatool {

// Writes a PCM WAVE file: RIFF header, a 16-byte "fmt " chunk and "data"; the
// sizes are patched by Finish.
class WavWriter {
 public:
  HRESULT Create(const std::string& path, const WAVEFORMATEX& format);
  HRESULT Write(const void* bytes, uint32_t count);
  // Pads the data chunk and patches the sizes; the file stays open for nothing:
  // it is closed here so that metadata can be appended by name.
  HRESULT Finish();
  void Close() { file_.Reset(); }

 private:
  cvplat::UniqueFile file_;
  uint64_t dataBytes_ = 0;
};

// The plain PCM format (tag 1, cbSize 0) for channels, rate and bits.
WAVEFORMATEX PcmFormat(uint32_t channels, uint32_t sampleRate, uint32_t bits);

}  // namespace qlatool
