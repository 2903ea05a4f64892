// Runs one of the tool's commands in the test's process, on one input, as
// `qla <command> -q -f -j 1 -o target source` would.
#pragma once

#include "tools/qla/commands.h"

#include <string>

namespace tooltest {

using Command = int (*)(const qlatool::Options&);

inline int RunOnOneFile(Command command, const std::string& source, const std::string& target) {
  qlatool::Options options;
  options.inputs = {source};
  options.output = target;
  options.force = true;
  options.quiet = true;
  options.jobs = 1;
  return command(options);
}

}  // namespace tooltest
