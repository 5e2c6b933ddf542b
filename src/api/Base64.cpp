#include "api/Base64.h"

#include <array>

#include "util/Exception.h"

namespace {

constexpr char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrl[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string Encode(std::string_view bytes, const char* alphabet, bool pad) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned n = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += alphabet[(n >> 6) & 63];
    out += alphabet[n & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) {
      n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    }
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    if (rest == 2) {
      out += alphabet[(n >> 6) & 63];
    }
    if (pad) {
      out.append(3 - rest, '=');
    }
  }
  return out;
}

// Decodes into `out`, which may be the text's own first byte: each group of
// four characters becomes three bytes written behind the characters still to
// be read. Returns the number of bytes written.
std::size_t DecodeTo(std::string_view text, char* out, const char* alphabet, bool padded) {
  std::array<int, 256> values;
  values.fill(-1);
  for (int v = 0; v < 64; ++v) {
    values[static_cast<unsigned char>(alphabet[v])] = v;
  }
  std::size_t length = text.size();
  if (padded) {
    if (length % 4 != 0) {
      throw Exception("Texto base64 com tamanho inválido.");
    }
    for (int k = 0; k < 2 && length > 0 && text[length - 1] == '='; ++k) {
      --length;
    }
  }
  if (length % 4 == 1) {
    throw Exception("Texto base64 com tamanho inválido.");
  }
  char* next = out;
  // Whole groups of four characters make three bytes at a time.
  std::size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    const int a = values[static_cast<unsigned char>(text[i])];
    const int b = values[static_cast<unsigned char>(text[i + 1])];
    const int c = values[static_cast<unsigned char>(text[i + 2])];
    const int d = values[static_cast<unsigned char>(text[i + 3])];
    if ((a | b | c | d) < 0) {
      break;  // the character-by-character loop below names the position
    }
    const unsigned n = (static_cast<unsigned>(a) << 18) | (static_cast<unsigned>(b) << 12) |
                       (static_cast<unsigned>(c) << 6) | static_cast<unsigned>(d);
    next[0] = static_cast<char>(n >> 16);
    next[1] = static_cast<char>((n >> 8) & 0xFF);
    next[2] = static_cast<char>(n & 0xFF);
    next += 3;
  }
  unsigned buffer = 0;
  int bits = 0;
  for (; i < length; ++i) {
    const int value = values[static_cast<unsigned char>(text[i])];
    if (value < 0) {
      throw Exception("Caractere inválido no texto base64 na posição " + std::to_string(i + 1) +
                      ".");
    }
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      *next++ = static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return static_cast<std::size_t>(next - out);
}

std::string Decode(std::string_view text, const char* alphabet, bool padded) {
  // Sized once and filled through a pointer: a document is megabytes long.
  std::string out(text.size() * 3 / 4, '\0');
  out.resize(DecodeTo(text, out.data(), alphabet, padded));
  return out;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  return Encode(bytes, kStandard, true);
}

std::string Base64Decode(std::string_view text) {
  return Decode(text, kStandard, true);
}

std::string Base64DecodeInPlace(std::string text) {
  text.resize(DecodeTo(text, text.data(), kStandard, true));
  return text;
}

std::string Base64UrlEncode(std::string_view bytes) {
  return Encode(bytes, kUrl, false);
}

std::string Base64UrlDecode(std::string_view text) {
  return Decode(text, kUrl, false);
}
