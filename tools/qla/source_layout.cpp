#include "tools/qla/source_layout.h"

#include "krn/little_endian.h"
#include "krn/results.h"

#include <cstring>

namespace qlatool {
namespace {

constexpr uint32_t kLayoutVersion = 1;
// Larger chunks are not copied into the .qla file (they would be held in memory).
constexpr uint64_t kMaxKeptChunk = 64ull << 20;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool IsMetadataChunk(cv::WavReader& wav, const cv::WavChunk& chunk) {
  if (chunk.id == cv::ChunkId("cue ") || chunk.id == cv::ChunkId("acid") || chunk.id == cv::ChunkId("strc"))
    return true;
  if (chunk.id != cv::ChunkId("LIST") || chunk.bytes < 4) return false;
  uint8_t type[4];
  if (cv::Failed(wav.ReadAt(chunk.offset + 8, type, 4))) return false;
  const uint32_t id = cv::LoadU32(type);
  return id == cv::ChunkId("adtl") || id == cv::ChunkId("INFO");
}

PieceKind KindOf(cv::WavReader& wav, const cv::WavChunk& chunk) {
  if (chunk.id == cv::ChunkId("fmt ")) return PieceKind::kFormat;
  if (chunk.id == cv::ChunkId("ds64") && wav.IsRf64()) return PieceKind::kRf64Sizes;
  return IsMetadataChunk(wav, chunk) ? PieceKind::kMetadata : PieceKind::kVerbatim;
}

// Bytes [from, to) of the source, bounded by its end.
[[nodiscard]] HRESULT ReadRange(cv::WavReader& wav, uint64_t from, uint64_t to, std::vector<uint8_t>* out) {
  if (to > wav.FileSize()) to = wav.FileSize();
  out->assign(to > from ? static_cast<size_t>(to - from) : 0, 0);
  return out->empty() ? cv::kS_OK : wav.ReadAt(from, out->data(), static_cast<uint32_t>(out->size()));
}

}  // namespace

[[nodiscard]] HRESULT CaptureLayout(cv::WavReader& wav, bool converted, SourceLayout* layout, std::vector<std::string>* notKept) {
  layout->converted = converted;
  layout->pieces.clear();
  HRESULT hr = wav.ReadAt(0, layout->riffHeader, sizeof layout->riffHeader);
  if (cv::Failed(hr)) return hr;
  uint64_t end = sizeof layout->riffHeader;
  for (const cv::WavChunk& chunk : wav.Chunks()) {
    const uint64_t chunkEnd = chunk.offset + 8 + chunk.bytes + (chunk.bytes & 1);
    end = chunkEnd;
    SourcePiece piece{PieceKind::kVerbatim, {}};
    if (chunk.id == cv::ChunkId("data")) {
      piece.kind = PieceKind::kAudioHeader;
      hr = ReadRange(wav, chunk.offset, chunk.offset + 8, &piece.bytes);
      if (cv::Failed(hr)) return hr;
      layout->pieces.push_back(std::move(piece));
      SourcePiece tail{PieceKind::kAudioTail, {}};
      hr = ReadRange(wav, wav.DataOffset() + wav.Frames() * wav.FrameBytes(), chunkEnd, &tail.bytes);
      if (cv::Failed(hr)) return hr;
      if (!tail.bytes.empty()) layout->pieces.push_back(std::move(tail));
      continue;
    }
    piece.kind = KindOf(wav, chunk);
    if (piece.kind == PieceKind::kFormat && converted) {
      layout->pieces.push_back(std::move(piece));
      continue;
    }
    if (chunk.bytes > kMaxKeptChunk) {
      notKept->push_back("the \"" + cv::ChunkName(chunk.id) + "\" chunk (" + std::to_string(chunk.bytes) +
                         " bytes) is too large to keep");
      continue;
    }
    hr = ReadRange(wav, chunk.offset, chunkEnd, &piece.bytes);
    if (cv::Failed(hr)) return hr;
    layout->pieces.push_back(std::move(piece));
  }
  if (end < wav.FileSize()) {
    SourcePiece trailing{PieceKind::kTrailing, {}};
    if (wav.FileSize() - end > kMaxKeptChunk) {
      notKept->push_back(std::to_string(wav.FileSize() - end) + " bytes after the RIFF body are too many to keep");
    } else {
      hr = ReadRange(wav, end, wav.FileSize(), &trailing.bytes);
      if (cv::Failed(hr)) return hr;
      layout->pieces.push_back(std::move(trailing));
    }
  }
  return cv::kS_OK;
}

std::vector<uint8_t> SerializeLayout(const SourceLayout& layout) {
  std::vector<uint8_t> out;
  PutU32(out, kLayoutVersion);
  PutU32(out, layout.converted ? 1 : 0);
  out.insert(out.end(), layout.metadataDigest.begin(), layout.metadataDigest.end());
  out.insert(out.end(), layout.riffHeader, layout.riffHeader + sizeof layout.riffHeader);
  PutU32(out, static_cast<uint32_t>(layout.pieces.size()));
  for (const SourcePiece& piece : layout.pieces) {
    PutU32(out, static_cast<uint32_t>(piece.kind));
    PutU32(out, static_cast<uint32_t>(piece.bytes.size()));
    out.insert(out.end(), piece.bytes.begin(), piece.bytes.end());
  }
  return out;
}

bool ParseLayout(const std::vector<uint8_t>& bytes, SourceLayout* layout) {
  const size_t fixed = 8 + layout->metadataDigest.size() + sizeof layout->riffHeader + 4;
  if (bytes.size() < fixed || cv::LoadU32(bytes.data()) != kLayoutVersion) return false;
  const uint8_t* p = bytes.data() + 4;
  layout->converted = cv::LoadU32(p) & 1;
  p += 4;
  std::memcpy(layout->metadataDigest.data(), p, layout->metadataDigest.size());
  p += layout->metadataDigest.size();
  std::memcpy(layout->riffHeader, p, sizeof layout->riffHeader);
  p += sizeof layout->riffHeader;
  const uint32_t count = cv::LoadU32(p);
  size_t at = fixed;
  layout->pieces.clear();
  for (uint32_t i = 0; i < count; ++i) {
    if (bytes.size() - at < 8) return false;
    const uint32_t kind = cv::LoadU32(bytes.data() + at);
    const uint32_t length = cv::LoadU32(bytes.data() + at + 4);
    at += 8;
    if (kind < 1 || kind > 7 || bytes.size() - at < length) return false;
    layout->pieces.push_back({static_cast<PieceKind>(kind), {bytes.begin() + at, bytes.begin() + at + length}});
    at += length;
  }
  return at == bytes.size();
}

cv::Md5::Digest DigestOfMetadata(const std::vector<uint8_t>& metadataChunks) {
  cv::Md5 md5;
  md5.Update(metadataChunks.data(), metadataChunks.size());
  return md5.Finish();
}

}  // namespace qlatool
