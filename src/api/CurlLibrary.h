#pragma once

#include <curl/curl.h>

#include <optional>

// The libcurl functions the HTTP client uses, bound when the first request is
// made. On Linux the gateway opens libcurl (and the two dozen libraries it
// needs) only when it posts a callback, not at every start
// (CurlLibraryOpened.cpp); on Windows libcurl is linked into the executable
// and the table holds its functions (CurlLibraryLinked.cpp).
struct TCurlLibrary {
  CURLcode (*global_init)(long flags);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...);
  CURLcode (*easy_perform)(CURL* handle);
  CURLcode (*easy_getinfo)(CURL* handle, CURLINFO info, ...);
  void (*easy_cleanup)(CURL* handle);
  const char* (*easy_strerror)(CURLcode code);
  char* (*easy_escape)(CURL* handle, const char* text, int length);
  void (*free)(void* pointer);
  curl_slist* (*slist_append)(curl_slist* list, const char* text);
  void (*slist_free_all)(curl_slist* list);

  // The library, loaded and globally initialized on the first call. Raises
  // Exception "Request Error " + the reason when it cannot be loaded.
  static const TCurlLibrary& Get();

  // The functions of the libcurl this build uses, or nothing when they
  // cannot be reached.
  static std::optional<TCurlLibrary> Bind();
};
