// A read-only IStream over a record list, the form in which markers, INFO
// fields and loop records travel to the host:
//   u32 12, u32 100, u32 record count, then the records one after another.
// Positions are record numbers, not byte offsets. The stream does not own the
// list; the list and its records must outlive the stream.
#pragma once

#include "krn/com_object.h"
#include "krn/platform/win_types.h"
#include "krn/record_list.h"

#include <cstdint>

namespace cv {

enum class MemoryStreamKind {
  kMarker,  // record length: header size + name size
  kInfo,    // record length: header size + text size
  kLoop,    // record length: 32
};

constexpr uint32_t kStreamHeaderSize = 12;
constexpr uint32_t kStreamHeaderTag = 100;

class MemoryStream : public ComObject<MemoryStream, AtomicCount, IStream> {
 public:
  // A kind's length rule: the stream length of a record whose block holds
  // `available` bytes (SIZE_MAX when unknown); never more than `available`.
  using LengthRule = uint32_t (*)(const uint8_t* record, size_t available);

  // IUnknown: answers IUnknown and IStream.
  void* FindInterface(REFIID iid);

  // ISequentialStream / IStream. Everything from Write on except Seek answers
  // E_NOTIMPL without effect.
  HRESULT CV_STDCALL Read(void* buffer, ULONG count, ULONG* read) override;
  HRESULT CV_STDCALL Write(const void* buffer, ULONG count, ULONG* written) override;
  HRESULT CV_STDCALL Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
  HRESULT CV_STDCALL SetSize(ULARGE_INTEGER size) override;
  HRESULT CV_STDCALL CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                            ULARGE_INTEGER* written) override;
  HRESULT CV_STDCALL Commit(DWORD flags) override;
  HRESULT CV_STDCALL Revert() override;
  HRESULT CV_STDCALL LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) override;
  HRESULT CV_STDCALL UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) override;
  HRESULT CV_STDCALL Stat(STATSTG* stat, DWORD flags) override;
  HRESULT CV_STDCALL Clone(IStream** clone) override;

  // Destroys the object; called by the last Release.
  virtual void Destroy() = 0;
  void FinalRelease() { Destroy(); }

  // Hands out a record: a null record clears the memo of the record last handed
  // out and answers S_OK; that record itself answers E_FAIL; any other record is
  // remembered, *data points at it and *length follows the kind's rule.
  virtual HRESULT CV_STDCALL RecordData(const uint8_t* record, const uint8_t** data, uint32_t* length) = 0;

  // Record index while reading: -1 while in the stream header.
  int32_t CurrentIndex() const { return index_; }

 protected:
  explicit MemoryStream(const RecordList* list);
  ~MemoryStream() = default;
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  // RecordData's common part.
  [[nodiscard]] HRESULT HandOut(const uint8_t* record, const uint8_t** data, uint32_t* length, LengthRule rule);

 private:
  // Moves forward over up to `count` bytes as Read does, copying them to `out`
  // unless it is null. *moved: bytes passed; *lastStep: S_OK after copying, the
  // RecordData answer after a record change. Answers S_OK when all `count`
  // bytes were passed, kStreamPastEnd when the records ended first, or the
  // failure of handing out record 0.
  [[nodiscard]] HRESULT Advance(uint8_t* out, uint64_t count, uint64_t* moved, HRESULT* lastStep);
  // Goes to a record boundary (-1: the start of the header) and forgets the
  // record last handed out.
  void Rewind(int32_t index);
  // The size of a record's block in the list, SIZE_MAX when it is not there.
  size_t BlockSize(const uint8_t* record) const;

  const RecordList* list_;
  int32_t index_ = -1;
  uint32_t offset_ = 0;
  uint8_t header_[kStreamHeaderSize] = {};
  const uint8_t* data_ = nullptr;
  uint32_t length_ = 0;
  const uint8_t* handedOut_ = nullptr;
};

// Makes a stream of the given kind over `list` (which may be null: such a stream
// answers 0x800A0026 to Read and Seek) and hands out its first reference as
// IStream. E_POINTER for a null `out`, E_OUTOFMEMORY without memory.
[[nodiscard]] HRESULT CreateMemoryStream(MemoryStreamKind kind, const RecordList* list, IStream** out);

}  // namespace cv
