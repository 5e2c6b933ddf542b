// Client messages through the gateway's JSON reader, checked against
// nlohmann's parser: both accept exactly the same valid UTF-8 texts (below
// the reader's nesting limit; a text with a NUL byte is refused), an accepted object has the same
// member names, and a lone string or number reads back as received.

#include <cstdio>
#include <cstdlib>
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
  const bool valid = nlohmann::ordered_json::accept(text);
  if (valid && Depth(text) >= 500) {
    return 0;
  }
  Require(ours.has_value() == valid, valid ? "valid text refused" : "invalid text accepted");
  if (!valid) {
    return 0;
  }
  const auto theirs = nlohmann::ordered_json::parse(text);
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
