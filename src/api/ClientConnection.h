#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "util/Exception.h"

// One client's WebSocket connection, as the request handlers see it. Every
// request runs on the thread of the connection that sent it, and everything
// the request says to the client or reads from it goes through this object,
// so a reply can only ever reach the client that asked.
class ClientConnection {
 public:
  virtual ~ClientConnection() = default;

  // Process-unique number of this connection; never reused while the process
  // runs. Use it to remember which connection started something.
  virtual std::uint64_t Id() const = 0;

  // The peer's address ("192.0.2.7:51234"), for log lines.
  virtual std::string PeerAddress() const = 0;

  // Sends `text` (UTF-8) as one unmasked WebSocket text frame. Safe to call
  // from any thread; whole frames never interleave. Once the connection has
  // ended, the message is dropped silently.
  virtual void SendClientMessage(const std::string& text) = 0;

  // Blocks until the client's next whole message has arrived and returns its
  // text (valid UTF-8; gzip binary messages come inflated). Returns "" for an
  // empty message or one that could not be turned into text (the reason is in
  // the service log); callers that need a message read again. Waits without a
  // time limit for the message to begin; throws EConnectionClosed when the
  // connection ends instead: the client closed it or vanished, Close() was
  // called, the server stopped, or the message broke a limit (stalled
  // mid-frame, too large). Reads (this and HasInputPending) are meant for the
  // connection's own thread; they are serialised, never interleaved.
  virtual std::string DecodeWebSocketFrame() = 0;

  // True when input from the client is waiting, waiting for it at most
  // `wait`; never blocks longer. Also true once the connection has ended, so
  // the read that follows reports that.
  virtual bool HasInputPending(std::chrono::milliseconds wait) = 0;

  // Ends the connection: sends a close frame and shuts the socket, which
  // wakes a read blocked on another thread (it throws EConnectionClosed).
  // Any thread; a second call does nothing.
  virtual void Close() = 0;

  // False once the connection has ended for any reason.
  virtual bool Connected() const = 0;
};

// The connection ended (see ClientConnection::DecodeWebSocketFrame). Handlers
// let it propagate: the request is over, and the server ends the connection.
class EConnectionClosed : public Exception {
 public:
  using Exception::Exception;
};

// Called on the connection's own thread with each non-empty message the
// client sends. It runs the whole request, including every prompt and reply
// read on `connection`, before it returns; the next message is read after it.
// An exception that escapes it ends that connection only.
using MessageHandler =
    std::function<void(ClientConnection& connection, const std::string& message)>;

// Called once on the connection's own thread when a connection that completed
// the WebSocket upgrade ends (any reason, also a server stop). The API cancels
// the TEF component's pending transactions of that connection here. Exceptions
// are caught and logged by the server.
using DisconnectHandler = std::function<void(ClientConnection& connection)>;

// What the server calls for each connection, and what the service module
// calls right before it starts a server and after it has stopped one (no
// connection exists at either moment). Any may be empty.
struct ClientHandlers {
  MessageHandler OnClientMessage;
  DisconnectHandler OnClientDisconnected;
  std::function<void()> OnServerStarting;
  std::function<void()> OnServerStopped;
};
