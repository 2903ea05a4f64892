// The text formatter with formats built from the input: literal text (any '$'
// doubled, no '%'), "$" forms (separators, grouped numbers, macros, the numeric
// form) and printf directives with flags, width, precision and length, all of
// one argument class so that the arguments passed always match. Then the
// message composition with an arbitrary code, context and argument.
#include "fuzz/fuzz_support.h"
#include "krn/messages.h"
#include "krn/text_format.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum ArgClass { kInt, kLongLong, kDouble, kString, kClasses };

void AddDirective(std::string& format, ArgClass cls, cvfuzz::Choices& choices) {
  static const char* const kConversions[kClasses] = {"diuxXoc", "diuxXo", "eEfgG", "s"};
  const uint32_t shape = choices.Take(2);
  if (cls == kInt && shape % 7 == 0) {
    format += shape & 8 ? "$d" : "$u";
    return;
  }
  format += '%';
  static const char kFlags[] = "-+ #0";
  for (int i = 0; i < 5; ++i)
    if (shape & (1u << i)) format += kFlags[i];
  if (shape & 0x20) format += cls == kInt && shape & 0x40 ? "*" : std::to_string(choices.Take(1) * 3);
  if (shape & 0x80) format += "." + (cls == kInt && shape & 0x100 ? std::string("*") : std::to_string(choices.Take(1)));
  if (cls == kInt) format += shape & 0x200 ? "hh" : shape & 0x400 ? "h" : "";
  if (cls == kLongLong) format += shape & 0x200 ? "I64" : "ll";
  const char* conversions = kConversions[cls];
  format += conversions[(shape >> 11) % std::strlen(conversions)];
}

std::string BuildFormat(ArgClass cls, cvfuzz::Choices& choices) {
  std::string format;
  for (int directives = 0; choices.RestSize() > 0 && directives < 4;) {
    const uint32_t b = choices.Take(1);
    if (b < 0xC0) {
      if (b == '$') format += "$$";
      else if (b != '%' && b != 0) format += static_cast<char>(b);
    } else if (b < 0xE0) {
      AddDirective(format, cls, choices);
      ++directives;
    } else {
      static const char* const kForms[] = {"$,", "$$", "$%", "%%", "$(", ")", "$(1", "$(-"};
      format += kForms[b & 7];
    }
  }
  return format;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cvfuzz::Choices choices(data, size);
  const ArgClass cls = static_cast<ArgClass>(choices.Take(1) % kClasses);
  const size_t bufferSize = choices.Take(2) % 700;
  int ints[14];
  long long wide[8];
  double reals[8];
  for (int& v : ints) v = static_cast<int>(choices.Take(4));
  for (long long& v : wide) v = static_cast<long long>(choices.Take(4)) << 32 | choices.Take(4);
  for (double& v : reals) {
    const uint64_t bits = static_cast<uint64_t>(choices.Take(4)) << 32 | choices.Take(4);
    std::memcpy(&v, &bits, sizeof v);
  }
  const std::string format = BuildFormat(cls, choices);
  const std::string tail(reinterpret_cast<const char*>(choices.Rest()), choices.RestSize());
  const std::string text = tail.substr(0, tail.find('\0'));
  std::vector<char> buffer(bufferSize);
  char* out = buffer.empty() ? nullptr : buffer.data();
  const char* f = format.c_str();
  int written = 0;
  switch (cls) {
    case kInt:
      written = cv::ExpandText(out, bufferSize, f, ints[0], ints[1], ints[2], ints[3], ints[4], ints[5], ints[6],
                               ints[7], ints[8], ints[9], ints[10], ints[11], ints[12], ints[13]);
      break;
    case kLongLong:
      written = cv::ExpandText(out, bufferSize, f, wide[0], wide[1], wide[2], wide[3], wide[4], wide[5]);
      break;
    case kDouble:
      written = cv::ExpandText(out, bufferSize, f, reals[0], reals[1], reals[2], reals[3], reals[4], reals[5]);
      break;
    default:
      written = cv::ExpandText(out, bufferSize, f, text.c_str(), "", f, text.c_str(), "x", text.c_str());
  }
  // The result is cut to the buffer and terminated there.
  if (bufferSize > 0 && (written < 0 || static_cast<size_t>(written) >= bufferSize || buffer[written] != '\0'))
    std::abort();

  const HRESULT code = static_cast<HRESULT>(ints[0] & 1 ? 0x8004E000u | (ints[1] & 0xFF) : ints[1]);
  const char* composed = cv::ComposeErrorText(static_cast<uint16_t>(ints[2]), code, text.c_str());
  if (!composed || std::strlen(composed) >= cv::kComposedTextSize) std::abort();
  cv::GetResultMessage(code);
  return 0;
}
