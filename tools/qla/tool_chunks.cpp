#include "tools/qla/tool_chunks.h"

#include "krn/platform/file.h"
#include "krn/results.h"
#include "krn/riff.h"
#include "tools/qla/system_text.h"

#include <cstring>

namespace qlatool {

[[nodiscard]] HRESULT ListChunks(HANDLE file, std::vector<cv::WavChunk>* chunks) {
  chunks->clear();
  uint64_t size = 0;
  if (!cvplat::GetFileSize64(file, &size)) return ResultOfLastSystemError();
  for (uint64_t position = 12; position + 8 <= size;) {
    uint8_t raw[8];
    if (!cv::SeekTo(file, position) || !cv::ReadExact(file, raw, 8)) return cv::CVERR_FILE_READ;
    cv::WavChunk c;
    std::memcpy(&c.id, raw, 4);
    c.declared = static_cast<uint32_t>(raw[4] | (raw[5] << 8) | (raw[6] << 16)) | (static_cast<uint32_t>(raw[7]) << 24);
    c.offset = position;
    c.bytes = c.declared;
    if (position + 8 + c.bytes > size) c.bytes = size - position - 8;
    chunks->push_back(c);
    position += 8 + c.bytes + (c.bytes & 1);
  }
  return cv::kS_OK;
}

[[nodiscard]] HRESULT ReadChunkBody(const std::string& path, uint32_t id, std::vector<uint8_t>* body) {
  cvplat::UniqueFile file(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  if (!file.IsValid()) return ResultOfLastSystemError();
  std::vector<cv::WavChunk> chunks;
  HRESULT hr = ListChunks(file.Get(), &chunks);
  if (cv::Failed(hr)) return hr;
  for (const cv::WavChunk& c : chunks) {
    if (c.id != id) continue;
    if (c.bytes != c.declared) return cv::CVERR_FILE_CORRUPT;
    body->resize(static_cast<size_t>(c.bytes));
    if (c.bytes && (!cv::SeekTo(file.Get(), c.offset + 8) ||
                    !cv::ReadExact(file.Get(), body->data(), static_cast<uint32_t>(c.bytes))))
      return cv::CVERR_FILE_READ;
    return cv::kS_OK;
  }
  return cv::kS_FALSE;
}

[[nodiscard]] HRESULT AppendChunk(const std::string& path, uint32_t id, const std::vector<uint8_t>& body) {
  cvplat::UniqueFile file(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0));
  if (!file.IsValid()) return ResultOfLastSystemError();
  uint64_t size = 0;
  if (!cvplat::GetFileSize64(file.Get(), &size) || !cv::SeekTo(file.Get(), size)) return cv::CVERR_FILE_WRITE;
  uint32_t total = 0;
  HRESULT hr = cv::WriteChunk(file.Get(), id, body.data(), static_cast<uint32_t>(body.size()), &total);
  if (cv::Failed(hr)) return hr;
  return cv::AddRiffSize(file.Get(), static_cast<int32_t>(total));
}

bool ReadAudioDigest(const std::string& path, cv::Md5::Digest* digest) {
  std::vector<uint8_t> body;
  if (ReadChunkBody(path, kChecksumChunk, &body) != cv::kS_OK || body.size() != digest->size()) return false;
  std::memcpy(digest->data(), body.data(), digest->size());
  return true;
}

std::string AudioDigestCheck::Mismatch() {
  if (!checked_) return std::string();
  const cv::Md5::Digest decoded = md5_.Finish();
  if (stored_ == decoded) return std::string();
  return "the decoded audio does not match its MD5 checksum (stored " + cv::Md5::ToHex(stored_) + ", decoded " +
         cv::Md5::ToHex(decoded) + ")";
}

}  // namespace qlatool
