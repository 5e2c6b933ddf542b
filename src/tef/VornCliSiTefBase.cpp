#include "tef/VornCliSiTefBase.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/Platform.h"
#include "util/Currency.h"
#include "util/VornCliSiTefUtil.h"

namespace {

AnsiStringView Trimmed(AnsiStringView text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') {
    ++begin;
  }
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') {
    --end;
  }
  return text.substr(begin, end - begin);
}

// A decimal integer with an optional sign, in the 32-bit range.
bool ParseInt32(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) {
    return false;
  }
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return false;
    }
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
      return false;
    }
  }
  const std::int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  value = static_cast<std::int32_t>(signedValue);
  return true;
}

// The number made of `length` digits at the 0-based position; false when the
// text is too short.
bool Piece(const std::string& digits, std::size_t position, std::size_t length, int& value) {
  if (digits.size() < position + length) {
    return false;
  }
  value = std::stoi(digits.substr(position, length));
  return true;
}

std::string StoredDigits(const AnsiString& text) {
  return OnlyNumber(Trimmed(text));
}

TDateTime Compose(int year, int month, int day, int hour, int minute, int second) {
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time)) {
    return 0;
  }
  return date + time;
}

// Moments that format as a four-digit year (0001-01-01 to 9999-12-31).
bool Formattable(TDateTime value) {
  return std::isfinite(value) && value >= -693593.0 && value < 2958466.0;
}

// The text of a moment in the layout, or empty for 0 and for what no layout
// can hold.
AnsiString FormatMoment(std::string_view pattern, TDateTime value) {
  if (value == 0 || !Formattable(value)) {
    return {};
  }
  return AnsiFromBytes(FormatDateTime(pattern, value));
}

}  // namespace

std::int32_t TVornCliSiTefInformacao::AsInteger() const {
  std::int32_t value = 0;
  return ParseInt32(AnsiBytes(Trimmed(fInformacao)), value) ? value : 0;
}

void TVornCliSiTefInformacao::SetAsInteger(std::int32_t value) {
  fInformacao = value == 0 ? AnsiString() : AnsiFromBytes(std::to_string(value));
}

double TVornCliSiTefInformacao::AsFloat() const {
  std::string digits;
  for (const char c : Trimmed(fInformacao)) {
    if (c != ',' && c != '.') {
      digits += c;
    }
  }
  std::int32_t cents = 0;
  return ParseInt32(digits, cents) ? cents / 100.0 : 0.0;
}

void TVornCliSiTefInformacao::SetAsFloat(double value) {
  if (value == 0 || !std::isfinite(value)) {
    fInformacao.clear();
    return;
  }
  std::string cents;
  // Through the currency type first, so a value that stands for an exact
  // amount (1.005 held as 1.00499...) rounds as that amount does.
  if (std::fabs(value) < 9e14) {
    cents = std::to_string(Currency::FromDouble(value).CentsHalfAwayFromZero());
  } else {
    char text[400];
    std::snprintf(text, sizeof text, "%.0f", std::round(value * 100));
    cents = text;
  }
  // A negative amount keeps its sign in front of the zero-filled digits, so
  // it reads back as written.
  const bool negative = cents[0] == '-';
  std::string magnitude = negative ? cents.substr(1) : cents;
  if (magnitude.size() < 3) {
    magnitude.insert(0, 3 - magnitude.size(), '0');
  }
  fInformacao = AnsiFromBytes((negative ? "-" : "") + magnitude);
}

TDateTime TVornCliSiTefInformacao::AsDate() const {
  const std::string digits = StoredDigits(fInformacao);
  int day = 0, month = 0, year = 0;
  if (!Piece(digits, 0, 2, day) || !Piece(digits, 2, 2, month) || !Piece(digits, 4, 4, year)) {
    return 0;
  }
  return Compose(year, month, day, 0, 0, 0);
}

void TVornCliSiTefInformacao::SetAsDate(TDateTime value) {
  fInformacao = FormatMoment("ddmmyyyy", value);
}

TDateTime TVornCliSiTefInformacao::AsTime() const {
  const std::string digits = StoredDigits(fInformacao);
  int hour = 0, minute = 0, second = 0;
  TDateTime time = 0;
  if (!Piece(digits, 0, 2, hour) || !Piece(digits, 2, 2, minute) || !Piece(digits, 4, 2, second) ||
      !TryEncodeTime(hour, minute, second, 0, time)) {
    return 0;
  }
  return time;
}

void TVornCliSiTefInformacao::SetAsTime(TDateTime value) {
  fInformacao = FormatMoment("hhnnss", value);
}

TDateTime TVornCliSiTefInformacao::AsTimeStamp() const {
  const std::string digits = StoredDigits(fInformacao);
  int day = 0, month = 0, hour = 0, minute = 0, second = 0;
  if (!Piece(digits, 0, 2, day) || !Piece(digits, 2, 2, month) || !Piece(digits, 4, 2, hour) ||
      !Piece(digits, 6, 2, minute) || !Piece(digits, 8, 2, second)) {
    return 0;
  }
  const int year = platform::Current().LocalNow().year;
  return Compose(year, month, day, hour, minute, second);
}

void TVornCliSiTefInformacao::SetAsTimeStamp(TDateTime value) {
  fInformacao = FormatMoment("ddmmhhnnss", value);
}

TDateTime TVornCliSiTefInformacao::AsTimeStampSQL() const {
  const std::string digits = StoredDigits(fInformacao);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Piece(digits, 0, 4, year) || !Piece(digits, 4, 2, month) || !Piece(digits, 6, 2, day) ||
      !Piece(digits, 8, 2, hour) || !Piece(digits, 10, 2, minute) ||
      !Piece(digits, 12, 2, second)) {
    return 0;
  }
  return Compose(year, month, day, hour, minute, second);
}

void TVornCliSiTefInformacao::SetAsTimeStampSQL(TDateTime value) {
  fInformacao = FormatMoment("yyyymmddhhnnss", value);
}
