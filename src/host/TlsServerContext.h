#pragma once

#include <openssl/ssl.h>

#include <string>

// The server side TLS settings every connection shares: TLS 1.2 only, the
// certificate, private key and CA files, no client certificate asked.
class TlsServerContext {
 public:
  // Throws std::runtime_error naming the file and the reason when one of
  // them cannot be loaded.
  TlsServerContext(const std::string& certificateFile, const std::string& keyFile,
                   const std::string& caFile);
  ~TlsServerContext();
  TlsServerContext(const TlsServerContext&) = delete;
  TlsServerContext& operator=(const TlsServerContext&) = delete;

  SSL_CTX* Get() const { return ctx_; }

 private:
  SSL_CTX* ctx_;
};

// The reason of the oldest error in OpenSSL's queue of this thread, in words.
std::string TlsErrorText();
