#pragma once

#include <string>
#include <string_view>

namespace platform {

// Windows-1252 <-> UTF-8, the ANSI code page of a Brazilian Windows system.
// Unmapped or invalid input becomes '?' towards 1252 and U+FFFD towards UTF-8.
std::string Cp1252ToUtf8(std::string_view ansi);
std::string Utf8ToCp1252(std::string_view utf8);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// Decodes the next code point of a UTF-8 text at `pos`, advancing it;
// malformed sequences give U+FFFD and skip one byte.
char32_t NextCodePoint(std::string_view utf8, std::size_t& pos);

}  // namespace platform
