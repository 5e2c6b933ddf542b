#pragma once

#include <string>
#include <string_view>

namespace clisitef_sim {

// The library speaks 8-bit Windows-1252 text; scenarios and the ledger are UTF-8.

// Windows-1252 bytes to UTF-8. Lossless: the five bytes without a character
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same value.
std::string AnsiToUtf8(std::string_view ansi);

// UTF-8 to Windows-1252 bytes; a character the code page lacks, or a broken
// UTF-8 sequence, becomes "?".
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace clisitef_sim
