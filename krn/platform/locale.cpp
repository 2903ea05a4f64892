#include "krn/platform/locale.h"

#include "krn/platform/win_types.h"

namespace cvplat {

namespace {
NumberFormatSettings ReadSettings() {
  NumberFormatSettings s{",", ".", 3, ","};
#ifdef _WIN32
  char buf[16];
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buf, sizeof buf) > 0) s.thousandsSeparator = buf;
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, sizeof buf) > 0) s.decimalSeparator = buf;
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SLIST, buf, sizeof buf) > 0) s.listSeparator = buf;
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SGROUPING, buf, sizeof buf) > 0) s.grouping = buf[0] - '0';
  if (s.grouping < 0 || s.grouping > 9) s.grouping = 3;
#endif
  return s;
}
}  // namespace

const NumberFormatSettings& UserNumberFormat() {
  static const NumberFormatSettings settings = ReadSettings();
  return settings;
}

}  // namespace cvplat
