#include "util/VornString.h"

#include <algorithm>

#include "platform/CodePage1252.h"

namespace {

char32_t FoldCase(char32_t cp, bool toUpper) {
  const bool upperLatin = (cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7);
  const bool lowerLatin = (cp >= 'a' && cp <= 'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7);
  if (toUpper && lowerLatin) {
    return cp - 0x20;
  }
  if (!toUpper && upperLatin) {
    return cp + 0x20;
  }
  return cp;
}

std::string MapCase(const std::string& text, bool toUpper) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    platform::AppendUtf8(out, FoldCase(platform::NextCodePoint(text, pos), toUpper));
  }
  return out;
}

}  // namespace

bool VornStrIn(const std::string& text, const std::vector<std::string>& list) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

bool VornTextIn(const std::string& text, const std::vector<std::string>& list) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& entry) { return SameText(text, entry); });
}

std::string VornPadL(const std::string& text, int n, char fill) {
  const auto width = static_cast<std::size_t>(n < 0 ? 0 : n);
  std::size_t characters = 0;
  std::size_t pos = 0;
  while (pos < text.size() && characters < width) {
    platform::NextCodePoint(text, pos);
    ++characters;
  }
  if (characters == width) {
    return text.substr(0, pos);
  }
  return std::string(width - characters, fill) + text;
}

std::string VornStrZero(std::int32_t value, int n) {
  return VornPadL(std::to_string(value), std::clamp(n, 0, 255), '0');
}

std::string_view TrimView(std::string_view text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && blank(text[begin])) {
    ++begin;
  }
  while (end > begin && blank(text[end - 1])) {
    --end;
  }
  return text.substr(begin, end - begin);
}

std::string Trim(const std::string& text) {
  return std::string(TrimView(text));
}

std::string UpperCase(const std::string& text) {
  return MapCase(text, true);
}

std::string LowerCase(const std::string& text) {
  return MapCase(text, false);
}

bool SameText(const std::string& a, const std::string& b) {
  return LowerCase(a) == LowerCase(b);
}
