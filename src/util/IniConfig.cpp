#include "util/IniConfig.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

#include "platform/Platform.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"

namespace {

// The raw value of the first matching key of the first matching section.
std::optional<std::string> FindValue(const std::string& path, const std::string& section,
                                     const std::string& key) {
  const auto content = platform::Current().ReadFile(path);
  if (!content) {
    return std::nullopt;
  }
  bool inSection = false;
  std::size_t pos = 0;
  while (pos < content->size()) {
    std::size_t end = content->find('\n', pos);
    if (end == std::string::npos) {
      end = content->size();
    }
    const std::string line = Trim(content->substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') {
      continue;
    }
    if (line.front() == '[') {
      const auto close = line.find(']');
      inSection = close != std::string::npos && SameText(Trim(line.substr(1, close - 1)), section);
      continue;
    }
    const auto equals = line.find('=');
    if (inSection && equals != std::string::npos && SameText(Trim(line.substr(0, equals)), key)) {
      std::string value = Trim(line.substr(equals + 1));
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return value;
    }
  }
  return std::nullopt;
}

std::optional<int> ParseInteger(const std::string& text) {
  std::string digits = text;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    negative = digits[0] == '-';
    digits.erase(0, 1);
  }
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.erase(0, 2);
  }
  if (digits.empty() || !std::isxdigit(static_cast<unsigned char>(digits[0]))) {
    return std::nullopt;
  }
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(digits.c_str(), &end, base);
  if (*end != '\0' || errno == ERANGE) {
    return std::nullopt;
  }
  const long long signedValue = negative ? -value : value;
  if (signedValue < INT_MIN || signedValue > INT_MAX) {
    return std::nullopt;
  }
  return static_cast<int>(signedValue);
}

}  // namespace

TIniConfig::TIniConfig(std::string path) : path_(std::move(path)) {}

int TIniConfig::ReadInteger(const std::string& section, const std::string& key,
                            int fallback) const {
  const auto value = FindValue(path_, section, key);
  if (!value) {
    return fallback;
  }
  return ParseInteger(*value).value_or(fallback);
}

bool TIniConfig::ReadBool(const std::string& section, const std::string& key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

std::string TIniConfig::ReadString(const std::string& section, const std::string& key,
                                   const std::string& fallback) const {
  const auto value = FindValue(path_, section, key);
  return value ? VornCliSiTefStr(AnsiFromBytes(*value)) : fallback;
}

std::string ConfigFilePath() {
  const std::string executable = platform::Current().ExecutablePath();
  const auto delimiter = executable.find_last_of(platform::Current().PathDelimiter());
  const auto dot = executable.find_last_of('.');
  const bool hasExtension =
      dot != std::string::npos && (delimiter == std::string::npos || dot > delimiter + 1);
  return (hasExtension ? executable.substr(0, dot) : executable) + ".ini";
}
