#include "krn/byte_io.h"

#include "krn/platform/file.h"

namespace cv {

bool FileByteSource::Read(void* out, uint32_t count, DWORD* got) {
  *got = 0;
  return cvplat::ReadFileBytes(file_, out, count, got) != 0;
}

bool FileByteSink::Write(const void* data, uint32_t count) {
  DWORD written = 0;
  return cvplat::WriteFileBytes(file_, data, count, &written) && written == count;
}

}  // namespace cv
