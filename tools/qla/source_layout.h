// What a .qla file needs to give back its source WAVE file byte for byte: the
// RIFF header and every piece of the source in file order, the audio excepted
// (it is the decoded audio). Stored in the "qsrc" chunk by encode.
//
// Markers, INFO and loop chunks are kept as pieces too, with the digest of the
// metadata as the .qla carried it when written: when the metadata was edited
// since (by the host), the current metadata is written instead of those pieces.
#pragma once

#include "krn/md5.h"
#include "krn/metadata_source.h"
#include "krn/wav_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qlatool {

enum class PieceKind : uint32_t {
  kVerbatim = 1,     // a chunk of the source, header and pad byte included
  kAudioHeader = 2,  // the 8-byte header of the data chunk; the audio follows it
  kAudioTail = 3,    // bytes of the data chunk after the last whole frame (pad byte included)
  kMetadata = 4,     // a chunk whose content the .qla metadata carries
  kFormat = 5,       // the "fmt " chunk; empty when the samples were converted
  kRf64Sizes = 6,    // the "ds64" chunk of an RF64 source
  kTrailing = 7,     // bytes after the RIFF body
};

struct SourcePiece {
  PieceKind kind;
  std::vector<uint8_t> bytes;
};

struct SourceLayout {
  bool converted = false;  // the stored samples are not the source's
  cv::Md5::Digest metadataDigest{};
  uint8_t riffHeader[12] = {};
  std::vector<SourcePiece> pieces;
};

// Reads the pieces of an open source. Chunks too large to keep are left out and
// named in *notKept.
[[nodiscard]] HRESULT CaptureLayout(cv::WavReader& wav, bool converted, SourceLayout* layout,
                                    std::vector<std::string>* notKept);

std::vector<uint8_t> SerializeLayout(const SourceLayout& layout);
// False when the bytes are not a layout this version understands.
bool ParseLayout(const std::vector<uint8_t>& bytes, SourceLayout* layout);

// The digest of the metadata chunks that a decode of the file writes.
cv::Md5::Digest DigestOfMetadata(const std::vector<uint8_t>& metadataChunks);

}  // namespace qlatool
