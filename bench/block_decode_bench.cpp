// Block decoding throughput on corpus audio, in bytes of decoded PCM per second.
// At start the recordings are decoded with flac into a temporary folder and
// encoded into Quartzline blocks with BlockEncoder; each iteration then decodes
// the whole block file from its first block. Set CVQL_CORPUS_DIR in the
// environment to use another corpus folder.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/recording.h"
#include "ffplugs/cvla/codec/block_decoder.h"
#include "ffplugs/cvla/codec/block_encoder.h"
#include "ffplugs/cvla/codec/rice_bit_reader.h"
#include "ffplugs/cvla/qla_format.h"
#include "krn/platform/file.h"
#include "krn/results.h"

namespace {

std::filesystem::path TempDir() {
  const auto dir = std::filesystem::temp_directory_path() / "cvql_decode_bench";
  std::filesystem::create_directories(dir);
  return dir;
}

// The recording as a file of blocks, every 25th a sync block. Empty path on failure.
std::string EncodeRecording(const std::string& name, const cvbench::Recording& pcm, uint32_t* flags) {
  const std::string path = (TempDir() / (name + ".blocks")).string();
  cvplat::UniqueFile file(
      cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
  if (!file.IsValid()) return {};
  const bool lpc = pcm.format.wBitsPerSample <= 16;
  *flags = qla::kFlagsVersion | qla::kFlagMidSide | (lpc ? qla::kFlagLpc : 0);
  auto encoder = std::make_unique<qla::BlockEncoder>();
  if (encoder->Create(pcm.format, lpc) != cv::kS_OK) return {};
  cv::FileByteSink fileBytes(file.Get());
  const size_t frameBytes = pcm.format.nBlockAlign;
  const size_t frames = pcm.data.size() / frameBytes;
  for (size_t first = 0, block = 0; first < frames; first += qla::kFramesPerBlock, ++block) {
    const int32_t n = static_cast<int32_t>(std::min<size_t>(qla::kFramesPerBlock, frames - first));
    uint32_t headerBytes = 0;
    DWORD written = 0;
    if (encoder->EncodeBlock(n, pcm.data.data() + first * frameBytes) != cv::kS_OK ||
        encoder->WriteBlockHeader(fileBytes, block % qla::kBlocksPerSeekPoint == 0, false, &headerBytes) != cv::kS_OK ||
        !cvplat::WriteFileBytes(file.Get(), encoder->Payload(), encoder->PayloadSize(), &written))
      return {};
  }
  return path;
}

void DecodeRecordingBlocks(benchmark::State& state, const std::string& name) {
  cvbench::Recording pcm;
  if (!cvbench::LoadRecording(name, &pcm)) {
    state.SkipWithError("cannot decode the recording with flac");
    return;
  }
  uint32_t flags = 0;
  const std::string path = EncodeRecording(name, pcm, &flags);
  if (path.empty()) {
    state.SkipWithError("cannot encode the recording");
    return;
  }
  cvplat::UniqueFile file(
      cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
  uint64_t fileSize = 0;
  if (!cvplat::GetFileSize64(file.Get(), &fileSize)) {
    state.SkipWithError("cannot size the block file");
    return;
  }
  auto decoder = std::make_unique<qla::BlockDecoder>();
  if (decoder->Initialize(pcm.format, flags) != cv::kS_OK) {
    state.SkipWithError("unsupported format");
    return;
  }
  std::vector<uint8_t> out(qla::BlockDecoder::kMaxBlockBytes);
  std::vector<uint8_t> decoded;
  decoded.reserve(pcm.data.size());
  uint64_t pcmBytes = 0;
  for (auto _ : state) {
    if (!cvplat::SeekFile(file.Get(), 0)) {
      state.SkipWithError("cannot rewind the block file");
      return;
    }
    decoder->SetNextBlockOffset(0);
    pcmBytes = 0;
    decoded.clear();
    while (decoder->NextBlockOffset() < fileSize) {
      uint32_t bytes = 0;
      cv::FileByteSource fileBytes(file.Get());
      if (cv::Failed(decoder->DecodeBlock(fileBytes, out.data(), &bytes))) {
        state.SkipWithError("a block does not decode");
        return;
      }
      decoded.insert(decoded.end(), out.data(), out.data() + bytes);
      pcmBytes += bytes;
    }
  }
  if (decoded != pcm.data) state.SkipWithError("decoded audio differs from the recording");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pcmBytes));
  state.counters["ratio_pct"] = 100.0 * static_cast<double>(fileSize) / static_cast<double>(pcm.data.size());
  file.Reset();
  std::filesystem::remove(path);
}

// The bit reader alone: 512 residuals per call from a buffer of Rice codes of
// parameter k with a typical spread.
void ReadResiduals(benchmark::State& state) {
  const uint32_t k = static_cast<uint32_t>(state.range(0));
  qla::RiceBitReader reader;
  if (!reader.Allocate()) {
    state.SkipWithError("no memory for the bit reader");
    return;
  }
  std::mt19937 rng(1);
  std::geometric_distribution<uint32_t> spread(1.0 / (2.0 * (1u << k)));
  uint8_t* data = reader.Data();
  const uint64_t usable = uint64_t{reader.Capacity() - 200} * 8;
  uint64_t bit = 0, codes = 0;
  auto put = [&](uint32_t b) {
    if (b) data[bit / 8] |= static_cast<uint8_t>(0x80u >> (bit % 8));
    ++bit;
  };
  for (;;) {
    const uint32_t u = std::min<uint32_t>(spread(rng), 40u << k);
    if (bit + (u >> k) + 1 + k >= usable) break;
    for (uint32_t i = 0; i < (u >> k); ++i) put(0);
    put(1);
    for (uint32_t i = k; i-- > 0;) put((u >> i) & 1u);
    ++codes;
  }
  const uint32_t calls = static_cast<uint32_t>(codes / 512);
  int32_t values[512];
  for (auto _ : state) {
    reader.Reset();
    for (uint32_t c = 0; c < calls; ++c) {
      if (!reader.ReadResiduals(k, 512, values)) {
        state.SkipWithError("the codes do not read back");
        return;
      }
    }
    benchmark::DoNotOptimize(values[0]);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * calls * 512);
}

BENCHMARK_CAPTURE(DecodeRecordingBlocks, stereo16_a, std::string("stereo16-a"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeRecordingBlocks, stereo24_96k, std::string("stereo24-96k"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeRecordingBlocks, mono16, std::string("mono16"))->Unit(benchmark::kMillisecond);
BENCHMARK(ReadResiduals)->Arg(2)->Arg(7)->Arg(12);

}  // namespace

BENCHMARK_MAIN();
