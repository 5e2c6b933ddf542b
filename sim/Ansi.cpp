#include "Ansi.h"

#include <array>
#include <cstdint>

namespace clisitef_sim {
namespace {

// Characters of the bytes 0x80..0x9F; 0 marks a byte without a character,
// which maps to the control character of the same value.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t ByteToChar(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F && kHighControls[byte - 0x80] != 0) {
    return kHighControls[byte - 0x80];
  }
  return byte;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char CharToByte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    return static_cast<char>(c);
  }
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    const char32_t mapped = kHighControls[i] != 0 ? kHighControls[i] : 0x80 + i;
    if (mapped == c) {
      return static_cast<char>(0x80 + i);
    }
  }
  return '?';
}

// Decodes one UTF-8 sequence at `pos`, advancing it; returns false on a broken one.
bool DecodeUtf8(std::string_view in, std::size_t& pos, char32_t& c) {
  const auto lead = static_cast<unsigned char>(in[pos]);
  int extra = 0;
  if (lead < 0x80) {
    c = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    c = lead & 0x1F;
    extra = 1;
  } else if ((lead & 0xF0) == 0xE0) {
    c = lead & 0x0F;
    extra = 2;
  } else if ((lead & 0xF8) == 0xF0) {
    c = lead & 0x07;
    extra = 3;
  } else {
    ++pos;
    return false;
  }
  ++pos;
  for (int i = 0; i < extra; ++i, ++pos) {
    if (pos >= in.size() || (static_cast<unsigned char>(in[pos]) & 0xC0) != 0x80) {
      return false;
    }
    c = (c << 6) | (static_cast<unsigned char>(in[pos]) & 0x3F);
  }
  return true;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (const char byte : ansi) {
    AppendUtf8(out, ByteToChar(static_cast<unsigned char>(byte)));
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t c = 0;
    out += DecodeUtf8(utf8, pos, c) ? CharToByte(c) : '?';
  }
  return out;
}

}  // namespace clisitef_sim
