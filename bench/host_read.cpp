// The host's read path: a .qla file opened through the plug-in's file type,
// reader and stream, read as a host reads it. Prints, one "name seconds" line
// each: the whole file read in 4096- and in 16384-frame requests (best of the
// runs), a random seek followed by a 4096-frame read, and the decoding of one
// seek group from its sync block (both the mean over random positions).
// Usage: qla_host_read FILE.qla [runs]
#include "ffplugs/cvla/qla_format.h"
#include "krn/results.h"
#include "tools/qla/qla_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Seconds to read the whole file in requests of `request` frames; negative on failure.
double ReadWhole(const char* path, uint32_t request) {
  qlatool::QlaFile file;
  if (cv::Failed(file.Open(path))) return -1;
  std::vector<uint8_t> buffer(static_cast<size_t>(request) * file.Format().nBlockAlign);
  const double start = Now();
  for (uint64_t position = 0; position < file.Frames();) {
    uint32_t got = 0;
    if (file.Stream()->Read(position, buffer.data(), request, &got) != cv::kS_OK || got == 0) return -1;
    position += got;
  }
  return Now() - start;
}

// Mean seconds of a read of `request` frames at each position, every read
// after a jump (the positions are in distinct seek groups, in random order).
double MeanReadAfterJump(qlatool::QlaFile& file, const std::vector<uint64_t>& positions, uint32_t request) {
  std::vector<uint8_t> buffer(static_cast<size_t>(request) * file.Format().nBlockAlign);
  const double start = Now();
  for (uint64_t position : positions) {
    uint32_t got = 0;
    if (cv::Failed(file.Stream()->Read(position, buffer.data(), request, &got))) return -1;
  }
  return (Now() - start) / static_cast<double>(positions.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qla_host_read FILE.qla [runs]\n");
    return 2;
  }
  const char* path = argv[1];
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  for (uint32_t request : {4096u, 16384u}) {
    double best = -1;
    for (int i = 0; i < runs; ++i) {
      const double t = ReadWhole(path, request);
      if (t < 0) {
        std::fprintf(stderr, "qla_host_read: reading %s failed\n", path);
        return 1;
      }
      if (best < 0 || t < best) best = t;
    }
    std::printf("read_%u %.6f\n", request, best);
  }

  qlatool::QlaFile file;
  if (cv::Failed(file.Open(path))) return 1;
  const uint64_t groups = file.Frames() / qla::kFramesPerSeekGroup;
  if (groups < 2) return 0;
  std::mt19937_64 random(7);
  std::vector<uint64_t> group(groups);
  for (uint64_t g = 0; g < groups; ++g) group[g] = g;
  std::shuffle(group.begin(), group.end(), random);
  if (group.size() > 200) group.resize(200);
  std::vector<uint64_t> anywhere, groupStarts;
  for (uint64_t g : group) {
    anywhere.push_back(g * qla::kFramesPerSeekGroup + random() % qla::kFramesPerSeekGroup);
    groupStarts.push_back(g * qla::kFramesPerSeekGroup);
  }
  std::printf("seek_read_4096 %.6f\n", MeanReadAfterJump(file, anywhere, 4096));
  std::printf("group_decode %.6f\n", MeanReadAfterJump(file, groupStarts, qla::kFramesPerSeekGroup));
  return 0;
}
