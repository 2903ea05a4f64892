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
#include <thread>

namespace {

using cvtest::OpenedQlaFile;
using cvtest::PcmAudio;

constexpr uint32_t kGroup = 12800;

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_unique<cvtest::TestHost>();
    ASSERT_EQ(cvtest::CreateFileTypeLikeHost(host_->Host(), 0, &fileType_), cv::kS_OK);
  }
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
  // The digest the stream computes of what it delivers, read in requests of chunk frames.
  static cv::Md5::Digest DeliveredDigest(const OpenedQlaFile& file, uint32_t chunk) {
    cvla::IQlaDeliveredDigest* part = nullptr;
    EXPECT_EQ(file.stream->QueryInterface(cvla::IID_IQlaDeliveredDigest, reinterpret_cast<void**>(&part)), cv::kS_OK);
    if (!part) return {};
    cv::Md5 md5;
    EXPECT_EQ(part->SetDeliveredDigest(&md5), cv::kS_OK);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(cvtest::ReadAllFrames(file, chunk, &bytes), cv::kS_OK);
    EXPECT_EQ(part->SetDeliveredDigest(nullptr), cv::kS_OK);
    part->Release();
    return md5.Finish();
  }
  static cv::Md5::Digest DigestOf(const std::vector<uint8_t>& bytes) {
    cv::Md5 md5;
    md5.Update(bytes.data(), bytes.size());
    return md5.Finish();
  }
  static std::vector<uint8_t> Slice(const PcmAudio& audio, uint64_t first, uint64_t frames) {
    size_t align = audio.format.nBlockAlign;
    return std::vector<uint8_t>(audio.bytes.begin() + first * align, audio.bytes.begin() + (first + frames) * align);
  }

  cvtest::ModuleScope module_;
  std::unique_ptr<cvtest::TestHost> host_;
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
      EXPECT_EQ(DeliveredDigest(file, chunk), DigestOf(audio->bytes)) << "chunk " << chunk;
      cvplat::AllowProcessorExtensions(true);
    }
    // At the end: S_FALSE and nothing; a request past it is cut.
    EXPECT_EQ(cvtest::ReadFrames(file.stream, file.format, file.frames, 10, &bytes), cv::kS_FALSE);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(cvtest::ReadFrames(file.stream, file.format, file.frames - 10, 100, &bytes), cv::kS_OK);
    EXPECT_TRUE(bytes == Slice(*audio, file.frames - 10, 10));
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
    EXPECT_EQ(DeliveredDigest(file, 16384), DigestOf(audio.bytes));
    const uint64_t frames = audio.Frames();
    const size_t align = audio.format.nBlockAlign;
    for (uint64_t position : {frames / 2, frames - 1, uint64_t{kGroup} - 1, uint64_t{kGroup} + 511, uint64_t{0}}) {
      if (position >= frames) continue;
      const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(1500, frames - position));
      ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, position, count, &bytes), cv::kS_OK) << position;
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), audio.bytes.begin() + position * align)) << position;
    }
    file.Reset();
  }
}

