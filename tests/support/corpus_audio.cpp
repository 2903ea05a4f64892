#include "tests/support/corpus_audio.h"

#include "krn/results.h"
#include "krn/wav_reader.h"
#include "tests/support/riff_test_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>

namespace cvtest {

bool FlacAvailable() {
#ifdef _WIN32
  return false;
#else
  return std::system("flac --version >/dev/null 2>&1") == 0;
#endif
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> names;
  DIR* dir = opendir(CVQL_CORPUS_DIR);
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".flac") == 0) names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadWavFile(const std::string& path, PcmAudio* audio) {
  WAVEFORMATEX layout{};
  std::string problem;
  if (cv::Failed(cv::ReadWavAudio(path, &layout, &audio->bytes, &problem))) return false;
  audio->format = PcmFormat(layout.nChannels, layout.nSamplesPerSec, layout.wBitsPerSample);
  return true;
}

bool DecodeCorpusFile(const std::string& name, PcmAudio* audio) {
#ifdef _WIN32
  (void)name;
  (void)audio;
  return false;
#else
  const std::string wav = TestDataPath(name + ".wav");
  const std::string command =
      "flac -d -f -s -o '" + wav + "' '" + std::string(CVQL_CORPUS_DIR) + "/" + name + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  const bool ok = ReadWavFile(wav, audio);
  std::remove(wav.c_str());
  return ok;
#endif
}

}  // namespace cvtest
