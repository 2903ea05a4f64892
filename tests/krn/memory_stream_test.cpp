#include "krn/memory_stream.h"
#include "krn/com_ptr.h"
#include "krn/results.h"
#include "tests/support/riff_test_files.h"
#include "tests/support/test_metadata_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace {

using namespace cv;
using Bytes = std::vector<uint8_t>;

ComPtr<IStream> Open(MemoryStreamKind kind, const RecordList* list) {
  ComPtr<IStream> stream;
  EXPECT_EQ(CreateMemoryStream(kind, list, stream.Put()), kS_OK);
  return stream;
}

Bytes StreamBytes(const RecordList& list) {
  const uint32_t header[3] = {12, 100, static_cast<uint32_t>(list.Count())};
  Bytes out(reinterpret_cast<const uint8_t*>(header), reinterpret_cast<const uint8_t*>(header) + 12);
  for (size_t i = 0; i < list.Count(); ++i) out.insert(out.end(), list.At(i), list.At(i) + list.SizeAt(i));
  return out;
}

LARGE_INTEGER Move(int64_t distance) {
  LARGE_INTEGER m;
  m.QuadPart = distance;
  return m;
}

class MemoryStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_.SetMarkers({{10000000, 0, false, u"Intro", false},
                        {0, 0, false, u"", false},
                        {25000000, 5000000, true, u"Verse with a longer name", false}});
    // A record whose header claims a name far beyond its block: read up to the block only.
    const MarkerRecordHeader lying{28, 0, 0, 0, 4000};
    ASSERT_EQ(markers_.Append(&lying, sizeof lying), kS_OK);
    source_.SetInfo({{FourCC("INAM"), u"Title"}, {FourCC("IART"), u""}, {FourCC("ICMT"), u"A comment of some length"}});
    source_.SetLoops(Bytes(kStrcHeaderSize, 0), {cvtest::Filled(kLoopRecordSize, 1), cvtest::Filled(kLoopRecordSize, 99)});
  }
  cvtest::TestMetadataSource source_;
  RecordList& markers_ = source_.Lists().markers;
  RecordList& info_ = source_.Lists().info;
  RecordList& loops_ = source_.Lists().loop.loops;
};

TEST_F(MemoryStreamTest, EmptyListDeliversOnlyTheHeader) {
  RecordList empty;
  const auto s = Open(MemoryStreamKind::kMarker, &empty);
  Bytes buffer(64, 0xCC);
  ULONG n = 0;
  EXPECT_EQ(s->Read(buffer.data(), 64, &n), kS_OK);
  ASSERT_EQ(n, 12u);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 13), (Bytes{12, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0xCC}));
  EXPECT_EQ(s->Read(buffer.data(), 64, &n), kE_INVALIDARG);
  EXPECT_EQ(n, 0u);
}

TEST_F(MemoryStreamTest, ReadArgumentChecks) {
  const auto s = Open(MemoryStreamKind::kMarker, &markers_);
  uint8_t b[4];
  ULONG n = 77;
  EXPECT_EQ(s->Read(nullptr, 4, &n), kE_INVALIDARG);
  EXPECT_EQ(s->Read(b, 0, &n), kE_INVALIDARG);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(s->Read(b, 4, nullptr), kS_OK);  // the count output is optional

  const auto noList = Open(MemoryStreamKind::kMarker, nullptr);
  EXPECT_EQ(noList->Read(b, 4, &n), kStreamPastEnd);
  EXPECT_EQ(noList->Seek(Move(0), STREAM_SEEK_SET, nullptr), kStreamPastEnd);
}