TEST_F(ReaderTest, AdjacentRequestsUseTheCacheAndJumpsReadTheSeekTableOnce) {
  PcmAudio audio = cvtest::SyntheticAudio(2, 44100, 16, 4 * kGroup, 6);
  OpenedQlaFile file;
  Open(Render(audio, "cache.qla"), &file);
  const cvla::StreamReadCounters& counters = Stream(file)->Counters();
  std::vector<uint8_t> bytes;

  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 0, 100, &bytes), cv::kS_OK);
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 100, 100, &bytes), cv::kS_OK);
  EXPECT_EQ(counters.blocksDecoded, 1u);
  // The last frame of a block, then the next frame: the next block without a seek.
  uint32_t seeks = counters.seekTableReads;
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 511, 1, &bytes), cv::kS_OK);
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 512, 1, &bytes), cv::kS_OK);
  EXPECT_EQ(counters.seekTableReads, seeks);
  EXPECT_EQ(counters.blocksDecoded, 2u);

  // A jump into group 3 reads entry 3 once and decodes from its sync block.
  seeks = counters.seekTableReads;
  uint32_t blocks = counters.blocksDecoded;
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 3 * kGroup + 7, 10, &bytes), cv::kS_OK);
  EXPECT_EQ(counters.seekTableReads, seeks + 1);
  EXPECT_EQ(counters.blocksDecoded, blocks + 1);
  EXPECT_TRUE(bytes == Slice(audio, 3 * kGroup + 7, 10));

  // Backwards: group 0 again, decoded forward to the wanted block.
  blocks = counters.blocksDecoded;
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 20000, 5, &bytes), cv::kS_OK);
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 100, 5, &bytes), cv::kS_OK);
  EXPECT_TRUE(bytes == Slice(audio, 100, 5));
  EXPECT_EQ(counters.seekTableReads, seeks + 3);
  // 20000 lies in block 39 of group 1 (block 25 is its sync block): 15 blocks, then block 0.
  EXPECT_EQ(counters.blocksDecoded, blocks + 15 + 1);

  // A long request: its last block stays in the cache (a re-read of its tail
  // costs nothing), the blocks before it went to the caller only.
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 512, 4096, &bytes), cv::kS_OK);
  EXPECT_TRUE(bytes == Slice(audio, 512, 4096));
  seeks = counters.seekTableReads;
  blocks = counters.blocksDecoded;
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 4600, 8, &bytes), cv::kS_OK);
  EXPECT_TRUE(bytes == Slice(audio, 4600, 8));
  EXPECT_EQ(counters.blocksDecoded, blocks);
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 1000, 8, &bytes), cv::kS_OK);
  EXPECT_TRUE(bytes == Slice(audio, 1000, 8));
  EXPECT_EQ(counters.seekTableReads, seeks + 1);
}

TEST_F(ReaderTest, ReopenAfterTheFileChangedParsesAgain) {
  PcmAudio first = cvtest::SyntheticAudio(2, 44100, 16, 2000, 9);
  PcmAudio second = cvtest::SyntheticAudio(1, 32000, 16, 5000, 10);
  std::string path = Render(first, "reopen.qla");
  OpenedQlaFile file;
  Open(path, &file);
  std::vector<uint8_t> bytes;
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 0, 100, &bytes), cv::kS_OK);
  file.reader->Close();
  EXPECT_EQ(file.reader->IsClosed(), cv::kS_FALSE);
  EXPECT_EQ(cvtest::ReadFrames(file.stream, file.format, 0, 100, &bytes), cv::CVERR_FILE_OPEN);

  // Make sure the modification time moves even on coarse clocks.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(cvtest::RenderAudio(second, path), cv::kS_OK);
  ASSERT_EQ(file.reader->Open(0, 0x20), cv::kS_OK);
  uint64_t length = 0;
  file.stream->GetLength(&length);
  EXPECT_EQ(length, second.Frames());
  WAVEFORMATEX format{};
  file.stream->GetFormat(&format, sizeof(format), nullptr, nullptr, 0, nullptr);
  EXPECT_EQ(format.nChannels, 1);
  ASSERT_EQ(cvtest::ReadFrames(file.stream, format, 0, 5000, &bytes), cv::kS_OK);
  EXPECT_TRUE(bytes == second.bytes);
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

