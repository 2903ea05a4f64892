#include "krn/riff.h"
#include "krn/riff_exports.h"

#include "krn/platform/memory.h"
#include "krn/record_list.h"
#include "krn/results.h"
#include "tests/support/riff_test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

namespace {

using namespace cvtest;
using cv::FourCC;

uint32_t Pos(HANDLE f) {
  uint32_t pos = 0;
  EXPECT_EQ(cv::GetFilePos(f, &pos), cv::kS_OK);
  return pos;
}

// The file's handle, positioned at pos.
HANDLE At(const cvplat::UniqueFile& f, uint32_t pos) {
  EXPECT_EQ(cv::SetFilePos(f.Get(), pos), cv::kS_OK);
  return f.Get();
}

// RIFF "WAVE" with "fmt " (4), "odd " (5, padded), a "LIST" "INFO" and "data" (2).
Bytes SampleFile() {
  return Riff("WAVE", Concat({Chunk("fmt ", Filled(4, 1)), Chunk("odd ", Filled(5, 10)),
                              List("INFO", Chunk("INAM", Text("abc"))), Chunk("data", Filled(2, 50))}));
}

// One top-level chunk of a generated file: its id (the list type for a list),
// its data (a list's sub-chunks) and its whole padded bytes.
struct ModelChunk {
  std::string id;
  bool isList;
  Bytes data, bytes;
};

std::vector<ModelChunk> RandomChunks(std::mt19937& rng) {
  static const char* const kIds[] = {"fmt ", "data", "cue ", "odd "};
  static const char* const kLists[] = {"INFO", "adtl"};
  std::vector<ModelChunk> chunks(1 + rng() % 6);
  for (ModelChunk& c : chunks) {
    c.isList = rng() % 4 == 0;
    c.id = c.isList ? kLists[rng() % 2] : kIds[rng() % 4];
    // Mostly small and often odd sizes; now and then more than the removal's copy step.
    const Bytes payload = Filled(rng() % 8 == 0 ? 4096 + rng() % 9000 : rng() % 12, static_cast<uint8_t>(rng()));
    c.data = c.isList ? Chunk("INAM", payload) : payload;
    c.bytes = c.isList ? List(c.id.c_str(), c.data) : Chunk(c.id.c_str(), c.data);
  }
  return chunks;
}

uint32_t IdOf(const std::string& id) {
  char text[5] = {};
  id.copy(text, 4);
  return FourCC(text);
}

Bytes FileOf(const std::vector<ModelChunk>& chunks) {
  Bytes body;
  for (const ModelChunk& c : chunks) body = Concat({body, c.bytes});
  return Riff("WAVE", body);
}

// Random files against the model of their chunks: header, searches from the
// start (chunks and lists, odd sizes skipped with their pad), chunk data and the
// removal of a chunk with everything behind it moved up (of a missing one:
// nothing, the file stays as it was).
TEST(RiffModel, RandomFilesReadAndEditLikeTheirModel) {
  std::mt19937 rng(17);
  const std::string path = TestDataPath("riff_model.wav");
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    const std::vector<ModelChunk> chunks = RandomChunks(rng);
    const Bytes file = FileOf(chunks);
    const int32_t total = static_cast<int32_t>(file.size() - 12);
    auto f = MakeFile(path, file);
    uint32_t body = 0, form = 0;
    ASSERT_EQ(cv::ReadRiffHeader(f.Get(), &body, &form), cv::kS_OK);
    EXPECT_EQ(form, FourCC("WAVE"));
    EXPECT_EQ(body, static_cast<uint32_t>(total));

    for (const std::string id : {"fmt ", "data", "cue ", "odd ", "INFO", "adtl"}) {
      const bool isList = id == "INFO" || id == "adtl";
      const auto first = std::find_if(chunks.begin(), chunks.end(),
                                      [&](const ModelChunk& c) { return c.id == id && c.isList == isList; });
      int32_t before = 0;
      for (auto c = chunks.begin(); c != first; ++c) before += static_cast<int32_t>(c->bytes.size());
      uint32_t size = 0;
      int32_t remaining = 0;
      const uint32_t fourCC = IdOf(id);
      const HRESULT hr = isList ? cv::FindListFromStart(f.Get(), fourCC, &size)
                                : cv::FindChunkFromStart(f.Get(), fourCC, &size, &remaining);
      if (first == chunks.end()) {
        EXPECT_EQ(hr, cv::CVERR_NOT_FOUND) << id;
        EXPECT_EQ(cv::RemoveChunk(f.Get(), fourCC, isList, nullptr), cv::CVERR_NOT_FOUND) << id;
        continue;
      }
      ASSERT_EQ(hr, cv::kS_OK) << id;
      EXPECT_EQ(size, first->data.size()) << id;
      if (!isList) {
        EXPECT_EQ(remaining, total - before - 8) << id;  // the matched chunk's data is still counted
      }
      Bytes data(first->data.size());
      ASSERT_EQ(cv::ReadChunkData(f.Get(), data.data(), size), cv::kS_OK);
      EXPECT_EQ(data, first->data) << id;
      EXPECT_EQ(Pos(f.Get()), 12u + before + first->bytes.size()) << id;
    }

    // Removing a chunk removes the first of its id and kind.
    const ModelChunk& victim = chunks[rng() % chunks.size()];
    std::vector<ModelChunk> rest = chunks;
    const auto first = std::find_if(rest.begin(), rest.end(), [&](const ModelChunk& c) {
      return c.id == victim.id && c.isList == victim.isList;
    });
    const size_t length = first->bytes.size();
    rest.erase(first);
    uint32_t removed = 0;
    ASSERT_EQ(cv::RemoveChunk(f.Get(), IdOf(victim.id), victim.isList, &removed), cv::kS_OK);
    EXPECT_EQ(removed, length);
    f.Reset();
    EXPECT_EQ(ReadWholeFile(path), FileOf(rest));
  }
  // A file that is not RIFF has no chunks to remove.
  auto plain = MakeFile(path, Concat({Text("NOPE", false), Bytes(40, 0)}));
  EXPECT_EQ(cv::RemoveChunk(plain.Get(), FourCC("cue "), false, nullptr), cv::CVERR_NO_RIFF_HEADER);
}

