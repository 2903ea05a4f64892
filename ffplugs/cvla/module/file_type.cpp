#include "ffplugs/cvla/module/file_type.h"

#include "ffplugs/cvla/module/host_language.h"
#include "ffplugs/cvla/module/module_state.h"
#include "ffplugs/cvla/plugin_texts.h"
#include "ffplugs/cvla/qla_format.h"
#include "ffplugs/cvla/reader/qla_reader.h"
#include "krn/com_guard.h"
#include "krn/platform/codepage.h"
#include "krn/platform/file.h"
#include "krn/platform/memory.h"
#include "krn/results.h"

#include <cstring>
#include <string>

namespace cvla {

namespace {

bool HasId(const uint8_t* bytes, const char* id) { return std::memcmp(bytes, id, 4) == 0; }

// The ANSI form of a path, at most 259 bytes and a terminator.
std::string AnsiPath(const wchar16* path) {
  if (!path) return std::string();
  std::string ansi = cvplat::WideToAnsiString(path);
  constexpr size_t kMaxPath = 260;
  if (ansi.size() >= kMaxPath) ansi.resize(kMaxPath - 1);
  return ansi;
}

}  // namespace

[[nodiscard]] HRESULT CheckQuartzlineHeader(const uint8_t* bytes, uint32_t count) {
  if (count < 12 || !bytes) return cv::CVERR_NO_RIFF_HEADER;
  if (!HasId(bytes, "RIFF")) return cv::CVERR_NO_RIFF_HEADER;
  if (!HasId(bytes + 8, "WAVE")) return cv::CVERR_NO_RIFF_HEADER;
  if (qla::LoadU32(bytes + 4) == 0) return cv::CVERR_NO_RIFF_HEADER;
  if (count < kMinHeaderBytes) return cv::CVERR_NO_RIFF_HEADER;
  if (!HasId(bytes + 12, "fmt ")) return cv::CVERR_NO_RIFF_HEADER;
  if (qla::LoadU16(bytes + 20) != qla::WAVE_FORMAT_QUARTZLINE) return cv::CVERR_NO_RIFF_HEADER;
  return cv::kS_OK;
}

void FillDescriptorStrings(const char* description, wchar16* descriptionBuffer, uint32_t descriptionLength,
                           const char* filter, wchar16* filterBuffer, uint32_t filterLength, const char* name,
                           wchar16* nameBuffer, uint32_t nameLength) {
  cvplat::CopyAnsiToWideBuffer(description, descriptionBuffer, descriptionLength);
  cvplat::CopyAnsiToWideBuffer(filter, filterBuffer, filterLength);
  cvplat::CopyAnsiToWideBuffer(name, nameBuffer, nameLength);
}

void* QlaFileType::FindInterface(REFIID iid) {
  if (iid != cv::IID_ICvFileType && iid != cv::kIID_IUnknown) return nullptr;
  return static_cast<cv::ICvFileType*>(this);
}

HRESULT QlaFileType::SetIndex(uint32_t index) try {
  index_ = index;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

uint32_t QlaFileType::GetIndex() { return index_; }

HRESULT QlaFileType::SetHost(cv::ICvFileHost* host) try {
  host_ = host;
  ApplyHostLanguage(host);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaFileType::GetClassGuid(GUID* out) try {
  if (!out) return cv::kE_POINTER;
  *out = cv::FileTypeClassGuid;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaFileType::GetAttributes(uint32_t* out) try {
  if (!out) return cv::kE_POINTER;
  *out = kFileTypeAttributes;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaFileType::GetFlags(uint32_t* out) try {
  if (!out) return cv::kE_POINTER;
  *out = Module().fileTypeFlags;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaFileType::FindRenderer(void* out) try {
  if (!host_) return cv::kE_FAIL;
  return host_->FindRenderer(out, &cv::RendererClassGuid);
} CV_COM_CATCH_RETURN()

HRESULT QlaFileType::GetStrings(wchar16* description, uint32_t descriptionLength, wchar16* filter,
                                uint32_t filterLength, wchar16* name, uint32_t nameLength) try {
  FillDescriptorStrings(PlugInText(text::kFileTypeDescription), description, descriptionLength,
                        PlugInText(text::kFileTypeFilter), filter, filterLength, PlugInText(text::kFileTypeName),
                        name, nameLength);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaFileType::CheckHeader(HANDLE, const uint8_t* bytes, uint32_t count, uint32_t) try {
  return CheckQuartzlineHeader(bytes, count);
} CV_COM_CATCH_RETURN()

HRESULT QlaFileType::CheckFile(const wchar16* path) try {
  std::string name = AnsiPath(path);
  cvplat::UniqueFile file(cvplat::CreateFileAnsi(name.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                                 FILE_FLAG_SEQUENTIAL_SCAN));
  if (!file.IsValid()) return cv::CVERR_NO_RIFF_HEADER;
  uint8_t bytes[kCheckFileBytes] = {};
  DWORD read = 0;
  if (cvplat::SetFilePosition(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
      !cvplat::ReadFileBytes(file.Get(), bytes, kCheckFileBytes, &read))
    return cv::CVERR_FILE_READ;
  return CheckHeader(file.Get(), bytes, read, 0);
} CV_COM_CATCH_RETURN()

HRESULT QlaFileType::CreateReader(cv::ICvFileReader** out, HANDLE file, const wchar16* path, uint32_t open) try {
  // The caller's handle (used for the first bytes) is consumed in every case.
  cvplat::UniqueFile callerHandle(file);
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  QlaReader* reader = cvplat::NewZeroed<QlaReader>(this);
  if (!reader) return cv::kE_OUTOFMEMORY;
  // A new reader answers its own interface, and with no file open it takes any name.
  static_cast<void>(reader->QueryInterface(cv::IID_ICvFileReader, reinterpret_cast<void**>(out)));
  static_cast<void>(reader->SetFileName(path));
  HRESULT hr = cv::kS_OK;
  if (open != 0) hr = reader->Open(0, kReaderOpenFlags);
  return hr;
} CV_COM_CATCH_RETURN()

HRESULT QlaFileType::Reserved14(uint32_t, uint32_t) { return cv::kE_NOTIMPL; }

}  // namespace cvla
