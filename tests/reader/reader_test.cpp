// The reader as the host drives it: files rendered by the encoder come back bit
// for bit whatever the request pattern, the block cache and the seek table are
// used as intended, and damaged files give codes, never crashes or stale data.
#include "ffplugs/cvla/reader/qla_reader.h"
#include "ffplugs/cvla/reader/qla_stream.h"
#include "krn/md5.h"
#include "krn/metadata_source.h"
#include "krn/platform/codepage.h"
#include "krn/platform/cpu.h"
#include "krn/platform/file.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"
#include "tests/support/corpus_audio.h"
#include "tests/support/qla_test_files.h"
#include "tests/support/riff_test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>

namespace {

using cvtest::OpenedQlaFile;
using cvtest::PcmAudio;

constexpr uint32_t kGroup = 12800;

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(cvtest::CreateFileTypeLikeHost(host_.Host(), 0, &fileType_), cv::kS_OK); }
  void TearDown() override {
    if (fileType_) fileType_->Release();
  }

  std::string Render(const PcmAudio& audio, const std::string& name) {
    std::string path = cvtest::TestDataPath(name);
    EXPECT_EQ(cvtest::RenderAudio(audio, path), cv::kS_OK);
    return path;
  }
  void Open(const std::string& path, OpenedQlaFile* file) { ASSERT_EQ(cvtest::OpenQlaFile(fileType_, path, file), cv::kS_OK); }
  static cvla::QlaStream* Stream(const OpenedQlaFile& file) { return static_cast<cvla::QlaStream*>(file.stream); }
  // Whether the digest the stream computes of what it delivers, read in requests
  // of chunk frames, is the digest of the audio.
  static bool DeliversDigestOf(const OpenedQlaFile& file, uint32_t chunk, const PcmAudio& audio) {
    cvla::IQlaDeliveredDigest* part = nullptr;
    if (file.stream->QueryInterface(cvla::IID_IQlaDeliveredDigest, reinterpret_cast<void**>(&part)) != cv::kS_OK)
      return false;
    cv::Md5 delivered, expected;
    std::vector<uint8_t> bytes;
    const bool read =
        part->SetDeliveredDigest(&delivered) == cv::kS_OK && cvtest::ReadAllFrames(file, chunk, &bytes) == cv::kS_OK;
    EXPECT_EQ(part->SetDeliveredDigest(nullptr), cv::kS_OK);
    part->Release();
    expected.Update(audio.bytes.data(), audio.bytes.size());
    return read && delivered.Finish() == expected.Finish();
  }
  // Reads frames [at, at + frames) and compares them with the audio's, cut at its end.
  static bool ReadsBack(const OpenedQlaFile& file, const PcmAudio& audio, uint64_t at, uint32_t frames) {
    std::vector<uint8_t> bytes;
    const size_t align = audio.format.nBlockAlign, end = std::min<uint64_t>(at + frames, audio.Frames()) * align;
    return cvtest::ReadFrames(file.stream, file.format, at, frames, &bytes) == cv::kS_OK &&
           std::equal(bytes.begin(), bytes.end(), audio.bytes.begin() + at * align, audio.bytes.begin() + end);
  }

  cvtest::ModuleScope module_;
  cvtest::TestHost host_;
  cv::ICvFileType* fileType_ = nullptr;
};

