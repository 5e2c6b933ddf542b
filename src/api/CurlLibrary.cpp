#include "api/CurlLibrary.h"

#include <optional>
#include <string>

#include "platform/Platform.h"
#include "util/Exception.h"

namespace {

// The bound and globally initialized library, or nothing when it cannot be
// reached; it stays loaded until the process ends.
std::optional<TCurlLibrary> Load() {
  std::optional<TCurlLibrary> curl = TCurlLibrary::Bind();
  if (!curl || curl->global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    return std::nullopt;
  }
  return curl;
}

}  // namespace

const TCurlLibrary& TCurlLibrary::Get() {
  static const std::optional<TCurlLibrary> library = Load();
  if (!library) {
    throw Exception("Request Error the HTTP client library " +
                    platform::Current().HttpClientLibrary() + " could not be loaded");
  }
  return *library;
}
