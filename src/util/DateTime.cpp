#include "util/DateTime.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

const std::int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

bool StartsWithIgnoringCase(std::string_view text, std::size_t pos, std::string_view token) {
  if (pos + token.size() > text.size()) {
    return false;
  }
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[pos + i])) != token[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return false;
  }
  result = static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    return false;
  }
  result = ((hour * 3600 + minute * 60 + second) * 1000.0 + millisecond) / kMsPerDay;
  return true;
}

bool TryEncodeDateTime(const platform::CivilTime& c, TDateTime& result) {
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(c.year, c.month, c.day, date) ||
      !TryEncodeTime(c.hour, c.minute, c.second, c.millisecond, time)) {
    return false;
  }
  result = date + time;
  return true;
}

platform::CivilTime DecodeDateTime(TDateTime moment) {
  auto ms = static_cast<std::int64_t>(std::llround(moment * kMsPerDay));
  std::int64_t days = ms / kMsPerDay;
  std::int64_t inDay = ms % kMsPerDay;
  if (inDay < 0) {
    // Before the epoch the fraction still counts forward from midnight.
    inDay = -inDay;
  }
  platform::CivilTime c;
  CivilFromDays(days + kEpochOffset, c.year, c.month, c.day);
  c.hour = static_cast<int>(inDay / 3600000);
  c.minute = static_cast<int>(inDay / 60000 % 60);
  c.second = static_cast<int>(inDay / 1000 % 60);
  c.millisecond = static_cast<int>(inDay % 1000);
  return c;
}

TDateTime Now() {
  TDateTime now = 0;
  TryEncodeDateTime(platform::Current().LocalNow(), now);
  return now;
}

std::string FormatDateTime(std::string_view pattern, TDateTime moment) {
  return FormatDateTime(pattern, DecodeDateTime(moment));
}

std::string FormatDateTime(std::string_view pattern, const platform::CivilTime& c) {
  const platform::RegionalSettings regional = platform::Current().Regional();
  std::string out;
  bool afterHour = false;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char ch = pattern[i];
    const auto count = [&](char letter) {
      std::size_t n = 0;
      while (i + n < pattern.size() &&
             std::tolower(static_cast<unsigned char>(pattern[i + n])) == letter) {
        ++n;
      }
      return n;
    };
    switch (std::tolower(static_cast<unsigned char>(ch))) {
      case 'd': {
        const std::size_t n = count('d');
        out += Digits(c.day, n >= 2 ? 2 : 1);
        i += n;
        afterHour = false;
        break;
      }
      case 'm': {
        const std::size_t n = count('m');
        if (afterHour && n <= 2) {
          out += Digits(c.minute, n == 2 ? 2 : 1);
        } else if (n >= 4) {
          out += regional.longMonthNames[c.month - 1];
        } else if (n == 3) {
          out += regional.longMonthNames[c.month - 1].substr(0, 3);
        } else {
          out += Digits(c.month, n == 2 ? 2 : 1);
        }
        i += n;
        afterHour = false;
        break;
      }
      case 'y': {
        const std::size_t n = count('y');
        out += n <= 2 ? Digits(c.year % 100, 2) : Digits(c.year, 4);
        i += n;
        afterHour = false;
        break;
      }
      case 'h': {
        const std::size_t n = count('h');
        out += Digits(c.hour, n >= 2 ? 2 : 1);
        i += n;
        afterHour = true;
        break;
      }
      case 'n': {
        const std::size_t n = count('n');
        out += Digits(c.minute, n >= 2 ? 2 : 1);
        i += n;
        afterHour = false;
        break;
      }
      case 's': {
        const std::size_t n = count('s');
        out += Digits(c.second, n >= 2 ? 2 : 1);
        i += n;
        afterHour = false;
        break;
      }
      case 'z': {
        const std::size_t n = count('z');
        out += n >= 3 ? Digits(c.millisecond, 3) : std::to_string(c.millisecond);
        i += n;
        break;
      }
      case '/':
        out += regional.dateSeparator;
        ++i;
        break;
      case ':':
        out += regional.timeSeparator;
        ++i;
        break;
      case '"':
      case '\'': {
        const std::size_t close = pattern.find(ch, i + 1);
        const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
        out.append(pattern.substr(i + 1, end - i - 1));
        i = end == pattern.size() ? end : end + 1;
        break;
      }
      default:
        if (StartsWithIgnoringCase(pattern, i, "am/pm")) {
          out += c.hour < 12 ? "am" : "pm";
          i += 5;
        } else {
          out += ch;
          ++i;
        }
        break;
    }
  }
  return out;
}
