// libcurl linked into the executable (Windows, where the build carries its own
// static libcurl): the table holds the linked functions.

#include "api/CurlLibrary.h"

std::optional<TCurlLibrary> TCurlLibrary::Bind() {
  return TCurlLibrary{&curl_global_init,   &curl_easy_init,     &curl_easy_setopt,
                      &curl_easy_perform,  &curl_easy_getinfo,  &curl_easy_cleanup,
                      &curl_easy_strerror, &curl_easy_escape,   &curl_free,
                      &curl_slist_append,  &curl_slist_free_all};
}
