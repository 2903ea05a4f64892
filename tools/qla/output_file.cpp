#include "tools/qla/output_file.h"

#include "krn/platform/file.h"
#include "krn/platform/tool_io.h"
#include "krn/results.h"
#include "tools/qla/system_text.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace qlatool {
namespace {

std::atomic<unsigned> g_counter{0};

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name that no other run or job uses: the clock and a process-wide counter.
std::string UniqueSuffix() {
  auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::to_string(static_cast<unsigned long long>(ticks) % 1000000007ull) + "-" +
         std::to_string(g_counter.fetch_add(1));
}

}  // namespace

OutputFile::~OutputFile() { Discard(); }

HRESULT OutputFile::Prepare(const std::string& source, const std::string& target, bool force,
                            std::string* problem) {
  problem->clear();
  source_ = source;
  target_ = target;
  force_ = force;
  {
    if (target == source || cvplat::SameFile(source, target)) {
      *problem = "the output would replace the input; name another output";
      return cv::CVERR_FILE_CREATE;
    }
    const cvplat::PathKind kind = cvplat::KindOfPath(target);
    if (kind == cvplat::PathKind::kOther) {
      *problem = "not a regular file (a link, folder, pipe or device); qla replaces only regular files";
      return cv::CVERR_FILE_CREATE;
    }
    if (!force && kind != cvplat::PathKind::kMissing) return cv::CVERR_FILE_EXISTS;
  }
  const std::string folder = FolderOf(target);
  const std::string name = NameOf(target);
  // Reserve the name by creating the file; CREATE_NEW never takes over a file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = folder + "." + name + "." + UniqueSuffix() + ".part";
    HANDLE h = cvplat::CreateFileAnsi(candidate.c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (h != INVALID_HANDLE_VALUE) {
      cvplat::CloseFile(h);
      temp_ = candidate;
      return cv::kS_OK;
    }
    const HRESULT failure = ResultOfLastSystemError();
    const std::string reason = cvplat::LastErrorText();
    if (cvplat::PathExists(candidate)) continue;
    *problem = reason;
    return failure;
  }
  return cv::CVERR_FILE_CREATE;
}

HRESULT OutputFile::Commit(std::string* detail) {
  if (temp_.empty()) return cv::kE_UNEXPECTED;
  if (!force_ && cvplat::PathExists(target_)) return cv::CVERR_FILE_EXISTS;
  if (cvplat::KindOfPath(source_) == cvplat::PathKind::kRegularFile) cvplat::CopyModeAndTime(source_, temp_);
  if (!cvplat::MoveFileInto(temp_, target_, force_, detail)) {
    return cvplat::PathExists(target_) && !force_ ? cv::CVERR_FILE_EXISTS : cv::CVERR_FILE_CREATE;
  }
  temp_.clear();
  return cv::kS_OK;
}

void OutputFile::Discard() {
  if (temp_.empty()) return;
  cvplat::DeleteFileAnsi(temp_.c_str());
  temp_.clear();
}

}  // namespace qlatool
