#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "util/Exception.h"

// Access tokens of the sale back office (JWS compact serialization, HMAC) and
// the callback tokens the gateway signs itself.

// The token's signature does not verify, its "exp" has passed or its "nbf"
// lies ahead: "Acesso não autorizado.".
class EAccessDenied : public Exception {
 public:
  EAccessDenied() : Exception("Acesso não autorizado.") {}
};

// Verifies an HS256 token under the key and returns its claims (a JSON object,
// read with GetValue). Signatures are compared in constant time. A token that
// cannot be parsed, or whose "alg" is not HS256, raises Exception with its own
// message; a bad signature, an "exp" at or before nowUnixSeconds or an "nbf"
// after it raises EAccessDenied.
nlohmann::ordered_json VerifyAccessToken(const std::string& token, const std::string& key,
                                         std::int64_t nowUnixSeconds);

// A compact token with the header {"typ":"JWT","alg":"HS384"}, the given
// payload JSON text, signed with HMAC-SHA-384 under the key's bytes (whatever
// their length).
std::string SignHS384(const std::string& key, const std::string& payloadJson);
