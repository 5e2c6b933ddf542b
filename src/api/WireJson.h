#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "util/Currency.h"

// The JSON text the gateway sends: compact, members in the order they were
// added (a name may appear twice), pure ASCII. Inside strings and member names
// the quote, the backslash and "/" get a backslash; backspace, tab, line feed,
// form feed and carriage return are \b \t \n \f \r; every other character
// below U+0020 and every character above U+007F is "\u" + four upper-case hex
// digits, with a surrogate pair beyond U+FFFF. Invalid UTF-8 is written as
// U+FFFD.

// The escaped text between its double quotes.
std::string WireString(std::string_view utf8);

class TWireArray;

// An object built member by member, written in insertion order.
class TWireObject {
 public:
  TWireObject& Add(std::string_view name, std::string_view text);
  TWireObject& Add(std::string_view name, const char* text) {
    return Add(name, std::string_view(text));
  }
  TWireObject& Add(std::string_view name, const std::string& text) {
    return Add(name, std::string_view(text));
  }
  TWireObject& Add(std::string_view name, std::int64_t number);
  TWireObject& Add(std::string_view name, int number) {
    return Add(name, static_cast<std::int64_t>(number));
  }
  TWireObject& Add(std::string_view name, bool value);
  // An amount in its shortest decimal form (12.34, 10.5, 100).
  TWireObject& Add(std::string_view name, Currency amount);
  TWireObject& Add(std::string_view name, const TWireObject& object);
  TWireObject& Add(std::string_view name, const TWireArray& array);
  TWireObject& AddNull(std::string_view name);

  std::string Text() const { return "{" + members_ + "}"; }

 private:
  TWireObject& AddRaw(std::string_view name, std::string_view json);
  std::string members_;
};

// An array built element by element.
class TWireArray {
 public:
  TWireArray& Add(std::string_view text);
  TWireArray& Add(const TWireObject& object);

  std::string Text() const { return "[" + elements_ + "]"; }

 private:
  TWireArray& AddRaw(std::string_view json);
  std::string elements_;
};

// The shortest decimal form of an amount: 12.34, 10.5, 100, -0.01.
std::string CurrencyWireText(Currency amount);

// Any parsed document written out again with the same rules. A number keeps
// the text it was received with (see ParseJsonMessage).
std::string WireJson(const nlohmann::ordered_json& value);
