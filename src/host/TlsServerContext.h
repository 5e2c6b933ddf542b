#pragma once

#include <openssl/ssl.h>

#include <string>

// The server side TLS settings every connection shares: TLS 1.2 only, the
// cipher suites, the certificate, private key and CA files, no client
// certificate asked.
class TlsServerContext {
 public:
  // The suites of the common "intermediate" server profile: forward secrecy
  // (ECDHE, or DHE where a DH group is configured) with AES-GCM or
  // ChaCha20-Poly1305, in OpenSSL's cipher list syntax.
  static constexpr char kIntermediateCiphers[] =
      "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
      "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
      "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305:"
      "DHE-RSA-AES128-GCM-SHA256:DHE-RSA-AES256-GCM-SHA384:DHE-RSA-CHACHA20-POLY1305";

  // Throws std::runtime_error naming the file and the reason when one of
  // them cannot be loaded, or the cipher list when it names no usable suite.
  TlsServerContext(const std::string& certificateFile, const std::string& keyFile,
                   const std::string& caFile, const std::string& ciphers);
  ~TlsServerContext();
  TlsServerContext(const TlsServerContext&) = delete;
  TlsServerContext& operator=(const TlsServerContext&) = delete;

  SSL_CTX* Get() const { return ctx_; }

 private:
  SSL_CTX* ctx_;
};

// The reason of the oldest error in OpenSSL's queue of this thread, in words.
std::string TlsErrorText();
