// The tool's outputs on a failing disk or heap: every file operation and
// allocation of an encode and of a decode fails in turn. The tool then reports
// the failure, the file it was asked to replace keeps its bytes, the input is
// untouched and no scratch file stays behind; a failure that the tool gets
// round still gives the whole output.
#include "krn/platform/fault_injection.h"
#include "tests/support/pcm_test_stream.h"
#include "tests/support/riff_test_files.h"
#include "tests/support/suite_file_name.h"
#include "tests/tool/run_command.h"
#include "tools/qla/commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace {

using cvplat::FaultPoint;
using cvtest::Bytes;

constexpr FaultPoint kPoints[] = {FaultPoint::kOpen, FaultPoint::kRead, FaultPoint::kWrite,
                                  FaultPoint::kSeek, FaultPoint::kSize, FaultPoint::kAlloc};

std::set<std::string> Listing(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

void ExpectEveryFaultKeepsTheTarget(tooltest::Command command, const std::string& source, const std::string& target) {
  const Bytes input = cvtest::ReadWholeFile(source);
  ASSERT_EQ(tooltest::RunOnOneFile(command, source, target), qlatool::kExitOk);
  const Bytes whole = cvtest::ReadWholeFile(target);
  const Bytes previous = cvtest::Text("an earlier file that must survive", false);
  const std::filesystem::path folder = std::filesystem::path(target).parent_path();
  const std::set<std::string> files = Listing(folder);

  for (FaultPoint point : kPoints) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE("fault point " + std::to_string(static_cast<int>(point)) + ", operation " + std::to_string(n));
      cvtest::WriteFile(target, previous);
      cvplat::FailNth(point, n);
      const int exitCode = tooltest::RunOnOneFile(command, source, target);
      const bool fired = cvplat::FaultFired(point);
      cvplat::ClearFaults();
      EXPECT_TRUE(exitCode == qlatool::kExitOk || exitCode == qlatool::kExitFailed) << exitCode;
      EXPECT_EQ(cvtest::ReadWholeFile(target), exitCode == qlatool::kExitOk ? whole : previous);
      EXPECT_EQ(cvtest::ReadWholeFile(source), input);
      EXPECT_EQ(Listing(folder), files);
      if (!fired || ::testing::Test::HasFailure()) break;
      ASSERT_LT(n, 10000) << "the fault keeps firing";
    }
  }
}

TEST(ToolOutputFaults, EncodeAndDecodeKeepTheFileTheyWouldReplace) {
  const std::string wave = cvtest::SuiteDataPath("source.wav");
  const std::string packed = cvtest::SuiteDataPath("packed.qla");
  const std::string decoded = cvtest::SuiteDataPath("decoded.wav");
  std::filesystem::remove(packed);
  std::filesystem::remove(decoded);
  const cvtest::PcmAudio audio = cvtest::SyntheticAudio(2, 44100, 16, 6000);
  cvtest::WriteFile(wave, cvtest::WaveFile(audio.format, audio.bytes));
  ExpectEveryFaultKeepsTheTarget(&qlatool::RunEncode, wave, packed);
  ExpectEveryFaultKeepsTheTarget(&qlatool::RunDecode, packed, decoded);
}

}  // namespace
