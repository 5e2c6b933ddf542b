#pragma once

#include <cstdint>
#include <string>

#include "util/Currency.h"
#include "util/DateTime.h"

// Conversions of request members that arrive as text, with the host's
// regional settings. Each raises EConvertError with a readable Portuguese
// message when the text is not of its kind.

// A decimal integer with an optional sign and surrounding blanks, within 32 bits.
std::int32_t StrToInt32(const std::string& text);
// A decimal amount written with the regional decimal separator and no digit
// grouping ("12,34" where the separator is a comma), to four decimal places.
Currency StrToCurrRegional(const std::string& text);
// A local date in the regional short date order and separator, optionally
// followed by one blank and hours, minutes and optional seconds joined by the
// regional time separator.
TDateTime StrToDateTimeRegional(const std::string& text);
