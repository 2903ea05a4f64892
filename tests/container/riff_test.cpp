#include "krn/riff.h"
#include "krn/riff_exports.h"

#include "krn/platform/memory.h"
#include "krn/record_list.h"
#include "krn/results.h"
#include "tests/support/riff_test_files.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace cvtest;
using cv::FourCC;

Bytes Filled(size_t n, uint8_t first) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
  return b;
}

uint32_t Pos(HANDLE f) {
  uint32_t pos = 0;
  EXPECT_EQ(cv::GetFilePos(f, &pos), cv::kS_OK);
  return pos;
}

// RIFF "WAVE" with "fmt " (4), "odd " (5, padded), a "LIST" "INFO" and "data" (2).
Bytes SampleFile() {
  return Riff("WAVE", Concat({Chunk("fmt ", Filled(4, 1)), Chunk("odd ", Filled(5, 10)),
                              List("INFO", Chunk("INAM", Text("abc"))), Chunk("data", Filled(2, 50))}));
}

TEST(RiffRead, HeaderAndSearchFromStart) {
  auto f = MakeFile(TestDataPath("riff_search.wav"), SampleFile());
  ASSERT_TRUE(f.IsValid());
  uint32_t body = 0, form = 0;
  ASSERT_EQ(cv::ReadRiffHeader(f.Get(), &body, &form), cv::kS_OK);
  EXPECT_EQ(form, FourCC("WAVE"));
  EXPECT_EQ(body, 12u + 14u + 24u + 10u);

  uint32_t size = 0;
  int32_t remaining = 0;
  ASSERT_EQ(cv::FindChunkFromStart(f.Get(), FourCC("data"), &size, &remaining), cv::kS_OK);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(remaining, 2);  // the matched chunk's data is still counted
  Bytes data(2);
  ASSERT_EQ(cv::ReadChunkData(f.Get(), data.data(), 2), cv::kS_OK);
  EXPECT_EQ(data, Filled(2, 50));

  EXPECT_EQ(cv::FindChunkFromStart(f.Get(), FourCC("cue "), &size, &remaining), cv::CVERR_NOT_FOUND);
  EXPECT_EQ(remaining, 0);

  ASSERT_EQ(cv::FindListFromStart(f.Get(), FourCC("INFO"), &size), cv::kS_OK);
  EXPECT_EQ(size, 12u);  // the INAM sub-chunk only
  uint32_t id = 0;
  ASSERT_EQ(cv::ReadChunkHeader(f.Get(), &id, &size), cv::kS_OK);
  EXPECT_EQ(id, FourCC("INAM"));
  EXPECT_EQ(cv::FindListFromStart(f.Get(), FourCC("adtl"), &size), cv::CVERR_NOT_FOUND);
}

TEST(RiffRead, SkippedListLowersCountByItsWholeLength) {
  auto f = MakeFile(TestDataPath("riff_lists.wav"),
                    Riff("WAVE", Concat({List("adtl", Chunk("labl", Filled(5, 0))), List("INFO", Bytes())})));
  EXPECT_EQ(cv::SetFilePos(f.Get(), 12), cv::kS_OK);
  int32_t remaining = 26 + 12;
  uint32_t size = 99;
  ASSERT_EQ(cv::FindList(f.Get(), FourCC("INFO"), &size, &remaining), cv::kS_OK);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(remaining, 0);
  EXPECT_EQ(Pos(f.Get()), 12u + 26u + 12u);
}

