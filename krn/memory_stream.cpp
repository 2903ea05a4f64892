#include "krn/memory_stream.h"

#include "krn/com_guard.h"
#include "krn/platform/memory.h"
#include "krn/results.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace cv {

namespace {

uint32_t LoadU32At(const uint8_t* p, size_t offset) {
  return static_cast<uint32_t>(p[offset]) | (static_cast<uint32_t>(p[offset + 1]) << 8) |
         (static_cast<uint32_t>(p[offset + 2]) << 16) | (static_cast<uint32_t>(p[offset + 3]) << 24);
}

void StoreU32At(uint8_t* p, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Bounded(uint64_t length, size_t available) {
  const uint64_t limit = std::min<uint64_t>(available, UINT32_MAX);
  return static_cast<uint32_t>(std::min(length, limit));
}

// Header size (offset 0) plus the size of what follows the header (at
// `sizeField`). A block too short to hold the header is delivered as it is.
template <size_t HeaderBytes, size_t SizeField>
uint32_t HeaderPlusBody(const uint8_t* record, size_t available) {
  if (available < HeaderBytes) return static_cast<uint32_t>(available);
  return Bounded(uint64_t{LoadU32At(record, 0)} + LoadU32At(record, SizeField), available);
}

uint32_t MarkerLength(const uint8_t* record, size_t available) {
  return HeaderPlusBody<sizeof(MarkerRecordHeader), offsetof(MarkerRecordHeader, nameSize)>(record, available);
}
uint32_t InfoLength(const uint8_t* record, size_t available) {
  return HeaderPlusBody<sizeof(InfoRecordHeader), offsetof(InfoRecordHeader, textSize)>(record, available);
}
uint32_t LoopLength(const uint8_t*, size_t available) { return Bounded(kLoopRecordSize, available); }

template <MemoryStream::LengthRule Rule>
class KindStream final : public MemoryStream {
 public:
  explicit KindStream(const RecordList* list) : MemoryStream(list) {}

  void Destroy() override { cvplat::DeleteZeroed(this); }

  HRESULT CV_STDCALL RecordData(const uint8_t* record, const uint8_t** data, uint32_t* length) override {
    return HandOut(record, data, length, Rule);
  }
};

using MarkerStream = KindStream<MarkerLength>;
using InfoStream = KindStream<InfoLength>;
using LoopStream = KindStream<LoopLength>;

}  // namespace

MemoryStream::MemoryStream(const RecordList* list) : list_(list) {
  StoreU32At(header_, 0, kStreamHeaderSize);
  StoreU32At(header_, 4, kStreamHeaderTag);
}

void* MemoryStream::FindInterface(REFIID iid) {
  if (iid != kIID_IUnknown && iid != kIID_IStream) return nullptr;
  return static_cast<IStream*>(this);
}

size_t MemoryStream::BlockSize(const uint8_t* record) const {
  if (!list_) return SIZE_MAX;
  const size_t count = list_->Count();
  if (index_ >= 0 && static_cast<size_t>(index_) < count && list_->At(static_cast<size_t>(index_)) == record)
    return list_->SizeAt(static_cast<size_t>(index_));
  for (size_t i = 0; i < count; ++i)
    if (list_->At(i) == record) return list_->SizeAt(i);
  return SIZE_MAX;
}

HRESULT MemoryStream::HandOut(const uint8_t* record, const uint8_t** data, uint32_t* length, LengthRule rule) {
  if (!record) {
    handedOut_ = nullptr;
    return kS_OK;
  }
  if (record == handedOut_) return kE_FAIL;
  handedOut_ = record;
  if (data) *data = record;
  if (length) *length = rule(record, BlockSize(record));
  return kS_OK;
}

void MemoryStream::Rewind(int32_t index) {
  index_ = index;
  offset_ = 0;
  data_ = nullptr;
  length_ = 0;
  handedOut_ = nullptr;
}

HRESULT MemoryStream::Advance(uint8_t* out, uint64_t count, uint64_t* moved, HRESULT* lastStep) {
  uint64_t done = 0;
  HRESULT status = kS_OK;
  const size_t records = list_->Count();
  while (done < count) {
    if (index_ < 0) {
      if (offset_ >= kStreamHeaderSize) {
        index_ = 0;
        offset_ = 0;
        data_ = nullptr;
        length_ = 0;
        if (records > 0) {
          *lastStep = RecordData(list_->At(0), &data_, &length_);
          if (Failed(*lastStep)) {
            status = *lastStep;
            break;
          }
        }
        continue;
      }
      StoreU32At(header_, 8, static_cast<uint32_t>(records));
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kStreamHeaderSize - offset_, count - done));
      if (out) std::memcpy(out + done, header_ + offset_, n);
      offset_ += n;
      done += n;
      *lastStep = kS_OK;
      continue;
    }
    if (static_cast<size_t>(index_) >= records) {
      status = kStreamPastEnd;
      break;
    }
    if (offset_ >= length_) {
      const uint8_t* data = nullptr;
      uint32_t length = 0;
      *lastStep = RecordData(list_->At(static_cast<size_t>(index_)), &data, &length);
      if (Succeeded(*lastStep)) {
        data_ = data;
        length_ = length;
        offset_ = 0;
      } else {
        ++index_;
      }
      continue;
    }
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(length_ - offset_, count - done));
    if (out) std::memcpy(out + done, data_ + offset_, n);
    offset_ += n;
    done += n;
    *lastStep = kS_OK;
  }
  *moved = done;
  return status;
}

