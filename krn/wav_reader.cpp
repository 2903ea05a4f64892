#include "krn/wav_reader.h"

#include "krn/little_endian.h"
#include "krn/messages.h"
#include "krn/results.h"
#include "krn/platform/tool_io.h"
#include "krn/sample_format.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace cv {
namespace {

constexpr uint32_t kRiffHeaderBytes = 12;
constexpr uint32_t kPcmFmtBytes = 16;
constexpr uint32_t kExtensibleFmtBytes = 40;
constexpr uint32_t kMaxFmtBytes = 4096;
constexpr uint32_t kDs64MinBytes = 24;
constexpr uint32_t kReadAheadBytes = 256u << 10;
// Reads of at least this many bytes go straight into the caller's buffer: a
// copy out of the read-ahead would cost more than the system call it saves.
constexpr uint32_t kDirectReadBytes = 64u << 10;
// The tail that every KSDATAFORMAT_SUBTYPE_* identifier of a format tag shares.
constexpr uint8_t kSubtypeTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::string Quoted(uint32_t id) { return "the \"" + ChunkName(id) + "\" chunk"; }

[[nodiscard]] HRESULT Refuse(std::string* problem, std::string text, HRESULT code = CVERR_FILE_CORRUPT) {
  *problem = std::move(text);
  return code;
}

}  // namespace

std::string ChunkName(uint32_t id) {
  std::string name(4, '?');
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>((id >> (8 * i)) & 0xFF);
    if (c >= 0x20 && c < 0x7F) name[i] = c;
  }
  return name;
}

bool SeekTo(HANDLE file, uint64_t position) { return cvplat::SeekFile(file, position); }

bool ReadExact(HANDLE file, void* buffer, uint32_t count) {
  DWORD got = 0;
  return cvplat::ReadFileBytes(file, buffer, count, &got) && got == count;
}

