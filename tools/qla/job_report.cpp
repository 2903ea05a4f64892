#include "tools/qla/job_report.h"

#include "krn/platform/tool_io.h"
#include "krn/results.h"
#include "tools/qla/interrupt.h"
#include "tools/qla/job_runner.h"
#include "tools/qla/qla_file.h"
#include "tools/qla/system_text.h"
#include "krn/wav_reader.h"

#include <atomic>
#include <map>
#include <cstdio>

namespace qlatool {

std::string FailureLine(const std::string& file, const std::string& what, HRESULT result) {
  std::string line = "qla: " + file + ": ";
  // The generic text adds nothing to words that say what went wrong.
  if (result == cv::kE_FAIL && !what.empty()) return line + what;
  if (!what.empty()) line += what + ": ";
  return line + ResultText(result);
}

std::string OutputNameFor(const std::string& input, const Options& options, const char* extension) {
  if (!options.output.empty()) return options.output;
  size_t slash = input.find_last_of("/\\");
  std::string name = slash == std::string::npos ? input : input.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  name += extension;
  if (!options.folder.empty()) {
    std::string folder = options.folder;
    if (folder.back() != '/' && folder.back() != '\\') folder += '/';
    return folder + name;
  }
  return (slash == std::string::npos ? std::string() : input.substr(0, slash + 1)) + name;
}

namespace {
unsigned TotalThreads(const Options& options) {
  const unsigned threads = options.jobs ? options.jobs : cvplat::ProcessorCount();
  return threads < 1 ? 1 : threads;
}
}  // namespace

unsigned ThreadsPerFile(const Options& options) {
  const unsigned threads = TotalThreads(options);
  const size_t files = options.inputs.empty() ? 1 : options.inputs.size();
  return files >= threads ? 1 : threads / static_cast<unsigned>(files);
}

std::vector<size_t> OutputOwners(const Options& options, const char* extension) {
  std::vector<size_t> owners(options.inputs.size());
  std::map<std::string, size_t> first;
  for (size_t i = 0; i < options.inputs.size(); ++i)
    owners[i] = first.emplace(OutputNameFor(options.inputs[i], options, extension), i).first->second;
  return owners;
}

bool RefuseTakenOutput(const Options& options, const std::vector<size_t>& owners, size_t index, const char* extension,
                       Console& console) {
  if (owners[index] == index) return false;
  console.Error(FailureLine(options.inputs[index],
                            "its output " + OutputNameFor(options.inputs[index], options, extension) +
                                " is already the output of " + options.inputs[owners[index]] +
                                "; nothing was written for it",
                            cv::CVERR_FILE_EXISTS));
  return true;
}

double PlannedSeconds(const Options& options, const std::vector<size_t>& owners, const char* extension,
                      double (*seconds)(const std::string&)) {
  double total = 0;
  for (size_t i = 0; i < options.inputs.size(); ++i) {
    const std::string target = OutputNameFor(options.inputs[i], options, extension);
    if (owners[i] != i || (!options.force && target != "-" && cvplat::PathExists(target))) continue;
    total += seconds(options.inputs[i]);
  }
  return total;
}

int RunPerInput(const Options& options, bool progress, double totalSeconds, const char* doneWord,
                const std::function<bool(size_t, Console&)>& job) {
  bool terminal = progress && cvplat::StderrIsTerminal();
  Console console(options.quiet, terminal);
  std::atomic<size_t> failures{0};
  unsigned threads = TotalThreads(options);
  console.StartProgress(totalSeconds, options.inputs.size());
  RunJobs(options.inputs.size(), threads, [&](size_t index) {
    console.BeginJob(index);
    if (!job(index, console)) failures.fetch_add(1);
    console.FinishJob(index);
  });
  console.StopProgress();
  const size_t count = options.inputs.size();
  if (count > 1 && !Interrupted()) {
    const std::string closing = std::to_string(count - failures.load()) + " " + doneWord + ", " +
                                std::to_string(failures.load()) + " failed";
    if (failures.load()) console.Error("qla: " + closing);
    else console.Info("qla: " + closing);
  }
  if (Interrupted()) {
    console.Error("qla: " + InterruptReason() + "; unfinished outputs were removed");
    return InterruptExitCode();
  }
  return failures.load() ? kExitFailed : kExitOk;
}

double WavSeconds(const std::string& path) {
  cv::WavReader wav;
  std::string problem;
  if (cv::Failed(wav.Open(path, cv::WavReadOptions{}, &problem))) return 0;
  return static_cast<double>(wav.Frames()) / wav.Format()->nSamplesPerSec;
}

double QlaSeconds(const std::string& path) {
  QlaFile file;
  if (cv::Failed(file.Open(path)) || file.Format().nSamplesPerSec == 0) return 0;
  return static_cast<double>(file.Frames()) / file.Format().nSamplesPerSec;
}

std::string FormatSeconds(double seconds) {
  char text[32];
  unsigned whole = static_cast<unsigned>(seconds);
  std::snprintf(text, sizeof text, "%u:%02u.%03u", whole / 60, whole % 60,
                static_cast<unsigned>((seconds - whole) * 1000));
  return text;
}

}  // namespace qlatool
