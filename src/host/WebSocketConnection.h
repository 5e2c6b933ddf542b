#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "api/ClientConnection.h"
#include "host/StreamReader.h"
#include "host/TlsChannel.h"
#include "host/WebSocketCodec.h"

// Whether the WebSocket upgrade of a connection has been answered.
enum TClientState : std::uint8_t { csHandshake = 0, csConnected = 1 };

// What the server keeps per connection.
struct TClientData {
  TClientState State = csHandshake;
};

struct TConnectionSettings {
  FrameLimits frames;
  std::chrono::milliseconds upgradeTimeout;  // TLS handshake and upgrade request together
};

// One client connection: TLS, the WebSocket upgrade, and the frames of its
// messages in both directions.
class TWebSocketConnection : public ClientConnection {
 public:
  using Log = std::function<void(const std::string&)>;

  TWebSocketConnection(std::uint64_t id, SSL_CTX* ctx,
                       std::unique_ptr<platform::TcpConnection> socket,
                       const TConnectionSettings& settings, Log log);

  // Runs the TLS handshake. The time allowed for it and the upgrade request
  // together starts when the connection is created.
  void TCPServerConnect();

  // Reads the upgrade request and answers it with 101; the state becomes
  // csConnected.
  void WebSocketHandshake();

  TClientData& Data() { return data_; }
  // The upgrade request was complete and is being or has been answered
  // (safe to ask from any thread).
  bool Upgraded() const { return upgraded_; }

  // Ends the connection at once, without a close frame (server stop).
  void Abort();
  // Stops waiting for the client while what is being sent still goes out (a
  // server stop that ran out of time with a request still running): a read
  // waiting now ends the connection; later reads fail as on a closed one.
  void EndReading();

  std::uint64_t Id() const override { return id_; }
  std::string PeerAddress() const override { return peer_; }
  void SendClientMessage(const std::string& text) override;
  std::string DecodeWebSocketFrame() override;
  bool HasInputPending(std::chrono::milliseconds wait) override;
  void Close() override;
  bool Connected() const override { return connected_; }

 private:
  // Writes one frame; a failure ends the connection silently.
  void SendFrame(std::uint8_t opcode, const std::string& payload);

  std::uint64_t id_;
  std::string peer_;
  TConnectionSettings settings_;
  Log log_;
  TlsChannel channel_;
  StreamReader reader_;
  TClientData data_;
  ByteStream::Clock::time_point upgradeDeadline_;
  std::atomic<bool> connected_{true};
  std::atomic<bool> upgraded_{false};
  std::atomic<bool> readingEnded_{false};
  std::mutex readLock_;
  std::mutex writeLock_;
};