TEST_F(ReaderTest, SequentialRequestsOfManySizesGiveTheRenderedFrames) {
  PcmAudio stereo = cvtest::SyntheticAudio(2, 44100, 16, 3 * kGroup + 777, 3);
  PcmAudio mono24 = cvtest::SyntheticAudio(1, 48000, 24, kGroup + 5, 4);
  PcmAudio stereo24 = cvtest::SyntheticAudio(2, 96000, 24, kGroup + 1000, 5);
  for (const PcmAudio* audio : {&stereo, &mono24, &stereo24}) {
    OpenedQlaFile file;
    Open(Render(*audio, "seq.qla"), &file);
    EXPECT_EQ(file.frames, audio->Frames());
    EXPECT_EQ(file.format.wFormatTag, 1);
    EXPECT_EQ(file.format.nBlockAlign, audio->format.nBlockAlign);
    std::vector<uint8_t> bytes;
    for (uint32_t chunk : {1u, 7u, 511u, 512u, 513u, 4096u, 100000u}) {
      ASSERT_EQ(cvtest::ReadAllFrames(file, chunk, &bytes), cv::kS_OK) << chunk;
      EXPECT_TRUE(bytes == audio->bytes) << "chunk " << chunk;
      // The digest hashed while decoding covers the same bytes in the same order,
      // also where the codes are read without the processor's bit instructions
      // and the reconstruction hashes on its own.
      cvplat::AllowProcessorExtensions(chunk != 4096);
      EXPECT_TRUE(DeliversDigestOf(file, chunk, *audio)) << "chunk " << chunk;
      cvplat::AllowProcessorExtensions(true);
    }
    // At the end: S_FALSE and nothing; a request past it is cut.
    EXPECT_EQ(cvtest::ReadFrames(file.stream, file.format, file.frames, 10, &bytes), cv::kS_FALSE);
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(ReadsBack(file, *audio, file.frames - 10, 100));
  }
}

// Every recording of the corpus, rendered and read back through the host's
// path: whole, and from positions around the seek groups.
TEST_F(ReaderTest, CorpusRecordingsReadBackBitForBitFromAnyPosition) {
  if (!cvtest::FlacAvailable() || cvtest::CorpusFiles().empty()) GTEST_SKIP() << "no flac or corpus";
  for (const std::string& name : cvtest::CorpusFiles()) {
    SCOPED_TRACE(name);
    PcmAudio audio;
    ASSERT_TRUE(cvtest::DecodeCorpusFile(name, &audio));
    OpenedQlaFile file;
    Open(Render(audio, "corpus.qla"), &file);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(cvtest::ReadAllFrames(file, 3000, &bytes), cv::kS_OK);
    ASSERT_TRUE(bytes == audio.bytes);
    EXPECT_TRUE(DeliversDigestOf(file, 16384, audio));
    const uint64_t frames = audio.Frames();
    for (uint64_t position : {frames / 2, frames - 1, uint64_t{kGroup} - 1, uint64_t{kGroup} + 511, uint64_t{0}}) {
      if (position >= frames) continue;
      EXPECT_TRUE(ReadsBack(file, audio, position, 1500)) << position;
    }
  }
}

TEST_F(ReaderTest, AdjacentRequestsUseTheCacheAndJumpsReadTheSeekTableOnce) {
  PcmAudio audio = cvtest::SyntheticAudio(2, 44100, 16, 4 * kGroup, 6);
  OpenedQlaFile file;
  Open(Render(audio, "cache.qla"), &file);
  const cvla::StreamReadCounters& counters = Stream(file)->Counters();
  const auto read = [&](uint64_t at, uint32_t frames) { EXPECT_TRUE(ReadsBack(file, audio, at, frames)) << at; };

  read(0, 100);
  read(100, 100);
  EXPECT_EQ(counters.blocksDecoded, 1u);
  // The last frame of a block, then the next frame: the next block without a seek.
  uint32_t seeks = counters.seekTableReads;
  read(511, 1);
  read(512, 1);
  EXPECT_EQ(counters.seekTableReads, seeks);
  EXPECT_EQ(counters.blocksDecoded, 2u);

  // A jump into group 3 reads entry 3 once and decodes from its sync block.
  uint32_t blocks = counters.blocksDecoded;
  read(3 * kGroup + 7, 10);
  EXPECT_EQ(counters.seekTableReads, seeks + 1);
  EXPECT_EQ(counters.blocksDecoded, blocks + 1);

  // Backwards: group 0 again, decoded forward to the wanted block.
  blocks = counters.blocksDecoded;
  read(20000, 5);
  read(100, 5);
  EXPECT_EQ(counters.seekTableReads, seeks + 3);
  // 20000 lies in block 39 of group 1 (block 25 is its sync block): 15 blocks, then block 0.
  EXPECT_EQ(counters.blocksDecoded, blocks + 15 + 1);

  // A long request: its last block stays in the cache (a re-read of its tail
  // costs nothing), the blocks before it went to the caller only.
  read(512, 4096);
  seeks = counters.seekTableReads;
  blocks = counters.blocksDecoded;
  read(4600, 8);
  EXPECT_EQ(counters.blocksDecoded, blocks);
  read(1000, 8);
  EXPECT_EQ(counters.seekTableReads, seeks + 1);
}