HRESULT WavReader::Open(const std::string& path, const WavReadOptions& options, std::string* problem) {
  if (cvplat::IsDirectory(path)) return Refuse(problem, "a folder, not a WAVE file", CVERR_FILE_OPEN);
  cvplat::UniqueFile file(
      cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
  if (!file.IsValid()) {
    *problem = cvplat::LastErrorText();
    return ResultFromWin32Error(cvplat::LastError());
  }
  return Attach(std::move(file), options, problem);
}

HRESULT WavReader::Attach(cvplat::UniqueFile file, const WavReadOptions& options, std::string* problem) {
  *this = WavReader();
  file_ = std::move(file);
  problem->clear();
  if (!cvplat::GetFileSize64(file_.Get(), &fileSize_)) return ResultFromWin32Error(cvplat::LastError());
  uint8_t header[kRiffHeaderBytes];
  if (fileSize_ < kRiffHeaderBytes || !SeekTo(file_.Get(), 0) || !ReadExact(file_.Get(), header, sizeof header))
    return Refuse(problem, "not a WAVE file: too short for a RIFF header", CVERR_NO_RIFF_HEADER);
  const uint32_t form = LoadU32(header);
  if (form != ChunkId("RIFF") && form != ChunkId("RF64"))
    return Refuse(problem, "not a WAVE file: it does not start with \"RIFF\"", CVERR_NO_RIFF_HEADER);
  if (LoadU32(header + 8) != ChunkId("WAVE"))
    return Refuse(problem, "a RIFF file of form \"" + ChunkName(LoadU32(header + 8)) + "\", not a WAVE file");
  rf64_ = form == ChunkId("RF64");
  HRESULT hr = Walk(options, problem);
  if (Failed(hr)) return hr;
  if (format_.empty()) return Refuse(problem, "no \"fmt \" chunk before the audio");
  hr = CheckFormat(problem);
  if (Failed(hr)) return hr;
  const WavChunk* data = nullptr;
  for (const WavChunk& c : chunks_)
    if (c.id == ChunkId("data")) data = &c;
  if (!data) return Refuse(problem, "no \"data\" chunk");
  frames_ = data->bytes / FrameBytes();
  const uint64_t partial = data->bytes % FrameBytes();
  if (partial && !options.ignoreChunkSizes)
    return Refuse(problem, "the \"data\" chunk ends in a partial frame: " + std::to_string(partial) +
                               " bytes follow the last whole frame of " + std::to_string(FrameBytes()) + " bytes");
  partialBytes_ = static_cast<uint32_t>(partial);
  if (frames_ == 0) return Refuse(problem, "the \"data\" chunk holds no whole frame", CVERR_NO_AUDIO);
  return kS_OK;
}

HRESULT WavReader::Walk(const WavReadOptions& options, std::string* problem) {
  // Bytes after the RIFF body belong to no chunk and are not walked; a RIFF size
  // beyond the file (streamed or unfinished files) is bounded by the file.
  uint8_t sizeField[4];
  if (!SeekTo(file_.Get(), 4) || !ReadExact(file_.Get(), sizeField, 4)) return CVERR_FILE_READ;
  uint64_t riffEnd = 8ull + LoadU32(sizeField);
  // A RIFF size too small for the form type was never filled in (a stream).
  uint64_t end = options.ignoreChunkSizes || rf64_ || riffEnd > fileSize_ || riffEnd < kRiffHeaderBytes
                     ? fileSize_
                     : riffEnd;
  for (uint64_t position = kRiffHeaderBytes; position + 8 <= end;) {
    uint8_t raw[8];
    if (!SeekTo(file_.Get(), position) || !ReadExact(file_.Get(), raw, 8)) return CVERR_FILE_READ;
    WavChunk chunk;
    chunk.id = LoadU32(raw);
    chunk.offset = position;
    chunk.declared = LoadU32(raw + 4);
    chunk.bytes = chunk.declared;
    const uint64_t body = position + 8;
    if (rf64_ && chunks_.empty() && chunk.id != ChunkId("ds64"))
      return Refuse(problem, "an RF64 file whose first chunk is not \"ds64\"");
    if (chunk.id == ChunkId("data")) {
      HRESULT hr = PlaceData(&chunk, options, problem);
      if (Failed(hr)) return hr;
      chunks_.push_back(chunk);
      if (body + chunk.bytes >= fileSize_) break;
    } else {
      if (body + chunk.bytes > end)
        return Refuse(problem, Quoted(chunk.id) + " at byte " + std::to_string(position) + " declares " +
                                   std::to_string(chunk.declared) + " bytes, but only " + std::to_string(end - body) +
                                   " remain in the file");
      if (chunk.id == ChunkId("ds64") && rf64_) {
        uint8_t ds64[kDs64MinBytes];
        if (chunk.declared < kDs64MinBytes) return Refuse(problem, "the \"ds64\" chunk is too small for its sizes");
        if (!ReadExact(file_.Get(), ds64, sizeof ds64)) return CVERR_FILE_READ;
        ds64Data_ = LoadU64(ds64 + 8);
        const uint64_t declaredEnd = 8 + LoadU64(ds64);
        if (!options.ignoreChunkSizes && declaredEnd >= kRiffHeaderBytes && declaredEnd < end) end = declaredEnd;
      } else if (chunk.id == ChunkId("fmt ") && format_.empty()) {
        HRESULT hr = ReadFormat(chunk, problem);
        if (Failed(hr)) return hr;
      }
      chunks_.push_back(chunk);
    }
    position = body + chunk.bytes + (chunk.bytes & 1);
  }
  return kS_OK;
}

HRESULT WavReader::PlaceData(WavChunk* data, const WavReadOptions& options, std::string* problem) {
  const uint64_t body = data->offset + 8;
  const uint64_t available = fileSize_ > body ? fileSize_ - body : 0;
  dataOffset_ = body;
  const bool unknown = options.unknownSizes && (data->declared == 0 || data->declared == 0xFFFFFFFFu);
  if (options.ignoreChunkSizes || unknown) {
    data->bytes = available;
    return kS_OK;
  }
  uint64_t declared = data->declared;
  if (rf64_ && declared == 0xFFFFFFFFu) declared = ds64Data_;
  data->bytes = declared;
  const std::string hint = "; --ignore-chunk-sizes reads the audio up to the end of the file";
  if (declared == 0 && available > 0)
    return Refuse(problem, "the \"data\" chunk declares 0 bytes, but " + std::to_string(available) +
                               " bytes follow it (an unfinished recording?)" + hint);
  if (declared == 0) return Refuse(problem, "the \"data\" chunk is empty", CVERR_NO_AUDIO);
  if (declared > available)
    return Refuse(problem, "the \"data\" chunk declares " + std::to_string(declared) + " bytes, but only " +
                               std::to_string(available) + " follow it (a cut or unfinished file?)" + hint);
  return kS_OK;
}

HRESULT WavReader::ReadFormat(const WavChunk& chunk, std::string* problem) {
  if (chunk.declared < kPcmFmtBytes || chunk.declared > kMaxFmtBytes)
    return Refuse(problem, "the \"fmt \" chunk has " + std::to_string(chunk.declared) + " bytes; a format needs " +
                               std::to_string(kPcmFmtBytes) + " to " + std::to_string(kMaxFmtBytes));
  format_.assign(chunk.declared < sizeof(WAVEFORMATEX) ? sizeof(WAVEFORMATEX) : chunk.declared, 0);
  if (!ReadExact(file_.Get(), format_.data(), chunk.declared)) return CVERR_FILE_READ;
  WAVEFORMATEX* f = reinterpret_cast<WAVEFORMATEX*>(format_.data());
  if (chunk.declared < sizeof(WAVEFORMATEX)) f->cbSize = 0;
  if (f->cbSize > chunk.declared - sizeof(WAVEFORMATEX) && chunk.declared >= sizeof(WAVEFORMATEX))
    f->cbSize = static_cast<WORD>(chunk.declared - sizeof(WAVEFORMATEX));
  return kS_OK;
}

HRESULT WavReader::CheckFormat(std::string* problem) {
  const WAVEFORMATEX* f = Format();
  const uint32_t channels = f->nChannels;
  const uint32_t bits = f->wBitsPerSample;
  if (channels == 0) return Refuse(problem, "the channel count (nChannels) is 0");
  if (f->nSamplesPerSec < kWavMinSampleRate || f->nSamplesPerSec > kWavMaxSampleRate)
    return Refuse(problem, "the sample rate (nSamplesPerSec) is " + std::to_string(f->nSamplesPerSec) +
                               " Hz; sources of " + std::to_string(kWavMinSampleRate) + " to " +
                               std::to_string(kWavMaxSampleRate) + " Hz are accepted");
  if (bits == 0 || bits > 64) return Refuse(problem, "the sample size (wBitsPerSample) is " + std::to_string(bits));

  WORD tag = f->wFormatTag;
  uint32_t containerBytes = (bits + 7) / 8;
  validBits_ = bits;
  if (tag == kFormatTagExtensible) {
    if (f->cbSize < kExtensibleFmtBytes - sizeof(WAVEFORMATEX))
      return Refuse(problem, "an extensible format whose extension (cbSize) has " + std::to_string(f->cbSize) +
                                 " bytes instead of 22");
    const uint8_t* extension = format_.data() + sizeof(WAVEFORMATEX);
    const uint32_t valid = LoadU16(extension);
    const uint32_t subtag = LoadU32(extension + 6);
    if (std::memcmp(extension + 10, kSubtypeTail, sizeof kSubtypeTail) != 0 ||
        (subtag != kFormatTagPcm && subtag != kFormatTagIeeeFloat))
      return Refuse(problem, "an extensible format whose sub-format is neither PCM nor float", CVERR_UNSUPPORTED_FORMAT);
    if (bits % 8) return Refuse(problem, "the extensible container size (wBitsPerSample) " + std::to_string(bits) +
                                             " is not a whole number of bytes");
    if (valid > bits)
      return Refuse(problem, "the valid bits (wValidBitsPerSample) " + std::to_string(valid) +
                                 " exceed the container's " + std::to_string(bits) + " bits (wBitsPerSample)");
    if (valid) validBits_ = valid;
    tag = static_cast<WORD>(subtag);
  } else if (tag == kFormatTag24In32) {
    containerBytes = 4;
  } else if (tag != kFormatTagPcm && tag != kFormatTagIeeeFloat && tag != kFormatTagSignedPcm &&
             tag != kFormatTagBigEndianPcm) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", tag);
    return Refuse(problem, std::string("format tag 0x") + hex + " is not PCM audio", CVERR_UNSUPPORTED_FORMAT);
  }
  if (tag == kFormatTagIeeeFloat && bits != 32 && bits != 64)
    return Refuse(problem, "float samples of " + std::to_string(bits) + " bits (wBitsPerSample); 32 or 64 exist");
  if (f->nBlockAlign != channels * containerBytes)
    return Refuse(problem, "the block align (nBlockAlign) is " + std::to_string(f->nBlockAlign) + ", but " +
                               std::to_string(channels) + " channels of " + std::to_string(containerBytes) +
                               "-byte samples take " + std::to_string(channels * containerBytes));
  layout_ = WAVEFORMATEX{};
  layout_.wFormatTag = tag;
  layout_.nChannels = f->nChannels;
  layout_.nSamplesPerSec = f->nSamplesPerSec;
  layout_.nBlockAlign = f->nBlockAlign;
  layout_.nAvgBytesPerSec = f->nSamplesPerSec * f->nBlockAlign;
  layout_.wBitsPerSample = static_cast<WORD>(tag == kFormatTag24In32 ? bits : containerBytes * 8);
  return kS_OK;
}

