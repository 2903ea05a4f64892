#include "krn/text_format.h"

#include "krn/platform/locale.h"
#include "krn/platform/string_resources.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace cv {

namespace {

// Appends to a caller's buffer without ever passing its end; one byte stays
// reserved for the terminator.
class Output {
 public:
  Output(char* buffer, size_t size) : buffer_(buffer), size_(size) {}

  void Put(char c) {
    if (length_ + 1 < size_) buffer_[length_++] = c;
  }
  void Append(const char* text, size_t n) {
    for (size_t i = 0; i < n && length_ + 1 < size_; ++i) buffer_[length_++] = text[i];
  }
  // Both bytes of a double-byte character, or neither.
  void PutPair(char lead, char trail) {
    if (length_ + 2 >= size_) return;
    buffer_[length_++] = lead;
    buffer_[length_++] = trail;
  }
  char* Tail() { return buffer_ + length_; }
  size_t Room() const { return size_ - length_; }  // includes the terminator's byte
  void Advance(size_t n) { length_ += n < Room() ? n : Room() - 1; }
  int Finish() {
    buffer_[length_] = '\0';
    return static_cast<int>(length_);
  }

 private:
  char* buffer_;
  size_t size_;
  size_t length_ = 0;
};

// A printf directive: its flags, width and precision as read (a '*' already
// replaced by its argument), completed by a conversion when it is formatted.
struct Directive {
  char flags[6] = {};  // each of "-+ #0" at most once
  long long width = 0;
  long long precision = -1;  // -1: none

  void AddFlag(char c) {
    if (!std::strchr(flags, c)) flags[std::strlen(flags)] = c;
  }
  // The printf text with the given width and conversion.
  void Text(char* text, size_t size, long long fieldWidth, const char* conversion) const {
    char numbers[48] = "";
    if (precision >= 0) std::snprintf(numbers, sizeof numbers, ".%lld", precision);
    std::snprintf(text, size, fieldWidth > 0 ? "%%%s%lld%s%s" : "%%%s%.0lld%s%s", flags, fieldWidth, numbers,
                  conversion);
  }
};

// Reads a decimal count at p, saturating far above any buffer size.
long long ReadCount(const char*& p) {
  long long value = 0;
  while (*p >= '0' && *p <= '9') {
    if (value < (1LL << 40)) value = value * 10 + (*p - '0');
    ++p;
  }
  return value;
}

// Digits enough to write any double exactly: past them a fraction only goes on in zeros.
constexpr long long kExactDigits = 1100;

// Formats one value with a printf directive into the output. A width or
// precision far beyond the room left would only produce text that is cut, yet
// snprintf would still produce all of it: such counts are lowered to where the
// visible part stays the same.
template <typename T>
void PutFormatted(Output& out, Directive directive, const char* conversion, T value) {
  const long long room = static_cast<long long>(out.Room());
  if (directive.precision > room + kExactDigits) directive.precision = room + kExactDigits;
  char text[96];
  long long width = directive.width;
  if (width > room) {
    directive.Text(text, sizeof text, 0, conversion);
    const int own = std::snprintf(nullptr, 0, text, value);
    if (own >= 0 && width > room + own) width = room + own;
  }
  directive.Text(text, sizeof text, width, conversion);
  const int n = std::snprintf(out.Tail(), out.Room(), text, value);
  if (n > 0) out.Advance(static_cast<size_t>(n));
}

// Writes a decimal number with the locale's thousands separator between the
// groups of digits.
void PutGrouped(Output& out, unsigned long long magnitude, bool negative) {
  const cvplat::NumberFormatSettings& settings = cvplat::UserNumberFormat();
  char digits[24];
  const int count = std::snprintf(digits, sizeof digits, "%llu", magnitude);
  const int group = settings.grouping > 0 ? settings.grouping : count;
  if (negative) out.Put('-');
  for (int i = 0; i < count; ++i) {
    if (i > 0 && (count - i) % group == 0)
      out.Append(settings.thousandsSeparator.data(), settings.thousandsSeparator.size());
    out.Put(digits[i]);
  }
}

enum class Length { kDefault, kChar, kShort, kLong, kLongLong, kSize, kMax, kPtrDiff, kLongDouble };

bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the length modifier at *p and advances past it.
Length ReadLength(const char*& p) {
  if (p[0] == 'h' && p[1] == 'h') return p += 2, Length::kChar;
  if (p[0] == 'h') return ++p, Length::kShort;
  if (p[0] == 'l' && p[1] == 'l') return p += 2, Length::kLongLong;
  if (p[0] == 'l') return ++p, Length::kLong;
  if (p[0] == 'I' && p[1] == '6' && p[2] == '4') return p += 3, Length::kLongLong;
  if (p[0] == 'z') return ++p, Length::kSize;
  if (p[0] == 'j') return ++p, Length::kMax;
  if (p[0] == 't') return ++p, Length::kPtrDiff;
  if (p[0] == 'L') return ++p, Length::kLongDouble;
  return Length::kDefault;
}

long long SignedArgument(Length length, va_list& args) {
  switch (length) {
    case Length::kChar: return static_cast<signed char>(va_arg(args, int));
    case Length::kShort: return static_cast<short>(va_arg(args, int));
    case Length::kLong: return va_arg(args, long);
    case Length::kLongLong: return va_arg(args, long long);
    case Length::kSize: return static_cast<long long>(va_arg(args, size_t));
    case Length::kMax: return static_cast<long long>(va_arg(args, intmax_t));
    case Length::kPtrDiff: return static_cast<long long>(va_arg(args, ptrdiff_t));
    default: return va_arg(args, int);
  }
}

unsigned long long UnsignedArgument(Length length, va_list& args) {
  switch (length) {
    case Length::kChar: return static_cast<unsigned char>(va_arg(args, unsigned));
    case Length::kShort: return static_cast<unsigned short>(va_arg(args, unsigned));
    case Length::kLong: return va_arg(args, unsigned long);
    case Length::kLongLong: return va_arg(args, unsigned long long);
    case Length::kSize: return va_arg(args, size_t);
    case Length::kMax: return static_cast<unsigned long long>(va_arg(args, uintmax_t));
    case Length::kPtrDiff: return static_cast<unsigned long long>(va_arg(args, ptrdiff_t));
    default: return va_arg(args, unsigned);
  }
}

// Expands the printf conversion that starts at the '%' at `start`; returns the
// position after it. A conversion it does not know is copied as written.
const char* ExpandPercent(Output& out, const char* start, va_list& args) {
  const char* p = start + 1;
  if (*p == '%') {
    out.Put('%');
    return p + 1;
  }
  Directive directive;
  while (IsFlag(*p)) directive.AddFlag(*p++);
  if (*p == '*') {
    // A negative width argument is a '-' flag with its magnitude.
    const long long width = va_arg(args, int);
    if (width < 0) directive.AddFlag('-');
    directive.width = width < 0 ? -width : width;
    ++p;
  } else {
    directive.width = ReadCount(p);
  }
  if (*p == '.') {
    ++p;
    if (*p == '*') {
      // A negative precision argument counts as none.
      const long long precision = va_arg(args, int);
      directive.precision = precision < 0 ? -1 : precision;
      ++p;
    } else {
      directive.precision = ReadCount(p);
    }
  }
  const Length length = ReadLength(p);
  const char conversion = *p;
  switch (conversion) {
    case 'd':
    case 'i':
      PutFormatted(out, directive, "lld", SignedArgument(length, args));
      return p + 1;
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
      const char suffix[] = {'l', 'l', conversion, '\0'};
      PutFormatted(out, directive, suffix, UnsignedArgument(length, args));
      return p + 1;
    }
    case 'c':
      PutFormatted(out, directive, "c", va_arg(args, int));
      return p + 1;
    case 's': {
      const char* text = va_arg(args, const char*);
      PutFormatted(out, directive, "s", text ? text : "(null)");
      return p + 1;
    }
    case 'p':
      PutFormatted(out, directive, "p", va_arg(args, void*));
      return p + 1;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G': {
      if (length == Length::kLongDouble) break;
      const char suffix[] = {conversion, '\0'};
      PutFormatted(out, directive, suffix, va_arg(args, double));
      return p + 1;
    }
    default:
      break;
  }
  // Unknown or incomplete: the '%' is copied and the rest is read as text.
  out.Put('%');
  return start + 1;
}

