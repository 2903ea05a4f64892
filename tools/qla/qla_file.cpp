#include "tools/qla/qla_file.h"

#include "ffplugs/cvla/module/inproc_host.h"
#include "ffplugs/cvla/reader/delivered_digest.h"
#include "krn/com_ptr.h"
#include "krn/metadata_io.h"
#include "krn/platform/codepage.h"
#include "krn/platform/file.h"
#include "krn/platform/tool_io.h"
#include "krn/wav_reader.h"
#include "krn/results.h"
#include "tools/qla/system_text.h"

#include <mutex>

namespace qlatool {

void AttachPlugIn() {
  static std::once_flag once;
  std::call_once(once, [] { cvla::StartInProcess(); });
}

QlaFile::~QlaFile() {
  if (stream_) stream_->Release();
  if (reader_) {
    reader_->Close();
    reader_->Release();
  }
  if (fileType_) fileType_->Release();
}

std::string WhyNotOpened(const std::string& path, HRESULT* result) {
  if (cvplat::IsDirectory(path)) return "a folder, not a .qla file";
  cvplat::UniqueFile probe(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  if (!probe.IsValid()) return cvplat::LastErrorText();
  if (*result != cv::CVERR_NO_RIFF_HEADER) return std::string();
  cv::WavReader wav;
  std::string problem;
  const HRESULT asWav = wav.Attach(std::move(probe), cv::WavReadOptions{}, &problem);
  if (cv::Failed(asWav) && asWav != cv::CVERR_NO_RIFF_HEADER) return std::string();  // a damaged RIFF file
  *result = cv::CVERR_UNSUPPORTED_FILE_TYPE;
  if (cv::Succeeded(asWav)) return std::string(wav.IsRf64() ? "an RF64 WAVE file" : "a WAVE file") +
                    ", not a .qla file: qla encode turns it into one";
  return "not a .qla file";
}

HRESULT QlaFile::Open(const std::string& path) {
  AttachPlugIn();
  HRESULT hr = cvla::CreatePlugInObject(cv::IID_ICvFileType, reinterpret_cast<void**>(&fileType_));
  if (cv::Failed(hr)) return hr;

  // The host reads the first bytes itself and asks the file type about them.
  HANDLE file = cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN);
  if (file == INVALID_HANDLE_VALUE) return ResultOfLastSystemError();
  uint8_t bytes[cvla::kHostHeaderBytes] = {};
  DWORD got = 0;
  if (!cvplat::ReadFileBytes(file, bytes, sizeof bytes, &got)) got = 0;  // the check then refuses the file
  hr = fileType_->CheckHeader(file, bytes, got, 0);
  if (hr != cv::kS_OK) {  // S_FALSE too: the file type does not claim the file
    cvplat::CloseFile(file);
    return cv::Failed(hr) ? hr : cv::CVERR_NO_RIFF_HEADER;
  }
  // CreateReader takes over the handle.
  cvplat::WideString widePath = cvplat::AnsiToWideString(path);
  hr = fileType_->CreateReader(&reader_, file, widePath.c_str(), 1);
  if (cv::Failed(hr)) return hr;
  hr = reader_->GetStream(&stream_, 1, 0, 0, 0, nullptr);
  if (cv::Failed(hr)) return hr;
  uint32_t needed = 0, extraNeeded = 0;
  hr = stream_->GetFormat(&format_, sizeof format_, &needed, nullptr, 0, &extraNeeded);
  if (cv::Failed(hr)) return hr;
  return stream_->GetLength(&frames_);
}

bool QlaFile::HashDelivered(cv::Md5* md5) {
  if (!stream_) return false;
  cv::ComPtr<cvla::IQlaDeliveredDigest> digest;
  if (cv::Failed(stream_->QueryInterface(cvla::IID_IQlaDeliveredDigest, digest.PutVoid())) || !digest) return false;
  return cv::Succeeded(digest->SetDeliveredDigest(md5));
}

HRESULT QlaFile::Read(uint64_t position, void* buffer, uint32_t count, uint32_t* got) {
  *got = 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  while (*got < count) {
    uint32_t n = 0;
    HRESULT hr = stream_->Read(position + *got, out + static_cast<size_t>(*got) * format_.nBlockAlign,
                               count - *got, &n);
    if (cv::Failed(hr)) return hr;
    if (hr == cv::kS_FALSE || n == 0) break;
    *got += n;
  }
  return cv::kS_OK;
}

HRESULT QlaFile::Metadata(cv::ICvMetadataSource** out) { return reader_->GetMetadata(out); }

HRESULT QlaFile::MetadataChunks(std::vector<uint8_t>* chunks) {
  chunks->clear();
  cv::ICvMetadataSource* source = nullptr;
  HRESULT hr = Metadata(&source);
  if (hr == cv::kE_NOTIMPL) return cv::kS_OK;  // a reader without metadata
  if (cv::Failed(hr)) return hr;
  hr = cv::BuildMetadataChunks(format_.nSamplesPerSec, source, chunks);
  source->Release();
  return cv::Failed(hr) ? hr : cv::kS_OK;
}

}  // namespace qlatool
