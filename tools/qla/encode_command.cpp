// qla encode: WAVE in, .qla out, through the renderer's file encoder with a
// render template whose format block holds the file format, followed by the
// source's metadata written as the renderer writes it.
#include "ffplugs/cvla/host_records.h"
#include "ffplugs/cvla/qla_format.h"
#include "ffplugs/cvla/renderer/file_encoder.h"
#include "krn/metadata_io.h"
#include "krn/platform/file.h"
#include "krn/platform/tool_io.h"
#include "krn/results.h"
#include "krn/sample_format.h"
#include "krn/wav_reader.h"
#include "tools/qla/commands.h"
#include "tools/qla/interrupt.h"
#include "tools/qla/job_report.h"
#include "tools/qla/output_file.h"
#include "tools/qla/qla_file.h"
#include "tools/qla/source_layout.h"
#include "tools/qla/system_text.h"
#include "tools/qla/tool_chunks.h"
#include "tools/qla/verify.h"
#include "tools/qla/wav_audio_stream.h"
#include "tools/qla/wav_file.h"
#include "tools/qla/wav_metadata.h"

#include <cstdio>

namespace qlatool {
namespace {

struct PreparedTemplate {
  qla::TemplateFormatBlock block{};
  qla::RenderTemplate record{};
};

void FillTemplate(const WAVEFORMATEX& fileFormat, PreparedTemplate* t) {
  t->block = qla::MakeTemplateFormat(fileFormat);
  t->record = qla::MakeRenderTemplate(&t->block);
}

// Stores what the .qla does not carry of the source (its other chunks, the
// format chunk, the order), with the digest of the metadata as written now.
[[nodiscard]] HRESULT KeepSourceLayout(cv::WavReader& wav, bool converted, const std::string& qlaPath, const std::string& input,
                         Console& console) {
  SourceLayout layout;
  std::vector<std::string> notKept;
  HRESULT hr = CaptureLayout(wav, converted, &layout, &notKept);
  if (cv::Failed(hr)) return hr;
  for (const std::string& what : notKept) console.Error("qla: " + input + ": warning: " + what);
  if (converted && wav.Format()->wFormatTag == cv::kFormatTagExtensible)
    console.Error("qla: " + input + ": warning: the extensible \"fmt \" chunk (valid bits, channel mask) is not kept: "
                  "the samples were converted");
  std::vector<uint8_t> metadata;
  {
    // Closed again before the append: the reader shares the file for reading only.
    QlaFile written;
    hr = written.Open(qlaPath);
    if (cv::Succeeded(hr)) hr = written.MetadataChunks(&metadata);
  }
  if (cv::Failed(hr)) return hr;
  layout.metadataDigest = DigestOfMetadata(metadata);
  return AppendChunk(qlaPath, kSourceChunk, SerializeLayout(layout));
}

// Opens a source by name, or standard input ("-") copied into a scratch file
// first, whose sizes may be unknown.
[[nodiscard]] HRESULT OpenSource(const std::string& input, const Options& options, cv::WavReader* wav, std::string* problem) {
  cv::WavReadOptions readOptions;
  readOptions.ignoreChunkSizes = options.ignoreChunkSizes;
  if (input != "-") return wav->Open(input, readOptions, problem);
  readOptions.unknownSizes = true;
  cvplat::UniqueFile scratch = cvplat::CreateScratchFile();
  if (!scratch.IsValid()) {
    *problem = "no temporary file for standard input: " + cvplat::LastErrorText();
    return cv::CVERR_FILE_CREATE;
  }
  if (!cvplat::CopyStandardInput(scratch.Get())) {
    *problem = "reading standard input failed";
    return cv::CVERR_FILE_READ;
  }
  return wav->Attach(std::move(scratch), readOptions, problem);
}

bool EncodeOne(const std::string& input, const Options& options, Console& console) {
  cv::WavReader wav;
  std::string problem;
  HRESULT hr = OpenSource(input, options, &wav, &problem);
  if (hr == cv::CVERR_UNSUPPORTED_FORMAT && wav.HasFormat() && wav.Format()->wFormatTag == qla::WAVE_FORMAT_QUARTZLINE)
    problem = "this is a .qla file already; qla decode turns it back into a WAVE file";
  if (cv::Failed(hr)) {
    console.Error(FailureLine(input, problem, hr));
    return false;
  }
  if (wav.PartialFrameBytes())
    console.Error("qla: " + input + ": warning: the last " + std::to_string(wav.PartialFrameBytes()) +
                  " bytes of the audio are less than a frame and are not encoded");
  const WAVEFORMATEX* source = &wav.SampleLayout();
  if (source->nChannels > 2) {
    console.Error(FailureLine(input,
                              std::to_string(source->nChannels) +
                                  " channels; a .qla file holds 1 or 2 channels",
                              cv::CVERR_UNSUPPORTED_FORMAT));
    return false;
  }
  uint32_t bits = options.bits;
  // --bits converts what a .qla cannot hold as it is, and everything with --bits-always.
  if (StoredAsIs(source) && !options.bitsAlways) bits = 0;
  if (bits == 0) {
    if (!StoredAsIs(source)) {
      console.Error(FailureLine(input,
                                DescribeSampleLayout(source) +
                                    " samples; a .qla file holds 16- or 24-bit samples: give --bits 16 or "
                                    "--bits 24 to convert them (the conversion is not lossless)",
                                cv::CVERR_UNSUPPORTED_FORMAT));
      return false;
    }
    bits = source->wBitsPerSample;
  }
  WAVEFORMATEX fileFormat = PcmFormat(source->nChannels, source->nSamplesPerSec, bits);
  if (cv::ClassifySampleFormat(source) != cv::ClassifySampleFormat(&fileFormat)) {
    if (!cv::GetConverter(&fileFormat, source)) {
      console.Error(FailureLine(input, "no conversion from " + DescribeSampleLayout(source) + " to " +
                                           std::to_string(bits) + "-bit samples",
                                cv::kE_NOTIMPL));
      return false;
    }
    // Integer samples whose valid bits fit the new size widen exactly.
    const bool exact = source->wFormatTag != cv::kFormatTagIeeeFloat && wav.ValidBits() <= bits;
    const std::string what = "qla: " + input + ": converting " + DescribeSampleLayout(source) + " samples to " +
                             std::to_string(bits) + "-bit";
    if (exact)
      console.Info(what + " (exact: the conversion is lossless)");
    else
      console.Error(what + ": warning: the .qla file is not a lossless copy of the source");
  }
  const bool converted = cv::ClassifySampleFormat(source) != cv::ClassifySampleFormat(&fileFormat);

  std::string target = OutputNameFor(input, options, ".qla");
  OutputFile output;
  hr = output.Prepare(input, target, options.force, &problem);
  if (cv::Failed(hr)) {
    console.Error(FailureLine(target, problem, hr));
    return false;
  }

  double started = NowSeconds();
  PreparedTemplate renderTemplate;
  FillTemplate(fileFormat, &renderTemplate);
  WavAudioStream stream(&wav, fileFormat);
  double rate = source->nSamplesPerSec;
  stream.OnFrames([&](uint32_t frames) { console.AddDone(frames / rate / (options.verify ? 2 : 1)); });
  InterruptingProgressSink sink;
  const unsigned threads = ThreadsPerFile(options);
  hr = qla::EncodeFile(&sink, output.TempPath().c_str(), &stream, &renderTemplate.record, threads);
  if (cv::Failed(hr)) {
    if (!Interrupted()) console.Error(FailureLine(input, "encoding failed", hr));
    return false;
  }

  // The audio's digest follows the seek table, then the metadata as the
  // renderer appends it.
  cv::Md5::Digest digest;
  if (stream.HashedFrames() == wav.Frames())
    digest = stream.FinishDigest();
  else
    hr = DigestOfSource(&wav, fileFormat, &digest);
  if (cv::Succeeded(hr))
    hr = AppendChunk(output.TempPath(), kChecksumChunk, std::vector<uint8_t>(digest.begin(), digest.end()));
  if (cv::Failed(hr)) {
    if (!Interrupted()) console.Error(FailureLine(input, "writing the checksum failed", hr));
    return false;
  }

  // The metadata readers know 32-bit RIFF files only: the metadata chunks of an
  // RF64 source travel in the kept layout alone.
  bool rf64Metadata = false;
  for (const cv::WavChunk& c : wav.Chunks())
    rf64Metadata |= wav.IsRf64() && (c.id == cv::ChunkId("cue ") || c.id == cv::ChunkId("LIST") ||
                                     c.id == cv::ChunkId("acid") || c.id == cv::ChunkId("strc"));
  if (rf64Metadata && options.keepForeign)
    console.Info("qla: " + input + ": RF64 source: its markers, text and loop chunks are kept for decode, not "
                 "shown to the host");
  else if (rf64Metadata)
    console.Error("qla: " + input + ": warning: RF64 source: its markers, text and loop chunks are not kept "
                  "(--no-keep-foreign)");
  // AppendMetadata answers S_FALSE for a file it cannot open: the loop
  // information is still attempted, and a failure of either is reported.
  const cv::ComPtr<cv::ListMetadataSource> metadata = cv::ListMetadataSource::Create();
  hr = !metadata     ? cv::kE_OUTOFMEMORY
       : wav.IsRf64() ? cv::kS_OK
                      : LoadWavMetadata(wav.Handle(), source->nSamplesPerSec, metadata->Lists());
  if (cv::Succeeded(hr))
    hr = cv::AppendMetadata(output.TempPath().c_str(), true, false, source->nSamplesPerSec, metadata.Get());
  if (cv::Succeeded(hr) && metadata->Lists().HasLoopInfo())
    hr = cv::WriteLoopInfo(output.TempPath().c_str(), metadata.Get(), false);
  if (cv::Failed(hr)) {
    console.Error(FailureLine(input, "writing the metadata failed", hr));
    return false;
  }
  if (options.keepForeign) {
    hr = KeepSourceLayout(wav, converted, output.TempPath(), input, console);
    if (cv::Failed(hr)) {
      console.Error(FailureLine(input, "keeping the source's chunks failed", hr));
      return false;
    }
  }

  if (options.verify) {
    std::string difference;
    hr = VerifyAgainstSource(output.TempPath(), &wav, fileFormat, threads, &difference, [&](uint32_t frames) {
      console.AddDone(frames / rate / 2);
    });
    if (cv::Failed(hr)) {
      if (!Interrupted()) console.Error(FailureLine(input, "verification failed" + difference, hr));
      return false;
    }
  }

  std::string detail;
  hr = output.Commit(&detail);
  if (cv::Failed(hr)) {
    console.Error(FailureLine(target, detail, hr));
    return false;
  }

  double seconds = wav.Frames() / rate;
  double elapsed = NowSeconds() - started;
  uint64_t packed = 0;
  {
    cvplat::UniqueFile f(cvplat::CreateFileAnsi(target.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
    if (f.IsValid() && !cvplat::GetFileSize64(f.Get(), &packed)) packed = 0;  // the report then shows 0 %
  }
  double pcmBytes = static_cast<double>(wav.Frames()) * fileFormat.nBlockAlign;
  char figures[96];
  std::snprintf(figures, sizeof figures, ": %.1f s, %.2f %% of the PCM, %.0fx realtime%s", seconds,
                pcmBytes > 0 ? 100.0 * packed / pcmBytes : 0.0, elapsed > 0 ? seconds / elapsed : 0.0,
                options.verify ? ", verified" : "");
  console.Info(input + " -> " + target + figures);
  return true;
}

}  // namespace

int RunEncode(const Options& options) {
  if (options.output == "-") {
    std::fprintf(stderr,
                 "qla: encode cannot write to standard output: the sizes in a .qla file are written when it "
                 "is finished, which needs a file; name one with -o\n");
    return kExitUsage;
  }
  for (const std::string& input : options.inputs) {
    if (input == "-" && options.output.empty()) {
      std::fprintf(stderr, "qla: encoding standard input (-) needs -o to name the output file\n");
      return kExitUsage;
    }
  }
  const std::vector<size_t> owners = OutputOwners(options, ".qla");
  const double total = PlannedSeconds(options, owners, ".qla", WavSeconds);
  return RunPerInput(options, true, total, "encoded", [&](size_t index, Console& console) {
    if (RefuseTakenOutput(options, owners, index, ".qla", console)) return false;
    return EncodeOne(options.inputs[index], options, console);
  });
}

}  // namespace qlatool
