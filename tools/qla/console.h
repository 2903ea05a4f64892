// Everything the tool prints goes through here, so that lines from several jobs
// do not interleave and come in the order of the inputs, and the progress bar
// is cleared before a line and redrawn after it. The bar shows the share of the
// audio done, the speed as a multiple of real time and the time left; it is
// drawn on standard error whenever that is a terminal and the run is not quiet,
// and fits the terminal's width.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qlatool {

class Console {
 public:
  Console(bool quiet, bool progress);
  ~Console();

  // Lines for the user (suppressed by quiet) and failure lines (always shown).
  void Info(const std::string& line);
  void Error(const std::string& line);
  // Standard output, for commands whose result is text (info, test).
  void Out(const std::string& text);

  // Starts the bar for a run over this much audio (in seconds, all files).
  void StartProgress(double totalSeconds, size_t files);
  // Called by the jobs as they go, from any thread.
  void AddDone(double seconds);
  // The lines of a job are held until every earlier input has finished.
  void BeginJob(size_t index);
  void FinishJob(size_t index);
  void StopProgress();

  bool Quiet() const { return quiet_; }

  // The bar's text for a state, at most width columns, without control codes.
  static std::string FormatBar(double fraction, double speed, double secondsLeft, size_t filesDone, size_t files,
                               unsigned width);

 private:
  void Print(std::FILE* stream, const std::string& text);
  void Draw();
  void ClearLine();
  void Loop();

  bool quiet_;
  bool enabled_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread drawer_;
  bool stop_ = false;
  size_t drawnColumns_ = 0;
  double total_ = 0;
  size_t files_ = 0;
  std::atomic<uint64_t> doneMicros_{0};
  std::atomic<size_t> filesDone_{0};
  double started_ = 0;
  std::vector<std::vector<std::pair<std::FILE*, std::string>>> held_;
  std::vector<bool> finished_;
  size_t nextToShow_ = 0;
};

// Seconds on a monotonic clock.
double NowSeconds();

}  // namespace qlatool