TEST(RiffRead, RemainingCounts) {
  auto f = MakeFile(TestDataPath("riff_remaining.wav"),
                    Riff("WAVE", Concat({Chunk("fmt ", Filled(4, 1)), Chunk("last", Filled(1, 7)),
                                         Chunk("data", Filled(2, 0))})));
  // Seven bytes cannot hold a header: nothing is read and the count stays.
  EXPECT_EQ(cv::SetFilePos(f.Get(), 12), cv::kS_OK);
  int32_t remaining = 7;
  EXPECT_EQ(cv::FindChunk(f.Get(), FourCC("data"), nullptr, &remaining), cv::CVERR_NOT_FOUND);
  EXPECT_EQ(remaining, 7);
  EXPECT_EQ(Pos(f.Get()), 12u);

  // Nine bytes before an odd chunk of size 1: the skip of 2 drives the count to -1.
  EXPECT_EQ(cv::SetFilePos(f.Get(), 24), cv::kS_OK);
  remaining = 9;
  EXPECT_EQ(cv::FindChunk(f.Get(), FourCC("data"), nullptr, &remaining), cv::CVERR_NOT_FOUND);
  EXPECT_EQ(remaining, -1);

  // The exported search takes -1 as a large unsigned count and finds the chunk behind.
  EXPECT_EQ(cv::SetFilePos(f.Get(), 24), cv::kS_OK);
  uint32_t uremaining = 9, size = 0;
  EXPECT_EQ(riffzz_FindChunkHeader(f.Get(), FourCC("data"), &size, &uremaining), cv::kS_OK);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(uremaining, 0xFFFFFFFFu - 8u);

  // Without a count the search ends at the end of the file with a read failure.
  EXPECT_EQ(cv::SetFilePos(f.Get(), 12), cv::kS_OK);
  EXPECT_EQ(riffzz_FindChunkHeader(f.Get(), FourCC("none"), nullptr, nullptr), cv::CVERR_FILE_READ);
  EXPECT_EQ(cv::SetFilePos(f.Get(), 12), cv::kS_OK);
  remaining = 100;
  EXPECT_EQ(cv::FindChunk(f.Get(), FourCC("none"), nullptr, &remaining), cv::CVERR_FILE_READ);
  EXPECT_EQ(remaining, 100);  // unchanged by a failed read
}

TEST(RiffRead, CorruptHugeSizeEndsTheSearch) {
  Bytes body;
  PutId(body, "junk");
  PutU32(body, 0xFFFFFFF0u);  // would seek backwards as a signed 32-bit distance
  auto f = MakeFile(TestDataPath("riff_huge.wav"), Riff("WAVE", body));
  EXPECT_EQ(cv::SetFilePos(f.Get(), 12), cv::kS_OK);
  uint32_t remaining = 0x7FFFFFFF;
  EXPECT_EQ(riffzz_FindChunkHeader(f.Get(), FourCC("data"), nullptr, &remaining), cv::CVERR_FILE_READ);
  EXPECT_EQ(cv::SetFilePos(f.Get(), 12), cv::kS_OK);
  EXPECT_EQ(cv::FindChunk(f.Get(), FourCC("data"), nullptr, nullptr), cv::CVERR_FILE_READ);
}

TEST(RiffRead, OddSizesSkipThePad) {
  auto f = MakeFile(TestDataPath("riff_pad.wav"), SampleFile());
  EXPECT_EQ(cv::SetFilePos(f.Get(), 24), cv::kS_OK);
  EXPECT_EQ(cv::SkipChunk(f.Get(), 5), 6);
  EXPECT_EQ(Pos(f.Get()), 30u);
  EXPECT_EQ(riffzz_SkipChunk(f.Get(), 5), 6u);
  EXPECT_EQ(Pos(f.Get()), 36u);

  EXPECT_EQ(cv::SetFilePos(f.Get(), 12), cv::kS_OK);
  int32_t remaining = 60;
  ASSERT_EQ(cv::SkipChunks(f.Get(), 2, &remaining), cv::kS_OK);
  EXPECT_EQ(remaining, 60 - 12 - 14);
  EXPECT_EQ(Pos(f.Get()), 12u + 12u + 14u);
  EXPECT_EQ(cv::SkipChunks(f.Get(), 3, &remaining), cv::CVERR_NOT_FOUND);

  EXPECT_EQ(cv::SetFilePos(f.Get(), 24 + 8), cv::kS_OK);
  uint8_t odd[5];
  ASSERT_EQ(cv::ReadChunkData(f.Get(), odd, 5), cv::kS_OK);
  EXPECT_EQ(Pos(f.Get()), 24u + 8u + 6u);

  EXPECT_EQ(cv::SetFilePos(f.Get(), 12), cv::kS_OK);
  uint32_t count = 0;
  remaining = 60;
  ASSERT_EQ(cv::CountChunks(f.Get(), &count, &remaining), cv::kS_OK);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(Pos(f.Get()), 12u);
  ASSERT_EQ(cv::CountChunks(f.Get(), &count, nullptr), cv::kS_OK);
  EXPECT_EQ(count, 4u);
  remaining = 80;  // more than the file holds: the short header read fails
  EXPECT_EQ(cv::CountChunks(f.Get(), &count, &remaining), cv::CVERR_FILE_READ);
  EXPECT_EQ(Pos(f.Get()), 12u);
}

