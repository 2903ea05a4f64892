#include "tools/qla/usage_hints.h"

#include "krn/platform/tool_io.h"

#include <algorithm>

namespace qlatool {
namespace {

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string CompressionLevelHint(const std::vector<std::string>& arguments) {
  for (const std::string& a : arguments) {
    const bool level = a.size() == 2 && a[0] == '-' && a[1] >= '0' && a[1] <= '8';
    if (level || a == "--best" || a == "--fast")
      return "qla has one compression setting; " + a + " is not needed: leave it out";
  }
  return std::string();
}

std::string CommandHint(const std::string& word, const std::vector<std::string>& commands) {
  if (cvplat::KindOfPath(word) == cvplat::PathKind::kRegularFile) {
    const bool isQla = EndsWith(word, ".qla");
    return word + " is a file; a command comes first: did you mean \"qla " + (isQla ? "decode " : "encode ") + word +
           "\"?";
  }
  std::string best;
  size_t bestDistance = 3;  // farther than two edits is no suggestion
  for (const std::string& c : commands) {
    const size_t d = EditDistance(word, c);
    if (d < bestDistance) {
      bestDistance = d;
      best = c;
    }
  }
  return "\"" + word + "\" is not a command" + (best.empty() ? "" : "; did you mean \"" + best + "\"?");
}

}  // namespace qlatool
