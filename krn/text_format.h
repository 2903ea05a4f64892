// ExpandText: the formatter of the shared library. Besides the printf
// conversions (%d %i %u %x %X %o %c %s %p %e %f %g with flags, width, precision,
// '*' and the length modifiers hh h l ll I64 z j t) it knows these "$" forms:
//   "$d", "$u"  an int / unsigned decimal grouped with the locale's thousands
//               separator (44100 -> "44,100" in English)
//   "$,"        the locale's list separator followed by a blank (", ")
//   "$$" -> "$", "$%" -> "%" (and "%%" -> "%")
//   "$(name)"   the value of the macro `name` of the message macro table; an
//               unknown name, or one without ")" within 260 characters, is
//               copied as written, "$(" included. "$(" followed by a digit, '-'
//               or '.' is the library's numeric form: it is copied as written
//               and takes no argument.
// Any other "$" is copied. Double-byte characters are copied as pairs.
#pragma once

#include "krn/message_macros.h"

#include <cstdarg>
#include <cstddef>

namespace cv {

// Writes the expansion into `buffer`, cut to bufferSize - 1 characters and
// always terminated (nothing is written when bufferSize is 0). Returns the
// number of characters written, terminator excluded.
int ExpandText(char* buffer, size_t bufferSize, const char* format, ...);
int ExpandTextV(char* buffer, size_t bufferSize, const char* format, va_list arguments);

}  // namespace cv
