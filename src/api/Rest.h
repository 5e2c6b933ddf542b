#pragma once

#include <atomic>
#include <string>
#include <vector>

// A small synchronous HTTP(S) client for the sale API callback and the debug
// window's test button, over libcurl.

enum class TRESTRequestMethod { rmPOST, rmPUT, rmGET, rmDELETE, rmPATCH };

// Where a request parameter goes.
enum TRequestParamType { rpGETorPOST, rpURLSEGMENT, rpREQUESTBODY, rpHTTPHEADER };

struct TParamRequest {
  std::string nome;
  std::string valor;
  TRequestParamType tipo = rpGETorPOST;
  // Headers only: the value is percent-encoded when set, sent as is otherwise.
  bool encode = false;
};
using TArrayParamRequest = std::vector<TParamRequest>;

struct TRESTResponse {
  long StatusCode = 0;
  // The reason phrase of the final status line ("Service Unavailable").
  std::string StatusText;
  std::string Content;
};

// Connection settings that come from the configuration file.
struct TRestOptions {
  static constexpr long kDefaultTimeoutMs = 60000;
  // A PEM file whose certificates are trusted besides the system's store;
  // empty: the system's store alone.
  std::string extraCAFile;
  long timeoutMs = kDefaultTimeoutMs;
  // When set, the request is given up as soon as the flag turns true (looked
  // at about once a second while it waits): it raises like a time-out.
  const std::atomic<bool>* abandon = nullptr;
};

// Sends one request and returns the answer, whatever its status (a 500 is an
// answer like any other). Headers: Accept "*/*", Accept-Charset
// "UTF-8, *;q=0.8", an empty User-Agent; redirects are followed; a non-empty
// body goes as application/json. Parameters: rpHTTPHEADER adds a header,
// rpURLSEGMENT fills "{nome}" in the address, rpGETorPOST adds a query
// parameter (a form field of a body-less POST, PUT or PATCH), rpREQUESTBODY is
// ignored. Server certificates are checked against the trusted authorities
// and the host name. Any failure to get an answer (no connection, time-out,
// TLS failure, bad address) raises Exception "Request Error " + the cause.
TRESTResponse execRequest(TRESTRequestMethod method, const std::string& URL,
                          const TArrayParamRequest& parameters, const std::string& body,
                          const TRestOptions& options = {});

// The method's name as sent on the request line ("POST").
const char* RequestMethodName(TRESTRequestMethod method);
