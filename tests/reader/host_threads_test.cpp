// A host at work on several threads at once: readers on several files, each
// with its own host object and file type, reading at random positions and asking
// for texts and metadata; more readers sharing one stream; and another thread
// rendering a file. Run under ThreadSanitizer as well: the module's shared state
// (class factory, string tables, texts) must be free of races.
#include "ffplugs/cvla/renderer/file_encoder.h"
#include "krn/metadata_source.h"
#include "krn/results.h"
#include "tests/host/host_harness.h"
#include "tests/support/qla_test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

namespace {

using namespace cvtest;

// Reads at random positions; with `talk`, asks for texts and metadata between
// the reads as well.
void ReadAtRandom(const OpenedQlaFile& file, const PcmAudio& audio, uint32_t seed, bool talk,
                  std::atomic<int>* failures) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes;
  const size_t align = audio.format.nBlockAlign;
  for (int i = 0; file.stream && i < 40; ++i) {
    const uint64_t position = random() % audio.Frames();
    const uint32_t frames = 1 + random() % 3000;
    const uint64_t expected = std::min<uint64_t>(frames, audio.Frames() - position);
    if (ReadFrames(file.stream, file.format, position, frames, &bytes) != cv::kS_OK ||
        !std::equal(bytes.begin(), bytes.end(), audio.bytes.begin() + position * align) ||
        bytes.size() != expected * align)
      ++*failures;
    if (!talk) continue;
    wchar16 text[100];
    file.reader->GetStreamText(text, 100, 0, 1 + i % 3);
    cv::ICvMetadataSource* metadata = nullptr;
    if (i % 10 == 0 && file.reader->GetMetadata(&metadata) == cv::kS_OK) metadata->Release();
  }
}

// A host of its own with its own file type, opening the file and reading it.
void ReadLikeAHost(const std::string& path, const PcmAudio& audio, uint32_t seed, std::atomic<int>* failures) {
  TestHost host;
  cv::ICvFileType* fileType = nullptr;
  if (CreateFileTypeLikeHost(host.Host(), 0, &fileType) != cv::kS_OK) return void(++*failures);
  {
    OpenedQlaFile file;
    if (OpenQlaFile(fileType, path, &file) != cv::kS_OK) ++*failures;
    ReadAtRandom(file, audio, seed, true, failures);
  }
  fileType->Release();
}

TEST(HostThreads, ReadersOnSeveralFilesAndARenderRunTogether) {
  ModuleScope module;
  std::vector<PcmAudio> audio = {SyntheticAudio(2, 44100, 16, 40000, 1), SyntheticAudio(1, 48000, 24, 30000, 2),
                                 SyntheticAudio(2, 96000, 24, 20000, 3)};
  std::vector<std::string> paths;
  for (size_t i = 0; i < audio.size(); ++i) {
    paths.push_back(TestDataPath("threads-" + std::to_string(i) + ".qla"));
    ASSERT_EQ(RenderAudio(audio[i], paths[i]), cv::kS_OK);
  }
  // Besides, four threads read through one stream that the test opened.
  TestHost host;
  cv::ICvFileType* fileType = nullptr;
  ASSERT_EQ(CreateFileTypeLikeHost(host.Host(), 0, &fileType), cv::kS_OK);
  OpenedQlaFile shared;
  ASSERT_EQ(OpenQlaFile(fileType, paths[0], &shared), cv::kS_OK);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < 6; ++t)
    threads.emplace_back(ReadLikeAHost, paths[t % 3], std::cref(audio[t % 3]), t + 1, &failures);
  for (uint32_t t = 0; t < 4; ++t)
    threads.emplace_back(ReadAtRandom, std::cref(shared), std::cref(audio[0]), t + 11, false, &failures);
  threads.emplace_back([&] {
    for (int i = 0; i < 2; ++i)
      if (RenderAudio(SyntheticAudio(2, 44100, 16, 30000, 9), TestDataPath("threads-render.qla")) != cv::kS_OK)
        ++failures;
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  shared.Reset();
  fileType->Release();
}

}  // namespace
