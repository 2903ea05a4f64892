#include "krn/platform/codepage.h"

#include <cstring>

namespace cvplat {

#ifdef _WIN32

int AnsiToWide(const char* src, int srcLen, wchar16* dst, int dstLen) {
  if (!src) return 0;
  return ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, src, srcLen, dst, dst ? dstLen : 0);
}

int WideToAnsi(const wchar16* src, int srcLen, char* dst, int dstLen) {
  if (!src) return 0;
  return ::WideCharToMultiByte(CP_ACP, 0, src, srcLen, dst, dst ? dstLen : 0, nullptr, nullptr);
}

#else

namespace {
// Windows-1252 0x80..0x9F; 0 marks the five unassigned positions (mapped 1:1).
const char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t FromCp1252(unsigned char c) {
  if (c >= 0x80 && c <= 0x9F && kCp1252High[c - 0x80] != 0) return kCp1252High[c - 0x80];
  return c;
}

char ToCp1252(char16_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == u) return static_cast<char>(0x80 + i);
  if (u >= 0x80 && u <= 0x9F) return static_cast<char>(u);
  return '?';
}
}  // namespace

int AnsiToWide(const char* src, int srcLen, wchar16* dst, int dstLen) {
  if (!src) return 0;
  size_t n = srcLen < 0 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
  if (!dst || dstLen == 0) return static_cast<int>(n);
  if (n > static_cast<size_t>(dstLen)) return 0;  // Windows fails with ERROR_INSUFFICIENT_BUFFER
  for (size_t i = 0; i < n; ++i) dst[i] = FromCp1252(static_cast<unsigned char>(src[i]));
  return static_cast<int>(n);
}

int WideToAnsi(const wchar16* src, int srcLen, char* dst, int dstLen) {
  if (!src) return 0;
  size_t n = srcLen < 0 ? WideLength(src) + 1 : static_cast<size_t>(srcLen);
  if (!dst || dstLen == 0) return static_cast<int>(n);
  if (n > static_cast<size_t>(dstLen)) return 0;
  for (size_t i = 0; i < n; ++i) dst[i] = ToCp1252(src[i]);
  return static_cast<int>(n);
}

#endif

size_t WideLength(const wchar16* text) {
  if (!text) return 0;
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

WideString AnsiToWideString(const std::string& text) {
  if (text.empty()) return WideString();
  int n = AnsiToWide(text.data(), static_cast<int>(text.size()), nullptr, 0);
  WideString out(static_cast<size_t>(n), u'\0');
  AnsiToWide(text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string WideToAnsiString(const wchar16* text) {
  size_t len = WideLength(text);
  if (len == 0) return std::string();
  int n = WideToAnsi(text, static_cast<int>(len), nullptr, 0);
  std::string out(static_cast<size_t>(n), '\0');
  WideToAnsi(text, static_cast<int>(len), &out[0], n);
  return out;
}

std::string WideToAnsiString(const WideString& text) { return WideToAnsiString(text.c_str()); }

bool WideToAnsiExact(const wchar16* text, std::string* out) {
  *out = WideToAnsiString(text);
  // A character that the code page lacks comes back as '?' or a look-alike.
  return AnsiToWideString(*out) == WideString(text ? text : CV_W(""));
}

void CopyAnsiToWideBuffer(const char* text, wchar16* buffer, size_t length) {
  if (!buffer || length == 0) return;
  buffer[0] = 0;
  if (!text) return;
  WideString wide = AnsiToWideString(text);
  size_t n = wide.size() < length - 1 ? wide.size() : length - 1;
  for (size_t i = 0; i < n; ++i) buffer[i] = wide[i];
  buffer[n] = 0;
}

std::string WideToUtf8(const WideString& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint16_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      uint32_t lo = static_cast<uint16_t>(text[i + 1]);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      }
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

WideString Utf8ToWide(const std::string& text) {
  WideString out;
  for (size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    uint32_t c;
    int extra;
    if (b < 0x80) { c = b; extra = 0; }
    else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
    else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
    else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; }
    else { c = 0xFFFD; extra = 0; }
    ++i;
    for (int k = 0; k < extra; ++k, ++i) {
      if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) { c = 0xFFFD; break; }
      c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<wchar16>(0xD800 + (c >> 10));
      out += static_cast<wchar16>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<wchar16>(c);
    }
  }
  return out;
}

}  // namespace cvplat
