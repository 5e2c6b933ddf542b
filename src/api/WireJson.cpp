#include "api/WireJson.h"

#include <cstdio>

#include "api/JsonMessage.h"
#include "platform/CodePage1252.h"

namespace {

void AppendUnicodeEscape(std::string& out, unsigned unit) {
  char buffer[7];
  std::snprintf(buffer, sizeof buffer, "\\u%04X", unit & 0xFFFFu);
  out += buffer;
}

}  // namespace

std::string WireString(std::string_view utf8) {
  std::string out = "\"";
  out.reserve(utf8.size() + 2);
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t cp = platform::NextCodePoint(utf8, pos);
    switch (cp) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '/':
        out += "\\/";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (cp < 0x20 || (cp > 0x7F && cp <= 0xFFFF)) {
          AppendUnicodeEscape(out, cp);
        } else if (cp > 0xFFFF) {
          const char32_t offset = cp - 0x10000;
          AppendUnicodeEscape(out, 0xD800 + (offset >> 10));
          AppendUnicodeEscape(out, 0xDC00 + (offset & 0x3FF));
        } else {
          out += static_cast<char>(cp);
        }
    }
  }
  out += '"';
  return out;
}

TWireObject& TWireObject::AddRaw(std::string_view name, std::string_view json) {
  if (!members_.empty()) {
    members_ += ',';
  }
  members_ += WireString(name);
  members_ += ':';
  members_ += json;
  return *this;
}

TWireObject& TWireObject::Add(std::string_view name, std::string_view text) {
  return AddRaw(name, WireString(text));
}

TWireObject& TWireObject::Add(std::string_view name, std::int64_t number) {
  return AddRaw(name, std::to_string(number));
}

TWireObject& TWireObject::Add(std::string_view name, bool value) {
  return AddRaw(name, value ? "true" : "false");
}

TWireObject& TWireObject::Add(std::string_view name, Currency amount) {
  return AddRaw(name, CurrencyWireText(amount));
}

TWireObject& TWireObject::Add(std::string_view name, const TWireObject& object) {
  return AddRaw(name, object.Text());
}

TWireObject& TWireObject::Add(std::string_view name, const TWireArray& array) {
  return AddRaw(name, array.Text());
}

TWireObject& TWireObject::AddNull(std::string_view name) {
  return AddRaw(name, "null");
}

TWireArray& TWireArray::AddRaw(std::string_view json) {
  if (!elements_.empty()) {
    elements_ += ',';
  }
  elements_ += json;
  return *this;
}

TWireArray& TWireArray::Add(std::string_view text) {
  return AddRaw(WireString(text));
}

TWireArray& TWireArray::Add(const TWireObject& object) {
  return AddRaw(object.Text());
}

std::string CurrencyWireText(Currency amount) {
  const std::int64_t raw = amount.Raw();
  const std::uint64_t magnitude =
      raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
  std::string text = (raw < 0 ? "-" : "") + std::to_string(magnitude / Currency::kScale);
  std::string fraction = std::to_string(magnitude % Currency::kScale);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') {
    fraction.pop_back();
  }
  if (!fraction.empty()) {
    text += "." + fraction;
  }
  return text;
}

std::string WireJson(const nlohmann::ordered_json& value) {
  using Type = nlohmann::ordered_json::value_t;
  switch (value.type()) {
    case Type::object: {
      std::string out = "{";
      for (auto it = value.begin(); it != value.end(); ++it) {
        if (out.size() > 1) {
          out += ',';
        }
        out += WireString(it.key()) + ":" + WireJson(it.value());
      }
      return out + "}";
    }
    case Type::array: {
      std::string out = "[";
      for (const auto& element : value) {
        if (out.size() > 1) {
          out += ',';
        }
        out += WireJson(element);
      }
      return out + "]";
    }
    case Type::string:
      return WireString(value.get_ref<const std::string&>());
    case Type::binary:
      if (IsJsonNumberText(value)) {
        return JsonNumberText(value);
      }
      return "null";
    case Type::boolean:
      return value.get<bool>() ? "true" : "false";
    case Type::null:
    case Type::discarded:
      return "null";
    default:
      return value.dump();
  }
}
