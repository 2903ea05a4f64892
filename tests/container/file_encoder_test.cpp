#include "ffplugs/cvla/renderer/file_encoder.h"

#include "ffplugs/cvla/qla_format.h"
#include "ffplugs/cvla/renderer/group_encoder.h"
#include "krn/md5.h"
#include "krn/platform/file.h"
#include "krn/results.h"
#include "tests/codec/encoder_test_signals.h"
#include "tests/support/qla_test_files.h"
#include "tests/support/riff_test_files.h"
#include "tests/support/test_progress_sink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using namespace cvtest;

constexpr HRESULT kReadFailure = static_cast<HRESULT>(0x80070026u);

// The fixed fields of a finished file, read back from its bytes.
struct FileView {
  explicit FileView(Bytes b) : bytes(std::move(b)) {}
  uint32_t U32(size_t at) const { return GetU32(bytes, at); }
  uint16_t U16(size_t at) const { return qla::LoadU16(&bytes.at(at)); }
  uint32_t RiffSize() const { return U32(4); }
  uint16_t Channels() const { return U16(22); }
  uint32_t AvgBytes() const { return U32(28); }
  uint32_t CodecFlags() const { return U32(42); }
  uint64_t TotalFrames() const { return U32(46) | (static_cast<uint64_t>(U32(50)) << 32); }
  uint32_t SeekEntryCount() const { return U32(54); }
  uint32_t DataSize() const { return U32(74); }
  std::vector<uint32_t> SeekTable() const {
    const size_t chunk = 78 + DataSize() + (DataSize() & 1);
    std::vector<uint32_t> t;
    for (uint32_t i = 0; i < U32(chunk + 4) / 4; ++i) t.push_back(U32(chunk + 8 + 4 * i));
    return t;
  }
  // What the seek table must hold: the offsets of the sync blocks in the data
  // chunk, then the end entry 0.
  std::vector<uint32_t> SyncOffsets() const {
    std::vector<uint32_t> offsets;
    const Bytes data(bytes.begin(), bytes.begin() + 78 + DataSize());
    for (const StoredBlock& b : WalkBlocks(data, Channels(), CodecFlags()))
      if (b.sync) offsets.push_back(b.offset);
    offsets.push_back(0);
    return offsets;
  }
  Bytes bytes;
};

// Stereo 16-bit tones from plain double recurrences (no C library maths), so
// that every build renders the same bytes.
PcmAudio ToneAudio(uint64_t frames) {
  enctest::Tone left(1.99, 12000, 1), right(1.97, 9000, 2);
  std::vector<std::vector<int32_t>> channels(2, std::vector<int32_t>(frames));
  for (uint64_t i = 0; i < frames; ++i) channels[0][i] = left.Next(40), channels[1][i] = right.Next(40);
  PcmAudio audio;
  audio.format = PcmFormat(2, 44100, 16);
  audio.bytes = enctest::Interleave(channels, 16);
  return audio;
}

class FileEncoderTest : public ::testing::Test {
 protected:
  HRESULT Render(PcmTestStream& stream, const WAVEFORMATEX& fileFormat, cv::ICvProgressSink* sink = nullptr,
                 unsigned threads = 1) {
    TestTemplate renderTemplate(fileFormat);
    const HRESULT hr = qla::EncodeFile(sink, path.c_str(), &stream, &renderTemplate.record, threads);
    callerFormat = renderTemplate.block.format;
    return hr;
  }
  FileView Written() const { return FileView(ReadWholeFile(path)); }
  bool DecodesTo(const PcmAudio& audio) const {
    PcmAudio decoded;
    return DecodeQlaFile(path, &decoded) == 0 && decoded.bytes == audio.bytes;
  }

  std::string path = TestDataPath("file_encoder.qla");
  WAVEFORMATEX callerFormat{};
};

