#include "api/CurlLibrary.h"

#include <optional>
#include <string>

#include "platform/Platform.h"
#include "util/Exception.h"

namespace {

template <typename Function>
bool Bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(platform::Current().FindSymbol(library, name));
  return function != nullptr;
}

// The bound library, or nothing when it cannot be loaded; the library stays
// loaded until the process ends.
std::optional<TCurlLibrary> Load() {
  void* library = platform::Current().LoadLibrary(platform::Current().HttpClientLibrary());
  if (library == nullptr) {
    return std::nullopt;
  }
  TCurlLibrary curl{};
  const bool bound = Bind(library, "curl_global_init", curl.global_init) &&
                     Bind(library, "curl_easy_init", curl.easy_init) &&
                     Bind(library, "curl_easy_setopt", curl.easy_setopt) &&
                     Bind(library, "curl_easy_perform", curl.easy_perform) &&
                     Bind(library, "curl_easy_getinfo", curl.easy_getinfo) &&
                     Bind(library, "curl_easy_cleanup", curl.easy_cleanup) &&
                     Bind(library, "curl_easy_strerror", curl.easy_strerror) &&
                     Bind(library, "curl_easy_escape", curl.easy_escape) &&
                     Bind(library, "curl_free", curl.free) &&
                     Bind(library, "curl_slist_append", curl.slist_append) &&
                     Bind(library, "curl_slist_free_all", curl.slist_free_all);
  if (!bound || curl.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
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
