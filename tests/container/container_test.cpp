#include "ffplugs/cvla/reader/container.h"

#include "krn/results.h"
#include "tests/support/riff_test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>

namespace {

using namespace cvtest;
using qla::QlaContainerInfo;

// The fields of a format chunk that a test changes, with what the encoder writes.
struct FmtFields {
  uint16_t tag = qla::WAVE_FORMAT_QUARTZLINE, channels = 2, blockAlign = 4, bits = 16;
  uint32_t headerSize = 32, flags = 0x00640003, seekEntryCount = 2;
  uint64_t totalFrames = 1000;
  uint16_t framesPerBlock = 512, blocksPerSeekPoint = 25;
};

// The 50 bytes of the format chunk: the format (44100 Hz, 12345 bytes a
// second, cbSize 32), then the codec header.
Bytes FmtBody(const FmtFields& f) {
  Bytes b;
  for (uint16_t v : {f.tag, f.channels}) PutU16(b, v);
  for (uint32_t v : {44100u, 12345u}) PutU32(b, v);
  for (uint16_t v : {f.blockAlign, f.bits, uint16_t{32}}) PutU16(b, v);
  for (uint32_t v : {f.headerSize, f.flags, static_cast<uint32_t>(f.totalFrames),
                     static_cast<uint32_t>(f.totalFrames >> 32), f.seekEntryCount})
    PutU32(b, v);
  for (uint16_t v : {f.framesPerBlock, f.blocksPerSeekPoint}) PutU16(b, v);
  return Concat({b, Bytes(8, 0)});
}

Bytes SeekBody(std::initializer_list<uint32_t> entries) {
  Bytes b;
  for (uint32_t e : entries) PutU32(b, e);
  return b;
}

class ContainerTest : public ::testing::Test {
 protected:
  HRESULT Parse(const Bytes& bytes) {
    const std::string path = TestDataPath("container_parse.qla");
    cvplat::UniqueFile file = MakeFile(path, bytes);
    EXPECT_TRUE(file.IsValid());
    std::memset(&info, 0xCD, sizeof info);
    return qla::ParseContainer(file.Get(), &info);
  }
  QlaContainerInfo info;
};

TEST_F(ContainerTest, ChunksAreFoundWhereverTheyAre) {
  // Unknown chunks (one of odd size) before and between; seek table before data;
  // an odd data size followed by its pad byte.
  FmtFields f;
  f.channels = 1, f.blockAlign = 3, f.bits = 24;
  f.seekEntryCount = 3, f.totalFrames = 0x123456789ull;
  const Bytes file = Riff("WAVE", Concat({Chunk("JUNK", Bytes(5, 1)), Chunk("fmt ", FmtBody(f)),
                                          Chunk("cvla", SeekBody({100, 200, 0})), List("INFO", Bytes()),
                                          Chunk("data", Bytes(7, 2)), Chunk("cue ", Bytes(4, 0))}));
  ASSERT_EQ(0, Parse(file));
  EXPECT_EQ(12u + 14 + 58 + 8, info.seekTableBase);
  EXPECT_EQ(3u, info.seekTableEntries);
  EXPECT_EQ(12u + 14 + 58 + 20 + 12 + 8, info.dataOffset);
  EXPECT_EQ(7u, info.dataSize);
  EXPECT_EQ(24, info.format.wBitsPerSample);
  EXPECT_EQ(1, info.format.wFormatTag);  // the host reads PCM
  EXPECT_EQ(0, info.format.cbSize);
  EXPECT_EQ(12345u, uint32_t{info.format.nAvgBytesPerSec});
  EXPECT_EQ(0x123456789ull, info.totalFrames);
  EXPECT_EQ(0x123456789ull, info.codec.totalFrames);
  EXPECT_TRUE(info.hasSeekTable);
}

// Header values no encoder writes, each in a file that is otherwise sound.
TEST_F(ContainerTest, FormatsNeverWrittenAreRefused) {
  const std::function<void(FmtFields&)> damage[] = {
      [](FmtFields& f) { f.channels = 3, f.blockAlign = 6; },
      [](FmtFields& f) { f.channels = 0, f.blockAlign = 0; },
      [](FmtFields& f) { f.bits = 8, f.blockAlign = 2; },
      [](FmtFields& f) { f.bits = 32, f.blockAlign = 8; },
      [](FmtFields& f) { f.blockAlign = 6; },  // stereo 16-bit is 4
      [](FmtFields& f) { f.seekEntryCount = 0; },
      [](FmtFields& f) { f.tag = 1; },  // plain PCM data is no block stream
      [](FmtFields& f) { f.headerSize = 3; },
      [](FmtFields& f) { f.headerSize = 101; },
      [](FmtFields& f) { f.framesPerBlock = 9; },
      [](FmtFields& f) { f.framesPerBlock = 65001; },
      [](FmtFields& f) { f.blocksPerSeekPoint = 0; },
      [](FmtFields& f) { f.blocksPerSeekPoint = 5001; },
  };
  for (size_t i = 0; i < std::size(damage); ++i) {
    FmtFields f;
    damage[i](f);
    const Bytes file = Riff("WAVE", Concat({Chunk("fmt ", FmtBody(f)), Chunk("data", Bytes(2, 0)),
                                            Chunk("cvla", SeekBody({78, 0}))}));
    EXPECT_EQ(cv::CVERR_FILE_CORRUPT, Parse(file)) << "case " << i;
  }
}

TEST_F(ContainerTest, BrokenContainers) {
  const Bytes fmt = Chunk("fmt ", FmtBody(FmtFields())), data = Chunk("data", Bytes(4, 0));
  const Bytes seek = Chunk("cvla", SeekBody({78, 0}));
  Bytes rifx = Riff("WAVE", Bytes()), noFormType = rifx;
  rifx[3] = 'X';
  noFormType.resize(8);
  EXPECT_EQ(cv::CVERR_NO_RIFF_HEADER, Parse(Bytes()));
  EXPECT_EQ(cv::CVERR_NO_RIFF_HEADER, Parse(rifx));
  EXPECT_EQ(cv::CVERR_NO_RIFF_HEADER, Parse(noFormType));
  EXPECT_EQ(cv::CVERR_FILE_CORRUPT, Parse(Riff("AVI ", Concat({fmt, data, seek}))));

  EXPECT_EQ(cv::CVERR_FILE_READ, Parse(Riff("WAVE", Concat({data, seek}))));
  EXPECT_EQ(cv::CVERR_FILE_READ, Parse(Riff("WAVE", Concat({fmt, seek}))));
  // A format chunk cut short by the end of the file.
  EXPECT_EQ(cv::CVERR_FILE_READ, Parse(Riff("WAVE", Chunk("fmt ", Bytes(fmt.begin() + 8, fmt.begin() + 26)))));
  // The search is bounded by the RIFF size: a data chunk beyond it is not found.
  EXPECT_EQ(cv::CVERR_FILE_READ, Parse(Concat({Riff("WAVE", fmt), data})));
}

}  // namespace
