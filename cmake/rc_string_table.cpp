// Writes the plug-in's texts as the STRINGTABLE block of a resource script, from
// the same table the native build uses, so that the Windows string resources
// and the built-in texts cannot drift apart. The build runs it on the build
// machine: rc_string_table OUTPUT. The texts are written byte for byte (they
// are in the ANSI code page already); quotes, backslashes and control
// characters are escaped the resource compiler's way.
#include "ffplugs/cvla/plugin_text_table.h"

#include <cstdio>
#include <iterator>

namespace {

bool WriteText(std::FILE* out, const char* text) {
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
    int written = 0;
    if (*c == '"')
      written = std::fputs("\"\"", out);
    else if (*c == '\\')
      written = std::fputs("\\\\", out);
    else if (*c < 0x20)
      written = std::fprintf(out, "\\%03o", *c);
    else
      written = std::fputc(*c, out);
    if (written < 0) return false;
  }
  return true;
}

bool WriteRanges(std::FILE* out, const cvla::TextRange* ranges, size_t count) {
  for (size_t r = 0; r < count; ++r) {
    for (uint32_t i = 0; i < ranges[r].count; ++i) {
      if (std::fprintf(out, "  %u, \"", static_cast<unsigned>(ranges[r].firstId + i)) < 0) return false;
      if (!WriteText(out, ranges[r].texts[i]) || std::fputs("\"\n", out) < 0) return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: rc_string_table OUTPUT\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  using namespace cvla::text_table;
  bool ok = std::fputs("STRINGTABLE\nBEGIN\n", out) >= 0 && WriteRanges(out, kShared, std::size(kShared)) &&
            WriteRanges(out, kPlugIn, std::size(kPlugIn)) && std::fputs("END\n", out) >= 0;
  ok = std::fclose(out) == 0 && ok;
  if (!ok) std::fprintf(stderr, "rc_string_table: cannot write %s\n", argv[1]);
  return ok ? 0 : 1;
}
