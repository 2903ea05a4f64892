// Shared pieces of the commands: output names, the run of one job per input
// with the console, and failure lines that name the file and give the system's
// words for the result code.
#pragma once

#include "krn/platform/win_types.h"
#include "tools/qla/commands.h"
#include "tools/qla/console.h"

#include <functional>
#include <string>
#include <vector>

namespace qlatool {

// For each input, the first input whose output has the same name (itself when
// no earlier input takes that name).
std::vector<size_t> OutputOwners(const Options& options, const char* extension);
// Reports an input whose output an earlier input already takes; true when it did.
bool RefuseTakenOutput(const Options& options, const std::vector<size_t>& owners, size_t index, const char* extension,
                       Console& console);

// The audio length of the inputs that will be worked on: an input whose output
// another input takes, or exists without --force, is not counted.
double PlannedSeconds(const Options& options, const std::vector<size_t>& owners, const char* extension,
                      double (*seconds)(const std::string&));

// "qla: FILE: what: <system message>" (what may be empty).
std::string FailureLine(const std::string& file, const std::string& what, HRESULT result);

// Runs job(index) for every input on options.jobs threads (default: one per
// processor) with a console; the job answers true on success. With more than
// one input a closing line counts them ("12 encoded, 1 failed", doneWord
// "encoded"). Returns the exit code of the run.
int RunPerInput(const Options& options, bool progress, double totalSeconds, const char* doneWord,
                const std::function<bool(size_t, Console&)>& job);

// Threads that one file may use: the files share the -j threads (default: one
// per processor), and a single file takes all of them.
unsigned ThreadsPerFile(const Options& options);

// Audio length of a WAVE or .qla input for the progress bar; 0 when unknown.
double WavSeconds(const std::string& path);
double QlaSeconds(const std::string& path);

std::string FormatSeconds(double seconds);

}  // namespace qlatool
