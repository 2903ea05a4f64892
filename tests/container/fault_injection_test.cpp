// Every file operation and allocation of the writers and the reader failed in
// turn (the first, then the second, ... until the call no longer reaches the
// failure). Each run must answer a failure, or the complete result where the
// step could be done without; leave no reference behind; and change nothing
// but its own target: the audio of a file whose metadata is rewritten, other
// files in the folder and a sidecar stay as they were.
#include "ffplugs/cvla/renderer/file_encoder.h"
#include "krn/memory_stream.h"
#include "krn/metadata_io.h"
#include "krn/platform/fault_injection.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"
#include "tests/support/qla_test_files.h"
#include "tests/support/riff_test_files.h"
#include "tests/support/test_metadata_source.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace cvtest;
using cvplat::FaultPoint;

constexpr FaultPoint kPoints[] = {FaultPoint::kOpen, FaultPoint::kRead, FaultPoint::kWrite,
                                  FaultPoint::kSeek, FaultPoint::kSize, FaultPoint::kAlloc};
const char* const kPointNames[] = {"open", "read", "write", "seek", "size", "alloc"};

// Runs setup, then `run` with the n-th operation of `point` failing, for
// n = 1, 2, ... until a run passes without reaching it; `check` judges every
// run that failed. Returns the number of such runs.
int FailInTurn(FaultPoint point, const std::function<void()>& setup, const std::function<HRESULT()>& run,
               const std::function<void(HRESULT)>& check) {
  int n = 1;
  for (; n < 3000; ++n) {
    setup();
    cvplat::FailNth(point, n);
    const HRESULT hr = run();
    const bool fired = cvplat::FaultFired(point);
    cvplat::ClearFaults();
    if (!fired) break;
    SCOPED_TRACE(std::string(kPointNames[static_cast<int>(point)]) + " #" + std::to_string(n));
    check(hr);
  }
  return n - 1;
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RenderAudio(SyntheticAudio(2, 44100, 16, 3000), audioPath), cv::kS_OK);
    audio = ReadWholeFile(audioPath);
    source.SetMarkers({{100000, 0, false, u"one", false}, {200000, 50000, true, u"two", false}});
    source.SetInfo({{cv::FourCC("INAM"), u"title"}, {cv::FourCC("IART"), u"artist"}});
    source.SetAcid(std::vector<uint8_t>(24, 1));
    source.SetLoops(std::vector<uint8_t>(28, 0), {});
    ASSERT_EQ(cv::AppendMetadata(audioPath.c_str(), true, false, 44100, &source), cv::kS_OK);
    ASSERT_EQ(cv::WriteLoopInfo(audioPath.c_str(), &source, false), cv::kS_OK);
    withMetadata = ReadWholeFile(audioPath);
    WriteFile(otherPath, Bytes(100, 0x5A));
    WriteFile(sidecarPath, Bytes(40, 0x33));
  }
  void TearDown() override { cvplat::ClearFaults(); }

  // The file holds the audio it had and the neighbours are untouched (the
  // sidecar that the file's own metadata replaces may go once that is written).
  void ExpectNothingElseChanged(bool sidecarMayGo) {
    const Bytes now = ReadWholeFile(audioPath);
    ASSERT_GE(now.size(), audio.size());
    // Past the RIFF size, which grows with every chunk appended.
    EXPECT_TRUE(std::equal(audio.begin() + 8, audio.end(), now.begin() + 8)) << "audio changed";
    EXPECT_EQ(ReadWholeFile(otherPath), Bytes(100, 0x5A));
    if (!sidecarMayGo) {
      EXPECT_EQ(ReadWholeFile(sidecarPath), Bytes(40, 0x33));
    }
  }
  void Restore() {
    WriteFile(audioPath, withMetadata);
    WriteFile(sidecarPath, Bytes(40, 0x33));
  }
  size_t MarkerCount() {
    cv::RecordList markers, info;
    static_cast<void>(cv::LoadFileMetadata(audioPath.c_str(), 44100, markers, info));
    return markers.Count();
  }

  std::string audioPath = TestDataPath("faults.qla");
  std::string otherPath = TestDataPath("faults-other.qla");
  std::string sidecarPath = TestDataPath("faults.qla.cvl");
  Bytes audio, withMetadata;
  TestMetadataSource source;
};

TEST_F(FaultInjectionTest, EncodeFileFailsWithoutHarmingOthers) {
  const PcmAudio pcm = SyntheticAudio(2, 44100, 16, 30000);
  int runs = 0;
  for (FaultPoint point : kPoints) {
    PcmTestStream stream(pcm);
    runs += FailInTurn(
        point, [] {},
        [&] {
          TestTemplate renderTemplate(pcm.format);
          return qla::EncodeFile(nullptr, audioPath.c_str(), &stream, &renderTemplate.record);
        },
        [&](HRESULT hr) {
          EXPECT_TRUE(cv::Failed(hr)) << std::hex << hr;
          // A failed seek would put the sizes at the wrong offset: it is a failed write.
          if (point == FaultPoint::kWrite || point == FaultPoint::kSeek) {
            EXPECT_EQ(hr, cv::CVERR_FILE_WRITE);
          }
          EXPECT_EQ(stream.References(), 1u);
          EXPECT_EQ(ReadWholeFile(otherPath), Bytes(100, 0x5A));
          EXPECT_EQ(ReadWholeFile(sidecarPath), Bytes(40, 0x33));
        });
  }
  EXPECT_GT(runs, 10);
}

