#include "krn/message_macros.h"
#include "krn/platform/locale.h"
#include "krn/text_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Expands into the first `size` bytes of a buffer whose next byte is marked:
// the mark must stay and the length returned must be the text's.
template <typename... Args>
std::string ExpandIn(size_t size, const char* format, Args... args) {
  std::string buffer(size + 1, '#');
  const int length = cv::ExpandText(&buffer[0], size, format, args...);
  EXPECT_EQ(buffer[size], '#') << format;
  const std::string text = size ? buffer.c_str() : "";
  EXPECT_EQ(static_cast<size_t>(length), text.size()) << format;
  return text;
}

template <typename... Args>
std::string Expand(const char* format, Args... args) { return ExpandIn(512, format, args...); }

TEST(ExpandText, PrintfConversions) {
  EXPECT_EQ(Expand("%d %u %x %08x %X", -7, 4000000000u, 0xBEEFu, 0x8004E0AAu, 0xabcu),
            "-7 4000000000 beef 8004e0aa ABC");
  EXPECT_EQ(Expand("%s|%c|%ld|%lu|%%", "file.qla", 'Q', -123456L, 654321UL), "file.qla|Q|-123456|654321|%");
  EXPECT_EQ(Expand("[%5d][%-4s][%.2s][%*d][%+d]", 42, "ab", "xyz", 3, 7, 5), "[   42][ab  ][xy][  7][+5]");
  EXPECT_EQ(Expand("%lld %I64u %hd %.3f", -5000000000LL, 18000000000ULL, 70000, 1.5), "-5000000000 18000000000 4464 1.500");
  EXPECT_EQ(Expand("%s", static_cast<const char*>(nullptr)), "(null)");
  // Unknown conversions and lone markers are text.
  EXPECT_EQ(Expand("100%q done%"), "100%q done%");
  // Arguments stay in order across the two forms; the numeric macro form takes none.
  EXPECT_EQ(Expand("%s:$$:$%d:%d", "a", 9), "a:$:%d:9");
  EXPECT_EQ(Expand("%s $(9) %d", "x", 4), "x $(9) 4");
}

// Widths and precisions far beyond the buffer give what a cut full expansion
// would show; repeated flags and negative '*' counts are read as printf reads them.
TEST(ExpandText, OversizedAndUnusualCounts) {
  EXPECT_EQ(Expand("[%*d]", 2000000000, 5), "[" + std::string(510, ' '));
  EXPECT_EQ(Expand("[%-*d]", 2000000000, 5), "[5" + std::string(509, ' '));
  EXPECT_EQ(Expand("%.2000000000d", 5), std::string(511, '0'));
  EXPECT_EQ(Expand("%.*d|%*d|", -3, 42, -4, 7), "42|7   |");
  EXPECT_EQ(Expand("%-----------------------------------------------5d|", 9), "9    |");
}

TEST(ExpandText, DollarConversions) {
  const cvplat::NumberFormatSettings& settings = cvplat::UserNumberFormat();
  if (settings.grouping != 3) GTEST_SKIP() << "the locale does not group by thousands";
  const std::string sep = settings.thousandsSeparator;
  EXPECT_EQ(Expand("$d Hz", 44100), "44" + sep + "100 Hz");
  EXPECT_EQ(Expand("$d", -1234567), "-1" + sep + "234" + sep + "567");
  EXPECT_EQ(Expand("$d|$d|$d", 0, 999, 1000), "0|999|1" + sep + "000");
  EXPECT_EQ(Expand("$d", static_cast<int>(0x80000000u)), "-2" + sep + "147" + sep + "483" + sep + "648");
  EXPECT_EQ(Expand("$u", 4294967295u), "4" + sep + "294" + sep + "967" + sep + "295");
  EXPECT_EQ(Expand("16 bit$,Stereo"), "16 bit" + settings.listSeparator + " Stereo");
  EXPECT_EQ(Expand("16 bit$, Stereo"), "16 bit" + settings.listSeparator + " Stereo");
  EXPECT_EQ(Expand("$$5 $% 50%% $x $"), "$5 % 50% $x $");
}

TEST(ExpandText, NeverOverrunsAndAlwaysTerminates) {
  EXPECT_EQ(ExpandIn(8, "%s and more", "a long file name"), "a long ");
  EXPECT_EQ(ExpandIn(4, "$d", 1234567), "1" + cvplat::UserNumberFormat().thousandsSeparator.substr(0, 1) + "2");
  EXPECT_EQ(ExpandIn(1, "anything %d", 5), "");
  EXPECT_EQ(ExpandIn(0, "x"), "");  // the buffer untouched
  EXPECT_EQ(ExpandIn(11, nullptr), "");
}

// No code of the plug-in sets a macro: every "$(name)" form is copied as written.
TEST(ExpandText, MacroFormsWithoutAValueAreCopiedAsWritten) {
  cv::ClearMessageMacros();
  EXPECT_EQ(Expand("[$(Nobody)] [$()] [$(AppName)]"), "[$(Nobody)] [$()] [$(AppName)]");
  EXPECT_EQ(Expand("open $(AppName"), "open $(AppName");
  EXPECT_EQ(Expand("$(App %d", 3), "$(App 3");  // what follows is read as text
  EXPECT_EQ(Expand("$(-1) $(.5)"), "$(-1) $(.5)");
}

}  // namespace
