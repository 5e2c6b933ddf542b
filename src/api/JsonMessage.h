#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

// Parsing of the JSON messages clients send, and the member accessor every
// request handler reads them with.
//
// A member name that appears twice in one object keeps its first value. A
// surrogate escape without its other half ("\ud800") reads as U+FFFD. Every
// number is kept as the exact text it was received with (a double would turn
// "10.50" into 10.5), held as a binary value of subtype kJsonNumberSubtype:
// read members with GetValue, write documents with WireJson.

inline constexpr std::uint64_t kJsonNumberSubtype = 0x4E;  // 'N'

// The document, or nothing when the text is not JSON (or nests deeper than
// 512 levels).
std::optional<nlohmann::ordered_json> ParseJsonMessage(const std::string& text);

// The member's value as text: a string's content, a number's received text,
// "true", "false" or "null"; an object or an array gives empty text. Raises
// Exception "Campo " + name + " nao encontrado." when the object has no such
// member (or is not an object).
std::string GetValue(const nlohmann::ordered_json& object, const std::string& name);

bool IsJsonNumberText(const nlohmann::ordered_json& value);
// The received text of a number value (IsJsonNumberText).
std::string JsonNumberText(const nlohmann::ordered_json& value);
