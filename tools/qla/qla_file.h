// Opening a .qla file the way the host does: the file type object from the
// plug-in's class factory checks the first bytes and makes a reader, the reader
// hands out its audio stream, and frames are read from that stream.
#pragma once

#include "ffplugs/cvla/cv_interfaces.h"
#include "krn/md5.h"
#include "krn/metadata_source.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qlatool {

// Starts the plug-in as the host's loading of the module would.
void AttachPlugIn();

// Words for a file that Open refused, where the result code alone would
// mislead: a folder, a WAVE or RF64 file given where a .qla is expected, or the
// operating system's reason. Empty when there is nothing to add. A file of
// another type changes *result to CVERR_UNSUPPORTED_FILE_TYPE.
std::string WhyNotOpened(const std::string& path, HRESULT* result);

class QlaFile {
 public:
  QlaFile() = default;
  ~QlaFile();
  QlaFile(const QlaFile&) = delete;
  QlaFile& operator=(const QlaFile&) = delete;

  // CVERR_NO_RIFF_HEADER when the file type does not accept the file; the
  // reader's and stream's own codes otherwise.
  [[nodiscard]] HRESULT Open(const std::string& path);

  cv::ICvFileReader* Reader() const { return reader_; }
  cv::ICvAudioStream* Stream() const { return stream_; }
  const WAVEFORMATEX& Format() const { return format_; }
  uint64_t Frames() const { return frames_; }

  // From now on the stream hashes every byte it delivers into md5 while it
  // decodes (null detaches). False when the stream cannot: the caller then
  // hashes what it reads.
  [[nodiscard]] bool HashDelivered(cv::Md5* md5);
  // Reads exactly count frames at position (fewer only at the end).
  [[nodiscard]] HRESULT Read(uint64_t position, void* buffer, uint32_t count, uint32_t* got);
  // The reader's metadata source (the caller releases it).
  [[nodiscard]] HRESULT Metadata(cv::ICvMetadataSource** out);
  // The metadata as the chunks that a decode writes (empty without any).
  [[nodiscard]] HRESULT MetadataChunks(std::vector<uint8_t>* chunks);

 private:
  cv::ICvFileType* fileType_ = nullptr;
  cv::ICvFileReader* reader_ = nullptr;
  cv::ICvAudioStreamEx* stream_ = nullptr;
  WAVEFORMATEX format_{};
  uint64_t frames_ = 0;
};

// md5 attached to a file's stream for the object's lifetime, where the stream
// can hash (QlaFile::HashDelivered); a null md5 is never attached.
class DeliveredDigest {
 public:
  DeliveredDigest(QlaFile& file, cv::Md5* md5) : file_(file), attached_(md5 && file.HashDelivered(md5)) {}
  ~DeliveredDigest() {
    if (attached_) (void)file_.HashDelivered(nullptr);
  }
  DeliveredDigest(const DeliveredDigest&) = delete;
  DeliveredDigest& operator=(const DeliveredDigest&) = delete;
  bool Attached() const { return attached_; }

 private:
  QlaFile& file_;
  bool attached_;
};

}  // namespace qlatool