// Damaged files: each rewrite of a valid file gives a code at open or read.
class DamagedFileTest : public ReaderTest {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    audio_ = cvtest::SyntheticAudio(2, 44100, 16, 2 * kGroup + 300, 11);
    path_ = Render(audio_, "damaged.qla");
    bytes_ = cvtest::ReadWholeFile(path_);
    ASSERT_FALSE(bytes_.empty());
  }
  HRESULT OpenDamaged(const std::vector<uint8_t>& bytes, OpenedQlaFile* file) {
    EXPECT_TRUE(cvtest::WriteFile(path_, bytes));
    return cvtest::OpenQlaFile(fileType_, path_, file);
  }
  // Offset of the seek table's contents.
  uint32_t SeekTableBase() const {
    for (size_t i = 78; i + 8 <= bytes_.size(); ++i)
      if (std::memcmp(&bytes_[i], "cvla", 4) == 0) return static_cast<uint32_t>(i + 8);
    return 0;
  }
  PcmAudio audio_;
  std::string path_;
  std::vector<uint8_t> bytes_;
};

TEST_F(DamagedFileTest, SeekTableEntriesPointingAnywhereGiveReadErrors) {
  uint32_t base = SeekTableBase();
  ASSERT_NE(base, 0u);
  for (uint32_t target : {0u, 1u, 79u, 5000u, 0x7FFFFFF0u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> bytes = bytes_;
    qla::StoreU32(&bytes[base + 4], target);  // entry of group 1
    OpenedQlaFile file;
    ASSERT_EQ(OpenDamaged(bytes, &file), cv::kS_OK);
    std::vector<uint8_t> read;
    EXPECT_EQ(cvtest::ReadFrames(file.stream, file.format, kGroup + 10, 100, &read), cv::CVERR_FILE_READ) << target;
    EXPECT_TRUE(read.empty());
    ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 5, 100, &read), cv::kS_OK);
    EXPECT_TRUE(read == Slice(audio_, 5, 100));
  }
}

TEST_F(DamagedFileTest, AFailedBlockIsNotServedFromTheCacheAfterwards) {
  // Damage the payload of block 1 (the block after the first sync block).
  std::vector<cvtest::StoredBlock> blocks = cvtest::WalkBlocks(bytes_, 2, qla::LoadU32(&bytes_[42]));
  ASSERT_GT(blocks.size(), 3u);
  std::vector<uint8_t> bytes = bytes_;
  qla::StoreU16(&bytes[blocks[1].offset], 0);  // frameCount 0 is refused
  OpenedQlaFile file;
  ASSERT_EQ(OpenDamaged(bytes, &file), cv::kS_OK);
  std::vector<uint8_t> read;
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 0, 512, &read), cv::kS_OK);
  EXPECT_EQ(cvtest::ReadFrames(file.stream, file.format, 512, 10, &read), cv::CVERR_FILE_READ);
  EXPECT_EQ(cvtest::ReadFrames(file.stream, file.format, 515, 10, &read), cv::CVERR_FILE_READ);
  // Block 0 comes back through the seek table with its own frames.
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 500, 12, &read), cv::kS_OK);
  EXPECT_TRUE(read == Slice(audio_, 500, 12));
}

TEST_F(DamagedFileTest, WithoutSeekTableTheFileIsDecodedFromBlockZero) {
  uint32_t base = SeekTableBase();
  std::vector<uint8_t> bytes = bytes_;
  std::memcpy(&bytes[base - 8], "junk", 4);
  OpenedQlaFile file;
  ASSERT_EQ(OpenDamaged(bytes, &file), cv::kS_OK);
  std::vector<uint8_t> read;
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, kGroup + 10, 100, &read), cv::kS_OK);
  EXPECT_TRUE(read == Slice(audio_, kGroup + 10, 100));
  ASSERT_EQ(cvtest::ReadFrames(file.stream, file.format, 3, 100, &read), cv::kS_OK);
  EXPECT_TRUE(read == Slice(audio_, 3, 100));
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
  uint32_t formatNeeded = records[0].formatNeeded, extraNeeded = records[0].extraNeeded;
  uint64_t totalFrames = records[0].totalFrames;
  EXPECT_EQ(formatNeeded, 18u);
  EXPECT_EQ(extraNeeded, 32u);
  EXPECT_EQ(totalFrames, 3000u);
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