HRESULT CV_STDCALL MemoryStream::Read(void* buffer, ULONG count, ULONG* read) try {
  if (!buffer) return kE_INVALIDARG;
  if (!list_) return kStreamPastEnd;
  if (count == 0) {
    if (read) *read = 0;
    return kE_INVALIDARG;
  }
  // A read that starts at the end of the records moves nothing and keeps this.
  HRESULT lastStep = kE_INVALIDARG;
  uint64_t moved = 0;
  // The answer is the last step's, whether or not all bytes were passed.
  static_cast<void>(Advance(static_cast<uint8_t*>(buffer), count, &moved, &lastStep));
  if (read) *read = static_cast<ULONG>(moved);
  return lastStep;
} CV_COM_CATCH_RETURN()

HRESULT CV_STDCALL MemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) try {
  if (!list_) return kStreamPastEnd;
  HRESULT result = kS_OK;
  switch (origin) {
    case STREAM_SEEK_SET:
      Rewind(-1);
      break;
    case STREAM_SEEK_END:
      Rewind(static_cast<int32_t>(list_->Count()));
      break;
    case STREAM_SEEK_CUR: {
      // The stream only moves forward; a backward move is refused untouched.
      if (move.QuadPart < 0) {
        result = kE_INVALIDARG;
        break;
      }
      uint64_t moved = 0;
      HRESULT lastStep = kS_OK;
      result = Advance(nullptr, static_cast<uint64_t>(move.QuadPart), &moved, &lastStep);
      break;
    }
    default:
      result = kE_INVALIDARG;
      break;
  }
  if (newPosition) newPosition->QuadPart = index_ < 0 ? 0 : static_cast<uint64_t>(index_);
  return result;
} CV_COM_CATCH_RETURN()

HRESULT CV_STDCALL MemoryStream::Write(const void*, ULONG, ULONG*) { return kE_NOTIMPL; }
HRESULT CV_STDCALL MemoryStream::SetSize(ULARGE_INTEGER) { return kE_NOTIMPL; }
HRESULT CV_STDCALL MemoryStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
  return kE_NOTIMPL;
}
HRESULT CV_STDCALL MemoryStream::Commit(DWORD) { return kE_NOTIMPL; }
HRESULT CV_STDCALL MemoryStream::Revert() { return kE_NOTIMPL; }
HRESULT CV_STDCALL MemoryStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return kE_NOTIMPL; }
HRESULT CV_STDCALL MemoryStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return kE_NOTIMPL; }
HRESULT CV_STDCALL MemoryStream::Stat(STATSTG*, DWORD) { return kE_NOTIMPL; }
HRESULT CV_STDCALL MemoryStream::Clone(IStream**) { return kE_NOTIMPL; }

[[nodiscard]] HRESULT CreateMemoryStream(MemoryStreamKind kind, const RecordList* list, IStream** out) {
  if (!out) return kE_POINTER;
  *out = nullptr;
  MemoryStream* stream = nullptr;
  switch (kind) {
    case MemoryStreamKind::kMarker: stream = cvplat::NewZeroed<MarkerStream>(list); break;
    case MemoryStreamKind::kInfo: stream = cvplat::NewZeroed<InfoStream>(list); break;
    case MemoryStreamKind::kLoop: stream = cvplat::NewZeroed<LoopStream>(list); break;
    default: return kE_INVALIDARG;
  }
  if (!stream) return kE_OUTOFMEMORY;
  return stream->QueryInterface(kIID_IStream, reinterpret_cast<void**>(out));
}

}  // namespace cv
