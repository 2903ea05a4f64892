#include "krn/metadata_io.h"

#include "krn/platform/codepage.h"
#include "krn/results.h"
#include "krn/riff.h"
#include "tests/support/pcm_test_stream.h"
#include "tests/support/riff_test_files.h"
#include "tests/support/test_metadata_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <tuple>

namespace {

using namespace cvtest;
using cv::FourCC;

Bytes PlainWav(const Bytes& extraChunks = Bytes()) {
  return WaveFile(PcmFormat(1, 44100, 16), Bytes(10, 7), extraChunks);
}

// A marker's position, length, region flag and name.
using Marker = std::tuple<int64_t, int64_t, bool, std::u16string>;
using Markers = std::vector<Marker>;

Markers MarkersIn(const cv::RecordList& list) {
  Markers out;
  for (size_t i = 0; i < list.Count(); ++i) {
    cv::MarkerRecordHeader h;
    std::memcpy(&h, list.At(i), sizeof h);
    EXPECT_EQ(h.headerSize, 28u);
    EXPECT_EQ(list.SizeAt(i), 28u + h.nameSize);
    std::u16string name;
    for (const uint8_t* p = list.At(i) + 28; p[0] | p[1]; p += 2) name.push_back(static_cast<char16_t>(p[0] | p[1] << 8));
    // The header is packed: its fields are copied, not bound by reference.
    out.emplace_back(static_cast<int64_t>(h.position), static_cast<int64_t>(h.length), h.isRegion != 0, name);
  }
  return out;
}

std::u16string InfoText(const cv::RecordList& info, uint32_t id) {
  wchar16 buffer[64];
  if (cv::GetInfoText(info, id, buffer, 64) != cv::kS_OK) return u"<none>";
  std::u16string out;
  for (const wchar16* p = buffer; *p; ++p) out.push_back(static_cast<char16_t>(*p));
  return out;
}

TEST(MetadataMarkers, CuePointsWithoutNamesAndOddRates) {
  std::string path = TestDataPath("meta_cue_only.wav");
  auto file = MakeFile(path, PlainWav(CueChunk({1, 44099})));
  cv::RecordList list, atZero;
  ASSERT_EQ(cv::ReadMarkers(file.Get(), 44100, list), cv::kS_OK);
  // 1 / 44100 s = 226.76 units; a point without a name has only the terminator.
  EXPECT_EQ(MarkersIn(list), (Markers{{227, 0, false, u""}, {9999773, 0, false, u""}}));
  EXPECT_EQ(list.SizeAt(0), 28u + 2u);
  ASSERT_EQ(cv::ReadMarkers(file.Get(), 0, atZero), cv::kS_OK);
  EXPECT_EQ(MarkersIn(atZero), (Markers{{0, 0, false, u""}, {0, 0, false, u""}}));

  // A point count beyond the chunk reads only the points it holds.
  Bytes lying = CueChunk({1, 44099});
  lying[8] = 200;
  auto corrupt = MakeFile(TestDataPath("meta_cue_lying.wav"), PlainWav(lying));
  cv::RecordList bounded;
  ASSERT_EQ(cv::ReadMarkers(corrupt.Get(), 44100, bounded), cv::kS_OK);
  EXPECT_EQ(bounded.Count(), 2u);

  auto none = MakeFile(TestDataPath("meta_no_cue.wav"), PlainWav());
  cv::RecordList empty;
  EXPECT_EQ(cv::ReadMarkers(none.Get(), 44100, empty), cv::kS_OK);
  EXPECT_EQ(empty.Count(), 0u);
  auto notRiff = MakeFile(TestDataPath("meta_not_riff.wav"), Text("hello world"));
  EXPECT_EQ(cv::ReadMarkers(notRiff.Get(), 44100, empty), cv::CVERR_NO_RIFF_HEADER);
}

TEST(MetadataInfo, AppendAfterAnUnpaddedOddLastChunkStaysAligned) {
  std::string path = TestDataPath("meta_odd_riff.wav");
  Bytes image = PlainWav(Chunk("note", Text("ab")));  // size 3 and a pad byte
  image.pop_back();                                  // the writer left out the pad
  image[4] = static_cast<uint8_t>(image.size() - 8);
  WriteFile(path, image);
  TestMetadataSource source;
  source.SetInfo({{FourCC("INAM"), u"x"}});
  ASSERT_EQ(cv::AppendMetadata(path.c_str(), true, false, 44100, &source), cv::kS_OK);
  Bytes after = ReadWholeFile(path);
  EXPECT_EQ(GetU32(after, 4), after.size() - 8);
  EXPECT_EQ(after[image.size()], 0);  // the pad byte that was missing
  cv::RecordList markers, info;
  ASSERT_EQ(cv::LoadFileMetadata(path.c_str(), 44100, markers, info), cv::kS_OK);
  EXPECT_EQ(InfoText(info, FourCC("INAM")), u"x");
}

TEST(MetadataInfo, EmptyFieldsAreSkippedAndTextsCutAtZero) {
  Bytes fields = Concat({Chunk("ICMT", Bytes()), Chunk("INAM", Text("ab\0cd", false)), Chunk("ISFT", Text("z"))});
  fields[8 + 8 + 2] = 0;  // "ab\0d"
  auto file = MakeFile(TestDataPath("meta_info_cut.wav"), PlainWav(List("INFO", fields)));
  cv::RecordList info;
  ASSERT_EQ(cv::ReadInfo(file.Get(), &info), cv::kS_OK);
  EXPECT_EQ(info.Count(), 2u);
  EXPECT_EQ(InfoText(info, FourCC("INAM")), u"ab");
  EXPECT_EQ(InfoText(info, FourCC("ICMT")), u"<none>");
}

TEST(MetadataInfo, GetInfoTextAlwaysTerminates) {
  cv::RecordList info;
  const wchar16 text[] = {'a', 'b', 'c', 'd'};
  ASSERT_EQ(cv::AppendInfoRecord(info, FourCC("INAM"), text, 4), cv::kS_OK);
  // Cut and terminated; nothing written past the length.
  std::u16string buffer(8, u'x');
  ASSERT_EQ(cv::GetInfoText(info, FourCC("INAM"), reinterpret_cast<wchar16*>(&buffer[0]), 3), cv::kS_OK);
  EXPECT_EQ(buffer, u"ab" + std::u16string(1, u'\0') + std::u16string(5, u'x'));
  EXPECT_EQ(cv::GetInfoText(info, FourCC("IART"), reinterpret_cast<wchar16*>(&buffer[0]), 8), cv::CVERR_NOT_FOUND);
  EXPECT_EQ(buffer[0], u'\0');  // an empty text for a missing field
}

// Loop chunks large enough are rewritten in place; smaller ones become "JUNK"
// and new ones are appended. Either way the new values read back.
TEST(MetadataLoop, RewrittenInPlaceOrAppendedBehindJunk) {
  const struct {
    size_t acid, strc, growth;
    uint32_t junk;
  } cases[] = {{24, 28 + 3 * 32, 0, 0}, {20, 28 + 32, 32 + 8 + 28 + 64, 20}};
  for (const auto& c : cases) {
    std::string path = TestDataPath("meta_loop.wav");
    WriteFile(path, PlainWav(Concat({Chunk("acid", Bytes(c.acid, 0)), Chunk("strc", Bytes(c.strc, 0))})));
    const size_t before = ReadWholeFile(path).size();
    TestMetadataSource source;
    source.SetAcid(Filled(24, 1));
    source.SetLoops(Filled(28, 100), {Filled(32, 50), Filled(32, 51)});
    ASSERT_EQ(cv::WriteLoopInfo(path.c_str(), &source, false), cv::kS_OK);
    const Bytes image = ReadWholeFile(path);
    EXPECT_EQ(image.size(), before + c.growth);
    EXPECT_EQ(GetU32(image, 4), image.size() - 8);
    const auto junk = std::search(image.begin(), image.end(), std::begin("JUNK"), std::end("JUNK") - 1);
    EXPECT_EQ(junk == image.end() ? 0 : GetU32(image, junk - image.begin() + 4), c.junk);

    cv::LoopInfo loop;
    ASSERT_EQ(cv::LoadFileLoopInfo(path.c_str(), loop), cv::kS_OK);
    ASSERT_TRUE(loop.acidPresent && loop.strcPresent);
    EXPECT_EQ(Bytes(loop.acid, loop.acid + 24), Filled(24, 1));
    EXPECT_EQ(GetU32(Bytes(loop.strcHeader, loop.strcHeader + 28), 4), 2u);
    ASSERT_EQ(loop.loops.Count(), 2u);
    EXPECT_EQ(Bytes(loop.loops.At(1), loop.loops.At(1) + 32), Filled(32, 51));

    // A source without loop information changes nothing.
    TestMetadataSource plain;
    ASSERT_EQ(cv::WriteLoopInfo(path.c_str(), &plain, false), cv::kS_OK);
    EXPECT_EQ(ReadWholeFile(path), image);
  }
}

TEST(MetadataLoop, CorruptStrcCountIsAReadFailure) {
  Bytes strc(28 + 32, 0);
  strc[0] = 28;
  strc[4] = 5;  // five records claimed, one present
  auto file = MakeFile(TestDataPath("meta_loop_corrupt.wav"), PlainWav(Chunk("strc", strc)));
  cv::LoopInfo loop;
  EXPECT_EQ(cv::ReadLoopInfo(file.Get(), loop), cv::CVERR_FILE_READ);
  EXPECT_FALSE(loop.strcPresent);
}

Bytes Sidecar(const std::string& names, const Bytes& chunks) {
  return Riff("CVPL", Concat({chunks, Chunk("CVPI", Text(names))}));
}

TEST(MetadataSidecar, NamesAndMatching) {
  EXPECT_EQ(cv::SidecarNameAppended("/a/b.c/song.wav"), "/a/b.c/song.wav.cvl");
  EXPECT_EQ(cv::SidecarNameReplaced("/a/b.c/song.wav"), "/a/b.c/song.cvl");
  EXPECT_EQ(cv::SidecarNameReplaced("/a/b.c/song"), "/a/b.c/song.cvl");
  EXPECT_EQ(cv::FileNameWithoutFolder("C:\\x\\y.qla"), "y.qla");
}

TEST(MetadataSidecar, MatchingSidecarIsReadAndOthersIgnored) {
  std::string audio = TestDataPath("meta_side.wav");
  WriteFile(audio, PlainWav(Concat({CueChunk({44100}), List("INFO", Chunk("INAM", Text("file")))})));
  std::remove((audio + ".cvl").c_str());
  std::remove(TestDataPath("meta_side.cvl").c_str());

  // A sidecar that names another file is ignored.
  WriteFile(audio + ".cvl", Sidecar("other.wav", CueChunk({100})));
  cv::RecordList markers, info;
  HRESULT markersHr = 1, infoHr = 1;
  ASSERT_EQ(cv::LoadFileMetadata(audio.c_str(), 44100, markers, info, &markersHr, &infoHr), cv::kS_OK);
  EXPECT_EQ(markersHr, cv::kS_OK);
  EXPECT_EQ(infoHr, cv::kS_OK);
  EXPECT_EQ(markers.Count(), 1u);
  EXPECT_EQ(InfoText(info, FourCC("INAM")), u"file");

  // A matching sidecar under the replaced name: its markers follow the file's,
  // its INFO comes before the file's and so wins a lookup.
  WriteFile(TestDataPath("meta_side.cvl"),
            Sidecar("meta_side.wav", Concat({CueChunk({22050}), List("INFO", Chunk("INAM", Text("sidecar")))})));
  cv::RecordList m2, i2;
  ASSERT_EQ(cv::LoadFileMetadata(audio.c_str(), 44100, m2, i2), cv::kS_OK);
  EXPECT_EQ(MarkersIn(m2), (Markers{{10000000, 0, false, u""}, {5000000, 0, false, u""}}));
  EXPECT_EQ(i2.Count(), 2u);
  EXPECT_EQ(InfoText(i2, FourCC("INAM")), u"sidecar");

  cv::RecordList m3, i3;
  EXPECT_EQ(cv::LoadFileMetadata(TestDataPath("meta_missing.wav").c_str(), 44100, m3, i3), cv::CVERR_FILE_OPEN);
  std::remove((audio + ".cvl").c_str());
  std::remove(TestDataPath("meta_side.cvl").c_str());
}

using InfoFields = std::vector<std::pair<uint32_t, std::u16string>>;

std::vector<TestMarker> RandomMarkers(std::mt19937& rng) {
  std::vector<TestMarker> markers(rng() % 5);
  for (TestMarker& m : markers) {
    m.position = int64_t{10000000} * (rng() % 100);  // whole seconds: exact sample positions
    m.isRegion = rng() % 2 == 0;
    m.length = m.isRegion ? int64_t{10000000} * (1 + rng() % 9) : 0;
    for (uint32_t n = rng() % 7; n > 0; --n) m.name.push_back(rng() % 4 ? static_cast<char16_t>(u'a' + rng() % 26) : u'\u00e9');
    m.noName = m.name.empty() && rng() % 2 == 0;
  }
  return markers;
}

InfoFields RandomInfo(std::mt19937& rng) {
  InfoFields info;
  for (uint32_t id : {FourCC("INAM"), FourCC("IART"), FourCC("ICMT"), FourCC("ICOP"), FourCC("IGNR")}) {
    if (rng() % 2) continue;
    std::u16string text;
    for (uint32_t n = 1 + rng() % 9; n > 0; --n) text.push_back(static_cast<char16_t>(u'A' + rng() % 26));
    info.emplace_back(id, text);
  }
  return info;
}

void ExpectMetadata(const std::string& path, const std::vector<TestMarker>& markers, const InfoFields& info) {
  cv::RecordList markerList, infoList;
  ASSERT_EQ(cv::LoadFileMetadata(path.c_str(), 44100, markerList, infoList), cv::kS_OK);
  Markers expected;
  for (const TestMarker& m : markers) expected.emplace_back(m.position, m.length, m.isRegion, m.name);
  EXPECT_EQ(MarkersIn(markerList), expected);
  EXPECT_EQ(infoList.Count(), info.size());
  for (const auto& [id, text] : info) EXPECT_EQ(InfoText(infoList, id), text);
}

// Random markers and INFO written into the file or a sidecar, replaced, updated
// one kind at a time and removed, each step read back against what was written.
TEST(MetadataWrite, RandomMetadataWrittenUpdatedAndReadBack) {
  std::mt19937 rng(2026);
  const std::string path = TestDataPath("meta_model.wav");
  const Bytes original = PlainWav();
  for (int round = 0; round < 24; ++round) {
    SCOPED_TRACE(round);
    const bool sidecar = round % 3 == 2;
    std::remove((path + ".cvl").c_str());
    WriteFile(path, original);
    std::vector<TestMarker> markers = RandomMarkers(rng);
    InfoFields info = RandomInfo(rng);
    TestMetadataSource first;
    first.SetMarkers(markers);
    first.SetInfo(info);
    ASSERT_EQ(cv::AppendMetadata(path.c_str(), true, sidecar, 44100, &first), cv::kS_OK);
    ExpectMetadata(path, markers, info);
    if (sidecar) {
      EXPECT_EQ(ReadWholeFile(path), original);
      continue;
    }
    // Appending again without keeping replaces instead of doubling.
    ASSERT_EQ(cv::AppendMetadata(path.c_str(), false, false, 44100, &first), cv::kS_OK);
    ExpectMetadata(path, markers, info);

    TestMetadataSource second;
    const std::vector<TestMarker> newMarkers = RandomMarkers(rng);
    const InfoFields newInfo = RandomInfo(rng);
    second.SetMarkers(newMarkers);
    second.SetInfo(newInfo);
    ASSERT_EQ(cv::UpdateMetadata(path.c_str(), false, 44100, &second, cv::kMetadataMarkers), cv::kS_OK);
    ExpectMetadata(path, newMarkers, info);
    ASSERT_EQ(cv::UpdateMetadata(path.c_str(), false, 44100, &second, cv::kMetadataInfo), cv::kS_OK);
    ExpectMetadata(path, newMarkers, newInfo);
    const Bytes image = ReadWholeFile(path);
    EXPECT_EQ(GetU32(image, 4), image.size() - 8);

    ASSERT_EQ(cv::RemoveMarkerChunks(path.c_str()), cv::kS_OK);
    ExpectMetadata(path, {}, newInfo);
    if (newInfo.empty()) {
      EXPECT_EQ(ReadWholeFile(path), original);
    }
  }
  std::remove((path + ".cvl").c_str());
  EXPECT_EQ(cv::RemoveMarkerChunks(TestDataPath("meta_nowhere.wav").c_str()), cv::kS_FALSE);
  TestMetadataSource any;
  EXPECT_EQ(cv::AppendMetadata(TestDataPath("meta_absent.wav").c_str(), true, false, 44100, &any), cv::CVERR_NOT_FOUND);
}

}  // namespace