// Whole files pinned by size and hash, for lengths from empty (an empty data
// chunk and only the end entry of the seek table) to several seek groups; the
// seek table points at the sync blocks and progress follows the full blocks.
TEST_F(FileEncoderTest, FilesKeepTheirBytes) {
  const struct {
    uint64_t frames;
    size_t size;
    uint64_t hash;
  } cases[] = {{0, 90, 0xc5edf6b329fe95f4ull}, {1, 148, 0x2ea7cedda06450b4ull},
               {3, 154, 0x07651f19147831beull}, {512, 1178, 0xfa6686e861a35c84ull},
               {12800, 26126, 0x3fb1aebdc3df1d4eull}, {12801, 26184, 0x888ca6d518dc43f8ull},
               {25600, 52130, 0x98033b121f2f51f7ull}, {40000, 81412, 0xa31db75f66ca1a78ull}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frames);
    const PcmAudio audio = ToneAudio(c.frames);
    PcmTestStream stream(audio);
    TestProgressSink sink;
    ASSERT_EQ(0, Render(stream, audio.format, &sink));
    const FileView f = Written();
    EXPECT_EQ(c.size, f.bytes.size());
    EXPECT_EQ(c.hash, Fnv1a(f.bytes)) << std::hex << Fnv1a(f.bytes);
    EXPECT_EQ(f.bytes.size() - 8, f.RiffSize());
    EXPECT_EQ(f.SyncOffsets(), f.SeekTable());
    // The caller's format becomes PCM with the rate the file states.
    EXPECT_EQ(f.AvgBytes(), uint32_t{callerFormat.nAvgBytesPerSec});
    EXPECT_EQ(1, callerFormat.wFormatTag);
    EXPECT_EQ(32, callerFormat.cbSize);

    // One range of 0 to 100, then progress after every full block (the last
    // short one ends with S_FALSE).
    EXPECT_EQ(1u, sink.RangeCalls());
    EXPECT_EQ((std::vector<uint32_t>{0, 100, 0}), std::vector<uint32_t>(sink.Range(), sink.Range() + 3));
    std::vector<uint64_t> expected;
    for (uint64_t done = 512; done <= c.frames; done += 512)
      expected.push_back(static_cast<uint64_t>(static_cast<double>(done) / static_cast<double>(c.frames) * 100.0));
    EXPECT_EQ(expected, sink.Percentages());
    EXPECT_EQ(1u, stream.References());
    EXPECT_TRUE(DecodesTo(audio));
  }
}

TEST_F(FileEncoderTest, ShortAnnouncedLengthGrowsTheSeekTable) {
  PcmAudio audio = SyntheticAudio(2, 48000, 16, 70000, 3);
  for (uint64_t announced : {0ull, 100ull, 13000ull}) {
    PcmTestStream stream(audio);
    stream.SetAnnouncedFrames(announced);
    stream.SetMaxFramesPerRead(300);  // reads that fill a block in pieces
    TestProgressSink sink;
    ASSERT_EQ(0, Render(stream, audio.format, &sink));
    const FileView f = Written();
    EXPECT_EQ(70000u, f.TotalFrames());
    EXPECT_EQ(7u, f.SeekEntryCount());
    EXPECT_EQ(136u, sink.Percentages().size());
    const double scale = announced ? static_cast<double>(announced) : 1.0;
    EXPECT_EQ(static_cast<uint64_t>(512.0 / scale * 100.0), sink.Percentages()[0]);
    EXPECT_EQ(f.SyncOffsets(), f.SeekTable());
    EXPECT_TRUE(DecodesTo(audio));
  }
}

TEST_F(FileEncoderTest, FailingSourceKeepsWhatCompletedOrWasHeld) {
  PcmAudio audio = SyntheticAudio(2, 44100, 16, 5000, 5);
  struct Case {
    uint32_t perRead;
    uint64_t failAt;
    bool endingThere;
    std::vector<uint32_t> blockFrames;
  };
  const Case cases[] = {
      {0, 1000, false, {512}},        // the failing read brings 488 frames: no block completes
      {0, 1024, true, {512, 512}},    // the failing read completes the second block
      {256, 768, false, {512, 256}},  // it brings nothing while 256 frames are held
      {0, 0, false, {}},
  };
  for (const Case& c : cases) for (unsigned threads : {1u, 2u}) {
    SCOPED_TRACE(c.failAt);
    PcmTestStream stream(audio);
    stream.SetMaxFramesPerRead(c.perRead);
    stream.FailReadsAt(c.failAt, kReadFailure, c.endingThere);
    TestProgressSink sink;
    EXPECT_EQ(kReadFailure, Render(stream, audio.format, &sink, threads));
    const FileView f = Written();
    EXPECT_EQ(0u, f.RiffSize());
    EXPECT_EQ(0u, f.DataSize());
    EXPECT_EQ(5000u, f.TotalFrames());  // the announced values stay
    EXPECT_EQ(2u, f.SeekEntryCount());
    std::vector<uint32_t> frames;
    for (const StoredBlock& b : WalkBlocks(f.bytes, 2, f.CodecFlags())) frames.push_back(b.frameCount);
    EXPECT_EQ(c.blockFrames, frames);
    // Only the block completed by a read that answered S_OK is reported.
    if (threads == 1) {
      EXPECT_EQ(c.blockFrames.empty() ? 0u : 1u, sink.Percentages().size());
    }
    EXPECT_EQ(1u, stream.References());
  }
}