TEST(RiffRead, ShortFiles) {
  auto four = MakeFile(TestDataPath("riff_four.wav"), Text("RIFF", false));
  EXPECT_EQ(cv::ReadRiffHeader(four.Get(), nullptr, nullptr), cv::CVERR_NO_RIFF_HEADER);
  // "RIFF" and a size, then the form type is missing.
  auto eight = MakeFile(TestDataPath("riff_eight.wav"), Concat({Text("RIFF", false), Bytes{4, 0, 0, 0}}));
  uint32_t body = 0;
  EXPECT_EQ(cv::ReadRiffHeader(eight.Get(), &body, nullptr), cv::CVERR_FILE_READ);
  EXPECT_EQ(body, 0u);
  auto empty = MakeFile(TestDataPath("riff_empty.wav"), Bytes());
  EXPECT_EQ(cv::ReadRiffHeader(empty.Get(), nullptr, nullptr), cv::CVERR_NO_RIFF_HEADER);
  auto other = MakeFile(TestDataPath("riff_other.wav"), Concat({Text("RIFX", false), Bytes(8, 0)}));
  EXPECT_EQ(cv::ReadRiffHeader(other.Get(), nullptr, nullptr), cv::CVERR_NO_RIFF_HEADER);

  EXPECT_EQ(cv::SetFilePos(four.Get(), 0), cv::kS_OK);
  EXPECT_EQ(cv::ReadChunkHeader(four.Get(), nullptr, nullptr), cv::CVERR_FILE_READ);
  EXPECT_EQ(cv::SetFilePos(four.Get(), 0), cv::kS_OK);
  uint8_t buf[8];
  EXPECT_EQ(cv::ReadChunkData(four.Get(), buf, 5), cv::CVERR_FILE_READ);
}

TEST(RiffRead, ChunkAllocAndPrefix) {
  auto f = MakeFile(TestDataPath("riff_alloc.wav"), SampleFile());
  EXPECT_EQ(cv::SetFilePos(f.Get(), 24 + 8), cv::kS_OK);
  cv::ChunkBlob blob{5, nullptr};
  ASSERT_EQ(cv::ReadChunkAlloc(f.Get(), &blob), cv::kS_OK);
  ASSERT_NE(blob.data, nullptr);
  EXPECT_EQ(std::memcmp(blob.data, Filled(5, 10).data(), 5), 0);
  cvplat::GlobalFreeBlock(blob.data);

  cv::ChunkBlob none{0, reinterpret_cast<void*>(1)};
  EXPECT_EQ(cv::ReadChunkAlloc(f.Get(), &none), cv::kS_OK);
  EXPECT_EQ(none.data, nullptr);

  EXPECT_EQ(cv::SetFilePos(f.Get(), 60), cv::kS_OK);  // 8 bytes before the end
  cv::ChunkBlob tooLong{20, nullptr};
  EXPECT_EQ(cv::ReadChunkAlloc(f.Get(), &tooLong), cv::CVERR_FILE_READ);
  EXPECT_EQ(tooLong.data, nullptr);

  EXPECT_EQ(cv::SetFilePos(f.Get(), 24 + 8), cv::kS_OK);
  uint8_t prefix[8] = {};
  ASSERT_EQ(cv::ReadChunkPrefix(f.Get(), prefix, 3, 5), cv::kS_OK);
  EXPECT_EQ(Pos(f.Get()), 24u + 8u + 3u);
  EXPECT_EQ(cv::SetFilePos(f.Get(), 24 + 8), cv::kS_OK);
  ASSERT_EQ(cv::ReadChunkPrefix(f.Get(), prefix, 8, 5), cv::kS_OK);
  EXPECT_EQ(Pos(f.Get()), 24u + 8u + 5u);
  EXPECT_EQ(prefix[4], 14);
}

