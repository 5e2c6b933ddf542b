// libcurl opened by name through the platform layer (Linux): the library and
// its dependencies are loaded only when the first callback is posted.

#include "api/CurlLibrary.h"
#include "platform/Platform.h"

namespace {

template <typename Function>
bool BindSymbol(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(platform::Current().FindSymbol(library, name));
  return function != nullptr;
}

}  // namespace

std::optional<TCurlLibrary> TCurlLibrary::Bind() {
  void* library = platform::Current().LoadLibrary(platform::Current().HttpClientLibrary());
  if (library == nullptr) {
    return std::nullopt;
  }
  TCurlLibrary curl{};
  const bool bound = BindSymbol(library, "curl_global_init", curl.global_init) &&
                     BindSymbol(library, "curl_easy_init", curl.easy_init) &&
                     BindSymbol(library, "curl_easy_setopt", curl.easy_setopt) &&
                     BindSymbol(library, "curl_easy_perform", curl.easy_perform) &&
                     BindSymbol(library, "curl_easy_getinfo", curl.easy_getinfo) &&
                     BindSymbol(library, "curl_easy_cleanup", curl.easy_cleanup) &&
                     BindSymbol(library, "curl_easy_strerror", curl.easy_strerror) &&
                     BindSymbol(library, "curl_easy_escape", curl.easy_escape) &&
                     BindSymbol(library, "curl_free", curl.free) &&
                     BindSymbol(library, "curl_slist_append", curl.slist_append) &&
                     BindSymbol(library, "curl_slist_free_all", curl.slist_free_all);
  if (!bound) {
    return std::nullopt;
  }
  return curl;
}