TEST_F(ReaderTest, ReopenAfterTheFileChangedParsesAgain) {
  PcmAudio first = cvtest::SyntheticAudio(2, 44100, 16, 2000, 9);
  PcmAudio second = cvtest::SyntheticAudio(1, 32000, 16, 5000, 10);
  std::string path = Render(first, "reopen.qla");
  OpenedQlaFile file;
  Open(path, &file);
  EXPECT_TRUE(ReadsBack(file, first, 0, 100));
  file.reader->Close();
  EXPECT_EQ(file.reader->IsClosed(), cv::kS_FALSE);
  std::vector<uint8_t> bytes;
  EXPECT_EQ(cvtest::ReadFrames(file.stream, file.format, 0, 100, &bytes), cv::CVERR_FILE_OPEN);

  // Make sure the modification time moves even on coarse clocks.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(cvtest::RenderAudio(second, path), cv::kS_OK);
  ASSERT_EQ(file.reader->Open(0, 0x20), cv::kS_OK);
  uint64_t length = 0;
  file.stream->GetLength(&length);
  EXPECT_EQ(length, second.Frames());
  file.stream->GetFormat(&file.format, sizeof(file.format), nullptr, nullptr, 0, nullptr);
  EXPECT_EQ(file.format.nChannels, 1);
  EXPECT_TRUE(ReadsBack(file, second, 0, 5000));
}

TEST_F(ReaderTest, OpenOfAMissingFileMapsTheSystemError) {
  cv::ICvFileReader* reader = nullptr;
  std::basic_string<wchar16> path = cvtest::WidePath(cvtest::TestDataPath("does-not-exist.qla"));
  EXPECT_EQ(fileType_->CreateReader(&reader, INVALID_HANDLE_VALUE, path.c_str(), 1), cv::CVERR_NOT_FOUND);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->IsClosed(), cv::kS_FALSE);
  EXPECT_EQ(reader->SetFileName(path.c_str()), cv::kS_OK);
  reader->Release();
}