// Seek groups encoded on several threads give the bytes of the block-by-block
// render, also where silent channels state values carried over from an earlier
// group or slot (the Rice parameter, the LPC bytes). A cancel, on one thread or
// several, ends the render with the reported blocks whole and nothing behind them.
TEST_F(FileEncoderTest, GroupsOnThreadsGiveTheSameBytes) {
  struct Case {
    uint16_t channels, bits;
    uint32_t perRead;
  };
  constexpr uint64_t kSlot = qla::kFramesPerSlot;
  for (const Case& c : {Case{2, 16, 0}, Case{2, 24, 70000}, Case{1, 16, 0}}) {
    SCOPED_TRACE(c.bits * 10 + c.channels);
    PcmAudio audio = SyntheticAudio(c.channels, 44100, c.bits, 2 * kSlot + 12800 * 3 + 300, 3);
    const uint32_t align = audio.format.nBlockAlign, half = align / 2;
    // Stretches of silence and, in stereo, of equal channels (a silent side)
    // and of opposite ones (a silent mid), across group and slot boundaries.
    for (uint64_t f = 12000; f < 40000; ++f) std::memset(&audio.bytes[f * align], 0, align);
    for (uint64_t f = kSlot - 3000; f < kSlot + 13000; ++f) std::memset(&audio.bytes[f * align], 0, align);
    for (uint64_t f = 50000; f < 2 * kSlot + 20000 && c.channels == 2; ++f) {
      if (f >= kSlot - 3000 && f < kSlot + 13000) continue;
      uint8_t* frame = &audio.bytes[f * align];
      if (f < 2 * kSlot - 1000) {
        std::memcpy(frame + half, frame, half);
      } else {
        const uint8_t plus[3] = {1, 0, 0}, minus[3] = {0xFF, 0xFF, 0xFF};
        std::memcpy(frame, f & 1 ? plus : minus, half);
        std::memcpy(frame + half, f & 1 ? minus : plus, half);
      }
    }
    cv::Md5 pcm;
    pcm.Update(audio.bytes.data(), audio.bytes.size());
    const cv::Md5::Digest digest = pcm.Finish();
    Bytes single;
    for (unsigned threads : {1u, 3u}) {
      PcmTestStream stream(audio);
      stream.SetMaxFramesPerRead(c.perRead);
      stream.OfferDigest();
      ASSERT_EQ(0, Render(stream, audio.format, nullptr, threads));
      EXPECT_TRUE(stream.DigestHandedOver());
      EXPECT_TRUE(stream.FinishDigest() == digest) << "the render hashes every delivered byte in order";
      if (threads == 1) {
        single = Written().bytes;
        ASSERT_GT(single.size(), 262144u) << "longer than the file writer's buffer";
        EXPECT_TRUE(DecodesTo(audio));
      } else
        EXPECT_TRUE(single == Written().bytes);
    }
    for (unsigned threads : {1u, 2u}) {
      PcmTestStream stream(audio);
      TestProgressSink sink;
      sink.CancelAtCall(30);
      EXPECT_EQ(cv::CVERR_CANCELLED, Render(stream, audio.format, &sink, threads));
      const FileView f = Written();
      EXPECT_EQ(0u, f.RiffSize());
      EXPECT_EQ(0u, f.DataSize());
      EXPECT_EQ(30u, sink.Percentages().size());
      const auto blocks = WalkBlocks(f.bytes, c.channels, f.CodecFlags());
      ASSERT_EQ(30u, blocks.size());
      EXPECT_EQ(f.bytes.size(), blocks.back().offset + blocks.back().headerBytes + blocks.back().payloadBytes);
      EXPECT_EQ(1u, stream.References());
    }
  }
}

