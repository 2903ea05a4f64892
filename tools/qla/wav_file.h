// The WAVE files that a decode produces, written front to back to a file or a
// pipe: every byte before and after the audio is planned first, so that the
// sizes in the header are right from the first byte on.
#pragma once

#include "krn/platform/file.h"
#include "krn/platform/win_types.h"
#include "tools/qla/source_layout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qlatool {

// The plain PCM format (tag 1, cbSize 0) for channels, rate and bits.
WAVEFORMATEX PcmFormat(uint32_t channels, uint32_t sampleRate, uint32_t bits);

// Where the bytes go: a new file or standard output.
class ByteSink {
 public:
  [[nodiscard]] HRESULT Create(const std::string& path);
  void UseStandardOutput();
  // Sets aside disk space for a file of `bytes` bytes (nothing for a pipe).
  // The writes ask for early write-back only where the system did not.
  void Reserve(uint64_t bytes);
  [[nodiscard]] HRESULT Write(const void* bytes, size_t count);
  [[nodiscard]] HRESULT Flush();
  // Closes the file; space set aside beyond what was written is given back.
  void Close();

 private:
  cvplat::UniqueFile file_;
  bool standardOutput_ = false;
  uint64_t written_ = 0;      // bytes written
  uint64_t reserved_ = 0;     // bytes of disk space asked for
  // With the space set aside, no block waits to be allocated when the file is
  // closed or renamed over another, and asking for early write-back only adds
  // the submission of the disk work to the decode's own time (CD decode 112.0
  // -> 106.6 ms, and as much when replacing a file); without it, the kernel
  // would allocate and write the whole file at the rename.
  bool spaceSetAside_ = false;
  cvplat::WriteBackPacer writeBack_;
};

struct WavPlan {
  std::vector<uint8_t> head;  // every byte before the audio
  std::vector<uint8_t> tail;  // every byte after it
  bool metadataChanged = false;
};

// Plans the WAVE file for audio of `frames` frames in `pcm`: the source byte
// for byte when the .qla keeps its layout and the metadata is the one written
// with it; else a plain file with the kept chunks and the current metadata.
[[nodiscard]] HRESULT PlanWav(const WAVEFORMATEX& pcm, uint64_t frames, const SourceLayout* stored,
                              const std::vector<uint8_t>& metadata, WavPlan* plan);

}  // namespace qlatool
