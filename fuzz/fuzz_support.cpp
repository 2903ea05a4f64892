#include "fuzz/fuzz_support.h"
#include "krn/platform/win_types.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define CVFUZZ_PID _getpid()
#else
#include <unistd.h>
#define CVFUZZ_PID getpid()
#endif

namespace cvfuzz {

std::string ScratchPath(const char* name) {
  static const std::string folder = [] {
    std::error_code error;
    std::filesystem::path dir = std::filesystem::exists("/dev/shm", error)
                                    ? std::filesystem::path("/dev/shm")
                                    : std::filesystem::temp_directory_path(error);
    return (dir / ("qlafuzz-" + std::to_string(CVFUZZ_PID))).string();
  }();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return folder + "/" + name;
}

std::string WriteScratch(const char* name, const uint8_t* data, size_t size) {
  const std::string path = ScratchPath(name);
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}

cvplat::UniqueFile OpenScratch(const std::string& path, bool write) {
  return cvplat::UniqueFile(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ | (write ? GENERIC_WRITE : 0),
                                                   FILE_SHARE_READ, OPEN_EXISTING, 0));
}

void ExerciseStream(IStream* stream, Choices& choices) {
  if (!stream) return;
  std::vector<uint8_t> buffer;
  for (int step = 0; step < 12; ++step) {
    const uint32_t op = choices.Take(1);
    if (op & 1) {
      LARGE_INTEGER move;
      move.QuadPart = static_cast<int8_t>(op) >> 1;
      ULARGE_INTEGER position;
      stream->Seek(move, (op >> 1) % 4, &position);
    } else {
      const ULONG count = 1 + choices.Take(2) % 3000;
      buffer.assign(count, 0);
      ULONG read = 0;
      stream->Read(buffer.data(), count, &read);
      if (read > count) std::abort();
    }
  }
  stream->Release();
}

}  // namespace cvfuzz
