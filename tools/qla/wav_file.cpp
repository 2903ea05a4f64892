#include "tools/qla/wav_file.h"

#include "krn/results.h"
#include "krn/wav_reader.h"

#include <cstdio>
#include <cstring>

namespace qlatool {
namespace {

constexpr uint64_t kMaxRiffSize = 0xFFFFFFFFull;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// The stored source exactly: header, pieces, the audio in the data chunk.
void PlanExact(const SourceLayout& stored, WavPlan* plan) {
  plan->head.assign(stored.riffHeader, stored.riffHeader + sizeof stored.riffHeader);
  std::vector<uint8_t>* out = &plan->head;
  for (const SourcePiece& piece : stored.pieces) {
    Append(*out, piece.bytes);
    if (piece.kind == PieceKind::kAudioHeader) out = &plan->tail;
  }
}

}  // namespace

WAVEFORMATEX PcmFormat(uint32_t channels, uint32_t sampleRate, uint32_t bits) {
  WAVEFORMATEX f{};
  f.wFormatTag = 1;
  f.nChannels = static_cast<WORD>(channels);
  f.nSamplesPerSec = sampleRate;
  f.nBlockAlign = static_cast<WORD>(channels * (bits / 8));
  f.nAvgBytesPerSec = sampleRate * f.nBlockAlign;
  f.wBitsPerSample = static_cast<WORD>(bits);
  f.cbSize = 0;
  return f;
}

HRESULT ByteSink::Create(const std::string& path) {
  file_.Reset(cvplat::CreateFileAnsi(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN));
  return file_.IsValid() ? cv::kS_OK : cv::CVERR_FILE_CREATE;
}

void ByteSink::UseStandardOutput() { standardOutput_ = true; }

void ByteSink::Reserve(uint64_t bytes) {
  if (standardOutput_ || !file_.IsValid()) return;
  spaceSetAside_ = cvplat::ReserveFileSpace(file_.Get(), bytes);
  reserved_ = bytes;
}

void ByteSink::Close() {
  // A file that ends short of its reservation (a failed decode) would keep the
  // rest allocated past its end.
  if (file_.IsValid() && written_ < reserved_) static_cast<void>(cvplat::SetEndOfFileHere(file_.Get()));
  file_.Reset();
}

HRESULT ByteSink::Write(const void* bytes, size_t count) {
  if (count == 0) return cv::kS_OK;
  if (standardOutput_) return std::fwrite(bytes, 1, count, stdout) == count ? cv::kS_OK : cv::CVERR_FILE_WRITE;
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  while (count) {
    const DWORD piece = count > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!cvplat::WriteFileBytes(file_.Get(), p, piece, &written) || written != piece) return cv::CVERR_FILE_WRITE;
    p += piece;
    count -= piece;
    written_ += piece;
  }
  if (!spaceSetAside_) writeBack_.Written(file_.Get(), written_);
  return cv::kS_OK;
}

HRESULT ByteSink::Flush() {
  if (standardOutput_) return std::fflush(stdout) == 0 ? cv::kS_OK : cv::CVERR_FILE_WRITE;
  return cv::kS_OK;
}

[[nodiscard]] HRESULT PlanWav(const WAVEFORMATEX& pcm, uint64_t frames, const SourceLayout* stored,
                const std::vector<uint8_t>& metadata, WavPlan* plan) {
  plan->head.clear();
  plan->tail.clear();
  plan->metadataChanged = stored && DigestOfMetadata(metadata) != stored->metadataDigest;
  if (stored && !stored->converted && !plan->metadataChanged) {
    PlanExact(*stored, plan);
    return cv::kS_OK;
  }
  // A plain file: the source's format chunk when the samples are its own, the
  // chunks that the metadata does not carry in their order, the current metadata.
  const uint64_t audioBytes = frames * pcm.nBlockAlign;
  std::vector<uint8_t> before, after;
  std::vector<uint8_t>* out = &before;
  bool haveFormat = false;
  if (stored) {
    for (const SourcePiece& piece : stored->pieces) {
      if (piece.kind == PieceKind::kVerbatim) Append(*out, piece.bytes);
      if (piece.kind == PieceKind::kFormat && !piece.bytes.empty()) {
        Append(*out, piece.bytes);
        haveFormat = true;
      }
      if (piece.kind == PieceKind::kAudioHeader) out = &after;
    }
  }
  plan->head = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  if (!haveFormat) {
    PutU32(plan->head, cv::ChunkId("fmt "));
    PutU32(plan->head, 16);
    const uint8_t* format = reinterpret_cast<const uint8_t*>(&pcm);
    plan->head.insert(plan->head.end(), format, format + 16);
  }
  Append(plan->head, before);
  PutU32(plan->head, cv::ChunkId("data"));
  PutU32(plan->head, static_cast<uint32_t>(audioBytes));
  if (audioBytes & 1) plan->tail.push_back(0);
  Append(plan->tail, after);
  Append(plan->tail, metadata);
  const uint64_t riffSize = plan->head.size() - 8 + audioBytes + plan->tail.size();
  if (audioBytes > kMaxRiffSize || riffSize > kMaxRiffSize) return cv::CVERR_FILE_WRITE;
  plan->head[4] = static_cast<uint8_t>(riffSize);
  plan->head[5] = static_cast<uint8_t>(riffSize >> 8);
  plan->head[6] = static_cast<uint8_t>(riffSize >> 16);
  plan->head[7] = static_cast<uint8_t>(riffSize >> 24);
  return cv::kS_OK;
}

}  // namespace qlatool
