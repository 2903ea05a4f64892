// Helpers for tests that write and read ".qla" files: a render template around a
// format, a render of PCM audio into a file, a walk over the stored blocks, and a
// full decode through the container parser and the block decoder.
#pragma once

#include "ffplugs/cvla/host_records.h"
#include "ffplugs/cvla/reader/container.h"
#include "tests/support/pcm_test_stream.h"

#include <string>
#include <vector>

namespace cvtest {

// A template record whose format block holds `format` (and optionally points at
// an alternative format that a render writes instead).
struct TestTemplate {
  explicit TestTemplate(const WAVEFORMATEX& format);
  TestTemplate(const TestTemplate&) = delete;
  TestTemplate& operator=(const TestTemplate&) = delete;
  void UseAlternative(const WAVEFORMATEX& format);
  qla::RenderTemplate record{};
  qla::TemplateFormatBlock block{};
  WAVEFORMATEX alternative{};
};

// Renders the audio into path in its own format through EncodeFile.
HRESULT RenderAudio(const PcmAudio& audio, const std::string& path);

// One block as found in a file.
struct StoredBlock {
  uint32_t offset;
  bool sync;
  uint32_t frameCount;
  uint32_t headerBytes;
  uint32_t payloadBytes;
};
// Walks the blocks of a rendered file from the start of its data (offset 78) to
// the end of the bytes, by their header fields alone.
std::vector<StoredBlock> WalkBlocks(const std::vector<uint8_t>& file, uint32_t channels, uint32_t codecFlags);

// Decodes a ".qla" file back to PCM, sequentially from block 0.
HRESULT DecodeQlaFile(const std::string& path, PcmAudio* audio);

}  // namespace cvtest
