// QlaReader: the host's reader of one ".qla" file. It parses the container on
// first use, owns the file handle, the stream table with its one QlaStream and
// the metadata object.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "ffplugs/cvla/reader/container.h"
#include "ffplugs/cvla/reader/stream_entry.h"
#include "krn/com_object.h"

#include <cstdint>

namespace cvla {

class QlaStream;
class QlaMetadata;

constexpr uint32_t kReaderOpenFlags = 0x20;
constexpr uint32_t kMaxFileName = 260;
constexpr uint32_t kReaderStreamCount = 1;
constexpr uint32_t kAnyStreamType = 0xFFFFFFFFu;

class QlaReader final : public cv::ComObject<QlaReader, cv::AtomicCount, cv::ICvFileReader> {
 public:
  explicit QlaReader(cv::ICvFileType* fileType);

  void* FindInterface(REFIID iid);
  HRESULT CV_STDCALL GetFileType(cv::ICvFileType** out) override;
  HRESULT CV_STDCALL GetTypeName(wchar16* buffer, uint32_t length) override;
  HRESULT CV_STDCALL GetStreamText(wchar16* buffer, uint32_t length, uint32_t reserved, uint32_t kind) override;
  HRESULT CV_STDCALL GetStreamValueAlias(void* buffer, uint32_t size, uint32_t kind) override;
  HRESULT CV_STDCALL GetStreamValue(void* buffer, uint32_t size, uint32_t flag, uint32_t kind) override;
  HRESULT CV_STDCALL Reserved8() override;
  HRESULT CV_STDCALL Close() override;
  HRESULT CV_STDCALL IsClosed() override;
  HRESULT CV_STDCALL Open(uint32_t unused1, uint32_t unused2) override;
  HRESULT CV_STDCALL SetFileName(const wchar16* name) override;
  HRESULT CV_STDCALL GetFileName(wchar16* buffer, uint32_t length) override;
  HRESULT CV_STDCALL GetDuration(uint64_t* out) override;
  HRESULT CV_STDCALL GetStreamCount(uint32_t* out) override;
  HRESULT CV_STDCALL GetAttributes(uint32_t* out) override;
  HRESULT CV_STDCALL GetStreamInfos(cv::StreamInfoRecord* records, uint32_t first, uint32_t count) override;
  HRESULT CV_STDCALL GetStreamType(uint32_t index, uint32_t* type, uint32_t* second) override;
  HRESULT CV_STDCALL FindStream(uint32_t n, uint32_t type, uint32_t* index) override;
  HRESULT CV_STDCALL GetStream(cv::ICvAudioStreamEx** out, uint32_t type, uint32_t n, uint32_t reserved1,
                               uint32_t reserved2, const void* renderTemplate) override;
  HRESULT CV_STDCALL ConfigureStream(uint32_t index, uint32_t reserved1, uint32_t reserved2,
                                     const void* renderTemplate) override;
  HRESULT CV_STDCALL GetMetadata(cv::ICvMetadataSource** out) override;
  // Slot 23: closes the file, deletes the stream and the metadata object, frees
  // the reader.
  virtual void CV_STDCALL Destroy();
  void FinalRelease() { Destroy(); }

  // What the stream and the metadata object use.
  HANDLE FileHandle() const { return file_; }
  bool HasFormat() const { return parsed_; }
  const WAVEFORMATEX* Format() const { return parsed_ ? &info_.format : nullptr; }
  const qla::QlaContainerInfo& Container() const { return info_; }
  const wchar16* FileName() const { return fileName_; }
  // Parses on first use; S_OK when the format is known.
  [[nodiscard]] HRESULT EnsureParsed();
  // The stream of an index, created on first need.
  [[nodiscard]] HRESULT EnsureStream(uint32_t index, QlaStream** out);
  // The stream of an index when it exists (tests look at its counters).
  QlaStream* ExistingStream(uint32_t index) const;

 private:
  [[nodiscard]] HRESULT ParseFrom(HANDLE file);
  void DiscardFormat();
  void FillEntry(StreamEntry* entry) const;
  [[nodiscard]] HRESULT StreamText(uint32_t kind, wchar16* buffer, uint32_t length);
  [[nodiscard]] HRESULT ResolveStreamIndex(uint32_t type, uint32_t n, uint32_t* index);
  [[nodiscard]] HRESULT ConfigureIndex(uint32_t index, const void* renderTemplate, QlaStream** stream);

  cv::ICvFileType* fileType_;  // not counted: the file type outlives its readers
  wchar16 fileName_[kMaxFileName + 1] = {};
  HANDLE file_;
  FILETIME lastWrite_{};
  bool parsed_ = false;
  qla::QlaContainerInfo info_{};
  StreamEntry* streams_ = nullptr;
  QlaMetadata* metadata_ = nullptr;
};

}  // namespace cvla