TEST(RiffRead, RemainingCounts) {
  auto f = MakeFile(TestDataPath("riff_remaining.wav"),
                    Riff("WAVE", Concat({Chunk("fmt ", Filled(4, 1)), Chunk("last", Filled(1, 7)),
                                         Chunk("data", Filled(2, 0))})));
  // Seven bytes cannot hold a header: nothing is read and the count stays.
  int32_t remaining = 7;
  EXPECT_EQ(cv::FindChunk(At(f, 12), FourCC("data"), nullptr, &remaining), cv::CVERR_NOT_FOUND);
  EXPECT_EQ(remaining, 7);
  EXPECT_EQ(Pos(f.Get()), 12u);

  // Nine bytes before an odd chunk of size 1: the skip of 2 drives the count to -1.
  remaining = 9;
  EXPECT_EQ(cv::FindChunk(At(f, 24), FourCC("data"), nullptr, &remaining), cv::CVERR_NOT_FOUND);
  EXPECT_EQ(remaining, -1);

  // The exported search takes -1 as a large unsigned count and finds the chunk behind.
  uint32_t uremaining = 9, size = 0;
  EXPECT_EQ(riffzz_FindChunkHeader(At(f, 24), FourCC("data"), &size, &uremaining), cv::kS_OK);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(uremaining, 0xFFFFFFFFu - 8u);

  // Without a count the search ends at the end of the file with a read failure.
  EXPECT_EQ(riffzz_FindChunkHeader(At(f, 12), FourCC("none"), nullptr, nullptr), cv::CVERR_FILE_READ);
  remaining = 100;
  EXPECT_EQ(cv::FindChunk(At(f, 12), FourCC("none"), nullptr, &remaining), cv::CVERR_FILE_READ);
  EXPECT_EQ(remaining, 100);  // unchanged by a failed read
}

