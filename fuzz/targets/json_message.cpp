// Client messages through the gateway's JSON reader, checked against
// nlohmann's parser: both accept exactly the same valid UTF-8 texts (below
// the reader's nesting limit; a text with a NUL byte is refused), an accepted
// object has the same member names, and a lone string or number reads back as
// received. nlohmann refuses two kinds of valid JSON that the reader takes:
// a surrogate escape without its other half (read as U+FFFD) and a number
// beyond a double's range (kept as its text). nlohmann is given the text with
// those replaced by what it reads the same way: "\ufffd" and 0.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "api/JsonMessage.h"
#include "host/Utf8Decode.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "JSON reader differs from nlohmann: %s\n", what);
    std::abort();
  }
}

// Deepest nesting of arrays and objects in valid JSON text.
std::size_t Depth(const std::string& text) {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether the whole text is one number of the JSON grammar.
bool IsJsonNumber(const std::string& token) {
  std::size_t i = token[0] == '-' ? 1 : 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < token.size() && IsDigit(token[i])) ++i;
    return i > start;
  };
  if (i < token.size() && token[i] == '0') {
    ++i;
  } else if (!digits()) {
    return false;
  }
  if (i < token.size() && token[i] == '.' && (++i, !digits())) {
    return false;
  }
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
      ++i;
    }
    if (!digits()) {
      return false;
    }
  }
  return i == token.size();
}

// The code unit of the four hexadecimal digits at `at`, or -1.
long Hex4At(const std::string& text, std::size_t at) {
  if (at + 4 > text.size()) {
    return -1;
  }
  long unit = 0;
  for (std::size_t i = at; i < at + 4; ++i) {
    const char c = text[i];
    const int digit = IsDigit(c)               ? c - '0'
                      : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                      : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                               : -1;
    if (digit < 0) {
      return -1;
    }
    unit = unit * 16 + digit;
  }
  return unit;
}

// The text with every lone surrogate escape inside a string replaced by
// "\ufffd" and every number beyond a double's range by 0; nothing else
// changes, so the replacements never make invalid text valid.
std::string Tamed(const std::string& text) {
  std::string out;
  bool inString = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (inString && c == '\\' && text.compare(i, 2, "\\u") == 0) {
      const long unit = Hex4At(text, i + 2);
      if (unit >= 0xD800 && unit <= 0xDFFF) {
        const long low = text.compare(i + 6, 2, "\\u") == 0 ? Hex4At(text, i + 8) : -1;
        const bool pair = unit <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF;
        out += pair ? text.substr(i, 12) : "\\ufffd";
        i += pair ? 12 : 6;
        continue;
      }
    }
    if (inString && c == '\\') {
      out += text.substr(i, 2);
      i += 2;
      continue;
    }
    if (!inString && (c == '-' || IsDigit(c))) {
      std::size_t end = i;
      while (end < text.size() && text[end] != '\0' && std::strchr("+-.eE0123456789", text[end])) {
        ++end;
      }
      const std::string token = text.substr(i, end - i);
      const bool tooLarge = IsJsonNumber(token) && std::isinf(std::strtod(token.c_str(), nullptr));
      out += tooLarge ? "0" : token;
      i = end;
      continue;
    }
    if (c == '"') {
      inString = !inString;
    }
    out += c;
    ++i;
  }
  return out;
}

std::set<std::string> Names(const nlohmann::ordered_json& object) {
  std::set<std::string> names;
  for (const auto& item : object.items()) {
    names.insert(item.key());
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto ours = ParseJsonMessage(text);
  if (DecodeUtf8Lossy(text) != text) {
    return 0;
  }
  // No JSON text holds a NUL byte; nlohmann takes one for the end of the input.
  if (text.find('\0') != std::string::npos) {
    Require(!ours.has_value(), "text with a NUL byte accepted");
    return 0;
  }
  const std::string tamed = Tamed(text);
  const bool valid = nlohmann::ordered_json::accept(tamed);
  if (valid && Depth(text) >= 500) {
    return 0;
  }
  Require(ours.has_value() == valid, valid ? "valid text refused" : "invalid text accepted");
  if (!valid) {
    return 0;
  }
  const auto theirs = nlohmann::ordered_json::parse(tamed);
  if (theirs.is_object()) {
    Require(ours->is_object() && Names(*ours) == Names(theirs), "member names");
  } else if (theirs.is_string()) {
    Require(ours->is_string() && ours->get<std::string>() == theirs.get<std::string>(),
            "string value");
  } else if (theirs.is_number()) {
    const std::size_t bom = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    const auto first = text.find_first_not_of(" \t\r\n", bom);
    const auto last = text.find_last_not_of(" \t\r\n");
    Require(
        IsJsonNumberText(*ours) && JsonNumberText(*ours) == text.substr(first, last - first + 1),
        "number text");
  }
  return 0;
}