// Expands "$(name)" at `start` (pointing at '$'); returns the position after
// what it consumed.
const char* ExpandMacro(Output& out, const char* start) {
  const char* name = start + 2;
  const char first = *name;
  const bool numeric = IsDigit(first) || first == '-' || first == '.';
  if (!numeric) {
    size_t n = 0;
    while (n <= kMaxMacroNameLength && name[n] && name[n] != ')') ++n;
    if (name[n] == ')' && n <= kMaxMacroNameLength) {
      size_t valueLength = 0;
      if (LookUpMessageMacro(name, n, out.Tail(), out.Room(), &valueLength)) {
        out.Advance(valueLength);
      } else {
        out.Append(start, n + 3);  // "$(" name ")" as written
      }
      return name + n + 1;
    }
  }
  out.Append(start, 2);  // "$(" as written; what follows is read as text
  return name;
}

// Expands the "$" form at `start`; returns the position after it.
const char* ExpandDollar(Output& out, const char* start, va_list& args) {
  switch (start[1]) {
    case '$':
      out.Put('$');
      return start + 2;
    case '%':
      out.Put('%');
      return start + 2;
    case 'd': {
      const long long value = va_arg(args, int);
      const unsigned long long magnitude =
          value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
      PutGrouped(out, magnitude, value < 0);
      return start + 2;
    }
    case 'u':
      PutGrouped(out, va_arg(args, unsigned), false);
      return start + 2;
    case ',':
      // The list separator and a blank; a blank written after "$," in the
      // format is that same blank, so it is not doubled.
      out.Append(cvplat::UserNumberFormat().listSeparator.data(), cvplat::UserNumberFormat().listSeparator.size());
      out.Put(' ');
      return start[2] == ' ' ? start + 3 : start + 2;
    case '(':
      return ExpandMacro(out, start);
    default:
      out.Put('$');
      return start + 1;
  }
}

}  // namespace

int ExpandTextV(char* buffer, size_t bufferSize, const char* format, va_list arguments) {
  if (!buffer || bufferSize == 0) return 0;
  Output out(buffer, bufferSize);
  if (!format) return out.Finish();
  va_list args;
  va_copy(args, arguments);
  const char* p = format;
  while (*p) {
    if (*p == '%') {
      p = ExpandPercent(out, p, args);
    } else if (*p == '$') {
      p = ExpandDollar(out, p, args);
    } else if (cvplat::IsAnsiLeadByte(static_cast<unsigned char>(*p)) && p[1]) {
      out.PutPair(p[0], p[1]);
      p += 2;
    } else {
      out.Put(*p++);
    }
  }
  va_end(args);
  return out.Finish();
}

int ExpandText(char* buffer, size_t bufferSize, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = ExpandTextV(buffer, bufferSize, format, args);
  va_end(args);
  return length;
}

}  // namespace cv
