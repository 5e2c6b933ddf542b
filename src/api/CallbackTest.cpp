#include "api/CallbackTest.h"

#include "api/DmSitef.h"
#include "api/JsonMessage.h"
#include "api/TransactionResult.h"
#include "api/WireJson.h"

std::string TestarCallback(const std::string& json, const std::string& baseAddress,
                           const std::string& secretKey, const TRestOptions& options) {
  try {
    const auto message = ParseJsonMessage(json);
    if (!message || !message->is_object()) {
      return "O texto não é um objeto JSON.";
    }
    const TRESTResponse response =
        execRequest(TRESTRequestMethod::rmPOST, baseAddress + TDmSitef::GenerateJWT(secretKey), {},
                    WireJson(*message), options);
    if (response.StatusCode >= 200 && response.StatusCode <= 204) {
      return "Confirmou!";
    }
    if (const auto text = CallbackMessage(response.Content)) {
      return "Code: " + std::to_string(response.StatusCode) + " - Message: " + *text;
    }
    return std::to_string(response.StatusCode) + " - " + response.StatusText;
  } catch (const std::exception& error) {
    return error.what();
  }
}
