#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

namespace clisitef_sim {

using Json = nlohmann::ordered_json;

// A scenario that cannot be read or does not have the documented shape.
class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A validated scenario document. Copies share the document, so step pointers
// taken from one stay valid while any copy lives.
class Scenario {
 public:
  // Parses and validates `text`; `source` names it in error messages.
  static Scenario Parse(std::string source, std::string_view text);

  // The scenario in force now: the file named by CLISITEF_SIM_SCENARIO, else
  // CliSiTefSim.json beside the library, else the built-in default.
  static Scenario Load();

  const std::string& Source() const { return source_; }
  int Configure() const { return IntOr(*doc_, "configure", 0); }
  int Pinpad() const { return IntOr(*doc_, "pinpad", 1); }
  int Pending() const { return IntOr(*doc_, "pending", 0); }
  int FinalizeDelayMs() const { return IntOr(*doc_, "finalize_delay_ms", 0); }
  // The "card" object of LeCartaoDiretoEx, or an empty object.
  const Json& Card() const;
  // The entry of "functions" under `key`, or nullptr.
  const Json* Function(const std::string& key) const;

  static int IntOr(const Json& object, const char* key, int fallback);
  static std::string TextOr(const Json& object, const char* key, const std::string& fallback);

 private:
  Scenario(std::string source, std::shared_ptr<const Json> doc)
      : source_(std::move(source)), doc_(std::move(doc)) {}

  std::string source_;
  std::shared_ptr<const Json> doc_;
};

}  // namespace clisitef_sim
