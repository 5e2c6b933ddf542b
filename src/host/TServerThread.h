#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "api/ClientConnection.h"
#include "host/WebSocketConnection.h"
#include "platform/Socket.h"

class TlsServerContext;

struct TServerSettings {
  platform::TcpListenOptions listen;  // port and TCP keep-alive
  std::string certificateFolder;      // holds server_cert.pem, server_key.pem, ca_cert.pem
  std::string ciphers;                // TLS 1.2 cipher suites, OpenSSL's list syntax
  TConnectionSettings connection;
  int maxConnections = 0;  // connections served at once; more are turned away
  // How long a stop waits for requests being handled (a payment waiting for
  // its client's answers among them) before it ends their connections.
  std::chrono::seconds stopWait{0};
};

// The WebSocket server: a thread that activates the listener and accepts
// connections, and one thread per connection that runs the connect, execute
// and disconnect callbacks. Each connection does its own reads and writes.
class TServerThread {
 public:
  using Log = std::function<void(const std::string&)>;

  TServerThread(TServerSettings settings, ClientHandlers handlers, Log log);
  // Stops the server and waits for every thread of it.
  ~TServerThread();
  TServerThread(const TServerThread&) = delete;
  TServerThread& operator=(const TServerThread&) = delete;

  // Starts the thread; activation (TLS files, binding the port) happens on it.
  void Start();

  // Makes the server inactive: closes the listener and every connection that
  // is not handling a request. A connection handling one (a running payment)
  // keeps its client until the request ends, for at most settings.stopWait;
  // then it waits for its client no more, and closes once the request ends.
  // Returns at once; WaitFor waits for the threads.
  void Stop();
  void WaitFor();

  // Listening now.
  bool Active() const { return active_; }
  // The thread has ended (stopped, or activation failed).
  bool Finished() const { return finished_; }

 private:
  struct Connection {
    std::shared_ptr<TWebSocketConnection> connection;
    std::thread thread;
    std::atomic<bool> done{false};
    bool evicted = false;   // ended to make room for a newer connection
    bool handling = false;  // inside the message handler
  };

  void Execute();
  void Accept(TlsServerContext& tls, platform::TcpListener& listener);
  // Waits a little for connections ended to make room while they hold
  // twice the limit of places.
  void WaitForEndingConnections();
  // Whether a new connection may be served; with every place taken, ends
  // the oldest connection that has not finished its upgrade to free one.
  // Called with lock_ held.
  bool MakeRoom(const std::string& peer);
  void RunConnection(Connection& entry);
  void TCPServerExecute(Connection& entry);
  // Runs the message handler, unless the server is stopping; a connection
  // whose request ends while the server stops is closed.
  void HandleMessage(Connection& entry, const std::string& message);
  // Waits, at most settings_.stopWait, until no connection handles a request;
  // the service log says that it waits and whether the wait ran out.
  void WaitForRequestsInProgress();
  void TCPServerDisconnect(TWebSocketConnection& connection);
  // Joins the threads of ended connections; all of them with `all`.
  void Reap(bool all);

  TServerSettings settings_;
  ClientHandlers handlers_;
  Log log_;
  std::thread thread_;
  std::atomic<bool> active_{false};
  std::atomic<bool> finished_{false};

  std::mutex lock_;  // guards what follows
  std::condition_variable requestEnded_;
  bool stopping_ = false;
  platform::TcpListener* listener_ = nullptr;
  std::list<Connection> connections_;
};
