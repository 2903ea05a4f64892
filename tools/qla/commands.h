// The tool's commands. Each returns the process exit code: 0 when every file
// succeeded, 1 when some file failed, 2 for a usage error.
#pragma once

#include <string>
#include <vector>

namespace qlatool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Options {
  std::vector<std::string> inputs;
  std::string output;  // -o: one output file, or "-" for standard output
  std::string folder;  // -d: output folder
  bool force = false;
  bool quiet = false;
  unsigned jobs = 0;  // 0: one per processor
  unsigned bits = 0;  // encode: 16 or 24 to convert; 0 to store as is
  bool verify = false;
  bool ignoreChunkSizes = false;  // encode: read the audio to the end of the file
  bool keepForeign = true;        // encode: keep the source's layout for a byte-exact decode
  bool bitsAlways = false;        // encode: --bits also for sources a .qla holds as they are
  bool json = false;
};

int RunEncode(const Options& options);
int RunDecode(const Options& options);
int RunInfo(const Options& options);
int RunTest(const Options& options);

// The output name of an input: -o when given, else the input's name with its
// extension replaced, in -d's folder when given, else next to the input.
std::string OutputNameFor(const std::string& input, const Options& options, const char* extension);

}  // namespace qlatool
