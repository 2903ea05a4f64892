// encode --verify's comparison of a written file with its source: the first
// frame that differs is named alike whether the file is decoded on one thread
// or in runs of seek groups on several.
#include "ffplugs/cvla/qla_format.h"
#include "krn/results.h"
#include "krn/wav_reader.h"
#include "tests/support/pcm_test_stream.h"
#include "tests/support/riff_test_files.h"
#include "tests/support/suite_file_name.h"
#include "tests/tool/run_command.h"
#include "tools/qla/commands.h"
#include "tools/qla/verify.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ToolVerify, NamesTheFirstDifferingFrameOnAnyNumberOfThreads) {
  // Five and a half seek groups: a decode on three threads hands the later
  // groups to a worker.
  const uint64_t frames = 5 * qla::kFramesPerSeekGroup + 6400;
  const cvtest::PcmAudio audio = cvtest::SyntheticAudio(2, 44100, 16, frames);
  const std::string source = cvtest::SuiteDataPath("verify_source.wav");
  const std::string altered = cvtest::SuiteDataPath("verify_altered.wav");
  const std::string packed = cvtest::SuiteDataPath("verify_packed.qla");
  cvtest::WriteFile(source, cvtest::WaveFile(audio.format, audio.bytes));
  cvtest::Bytes changed = audio.bytes;
  const uint64_t changedFrame = 4 * qla::kFramesPerSeekGroup + 777;
  changed[changedFrame * audio.format.nBlockAlign + 2] ^= 1;  // the right channel's low byte
  cvtest::WriteFile(altered, cvtest::WaveFile(audio.format, changed));
  ASSERT_EQ(tooltest::RunOnOneFile(&qlatool::RunEncode, source, packed), qlatool::kExitOk);

  for (unsigned threads : {1u, 3u}) {
    for (const std::string& wave : {source, altered}) {
      SCOPED_TRACE(wave + " on " + std::to_string(threads) + " threads");
      cv::WavReader wav;
      std::string problem, difference;
      ASSERT_EQ(wav.Open(wave, cv::WavReadOptions{}, &problem), cv::kS_OK) << problem;
      uint64_t compared = 0;
      const HRESULT hr = qlatool::VerifyAgainstSource(packed, &wav, audio.format, threads, &difference,
                                                      [&](uint32_t n) { compared += n; });
      if (wave == source) {
        EXPECT_EQ(hr, cv::kS_OK);
        EXPECT_EQ(compared, frames);
      } else {
        EXPECT_EQ(hr, cv::CVERR_FILE_CORRUPT);
        EXPECT_EQ(difference, ": the decoded audio differs from the source at frame " + std::to_string(changedFrame));
        EXPECT_LT(compared, frames);
      }
    }
  }
}

}  // namespace
