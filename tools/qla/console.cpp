#include "tools/qla/console.h"

#include "krn/platform/tool_io.h"

#include <chrono>

namespace qlatool {
namespace {

constexpr size_t kNoJob = static_cast<size_t>(-1);
thread_local size_t t_job = kNoJob;

}  // namespace

double NowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

Console::Console(bool quiet, bool progress) : quiet_(quiet), enabled_(progress && !quiet) {}

Console::~Console() { StopProgress(); }

void Console::Print(std::FILE* stream, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (t_job != kNoJob && t_job < held_.size() && t_job != nextToShow_) {
    held_[t_job].emplace_back(stream, text);
    return;
  }
  ClearLine();
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
  if (drawer_.joinable()) Draw();
}

void Console::Info(const std::string& line) {
  if (!quiet_) Print(stderr, line + "\n");
}

void Console::Error(const std::string& line) { Print(stderr, line + "\n"); }

void Console::Out(const std::string& text) { Print(stdout, text); }

void Console::StartProgress(double totalSeconds, size_t files) {
  total_ = totalSeconds;
  files_ = files;
  held_.assign(files, {});
  finished_.assign(files, false);
  nextToShow_ = 0;
  started_ = NowSeconds();
  if (!enabled_) return;
  stop_ = false;
  drawer_ = std::thread([this] { Loop(); });
}

void Console::AddDone(double seconds) {
  doneMicros_.fetch_add(static_cast<uint64_t>(seconds * 1e6 + 0.5), std::memory_order_relaxed);
}

void Console::BeginJob(size_t index) { t_job = index; }

void Console::FinishJob(size_t index) {
  t_job = kNoJob;
  filesDone_.fetch_add(1, std::memory_order_relaxed);
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= finished_.size()) return;
  finished_[index] = true;
  // Show the held lines of every finished job that now comes next.
  while (nextToShow_ < finished_.size() && finished_[nextToShow_]) {
    if (!held_[nextToShow_].empty()) ClearLine();
    for (const auto& line : held_[nextToShow_]) {
      std::fputs(line.second.c_str(), line.first);
      std::fflush(line.first);
    }
    held_[nextToShow_].clear();
    ++nextToShow_;
  }
  // The job now running first prints directly from here on.
}

void Console::StopProgress() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!drawer_.joinable()) return;
    stop_ = true;
  }
  wake_.notify_all();
  drawer_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLine();
}

void Console::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    Draw();
    wake_.wait_for(lock, std::chrono::milliseconds(150));
  }
}

std::string Console::FormatBar(double fraction, double speed, double secondsLeft, size_t filesDone, size_t files,
                               unsigned width) {
  if (fraction < 0) fraction = 0;
  if (fraction > 1) fraction = 1;
  char left[32] = "--:--";
  if (secondsLeft >= 0 && secondsLeft < 360000) {
    unsigned s = static_cast<unsigned>(secondsLeft + 0.5);
    std::snprintf(left, sizeof left, "%u:%02u", s / 60, s % 60);
  }
  char figures[160];
  std::snprintf(figures, sizeof figures, " %3d%%  %zu/%zu files  %.1fx realtime  %s left",
                static_cast<int>(fraction * 100), filesDone, files, speed, left);
  std::string text = figures;
  // The bar takes what the figures leave, between 10 and 40 columns; on a very
  // narrow terminal the figures are cut instead.
  const size_t room = width > text.size() + 2 ? width - text.size() - 2 : 0;
  if (room < 10) return text.substr(0, width);
  const size_t barWidth = room > 40 ? 40 : room;
  std::string bar(barWidth, ' ');
  const size_t filled = static_cast<size_t>(fraction * barWidth + 0.5);
  for (size_t i = 0; i < filled && i < barWidth; ++i) bar[i] = '#';
  return "[" + bar + "]" + text;
}

void Console::Draw() {
  double elapsed = NowSeconds() - started_;
  double done = static_cast<double>(doneMicros_.load(std::memory_order_relaxed)) / 1e6;
  double fraction = total_ > 0 ? done / total_ : 0;
  double speed = elapsed > 0 ? done / elapsed : 0;
  double left = speed > 0 ? (total_ - done) / speed : -1;
  // One column stays free: writing the last one makes some terminals wrap.
  const unsigned columns = cvplat::TerminalColumns();
  std::string line = FormatBar(fraction, speed, left, filesDone_.load(), files_, columns > 1 ? columns - 1 : 1);
  std::fprintf(stderr, "\r%s", line.c_str());
  // Spaces rather than an erase sequence: every console understands them.
  if (line.size() < drawnColumns_) std::fprintf(stderr, "%*s\r%s", static_cast<int>(drawnColumns_ - line.size()), "",
                                                line.c_str());
  std::fflush(stderr);
  drawnColumns_ = line.size();
}

void Console::ClearLine() {
  if (!drawnColumns_) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawnColumns_), "");
  drawnColumns_ = 0;
}

}  // namespace qlatool
