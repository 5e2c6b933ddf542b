#pragma once

// A minimal WebSocket client over TLS (OpenSSL) for the benchmarks: one
// blocking connection, masked text frames out, whole messages in. It
// measures the server, so it does as little as it can: no extensions, no
// fragment handling beyond what the gateway sends (single unfragmented
// frames), Nagle off.

#include <openssl/ssl.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

// One TLS client context for every connection of a run (the gateway's
// certificate is checked against `caFile`).
class TlsClientContext {
 public:
  explicit TlsClientContext(const std::string& caFile);
  ~TlsClientContext();
  TlsClientContext(const TlsClientContext&) = delete;
  TlsClientContext& operator=(const TlsClientContext&) = delete;
  SSL_CTX* Get() const { return ctx_; }

 private:
  SSL_CTX* ctx_;
};

// A TCP connection to 127.0.0.1:port with TLS on top.
class TlsConnection {
 public:
  TlsConnection(const TlsClientContext& context, int port);
  ~TlsConnection();
  TlsConnection(const TlsConnection&) = delete;
  TlsConnection& operator=(const TlsConnection&) = delete;

  void WriteAll(const void* data, std::size_t size);
  // Reads exactly `size` bytes; throws when the connection ends first.
  void ReadExact(void* data, std::size_t size);

 private:
  int fd_ = -1;
  SSL* ssl_ = nullptr;
};

// A TLS connection that completed the WebSocket upgrade.
class WebSocketClient {
 public:
  WebSocketClient(const TlsClientContext& context, int port);

  void SendText(const std::string& text) { SendFrame(TextFrame(text)); }
  // A masked text frame carrying `text`, ready to send.
  std::vector<std::uint8_t> TextFrame(const std::string& text);
  void SendFrame(const std::vector<std::uint8_t>& frame);
  // The payload of the next data frame (pings and pongs are skipped).
  std::string ReceiveText();
  // Sends `text` and returns the next message.
  std::string Ask(const std::string& text) {
    SendText(text);
    return ReceiveText();
  }

 private:
  TlsConnection tls_;
  std::uint32_t maskSeed_ = 0x9E3779B9u;
};

}  // namespace bench
