// qla info: what a .qla file holds: format, length, compression, blocks and
// seek table, markers and regions, INFO fields and loop information.
#include "ffplugs/cvla/codec/block_decoder.h"
#include "ffplugs/cvla/qla_format.h"
#include "ffplugs/cvla/reader/container.h"
#include "krn/platform/codepage.h"
#include "krn/platform/file.h"
#include "krn/byte_io.h"
#include "krn/record_list.h"
#include "krn/wav_reader.h"
#include "krn/results.h"
#include "tools/qla/commands.h"
#include "tools/qla/job_report.h"
#include "tools/qla/metadata_dump.h"
#include "tools/qla/qla_file.h"
#include "tools/qla/tool_chunks.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace qlatool {
namespace {

struct FileFacts {
  WAVEFORMATEX format{};
  qla::QlaContainerInfo container{};
  uint64_t fileSize = 0;
  uint64_t frames = 0;
  FileMetadata metadata;
  uint64_t readableFrames = 0;  // set when the file is shorter than its audio
  bool truncated = false;
  bool hasDigest = false;
  cv::Md5::Digest digest{};
};

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Number(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Describe(const std::string& path, const FileFacts& f, bool json) {
  const qla::QlaCodecHeader& codec = f.container.codec;
  double seconds = static_cast<double>(f.frames) / f.format.nSamplesPerSec;
  double pcm = static_cast<double>(f.frames) * f.format.nBlockAlign;
  uint64_t blocks = codec.framesPerBlock ? (f.frames + codec.framesPerBlock - 1) / codec.framesPerBlock : 0;
  uint64_t syncBlocks = codec.blocksPerSeekPoint ? (blocks + codec.blocksPerSeekPoint - 1) / codec.blocksPerSeekPoint
                                                 : 0;
  bool midSide = (codec.codecFlags & qla::kFlagMidSide) && f.format.nChannels == 2;
  bool lpc = (codec.codecFlags & qla::kFlagLpc) != 0;
  double percent = pcm > 0 ? 100.0 * f.fileSize / pcm : 0;
  double kbits = seconds > 0 ? f.container.dataSize * 8.0 / seconds / 1000.0 : 0;
  std::string o;
  if (json) {
    o += "{\"file\": " + JsonString(path);
    o += ", \"channels\": " + std::to_string(f.format.nChannels);
    o += ", \"sample_rate\": " + std::to_string(f.format.nSamplesPerSec);
    o += ", \"bits\": " + std::to_string(f.format.wBitsPerSample);
    o += ", \"frames\": " + std::to_string(f.frames);
    o += ", \"seconds\": " + Number(seconds, 3);
    o += ", \"file_bytes\": " + std::to_string(f.fileSize);
    o += ", \"pcm_bytes\": " + Number(pcm, 0);
    o += ", \"percent_of_pcm\": " + Number(percent, 2);
    o += ", \"kbit_per_s\": " + Number(kbits, 1);
    o += ", \"codec_flags\": " + std::to_string(codec.codecFlags);
    o += ", \"mid_side\": " + std::string(midSide ? "true" : "false");
    o += ", \"lpc\": " + std::string(lpc ? "true" : "false");
    o += ", \"frames_per_block\": " + std::to_string(codec.framesPerBlock);
    o += ", \"blocks_per_seek_point\": " + std::to_string(codec.blocksPerSeekPoint);
    o += ", \"blocks\": " + std::to_string(blocks);
    o += ", \"sync_blocks\": " + std::to_string(syncBlocks);
    o += ", \"seek_table\": " + std::string(f.container.hasSeekTable ? "true" : "false");
    o += ", \"seek_entries\": " + std::to_string(f.container.seekTableEntries);
    o += ", \"data_bytes\": " + std::to_string(f.container.dataSize);
    o += ", \"md5\": " + (f.hasDigest ? JsonString(cv::Md5::ToHex(f.digest)) : std::string("null"));
    o += ", \"markers\": [";
    for (size_t i = 0; i < f.metadata.markers.size(); ++i) {
      const MarkerFacts& m = f.metadata.markers[i];
      const double rate = f.format.nSamplesPerSec;
      o += std::string(i ? ", " : "") + "{\"id\": " + std::to_string(m.id) + ", \"name\": " + JsonString(m.name) +
           ", \"start_frame\": " + std::to_string(m.startFrame) + ", \"start_seconds\": " +
           Number(m.startFrame / rate, 6) + ", \"region\": " + (m.region ? "true" : "false") +
           ", \"length_frames\": " + std::to_string(m.lengthFrames) + ", \"length_seconds\": " +
           Number(m.lengthFrames / rate, 6) + "}";
    }
    o += "], \"info\": {";
    for (size_t i = 0; i < f.metadata.info.size(); ++i)
      o += std::string(i ? ", " : "") + JsonString(f.metadata.info[i].first) + ": " +
           JsonString(f.metadata.info[i].second);
    o += "}, \"acid\": " + std::string(f.metadata.hasAcid ? "true" : "false");
    o += ", \"loops\": " + (f.metadata.hasStrc ? std::to_string(f.metadata.loopCount) : std::string("null"));
    o += "}\n";
    return o;
  }
  o += path + "\n";
  o += "  format:       Quartzline Audio, " + std::to_string(f.format.nSamplesPerSec) + " Hz, " +
       std::to_string(f.format.wBitsPerSample) + "-bit, " +
       (f.format.nChannels == 1 ? std::string("mono") : f.format.nChannels == 2 ? "stereo"
                                                          : std::to_string(f.format.nChannels) + " channels") +
       "\n";
  o += "  duration:     " + FormatSeconds(seconds) + " (" + std::to_string(f.frames) + " frames)\n";
  o += "  size:         " + std::to_string(f.fileSize) + " bytes, " + Number(percent, 2) + " % of " +
       Number(pcm, 0) + " bytes of PCM (ratio " + Number(f.fileSize ? pcm / f.fileSize : 0, 2) + ":1), " +
       Number(kbits, 0) + " kbit/s\n";
  o += "  coding:       " + std::string(midSide ? "mid/side, " : "") + (lpc ? "fixed + LPC prediction" : "fixed prediction") +
       " (flags 0x" + [&] {
         char hex[16];
         std::snprintf(hex, sizeof hex, "%08X", codec.codecFlags);
         return std::string(hex);
       }() + ")\n";
  o += "  blocks:       " + std::to_string(blocks) + " of " + std::to_string(codec.framesPerBlock) + " frames, " +
       std::to_string(f.container.dataSize) + " bytes\n";
  o += "  seek table:   ";
  if (f.container.hasSeekTable)
    o += std::to_string(f.container.seekTableEntries) + " entries, a sync block every " +
         std::to_string(codec.blocksPerSeekPoint) + " blocks (" + std::to_string(syncBlocks) + " sync blocks)\n";
  else
    o += "missing (only sequential decoding)\n";
  o += "  audio MD5:    " + (f.hasDigest ? cv::Md5::ToHex(f.digest) : std::string("none stored")) + "\n";
  o += "  markers:      " + std::to_string(f.metadata.markers.size()) + "\n";
  const double rate = f.format.nSamplesPerSec;
  for (const MarkerFacts& m : f.metadata.markers) {
    o += "    #" + std::to_string(m.id) + "  frame " + std::to_string(m.startFrame) + " (" +
         Number(m.startFrame / rate, 6) + " s)" +
         (m.region ? ", region of " + std::to_string(m.lengthFrames) + " frames (" + Number(m.lengthFrames / rate, 6) +
                         " s)"
                   : std::string(", marker")) +
         (m.name.empty() ? "" : "  \"" + m.name + "\"") + "\n";
  }
  o += "  INFO fields:  " + std::to_string(f.metadata.info.size()) + "\n";
  for (const auto& field : f.metadata.info) o += "    " + field.first + ": " + field.second + "\n";
  o += "  loop info:    " + std::string(f.metadata.hasAcid ? "acid chunk" : "no acid chunk") + ", " +
       (f.metadata.hasStrc ? std::to_string(f.metadata.loopCount) + " loop records" : std::string("no strc chunk")) +
       "\n";
  return o;
}

// Frames that decode block after block from the start of the audio before the
// file ends or a block is damaged (no seek table needed).
uint64_t ReadableFrames(HANDLE file, const FileFacts& facts) {
  qla::BlockDecoder decoder;
  if (!cv::SeekTo(file, facts.container.dataOffset) ||
      cv::Failed(decoder.Initialize(facts.container.format, facts.container.codec.codecFlags)))
    return 0;
  cv::FileByteSource source(file);
  std::vector<uint8_t> block(qla::BlockDecoder::kMaxBlockBytes);
  uint64_t frames = 0;
  uint32_t bytes = 0;
  while (frames < facts.frames && cv::Succeeded(decoder.DecodeBlock(source, block.data(), &bytes)))
    frames += bytes / facts.container.format.nBlockAlign;
  return frames < facts.frames ? frames : facts.frames;
}

[[nodiscard]] HRESULT Gather(const std::string& path, FileFacts* facts) {
  QlaFile file;
  HRESULT hr = file.Open(path);
  if (cv::Failed(hr)) return hr;
  facts->format = file.Format();
  facts->frames = file.Frames();
  cvplat::UniqueFile raw(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  if (!raw.IsValid()) return cv::CVERR_FILE_OPEN;
  if (!cvplat::GetFileSize64(raw.Get(), &facts->fileSize)) return cv::CVERR_FILE_READ;
  hr = qla::ParseContainer(raw.Get(), &facts->container);
  if (cv::Failed(hr)) return hr;
  facts->hasDigest = ReadAudioDigest(path, &facts->digest);
  facts->truncated = static_cast<uint64_t>(facts->container.dataOffset) + facts->container.dataSize > facts->fileSize;
  if (facts->truncated) facts->readableFrames = ReadableFrames(raw.Get(), *facts);
  cv::ICvMetadataSource* source = nullptr;
  hr = file.Metadata(&source);
  if (hr == cv::kE_NOTIMPL) return cv::kS_OK;  // a reader without metadata
  if (cv::Failed(hr)) return hr;
  hr = ReadMetadata(source, file.Format().nSamplesPerSec, &facts->metadata);
  source->Release();
  return hr;
}

}  // namespace

int RunInfo(const Options& options) {
  std::vector<std::string> texts(options.inputs.size());
  int code = RunPerInput(options, false, 0, "described", [&](size_t index, Console& console) {
    FileFacts facts;
    HRESULT hr = Gather(options.inputs[index], &facts);
    if (cv::Failed(hr)) {
      const std::string why = WhyNotOpened(options.inputs[index], &hr);
      console.Error(FailureLine(options.inputs[index], why, hr));
      return false;
    }
    if (facts.truncated) {
      console.Error(FailureLine(options.inputs[index],
                                "truncated: the file ends after " + std::to_string(facts.fileSize) +
                                    " bytes, within its audio; " + std::to_string(facts.readableFrames) + " of " +
                                    std::to_string(facts.frames) + " frames are readable",
                                cv::CVERR_FILE_CORRUPT));
      return false;
    }
    texts[index] = Describe(options.inputs[index], facts, options.json);
    return true;
  });
  // Printed in input order whatever order the jobs finished in.
  std::string all;
  if (options.json) all += "[\n";
  bool first = true;
  for (const std::string& text : texts) {
    if (text.empty()) continue;
    if (options.json && !first) all.insert(all.size() - 1, ",");
    all += text;
    first = false;
  }
  if (options.json) all += "]\n";
  std::fputs(all.c_str(), stdout);
  std::fflush(stdout);
  return code;
}

}  // namespace qlatool
