#include "tests/support/corpus_audio.h"

#include "tests/support/riff_test_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>

namespace cvtest {

namespace {

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t U16At(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

}  // namespace

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

bool ParseWav(const std::vector<uint8_t>& file, PcmAudio* audio) {
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
    return false;
  bool haveFormat = false;
  size_t at = 12;
  while (at + 8 <= file.size()) {
    const uint32_t size = U32At(file, at + 4);
    const size_t body = at + 8;
    if (std::memcmp(file.data() + at, "fmt ", 4) == 0 && size >= 16 && body + 16 <= file.size()) {
      const uint16_t channels = U16At(file, body + 2);
      const uint32_t rate = U32At(file, body + 4);
      const uint16_t bits = U16At(file, body + 14);
      audio->format = PcmFormat(channels, rate, bits);
      haveFormat = true;
    } else if (std::memcmp(file.data() + at, "data", 4) == 0 && haveFormat) {
      const size_t end = std::min(file.size(), body + size);
      audio->bytes.assign(file.begin() + static_cast<std::ptrdiff_t>(body),
                          file.begin() + static_cast<std::ptrdiff_t>(end));
      return audio->format.nBlockAlign != 0;
    }
    at = body + size + (size & 1);
  }
  return false;
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
  const bool ok = ParseWav(ReadWholeFile(wav), audio);
  std::remove(wav.c_str());
  return ok;
#endif
}

}  // namespace cvtest
