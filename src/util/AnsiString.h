#pragma once

#include <ostream>
#include <string>
#include <string_view>

// 8-bit text in the system ANSI code page (Windows-1252 on Linux): the kind
// exchanged with the payment library and stored in TEF record files. A type of
// its own, so it never mixes with UTF-8 std::string by accident; cross over
// only with VornCliSiTefStr and VornAnsiStr.
struct AnsiCharTraits : std::char_traits<char> {};
using AnsiString = std::basic_string<char, AnsiCharTraits>;
using AnsiStringView = std::basic_string_view<char, AnsiCharTraits>;

// The raw bytes, for I/O.
inline std::string_view AnsiBytes(AnsiStringView text) {
  return {text.data(), text.size()};
}
inline AnsiString AnsiFromBytes(std::string_view bytes) {
  return {bytes.data(), bytes.size()};
}

inline std::ostream& operator<<(std::ostream& out, const AnsiString& text) {
  return out << AnsiBytes(text);
}