TEST(RiffRead, CorruptHugeSizeEndsTheSearch) {
  Bytes body;
  PutId(body, "junk");
  PutU32(body, 0xFFFFFFF0u);  // would seek backwards as a signed 32-bit distance
  auto f = MakeFile(TestDataPath("riff_huge.wav"), Riff("WAVE", body));
  uint32_t remaining = 0x7FFFFFFF;
  EXPECT_EQ(riffzz_FindChunkHeader(At(f, 12), FourCC("data"), nullptr, &remaining), cv::CVERR_FILE_READ);
  EXPECT_EQ(cv::FindChunk(At(f, 12), FourCC("data"), nullptr, nullptr), cv::CVERR_FILE_READ);
}

// The odd chunk skipped (the exported skip counts its pad byte), read whole into
// an allocated block and read in part.
TEST(RiffRead, OddChunkSkipAllocAndPrefix) {
  auto f = MakeFile(TestDataPath("riff_alloc.wav"), SampleFile());
  EXPECT_EQ(riffzz_SkipChunk(At(f, 24), 5), 6u);
  EXPECT_EQ(Pos(f.Get()), 30u);
  cv::ChunkBlob blob{5, nullptr};
  ASSERT_EQ(cv::ReadChunkAlloc(At(f, 24 + 8), &blob), cv::kS_OK);
  ASSERT_NE(blob.data, nullptr);
  EXPECT_EQ(std::memcmp(blob.data, Filled(5, 10).data(), 5), 0);
  cvplat::GlobalFreeBlock(blob.data);

  cv::ChunkBlob none{0, reinterpret_cast<void*>(1)};
  EXPECT_EQ(cv::ReadChunkAlloc(f.Get(), &none), cv::kS_OK);
  EXPECT_EQ(none.data, nullptr);

  cv::ChunkBlob tooLong{20, nullptr};
  EXPECT_EQ(cv::ReadChunkAlloc(At(f, 60), &tooLong), cv::CVERR_FILE_READ);  // 8 bytes before the end
  EXPECT_EQ(tooLong.data, nullptr);

  uint8_t prefix[8] = {};
  ASSERT_EQ(cv::ReadChunkPrefix(At(f, 24 + 8), prefix, 3, 5), cv::kS_OK);
  EXPECT_EQ(Pos(f.Get()), 24u + 8u + 3u);
  ASSERT_EQ(cv::ReadChunkPrefix(At(f, 24 + 8), prefix, 8, 5), cv::kS_OK);
  EXPECT_EQ(Pos(f.Get()), 24u + 8u + 5u);
  EXPECT_EQ(prefix[4], 14);
}

TEST(RiffWrite, ChunksListsAndSizesWithThePositionRestored) {
  std::string path = TestDataPath("riff_write.wav");
  auto f = MakeFile(path, Bytes());
  ASSERT_EQ(cv::WriteRiffHeader(f.Get(), FourCC("WAVE"), 4), cv::kS_OK);
  uint32_t total = 0;
  const uint8_t three[3] = {1, 2, 3};
  ASSERT_EQ(cv::WriteChunk(f.Get(), FourCC("abc "), three, 3, &total), cv::kS_OK);
  EXPECT_EQ(total, 12u);
  ASSERT_EQ(cv::WriteListHeader(f.Get(), FourCC("INFO"), 4), cv::kS_OK);
  ASSERT_EQ(cv::AddRiffSize(f.Get(), 12 + 12), cv::kS_OK);
  EXPECT_EQ(Pos(f.Get()), 36u);
  ASSERT_EQ(cv::SetFilePos(f.Get(), 20), cv::kS_OK);
  ASSERT_EQ(cv::SetRiffSize(f.Get(), 1000), cv::kS_OK);
  EXPECT_EQ(Pos(f.Get()), 20u);
  ASSERT_EQ(cv::AddRiffSize(f.Get(), 28 - 1000), cv::kS_OK);
  f.Reset();
  EXPECT_EQ(ReadWholeFile(path), Riff("WAVE", Concat({Chunk("abc ", Bytes{1, 2, 3}), List("INFO", Bytes())})));
}

}  // namespace
