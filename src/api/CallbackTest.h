#pragma once

#include <string>

#include "api/Rest.h"

// The debug window's manual test of the sale API callback: posts the JSON
// text (written again compactly) to the base address followed by a fresh
// callback token, and returns what the window shows: "Confirmou!" for a
// status 200 to 204; "Code: " + status + " - Message: " + the answer's
// "message" when the answer is a JSON object with one; otherwise the status,
// " - " and the status text. A text that is no JSON object, or a request
// that gets no answer, gives the error's own message.
std::string TestarCallback(const std::string& json, const std::string& baseAddress,
                           const std::string& secretKey, const TRestOptions& options);