TEST(RiffRead, CheckChunkLength) {
  EXPECT_EQ(cv::CheckChunkLength(-1), cv::CVERR_BAD_CHUNK_LENGTH);
  EXPECT_EQ(cv::CheckChunkLength(0), cv::CVERR_ZERO_CHUNK_LENGTH);
  EXPECT_EQ(cv::CheckChunkLength(1), cv::kS_OK);
}

TEST(RiffWrite, ChunksListsAndSizes) {
  std::string path = TestDataPath("riff_write.wav");
  auto f = MakeFile(path, Bytes());
  ASSERT_EQ(cv::WriteRiffHeader(f.Get(), FourCC("WAVE"), 4), cv::kS_OK);
  uint32_t total = 0;
  const uint8_t three[3] = {1, 2, 3};
  ASSERT_EQ(cv::WriteChunk(f.Get(), FourCC("abc "), three, 3, &total), cv::kS_OK);
  EXPECT_EQ(total, 12u);
  ASSERT_EQ(cv::WriteListHeader(f.Get(), FourCC("INFO"), 4), cv::kS_OK);
  ASSERT_EQ(cv::AddRiffSize(f.Get(), 12 + 12), cv::kS_OK);
  EXPECT_EQ(Pos(f.Get()), 36u);  // restored
  f.Reset();
  Bytes expected = Riff("WAVE", Concat({Chunk("abc ", Bytes{1, 2, 3}), List("INFO", Bytes())}));
  EXPECT_EQ(ReadWholeFile(path), expected);

  f = OpenReadWrite(path);
  EXPECT_EQ(cv::SetFilePos(f.Get(), 20), cv::kS_OK);
  ASSERT_EQ(cv::SetRiffSize(f.Get(), 1000), cv::kS_OK);
  EXPECT_EQ(Pos(f.Get()), 20u);
  ASSERT_EQ(cv::AddRiffSize(f.Get(), -999), cv::kS_OK);
  EXPECT_EQ(Pos(f.Get()), 20u);
  f.Reset();
  EXPECT_EQ(GetU32(ReadWholeFile(path), 4), 1u);
}

TEST(RiffWrite, FailuresAreReportedAndPositionsRestored) {
  std::string path = TestDataPath("riff_writefail.wav");
  auto f = MakeFile(path, SampleFile());
  EXPECT_EQ(cv::SetFilePos(f.Get(), 30), cv::kS_OK);
  cvplat::FailWriteAfter(1);
  EXPECT_EQ(cv::AddRiffSize(f.Get(), 10), cv::CVERR_FILE_WRITE);
  EXPECT_EQ(Pos(f.Get()), 30u);
  cvplat::FailWriteAfter(2);  // the data write of the chunk
  const uint8_t data[2] = {};
  EXPECT_EQ(cv::WriteChunk(f.Get(), FourCC("xx  "), data, 2, nullptr), cv::CVERR_FILE_WRITE);
  cvplat::FailWriteAfter(1);
  EXPECT_EQ(cv::WriteRiffHeader(f.Get(), FourCC("WAVE"), 4), cv::CVERR_FILE_WRITE);
  cvplat::FailWriteAfter(0);

  auto tiny = MakeFile(TestDataPath("riff_tiny.wav"), Text("RIFF", false));
  EXPECT_EQ(cv::SetFilePos(tiny.Get(), 2), cv::kS_OK);
  EXPECT_EQ(cv::AddRiffSize(tiny.Get(), 1), cv::CVERR_FILE_READ);
  EXPECT_EQ(Pos(tiny.Get()), 2u);
}

