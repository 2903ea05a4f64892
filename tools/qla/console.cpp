#include "tools/qla/console.h"

#include <chrono>
#include <cstdio>

namespace qlatool {

double NowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

Console::Console(bool quiet, bool progress) : quiet_(quiet), enabled_(progress && !quiet) {}

Console::~Console() { StopProgress(); }

void Console::Info(const std::string& line) {
  if (quiet_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLine();
  std::fprintf(stderr, "%s\n", line.c_str());
  if (drawer_.joinable()) Draw();
}

void Console::Error(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLine();
  std::fprintf(stderr, "%s\n", line.c_str());
  if (drawer_.joinable()) Draw();
}

void Console::Out(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLine();
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void Console::StartProgress(double totalSeconds, size_t files) {
  total_ = totalSeconds;
  files_ = files;
  started_ = NowSeconds();
  if (!enabled_) return;
  stop_ = false;
  drawer_ = std::thread([this] { Loop(); });
}

void Console::AddDone(double seconds) {
  doneMicros_.fetch_add(static_cast<uint64_t>(seconds * 1e6 + 0.5), std::memory_order_relaxed);
}

void Console::FileDone() { filesDone_.fetch_add(1, std::memory_order_relaxed); }

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
  std::string bar(width, ' ');
  unsigned filled = static_cast<unsigned>(fraction * width + 0.5);
  for (unsigned i = 0; i < filled && i < width; ++i) bar[i] = '#';
  char text[160];
  char left[32] = "--:--";
  if (secondsLeft >= 0 && secondsLeft < 360000) {
    unsigned s = static_cast<unsigned>(secondsLeft + 0.5);
    std::snprintf(left, sizeof left, "%u:%02u", s / 60, s % 60);
  }
  std::snprintf(text, sizeof text, "[%s] %3d%%  %zu/%zu files  %.1fx realtime  %s left", bar.c_str(),
                static_cast<int>(fraction * 100), filesDone, files, speed, left);
  return text;
}

void Console::Draw() {
  double elapsed = NowSeconds() - started_;
  double done = static_cast<double>(doneMicros_.load(std::memory_order_relaxed)) / 1e6;
  double fraction = total_ > 0 ? done / total_ : 0;
  double speed = elapsed > 0 ? done / elapsed : 0;
  double left = speed > 0 ? (total_ - done) / speed : -1;
  std::string line = FormatBar(fraction, speed, left, filesDone_.load(), files_, 30);
  std::fprintf(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void Console::ClearLine() {
  if (!drawn_) return;
  // Spaces rather than an erase sequence: every console understands them.
  std::fprintf(stderr, "\r%*s\r", 110, "");
  drawn_ = false;
}

}  // namespace qlatool
