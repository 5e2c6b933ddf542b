#include "host/Utf8Decode.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {
constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Length of the sequence a lead byte starts, and the allowed range of the
// byte after it (which rules out overlongs, surrogates and > U+10FFFF).
struct Lead {
  int length;
  unsigned char low;
  unsigned char high;
};

Lead Classify(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF)
    return {2, 0x80, 0xBF};
  if (b == 0xE0)
    return {3, 0xA0, 0xBF};
  if (b == 0xED)
    return {3, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF)
    return {3, 0x80, 0xBF};
  if (b == 0xF0)
    return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3)
    return {4, 0x80, 0xBF};
  if (b == 0xF4)
    return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

// Length of the sequence starting at `i` when it is well-formed, else 0.
std::size_t SequenceLength(const std::string& bytes, std::size_t i) {
  const Lead lead = Classify(static_cast<unsigned char>(bytes[i]));
  if (lead.length == 0 || bytes.size() - i < static_cast<std::size_t>(lead.length)) {
    return 0;
  }
  for (int k = 1; k < lead.length; ++k) {
    const auto byte = static_cast<unsigned char>(bytes[i + k]);
    if (byte < (k == 1 ? lead.low : 0x80) || byte > (k == 1 ? lead.high : 0xBF)) {
      return 0;
    }
  }
  return static_cast<std::size_t>(lead.length);
}

// Length of the longest well-formed prefix; ASCII is skipped eight bytes at
// a time.
std::size_t ValidPrefix(const std::string& bytes) {
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    std::uint64_t word;
    if (n - i >= 8 &&
        (std::memcpy(&word, bytes.data() + i, 8), (word & 0x8080808080808080ULL) == 0)) {
      i += 8;
    } else if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
    } else if (const std::size_t length = SequenceLength(bytes, i); length > 0) {
      i += length;
    } else {
      return i;
    }
  }
  return n;
}
}  // namespace

std::string DecodeUtf8Lossy(std::string bytes) {
  // Nearly every message is well-formed: it is then returned as it came.
  const std::size_t valid = ValidPrefix(bytes);
  if (valid == bytes.size()) {
    return bytes;
  }
  std::string out;
  out.reserve(bytes.size());
  out.append(bytes, 0, valid);
  const std::size_t n = bytes.size();
  std::size_t i = valid;
  while (i < n) {
    // Runs of ASCII, nearly all of a JSON message, are copied in one piece.
    std::size_t ascii = i;
    while (ascii < n && static_cast<unsigned char>(bytes[ascii]) < 0x80) {
      ++ascii;
    }
    if (ascii > i) {
      out.append(bytes, i, ascii - i);
      i = ascii;
      continue;
    }
    const auto b = static_cast<unsigned char>(bytes[i]);
    const Lead lead = Classify(b);
    if (lead.length == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool valid = true;
    for (int k = 1; k < lead.length; ++k, ++j) {
      const unsigned char low = k == 1 ? lead.low : 0x80;
      const unsigned char high = k == 1 ? lead.high : 0xBF;
      if (j >= n || static_cast<unsigned char>(bytes[j]) < low ||
          static_cast<unsigned char>(bytes[j]) > high) {
        valid = false;
        break;
      }
    }
    if (valid) {
      out.append(bytes, i, j - i);
    } else {
      out += kReplacement;
    }
    i = j;
  }
  return out;
}
