#include "api/RequestConversions.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/Platform.h"
#include "util/Exception.h"
#include "util/VornString.h"

namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == separator) {
      pieces.emplace_back();
    } else {
      pieces.back() += c;
    }
  }
  return pieces;
}

}  // namespace

std::int32_t StrToInt32(const std::string& text) {
  const std::string trimmed = Trim(text);
  const bool signed_ = !trimmed.empty() && (trimmed[0] == '-' || trimmed[0] == '+');
  const std::string digits = trimmed.substr(signed_ ? 1 : 0);
  errno = 0;
  const long long value = AllDigits(digits) ? std::strtoll(trimmed.c_str(), nullptr, 10) : 0;
  if (!AllDigits(digits) || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
    throw EConvertError("'" + text + "' não é um valor inteiro válido.");
  }
  return static_cast<std::int32_t>(value);
}

Currency StrToCurrRegional(const std::string& text) {
  const char separator = platform::Current().Regional().decimalSeparator;
  const std::string trimmed = Trim(text);
  const bool signed_ = !trimmed.empty() && (trimmed[0] == '-' || trimmed[0] == '+');
  const std::vector<std::string> parts = Split(trimmed.substr(signed_ ? 1 : 0), separator);
  const bool valid = parts.size() <= 2 && AllDigits(parts[0]) &&
                     (parts.size() == 1 || parts[1].empty() || AllDigits(parts[1])) &&
                     parts[0].size() <= 14;
  if (!valid) {
    throw EConvertError("'" + text + "' não é um valor monetário válido.");
  }
  std::string decimals = parts.size() == 2 ? parts[1] : "";
  std::int64_t raw = std::stoll(parts[0]) * 10000;
  std::int64_t fraction = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    fraction = fraction * 10 + (i < decimals.size() ? decimals[i] - '0' : 0);
  }
  raw += fraction;
  // Digits beyond the fourth decimal round the last one, halves to even.
  if (decimals.size() > 4) {
    const std::string rest = decimals.substr(4);
    const bool above =
        rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
    const bool half = rest[0] == '5' && !above;
    if (above || (half && raw % 2 != 0)) {
      ++raw;
    }
  }
  return Currency::FromRaw(trimmed[0] == '-' ? -raw : raw);
}

TDateTime StrToDateTimeRegional(const std::string& text) {
  const platform::RegionalSettings regional = platform::Current().Regional();
  const std::string invalid = "'" + text + "' não é uma data e hora válida.";
  const std::vector<std::string> pieces = Split(Trim(text), ' ');
  if (pieces.size() > 2) {
    throw EConvertError(invalid);
  }
  const std::vector<std::string> date = Split(pieces[0], regional.dateSeparator);
  if (date.size() != 3 || regional.shortDateOrder.size() != 3) {
    throw EConvertError(invalid);
  }
  int day = 0, month = 0, year = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    if (!AllDigits(date[i]) || date[i].size() > 4) {
      throw EConvertError(invalid);
    }
    const int value = std::stoi(date[i]);
    switch (regional.shortDateOrder[i]) {
      case 'D':
        day = value;
        break;
      case 'M':
        month = value;
        break;
      default:
        year = value;
    }
  }
  TDateTime result = 0;
  if (!TryEncodeDate(year, month, day, result)) {
    throw EConvertError(invalid);
  }
  if (pieces.size() == 2) {
    const std::vector<std::string> time = Split(pieces[1], regional.timeSeparator);
    if (time.size() < 2 || time.size() > 3) {
      throw EConvertError(invalid);
    }
    int values[3] = {0, 0, 0};
    for (std::size_t i = 0; i < time.size(); ++i) {
      if (!AllDigits(time[i]) || time[i].size() > 2) {
        throw EConvertError(invalid);
      }
      values[i] = std::stoi(time[i]);
    }
    TDateTime clock = 0;
    if (!TryEncodeTime(values[0], values[1], values[2], 0, clock)) {
      throw EConvertError(invalid);
    }
    result += clock;
  }
  return result;
}
