// qla decode: .qla in, PCM WAVE out, read through the plug-in's file type,
// reader and stream, with the file's metadata written after the audio.
#include "krn/md5.h"
#include "krn/platform/tool_io.h"
#include "krn/results.h"
#include "tools/qla/commands.h"
#include "tools/qla/interrupt.h"
#include "tools/qla/job_report.h"
#include "tools/qla/output_file.h"
#include "tools/qla/parallel_decode.h"
#include "tools/qla/qla_file.h"
#include "tools/qla/source_layout.h"
#include "tools/qla/tool_chunks.h"
#include "tools/qla/wav_file.h"

#include <cstdio>
#include <vector>

namespace qlatool {
namespace {

// Decodes the whole audio into sink through the stream's reads, as a host does,
// in requests of 65536 frames: the stream hashes the bytes of one request in
// the gaps of decoding the next blocks of the same request, so longer requests
// leave fewer bytes to hash on their own at their ends.
[[nodiscard]] HRESULT DecodeInRequests(QlaFile& file, uint32_t frameBytes, uint32_t rate, ByteSink& sink, Console& console,
                         cv::Md5* md5) {
  constexpr uint32_t kChunk = 65536;
  std::vector<uint8_t> buffer(static_cast<size_t>(kChunk) * frameBytes);
  const DeliveredDigest streamHashes(file, md5);
  for (uint64_t position = 0; position < file.Frames();) {
    if (Interrupted()) return cv::CVERR_CANCELLED;
    uint32_t got = 0;
    HRESULT hr = file.Read(position, buffer.data(), kChunk, &got);
    if (cv::Failed(hr)) return hr;
    if (got == 0) return cv::CVERR_FILE_READ;  // the stream ended before its announced length
    if (md5 && !streamHashes.Attached()) md5->Update(buffer.data(), static_cast<size_t>(got) * frameBytes);
    hr = sink.Write(buffer.data(), static_cast<size_t>(got) * frameBytes);
    if (cv::Failed(hr)) return hr;
    position += got;
    console.AddDone(static_cast<double>(got) / rate);
  }
  return cv::kS_OK;
}

// The same on several threads, each decoding runs of seek groups of its own.
[[nodiscard]] HRESULT DecodeInParallel(const std::string& input, unsigned threads, uint32_t frameBytes, uint32_t rate,
                         ByteSink& sink, Console& console, cv::Md5* md5) {
  return DecodeRunsInOrder(input, threads, md5, [&](uint64_t, const uint8_t* run, uint32_t frames) {
    const HRESULT hr = sink.Write(run, static_cast<size_t>(frames) * frameBytes);
    if (cv::Succeeded(hr)) console.AddDone(static_cast<double>(frames) / rate);
    return hr;
  });
}

// Writes the planned bytes and the decoded audio between them; the first bytes
// leave at once, so that a pipe's reader can start.
[[nodiscard]] HRESULT WriteWav(QlaFile& file, const std::string& input, unsigned threads, const WavPlan& plan, ByteSink& sink,
                 Console& console, cv::Md5* md5) {
  const WAVEFORMATEX& format = file.Format();
  HRESULT hr = sink.Write(plan.head.data(), plan.head.size());
  if (cv::Succeeded(hr)) hr = sink.Flush();
  if (cv::Failed(hr)) return hr;
  if (SplitOverThreads(threads, file.Frames()))
    hr = DecodeInParallel(input, threads, format.nBlockAlign, format.nSamplesPerSec, sink, console, md5);
  else
    hr = DecodeInRequests(file, format.nBlockAlign, format.nSamplesPerSec, sink, console, md5);
  if (cv::Succeeded(hr)) hr = sink.Write(plan.tail.data(), plan.tail.size());
  if (cv::Succeeded(hr)) hr = sink.Flush();
  return hr;
}

// The plan for a file: from its stored source layout when it has one.
[[nodiscard]] HRESULT PlanFor(QlaFile& file, const std::string& input, WavPlan* plan) {
  std::vector<uint8_t> metadata;
  HRESULT hr = file.MetadataChunks(&metadata);
  if (cv::Failed(hr)) return hr;
  std::vector<uint8_t> stored;
  SourceLayout layout;
  hr = ReadChunkBody(input, kSourceChunk, &stored);
  if (cv::Failed(hr)) return hr;
  const bool haveLayout = hr == cv::kS_OK && ParseLayout(stored, &layout);
  // The stream's byte rate is that of the compressed file; a WAVE file states
  // the PCM rate.
  const WAVEFORMATEX& f = file.Format();
  return PlanWav(PcmFormat(f.nChannels, f.nSamplesPerSec, f.wBitsPerSample), file.Frames(),
                 haveLayout ? &layout : nullptr, metadata, plan);
}

bool DecodeOne(const std::string& input, const Options& options, Console& console) {
  QlaFile file;
  HRESULT hr = file.Open(input);
  if (cv::Failed(hr)) {
    const std::string why = WhyNotOpened(input, &hr);
    console.Error(FailureLine(input, why, hr));
    return false;
  }
  WavPlan plan;
  hr = PlanFor(file, input, &plan);
  if (cv::Failed(hr)) {
    console.Error(FailureLine(input, "planning the WAVE file failed", hr));
    return false;
  }
  if (plan.metadataChanged)
    console.Error("qla: " + input + ": the metadata was changed after encoding: the current metadata is written, "
                  "with the source's other chunks");
  const std::string target = OutputNameFor(input, options, ".wav");
  const bool toStandardOutput = target == "-";
  const std::string shownTarget = toStandardOutput ? "standard output" : target;
  OutputFile output;
  ByteSink sink;
  if (toStandardOutput) {
    sink.UseStandardOutput();
  } else {
    std::string problem;
    hr = output.Prepare(input, target, options.force, &problem);
    if (cv::Succeeded(hr)) hr = sink.Create(output.TempPath());
    if (cv::Failed(hr)) {
      console.Error(FailureLine(target, problem, hr));
      return false;
    }
    sink.Reserve(plan.head.size() + file.Frames() * file.Format().nBlockAlign + plan.tail.size());
  }
  double started = NowSeconds();
  AudioDigestCheck digest(input);
  hr = WriteWav(file, input, ThreadsPerFile(options), plan, sink, console, digest.Hash());
  sink.Close();
  if (cv::Failed(hr)) {
    if (!Interrupted()) console.Error(FailureLine(input, "decoding to " + shownTarget + " failed", hr));
    return false;
  }
  const std::string mismatch = digest.Mismatch();
  if (!mismatch.empty()) {
    console.Error(FailureLine(input, mismatch, cv::CVERR_FILE_CORRUPT));
    return false;
  }
  if (!toStandardOutput) {
    std::string detail;
    hr = output.Commit(&detail);
    if (cv::Failed(hr)) {
      console.Error(FailureLine(target, detail, hr));
      return false;
    }
  }
  double seconds = static_cast<double>(file.Frames()) / file.Format().nSamplesPerSec;
  double elapsed = NowSeconds() - started;
  char figures[64];
  std::snprintf(figures, sizeof figures, ": %.1f s, %.0fx realtime", seconds, elapsed > 0 ? seconds / elapsed : 0.0);
  console.Info(input + " -> " + shownTarget + figures);
  return true;
}

}  // namespace

int RunDecode(const Options& options) {
  if (options.output == "-") cvplat::SetStdoutBinary();
  const std::vector<size_t> owners = OutputOwners(options, ".wav");
  const double total = PlannedSeconds(options, owners, ".wav", QlaSeconds);
  return RunPerInput(options, true, total, "decoded", [&](size_t index, Console& console) {
    if (RefuseTakenOutput(options, owners, index, ".wav", console)) return false;
    return DecodeOne(options.inputs[index], options, console);
  });
}

}  // namespace qlatool
