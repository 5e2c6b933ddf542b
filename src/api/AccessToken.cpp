#include "api/AccessToken.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <charconv>
#include <cmath>

#include "api/Base64.h"
#include "api/JsonMessage.h"

namespace {

using Json = nlohmann::ordered_json;

std::string Hmac(const EVP_MD* digest, const std::string& key, const std::string& data) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (HMAC(digest, key.data(), static_cast<int>(key.size()),
           reinterpret_cast<const unsigned char*>(data.data()), data.size(), mac,
           &length) == nullptr) {
    throw Exception("Falha ao calcular a assinatura HMAC.");
  }
  return std::string(reinterpret_cast<const char*>(mac), length);
}

Json DecodePart(const std::string& part, const char* what) {
  std::string text;
  try {
    text = Base64UrlDecode(part);
  } catch (const Exception&) {
    throw Exception(std::string("Token de acesso malformado: ") + what + " não está em base64url.");
  }
  auto json = ParseJsonMessage(text);
  if (!json || !json->is_object()) {
    throw Exception(std::string("Token de acesso malformado: ") + what + " não é um objeto JSON.");
  }
  return *json;
}

// A NumericDate claim in seconds, when the token has it.
std::optional<double> TimeClaim(const Json& claims, const std::string& name) {
  if (!claims.contains(name)) {
    return std::nullopt;
  }
  const std::string text = GetValue(claims, name);
  double seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (!IsJsonNumberText(claims.at(name)) || error != std::errc() ||
      end != text.data() + text.size() || !std::isfinite(seconds)) {
    throw Exception("Token de acesso malformado: \"" + name + "\" não é uma data numérica.");
  }
  return seconds;
}

void CheckAlgorithm(const std::string& alg) {
  if (alg == "HS256") {
    return;
  }
  if (alg == "HS384" || alg == "HS512") {
    throw Exception("Algoritmo " + alg + " não aceito: exige chave de pelo menos " + alg.substr(2) +
                    " bits; a chave compartilhada é para HS256.");
  }
  throw Exception("Algoritmo de assinatura não aceito: \"" + alg + "\". Use HS256.");
}

}  // namespace

Json VerifyAccessToken(const std::string& token, const std::string& key,
                       std::int64_t nowUnixSeconds) {
  const auto firstDot = token.find('.');
  const auto secondDot = firstDot == std::string::npos ? firstDot : token.find('.', firstDot + 1);
  if (secondDot == std::string::npos || token.find('.', secondDot + 1) != std::string::npos) {
    throw Exception("Token de acesso malformado: esperadas três partes separadas por \".\".");
  }
  const Json header = DecodePart(token.substr(0, firstDot), "cabeçalho");
  Json claims = DecodePart(token.substr(firstDot + 1, secondDot - firstDot - 1), "conteúdo");
  std::string signature;
  try {
    signature = Base64UrlDecode(token.substr(secondDot + 1));
  } catch (const Exception&) {
    throw Exception("Token de acesso malformado: assinatura não está em base64url.");
  }
  CheckAlgorithm(GetValue(header, "alg"));

  const std::string expected = Hmac(EVP_sha256(), key, token.substr(0, secondDot));
  if (signature.size() != expected.size() ||
      CRYPTO_memcmp(signature.data(), expected.data(), expected.size()) != 0) {
    throw EAccessDenied();
  }
  const auto now = static_cast<double>(nowUnixSeconds);
  const auto expiry = TimeClaim(claims, "exp");
  const auto notBefore = TimeClaim(claims, "nbf");
  if ((expiry && now >= *expiry) || (notBefore && now < *notBefore)) {
    throw EAccessDenied();
  }
  return claims;
}

std::string SignHS384(const std::string& key, const std::string& payloadJson) {
  const std::string signingInput =
      Base64UrlEncode(R"({"typ":"JWT","alg":"HS384"})") + "." + Base64UrlEncode(payloadJson);
  return signingInput + "." + Base64UrlEncode(Hmac(EVP_sha384(), key, signingInput));
}
