// Every test program shows its message boxes here instead of on screen: a
// modal box would stop an unattended run. The boxes are recorded, answered
// with OK, and can be inspected.
#pragma once

#include <string>

namespace cvtest {

struct RecordedMessageBox {
  std::string text;
  std::string caption;
  unsigned flags = 0;
};

// How many boxes were shown since the program started, and the last one.
int MessageBoxCount();
RecordedMessageBox LastMessageBox();

}  // namespace cvtest