// A render refuses before the first read of the audio, and gives the stream's
// references back: without a template or its format (the file that was there
// is left empty), where the file cannot be created, for a file format the
// blocks cannot hold and for a stream that hides its interface or cannot tell
// its format.
TEST_F(FileEncoderTest, RefusalsComeBeforeTheFirstRead) {
  const PcmAudio audio = SyntheticAudio(2, 44100, 16, 600);
  WAVEFORMATEX floating = audio.format, misaligned = audio.format, odd = audio.format;
  floating.wFormatTag = 3;
  misaligned.nBlockAlign = 6;
  odd.wFormatTag = 0x1234;  // a source format that no converter reaches
  TestTemplate good(audio.format);
  qla::RenderTemplate noFormat{};
  const auto encode = [](const std::string& to, PcmTestStream* s, qla::RenderTemplate* t) {
    return qla::EncodeFile(nullptr, to.c_str(), s, t);
  };
  const auto toFile = [&](WAVEFORMATEX format) { return [&, format](PcmTestStream& s) { return Render(s, format); }; };
  const auto fromStream = [&](std::function<void(PcmTestStream&)> setUp) {
    return [&, setUp](PcmTestStream& s) {
      setUp(s);
      return Render(s, audio.format);
    };
  };
  const struct {
    std::function<HRESULT(PcmTestStream&)> render;
    HRESULT expected;
    bool leavesAnEmptyFile;
  } cases[] = {
      {[&](PcmTestStream& s) { return encode(path, &s, nullptr); }, cv::CVERR_FILE_CREATE, true},
      {[&](PcmTestStream& s) { return encode(path, &s, &noFormat); }, cv::CVERR_FILE_CREATE, true},
      {[&](PcmTestStream& s) { return encode(TestDataPath("no-such-folder/x.qla"), &s, &good.record); },
       cv::CVERR_FILE_CREATE, false},
      {toFile(PcmFormat(3, 44100, 16)), cv::CVERR_UNSUPPORTED_FORMAT, true},
      {toFile(PcmFormat(2, 44100, 8)), cv::CVERR_UNSUPPORTED_FORMAT, true},
      {toFile(PcmFormat(1, 44100, 32)), cv::CVERR_UNSUPPORTED_FORMAT, true},
      {toFile(floating), cv::CVERR_UNSUPPORTED_FORMAT, true},
      {toFile(misaligned), cv::CVERR_UNSUPPORTED_FORMAT, true},
      {[&](PcmTestStream&) { return encode(path, nullptr, &good.record); }, cv::kE_UNEXPECTED, true},
      {fromStream([](PcmTestStream& s) { s.HideStreamInterface(); }), cv::kE_UNEXPECTED, true},
      {fromStream([](PcmTestStream& s) { s.FailFormatSizeQuery(cv::kE_FAIL); }), cv::kE_UNEXPECTED, true},
      {fromStream([](PcmTestStream& s) { s.FailFormatDataCall(kReadFailure); }), kReadFailure, true},
      {fromStream([&](PcmTestStream& s) { s.SetReportedFormat(odd); }), cv::kE_NOTIMPL, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    WriteFile(path, Bytes(100, 7));
    PcmTestStream stream(audio);
    EXPECT_EQ(cases[i].expected, cases[i].render(stream));
    if (cases[i].leavesAnEmptyFile) {
      EXPECT_TRUE(FileExists(path) && ReadWholeFile(path).empty());
    }
    EXPECT_EQ(0u, stream.ReadCalls());
    EXPECT_EQ(1u, stream.References());
  }
}

// A 24-bit source rendered to 16 bits (the host converts, the flags follow the
// source) and a 24-bit file are coded without the LPC stage.
TEST_F(FileEncoderTest, WideSourceOrFileTurnsTheLpcStageOff) {
  for (const PcmAudio& audio : {SyntheticAudio(2, 44100, 16, 2000, 13), SyntheticAudio(1, 96000, 24, 3000, 17)}) {
    PcmTestStream stream(audio);
    stream.SetReportedFormat(PcmFormat(audio.format.nChannels, audio.format.nSamplesPerSec, 24));
    ASSERT_EQ(0, Render(stream, audio.format));
    const FileView f = Written();
    EXPECT_EQ(0x00640001u, f.CodecFlags());
    EXPECT_EQ(audio.format.nBlockAlign, f.U16(32));
    EXPECT_EQ(audio.format.wBitsPerSample, f.U16(34));
    EXPECT_TRUE(DecodesTo(audio));
  }
}

TEST_F(FileEncoderTest, AlternativeFormatIsWrittenAndUpdated) {
  PcmAudio audio = SyntheticAudio(2, 32000, 16, 1500, 19);
  PcmTestStream stream(audio);
  TestTemplate renderTemplate(PcmFormat(1, 8000, 16));
  renderTemplate.UseAlternative(audio.format);
  ASSERT_EQ(0, qla::EncodeFile(nullptr, path.c_str(), &stream, &renderTemplate.record));
  const FileView f = Written();
  EXPECT_EQ(2, f.Channels());
  EXPECT_EQ(32, renderTemplate.alternative.cbSize);
  EXPECT_EQ(1, renderTemplate.alternative.wFormatTag);
  EXPECT_EQ(f.AvgBytes(), uint32_t{renderTemplate.alternative.nAvgBytesPerSec});
  EXPECT_EQ(0, renderTemplate.block.format.cbSize);  // the template's own format stays as it was
  EXPECT_EQ(16000u, uint32_t{renderTemplate.block.format.nAvgBytesPerSec});
}

}  // namespace