TEST_F(FaultInjectionTest, RenderJobFailsWithoutHarmingOthers) {
  ModuleScope module;
  TestHost host;
  cv::ICvFileRenderer* renderer = nullptr;
  ASSERT_EQ(CreatePlugInObject(cv::IID_ICvFileRenderer, reinterpret_cast<void**>(&renderer)), cv::kS_OK);
  ASSERT_EQ(renderer->SetHost(host.Host()), cv::kS_OK);
  const PcmAudio pcm = SyntheticAudio(2, 44100, 16, 20000);
  int runs = 0;
  for (FaultPoint point : kPoints) {
    PcmTestStream stream(pcm);
    runs += FailInTurn(
        point, [] {}, [&] { return RenderLikeHost(renderer, audioPath, {&stream}, &source); },
        [&](HRESULT hr) {
          // A failed look for an old chunk to overwrite only means a new one is appended.
          PcmAudio decoded;
          if (!cv::Failed(hr)) {
            EXPECT_TRUE(DecodeQlaFile(audioPath, &decoded) == cv::kS_OK && decoded.bytes == pcm.bytes &&
                        MarkerCount() == 2)
                << "success reported for a failure";
          }
          EXPECT_EQ(stream.References(), 1u);
          EXPECT_EQ(ReadWholeFile(otherPath), Bytes(100, 0x5A));
        });
  }
  EXPECT_GT(runs, 10);
  EXPECT_EQ(renderer->Release(), 0u);
  EXPECT_EQ(host.References(), 1);
}

TEST_F(FaultInjectionTest, MetadataWritersFailOrFinishKeepingTheAudio) {
  struct Writer {
    const char* name;
    std::function<HRESULT()> run;
    size_t markersOnSuccess;
  };
  const std::vector<Writer> writers = {
      {"append", [&] { return cv::AppendMetadata(audioPath.c_str(), false, false, 44100, &source); }, 2},
      {"update",
       [&] { return cv::UpdateMetadata(audioPath.c_str(), false, 44100, &source, cv::kMetadataMarkers | cv::kMetadataInfo); },
       2},
      {"loop", [&] { return cv::WriteLoopInfo(audioPath.c_str(), &source, false); }, 2},
      {"remove markers", [&] { return cv::RemoveMarkerChunks(audioPath.c_str()); }, 0},
  };
  for (const Writer& writer : writers) {
    SCOPED_TRACE(writer.name);
    for (FaultPoint point : kPoints) {
      FailInTurn(
          point, [&] { Restore(); }, writer.run,
          [&](HRESULT hr) {
            ExpectNothingElseChanged(!cv::Failed(hr) && writer.name == std::string("append"));
            // S_FALSE: the file could not be opened, so nothing was removed.
            if (hr == cv::kS_OK) {
              EXPECT_EQ(MarkerCount(), writer.markersOnSuccess) << "success reported for a failure";
            }
          });
    }
  }
}

TEST_F(FaultInjectionTest, ReaderAnswersFailuresAndReleasesEverything) {
  ModuleScope module;
  TestHost host;
  cv::ICvFileType* fileType = nullptr;
  ASSERT_EQ(CreateFileTypeLikeHost(host.Host(), 0, &fileType), cv::kS_OK);
  const long references = host.References();
  std::vector<uint8_t> expected;
  {
    OpenedQlaFile file;
    ASSERT_EQ(OpenQlaFile(fileType, audioPath, &file), cv::kS_OK);
    ASSERT_EQ(ReadAllFrames(file, 700, &expected), cv::kS_OK);
  }
  int runs = 0;
  for (FaultPoint point : kPoints) {
    runs += FailInTurn(
        point, [] {},
        [&] {
          OpenedQlaFile file;
          HRESULT hr = OpenQlaFile(fileType, audioPath, &file);
          std::vector<uint8_t> pcm;
          if (hr == cv::kS_OK) hr = ReadAllFrames(file, 700, &pcm);
          if (hr == cv::kS_OK && pcm != expected) hr = cv::kE_UNEXPECTED;  // wrong audio passed as good
          cv::ICvMetadataSource* metadata = nullptr;
          if (file.reader && file.reader->GetMetadata(&metadata) == cv::kS_OK) {
            IStream* markers = nullptr;
            if (metadata->GetMarkerStream(&markers) == cv::kS_OK) markers->Release();
            metadata->Release();
          }
          return hr;
        },
        [&](HRESULT hr) {
          EXPECT_NE(hr, cv::kE_UNEXPECTED);
          EXPECT_EQ(host.References(), references);
        });
  }
  EXPECT_GT(runs, 10);
  fileType->Release();
}

TEST_F(FaultInjectionTest, MemoryStreamsAnswerOutOfMemory) {
  cv::RecordList list;
  ASSERT_EQ(list.Append("abcd", 4), cv::kS_OK);
  FailInTurn(
      FaultPoint::kAlloc, [] {},
      [&] {
        IStream* stream = nullptr;
        const HRESULT hr = cv::CreateMemoryStream(cv::MemoryStreamKind::kLoop, &list, &stream);
        EXPECT_EQ(stream == nullptr, cv::Failed(hr));
        if (stream) stream->Release();
        return hr;
      },
      [](HRESULT hr) { EXPECT_EQ(hr, cv::kE_OUTOFMEMORY); });
  FailInTurn(
      FaultPoint::kAlloc, [] {}, [&] { return list.Append("efgh", 4); },
      [](HRESULT hr) { EXPECT_EQ(hr, cv::kE_OUTOFMEMORY); });
}

}  // namespace
