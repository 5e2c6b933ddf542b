#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <memory>
#include <mutex>

#include "host/ByteStream.h"
#include "platform/Socket.h"

// TLS over one accepted, non-blocking TCP connection. Every call into
// OpenSSL for this connection is made under one lock, and waits for the
// socket happen outside it, so a thread sending a message never waits for
// another thread's read to finish.
class TlsChannel : public ByteStream {
 public:
  // `writeStall`: longest wait for the peer to take more bytes of a write.
  TlsChannel(SSL_CTX* ctx, std::unique_ptr<platform::TcpConnection> socket,
             std::chrono::milliseconds writeStall);
  ~TlsChannel() override;
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  // Runs the server side of the TLS handshake; throws EConnectionFault with
  // the reason when it fails or does not end by `deadline`.
  void Handshake(Clock::time_point deadline);

  std::size_t ReadSome(std::uint8_t* data, std::size_t size, Clock::time_point deadline) override;
  void WriteAll(const std::uint8_t* data, std::size_t size) override;

  // True when application bytes (or the end of the stream) are waiting,
  // waiting at most `wait` for them.
  bool HasInput(std::chrono::milliseconds wait);

  // Ends the TCP connection in both directions, waking every wait. Any thread.
  void Shutdown();

 private:
  // Waits for the socket as OpenSSL asked (`error` is SSL_ERROR_WANT_*);
  // false when `deadline` passed first.
  bool WaitFor(int error, Clock::time_point deadline);

  std::unique_ptr<platform::TcpConnection> socket_;
  SSL* ssl_;
  std::chrono::milliseconds writeStall_;
  std::mutex io_;
};