// Damaged rewrites of a valid file: the reads that need the damaged bytes
// answer CVERR_FILE_READ with nothing delivered (and keep failing, the failure
// is not cached), the others still give the rendered frames.
TEST_F(ReaderTest, DamagedFilesFailOnlyTheReadsThatNeedTheDamage) {
  const PcmAudio audio = cvtest::SyntheticAudio(2, 44100, 16, 2 * kGroup + 300, 11);
  const std::string path = Render(audio, "damaged.qla");
  const cvtest::Bytes good = cvtest::ReadWholeFile(path);
  ASSERT_GT(good.size(), 78u);
  const uint32_t dataSize = qla::LoadU32(&good[74]);
  const size_t seekTable = 78 + dataSize + (dataSize & 1) + 8;
  ASSERT_EQ(std::memcmp(&good[seekTable - 8], "cvla", 4), 0);
  const auto blocks = cvtest::WalkBlocks(good, 2, qla::LoadU32(&good[42]));
  ASSERT_GT(blocks.size(), 3u);
  struct Read {
    uint64_t at;
    uint32_t frames;
    bool fails;
  };
  struct Damage {
    std::function<void(cvtest::Bytes&)> apply;
    std::vector<Read> reads;
  };
  std::vector<Damage> damages;
  // The entry of group 1 pointing anywhere, or at a whole block that is no
  // sync block (which would decode with another group's history).
  const auto block1 = static_cast<uint32_t>(blocks[1].offset);
  for (uint32_t target : {0u, 1u, 79u, 5000u, block1, 0x7FFFFFF0u, 0xFFFFFFFFu})
    damages.push_back({[=](cvtest::Bytes& b) { qla::StoreU32(&b[seekTable + 4], target); },
                       {{kGroup + 10, 100, true}, {5, 100, false}}});
  // Block 1 (after the first sync block) with frame count 0, which is refused;
  // block 0 comes back through the seek table with its own frames.
  damages.push_back({[&](cvtest::Bytes& b) { qla::StoreU16(&b[blocks[1].offset], 0); },
                     {{0, 512, false}, {512, 10, true}, {515, 10, true}, {500, 12, false}}});
  // No seek table: the file is decoded from block 0.
  damages.push_back({[&](cvtest::Bytes& b) { std::memcpy(&b[seekTable - 8], "junk", 4); },
                     {{kGroup + 10, 100, false}, {3, 100, false}}});
  for (size_t i = 0; i < damages.size(); ++i) {
    SCOPED_TRACE(i);
    cvtest::Bytes bytes = good;
    damages[i].apply(bytes);
    ASSERT_TRUE(cvtest::WriteFile(path, bytes));
    OpenedQlaFile file;
    Open(path, &file);
    for (const Read& r : damages[i].reads) {
      std::vector<uint8_t> read;
      if (!r.fails) {
        EXPECT_TRUE(ReadsBack(file, audio, r.at, r.frames)) << r.at;
      } else {
        EXPECT_EQ(cvtest::ReadFrames(file.stream, file.format, r.at, r.frames, &read), cv::CVERR_FILE_READ) << r.at;
        EXPECT_TRUE(read.empty());
      }
    }
  }
}

TEST_F(ReaderTest, StreamTextsAndValuesDescribeThePcmFormat) {
  PcmAudio audio = cvtest::SyntheticAudio(2, 44100, 16, 3000, 12);
  OpenedQlaFile file;
  Open(Render(audio, "texts.qla"), &file);
  wchar16 text[300];
  ASSERT_EQ(file.reader->GetStreamText(text, 300, 0, 1), cv::kS_OK);
  EXPECT_EQ(cvplat::WideToAnsiString(text), "Corvane Quartzline Audio");
  ASSERT_EQ(file.reader->GetStreamText(text, 300, 0, 2), cv::kS_OK);
  EXPECT_EQ(cvplat::WideToAnsiString(text), "44,100 Hz, 16-bit, Stereo");
  EXPECT_EQ(file.reader->GetStreamText(text, 300, 0, 3), cv::kS_FALSE);
  EXPECT_NE(cvplat::WideToAnsiString(text).find(" kBit/s"), std::string::npos);
  EXPECT_EQ(file.reader->GetStreamText(text, 300, 0, 9), cv::kS_FALSE);
  EXPECT_EQ(text[0], 0);
  ASSERT_EQ(file.reader->GetStreamText(text, 4, 0, 2), cv::kS_OK);
  EXPECT_EQ(cvplat::WideToAnsiString(text), "44,");

  uint64_t rate = 0;
  ASSERT_EQ(file.reader->GetStreamValueAlias(&rate, sizeof(rate), 1), cv::kS_OK);
  EXPECT_GT(rate, 0u);
  EXPECT_EQ(file.reader->GetStreamValue(&rate, 4, 0, 2), cv::kS_FALSE);

  cv::StreamInfoRecord records[2] = {};
  WAVEFORMATEX pcm{};
  records[0].formatBuffer = &pcm;
  records[0].formatSize = sizeof(pcm);
  EXPECT_EQ(file.reader->GetStreamInfos(records, 0, 2), cv::kE_INVALIDARG);
  ASSERT_EQ(file.reader->GetStreamInfos(records, 0, 1), cv::kS_OK);
  EXPECT_EQ(records[0].streamType, 1u);
  EXPECT_EQ(uint32_t{records[0].formatNeeded}, 18u);  // copies of packed fields
  EXPECT_EQ(uint32_t{records[0].extraNeeded}, 32u);
  EXPECT_EQ(uint64_t{records[0].totalFrames}, 3000u);
  EXPECT_EQ(pcm.nChannels, 2);
  uint8_t small[10];
  EXPECT_EQ(file.stream->GetFormat(small, sizeof(small), nullptr, nullptr, 0, nullptr), cv::kE_OUTOFMEMORY);
  uint64_t duration = 0;
  file.reader->GetDuration(&duration);
  EXPECT_EQ(duration, 3000ull * 10000000 / 44100);
  EXPECT_EQ(file.reader->SetFileName(CV_W("other.qla")), cv::kE_FAIL);
  cv::ICvAudioStreamEx* second = nullptr;
  EXPECT_EQ(file.reader->GetStream(&second, 0xFFFFFFFFu, 1, 0, 0, nullptr), cv::kE_INVALIDARG);
}

