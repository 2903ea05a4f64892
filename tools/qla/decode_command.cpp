// qla decode: .qla in, PCM WAVE out, read through the plug-in's file type,
// reader and stream, with the file's metadata written after the audio.
#include "krn/md5.h"
#include "krn/metadata_io.h"
#include "krn/platform/tool_io.h"
#include "krn/results.h"
#include "tools/qla/commands.h"
#include "tools/qla/interrupt.h"
#include "tools/qla/job_report.h"
#include "tools/qla/output_file.h"
#include "tools/qla/qla_file.h"
#include "tools/qla/tool_chunks.h"
#include "tools/qla/wav_file.h"

#include <cstdio>
#include <vector>

namespace qlatool {
namespace {

// Writes the decoded audio and the metadata into the temporary file.
HRESULT WriteWav(QlaFile& file, const std::string& path, Console& console, cv::Md5* md5) {
  // The stream's byte rate is that of the compressed file; a WAVE file states
  // the PCM rate.
  const WAVEFORMATEX format =
      PcmFormat(file.Format().nChannels, file.Format().nSamplesPerSec, file.Format().wBitsPerSample);
  WavWriter writer;
  HRESULT hr = writer.Create(path, format);
  if (hr != cv::kS_OK) return hr;
  constexpr uint32_t kChunk = 16384;
  std::vector<uint8_t> buffer(static_cast<size_t>(kChunk) * format.nBlockAlign);
  for (uint64_t position = 0; position < file.Frames();) {
    if (Interrupted()) return cv::CVERR_CANCELLED;
    uint32_t got = 0;
    hr = file.Read(position, buffer.data(), kChunk, &got);
    if (cv::Failed(hr)) return hr;
    if (got == 0) return cv::CVERR_FILE_READ;  // the stream ended before its announced length
    md5->Update(buffer.data(), static_cast<size_t>(got) * format.nBlockAlign);
    hr = writer.Write(buffer.data(), got * format.nBlockAlign);
    if (hr != cv::kS_OK) return hr;
    position += got;
    console.AddDone(static_cast<double>(got) / format.nSamplesPerSec);
  }
  hr = writer.Finish();
  if (hr != cv::kS_OK) return hr;

  cv::ICvMetadataSource* metadata = nullptr;
  hr = file.Metadata(&metadata);
  if (hr == cv::kE_NOTIMPL) return cv::kS_OK;  // a reader without metadata: the audio is all there is
  if (cv::Failed(hr)) return hr;
  hr = cv::AppendMetadata(path.c_str(), true, false, format.nSamplesPerSec, metadata);
  if (cv::Succeeded(hr)) hr = cv::WriteLoopInfo(path.c_str(), metadata, false);
  metadata->Release();
  return cv::Failed(hr) ? hr : cv::kS_OK;
}

bool DecodeOne(const std::string& input, const Options& options, Console& console) {
  QlaFile file;
  HRESULT hr = file.Open(input);
  if (cv::Failed(hr)) {
    console.Error(FailureLine(input, "", hr));
    return false;
  }
  std::string target = OutputNameFor(input, options, ".wav");
  OutputFile output;
  hr = output.Prepare(target, options.force);
  if (hr != cv::kS_OK) {
    console.Error(FailureLine(target, "", hr));
    return false;
  }
  double started = NowSeconds();
  cv::Md5 md5;
  hr = WriteWav(file, output.TempPath(), console, &md5);
  if (hr != cv::kS_OK) {
    if (!Interrupted()) console.Error(FailureLine(input, "decoding failed", hr));
    return false;
  }
  std::string mismatch = DigestMismatch(input, md5.Finish());
  if (!mismatch.empty()) {
    console.Error(FailureLine(input, mismatch, cv::CVERR_FILE_CORRUPT));
    return false;
  }
  std::string detail;
  hr = output.Commit(&detail);
  if (hr != cv::kS_OK) {
    console.Error(FailureLine(target == "-" ? "standard output" : target, detail, hr));
    return false;
  }
  double seconds = static_cast<double>(file.Frames()) / file.Format().nSamplesPerSec;
  double elapsed = NowSeconds() - started;
  char line[256];
  std::snprintf(line, sizeof line, "%s -> %s: %.1f s, %.0fx realtime", input.c_str(),
                target == "-" ? "standard output" : target.c_str(), seconds, elapsed > 0 ? seconds / elapsed : 0.0);
  console.Info(line);
  return true;
}

}  // namespace

int RunDecode(const Options& options) {
  if (options.output == "-") cvplat::SetStdoutBinary();
  double total = 0;
  for (const std::string& input : options.inputs) total += QlaSeconds(input);
  return RunPerInput(options, options.output != "-", total, [&](size_t index, Console& console) {
    return DecodeOne(options.inputs[index], options, console);
  });
}

}  // namespace qlatool
