#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// One accepted TCP connection. Non-blocking: the TLS layer reads and writes
// it through its native handle and waits with WaitReadable/WaitWritable.
class TcpConnection {
 public:
  virtual ~TcpConnection() = default;

  // The socket handle, for the TLS library.
  virtual std::intptr_t NativeHandle() const = 0;

  // "address:port" of the peer.
  virtual std::string PeerAddress() const = 0;

  // Waits until bytes can be read (or the peer closed, or Shutdown was
  // called): true; false when `timeout` passed first. Negative: no limit.
  virtual bool WaitReadable(std::chrono::milliseconds timeout) = 0;

  // Waits until bytes can be written; same conventions as WaitReadable.
  virtual bool WaitWritable(std::chrono::milliseconds timeout) = 0;

  // Ends both directions at once and wakes every wait. Any thread; the
  // handle stays valid until the object is destroyed.
  virtual void Shutdown() = 0;
};

struct TcpListenOptions {
  int port = 0;                       // 0: any free port
  bool keepAlive = true;              // TCP keep-alive on accepted connections
  int keepAliveIdleSeconds = 60;      // silence before the first probe
  int keepAliveIntervalSeconds = 10;  // between probes
  int keepAliveProbes = 6;            // unanswered probes before the connection is dropped
};

// A listening TCP socket on every local IPv4 address.
class TcpListener {
 public:
  virtual ~TcpListener() = default;

  // Blocks until a connection arrives; null once Close was called.
  virtual std::unique_ptr<TcpConnection> Accept() = 0;

  // Stops listening and wakes Accept. Any thread.
  virtual void Close() = 0;

  // The port listened on.
  virtual int Port() const = 0;
};

// Opens a listener; throws std::runtime_error with the reason (for example
// "Address already in use") when the port cannot be bound.
std::unique_ptr<TcpListener> ListenTcp(const TcpListenOptions& options);

}  // namespace platform
