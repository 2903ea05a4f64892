// Where a job writes its result: a temporary file in the target's folder that is
// renamed to the target name only when everything succeeded. An interrupted,
// cancelled or failed job removes the temporary file, so the target name never
// holds a half-written file, and an existing target is never touched without
// `force`.
#pragma once

#include "krn/platform/win_types.h"

#include <string>

namespace qlatool {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Refuses an existing target without force (CVERR_FILE_EXISTS), and even
  // with force a target that is the source itself or anything but a regular
  // file; then reserves a temporary name next to it. *problem receives words
  // for a refusal or the operating system's reason.
  [[nodiscard]] HRESULT Prepare(const std::string& source, const std::string& target, bool force,
                                std::string* problem);
  const std::string& TempPath() const { return temp_; }
  const std::string& Target() const { return target_; }

  // Moves the temporary file into place, with the permission bits and modification time of the source.
  // *detail receives the system's words when the move fails.
  [[nodiscard]] HRESULT Commit(std::string* detail);
  // Deletes the temporary file now.
  void Discard();

 private:
  std::string source_;
  std::string target_;
  std::string temp_;
  bool force_ = false;
};

}  // namespace qlatool
