#include "Scenario.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "DefaultScenario.h"
#include "HostPath.h"
#include "LibraryFolder.h"

namespace clisitef_sim {
namespace {

// Members whose name starts with "_" are comments and are never looked at.
bool IsComment(const std::string& key) {
  return !key.empty() && key.front() == '_';
}

class Validator {
 public:
  explicit Validator(const Json& doc) : doc_(doc) {}

  void Run() {
    if (!doc_.is_object()) {
      Fail("", "the scenario must be a JSON object");
    }
    for (const auto& [key, value] : doc_.items()) {
      if (key == "configure" || key == "pinpad" || key == "pending") {
        Int(key, value);
      } else if (key == "finalize_delay_ms") {
        Int(key, value, 0, 600000);
      } else if (key == "card") {
        Card(value);
      } else if (key == "functions") {
        Functions(value);
      } else if (!IsComment(key)) {
        Fail(key, "unknown member");
      }
    }
  }

 private:
  [[noreturn]] static void Fail(const std::string& path, const std::string& problem) {
    throw ScenarioError(path.empty() ? problem : path + ": " + problem);
  }

  static void Int(const std::string& path, const Json& value, long long low = INT32_MIN,
                  long long high = INT32_MAX) {
    if (!value.is_number_integer()) {
      Fail(path, "must be a whole number");
    }
    const bool fits = value.is_number_unsigned()
                          ? value.get<unsigned long long>() <= static_cast<unsigned long long>(high)
                          : value.get<long long>() >= low && value.get<long long>() <= high;
    if (!fits) {
      Fail(path, "must be between " + std::to_string(low) + " and " + std::to_string(high));
    }
  }

  static void Text(const std::string& path, const Json& value) {
    if (!value.is_string()) {
      Fail(path, "must be a text");
    }
  }

  static void Object(const std::string& path, const Json& value) {
    if (!value.is_object()) {
      Fail(path, "must be an object");
    }
  }

  static void Card(const Json& card) {
    Object("card", card);
    for (const auto& [key, value] : card.items()) {
      const std::string path = "card." + key;
      if (key == "result") {
        Int(path, value);
      } else if (key == "message" || key == "track1" || key == "track2") {
        Text(path, value);
      } else if (!IsComment(key)) {
        Fail(path, "unknown member");
      }
    }
  }

  void Functions(const Json& functions) {
    Object("functions", functions);
    for (const auto& [name, function] : functions.items()) {
      const std::string path = "functions.\"" + name + "\"";
      Object(path, function);
      for (const auto& [key, value] : function.items()) {
        const std::string member = path + "." + key;
        if (key == "steps") {
          Steps(member, value);
        } else if (key == "final" || key == "abort_status" || key == "start") {
          Int(member, value);
        } else if (key == "final_text") {
          Text(member, value);
        } else if (!IsComment(key)) {
          Fail(member, "unknown member");
        }
      }
    }
  }

  void Steps(const std::string& path, const Json& steps) {
    if (!steps.is_array()) {
      Fail(path, "must be an array of steps");
    }
    for (std::size_t i = 0; i < steps.size(); ++i) {
      Step(path + "[" + std::to_string(i) + "]", steps[i]);
    }
  }

  void Step(const std::string& path, const Json& step) {
    Object(path, step);
    if (!step.contains("cmd")) {
      Fail(path, "a step needs \"cmd\"");
    }
    for (const auto& [key, value] : step.items()) {
      const std::string member = path + "." + key;
      if (key == "cmd" || key == "type") {
        Int(member, value);
      } else if (key == "min" || key == "max") {
        Int(member, value, std::numeric_limits<short>::min(), std::numeric_limits<short>::max());
      } else if (key == "delay_ms") {
        Int(member, value, 0, 600000);
      } else if (key == "text" || key == "expect") {
        Text(member, value);
      } else if (key == "branches") {
        Branches(member, value);
      } else if (!IsComment(key)) {
        Fail(member, "unknown member");
      }
    }
  }

  void Branches(const std::string& path, const Json& branches) {
    Object(path, branches);
    const Json& functions = doc_.contains("functions") ? doc_["functions"] : Json::object();
    for (const auto& [answer, target] : branches.items()) {
      const std::string member = path + ".\"" + answer + "\"";
      if (target.is_array()) {
        Steps(member, target);
      } else if (target.is_string()) {
        if (!functions.is_object() || !functions.contains(target.get<std::string>())) {
          Fail(member, "names no entry of \"functions\"");
        }
      } else if (target.is_number_integer()) {
        Int(member, target);
      } else {
        Fail(member, "must be an array of steps, the name of a function or a final status");
      }
    }
  }

  const Json& doc_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw ScenarioError(path + ": cannot be read");
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool FileExists(const std::string& path) {
  return std::ifstream(path).good();
}

}  // namespace

Scenario Scenario::Parse(std::string source, std::string_view text) {
  auto doc = std::make_shared<Json>();
  try {
    *doc = Json::parse(text.begin(), text.end());
    Validator(*doc).Run();
  } catch (const Json::exception& e) {
    throw ScenarioError(source + ": " + e.what());
  } catch (const ScenarioError& e) {
    throw ScenarioError(source + ": " + e.what());
  }
  return Scenario(std::move(source), std::move(doc));
}

Scenario Scenario::Load() {
  if (const char* named = std::getenv("CLISITEF_SIM_SCENARIO"); named != nullptr && *named != 0) {
    return Parse(named, ReadFile(HostPath(named)));
  }
  const std::string beside = LibraryFolder() + "CliSiTefSim.json";
  if (FileExists(beside)) {
    return Parse(beside, ReadFile(beside));
  }
  return Parse("built-in", kDefaultScenario);
}

const Json& Scenario::Card() const {
  static const Json empty = Json::object();
  return doc_->contains("card") ? (*doc_)["card"] : empty;
}

const Json* Scenario::Function(const std::string& key) const {
  if (!doc_->contains("functions")) {
    return nullptr;
  }
  const Json& functions = (*doc_)["functions"];
  return functions.contains(key) ? &functions[key] : nullptr;
}

int Scenario::IntOr(const Json& object, const char* key, int fallback) {
  return object.contains(key) ? object[key].get<int>() : fallback;
}

std::string Scenario::TextOr(const Json& object, const char* key, const std::string& fallback) {
  return object.contains(key) ? object[key].get<std::string>() : fallback;
}

}  // namespace clisitef_sim