bool WavReader::ReadFromFile(uint64_t frame, uint32_t count, uint8_t* out) {
  return SeekTo(file_.Get(), dataOffset_ + frame * FrameBytes()) && ReadExact(file_.Get(), out, count * FrameBytes());
}

HRESULT WavReader::ReadAt(uint64_t position, void* buffer, uint32_t count) {
  return SeekTo(file_.Get(), position) && ReadExact(file_.Get(), buffer, count) ? kS_OK : CVERR_FILE_READ;
}

HRESULT WavReader::ReadFrames(uint64_t frame, uint32_t count, void* buffer, uint32_t* got) {
  *got = 0;
  if (frame >= frames_) return kS_FALSE;
  if (count > frames_ - frame) count = static_cast<uint32_t>(frames_ - frame);
  const uint32_t frameBytes = FrameBytes();
  const uint32_t capacity = kReadAheadBytes / frameBytes ? kReadAheadBytes / frameBytes : 1;
  const uint32_t direct = kDirectReadBytes / frameBytes ? kDirectReadBytes / frameBytes : 1;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (uint32_t done = 0; done < count;) {
    const uint64_t at = frame + done;
    const uint32_t wanted = count - done;
    if (at >= aheadFirst_ && at < aheadFirst_ + aheadFrames_) {
      const uint64_t offset = at - aheadFirst_;
      uint32_t take = static_cast<uint32_t>(aheadFrames_ - offset);
      if (take > wanted) take = wanted;
      std::memcpy(out + static_cast<size_t>(done) * frameBytes, ahead_.data() + offset * frameBytes,
                  static_cast<size_t>(take) * frameBytes);
      done += take;
      continue;
    }
    if (wanted >= direct) {
      if (!ReadFromFile(at, wanted, out + static_cast<size_t>(done) * frameBytes)) return CVERR_FILE_READ;
      break;
    }
    uint32_t fill = capacity;
    if (fill > frames_ - at) fill = static_cast<uint32_t>(frames_ - at);
    ahead_.resize(static_cast<size_t>(capacity) * frameBytes);
    aheadFrames_ = 0;
    if (!ReadFromFile(at, fill, ahead_.data())) return CVERR_FILE_READ;
    aheadFirst_ = at;
    aheadFrames_ = fill;
  }
  *got = count;
  return kS_OK;
}

[[nodiscard]] HRESULT ReadWavAudio(const std::string& path, WAVEFORMATEX* layout, std::vector<uint8_t>* bytes,
                     std::string* problem) {
  WavReader wav;
  HRESULT hr = wav.Open(path, WavReadOptions{}, problem);
  if (Failed(hr)) return hr;
  const uint64_t frameBytes = wav.FrameBytes();
  if (wav.Frames() > SIZE_MAX / frameBytes) return kE_OUTOFMEMORY;
  bytes->resize(static_cast<size_t>(wav.Frames() * frameBytes));
  constexpr uint64_t kFramesPerRead = 1u << 16;
  for (uint64_t frame = 0; frame < wav.Frames();) {
    uint32_t got = 0;
    hr = wav.ReadFrames(frame, static_cast<uint32_t>(std::min(kFramesPerRead, wav.Frames() - frame)),
                        bytes->data() + frame * frameBytes, &got);
    if (Failed(hr)) return hr;
    if (got == 0) return CVERR_FILE_READ;
    frame += got;
  }
  *layout = wav.SampleLayout();
  return kS_OK;
}

}  // namespace cv
