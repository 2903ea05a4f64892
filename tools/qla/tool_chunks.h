// The tool's own chunks in a .qla file, placed after the seek table where every
// reader skips them: "qsum" holds the MD5 digest of the PCM audio bytes as the
// file decodes (interleaved, little-endian, at the stored sample size), "qsrc"
// what is needed to give back the source WAVE file byte for byte.
#pragma once

#include "krn/md5.h"
#include "krn/platform/win_types.h"
#include "krn/wav_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qlatool {

constexpr uint32_t kChecksumChunk = cv::ChunkId("qsum");
constexpr uint32_t kSourceChunk = cv::ChunkId("qsrc");

// The top-level chunks of any RIFF file (sizes bounded by the file).
[[nodiscard]] HRESULT ListChunks(HANDLE file, std::vector<cv::WavChunk>* chunks);
// The body of the first top-level chunk with the id; S_FALSE when there is none.
[[nodiscard]] HRESULT ReadChunkBody(const std::string& path, uint32_t id, std::vector<uint8_t>* body);
// Appends a chunk at the end of the RIFF body and grows the RIFF size.
[[nodiscard]] HRESULT AppendChunk(const std::string& path, uint32_t id, const std::vector<uint8_t>& body);

// The stored audio digest of a .qla file; false when it has none.
[[nodiscard]] bool ReadAudioDigest(const std::string& path, cv::Md5::Digest* digest);

// The check of a .qla file's decoded audio against its stored digest. A file
// without one is not hashed at all: nothing would use the digest.
class AudioDigestCheck {
 public:
  explicit AudioDigestCheck(const std::string& path) : checked_(ReadAudioDigest(path, &stored_)) {}
  // Where the decoded audio goes, in order; null when nothing is stored.
  cv::Md5* Hash() { return checked_ ? &md5_ : nullptr; }
  // Forgets what was hashed, for a pass that starts again.
  void Restart() { md5_ = cv::Md5(); }
  // Empty when the audio matches or nothing is stored, else the words for the
  // mismatch; ends the hashing.
  std::string Mismatch();

 private:
  cv::Md5::Digest stored_{};
  bool checked_;
  cv::Md5 md5_;
};

}  // namespace qlatool
