#include "api/Rest.h"

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

#include "api/CurlLibrary.h"
#include "util/Exception.h"

namespace {

struct CurlDeleter {
  void operator()(CURL* handle) const { TCurlLibrary::Get().easy_cleanup(handle); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { TCurlLibrary::Get().slist_free_all(list); }
};

std::string Escape(CURL* curl, const std::string& text) {
  const TCurlLibrary& lib = TCurlLibrary::Get();
  char* escaped = lib.easy_escape(curl, text.c_str(), static_cast<int>(text.size()));
  if (escaped == nullptr) {
    throw Exception("Request Error out of memory");
  }
  std::string result(escaped);
  lib.free(escaped);
  return result;
}

size_t AppendBody(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

// libcurl's progress hook: a non-zero answer ends the transfer.
int AbandonWhenAsked(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

// Keeps the reason phrase of the latest status line; a redirect or a
// "100 Continue" is followed by the final one.
size_t ReadHeaderLine(char* data, size_t size, size_t count, void* target) {
  const std::string line(data, size * count);
  if (line.rfind("HTTP/", 0) == 0) {
    std::string reason;
    const size_t code = line.find(' ');
    if (code != std::string::npos) {
      const size_t text = line.find(' ', code + 1);
      if (text != std::string::npos) {
        reason = line.substr(text + 1);
      }
    }
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n')) {
      reason.pop_back();
    }
    *static_cast<std::string*>(target) = reason;
  }
  return size * count;
}

// Adds the certificates of the extra CA file to the TLS context's store, so
// they are trusted besides the system's authorities.
CURLcode AddExtraAuthorities(CURL*, void* sslContext, void* file) {
  const std::string& path = *static_cast<const std::string*>(file);
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_file(path.c_str(), "r"), BIO_free);
  if (!bio) {
    return CURLE_SSL_CACERT_BADFILE;
  }
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  int added = 0;
  while (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
    if (X509_STORE_add_cert(store, cert) == 1) {
      ++added;
    }
    X509_free(cert);
  }
  return added > 0 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
}

void Check(CURLcode code, const char* errorBuffer) {
  if (code != CURLE_OK) {
    const std::string cause =
        errorBuffer[0] != '\0' ? errorBuffer : TCurlLibrary::Get().easy_strerror(code);
    throw Exception("Request Error " + cause);
  }
}

}  // namespace

const char* RequestMethodName(TRESTRequestMethod method) {
  switch (method) {
    case TRESTRequestMethod::rmPOST:
      return "POST";
    case TRESTRequestMethod::rmPUT:
      return "PUT";
    case TRESTRequestMethod::rmGET:
      return "GET";
    case TRESTRequestMethod::rmDELETE:
      return "DELETE";
    case TRESTRequestMethod::rmPATCH:
      return "PATCH";
  }
  return "GET";
}

TRESTResponse execRequest(TRESTRequestMethod method, const std::string& URL,
                          const TArrayParamRequest& parameters, const std::string& body,
                          const TRestOptions& options) {
  const TCurlLibrary& lib = TCurlLibrary::Get();
  std::unique_ptr<CURL, CurlDeleter> curl(lib.easy_init());
  if (!curl) {
    throw Exception("Request Error the HTTP client could not be created");
  }
  CURL* handle = curl.get();
  char errorBuffer[CURL_ERROR_SIZE] = {};

  std::string address = URL;
  std::string query;
  curl_slist* rawHeaders = nullptr;
  rawHeaders = lib.slist_append(rawHeaders, "Accept: */*");
  rawHeaders = lib.slist_append(rawHeaders, "Accept-Charset: UTF-8, *;q=0.8");
  // "Name;" is how libcurl sends a header with an empty value.
  rawHeaders = lib.slist_append(rawHeaders, "User-Agent;");
  rawHeaders = lib.slist_append(rawHeaders, "Expect:");
  std::unique_ptr<curl_slist, SlistDeleter> headers(rawHeaders);
  for (const TParamRequest& parameter : parameters) {
    switch (parameter.tipo) {
      case rpHTTPHEADER: {
        const std::string value =
            parameter.encode ? Escape(handle, parameter.valor) : parameter.valor;
        const std::string line =
            value.empty() ? parameter.nome + ";" : parameter.nome + ": " + value;
        headers.reset(lib.slist_append(headers.release(), line.c_str()));
        break;
      }
      case rpURLSEGMENT: {
        const std::string placeholder = "{" + parameter.nome + "}";
        const std::string value = Escape(handle, parameter.valor);
        for (size_t at = address.find(placeholder); at != std::string::npos;
             at = address.find(placeholder, at + value.size())) {
          address.replace(at, placeholder.size(), value);
        }
        break;
      }
      case rpGETorPOST:
        query += (query.empty() ? "" : "&") + Escape(handle, parameter.nome) + "=" +
                 Escape(handle, parameter.valor);
        break;
      case rpREQUESTBODY:
        break;
    }
  }
  const bool sendsBody =
      method != TRESTRequestMethod::rmGET && method != TRESTRequestMethod::rmDELETE;
  std::string content = body;
  if (!query.empty()) {
    if (sendsBody && body.empty()) {
      content = query;
      headers.reset(
          lib.slist_append(headers.release(), "Content-Type: application/x-www-form-urlencoded"));
    } else {
      address += (address.find('?') == std::string::npos ? "?" : "&") + query;
    }
  }
  if (!body.empty()) {
    headers.reset(lib.slist_append(headers.release(), "Content-Type: application/json"));
  }

  TRESTResponse response;
  lib.easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
  lib.easy_setopt(handle, CURLOPT_URL, address.c_str());
  if (method == TRESTRequestMethod::rmGET) {
    lib.easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  } else if (sendsBody || !content.empty()) {
    lib.easy_setopt(handle, CURLOPT_POSTFIELDS, content.c_str());
    lib.easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(content.size()));
  }
  // A POST is libcurl's own; other methods name themselves on the request
  // line and keep the body handling of a POST.
  if (method != TRESTRequestMethod::rmGET && method != TRESTRequestMethod::rmPOST) {
    lib.easy_setopt(handle, CURLOPT_CUSTOMREQUEST, RequestMethodName(method));
  }
  lib.easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  lib.easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  // A 301, 302 or 303 answer sends the same request, body included, to the
  // new address: the sale API gets the result it was sent, not an empty GET.
  lib.easy_setopt(handle, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
  // HTTP/1.1 answers carry the status text that the failure log line quotes;
  // HTTP/2 answers have none.
  lib.easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  lib.easy_setopt(handle, CURLOPT_TIMEOUT_MS, options.timeoutMs);
  lib.easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  if (options.abandon != nullptr) {
    lib.easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, AbandonWhenAsked);
    lib.easy_setopt(handle, CURLOPT_XFERINFODATA, static_cast<const void*>(options.abandon));
    lib.easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  }
  lib.easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendBody);
  lib.easy_setopt(handle, CURLOPT_WRITEDATA, &response.Content);
  lib.easy_setopt(handle, CURLOPT_HEADERFUNCTION, ReadHeaderLine);
  lib.easy_setopt(handle, CURLOPT_HEADERDATA, &response.StatusText);
  // The system's authorities are looked up in OpenSSL's certificate folder one
  // by one as a verification needs them, instead of the whole bundle (about
  // 140 certificates, most of a callback's processor time) being parsed for
  // every request.
  lib.easy_setopt(handle, CURLOPT_CAINFO, static_cast<const char*>(nullptr));
  lib.easy_setopt(handle, CURLOPT_CAPATH, X509_get_default_cert_dir());
  if (!options.extraCAFile.empty()) {
    lib.easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, AddExtraAuthorities);
    lib.easy_setopt(handle, CURLOPT_SSL_CTX_DATA, &options.extraCAFile);
  }
  Check(lib.easy_perform(handle), errorBuffer);
  lib.easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &response.StatusCode);
  return response;
}
