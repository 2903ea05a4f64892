// Block encoding throughput on corpus audio, in bytes of PCM per second. The
// recordings are decoded with flac into a temporary folder at start; set
// CVQL_CORPUS_DIR in the environment to use another corpus folder.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ffplugs/cvla/codec/block_encoder.h"
#include "ffplugs/cvla/qla_format.h"
#include "krn/results.h"

namespace {

struct Pcm {
  WAVEFORMATEX format{};
  std::vector<uint8_t> data;
};

std::string CorpusDir() {
  const char* env = std::getenv("CVQL_CORPUS_DIR");
  return env ? env : CVQL_CORPUS_DIR;
}

bool DecodeRecording(const std::string& name, Pcm* pcm) {
  const auto dir = std::filesystem::temp_directory_path() / "cvql_bench";
  std::filesystem::create_directories(dir);
  const std::string wav = (dir / (name + ".wav")).string();
  const std::string command =
      "flac -d -s -f -o \"" + wav + "\" \"" + CorpusDir() + "/" + name + ".flac\" > /dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  std::ifstream in(wav, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(wav);
  for (size_t pos = 12; pos + 8 <= bytes.size();) {
    const uint32_t size = qla::LoadU32(&bytes[pos + 4]);
    const uint8_t* body = &bytes[pos + 8];
    if (std::memcmp(&bytes[pos], "fmt ", 4) == 0) {
      std::memcpy(&pcm->format, body, 16);
      pcm->format.wFormatTag = 1;
      pcm->format.cbSize = 0;
    } else if (std::memcmp(&bytes[pos], "data", 4) == 0) {
      pcm->data.assign(body, body + std::min<size_t>(size, bytes.size() - pos - 8));
      return pcm->format.nChannels > 0;
    }
    pos += 8 + size + (size & 1);
  }
  return false;
}

void EncodeRecording(benchmark::State& state, const std::string& name) {
  Pcm pcm;
  if (!DecodeRecording(name, &pcm)) {
    state.SkipWithError("cannot decode the recording with flac");
    return;
  }
  const size_t frameBytes = pcm.format.nBlockAlign;
  const size_t blocks = pcm.data.size() / (frameBytes * qla::kFramesPerBlock);
  const bool lpc = pcm.format.wBitsPerSample <= 16;
  qla::BlockEncoder encoder;
  if (encoder.Create(pcm.format, lpc) != cv::kS_OK) {
    state.SkipWithError("unsupported format");
    return;
  }
  uint64_t encoded = 0;
  for (auto _ : state) {
    encoded = 0;
    for (size_t b = 0; b < blocks; ++b) {
      if (encoder.EncodeBlock(qla::kFramesPerBlock, pcm.data.data() + b * frameBytes * qla::kFramesPerBlock) !=
          cv::kS_OK) {
        state.SkipWithError("block not encoded");
        return;
      }
      encoded += encoder.PayloadSize();
    }
    benchmark::DoNotOptimize(encoded);
  }
  const double pcmBytes = static_cast<double>(blocks * frameBytes * qla::kFramesPerBlock);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pcmBytes));
  state.counters["ratio_pct"] = 100.0 * static_cast<double>(encoded) / pcmBytes;
}

BENCHMARK_CAPTURE(EncodeRecording, stereo16_a, std::string("stereo16-a"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EncodeRecording, stereo24_96k, std::string("stereo24-96k"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EncodeRecording, mono16, std::string("mono16"))->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