// Random reads and seeks against a byte model of the stream: the header, then
// every record. The reported position is the record index the stream stands in.
TEST_F(MemoryStreamTest, ReadsAndSeeksFollowAByteModel) {
  std::mt19937 rng(5);
  const std::pair<MemoryStreamKind, const RecordList*> kinds[] = {
      {MemoryStreamKind::kMarker, &markers_}, {MemoryStreamKind::kInfo, &info_}, {MemoryStreamKind::kLoop, &loops_}};
  for (const auto& kindAndList : kinds) {
    const RecordList* list = kindAndList.second;
    const Bytes expected = StreamBytes(*list);
    // Record index holding the byte before `pos` (0 within the header).
    auto indexAt = [&](size_t pos) {
      uint64_t end = 12, index = 0;
      while (index + 1 < list->Count() && pos > end + list->SizeAt(index)) end += list->SizeAt(index++);
      return index;
    };
    const auto s = Open(kindAndList.first, list);
    size_t pos = 0;
    bool pastEnd = false;  // moved beyond the last record: the position is the record count
    for (int op = 0; op < 3000; ++op) {
      ULARGE_INTEGER position;
      position.QuadPart = 0xFFFF;
      switch (rng() % 9) {
        case 0:
          ASSERT_EQ(s->Seek(Move(static_cast<int64_t>(rng() % 99)), STREAM_SEEK_SET, &position), kS_OK);
          pos = 0, pastEnd = false;
          ASSERT_EQ(position.QuadPart, 0u);
          break;
        case 1:
          ASSERT_EQ(s->Seek(Move(-1), STREAM_SEEK_CUR, &position), kE_INVALIDARG);
          ASSERT_EQ(position.QuadPart, pastEnd ? list->Count() : indexAt(pos));
          break;
        case 2:
          ASSERT_EQ(s->Seek(Move(static_cast<int64_t>(rng() % 99)), STREAM_SEEK_END, &position), kS_OK);
          pos = expected.size(), pastEnd = true;
          ASSERT_EQ(position.QuadPart, list->Count());
          break;
        case 3:
        case 4: {
          const size_t move = rng() % (expected.size() / 2);
          const bool beyond = pos + move > expected.size() || (pastEnd && move > 0);
          ASSERT_EQ(s->Seek(Move(static_cast<int64_t>(move)), STREAM_SEEK_CUR, &position),
                    beyond ? kStreamPastEnd : kS_OK) << op;
          pos = std::min(pos + move, expected.size()), pastEnd |= beyond;
          ASSERT_EQ(position.QuadPart, pastEnd ? list->Count() : indexAt(pos)) << op;
          break;
        }
        default: {
          const ULONG n = 1 + rng() % 40;
          Bytes buffer(n);
          ULONG got = 0xDEAD;
          const HRESULT hr = s->Read(buffer.data(), n, &got);
          const size_t want = pastEnd ? 0 : std::min<size_t>(n, expected.size() - pos);
          ASSERT_EQ(got, want) << op;
          ASSERT_EQ(Bytes(buffer.begin(), buffer.begin() + got), Bytes(expected.begin() + pos, expected.begin() + pos + got));
          ASSERT_EQ(Failed(hr), want < n) << op;
          pos += got;
          if (want < n) pastEnd = true;
        }
      }
    }
  }
}

TEST_F(MemoryStreamTest, InterfacesAndReferences) {
  IStream* raw = nullptr;
  ASSERT_EQ(CreateMemoryStream(MemoryStreamKind::kLoop, &loops_, &raw), kS_OK);
  void* out = nullptr;
  for (const IID* iid : {&kIID_IUnknown, &kIID_IStream}) {
    EXPECT_EQ(raw->QueryInterface(*iid, &out), kS_OK);
    EXPECT_EQ(out, static_cast<void*>(raw));
  }
  out = raw;
  EXPECT_EQ(raw->QueryInterface(kIID_IClassFactory, &out), kE_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(raw->Release(), 2u);  // the two references handed out above
  EXPECT_EQ(raw->Release(), 1u);
  EXPECT_EQ(raw->Write("x", 1, nullptr), kE_NOTIMPL);  // the stream is read-only
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_EQ(CreateMemoryStream(MemoryStreamKind::kInfo, &info_, nullptr), kE_POINTER);
}

}  // namespace
