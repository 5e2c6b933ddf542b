#pragma once

#include <string>
#include <string_view>

namespace platform {

// Windows-1252 <-> UTF-8, the ANSI code page of a Brazilian Windows system.
// Every byte has a character (the five undefined ones are the C1 controls of
// the same value, as on Windows); characters outside the code page become
// '?', invalid UTF-8 is read as U+FFFD first.
std::string Cp1252ToUtf8(std::string_view ansi);
std::string Utf8ToCp1252(std::string_view utf8);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// Decodes the next code point of a UTF-8 text at `pos`, advancing it;
// malformed sequences give U+FFFD and skip one byte.
char32_t NextCodePoint(std::string_view utf8, std::size_t& pos);

}  // namespace platform
