#include "api/JsonMessage.h"

#include <vector>

#include "util/Exception.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kMaxDepth = 512;

Json NumberText(const std::string& text) {
  return Json::binary(std::vector<std::uint8_t>(text.begin(), text.end()), kJsonNumberSubtype);
}

// Builds the document from parser events. A value whose member name already
// exists in its object is dropped, with everything nested in it.
class FirstNameWinsBuilder {
 public:
  explicit FirstNameWinsBuilder(Json& root) : root_(root) {}

  bool null() {
    Put(Json(nullptr));
    return true;
  }
  bool boolean(bool value) {
    Put(Json(value));
    return true;
  }
  bool number_integer(Json::number_integer_t value) {
    Put(NumberText(std::to_string(value)));
    return true;
  }
  bool number_unsigned(Json::number_unsigned_t value) {
    Put(NumberText(std::to_string(value)));
    return true;
  }
  bool number_float(Json::number_float_t, const std::string& text) {
    Put(NumberText(text));
    return true;
  }
  bool string(std::string& value) {
    Put(Json(std::move(value)));
    return true;
  }
  bool binary(Json::binary_t&) { return false; }
  bool start_object(std::size_t) { return Open(Json::object()); }
  bool start_array(std::size_t) { return Open(Json::array()); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool key(std::string& name) {
    Json* object = containers_.back();
    skipNext_ = object == nullptr || object->contains(name);
    key_ = std::move(name);
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  // Stores the value where the parser stands; null when it is dropped.
  Json* Put(Json value) {
    if (containers_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json* parent = containers_.back();
    if (parent == nullptr) {
      return nullptr;
    }
    if (parent->is_array()) {
      parent->push_back(std::move(value));
      return &parent->back();
    }
    if (skipNext_) {
      return nullptr;
    }
    Json& slot = (*parent)[key_];
    slot = std::move(value);
    return &slot;
  }
  bool Open(Json container) {
    if (containers_.size() >= kMaxDepth) {
      return false;
    }
    containers_.push_back(Put(std::move(container)));
    return true;
  }
  bool Close() {
    containers_.pop_back();
    return true;
  }

  Json& root_;
  std::vector<Json*> containers_;
  std::string key_;
  bool skipNext_ = false;
};

}  // namespace

std::optional<Json> ParseJsonMessage(const std::string& text) {
  Json root;
  FirstNameWinsBuilder builder(root);
  try {
    if (!Json::sax_parse(text, &builder)) {
      return std::nullopt;
    }
  } catch (const nlohmann::json::exception&) {
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
