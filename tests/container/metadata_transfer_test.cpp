// Carrying the metadata of one RIFF file into another through memory streams,
// as a file converter does: read lists, hand them out as streams, write them.
#include "krn/memory_stream.h"
#include "krn/metadata_io.h"

#include "krn/results.h"
#include "tests/support/riff_test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace cvtest;
using cv::FourCC;

// A metadata source over lists read from a file.
class ListSource : public cv::ICvMetadataSource, public cv::ICvLoopInfo {
 public:
  cv::RecordList markers, info;
  cv::LoopInfo loop;

  HRESULT CV_STDCALL QueryInterface(REFIID iid, void** out) override {
    if (iid == cv::kIID_ICvLoopInfo) {
      *out = static_cast<cv::ICvLoopInfo*>(this);
      return cv::kS_OK;
    }
    *out = static_cast<cv::ICvMetadataSource*>(this);
    return iid == cv::kIID_IUnknown || iid == cv::kIID_ICvMetadataSource ? cv::kS_OK : cv::kE_NOINTERFACE;
  }
  ULONG CV_STDCALL AddRef() override { return 1; }
  ULONG CV_STDCALL Release() override { return 1; }
  HRESULT CV_STDCALL GetMarkerStream(IStream** s) override {
    return cv::CreateMemoryStream(cv::MemoryStreamKind::kMarker, &markers, s);
  }
  HRESULT CV_STDCALL GetSecondRecordStream(IStream**) override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL GetThirdRecordStream(IStream**) override { return cv::kE_NOTIMPL; }
  HRESULT CV_STDCALL GetInfoText(uint32_t id, wchar16* buffer, uint32_t length) override {
    return cv::GetInfoText(info, id, buffer, length);
  }
  HRESULT CV_STDCALL GetInfoStream(IStream** s) override {
    return cv::CreateMemoryStream(cv::MemoryStreamKind::kInfo, &info, s);
  }
  HRESULT CV_STDCALL GetAcid(void* out) override {
    if (!loop.acidPresent) return cv::kS_FALSE;
    std::memcpy(out, loop.acid, sizeof loop.acid);
    return cv::kS_OK;
  }
  HRESULT CV_STDCALL GetStrcHeader(void* out) override {
    if (!loop.strcPresent) return cv::kS_FALSE;
    std::memcpy(out, loop.strcHeader, sizeof loop.strcHeader);
    return cv::kS_OK;
  }
  HRESULT CV_STDCALL GetLoopStream(IStream** s) override {
    *s = nullptr;
    if (!loop.strcPresent) return cv::kS_FALSE;
    return cv::CreateMemoryStream(cv::MemoryStreamKind::kLoop, &loop.loops, s);
  }
};

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

  ListSource lists;
  ASSERT_EQ(cv::LoadFileMetadata(source.c_str(), 48000, lists.markers, lists.info), cv::kS_OK);
  ASSERT_EQ(cv::LoadFileLoopInfo(source.c_str(), lists.loop), cv::kS_OK);
  ASSERT_EQ(lists.markers.Count(), 2u);
  ASSERT_EQ(cv::AppendMetadata(target.c_str(), true, false, 48000, &lists), cv::kS_OK);
  ASSERT_EQ(cv::WriteLoopInfo(target.c_str(), &lists, false), cv::kS_OK);

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
