#include "ffplugs/cvla/reader/qla_reader.h"

#include "ffplugs/cvla/plugin_texts.h"
#include "ffplugs/cvla/host_records.h"
#include "ffplugs/cvla/reader/qla_metadata.h"
#include "ffplugs/cvla/reader/qla_stream.h"
#include "ffplugs/cvla/reader/stream_texts.h"
#include "krn/com_guard.h"
#include "krn/messages.h"
#include "krn/platform/codepage.h"
#include "krn/platform/file.h"
#include "krn/platform/memory.h"
#include "krn/results.h"

#include <cstring>
#include <string>

namespace cvla {

namespace {

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

}  // namespace

QlaReader::QlaReader(cv::ICvFileType* fileType) : fileType_(fileType), file_(INVALID_HANDLE_VALUE) {}

void* QlaReader::FindInterface(REFIID iid) {
  if (iid != cv::IID_ICvFileReader && iid != cv::kIID_IUnknown) return nullptr;
  return static_cast<cv::ICvFileReader*>(this);
}

void QlaReader::Destroy() {
  Close();
  if (streams_) {
    for (uint32_t i = 0; i < kReaderStreamCount; ++i)
      if (streams_[i].stream) streams_[i].stream->Destroy();
    cvplat::GlobalFreeBlock(streams_);
    streams_ = nullptr;
  }
  DiscardFormat();
  if (metadata_) {
    metadata_->Destroy();
    metadata_ = nullptr;
  }
  cvplat::DeleteZeroed(this);
}

HRESULT QlaReader::GetFileType(cv::ICvFileType** out) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (!fileType_) return cv::kE_NOTIMPL;
  fileType_->AddRef();
  *out = fileType_;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::GetTypeName(wchar16* buffer, uint32_t length) try {
  cvplat::CopyAnsiToWideBuffer(PlugInText(text::kFileTypeName), buffer, length);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::StreamText(uint32_t kind, wchar16* buffer, uint32_t length) {
  if (buffer && length) buffer[0] = 0;
  HRESULT hr = EnsureParsed();
  if (cv::Failed(hr)) return hr;
  QlaStream* stream = nullptr;
  hr = EnsureStream(0, &stream);
  if (cv::Failed(hr)) return hr;
  HRESULT result = cv::kS_OK;
  std::string text = cvla::StreamText(kind, info_.format, &result);
  cvplat::CopyAnsiToWideBuffer(text.c_str(), buffer, length);
  return result;
}

HRESULT QlaReader::GetStreamText(wchar16* buffer, uint32_t length, uint32_t, uint32_t kind) try {
  return StreamText(kind, buffer, length);
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::GetStreamValueAlias(void* buffer, uint32_t size, uint32_t kind) try {
  if (kind != 1) return cv::kS_FALSE;
  return GetStreamValue(buffer, size, 0, kStreamValueBitRate);
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::GetStreamValue(void* buffer, uint32_t size, uint32_t flag, uint32_t kind) try {
  HRESULT hr = EnsureParsed();
  if (cv::Failed(hr)) return hr;
  if (flag != 0) return cv::kS_OK;
  if (kind != kStreamValueBitRate || !buffer || size < sizeof(uint64_t)) return cv::kS_FALSE;
  uint64_t value = info_.format.nAvgBytesPerSec;
  std::memcpy(buffer, &value, sizeof(value));
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::Reserved8() { return cv::kE_NOTIMPL; }

HRESULT QlaReader::Close() try {
  QlaStream* stream = ExistingStream(0);
  if (stream) stream->Stop();
  if (file_ != INVALID_HANDLE_VALUE) cvplat::CloseFile(file_);
  file_ = INVALID_HANDLE_VALUE;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::IsClosed() { return file_ == INVALID_HANDLE_VALUE ? cv::kS_FALSE : cv::kS_OK; }

HRESULT QlaReader::Open(uint32_t, uint32_t) try {
  Close();
  std::string name = cvplat::WideToAnsiString(fileName_);
  if (name.size() >= kMaxFileName) name.resize(kMaxFileName - 1);
  if (parsed_) {
    cvplat::UniqueFile check(cvplat::CreateFileAnsi(name.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
    if (!check.IsValid()) return cv::ResultFromWin32Error(cvplat::LastError());
    FILETIME now{};
    // A time that cannot be read counts as a change: parsing again is always right.
    if (!cvplat::GetLastWriteTime(check.Get(), &now) || !SameTime(now, lastWrite_)) {
      DiscardFormat();
      if (cv::Failed(ParseFrom(check.Get()))) return cv::CVERR_FILE_CORRUPT;
    }
    QlaStream* stream = ExistingStream(0);
    if (stream) stream->Reinitialize(&streams_[0]);
  }
  file_ = cvplat::CreateFileAnsi(name.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (file_ == INVALID_HANDLE_VALUE) return cv::ResultFromWin32Error(cvplat::LastError());
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::SetFileName(const wchar16* name) try {
  if (file_ != INVALID_HANDLE_VALUE) return cv::kE_FAIL;
  std::memset(fileName_, 0, sizeof(fileName_));
  if (!name) return cv::kS_OK;
  for (uint32_t i = 0; i < kMaxFileName && name[i]; ++i) fileName_[i] = name[i];
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::GetFileName(wchar16* buffer, uint32_t length) try {
  if (!buffer || length == 0) return cv::kE_POINTER;
  uint32_t i = 0;
  for (; i + 1 < length && fileName_[i]; ++i) buffer[i] = fileName_[i];
  buffer[i] = 0;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::GetDuration(uint64_t* out) try {
  if (!out) return cv::kE_POINTER;
  HRESULT hr = EnsureParsed();
  if (cv::Failed(hr)) return hr;
  *out = FramesToDuration(info_.totalFrames, info_.format.nSamplesPerSec);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::GetStreamCount(uint32_t* out) try {
  if (!out) return cv::kE_POINTER;
  *out = kReaderStreamCount;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::GetAttributes(uint32_t* out) try {
  if (fileType_) fileType_->GetAttributes(out);
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::GetStreamInfos(cv::StreamInfoRecord* records, uint32_t first, uint32_t count) try {
  if (!records || first > kReaderStreamCount || count > kReaderStreamCount - first) return cv::kE_INVALIDARG;
  HRESULT last = cv::kS_OK;
  for (uint32_t i = 0; i < count; ++i) {
    cv::StreamInfoRecord& record = records[i];
    QlaStream* stream = nullptr;
    HRESULT hr = EnsureStream(first + i, &stream);
    if (cv::Failed(hr)) {
      last = hr;
      continue;
    }
    record.streamType = streams_[first + i].type;
    if (record.streamType != kStreamTypeAudio) continue;
    // The record is packed to 4 bytes: its 64-bit field is filled through a local.
    uint32_t formatNeeded = 0, extraNeeded = 0;
    hr = stream->GetFormat(record.formatBuffer, record.formatSize, &formatNeeded, record.extraBuffer,
                           record.extraSize, &extraNeeded);
    record.formatNeeded = formatNeeded;
    record.extraNeeded = extraNeeded;
    if (cv::Failed(hr)) last = hr;
    uint64_t frames = 0;
    if (cv::Failed(stream->GetLength(&frames))) frames = 0;
    record.totalFrames = frames;
  }
  return last;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::GetStreamType(uint32_t index, uint32_t* type, uint32_t* second) try {
  if (index >= kReaderStreamCount) return cv::kE_INVALIDARG;
  StreamEntry entry{};
  entry.type = kStreamTypeAudio;
  if (streams_) entry = streams_[index];
  if (type) *type = entry.type;
  if (second) *second = entry.second;
  return cv::kS_OK;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::FindStream(uint32_t n, uint32_t type, uint32_t* index) try {
  uint32_t seen = 0;
  for (uint32_t i = 0; i < kReaderStreamCount; ++i) {
    uint32_t streamType = streams_ ? streams_[i].type : kStreamTypeAudio;
    if (streamType != type) continue;
    if (seen++ == n) {
      if (index) *index = i;
      return cv::kS_OK;
    }
  }
  return cv::kE_INVALIDARG;
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::ResolveStreamIndex(uint32_t type, uint32_t n, uint32_t* index) {
  if (type == kAnyStreamType) {
    if (n >= kReaderStreamCount) return cv::kE_INVALIDARG;
    *index = n;
    return cv::kS_OK;
  }
  return FindStream(n, type, index);
}

HRESULT QlaReader::ConfigureIndex(uint32_t index, const void* renderTemplate, QlaStream** stream) {
  if (index >= kReaderStreamCount) return cv::kE_INVALIDARG;
  HRESULT hr = EnsureStream(index, stream);
  if (cv::Failed(hr)) return hr;
  // The template's format record: its WAVEFORMATEX and its extra data.
  const auto* record = static_cast<const qla::RenderTemplate*>(renderTemplate);
  if (!record || !record->format) return (*stream)->SetOutputFormat(nullptr, nullptr);
  uint32_t extra[qla::kTemplateExtraValues];
  qla::TemplateExtraData(*record->format, extra);
  return (*stream)->SetOutputFormat(&record->format->format, extra);
}

HRESULT QlaReader::GetStream(cv::ICvAudioStreamEx** out, uint32_t type, uint32_t n, uint32_t, uint32_t,
                             const void* renderTemplate) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  uint32_t index = 0;
  HRESULT hr = ResolveStreamIndex(type, n, &index);
  if (cv::Failed(hr)) return hr;
  QlaStream* stream = nullptr;
  hr = ConfigureIndex(index, renderTemplate, &stream);
  if (cv::Failed(hr)) return hr;
  return stream->QueryInterface(cv::IID_ICvAudioStreamEx, reinterpret_cast<void**>(out));
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::ConfigureStream(uint32_t index, uint32_t, uint32_t, const void* renderTemplate) try {
  QlaStream* stream = nullptr;
  return ConfigureIndex(index, renderTemplate, &stream);
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::GetMetadata(cv::ICvMetadataSource** out) try {
  if (!out) return cv::kE_POINTER;
  *out = nullptr;
  if (!metadata_) {
    metadata_ = cvplat::NewZeroed<QlaMetadata>(this);
    if (!metadata_) return cv::kE_OUTOFMEMORY;
  }
  return metadata_->QueryInterface(cv::kIID_ICvMetadataSource, reinterpret_cast<void**>(out));
} CV_COM_CATCH_RETURN()

HRESULT QlaReader::EnsureParsed() {
  if (parsed_) return cv::kS_OK;
  return ParseFrom(file_);
}

HRESULT QlaReader::ParseFrom(HANDLE file) {
  DiscardFormat();
  FILETIME written{};
  // Unknown, the time stays zero, which no later query matches: the next open parses again.
  if (!cvplat::GetLastWriteTime(file, &written)) written = FILETIME{};
  qla::QlaContainerInfo info{};
  HRESULT hr = qla::ParseContainer(file, &info);
  if (cv::Failed(hr)) return hr;
  info_ = info;
  lastWrite_ = written;
  parsed_ = true;
  if (streams_) FillEntry(&streams_[0]);
  return cv::kS_OK;
}

void QlaReader::DiscardFormat() {
  parsed_ = false;
  std::memset(&info_, 0, sizeof(info_));
}

void QlaReader::FillEntry(StreamEntry* entry) const {
  entry->type = kStreamTypeAudio;
  entry->second = 0;
  entry->duration = FramesToDuration(info_.totalFrames, info_.format.nSamplesPerSec);
  entry->totalFrames = static_cast<uint32_t>(info_.totalFrames);
  entry->dataSize = info_.dataSize;
}

QlaStream* QlaReader::ExistingStream(uint32_t index) const {
  if (!streams_ || index >= kReaderStreamCount) return nullptr;
  return streams_[index].stream;
}

HRESULT QlaReader::EnsureStream(uint32_t index, QlaStream** out) {
  *out = nullptr;
  if (index >= kReaderStreamCount) return cv::kE_INVALIDARG;
  if (!streams_) {
    streams_ = static_cast<StreamEntry*>(cvplat::GlobalAllocZero(sizeof(StreamEntry) * kReaderStreamCount));
    if (!streams_) return cv::kE_OUTOFMEMORY;
    for (uint32_t i = 0; i < kReaderStreamCount; ++i) streams_[i].type = kStreamTypeAudio;
  }
  StreamEntry& entry = streams_[index];
  if (entry.stream) {
    *out = entry.stream;
    return cv::kS_OK;
  }
  HRESULT hr = EnsureParsed();
  if (cv::Failed(hr)) return hr;
  FillEntry(&entry);
  QlaStream* stream = cvplat::NewZeroed<QlaStream>(this, index, entry.type, entry.second);
  if (!stream) return cv::CVERR_FILE_OPEN;
  hr = stream->Initialize(entry);
  if (cv::Failed(hr)) {
    stream->Destroy();
    return hr;
  }
  entry.stream = stream;
  *out = stream;
  return cv::kS_OK;
}

}  // namespace cvla