TEST_F(ReaderTest, MetadataComesFromTheFileAndHoldsTheReader) {
  PcmAudio audio = cvtest::SyntheticAudio(1, 44100, 16, 44100 * 2, 13);
  std::string path = Render(audio, "meta.qla");
  // Append a "LIST" "INFO" with INAM and a "cue " point at sample 44100.
  std::vector<uint8_t> bytes = cvtest::ReadWholeFile(path);
  const cvtest::Bytes extra =
      cvtest::Concat({cvtest::List("INFO", cvtest::Chunk("INAM", cvtest::Text("Song"))), cvtest::CueChunk({44100})});
  bytes.insert(bytes.end(), extra.begin(), extra.end());
  qla::StoreU32(&bytes[4], qla::LoadU32(&bytes[4]) + static_cast<uint32_t>(extra.size()));
  ASSERT_TRUE(cvtest::WriteFile(path, bytes));

  OpenedQlaFile file;
  Open(path, &file);
  cv::ICvMetadataSource* source = nullptr;
  ASSERT_EQ(file.reader->GetMetadata(&source), cv::kS_OK);
  wchar16 text[16];
  ASSERT_EQ(source->GetInfoText(0x4D414E49 /* "INAM" */, text, 16), cv::kS_OK);
  EXPECT_EQ(cvplat::WideToAnsiString(text), "Song");
  IStream* markers = nullptr;
  ASSERT_EQ(source->GetMarkerStream(&markers), cv::kS_OK);
  uint8_t head[12 + 28] = {};
  ULONG got = 0;
  markers->Read(head, sizeof(head), &got);
  EXPECT_EQ(qla::LoadU32(head + 8), 1u);
  int64_t position = 0;
  std::memcpy(&position, head + 16, 8);
  EXPECT_EQ(position, 10000000);
  markers->Release();
  cv::ICvLoopInfo* loop = nullptr;
  ASSERT_EQ(source->QueryInterface(cv::kIID_ICvLoopInfo, reinterpret_cast<void**>(&loop)), cv::kS_OK);
  uint8_t acid[24];
  EXPECT_EQ(loop->GetAcid(acid), cv::kS_FALSE);
  loop->Release();
  void* other = nullptr;
  EXPECT_EQ(source->QueryInterface(cv::IID_ICvFileReader, &other), cv::kE_NOINTERFACE);
  // The source keeps the reader alive after the host let go of it.
  file.stream->Release();
  file.stream = nullptr;
  file.reader->Release();
  file.reader = nullptr;
  ASSERT_EQ(source->GetInfoText(0x4D414E49, text, 3), cv::kS_OK);
  EXPECT_EQ(cvplat::WideToAnsiString(text), "So");
  EXPECT_EQ(source->Release(), 0u);
}

}  // namespace