class RiffRemove : public ::testing::Test {
 protected:
  // Removes a chunk and checks that the file equals `expected` afterwards.
  void ExpectRemoval(const Bytes& before, uint32_t id, bool isList, uint32_t expectedLength,
                     const Bytes& expected) {
    std::string path = TestDataPath("riff_remove.wav");
    auto f = MakeFile(path, before);
    ASSERT_TRUE(f.IsValid());
    uint32_t removed = 0;
    ASSERT_EQ(cv::RemoveChunk(f.Get(), id, isList, &removed),
              cv::kS_OK);
    EXPECT_EQ(removed, expectedLength);
    f.Reset();
    Bytes after = ReadWholeFile(path);
    EXPECT_EQ(after.size(), before.size() - expectedLength);
    EXPECT_EQ(after, expected);
  }
};

TEST_F(RiffRemove, MiddleLastAndListChunks) {
  Bytes fmt = Chunk("fmt ", Filled(4, 1));
  Bytes odd = Chunk("odd ", Filled(5, 10));
  Bytes info = List("INFO", Chunk("INAM", Text("abc")));
  Bytes data = Chunk("data", Filled(3, 50));
  ExpectRemoval(Riff("WAVE", Concat({fmt, odd, info, data})), FourCC("odd "), false, 14,
                Riff("WAVE", Concat({fmt, info, data})));
  ExpectRemoval(Riff("WAVE", Concat({fmt, odd, info, data})), FourCC("data"), false, 12,
                Riff("WAVE", Concat({fmt, odd, info})));
  ExpectRemoval(Riff("WAVE", Concat({fmt, odd, info, data})), FourCC("INFO"), true, 24,
                Riff("WAVE", Concat({fmt, odd, data})));
}

TEST_F(RiffRemove, TailLongerThanOneStep) {
  Bytes big = Chunk("big ", Filled(4096 * 2 + 301, 3));
  Bytes first = Chunk("cue ", Filled(7, 9));
  ExpectRemoval(Riff("WAVE", Concat({first, big, Chunk("end ", Filled(1, 1))})), FourCC("cue "), false, 16,
                Riff("WAVE", Concat({big, Chunk("end ", Filled(1, 1))})));
  // The tail after the removed chunk is an exact multiple of the step.
  Bytes exact = Chunk("fill", Filled(4096 - 8, 0));
  ExpectRemoval(Riff("WAVE", Concat({first, exact})), FourCC("cue "), false, 16, Riff("WAVE", exact));
}

TEST_F(RiffRemove, MissingChunkOrNoRiff) {
  std::string path = TestDataPath("riff_remove_missing.wav");
  Bytes before = SampleFile();
  auto f = MakeFile(path, before);
  EXPECT_EQ(cv::RemoveChunk(f.Get(), FourCC("cue "), false, nullptr), cv::CVERR_NOT_FOUND);
  EXPECT_EQ(cv::RemoveChunk(f.Get(), FourCC("adtl"), true, nullptr), cv::CVERR_NOT_FOUND);
  f.Reset();
  EXPECT_EQ(ReadWholeFile(path), before);

  auto plain = MakeFile(path, Concat({Text("NOPE", false), Bytes(40, 0)}));
  EXPECT_EQ(cv::RemoveChunk(plain.Get(), FourCC("cue "), false, nullptr), cv::CVERR_NO_RIFF_HEADER);
}

TEST_F(RiffRemove, WriteFailureIsReported) {
  std::string path = TestDataPath("riff_remove_fail.wav");
  auto f = MakeFile(path, SampleFile());
  cvplat::FailWriteAfter(1);
  EXPECT_EQ(cv::RemoveChunk(f.Get(), FourCC("fmt "), false, nullptr), cv::CVERR_FILE_WRITE);
  cvplat::FailWriteAfter(0);
}

}  // namespace
