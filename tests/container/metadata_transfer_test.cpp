// Carrying the metadata of one RIFF file into another through memory streams,
// as a file converter does: read lists, hand them out as streams, write them.
#include "krn/list_metadata_source.h"
#include "krn/metadata_io.h"

#include "krn/results.h"
#include "tests/support/riff_test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace cvtest;
using cv::FourCC;

Bytes Cue(std::initializer_list<uint32_t> samples) {
  Bytes cue;
  PutU32(cue, static_cast<uint32_t>(samples.size()));
  uint32_t id = 1;
  for (uint32_t s : samples) {
    PutU32(cue, id++);
    PutU32(cue, s);
    PutId(cue, "data");
    PutU32(cue, 0);
    PutU32(cue, 0);
    PutU32(cue, s);
  }
  return Chunk("cue ", cue);
}

TEST(MetadataTransfer, WavMetadataSurvivesTheTripThroughMemoryStreams) {
  Bytes ltxt = Concat({Bytes{2, 0, 0, 0}, Bytes{0x10, 0x27, 0, 0}, Text("rgn ", false), Bytes(8, 0)});
  Bytes adtl = List("adtl", Concat({Chunk("labl", Concat({Bytes{1, 0, 0, 0}, Text("First")})),
                                    Chunk("ltxt", ltxt), Chunk("labl", Concat({Bytes{2, 0, 0, 0}, Text("Loop")}))}));
  Bytes info = List("INFO", Concat({Chunk("INAM", Text("Title")), Chunk("ICMT", Text("odd"))}));
  Bytes strc(28 + 32, 0);
  strc[0] = 28;
  strc[4] = 1;
  for (size_t i = 28; i < strc.size(); ++i) strc[i] = static_cast<uint8_t>(i);
  Bytes wav = Riff("WAVE", Concat({Chunk("fmt ", Bytes(16, 1)), Chunk("data", Bytes(6, 2)), Cue({48000, 96000}),
                                   adtl, info, Chunk("acid", Bytes(24, 9)), Chunk("strc", strc)}));
  std::string source = TestDataPath("transfer_src.wav");
  std::string target = TestDataPath("transfer_dst.qla");
  WriteFile(source, wav);
  WriteFile(target, Riff("WAVE", Concat({Chunk("fmt ", Bytes(50, 3)), Chunk("data", Bytes(3, 4))})));

  const cv::ComPtr<cv::ListMetadataSource> source_ = cv::ListMetadataSource::Create();
  ASSERT_TRUE(source_);
  cv::MetadataLists& lists = source_->Lists();
  ASSERT_EQ(cv::LoadFileMetadata(source.c_str(), 48000, lists.markers, lists.info), cv::kS_OK);
  ASSERT_EQ(cv::LoadFileLoopInfo(source.c_str(), lists.loop), cv::kS_OK);
  ASSERT_EQ(lists.markers.Count(), 2u);
  ASSERT_EQ(cv::AppendMetadata(target.c_str(), true, false, 48000, source_.Get()), cv::kS_OK);
  ASSERT_EQ(cv::WriteLoopInfo(target.c_str(), source_.Get(), false), cv::kS_OK);

  // Every metadata chunk of the source reappears byte for byte.
  Bytes out = ReadWholeFile(target);
  auto contains = [&](const Bytes& chunk) { return std::search(out.begin(), out.end(), chunk.begin(), chunk.end()) != out.end(); };
  EXPECT_TRUE(contains(Cue({48000, 96000})));
  EXPECT_TRUE(contains(List("adtl", Concat({Chunk("ltxt", ltxt), Chunk("labl", Concat({Bytes{1, 0, 0, 0}, Text("First")})),
                                            Chunk("labl", Concat({Bytes{2, 0, 0, 0}, Text("Loop")}))}))));
  EXPECT_TRUE(contains(info));
  EXPECT_TRUE(contains(Chunk("acid", Bytes(24, 9))));
  EXPECT_TRUE(contains(Chunk("strc", strc)));
  EXPECT_EQ(GetU32(out, 4), out.size() - 8);
}

}  // namespace
