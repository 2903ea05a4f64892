#include "bench/recording.h"

#include "krn/results.h"
#include "krn/wav_reader.h"

#include <cstdlib>
#include <filesystem>

namespace cvbench {

bool LoadRecording(const std::string& name, Recording* recording) {
  const char* env = std::getenv("CVQL_CORPUS_DIR");
  const std::string corpus = env ? env : CVQL_CORPUS_DIR;
  const auto dir = std::filesystem::temp_directory_path() / "cvql_bench";
  std::filesystem::create_directories(dir);
  const std::string wav = (dir / (name + ".wav")).string();
  const std::string command = "flac -d -s -f -o \"" + wav + "\" \"" + corpus + "/" + name + ".flac\" > /dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  std::string problem;
  const bool ok = cv::Succeeded(cv::ReadWavAudio(wav, &recording->format, &recording->data, &problem));
  std::filesystem::remove(wav);
  return ok;
}

}  // namespace cvbench
