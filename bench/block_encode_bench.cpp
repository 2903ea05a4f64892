// Block encoding throughput on corpus audio, in bytes of PCM per second. The
// recordings are decoded with flac into a temporary folder at start; set
// CVQL_CORPUS_DIR in the environment to use another corpus folder.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/recording.h"
#include "ffplugs/cvla/codec/block_encoder.h"
#include "ffplugs/cvla/qla_format.h"
#include "krn/results.h"

namespace {

void EncodeRecording(benchmark::State& state, const std::string& name) {
  cvbench::Recording pcm;
  if (!cvbench::LoadRecording(name, &pcm)) {
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
