// Answers for habits from other encoders' command lines: compression levels,
// a mistyped command, a file given without a command.
#pragma once

#include <string>
#include <vector>

namespace qlatool {

// The words of a level argument ("-8", "--best"), or empty when there is none.
std::string CompressionLevelHint(const std::vector<std::string>& arguments);
// For a first argument that is no command: the command probably meant.
std::string CommandHint(const std::string& word, const std::vector<std::string>& commands);

}  // namespace qlatool
