// qla test: decodes every file completely in order and then at random positions
// through the seek table, and compares the two. A file is damaged when it cannot
// be opened or decoded, when it delivers fewer frames than it announces, when
// its seek table does not fit its length, or when a random read differs from the
// same frames read in order.
#include "ffplugs/cvla/qla_format.h"
#include "ffplugs/cvla/reader/container.h"
#include "krn/md5.h"
#include "krn/platform/file.h"
#include "krn/results.h"
#include "tools/qla/commands.h"
#include "tools/qla/interrupt.h"
#include "tools/qla/job_report.h"
#include "tools/qla/parallel_decode.h"
#include "tools/qla/qla_file.h"
#include "tools/qla/tool_chunks.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace qlatool {
namespace {

struct Window {
  uint64_t start;
  uint32_t frames;
  std::vector<uint8_t> expected;
};

constexpr uint32_t kRandomReads = 48;
constexpr uint32_t kMaxWindow = 3000;

// Random positions plus the edges where seeking goes wrong most easily: the
// start, the end, and both sides of seek-group boundaries.
std::vector<Window> ChooseWindows(uint64_t frames, uint32_t seed) {
  std::vector<Window> windows;
  if (frames == 0) return windows;
  std::mt19937_64 random(seed);
  auto add = [&](uint64_t start, uint32_t length) {
    if (start >= frames) return;
    if (length > frames - start) length = static_cast<uint32_t>(frames - start);
    if (length == 0) length = 1;
    windows.push_back({start, length, {}});
  };
  add(0, 700);
  add(frames - 1, 1);
  for (uint64_t boundary = qla::kFramesPerSeekGroup; boundary < frames && windows.size() < 12;
       boundary += qla::kFramesPerSeekGroup * 7)
    add(boundary - 3, 6);
  for (uint32_t i = 0; i < kRandomReads; ++i)
    add(random() % frames, 1 + static_cast<uint32_t>(random() % kMaxWindow));
  return windows;
}

// One damage finding: what and the result code.
struct Finding {
  std::string what;
  HRESULT result = cv::kS_OK;
  bool damage = true;  // false when the file is not a .qla file at all
};

Finding CheckStructure(const std::string& path, uint64_t frames) {
  cvplat::UniqueFile raw(cvplat::CreateFileAnsi(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  if (!raw.IsValid()) return {"cannot reopen", cv::CVERR_FILE_OPEN};
  qla::QlaContainerInfo info{};
  HRESULT hr = qla::ParseContainer(raw.Get(), &info);
  if (cv::Failed(hr)) return {"container", hr};
  if (!info.hasSeekTable) return {"the seek table chunk is missing", cv::CVERR_FILE_CORRUPT};
  uint64_t group = static_cast<uint64_t>(info.codec.framesPerBlock) * info.codec.blocksPerSeekPoint;
  uint64_t expected = (frames + group - 1) / group + 1;
  if (info.codec.seekEntryCount != expected || info.seekTableEntries != expected)
    return {"the seek table has " + std::to_string(info.seekTableEntries) + " entries where " +
                std::to_string(frames) + " frames need " + std::to_string(expected),
            cv::CVERR_FILE_CORRUPT};
  return {};
}

// Copies the frames of the windows that the piece of got frames at position holds.
void Capture(const uint8_t* piece, uint64_t position, uint32_t got, uint32_t frameBytes,
             const std::vector<Window*>& windows) {
  for (Window* w : windows) {
    const uint64_t from = std::max(position, w->start);
    const uint64_t to = std::min(position + got, w->start + w->frames);
    if (from >= to) continue;
    std::memcpy(w->expected.data() + (from - w->start) * frameBytes, piece + (from - position) * frameBytes,
                static_cast<size_t>(to - from) * frameBytes);
  }
}

// Every frame once in order through the stream's reads, hashed into md5; the
// progress goes to console when there is one.
Finding ReadInRequests(QlaFile& file, uint32_t frameBytes, double rate, const std::vector<Window*>& windows,
                       Console* console, cv::Md5* md5) {
  constexpr uint32_t kChunk = 16384;
  std::vector<uint8_t> buffer(static_cast<size_t>(kChunk) * frameBytes);
  const DeliveredDigest streamHashes(file, md5);
  for (uint64_t position = 0; position < file.Frames();) {
    if (Interrupted()) return {"interrupted", cv::CVERR_CANCELLED};
    uint32_t got = 0;
    const HRESULT hr = file.Read(position, buffer.data(), kChunk, &got);
    if (cv::Failed(hr)) return {"decoding stops near frame " + std::to_string(position), hr};
    if (got == 0)
      return {"the audio ends at frame " + std::to_string(position) + " of " + std::to_string(file.Frames()),
              cv::CVERR_FILE_READ};
    Capture(buffer.data(), position, got, frameBytes, windows);
    if (md5 && !streamHashes.Attached()) md5->Update(buffer.data(), static_cast<size_t>(got) * frameBytes);
    position += got;
    if (console) console->AddDone(got / rate);
  }
  return {};
}

// The same on several threads, in runs of seek groups, each through a reader of its own.
Finding ReadInParallel(const std::string& path, unsigned threads, uint32_t frameBytes, double rate,
                       const std::vector<Window*>& windows, Console& console, cv::Md5* md5) {
  const HRESULT hr = DecodeRunsInOrder(path, threads, md5, [&](uint64_t position, const uint8_t* run, uint32_t frames) {
    Capture(run, position, frames, frameBytes, windows);
    console.AddDone(frames / rate);
    return cv::kS_OK;
  });
  if (cv::Succeeded(hr)) return {};
  if (hr == cv::CVERR_CANCELLED) return {"interrupted", hr};
  return {"decoding on several threads stops", hr};  // the caller reads the file again on one thread
}

Finding TestFile(const std::string& path, unsigned threads, Console& console, uint64_t* framesOut) {
  QlaFile sequential;
  HRESULT hr = sequential.Open(path);
  if (cv::Failed(hr)) {
    const HRESULT opened = hr;
    const std::string why = WhyNotOpened(path, &hr);
    return {why.empty() ? "cannot be opened" : why, hr, opened != cv::CVERR_NO_RIFF_HEADER && why.empty()};
  }
  const uint64_t frames = sequential.Frames();
  const uint32_t frameBytes = sequential.Format().nBlockAlign;
  const double rate = sequential.Format().nSamplesPerSec;
  *framesOut = frames;

  Finding structure = CheckStructure(path, frames);
  if (cv::Failed(structure.result)) return structure;

  std::vector<Window> windows = ChooseWindows(frames, static_cast<uint32_t>(frames * 2654435761u));
  std::vector<Window*> byStart;
  for (Window& w : windows) {
    w.expected.resize(static_cast<size_t>(w.frames) * frameBytes);
    byStart.push_back(&w);
  }

  // In order: every frame once, capturing the windows on the way and hashing
  // the audio for the stored checksum, if there is one; a long file on several
  // threads.
  AudioDigestCheck digest(path);
  const bool parallel = SplitOverThreads(threads, frames);
  Finding inOrder = parallel ? ReadInParallel(path, threads, frameBytes, rate, byStart, console, digest.Hash())
                             : ReadInRequests(sequential, frameBytes, rate, byStart, &console, digest.Hash());
  // Where decoding stops is told as one thread tells it: the threads know only
  // the run of seek groups that failed.
  if (parallel && cv::Failed(inOrder.result) && inOrder.result != cv::CVERR_CANCELLED) {
    digest.Restart();
    inOrder = ReadInRequests(sequential, frameBytes, rate, byStart, nullptr, digest.Hash());
  }
  if (cv::Failed(inOrder.result)) return inOrder;
  const std::string mismatch = digest.Mismatch();
  if (!mismatch.empty()) return {mismatch, cv::CVERR_FILE_CORRUPT};

  // Random order, through a second reader so that nothing is served from the
  // first one's cache.
  QlaFile random;
  hr = random.Open(path);
  if (cv::Failed(hr)) return {"cannot be reopened", hr};
  std::shuffle(windows.begin(), windows.end(), std::mt19937(static_cast<uint32_t>(frames)));
  std::vector<uint8_t> actual;
  for (const Window& w : windows) {
    actual.assign(static_cast<size_t>(w.frames) * frameBytes, 0);
    uint32_t got = 0;
    hr = random.Read(w.start, actual.data(), w.frames, &got);
    if (cv::Failed(hr)) return {"a read at frame " + std::to_string(w.start) + " fails", hr};
    if (got != w.frames || actual != w.expected)
      return {"frames read at " + std::to_string(w.start) + " through the seek table differ from the same frames "
              "read in order",
              cv::CVERR_FILE_CORRUPT};
  }
  return {};
}

}  // namespace

int RunTest(const Options& options) {
  double total = 0;
  for (const std::string& input : options.inputs) total += QlaSeconds(input);
  return RunPerInput(options, true, total, "passed", [&](size_t index, Console& console) {
    const std::string& path = options.inputs[index];
    uint64_t frames = 0;
    Finding finding = TestFile(path, ThreadsPerFile(options), console, &frames);
    if (finding.result == cv::CVERR_CANCELLED && Interrupted()) return false;
    if (cv::Failed(finding.result)) {
      console.Error(FailureLine(path, (finding.damage ? "damaged: " : "") + finding.what, finding.result));
      return false;
    }
    if (!console.Quiet()) console.Out(path + ": OK (" + std::to_string(frames) + " frames)\n");
    return true;
  });
}

}  // namespace qlatool
