#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// List membership and padding over UTF-8 text.

// True when the text equals one of the entries (case-sensitive).
bool VornStrIn(const std::string& text, const std::vector<std::string>& list);
// True when the text equals one of the entries, letter case ignored.
bool VornTextIn(const std::string& text, const std::vector<std::string>& list);
// Right-aligns in width n with the fill on the left; a longer text keeps its
// first n characters. Widths count characters, not bytes.
std::string VornPadL(const std::string& text, int n, char fill);
// Decimal digits padded with "0" on the left to width n (0 to 255).
std::string VornStrZero(std::int32_t value, int n);

// Text with leading and trailing blanks and control characters removed.
std::string Trim(const std::string& text);
// The same, as a view into `text`.
std::string_view TrimView(std::string_view text);
std::string UpperCase(const std::string& text);
std::string LowerCase(const std::string& text);
// Equality with letter case ignored (ASCII and Latin-1 letters).
bool SameText(const std::string& a, const std::string& b);
