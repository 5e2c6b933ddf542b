#include "api/JsonMessage.h"

#include <cstring>
#include <vector>

#include "platform/CodePage1252.h"
#include "util/Exception.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kMaxDepth = 512;
constexpr char32_t kReplacementCharacter = 0xFFFD;

// A strict reader of RFC 8259 text (a leading UTF-8 byte order mark is
// skipped) that builds the document in one pass. String contents are copied
// in runs, so a member of megabytes costs little more than a memcpy.
class Reader {
 public:
  Reader(const char* begin, const char* end) : p_(begin), end_(end) {}

  bool Document(Json& out) {
    if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) {
      p_ += 3;
    }
    SkipBlanks();
    if (!Value(out, 0)) {
      return false;
    }
    SkipBlanks();
    return p_ == end_;
  }

 private:
  void SkipBlanks() {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) {
      ++p_;
    }
  }

  bool Literal(const char* word, std::size_t size) {
    if (static_cast<std::size_t>(end_ - p_) < size || std::memcmp(p_, word, size) != 0) {
      return false;
    }
    p_ += size;
    return true;
  }

  bool Value(Json& out, std::size_t depth) {
    if (p_ == end_) {
      return false;
    }
    switch (*p_) {
      case '{':
        return Object(out, depth);
      case '[':
        return Array(out, depth);
      case '"': {
        std::string text;
        if (!String(text)) {
          return false;
        }
        out = std::move(text);
        return true;
      }
      case 't':
        out = true;
        return Literal("true", 4);
      case 'f':
        out = false;
        return Literal("false", 5);
      case 'n':
        out = nullptr;
        return Literal("null", 4);
      default:
        return Number(out);
    }
  }

  bool Object(Json& out, std::size_t depth) {
    if (depth >= kMaxDepth) {
      return false;
    }
    ++p_;
    out = Json::object();
    auto& members = out.get_ref<Json::object_t&>();
    SkipBlanks();
    if (p_ != end_ && *p_ == '}') {
      ++p_;
      return true;
    }
    for (;;) {
      std::string name;
      if (p_ == end_ || *p_ != '"' || !String(name)) {
        return false;
      }
      SkipBlanks();
      if (p_ == end_ || *p_ != ':') {
        return false;
      }
      ++p_;
      SkipBlanks();
      Json value;
      if (!Value(value, depth + 1)) {
        return false;
      }
      // A repeated name keeps its first value.
      members.emplace(std::move(name), std::move(value));
      SkipBlanks();
      if (p_ == end_) {
        return false;
      }
      if (*p_ == '}') {
        ++p_;
        return true;
      }
      if (*p_ != ',') {
        return false;
      }
      ++p_;
      SkipBlanks();
    }
  }

  bool Array(Json& out, std::size_t depth) {
    if (depth >= kMaxDepth) {
      return false;
    }
    ++p_;
    out = Json::array();
    auto& elements = out.get_ref<Json::array_t&>();
    SkipBlanks();
    if (p_ != end_ && *p_ == ']') {
      ++p_;
      return true;
    }
    for (;;) {
      Json& element = elements.emplace_back();
      if (!Value(element, depth + 1)) {
        return false;
      }
      SkipBlanks();
      if (p_ == end_) {
        return false;
      }
      if (*p_ == ']') {
        ++p_;
        return true;
      }
      if (*p_ != ',') {
        return false;
      }
      ++p_;
      SkipBlanks();
    }
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?, kept as its text, so a
  // value beyond the range of a double is read like any other.
  bool Number(Json& out) {
    const char* start = p_;
    if (*p_ == '-') {
      ++p_;
    }
    if (p_ == end_ || !IsDigit(*p_)) {
      return false;
    }
    if (*p_ == '0') {
      ++p_;
    } else {
      while (p_ != end_ && IsDigit(*p_)) ++p_;
    }
    if (p_ != end_ && *p_ == '.') {
      ++p_;
      if (p_ == end_ || !IsDigit(*p_)) {
        return false;
      }
      while (p_ != end_ && IsDigit(*p_)) ++p_;
    }
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      if (p_ != end_ && (*p_ == '+' || *p_ == '-')) {
        ++p_;
      }
      if (p_ == end_ || !IsDigit(*p_)) {
        return false;
      }
      while (p_ != end_ && IsDigit(*p_)) ++p_;
    }
    out = Json::binary(std::vector<std::uint8_t>(start, p_), kJsonNumberSubtype);
    return true;
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    return -1;
  }

  bool Hex4(unsigned& unit) {
    if (end_ - p_ < 4) {
      return false;
    }
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = HexDigit(p_[i]);
      if (digit < 0) {
        return false;
      }
      unit = unit * 16 + static_cast<unsigned>(digit);
    }
    p_ += 4;
    return true;
  }

  // After a backslash: one escape, appended as UTF-8.
  bool Escape(std::string& out) {
    if (p_ == end_) {
      return false;
    }
    const char c = *p_++;
    switch (c) {
      case '"':
      case '\\':
      case '/':
        out += c;
        return true;
      case 'b':
        out += '\b';
        return true;
      case 'f':
        out += '\f';
        return true;
      case 'n':
        out += '\n';
        return true;
      case 'r':
        out += '\r';
        return true;
      case 't':
        out += '\t';
        return true;
      case 'u':
        break;
      default:
        return false;
    }
    unsigned unit = 0;
    if (!Hex4(unit)) {
      return false;
    }
    if (unit < 0xD800 || unit > 0xDFFF) {
      platform::AppendUtf8(out, unit);
      return true;
    }
    // A high surrogate followed by a low one is one character. A surrogate
    // without its other half (a text cut inside an emoji by the client) is
    // U+FFFD; what follows it is read on its own.
    unsigned low = 0;
    if (unit <= 0xDBFF && end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
      const char* const afterHigh = p_;
      p_ += 2;
      if (Hex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
        platform::AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        return true;
      }
      p_ = afterHigh;
    }
    platform::AppendUtf8(out, kReplacementCharacter);
    return true;
  }

  // One well-formed UTF-8 sequence of two to four bytes (no overlong form,
  // no surrogate, nothing above U+10FFFF), appended as it is.
  bool Utf8Sequence(std::string& out) {
    const auto lead = static_cast<unsigned char>(*p_);
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead == 0xE0) {
      length = 3;
      low = 0xA0;
    } else if (lead == 0xED) {
      length = 3;
      high = 0x9F;
    } else if (lead >= 0xE1 && lead <= 0xEF) {
      length = 3;
    } else if (lead == 0xF0) {
      length = 4;
      low = 0x90;
    } else if (lead >= 0xF1 && lead <= 0xF3) {
      length = 4;
    } else if (lead == 0xF4) {
      length = 4;
      high = 0x8F;
    } else {
      return false;
    }
    if (end_ - p_ < length) {
      return false;
    }
    for (int i = 1; i < length; ++i) {
      const auto byte = static_cast<unsigned char>(p_[i]);
      if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) {
        return false;
      }
    }
    out.append(p_, static_cast<std::size_t>(length));
    p_ += length;
    return true;
  }

  static bool Plain(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\';
  }

  // Length of the run from `p` of bytes that stand for themselves in a
  // string: printable ASCII other than the quote and the backslash. Eight
  // bytes are looked at per step; a word flagged by mistake (a borrow next to
  // a real stop) is checked byte by byte and the scan goes on.
  static std::size_t PlainRun(const char* p, const char* end) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    const char* start = p;
    for (;;) {
      while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        const std::uint64_t quote = word ^ (kOnes * '"');
        const std::uint64_t slash = word ^ (kOnes * '\\');
        // High bit of a byte: zero after the XOR (quote, backslash), below
        // 0x20 (control) or already set (non-ASCII).
        const std::uint64_t flags =
            ((quote - kOnes) & ~quote) | ((slash - kOnes) & ~slash) | (word - kOnes * 0x20) | word;
        if ((flags & kHighs) != 0) {
          break;
        }
        p += 8;
      }
      const char* stop = end - p >= 8 ? p + 8 : end;
      while (p != stop && Plain(*p)) ++p;
      if (p != stop || p == end) {
        return static_cast<std::size_t>(p - start);
      }
    }
  }

  bool String(std::string& out) {
    ++p_;
    for (;;) {
      const std::size_t run = PlainRun(p_, end_);
      out.append(p_, run);
      p_ += run;
      if (p_ == end_) {
        return false;
      }
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        ++p_;
        return true;
      }
      if (c == '\\') {
        ++p_;
        if (!Escape(out)) {
          return false;
        }
      } else if (c < 0x20 || !Utf8Sequence(out)) {
        return false;
      }
    }
  }

  const char* p_;
  const char* end_;
};

}  // namespace

std::optional<Json> ParseJsonMessage(const std::string& text) {
  Json root;
  Reader reader(text.data(), text.data() + text.size());
  if (!reader.Document(root)) {
    return std::nullopt;
  }
  return root;
}

bool IsJsonNumberText(const Json& value) {
  return value.is_binary() && value.get_binary().has_subtype() &&
         value.get_binary().subtype() == kJsonNumberSubtype;
}

std::string JsonNumberText(const Json& value) {
  const auto& bytes = value.get_binary();
  return std::string(bytes.begin(), bytes.end());
}

std::string GetValue(const Json& object, const std::string& name) {
  const auto member = object.is_object() ? object.find(name) : object.end();
  if (!object.is_object() || member == object.end()) {
    throw Exception("Campo " + name + " nao encontrado.");
  }
  const Json& value = *member;
  if (value.is_string()) {
    return value.get<std::string>();
  }
  if (IsJsonNumberText(value)) {
    return JsonNumberText(value);
  }
  if (value.is_boolean()) {
    return value.get<bool>() ? "true" : "false";
  }
  if (value.is_null()) {
    return "null";
  }
  return "";
}
